#include "matrix/update_merge.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/market_builder.h"
#include "support/recording_sink.h"

namespace vorn {
namespace {

using test::CMarketBuilder;
using test::CRecordingSink;
using test::Ohlcv;
using Codes = std::vector<std::intptr_t>;
constexpr int kNarrowest = CMarketBuilder::kNarrowest;

// Thirteen weekdays; the main matrix holds the first ten, the update the last six, so the
// update overlaps three known days and brings three new ones (2007/01/18, 19 and 22).
const std::vector<PackedDate> kDays = test::Weekdays(MakePackedDate(2007, 1, 4), 13);
const std::vector<PackedDate> kMainDays(kDays.begin(), kDays.begin() + 10);
const std::vector<PackedDate> kUpdateDays(kDays.begin() + 7, kDays.end());

CMarketBuilder MainMarket() {
    return std::move(CMarketBuilder().Calendar(kMainDays));
}
CMarketBuilder UpdateMarket() {
    return std::move(CMarketBuilder().Calendar(kUpdateDays));
}

// Candles of open p, high p + 2, low p − 1, close p + 1; volumes v, v + 1, ...
std::vector<Ohlcv> Rows(int count, std::uint32_t p, std::uint64_t v) {
    std::vector<Ohlcv> rows;
    for (int i = 0; i < count; ++i)
        rows.push_back({p, p + 2, p - 1, p + 1, v + i});
    return rows;
}

std::uint64_t HighAt(const SecurityRecord& s, std::size_t index) {
    switch (s.prices.elementType) {
    case kPricesU8:
        return s.prices.As<Candle<std::uint8_t>>()[index].high;
    case kPricesU16:
        return s.prices.As<Candle<std::uint16_t>>()[index].high;
    default:
        return s.prices.As<Candle<std::uint32_t>>()[index].high;
    }
}

const SecurityRecord& SecurityOf(const CMarketMatrix& m, std::uint16_t code,
                                 std::uint8_t market = 1) {
    static const SecurityRecord kMissing;
    const SecurityRecord* s = m.FindSecurity(MakeSecurityKey(code, market));
    EXPECT_NE(s, nullptr) << code;
    return s ? *s : kMissing;
}

TEST(MergeUpdateRefusal, EmptyCalendarOrNoNewDayChangesNothing) {
    CMarketMatrix empty;
    auto update = UpdateMarket().Security(1301, 1, kDays[7], Rows(6, 200, 50)).Build();
    CRecordingSink sink;
    EXPECT_EQ(MergeUpdate(nullptr, &sink, empty, *update), kMergeEmptyCalendar);

    auto mainMatrix = MainMarket().Security(1301, 1, kDays[0], Rows(10, 100, 50)).Build();
    auto stale = CMarketBuilder()
                     .Calendar({kDays.begin() + 7, kDays.begin() + 10})
                     .Security(1301, 1, kDays[7], Rows(3, 200, 50))
                     .Security(1332, 1, kDays[7], Rows(3, 200, 50))
                     .Build();
    EXPECT_EQ(MergeUpdate(nullptr, &sink, *mainMatrix, *stale), kMergeNoNewDays);
    EXPECT_EQ(sink.Values(kProgressFailure), (Codes{27, 28}));
    EXPECT_EQ(mainMatrix->DailyCalendar().Count(), 10);
    EXPECT_EQ(mainMatrix->Securities().size(), 1u);
    EXPECT_EQ(HighAt(SecurityOf(*mainMatrix, 1301), 9), 102u);
    EXPECT_EQ(stale->Securities().size(), 2u);
}

TEST(MergeUpdateRefusal, CalendarThatWouldOverflowFailsBeforeAnyChange) {
    // Raw keys rather than dates: no real calendar comes near 65534 trading days.
    CMarketMatrix mainMatrix, update;
    for (unsigned key = 0; key <= 65000; ++key)
        mainMatrix.AddTradingDay(static_cast<PackedDate>(key));
    for (unsigned key = 64990; key <= 65534; ++key)
        update.AddTradingDay(static_cast<PackedDate>(key));
    EXPECT_EQ(MergeUpdate(nullptr, nullptr, mainMatrix, update), kMergeSecurityFailed);
    EXPECT_EQ(mainMatrix.DailyCalendar().Count(), 65001);
}

TEST(MergeUpdateMoves, NewSecuritiesMoveWithTheirCompanyOrJoinTheKnownOne) {
    auto mainMatrix =
        MainMarket().Company(1301, 1, "old").Security(1301, 1, kDays[0], Rows(10, 100, 50)).Build();
    auto update = UpdateMarket()
                      .Company(7203, 17, "\x83\x67\x83\x88\x83\x5E", "text")
                      .Security(7203, 1, kUpdateDays[2], Rows(4, 5000, 1000000))
                      .Company(1301, 2, "new")
                      .Security(1301, 1, kUpdateDays[0], Rows(6, 100, 50))
                      .Security(1301, 2, kUpdateDays[3], Rows(3, 100, 50))
                      .Build();
    const CompanyRecord* newCompany = update->FindCompany(7203);
    ASSERT_EQ(MergeUpdate(nullptr, nullptr, *mainMatrix, *update), kMergeOk);

    EXPECT_EQ(mainMatrix->DailyCalendar().Count(), 13);
    EXPECT_EQ(*mainMatrix->WeeklyCalendar().Last(), kDays[12]) << "2007/01/22 is a Monday";
    const SecurityRecord& moved = SecurityOf(*mainMatrix, 7203);
    EXPECT_EQ(moved.prices.count, 4);
    EXPECT_EQ(moved.firstDate, kUpdateDays[2]);
    EXPECT_EQ(moved.lastDate, kDays[12]);
    EXPECT_EQ(moved.company, mainMatrix->FindCompany(7203));
    EXPECT_EQ(moved.company, newCompany) << "the record itself moves, not a copy";
    EXPECT_EQ(moved.company->name, std::string("\x83\x67\x83\x88\x83\x5E"));
    EXPECT_EQ(update->FindCompany(7203), nullptr);
    EXPECT_EQ(update->FindSecurity(MakeSecurityKey(7203, 1)), nullptr);

    const CompanyRecord* known = mainMatrix->FindCompany(1301);
    EXPECT_EQ(SecurityOf(*mainMatrix, 1301, 2).company, known);
    EXPECT_EQ(known->name, std::string("new"));
    EXPECT_EQ(known->industry, 2);
    EXPECT_EQ(known->markets, 0x3);
}

TEST(MergeUpdateSeries, AppendsTheNewDaysOfCurrentSecuritiesOnly) {
    auto mainMatrix = MainMarket()
                          .Security(1301, 1, kDays[0], Rows(10, 100, 50))
                          .Security(1332, 1, kDays[0], Rows(6, 100, 50)) // stopped trading
                          .Build();
    auto update = UpdateMarket()
                      .Security(1301, 1, kUpdateDays[0], Rows(6, 120, 70))
                      .Security(1332, 1, kUpdateDays[0], Rows(6, 120, 70))
                      .Flags(1301, 1, 0x21, kListingMarginTradable)
                      .Build();
    ASSERT_EQ(MergeUpdate(nullptr, nullptr, *mainMatrix, *update), kMergeOk);

    const SecurityRecord& current = SecurityOf(*mainMatrix, 1301);
    ASSERT_EQ(current.prices.count, 13);
    ASSERT_EQ(current.volumes.count, 13);
    EXPECT_EQ(current.lastDate, kDays[12]);
    EXPECT_EQ(HighAt(current, 9), 102u);
    EXPECT_EQ(HighAt(current, 10), 122u);
    EXPECT_EQ(current.StoredVolume(10), 73u) << "the update's last three rows are the new days";
    EXPECT_EQ(current.StoredVolume(12), 75u);
    EXPECT_EQ(current.tradingUnit, 0x21);
    EXPECT_EQ(current.listingFlags, kListingMarginTradable);

    const SecurityRecord& stopped = SecurityOf(*mainMatrix, 1332);
    EXPECT_EQ(stopped.prices.count, 6);
    EXPECT_EQ(stopped.lastDate, kDays[5]);
}

TEST(MergeUpdateSeries, ExponentsAndWidthsFollowTheValues) {
    auto mainMatrix =
        MainMarket()
            // Exponent 1 in u16 (6002 means 60020) against exponent 0 highs of 70000.
            .Security(1301, 1, kDays[0], Rows(10, 6000, 50), kPricesU16, kNarrowest, 1)
            // Exponent 0 in u8 against exponent 1 (32 means 320): the new days need u16.
            .Security(1332, 1, kDays[0], Rows(10, 200, 50))
            // Volumes: u8 against u64 values; u8 at exponent 0 against u8 at exponent 2.
            .Security(1333, 1, kDays[0], Rows(10, 100, 200))
            .Security(1334, 1, kDays[0], Rows(10, 100, 20))
            .Build();
    auto update =
        UpdateMarket()
            .Security(1301, 1, kUpdateDays[0], Rows(6, 69998, 50), kPricesU32, kNarrowest, 0)
            .Security(1332, 1, kUpdateDays[0], Rows(6, 30, 50), kPricesU8, kNarrowest, 1)
            .Security(1333, 1, kUpdateDays[0], Rows(6, 100, 5000000000ull))
            .Security(1334, 1, kUpdateDays[0], Rows(6, 100, 70), kPricesU8, kValueU8, 0, 2)
            .Build();
    ASSERT_EQ(MergeUpdate(nullptr, nullptr, *mainMatrix, *update), kMergeOk);

    const SecurityRecord& coarser = SecurityOf(*mainMatrix, 1301);
    EXPECT_EQ(coarser.prices.attribute, 0);
    ASSERT_EQ(coarser.prices.elementType, kPricesU32);
    const auto* candles = coarser.prices.As<Candle<std::uint32_t>>();
    EXPECT_EQ(candles[0].open, 60000u);
    EXPECT_EQ(candles[0].high, 60020u);
    EXPECT_EQ(candles[0].low, 59990u);
    EXPECT_EQ(candles[0].close, 60010u);
    EXPECT_EQ(candles[12].high, 70000u);

    const SecurityRecord& finer = SecurityOf(*mainMatrix, 1332);
    EXPECT_EQ(finer.prices.attribute, 0);
    EXPECT_EQ(finer.prices.elementType, kPricesU16);
    EXPECT_EQ(HighAt(finer, 0), 202u);
    EXPECT_EQ(HighAt(finer, 10), 320u);

    const SecurityRecord& wide = SecurityOf(*mainMatrix, 1333);
    EXPECT_EQ(wide.volumes.elementType, kValueU64);
    EXPECT_EQ(wide.StoredVolume(0), 200u);
    EXPECT_EQ(wide.StoredVolume(12), 5000000005ull);

    const SecurityRecord& rescaled = SecurityOf(*mainMatrix, 1334);
    EXPECT_EQ(rescaled.volumes.attribute, 0);
    EXPECT_EQ(rescaled.volumes.elementType, kValueU16);
    EXPECT_EQ(rescaled.StoredVolume(9), 29u);
    EXPECT_EQ(rescaled.StoredVolume(12), 7500u);
}

TEST(MergeUpdateSeries, AdjustmentsAreUnitedByDateWithTheUpdateWinning) {
    auto mainMatrix = MainMarket()
                          .Security(1301, 1, kDays[0], Rows(10, 100, 50))
                          .Adjustment(1301, 1, kDays[2], 0.5)
                          .Adjustment(1301, 1, kDays[8], 2.0)
                          .Security(1332, 1, kDays[0], Rows(10, 100, 50))
                          .Build();
    auto update = UpdateMarket()
                      .Security(1301, 1, kUpdateDays[0], Rows(6, 100, 50))
                      .Adjustment(1301, 1, kDays[8], 3.0, 4)
                      .Adjustment(1301, 1, kDays[11], 10.0)
                      .Security(1332, 1, kUpdateDays[0], Rows(6, 100, 50))
                      .Adjustment(1332, 1, kDays[11], 0.1)
                      .Build();
    ASSERT_EQ(MergeUpdate(nullptr, nullptr, *mainMatrix, *update), kMergeOk);

    const auto& united = SecurityOf(*mainMatrix, 1301).adjustments->entries;
    ASSERT_EQ(united.size(), 3u);
    EXPECT_EQ(united[0].date, kDays[2]);
    EXPECT_EQ(united[1].date, kDays[8]);
    EXPECT_EQ(united[1].ratio, 3.0);
    EXPECT_EQ(united[1].kind, 4);
    EXPECT_EQ(united[2].date, kDays[11]);
    const auto& taken = SecurityOf(*mainMatrix, 1332).adjustments;
    ASSERT_TRUE(HasAdjustments(taken));
    EXPECT_EQ(taken->entries[0].ratio, 0.1);
}

TEST(MergeUpdateSeries, ValuesThatCannotBeStoredFailWithTheSecurityUnchanged) {
    // 5,000,002 at exponent 3 would be about 5e9 at exponent 0: beyond four u32.
    auto mainMatrix =
        MainMarket()
            .Security(1301, 1, kDays[0], Rows(10, 5000000, 50), kPricesU32, kNarrowest, 3)
            .Build();
    auto update = UpdateMarket().Security(1301, 1, kUpdateDays[0], Rows(6, 100, 50)).Build();
    CRecordingSink sink;
    EXPECT_EQ(MergeUpdate(nullptr, &sink, *mainMatrix, *update), kMergeSecurityFailed);
    EXPECT_EQ(sink.Values(kProgressFailure), Codes{31});
    const SecurityRecord& s = SecurityOf(*mainMatrix, 1301);
    EXPECT_EQ(s.prices.count, 10);
    EXPECT_EQ(s.prices.attribute, 3);
    EXPECT_EQ(s.lastDate, kDays[9]);
}

TEST(MergeUpdateSeries, MergeSecurityRefusesWhatItCannotHold) {
    auto mainMatrix = MainMarket().Security(1301, 1, kDays[0], Rows(10, 100, 50)).Build();
    auto update = UpdateMarket().Security(1301, 1, kUpdateDays[0], Rows(6, 100, 50)).Build();
    SecurityRecord& main = *mainMatrix->FindSecurity(MakeSecurityKey(1301, 1));
    SecurityRecord& fresh = *update->FindSecurity(MakeSecurityKey(1301, 1));
    EXPECT_FALSE(MergeSecurity(7, fresh, main)) << "more new days than the update holds";
    fresh.volumes.elementType = kPricesU16;
    EXPECT_FALSE(MergeSecurity(3, fresh, main)) << "not a volume layout";
    fresh.volumes.elementType = kValueU8;
    main.prices.count = main.volumes.count = 65533;
    EXPECT_FALSE(MergeSecurity(3, fresh, main)) << "a count beyond 65535";
    main.prices.count = main.volumes.count = 10;
    EXPECT_EQ(main.lastDate, kDays[9]);
    EXPECT_TRUE(MergeSecurity(3, fresh, main));
    EXPECT_EQ(main.prices.count, 13);
}

void FillHistory(CompanyRecord& c, std::uint16_t type,
                 std::vector<std::pair<PackedDate, std::uint64_t>> entries) {
    c.history.elementType = type;
    c.history.count = static_cast<std::uint16_t>(entries.size());
    c.history.data = AllocateZeroed(c.history.HistoryByteSize());
    const std::size_t entry = HistoryEntrySize(type);
    for (std::size_t i = 0; i < entries.size(); ++i) {
        WriteUnsigned(c.history.data.get() + i * entry, 2, entries[i].first);
        WriteUnsigned(c.history.data.get() + i * entry + 2, entry - 2, entries[i].second);
    }
}

TEST(MergeCompany, HistoryRepeatsAddNothingAndNewValuesAppendWider) {
    const PackedDate jan = MakePackedDate(2007, 1, 10), jun = MakePackedDate(2007, 6, 1);
    const PackedDate dec = MakePackedDate(2007, 12, 3);
    CompanyRecord main, update;
    FillHistory(main, kValueU8, {{jan, 100}, {jun, 200}});
    FillHistory(update, kValueU32, {{jun, 200}, {dec, 200}});
    ASSERT_TRUE(MergeCompany(update, main));
    EXPECT_EQ(main.history.count, 2);
    EXPECT_EQ(main.history.elementType, kValueU8);

    FillHistory(update, kValueU32, {{jun, 200}, {dec, 200}, {dec + 1, 70000}});
    ASSERT_TRUE(MergeCompany(update, main));
    ASSERT_EQ(main.history.count, 3);
    EXPECT_EQ(main.history.elementType, kValueU32);
    EXPECT_EQ(main.HistoryValue(0), 100u);
    EXPECT_EQ(main.HistoryDate(2), dec + 1);
    EXPECT_EQ(main.HistoryValue(2), 70000u);

    CompanyRecord empty;
    ASSERT_TRUE(MergeCompany(update, empty));
    EXPECT_EQ(empty.history.count, 3) << "an empty history takes the update's array";
    EXPECT_TRUE(update.history.Empty());
}

TEST(MergeCompany, TextsThatDifferMoveAndDamageChangesNothing) {
    CompanyRecord main, update;
    main.name = "same";
    main.text = "old";
    update.name = "same";
    update.text = "new";
    update.industry = 7;
    update.markets = 0x5;
    ASSERT_TRUE(MergeCompany(update, main));
    EXPECT_EQ(main.text, std::string("new"));
    EXPECT_FALSE(update.text.has_value());
    EXPECT_TRUE(update.name.has_value());
    EXPECT_EQ(main.industry, 7);
    EXPECT_EQ(main.markets, 0x5);
    EXPECT_TRUE(MergeCompany(main, main));
    EXPECT_EQ(main.text, std::string("new"));

    update.text = "other";
    update.industry = 9;
    FillHistory(main, kValueU8, {{1000, 1}});
    FillHistory(update, kValueU8, {{2000, 2}});
    update.history.elementType = kPricesU16; // not a history layout
    EXPECT_FALSE(MergeCompany(update, main));
    EXPECT_EQ(main.text, std::string("new"));
    EXPECT_EQ(main.industry, 7);
}

// Forty securities, so that the loop reaches the iterations that poll the cancel event.
CMarketBuilder ManySecurities(CMarketBuilder builder, PackedDate first, int rows) {
    for (std::uint16_t code = 1000; code < 1040; ++code)
        builder.Security(code, 1, first, Rows(rows, 100, 50));
    return builder;
}

TEST(MergeUpdateProgress, PostsStartTextCalendarPercentagesAndEnd) {
    auto mainMatrix = ManySecurities(MainMarket(), kDays[0], 10).Build();
    auto update = ManySecurities(UpdateMarket(), kUpdateDays[0], 6).Build();
    CRecordingSink sink;
    ASSERT_EQ(MergeUpdate(nullptr, &sink, *mainMatrix, *update), kMergeOk);

    const auto messages = sink.Messages();
    for (const auto& m : messages)
        EXPECT_EQ(m.message, kMsgProgress);
    const auto texts = sink.Values(kProgressText);
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_STREQ(reinterpret_cast<const char*>(texts[0]), "マーケットマトリクスを更新しています");
    // 0, 1 after the calendar, i × 99 / 40 rounded for i = 32..39, then 100.
    EXPECT_EQ(sink.Values(kProgressPercent), (Codes{0, 1, 79, 82, 84, 87, 89, 92, 94, 97, 100}));
    EXPECT_TRUE(sink.Values(kProgressFailure).empty());
    mainMatrix->PostProgress(5);
    EXPECT_EQ(sink.Messages().size(), messages.size()) << "the target is cleared afterwards";
}

TEST(MergeUpdateProgress, CancelStopsBetweenSecuritiesWith254) {
    auto mainMatrix = ManySecurities(MainMarket(), kDays[0], 10).Build();
    auto update = ManySecurities(UpdateMarket(), kUpdateDays[0], 6).Build();
    CEvent cancel;
    cancel.Set();
    CRecordingSink sink;
    EXPECT_EQ(MergeUpdate(&cancel, &sink, *mainMatrix, *update), kMergeCancelled);
    EXPECT_EQ(sink.Values(kProgressFailure), Codes{254});
    // The first 32 securities were merged before the first poll; the rest were not.
    EXPECT_EQ(SecurityOf(*mainMatrix, 1031).prices.count, 13);
    EXPECT_EQ(SecurityOf(*mainMatrix, 1032).prices.count, 10);
}

} // namespace
} // namespace vorn
