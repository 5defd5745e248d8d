#pragma once
// Hand-made markets for tests: a calendar, a few companies and a few rows of OHLCV per
// security in, a CMarketMatrix out.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "matrix/market_matrix.h"

namespace vorn::test {

struct Ohlcv {
    std::uint32_t open;
    std::uint32_t high;
    std::uint32_t low;
    std::uint32_t close;
    std::uint64_t volume;
};

// Consecutive weekdays (Monday to Friday) starting at `first`, `count` of them.
std::vector<PackedDate> Weekdays(PackedDate first, int count);

// `count` rows around `base` that step up and down every five days, so that windows open and
// fill; volumes vary from 1,000 to 1,499.
std::vector<Ohlcv> SteppedRows(int count, std::uint32_t base);

class CMarketBuilder {
public:
    static constexpr int kNarrowest = -1;

    // Trading days of the market; defaults to 60 weekdays from 2007/01/04.
    CMarketBuilder& Calendar(std::vector<PackedDate> days);
    CMarketBuilder& Company(std::uint16_t code, std::uint8_t industry = 1, std::string name = {},
                            std::string text = {});
    // Rows belong to consecutive calendar days from `first`. The company is created when
    // missing. Types default to the narrowest that hold the values.
    CMarketBuilder& Security(std::uint16_t code, std::uint8_t market, PackedDate first,
                             std::vector<Ohlcv> rows, int priceType = kNarrowest,
                             int volumeType = kNarrowest, std::uint8_t priceExponent = 0,
                             std::uint8_t volumeExponent = 0);
    CMarketBuilder& Adjustment(std::uint16_t code, std::uint8_t market, PackedDate date,
                               double ratio, std::uint8_t kind = 2);
    CMarketBuilder& History(std::uint16_t code, std::vector<std::pair<PackedDate, std::uint64_t>>
                                                    entries, int valueType = kNarrowest);
    CMarketBuilder& Flags(std::uint16_t code, std::uint8_t market, std::uint8_t tradingUnit,
                          std::uint8_t listingFlags);

    std::unique_ptr<CMarketMatrix> Build() const;
    // Fills an existing matrix (cleared first).
    void BuildInto(CMarketMatrix& matrix) const;

private:
    struct CompanyPlan {
        std::uint16_t code;
        std::uint8_t industry;
        std::string name, text;
        std::vector<std::pair<PackedDate, std::uint64_t>> history;
        int historyType = kNarrowest;
    };
    struct SecurityPlan {
        std::uint16_t code;
        std::uint8_t market;
        PackedDate first;
        std::vector<Ohlcv> rows;
        int priceType, volumeType;
        std::uint8_t priceExponent, volumeExponent;
        std::uint8_t tradingUnit = 1, listingFlags = 0;
        std::vector<AdjustmentEntry> adjustments;
    };
    SecurityPlan* FindPlan(std::uint16_t code, std::uint8_t market);

    std::vector<PackedDate> calendar_;
    std::vector<CompanyPlan> companies_;
    std::vector<SecurityPlan> securities_;
};

} // namespace vorn::test
