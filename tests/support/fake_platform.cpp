#include "tests/support/fake_platform.h"

#include <QDialog>

namespace sqs::test {

FakePlatform::FakePlatform() = default;

int FakePlatform::settingsSaves() const {
    auto it = replacements.find(settingsFile());
    return it == replacements.end() ? 0 : it->second;
}

int FakePlatform::messageBox(const QString& text, int style, const QString& title) {
    messages.push_back({text, style, title});
    if (onMessage) onMessage(messages.back());
    if (!answers.empty()) {
        int answer = answers.front();
        answers.pop_front();
        return answer;
    }
    return (style & 0x0F) == 4 ? AnswerYes : AnswerOk;
}

void FakePlatform::showModal(QDialog& dialog) {
    events << QStringLiteral("modal:") + dialog.objectName();
    if (onModal) onModal(dialog);
}

void FakePlatform::showModeless(QWidget& window) { events << QStringLiteral("modeless:") + window.objectName(); }

void FakePlatform::unload(Window& window) {
    events << QStringLiteral("unload:") + window.widget().objectName();
    window.onUnload();
    window.widget().hide();
}

void FakePlatform::terminate() {
    events << QStringLiteral("terminate");
    terminated = true;
    throw Terminated{};
}

void FakePlatform::yield() {
    ++yields;
    if (onYield) onYield(yields);
}

QString FakePlatform::saveFileName(const QString& proposedName, const std::vector<FileFilter>& filters,
                                   const QString& initialFolder) {
    lastProposedName = proposedName;
    lastFilters = filters;
    lastInitialFolder = initialFolder;
    events << QStringLiteral("save-dialog");
    return saveAnswer;
}

void* FakePlatform::loadLibrarySymbol(const QString& libraryName, const char* symbol, QString& error) {
    ++libraryLoads;
    auto it = symbols.find(libraryName + QLatin1Char(':') + QLatin1String(symbol));
    if (it == symbols.end()) {
        error = QStringLiteral("cannot open shared object file: No such file or directory");
        return nullptr;
    }
    return it->second;
}

QString FakePlatform::nameLookup(const QString& path, LookupAttribute attribute) {
    auto it = lookups.find({path, static_cast<int>(attribute)});
    if (it != lookups.end()) return it->second;
    if (scriptedLookupsOnly) return {};
    return Platform::nameLookup(path, attribute);
}

FileResult FakePlatform::writeWholeFile(const QString& path, const char* data, std::int64_t size) {
    if (!failWritesMatching.isEmpty() && path.contains(failWritesMatching) && ++writes_ >= failWritesFrom) {
        return FileResult::failed(QStringLiteral("No space left on device"));
    }
    return Platform::writeWholeFile(path, data, size);
}

FileResult FakePlatform::copyToNewFile(const QString& source, std::int64_t offset, std::int64_t size,
                                       const QString& path, bool& sourceFailed) {
    if (!failWritesMatching.isEmpty() && path.contains(failWritesMatching) && ++writes_ >= failWritesFrom) {
        sourceFailed = false;
        return FileResult::failed(QStringLiteral("No space left on device"));
    }
    return Platform::copyToNewFile(source, offset, size, path, sourceFailed);
}

FileResult FakePlatform::replaceFileAtomically(const QString& path, const QByteArray& bytes) {
    ++replacements[path];
    return Platform::replaceFileAtomically(path, bytes);
}

}  // namespace sqs::test
