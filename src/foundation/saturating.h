#pragma once
// Unsigned arithmetic that stops at the largest value instead of wrapping: a sum of volumes
// that does not fit is "very large", never a small number.
#include <cstdint>

namespace vorn {

// a + b, or the largest value when that does not fit.
constexpr std::uint64_t SaturatingAdd(std::uint64_t a, std::uint64_t b) {
    std::uint64_t sum = 0;
    return __builtin_add_overflow(a, b, &sum) ? UINT64_MAX : sum;
}

// a x b, or the largest value when that does not fit.
constexpr std::uint64_t SaturatingMultiply(std::uint64_t a, std::uint64_t b) {
    std::uint64_t product = 0;
    return __builtin_mul_overflow(a, b, &product) ? UINT64_MAX : product;
}

} // namespace vorn
