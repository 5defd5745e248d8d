#pragma once
// The records a market matrix owns: companies, their listings (securities), typed arrays
// of daily prices and volumes, and price adjustments.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "foundation/packed_date.h"

namespace vorn {

// Stock code x 16 + market code.
using ListingKey = std::uint32_t;
// Stock code << 18 | market << 14; the low 14 bits are a day index in an event key. Every
// 16-bit stored code fits (lettered codes reach 47,999), so the key is 64 bits wide in memory;
// files keep their 32-bit key fields through StoredSecurityKey below.
using SecurityKey = std::uint64_t;
using EventKey = std::uint64_t;

constexpr SecurityKey MakeSecurityKey(std::uint16_t code, std::uint8_t market) {
    return (SecurityKey{code} << 18) | (SecurityKey{market} << 14);
}
constexpr std::uint16_t CodeOfKey(SecurityKey key) {
    return static_cast<std::uint16_t>(key >> 18);
}
constexpr std::uint8_t MarketOfKey(SecurityKey key) {
    return (key >> 14) & 0x0F;
}
constexpr std::uint16_t DayOfKey(EventKey key) {
    return key & 0x3FFF;
}
constexpr ListingKey ListingKeyOf(SecurityKey key) {
    return static_cast<ListingKey>(key >> 14);
}
constexpr SecurityKey SecurityKeyOfListing(ListingKey key) {
    return SecurityKey{key} << 14;
}

// Settings files, the feed index and the profile hold a security key in 32 bits. Keys of codes
// below 16,384 are stored exactly as they always were (code << 18 | market << 14, low 14 bits
// zero), so older files read unchanged. Larger codes (lettered codes from 336A, every 1A00
// form) use the extended form code << 16 | market << 1 | 1, which no older key can be.
constexpr std::uint32_t kCodesInLegacyStoredKeys = 1u << 14;
constexpr std::uint32_t StoredSecurityKey(SecurityKey key) {
    const std::uint16_t code = CodeOfKey(key);
    if (code < kCodesInLegacyStoredKeys)
        return static_cast<std::uint32_t>(key & 0xFFFFC000u);
    return std::uint32_t{code} << 16 | std::uint32_t{MarketOfKey(key)} << 1 | 1u;
}
// The key a stored value names; nothing for a value in neither form.
constexpr std::optional<SecurityKey> SecurityKeyOfStored(std::uint32_t stored) {
    if ((stored & 0x3FFFu) == 0)
        return SecurityKey{stored};
    if ((stored & 0xFFE1u) != 1u || (stored >> 16) < kCodesInLegacyStoredKeys)
        return std::nullopt;
    return MakeSecurityKey(static_cast<std::uint16_t>(stored >> 16),
                           static_cast<std::uint8_t>((stored >> 1) & 0x0F));
}

// Element layout codes, one numbering for every array.
enum ElementType : std::uint16_t {
    kPricesU8 = 0,  // open, high, low, close as four u8
    kPricesU16 = 1, // four u16
    kPricesU32 = 2, // four u32
    kValueU8 = 3,   // volumes and company history values
    kValueU16 = 4,
    kValueU32 = 5,
    kValueU64 = 6,
};

constexpr bool IsPriceType(unsigned type) {
    return type <= kPricesU32;
}
constexpr bool IsValueType(unsigned type) {
    return type >= kValueU8 && type <= kValueU64;
}
// Bytes of one element; 0 for an unknown code.
constexpr std::size_t ElementSize(unsigned type) {
    switch (type) {
    case kPricesU8:
        return 4;
    case kPricesU16:
        return 8;
    case kPricesU32:
        return 16;
    case kValueU8:
        return 1;
    case kValueU16:
        return 2;
    case kValueU32:
        return 4;
    case kValueU64:
        return 8;
    default:
        return 0;
    }
}
// A company history entry: a PackedDate followed by the value.
constexpr std::size_t HistoryEntrySize(unsigned type) {
    return IsValueType(type) ? 2 + ElementSize(type) : 0;
}

// One candle in any of the three price widths.
template <class Price> struct Candle {
    Price open;
    Price high;
    Price low;
    Price close;
};
static_assert(sizeof(Candle<std::uint8_t>) == 4 && sizeof(Candle<std::uint32_t>) == 16);

// A stored price width as a type: what VisitPriceWidth hands its visitor.
template <class Price> struct PriceWidth { using type = Price; };

// Calls `visit(PriceWidth<Price>{})` with the price type of `encoding` (kPricesU8, kPricesU16 or
// kPricesU32; the caller has checked it with IsPriceType). The choice is made once per call,
// so the per-width loop inside the visitor has no branch on the width:
//   VisitPriceWidth(encoding, [&]<class Price>(PriceWidth<Price>) { return Scan<Price>(view); });
template <class Visitor> decltype(auto) VisitPriceWidth(unsigned encoding, Visitor&& visit) {
    switch (encoding) {
    case kPricesU8:
        return visit(PriceWidth<std::uint8_t>{});
    case kPricesU16:
        return visit(PriceWidth<std::uint16_t>{});
    default:
        return visit(PriceWidth<std::uint32_t>{});
    }
}

// A descriptor of an owned array of fixed-size elements.
struct TypedArray {
    std::uint16_t elementType = 0;
    std::uint8_t attribute = 0; // decimal exponent: real value = stored x 10^attribute
    std::uint16_t count = 0;
    std::unique_ptr<std::uint8_t[]> data;

