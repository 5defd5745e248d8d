#include "acquisition/market_matrix_loader.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <random>
#include <vector>

#include "acquisition/cabinet_writer.h"
#include "matrix/matrix_file.h"
#include "support/http_test_server.h"
#include "support/market_builder.h"
#include "support/recording_sink.h"
#include "support/test_files.h"

namespace vorn {
namespace {

using vorn::test::ReadWholeFile;
using vorn::test::WriteWholeFile;

namespace fs = std::filesystem;
using test::CHttpTestServer;
using test::HttpTestResponse;

constexpr PackedDate kTenYearsFirst = MakePackedDate(1999, 1, 4);
constexpr PackedDate kFiveYearsFirst = MakePackedDate(2004, 1, 5);
constexpr PackedDate kThreeYearsFirst = MakePackedDate(2006, 1, 4);

MatrixIndex SampleIndex() {
    MatrixIndex index;
    index.version = 0x01020304;
    index.reservedDate = MakePackedDate(2008, 1, 1);
    index.latestDate = MakePackedDate(2009, 3, 5);
    index.directory = "v1020304";
    index.packages = {{3, kThreeYearsFirst}, {5, kFiveYearsFirst}, {10, kTenYearsFirst}};
    index.updates = {{MakePackedDate(2009, 3, 2), MakePackedDate(2009, 2, 27)},
                     {MakePackedDate(2009, 3, 5), MakePackedDate(2009, 3, 2)}};
    return index;
}

std::string AsText(const std::vector<std::uint8_t>& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

void ExpectSameIndex(const MatrixIndex& a, const MatrixIndex& b) {
    EXPECT_EQ(a.version, b.version);
    EXPECT_EQ(a.reservedDate, b.reservedDate);
    EXPECT_EQ(a.latestDate, b.latestDate);
    EXPECT_EQ(a.directory, b.directory);
    EXPECT_EQ(a.packages, b.packages);
    EXPECT_EQ(a.updates, b.updates);
}

// --- Index file ---

TEST(MatrixIndexFile, RoundTripsAndKeepsTheDocumentedLayout) {
    const MatrixIndex index = SampleIndex();
    const std::vector<std::uint8_t> bytes = EncodeMatrixIndex(index);
    ASSERT_EQ(bytes.size(), 16 + 8 + 3 * 3 + 4 * 2u);
    EXPECT_EQ(bytes[0], 0xC1);
    EXPECT_EQ(bytes[1], 0xEE);
    EXPECT_EQ(bytes[2], 8);
    EXPECT_EQ(std::memcmp(bytes.data() + 4, "v1020304", 8), 0);
    EXPECT_EQ(bytes[12], 0x04); // version, least significant byte first
    EXPECT_EQ(bytes[15], 0x01);

    MatrixIndex decoded;
    ASSERT_TRUE(DecodeMatrixIndex(bytes, decoded));
    ExpectSameIndex(decoded, index);

    // Whatever follows the update records is not the index's business.
    std::vector<std::uint8_t> longer = bytes;
    longer.insert(longer.end(), {1, 2, 3});
    EXPECT_TRUE(DecodeMatrixIndex(longer, decoded));

    MatrixIndex empty;
    ASSERT_TRUE(DecodeMatrixIndex(EncodeMatrixIndex(empty), decoded));
    EXPECT_TRUE(decoded.packages.empty());
    EXPECT_EQ(FormatMatrixVersion(0xFF00640A), "255.  0.100. 10");
}

TEST(MatrixIndexFile, RefusesDamagedOrHostileImages) {
    const std::vector<std::uint8_t> good = EncodeMatrixIndex(SampleIndex());
    MatrixIndex decoded;

    for (std::size_t length = 0; length < good.size(); ++length) {
        std::vector<std::uint8_t> truncated(good.begin(), good.begin() + length);
        EXPECT_FALSE(DecodeMatrixIndex(truncated, decoded)) << length;
        EXPECT_TRUE(decoded.directory.empty());
        EXPECT_TRUE(decoded.packages.empty());
    }

    std::vector<std::uint8_t> swapped = good;
    std::swap(swapped[0], swapped[1]);
    EXPECT_FALSE(DecodeMatrixIndex(swapped, decoded));

    // Directory length, package count and update count each claiming more than is there.
    const std::size_t packageCountAt = 4 + 8 + 8;
    const std::size_t updateCountAt = packageCountAt + 2 + 9;
    for (std::size_t at : {std::size_t{2}, packageCountAt, updateCountAt}) {
        std::vector<std::uint8_t> inflated = good;
        inflated[at] = 0xFF;
        inflated[at + 1] = 0x0F;
        EXPECT_FALSE(DecodeMatrixIndex(inflated, decoded)) << at;
    }

    std::vector<std::uint8_t> repeatedYears = good;
    repeatedYears[packageCountAt + 2 + 3] = repeatedYears[packageCountAt + 2];
    EXPECT_FALSE(DecodeMatrixIndex(repeatedYears, decoded));

    MatrixIndex twice = SampleIndex();
    std::vector<std::uint8_t> repeatedDay = EncodeMatrixIndex(twice);
    std::memcpy(repeatedDay.data() + updateCountAt + 2 + 4, repeatedDay.data() + updateCountAt + 2,
                2);
    EXPECT_FALSE(DecodeMatrixIndex(repeatedDay, decoded));

    MatrixIndex longest = SampleIndex();
    longest.directory.assign(kMaxIndexDirectory, 'd');
    std::vector<std::uint8_t> fits = EncodeMatrixIndex(longest);
    EXPECT_TRUE(DecodeMatrixIndex(fits, decoded));
    // One byte more, written by hand since the encoder refuses it.
    longest.directory.push_back('d');
    EXPECT_TRUE(EncodeMatrixIndex(longest).empty());
    fits.insert(fits.begin() + 4, 'd');
    fits[2] = 0x00;
    fits[3] = 0x04;
    EXPECT_FALSE(DecodeMatrixIndex(fits, decoded));
}

TEST(MatrixIndexFile, AFailedParseForgetsTheIndexHeldBefore) {
    CMarketMatrixLoader loader;
    ASSERT_TRUE(loader.ParseIndex(EncodeMatrixIndex(SampleIndex())));
    EXPECT_EQ(loader.Version(), 0x01020304u);

    const std::uint8_t junk[] = {0xEE, 0xC1, 0, 0};
    EXPECT_FALSE(loader.ParseIndex(junk));
    EXPECT_EQ(loader.Version(), 0u);
    EXPECT_TRUE(loader.Index().packages.empty());
}

// --- Transfers against a real server ---

class MatrixLoaderTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server_.IsListening());
        std::random_device random;
        root_ = fs::temp_directory_path() / ("vorn_loader_" + std::to_string(random()));
        temporary_ = root_ / "tmp";
        local_ = root_ / "local";
        fs::create_directories(temporary_);
        fs::create_directories(local_);
        loader_.SetTemporaryDirectory(temporary_);
        loader_.SetTimeouts(2000, 300);
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }

