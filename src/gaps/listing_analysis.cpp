#include "gaps/listing_analysis.h"

#include <iterator>

#include "gaps/window_event_map.h"
#include "matrix/name_tables.h"

namespace vorn {
namespace {

constexpr const char* kLawNames[] = {"なし",
                                     "窓空け上昇",
                                     "窓空け下落",
                                     "下方窓到達",
                                     "上方窓到達",
                                     "窓空け上昇も上方窓到達",
                                     "窓空け下落も下方窓到達",
                                     "上下窓埋め陰線",
                                     "上下窓埋め陽線"};
constexpr const char* kLawTitles[] = {"全法則",
                                      "[法則１] 窓空け上昇",
                                      "[法則１] 窓空け下落",
                                      "[法則２] 下方窓到達",
                                      "[法則２] 上方窓到達",
                                      "[法則３] 窓空け上昇も上方窓到達",
                                      "[法則３] 窓空け下落も下方窓到達",
                                      "[法則４] 上下窓埋め陰線",
                                      "[法則４] 上下窓埋め陽線"};
constexpr const char* kPositionNames[] = {"なし",     "新規買い", "新規売り", "買い転換",
                                          "売り転換", "買い継続", "売り継続"};

struct ShapeName {
    std::uint16_t shape;
    const char* name;
};
constexpr ShapeName kShapeNames[] = {
    {kShapeBlack, "陰線"},
    {kShapeBlackLowerShadow, "陰線・下ひげ"},
    {kShapeBlackBothShadows, "陰線・下ひげ・上ひげ"},
    {kShapeBlackUpperShadow, "陰線・上ひげ"},
    {kShapeWhite, "陽線"},
    {kShapeWhiteLowerShadow, "陽線・下ひげ"},
    {kShapeWhiteUpperShadow, "陽線・上ひげ"},
    {kShapeWhiteBothShadows, "陽線・下ひげ・上ひげ"},
    {kShapeDoji, "同事線"},
    {kShapeDojiLowerShadow, "同事線・下ひげ"},
    {kShapeDojiBothShadows, "同事線・下ひげ・上ひげ"},
    {kShapeDojiUpperShadow, "同事線・上ひげ"},
    {kCandleShapeNoVolume, "無効な形状"},
};

template <std::size_t N> const char* Lookup(const char* const (&table)[N], unsigned index) {
    return index < N ? table[index] : kMissingName;
}

} // namespace

const std::array<std::uint16_t, 13> kCandleShapeButtonOrder = {
    kShapeBlack,         kShapeBlackLowerShadow, kShapeBlackBothShadows, kShapeBlackUpperShadow,
    kShapeDoji,          kShapeDojiLowerShadow,  kShapeDojiBothShadows,  kShapeDojiUpperShadow,
    kShapeWhite,         kShapeWhiteLowerShadow, kShapeWhiteBothShadows, kShapeWhiteUpperShadow,
    kCandleShapeNoVolume};

LawCode LawCodeOf(std::uint8_t lawNumber, std::uint8_t signalFlag) {
    switch (signalFlag) {
    case kUpWindowOpened:
        return lawNumber == 1 ? kLaw1Buy : kLaw3Buy;
    case kDownWindowOpened:
        return lawNumber == 1 ? kLaw1Sell : kLaw3Sell;
    case kUpWindowReached:
    case kUpWindowReduced:
    case kUpWindowFilled:
        return lawNumber == 2 ? kLaw2Buy : kLaw4Buy;
    case kDownWindowReached:
    case kDownWindowReduced:
    case kDownWindowFilled:
        return lawNumber == 2 ? kLaw2Sell : kLaw4Sell;
    default:
        return kLawNone;
    }
}

std::uint16_t CandleShapeOf(std::uint32_t open, std::uint32_t high, std::uint32_t low,
                            std::uint32_t close) {
    if (close < open) {
        if (open == high)
            return close == low ? kShapeBlack : close > low ? kShapeBlackLowerShadow : 0;
        if (open < high)
            return low < close ? kShapeBlackBothShadows : close == low ? kShapeBlackUpperShadow : 0;
        return 0;
    }
    if (close > open) {
        if (close == high)
            return open == low ? kShapeWhite : open > low ? kShapeWhiteLowerShadow : 0;
        if (close < high)
            return open == low ? kShapeWhiteUpperShadow : open > low ? kShapeWhiteBothShadows : 0;
        return 0;
    }
    if (high == low)
        return open == high ? kShapeDoji : 0;
    if (open == high)
        return high > low ? kShapeDojiLowerShadow : 0;
    if (open < high)
        return low < open ? kShapeDojiBothShadows : open == low ? kShapeDojiUpperShadow : 0;
    return 0;
}

const char* LawName(unsigned index) {
    return Lookup(kLawNames, index);
}

const char* LawNameOfCode(LawCode code) {
    return code == 0 ? kLawNames[0] : LawName(static_cast<unsigned>(LawStatsIndex(code) + 1));
}

const char* LawTitle(unsigned index) {
    return Lookup(kLawTitles, index);
}

const char* PositionName(PositionCode position) {
    return Lookup(kPositionNames, position);
}

const char* CandleShapeName(std::uint16_t shape) {
    for (const auto& entry : kShapeNames)
        if (entry.shape == shape)
            return entry.name;
    return kMissingName;
}

} // namespace vorn
