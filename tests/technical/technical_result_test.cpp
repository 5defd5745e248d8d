// The result series: date-keyed values and the comma-separated export, its cp932 bytes and
// its refusal to leave a half-written file behind.
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "foundation/text_encoding.h"
#include "support/test_files.h"
#include "technical/technical_result.h"

namespace vorn {
namespace {

using vorn::test::WriteWholeFile;

namespace fs = std::filesystem;

class CTemporaryDirectory {
public:
    CTemporaryDirectory() {
        std::string pattern = (fs::temp_directory_path() / "vorn-technical-XXXXXX").string();
        if (::mkdtemp(pattern.data()) != nullptr)
            path_ = pattern;
    }
    ~CTemporaryDirectory() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    const fs::path& Path() const { return path_; }
    std::size_t EntryCount() const {
        return static_cast<std::size_t>(
            std::distance(fs::directory_iterator(path_), fs::directory_iterator()));
    }

private:
    fs::path path_;
};

std::string ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(DatedValues, KeepsOneValuePerDateNewestFirst) {
    CDatedValues values;
    values.Set(MakePackedDate(2007, 1, 10), 1.0);
    values.Set(MakePackedDate(2007, 1, 9), 2.0);
    values.Set(MakePackedDate(2007, 1, 12), 3.0); // newer than all: goes in front
    values.Set(MakePackedDate(2007, 1, 11), 4.0); // in between
    values.Set(MakePackedDate(2007, 1, 10), 5.0); // replaces
    ASSERT_EQ(values.Size(), 4u);
    const PackedDate expected[] = {MakePackedDate(2007, 1, 12), MakePackedDate(2007, 1, 11),
                                   MakePackedDate(2007, 1, 10), MakePackedDate(2007, 1, 9)};
    for (std::size_t i = 0; i < 4; ++i)
        EXPECT_EQ(values[i].date, expected[i]);
    ASSERT_NE(values.Find(MakePackedDate(2007, 1, 10)), nullptr);
    EXPECT_EQ(*values.Find(MakePackedDate(2007, 1, 10)), 5.0);
    EXPECT_EQ(values.Find(MakePackedDate(2007, 1, 13)), nullptr);

    CTechnicalInclinationIndex result;
    result.Values().Set(MakePackedDate(2007, 1, 9), 1.0);
    EXPECT_EQ(result.GetValues(0), &result.Values());
    EXPECT_EQ(result.GetValues(1), nullptr);
    result.Clear();
    EXPECT_TRUE(result.Values().Empty());
}

TEST(TechnicalExport, WritesCp932HeaderAndNewestFirstLines) {
    CTemporaryDirectory directory;
    ASSERT_FALSE(directory.Path().empty());

    CTechnicalInclinationIndex inclination;
    inclination.Values().Set(MakePackedDate(2007, 1, 5), -20.0);
    inclination.Values().Set(MakePackedDate(2007, 1, 4), -0.0);
    inclination.Values().Set(MakePackedDate(2007, 1, 9), 15.1234567);
    const fs::path path = directory.Path() / "inclination.csv";
    ASSERT_TRUE(inclination.ExportCsv(path));
    const std::string header = Utf8ToCp932("日付,傾斜\n");
    ASSERT_EQ(header, "\x93\xfa\x95\x74,\x8c\x58\x8e\xce\n");
    EXPECT_EQ(ReadAll(path),
              header + "20070109,15.123457\n20070105,-20.000000\n20070104,0.000000\n");

    CTechnicalTurnoverAverage turnover;
    const fs::path empty = directory.Path() / "turnover.csv";
    ASSERT_TRUE(turnover.ExportCsv(empty));
    EXPECT_EQ(ReadAll(empty), Utf8ToCp932("日付,売買高平均値\n"));

    CTechnicalMovingAverage average;
    average.Values().Set(MakePackedDate(2026, 11, 27), 1234567.25);
    const fs::path averages = directory.Path() / "average.csv";
    ASSERT_TRUE(average.ExportCsv(averages));
    EXPECT_EQ(ReadAll(averages), Utf8ToCp932("日付,移動平均\n") + "20261127,1234567.250000\n");

    // Replacing an existing file leaves nothing else behind.
    ASSERT_TRUE(turnover.ExportCsv(path));
    EXPECT_EQ(ReadAll(path), Utf8ToCp932("日付,売買高平均値\n"));
    EXPECT_EQ(directory.EntryCount(), 3u);
}

TEST(TechnicalExport, UnitDividesTheValuesAndNamesItselfInTheHeader) {
    CTechnicalMovingAverage average;
    average.Values().Set(MakePackedDate(2026, 11, 27), 123456.0);
    average.Values().Set(MakePackedDate(2026, 11, 30), -5.0);
    EXPECT_EQ(average.CsvText({100.0, "円"}),
              Utf8ToCp932("日付,移動平均(円)\n") + "20261130,-0.050000\n20261127,1234.560000\n");
    // No unit: the stored values under the plain header; a divisor that is not positive is
    // ignored rather than turned into infinities.
    EXPECT_EQ(average.CsvText(), average.CsvText({0.0, {}}));
    EXPECT_EQ(average.CsvText(),
              Utf8ToCp932("日付,移動平均\n") + "20261130,-5.000000\n20261127,123456.000000\n");
}

TEST(TechnicalExport, FailureLeavesTheTargetAsItWas) {
    CTemporaryDirectory directory;
    ASSERT_FALSE(directory.Path().empty());
    CTechnicalInclinationIndex result;
    for (int day = 1; day <= 28; ++day)
        result.Values().Set(MakePackedDate(2007, 2, day), day * 1.5);

    // A missing directory.
    EXPECT_FALSE(result.ExportCsv(directory.Path() / "missing" / "out.csv"));
    EXPECT_EQ(directory.EntryCount(), 0u);

    // A directory in the way of the move.
    const fs::path occupied = directory.Path() / "occupied.csv";
    fs::create_directories(occupied / "inner");
    EXPECT_FALSE(result.ExportCsv(occupied));
    EXPECT_TRUE(fs::is_directory(occupied / "inner"));
    EXPECT_EQ(directory.EntryCount(), 1u);

    // The disk filling up halfway: the previous export survives whole.
    const fs::path previous = directory.Path() / "previous.csv";
    const std::string before = "earlier export\n";
    WriteWholeFile(previous, before);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{64, 64};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        ::_exit(result.ExportCsv(previous) ? 0 : 3);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 3);
    EXPECT_EQ(ReadAll(previous), before);
    EXPECT_EQ(directory.EntryCount(), 2u);
}

} // namespace
} // namespace vorn
