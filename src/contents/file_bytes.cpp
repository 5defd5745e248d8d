#include "contents/file_bytes.h"

#include <cstdio>
#include <filesystem>
#include <memory>
#include <system_error>
#include <utility>

#include <unistd.h>

#include "foundation/writer_lock.h"

namespace vorn {
namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// Removes the sibling it created unless the rename consumed it. Never removes what it did
// not create (a directory of that name, for one).
class CTemporarySibling {
public:
    explicit CTemporarySibling(std::string path) : path_(std::move(path)) {}
    ~CTemporarySibling() {
        if (created_)
            ::unlink(path_.c_str());
    }
    CTemporarySibling(const CTemporarySibling&) = delete;
    CTemporarySibling& operator=(const CTemporarySibling&) = delete;
    const std::string& Path() const { return path_; }
    void Created() { created_ = true; }
    void Release() { created_ = false; }

private:
    std::string path_;
    bool created_ = false;
};

} // namespace

FileReadResult ReadFileBytes(const std::string& path, std::size_t maxBytes,
                             std::vector<std::uint8_t>& bytes) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error))
        return FileReadResult::CannotOpen;
    FilePtr file(std::fopen(path.c_str(), "rb"));
    if (!file)
        return FileReadResult::CannotOpen;
    std::vector<std::uint8_t> content;
    std::uint8_t chunk[16384];
    for (;;) {
        const std::size_t got = std::fread(chunk, 1, sizeof chunk, file.get());
        if (content.size() + got > maxBytes)
            return FileReadResult::TooLarge;
        content.insert(content.end(), chunk, chunk + got);
        if (got < sizeof chunk)
            break;
    }
    if (std::ferror(file.get()))
        return FileReadResult::ReadError;
    bytes = std::move(content);
    return FileReadResult::Ok;
}

bool ReplaceFileWith(const std::string& path, std::span<const std::uint8_t> bytes) {
    // Two programs saving the same file one after the other is fine; at the same time, the
    // second waits for the first.
    CWriterLock lock;
    if (lock.Acquire(path) != WriterLockResult::Ok)
        return false;
    CTemporarySibling temporary(path + ".tmp");
    const CTemporaryRegistration registered(temporary.Path());
    {
        FilePtr file(std::fopen(temporary.Path().c_str(), "wb"));
        if (!file)
            return false;
        temporary.Created();
        if (!bytes.empty() &&
            std::fwrite(bytes.data(), 1, bytes.size(), file.get()) != bytes.size())
            return false;
        if (std::fflush(file.get()) != 0 || ::fsync(::fileno(file.get())) != 0)
            return false;
        if (std::fclose(file.release()) != 0)
            return false;
    }
    std::error_code error;
    std::filesystem::rename(temporary.Path(), path, error);
    if (error)
        return false;
    temporary.Release();
    return true;
}

} // namespace vorn