    void PublishIndex(const MatrixIndex& index) {
        server_.Serve("/vorn/MarketMatrix/MarketMatrix.idx", AsText(EncodeMatrixIndex(index)));
    }
    // Packs `content` as the cabinet the server offers under `innerName`.
    void PublishPackage(const std::string& directory, const std::string& innerName,
                        const fs::path& content) {
        const fs::path cabinet = root_ / ("_" + innerName);
        ASSERT_TRUE(WriteCabinet(cabinet, innerName, content));
        server_.Serve("/vorn/MarketMatrix/" + directory + "/_" + innerName, ReadWholeFile(cabinet));
        fs::remove(cabinet);
    }
    void PublishBytes(const std::string& directory, const std::string& innerName,
                      const std::string& bytes) {
        const fs::path content = root_ / ("content_" + innerName);
        WriteWholeFile(content, bytes);
        PublishPackage(directory, innerName, content);
        fs::remove(content);
    }
    std::vector<std::string> RequestedPaths() const {
        std::vector<std::string> paths;
        for (const auto& head : server_.Requests())
            paths.push_back(head.substr(4, head.find(' ', 4) - 4));
        return paths;
    }
    bool TemporaryIsEmpty() const { return fs::is_empty(temporary_); }
    std::string TextAt(std::intptr_t lParam) const { return reinterpret_cast<const char*>(lParam); }

