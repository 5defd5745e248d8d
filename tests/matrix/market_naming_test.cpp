#include "matrix/market_naming.h"

#include <gtest/gtest.h>

#include <string>

#include "matrix/name_tables.h"
#include "support/market_builder.h"

namespace vorn {
namespace {

TEST(MarketNaming, TheFilesLastDayChoosesTheTable) {
    struct Case {
        PackedDate last;
        bool presentDay;
    };
    for (const Case& c :
         {Case{MakePackedDate(2022, 4, 1), false}, Case{MakePackedDate(2022, 4, 4), true},
          Case{MakePackedDate(2026, 11, 27), true}}) {
        auto matrix = test::CMarketBuilder()
                          .Calendar({MakePackedDate(2022, 3, 28), c.last})
                          .Company(1301)
                          .Build();
        const MarketNaming naming = MarketNamingOf(*matrix);
        EXPECT_EQ(naming.PresentDay(), c.presentDay) << DateMonth(c.last) << DateDay(c.last);
        EXPECT_STREQ(naming.Name(1), c.presentDay ? "東証プライム" : "東証一部");
        EXPECT_STREQ(naming.ShortName(10), c.presentDay ? "名証Ｎ" : "名証セ");
    }
    CMarketMatrix empty;
    EXPECT_FALSE(MarketNamingOf(empty).PresentDay());
}

TEST(MarketNaming, PresentDayNamesOnlyWhereASegmentExists) {
    const MarketNaming now = MarketNaming::ForLastDay(kPresentDaySegmentsStart);
    const char* const names[][2] = {{"東証プライム", "東証Ｐ"}, {"東証スタンダード", "東証Ｓ"},
                                    {"東証グロース", "東証Ｇ"}, {"名証プレミア", "名証Ｐ"},
                                    {"名証メイン", "名証Ｍ"},   {"名証ネクスト", "名証Ｎ"}};
    const unsigned renamed[] = {1, 2, 3, 8, 9, 10};
    for (std::size_t i = 0; i < std::size(renamed); ++i) {
        EXPECT_STREQ(now.Name(renamed[i]), names[i][0]);
        EXPECT_STREQ(now.ShortName(renamed[i]), names[i][1]);
    }
    for (unsigned market : {0u, 4u, 5u, 6u, 7u, 11u, 12u, 13u, 14u, 15u, 16u, 255u}) {
        EXPECT_STREQ(now.Name(market), MarketName(market)) << market;
        EXPECT_STREQ(now.ShortName(market), MarketShortName(market)) << market;
    }
    const MarketNaming before;
    for (unsigned market = 0; market <= 16; ++market)
        EXPECT_STREQ(before.Name(market), MarketName(market)) << market;
}

TEST(MarketNaming, ForecastDaysDoNotCount) {
    // The last real day is before the change; projected days reach past it.
    auto matrix = test::CMarketBuilder()
                      .Calendar(test::Weekdays(MakePackedDate(2022, 3, 21), 10))
                      .Company(1301)
                      .Build();
    ASSERT_EQ(*matrix->DailyCalendar().Last(), MakePackedDate(2022, 4, 1));
    matrix->ProjectForecastDays(5);
    ASSERT_GT(*matrix->DailyCalendar().Last(), kPresentDaySegmentsStart);
    EXPECT_FALSE(MarketNamingOf(*matrix).PresentDay());
    matrix->RemoveForecastDays();
    EXPECT_FALSE(MarketNamingOf(*matrix).PresentDay());
}

} // namespace
} // namespace vorn
