#include "archiver/window/progress_text.h"

#include <cstring>

namespace lzh {

QString sizeText(std::uint64_t bytes) {
    const double kb = static_cast<double>(bytes) / 1024.0;
    if (kb < 1024.0) return QStringLiteral("%1 KB").arg(static_cast<qulonglong>(bytes / 1024));
    if (kb < 1024.0 * 1024.0) return QStringLiteral("%1 MB").arg(kb / 1024.0, 0, 'f', 1);
    return QStringLiteral("%1 GB").arg(kb / (1024.0 * 1024.0), 0, 'f', 2);
}

QString timeLeftText(std::int64_t elapsedMs, std::uint64_t done, std::uint64_t total) {
    if (elapsedMs < 1000 || done == 0 || total == 0) return QStringLiteral("残り時間を計算しています");
    const double rest = static_cast<double>(total > done ? total - done : 0);
    const auto seconds = static_cast<std::int64_t>(static_cast<double>(elapsedMs) / 1000.0 * rest / static_cast<double>(done) + 0.999);
    if (seconds < 60) return QStringLiteral("残り 約%1秒").arg(seconds);
    if (seconds < 3600)
        return QStringLiteral("残り 約%1分%2秒").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
    return QStringLiteral("残り 約%1時間%2分").arg(seconds / 3600).arg(seconds / 60 % 60, 2, 10, QLatin1Char('0'));
}

namespace {

struct Words {
    const char* english;
    const char* japanese;
};

}  // namespace

QString japaneseReason(const QString& reason) {
    // The report's forms, longer ones first where one starts another.
    static const Words forms[] = {
        {"cannot open the archive ", "書庫を開けません："},
        {"cannot open the folder ", "フォルダを開けません："},
        {"cannot open ", "ファイルを開けません："},
        {"cannot read the old archive: ", "元の書庫を読めません："},
        {"cannot read the archive ", "書庫を読めません："},
        {"cannot read the folder ", "フォルダを読めません："},
        {"cannot read the list file ", "リストファイルを読めません："},
        {"cannot read the link ", "リンクを読めません："},
        {"cannot read ", "ファイルを読めません："},
        {"cannot find ", "ファイルが見つかりません："},
        {"file changed while it was read: ", "読んでいる間にファイルが変わりました："},
        {"cannot write the archive: ", "書庫を書き込めません："},
        {"cannot write the archive ", "書庫を書き込めません："},
        {"cannot create a file beside the archive ", "書庫のフォルダにファイルを作れません："},
        {"cannot replace the archive ", "書庫を置き換えられません："},
        {"cannot lock the folder ", "フォルダをロックできません："},
        {"the archive is read-only, left as it is: ", "書庫が読み取り専用のため、そのままにしました："},
        {"the archive is damaged, left as it is: ", "書庫が壊れているか書庫でないため、そのままにしました："},
        {"not an archive, left as it is (an archive lies inside it, after what is no self-extracting program): ",
         "書庫ではないため、そのままにしました（中に書庫がありますが、その前は自己解凍のプログラムではありません）："},
        {"the name is not valid UTF-8, so it cannot be stored: ", "名前が UTF-8 として正しくないため、書庫に入れられません："},
        {"a name with a backslash cannot be stored (readers take it for a folder separator): ",
         "「\\」を含む名前は書庫に入れられません（フォルダの区切りと見なされます）："},
        {"a name with a line break is refused: ", "改行を含む名前は使えません："},
        {"not a regular file: ", "通常のファイルではありません："},
        {"a file of the system (/proc, /sys), whose size is not its content's: ",
         "システムの仮想ファイルは、大きさが中身と合わないため書庫に入れられません："},
        {"name not fit to store: ", "書庫に入れられない名前です："},
        {"the name is too long for a header (at most 65,535 bytes): ", "名前が長すぎて書庫に入れられません："},
        {"the archive is not a regular file: ", "書庫が通常のファイルではありません："},
        {"not an archive but a folder: ", "書庫ではなくフォルダです："},
        {"the archive cannot be packed into itself: ", "書庫をそれ自身に入れることはできません："},
        {"two files would be stored as ", "2 つのファイルが同じ名前で入ることになります："},
        {"a name with \"..\" in it is refused (it could lead out of the base folder): ", "「..」を含む名前は使えません（基準フォルダの外を指すおそれがあります）："},
        {"too many levels of symbolic links: ", "シンボリックリンクが多すぎます："},
        {"nothing to archive", "書庫に入れるファイルがありません。"},
        {"out of memory", "メモリが足りません。"},
    };
    static const Words endings[] = {
        {" is a new archive, apart from the pieces of the split archive of that name",
         "：同じ名前の分割書庫の断片とは別の、新しい書庫です"},
        {": not packed: a link to nothing", "：リンク先がありません"},
        {": not packed: it is the archive being written", "：作成中の書庫そのものなので入れません"},
        {" more member under the names replaced dropped (the archive held those names more than once)",
         " 件の同じ名前のメンバーも、置き換えとともに除きました（書庫に同じ名前が複数ありました）"},
        {" more members under the names replaced dropped (the archive held those names more than once)",
         " 件の同じ名前のメンバーも、置き換えとともに除きました（書庫に同じ名前が複数ありました）"},
        {": its owner or group could not be kept: the archive now belongs to you",
         "：元の所有者とグループを保てなかったため、書庫の所有者はあなたになりました"},
        {": not packed: a link to a folder (such links are not followed)", "：フォルダへのリンクはたどりません"},
        {": not packed: not a regular file (a device, pipe or socket)",
         "：通常のファイルではありません（デバイス、パイプ、ソケット）"},
    };
    // What was found wrong in an archive, when it is all the rest.
    static const Words damage[] = {
        {"not an LZH header", "LZH の書庫ではありません"},
        {"truncated header", "ヘッダーが途中で切れています"},
        {"header CRC error", "ヘッダーの CRC が合いません"},
        {"member data runs past the end of the file", "データがファイルの終わりを越えています"},
    };
    for (const auto& form : forms) {
        const QString english = QString::fromUtf8(form.english);
        if (!reason.startsWith(english)) continue;
        QString rest = reason.mid(english.size());
        // The damage, and where it lies when it is told: " (member 1, offset 0)".
        for (const auto& d : damage)
            if (rest.startsWith(QLatin1String(d.english)))
                rest = QString::fromUtf8(d.japanese) + rest.mid(static_cast<qsizetype>(std::strlen(d.english)));
        return QString::fromUtf8(form.japanese) + rest;
    }
    for (const auto& form : endings) {
        const QString english = QString::fromUtf8(form.english);
        if (reason.endsWith(english)) return reason.chopped(english.size()) + QString::fromUtf8(form.japanese);
    }
    return reason;
}

QString failureReason(const std::string& report) {
    std::string line = report;
    while (!line.empty() && line.back() == '\n') line.pop_back();
    line = line.substr(line.rfind('\n') == std::string::npos ? 0 : line.rfind('\n') + 1);
    const std::string prefix = "error: ";
    if (line.rfind(prefix, 0) == 0) line = line.substr(prefix.size());
    return QString::fromLocal8Bit(line.data(), static_cast<qsizetype>(line.size()));
}

QStringList warningLines(const std::string& report, int limit) {
    const QString prefix = QStringLiteral("warning: ");
    QStringList lines;
    int more = 0;
    const QString text = QString::fromLocal8Bit(report.data(), static_cast<qsizetype>(report.size()));
    for (const QString& line : text.split(QLatin1Char('\n'))) {
        if (!line.startsWith(prefix)) continue;
        if (lines.size() < limit) lines << line.mid(prefix.size());
        else ++more;
    }
    if (more > 0) lines << QStringLiteral("ほか %1 件").arg(more);
    return lines;
}

}  // namespace lzh
