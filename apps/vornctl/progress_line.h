#pragma once
// Progress of long work on standard error: one line that updates in place on a terminal,
// nothing when standard error is not a terminal or --quiet is given. Progress never goes to
// standard output, which scripts read.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

#include "foundation/message_sink.h"

namespace vornctl {

// Safe to use from several threads. On a terminal a ticker thread (joined by the destructor)
// adds the time spent to a step that shows no change for kQuietSeconds, so that a long
// step is seen to be alive.
class CProgressLine {
public:
    CProgressLine();
    ~CProgressLine();
    CProgressLine(const CProgressLine&) = delete;
    CProgressLine& operator=(const CProgressLine&) = delete;

    bool Enabled() const { return enabled_; }
    // Replaces the line with `text`.
    void Show(const std::string& text);
    // Whether an update now would be worth writing: none has been in the last
    // kMinimumIntervalMs. For a caller with thousands of small steps, which must not cost
    // thousands of writes.
    bool Due() const;
    // Erases the line, before other output on standard error or a failure message.
    void Clear();
    // Leaves `text` as the line's last state and ends it with a newline.
    void Finish(const std::string& text);

    static constexpr int kMinimumIntervalMs = 100;
    static constexpr int kQuietSeconds = 2;

private:
    void Draw(const std::string& text); // with mutex_ held
    void Tick();

    const bool enabled_;
    const std::size_t columns_;
    mutable std::mutex mutex_; // guards everything below and the writes to stderr
    std::condition_variable wake_;
    bool stopping_ = false;
    std::string shown_; // the text last shown; empty when the line is erased
    std::chrono::steady_clock::time_point shownSince_{};
    std::chrono::steady_clock::time_point lastDrawn_{};
    std::thread ticker_; // last: started once the rest is set up
};

// Shows the percentages a worker posts (kMsgProgress, kProgressPercent) on `line` under
// `step`, and passes every message on to `next` when there is one. A worker may post from its
// own thread.
class CProgressSink final : public vorn::IMessageSink {
public:
    CProgressSink(CProgressLine& line, std::string step, vorn::IMessageSink* next = nullptr)
        : line_(line), step_(std::move(step)), next_(next) {}
    void Post(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) override;

private:
    CProgressLine& line_;
    const std::string step_;
    vorn::IMessageSink* next_;
};

// The program name for the "NAME: interrupted" line of an interrupted command: on a
// terminal it erases the progress line first, so that the line starts at the left.
const char* InterruptedName();

// "[ 42%] " ahead of a step.
std::string PercentLabel(unsigned percent);
// "12.3 MB", "850 kB", "512 B".
std::string ByteCount(std::uint64_t bytes);
// "1 h 05 min", "3 min 20 s", "42 s".
std::string Duration(double seconds);
// `text` cut to at most `columns` terminal columns (a wide character takes two), so that a
// carriage return can still reach the line's start.
std::string FitColumns(const std::string& text, std::size_t columns);

} // namespace vornctl
