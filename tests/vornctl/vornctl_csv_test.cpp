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
#include "matrix/csv_reader.h"
#include "support/run_command.h"

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

} // namespace
