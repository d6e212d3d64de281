#include "archiver/format/new_file.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

namespace lzh {
namespace {

// Names to remove when a signal ends the process, each relative to its
// folder's descriptor (AT_FDCWD for a path); a slot is in use while its
// name's first byte is not zero. Fixed storage, so the handler needs no locks.
constexpr int kSlots = 8;
constexpr std::size_t kNameMax = 4096;
char gPending[kSlots][kNameMax];
int gPendingFolder[kSlots];
std::atomic<bool> gTaken[kSlots];

int remember(const std::string& name, int folder = AT_FDCWD) {
    if (name.empty() || name.size() >= kNameMax) return -1;
    for (int i = 0; i < kSlots; ++i) {
        bool expected = false;
        if (gTaken[i].compare_exchange_strong(expected, true)) {
            // The first byte last: the handler never sees half a name.
            gPendingFolder[i] = folder;
            std::memcpy(gPending[i] + 1, name.c_str() + 1, name.size());
            std::atomic_signal_fence(std::memory_order_seq_cst);
            gPending[i][0] = name[0];
            return i;
        }
    }
    return -1;
}

void forget(int slot) {
    if (slot < 0) return;
    gPending[slot][0] = '\0';
    std::atomic_signal_fence(std::memory_order_seq_cst);
    gTaken[slot] = false;
}

extern "C" void removePendingAndDie(int signal) {
    for (int i = 0; i < kSlots; ++i)
        if (gPending[i][0]) ::unlinkat(gPendingFolder[i], gPending[i], 0);
    std::signal(signal, SIG_DFL);
    ::raise(signal);
}

// A hidden name beside the target that nothing else uses yet.
std::string hiddenName(const std::string& target, int attempt) {
    const std::size_t slash = target.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : target.substr(0, slash + 1);
    std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
    // The hidden name must fit in a name's 255 bytes: a long one gives up
    // its end (whole characters).
    constexpr std::size_t kRoom = 255 - 8;
    if (base.size() > kRoom) {
        std::size_t cut = kRoom;
        while (cut > 0 && (static_cast<unsigned char>(base[cut]) & 0xC0) == 0x80) --cut;
        base.resize(cut);
    }
    unsigned char random[6] = {};
    if (::getrandom(random, sizeof random, 0) != sizeof random)
        for (std::size_t i = 0; i < sizeof random; ++i) random[i] = static_cast<unsigned char>(::getpid() + attempt * 7 + i);
    static const char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::string suffix;
    for (unsigned char c : random) suffix += kLetters[c % 62];
    return folder + "." + base + "." + suffix;
}

std::string systemReason() { return std::strerror(errno); }

}  // namespace

std::string folderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

NewFile::~NewFile() {
    if (fd_ >= 0) ::close(fd_);
    if (!named_.empty()) ::unlink(named_.c_str());
    forget(slot_);
}

bool unnamedFilesCanBeNamed() { return ::access("/proc/self/fd", X_OK) == 0; }

std::string NewFile::create(const std::string& target) {
    target_ = target;
    if (unnamedFilesCanBeNamed()) {
        fd_ = ::open(folderOf(target).c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0644);
        if (fd_ >= 0) return {};
        if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) return systemReason();
    }
    // No unnamed files here: a hidden named one, removed on failure and on signals.
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = hiddenName(target, attempt);
        slot_ = remember(name);
        fd_ = ::open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd_ >= 0) {
            named_ = name;
            return {};
        }
        const int error = errno;
        forget(slot_);
        slot_ = -1;
        if (error != EEXIST) return std::strerror(error);
    }
    return "no free temporary name";
}

std::string NewFile::commit(mode_t mode) {
    if (::fchmod(fd_, mode) != 0) return systemReason();
    if (::fsync(fd_) != 0) return systemReason();
    if (named_.empty()) {
        // Give the unnamed file a hidden name, through /proc, then rename that.
        const std::string self = "/proc/self/fd/" + std::to_string(fd_);
        for (int attempt = 0; attempt < 100 && named_.empty(); ++attempt) {
            std::string name = hiddenName(target_, attempt);
            slot_ = remember(name);
            if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0) {
                named_ = name;
                break;
            }
            const int error = errno;
            forget(slot_);
            slot_ = -1;
            if (error != EEXIST) return std::strerror(error);
        }
        if (named_.empty()) return "no free temporary name";
    }
    const int closed = ::close(fd_);
    fd_ = -1;
    if (closed != 0) return systemReason();
    if (::rename(named_.c_str(), target_.c_str()) != 0) return systemReason();
    named_.clear();
    forget(slot_);
    slot_ = -1;
    return {};
}

PendingTemporary::PendingTemporary(const std::string& path) : slot_(remember(path)) {}

PendingTemporary::PendingTemporary(int folder, const std::string& name) : slot_(remember(name, folder)) {}

PendingTemporary::~PendingTemporary() { forget(slot_); }

std::string temporaryFolder() {
    const char* folder = std::getenv("TMPDIR");
    return folder && *folder ? folder : "/tmp";
}

mode_t processUmask() {
    // From /proc: umask() reads it only by setting it, for a moment, also
    // under the host's other threads.
    if (std::FILE* status = std::fopen("/proc/self/status", "re")) {
        char line[256];
        unsigned mask = 0;
        bool found = false;
        while (!found && std::fgets(line, sizeof line, status)) found = std::sscanf(line, "Umask: %o", &mask) == 1;
        std::fclose(status);
        if (found) return static_cast<mode_t>(mask);
    }
    const mode_t mask = ::umask(022);
    ::umask(mask);
    return mask;
}

void removeTemporariesOnSignals() {
    struct sigaction action {};
    action.sa_handler = removePendingAndDie;
    sigemptyset(&action.sa_mask);
    // A signal the caller ignores (nohup, a script's background job, a
    // pipe whose reader may leave) stays ignored.
    for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) {
        struct sigaction before {};
        if (::sigaction(signal, nullptr, &before) == 0 && before.sa_handler == SIG_IGN) continue;
        ::sigaction(signal, &action, nullptr);
    }
}

}  // namespace lzh
