#include "archiver/command/run_command.h"

#include "archiver/command/collect.h"
#include "archiver/command/extract.h"
#include "archiver/command/member_selection.h"
#include "archiver/command/command_line.h"
#include "archiver/command/printable.h"
#include "archiver/command/response_file.h"
#include "archiver/command/update.h"
#include "archiver/format/archive_reader.h"
#include "archiver/format/archive_source.h"
#include "archiver/format/member_data.h"
#include "archiver/format/worker_pool.h"

#include <algorithm>
#include <chrono>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <deque>
#include <future>
#include <utility>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace lzh {
namespace {

std::string ratio(std::uint64_t packed, std::uint64_t original) {
    char text[16];
    if (original == 0) return "  ****";
    const double percent = 100.0 * static_cast<double>(packed) / static_cast<double>(original);
    if (percent >= 999.95) return " >999%";   // a member that grew (another tool's): the column keeps its width
    std::snprintf(text, sizeof text, "%5.1f%%", percent);
    return text;
}

// "drwxr-xr-x" from a Unix mode, as ls shows it (setuid, setgid and sticky
// as s/S, s/S and t/T, for the eye: extraction never sets them);
// "[generic]" where the header holds none.
std::string permissions(const ArchiveMember& m) {
    if (!m.hasUnixMode) return "[generic] ";
    std::string text = m.symlink ? "l" : m.directory ? "d" : "-";
    const char* bits = "rwxrwxrwx";
    for (int i = 0; i < 9; ++i) text += (m.unixMode >> (8 - i)) & 1 ? bits[i] : '-';
    const struct { unsigned bit; std::size_t at; char set, unset; } special[] = {
        {04000, 3, 's', 'S'}, {02000, 6, 's', 'S'}, {01000, 9, 't', 'T'}};
    for (const auto& s : special)
        if (m.unixMode & s.bit) text[s.at] = text[s.at] == '-' ? s.unset : s.set;
    return text;
}

std::string listArchive(const Command& command, const std::vector<std::string>& patterns, Report& report) {
    ArchiveSource source;
    std::vector<ArchiveMember> members;
    std::string fault = openArchive(command.archive, source, members, report);
    if (!fault.empty() && members.empty()) return fault;
    // v adds the CRC, the system that wrote the member and its permissions.
    const std::string extraHead = command.verbose ? " CRC  OS PERMISSION" : "";
    const std::string extraRule = command.verbose ? " ---- -- ----------" : "";
    const std::string rule =
        "------------ ------------ ------ -----" + extraRule + " ------------------- -- --------------------";
    report.add("    ORIGINAL       PACKED  RATIO METHD" + extraHead + " STAMP               LV NAME");
    report.add(rule);
    char line[256];
    std::uint64_t original = 0, packed = 0;
    std::size_t listed = 0;
    const MemberSelection selection(patterns, command.excludes);
    for (const ArchiveMember& m : members) {
        if (!selection.selects(m)) continue;
        ++listed;
        // localtime_r: localtime would look at /etc/localtime again for every member.
        const std::time_t t = static_cast<std::time_t>(m.mtime);
        std::tm local {};
        char stamp[32] = "0000-00-00 00:00:00";   // no time recorded, or one the system cannot show
        if (m.hasTime && ::localtime_r(&t, &local)) std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &local);
        std::snprintf(line, sizeof line, "%12llu %12llu %s %s", static_cast<unsigned long long>(m.originalSize),
                      static_cast<unsigned long long>(m.packedSize), ratio(m.packedSize, m.originalSize).c_str(),
                      m.method.c_str());
        std::string text = line;
        if (command.verbose) {
            const bool shown = m.os > 0x20 && m.os < 0x7f;
            std::snprintf(line, sizeof line, " %04X %c  %s", m.crc, shown ? m.os : '-', permissions(m).c_str());
            text += line;
        }
        std::snprintf(line, sizeof line, " %s L%d ", stamp, m.level);
        report.add(text + line + printable(m.name) + (m.symlink ? " -> " + printable(m.linkTarget) : std::string()));
        original += m.originalSize;
        packed += m.packedSize;
    }
    report.add(rule);
    std::snprintf(line, sizeof line, "%12llu %12llu %s       Total %zu member%s", static_cast<unsigned long long>(original),
                  static_cast<unsigned long long>(packed), ratio(packed, original).c_str(), listed,
                  listed == 1 ? "" : "s");
    report.add(line);
    if (!fault.empty()) return fault;
    return selectionFault(patterns, members, listed, command.letter, report);
}

