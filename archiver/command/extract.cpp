#include "archiver/command/extract.h"

#include "archiver/command/member_path.h"
#include "archiver/command/printable.h"
#include "archiver/format/archive_source.h"
#include "archiver/format/file_handle.h"
#include "archiver/format/member_data.h"
#include "archiver/format/member_header.h"
#include "archiver/format/new_file.h"
#include "archiver/format/worker_pool.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <deque>
#include <future>
#include <map>
#include <memory>
#include <optional>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace lzh {
namespace {

std::string joined(const std::vector<std::string>& parts) {
    std::string path;
    for (const std::string& part : parts) path += (path.empty() ? "" : "/") + part;
    return path;
}

// The destination folder, walked one component at a time without ever
// following a symbolic link, so that no write can leave it.
class Destination {
public:
    std::string open(const std::string& folder) {
        std::string path = folder.empty() ? "." : folder;
        // Create the destination itself as needed (it is the user's choice, links included).
        // The first folder that could not be made tells why the destination cannot be opened.
        std::string unmade;
        int unmadeErrno = 0;
        auto make = [&](const std::string& folder) {
            if (::mkdir(folder.c_str(), 0777) == 0 || errno == EEXIST || !unmade.empty()) return;
            unmade = folder;
            unmadeErrno = errno;
        };
        for (std::size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1))
            make(path.substr(0, slash));
        make(path);
        root_.reset(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (root_.get() >= 0) return {};
        if (errno == ENOENT && !unmade.empty())
            return "cannot make the folder " + unmade + ": " + std::strerror(unmadeErrno);
        return "cannot open the folder " + path + ": " + std::strerror(errno);
    }

