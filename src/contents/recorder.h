#pragma once
// The history of contents the main window has shown, newest first, for the back and forward
// commands. Recording while an earlier entry is shown either updates that entry (the same
// contents, scrolled or edited) or drops everything newer than it.
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string_view>

#include "contents/contents.h"

namespace vorn {

// CRecorder::Flags()
constexpr std::uint8_t kCanGoBack = 1;
constexpr std::uint8_t kCanGoForward = 2;

constexpr std::uint16_t kHistoryLimit = 10;

class CRecorder {
public:
    CRecorder() = default;
    CRecorder(const CRecorder&) = delete;
    CRecorder& operator=(const CRecorder&) = delete;

    // --- Operations in slot order ---
    virtual ~CRecorder() = default;
    // A finished navigation of the report browser. "about:blank" and the completion of a
    // navigation started by Navigate are not recorded.
    virtual void RecordReport(std::string_view address);
    // The screening as shown now, both lists included.
    virtual void RecordScreening(const ScreeningSettings& settings);
    virtual void RecordChart(const SecurityRecord* stock, PeriodKind displayKind,
                             std::uint16_t displayedDays, std::uint16_t scrollPosition);

    // Back (true) or forward (false); shows the entry reached through `host`.
    void Navigate(bool back, IContentsHost& host);

    std::uint8_t Flags() const { return flags_; }
    bool CanGoBack() const { return (flags_ & kCanGoBack) != 0; }
    bool CanGoForward() const { return (flags_ & kCanGoForward) != 0; }
    std::size_t Count() const { return history_.size(); }
    // 0 is the newest entry.
    const CContents& Entry(std::size_t index) const { return *history_[index]; }
    // Index of the entry shown after a back or forward step; none while the newest state is
    // shown.
    std::optional<std::size_t> Position() const;

private:
    std::optional<std::size_t> Find(const CContents* entry) const;
    // Finds or makes the entry to hold a new state of `kind`; `same` tells whether an entry
    // of that kind shows the same state.
    template <class Entry, class Same> Entry& Target(ContentsKind kind, Same same);

    std::deque<std::unique_ptr<CContents>> history_; // newest at the front
    std::uint16_t limit_ = kHistoryLimit;
    const CContents* position_ = nullptr; // an entry of history_, or none
    std::uint8_t flags_ = 0;
    bool restoringReport_ = false; // set while a report entry is being shown again
};

} // namespace vorn
