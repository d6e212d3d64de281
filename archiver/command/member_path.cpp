#include "archiver/command/member_path.h"

#include <cctype>

namespace lzh {
namespace {

std::vector<std::string> splitPath(const std::string& name) {
    std::vector<std::string> parts(1);
    for (char c : name) {
        if (c == '/' || c == '\\') parts.emplace_back();
        else parts.back() += c;
    }
    return parts;
}

}  // namespace

MemberPath safeMemberPath(const std::string& name) {
    MemberPath path;
    std::vector<std::string> parts = splitPath(name);
    std::vector<std::string> notes;
    if (parts.size() > 1 && parts[0].size() == 2 && parts[0][1] == ':' && std::isalpha(static_cast<unsigned char>(parts[0][0]))) {
        notes.push_back("drive letter removed");
        parts.erase(parts.begin());
    } else if (parts.size() > 1 && parts[0].empty()) {
        notes.push_back("made relative");
    }
    bool dotdot = false, controls = false;
    for (std::string& part : parts) {
        // C0 controls and DEL, and the C1 controls (U+0080..U+009F, two bytes
        // in UTF-8), which terminals also obey.
        std::string clean;
        for (std::size_t i = 0; i < part.size(); ++i) {
            const auto c = static_cast<unsigned char>(part[i]);
            const bool c1 = c == 0xC2 && i + 1 < part.size() && static_cast<unsigned char>(part[i + 1]) >= 0x80 &&
                            static_cast<unsigned char>(part[i + 1]) <= 0x9F;
            if (c < 0x20 || c == 0x7F || c1) {
                clean += '_';
                controls = true;
                i += c1;
            } else {
                clean += part[i];
            }
        }
        part = std::move(clean);
        if (part.empty() || part == ".") continue;
        if (part == "..") {
            dotdot = true;
            if (!path.parts.empty()) path.parts.pop_back();
            continue;
        }
        path.parts.push_back(part);
    }
    if (dotdot) notes.push_back("\"..\" removed");
    if (controls) notes.push_back("control characters replaced by \"_\"");
    for (const std::string& note : notes) path.note += (path.note.empty() ? "" : ", ") + note;
    if (path.parts.empty()) path.note = path.note.empty() ? "no name" : "no name left (" + path.note + ")";
    return path;
}

bool linkStaysInside(const std::vector<std::string>& from, const std::string& target,
                     const std::function<PathKind(const std::vector<std::string>&)>& kind) {
    if (target.empty() || target[0] == '/' || target[0] == '\\' || target.find('\0') != std::string::npos)
        return false;
    std::vector<std::string> at = from;
    bool real = true;   // `at` is a real folder
    const std::vector<std::string> parts = splitPath(target);
    for (std::size_t i = 0; i < parts.size(); ++i) {
        const std::string& part = parts[i];
        if (part.empty() || part == ".") continue;
        if (part == "..") {
            if (at.empty() || !real) return false;
            at.pop_back();
            continue;
        }
        at.push_back(part);
        if (i + 1 == parts.size()) break;
        if (real) {
            const PathKind k = kind(at);
            if (k == PathKind::Other) return false;
            real = k == PathKind::Folder;
        }
    }
    return true;
}

std::string caseFolded(const std::string& name, char os, int level, bool hasUnixMode) {
    const bool caseless = level == 0 ? !hasUnixMode : (os == 'M' || os == '2' || os == 'a' || os == 0 || os == ' ');
    if (!caseless) return name;
    for (char c : name)
        if (c >= 'a' && c <= 'z') return name;
    std::string folded = name;
    for (char& c : folded)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return folded;
}

}  // namespace lzh
