#include "acquisition/intelligence_foundation.h"

#include <exception>

namespace vorn {

CIntelligenceFoundation::~CIntelligenceFoundation() {
    RequestStop();
    JoinWorker();
}

bool CIntelligenceFoundation::OpenAndRun() {
    if (!OpenSession())
        return false;
    OnSessionOpened();
    return true;
}

void CIntelligenceFoundation::RequestStop() {
    stop_.Set();
}

bool CIntelligenceFoundation::Stop(int milliseconds) {
    RequestStop();
    if (!worker_.joinable())
        return true;
    const bool endedInTime = ended_.Wait(milliseconds < 0 ? 0 : milliseconds);
    JoinWorker();
    return endedInTime;
}

bool CIntelligenceFoundation::LaunchWorker(IMessageSink* owner, std::function<void()> body) {
    if (IsRunning())
        return false;
    JoinWorker(); // one that ended by itself
    owner_ = owner;
    stop_.Reset();
    ended_.Reset();
    try {
        worker_ = std::thread([this, body = std::move(body)] {
            body();
            ended_.Set();
        });
    } catch (const std::exception&) {
        ended_.Set();
        stop_.Set();
        return false;
    }
    return true;
}

void CIntelligenceFoundation::PostToOwner(std::uintptr_t wParam, std::intptr_t lParam) {
    if (owner_ != nullptr)
        owner_->Post(kMsgIntelligence, wParam, lParam);
}

void CIntelligenceFoundation::JoinWorker() {
    if (worker_.joinable())
        worker_.join();
}

} // namespace vorn
