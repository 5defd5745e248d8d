#include "contents/recorder.h"

#include <algorithm>

namespace vorn {

void CScreeningContents::Restore(IContentsHost& host) const {
    ScreeningSettings restored;
    FromImage(settings, restored);
    restored.preferred = preferred;
    restored.excluded = excluded;
    host.ShowScreening(restored);
}

std::optional<std::size_t> CRecorder::Find(const CContents* entry) const {
    for (std::size_t i = 0; i < history_.size(); ++i)
        if (history_[i].get() == entry)
            return i;
    return std::nullopt;
}

std::optional<std::size_t> CRecorder::Position() const {
    return position_ != nullptr ? Find(position_) : std::nullopt;
}

template <class Entry, class Same> Entry& CRecorder::Target(ContentsKind kind, Same same) {
    flags_ = 0;
    auto matches = [&](const CContents& entry) {
        return entry.GetKind() == kind && same(static_cast<const Entry&>(entry));
    };
    if (position_ != nullptr) {
        const std::optional<std::size_t> at = Find(position_);
        if (!at) {
            position_ = nullptr;
        } else if (matches(*history_[*at])) {
            if (*at != 0)
                flags_ |= kCanGoForward;
            if (*at + 1 < history_.size())
                flags_ |= kCanGoBack;
            return static_cast<Entry&>(*history_[*at]);
        } else {
            // A different contents after going back: the newer entries are abandoned.
            position_ = nullptr;
            history_.erase(history_.begin(), history_.begin() + static_cast<std::ptrdiff_t>(*at));
        }
    }
    if (!history_.empty() && matches(*history_.front())) {
        if (history_.size() > 1)
            flags_ |= kCanGoBack;
        return static_cast<Entry&>(*history_.front());
    }
    if (history_.size() >= limit_)
        history_.pop_back();
    history_.push_front(std::make_unique<Entry>());
    if (history_.size() > 1)
        flags_ |= kCanGoBack;
    return static_cast<Entry&>(*history_.front());
}

void CRecorder::RecordReport(std::string_view address) {
    if (restoringReport_) {
        restoringReport_ = false;
        return;
    }
    if (address == "about:blank")
        return;
    auto& entry =
        Target<CReportContents>(kContentsReport, [](const CReportContents&) { return true; });
    entry.address.assign(address.substr(0, kMaxReportAddressLength));
}

void CRecorder::RecordScreening(const ScreeningSettings& settings) {
    restoringReport_ = false; // the restored page was left before it finished loading
    auto& entry = Target<CScreeningContents>(kContentsScreening,
                                             [](const CScreeningContents&) { return true; });
    ToImage(settings, entry.settings);
    entry.preferred = settings.preferred;
    entry.excluded = settings.excluded;
}

void CRecorder::RecordChart(const SecurityRecord* stock, PeriodKind displayKind,
                            std::uint16_t displayedDays, std::uint16_t scrollPosition) {
    restoringReport_ = false;
    auto& entry = Target<CChartContents>(
        kContentsChart, [stock](const CChartContents& chart) { return chart.stock == stock; });
    entry.stock = stock;
    entry.displayKind = displayKind;
    entry.displayedDays = displayedDays;
    entry.scrollPosition = scrollPosition;
}

void CRecorder::Navigate(bool back, IContentsHost& host) {
    flags_ = 0;
    if (history_.size() <= 1) {
        position_ = nullptr;
        return;
    }
    std::size_t current = 0;
    if (position_ != nullptr) {
        const std::optional<std::size_t> at = Find(position_);
        if (!at) {
            position_ = nullptr;
            flags_ |= kCanGoBack;
            return;
        }
        current = *at;
    }
    std::size_t next;
    if (back) {
        if (current + 1 >= history_.size()) {
            position_ = history_[current].get();
            flags_ |= kCanGoForward;
            return;
        }
        next = current + 1;
        if (next + 1 < history_.size())
            flags_ |= kCanGoBack;
    } else {
        if (current == 0) {
            position_ = history_.front().get();
            flags_ |= kCanGoBack;
            return;
        }
        // The entry being left is older than the one reached.
        next = current - 1;
        flags_ |= kCanGoBack;
    }
    if (next != 0)
        flags_ |= kCanGoForward;
    position_ = history_[next].get();
    const CContents& entry = *history_[next];
    restoringReport_ = entry.GetKind() == kContentsReport;
    entry.Restore(host);
}

} // namespace vorn
