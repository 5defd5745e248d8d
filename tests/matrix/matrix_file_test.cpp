#include "matrix/matrix_file.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "foundation/text_encoding.h"
#include "foundation/writer_lock.h"
#include "support/lock_holder.h"
#include "support/market_builder.h"
#include "support/recording_sink.h"
#include "support/run_command.h"

namespace vorn {
namespace {

using Bytes = std::vector<std::uint8_t>;
using test::CMarketBuilder;
using test::Ohlcv;

const PackedDate kFirstDay = MakePackedDate(2007, 1, 4);

Bytes ReadBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

void WriteBytes(const std::filesystem::path& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

std::uint32_t Get(const Bytes& bytes, std::size_t offset, std::size_t width) {
    return static_cast<std::uint32_t>(ReadUnsigned(bytes.data() + offset, width));
}
void Put(Bytes& bytes, std::size_t offset, std::size_t width, std::uint64_t value) {
    WriteUnsigned(bytes.data() + offset, width, value);
}

std::vector<Ohlcv> Rows(int count, std::uint32_t base, std::uint64_t volume) {
    std::vector<Ohlcv> rows;
    for (int i = 0; i < count; ++i) {
        const std::uint32_t open = base + static_cast<std::uint32_t>(i);
        rows.push_back({open, open + 3, open - 2, open + 1, volume + static_cast<unsigned>(i)});
    }
    return rows;
}

// Every encoding the file knows: the twelve price and volume combinations with exponents,
// histories of all four widths, cp932 texts, flags, adjustments and empty arrays.
CMarketBuilder RichMarket() {
    const auto days = test::Weekdays(kFirstDay, 60);
    CMarketBuilder b;
    b.Calendar(days);
    b.Company(1301, 1, Utf8ToCp932("極洋"), Utf8ToCp932("水産・農林業"));
    b.Company(1332, 1, Utf8ToCp932("日本水産"));
    b.Company(7203, 17, Utf8ToCp932("トヨタ自動車"), Utf8ToCp932("輸送用機器"));
    b.Company(9999, 34); // no texts, no securities
    b.History(1301, {{MakePackedDate(2007, 1, 10), 200}, {MakePackedDate(2007, 6, 1), 250}}, 3);
    b.History(1332, {{MakePackedDate(2006, 4, 1), 60000}}, 4);
    b.History(7203, {{MakePackedDate(2005, 1, 4), 3'000'000'000ull}}, 5);
    b.History(9999, {{MakePackedDate(2001, 2, 3), 12'345'678'901'234ull}}, 6);
    const std::uint32_t bases[3] = {100, 30000, 70000};
    const std::uint64_t volumes[4] = {200, 60000, 4'000'000'000ull, 9'000'000'000'000ull};
    int n = 0;
    for (int price = 0; price <= 2; ++price)
        for (int volume = 3; volume <= 6; ++volume, ++n) {
            const auto code = static_cast<std::uint16_t>(2000 + n);
            b.Company(code, static_cast<std::uint8_t>(1 + n), Utf8ToCp932("銘柄") + char('A' + n));
            // Start and length vary so that some securities end before the last day.
            b.Security(code, 1, days[n], Rows(20 + n * 2, bases[price], volumes[volume - 3]), price,
                       volume, static_cast<std::uint8_t>(n % 8),
                       static_cast<std::uint8_t>((n + 3) % 8));
        }
    b.Security(1301, 1, days[10], Rows(50, 100, 50));
    b.Security(1301, 2, days[0], Rows(60, 120, 70));
    b.Flags(1301, 1, 0x21, 0x81);
    b.Flags(1301, 2, 0x05, 0x7E);
    b.Adjustment(1301, 1, days[20], 0.5, 2);
    b.Adjustment(1301, 1, days[40], 1.0 / 3.0, 6);
    b.Security(1332, 3, days[0], {}); // empty arrays
    b.Security(7203, 1, days[59], Rows(1, 5000, 1'000'000), 1, 5, 1, 2);
    b.Adjustment(7203, 1, days[59], 10.0, 0);
    return b;
}

// Enough securities for three price blocks.
CMarketBuilder BulkMarket(int securities) {
    CMarketBuilder b;
    const auto days = test::Weekdays(kFirstDay, 30);
    b.Calendar(days);
    for (int i = 0; i < securities; ++i)
        b.Security(static_cast<std::uint16_t>(1000 + i), 1, days[i % 5],
                   Rows(25, 100 + static_cast<std::uint32_t>(i % 50), 1000 + i), -1, -1);
    return b;
}

void ExpectSameArray(const TypedArray& a, const TypedArray& b, const std::string& what,
                     std::size_t bytes) {
    EXPECT_EQ(a.elementType, b.elementType) << what;
    EXPECT_EQ(a.attribute, b.attribute) << what;
    ASSERT_EQ(a.count, b.count) << what;
    ASSERT_EQ(a.Empty(), b.Empty()) << what;
    if (!a.Empty()) {
        EXPECT_EQ(0, std::memcmp(a.data.get(), b.data.get(), bytes)) << what;
    }
}

void ExpectSameMarket(const CMarketMatrix& expected, const CMarketMatrix& actual) {
    const CCalendar& days = expected.DailyCalendar();
    ASSERT_EQ(days.Count(), actual.DailyCalendar().Count());
    for (std::uint16_t i = 0; i < days.Count(); ++i)
        EXPECT_EQ(days[i], actual.DailyCalendar()[i]);
    EXPECT_EQ(expected.WeeklyCalendar().Count(), actual.WeeklyCalendar().Count());
    EXPECT_EQ(expected.MonthlyCalendar().Count(), actual.MonthlyCalendar().Count());

    ASSERT_EQ(expected.Companies().size(), actual.Companies().size());
    for (const auto& [code, company] : expected.Companies()) {
        const CompanyRecord* other = actual.FindCompany(code);
        ASSERT_NE(other, nullptr) << code;
        const std::string what = "company " + std::to_string(code);
        EXPECT_EQ(
            std::tie(company.code, company.markets, company.industry, company.name, company.text),
            std::tie(other->code, other->markets, other->industry, other->name, other->text))
            << what;
        ExpectSameArray(company.history, other->history, what + " history",
                        company.history.HistoryByteSize());
    }
    ASSERT_EQ(expected.Securities().size(), actual.Securities().size());
    for (const auto& [key, security] : expected.Securities()) {
        const SecurityRecord* other = actual.FindSecurity(key);
        ASSERT_NE(other, nullptr) << key;
        const std::string what =
            "security " + std::to_string(CodeOfKey(key)) + "/" + std::to_string(MarketOfKey(key));
        EXPECT_EQ(other->company, actual.FindCompany(CodeOfKey(key))) << what;
        EXPECT_EQ(std::tie(security.market, security.tradingUnit, security.listingFlags,
                           security.firstDate, security.lastDate),
                  std::tie(other->market, other->tradingUnit, other->listingFlags, other->firstDate,
                           other->lastDate))
            << what;
        ExpectSameArray(security.prices, other->prices, what + " prices",
                        security.prices.ByteSize());
        ExpectSameArray(security.volumes, other->volumes, what + " volumes",
                        security.volumes.ByteSize());
        ASSERT_EQ(HasAdjustments(security.adjustments), HasAdjustments(other->adjustments)) << what;
        if (!HasAdjustments(security.adjustments))
            continue;
        const auto& mine = security.adjustments->entries;
        const auto& theirs = other->adjustments->entries;
        ASSERT_EQ(mine.size(), theirs.size()) << what;
        for (std::size_t i = 0; i < mine.size(); ++i)
            EXPECT_EQ(std::tie(mine[i].date, mine[i].kind, mine[i].ratio),
                      std::tie(theirs[i].date, theirs[i].kind, theirs[i].ratio))
                << what;
    }
}

// Offsets of the section ends of a well-formed file.
struct Layout {
    std::size_t calendarEnd, companiesEnd, textsEnd, historiesEnd, securitiesEnd;
    std::vector<std::size_t> blockEnds;
};

Layout LayoutOf(const Bytes& file) {
    Layout l;
    l.calendarEnd = Get(file, 6, 2) + Get(file, 8, 2) * 2u;
    l.companiesEnd = l.calendarEnd + Get(file, 10, 2) * Get(file, 12, 2);
    l.textsEnd = l.companiesEnd + Get(file, 14, 4);
    l.historiesEnd = l.textsEnd + Get(file, 18, 4);
    l.securitiesEnd = l.historiesEnd + Get(file, 22, 2) * Get(file, 24, 2);
    std::size_t at = l.securitiesEnd;
    for (unsigned i = 0; i < Get(file, 26, 2); ++i) {
        at += 5 + Get(file, at + 1, 4);
        l.blockEnds.push_back(at);
    }
    return l;
}

// The result a file cut to `length` bytes must give, whatever the thread timing.
MatrixResult ExpectedForTruncation(const Layout& l, std::size_t length, std::size_t full) {
    if (length < kMatrixHeaderSize)
        return kMatrixBadHeader;
    if (length < l.calendarEnd)
        return kMatrixReadError;
    if (length < l.companiesEnd)
        return kMatrixCalendarFailed;
    if (length < l.securitiesEnd)
        return kMatrixCompanyFailed;
    return length < full ? kMatrixSecurityFailed : kMatrixOk;
}

// Sets an event when a given progress text or a percent above a threshold is posted.
class CCancellingSink final : public IMessageSink {
public:
    CCancellingSink(CEvent& cancel, const char* triggerText, int triggerPercent = 1000)
        : cancel_(cancel), triggerText_(triggerText), triggerPercent_(triggerPercent) {}
    void Post(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) override {
        record.Post(message, wParam, lParam);
        if (wParam == kProgressText && triggerText_ &&
            std::strcmp(reinterpret_cast<const char*>(lParam), triggerText_) == 0)
            cancel_.Set();
        if (wParam == kProgressPercent && lParam > triggerPercent_)
            cancel_.Set();
    }
    test::CRecordingSink record;

private:
    CEvent& cancel_;
    const char* triggerText_;
    int triggerPercent_;
};

std::vector<std::string> Texts(const test::CRecordingSink& sink) {
    std::vector<std::string> texts;
    for (std::intptr_t p : sink.Values(kProgressText))
        texts.emplace_back(reinterpret_cast<const char*>(p));
    return texts;
}

class MatrixFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (std::filesystem::temp_directory_path() / "vorn-mf-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    std::filesystem::path Path(const char* name) const { return dir_ / name; }

    // Generates `market` into `name` and returns the file's bytes.
    Bytes Generated(const CMarketBuilder& market, const char* name = "Market.kbx") {
        CMarketMatrix matrix;
        market.BuildInto(matrix);
        EXPECT_EQ(GenerateMatrix(matrix, Path(name), nullptr, nullptr), kMatrixOk);
        return ReadBytes(Path(name));
    }

    MatrixResult RestoreBytes(const Bytes& bytes, CMarketMatrix& into,
                              IMessageSink* sink = nullptr) {
        WriteBytes(Path("damaged.kbx"), bytes);
        return RestoreMatrix(into, Path("damaged.kbx"), nullptr, sink);
    }

    // Restores `file` and compares it with what `market` builds.
    void ExpectRestoresTo(const Bytes& file, const CMarketBuilder& market) {
        CMarketMatrix restored;
        ExpectRestoresTo(file, market, restored);
    }
    void ExpectRestoresTo(const Bytes& file, const CMarketBuilder& market,
                          CMarketMatrix& restored) {
        CMarketMatrix original;
        market.BuildInto(original);
        ASSERT_EQ(RestoreBytes(file, restored), kMatrixOk);
        ExpectSameMarket(original, restored);
    }

    std::filesystem::path dir_;
};

// --- Round trip ---

TEST_F(MatrixFileTest, EveryFieldSurvivesGenerationAndRestore) {
    const CMarketBuilder market = RichMarket();
    CMarketMatrix original;
    market.BuildInto(original);
    // Forecast days are chart space and must not be stored as trading days.
    original.ProjectForecastDays(10);
    CEvent calendarWritten;
    ASSERT_EQ(GenerateMatrix(original, Path("Market.kbx"), nullptr, &calendarWritten), kMatrixOk);
    original.RemoveForecastDays();
    EXPECT_TRUE(calendarWritten.IsSet());
    EXPECT_FALSE(std::filesystem::exists(Path("Market.kbx.tmp")));

    CMarketMatrix restored;
    ASSERT_EQ(RestoreMatrix(restored, Path("Market.kbx"), nullptr, nullptr), kMatrixOk);
    ExpectSameMarket(original, restored);

    // Generating the restored matrix again gives the same bytes.
    ASSERT_EQ(GenerateMatrix(restored, Path("Again.kbx"), nullptr, nullptr), kMatrixOk);
    EXPECT_EQ(ReadBytes(Path("Market.kbx")), ReadBytes(Path("Again.kbx")));
}

TEST_F(MatrixFileTest, FileLayoutMatchesTheFormat) {
    const Bytes file = Generated(RichMarket());
    // 16 companies: 4 named ones and 12 generated; 16 securities in one block.
    const std::pair<std::size_t, std::uint32_t> fields[] = {
        {0, kMatrixMagic1}, {2, 0x1000}, {4, kMatrixMagic2}, {6, 28},  {8, 60},
        {10, 16},           {12, 11},    {22, 16},           {24, 21}, {26, 1}};
    for (const auto& [offset, value] : fields)
        EXPECT_EQ(Get(file, offset, 2), value) << "at " << offset;
    const Layout l = LayoutOf(file);
    ASSERT_EQ(l.blockEnds.size(), 1u);
    EXPECT_EQ(l.blockEnds.back(), file.size());
    EXPECT_EQ(file[l.securitiesEnd], 6);
    EXPECT_EQ(Get(file, l.securitiesEnd + 5, 4), Get(file, 22, 2)); // every security
}

TEST_F(MatrixFileTest, ManySecuritiesSpanSeveralBlocks) {
    const CMarketBuilder market = BulkMarket(1600);
    const Bytes file = Generated(market);
    EXPECT_EQ(Get(file, 26, 2), 3u);
    const Layout l = LayoutOf(file);
    EXPECT_EQ(Get(file, l.securitiesEnd + 5, 4), 750u);
    EXPECT_EQ(Get(file, l.blockEnds[1] + 5, 4), 100u);

    // Restore starts from an empty matrix whatever it held.
    CMarketMatrix restored;
    RichMarket().BuildInto(restored);
    restored.ProjectForecastDays(5);
    ExpectRestoresTo(file, market, restored);
    EXPECT_EQ(restored.ProjectedDays(), 0u);
}

TEST_F(MatrixFileTest, SecuritiesWithoutDataStillCountInTheirBlock) {
    // The first block holds only empty securities; the second must still land on the right
    // securities.
    CMarketBuilder market;
    market.Calendar(test::Weekdays(kFirstDay, 10));
    for (int i = 0; i < 751; ++i)
        market.Security(static_cast<std::uint16_t>(1000 + i), 1, kFirstDay,
                        i == 750 ? Rows(3, 100, 10) : std::vector<Ohlcv>{});
    const Bytes file = Generated(market);
    const Layout l = LayoutOf(file);
    ASSERT_EQ(l.blockEnds.size(), 2u);
    EXPECT_EQ(Get(file, l.securitiesEnd + 1, 4), 4u); // length of the count alone
    ExpectRestoresTo(file, market);
}

TEST_F(MatrixFileTest, ALargerHeaderIsSkipped) {
    Bytes file = Generated(RichMarket());
    Put(file, 6, 2, 32);
    file.insert(file.begin() + 28, {0xDE, 0xAD, 0xBE, 0xEF});
    ExpectRestoresTo(file, RichMarket());
}

TEST_F(MatrixFileTest, LargerCompanyEntriesAreReadByTheirSize) {
    const Bytes file = Generated(RichMarket());
    const Layout l = LayoutOf(file);
    const std::size_t companies = Get(file, 10, 2);
    Bytes widened(file.begin(), file.begin() + static_cast<long>(l.calendarEnd));
    for (std::size_t i = 0; i < companies; ++i) {
        const auto entry = file.begin() + static_cast<long>(l.calendarEnd + i * 11);
        widened.insert(widened.end(), entry, entry + 11);
        widened.insert(widened.end(), {0x55, 0xAA});
    }
    widened.insert(widened.end(), file.begin() + static_cast<long>(l.companiesEnd), file.end());
    Put(widened, 12, 2, 13);
    ExpectRestoresTo(widened, RichMarket());
}

// --- Damaged files ---

TEST_F(MatrixFileTest, TruncatedFilesGiveTheResultOfTheirLastWholeSection) {
    // Three blocks and no texts, one block with texts and histories.
    for (const CMarketBuilder& market : {BulkMarket(1600), RichMarket()}) {
        const Bytes file = Generated(market);
        const Layout l = LayoutOf(file);
        std::vector<std::size_t> lengths = {0,
                                            27,
                                            28,
                                            l.calendarEnd,
                                            l.companiesEnd,
                                            l.textsEnd,
                                            l.historiesEnd,
                                            l.securitiesEnd,
                                            file.size() - 1};
        lengths.insert(lengths.end(), l.blockEnds.begin(), l.blockEnds.end() - 1);
        std::mt19937 random(7);
        std::uniform_int_distribution<std::size_t> offset(0, file.size() - 1);
        for (int i = 0; i < 60; ++i)
            lengths.push_back(offset(random));
        for (std::size_t length : lengths) {
            const MatrixResult expected = ExpectedForTruncation(l, length, file.size());
            CMarketMatrix matrix;
            test::CRecordingSink sink;
            EXPECT_EQ(RestoreBytes(Bytes(file.begin(), file.begin() + static_cast<long>(length)),
                                   matrix, &sink),
                      expected)
                << "cut at " << length;
            EXPECT_EQ(sink.Values(kProgressFailure), std::vector<std::intptr_t>{ResultCode(expected)});
        }
    }
}

TEST_F(MatrixFileTest, DamagedHeadersAndBlocksAreRejected) {
    const Bytes good = Generated(BulkMarket(800));
    const Layout l = LayoutOf(good);
    struct Case {
        const char* what;
        std::size_t offset, width;
        std::uint64_t value;
        MatrixResult expected;
    };
    const Case cases[] = {
        {"magic 1", 0, 2, 0x6C58, kMatrixBadHeader},
        {"magic 2", 4, 2, 0, kMatrixBadHeader},
        {"no calendar days", 8, 2, 0, kMatrixReadError},
        {"company entries too small", 12, 2, 5, kMatrixCompanyFailed},
        {"text bytes beyond the file", 14, 4, 0xFFFFFFF0u, kMatrixCompanyFailed},
        {"security entries too small", 24, 2, 20, kMatrixSecurityFailed},
        {"block type", l.securitiesEnd, 1, 5, kMatrixSecurityFailed},
        {"second block type", l.blockEnds[0], 1, 7, kMatrixSecurityFailed},
        {"block length zero", l.securitiesEnd + 1, 4, 0, kMatrixSecurityFailed},
        {"block length beyond the file", l.securitiesEnd + 1, 4, 0xFFFFFFF0u,
         kMatrixSecurityFailed},
        {"block count beyond the securities", l.blockEnds[0] + 5, 4, 51, kMatrixSecurityFailed},
        {"price count beyond the file", l.historiesEnd + 12, 2, 0xFFFF, kMatrixSecurityFailed},
        {"price type", l.historiesEnd + 9, 2, 3, kMatrixSecurityFailed},
        {"market", l.historiesEnd + 2, 1, 16, kMatrixSecurityFailed},
        {"unknown company", l.historiesEnd, 2, 4, kMatrixSecurityFailed},
    };
    for (const Case& c : cases) {
        Bytes file = good;
        Put(file, c.offset, c.width, c.value);
        CMarketMatrix matrix;
        test::CRecordingSink sink;
        EXPECT_EQ(RestoreBytes(file, matrix, &sink), c.expected) << c.what;
        EXPECT_EQ(sink.Values(kProgressFailure), std::vector<std::intptr_t>{ResultCode(c.expected)}) << c.what;
    }
    CMarketMatrix matrix;
    EXPECT_EQ(RestoreMatrix(matrix, Path("absent.kbx"), nullptr, nullptr), kMatrixCannotOpen);
}

// --- Progress and cancellation ---

TEST_F(MatrixFileTest, RestorePostsItsProgress) {
    Generated(BulkMarket(1600)); // three blocks, no texts or histories
    CMarketMatrix matrix;
    test::CRecordingSink sink;
    ASSERT_EQ(RestoreMatrix(matrix, Path("Market.kbx"), nullptr, &sink), kMatrixOk);
    EXPECT_EQ(sink.Values(kProgressPercent),
              (std::vector<std::intptr_t>{5, 10, 20, 45, 62, 78, 95, 95, 100}));
    EXPECT_EQ(Texts(sink), (std::vector<std::string>{
                               "リストアを開始します", "ヒストリカル情報をリストアしています",
                               "企業情報をリストアしています", "銘柄情報をリストアしています",
                               "株価情報をリストアしています", "株価情報をリストアしています",
                               "株価情報をリストアしています"}));
    EXPECT_TRUE(sink.Values(kProgressFailure).empty());
    for (const auto& m : sink.Messages())
        EXPECT_EQ(m.message, kMsgProgress);

    // The progress target is released afterwards.
    matrix.PostProgress(1);
    EXPECT_EQ(sink.Messages().size(), 16u);

    test::CRecordingSink withTexts;
    Generated(RichMarket());
    ASSERT_EQ(RestoreMatrix(matrix, Path("Market.kbx"), nullptr, &withTexts), kMatrixOk);
    EXPECT_EQ(withTexts.Values(kProgressPercent),
              (std::vector<std::intptr_t>{5, 10, 20, 25, 35, 45, 95, 95, 100}));
    EXPECT_EQ(Texts(withTexts)[3], "企業詳細情報【Ⅰ】をリストアしています");
    EXPECT_EQ(Texts(withTexts)[4], "企業詳細情報【Ⅱ】をリストアしています");
}

TEST_F(MatrixFileTest, GenerationPostsItsProgressWhenATargetIsSet) {
    CMarketMatrix matrix;
    RichMarket().BuildInto(matrix);
    test::CRecordingSink sink;
    ProgressTarget target;
    target.sink = &sink;
    matrix.SetProgressTarget(target);
    ASSERT_EQ(GenerateMatrix(matrix, Path("Market.kbx"), nullptr, nullptr), kMatrixOk);
    EXPECT_EQ(sink.Values(kProgressPercent),
              (std::vector<std::intptr_t>{1, 3, 7, 10, 20, 45, 95, 100}));
    EXPECT_EQ(Texts(sink), (std::vector<std::string>{
                               "Matrixファイルを生成しています", "Matrixの基本情報を出力しています",
                               "カレンダー情報を出力しています", "企業情報を出力しています",
                               "銘柄情報を出力しています", "銘柄情報を出力しています"}));

    // Block steps never run past 100, whatever the number of blocks.
    test::CRecordingSink bulkSink;
    target.sink = &bulkSink;
    BulkMarket(1600).BuildInto(matrix);
    matrix.SetProgressTarget(target);
    ASSERT_EQ(GenerateMatrix(matrix, Path("Bulk.kbx"), nullptr, nullptr), kMatrixOk);
    EXPECT_EQ(bulkSink.Values(kProgressPercent),
              (std::vector<std::intptr_t>{1, 3, 7, 10, 20, 45, 70, 95, 100, 100}));
}

TEST_F(MatrixFileTest, CancellingRestoreStopsWithTheCancelCode) {
    Generated(BulkMarket(1600));
    for (const char* trigger :
         {"リストアを開始します", "企業情報をリストアしています", "株価情報をリストアしています"}) {
        CEvent cancel;
        CCancellingSink sink(cancel, trigger);
        CMarketMatrix matrix;
        EXPECT_EQ(RestoreMatrix(matrix, Path("Market.kbx"), &cancel, &sink), kMatrixCancelled)
            << trigger;
        EXPECT_EQ(sink.record.Values(kProgressFailure),
                  std::vector<std::intptr_t>{ResultCode(kMatrixCancelled)});
        const auto percents = sink.record.Values(kProgressPercent);
        EXPECT_TRUE(std::find(percents.begin(), percents.end(), 100) == percents.end());
    }
    CEvent cancelled;
    cancelled.Set();
    CMarketMatrix matrix;
    EXPECT_EQ(RestoreMatrix(matrix, Path("Market.kbx"), &cancelled, nullptr), kMatrixCancelled);
}

TEST_F(MatrixFileTest, CancelledOrFailedGenerationKeepsThePreviousFile) {
    const Bytes previous = Generated(RichMarket());
    CMarketMatrix matrix;
    BulkMarket(1600).BuildInto(matrix);

    // Cancelled after the calendar, and after the first price block.
    for (int triggerPercent : {7, 45}) {
        CEvent cancel;
        CEvent calendarWritten;
        CCancellingSink sink(cancel, nullptr, triggerPercent);
        ProgressTarget target;
        target.sink = &sink;
        matrix.SetProgressTarget(target);
        EXPECT_EQ(GenerateMatrix(matrix, Path("Market.kbx"), &cancel, &calendarWritten),
                  kMatrixCancelled);
        EXPECT_TRUE(calendarWritten.IsSet());
        EXPECT_EQ(sink.record.Values(kProgressFailure),
                  std::vector<std::intptr_t>{ResultCode(kMatrixCancelled)});
        EXPECT_EQ(ReadBytes(Path("Market.kbx")), previous);
        EXPECT_FALSE(std::filesystem::exists(Path("Market.kbx.tmp")));
    }
    matrix.ClearProgressTarget();

    // A company name too long for its length field fails the companies section.
    CompanyRecord* company = matrix.FindOrAddCompany(1000, 1);
    company->name = std::string(70000, 'x');
    EXPECT_EQ(GenerateMatrix(matrix, Path("Market.kbx"), nullptr, nullptr),
              kMatrixWriteCompaniesFailed);
    EXPECT_EQ(ReadBytes(Path("Market.kbx")), previous);
    EXPECT_FALSE(std::filesystem::exists(Path("Market.kbx.tmp")));

    // A temporary path that cannot be created fails before anything is written.
    company->name.reset();
    std::filesystem::create_directory(Path("Market.kbx.tmp"));
    EXPECT_EQ(GenerateMatrix(matrix, Path("Market.kbx"), nullptr, nullptr), kMatrixCannotOpen);
    EXPECT_EQ(ReadBytes(Path("Market.kbx")), previous);
}

// --- What the format makes impossible ---

TEST_F(MatrixFileTest, ImpossibleCalendarsDatesAndPriceBlocksAreRefused) {
    const Bytes good = Generated(BulkMarket(800));
    const Layout l = LayoutOf(good);
    const std::size_t day4 = 28 + 4 * 2;
    const std::size_t firstSecurity = l.historiesEnd;
    struct Case {
        const char* what;
        std::size_t offset, width;
        std::uint64_t value;
        MatrixResult expected;
    };
    const Case cases[] = {
        // A repeated day used to be dropped, shifting every later candle by a day.
        {"repeated calendar day", day4, 2, Get(good, day4 - 2, 2), kMatrixCalendarFailed},
        {"calendar going back", day4, 2, Get(good, day4 - 4, 2), kMatrixCalendarFailed},
        {"month 13", day4, 2, MakePackedDate(2007, 13, 1), kMatrixCalendarFailed},
        {"30 February", day4, 2, MakePackedDate(2007, 2, 30), kMatrixCalendarFailed},
        {"first date a Saturday", firstSecurity + 5, 2, MakePackedDate(2007, 1, 6),
         kMatrixSecurityFailed},
        {"last date beyond the calendar", firstSecurity + 7, 2, MakePackedDate(2008, 1, 7),
         kMatrixSecurityFailed},
        {"no price blocks", 26, 2, 0, kMatrixSecurityFailed},
        {"a block counting one security less", l.securitiesEnd + 5, 4, 749, kMatrixSecurityFailed},
    };
    for (const Case& c : cases) {
        Bytes file = good;
        Put(file, c.offset, c.width, c.value);
        CMarketMatrix matrix;
        EXPECT_EQ(RestoreBytes(file, matrix), c.expected) << c.what;
    }

    // Bytes after the last block.
    Bytes trailing = good;
    trailing.push_back(0);
    CMarketMatrix matrix;
    EXPECT_EQ(RestoreBytes(trailing, matrix), kMatrixSecurityFailed);

    // A header announcing no price blocks over a file that ends with the securities: every
    // price used to restore as zero.
    Bytes headless(good.begin(), good.begin() + static_cast<long>(l.securitiesEnd));
    Put(headless, 26, 2, 0);
    EXPECT_EQ(RestoreBytes(headless, matrix), kMatrixSecurityFailed);

    // A block that is consistent in itself but leaves out the last security (one without
    // data, so that no byte is missing).
    CMarketBuilder two;
    two.Calendar(test::Weekdays(kFirstDay, 10));
    two.Security(1000, 1, kFirstDay, Rows(3, 100, 10));
    two.Security(1001, 1, kFirstDay, {});
    Bytes shortBlock = Generated(two);
    const Layout r = LayoutOf(shortBlock);
    ASSERT_EQ(Get(shortBlock, r.securitiesEnd + 5, 4), 2u);
    Put(shortBlock, r.securitiesEnd + 5, 4, 1);
    EXPECT_EQ(RestoreBytes(shortBlock, matrix), kMatrixSecurityFailed);
}

// --- The checksum beside the file ---

TEST_F(MatrixFileTest, EveryGenerationWritesAChecksumThatRestoreVerifies) {
    const Bytes good = Generated(RichMarket());
    const std::filesystem::path file = Path("Market.kbx");
    const std::filesystem::path sidecar = Path("Market.kbx.xxh");
    ASSERT_TRUE(std::filesystem::exists(sidecar));
    const Bytes text = ReadBytes(sidecar);
    const std::string line(text.begin(), text.end());
    EXPECT_EQ(line.rfind("XXH3 ", 0), 0u) << line;
    EXPECT_EQ(line.substr(22), std::to_string(good.size()) + "\n") << line;
    EXPECT_FALSE(std::filesystem::exists(Path("Market.kbx.xxh.tmp")));
    CMarketMatrix matrix;
    EXPECT_EQ(RestoreMatrix(matrix, file, nullptr, nullptr), kMatrixOk);

    // One flipped bit in a price passes every structural check; the checksum catches it.
    const Layout l = LayoutOf(good);
    Bytes flipped = good;
    flipped[l.securitiesEnd + 9 + 3] ^= 0x10;
    WriteBytes(file, flipped);
    test::CRecordingSink sink;
    EXPECT_EQ(RestoreMatrix(matrix, file, nullptr, &sink), kMatrixChecksumMismatch);
    EXPECT_EQ(sink.Values(kProgressFailure), std::vector<std::intptr_t>{ResultCode(kMatrixChecksumMismatch)});
    // Without the sidecar the same bytes restore: the file format itself is unchanged.
    std::filesystem::rename(sidecar, Path("saved.xxh"));
    EXPECT_EQ(RestoreMatrix(matrix, file, nullptr, nullptr), kMatrixOk);
    std::filesystem::rename(Path("saved.xxh"), sidecar);

    // A bit flipped in the header fails a section first, and is still reported as damage.
    Bytes header = good;
    header[8] ^= 0x01;
    WriteBytes(file, header);
    EXPECT_EQ(RestoreMatrix(matrix, file, nullptr, nullptr), kMatrixChecksumMismatch);

    // A sidecar that is not one, and one of another length.
    WriteBytes(file, good);
    EXPECT_EQ(RestoreMatrix(matrix, file, nullptr, nullptr), kMatrixOk);
    for (const std::string& bad :
         {std::string("XXH3 zz\n"), std::string(500, 'X'), line.substr(0, 22) + "12\n"}) {
        WriteBytes(sidecar, Bytes(bad.begin(), bad.end()));
        EXPECT_EQ(RestoreMatrix(matrix, file, nullptr, nullptr), kMatrixChecksumMismatch) << bad;
    }

    // vornctl names the damaged file and fails.
    WriteBytes(sidecar, text);
    WriteBytes(file, flipped);
    const auto [status, output] =
        test::RunCommandLine(std::string(VORN_CTL_PATH) + " info '" + file.string() + "' 2>&1");
    EXPECT_NE(status, 0);
    EXPECT_NE(output.find(file.string() + ": damaged"), std::string::npos) << output;
    EXPECT_NE(output.find("restore: failed 27"), std::string::npos) << output;
}

// --- Readers, writers and interruptions ---

TEST_F(MatrixFileTest, ARestoreNeverAsksForWriteAccess) {
    Generated(RichMarket());
    const std::filesystem::path file = Path("Market.kbx");
    std::filesystem::permissions(
        dir_, std::filesystem::perms::owner_all | std::filesystem::perms::group_read |
                  std::filesystem::perms::group_exec | std::filesystem::perms::others_read |
                  std::filesystem::perms::others_exec);
    for (const auto& name : {"Market.kbx", "Market.kbx.xxh"})
        std::filesystem::permissions(Path(name), std::filesystem::perms::owner_read |
                                                     std::filesystem::perms::group_read |
                                                     std::filesystem::perms::others_read);
    // The superuser may write any file, so the reader runs as a user without that right.
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::getuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
            ::_exit(100);
        CMarketMatrix matrix;
        const MatrixResult restored = RestoreMatrix(matrix, file, nullptr, nullptr);
        if (restored != kMatrixOk)
            ::_exit(restored == kMatrixCannotOpen ? 101 : 102);
        // And through the command line.
        const int status = std::system(
            (std::string(VORN_CTL_PATH) + " info '" + file.string() + "' >/dev/null").c_str());
        ::_exit(status == 0 ? 0 : 103);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "101: cannot open, 102: failed, 103: vornctl failed";
}

TEST_F(MatrixFileTest, ASecondWriterWaitsThenFailsAndADeadOneBlocksNothing) {
    const Bytes previous = Generated(RichMarket());
    const std::filesystem::path file = Path("Market.kbx");
    // Another process holds the writer lock, then dies without releasing it.
    const pid_t holder = test::HoldWriterLockInChild(file);
    ASSERT_GT(holder, 0);

    CWriterLock lock;
    EXPECT_EQ(lock.Acquire(file, std::chrono::milliseconds(100)), WriterLockResult::InUse);
    EXPECT_EQ(DescribeWriterLock(WriterLockResult::InUse, file),
              file.string() + ": in use by another program (try again when it has finished)");
    CMarketMatrix matrix;
    BulkMarket(10).BuildInto(matrix);
    EXPECT_EQ(GenerateMatrix(matrix, file, nullptr, nullptr), kMatrixInUse);
    EXPECT_EQ(ReadBytes(file), previous);

    test::KillHolder(holder);
    EXPECT_EQ(GenerateMatrix(matrix, file, nullptr, nullptr), kMatrixOk);

    // Locks of one process nest, and a lock on a file not yet there holds its folder.
    ASSERT_EQ(lock.Acquire(file), WriterLockResult::Ok);
    EXPECT_EQ(GenerateMatrix(matrix, file, nullptr, nullptr), kMatrixOk);
    lock.Release();
    CWriterLock absent;
    EXPECT_EQ(absent.Acquire(Path("New.kbx")), WriterLockResult::Ok);
}

TEST_F(MatrixFileTest, WhatAnInterruptedWriterLeftIsRemovedByTheNextOne) {
    Generated(RichMarket());
    WriteBytes(Path("Market.kbx.tmp"), {1, 2, 3});
    WriteBytes(Path("Market.kbx.xxh.tmp"), {4});
    CMarketMatrix matrix;
    BulkMarket(10).BuildInto(matrix);
    CEvent cancel;
    cancel.Set();
    EXPECT_EQ(GenerateMatrix(matrix, Path("Market.kbx"), &cancel, nullptr), kMatrixCancelled);
    EXPECT_FALSE(std::filesystem::exists(Path("Market.kbx.tmp")));
    EXPECT_FALSE(std::filesystem::exists(Path("Market.kbx.xxh.tmp")));
}

// --- vornctl info ---

TEST_F(MatrixFileTest, InfoSummarisesAMatrixFile) {
    Generated(RichMarket());
    const auto [status, output] = test::RunCommandLine(std::string(VORN_CTL_PATH) + " info '" +
                                                       Path("Market.kbx").string() + "'");
    EXPECT_EQ(status, 0);
    // Securities ending on the last day: 1301/1, 1301/2 and 7203/1; the others end earlier or
    // hold nothing.
    EXPECT_EQ(output, "calendar: 2007/01/04 2007/03/28 60\n"
                      "companies: 16\n"
                      "securities: 16\n"
                      "current: 3\n"
                      "delisted: 13\n"
                      "restore: OK\n");

    Bytes file = ReadBytes(Path("Market.kbx"));
    Put(file, 0, 2, 0);
    WriteBytes(Path("Broken.kbx"), file);
    const auto [failedStatus, failedOutput] = test::RunCommandLine(
        std::string(VORN_CTL_PATH) + " info '" + Path("Broken.kbx").string() + "'");
    EXPECT_NE(failedStatus, 0);
    EXPECT_NE(failedOutput.find("restore: failed 22\n"), std::string::npos) << failedOutput;
}

} // namespace
} // namespace vorn
