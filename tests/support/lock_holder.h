#pragma once
// Another process that holds the writer lock of a file until it is killed.
#include <csignal>
#include <filesystem>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include "foundation/writer_lock.h"

namespace vorn::test {

// Forks a child that takes the writer lock of `path` and waits; returns its process id once
// the lock is held, or -1 when the child could not take it.
inline pid_t HoldWriterLockInChild(const std::filesystem::path& path) {
    int ready[2];
    if (::pipe(ready) != 0)
        return -1;
    const pid_t holder = ::fork();
    if (holder == 0) {
        CWriterLock lock;
        const char result = lock.Acquire(path) == WriterLockResult::Ok ? 'y' : 'n';
        [[maybe_unused]] const auto written = ::write(ready[1], &result, 1);
        ::pause();
        ::_exit(0);
    }
    char held = 0;
    const bool answered = holder > 0 && ::read(ready[0], &held, 1) == 1;
    ::close(ready[0]);
    ::close(ready[1]);
    if (answered && held == 'y')
        return holder;
    if (holder > 0) {
        ::kill(holder, SIGKILL);
        ::waitpid(holder, nullptr, 0);
    }
    return -1;
}

// Ends a holder the way a crash would: the lock must not outlive it.
inline void KillHolder(pid_t holder) {
    ::kill(holder, SIGKILL);
    ::waitpid(holder, nullptr, 0);
}

} // namespace vorn::test
