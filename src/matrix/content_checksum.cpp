#include "matrix/content_checksum.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <memory>

#include <xxhash.h>

namespace vorn {
namespace {

// A sidecar is one short line; anything longer is not one of ours.
constexpr std::size_t kSidecarMaxBytes = 128;
constexpr std::string_view kSidecarTag = "XXH3 ";

class CReadOnlyFile {
public:
    explicit CReadOnlyFile(const std::filesystem::path& path) {
        do {
            fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        } while (fd_ < 0 && errno == EINTR);
    }
    ~CReadOnlyFile() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    CReadOnlyFile(const CReadOnlyFile&) = delete;
    CReadOnlyFile& operator=(const CReadOnlyFile&) = delete;
    int Get() const { return fd_; }

private:
    int fd_ = -1;
};

// Bytes read, or -1 on an error.
ssize_t ReadSome(int fd, void* data, std::size_t size) {
    ssize_t got;
    do {
        got = ::read(fd, data, size);
    } while (got < 0 && errno == EINTR);
    return got;
}

} // namespace

std::filesystem::path ChecksumSidecarPath(const std::filesystem::path& content) {
    std::filesystem::path sidecar = content;
    sidecar += ".xxh";
    return sidecar;
}

CStreamChecksum::CStreamChecksum() : state_(XXH3_createState()) {
    if (state_ != nullptr)
        XXH3_64bits_reset(state_);
}

CStreamChecksum::~CStreamChecksum() {
    XXH3_freeState(state_);
}

void CStreamChecksum::Update(const void* data, std::size_t size) {
    if (state_ == nullptr || size == 0)
        return;
    XXH3_64bits_update(state_, data, size);
    size_ += size;
}

ContentChecksum CStreamChecksum::Finish() const {
    return {state_ != nullptr ? XXH3_64bits_digest(state_) : 0, size_};
}

bool ComputeFileChecksum(const std::filesystem::path& path, ContentChecksum& checksum) {
    CReadOnlyFile file(path);
    CStreamChecksum stream;
    if (file.Get() < 0 || !stream.Valid())
        return false;
    constexpr std::size_t kChunk = 1 << 20;
    std::unique_ptr<std::uint8_t[]> chunk(new (std::nothrow) std::uint8_t[kChunk]);
    if (!chunk)
        return false;
    for (;;) {
        const ssize_t got = ReadSome(file.Get(), chunk.get(), kChunk);
        if (got < 0)
            return false;
        if (got == 0)
            break;
        stream.Update(chunk.get(), static_cast<std::size_t>(got));
    }
    checksum = stream.Finish();
    return true;
}

SidecarState ReadChecksumSidecar(const std::filesystem::path& content, ContentChecksum& checksum) {
    CReadOnlyFile file(ChecksumSidecarPath(content));
    if (file.Get() < 0)
        return errno == ENOENT ? SidecarState::Absent : SidecarState::Malformed;
    char text[kSidecarMaxBytes + 1];
    std::size_t length = 0;
    for (;;) {
        const ssize_t got = ReadSome(file.Get(), text + length, sizeof text - length);
        if (got < 0)
            return SidecarState::Malformed;
        if (got == 0)
            break;
        length += static_cast<std::size_t>(got);
        if (length == sizeof text)
            return SidecarState::Malformed;
    }
    std::string_view line(text, length);
    if (!line.empty() && line.back() == '\n')
        line.remove_suffix(1);
    if (!line.starts_with(kSidecarTag))
        return SidecarState::Malformed;
    line.remove_prefix(kSidecarTag.size());
    const std::size_t space = line.find(' ');
    if (space != 16)
        return SidecarState::Malformed;
    ContentChecksum read;
    const char* digestEnd = line.data() + space;
    auto [digestStop, digestError] = std::from_chars(line.data(), digestEnd, read.digest, 16);
    const char* sizeBegin = digestEnd + 1;
    const char* sizeEnd = line.data() + line.size();
    auto [sizeStop, sizeError] = std::from_chars(sizeBegin, sizeEnd, read.size, 10);
    if (digestError != std::errc{} || digestStop != digestEnd || sizeError != std::errc{} ||
        sizeStop != sizeEnd || sizeBegin == sizeEnd)
        return SidecarState::Malformed;
    checksum = read;
    return SidecarState::Valid;
}

std::string FormatChecksumSidecar(const ContentChecksum& checksum) {
    char text[64];
    const int length = std::snprintf(text, sizeof text, "XXH3 %016llx %llu\n",
                                     static_cast<unsigned long long>(checksum.digest),
                                     static_cast<unsigned long long>(checksum.size));
    return std::string(text, length > 0 ? static_cast<std::size_t>(length) : 0);
}

bool WriteChecksumSidecarTemporary(const std::filesystem::path& content,
                                   const ContentChecksum& checksum) {
    std::filesystem::path temporary = ChecksumSidecarPath(content);
    temporary += ".tmp";
    const std::string text = FormatChecksumSidecar(checksum);
    int fd;
    do {
        fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return false;
    bool written = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size()) &&
                   ::fsync(fd) == 0;
    written = ::close(fd) == 0 && written;
    if (!written)
        ::unlink(temporary.c_str());
    return written;
}

bool PlaceChecksumSidecar(const std::filesystem::path& content) {
    ContentChecksum checksum;
    if (!ComputeFileChecksum(content, checksum) ||
        !WriteChecksumSidecarTemporary(content, checksum))
        return false;
    std::filesystem::path temporary = ChecksumSidecarPath(content);
    temporary += ".tmp";
    std::error_code error;
    std::filesystem::rename(temporary, ChecksumSidecarPath(content), error);
    if (error)
        std::filesystem::remove(temporary, error);
    return !error;
}

void RemoveChecksumSidecar(const std::filesystem::path& content) {
    std::error_code error;
    std::filesystem::remove(ChecksumSidecarPath(content), error);
}

} // namespace vorn
