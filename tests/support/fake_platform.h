#pragma once

#include "platform/platform.h"

#include <QTemporaryDir>

#include <deque>
#include <functional>
#include <map>
#include <vector>

namespace sqs::test {

// Thrown by FakePlatform::terminate so that a test sees the program stop.
struct Terminated {};

struct RecordedMessage {
    QString text;
    int style;
    QString title;
};

// A platform for tests: records what the program shows, answers message
// boxes from a script, turns terminate into an exception, and runs on a
// temporary program folder with the real file system underneath (names can
// be scripted).
class FakePlatform : public Platform {
public:
    FakePlatform();

    // --- scripting ---
    std::deque<int> answers;            // next message-box answers; empty: OK, or Yes for Yes/No
    std::function<void(QDialog&)> onModal;
    std::function<void(int)> onYield;   // called with the count of yields so far
    std::function<void(const RecordedMessage&)> onMessage;
    QString saveAnswer;
    bool anotherInstance = false;
    QStringList arguments;
    QString current = QStringLiteral("/");
    // Scripted name lookups: (path, attribute) -> name; others go to the real file system.
    std::map<std::pair<QString, int>, QString> lookups;
    bool scriptedLookupsOnly = false;
    std::map<QString, void*> symbols;   // "library:symbol" -> entry point
    // Makes writes of whole files whose name matches fail from the n-th one on (1-based).
    QString failWritesMatching;
    int failWritesFrom = 1;

    // --- records ---
    std::vector<RecordedMessage> messages;
    QStringList events;                 // "modal:NAME", "modeless:NAME", "unload:NAME", "terminate"
    bool terminated = false;
    int yields = 0;
    int libraryLoads = 0;
    std::map<QString, int> replacements;   // atomic replaces per path

    QString folder() const { return dir_.path(); }
    QString settingsFile() const { return dir_.path() + QStringLiteral("/SQS.ini"); }
    int settingsSaves() const;          // saves of the settings file

    // --- Platform ---
    int messageBox(const QString& text, int style, const QString& title) override;
    void showModal(QDialog& dialog) override;
    void showModeless(QWidget& window) override;
    void unload(Window& window) override;
    [[noreturn]] void terminate() override;
    void yield() override;
    QString saveFileName(const QString& proposedName, const std::vector<FileFilter>& filters,
                         const QString& initialFolder) override;
    std::int32_t windowHandle(QWidget&) override { return handle; }
    bool previousInstance() override { return anotherInstance; }
    QString programFolder() override { return programFolderOverride.isEmpty() ? folder() : programFolderOverride; }
    bool programFolderIsPerUser() override { return perUserProgramFolder; }
    QString currentFolder() override { return current; }
    QStringList commandLine() override { return arguments; }
    double logicalDpi() override { return 96.0; }
    std::vector<QRect> screens() override { return {QRect(0, 0, 1920, 1080)}; }
    void* loadLibrarySymbol(const QString& libraryName, const char* symbol, QString& error) override;
    QString nameLookup(const QString& path, LookupAttribute attribute) override;
    FileResult writeWholeFile(const QString& path, const char* data, std::int64_t size) override;
    FileResult copyToNewFile(const QString& source, std::int64_t offset, std::int64_t size, const QString& path,
                             bool& sourceFailed) override;
    FileResult replaceFileAtomically(const QString& path, const QByteArray& bytes) override;

    QString programFolderOverride;
    bool perUserProgramFolder = false;   // programFolder() stands for the per-user folder
    std::int32_t handle = 0;             // what windowHandle() gives
    QString lastProposedName, lastInitialFolder;
    std::vector<FileFilter> lastFilters;

private:
    QTemporaryDir dir_;
    int writes_ = 0;
};

}  // namespace sqs::test