    CHttpTestServer server_;
    CMarketMatrixLoader loader_;
    fs::path root_, temporary_, local_;
};

TEST_F(MatrixLoaderTest, FetchIndexReadsTheServedIndexAndCleansUp) {
    PublishIndex(SampleIndex());
    ASSERT_TRUE(loader_.FetchIndex(server_.Host()));
    ExpectSameIndex(loader_.Index(), SampleIndex());
    EXPECT_TRUE(TemporaryIsEmpty());
    const auto requests = server_.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].rfind("GET /vorn/MarketMatrix/MarketMatrix.idx ", 0), 0u);
    EXPECT_NE(requests[0].find("User-Agent: RireziZidorevori\r\n"), std::string::npos);
}

TEST_F(MatrixLoaderTest, FetchIndexRefusesErrorPagesEmptyFilesAndDeadServers) {
    EXPECT_FALSE(loader_.FetchIndex(server_.Host())); // 404 page: wrong magic
    server_.Serve("/vorn/MarketMatrix/MarketMatrix.idx", "");
    EXPECT_FALSE(loader_.FetchIndex(server_.Host()));
    EXPECT_FALSE(loader_.FetchIndex("127.0.0.1:" + std::to_string(CHttpTestServer::UnusedPort())));
    EXPECT_FALSE(loader_.FetchIndex("bad host name"));
    EXPECT_TRUE(TemporaryIsEmpty());

    loader_.SetTemporaryDirectory(root_ / "missing");
    PublishIndex(SampleIndex());
    EXPECT_FALSE(loader_.FetchIndex(server_.Host()));
    EXPECT_EQ(server_.Requests().size(), 2u);
}

TEST_F(MatrixLoaderTest, TransferFileReportsWhyItFailedAndLeavesNoFile) {
    server_.Serve("/file", "body");
    HttpTestResponse dropped;
    dropped.body = std::string(20000, 'x');
    dropped.ending = HttpTestResponse::Ending::CloseMidway;
    dropped.cutAfter = 7000;
    server_.Serve("/dropped", dropped);

    const fs::path target = temporary_ / "file";
    EXPECT_EQ(loader_.TransferFile("file", server_.Host(), target), kTransferDone);
    EXPECT_EQ(ReadWholeFile(target), "body");
    fs::remove(target);

    EXPECT_EQ(loader_.TransferFile("file", "", target), kTransferNoConnection);
    EXPECT_EQ(loader_.TransferFile("file", server_.Host(), root_ / "no" / "file"),
              kTransferFileNotCreated);
    EXPECT_EQ(loader_.TransferFile("dropped", server_.Host(), target), kTransferBroken);
    EXPECT_EQ(loader_.TransferFile(
                  "file", "127.0.0.1:" + std::to_string(CHttpTestServer::UnusedPort()), target),
              kTransferBroken);
    EXPECT_TRUE(TemporaryIsEmpty());
}

TEST_F(MatrixLoaderTest, FailuresNameTheServerThePathAndTheCause) {
    PublishIndex(SampleIndex());
    const std::string deadHost = "127.0.0.1:" + std::to_string(CHttpTestServer::UnusedPort());
    EXPECT_FALSE(loader_.FetchIndex(deadHost));
    EXPECT_EQ(loader_.LastFailure().Describe(),
              "http://" + deadHost + "/vorn/MarketMatrix/MarketMatrix.idx: connection refused");

    ASSERT_TRUE(loader_.ParseIndex(EncodeMatrixIndex(SampleIndex())));
    const fs::path destination = local_ / "Market.kbx";
    EXPECT_EQ(
        loader_.DownloadPackage(server_.Host(), destination, 3, nullptr, kMsgProgress, 0, 1, 50),
        kNoDate);
    EXPECT_EQ(loader_.LastFailure().Describe(),
              "http://" + server_.Host() + "/vorn/MarketMatrix/v1020304/_03.kbx: HTTP status 404");
    EXPECT_TRUE(TemporaryIsEmpty());

    HttpTestResponse stalled;
    stalled.body = std::string(50000, 'i');
    stalled.ending = HttpTestResponse::Ending::StallMidway;
    stalled.cutAfter = 100;
    server_.Serve("/vorn/MarketMatrix/MarketMatrix.idx", stalled);
    EXPECT_FALSE(loader_.FetchIndex(server_.Host()));
    EXPECT_EQ(loader_.LastFailure().cause, TransferCause::TimedOut);

    // An index larger than any index can be is refused while it arrives.
    server_.Serve("/vorn/MarketMatrix/MarketMatrix.idx", std::string(kMaxIndexFileSize + 1, 'i'));
    EXPECT_FALSE(loader_.FetchIndex(server_.Host()));
    EXPECT_EQ(loader_.LastFailure().cause, TransferCause::TooLarge);
    PublishIndex(SampleIndex());
    EXPECT_TRUE(loader_.FetchIndex(server_.Host()));
    EXPECT_FALSE(loader_.LastFailure().Failed());
    EXPECT_TRUE(TemporaryIsEmpty());
}

