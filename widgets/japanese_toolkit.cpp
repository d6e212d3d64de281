#include "widgets/japanese_toolkit.h"

#include <QCoreApplication>
#include <QLibraryInfo>

#include <clocale>
#include <cstring>

namespace sqs {

QString MissingToolkitWords::translate(const char* context, const char* sourceText, const char*, int) const {
    static const struct { const char* context; const char* source; const char* japanese; } kWords[] = {
        {"QAbstractFileIconProvider", "Folder", "フォルダ"},
        {"QAbstractFileIconProvider", "Drive", "ドライブ"},
        {"QAbstractFileIconProvider", "Unknown", "不明"},
    };
    if (!context || !sourceText) return {};
    for (const auto& word : kWords)
        if (std::strcmp(context, word.context) == 0 && std::strcmp(sourceText, word.source) == 0)
            return QString::fromUtf8(word.japanese);
    return {};
}

JapaneseToolkit::JapaneseToolkit() {
    if (const char* before = std::setlocale(LC_MESSAGES, nullptr)) messages_ = before;
    if (!std::setlocale(LC_MESSAGES, "ja_JP.UTF-8")) std::setlocale(LC_MESSAGES, "ja_JP.utf8");
    // Installed first, asked last: Qt's own translation answers before it.
    QCoreApplication::installTranslator(&missing_);
    if (qt_.load(QStringLiteral("qtbase_ja"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(&qt_);
}

JapaneseToolkit::~JapaneseToolkit() {
    if (!messages_.empty()) std::setlocale(LC_MESSAGES, messages_.c_str());
    QCoreApplication::removeTranslator(&qt_);
    QCoreApplication::removeTranslator(&missing_);
}

}  // namespace sqs
