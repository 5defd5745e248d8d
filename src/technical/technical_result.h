#pragma once
// The result series of the indicators: date-keyed values and their text export.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/packed_date.h"
#include "technical/technical.h"

namespace vorn {

struct DatedValue {
    PackedDate date = 0;
    double value = 0.0;

    friend bool operator==(const DatedValue&, const DatedValue&) = default;
};

// Values keyed by date, one per date, held newest first in one array. The indicators produce
// them newest first, so adding an older date is an append.
class CDatedValues {
public:
    // Adds the value, or replaces the one already held for that date.
    void Set(PackedDate date, double value);
    // Null when the date has no value.
    const double* Find(PackedDate date) const;
    void Clear() { values_.clear(); }

    std::size_t Size() const { return values_.size(); }
    bool Empty() const { return values_.empty(); }
    // Entry 0 is the newest.
    const DatedValue& operator[](std::size_t index) const { return values_[index]; }
    const std::vector<DatedValue>& NewestFirst() const { return values_; }

private:
    std::vector<DatedValue> values_; // dates strictly descending
};

// How an exported file reads a result's values: each divided by `divisor`, and `unit` (UTF-8,
// e.g. "円") in brackets after the value column's name in the header. The default keeps the
// stored values under the plain header.
struct CsvUnit {
    double divisor = 1.0;
    std::string_view unit;
};

class CTechnicalResult {
public:
    virtual ~CTechnicalResult() = default;

    // --- Operations in slot order ---
    virtual std::uint16_t GetTypeId() const = 0;
    virtual void Clear() { values_.Clear(); }
    // The values for index 0; null for any other index.
    virtual const CDatedValues* GetValues(std::size_t index) const {
        return index == 0 ? &values_ : nullptr;
    }
    // Writes the header line, then "YYYYMMDD,value" per entry from the newest date to the
    // oldest, as cp932 text. The file at `path` is replaced only by a completely written one;
    // false (and `path` as it was) when that fails.
    virtual bool ExportCsv(const std::filesystem::path& path) const;

    CDatedValues& Values() { return values_; }
    const CDatedValues& Values() const { return values_; }

    // The whole file ExportCsv writes; with a unit, the values in that unit.
    std::string CsvText(const CsvUnit& unit = {}) const;

protected:
    // The header line in cp932, newline included.
    virtual std::string_view CsvHeader() const = 0;

private:
    CDatedValues values_;
};

// Type 1: a moving average of prices in yen.
class CTechnicalMovingAverage final : public CTechnicalResult {
public:
    std::uint16_t GetTypeId() const override { return kTechnicalSimpleMovingAverage; }

protected:
    std::string_view CsvHeader() const override;
};

// Type 256: inclination scores from -100 to +100.
class CTechnicalInclinationIndex final : public CTechnicalResult {
public:
    std::uint16_t GetTypeId() const override { return kTechnicalInclinationIndex; }

protected:
    std::string_view CsvHeader() const override;
};

// Type 257: averages of close x volume / 1000 (stored prices).
class CTechnicalTurnoverAverage final : public CTechnicalResult {
public:
    std::uint16_t GetTypeId() const override { return kTechnicalTurnoverAverage; }

protected:
    std::string_view CsvHeader() const override;
};

} // namespace vorn