// A package cut at 90 %, then served again by a server with or without range support.
class MatrixResumeTest : public MatrixLoaderTest {
protected:
    void SetUp() override {
        MatrixLoaderTest::SetUp();
        ASSERT_TRUE(loader_.ParseIndex(EncodeMatrixIndex(SampleIndex())));
        destination_ = local_ / "Market.kbx";
        WriteWholeFile(destination_, "old matrix");
        content_.resize(300000);
        std::mt19937 random(7);
        for (char& c : content_)
            c = static_cast<char>(random());
        const fs::path source = root_ / "source";
        WriteWholeFile(source, content_);
        ASSERT_TRUE(WriteCabinet(root_ / "cabinet", "05.kbx", source));
        cabinet_ = ReadWholeFile(root_ / "cabinet");
        HttpTestResponse cut;
        cut.body = cabinet_;
        cut.ending = HttpTestResponse::Ending::CloseMidway;
        cut.cutAfter = cabinet_.size() * 9 / 10;
        server_.Serve(kPath, cut);
        EXPECT_EQ(Download(), kNoDate);
        EXPECT_EQ(loader_.LastFailure().cause, TransferCause::Dropped);
        EXPECT_EQ(fs::file_size(temporary_ / "_05.kbx.part"), cut.cutAfter);
        EXPECT_EQ(ReadWholeFile(destination_), "old matrix");
    }
    PackedDate Download() {
        return loader_.DownloadPackage(server_.Host(), destination_, 5, nullptr, kMsgProgress, 0, 1,
                                       50);
    }
    std::string LastRequest() const { return server_.Requests().back(); }

    static constexpr const char* kPath = "/vorn/MarketMatrix/v1020304/_05.kbx";
    std::string content_, cabinet_;
    fs::path destination_;
};

TEST_F(MatrixResumeTest, ContinuesWithARangeRequest) {
    server_.Serve(kPath, cabinet_);
    std::vector<std::uint64_t> told;
    loader_.SetTransferObserver([&told](std::uint64_t bytes) { told.push_back(bytes); });
    EXPECT_EQ(Download(), kFiveYearsFirst) << loader_.LastFailure().Describe();
    // The file's bytes, the continued part's included, growing to the whole cabinet.
    ASSERT_FALSE(told.empty());
    EXPECT_GT(told.front(), cabinet_.size() * 9 / 10);
    EXPECT_TRUE(std::is_sorted(told.begin(), told.end()));
    EXPECT_EQ(told.back(), cabinet_.size());
    EXPECT_NE(LastRequest().find("Range: bytes=" + std::to_string(cabinet_.size() * 9 / 10) + "-"),
              std::string::npos);
    EXPECT_TRUE(ReadWholeFile(destination_) == content_);
    EXPECT_TRUE(TemporaryIsEmpty());
}

TEST_F(MatrixResumeTest, StartsAgainWhenTheServerIgnoresTheRange) {
    HttpTestResponse whole;
    whole.body = cabinet_;
    whole.acceptRanges = false;
    server_.Serve(kPath, whole);
    std::vector<std::uint64_t> told;
    loader_.SetTransferObserver([&told](std::uint64_t bytes) { told.push_back(bytes); });
    EXPECT_EQ(Download(), kFiveYearsFirst) << loader_.LastFailure().Describe();
    // Counted from the first byte again.
    ASSERT_FALSE(told.empty());
    EXPECT_LE(told.front(), cabinet_.size() * 9 / 10);
    EXPECT_EQ(told.back(), cabinet_.size());
    EXPECT_NE(LastRequest().find("Range: bytes="), std::string::npos);
    EXPECT_TRUE(ReadWholeFile(destination_) == content_);
    EXPECT_TRUE(TemporaryIsEmpty());
}

