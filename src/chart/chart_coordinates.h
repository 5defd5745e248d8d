#pragma once
// Where things go on the chart: day slots from left to right, price and volume values from
// the bottom of their pane upwards, and back again for hit testing and cursor reports.
#include <cstdint>
#include <optional>
#include <vector>

#include "foundation/packed_date.h"

namespace vorn {

// Horizontal extent half-open [left, right); vertical extent inclusive [top, bottom], since
// top and bottom are the rows that the highest and lowest scale values map to.
struct ChartRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;

    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    bool Empty() const { return right <= left || bottom < top; }
    bool Contains(int x, int y) const { return x >= left && x < right && y >= top && y <= bottom; }
};

struct ChartPanes {
    ChartRect window;     // the whole chart window
    ChartRect plot;       // from the price pane's top to the volume pane's bottom
    ChartRect pricePane;  // candles, windows, price grid
    ChartRect volumePane; // volume bars
    ChartRect datePane;   // date ticks and month/day labels, below the volume pane
    ChartRect bandPanel;  // price-band volume panel, right of the chart edge; empty when off
};

// Volume unit codes of the volume scale: the decimal exponent of the shown values.
constexpr std::uint8_t kVolumeUnitShares = 0;
constexpr std::uint8_t kVolumeUnitThousands = 3;

class CChartCoordinates {
public:
    void SetPanes(const ChartPanes& panes) { panes_ = panes; }
    // `dates` holds the calendar day of each view day that lies in the display range, from
    // the leftmost slot; slots past its end have no date.
    void SetDays(double dayWidth, std::uint8_t candleWidth, std::vector<PackedDate> dates);
    void SetPriceScale(std::uint64_t low, std::uint64_t high);
    // `low` and `high` are in the unit (shares or thousands of shares).
    void SetVolumeScale(std::uint64_t low, std::uint64_t high, std::uint8_t unit);

    const ChartPanes& Panes() const { return panes_; }
    double DayWidth() const { return dayWidth_; }
    std::uint8_t CandleWidth() const { return candleWidth_; }
    std::uint8_t CandleHalfWidth() const { return candleHalfWidth_; }
    std::uint64_t PriceLow() const { return priceLow_; }
    std::uint64_t PriceHigh() const { return priceHigh_; }
    std::uint64_t VolumeLow() const { return volumeLow_; }
    std::uint64_t VolumeHigh() const { return volumeHigh_; }
    std::uint8_t VolumeUnit() const { return volumeUnit_; }
    const std::vector<PackedDate>& Dates() const { return dates_; }

    // --- Across: view day j counts from the leftmost slot ---
    // First pixel column of the day's slot.
    int SlotLeft(int day) const;
    // Centre line of the day (wick, grid line, labels).
    int XOfDay(int day) const { return SlotLeft(day) + candleHalfWidth_; }
    // Candle body columns, both inclusive.
    int BodyLeft(int day) const { return XOfDay(day) - candleHalfWidth_ + 1; }
    int BodyRight(int day) const { return BodyLeft(day) + candleWidth_ - 1; }
    // The view day whose slot holds column x, or -1 left of the plot or past the last slot.
    int DayAtX(int x) const;
    // The view day whose candle body covers column x, or -1; bodies wider than their slot
    // overlap the next slots, and the rightmost covering day wins.
    int BodyAtX(int x) const;
    // Centre of the day showing `date`, when it is shown.
    std::optional<int> XOfDate(PackedDate date) const;
    // The date of the slot under column x; kNoDate for slots without one.
    PackedDate DateAtX(int x) const;
    int SlotCount() const { return slotCount_; }
    void SetSlotCount(int count) { slotCount_ = count; }

    // --- Up: values in scale units (price x 10^k; volume in the unit) ---
    int YOfPrice(std::uint64_t value) const;
    // The scale value at row y, limited to the scale.
    std::uint64_t PriceAtY(int y) const;
    // Takes shares and applies the unit itself.
    int YOfVolume(std::uint64_t shares) const;
    // The volume in the unit at row y of the volume pane, limited to the scale.
    std::uint64_t VolumeAtY(int y) const;

private:
    ChartPanes panes_;
    double dayWidth_ = 0.0;
    std::uint8_t candleWidth_ = 3;
    std::uint8_t candleHalfWidth_ = 2;
    int slotCount_ = 0;
    std::vector<PackedDate> dates_; // ascending: view days follow the calendar
    std::uint64_t priceLow_ = 0;
    std::uint64_t priceHigh_ = 0;
    std::uint64_t volumeLow_ = 0;
    std::uint64_t volumeHigh_ = 0;
    std::uint8_t volumeUnit_ = kVolumeUnitShares;
};

} // namespace vorn