    // Opens the folder made of `parts`, creating what is missing when asked.
    // The descriptor is lent: it stays open until the next call. -1 with
    // `fault` set (and errno kept) when a component is missing, a file, or
    // a link. The walk starts from the last folder opened when that one
    // leads here: members come folder by folder, and a deep tree would
    // otherwise cost a walk from the top for every file. (Links are made
    // only after every file, so no member can turn a folder already walked
    // into a link.)
    int openFolder(const std::vector<std::string>& parts, std::size_t count, bool create, std::string& fault) const {
        std::size_t start = 0;
        int at = root_.get();
        if (last_.get() >= 0 && lastParts_.size() <= count &&
            std::equal(lastParts_.begin(), lastParts_.end(), parts.begin())) {
            start = lastParts_.size();
            at = last_.get();
        }
        if (start == count) return at;
        FileHandle walked;
        for (std::size_t i = start; i < count; ++i) {
            int next = ::openat(at, parts[i].c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (next < 0 && errno == ENOENT && create) {
                if (::mkdirat(at, parts[i].c_str(), 0777) == 0 || errno == EEXIST)
                    next = ::openat(at, parts[i].c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            }
            if (next < 0) {
                const int error = errno;
                const std::vector<std::string> upTo(parts.begin(), parts.begin() + static_cast<long>(i) + 1);
                fault = (error == ENOTDIR || error == ELOOP)
                            ? "a file or link is in the way: " + joined(upTo)
                            : "cannot open the folder " + joined(upTo) + ": " + std::strerror(error);
                walked.reset();
                errno = error;
                return -1;
            }
            walked.reset(next);
            at = next;
        }
        last_.reset(walked.release());
        lastParts_.assign(parts.begin(), parts.begin() + static_cast<long>(count));
        return last_.get();
    }

private:
    FileHandle root_;
    mutable FileHandle last_;                     // the last folder opened below the root
    mutable std::vector<std::string> lastParts_;  // and its path
};

// A link or folder finished after the files: its path as one string (a
// deep tree's folders, each as a list of components, took memory by the
// square of the depth).
struct Pending {
    std::string path;
    const ArchiveMember* member;
};

class Extractor {
public:
    Extractor(const Command& command, const ArchiveSource& source, Report& report, Progress* progress)
        : command_(command), source_(source), report_(report), progress_(progress), umask_(processUmask()) {}

    std::string run(const std::vector<ArchiveMember>& members, const std::vector<std::string>& patterns) {
        if (command_.letter != 'p')
            if (std::string fault = destination_.open(command_.baseFolder); !fault.empty()) return fault;
        // The bytes to decode, for the progress line (none under p: its output may share the terminal).
        if (command_.letter == 'p') progress_ = nullptr;
        const MemberSelection selection(patterns, command_.excludes);
        if (progress_) progress_->setTotal(selectedBytes(members, selection));
        const unsigned threads = command_.threads ? command_.threads : onlineCpus();
        if (command_.letter != 'p' && threads > 1) pool_ = std::make_unique<WorkerPool>(threads);
        for (std::size_t i = 0; i < members.size(); ++i) {
            const ArchiveMember& m = members[i];
            if (!selection.selects(m)) continue;
            if (progress_ && progress_->cancelled()) return kCancelledFault;
            ++selected_;
            if (command_.letter == 'p') {
                if (!print(m)) break;
                continue;
            }
            decodeAhead(members, selection, i);
            extract(m);
            // A member passed over (kept, refused) leaves its bytes unused.
            if (!ahead_.empty() && ahead_.front().member == &m) ahead_.pop_front();
        }
        if (progress_ && progress_->cancelled()) return kCancelledFault;
        for (const Pending& link : links_) makeLink(link);
        // Folders last and deepest first, so that their modes and times hold.
        for (auto it = folders_.rbegin(); it != folders_.rend(); ++it) finishFolder(*it);
        if (command_.letter != 'p' && !command_.quiet)
            line(std::to_string(restored_) + " extracted, " + std::to_string(kept_) + " not newer, " +
                 std::to_string(failed_) + " not extracted");
        if (failed_)
            return std::to_string(failed_) + (failed_ == 1 ? " member was" : " members were") +
                   (command_.letter == 'p' ? " not printed" : " not extracted");
        return selectionFault(patterns, members, selected_, command_.letter, report_);
    }

private:
    // Small members are decoded ahead on the pool's threads while the files
    // before them are written here, a few per thread, so that memory stays
    // bounded; larger ones are decoded straight into their file.
    static constexpr std::uint64_t kAheadMemberBytes = std::uint64_t{1} << 20;
    struct Decoded {
        std::string fault;
        std::vector<std::uint8_t> bytes;
    };
    struct Ahead {
        const ArchiveMember* member;
        std::future<Decoded> decoded;
    };
    static bool decodedAhead(const ArchiveMember& m) {
        return !m.directory && !m.symlink && m.originalSize <= kAheadMemberBytes && m.method != "-lh0-";
    }
    // Starts the decoding of the selected members from `from` on, up to a few per thread.
    void decodeAhead(const std::vector<ArchiveMember>& members, const MemberSelection& selection, std::size_t from) {
        if (!pool_) return;
        aheadNext_ = std::max(aheadNext_, from);
        while (ahead_.size() < 4 * std::size_t{pool_->threads()} && aheadNext_ < members.size()) {
            const ArchiveMember& m = members[aheadNext_++];
            if (!decodedAhead(m) || !selection.selects(m)) continue;
            ahead_.push_back({&m, pool_->submit<Decoded>([this, &m] {
                                  Decoded d;
                                  d.bytes.reserve(static_cast<std::size_t>(m.originalSize));
                                  d.fault = decodeMember(source_, m, [&](const std::uint8_t* bytes, std::size_t n) {
                                      if (progress_) {
                                          progress_->add(n);
                                          if (progress_->cancelled()) return false;
                                      }
                                      d.bytes.insert(d.bytes.end(), bytes, bytes + n);
                                      return true;
                                  });
                                  return d;
                              })});
        }
    }

    void line(const std::string& text) { report_.add(text); }
    void warn(const ArchiveMember& m, const std::string& what) { line("warning: " + printable(m.name) + ": " + what); }
    void fail(const ArchiveMember& m, const std::string& what) {
        line("error: " + printable(m.name) + ": " + printable(what));
        ++failed_;
    }

    // Returns false when the standard output cannot be written: no member after it could be either.
    bool print(const ArchiveMember& m) {
        if (m.directory || m.symlink) return true;
        int writeErrno = 0;
        const std::string fault = decodeMember(source_, m, [&](const std::uint8_t* d, std::size_t n) {
            if (writeAll(STDOUT_FILENO, d, n)) return true;
            writeErrno = errno;
            return false;
        });
        if (writeErrno) fail(m, std::string("cannot write to the standard output: ") + std::strerror(writeErrno));
        else if (!fault.empty()) fail(m, fault);
        return writeErrno == 0;
    }

    mode_t modeOf(const ArchiveMember& m, mode_t fallback) const {
        // Permission bits only: never setuid, setgid or sticky.
        return (m.hasUnixMode ? static_cast<mode_t>(m.unixMode & 0777) : fallback) & ~umask_;
    }

    void extract(const ArchiveMember& m) {
        MemberPath path = safeMemberPath(caseFolded(m.name, m.os, m.level, m.hasUnixMode));
        if (path.parts.empty()) return fail(m, path.note);
        if (!path.note.empty()) warn(m, path.note);
        if (command_.letter == 'e') {
            if (m.directory) return;
            path.parts.erase(path.parts.begin(), path.parts.end() - 1);
        }
        if (m.symlink) {
            links_.push_back({joined(path.parts), &m});
            return;
        }
        // Two members under one name (e drops the folders): the second would
        // replace what the first just wrote.
        const auto earlier = written_.find(joined(path.parts));
        if (!m.directory && earlier != written_.end() && earlier->second != m.name)
            return fail(m, "not extracted: " + joined(path.parts) + " was just extracted from " + earlier->second);
        std::string fault;
        if (m.directory) {
            if (destination_.openFolder(path.parts, path.parts.size(), true, fault) < 0) return fail(m, fault);
            folders_.push_back({joined(path.parts), &m});
            return;
        }
        const int folder = destination_.openFolder(path.parts, path.parts.size() - 1, true, fault);
        if (folder < 0) return fail(m, fault);
        const std::string& name = path.parts.back();
        struct stat st {};
        const bool replacing = ::fstatat(folder, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
        if (replacing) {
            if (S_ISDIR(st.st_mode)) return fail(m, "a folder of that name is in the way");
            // A member named like the archive, extracted beside it, would replace it.
            if (source_.isReadFrom(st)) return fail(m, "not extracted: it would replace the archive being read");
            if (keptOnDisk(st, m, path.parts, "file")) return;
        }
        fault = writeFile(m, folder, name, replacing);
        if (!fault.empty()) return fail(m, fault);
        written_.emplace(joined(path.parts), m.name);
        ++restored_;
        if (!command_.quiet) line(printable(joined(path.parts)));
    }

    // Whether what is on disk at `parts` (st) stays: unless -c1, only a newer member replaces it.
    bool keptOnDisk(const struct stat& st, const ArchiveMember& m, const std::vector<std::string>& parts,
                    const char* what) {
        if (command_.overwrite || st.st_mtime + m.slack() < m.mtime) return false;
        ++kept_;
        if (!command_.quiet)
            line(printable(joined(parts)) + ": kept, the " + what + " on disk is not older (-c1 overwrites)");
        return true;
    }

    // Decodes into a new file beside the target and puts it in place only
    // when the data is sound: a bad member never replaces a good file. The
    // new file has no name while it is written (where the file system
    // allows), so that a kill leaves nothing behind; where it has one, it
    // is removed on the signals the tool handles. One that replaces a file
    // is on the disk before it takes its name, so that a crash cannot leave
    // an empty file where the old one was.
    std::string writeFile(const ArchiveMember& m, int folder, const std::string& name, bool replacing) {
        std::string temp;   // the new file's name while it is written, if it has one
        FileHandle out(unnamedFiles_ ? ::openat(folder, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600) : -1);
        // A file system without unnamed files gets a named one; any other fault is the answer.
        if (unnamedFiles_ && out.get() < 0 && errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)
            return std::string("cannot create a file: ") + std::strerror(errno);
        for (unsigned attempt = 0; attempt < 100 && out.get() < 0; ++attempt) {
            temp = temporaryName();
            out.reset(::openat(folder, temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
            if (out.get() < 0 && errno != EEXIST) break;
        }
        if (out.get() < 0) return std::string("cannot create a file: ") + std::strerror(errno);
        // Removed if the tool is interrupted: by its folder's descriptor, which stays open.
        std::optional<PendingTemporary> pending;
        if (!temp.empty()) pending.emplace(folder, temp);
        bool writeFailed = false;
        int writeErrno = 0;
        if (progress_) progress_->startMember(m.name);
        std::string fault;
        if (!ahead_.empty() && ahead_.front().member == &m) {
            const Decoded decoded = ahead_.front().decoded.get();
            ahead_.pop_front();
            fault = decoded.fault;
            if (fault.empty() && !writeAll(out.get(), decoded.bytes.data(), decoded.bytes.size())) {
                writeFailed = true;
                writeErrno = errno;
            }
        } else {
            fault = decodeMember(source_, m, [&](const std::uint8_t* d, std::size_t n) {
                if (progress_) {
                    progress_->add(n);
                    if (progress_->cancelled()) return false;   // the member is left unwritten
                }
                if (writeAll(out.get(), d, n)) return true;
                writeFailed = true;
                writeErrno = errno;
                return false;
            });
        }
        if (writeFailed) fault = std::string("cannot write: ") + std::strerror(writeErrno);
        std::string unset;   // what of the member's permissions and time the file did not take
        if (fault.empty()) {
            unset = setModeAndTime(out.get(), m, modeOf(m, 0666));
            if (replacing && ::fsync(out.get()) != 0) fault = std::string("cannot write: ") + std::strerror(errno);
        }
        if (fault.empty() && temp.empty()) fault = placeUnnamed(out.get(), folder, name);
        if (::close(out.release()) != 0 && fault.empty()) fault = std::string("cannot write: ") + std::strerror(errno);
        if (fault.empty() && !temp.empty() && ::renameat(folder, temp.c_str(), folder, name.c_str()) != 0)
            fault = std::string("cannot create the file: ") + std::strerror(errno);
        if (!fault.empty() && !temp.empty()) ::unlinkat(folder, temp.c_str(), 0);
        if (fault.empty() && !unset.empty()) warn(m, unset);
        return fault;
    }

    // Gives the open file or folder the member's mode and time; a warning's
    // text for what failed (a later update or extraction compares that
    // time), else nothing.
    static std::string setModeAndTime(int fd, const ArchiveMember& m, std::optional<mode_t> mode) {
        std::string unset;
        if (mode && ::fchmod(fd, *mode) != 0)
            unset = std::string("its permissions could not be set: ") + std::strerror(errno);
        const struct timespec times[2] = {{m.mtime, m.mtimeNanoseconds}, {m.mtime, m.mtimeNanoseconds}};
        if (m.hasTime && ::futimens(fd, times) != 0)
            unset += (unset.empty() ? "" : "; ") + std::string("its time could not be set: ") + std::strerror(errno);
        return unset;
    }

    // Gives the unnamed file `fd` the name `name` in `folder`: at once where
    // the name is free, else by a hidden name renamed over the file there.
    std::string placeUnnamed(int fd, int folder, const std::string& name) {
        const std::string self = "/proc/self/fd/" + std::to_string(fd);
        if (::linkat(AT_FDCWD, self.c_str(), folder, name.c_str(), AT_SYMLINK_FOLLOW) == 0) return {};
        if (errno != EEXIST) return std::string("cannot create the file: ") + std::strerror(errno);
        for (unsigned attempt = 0; attempt < 100; ++attempt) {
            const std::string temp = temporaryName();
            const PendingTemporary pending(folder, temp);
            if (::linkat(AT_FDCWD, self.c_str(), folder, temp.c_str(), AT_SYMLINK_FOLLOW) != 0) {
                if (errno == EEXIST) continue;
                break;
            }
            if (::renameat(folder, temp.c_str(), folder, name.c_str()) == 0) return {};
            const int error = errno;
            ::unlinkat(folder, temp.c_str(), 0);
            errno = error;
            break;
        }
        return std::string("cannot create the file: ") + std::strerror(errno);
    }

    std::string temporaryName() { return ".unlha32-" + std::to_string(pid_) + "-" + std::to_string(++tempCounter_); }

    void makeLink(const Pending& link) {
        const ArchiveMember& m = *link.member;
        const std::vector<std::string> parts = splitPath(link.path);
        const std::vector<std::string> from(parts.begin(), parts.end() - 1);
        auto kind = [this](const std::vector<std::string>& parts) {
            std::string ignored;
            if (destination_.openFolder(parts, parts.size(), false, ignored) >= 0) return PathKind::Folder;
            return errno == ENOENT ? PathKind::Missing : PathKind::Other;
        };
        if (m.linkTarget.empty()) return fail(m, "link not made: it names no target");
        if (!linkStaysInside(from, m.linkTarget, kind))
            return fail(m, "link not made: its target " + m.linkTarget + " may lead outside the destination");
        std::string fault;
        const int folder = destination_.openFolder(parts, parts.size() - 1, true, fault);
        if (folder < 0) return fail(m, fault);
        const std::string& name = parts.back();
        struct stat st {};
        const bool replacing = ::fstatat(folder, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
        if (replacing) {
            if (!S_ISLNK(st.st_mode)) return fail(m, "link not made: a file of that name is in the way");
            // A link on disk is kept by the rule for files: only a newer member replaces it.
            if (keptOnDisk(st, m, parts, "link")) return;
        }
        std::string text = m.linkTarget;
        for (char& c : text) if (c == '\\') c = '/';
        // Made under a hidden name, then renamed over the old link: a link
        // that cannot be made leaves the old one as it was.
        std::string temp;
        int error = EEXIST;
        for (unsigned attempt = 0; attempt < 100 && error == EEXIST; ++attempt) {
            temp = temporaryName();
            error = ::symlinkat(text.c_str(), folder, temp.c_str()) == 0 ? 0 : errno;
        }
        if (error) return fail(m, std::string("cannot make the link: ") + std::strerror(error));
        const PendingTemporary pending(folder, temp);
        const struct timespec times[2] = {{m.mtime, m.mtimeNanoseconds}, {m.mtime, m.mtimeNanoseconds}};
        if (m.hasTime) ::utimensat(folder, temp.c_str(), times, AT_SYMLINK_NOFOLLOW);
        if (::renameat(folder, temp.c_str(), folder, name.c_str()) != 0) {
            error = errno;
            ::unlinkat(folder, temp.c_str(), 0);
            return fail(m, std::string("cannot make the link: ") + std::strerror(error));
        }
        ++restored_;
        if (!command_.quiet) line(printable(link.path) + " -> " + printable(m.linkTarget));
    }

    void finishFolder(const Pending& folder) {
        const ArchiveMember& m = *folder.member;
        std::string fault;
        const std::vector<std::string> parts = splitPath(folder.path);
        const int fd = destination_.openFolder(parts, parts.size(), false, fault);
        const std::string unset = fd < 0 ? "its permissions and time could not be set: " + fault
                                         : setModeAndTime(fd, m, m.hasUnixMode ? std::optional(modeOf(m, 0777))
                                                                                : std::nullopt);
        if (!unset.empty()) warn(m, unset);
        ++restored_;
        if (!command_.quiet) line(printable(folder.path) + "/");
    }

    const Command& command_;
    const ArchiveSource& source_;
    Report& report_;
    Progress* progress_;
    mode_t umask_;
    Destination destination_;
    std::vector<Pending> links_, folders_;
    std::map<std::string, std::string> written_;   // path written in this run: the member it came from
    int selected_ = 0, restored_ = 0, kept_ = 0, failed_ = 0;
    unsigned tempCounter_ = 0;
    const pid_t pid_ = ::getpid();   // the temporary names' prefix
    const bool unnamedFiles_ = unnamedFilesCanBeNamed();   // else named temporaries
    std::deque<Ahead> ahead_;        // in the members' order
    std::size_t aheadNext_ = 0;      // the next member to consider for decoding ahead
    std::unique_ptr<WorkerPool> pool_;   // last: its threads end before what their tasks use
};

}  // namespace

std::uint64_t selectedBytes(const std::vector<ArchiveMember>& members, const MemberSelection& selection) {
    std::uint64_t total = 0;
    for (const ArchiveMember& m : members)
        if (!m.directory && !m.symlink && selection.selects(m)) total += m.originalSize;
    return total;
}

std::string openArchive(const std::string& path, ArchiveSource& source, std::vector<ArchiveMember>& members,
                        Report& report) {
    if (std::string fault = source.open(path); !fault.empty()) return fault;
    const std::string fault = readArchive(source, members);
    if (const std::string stray = archiveAfterNoProgram(source, members); !stray.empty())
        report.add("warning: " + printable(path) + ": " + stray);
    return fault.empty() || !members.empty() ? fault : unreadableArchive(path, fault);
}

std::string extractArchive(const Command& command, const std::vector<std::string>& patterns, Report& report,
                           Progress* progress) {
    ArchiveSource source;
    std::vector<ArchiveMember> members;
    // A damaged archive still gives the members before the damage.
    const std::string damage = openArchive(command.archive, source, members, report);
    if (!damage.empty() && members.empty()) return damage;
    std::string fault = Extractor(command, source, report, progress).run(members, patterns);
    if (!damage.empty()) return "the archive is damaged: " + damage + (fault.empty() ? "" : "; " + fault);
    return fault;
}

}  // namespace lzh
