#include "archiver/window/progress_text.h"

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
