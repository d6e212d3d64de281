#include "archiver/command/update.h"

#include "archiver/command/member_path.h"

#include "archiver/command/member_selection.h"
#include "archiver/command/move_sources.h"
#include "archiver/command/printable.h"
#include "archiver/command/response_file.h"
#include "archiver/format/archive_target.h"
#include "archiver/format/archive_writer.h"
#include "archiver/format/file_handle.h"
#include "archiver/format/member_header.h"
#include "archiver/format/worker_pool.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <map>
#include <unistd.h>

namespace lzh {
namespace {

// A member's fate in an update: kept (copied), dropped, or the index of the
// file that replaces it.
constexpr int kKept = -1, kDropped = -2;

// The bytes an update reads: the members it copies and the files it packs.
std::uint64_t bytesToRead(const std::vector<ArchiveMember>& members, const std::vector<int>& replacement,
                          const std::vector<Entry>& entries, const std::vector<bool>& adding) {
    std::uint64_t total = 0;
    for (std::size_t m = 0; m < members.size(); ++m)
        total += replacement[m] == kKept      ? members[m].headerSize + members[m].packedSize
                 : replacement[m] == kDropped ? 0
                                              : entries[static_cast<std::size_t>(replacement[m])].size;
    for (std::size_t i = 0; i < entries.size(); ++i)
        if (adding[i]) total += entries[i].size;
    return total;
}

std::string storedKey(const std::string& name, bool folder) { return folder ? name + "/" : name; }

// Copies the old archive's members [from, to) unchanged: each run of
// members that follow one another there goes in one piece, not a call a
// member (an archive of many small members would cost a read each).
std::string copyKept(ArchiveWriter& writer, int fd, const std::vector<ArchiveMember>& members, std::size_t from,
                     std::size_t to) {
    while (from < to) {
        std::size_t end = from + 1;
        while (end < to && members[end].headerOffset ==
                               members[end - 1].headerOffset + members[end - 1].headerSize + members[end - 1].packedSize)
            ++end;
        if (std::string fault = writer.copyMembers(fd, &members[from], end - from); !fault.empty()) return fault;
        from = end;
    }
    return {};
}

std::string addEntry(ArchiveWriter& writer, const Entry& e) {
    return e.folder ? writer.addFolder(e.stored, e.source) : writer.addFile(e.stored, e.source);
}

// c, a and u to "-": a new archive of the files, made in a temporary file
// (each header is finished after its member's data) and then copied to the
// standard output. Nothing reaches the output unless the whole archive
// was made.
std::string packToStandardOutput(const Command& command, const std::vector<Entry>& entries, Report& report,
                                 Progress* progress) {
    if (progress) {
        progress->setTotal(bytesToRead({}, {}, entries, std::vector<bool>(entries.size(), true)));
        if (progress->cancelled()) return kCancelledFault;
    }
    const std::string folder = temporaryFolder();
    NewFile spool;   // never committed: it goes when this ends
    if (std::string fault = spool.create(folder + "/unlha32-stdout"); !fault.empty())
        return "cannot make a temporary file in " + folder + ": " + fault;
    ArchiveWriter writer(spool.fd(), command.method, command.best, progress,
                         command.threads ? command.threads : onlineCpus());
    writer.setArchiveName("for the standard output in " + folder);
    for (const Entry& e : entries)
        if (std::string fault = addEntry(writer, e); !fault.empty()) return fault;
    if (progress && progress->cancelled()) return kCancelledFault;
    if (std::string fault = writer.finish(); !fault.empty()) return fault;
    // The writer writes at offsets: the file is still read from its start.
    std::vector<std::uint8_t> buffer(1 << 20);
    std::uint64_t copied = 0;
    bool readFailed = false;
    if (!copyToEnd(spool.fd(), STDOUT_FILENO, buffer.data(), buffer.size(), copied, readFailed))
        return (readFailed ? "cannot read the archive back from " + folder : std::string("cannot write to the standard output")) +
               ": " + std::strerror(errno);
    if (copied != writer.size()) return "cannot read the archive back from " + folder + ": it ended early";
    if (!command.quiet) report.add(std::to_string(entries.size()) + " added (to the standard output)");
    return {};
}

// Puts the new archive in place, with a warning where it could not keep the old one's owner.
std::string commitTarget(ArchiveTarget& target, const Command& command, Report& report) {
    if (std::string fault = target.commit(); !fault.empty()) return fault;
    if (target.ownerLost())
        report.add("warning: " + printable(command.archive) +
                            ": its owner or group could not be kept: the archive now belongs to you");
    return {};
}

}  // namespace

std::string updateArchive(const Command& command, const std::vector<Entry>& entries, Report& report,
                          Progress* progress, const UpdateLock::WaitNotice& onWait) {
    if (writesStandardOutput(command)) return packToStandardOutput(command, entries, report, progress);
    ArchiveTarget target;
    if (std::string fault = target.open(command.archive, progress, onWait); !fault.empty()) return fault;
    // c starts the archive afresh (opened all the same: a file that is not an
    // archive is refused, not replaced); f replaces members and adds nothing.
    const bool create = command.letter == 'c', freshen = command.letter == 'f';
    const bool anyDate = command.letter == 'a' || command.letter == 'm';   // members replaced whatever their dates
    if (freshen && !target.exists()) return "no such archive: " + command.archive + " (f adds no members to make one)";
    const std::vector<ArchiveMember> none;
    const std::vector<ArchiveMember>& members = create ? none : target.members();

    // What happens to each entry: a replacement of a member, or an addition.
    std::map<std::string, std::size_t> byName;
    for (std::size_t i = 0; i < entries.size(); ++i) byName.emplace(storedKey(entries[i].stored, entries[i].folder), i);
    std::vector<bool> placed(entries.size(), false);
    std::vector<int> replacement(members.size(), kKept);
    int replaced = 0, kept = 0, added = 0, repeats = 0;
    // Each member's file, by its name; else, for a member from a system
    // without lower case, by the lower-case name it is extracted under.
    // An archive may hold a name twice: each copy belongs to the file.
    std::vector<std::size_t> fileOf(members.size(), entries.size());
    for (int pass = 0; pass < 2; ++pass)
        for (std::size_t m = 0; m < members.size(); ++m) {
            if (fileOf[m] < entries.size()) continue;
            const auto it = byName.find(pass == 0 ? members[m].name : caseFolded(members[m]));
            if (it == byName.end()) continue;
            placed[it->second] = true;
            fileOf[m] = it->second;
        }
    // A file replaces its copies only when it is newer than all of them
    // (which one a reader extracts depends on the reader); the first gives
    // way to it, and the others go with it.
    std::vector<std::size_t> firstOf(entries.size(), members.size());
    std::vector<std::int64_t> newestOf(entries.size(), INT64_MIN);
    for (std::size_t m = 0; m < members.size(); ++m) {
        const std::size_t i = fileOf[m];
        if (i == entries.size()) continue;
        if (firstOf[i] == members.size()) firstOf[i] = m;
        newestOf[i] = std::max(newestOf[i], members[m].mtime + members[m].slack());
    }
    for (std::size_t m = 0; m < members.size(); ++m) {
        const std::size_t i = fileOf[m];
        // Compared as the header would hold the file's stamp, so an unchanged
        // file dated outside the header's range is kept.
        if (i < entries.size() && !entries[i].folder && (anyDate || newestOf[i] < storedTime(entries[i].mtime))) {
            if (m == firstOf[i]) {
                replacement[m] = static_cast<int>(i);
                ++replaced;
            } else {
                replacement[m] = kDropped;
                ++repeats;
            }
        } else {
            ++kept;
        }
    }
    std::vector<bool> adding(entries.size(), false);
    int absent = 0;   // under f, the files not added
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (placed[i]) continue;
        adding[i] = !freshen;
        ++(freshen ? absent : added);
    }
    const std::string absentNote = absent ? ", " + std::to_string(absent) + " not in the archive (not added)" : "";
    if (target.exists() && !create && replaced == 0 && added == 0) {
        if (!command.quiet) report.add("nothing to update: " + std::to_string(kept) + " kept" + absentNote);
        return {};
    }

