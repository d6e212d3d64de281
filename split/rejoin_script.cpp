#include "split/rejoin_script.h"

#include "core/path_names.h"
#include "split/code_page.h"
#include "split/split_plan.h"

#include <QStringList>

#include <algorithm>

namespace sqs {
namespace {

const QString kLineEnd = QStringLiteral("\r\n");
const QString kUtf8Switch = QStringLiteral("@CHCP 65001 >NUL");

QString quoted(const QString& text) { return QLatin1Char('"') + text + QLatin1Char('"'); }

}  // namespace

QString rejoinScriptText(const QString& path, std::int64_t n) {
    // The interpreter expands %...% even inside quotes; %% stands for one %.
    QString name = FileNamePart(path);
    name.replace(QLatin1Char('%'), QStringLiteral("%%"));
    QString text = QStringLiteral("@ECHO OFF") + kLineEnd;
    text += QStringLiteral("COPY /B %1 %2 >NUL").arg(quoted(name + QStringLiteral(".001")), quoted(name)) + kLineEnd;
    for (std::int64_t i = 2; i <= n; ++i)
        text += QStringLiteral("COPY /B %1+%2 %3 >NUL")
                    .arg(quoted(name), quoted(name + QLatin1Char('.') + pieceSuffix(i)), quoted(name)) +
                kLineEnd;
    text += QStringLiteral("ECHO complate!");
    return text;
}

QByteArray encodeRejoinScript(const QString& text) {
    const std::string utf8 = text.toStdString();
    if (auto cp932 = utf8ToCp932(utf8)) return QByteArray::fromStdString(*cp932);
    // No CP932 form: the whole script in UTF-8, with the code page switched
    // right after the first line so that the names are read as UTF-8.
    QString switched = text;
    switched.insert(switched.indexOf(kLineEnd) + kLineEnd.size(), kUtf8Switch + kLineEnd);
    // An interpreter that reads on in CP932 despite the switch takes the last
    // byte of such a character (0x81-0x9F) with the closing quote for one
    // character, and the rest of the line goes unquoted: an "&" in a name
    // would start a command there. A dot before the quote takes its place;
    // Windows drops a name's trailing dot, so the name stays the same.
    QString guarded;
    bool inQuotes = false;
    for (const QChar c : switched) {
        if (c == QLatin1Char('"')) {
            if (inQuotes && !guarded.isEmpty() && guarded.back().unicode() >= 0x80) guarded += QLatin1Char('.');
            inQuotes = !inQuotes;
        }
        guarded += c;
    }
    return guarded.toUtf8();
}

QString unscriptableNameReason(const QString& path) {
    const QString name = FileNamePart(path);
    // Also what a Windows name cannot hold: the script could not rejoin such
    // a file, "\" and ":" would lead it to another folder or file, and "*"
    // and "?" would join other files' pieces.
    const bool unsafe = std::any_of(name.begin(), name.end(), [](QChar c) {
        return QStringLiteral("\"\\:*?<>|").contains(c) || c.unicode() < 0x20 || c.unicode() == 0x7F;
    });
    if (unsafe)
        return QStringLiteral("名前に「\"」「\\」「:」「*」「?」「<」「>」「|」や改行などの制御文字を含むファイルは、"
                              "つなぎ直すバッチファイルに書けません。");
    // A device's name, with any extension (the pieces add one), is the
    // device on Windows: the script would copy to it or wait on it.
    const QString stem = name.section(QLatin1Char('.'), 0, 0).trimmed().toUpper();
    static const QStringList kDevices = {QStringLiteral("CON"), QStringLiteral("PRN"), QStringLiteral("AUX"),
                                         QStringLiteral("NUL")};
    const bool numbered = stem.size() == 4 && (stem.startsWith(QLatin1String("COM")) || stem.startsWith(QLatin1String("LPT"))) &&
                          stem[3] >= QLatin1Char('1') && stem[3] <= QLatin1Char('9');
    if (kDevices.contains(stem) || numbered)
        return QStringLiteral("名前が Windows の装置名（CON、PRN、AUX、NUL、COM1～COM9、LPT1～LPT9）のファイルは、"
                              "つなぎ直すバッチファイルに書けません。");
    return {};
}

QString rejoinScriptPath(const QString& path) { return path + QStringLiteral(".bat"); }

}  // namespace sqs
