#pragma once
// The common base of the technical indicators: parameters, status codes, the validation
// shared by every indicator and the dispatch to its own computation.
#include <cstdint>
#include <map>
#include <optional>
#include <string_view>

#include "foundation/result_code.h"
#include "matrix/historical_manager.h"
#include "matrix/market_records.h"

namespace vorn {

class CMarketMatrix;
class CTechnicalResult;

// Indicator types.
constexpr std::uint16_t kTechnicalSimpleMovingAverage = 1;
constexpr std::uint16_t kTechnicalInclinationIndex = 256;
constexpr std::uint16_t kTechnicalTurnoverAverage = 257;

// Status of an analysis; 0 is success.
enum class TechnicalStatus : std::uint16_t {
    Ok = 0,
    WrongResult = 1, // no result object, or one of another indicator type
    NoStore = 2,
    BadSeriesKind = 3,
    FirstDateMissing = 4,
    LastDateMissing = 5,
    DatesReversed = 6,
    BadAnalysisDate = 20,
    BadPeriod = 21,
    BadDays = 22,
    NoPriceSelector = 23,
    BadEncoding = 24,
    BadBands = 25,
    BadAnalysedBands = 26,
    NotRegistered = 65535, // the manager has no indicator of the result's type
};

// The short names used throughout the module.
inline constexpr TechnicalStatus kTechnicalOk = TechnicalStatus::Ok;
inline constexpr TechnicalStatus kTechnicalWrongResult = TechnicalStatus::WrongResult;
inline constexpr TechnicalStatus kTechnicalNoStore = TechnicalStatus::NoStore;
inline constexpr TechnicalStatus kTechnicalBadSeriesKind = TechnicalStatus::BadSeriesKind;
inline constexpr TechnicalStatus kTechnicalFirstDateMissing = TechnicalStatus::FirstDateMissing;
inline constexpr TechnicalStatus kTechnicalLastDateMissing = TechnicalStatus::LastDateMissing;
inline constexpr TechnicalStatus kTechnicalDatesReversed = TechnicalStatus::DatesReversed;
inline constexpr TechnicalStatus kTechnicalBadAnalysisDate = TechnicalStatus::BadAnalysisDate;
inline constexpr TechnicalStatus kTechnicalBadPeriod = TechnicalStatus::BadPeriod;
inline constexpr TechnicalStatus kTechnicalBadDays = TechnicalStatus::BadDays;
inline constexpr TechnicalStatus kTechnicalNoPriceSelector = TechnicalStatus::NoPriceSelector;
inline constexpr TechnicalStatus kTechnicalBadEncoding = TechnicalStatus::BadEncoding;
inline constexpr TechnicalStatus kTechnicalBadBands = TechnicalStatus::BadBands;
inline constexpr TechnicalStatus kTechnicalBadAnalysedBands = TechnicalStatus::BadAnalysedBands;
inline constexpr TechnicalStatus kTechnicalNotRegistered = TechnicalStatus::NotRegistered;

// The words a user reads for a status.
std::string_view Describe(TechnicalStatus status);

// Parameter keys.
constexpr int kParamAnalysisDate = 0;  // newest date to compute; 65535 = the stock's last day
constexpr int kParamPeriod = 1;        // how many values, newest first; 65535 = all
constexpr int kParamDays = 2;          // window length in days
constexpr int kParamPriceSelector = 3; // a PriceSelector code
constexpr int kParamBands = 4;         // price bands of the volume profile
constexpr int kParamAnalysedBands = 5; // bands weighed on each side of the price

constexpr std::uint16_t kNewestDate = 0xFFFF;
constexpr std::uint16_t kAllValues = 0xFFFF;

// The indicator defaults: what a new indicator and the screening start with, and what
// replaces a parameter that is zero or unusable.
constexpr std::uint16_t kDefaultInclinationDays = 60;
constexpr std::uint16_t kDefaultPriceBands = 80;
constexpr std::uint16_t kDefaultAnalysedBands = 10;
constexpr std::uint16_t kDefaultTurnoverDays = 5;           // the indicator's own window
constexpr std::uint16_t kDefaultTurnoverEvaluationDays = 3; // the screening's short window
constexpr std::uint16_t kDefaultTurnoverBaseDays = 15;      // the screening's long window
// Band counts at or above this are refused as unusable.
constexpr std::uint16_t kBandCountLimit = 1000;

// Parameter key -> value. Every value is read truncated toward zero.
using TechnicalParameters = std::map<int, double>;

// Which price of a candle an indicator reads; any other code reads the close.
enum class PriceSelector : std::uint8_t { Open = 1, High = 2, Middle = 4, Low = 8, Close = 16 };

// Kind codes of the parameter registry.
constexpr std::uint8_t kParamKindCount = 1;
constexpr std::uint8_t kParamKindDays = 3;
constexpr std::uint8_t kParamKindPriceSelector = 4;
constexpr std::uint8_t kParamKindDate = 6;

struct ParameterDescriptor {
    std::string_view label; // UTF-8, shown next to the value
    std::uint8_t kind = 0;

