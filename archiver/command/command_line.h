#pragma once

#include "archiver/codec/method.h"

#include <string>
#include <vector>

namespace lzh {

// One archiver command, as parsed from its text:
//   command [-switch...] archive [base_folder/] [@list | name]...
// Switches may stand anywhere after the command letter; a field "--" ends
// them, so that later fields beginning with "-" are names.
struct Command {
    char letter = 0;                 // 'u', 'a', 'm', 'c', 'f', 'd', 'l', 't', 'x', 'e' or 'p', lower case
    std::string archive;
    std::string baseFolder;          // ends in "/"; empty when none was given
    std::vector<std::string> listFiles;
    std::vector<std::string> names;
    bool allAttributes = false;      // -a1: dot-files are taken when walking folders
    int recursion = 0;               // -r1/-r2: named folders are walked
    bool keepPaths = false;          // -x1: paths relative to the base folder are stored
    Method method = Method::Lh5;     // -jm5 / -jm6 / -jm7
    bool best = false;               // -jo1: smallest output, slower
    unsigned threads = 0;            // --threads=N: coding threads; 0 = one per online CPU
    std::vector<std::string> excludes;   // --exclude=PATTERN: files and members left out
    bool overwrite = false;          // -c1: extract over files without comparing dates
    bool quiet = false;              // -q: no progress line; only warnings and errors reported
    bool verbose = false;            // v: l with each member's CRC, system and permissions
    bool nullLists = false;          // --null: list files hold names ended by NUL bytes (find -print0)
};

constexpr int kMaxThreads = 256;

// The archive "-" is the standard input for the commands that read an
// archive (l, v, t, x, e, p), and the standard output for those that make
// a new one (c, a, u: there is no archive to update).
inline bool readsStandardInput(const Command& command) {
    return command.archive == "-" && std::string("ltxep").find(command.letter) != std::string::npos;
}
inline bool writesStandardOutput(const Command& command) {
    return command.archive == "-" && std::string("cau").find(command.letter) != std::string::npos;
}

// Splits the text at blanks; double quotes group blanks into a field and
// are removed.
std::vector<std::string> splitCommandText(const std::string& text);

// Parses the fields; empty text on success, else a one-line reason.
std::string parseCommand(const std::vector<std::string>& fields, Command& command);

}  // namespace lzh
