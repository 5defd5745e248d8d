#pragma once
// The agency behind the announcement feed: an internet session plus the one worker thread
// that polls the feed server, and the stop event that ends it.
#include <cstdint>
#include <functional>
#include <thread>

#include "foundation/agency.h"
#include "foundation/event.h"
#include "foundation/message_sink.h"

namespace vorn {

// From the feed worker to its owner window: wParam kFeedNewItems (lParam 0), kFeedCycleFailed
// (lParam the result) or kFeedEnded (lParam the last result).
constexpr std::uintptr_t kFeedEnded = 0;
constexpr std::uintptr_t kFeedNewItems = 1;
constexpr std::uintptr_t kFeedCycleFailed = 255;
// kMsgIntelligenceActivated: from the announcement list to its owner when an item is
// activated.

class CIntelligenceFoundation : public CAgency {
public:
    CIntelligenceFoundation() = default;
    // Stops and joins a worker still running. A derived class whose members the worker
    // uses must stop it in its own destructor, before those members go.
    ~CIntelligenceFoundation() override;

    // --- Operations in slot order, after those of CAgency ---
    // Called once the session is open; does nothing here.
    virtual void OnSessionOpened() {}
    // Opens the session, then runs the hook; false when the session could not be opened.
    virtual bool OpenAndRun();
    // Sets the stop event; the worker ends at its next wait, a transfer in progress is
    // abandoned within about a second.
    virtual void RequestStop();
    // Asks the worker to stop and waits up to `milliseconds` for it. A worker cannot be
    // killed safely, so one that is still busy then is joined all the same once its transfer
    // has been abandoned. True when it ended within the wait (or none ran).
    virtual bool Stop(int milliseconds);

    bool IsRunning() const { return worker_.joinable() && !ended_.IsSet(); }

protected:
    // Remembers the owner, resets the stop event and runs `body` on a new worker thread.
    // False when a worker is running or the thread could not be created.
    bool LaunchWorker(IMessageSink* owner, std::function<void()> body);
    void PostToOwner(std::uintptr_t wParam, std::intptr_t lParam);
    IMessageSink* Owner() const { return owner_; }
    CEvent& StopEvent() { return stop_; }

private:
    void JoinWorker();

    IMessageSink* owner_ = nullptr; // set only while no worker runs
    std::thread worker_;
    // Manual reset, signalled while no worker polls.
    CEvent stop_{true, true};
    mutable CEvent ended_{true, true};
};

} // namespace vorn
