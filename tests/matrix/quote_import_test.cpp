#include "matrix/quote_import.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <signal.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "foundation/text_encoding.h"
#include "foundation/writer_lock.h"
#include "matrix/csv_reader.h"
#include "matrix/matrix_file.h"
#include "matrix/stock_code.h"
#include "support/lock_holder.h"
#include "support/market_builder.h"
#include "support/test_files.h"

namespace vorn {
namespace {

using vorn::test::ReadWholeFile;

namespace fs = std::filesystem;

class CTempDir {
public:
    CTempDir() {
        std::string pattern = (fs::temp_directory_path() / "vorn-import-XXXXXX").string();
        path_ = mkdtemp(pattern.data()) ? fs::path(pattern) : fs::path();
    }
    ~CTempDir() {
        std::error_code error;
        fs::remove_all(path_, error);
    }
    const fs::path& Path() const { return path_; }
    fs::path operator/(const std::string& name) const { return path_ / name; }

private:
    fs::path path_;
};

void WriteFile(const fs::path& path, const std::string& bytes) {
    fs::create_directories(path.parent_path());
    vorn::test::WriteWholeFile(path, bytes);
}

// One extracted day, prices as stored (times the series' scale).
struct Day {
    PackedDate date;
    std::uint64_t open, high, low, close, volume;
    bool operator==(const Day&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Day& d) {
    return out << DateYear(d.date) << "/" << DateMonth(d.date) << "/" << DateDay(d.date) << " "
               << d.open << " " << d.high << " " << d.low << " " << d.close << " " << d.volume;
}

template <class Price>
void AppendDays(const SeriesView& view, int first, const CCalendar& days, std::vector<Day>& out) {
    const Candle<Price>* candles = view.Candles<Price>();
    for (std::uint16_t i = 0; i < view.count; ++i)
        out.push_back({days[static_cast<std::size_t>(first + i)], candles[i].open, candles[i].high,
                       candles[i].low, candles[i].close, view.volumes[i]});
}

std::vector<Day> DailySeries(const CMarketMatrix& m, std::uint16_t code, std::uint8_t market,
                             std::uint16_t* encoding = nullptr) {
    SeriesSet series;
    std::vector<Day> days;
    if (!m.GetSeriesByKey(series, MakeSecurityKey(code, market), kNoDate, kOpenEnd))
        return days;
    const int first = m.DayPosition(series.daily.firstDate);
    if (encoding)
        *encoding = series.priceEncoding;
    if (series.priceEncoding == kPricesU8)
        AppendDays<std::uint8_t>(series.daily, first, m.DailyCalendar(), days);
    else if (series.priceEncoding == kPricesU16)
        AppendDays<std::uint16_t>(series.daily, first, m.DailyCalendar(), days);
    else
        AppendDays<std::uint32_t>(series.daily, first, m.DailyCalendar(), days);
    return days;
}

constexpr PackedDate D(unsigned y, unsigned m, unsigned d) {
    return MakePackedDate(y, m, d);
}

const char* const kList = "code,market,name,industry,unit,margin,shares,shares_date,text\n"
                          "7203,1,トヨタ自動車,17,100,1,1000000,2024/01/04,トヨタ\n"
                          "7203,8,トヨタ自動車,17,100,0\n"
                          "1301,1,極洋,1,1000,0\n";

// The tests' usual quotes: 7203 on market 1 trades every day, on market 8 in hundredths and
// not on 2024/01/05, 1301 only on 2024/01/05.
struct Fixture {
    CTempDir dir;
    QuoteImportOptions options;
    Fixture() {
        WriteFile(dir / "list.csv", kList);
        WriteFile(dir / "q/7203.csv", "date,open,high,low,close,volume\n"
                                      "2024-01-04,2500,2550,2490,2540,1000\n"
                                      "2024-01-05,2540,2600,2530,2590,1200\n"
                                      "2024-01-09,2590,2600,2500,2510,900\n");
        WriteFile(dir / "q/7203_8.csv", "date,open,high,low,close,volume\n"
                                        "2024-01-04,2501.5,2551,2491,2541.25,10\n"
                                        "2024-01-09,2590,2600,2500,2510,9\n");
        WriteFile(dir / "q/1301.csv", "date,open,high,low,close,volume\n"
                                      "2024-01-05,100,101,99,100,5\n");
        options.securitiesList = dir / "list.csv";
        options.quotes = {dir / "q"};
    }
};

TEST(QuoteImportRoundTrip, FileHoldsTheRowsWithDaysWithoutTradingFilled) {
    Fixture f;
    QuoteImportReport report;
    const fs::path out = f.dir / "Market.kbx";
    ASSERT_EQ(ImportQuotesToFile(f.options, out, report), kImportOk) << report.error;
    EXPECT_EQ(report.rows, 6u);
    EXPECT_EQ(report.securities, 3u);
    CMarketMatrix m;
    ASSERT_EQ(RestoreMatrix(m, out, nullptr, nullptr), kMatrixOk);

    ASSERT_EQ(m.DailyCalendar().Count(), 3);
    EXPECT_EQ(m.DailyCalendar()[0], D(2024, 1, 4));
    EXPECT_EQ(*m.DailyCalendar().Last(), D(2024, 1, 9));

    std::uint16_t encoding = 99;
    EXPECT_EQ(DailySeries(m, 7203, 1, &encoding),
              (std::vector<Day>{{D(2024, 1, 4), 2500, 2550, 2490, 2540, 1000},
                                {D(2024, 1, 5), 2540, 2600, 2530, 2590, 1200},
                                {D(2024, 1, 9), 2590, 2600, 2500, 2510, 900}}));
    EXPECT_EQ(encoding, kPricesU16);
    // Hundredths; 2024/01/05 repeats the previous close with no volume.
    EXPECT_EQ(DailySeries(m, 7203, 8, &encoding),
              (std::vector<Day>{{D(2024, 1, 4), 250150, 255100, 249100, 254125, 10},
                                {D(2024, 1, 5), 254125, 254125, 254125, 254125, 0},
                                {D(2024, 1, 9), 259000, 260000, 250000, 251000, 9}}));
    EXPECT_EQ(encoding, kPricesU32);
    EXPECT_EQ(DailySeries(m, 1301, 1, &encoding),
              (std::vector<Day>{{D(2024, 1, 5), 100, 101, 99, 100, 5}}));
    EXPECT_EQ(encoding, kPricesU8);

    const SecurityRecord* whole = m.FindSecurity(MakeSecurityKey(7203, 1));
    const SecurityRecord* decimal = m.FindSecurity(MakeSecurityKey(7203, 8));
    ASSERT_TRUE(whole && decimal);
    EXPECT_EQ(whole->listingFlags, kListingMarginTradable);
    EXPECT_EQ(decimal->listingFlags, kListingHundredths);
    EXPECT_EQ(whole->TradingUnit(), 100u);
    EXPECT_EQ(m.FindSecurity(MakeSecurityKey(1301, 1))->TradingUnit(), 1000u);
    EXPECT_EQ(whole->volumes.elementType, kValueU16);
    EXPECT_EQ(decimal->volumes.elementType, kValueU8);

    const CompanyRecord* toyota = m.FindCompany(7203);
    ASSERT_NE(toyota, nullptr);
    EXPECT_EQ(toyota->markets, (1u << 0) | (1u << 7));
    EXPECT_EQ(toyota->industry, 17);
    EXPECT_EQ(toyota->name, Utf8ToCp932("トヨタ自動車"));
    EXPECT_EQ(toyota->text, Utf8ToCp932("トヨタ"));
    EXPECT_EQ(toyota->HistoryValueAt(D(2024, 1, 9)), 1000000u);
    EXPECT_FALSE(m.FindCompany(1301)->text.has_value());
}

TEST(QuoteImportRoundTrip, AdjustmentsAndPriceRounding) {
    Fixture f;
    // 2024/01/06 is a Saturday: the split takes effect on the next trading day.
    WriteFile(f.dir / "adj.csv", "code,market,date,ratio,kind\n"
                                 "7203,1,2024/01/06,2,株式分割\n"
                                 "7203,8,2024-01-09,1.5,0\n");
    f.options.adjustmentsList = f.dir / "adj.csv";
    CMarketMatrix m;
    QuoteImportReport report;
    ASSERT_EQ(ImportQuotes(f.options, m, report), kImportOk) << report.error;
    const SecurityRecord* s = m.FindSecurity(MakeSecurityKey(7203, 1));
    ASSERT_TRUE(s && s->adjustments);
    ASSERT_EQ(s->adjustments->entries.size(), 1u);
    EXPECT_EQ(s->adjustments->entries[0].date, D(2024, 1, 9));
    EXPECT_EQ(s->adjustments->entries[0].kind, 2);
    EXPECT_EQ(s->adjustments->entries[0].ratio, 2.0);
    // Before the split, closes are halved on extraction.
    EXPECT_EQ(DailySeries(m, 7203, 1)[1].close, 1295u);
    EXPECT_EQ(DailySeries(m, 7203, 1)[2].close, 2510u);

    WriteFile(f.dir / "q/1301.csv", "date,open,high,low,close,volume\n"
                                    "2024-01-05,1455.219971,1460,1450.004,1455.215,5\n");
    f.options.adjustmentsList.clear();
    ASSERT_EQ(ImportQuotes(f.options, m, report), kImportBadRow);
    EXPECT_NE(report.error.find("1301.csv:2: open '1455.219971' has more than two decimal"),
              std::string::npos)
        << report.error;
    EXPECT_TRUE(m.Securities().empty());
    f.options.roundPrices = true;
    ASSERT_EQ(ImportQuotes(f.options, m, report), kImportOk) << report.error;
    EXPECT_EQ(DailySeries(m, 1301, 1),
              (std::vector<Day>{{D(2024, 1, 5), 145522, 146000, 145000, 145522, 5}}));
}

TEST(QuoteImportRoundTrip, ImpossibleRatiosAndDatesAreRefusedWithFileAndLine) {
    Fixture f;
    f.options.adjustmentsList = f.dir / "adj.csv";
    CMarketMatrix m;
    QuoteImportReport report;
    for (const char* ratio : {"1000.5", "0.0009", "0", "-2", "inf", "nan", "1e309"}) {
        WriteFile(f.dir / "adj.csv",
                  std::string("7203,1,2024/01/06,2,0\n7203,8,2024/01/09,") + ratio + ",0\n");
        EXPECT_EQ(ImportQuotes(f.options, m, report), kImportBadRow) << ratio;
        EXPECT_NE(report.error.find("adj.csv:2: ratio '"), std::string::npos) << report.error;
    }
    for (const char* ratio : {"1000", "0.001"}) {
        WriteFile(f.dir / "adj.csv", std::string("7203,1,2024/01/06,") + ratio + ",0\n");
        EXPECT_EQ(ImportQuotes(f.options, m, report), kImportOk) << ratio << report.error;
    }
    WriteFile(f.dir / "adj.csv", "7203,1,2018-02-30,2,0\n");
    EXPECT_EQ(ImportQuotes(f.options, m, report), kImportBadRow);
    EXPECT_NE(report.error.find("adj.csv:1: date '2018-02-30' is not a date"), std::string::npos)
        << report.error;

    f.options.adjustmentsList.clear();
    WriteFile(f.dir / "q/1301.csv", "date,open,high,low,close,volume\n"
                                    "2024-01-05,100,101,99,100,5\n"
                                    "2023-02-29,100,101,99,100,5\n");
    EXPECT_EQ(ImportQuotes(f.options, m, report), kImportBadRow);
    EXPECT_NE(report.error.find("1301.csv:3: date '2023-02-29' is not a date"), std::string::npos)
        << report.error;
}

// ---------------------------------------------------------------------------------------

struct Form {
    const char* name;
    std::string header;
    std::vector<std::string> rows; // in header order
    bool cp932 = false;
    bool bom = false;
    bool crlf = false;
};

std::string Encode(const Form& form) {
    std::string text = form.header + (form.crlf ? "\r\n" : "\n");
    for (const auto& row : form.rows)
        text += row + (form.crlf ? "\r\n" : "\n");
    if (form.cp932)
        text = Utf8ToCp932(text);
    return (form.bom ? "\xEF\xBB\xBF" : "") + text;
}

TEST(QuoteImportForms, EveryHeaderDateSeparatorAndEncodingGivesTheSameSeries) {
    const std::vector<Form> forms = {
        {"english, dashes, comma, UTF-8",
         "date,open,high,low,close,volume",
         {"2024-01-04,300,310,290,305,7000", "", "2024-01-05,305.5,306,301,302,100", ",,,,,"}},
        {"capitalised with an extra column, slashes, BOM",
         "Date,Open,High,Low,Close,Adj Close,Volume",
         {"2024/1/4,300,310,290,305,1.0,7000", "2024/01/05,305.50,306,301,302,1.0,100"},
         false,
         true},
        {"japanese, compact dates, tab, UTF-8",
         "日付\t始値\t高値\t安値\t終値\t出来高",
         {"20240104\t300\t310\t290\t305\t7000", "20240105\t305.5\t306\t301\t302\t100"}},
        {"japanese, cp932, CRLF",
         "日付,始値,高値,安値,終値,出来高",
         {"2024/01/04,300,310,290,305,7000", "2024/01/05,305.5,306,301,302,100"},
         true,
         false,
         true},
        {"japanese, cp932, tab",
         "日付\t始値\t高値\t安値\t終値\t出来高",
         {"2024-01-04\t300\t310\t290\t305\t7000", "2024-01-05\t305.5\t306\t301\t302\t100.0"},
         true},
        {"any order, quoted, padded",
         "\"volume\", \"close\",low,high,open,date",
         {"\"7000\",305,290,310,300,\"2024-01-04\"", "100, 302 ,301,306,305.5,2024-01-05"}},
    };
    const std::vector<Day> expected = {{D(2024, 1, 4), 30000, 31000, 29000, 30500, 7000},
                                       {D(2024, 1, 5), 30550, 30600, 30100, 30200, 100}};
    for (const Form& form : forms) {
        SCOPED_TRACE(form.name);
        CTempDir dir;
        WriteFile(dir / "list.csv", form.cp932 ? Utf8ToCp932(kList) : kList);
        WriteFile(dir / "1301.csv", Encode(form));
        QuoteImportOptions options;
        options.securitiesList = dir / "list.csv";
        options.quotes = {dir / "1301.csv"};
        CMarketMatrix m;
        QuoteImportReport report;
        ASSERT_EQ(ImportQuotes(options, m, report), kImportOk) << report.error;
        EXPECT_EQ(DailySeries(m, 1301, 1), expected);
        EXPECT_EQ(m.FindCompany(1301)->name, Utf8ToCp932("極洋"));
    }
}

TEST(QuoteImportForms, CsvFieldsQuotedEscapedTrailingAndUnclosed) {
    const std::string text = "a, \"b \"\"c\"\"\" ,d,\r\n\n \t\n\"x\"y,\"z\n";
    CCsvReader reader(text, ',');
    std::vector<std::string_view> fields;
    ASSERT_TRUE(reader.Next(fields));
    EXPECT_EQ(fields, (std::vector<std::string_view>{"a", "b \"c\"", "d", ""}));
    EXPECT_FALSE(reader.Malformed());
    ASSERT_TRUE(reader.Next(fields)); // a tab is not blank for a comma reader
    EXPECT_EQ(reader.Line(), 3u);
    ASSERT_TRUE(reader.Next(fields));
    EXPECT_EQ(reader.Line(), 4u);
    EXPECT_TRUE(reader.Malformed());
    EXPECT_FALSE(reader.Next(fields));
    EXPECT_EQ(DetectSeparator("\"a\tb\",c"), ',');
    EXPECT_EQ(DetectSeparator("a\tb,c"), '\t');
}

TEST(QuoteImportForms, UndecodableFilesAreRefusedWithTheirLine) {
    const std::vector<std::pair<std::string, std::string>> files = {
        {"date,open,high,low,close,volume\n2024-01-04,1,1,1,1,1\n\xFF\xFE,\n", ":3:"},
        {"\xFF\xFE"
         "d\0a\0",
         ":1:"},
        {std::string("date,open,high,low,close,volume\n2024\0-01-04", 40), ":2:"},
    };
    for (const auto& [bytes, line] : files) {
        CTempDir dir;
        WriteFile(dir / "list.csv", kList);
        WriteFile(dir / "1301.csv", bytes);
        QuoteImportOptions options;
        options.securitiesList = dir / "list.csv";
        options.quotes = {dir / "1301.csv"};
        CMarketMatrix m;
        QuoteImportReport report;
        EXPECT_EQ(ImportQuotes(options, m, report), kImportUndecodable);
        EXPECT_NE(report.error.find("1301.csv" + line), std::string::npos) << report.error;
        options.skipBadRows = true;
        EXPECT_EQ(ImportQuotes(options, m, report), kImportNoQuotes) << report.error;
        EXPECT_EQ(report.skippedFiles, 1u);
    }
}

// ---------------------------------------------------------------------------------------

TEST(QuoteImportBadRows, EachKindStopsTheImportOrIsSkippedAndCounted) {
    const std::vector<std::pair<std::string, std::string>> badRows = {
        {"2024-01-05,100,101,99", "close is missing"},
        {"2024-01-05,100,,99,100,5", "high is missing"},
        {"2024-01-05,-100,101,99,100,5", "open '-100' is negative"},
        {"2024-01-05,100,101,99,100,-5", "volume '-5' is negative"},
        {"2024-01-05,1OO,101,99,100,5", "open '1OO' is not a number"},
        {"2024-01-05,100,101,99,100,5.5", "volume '5.5' is not a whole number"},
        {"2024-01-05,0,0,0,0,5", "open '0' is not above zero"},
        {"2024-01-05,100,98,99,99,5", "high '98' is below low '99'"},
        {"2024-01-05,102,101,99,100,5", "open '102' is outside"},
        {"2024-01-05,100,101,99,98,5", "close '98' is outside"},
        {"2024-01-04,100,101,99,100,5", "date 2024/01/04 repeats line 2"},
        {"2024-01-03,100,101,99,100,5", "date 2024/01/03 is out of order after line 2"},
        {"2024-02-30,100,101,99,100,5", "date '2024-02-30' is not a date"},
        {"2024-01-05,100.123,101,99,100,5", "open '100.123' has more than two decimal places"},
        {"2024-01-05,\"100,101,99,100,5", "a quote is not closed"},
    };
    for (const auto& [row, reason] : badRows) {
        SCOPED_TRACE(row);
        CTempDir dir;
        WriteFile(dir / "list.csv", kList);
        WriteFile(dir / "1301.csv", "date,open,high,low,close,volume\n"
                                    "2024-01-04,100,101,99,100,5\n" +
                                        row + "\n2024-01-09,100,102,99,101,6\n");
        const fs::path out = dir / "Market.kbx";
        WriteFile(out, "what was there before");
        QuoteImportOptions options;
        options.securitiesList = dir / "list.csv";
        options.quotes = {dir / "1301.csv"};
        QuoteImportReport report;
        EXPECT_EQ(ImportQuotesToFile(options, out, report), kImportBadRow);
        EXPECT_NE(report.error.find("1301.csv:3: " + reason), std::string::npos) << report.error;
        EXPECT_EQ(ReadWholeFile(out), "what was there before");

        options.skipBadRows = true;
        ASSERT_EQ(ImportQuotesToFile(options, out, report), kImportOk) << report.error;
        EXPECT_EQ(report.skippedRows, 1u);
        ASSERT_EQ(report.skipped.size(), 1u);
        EXPECT_NE(report.skipped[0].find(reason), std::string::npos);
        CMarketMatrix m;
        ASSERT_EQ(RestoreMatrix(m, out, nullptr, nullptr), kMatrixOk);
        EXPECT_EQ(DailySeries(m, 1301, 1),
                  (std::vector<Day>{{D(2024, 1, 4), 100, 101, 99, 100, 5},
                                    {D(2024, 1, 9), 100, 102, 99, 101, 6}}));
    }
}

TEST(QuoteImportBadRows, UnknownSecuritiesAndBadListRows) {
    Fixture f;
    WriteFile(f.dir / "q/9999.csv", "date,open,high,low,close,volume\n");
    CMarketMatrix m;
    QuoteImportReport report;
    EXPECT_EQ(ImportQuotes(f.options, m, report), kImportUnknownSecurity);
    EXPECT_NE(report.error.find("9999.csv: security 9999_1 is not in the securities list"),
              std::string::npos)
        << report.error;
    f.options.skipBadRows = true;
    EXPECT_EQ(ImportQuotes(f.options, m, report), kImportOk) << report.error;
    EXPECT_EQ(report.skippedFiles, 1u);
    fs::remove(f.dir / "q/9999.csv");

    WriteFile(f.dir / "q/7203_3.csv", "date,open,high,low,close\n2024-01-04,1,1,1,1\n");
    f.options.skipBadRows = false;
    EXPECT_EQ(ImportQuotes(f.options, m, report), kImportUnknownSecurity);
    fs::remove(f.dir / "q/7203_3.csv");

    WriteFile(f.dir / "list.csv", std::string(kList) + "7203,16,x,17,100,0\n1332,1,y,1,100,2\n" +
                                      "7203,1,z,17,100,0\n");
    EXPECT_EQ(ImportQuotes(f.options, m, report), kImportBadRow);
    EXPECT_NE(report.error.find("list.csv:5: market '16' is not a market code"), std::string::npos)
        << report.error;
    f.options.skipBadRows = true;
    ASSERT_EQ(ImportQuotes(f.options, m, report), kImportOk) << report.error;
    EXPECT_EQ(report.skippedRows, 3u);
    EXPECT_NE(report.skipped[1].find("list.csv:6: margin-tradable '2'"), std::string::npos);
    EXPECT_NE(report.skipped[2].find("list.csv:7: security 7203_1 is listed twice (line 2)"),
              std::string::npos);

    // A header without volume is not a quotes header.
    f.options.skipBadRows = false;
    WriteFile(f.dir / "list.csv", kList);
    WriteFile(f.dir / "q/1301.csv", "date,open,high,low,close\n2024-01-05,1,1,1,1\n");
    EXPECT_EQ(ImportQuotes(f.options, m, report), kImportBadHeader);
    EXPECT_NE(report.error.find("1301.csv:1: the first line is not a header naming volume"),
              std::string::npos)
        << report.error;
}

// A present-day data set: codes with letters, in either case, and the five-character codes
// data services deliver (common stock suffix 0); other share classes are refused by line.
TEST(QuoteImportCodes, LetterCodesAndDeliveredCodesAreTaken) {
    CTempDir dir;
    WriteFile(dir / "list.csv", "code,market,name,industry,unit,margin\n"
                                "72030,1,トヨタ自動車,17,100,1\n"
                                "130A0,3,ベリフォ,33,100,0\n"
                                "135a,2,ヴレイン,25,100,0\n"
                                "1A000,1,ワンエー,17,100,0\n");
    const std::string header = "date,open,high,low,close,volume\n";
    WriteFile(dir / "q/72030.csv", header + "2024-01-04,2500,2550,2490,2540,1000\n");
    WriteFile(dir / "q/130A0_3.csv", header + "2024-01-04,800,820,790,810,50\n"
                                              "2024-01-05,810,830,800,820,60\n");
    WriteFile(dir / "q/135a_2.csv", header + "2024-01-05,400,410,390,405,7\n");
    WriteFile(dir / "q/1A00.csv", header + "2024-01-05,300,310,290,305,9\n");
    WriteFile(dir / "adjust.csv", "130A,3,2024/01/05,2,2\n");
    QuoteImportOptions options;
    options.securitiesList = dir / "list.csv";
    options.adjustmentsList = dir / "adjust.csv";
    options.quotes = {dir / "q"};
    CMarketMatrix m;
    QuoteImportReport report;
    ASSERT_EQ(ImportQuotes(options, m, report), kImportOk) << report.error;
    const std::uint16_t verify = *ParseStockCode("130A");
    const std::uint16_t vrain = *ParseStockCode("135A");
    ASSERT_NE(m.FindCompany(7203), nullptr);
    ASSERT_NE(m.FindCompany(verify), nullptr);
    EXPECT_EQ(m.FindCompany(vrain)->industry, 25);
    EXPECT_EQ(DailySeries(m, verify, 3).size(), 2u);
    EXPECT_EQ(DailySeries(m, vrain, 2).back(), (Day{D(2024, 1, 5), 400, 410, 390, 405, 7}));
    // A stored code past 16,383 is held like any other.
    const std::uint16_t wide = *ParseStockCode("1A00");
    EXPECT_EQ(DailySeries(m, wide, 1).back(), (Day{D(2024, 1, 5), 300, 310, 290, 305, 9}));
    const SecurityRecord* lettered = m.FindSecurity(MakeSecurityKey(verify, 3));
    ASSERT_NE(lettered, nullptr);
    ASSERT_TRUE(lettered->adjustments);
    EXPECT_EQ(lettered->adjustments->entries.size(), 1u);

    // The same code written two ways is one security.
    WriteFile(dir / "q/130A_3.csv", header + "2024-01-09,1,1,1,1,1\n");
    EXPECT_EQ(ImportQuotes(options, m, report), kImportUnknownSecurity);
    EXPECT_NE(report.error.find("security 130A_3 already has quotes"), std::string::npos)
        << report.error;
    fs::remove(dir / "q/130A_3.csv");

    // Preferred shares (suffix 5) and codes the field cannot hold stop the import at their
    // line.
    WriteFile(dir / "list.csv", "72030,1,トヨタ自動車,17,100,1\n"
                                "25935,1,伊藤園 優先株,4,100,0\n"
                                "9A7A,1,x,4,100,0\n");
    options.adjustmentsList.clear();
    options.quotes = {dir / "q/72030.csv"};
    EXPECT_EQ(ImportQuotes(options, m, report), kImportBadRow);
    EXPECT_NE(report.error.find("list.csv:2: stock code '25935' is not a common stock"),
              std::string::npos)
        << report.error;
    options.skipBadRows = true;
    ASSERT_EQ(ImportQuotes(options, m, report), kImportOk) << report.error;
    ASSERT_EQ(report.skipped.size(), 2u);
    EXPECT_NE(report.skipped[1].find("list.csv:3: stock code '9A7A' cannot be held"),
              std::string::npos)
        << report.skipped[1];
    EXPECT_EQ(m.Companies().size(), 1u);
}

// ---------------------------------------------------------------------------------------
// Appending: the first part of the quotes imported, then the whole files appended, must give
// what importing the whole files at once gives.

struct Market {
    std::vector<PackedDate> days;
    std::map<std::string, std::vector<std::string>> rows; // file name -> rows
};

std::string IsoDate(PackedDate day) {
    char text[16];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u", DateYear(day), DateMonth(day), DateDay(day));
    return text;
}

std::string QuoteRow(PackedDate day, double open, double high, double low, double close,
                     std::uint64_t volume, bool decimals) {
    char text[160];
    std::snprintf(text, sizeof text,
                  decimals ? ",%.2f,%.2f,%.2f,%.2f,%llu" : ",%.0f,%.0f,%.0f,%.0f,%llu", open, high,
                  low, close, static_cast<unsigned long long>(volume));
    return IsoDate(day) + text;
}

// Thirty weekdays; securities that widen, gain decimals, pause, start late and stop early.
Market MakeMarket() {
    Market market;
    market.days = test::Weekdays(D(2024, 1, 4), 30);
    std::mt19937 random(7);
    const auto add = [&](const std::string& file, int from, int to, double base, double grow,
                         bool decimalsFrom, int decimalDay, int skipFrom = -1, int skipTo = -1) {
        for (int i = from; i < to; ++i) {
            if (i >= skipFrom && i < skipTo)
                continue;
            const double low = base + grow * i;
            const bool decimals = decimalsFrom && i >= decimalDay;
            const double frac = decimals ? 0.25 : 0;
            market.rows[file].push_back(QuoteRow(market.days[static_cast<std::size_t>(i)],
                                                 low + 1 + frac, low + 3, low, low + 2 + frac,
                                                 random() % 5000, decimals));
        }
    };
    add("1001.csv", 0, 30, 150, 4, false, 0);         // widens from u8 to u16 after the split
    add("1002.csv", 0, 30, 1000, 1, true, 20);        // decimals only after the split
    add("1003.csv", 0, 30, 50, 0, false, 0, 10, 22);  // pauses across the split
    add("1004.csv", 22, 30, 70000, 10, false, 0);     // new after the split
    add("1005_2.csv", 3, 30, 500, 0, true, 0, 8, 12); // listed only for the append
    add("1006.csv", 0, 12, 300, 0, false, 0);         // stops before the split
    add("1001_8.csv", 0, 18, 200, 1, false, 0, 5, 6); // stops just before the split
    return market;
}

const char* const kAppendList = "1001,1,A,5,100,1\n1001,8,A,5,100,0\n1002,1,B,6,100,0\n"
                                "1003,1,C,7,100,0\n1004,1,D,8,100,0\n1006,1,F,9,100,0\n";
const char* const kAppendAdjustments = "1001,1,2024/01/10,2,2\n1002,1,2024/02/06,1.5,2\n";

void WriteMarket(const Market& market, const fs::path& dir, std::size_t lastDay) {
    for (const auto& [file, rows] : market.rows) {
        std::string text = "date,open,high,low,close,volume\n";
        for (const auto& row : rows)
            if (row.compare(0, 10, IsoDate(market.days[lastDay])) <= 0)
                text += row + "\n";
        WriteFile(dir / file, text);
    }
}

TEST(QuoteImportAppend, FirstPartThenTheRestEqualsEverythingAtOnce) {
    const Market market = MakeMarket();
    CTempDir dir;
    WriteFile(dir / "first.csv", kAppendList);
    WriteFile(dir / "all.csv", std::string(kAppendList) + "1005,2,E,1,1,0\n");
    WriteFile(dir / "adj.csv", kAppendAdjustments);
    WriteMarket(market, dir / "part", 17);
    WriteMarket(market, dir / "whole", 29);
    fs::remove(dir / "part/1005_2.csv"); // not listed yet

    QuoteImportOptions options;
    options.securitiesList = dir / "first.csv";
    options.adjustmentsList = dir / "adj.csv";
    options.quotes = {dir / "part"};
    const fs::path file = dir / "Market.kbx";
    QuoteImportReport report;
    ASSERT_EQ(ImportQuotesToFile(options, file, report), kImportOk) << report.error;

    options.securitiesList = dir / "all.csv";
    options.quotes = {dir / "whole"};
    ASSERT_EQ(AppendQuotesToFile(options, file, report), kImportOk) << report.error;
    EXPECT_EQ(report.days, 12);
    EXPECT_EQ(report.newSecurities, 2u);   // 1004 and 1005_2
    EXPECT_EQ(report.staleSecurities, 1u); // 1003 paused over the old end
    EXPECT_EQ(report.securities, 3u);      // 1001, 1002, 1003

    CMarketMatrix appended;
    ASSERT_EQ(RestoreMatrix(appended, file, nullptr, nullptr), kMatrixOk);
    CMarketMatrix whole;
    ASSERT_EQ(ImportQuotes(options, whole, report), kImportOk) << report.error;

    ASSERT_EQ(appended.DailyCalendar().Count(), whole.DailyCalendar().Count());
    for (std::uint16_t i = 0; i < whole.DailyCalendar().Count(); ++i)
        EXPECT_EQ(appended.DailyCalendar()[i], whole.DailyCalendar()[i]);
    ASSERT_EQ(appended.Securities().size(), whole.Securities().size());
    for (const auto& [key, security] : whole.Securities()) {
        SCOPED_TRACE(key >> 14);
        const SecurityRecord* other = appended.FindSecurity(key);
        ASSERT_NE(other, nullptr);
        std::uint16_t encoding = 0, otherEncoding = 0;
        EXPECT_EQ(DailySeries(appended, CodeOfKey(key), MarketOfKey(key), &otherEncoding),
                  DailySeries(whole, CodeOfKey(key), MarketOfKey(key), &encoding));
        EXPECT_EQ(otherEncoding, encoding);
        EXPECT_EQ(other->listingFlags, security.listingFlags);
        EXPECT_EQ(other->firstDate, security.firstDate);
        EXPECT_EQ(other->lastDate, security.lastDate);
        EXPECT_EQ(other->company->markets, security.company->markets);
        EXPECT_EQ(HasAdjustments(other->adjustments), HasAdjustments(security.adjustments));
    }
}

TEST(QuoteImportAppend, NothingNewOrABadRowLeavesTheFileAsItWas) {
    Fixture f;
    const fs::path file = f.dir / "Market.kbx";
    QuoteImportReport report;
    ASSERT_EQ(ImportQuotesToFile(f.options, file, report), kImportOk) << report.error;
    const std::string before = ReadWholeFile(file);

    EXPECT_EQ(AppendQuotesToFile(f.options, file, report), kImportNothingNew);
    EXPECT_NE(report.error.find("no row is dated after 2024/01/09"), std::string::npos);
    EXPECT_EQ(ReadWholeFile(file), before);

    WriteFile(f.dir / "q/1301.csv", "date,open,high,low,close,volume\n"
                                    "2024-01-05,100,101,99,100,5\n"
                                    "2024-01-10,100,99,101,100,5\n");
    EXPECT_EQ(AppendQuotesToFile(f.options, file, report), kImportBadRow);
    EXPECT_NE(report.error.find("1301.csv:3: high '99' is below low '101'"), std::string::npos);
    EXPECT_EQ(ReadWholeFile(file), before);

    WriteFile(file, "not a matrix");
    EXPECT_EQ(AppendQuotesToFile(f.options, file, report), kImportRestoreFailed);
    EXPECT_EQ(ReadWholeFile(file), "not a matrix");
}

// Every security's series, flags and dates are those of one import of everything.
void ExpectSameAsWholeImport(const CMarketMatrix& appended, const QuoteImportOptions& options) {
    CMarketMatrix whole;
    QuoteImportReport report;
    ASSERT_EQ(ImportQuotes(options, whole, report), kImportOk) << report.error;
    ASSERT_EQ(appended.DailyCalendar().Count(), whole.DailyCalendar().Count());
    ASSERT_EQ(appended.Securities().size(), whole.Securities().size());
    for (const auto& [key, security] : whole.Securities()) {
        SCOPED_TRACE(CodeOfKey(key));
        const SecurityRecord* other = appended.FindSecurity(key);
        ASSERT_NE(other, nullptr);
        EXPECT_EQ(DailySeries(appended, CodeOfKey(key), MarketOfKey(key)),
                  DailySeries(whole, CodeOfKey(key), MarketOfKey(key)));
        EXPECT_EQ(other->listingFlags, security.listingFlags);
        EXPECT_EQ(other->firstDate, security.firstDate);
        EXPECT_EQ(other->lastDate, security.lastDate);
    }
}

TEST(QuoteImportAppend, ASecurityWithoutRowsInOneAppendTakesThemInTheNext) {
    const Market market = MakeMarket();
    CTempDir dir;
    WriteFile(dir / "all.csv", std::string(kAppendList) + "1005,2,E,1,1,0\n");
    WriteMarket(market, dir / "p1", 9);
    WriteMarket(market, dir / "p2", 19);
    WriteMarket(market, dir / "p3", 29);
    // 1001 and 1002 (which gains decimals in between) have no new rows in the second part.
    for (const char* name : {"1001.csv", "1002.csv"})
        fs::copy_file(dir / "p1" / name, dir / "p2" / name, fs::copy_options::overwrite_existing);

    QuoteImportOptions options;
    options.securitiesList = dir / "all.csv";
    options.adjustmentsList.clear();
    const fs::path file = dir / "Market.kbx";
    QuoteImportReport report;
    options.quotes = {dir / "p1"};
    ASSERT_EQ(ImportQuotesToFile(options, file, report), kImportOk) << report.error;
    options.quotes = {dir / "p2"};
    ASSERT_EQ(AppendQuotesToFile(options, file, report), kImportOk) << report.error;
    EXPECT_EQ(report.unquotedNames,
              (std::vector<std::string>{"1001_1", "1002_1", "1003_1", "1004_1"}));
    options.quotes = {dir / "p3"};
    ASSERT_EQ(AppendQuotesToFile(options, file, report), kImportOk) << report.error;
    EXPECT_EQ(report.ignoredRows, 0u) << "every row of the paused securities is placed";

    CMarketMatrix appended;
    ASSERT_EQ(RestoreMatrix(appended, file, nullptr, nullptr), kMatrixOk);
    ExpectSameAsWholeImport(appended, options);
}

TEST(QuoteImportAppend, OutputThatIsAnInputIsRefused) {
    Fixture f;
    WriteFile(f.dir / "adj.csv", "7203,1,2024/01/06,2,0\n");
    f.options.adjustmentsList = f.dir / "adj.csv";
    QuoteImportReport report;
    for (const fs::path& input : {f.dir / "list.csv", f.dir / "adj.csv", f.dir / "q/7203.csv",
                                  f.dir / "q/./1301.csv", f.dir / "q/9999.csv"}) {
        const bool existed = fs::exists(input);
        const std::string before = existed ? ReadWholeFile(input) : std::string();
        EXPECT_EQ(ImportQuotesToFile(f.options, input, report), kImportOutputIsInput) << input;
        EXPECT_NE(report.error.find("is also an input"), std::string::npos) << report.error;
        EXPECT_EQ(fs::exists(input), existed);
        if (existed) {
            EXPECT_EQ(ReadWholeFile(input), before);
        }
        EXPECT_EQ(AppendQuotesToFile(f.options, input, report), kImportOutputIsInput) << input;
    }
    // A quotes file named on its own is an input too.
    f.options.quotes = {f.dir / "q/7203.csv"};
    EXPECT_EQ(ImportQuotesToFile(f.options, f.dir / "q/7203.csv", report), kImportOutputIsInput);
    EXPECT_EQ(ImportQuotesToFile(f.options, f.dir / "q/7203.kbx", report), kImportOk)
        << report.error;
}

// ---------------------------------------------------------------------------------------

struct CommandRun {
    int status;
    std::string output;
};

CommandRun RunVornctl(const std::string& arguments) {
    const std::string command = std::string(VORN_CTL_PATH) + " " + arguments + " 2>&1";
    CommandRun run{-1, {}};
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr)
        return run;
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, pipe))
        run.output += buffer;
    const int status = pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

TEST(QuoteImportCommand, ImportsAppendsAndReportsBadRows) {
    Fixture f;
    const std::string file = (f.dir / "Market.kbx").string();
    const std::string inputs =
        " --securities " + f.options.securitiesList.string() + " " + (f.dir / "q").string();
    CommandRun run = RunVornctl("import --out " + file + inputs);
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("3 securities of 2 companies, 3 days from 2024/01/04 to "
                              "2024/01/09"),
              std::string::npos)
        << run.output;

