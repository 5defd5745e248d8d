#include "acquisition/matrix_index.h"

#include <cstdio>
#include <memory>
#include <system_error>

#include "foundation/writer_lock.h"

namespace vorn {
namespace {

// Little-endian reads that never pass the end of the image.
class CIndexCursor {
public:
    explicit CIndexCursor(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

    std::size_t Remaining() const { return bytes_.size() - offset_; }
    bool ReadU8(std::uint8_t& value) {
        if (Remaining() < 1)
            return false;
        value = bytes_[offset_++];
        return true;
    }
    bool ReadU16(std::uint16_t& value) {
        if (Remaining() < 2)
            return false;
        value = static_cast<std::uint16_t>(bytes_[offset_] | (bytes_[offset_ + 1] << 8));
        offset_ += 2;
        return true;
    }
    bool ReadU32(std::uint32_t& value) {
        std::uint16_t low = 0;
        std::uint16_t high = 0;
        if (Remaining() < 4 || !ReadU16(low) || !ReadU16(high))
            return false;
        value = static_cast<std::uint32_t>(low) | (static_cast<std::uint32_t>(high) << 16);
        return true;
    }
    bool ReadText(std::size_t length, std::string& text) {
        if (Remaining() < length)
            return false;
        text.assign(reinterpret_cast<const char*>(bytes_.data() + offset_), length);
        offset_ += length;
        return true;
    }

private:
    std::span<const std::uint8_t> bytes_;
    std::size_t offset_ = 0;
};

bool DecodeFields(CIndexCursor& cursor, MatrixIndex& index) {
    std::uint16_t magic = 0;
    std::uint16_t directoryLength = 0;
    if (!cursor.ReadU16(magic) || magic != kMatrixIndexMagic)
        return false;
    if (!cursor.ReadU16(directoryLength) || directoryLength > kMaxIndexDirectory ||
        !cursor.ReadText(directoryLength, index.directory))
        return false;
    if (!cursor.ReadU32(index.version) || !cursor.ReadU16(index.reservedDate) ||
        !cursor.ReadU16(index.latestDate))
        return false;

    std::uint16_t packageCount = 0;
    if (!cursor.ReadU16(packageCount) || cursor.Remaining() < packageCount * 3u)
        return false;
    for (unsigned i = 0; i < packageCount; ++i) {
        std::uint8_t years = 0;
        PackedDate first = kNoDate;
        if (!cursor.ReadU8(years) || !cursor.ReadU16(first) ||
            !index.packages.emplace(years, first).second)
            return false;
    }

    std::uint16_t updateCount = 0;
    if (!cursor.ReadU16(updateCount) || cursor.Remaining() < updateCount * 4u)
        return false;
    for (unsigned i = 0; i < updateCount; ++i) {
        PackedDate day = kNoDate;
        PackedDate base = kNoDate;
        if (!cursor.ReadU16(day) || !cursor.ReadU16(base) ||
            !index.updates.emplace(day, base).second)
            return false;
    }
    return true;
}

void PutU16(std::vector<std::uint8_t>& out, std::uint16_t value) {
    out.push_back(static_cast<std::uint8_t>(value));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}

} // namespace

bool DecodeMatrixIndex(std::span<const std::uint8_t> bytes, MatrixIndex& index) {
    index = MatrixIndex{};
    CIndexCursor cursor(bytes);
    if (DecodeFields(cursor, index))
        return true;
    index = MatrixIndex{};
    return false;
}

std::vector<std::uint8_t> EncodeMatrixIndex(const MatrixIndex& index) {
    std::vector<std::uint8_t> out;
    // The update count is a u16; the package keys are u8, so at most 256 fit anyway.
    if (index.directory.size() > kMaxIndexDirectory || index.updates.size() > 0xFFFF)
        return out;
    out.reserve(18 + index.directory.size() + 3 * index.packages.size() + 4 * index.updates.size());
    PutU16(out, kMatrixIndexMagic);
    PutU16(out, static_cast<std::uint16_t>(index.directory.size()));
    out.insert(out.end(), index.directory.begin(), index.directory.end());
    PutU16(out, static_cast<std::uint16_t>(index.version));
    PutU16(out, static_cast<std::uint16_t>(index.version >> 16));
    PutU16(out, index.reservedDate);
    PutU16(out, index.latestDate);
    PutU16(out, static_cast<std::uint16_t>(index.packages.size()));
    for (const auto& [years, first] : index.packages) {
        out.push_back(years);
        PutU16(out, first);
    }
    PutU16(out, static_cast<std::uint16_t>(index.updates.size()));
    for (const auto& [day, base] : index.updates) {
        PutU16(out, day);
        PutU16(out, base);
    }
    return out;
}

bool WriteMatrixIndex(const std::filesystem::path& path, const MatrixIndex& index) {
    const std::vector<std::uint8_t> bytes = EncodeMatrixIndex(index);
    if (bytes.empty())
        return false;
    std::filesystem::path partial = path;
    partial += ".part";
    const CTemporaryRegistration registered(partial);
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(partial.c_str(), "wb"),
                                                         &std::fclose);
    if (file == nullptr)
        return false;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file.get()) == bytes.size();
    // A close can still report a lost write.
    const bool closed = std::fclose(file.release()) == 0;
    std::error_code error;
    if (written && closed)
        std::filesystem::rename(partial, path, error);
    if (!written || !closed || error) {
        std::filesystem::remove(partial, error);
        return false;
    }
    return true;
}

std::string FormatMatrixVersion(std::uint32_t version) {
    char text[32];
    std::snprintf(text, sizeof text, "%3u.%3u.%3u.%3u", version >> 24, (version >> 16) & 0xFF,
                  (version >> 8) & 0xFF, version & 0xFF);
    return text;
}

} // namespace vorn
