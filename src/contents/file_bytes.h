#pragma once
// Whole-file reads and crash-safe replacement for the application's own small files.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace vorn {

enum class FileReadResult : std::uint8_t { Ok = 0, CannotOpen = 1, TooLarge = 2, ReadError = 3 };

// Reads the whole file; files above `maxBytes` are refused without being read.
FileReadResult ReadFileBytes(const std::string& path, std::size_t maxBytes,
                             std::vector<std::uint8_t>& bytes);

// Writes `bytes` to a sibling "PATH.tmp", flushes it and renames it over `path`. On any
// failure the sibling is removed and whatever `path` held before is left as it was.
bool ReplaceFileWith(const std::string& path, std::span<const std::uint8_t> bytes);

// Little-endian values appended to a growing buffer.
class CByteWriter {
public:
    void U8(std::uint8_t value) { bytes_.push_back(value); }
    void U16(std::uint16_t value) { Le(value, 2); }
    void U32(std::uint32_t value) { Le(value, 4); }
    void U64(std::uint64_t value) { Le(value, 8); }
    void Bytes(std::span<const std::uint8_t> data) {
        bytes_.insert(bytes_.end(), data.begin(), data.end());
    }
    const std::vector<std::uint8_t>& Data() const { return bytes_; }

private:
    void Le(std::uint64_t value, int size) {
        for (int i = 0; i < size; ++i)
            bytes_.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    }

    std::vector<std::uint8_t> bytes_;
};

} // namespace vorn
