#include "screening/signal_report.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/text_encoding.h"
#include "screening_market.h"

namespace vorn {
namespace {

using test::AddListing;
using test::CMarketBuilder;
using test::Flat;
using test::ScreeningMarket;

ListingAnalysis Position(PositionCode position, std::uint8_t signal = 0, std::uint8_t law = 0) {
    ListingAnalysis record;
    record.position = position;
    record.signal = signal;
    record.signalLaw = law;
    return record;
}

// Capitalisations: 2002 1,000,000; 6006 750,000 (250.00 yen, priced in hundredths); 1001
// 500,000; 3003 10,000 (no position); 4004 1,000; 5005 has no shares issued.
class SignalReportTest : public ::testing::Test {
protected:
    SignalReportTest() : market_(Build()) {
        for (std::uint16_t code : {1001, 3003, 4004, 5005, 6006})
            market_.Prefer(code, 1);
        market_.Prefer(2002, 2);
        market_.Record(MakeSecurityKey(1001, 1), Position(kPositionSwitchBuy, 1, 1));
        market_.Record(MakeSecurityKey(1001, 2), Position(kPositionSwitchSell, 2, 1));
        market_.Record(MakeSecurityKey(2002, 2), Position(kPositionHoldBuy, 1, 1));
        market_.Record(MakeSecurityKey(3003, 1), Position(kPositionNone));
        market_.Record(MakeSecurityKey(4004, 1), Position(kPositionHoldSell, 2, 1));
        market_.Record(MakeSecurityKey(5005, 1), Position(kPositionNewSell, 2, 1));
        market_.Record(MakeSecurityKey(6006, 1), Position(kPositionSwitchSell, 8, 2));
    }
    static CMarketBuilder Build() {
        const auto day = test::ScreeningDays()[0];
        CMarketBuilder builder;
        builder.Calendar(test::ScreeningDays());
        const char* names[] = {"大和", "東和", "西和", "北和", "南和", "六和"};
        for (std::uint16_t i = 0; i < 6; ++i)
            builder.Company(static_cast<std::uint16_t>(1001 * (i + 1)), 1, Utf8ToCp932(names[i]));
        AddListing(builder, 1001, 1, {Flat(500)});
        AddListing(builder, 1001, 2, {Flat(500)});
        AddListing(builder, 2002, 2, {Flat(500)});
        AddListing(builder, 3003, 1, {Flat(100)});
        AddListing(builder, 4004, 1, {Flat(100)});
        AddListing(builder, 5005, 1, {Flat(100)});
        AddListing(builder, 6006, 1, {Flat(25000)});
        builder.Flags(6006, 1, 1, kListingHundredths);
        builder.History(1001, {{day, 1000}})
            .History(2002, {{day, 2000}})
            .History(3003, {{day, 100}})
            .History(4004, {{day, 10}})
            .History(6006, {{day, 3000}});
        return builder;
    }

    ScreeningMarket market_;
};

TEST_F(SignalReportTest, TopCompaniesByCapitalisationGroupedByPosition) {
    const std::string expected = "　【 「窓理論」による売買シグナル一覧（時価総額上位4位） 】\n"
                                 "\n　　＜買い転換＞\n"
                                 "　　　大和（東証一部：1001） － 窓空け上昇\n"
                                 "\n　　＜売り転換＞\n"
                                 "　　　六和（東証一部：6006） － 上方窓到達\n"
                                 "\n　　＜買い継続＞\n"
                                 "　　　東和（東証二部：2002）\n"
                                 "\n　　＜売り継続＞\n"
                                 "　　　北和（東証一部：4004）\n";
    EXPECT_EQ(CopySignalReport(*market_.matrix, market_.analysis, 50), Utf8ToCp932(expected))
        << "the market ran out before 50";

    const std::string top2 = "　【 「窓理論」による売買シグナル一覧（時価総額上位2位） 】\n"
                             "\n　　＜買い転換＞\n"
                             "　　　なし\n"
                             "\n　　＜売り転換＞\n"
                             "　　　六和（東証一部：6006） － 上方窓到達\n"
                             "\n　　＜買い継続＞\n"
                             "　　　東和（東証二部：2002）\n"
                             "\n　　＜売り継続＞\n"
                             "　　　なし\n";
    EXPECT_EQ(CopySignalReport(*market_.matrix, market_.analysis, 2), Utf8ToCp932(top2));
}

TEST_F(SignalReportTest, ChosenCodesInKeyOrderOnTheirPreferredMarkets) {
    const std::uint16_t codes[] = {5005, 1001, 9999, 3003, 1001};
    const std::string expected = "　【 「窓理論」による売買シグナル一覧（時価総額上位2位） 】\n"
                                 "\n　　＜買い転換＞\n"
                                 "　　　大和（1001）\n"
                                 "\n　　＜売り転換＞\n"
                                 "　　　南和（5005）\n"
                                 "\n　　＜買い継続＞\n"
                                 "　　　なし\n"
                                 "\n　　＜売り継続＞\n"
                                 "　　　なし\n";
    EXPECT_EQ(CopySignalReportFor(*market_.matrix, market_.analysis, codes), Utf8ToCp932(expected));
}

TEST(SignalReportLimitTest, ALongReportIsCutAfterItsLastWholeLine) {
    CMarketBuilder builder;
    builder.Calendar(test::ScreeningDays());
    const std::string name = Utf8ToCp932(std::string(20, 'N') + "株式会社");
    std::vector<std::uint16_t> codes;
    for (std::uint16_t code = 1000; code < 1500; ++code) {
        builder.Company(code, 1, name);
        AddListing(builder, code, 1, {Flat(100)});
        codes.push_back(code);
    }
    ScreeningMarket market(builder);
    for (std::uint16_t code : codes) {
        market.Prefer(code, 1);
        market.Record(MakeSecurityKey(code, 1), Position(kPositionHoldBuy, 1, 1));
    }
    const std::string report = CopySignalReportFor(*market.matrix, market.analysis, codes);
    ASSERT_LE(report.size(), kSignalReportCapacity - 1);
    EXPECT_GT(report.size(), kSignalReportCapacity - 100);
    ASSERT_EQ(report.back(), '\n');
    const std::size_t lastLine = report.rfind('\n', report.size() - 2) + 1;
    EXPECT_EQ(report.substr(lastLine, Utf8ToCp932("　　　").size() + name.size()),
              Utf8ToCp932("　　　") + name);
    const std::string close = Utf8ToCp932("）") + "\n";
    EXPECT_EQ(report.substr(report.size() - close.size()), close);
}

} // namespace
} // namespace vorn
