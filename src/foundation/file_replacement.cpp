#include "foundation/file_replacement.h"

#include <cstdio>
#include <memory>
#include <system_error>
#include <unistd.h>

namespace vorn {
namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

// Removes the file it names unless released.
class CPartialFile {
public:
    explicit CPartialFile(std::filesystem::path path) : path_(std::move(path)) {}
    ~CPartialFile() {
        if (!path_.empty()) {
            std::error_code ignored;
            std::filesystem::remove(path_, ignored);
        }
    }
    CPartialFile(const CPartialFile&) = delete;
    CPartialFile& operator=(const CPartialFile&) = delete;
    void Release() { path_.clear(); }

private:
    std::filesystem::path path_;
};

} // namespace

bool ReplaceFileWith(const std::filesystem::path& path, std::string_view bytes) {
    if (path.empty() || !path.has_filename())
        return false;
    std::string pattern = path.string() + ".partial-XXXXXX";
    const int descriptor = ::mkstemp(pattern.data());
    if (descriptor < 0)
        return false;
    CPartialFile partial(pattern);
    std::unique_ptr<std::FILE, FileCloser> file(::fdopen(descriptor, "wb"));
    if (!file) {
        ::close(descriptor);
        return false;
    }
    if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), file.get()) != bytes.size())
        return false;
    if (std::fflush(file.get()) != 0 || ::fsync(descriptor) != 0)
        return false;
    if (std::fclose(file.release()) != 0)
        return false;
    // mkstemp makes the file private; an exported file is an ordinary one.
    std::error_code error;
    std::filesystem::permissions(
        pattern,
        std::filesystem::perms::owner_read | std::filesystem::perms::owner_write |
            std::filesystem::perms::group_read | std::filesystem::perms::others_read,
        error);
    std::filesystem::rename(pattern, path, error);
    if (error)
        return false;
    partial.Release();
    return true;
}

} // namespace vorn
