#pragma once
// Exclusive writers and interrupted writes: an advisory lock held while a file is replaced,
// and the registry of unfinished temporary files removed when the program is interrupted.
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>

namespace vorn {

enum class WriterLockResult : std::uint8_t {
    Ok = 0,
    InUse = 1,      // another process kept the lock for the whole wait
    CannotOpen = 2, // neither the file nor its folder could be opened
};

// How long a writer waits for another one before it gives up.
constexpr std::chrono::milliseconds kWriterLockWait{5000};

// Holds an exclusive advisory lock on `target` (on its folder while the file does not exist)
// for as long as the object lives. A lock dies with the process that held it, so a killed
// writer never blocks the next one. Locks of one process on the same file nest: an inner
// writer of a file its caller already locked proceeds at once.
class CWriterLock {
public:
    CWriterLock() = default;
    ~CWriterLock() { Release(); }
    CWriterLock(const CWriterLock&) = delete;
    CWriterLock& operator=(const CWriterLock&) = delete;

    WriterLockResult Acquire(const std::filesystem::path& target,
                             std::chrono::milliseconds wait = kWriterLockWait);
    void Release();
    bool Held() const { return fd_ >= 0 || nested_; }

private:
    int fd_ = -1;
    bool nested_ = false;
    std::string key_;
};

// "PATH: in use by another program" for a lock that could not be had.
std::string DescribeWriterLock(WriterLockResult result, const std::filesystem::path& target);

// Removes what an earlier, interrupted writer of `target` left beside it ("TARGET.tmp" and the
// given suffixes). Call only while holding the writer lock of `target`.
void RemoveStaleTemporaries(const std::filesystem::path& target);

// Unfinished files registered here are removed when SIGINT or SIGTERM ends the program; a
// registered folder is removed after them when they leave it empty.
// Registration returns a slot (or -1 when every slot is taken; the file is then only
// removed by the writer itself or by a later run).
int RegisterTemporary(const std::filesystem::path& path);
void UnregisterTemporary(int slot);

// A registration that ends with its scope.
class CTemporaryRegistration {
public:
    explicit CTemporaryRegistration(const std::filesystem::path& path)
        : slot_(RegisterTemporary(path)) {}
    ~CTemporaryRegistration() { UnregisterTemporary(slot_); }
    CTemporaryRegistration(const CTemporaryRegistration&) = delete;
    CTemporaryRegistration& operator=(const CTemporaryRegistration&) = delete;

private:
    int slot_;
};

// Installs the SIGINT/SIGTERM handler that removes registered files, writes
// "`program`: interrupted" to standard error and ends the program with the signal.
void InstallInterruptCleanup(const char* program);

} // namespace vorn
