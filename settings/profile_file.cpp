#include "settings/profile_file.h"

#include <vector>

namespace sqs::profile {
namespace {

constexpr const char* kBlanks = " \t";
constexpr const char* kLineEnd = "\r\n";

struct Line {
    std::size_t begin = 0;   // offset of the line in the file
    std::size_t end = 0;     // offset just past its text, before the line ending
    std::size_t next = 0;    // offset of the next line
};

std::vector<Line> splitLines(const std::string& file) {
    std::vector<Line> lines;
    // A UTF-8 byte order mark, which editors may put first, is no part of the first line.
    std::size_t pos = file.rfind("\xEF\xBB\xBF", 0) == 0 ? 3 : 0;
    while (pos < file.size()) {
        std::size_t nl = file.find('\n', pos);
        Line line;
        line.begin = pos;
        line.next = nl == std::string::npos ? file.size() : nl + 1;
        line.end = nl == std::string::npos ? file.size() : nl;
        if (line.end > line.begin && file[line.end - 1] == '\r') --line.end;
        lines.push_back(line);
        pos = line.next;
    }
    return lines;
}

std::string trim(const std::string& text) {
    std::size_t first = text.find_first_not_of(kBlanks);
    if (first == std::string::npos) return {};
    std::size_t last = text.find_last_not_of(kBlanks);
    return text.substr(first, last - first + 1);
}

bool sameName(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto lower = [](unsigned char c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; };
        if (lower(static_cast<unsigned char>(a[i])) != lower(static_cast<unsigned char>(b[i]))) return false;
    }
    return true;
}

enum class Kind { Other, Section, Key };

struct Parsed {
    Kind kind = Kind::Other;
    std::string name;
    std::string value;
};

Parsed parse(const std::string& file, const Line& line) {
    std::string text = trim(file.substr(line.begin, line.end - line.begin));
    Parsed parsed;
    if (text.empty() || text[0] == ';') return parsed;
    if (text[0] == '[') {
        std::size_t close = text.find(']');
        parsed.kind = Kind::Section;
        parsed.name = trim(text.substr(1, close == std::string::npos ? std::string::npos : close - 1));
        return parsed;
    }
    std::size_t eq = text.find('=');
    if (eq == std::string::npos) return parsed;
    parsed.kind = Kind::Key;
    parsed.name = trim(text.substr(0, eq));
    parsed.value = trim(text.substr(eq + 1));
    const std::string& v = parsed.value;
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
        parsed.value = v.substr(1, v.size() - 2);
    return parsed;
}

// Where a section's lines lie: its header and its last key, as line indices.
struct SectionSpan {
    std::optional<std::size_t> header;
    std::optional<std::size_t> lastKey;
    std::optional<std::size_t> key;   // the first line of the wanted key
};

SectionSpan locate(const std::string& file, const std::vector<Line>& lines, const std::string& section,
                   const std::string& key) {
    SectionSpan span;
    bool inside = false;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        Parsed parsed = parse(file, lines[i]);
        if (parsed.kind == Kind::Section) {
            if (inside) break;   // the first matching section ends here
            inside = sameName(parsed.name, section);
            if (inside) span.header = i;
        } else if (inside && parsed.kind == Kind::Key) {
            span.lastKey = i;
            if (!span.key && sameName(parsed.name, key)) span.key = i;
        }
    }
    return span;
}

}  // namespace

std::string readValue(const std::optional<std::string>& file, const std::string& section,
                      const std::string& key, const std::string& fallback, std::size_t bufferSize) {
    std::string value = fallback;
    if (file) {
        std::vector<Line> lines = splitLines(*file);
        SectionSpan span = locate(*file, lines, section, key);
        if (span.key) value = parse(*file, lines[*span.key]).value;
    }
    value = value.substr(0, value.find('\0'));
    std::size_t room = bufferSize == 0 ? 0 : bufferSize - 1;
    if (value.size() > room) value.resize(room);
    return value;
}

std::string withValue(const std::string& file, const std::string& section, const std::string& key,
                      const std::string& value) {
    const std::string keyLine = key + "=" + value + kLineEnd;
    std::vector<Line> lines = splitLines(file);
    SectionSpan span = locate(file, lines, section, key);

    if (span.key) {
        const Line& line = lines[*span.key];
        return file.substr(0, line.begin) + keyLine + file.substr(line.next);
    }
    if (!span.header) {
        std::string out = file;
        if (!out.empty() && out.back() != '\n') out += kLineEnd;
        return out + "[" + section + "]" + kLineEnd + keyLine;
    }
    const Line& after = lines[span.lastKey.value_or(*span.header)];
    std::string head = file.substr(0, after.next);
    if (after.next == after.end) head += kLineEnd;   // that line had no line ending
    return head + keyLine + file.substr(after.next);
}

}  // namespace sqs::profile
