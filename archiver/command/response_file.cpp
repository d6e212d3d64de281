#include "archiver/command/response_file.h"

#include "archiver/format/file_handle.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace lzh {

std::vector<std::string> parseResponseText(const std::string& text, std::vector<std::string>* trimmed) {
    std::vector<std::string> names;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find('\n', start);
        std::string line = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        // Blanks around a name are not part of it; quotes keep inner ones.
        std::size_t first = line.find_first_not_of(" \t");
        std::size_t last = line.find_last_not_of(" \t");
        if (first != std::string::npos) {
            const std::string name = line.substr(first, last - first + 1);
            if (name.size() >= 2 && name.front() == '"' && name.back() == '"') {
                if (name.size() > 2) names.push_back(name.substr(1, name.size() - 2));
            } else {
                if (trimmed && name.size() != line.size()) trimmed->push_back(line);
                names.push_back(name);
            }
        }
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return names;
}

std::vector<std::string> parseNullSeparated(const std::string& text) {
    std::vector<std::string> names;
    for (std::size_t start = 0; start < text.size();) {
        std::size_t end = text.find('\0', start);
        if (end == std::string::npos) end = text.size();
        if (end > start) names.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return names;
}

std::string ambiguousListLine(const std::vector<std::string>& trimmed, const std::function<bool(const std::string&)>& exists,
                              const std::string& what) {
    for (const std::string& line : trimmed) {
        // As it stands, without the blanks before, without those after.
        const std::size_t first = line.find_first_not_of(" \t"), last = line.find_last_not_of(" \t");
        for (const std::string& name : {line, line.substr(first), line.substr(0, last + 1)})
            if (name.size() != last - first + 1 && exists(name))
                return "the list line \"" + line + "\" is read without its blanks, but a " + what + " is named \"" +
                       name + "\": write the name meant in double quotes";
    }
    return {};
}

namespace {

// A pipe to its end, at most kMaxListFileSize bytes; `what` names it.
std::string readPipe(int fd, const std::string& what, std::string& bytes) {
    std::uint8_t chunk[1 << 16];
    for (;;) {
        const ssize_t got = readSome(fd, chunk, sizeof chunk);
        if (got < 0) return "cannot read the list " + what + ": " + std::strerror(errno);
        if (got == 0) return {};
        bytes.append(reinterpret_cast<const char*>(chunk), static_cast<std::size_t>(got));
        if (static_cast<long long>(bytes.size()) > kMaxListFileSize) return "the list " + what + " is too large";
    }
}

}  // namespace

std::string readResponseFile(const std::string& path, std::vector<std::string>& names,
                             std::vector<std::string>* trimmed, bool nullSeparated) {
    std::string bytes;
    struct stat named {};
    if (path == kStandardInputList) {
        if (std::string fault = readPipe(STDIN_FILENO, "from the standard input", bytes); !fault.empty()) return fault;
    } else if (::stat(path.c_str(), &named) == 0 && S_ISFIFO(named.st_mode)) {
        // A pipe, as @- is one: "@<(find ...)" of a shell, or a FIFO, read
        // once its writer comes (opened without waiting, it would read as empty).
        FileHandle fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
        if (fd.get() < 0) return "cannot read the list file " + path + ": " + std::strerror(errno);
        if (std::string fault = readPipe(fd.get(), "file " + path, bytes); !fault.empty()) return fault;
    } else {
        // Else only a regular file of sane size: a device could be endless.
        FileHandle fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
        if (fd.get() < 0) return "cannot read the list file " + path + ": " + std::strerror(errno);
        struct stat st {};
        if (::fstat(fd.get(), &st) != 0) return "cannot read the list file " + path + ": " + std::strerror(errno);
        if (!S_ISREG(st.st_mode)) return "the list file is not a regular file: " + path;
        if (st.st_size > kMaxListFileSize) return "the list file is too large: " + path;
        bytes.resize(static_cast<std::size_t>(st.st_size));
        const ssize_t got = readSome(fd.get(), reinterpret_cast<std::uint8_t*>(bytes.data()), bytes.size());
        if (got < 0) return "cannot read the list file " + path + ": " + std::strerror(errno);
        bytes.resize(static_cast<std::size_t>(got));
    }
    if (nullSeparated) {
        for (std::string& name : parseNullSeparated(bytes)) names.push_back(std::move(name));
        return {};
    }
    if (bytes.rfind("\xEF\xBB\xBF", 0) == 0) bytes.erase(0, 3);   // a UTF-8 byte-order mark
    for (std::string& name : parseResponseText(bytes, trimmed)) names.push_back(std::move(name));
    return {};
}

}  // namespace lzh