TEST_F(MatrixResumeTest, APartThatCannotBeContinuedIsFetchedWhole) {
    // Longer than the file: the range cannot be satisfied.
    WriteWholeFile(temporary_ / "_05.kbx.part", cabinet_ + "trailing");
    server_.Serve(kPath, cabinet_);
    EXPECT_EQ(Download(), kFiveYearsFirst) << loader_.LastFailure().Describe();
    EXPECT_TRUE(ReadWholeFile(destination_) == content_);
    EXPECT_TRUE(TemporaryIsEmpty());

    // An error page is not kept as a part of the package.
    WriteWholeFile(temporary_ / "_05.kbx.part", cabinet_.substr(0, 1000));
    server_.Serve(kPath, HttpTestResponse{"gone", 410});
    EXPECT_EQ(Download(), kNoDate);
    EXPECT_EQ(loader_.LastFailure().status, 410);
    EXPECT_TRUE(TemporaryIsEmpty());
}

TEST_F(MatrixLoaderTest, DownloadPackageTakesTheNextLargerPackageAndReplacesTheDestination) {
    const MatrixIndex index = SampleIndex();
    ASSERT_TRUE(loader_.ParseIndex(EncodeMatrixIndex(index)));
    const std::string content(70000, 'm');
    PublishBytes(index.directory, "05.kbx", content);
    const fs::path destination = local_ / "Market.kbx";
    WriteWholeFile(destination, "old matrix");

    test::CRecordingSink sink;
    EXPECT_EQ(
        loader_.DownloadPackage(server_.Host(), destination, 4, &sink, kMsgProgress, 0, 1, 50),
        kFiveYearsFirst);
    EXPECT_EQ(ReadWholeFile(destination), content);
    EXPECT_TRUE(TemporaryIsEmpty());
    EXPECT_EQ(RequestedPaths(), std::vector<std::string>{"/vorn/MarketMatrix/v1020304/_05.kbx"});

    const auto texts = sink.Values(kProgressText);
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(TextAt(texts[0]), "マーケットマトリクス[4年間]をダウンロードします…");
    EXPECT_EQ(TextAt(texts[1]), "マーケットマトリクス[4年間]を複合化します…");
    EXPECT_EQ(sink.Values(kProgressPercent), std::vector<std::intptr_t>{50});

    // More years than any package: nothing is fetched.
    EXPECT_EQ(
        loader_.DownloadPackage(server_.Host(), destination, 11, nullptr, kMsgProgress, 0, 1, 50),
        kNoDate);
    EXPECT_EQ(server_.Requests().size(), 1u);
}

TEST_F(MatrixLoaderTest, AFailedPackageDownloadLeavesTheLocalMatrixAlone) {
    ASSERT_TRUE(loader_.ParseIndex(EncodeMatrixIndex(SampleIndex())));
    const fs::path destination = local_ / "Market.kbx";
    WriteWholeFile(destination, "old matrix");

    // The server answers 404 for the three-year package: the error page is no cabinet.
    EXPECT_EQ(
        loader_.DownloadPackage(server_.Host(), destination, 3, nullptr, kMsgProgress, 0, 1, 50),
        kNoDate);
    EXPECT_EQ(ReadWholeFile(destination), "old matrix");
    EXPECT_TRUE(TemporaryIsEmpty());
}

