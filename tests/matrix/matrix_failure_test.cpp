// Where a content file lets the restore down, in the words a user reads.
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

#include "matrix/matrix_file.h"
#include "support/market_builder.h"

namespace vorn {
namespace {

namespace fs = std::filesystem;

class MatrixFailureTest : public ::testing::Test {
protected:
    void SetUp() override {
        directory_ = fs::temp_directory_path() / ("vorn-failure-" + std::to_string(::getpid()));
        fs::create_directories(directory_);
        auto matrix = test::CMarketBuilder()
                          .Calendar(test::Weekdays(MakePackedDate(2020, 1, 6), 20))
                          .Security(1301, 1, MakePackedDate(2020, 1, 6),
                                    {{10, 12, 9, 11, 2}, {11, 13, 10, 12, 3}})
                          .Build();
        ASSERT_EQ(GenerateMatrix(*matrix, Path("whole.kbx"), nullptr, nullptr), kMatrixOk);
        std::ifstream in(Path("whole.kbx"), std::ios::binary);
        whole_.assign(std::istreambuf_iterator<char>(in), {});
    }
    void TearDown() override { fs::remove_all(directory_); }

    fs::path Path(const std::string& name) const { return directory_ / name; }
    MatrixFailure Restore(const std::string& bytes) {
        std::ofstream(Path("test.kbx"), std::ios::binary | std::ios::trunc) << bytes;
        CMarketMatrix matrix;
        MatrixFailure failure;
        EXPECT_NE(RestoreMatrix(matrix, Path("test.kbx"), nullptr, nullptr, &failure), kMatrixOk);
        return failure;
    }

    fs::path directory_;
    std::string whole_;
};

TEST_F(MatrixFailureTest, ShortSectionsNameTheSectionAndTheMissingBytes) {
    // 20 calendar days of two bytes each follow the 28-byte header; 3 of the 40 are there.
    MatrixFailure failure = Restore(whole_.substr(0, kMatrixHeaderSize + 3));
    EXPECT_STREQ(failure.section, "calendar");
    EXPECT_EQ(failure.offset, kMatrixHeaderSize);
    EXPECT_EQ(DescribeFailure(failure),
              "damaged: calendar section ends 37 bytes past the end of the file");

    failure = Restore(whole_.substr(0, whole_.size() - 2));
    EXPECT_STREQ(failure.section, "price");
    EXPECT_EQ(failure.pastEnd, 2u);
    EXPECT_EQ(DescribeFailure(failure),
              "damaged: price section ends 2 bytes past the end of the file");

    EXPECT_EQ(DescribeFailure(Restore(whole_.substr(0, 10))),
              "damaged: header section ends 18 bytes past the end of the file");
    EXPECT_EQ(DescribeFailure(Restore("")), "empty file");
}

TEST_F(MatrixFailureTest, InvalidContentNamesItsSectionAndOffset) {
    std::string bytes = whole_;
    bytes[0] ^= 0x01; // the first magic value
    EXPECT_EQ(DescribeFailure(Restore(bytes)),
              "damaged: not a market matrix file (its header is not valid)");

    // A company entry size below the smallest entry (header bytes 12..13) is refused when
    // the company section is decoded; the calendar (20 days) sits before it.
    bytes = whole_;
    bytes[12] = 5;
    bytes[13] = 0;
    const MatrixFailure failure = Restore(bytes);
    EXPECT_EQ(failure.result, kMatrixCompanyFailed);
    EXPECT_EQ(DescribeFailure(failure), "damaged: company section at byte 68 is not valid");
}

TEST_F(MatrixFailureTest, SystemReasonsComeFromTheSystem) {
    CMarketMatrix matrix;
    MatrixFailure failure;
    EXPECT_EQ(RestoreMatrix(matrix, Path("missing.kbx"), nullptr, nullptr, &failure),
              kMatrixCannotOpen);
    EXPECT_EQ(failure.systemError, ENOENT);
    EXPECT_EQ(DescribeFailure(failure), "no such file or directory");
    EXPECT_EQ(RestoreMatrix(matrix, directory_, nullptr, nullptr, &failure), kMatrixCannotOpen);
    EXPECT_EQ(DescribeFailure(failure), "is a directory");
    // Every result has words of its own.
    for (MatrixResult result : {kMatrixOk, kMatrixCannotOpen, kMatrixBadHeader, kMatrixCancelled,
                                kMatrixSecurityFailed, kMatrixWriteFinalHeaderFailed})
        EXPECT_NE(Describe(result), "unknown result");
}

} // namespace
} // namespace vorn
