#include "acquisition/cabinet.h"

#include <mspack.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <system_error>
#include <vector>

namespace vorn {
namespace {

namespace fs = std::filesystem;

struct DecompressorDeleter {
    void operator()(mscab_decompressor* decompressor) const {
        mspack_destroy_cab_decompressor(decompressor);
    }
};
using Decompressor = std::unique_ptr<mscab_decompressor, DecompressorDeleter>;

struct CabinetCloser {
    mscab_decompressor* decompressor;
    void operator()(mscabd_cabinet* cabinet) const { decompressor->close(decompressor, cabinet); }
};
using OpenCabinet = std::unique_ptr<mscabd_cabinet, CabinetCloser>;

// A stored name is a plain file name: nothing that could climb out of the target directory.
bool IsPlainFileName(const std::string& name) {
    if (name.empty() || name == "." || name.find("..") != std::string::npos)
        return false;
    return name.find_first_of("/\\") == std::string::npos;
}

// The target directory as a prefix for stored names ("" for the current directory).
std::string DirectoryPrefix(const fs::path& destination) {
    std::string prefix = destination.parent_path().string();
    if (!prefix.empty() && prefix.back() != '/' && prefix.back() != '\\')
        prefix += '/';
    return prefix;
}

// A fresh, empty file beside the output, so that a partly written file never carries a
// name that anyone reads.
bool CreateScratchFile(const std::string& prefix, std::string& scratch) {
    std::vector<char> name(prefix.begin(), prefix.end());
    const char pattern[] = ".unpack-XXXXXX";
    name.insert(name.end(), pattern, pattern + sizeof pattern);
    const int fd = ::mkstemp(name.data());
    if (fd < 0)
        return false;
    // mkstemp keeps the file private; the extracted file is an ordinary one.
    ::fchmod(fd, 0644);
    ::close(fd);
    scratch.assign(name.data());
    return true;
}

// Extracts one stored file to `output` through a scratch file; the output appears only once
// it is complete and as long as the archive said.
bool ExtractOne(mscab_decompressor* decompressor, mscabd_file* file, const std::string& prefix,
                const fs::path& output) {
    std::string scratch;
    if (!CreateScratchFile(prefix, scratch))
        return false;
    std::error_code error;
    if (decompressor->extract(decompressor, file, scratch.c_str()) != MSPACK_ERR_OK ||
        fs::file_size(scratch, error) != file->length || error) {
        fs::remove(scratch, error);
        return false;
    }
    fs::rename(scratch, output, error);
    if (error) {
        fs::remove(scratch, error);
        return false;
    }
    return true;
}

// The single member stored as `innerName`, or null when there is none or more than one.
mscabd_file* FindInner(mscabd_cabinet* archive, const std::string& innerName) {
    mscabd_file* found = nullptr;
    for (mscabd_file* file = archive->files; file != nullptr; file = file->next) {
        if (file->filename == nullptr || innerName != file->filename)
            continue;
        if (found != nullptr)
            return nullptr;
        found = file;
    }
    return found;
}

} // namespace

bool UnpackCabinet(const std::string& innerName, const fs::path& destination,
                   const fs::path& cabinet, std::uint64_t sizeLimit) {
    if (!IsPlainFileName(innerName) || destination.filename().empty())
        return false;
    const std::string prefix = DirectoryPrefix(destination);
    if (prefix.size() + innerName.size() > kMaxExtractPath)
        return false;
    const std::uint64_t limit = std::min(sizeLimit, kMaxUnpackedSize);

    Decompressor decompressor(mspack_create_cab_decompressor(nullptr));
    if (!decompressor)
        return false;
    {
        OpenCabinet archive(decompressor->open(decompressor.get(), cabinet.c_str()),
                            CabinetCloser{decompressor.get()});
        if (!archive)
            return false;
        // The decoder writes exactly the stored length, so checking it bounds the output.
        mscabd_file* inner = FindInner(archive.get(), innerName);
        if (inner == nullptr || inner->length > limit ||
            !ExtractOne(decompressor.get(), inner, prefix, destination))
            return false;
    }
    // A cabinet stored under the destination's name has just been replaced by the result.
    std::error_code error;
    if (!fs::equivalent(cabinet, destination, error))
        fs::remove(cabinet, error);
    return true;
}

} // namespace vorn