TEST_F(MatrixLoaderTest, DownloadFromPicksByTheWantedFirstDay) {
    ASSERT_TRUE(loader_.ParseIndex(EncodeMatrixIndex(SampleIndex())));
    const fs::path destination = local_ / "Market.kbx";
    // Nothing is published, so only the requested paths tell which package was chosen.
    loader_.DownloadFrom(server_.Host(), destination, MakePackedDate(2005, 6, 1), nullptr,
                         kMsgProgress, 0, 1, 50);
    loader_.DownloadFrom(server_.Host(), destination, MakePackedDate(2007, 1, 4), nullptr,
                         kMsgProgress, 0, 1, 50);
    EXPECT_EQ(RequestedPaths(), (std::vector<std::string>{"/vorn/MarketMatrix/v1020304/_03.kbx",
                                                          "/vorn/MarketMatrix/v1020304/_10.kbx"}));

    MatrixIndex none = SampleIndex();
    none.packages.clear();
    ASSERT_TRUE(loader_.ParseIndex(EncodeMatrixIndex(none)));
    EXPECT_EQ(loader_.DownloadFrom(server_.Host(), destination, MakePackedDate(2005, 6, 1), nullptr,
                                   kMsgProgress, 0, 1, 50),
              kNoDate);
    EXPECT_EQ(server_.Requests().size(), 2u);
}

TEST_F(MatrixLoaderTest, DownloadUpdatePicksTheUpdateThatFitsTheLastDayHeld) {
    MatrixIndex index = SampleIndex();
    index.updates = {{MakePackedDate(2009, 3, 2), MakePackedDate(2009, 2, 20)},
                     {MakePackedDate(2009, 3, 5), MakePackedDate(2009, 3, 2)},
                     {MakePackedDate(2009, 3, 9), MakePackedDate(2009, 3, 7)}};
    ASSERT_TRUE(loader_.ParseIndex(EncodeMatrixIndex(index)));
    const std::string served = "/vorn/MarketMatrix/v1020304/_";
    fs::path result;
    // Older than every base day: the first update.
    EXPECT_FALSE(
        loader_.DownloadUpdate(result, MakePackedDate(2009, 1, 5), server_.Host(), nullptr));
    // The first update on or after the day would skip days: stepped back.
    EXPECT_FALSE(
        loader_.DownloadUpdate(result, MakePackedDate(2009, 3, 6), server_.Host(), nullptr));
    // Newer than every update: the newest.
    EXPECT_FALSE(
        loader_.DownloadUpdate(result, MakePackedDate(2009, 3, 10), server_.Host(), nullptr));
    EXPECT_EQ(RequestedPaths(),
              (std::vector<std::string>{served + "20090302.kbx", served + "20090305.kbx",
                                        served + "20090309.kbx"}));
    EXPECT_TRUE(TemporaryIsEmpty());

    PublishBytes(index.directory, "20090309.kbx", "update content");
    test::CRecordingSink sink;
    ASSERT_TRUE(loader_.DownloadUpdate(result, MakePackedDate(2009, 3, 7), server_.Host(), &sink));
    EXPECT_EQ(result, temporary_ / "Update.kbx");
    EXPECT_EQ(ReadWholeFile(result), "update content");
    const auto texts = sink.Values(kProgressText);
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(TextAt(texts[0]), "更新用のマーケットマトリクスをダウンロードします…");
    EXPECT_EQ(TextAt(texts[1]), "更新用のマトリクスを複合化します…");
    fs::remove(result);
    EXPECT_TRUE(TemporaryIsEmpty());

    index.updates.clear();
    ASSERT_TRUE(loader_.ParseIndex(EncodeMatrixIndex(index)));
    const std::size_t requests = server_.Requests().size();
    EXPECT_FALSE(loader_.DownloadUpdate(result, MakePackedDate(2009, 3, 7), server_.Host(), &sink));
    EXPECT_EQ(server_.Requests().size(), requests);
}

// --- The start-up steps over real matrix files ---

class MatrixAcquisitionTest : public MatrixLoaderTest {
protected:
    static std::vector<test::Ohlcv> Rows(int count, std::uint32_t from) {
        std::vector<test::Ohlcv> rows;
        for (int i = 0; i < count; ++i) {
            const std::uint32_t base = from + static_cast<std::uint32_t>(i) * 10;
            rows.push_back({base, base + 5, base - 5, base + 2, 1000u + i});
        }
        return rows;
    }
    fs::path Generate(const test::CMarketBuilder& builder, const std::string& name) {
        auto matrix = builder.Build();
        const fs::path path = root_ / name;
        EXPECT_EQ(GenerateMatrix(*matrix, path, nullptr, nullptr), kMatrixOk);
        return path;
    }
};