    friend bool operator==(const ParameterDescriptor&, const ParameterDescriptor&) = default;
};
using ParameterRegistry = std::map<std::uint16_t, ParameterDescriptor>;

// Writes the descriptor of one of the keys 0..5 (an unknown key writes nothing).
void RegisterParameter(ParameterRegistry& registry, int key);

// The value of `key` truncated toward zero and held to 0..65535 (NaN reads as 0); nothing
// when the key is absent. Settings and command lines may hold any double.
std::optional<std::uint16_t> ReadParameter(const TechnicalParameters& parameters, int key);
// The same, held to 0..255.
std::optional<std::uint8_t> ReadSelectorParameter(const TechnicalParameters& parameters, int key);

// The analysis date, period and day count of the averaging indicators, each nonzero.
struct AveragingParameters {
    std::uint16_t analysisDate = 0;
    std::uint16_t period = 0;
    std::uint16_t days = 0;
};
// Reads them in that order: kTechnicalOk, or the status of the first one missing or zero.
TechnicalStatus ReadAveragingParameters(const TechnicalParameters& parameters,
                                        AveragingParameters& out);

// The selected price of a candle in stored units. The middle price is (high + low) / 2.
template <class Price> double SelectedPrice(const Candle<Price>& candle, std::uint8_t selector) {
    switch (static_cast<PriceSelector>(selector)) {
    case PriceSelector::Open:
        return candle.open;
    case PriceSelector::High:
        return candle.high;
    case PriceSelector::Middle:
        return (static_cast<double>(candle.high) + static_cast<double>(candle.low)) / 2.0;
    case PriceSelector::Low:
        return candle.low;
    default:
        return candle.close;
    }
}

// One stock's series of one kind, placed on its calendar. Day index d (0 = the stock's first
// day) is calendar position firstPosition + d; the days run to lastPosition, and the view
// holds at least that many elements.
struct TechnicalInput {
    const SeriesView* view = nullptr;
    std::uint16_t priceEncoding = 0;
    double scale = 1.0; // 10^price exponent: stored price x scale = yen
    const CCalendar* calendar = nullptr;
    std::uint16_t firstPosition = 0;
    std::uint16_t lastPosition = 0;

    std::uint16_t DayCount() const {
        return static_cast<std::uint16_t>(lastPosition - firstPosition + 1);
    }
    PackedDate DateOf(std::uint16_t day) const { return (*calendar)[firstPosition + day]; }
    template <class Price> const Candle<Price>* Candles() const { return view->Candles<Price>(); }
    const std::uint64_t* Volumes() const { return view->volumes.get(); }
};

// The newest day index whose date is not after `analysisDate`; nothing when that date is not
// later than the stock's first day.
std::optional<std::uint16_t> NewestDayNotAfter(const TechnicalInput& input,
                                               PackedDate analysisDate);

class CTechnical {
public:
    virtual ~CTechnical() = default;
    CTechnical(const CTechnical&) = delete;
    CTechnical& operator=(const CTechnical&) = delete;

    // --- Operations in slot order ---
    // The indicator's own computation over validated input; returns a TechnicalStatus.
    virtual TechnicalStatus Calculate(const TechnicalParameters& parameters,
                                      CTechnicalResult& result, const TechnicalInput& input) = 0;
    virtual std::uint16_t GetTypeId() const = 0;
    // Empties the map and writes the indicator's defaults.
    virtual void SetDefaults(TechnicalParameters& parameters) const = 0;
    // Validates the request and runs Calculate on the stock's series of `seriesKind`. A result of
    // another type is left untouched; any other failure leaves it empty.
    virtual TechnicalStatus Analyze(const TechnicalParameters& parameters, CTechnicalResult* result,
                                    const SeriesSet* stock, PeriodKind seriesKind);

    // The market whose calendars place the series; null until registered.
    void SetStore(const CMarketMatrix* store) { store_ = store; }
    const CMarketMatrix* Store() const { return store_; }

protected:
    CTechnical() = default;

private:
    const CMarketMatrix* store_ = nullptr;
};

} // namespace vorn