    bool Empty() const { return count == 0 || !data; }
    std::size_t ByteSize() const {
        return static_cast<std::size_t>(count) * ElementSize(elementType);
    }
    std::size_t HistoryByteSize() const {
        return static_cast<std::size_t>(count) * HistoryEntrySize(elementType);
    }
    template <class T> const T* As() const { return reinterpret_cast<const T*>(data.get()); }
    template <class T> T* As() { return reinterpret_cast<T*>(data.get()); }
    void Reset() {
        data.reset();
        count = 0;
    }
};

// Fresh storage for `bytes`, zero-filled; null on allocation failure. Storage from new[] is
// aligned for every element type used here.
std::unique_ptr<std::uint8_t[]> AllocateZeroed(std::size_t bytes);

struct AdjustmentEntry {
    PackedDate date = 0; // first trading day on the new price basis
    std::uint8_t kind = 0;
    double ratio = 1.0;
};
constexpr std::size_t kAdjustmentEntryFileSize = 11;

struct AdjustmentList {
    std::vector<AdjustmentEntry> entries; // ascending by date
    std::uint16_t Count() const { return static_cast<std::uint16_t>(entries.size()); }
};

// Present only when it exists and holds entries.
inline bool HasAdjustments(const std::unique_ptr<AdjustmentList>& list) {
    return list != nullptr && !list->entries.empty();
}

struct CompanyRecord {
    std::uint16_t code = 0;
    std::uint16_t markets = 0; // bit m-1 for every market m with a security
    std::uint8_t industry = 0;
    std::optional<std::string> name; // cp932
    std::optional<std::string> text; // cp932
    TypedArray history;              // dated values, element type 3..6, ascending by date

    // The value in force at `date`: the last entry not after it, else the first entry;
    // 0 for an empty history. `entryDate` receives the date of the entry used.
    std::uint64_t HistoryValueAt(PackedDate date, PackedDate* entryDate = nullptr) const;
    PackedDate HistoryDate(std::size_t index) const;
    std::uint64_t HistoryValue(std::size_t index) const;
};

// Listing flag bits.
constexpr std::uint8_t kListingMarginTradable = 0x01;
constexpr std::uint8_t kListingHundredths = 0x80;

struct SecurityRecord {
    CompanyRecord* company = nullptr; // not owned
    std::uint8_t market = 0;
    std::uint8_t tradingUnit = 0; // low 5 bits mantissa, high 3 bits a power of ten
    std::uint8_t listingFlags = 0;
    PackedDate firstDate = 0;
    PackedDate lastDate = 0;
    TypedArray prices;  // element type 0..2, one per trading day from firstDate to lastDate
    TypedArray volumes; // element type 3..6, same days
    std::unique_ptr<AdjustmentList> adjustments;

    std::uint16_t Code() const { return company ? company->code : 0; }
    SecurityKey Key() const { return MakeSecurityKey(Code(), market); }
    std::uint32_t TradingUnit() const;
    // The stored volume of day `index` widened to 64 bits (exponent not applied).
    std::uint64_t StoredVolume(std::size_t index) const;
};

// One of the extraction result's three views. The arrays are owned; `capacity` is what is
// allocated, `count` what the last extraction filled.
struct SeriesView {
    PackedDate firstDate = 0;
    PackedDate lastDate = 0;
    std::uint16_t count = 0;
    std::uint32_t capacity = 0;
    std::unique_ptr<std::uint8_t[]> prices; // count elements of 4, 8 or 16 bytes
    std::unique_ptr<std::uint64_t[]> volumes;

    template <class Price> const Candle<Price>* Candles() const {
        return reinterpret_cast<const Candle<Price>*>(prices.get());
    }
    template <class Price> Candle<Price>* Candles() {
        return reinterpret_cast<Candle<Price>*>(prices.get());
    }
    void Free() {
        prices.reset();
        volumes.reset();
        firstDate = lastDate = 0;
        count = 0;
        capacity = 0;
    }
};

enum class PeriodKind : std::uint8_t { Daily = 0, Weekly = 1, Monthly = 2 };

struct SeriesSet {
    std::uint16_t priceEncoding = 0; // 2 whenever the security has adjustments
    std::uint8_t priceExponent = 0;
    const AdjustmentList* adjustments = nullptr; // not owned
    SeriesView daily;
    SeriesView weekly;
    SeriesView monthly;

    SeriesView& View(PeriodKind period) {
        return period == PeriodKind::Daily    ? daily
               : period == PeriodKind::Weekly ? weekly
                                              : monthly;
    }
    const SeriesView& View(PeriodKind period) const {
        return period == PeriodKind::Daily    ? daily
               : period == PeriodKind::Weekly ? weekly
                                              : monthly;
    }
    void Free() {
        daily.Free();
        weekly.Free();
        monthly.Free();
        priceEncoding = 0;
        priceExponent = 0;
        adjustments = nullptr;
    }
};

// Reads a little-endian unsigned of `width` bytes (1, 2, 4 or 8) from unaligned storage.
inline std::uint64_t ReadUnsigned(const std::uint8_t* p, std::size_t width) {
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < width; ++i)
        value |= static_cast<std::uint64_t>(p[i]) << (8 * i);
    return value;
}
inline void WriteUnsigned(std::uint8_t* p, std::size_t width, std::uint64_t value) {
    for (std::size_t i = 0; i < width; ++i)
        p[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

} // namespace vorn