    if (progress) {
        progress->setTotal(target.extraSize() + bytesToRead(members, replacement, entries, adding));
        if (progress->cancelled()) return kCancelledFault;
    }

    if (std::string fault = target.create(); !fault.empty()) return fault;
    ArchiveWriter writer(target.newFd(), command.method, command.best, progress,
                         command.threads ? command.threads : onlineCpus());
    writer.setArchiveName(target.path());
    if (std::string fault = target.copyStub(writer); !fault.empty()) return fault;
    std::size_t keptFrom = 0;   // members from here on not yet written
    for (std::size_t m = 0; m < members.size(); ++m) {
        if (replacement[m] == kKept) continue;
        if (std::string fault = copyKept(writer, target.oldFd(), members, keptFrom, m); !fault.empty()) return fault;
        if (replacement[m] >= 0)
            if (std::string fault = addEntry(writer, entries[static_cast<std::size_t>(replacement[m])]); !fault.empty())
                return fault;
        keptFrom = m + 1;
    }
    if (std::string fault = copyKept(writer, target.oldFd(), members, keptFrom, members.size()); !fault.empty())
        return fault;
    for (std::size_t i = 0; i < entries.size(); ++i)
        if (adding[i])
            if (std::string fault = addEntry(writer, entries[i]); !fault.empty()) return fault;
    if (progress && progress->cancelled()) return kCancelledFault;
    if (std::string fault = target.finish(writer); !fault.empty()) return fault;
    if (std::string fault = commitTarget(target, command, report); !fault.empty()) return fault;
    if (repeats)
        report.add("warning: " + std::to_string(repeats) + " more member" + (repeats == 1 ? "" : "s") +
                            " under the names replaced dropped (the archive held those names more than once)");
    if (target.onlyPieces())
        report.add("warning: " + printable(command.archive) +
                            " is a new archive, apart from the pieces of the split archive of that name");
    if (!command.quiet) {
        const std::size_t dropped = create ? target.members().size() : 0;
        if (create)
            report.add(std::to_string(added) + " added" +
                                (dropped ? ", " + std::to_string(dropped) + " former member" +
                                               (dropped == 1 ? "" : "s") + " dropped"
                                         : ""));
        else
            report.add((freshen ? "" : std::to_string(added) + " added, ") + std::to_string(replaced) +
                                " replaced, " + std::to_string(kept) + " kept" + absentNote);
    }
    if (command.letter != 'm') return {};
    if (std::string fault = target.flushFolder(); !fault.empty())
        return "the archive is written, but its folder could not be flushed to disk, so no file was removed: " + fault;
    return removeMovedSources(target.path(), entries, report, command.quiet);
}