    WriteFile(f.dir / "q/1301.csv", "date,open,high,low,close,volume\n"
                                    "2024-01-05,100,101,99,100,5\n"
                                    "2024-01-10,1455.219971,1460,1450,1455,5\n"
                                    "2024-01-11,100,abc,99,100,5\n"
                                    "2024-01-12,100,101,99,100,5\n");
    run = RunVornctl("import --append " + file + inputs);
    EXPECT_EQ(run.status, 1) << run.output;
    EXPECT_NE(run.output.find("1301.csv:3: open '1455.219971' has more than two decimal places"),
              std::string::npos)
        << run.output;
    EXPECT_NE(run.output.find("--round-prices"), std::string::npos);

    run = RunVornctl("import --round-prices --skip-bad-rows --append " + file + inputs);
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("1301.csv:4: high 'abc' is not a number"), std::string::npos)
        << run.output;
    EXPECT_NE(run.output.find("appended 2 days from 2024/01/10 to 2024/01/12"), std::string::npos)
        << run.output;
    CMarketMatrix m;
    ASSERT_EQ(RestoreMatrix(m, file, nullptr, nullptr), kMatrixOk);
    EXPECT_EQ(DailySeries(m, 1301, 1).back(), (Day{D(2024, 1, 12), 10000, 10100, 9900, 10000, 5}));

    run = RunVornctl("import --out " + file);
    EXPECT_EQ(run.status, 2) << run.output;
}

