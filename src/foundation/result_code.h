#pragma once
// Every module reports its results as an enum class of its own whose values are the numbers
// that files, posted messages and --verbose lines carry; this gives that number.
#include <type_traits>

namespace vorn {

template <typename Result>
    requires std::is_enum_v<Result>
constexpr unsigned ResultCode(Result result) {
    return static_cast<unsigned>(result);
}

} // namespace vorn