std::string deleteMembers(const Command& command, const std::vector<std::string>& patterns, Report& report,
                          Progress* progress, const UpdateLock::WaitNotice& onWait,
                          const std::vector<std::string>& trimmed) {
    if (patterns.empty()) return "no member names given: nothing to delete";
    ArchiveTarget target;
    if (std::string fault = target.open(command.archive, progress, onWait); !fault.empty()) return fault;
    if (!target.exists())
        return "no such archive: " + command.archive +
               (target.onlyPieces() ? " (only the pieces of a split archive, which cannot be updated: join them first)"
                                    : "");
    const std::vector<ArchiveMember>& members = target.members();
    const auto held = [&](const std::string& name) {
        return std::any_of(members.begin(), members.end(), [&](const ArchiveMember& m) { return m.name == name; });
    };
    if (std::string fault = ambiguousListLine(trimmed, held, "member"); !fault.empty()) return fault;
    std::size_t deleted = 0;
    std::uint64_t total = target.extraSize();
    const MemberSelection selection(patterns, command.excludes);
    for (const ArchiveMember& m : members) {
        if (selection.selects(m)) ++deleted;
        else total += m.headerSize + m.packedSize;
    }
    if (std::string fault = selectionFault(patterns, members, deleted, command.letter, report); !fault.empty())
        return fault + "; the archive is left as it is";
    if (deleted == members.size() && target.extraSize() > 0)
        return "every member would go, leaving the self-extracting program (or the bytes around the archive) "
               "with no archive, which no reader takes; the archive is left as it is";
    if (deleted == members.size()) {
        // No member left: a lone end mark is no archive to most readers, so the file goes.
        if (std::string fault = target.remove(); !fault.empty()) return fault;
        report.add("warning: " + std::to_string(deleted) + " deleted, none left: " + printable(command.archive) +
                            " is removed");
        return {};
    }
    if (progress) {
        progress->setTotal(total);
        if (progress->cancelled()) return kCancelledFault;
    }
    if (std::string fault = target.create(); !fault.empty()) return fault;
    ArchiveWriter writer(target.newFd(), command.method, command.best, progress);
    writer.setArchiveName(target.path());
    if (std::string fault = target.copyStub(writer); !fault.empty()) return fault;
    std::size_t keptFrom = 0;
    for (std::size_t m = 0; m <= members.size(); ++m) {
        if (m < members.size() && !selection.selects(members[m])) continue;
        if (std::string fault = copyKept(writer, target.oldFd(), members, keptFrom, m); !fault.empty()) return fault;
        keptFrom = m + 1;
    }
    if (progress && progress->cancelled()) return kCancelledFault;
    if (std::string fault = target.finish(writer); !fault.empty()) return fault;
    if (std::string fault = commitTarget(target, command, report); !fault.empty()) return fault;
    if (!command.quiet) report.add(std::to_string(deleted) + " deleted, " + std::to_string(members.size() - deleted) + " kept");
    return {};
}

}  // namespace lzh
