// vornctl jquants against a fake data service on 127.0.0.1 that answers in the documented
// shapes: paging, no-trade days, splits, share classes, segments, refusals and failures.
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <httplib.h>
#include <sys/stat.h>

#include "acquisition/jquants_client.h"
#include "acquisition/jquants_convert.h"
#include "acquisition/jquants_json.h"
#include "foundation/text_encoding.h"
#include "matrix/matrix_file.h"
#include "matrix/stock_code.h"
#include "support/fake_jquants_service.h"
#include "support/run_command.h"

namespace vorn {
namespace {

namespace fs = std::filesystem;

using test::CFakeService;
using test::LoggedRequest;
constexpr const char* kKey = test::kJQuantsKey;

class JQuantsTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("vorn-jquants-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    // Runs vornctl jquants with the key in the environment; stdout and stderr go to files.
    int Run(const std::string& arguments, const std::string& tag) {
        const std::string command =
            "JQUANTS_API_KEY=" + std::string(kKey) + " " VORN_CTL_PATH " jquants " + arguments +
            " --rate 60000 --limit-wait 1 >" + (dir_ / (tag + ".out")).string() + " 2>" +
            (dir_ / (tag + ".err")).string();
        return test::RunCommandLine(command).first;
    }
    std::string Read(const std::string& name) {
        std::ifstream in(dir_ / name, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }

    fs::path dir_;
};

struct Day {
    std::uint64_t open, high, low, close, volume;
};

Day DayOf(const SecurityRecord& s, std::size_t i) {
    const std::size_t w = ElementSize(s.prices.elementType) / 4;
    const std::uint8_t* p = s.prices.data.get() + i * 4 * w;
    const std::size_t vw = ElementSize(s.volumes.elementType);
    return {ReadUnsigned(p, w), ReadUnsigned(p + w, w), ReadUnsigned(p + 2 * w, w),
            ReadUnsigned(p + 3 * w, w), ReadUnsigned(s.volumes.data.get() + i * vw, vw)};
}

// The whole stored contents as text, for comparing two files.
std::string Dump(const CMarketMatrix& m) {
    std::ostringstream out;
    for (std::size_t i = 0; i < m.DailyCalendar().Count(); ++i)
        out << m.DailyCalendar()[i] << ' ';
    out << '\n';
    for (const auto& [code, company] : m.Companies()) {
        out << code << ' ' << int(company.industry) << ' ' << company.markets << ' '
            << company.name.value_or("-") << " h";
        for (std::size_t i = 0; i < company.history.count; ++i)
            out << ' ' << company.HistoryDate(i) << '=' << company.HistoryValue(i);
        out << '\n';
    }
    for (const auto& [key, s] : m.Securities()) {
        out << key << ' ' << s.firstDate << '-' << s.lastDate << ' ' << int(s.listingFlags) << ' '
            << int(s.tradingUnit) << ':';
        for (std::size_t i = 0; i < s.prices.count; ++i) {
            const Day d = DayOf(s, i);
            out << ' ' << d.open << '/' << d.high << '/' << d.low << '/' << d.close << '/'
                << d.volume;
        }
        if (s.adjustments)
            for (const AdjustmentEntry& a : s.adjustments->entries)
                out << " adj " << a.date << ' ' << int(a.kind) << ' ' << a.ratio;
        out << '\n';
    }
    return out.str();
}

PackedDate D(unsigned m, unsigned d) {
    return MakePackedDate(2024, m, d);
}

TEST_F(JQuantsTest, BuildsTheFileTheAnswersDescribe) {
    CFakeService service;
    const fs::path out = dir_ / "market.dat";
    ASSERT_EQ(Run("--out " + out.string() + " --from 2024-03-01 --to 2024-03-07 --plan light " +
                      "--base-url " + service.BaseUrl(),
                  "build"),
              0)
        << Read("build.err");
    const std::string err = Read("build.err");
    EXPECT_NE(err.find("skipped TOPIX"), std::string::npos) << err;
    EXPECT_NE(Read("build.out")
                  .find("1 preferred and other share classes, 1 in other "
                        "segments, 1 other product categories"),
              std::string::npos)
        << Read("build.out");

    CMarketMatrix m;
    ASSERT_EQ(RestoreMatrix(m, out, nullptr, nullptr), kMatrixOk);
    ASSERT_EQ(m.DailyCalendar().Count(), 5u);
    EXPECT_EQ(*m.DailyCalendar().Last(), D(3, 7));

    // 7203: prime (1), transport equipment (17), margin 貸借, split on 03-05.
    const SecurityRecord* toyota = m.FindSecurity(MakeSecurityKey(7203, 1));
    ASSERT_NE(toyota, nullptr);
    EXPECT_EQ(toyota->company->industry, 17);
    EXPECT_EQ(Cp932ToUtf8(toyota->company->name.value_or("")), "トヨタ自動車");
    EXPECT_EQ(toyota->listingFlags & kListingMarginTradable, kListingMarginTradable);
    EXPECT_EQ(toyota->listingFlags & kListingHundredths, 0);
    EXPECT_EQ(toyota->TradingUnit(), 100u);
    ASSERT_EQ(toyota->prices.count, 5);
    EXPECT_EQ(DayOf(*toyota, 0).close, 3640u);
    EXPECT_EQ(DayOf(*toyota, 1).volume, 21000000u);
    EXPECT_EQ(DayOf(*toyota, 2).open, 1850u);
    ASSERT_TRUE(HasAdjustments(toyota->adjustments));
    ASSERT_EQ(toyota->adjustments->entries.size(), 1u);
    EXPECT_EQ(toyota->adjustments->entries[0].date, D(3, 5));
    EXPECT_EQ(toyota->adjustments->entries[0].kind, 2);
    EXPECT_DOUBLE_EQ(toyota->adjustments->entries[0].ratio, 2.0);
    ASSERT_EQ(toyota->company->history.count, 2);
    EXPECT_EQ(toyota->company->HistoryDate(0), D(3, 1));
    EXPECT_EQ(toyota->company->HistoryValue(0), 16314987460u);
    EXPECT_EQ(toyota->company->HistoryValue(1), 15794987460u);

    // 336A: growth (3), pharmaceuticals (8), hundredths, not margin-lendable.
    const auto alnumCode = ParseStockCode("336A");
    ASSERT_TRUE(alnumCode);
    const SecurityRecord* alnum = m.FindSecurity(MakeSecurityKey(*alnumCode, 3));
    ASSERT_NE(alnum, nullptr);
    EXPECT_EQ(alnum->company->industry, 8);
    EXPECT_EQ(alnum->listingFlags & kListingMarginTradable, 0);
    EXPECT_EQ(alnum->listingFlags & kListingHundredths, kListingHundredths);
    EXPECT_EQ(DayOf(*alnum, 0).close, 123450u);
    EXPECT_EQ(DayOf(*alnum, 4).close, 127025u);
    EXPECT_EQ(alnum->company->history.count, 0); // a blank share count is no entry

    // 1301: the null day repeats the previous close with no volume; reverse split 03-06.
    const SecurityRecord* kyokuyo = m.FindSecurity(MakeSecurityKey(1301, 1));
    ASSERT_NE(kyokuyo, nullptr);
    const Day noTrade = DayOf(*kyokuyo, 1);
    EXPECT_EQ(noTrade.open, 505u);
    EXPECT_EQ(noTrade.low, 505u);
    EXPECT_EQ(noTrade.volume, 0u);
    ASSERT_TRUE(HasAdjustments(kyokuyo->adjustments));
    EXPECT_EQ(kyokuyo->adjustments->entries[0].date, D(3, 6));
    EXPECT_EQ(kyokuyo->adjustments->entries[0].kind, 0);
    EXPECT_DOUBLE_EQ(kyokuyo->adjustments->entries[0].ratio, 0.5);

    // The delisted company keeps the name it had on its last day.
    const SecurityRecord* gone = m.FindSecurity(MakeSecurityKey(9999, 2));
    ASSERT_NE(gone, nullptr);
    EXPECT_EQ(gone->lastDate, D(3, 4));
    EXPECT_EQ(Cp932ToUtf8(gone->company->name.value_or("")), "消えた会社");

    // Left out: the preferred share, the professional market and the fund.
    EXPECT_EQ(m.FindCompany(2593), nullptr);
    EXPECT_EQ(m.FindCompany(8001), nullptr);
    EXPECT_EQ(m.FindCompany(1306), nullptr);

    // Without TOPIX the index is the stand-in, chained from 1,000.
    const SecurityRecord* index = m.FindSecurity(MakeSecurityKey(kBenchmarkIndexCode, 1));
    ASSERT_NE(index, nullptr);
    EXPECT_EQ(index->company->industry, kIndexIndustry);
    EXPECT_EQ(Cp932ToUtf8(index->company->name.value_or("")), kStandInIndexName);
    EXPECT_EQ(DayOf(*index, 0).close, 100000u);
    EXPECT_GT(DayOf(*index, 1).close, 100000u);

    // The key went in a header only, and appears nowhere.
    EXPECT_EQ(service.KeysSeen(), std::set<std::string>{kKey});
    for (const char* name : {"build.out", "build.err"})
        EXPECT_EQ(Read(name).find(kKey), std::string::npos) << name;
    for (const auto& entry : fs::recursive_directory_iterator(dir_)) {
        if (entry.is_regular_file()) {
            const auto bytes = entry.path().extension() == ".gz"
                                   ? ReadCompressedFile(entry.path()).value_or("")
                                   : Read(fs::relative(entry.path(), dir_).string());
            EXPECT_EQ(bytes.find(kKey), std::string::npos) << entry.path();
        }
    }

    // The refusals came and were waited out.
    int tooMany = 0, failed = 0;
    for (const LoggedRequest& r : service.Log()) {
        tooMany += r.status == 429;
        failed += r.status == 500;
    }
    EXPECT_EQ(tooMany, 1);
    EXPECT_EQ(failed, 1);
}

TEST_F(JQuantsTest, AnInterruptedBuildResumesWithoutAskingTwice) {
    const fs::path whole = dir_ / "whole" / "market.dat";
    {
        CFakeService service;
        ASSERT_EQ(Run("--out " + whole.string() + " --from 2024-03-01 --to 2024-03-07 --base-url " +
                          service.BaseUrl(),
                      "whole"),
                  0)
            << Read("whole.err");
    }
    CFakeService service;
    service.dropAfter = 9;
    const fs::path out = dir_ / "resumed" / "market.dat";
    const std::string arguments = "--out " + out.string() +
                                  " --from 2024-03-01 --to 2024-03-07 --retries 0 --base-url " +
                                  service.BaseUrl();
    EXPECT_EQ(Run(arguments, "first"), 1);
    EXPECT_FALSE(fs::exists(out));
    EXPECT_NE(Read("first.err").find("was not written"), std::string::npos) << Read("first.err");
    service.dropAfter = 1 << 30;
    ASSERT_EQ(Run(arguments, "second"), 0) << Read("second.err");

    // Every answered query (the calendar aside, which may grow) was asked once.
    std::map<std::string, int> answered;
    for (const LoggedRequest& r : service.Log())
        if (r.status == 200 && r.target.find("calendar") == std::string::npos)
            ++answered[r.target];
    for (const auto& [target, times] : answered)
        EXPECT_LE(times, 2) << target; // two pages share a target
    std::map<std::string, int> firstPages;
    for (const LoggedRequest& r : service.Log())
        if (r.status == 200 && r.target.find("bars") != std::string::npos)
            ++firstPages[r.target];
    for (const auto& [target, times] : firstPages)
        EXPECT_EQ(times, 2) << target;

    CMarketMatrix a, b;
    ASSERT_EQ(RestoreMatrix(a, whole, nullptr, nullptr), kMatrixOk);
    ASSERT_EQ(RestoreMatrix(b, out, nullptr, nullptr), kMatrixOk);
    EXPECT_EQ(Dump(a), Dump(b));

    // A rebuild asks for nothing but the calendar.
    const std::size_t before = service.Log().size();
    ASSERT_EQ(Run(arguments, "third"), 0) << Read("third.err");
    const auto log = service.Log();
    ASSERT_EQ(log.size(), before + 1) << log.back().target << " " << log[before].target;
    EXPECT_NE(log.back().target.find("calendar"), std::string::npos);
}

TEST_F(JQuantsTest, AppendingTheNextDaysEqualsABuildOfEverything) {
    CFakeService service;
    service.tooManyAt = 0;
    service.failAt = 0;
    const fs::path whole = dir_ / "whole" / "market.dat";
    ASSERT_EQ(Run("--out " + whole.string() + " --from 2024-03-01 --to 2024-03-07 --base-url " +
                      service.BaseUrl(),
                  "whole"),
              0)
        << Read("whole.err");
    const fs::path part = dir_ / "part" / "market.dat";
    ASSERT_EQ(Run("--out " + part.string() + " --from 2024-03-01 --to 2024-03-04 --base-url " +
                      service.BaseUrl(),
                  "part"),
              0)
        << Read("part.err");
    ASSERT_EQ(Run("--append " + part.string() + " --to 2024-03-07 --base-url " + service.BaseUrl(),
                  "append"),
              0)
        << Read("append.err");
    EXPECT_NE(Read("append.out").find("appended 3 days"), std::string::npos) << Read("append.out");
    CMarketMatrix a, b;
    ASSERT_EQ(RestoreMatrix(a, whole, nullptr, nullptr), kMatrixOk);
    ASSERT_EQ(RestoreMatrix(b, part, nullptr, nullptr), kMatrixOk);
    EXPECT_EQ(Dump(a), Dump(b));

    // Nothing new: the file is left as it was.
    ASSERT_EQ(Run("--append " + part.string() + " --to 2024-03-07 --base-url " + service.BaseUrl(),
                  "again"),
              0)
        << Read("again.err");
    EXPECT_NE(Read("again.out").find("unchanged"), std::string::npos) << Read("again.out");
}

TEST_F(JQuantsTest, KeyFilesOthersCanReadAreRefused) {
    CFakeService service;
    service.tooManyAt = 0;
    service.failAt = 0;
    const fs::path keyFile = dir_ / "jquants.key";
    std::ofstream(keyFile) << kKey << "\n";
    ::chmod(keyFile.c_str(), 0644);
    const std::string command = std::string("env -u JQUANTS_API_KEY ") + VORN_CTL_PATH +
                                " jquants --out " + (dir_ / "m.dat").string() +
                                " --from 2024-03-01 --to 2024-03-07 --rate 60000 --base-url " +
                                service.BaseUrl() + " 2>" + (dir_ / "err").string();
    EXPECT_EQ(test::RunCommandLine(command).first, 1);
    EXPECT_NE(Read("err").find("chmod 600"), std::string::npos) << Read("err");
    EXPECT_TRUE(service.Log().empty());
    ::chmod(keyFile.c_str(), 0600);
    EXPECT_EQ(test::RunCommandLine(command).first, 0) << Read("err");
    EXPECT_EQ(Read("err").find(kKey), std::string::npos);

    // A wrong key: refused with the server's words, never the key.
    std::ofstream(keyFile, std::ios::trunc) << "WRONG-KEY-99\n";
    EXPECT_EQ(test::RunCommandLine(command).first, 1);
    EXPECT_NE(Read("err").find("invalid or expired"), std::string::npos) << Read("err");
    EXPECT_EQ(Read("err").find("WRONG-KEY-99"), std::string::npos);
}

TEST(JQuantsJson, NumbersArriveInEveryDocumentedForm) {
    std::vector<std::uint64_t> values;
    std::vector<DecimalStatus> statuses;
    JsonEnvelope envelope;
    std::string error;
    ASSERT_TRUE(
        ParseEnvelope(R"({"data":[{"v":3600.5},{"v":"528578441"},{"v":""},{"v":null},{"v":2.1e7},)"
                      R"({"v":"1.234"},{"v":-5},{"v":"abc"},{"v":99999999999999999999999}],)"
                      R"("pagination_key":"a.b."})",
                      [&](const CJsonRow& row) {
                          std::uint64_t value = 0;
                          statuses.push_back(ParseScaledDecimal(row.Find("v"), 2, value));
                          values.push_back(value);
                          return true;
                      },
                      envelope, error))
        << error;
    EXPECT_EQ(envelope.paginationKey.value_or(""), "a.b.");
    ASSERT_EQ(statuses.size(), 9u);
    EXPECT_EQ(values[0], 360050u);
    EXPECT_EQ(values[1], 52857844100u);
    EXPECT_EQ(statuses[2], DecimalStatus::Missing);
    EXPECT_EQ(statuses[3], DecimalStatus::Missing);
    EXPECT_EQ(values[4], 2100000000u);
    EXPECT_EQ(statuses[5], DecimalStatus::TooPrecise);
    EXPECT_EQ(statuses[6], DecimalStatus::Invalid);
    EXPECT_EQ(statuses[7], DecimalStatus::Invalid);
    EXPECT_EQ(statuses[8], DecimalStatus::TooLarge);

    for (const char* bad : {"", "[1,2]", "{\"data\":[1]}", "{\"data\":[{\"a\":", "nul"})
        EXPECT_FALSE(ParseEnvelope(
            bad, [](const CJsonRow&) { return true; }, envelope, error))
            << bad;
}

TEST(JQuantsConvert, SegmentsAndSectorsMapToMarketsAndIndustries) {
    JQuantsConvertOptions options;
    EXPECT_EQ(MarketOfSegment("0111", options), 1);
    EXPECT_EQ(MarketOfSegment("0112", options), 2);
    EXPECT_EQ(MarketOfSegment("0113", options), 3);
    EXPECT_EQ(MarketOfSegment("0101", options), 1);
    EXPECT_EQ(MarketOfSegment("0102", options), 2);
    EXPECT_EQ(MarketOfSegment("0104", options), 3);
    EXPECT_EQ(MarketOfSegment("0106", options), 15);
    EXPECT_EQ(MarketOfSegment("0107", options), 15);
    EXPECT_EQ(MarketOfSegment("0105", options), 0);
    EXPECT_EQ(MarketOfSegment("0109", options), 0);
    EXPECT_EQ(IndustryOfSector33("0050"), 1);
    EXPECT_EQ(IndustryOfSector33("3700"), 17);
    EXPECT_EQ(IndustryOfSector33("9050"), 33);
    EXPECT_EQ(IndustryOfSector33("9999"), 0);
    std::string unknown;
    EXPECT_TRUE(ParseIncludeList("etf,reit,pro-market", options, unknown));
    EXPECT_EQ(options.productCategories, (std::set<std::string>{"011", "013", "014"}));
    EXPECT_EQ(MarketOfSegment("0105", options), 1);
    EXPECT_FALSE(ParseIncludeList("etf,bonds", options, unknown));
    EXPECT_EQ(unknown, "bonds");
    EXPECT_EQ(ParseApiDate("2024-02-29"), MakePackedDate(2024, 2, 29));
    EXPECT_EQ(ParseApiDate("20230229"), kNoDate);
    EXPECT_EQ(ParseApiDate("2024-13-01"), kNoDate);
}

} // namespace
} // namespace vorn
