#include "foundation/writer_lock.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <system_error>
#include <thread>

namespace vorn {
namespace {

constexpr auto kLockRetry = std::chrono::milliseconds(25);

// Locks this process holds, by absolute path, with how often each is held.
std::mutex heldLocksMutex;
std::map<std::string, unsigned> heldLocks; // guarded by heldLocksMutex

int OpenForLock(const char* path, int extraFlags) {
    int fd;
    do {
        fd = ::open(path, O_RDONLY | O_CLOEXEC | extraFlags);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

bool SameFile(int fd, const std::filesystem::path& path) {
    struct stat opened {};
    struct stat named {};
    return ::fstat(fd, &opened) == 0 && ::stat(path.c_str(), &named) == 0 &&
           opened.st_dev == named.st_dev && opened.st_ino == named.st_ino;
}

// One attempt: the locked descriptor, -1 when another process holds the lock (or the file
// was replaced under us: the caller tries again), -2 when nothing could be opened.
int TryLockOnce(const std::filesystem::path& target) {
    bool onFolder = false;
    int fd = OpenForLock(target.c_str(), 0);
    if (fd < 0 && errno == ENOENT) {
        std::filesystem::path folder = target.parent_path();
        if (folder.empty())
            folder = ".";
        fd = OpenForLock(folder.c_str(), O_DIRECTORY);
        onFolder = true;
    }
    if (fd < 0)
        return -2;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const bool busy = errno == EWOULDBLOCK || errno == EINTR;
        ::close(fd);
        return busy ? -1 : -2;
    }
    // The lock is only good while it sits on what the path names now: a writer that finished
    // meanwhile renamed a new file into place (or created the first one).
    std::error_code error;
    const bool stillValid =
        onFolder ? !std::filesystem::exists(target, error) : SameFile(fd, target);
    if (!stillValid) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Slots of unfinished files for the signal handler: 0 free, 1 being filled, 2 ready.
constexpr std::size_t kTemporarySlots = 16;
constexpr std::size_t kTemporaryPathMax = 4096;
struct TemporarySlot {
    std::atomic<int> state{0};
    char path[kTemporaryPathMax];
};
std::array<TemporarySlot, kTemporarySlots> temporarySlots;
char interruptMessage[128] = "interrupted\n";
std::size_t interruptMessageLength = 12;

// Only async-signal-safe calls here. Files go first, so that a registered scratch folder is
// empty when its turn comes.
extern "C" void RemoveTemporariesAndExit(int signal) {
    for (TemporarySlot& slot : temporarySlots)
        if (slot.state.load(std::memory_order_acquire) == 2)
            ::unlink(slot.path);
    for (TemporarySlot& slot : temporarySlots)
        if (slot.state.load(std::memory_order_acquire) == 2)
            ::rmdir(slot.path);
    [[maybe_unused]] const ssize_t ignored =
        ::write(STDERR_FILENO, interruptMessage, interruptMessageLength);
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    ::sigaction(signal, &action, nullptr);
    ::raise(signal);
}

} // namespace

WriterLockResult CWriterLock::Acquire(const std::filesystem::path& target,
                                      std::chrono::milliseconds wait) {
    Release();
    std::error_code error;
    std::filesystem::path absolute = std::filesystem::absolute(target, error);
    key_ = (error ? target : absolute).lexically_normal().string();
    {
        std::lock_guard<std::mutex> lock(heldLocksMutex);
        auto it = heldLocks.find(key_);
        if (it != heldLocks.end()) {
            ++it->second;
            nested_ = true;
            return WriterLockResult::Ok;
        }
    }
    const auto deadline = std::chrono::steady_clock::now() + wait;
    for (;;) {
        const int fd = TryLockOnce(target);
        if (fd == -2)
            return WriterLockResult::CannotOpen;
        if (fd >= 0) {
            fd_ = fd;
            std::lock_guard<std::mutex> lock(heldLocksMutex);
            heldLocks[key_] = 1;
            return WriterLockResult::Ok;
        }
        if (std::chrono::steady_clock::now() >= deadline)
            return WriterLockResult::InUse;
        std::this_thread::sleep_for(kLockRetry);
    }
}

void CWriterLock::Release() {
    if (fd_ < 0 && !nested_)
        return;
    {
        std::lock_guard<std::mutex> lock(heldLocksMutex);
        auto it = heldLocks.find(key_);
        if (it != heldLocks.end() && --it->second == 0)
            heldLocks.erase(it);
    }
    if (fd_ >= 0)
        ::close(fd_); // closing the last descriptor releases the lock
    fd_ = -1;
    nested_ = false;
}

std::string DescribeWriterLock(WriterLockResult result, const std::filesystem::path& target) {
    switch (result) {
    case WriterLockResult::Ok:
        return target.string() + ": locked";
    case WriterLockResult::InUse:
        return target.string() + ": in use by another program (try again when it has finished)";
    case WriterLockResult::CannotOpen:
        break;
    }
    return target.string() + ": cannot be opened for locking";
}

void RemoveStaleTemporaries(const std::filesystem::path& target) {
    for (const char* suffix : {".tmp", ".xxh.tmp"}) {
        std::filesystem::path stale = target;
        stale += suffix;
        std::error_code error;
        if (std::filesystem::is_regular_file(std::filesystem::symlink_status(stale, error)))
            std::filesystem::remove(stale, error);
    }
}

int RegisterTemporary(const std::filesystem::path& path) {
    const std::string& text = path.native();
    if (text.size() >= kTemporaryPathMax)
        return -1;
    for (std::size_t i = 0; i < temporarySlots.size(); ++i) {
        int expected = 0;
        if (!temporarySlots[i].state.compare_exchange_strong(expected, 1))
            continue;
        std::memcpy(temporarySlots[i].path, text.c_str(), text.size() + 1);
        temporarySlots[i].state.store(2, std::memory_order_release);
        return static_cast<int>(i);
    }
    return -1;
}

void UnregisterTemporary(int slot) {
    if (slot >= 0 && static_cast<std::size_t>(slot) < temporarySlots.size())
        temporarySlots[static_cast<std::size_t>(slot)].state.store(0, std::memory_order_release);
}

void InstallInterruptCleanup(const char* program) {
    const int length =
        std::snprintf(interruptMessage, sizeof interruptMessage, "%s: interrupted\n", program);
    interruptMessageLength = length > 0 ? std::min<std::size_t>(static_cast<std::size_t>(length),
                                                                sizeof interruptMessage - 1)
                                        : 0;
    struct sigaction action {};
    action.sa_handler = RemoveTemporariesAndExit;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
}

} // namespace vorn