TEST_F(MatrixAcquisitionTest, FullDownloadFollowsTheKnownFirstDayOrTheUsersChoice) {
    const auto days = test::Weekdays(MakePackedDate(2007, 1, 4), 10);
    const fs::path package = Generate(
        test::CMarketBuilder().Calendar(days).Security(1301, 1, days.front(), Rows(10, 500)),
        "package.kbx");
    MatrixIndex index = SampleIndex();
    ASSERT_TRUE(loader_.ParseIndex(EncodeMatrixIndex(index)));
    PublishPackage(index.directory, "05.kbx", package);
    const fs::path destination = local_ / "Market.kbx";

    PackedDate first = 1;
    EXPECT_EQ(loader_.DownloadFullMatrix(
                  server_.Host(), destination, kNoDate, [] { return 0u; }, nullptr, first),
              kAcquisitionChoiceCancelled);
    EXPECT_EQ(first, kNoDate);
    // The known first day leads to the three-year package, which is not published.
    EXPECT_EQ(loader_.DownloadFullMatrix(server_.Host(), destination, MakePackedDate(2005, 1, 4),
                                         nullptr, nullptr, first),
              kAcquisitionKnownPackageFailed);
    EXPECT_FALSE(fs::exists(destination));

    bool asked = false;
    ASSERT_EQ(loader_.DownloadFullMatrix(
                  server_.Host(), destination, kNoDate,
                  [&] {
                      asked = true;
                      return 5u;
                  },
                  nullptr, first),
              kAcquisitionOk);
    EXPECT_TRUE(asked);
    EXPECT_EQ(first, kFiveYearsFirst);
    CMarketMatrix restored;
    ASSERT_EQ(RestoreMatrix(restored, destination, nullptr, nullptr), kMatrixOk);
    EXPECT_EQ(restored.DailyCalendar().Count(), 10u);

    index.packages.clear();
    ASSERT_TRUE(loader_.ParseIndex(EncodeMatrixIndex(index)));
    EXPECT_EQ(loader_.DownloadFullMatrix(
                  server_.Host(), destination, kNoDate, [] { return 5u; }, nullptr, first),
              kAcquisitionPackageFailed);
}

TEST_F(MatrixAcquisitionTest, UpdateAppendsTheNewDaysAndRemovesTheUpdateFile) {
    const auto days = test::Weekdays(MakePackedDate(2007, 1, 4), 13);
    const std::vector<PackedDate> held(days.begin(), days.begin() + 10);
    const std::vector<PackedDate> recent(days.begin() + 7, days.end());
    auto matrix = test::CMarketBuilder()
                      .Calendar(held)
                      .Security(1301, 1, held.front(), Rows(10, 500))
                      .Build();
    const fs::path updateContent = Generate(
        test::CMarketBuilder().Calendar(recent).Security(1301, 1, recent.front(), Rows(6, 570)),
        "update.kbx");

    MatrixIndex index = SampleIndex();
    index.latestDate = days.back();
    index.updates = {{days.back(), held.back()}};
    ASSERT_TRUE(loader_.ParseIndex(EncodeMatrixIndex(index)));

    test::CRecordingSink sink;
    EXPECT_EQ(loader_.UpdateMatrix(*matrix, server_.Host(), nullptr, &sink),
              AcquisitionOutcome{kAcquisitionUpdateFailed});
    EXPECT_EQ(matrix->DailyCalendar().Count(), 10u);

    PublishPackage(index.directory, loader_.FormatUpdateName(days.back()), updateContent);
    ASSERT_EQ(loader_.UpdateMatrix(*matrix, server_.Host(), nullptr, &sink),
              AcquisitionOutcome{kAcquisitionOk});
    EXPECT_EQ(matrix->DailyCalendar().Count(), 13u);
    const SecurityRecord* security = matrix->FindSecurity(MakeSecurityKey(1301, 1));
    ASSERT_NE(security, nullptr);
    EXPECT_EQ(security->lastDate, days.back());
    EXPECT_TRUE(TemporaryIsEmpty());

    // Now current: nothing to fetch.
    const std::size_t requests = server_.Requests().size();
    EXPECT_EQ(loader_.UpdateMatrix(*matrix, server_.Host(), nullptr, &sink),
              AcquisitionOutcome{kAcquisitionNoUpdate});
    EXPECT_EQ(server_.Requests().size(), requests);
}

} // namespace
} // namespace vorn
