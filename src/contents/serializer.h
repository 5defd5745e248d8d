#pragma once
// A bounded reader of little-endian values from a memory block: every parse of the
// application's own files (settings, favourites, announcements) reads through it.
//
// Each reader either delivers a whole value and advances, or fails and leaves the cursor
// where it was; nothing is ever read outside the block.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace vorn {

class CSerializer {
public:
    CSerializer() = default;
    // Reads a block the caller keeps alive for the serializer's lifetime.
    explicit CSerializer(std::span<const std::uint8_t> block) : block_(block) {}
    // Takes the block over; it is freed with the serializer.
    explicit CSerializer(std::vector<std::uint8_t>&& block)
        : owned_(std::move(block)), block_(owned_) {}
    CSerializer(const CSerializer&) = delete;
    CSerializer& operator=(const CSerializer&) = delete;

    // --- Operations in slot order ---
    virtual ~CSerializer() = default;
    // A u32 length and that many bytes, delivered NUL-terminated and cut at the first zero
    // byte. Fails when the length exceeds what remains or is not below `destinationSize`.
    virtual bool ReadText(char* destination, std::size_t destinationSize);
    virtual bool ReadDouble(double& value);
    virtual bool ReadFloat(float& value);
    virtual bool ReadU64(std::uint64_t& value);
    virtual bool ReadI64(std::int64_t& value);
    virtual bool ReadU32(std::uint32_t& value);
    virtual bool ReadI32(std::int32_t& value);
    virtual bool ReadU16(std::uint16_t& value);
    virtual bool ReadI16(std::int16_t& value);
    virtual bool ReadU8(std::uint8_t& value);
    virtual bool ReadI8(std::int8_t& value);

    // Exactly destination.size() raw bytes.
    bool ReadBytes(std::span<std::uint8_t> destination);
    // Exactly `count` raw bytes; `text` is replaced.
    bool ReadString(std::string& text, std::size_t count);

    std::size_t Size() const { return block_.size(); }
    std::size_t Position() const { return cursor_; }
    std::size_t Remaining() const { return block_.size() - cursor_; }
    bool AtEnd() const { return cursor_ == block_.size(); }

private:
    // Little-endian value of N bytes at the cursor, zero-extended.
    template <std::size_t N> bool ReadLe(std::uint64_t& bits);

    std::vector<std::uint8_t> owned_; // empty unless the block was handed over
    std::span<const std::uint8_t> block_;
    std::size_t cursor_ = 0; // never beyond block_.size()
};

} // namespace vorn
