#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>
#include <string>

namespace lzh {

// The texts of the library's progress window.

// "0 KB", "512 KB", "12.3 MB", "1.20 GB" (1 KB = 1024 bytes).
QString sizeText(std::uint64_t bytes);

// "残り 約12秒", "残り 約3分05秒", "残り 約1時間02分"; "残り時間を計算しています"
// until a second has passed and some bytes are done.
QString timeLeftText(std::int64_t elapsedMs, std::uint64_t done, std::uint64_t total);

// The reason a command gave for failing: the text after "error: " on the
// last line of its report (the whole last line when there is no such prefix).
QString failureReason(const std::string& report);

// A reason or warning of the library's report in Japanese, the words that
// this window shows: the known forms are put in Japanese around the names and
// the system's own reason they hold; any other text is shown as it is.
QString japaneseReason(const QString& reason);

// The warnings of a report that succeeded (a file not packed, and why), each
// without its "warning: " prefix, at most `limit` of them; when there are
// more, a last line tells how many are left out.
QStringList warningLines(const std::string& report, int limit = 12);

}  // namespace lzh
