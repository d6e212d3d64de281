#include "archiver/command/run_command.h"

#include "archiver/command/collect.h"
#include "archiver/command/command_line.h"
#include "archiver/command/printable.h"
#include "archiver/command/response_file.h"
#include "archiver/command/update.h"
#include "archiver/format/archive_reader.h"
#include "archiver/format/member_data.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace lzh {
namespace {

std::string openArchive(const std::string& path, int& fd, std::vector<ArchiveMember>& members) {
    fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return "cannot open " + path + ": " + std::strerror(errno);
    struct stat st {};
    ::fstat(fd, &st);
    return readArchive(fd, static_cast<std::uint64_t>(st.st_size), members);
}

std::string listArchive(const Command& command, std::string& report) {
    int fd = -1;
    std::vector<ArchiveMember> members;
    std::string fault = openArchive(command.archive, fd, members);
    if (fd >= 0) ::close(fd);
    if (!fault.empty()) return fault;
    char line[256];
    std::uint64_t original = 0, packed = 0;
    for (const ArchiveMember& m : members) {
        std::time_t t = static_cast<std::time_t>(m.mtime);
        char stamp[32];
        std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", std::localtime(&t));
        std::snprintf(line, sizeof line, "%12llu %12llu %s %s L%d ", static_cast<unsigned long long>(m.originalSize),
                      static_cast<unsigned long long>(m.packedSize), m.method.c_str(), stamp, m.level);
        report += line + printable(m.name) + "\n";
        original += m.originalSize;
        packed += m.packedSize;
    }
    std::snprintf(line, sizeof line, "%12llu %12llu %zu members", static_cast<unsigned long long>(original),
                  static_cast<unsigned long long>(packed), members.size());
    report += line;
    return {};
}

std::string testArchive(const Command& command, std::string& report) {
    int fd = -1;
    std::vector<ArchiveMember> members;
    std::string fault = openArchive(command.archive, fd, members);
    if (!fault.empty()) {
        if (fd >= 0) ::close(fd);
        return fault;
    }
    int bad = 0;
    for (const ArchiveMember& m : members) {
        std::string result = decodeMember(fd, m, [](const std::uint8_t*, std::size_t) { return true; });
        report += printable(m.name) + ": " + (result.empty() ? "ok" : printable(result)) + "\n";
        if (!result.empty()) ++bad;
    }
    ::close(fd);
    report += std::to_string(members.size()) + " members tested, " + std::to_string(bad) + " bad";
    return bad ? "the archive has bad members" : std::string();
}

}  // namespace

int runCommand(const std::string& text, std::string& report, Progress* progress,
               const std::function<void(const std::string&)>& notice) {
    report.clear();
    Command command;
    std::string fault = parseCommand(splitCommandText(text), command);
    if (fault.empty()) {
        if (command.letter == 'l') {
            fault = listArchive(command, report);
        } else if (command.letter == 't') {
            fault = testArchive(command, report);
        } else {
            std::vector<std::string> names = command.names;
            for (const std::string& list : command.listFiles)
                if (fault.empty()) fault = readResponseFile(list, names);
            std::vector<Entry> entries;
            if (fault.empty()) fault = collectEntries(command, names, entries);
            auto onWait = [&](const std::string& folder) {
                if (notice) notice(printable("waiting for another update in " + folder + " to end"));
            };
            if (fault.empty()) fault = updateArchive(command, entries, report, progress, onWait);
        }
    }
    if (!fault.empty()) {
        if (!report.empty()) report += "\n";
        report += "error: " + printable(fault);   // names in it come from users and archives
        return 1;
    }
    return 0;
}

}  // namespace lzh
