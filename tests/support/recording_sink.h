#pragma once
// A message sink that keeps every posted message for inspection.
#include <mutex>
#include <vector>

#include "foundation/message_sink.h"

namespace vorn::test {

struct PostedMessage {
    std::uint32_t message;
    std::uintptr_t wParam;
    std::intptr_t lParam;
};

class CRecordingSink final : public IMessageSink {
public:
    void Post(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) override {
        std::lock_guard lock(mutex_);
        messages_.push_back({message, wParam, lParam});
    }
    std::vector<PostedMessage> Messages() const {
        std::lock_guard lock(mutex_);
        return messages_;
    }
    // The lParam values posted with a given wParam code, in order.
    std::vector<std::intptr_t> Values(std::uintptr_t wParam) const {
        std::lock_guard lock(mutex_);
        std::vector<std::intptr_t> values;
        for (const auto& m : messages_)
            if (m.wParam == wParam)
                values.push_back(m.lParam);
        return values;
    }

private:
    mutable std::mutex mutex_; // guards messages_
    std::vector<PostedMessage> messages_;
};

} // namespace vorn::test
