// unlha32: the archiver from a terminal, with the command syntax of the library.
#include "archiver/command/command_line.h"
#include "archiver/command/printable.h"
#include "archiver/command/run_command.h"
#include "archiver/command/terminal_progress.h"
#include "archiver/format/new_file.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>
#include <new>
#include <string>
#include <fcntl.h>
#include <unistd.h>

namespace {

const char kHelp[] =
    "usage: unlha32 COMMAND [SWITCH...] ARCHIVE [FOLDER/] [@LIST | NAME]...\n"
    "       unlha32 --help | --version\n"
    "\n"
    "Commands (case-insensitive):\n"
    "  u   update: create ARCHIVE, or add the files not in it and replace members\n"
    "      older than their file; every other member is copied unchanged\n"
    "  a   add: like u, but replace members whatever their dates\n"
    "  m   move: like a, then remove the files packed (and the folders stored,\n"
    "      once empty) from the disk; a file that changed meanwhile stays\n"
    "  f   freshen: like u, but only replace members; files not in ARCHIVE are\n"
    "      not added, and ARCHIVE must exist\n"
    "  c   create: a new archive of the files, in place of ARCHIVE's members (a\n"
    "      file that is not an archive is never replaced)\n"
    "  d   delete the members NAMEd; every other member is copied unchanged\n"
    "  l   list the members, with a header line and totals\n"
    "  v   list as l does, with each member's CRC, system and permissions\n"
    "  t   test the members (decode them and check their CRC)\n"
    "  x   extract with paths into FOLDER/ (default: the current folder)\n"
    "  e   extract without paths into FOLDER/\n"
    "  p   print the members' contents to standard output\n"
    "\n"
    "Switches (anywhere after the command; \"--\" ends them):\n"
    "  -a1  take dot-files when walking folders\n"
    "  -r2  walk the folders named (\".\" is the base folder itself)\n"
    "  -x1  store paths relative to the base folder\n"
    "  -jm5 | -jm6 | -jm7   method -lh5- (default), -lh6- or -lh7-\n"
    "  -jo1 smallest output: the cheapest parse over every match, a few times slower\n"
    "  --threads=N          code on N threads (default: one per CPU); the archive\n"
    "                       is the same for every N. t tests members side by\n"
    "                       side; x and e decode members of up to 1 MiB ahead\n"
    "  --exclude=PATTERN    leave out the files or members PATTERN matches, by\n"
    "                       their whole name or their last component (*.o,\n"
    "                       build: at any depth); a folder takes all in it along\n"
    "  --null               LIST files end each name with a NUL byte (find -print0)\n"
    "  -c1  x, e: overwrite existing files without comparing dates (by default a\n"
    "       file is replaced only by a newer member)\n"
    "  -q   quiet: no progress line (shown only when stderr is a terminal), and\n"
    "       only warnings and errors reported\n"
    "  -l1 -jp1 -o2         accepted for compatibility\n"
    "\n"
    "For u, a, m, f and c, FOLDER/ is the base folder: NAMEs and LIST file names\n"
    "(UTF-8, one a line, quoted when they hold blanks) are taken relative to it;\n"
    "without it, NAMEs are taken as given, and stored without a leading / or ../\n"
    "(unlha32 a x.lzh ~/notes.txt). @- reads the list from the standard input\n"
    "(find . -name '*.c' | unlha32 a -x1 x.lzh @-).\n"
    "For d, l, v, t, x, e and p, NAMEs select members (an error when none is\n"
    "selected, a warning for each NAME that selects none); shell wildcards * ?\n"
    "[...] match across \"/\" (a backslash makes the next character plain: q\\[1\\]),\n"
    "and a folder's name selects everything in it.\n"
    "ARCHIVE may be NAME.001, the first piece of a split archive, or NAME when only\n"
    "its pieces NAME.001, NAME.002, ... exist: the pieces are read in order as one\n"
    "(u, a, m, f, c and d never write to pieces; join them first). For l, v, t,\n"
    "x, e and p, ARCHIVE may be - , the standard input (a pipe or a redirect);\n"
    "for c, a and u, - is the standard output: the new archive is made in $TMPDIR\n"
    "(else /tmp), then written out whole.\n"
    "Extraction never writes outside FOLDER/: absolute names and \"..\" are made\n"
    "relative, links are made only when they and their target stay inside.\n"
    "Exit status: 0 on success, 1 for an error in an archive or a file, 2 for bad\n"
    "usage.\n";

// Names with a line break are refused on the command line, as in a list
// file, which could not hold them as one name (a walk stores them).
bool hasLineBreak(const std::string& field) { return field.find_first_of("\r\n") != std::string::npos; }

int fail(const std::string& reason) {
    std::fprintf(stderr, "error: %s\n", lzh::printable(reason).c_str());
    return 1;
}

// What went to the standard output must have reached it: a listing lost
// to a full disk is a failure, not a success.
int withOutputFlushed(int status) {
    if (std::fflush(stdout) == 0 && !std::ferror(stdout)) return status;
    const int error = errno;
    std::fprintf(stderr, "error: cannot write to the standard output: %s\n", std::strerror(error));
    return status == 0 ? 1 : status;
}

// The progress line on stderr, unless it is not a terminal or -q was given.
std::unique_ptr<lzh::TerminalProgress> terminalProgress(const lzh::Command& command, bool parsed) {
    if (!::isatty(STDERR_FILENO) || !parsed || command.quiet) return nullptr;
    return std::make_unique<lzh::TerminalProgress>(stderr);
}

// Descriptors 0-2 that the caller closed would be taken by the first files
// opened: the archive made for "-" would be copied into itself and lost.
// Each is held by /dev/null, open the other way round, so that a write to
// a closed standard output still fails as it would have (and a read of a
// closed standard input).
bool holdStandardDescriptors() {
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
        if (::open("/dev/null", (fd == 0 ? O_WRONLY : O_RDONLY) | O_CLOEXEC) != fd) return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (!holdStandardDescriptors()) return 1;   // nowhere to say so
    if (argc < 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
        std::fputs(kHelp, argc < 2 ? stderr : stdout);
        return withOutputFlushed(argc < 2 ? lzh::kUsageError : 0);
    }
    if (std::strcmp(argv[1], "--version") == 0) {
        if (argc > 2) {
            std::fprintf(stderr, "error: --version takes nothing after it\n");
            return lzh::kUsageError;
        }
        std::printf("unlha32 %s\n", SQS_VERSION);
        return withOutputFlushed(0);
    }
    // Each argument is one field, whatever it holds.
    std::vector<std::string> fields;
    for (int i = 1; i < argc; ++i) {
        fields.emplace_back(argv[i]);
        if (hasLineBreak(fields.back())) return fail("a name with a line break cannot be given: " + fields.back());
    }
    lzh::removeTemporariesOnSignals();
    // A file grown past the size limit (ulimit -f) fails its write, which is
    // reported, and leaves the old archive or file; the signal would end the
    // run without a word.
    std::signal(SIGXFSZ, SIG_IGN);
    try {
        lzh::Command command;
        const bool parsed = lzh::parseCommand(fields, command).empty();
        const std::unique_ptr<lzh::TerminalProgress> progress = terminalProgress(command, parsed);
        // Results (the listing, the members extracted or tested, the totals)
        // go to the standard output, warnings and errors to the standard
        // error, each line as it comes; all of them to the standard error
        // where the standard output carries the archive or the members (p).
        // A member's line is flushed at once: the next may be long in coming.
        const bool dataOut = parsed && (lzh::writesStandardOutput(command) || command.letter == 'p');
        const bool perMember = parsed && (command.letter == 't' || command.letter == 'x' || command.letter == 'e');
        auto say = [&](std::FILE* to, const std::string& line) {
            // Where both go to one file (>log 2>&1), the results before stay before.
            if (to == stderr) std::fflush(stdout);
            if (progress) progress->print(to, line);
            else std::fprintf(to, "%s\n", line.c_str());
        };
        lzh::Report report([&](const std::string& line) {
            const bool diagnostic = line.rfind("warning: ", 0) == 0 || line.rfind("error: ", 0) == 0;
            std::FILE* to = diagnostic || dataOut ? stderr : stdout;
            say(to, line);
            if (to == stdout && perMember) std::fflush(stdout);
        });
        auto notice = [&](const std::string& line) { say(stderr, line); };
        const int status = lzh::runCommand(fields, report, progress.get(), notice);
        return withOutputFlushed(status);
    } catch (const std::bad_alloc&) {
        return fail("out of memory");
    } catch (const std::exception& e) {
        return fail(e.what());
    } catch (...) {
        return fail("unexpected failure");
    }
}
