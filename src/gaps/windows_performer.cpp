#include "gaps/windows_performer.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include "foundation/log_channels.h"
#include "foundation/text_encoding.h"
#include "gaps/window_event_map.h"

namespace vorn {
namespace {

constexpr std::uint8_t kDumpChannel = 1;

// The log file holds cp932 like every stored text; the labels are converted once.
const std::string& Cp932(const char* utf8) {
    struct Entry {
        const char* utf8;
        std::string cp932;
    };
    static thread_local std::vector<Entry> cache;
    for (const auto& e : cache)
        if (e.utf8 == utf8)
            return e.cp932;
    cache.push_back({utf8, Utf8ToCp932(utf8)});
    return cache.back().cp932;
}

void WriteLine(const char* utf8) {
    WriteLog(kDumpChannel, "%s", Cp932(utf8).c_str());
}

// A formatted line: the format's literal text is UTF-8, the arguments are numbers.
template <class... Args> void WriteFormatted(const char* utf8Format, Args... args) {
    char line[256];
    std::snprintf(line, sizeof line, utf8Format, args...);
    WriteLog(kDumpChannel, "%s", Utf8ToCp932(line).c_str());
}

const char* HistoryStateLine(std::uint8_t state) {
    switch (state) {
    case kUpWindowOpened:
        return "\t\t<状態：上方窓発生>\n";
    case kDownWindowOpened:
        return "\t\t<状態：下方窓発生>\n";
    case kUpWindowReached:
        return "\t\t<状態：上方窓到達>\n";
    case kDownWindowReached:
        return "\t\t<状態：下方窓到達>\n";
    case kUpWindowReduced:
        return "\t\t<状態：上方窓削減>\n";
    case kDownWindowReduced:
        return "\t\t<状態：下方窓削減>\n";
    case kUpWindowFilled:
        return "\t\t<状態：上方窓埋め>\n";
    case kDownWindowFilled:
        return "\t\t<状態：下方窓埋め>\n";
    default:
        return "\t\t<状態：不明>\n";
    }
}

} // namespace

void CWindowsPerformer::Reset() {
    calendar_ = nullptr;
    firstPosition_ = -1;
    lastPosition_ = -1;
    history_.clear();
    windowStarts_.clear();
    positions_.clear();
    segments_.clear();
}

void CWindowsPerformer::AppendRecord(const WindowStateRecord& record) {
    history_.push_back(record);
}

void CWindowsPerformer::FinishHistory() {
    std::uint32_t windows = 0;
    for (const auto& r : history_)
        windows = std::max<std::uint32_t>(windows, r.identifier + 1u);
    // Counting sort by identifier keeps each window's records in the order written.
    windowStarts_.assign(windows + 1u, 0);
    for (const auto& r : history_)
        ++windowStarts_[r.identifier + 1u];
    for (std::uint32_t i = 1; i <= windows; ++i)
        windowStarts_[i] += windowStarts_[i - 1];
    std::vector<WindowStateRecord> grouped(history_.size());
    std::vector<std::uint32_t> next(windowStarts_.begin(), windowStarts_.end() - 1);
    for (const auto& r : history_)
        grouped[next[r.identifier]++] = r;
    history_ = std::move(grouped);
}

void CWindowsPerformer::ScaleHistory(std::uint32_t factor) {
    for (auto& r : history_) {
        const std::uint64_t scaled = static_cast<std::uint64_t>(r.price) * factor;
        r.price = static_cast<std::uint32_t>(std::min<std::uint64_t>(scaled, 0xFFFFFFFFu));
    }
}

std::span<const WindowStateRecord> CWindowsPerformer::RecordsOf(std::uint16_t identifier) const {
    if (static_cast<std::size_t>(identifier) + 1 >= windowStarts_.size())
        return {};
    return std::span<const WindowStateRecord>(history_).subspan(
        windowStarts_[identifier], windowStarts_[identifier + 1u] - windowStarts_[identifier]);
}

void CWindowsPerformer::AddSegment(const MonthlySegment& segment) {
    if (!segments_.empty() && segments_.back().endPosition >= segment.endPosition) {
        auto at = std::lower_bound(segments_.begin(), segments_.end(), segment.endPosition,
                                   [](const MonthlySegment& s, std::uint16_t position) {
                                       return s.endPosition < position;
                                   });
        if (at != segments_.end() && at->endPosition == segment.endPosition)
            *at = segment;
        else
            segments_.insert(at, segment);
        return;
    }
    segments_.push_back(segment);
}

const ListingAnalysis* CWindowsPerformer::FindResult(SecurityKey key) const {
    auto at = std::lower_bound(results_.begin(), results_.end(), key,
                               [](const CachedAnalysis& c, SecurityKey k) { return c.key < k; });
    return at != results_.end() && at->key == key ? &at->record : nullptr;
}

void CWindowsPerformer::StoreResult(SecurityKey key, const ListingAnalysis& record) {
    // The market analysis stores in key order: appending is the common case.
    if (results_.empty() || results_.back().key < key) {
        results_.push_back({key, record});
        return;
    }
    auto at = std::lower_bound(results_.begin(), results_.end(), key,
                               [](const CachedAnalysis& c, SecurityKey k) { return c.key < k; });
    if (at != results_.end() && at->key == key)
        at->record = record;
    else
        results_.insert(at, {key, record});
}

void CWindowsPerformer::CollectOpenWindowsAt(OpenWindowList& out, int position) const {
    out.clear();
    if (position < 0 || firstPosition_ < 0 || position < firstPosition_)
        return;
    const int d = position - firstPosition_;
    OpenWindowList downward;
    for (std::size_t id = 0; id < WindowCount(); ++id) {
        const auto records = RecordsOf(static_cast<std::uint16_t>(id));
        if (records.size() < 2 || records[0].day > d)
            continue;
        std::uint8_t direction;
        std::uint32_t upper, lower;
        if (records[0].state == kUpwardWindow) {
            direction = kUpwardWindow;
            lower = records[0].price;
            upper = records[1].price;
        } else if (records[0].state == kDownwardWindow) {
            direction = kDownwardWindow;
            upper = records[0].price;
            lower = records[1].price;
        } else {
            continue;
        }
        const auto applies = [&](const WindowStateRecord& r) {
            switch (r.state) {
            case 4:
            case 16:
                upper = r.price;
                return true;
            case 8:
            case 32:
                lower = r.price;
                return true;
            default:
                return false;
            }
        };
        const WindowStateRecord& last = records.back();
        if (d >= last.day) {
            if (records.size() > 2 && last.state != 0 && !applies(last))
                continue; // filled on or before d
        } else {
            for (std::size_t k = records.size() - 1; k-- > 2;)
                if (records[k].day <= d) {
                    applies(records[k]);
                    break;
                }
        }
        (direction == kUpwardWindow ? out : downward).push_back({direction, upper, lower});
    }
    out.insert(out.end(), downward.begin(), downward.end());
}

void CWindowsPerformer::CollectOpenWindows(OpenWindowList& out, PackedDate date) const {
    out.clear();
    if (calendar_ == nullptr)
        return;
    const int position = calendar_->PositionOf(date);
    if (position >= 0)
        CollectOpenWindowsAt(out, position);
}

std::array<std::uint32_t, 4> CWindowsPerformer::GetLatestWindowsAt(int position) const {
    OpenWindowList open;
    CollectOpenWindowsAt(open, position);
    std::array<std::uint32_t, 4> latest{};
    for (const auto& w : open) {
        if (w.direction == kDownwardWindow) {
            latest[0] = w.upperBound;
            latest[1] = w.lowerBound;
        } else if (w.direction == kUpwardWindow) {
            latest[2] = w.upperBound;
            latest[3] = w.lowerBound;
        }
    }
    return latest;
}

std::array<std::uint32_t, 4> CWindowsPerformer::GetLatestWindows(PackedDate date) const {
    if (calendar_ == nullptr)
        return {};
    const int position = calendar_->PositionOf(date);
    return position < 0 ? std::array<std::uint32_t, 4>{} : GetLatestWindowsAt(position);
}

void CWindowsPerformer::DumpOpenWindows(const OpenWindowList& list) const {
    WriteFormatted("<窓： ×%u>\n", static_cast<unsigned>(list.size()));
    for (const auto& w : list) {
        WriteLine(w.direction == kUpwardWindow     ? "\t<状態：上方窓発生>\n"
                  : w.direction == kDownwardWindow ? "\t<状態：下方窓発生>\n"
                                                   : "\t<状態：不明>\n");
        WriteFormatted("\t\t上限：%u、下限：%u\n", w.upperBound, w.lowerBound);
        WriteLine("\t<状態>\n");
    }
    WriteLine("</窓>\n\n");
}

void CWindowsPerformer::DumpHistory() const {
    WriteLine("<窓>\n");
    for (std::size_t id = 0; id < WindowCount(); ++id) {
        WriteFormatted("\t<ID：%u>\n", static_cast<unsigned>(id));
        for (const auto& r : RecordsOf(static_cast<std::uint16_t>(id))) {
            WriteLine(HistoryStateLine(r.state));
            PackedDate date = 0;
            const long position = static_cast<long>(firstPosition_) + r.day;
            if (calendar_ != nullptr && firstPosition_ >= 0 && position < calendar_->Count())
                date = (*calendar_)[static_cast<std::size_t>(position)];
            WriteFormatted("\t\t\t日付：%04u/%02u/%02u\n", DateYear(date), DateMonth(date),
                           DateDay(date));
            WriteFormatted("\t\t\t価格：%u\n", r.price);
            WriteLine("\t\t</状態>\n");
        }
        WriteLine("\t</ID>\n");
    }
    WriteLine("</窓>\n\n");
}

} // namespace vorn
