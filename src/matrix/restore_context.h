#pragma once
// State of one generation or restore run of a market matrix.
#include <cstdint>
#include <memory>
#include <semaphore>

#include "foundation/event.h"

namespace vorn {

// Buffer states: 1..6 hold section kind 1..6, 254 end of file, 255 read error, 0 empty.
struct SectionBuffer {
    std::uint8_t state = 0;
    std::uint32_t capacity = 0;
    std::uint32_t length = 0; // bytes of the section held
    std::unique_ptr<std::uint8_t[]> data;
};

struct RestoreContext {
    int fd = -1;
    CEvent* cancel = nullptr; // owned by the caller
    std::counting_semaphore<3> filled{0};
    std::counting_semaphore<3> free{3};
    CEvent abort{true, false};
    SectionBuffer buffers[3];
};

} // namespace vorn
