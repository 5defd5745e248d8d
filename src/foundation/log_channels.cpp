#include "foundation/log_channels.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <fcntl.h>
#include <mutex>
#include <system_error>
#include <unistd.h>

#include "foundation/time_agent.h"

namespace vorn {
namespace {

constexpr std::size_t kMaxMessage = 1024;
// "[YYYY/MM/DD hh:mm:ss.mmm] " with room for out-of-range fields.
constexpr std::size_t kStampCapacity = 48;

// Owns one open file descriptor.
class CLogFile {
public:
    CLogFile() = default;
    CLogFile(const CLogFile&) = delete;
    CLogFile& operator=(const CLogFile&) = delete;
    ~CLogFile() { Close(); }

    bool Open(const std::filesystem::path& path) {
        Close();
        // O_APPEND keeps every line at the end even when another process appends too.
        fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
        return fd_ >= 0;
    }
    void Close() {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
    }
    bool IsOpen() const { return fd_ >= 0; }
    void Write(const char* data, std::size_t size) {
        while (size > 0) {
            const ssize_t written = ::write(fd_, data, size);
            if (written < 0) {
                if (errno == EINTR)
                    continue;
                return; // a failing log must not disturb its caller
            }
            data += written;
            size -= static_cast<std::size_t>(written);
        }
    }

private:
    int fd_ = -1;
};

struct LogChannel {
    std::filesystem::path path;
    CLogFile file;
};

struct LogRegistry {
    std::mutex mutex; // guards channels
    std::array<LogChannel, 256> channels;
};

LogRegistry& Registry() {
    static LogRegistry registry;
    return registry;
}

} // namespace

bool OpenLogChannel(std::uint8_t channel, const std::filesystem::path& path) {
    LogRegistry& registry = Registry();
    std::lock_guard lock(registry.mutex);
    LogChannel& entry = registry.channels[channel];
    if (entry.file.IsOpen() || path.empty())
        return false;
    if (path.has_parent_path()) {
        std::error_code error;
        std::filesystem::create_directories(path.parent_path(), error);
        if (error)
            return false;
    }
    if (!entry.file.Open(path))
        return false;
    entry.path = path;
    return true;
}

void WriteLog(std::uint8_t channel, const char* format, ...) {
    LogRegistry& registry = Registry();
    std::lock_guard lock(registry.mutex);
    LogChannel& entry = registry.channels[channel];
    if (!entry.file.IsOpen() || format == nullptr)
        return;

    std::array<char, kStampCapacity + kMaxMessage + 1> line;
    const LocalClock now = TimeAgent().ReadLocalClock();
    int stamp = std::snprintf(line.data(), kStampCapacity, "[%04u/%02u/%02u %02u:%02u:%02u.%03u] ",
                              now.year, now.month, now.day, now.hour, now.minute, now.second,
                              now.millisecond);
    if (stamp < 0)
        stamp = 0;
    const std::size_t stampLength =
        std::min<std::size_t>(static_cast<std::size_t>(stamp), kStampCapacity - 1);

    va_list arguments;
    va_start(arguments, format);
    const int message =
        std::vsnprintf(line.data() + stampLength, kMaxMessage + 1, format, arguments);
    va_end(arguments);
    const std::size_t messageLength =
        message < 0 ? 0 : std::min<std::size_t>(static_cast<std::size_t>(message), kMaxMessage);
    entry.file.Write(line.data(), stampLength + messageLength);
}

void CloseLogChannels() {
    LogRegistry& registry = Registry();
    std::lock_guard lock(registry.mutex);
    for (LogChannel& entry : registry.channels) {
        entry.file.Close();
        entry.path.clear();
    }
}

} // namespace vorn