TEST(QuoteImportCommand, TwoAppendsAtOnceLoseNoRows) {
    const Market market = MakeMarket();
    CTempDir dir;
    const std::string list = (dir / "all.csv").string();
    WriteFile(dir / "all.csv", std::string(kAppendList) + "1005,2,E,1,1,0\n");
    WriteMarket(market, dir / "base", 9);
    WriteMarket(market, dir / "whole", 29);
    // Each append brings the later rows of different securities.
    fs::create_directories(dir / "a");
    fs::create_directories(dir / "b");
    for (const auto& entry : fs::directory_iterator(dir / "whole")) {
        const std::string name = entry.path().filename().string();
        const bool first = name < "1003";
        fs::copy_file(entry.path(), dir / (first ? "a" : "b") / name);
        fs::copy_file(dir / "base" / name, dir / (first ? "b" : "a") / name);
    }
    const std::string file = (dir / "Market.kbx").string();
    ASSERT_EQ(
        RunVornctl("import --out " + file + " --securities " + list + " " + (dir / "base").string())
            .status,
        0);

    const std::string append =
        std::string(VORN_CTL_PATH) + " import --append " + file + " --securities " + list + " ";
    const std::string both = "(" + append + (dir / "a").string() + " > " +
                             (dir / "a.out").string() + " 2>&1; echo $? >> " +
                             (dir / "a.out").string() + ") & (" + append + (dir / "b").string() +
                             " > " + (dir / "b.out").string() + " 2>&1; echo $? >> " +
                             (dir / "b.out").string() + ") & wait";
    ASSERT_EQ(std::system(both.c_str()), 0);
    // Both ran in turn: each append found the other's rows and kept them.
    const std::string a = ReadWholeFile(dir / "a.out");
    const std::string b = ReadWholeFile(dir / "b.out");
    EXPECT_EQ(a.substr(a.size() - 2), "0\n") << a;
    EXPECT_EQ(b.substr(b.size() - 2), "0\n") << b;
    CMarketMatrix appended;
    ASSERT_EQ(RestoreMatrix(appended, file, nullptr, nullptr), kMatrixOk);
    QuoteImportOptions options;
    options.securitiesList = dir / "all.csv";
    options.quotes = {dir / "whole"};
    ExpectSameAsWholeImport(appended, options);
}

