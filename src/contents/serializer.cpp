#include "contents/serializer.h"

#include <bit>
#include <cstring>

namespace vorn {

template <std::size_t N> bool CSerializer::ReadLe(std::uint64_t& bits) {
    if (Remaining() < N)
        return false;
    bits = 0;
    for (std::size_t i = 0; i < N; ++i)
        bits |= static_cast<std::uint64_t>(block_[cursor_ + i]) << (8 * i);
    cursor_ += N;
    return true;
}

bool CSerializer::ReadText(char* destination, std::size_t destinationSize) {
    if (destination == nullptr || destinationSize == 0)
        return false;
    const std::size_t start = cursor_;
    std::uint32_t length = 0;
    if (!ReadU32(length))
        return false;
    if (length > Remaining() || length >= destinationSize) {
        cursor_ = start;
        return false;
    }
    const std::uint8_t* source = block_.data() + cursor_;
    std::size_t copied = 0;
    while (copied < length && source[copied] != 0) {
        destination[copied] = static_cast<char>(source[copied]);
        ++copied;
    }
    destination[copied] = '\0';
    cursor_ += length;
    return true;
}

bool CSerializer::ReadDouble(double& value) {
    std::uint64_t bits;
    if (!ReadLe<8>(bits))
        return false;
    value = std::bit_cast<double>(bits);
    return true;
}

bool CSerializer::ReadFloat(float& value) {
    std::uint64_t bits;
    if (!ReadLe<4>(bits))
        return false;
    value = std::bit_cast<float>(static_cast<std::uint32_t>(bits));
    return true;
}

bool CSerializer::ReadU64(std::uint64_t& value) {
    return ReadLe<8>(value);
}

bool CSerializer::ReadI64(std::int64_t& value) {
    std::uint64_t bits;
    if (!ReadLe<8>(bits))
        return false;
    value = static_cast<std::int64_t>(bits);
    return true;
}

bool CSerializer::ReadU32(std::uint32_t& value) {
    std::uint64_t bits;
    if (!ReadLe<4>(bits))
        return false;
    value = static_cast<std::uint32_t>(bits);
    return true;
}

bool CSerializer::ReadI32(std::int32_t& value) {
    std::uint64_t bits;
    if (!ReadLe<4>(bits))
        return false;
    value = static_cast<std::int32_t>(static_cast<std::uint32_t>(bits));
    return true;
}

bool CSerializer::ReadU16(std::uint16_t& value) {
    std::uint64_t bits;
    if (!ReadLe<2>(bits))
        return false;
    value = static_cast<std::uint16_t>(bits);
    return true;
}

bool CSerializer::ReadI16(std::int16_t& value) {
    std::uint64_t bits;
    if (!ReadLe<2>(bits))
        return false;
    value = static_cast<std::int16_t>(static_cast<std::uint16_t>(bits));
    return true;
}

bool CSerializer::ReadU8(std::uint8_t& value) {
    std::uint64_t bits;
    if (!ReadLe<1>(bits))
        return false;
    value = static_cast<std::uint8_t>(bits);
    return true;
}

bool CSerializer::ReadI8(std::int8_t& value) {
    std::uint64_t bits;
    if (!ReadLe<1>(bits))
        return false;
    value = static_cast<std::int8_t>(static_cast<std::uint8_t>(bits));
    return true;
}

bool CSerializer::ReadBytes(std::span<std::uint8_t> destination) {
    if (Remaining() < destination.size())
        return false;
    if (!destination.empty())
        std::memcpy(destination.data(), block_.data() + cursor_, destination.size());
    cursor_ += destination.size();
    return true;
}

bool CSerializer::ReadString(std::string& text, std::size_t count) {
    if (Remaining() < count)
        return false;
    text.assign(reinterpret_cast<const char*>(block_.data()) + cursor_, count);
    cursor_ += count;
    return true;
}

} // namespace vorn
