#include "archiver/command/command_line.h"

#include <algorithm>
#include <cctype>

namespace lzh {
namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// A switch value: "", "+", "-", or one digit. Returns -1 when malformed.
int switchValue(const std::string& value) {
    if (value.empty() || value == "+") return 1;
    if (value == "-") return 0;
    if (value.size() == 1 && value[0] >= '0' && value[0] <= '9') return value[0] - '0';
    return -1;
}

std::string lowered(const std::string& text) {
    std::string lower;
    for (char c : text) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower;
}

std::string parseSwitch(const std::string& field, Command& command) {
    std::string body = field.substr(1);
    const std::string lower = lowered(body);
    auto value = [&](std::size_t nameLength) { return switchValue(lower.substr(nameLength)); };
    auto bad = [&]() { return "bad switch value: " + field; };
    if (lower.rfind("-exclude=", 0) == 0) {   // the pattern keeps its case
        std::string pattern = body.substr(9);
        while (pattern.rfind("./", 0) == 0) pattern.erase(0, 2);   // names are stored without it
        if (pattern.empty()) return bad();
        command.excludes.push_back(pattern);
        return {};
    }
    if (lower.rfind("-threads=", 0) == 0) {
        const std::string digits = lower.substr(9);
        if (digits.empty() || digits.size() > 3 || digits.find_first_not_of("0123456789") != std::string::npos)
            return bad();
        const int n = std::stoi(digits);
        if (n < 1 || n > kMaxThreads) return "--threads takes 1 to " + std::to_string(kMaxThreads) + ": " + field;
        command.threads = static_cast<unsigned>(n);
        return {};
    }
    if (lower == "-null") {
        command.nullLists = true;
        return {};
    }
    if (lower.rfind("jm", 0) == 0) {
        int v = value(2);
        if (v == 5) command.method = Method::Lh5;
        else if (v == 6) command.method = Method::Lh6;
        else if (v == 7) command.method = Method::Lh7;
        else return bad();
        return {};
    }
    if (lower.rfind("jp", 0) == 0) return value(2) < 0 ? bad() : std::string();
    if (lower.rfind("jo", 0) == 0) {
        const int v = value(2);
        if (v < 0 || v > 1) return bad();
        command.best = v == 1;
        return {};
    }
    if (lower.empty()) return "empty switch: " + field;
    const int v = value(1);
    if (v < 0) return "unknown switch: " + field;
    switch (lower[0]) {
    case 'a': command.allAttributes = v != 0; return {};
    case 'r':
        if (v > 2) return bad();
        command.recursion = v;
        return {};
    case 'x': command.keepPaths = v != 0; return {};
    case 'c': command.overwrite = v != 0; return {};
    case 'q': command.quiet = v != 0; return {};
    case 'l':
    case 'o': return {};   // accepted for compatibility; they change nothing here
    default: return "unknown switch: " + field;
    }
}

}  // namespace

std::vector<std::string> splitCommandText(const std::string& text) {
    std::vector<std::string> fields;
    std::string field;
    bool inField = false, quoted = false;
    for (char c : text) {
        if (c == '"') {
            quoted = !quoted;
            inField = true;
        } else if (isBlank(c) && !quoted) {
            if (inField) fields.push_back(field);
            field.clear();
            inField = false;
        } else {
            field += c;
            inField = true;
        }
    }
    if (inField) fields.push_back(field);
    return fields;
}

std::string parseCommand(const std::vector<std::string>& fields, Command& command) {
    command = Command{};
    if (fields.empty()) return "no command given";
    const std::string& verb = fields[0];
    if (verb.size() != 1)
        return "unknown command: " + verb + (verb[0] == '-' ? " (the command comes first, its switches after it)" : "");
    command.letter = static_cast<char>(std::tolower(static_cast<unsigned char>(verb[0])));
    command.verbose = command.letter == 'v';
    if (command.verbose) command.letter = 'l';
    if (std::string("uamcfdltxep").find(command.letter) == std::string::npos) return "unknown command: " + verb;

    bool afterArchive = false, baseAllowed = false, switches = true;
    for (std::size_t i = 1; i < fields.size(); ++i) {
        const std::string& f = fields[i];
        if (switches && f == "--") {
            switches = false;
            continue;
        }
        if (switches && f.size() > 1 && f[0] == '-') {
            // The long switches also take their value as the next field, as GNU tools do.
            const std::string lower = lowered(f);
            const bool valued = lower == "--exclude" || lower == "--threads";
            if (valued && i + 1 == fields.size()) return f + " needs a value: " + f + "=VALUE or " + f + " VALUE";
            if (std::string fault = parseSwitch(valued ? f + "=" + fields[++i] : f, command); !fault.empty())
                return fault;
            continue;
        }
        if (f.empty()) continue;
        if (!afterArchive) {
            command.archive = f;
            afterArchive = true;
            // Only the commands that pack or extract have a folder; for the
            // others a name that ends in a separator selects a folder's members.
            baseAllowed = std::string("uamcfxe").find(command.letter) != std::string::npos;
            continue;
        }
        // Right after the archive, a field that ends in a separator is the base folder.
        if (baseAllowed && f.back() == '/') {
            command.baseFolder = f;
            baseAllowed = false;
            continue;
        }
        baseAllowed = false;
        if (f[0] == '@') {
            if (f.size() == 1) return "list file name missing after @";
            // The standard input ends with the first list it gives.
            if (f == "@-" && std::find(command.listFiles.begin(), command.listFiles.end(), "-") != command.listFiles.end())
                return "@- given twice: the standard input gives one list";
            command.listFiles.push_back(f.substr(1));
        } else {
            command.names.push_back(f);
        }
    }
    if (command.archive.empty()) return "no archive name given";
    return {};
}

}  // namespace lzh