std::string testArchive(const Command& command, const std::vector<std::string>& patterns, Report& report,
                        Progress* progress) {
    ArchiveSource source;
    std::vector<ArchiveMember> members;
    const std::string damage = openArchive(command.archive, source, members, report);
    if (!damage.empty() && members.empty()) return damage;
    int bad = 0, tested = 0;
    const MemberSelection selection(patterns, command.excludes);
    if (progress) progress->setTotal(selectedBytes(members, selection));
    // Members are decoded side by side, a few per thread ahead of the report,
    // which keeps their order (with one thread, each in turn here).
    const unsigned threads = command.threads ? command.threads : onlineCpus();
    WorkerPool pool(threads > 1 ? threads : 0);
    std::deque<std::pair<const ArchiveMember*, std::future<std::string>>> inFlight;
    auto reportOldest = [&] {
        const ArchiveMember& m = *inFlight.front().first;
        const std::string result = inFlight.front().second.get();
        inFlight.pop_front();
        if (progress && progress->cancelled()) return;   // stopped part way: no verdict
        if (!result.empty()) ++bad;
        if (!command.quiet || !result.empty())
            report.add(printable(m.name) + ": " + (result.empty() ? "ok" : printable(result)));
    };
    for (const ArchiveMember& m : members) {
        if (!selection.selects(m)) continue;
        if (progress && progress->cancelled()) break;
        ++tested;
        if (inFlight.size() >= 4 * std::size_t{threads}) reportOldest();
        inFlight.emplace_back(&m, pool.submit<std::string>([&source, &m, progress] {
            if (progress) progress->startMember(m.name);
            return decodeMember(source, m, [progress](const std::uint8_t*, std::size_t n) {
                if (progress) progress->add(n);
                return !(progress && progress->cancelled());
            });
        }));
        // Each result as soon as those before it are in: a report streamed to
        // a terminal shows it while the next members are tested.
        while (!inFlight.empty() &&
               inFlight.front().second.wait_for(std::chrono::seconds(0)) == std::future_status::ready)
            reportOldest();
    }
    while (!inFlight.empty()) reportOldest();
    if (progress && progress->cancelled()) return kCancelledFault;
    if (!command.quiet)
        report.add(std::to_string(tested) + (tested == 1 ? " member" : " members") + " tested, " +
                            std::to_string(bad) + " bad");
    if (!damage.empty()) return "the archive is damaged: " + damage;
    if (std::string fault = selectionFault(patterns, members, tested, command.letter, report); !fault.empty())
        return fault;
    return bad ? "the archive has bad members" : std::string();
}

}  // namespace

int runCommand(const std::string& text, std::string& report, Progress* progress,
               const std::function<void(const std::string&)>& notice) {
    return runCommand(splitCommandText(text), report, progress, notice);
}

int runCommand(const std::vector<std::string>& fields, std::string& report, Progress* progress,
               const std::function<void(const std::string&)>& notice) {
    Report lines;
    const int status = runCommand(fields, lines, progress, notice);
    report = lines.text();
    return status;
}

namespace {

// What makes a parsed command unfit to run, whatever the files hold.
std::string usageFault(const Command& command) {
    const bool packs = std::string("uamcf").find(command.letter) != std::string::npos;
    const bool unnamed = command.names.empty() && command.listFiles.empty();
    if (command.archive == kStandardInput && !readsStandardInput(command) && !writesStandardOutput(command))
        return "- is the standard input for l, v, t, x, e and p, and the standard output for c, a and u; " +
               std::string(1, command.letter) + " cannot take it (a file named - is ./-)";
    if (readsStandardInput(command) &&
        std::find(command.listFiles.begin(), command.listFiles.end(), kStandardInputList) != command.listFiles.end())
        return "the standard input cannot give both the archive (-) and a list (@-)";
    if (readsStandardInput(command) && ::isatty(STDIN_FILENO))
        return "the standard input (-) is a terminal: give the archive through a pipe or with <";
    if (writesStandardOutput(command) && ::isatty(STDOUT_FILENO))
        return "the standard output (-) is a terminal: send the archive to a file (> NAME.lzh) or a pipe";
    if (packs && unnamed && !command.baseFolder.empty())
        return "no file names given after the base folder " + command.baseFolder +
               " (name the files in it, or . for all of it)";
    if (packs && unnamed) return "no file names given";
    if (command.letter == 'd' && unnamed) return "no member names given: nothing to delete";
    return {};
}

}  // namespace

int runCommand(const std::vector<std::string>& fields, Report& report, Progress* progress,
               const std::function<void(const std::string&)>& notice) {
    Command command;
    std::string fault = parseCommand(fields, command);
    if (fault.empty()) fault = usageFault(command);
    if (!fault.empty()) {
        report.add("error: " + printable(fault));
        return kUsageError;
    }
    std::vector<std::string> names = command.names;
    std::vector<std::string> trimmed;   // list lines that lost blanks around their name
    for (const std::string& list : command.listFiles)
        if (fault.empty()) fault = readResponseFile(list, names, &trimmed, command.nullLists);
    if (!fault.empty()) {
    } else if (command.letter == 'l') {
        fault = listArchive(command, names, report);
    } else if (command.letter == 't') {
        fault = testArchive(command, names, report, progress);
    } else if (command.letter == 'x' || command.letter == 'e' || command.letter == 'p') {
        fault = extractArchive(command, names, report, progress);
    } else {
        auto onWait = [&](const std::string& folder) {
            if (notice) notice(printable("waiting for another update in " + folder + " to end"));
        };
        if (command.letter == 'd') {
            fault = deleteMembers(command, names, report, progress, onWait, trimmed);
        } else {
            std::vector<Entry> entries;
            std::vector<std::string> skipped;
            fault = ambiguousListLine(
                trimmed, [&](const std::string& name) {
                    struct stat st {};
                    return ::lstat((command.baseFolder + name).c_str(), &st) == 0;
                },
                "file");
            if (fault.empty()) fault = collectEntries(command, names, entries, &skipped);
            // Nothing passed over unsaid, whatever becomes of the rest.
            for (const std::string& line : skipped) report.add("warning: " + printable(line));
            if (fault.empty()) fault = updateArchive(command, entries, report, progress, onWait);
        }
    }
    if (!fault.empty()) {
        report.add("error: " + printable(fault));   // names in it come from users and archives
        return 1;
    }
    return 0;
}

}  // namespace lzh
