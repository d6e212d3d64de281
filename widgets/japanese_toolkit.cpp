#include "widgets/japanese_toolkit.h"

#include <QApplication>
#include <QCoreApplication>
#include <QFont>
#include <QFontDatabase>
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

QString japaneseFamily(const QStringList& installed) {
    // Fonts made for Japanese, best first: a font of all CJK scripts draws
    // its kanji as its region's (SC, KR...) would, which Japanese readers
    // see as foreign shapes.
    static const char* const kPreferred[] = {"Noto Sans CJK JP", "Source Han Sans JP", "IPAexGothic", "IPAPGothic",
                                            "IPAGothic", "TakaoPGothic", "VL PGothic", "Droid Sans Japanese"};
    for (const char* family : kPreferred)
        if (installed.contains(QLatin1String(family), Qt::CaseInsensitive)) return QLatin1String(family);
    return {};
}

JapaneseToolkit::JapaneseToolkit() {
    // Japanese text in one Japanese font wherever the desktop's font has
    // none: left to the fallback, outside a Japanese locale the kana may come
    // from one font and the kanji from another, or from a Chinese one.
    if (qobject_cast<QApplication*>(QCoreApplication::instance())) {
        const QString japanese = japaneseFamily(QFontDatabase::families(QFontDatabase::Japanese));
        const QFont font = QApplication::font();
        QStringList families = font.families();
        if (families.isEmpty()) families << font.family();
        // As a substitute, it serves every font of the family, also those the
        // desktop's theme gives each kind of widget.
        if (!japanese.isEmpty())
            for (const QString& family : families)
                if (family != japanese && !QFont::substitutes(family).contains(japanese)) {
                    QFont::insertSubstitution(family, japanese);
                    substituted_ << family;
                }
        QApplication::setFont(font);   // set again: fonts already resolved take the substitute too
    }

    if (const char* before = std::setlocale(LC_MESSAGES, nullptr)) messages_ = before;
    if (!std::setlocale(LC_MESSAGES, "ja_JP.UTF-8")) std::setlocale(LC_MESSAGES, "ja_JP.utf8");
    // Installed first, asked last: Qt's own translation answers before it.
    QCoreApplication::installTranslator(&missing_);
    if (qt_.load(QStringLiteral("qtbase_ja"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(&qt_);
}

JapaneseToolkit::~JapaneseToolkit() {
    for (const QString& family : substituted_) QFont::removeSubstitutions(family);
    if (!messages_.empty()) std::setlocale(LC_MESSAGES, messages_.c_str());
    QCoreApplication::removeTranslator(&qt_);
    QCoreApplication::removeTranslator(&missing_);
}

}  // namespace sqs
