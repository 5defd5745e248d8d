#include "acquisition/cabinet.h"

#include <mspack.h>
#include <sys/stat.h>
#include <unistd.h>

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
// it is complete.
bool ExtractOne(mscab_decompressor* decompressor, mscabd_file* file, const std::string& prefix,
                const std::string& output) {
    std::string scratch;
    if (!CreateScratchFile(prefix, scratch))
        return false;
    std::error_code error;
    if (decompressor->extract(decompressor, file, scratch.c_str()) != MSPACK_ERR_OK) {
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

// Extracts the archive's files into the target directory. `innerExtracted` tells whether
// the file stored as `innerName` was written by this call. False when the archive cannot be
// read or a file fails to decompress.
bool ExtractCabinet(const fs::path& cabinet, const std::string& prefix,
                    const std::string& innerName, bool& innerExtracted) {
    innerExtracted = false;
    Decompressor decompressor(mspack_create_cab_decompressor(nullptr));
    if (!decompressor)
        return false;
    OpenCabinet archive(decompressor->open(decompressor.get(), cabinet.c_str()),
                        CabinetCloser{decompressor.get()});
    if (!archive)
        return false;
    for (mscabd_file* file = archive->files; file != nullptr; file = file->next) {
        const std::string stored = file->filename ? file->filename : "";
        if (!IsPlainFileName(stored))
            continue;
        const std::string output = prefix + stored;
        if (output.size() > kMaxExtractPath)
            continue;
        const bool isInner = stored == innerName;
        // Only the inner file may replace what is already there: anything else the archive
        // holds must not overwrite the user's files (the destination among them).
        std::error_code error;
        if (!isInner && fs::symlink_status(output, error).type() != fs::file_type::not_found)
            continue;
        if (!ExtractOne(decompressor.get(), file, prefix, output))
            return false;
        if (isInner)
            innerExtracted = true;
    }
    return true;
}

} // namespace

bool UnpackCabinet(const std::string& innerName, const fs::path& destination,
                   const fs::path& cabinet) {
    if (!IsPlainFileName(innerName) || destination.filename().empty())
        return false;
    const std::string prefix = DirectoryPrefix(destination);
    bool innerExtracted = false;
    if (!ExtractCabinet(cabinet, prefix, innerName, innerExtracted) || !innerExtracted)
        return false;

    std::error_code error;
    const fs::path extracted = prefix + innerName;
    if (destination.filename() != innerName) {
        fs::rename(extracted, destination, error);
        if (error)
            return false;
    }
    // A cabinet stored under its own inner name has just been replaced by the result.
    if (!fs::equivalent(cabinet, destination, error))
        fs::remove(cabinet, error);
    return true;
}

} // namespace vorn