TEST(QuoteImportCommand, AnAppendMeetingAnotherWriterSaysTheFileIsInUse) {
    Fixture f;
    const fs::path file = f.dir / "Market.kbx";
    QuoteImportReport report;
    ASSERT_EQ(ImportQuotesToFile(f.options, file, report), kImportOk) << report.error;
    const std::string before = ReadWholeFile(file);
    const pid_t holder = test::HoldWriterLockInChild(file);
    ASSERT_GT(holder, 0);
    WriteFile(f.dir / "q/1301.csv", "date,open,high,low,close,volume\n"
                                    "2024-01-05,100,101,99,100,5\n"
                                    "2024-01-10,100,101,99,100,5\n");
    const CommandRun run =
        RunVornctl("import --append " + file.string() + " --securities " +
                   f.options.securitiesList.string() + " " + (f.dir / "q").string());
    test::KillHolder(holder);
    EXPECT_NE(run.status, 0) << run.output;
    EXPECT_NE(run.output.find(file.string() + ": in use by another program"), std::string::npos)
        << run.output;
    EXPECT_EQ(ReadWholeFile(file), before);
}

TEST(QuoteImportCommand, AnInterruptedImportLeavesNothingBehind) {
    Fixture f;
    const fs::path file = f.dir / "Market.kbx";
    QuoteImportReport report;
    ASSERT_EQ(ImportQuotesToFile(f.options, file, report), kImportOk) << report.error;
    const std::string before = ReadWholeFile(file);
    const std::string sidecarBefore = ReadWholeFile(f.dir / "Market.kbx.xxh");

    // Quotes large enough that writing them takes a while: 150 securities of 4,000 days.
    std::string list;
    const std::vector<PackedDate> days = test::Weekdays(D(1990, 1, 4), 4000);
    std::string rows = "date,open,high,low,close,volume\n";
    for (std::size_t i = 0; i < days.size(); ++i)
        rows +=
            QuoteRow(days[i], 1000 + i % 7, 1010 + i % 7, 990, 1001 + i % 5, 100000 + i, false) +
            "\n";
    for (int code = 2000; code < 2150; ++code) {
        list += std::to_string(code) + ",1,N,1,100,0\n";
        WriteFile(f.dir / "big" / (std::to_string(code) + ".csv"), rows);
    }
    WriteFile(f.dir / "big-list.csv", list);
    const fs::path temporary = f.dir / "Market.kbx.tmp";
    const std::string listPath = (f.dir / "big-list.csv").string();
    const std::string quotesPath = (f.dir / "big").string();
    bool caught = false;
    for (int attempt = 0; attempt < 5 && !caught; ++attempt) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            const int null = ::open("/dev/null", O_WRONLY);
            ::dup2(null, 1);
            ::dup2(null, 2);
            ::execl(VORN_CTL_PATH, VORN_CTL_PATH, "import", "--out", file.c_str(), "--securities",
                    listPath.c_str(), quotesPath.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        // Interrupt it once its unfinished file is there.
        int status = 0;
        for (;;) {
            if (fs::exists(temporary)) {
                ::kill(child, SIGINT);
                caught = true;
                break;
            }
            if (::waitpid(child, &status, WNOHANG) == child)
                break;
            ::usleep(100);
        }
        if (caught) {
            ASSERT_EQ(::waitpid(child, &status, 0), child);
            EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGINT);
        } else {
            // Finished before it was seen at work: start again from the original.
            WriteFile(file, before);
            WriteFile(f.dir / "Market.kbx.xxh", sidecarBefore);
        }
    }
    ASSERT_TRUE(caught) << "the import was never seen writing";
    EXPECT_FALSE(fs::exists(temporary));
    EXPECT_FALSE(fs::exists(f.dir / "Market.kbx.xxh.tmp"));
    EXPECT_EQ(ReadWholeFile(file), before);
    CMarketMatrix m;
    EXPECT_EQ(RestoreMatrix(m, file, nullptr, nullptr), kMatrixOk);
}

} // namespace
} // namespace vorn
