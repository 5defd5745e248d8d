// CSV written by vornctl reads back as the same columns in a CSV parser, whatever a company
// name holds.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <unistd.h>
#include <vector>

#include "foundation/calendar_math.h"
#include "foundation/csv_field.h"
#include "foundation/date_text.h"
#include "foundation/text_encoding.h"
#include "matrix/csv_reader.h"
#include "support/run_command.h"
#include "support/test_files.h"

namespace fs = std::filesystem;

namespace {

TEST(CsvFieldTest, QuotesOnlyWhatNeedsIt) {
    EXPECT_EQ(vorn::CsvField("Toyota"), "Toyota");
    EXPECT_EQ(vorn::CsvField(""), "");
    EXPECT_EQ(vorn::CsvField("A,B"), "\"A,B\"");
    EXPECT_EQ(vorn::CsvField("say \"hi\""), "\"say \"\"hi\"\"\"");
    EXPECT_EQ(vorn::CsvField("two\nlines"), "\"two\nlines\"");
    EXPECT_EQ(vorn::CsvField("cr\r"), "\"cr\r\"");
}

TEST(DateTextTest, ThreeFormsOfRealDaysOnly) {
    const vorn::PackedDate day = vorn::MakePackedDate(2024, 2, 29);
    EXPECT_EQ(vorn::ParseDateText("2024/02/29"), day);
    EXPECT_EQ(vorn::ParseDateText("2024-02-29"), day);
    EXPECT_EQ(vorn::ParseDateText("20240229"), day);
    for (const char* bad : {"2023-02-29", "2018-02-30", "2024-04-31", "2024-00-10", "2024-13-01",
                            "2024/02-29", "2024-2-29", "1949-12-31", "2078-01-01", "2024022",
                            "2024-02-29 ", "２０２４0229", ""})
        EXPECT_EQ(vorn::ParseDateText(bad), vorn::kNoDate) << bad;
    EXPECT_EQ(vorn::ParseDateText("1900-02-29"), vorn::kNoDate); // 1900 is not a leap year
    EXPECT_EQ(vorn::ParseDateText("2000-02-29"), vorn::MakePackedDate(2000, 2, 29));
    EXPECT_EQ(vorn::FormatDateText(day), "2024/02/29");
}

TEST(VornctlCsvTest, CompanyNameWithCommaAndQuoteRoundTripsThroughScreen) {
    const fs::path directory =
        fs::temp_directory_path() / ("vornctl-csv-" + std::to_string(::getpid()));
    fs::create_directories(directory / "quotes");
    const std::string name = "Acme, \"Best\" Co";
    std::ofstream(directory / "securities.csv")
        << "code,market,name,industry,unit,margin\n"
        << "1301,1," << vorn::CsvField(name) << ",1,100,1\n"
        << "1302,1,Plain,1,100,1\n";
    for (const char* code : {"1301", "1302"}) {
        std::ofstream quotes(directory / "quotes" / (std::string(code) + ".csv"));
        quotes << "date,open,high,low,close,volume\n";
        vorn::PackedDate day = vorn::MakePackedDate(2024, 1, 4);
        for (int i = 0; i < 300; ++i) {
            // Up and down with a gap now and then, so that windows open and the analysis runs.
            const int base = 1000 + (i % 40) * 10 + (i % 7 == 0 ? 60 : 0);
            quotes << vorn::FormatDateText(day) << ',' << base << ',' << base + 20 << ','
                   << base - 20 << ',' << base + 5 << ",10000\n";
            do
                day = vorn::AddDaysToPackedDate(day, 1);
            while (vorn::WeekdayOfPackedDate(day) == 0 || vorn::WeekdayOfPackedDate(day) == 6);
        }
    }
    const std::string ctl = VORN_CTL_PATH;
    const std::string market = (directory / "Market.kbx").string();
    const auto imported = vorn::test::RunCommandLine(
        ctl + " import --out " + market + " --securities " + (directory / "securities.csv").string() +
        " " + (directory / "quotes").string() + " 2>&1");
    ASSERT_EQ(imported.first, 0) << imported.second;

    const auto [status, output] =
        vorn::test::RunCommandLine(ctl + " screen " + market + " --header --no-summary");
    ASSERT_EQ(status, 0);
    vorn::CCsvReader reader(output, ',');
    std::vector<std::string_view> fields;
    ASSERT_TRUE(reader.Next(fields));
    EXPECT_EQ(fields.size(), 13u);
    EXPECT_EQ(fields[1], "銘柄名称");
    EXPECT_EQ(fields[4], "株価(円)");
    EXPECT_EQ(fields[5], "時価総額(円)");
    bool found = false;
    std::size_t rows = 0;
    while (reader.Next(fields)) {
        ++rows;
        EXPECT_FALSE(reader.Malformed());
        EXPECT_EQ(fields.size(), 13u) << output;
        if (!fields.empty() && fields[0] == "1301") {
            found = true;
            EXPECT_EQ(fields[1], name);
        }
    }
    EXPECT_TRUE(found) << output;
    EXPECT_EQ(output.find("銘柄数"), std::string::npos); // --no-summary

    const auto plain = vorn::test::RunCommandLine(ctl + " screen " + market);
    EXPECT_EQ(plain.second.rfind("1301,", 0), 0u) << plain.second; // no header by default
    EXPECT_NE(plain.second.find("銘柄数"), std::string::npos);
    std::error_code ignored;
    fs::remove_all(directory, ignored);
}

// The indicator file holds yen, and says so, also for a security whose prices are stored in
// hundredths of a yen: a one-day average is the close as `series --yen` prints it.
TEST(VornctlCsvTest, IndicatorValuesAreInTheUnitTheirHeaderNames) {
    const fs::path directory =
        fs::temp_directory_path() / ("vornctl-units-" + std::to_string(::getpid()));
    fs::create_directories(directory / "quotes");
    vorn::test::WriteWholeFile(directory / "securities.csv",
                               "code,market,name,industry,unit,margin\n"
                               "1301,1,Hundredths,1,100,1\n1302,1,Yen,1,100,1\n");
    vorn::test::WriteWholeFile(directory / "quotes" / "1301.csv",
                               "date,open,high,low,close,volume\n"
                               "2024-01-04,1230.5,1240,1220,1234.56,10000\n"
                               "2024-01-05,1234,1250,1230,1245.25,20000\n");
    vorn::test::WriteWholeFile(directory / "quotes" / "1302.csv",
                               "date,open,high,low,close,volume\n"
                               "2024-01-04,1000,1010,990,1005,3000\n"
                               "2024-01-05,1005,1020,1000,1010,4000\n");
    const std::string ctl = VORN_CTL_PATH;
    const std::string market = (directory / "Market.kbx").string();
    ASSERT_EQ(vorn::test::RunCommandLine(ctl + " import --out " + market + " --securities " +
                                         (directory / "securities.csv").string() + " " +
                                         (directory / "quotes").string() + " 2>&1")
                  .first,
              0);
    const auto indicator = [&](const std::string& arguments) {
        const fs::path out = directory / "indicator.csv";
        const auto [status, output] = vorn::test::RunCommandLine(
            ctl + " indicator " + market + " " + arguments + " --out " + out.string());
        EXPECT_EQ(status, 0) << output;
        return vorn::Cp932ToUtf8(vorn::test::ReadWholeFile(out));
    };
    EXPECT_EQ(indicator("1301 1 sma period=1"),
              "日付,移動平均(円)\n20240105,1245.250000\n20240104,1234.560000\n");
    EXPECT_EQ(indicator("1302 1 sma period=1"),
              "日付,移動平均(円)\n20240105,1010.000000\n20240104,1005.000000\n");
    // Close x volume in thousands of yen.
    EXPECT_EQ(indicator("1301 1 turnover period=1"),
              "日付,売買高平均値(千円)\n20240105,24905.000000\n20240104,12345.600000\n");
    EXPECT_EQ(indicator("1302 1 turnover period=1"),
              "日付,売買高平均値(千円)\n20240105,4040.000000\n20240104,3015.000000\n");
    // The close `series --yen` prints for the hundredths security.
    const auto series = vorn::test::RunCommandLine(ctl + " series " + market + " 1301 1 --yen");
    EXPECT_NE(series.second.find("2024/01/05,1234.00,1250.00,1230.00,1245.25,20000"),
              std::string::npos)
        << series.second;
    std::error_code ignored;
    fs::remove_all(directory, ignored);
}

} // namespace
