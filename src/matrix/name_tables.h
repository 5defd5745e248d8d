#pragma once
// Display names of market, exchange, industry and adjustment codes (UTF-8 for the screen;
// use Utf8ToCp932 where cp932 bytes are wanted).
#include <cstdint>

namespace vorn {

constexpr const char* kMissingName = "#N/A";

const char* MarketName(unsigned market);       // 0..15, long form
const char* MarketShortName(unsigned market);  // 0..15
const char* ExchangeName(unsigned exchange);   // 0..6
const char* ExchangeShortName(unsigned exchange);
const char* IndustryName(unsigned industry);   // 0..34
const char* MajorSectorName(unsigned sector);  // 0..9
const char* AdjustmentKindName(unsigned kind); // 0..6
const char* WeekdayName(unsigned weekday);     // 0..6

constexpr std::uint8_t kIndustryPriceIndex = 34;

} // namespace vorn
