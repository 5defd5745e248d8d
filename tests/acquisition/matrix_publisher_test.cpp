#include "acquisition/matrix_publisher.h"

#include <arpa/inet.h>
#include <cstring>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <memory>
#include <netinet/in.h>
#include <random>
#include <sys/socket.h>
#include <unistd.h>

#include "acquisition/cabinet.h"
#include "acquisition/market_matrix_loader.h"
#include "acquisition/static_http_server.h"
#include "matrix/matrix_file.h"
#include "support/market_builder.h"
#include "support/test_files.h"

namespace vorn {
namespace {

using vorn::test::ReadWholeFile;

namespace fs = std::filesystem;
using test::CMarketBuilder;
using test::Ohlcv;

const std::vector<PackedDate> kCalendar = test::Weekdays(MakePackedDate(2006, 1, 4), 600);

std::vector<Ohlcv> Rows(int count, std::uint32_t base) {
    std::vector<Ohlcv> rows;
    for (int i = 0; i < count; ++i) {
        const std::uint32_t p = base + static_cast<std::uint32_t>(i % 50);
        rows.push_back({p, p + 3, p - 2, p + 1, 100u + static_cast<std::uint64_t>(i)});
    }
    return rows;
}

// 1301 trades throughout, 7203 from day 100, 8001 stopped trading at day 199.
std::unique_ptr<CMarketMatrix> Market() {
    return CMarketBuilder()
        .Calendar(kCalendar)
        .Company(7203, 16, "\x83\x67\x83\x88\x83\x5e", "text")
        .Security(1301, 1, kCalendar[0], Rows(600, 100))
        .Security(7203, 1, kCalendar[100], Rows(500, 3000))
        .Security(8001, 1, kCalendar[0], Rows(200, 700))
        .Adjustment(7203, 1, kCalendar[300], 0.5)
        .Build();
}

class PublisherTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::random_device random;
        root_ = fs::temp_directory_path() / ("vorn_publish_" + std::to_string(random()));
        fs::create_directories(root_ / "work");
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }
    // Unpacks a published cabinet as the loader does and restores its content.
    void RestoreCabinet(const MatrixIndex& index, const std::string& innerName,
                        CMarketMatrix& out) {
        const fs::path cabinet =
            root_ / "tree/vorn/MarketMatrix" / index.directory / ("_" + innerName);
        const fs::path copy = root_ / "work" / ("_" + innerName);
        fs::copy_file(cabinet, copy, fs::copy_options::overwrite_existing);
        const fs::path content = root_ / "work" / innerName;
        ASSERT_TRUE(UnpackCabinet(innerName, content, copy)) << innerName;
        ASSERT_EQ(RestoreMatrix(out, content, nullptr, nullptr), kMatrixOk) << innerName;
    }
    fs::path root_;
};

TEST_F(PublisherTest, TreeHoldsTheIndexPackagesAndUpdatesTheLoaderAsksFor) {
    PublishOptions options;
    options.years = {5, 1, 1};
    options.updates = 3;
    options.version = 0x01020304;
    MatrixIndex published;
    ASSERT_EQ(PublishMatrix(*Market(), root_ / "tree", options, &published), kPublishOk);

    CMarketMatrixLoader loader;
    const std::string indexBytes = ReadWholeFile(root_ / "tree/vorn/MarketMatrix/MarketMatrix.idx");
    ASSERT_TRUE(loader.ParseIndex(
        std::span(reinterpret_cast<const std::uint8_t*>(indexBytes.data()), indexBytes.size())));
    const MatrixIndex& index = loader.Index();
    EXPECT_EQ(index.version, 0x01020304u);
    EXPECT_EQ(index.directory, "01020304");
    EXPECT_EQ(index.latestDate, kCalendar.back());
    // One year before 2008/04/22 (the newest day) is 2007/04/22, a Sunday.
    ASSERT_EQ(kCalendar.back(), MakePackedDate(2008, 4, 22));
    const std::map<std::uint8_t, PackedDate> packages = {{1, MakePackedDate(2007, 4, 23)},
                                                         {5, kCalendar[0]}};
    EXPECT_EQ(index.packages, packages);
    const std::map<PackedDate, PackedDate> updates = {{kCalendar[597], kCalendar[596]},
                                                      {kCalendar[598], kCalendar[597]},
                                                      {kCalendar[599], kCalendar[598]}};
    EXPECT_EQ(index.updates, updates);
    EXPECT_EQ(published.updates, updates);

    CMarketMatrix oneYear;
    RestoreCabinet(index, "01.kbx", oneYear);
    EXPECT_EQ(*oneYear.DailyCalendar().First(), MakePackedDate(2007, 4, 23));
    EXPECT_EQ(oneYear.Securities().size(), 2u); // 8001 stopped long before
    EXPECT_EQ(oneYear.FindCompany(8001), nullptr);
    const CompanyRecord* toyota = oneYear.FindCompany(7203);
    ASSERT_NE(toyota, nullptr);
    EXPECT_EQ(toyota->name, std::string("\x83\x67\x83\x88\x83\x5e"));
    EXPECT_EQ(toyota->industry, 16);

    CMarketMatrix fiveYears;
    RestoreCabinet(index, "05.kbx", fiveYears);
    EXPECT_EQ(fiveYears.DailyCalendar().Count(), 600);
    EXPECT_EQ(fiveYears.Securities().size(), 3u);

    CMarketMatrix update;
    RestoreCabinet(index, "20080418.kbx", update);
    EXPECT_EQ(update.DailyCalendar().Count(), 3);
    const SecurityRecord* s = update.FindSecurity(MakeSecurityKey(7203, 1));
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->firstDate, kCalendar[597]);
    EXPECT_EQ(s->prices.count, 3);
    ASSERT_TRUE(s->adjustments != nullptr);
    EXPECT_EQ(s->adjustments->entries.size(), 1u);
}

TEST(MatrixSlice, CutsEverySecurityToTheDaysAskedFor) {
    const auto market = Market();
    CMarketMatrix slice;
    ASSERT_TRUE(SliceMatrix(*market, kCalendar[50], kCalendar[150], slice));
    EXPECT_EQ(slice.DailyCalendar().Count(), 101);
    EXPECT_EQ(slice.WeeklyCalendar().Count(), 21);

    const SecurityRecord& source = market->Securities().at(MakeSecurityKey(7203, 1));
    const SecurityRecord* cut = slice.FindSecurity(MakeSecurityKey(7203, 1));
    ASSERT_NE(cut, nullptr);
    EXPECT_EQ(cut->firstDate, kCalendar[100]);
    EXPECT_EQ(cut->lastDate, kCalendar[150]);
    ASSERT_EQ(cut->prices.count, 51);
    ASSERT_EQ(cut->volumes.count, 51);
    EXPECT_EQ(std::memcmp(cut->prices.data.get(), source.prices.data.get(), cut->prices.ByteSize()),
              0);
    const SecurityRecord* whole = slice.FindSecurity(MakeSecurityKey(1301, 1));
    ASSERT_NE(whole, nullptr);
    EXPECT_EQ(whole->volumes.As<std::uint8_t>()[0] + 0, 150); // day 50 of 100 + i
    EXPECT_EQ(slice.Securities().size(), 3u);

    // Days outside the calendar select nothing; a security that ends inside is cut there.
    ASSERT_TRUE(SliceMatrix(*market, MakePackedDate(1990, 1, 1), kCalendar[10], slice));
    EXPECT_EQ(slice.DailyCalendar().Count(), 11);
    EXPECT_EQ(slice.FindSecurity(MakeSecurityKey(7203, 1)), nullptr);
    ASSERT_TRUE(
        SliceMatrix(*market, MakePackedDate(2030, 1, 1), MakePackedDate(2031, 1, 1), slice));
    EXPECT_TRUE(slice.Securities().empty());

    // A security whose arrays are shorter than its dates claim is refused, not overread.
    auto damaged = Market();
    damaged->Securities().at(MakeSecurityKey(1301, 1)).prices.count = 10;
    EXPECT_FALSE(SliceMatrix(*damaged, kCalendar[0], kCalendar[599], slice));
}

TEST(MatrixSlice, PublishRefusesWhatItCannotOffer) {
    CMarketMatrix empty;
    const fs::path out = fs::temp_directory_path() / "vorn_publish_never_written";
    EXPECT_EQ(PublishMatrix(empty, out, {}), kPublishEmptyMatrix);
    PublishOptions options;
    options.years = {0};
    EXPECT_EQ(PublishMatrix(*Market(), out, options), kPublishBadOptions);
    options.years = {256};
    EXPECT_EQ(PublishMatrix(*Market(), out, options), kPublishBadOptions);
    options.years = {};
    options.updates = 0;
    EXPECT_EQ(PublishMatrix(*Market(), out, options), kPublishBadOptions);
    EXPECT_FALSE(fs::exists(out));
    EXPECT_EQ(PackageFirstDay(CCalendar(), 1), kNoDate);
}

// --- The static server ---

// Sends `request` as it is and returns everything the server answers.
std::string Exchange(std::uint16_t port, const std::string& request) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    std::string reply;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::send(fd, request.data(), request.size(), MSG_NOSIGNAL) ==
            static_cast<ssize_t>(request.size())) {
        char buffer[4096];
        ssize_t got;
        while ((got = ::recv(fd, buffer, sizeof buffer, 0)) > 0)
            reply.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(fd);
    return reply;
}

std::string StatusLine(const std::string& reply) {
    return reply.substr(0, reply.find("\r\n"));
}

TEST_F(PublisherTest, ServerDeliversTheTreeAndNothingOutsideIt) {
    fs::create_directories(root_ / "tree/vorn");
    std::string body(100000, '\0');
    for (std::size_t i = 0; i < body.size(); ++i)
        body[i] = static_cast<char>(i * 7);
    std::ofstream(root_ / "tree/vorn/file name.bin", std::ios::binary) << body;
    std::ofstream(root_ / "secret.txt") << "outside";
    fs::create_symlink(root_ / "secret.txt", root_ / "tree/vorn/link.txt");

    CStaticHttpServer server(root_ / "tree");
    ASSERT_TRUE(server.Start());
    CMarketMatrixLoader loader;
    ASSERT_EQ(loader.TransferFile("vorn/file name.bin", server.Host(), root_ / "got.bin"),
              kTransferDone);
    EXPECT_EQ(ReadWholeFile(root_ / "got.bin"), body);

    const std::uint16_t port = server.Port();
    EXPECT_EQ(StatusLine(Exchange(port, "GET /vorn/file%20name.bin HTTP/1.0\r\n\r\n")),
              "HTTP/1.1 200 OK");
    const std::string head = Exchange(port, "HEAD /vorn/file%20name.bin HTTP/1.0\r\n\r\n");
    EXPECT_NE(head.find("Content-Length: 100000\r\n"), std::string::npos);
    EXPECT_EQ(head.size(), head.find("\r\n\r\n") + 4);
    EXPECT_EQ(StatusLine(Exchange(port, "GET /vorn/missing.kbx HTTP/1.0\r\n\r\n")),
              "HTTP/1.1 404 Not Found");
    EXPECT_EQ(StatusLine(Exchange(port, "GET /vorn HTTP/1.0\r\n\r\n")), "HTTP/1.1 404 Not Found");
    EXPECT_EQ(StatusLine(Exchange(port, "GET /vorn/link.txt HTTP/1.0\r\n\r\n")),
              "HTTP/1.1 404 Not Found");
    for (const char* target : {"/../secret.txt", "/vorn/%2e%2e/../secret.txt", "/%2E%2E/secret.txt",
                               "/vorn/..%5csecret.txt", "/vorn/%zz", "relative"})
        EXPECT_EQ(StatusLine(Exchange(port, std::string("GET ") + target + " HTTP/1.0\r\n\r\n")),
                  "HTTP/1.1 403 Forbidden")
            << target;
    EXPECT_EQ(StatusLine(Exchange(port, "PUT /vorn/x HTTP/1.0\r\n\r\n")),
              "HTTP/1.1 405 Method Not Allowed");
    EXPECT_EQ(server.RequestCount(), 13u);
    server.Stop();
    EXPECT_EQ(Exchange(port, "GET /vorn/file%20name.bin HTTP/1.0\r\n\r\n"), "");

    CStaticHttpServer nowhere(root_ / "no such folder");
    EXPECT_FALSE(nowhere.Start());
}

// A connection that says nothing, or only part of a request, and stays open.
class CIdleClient {
public:
    CIdleClient(std::uint16_t port, const std::string& partialRequest) {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(port);
        connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
        if (connected_ && !partialRequest.empty())
            ::send(fd_, partialRequest.data(), partialRequest.size(), MSG_NOSIGNAL);
    }
    ~CIdleClient() { ::close(fd_); }
    CIdleClient(const CIdleClient&) = delete;
    CIdleClient& operator=(const CIdleClient&) = delete;
    bool Connected() const { return connected_; }

private:
    int fd_ = -1;
    bool connected_ = false;
};

TEST_F(PublisherTest, IdleClientsDoNotHoldUpADownloadAndRangesAreServed) {
    fs::create_directories(root_ / "tree/vorn");
    std::string body(2 << 20, '\0');
    for (std::size_t i = 0; i < body.size(); ++i)
        body[i] = static_cast<char>(i * 13 + (i >> 12));
    std::ofstream(root_ / "tree/vorn/_10.kbx", std::ios::binary) << body;
    CStaticHttpServer server(root_ / "tree");
    ASSERT_TRUE(server.Start());

    std::vector<std::unique_ptr<CIdleClient>> idle;
    for (int i = 0; i < 20; ++i) {
        idle.push_back(std::make_unique<CIdleClient>(
            server.Port(),
            i % 2 == 0 ? std::string() : std::string("GET /vorn/_10.kbx HTTP/1.1\r\n")));
        ASSERT_TRUE(idle.back()->Connected());
    }
    // Four seconds without data fail the transfer: a server that waited for each idle client in
    // turn would keep this one waiting for well over a minute. (The window leaves room for a
    // machine busy with other tests.)
    CMarketMatrixLoader loader;
    loader.SetTimeouts(5000, 4000);
    ASSERT_EQ(loader.TransferFile("vorn/_10.kbx", server.Host(), root_ / "got.bin"), kTransferDone)
        << loader.LastFailure().Describe();
    EXPECT_EQ(ReadWholeFile(root_ / "got.bin"), body);

    const std::string part =
        Exchange(server.Port(), "GET /vorn/_10.kbx HTTP/1.1\r\nHost: x\r\nRange: bytes=1000-1999"
                                "\r\nConnection: close\r\n\r\n");
    EXPECT_EQ(StatusLine(part), "HTTP/1.1 206 Partial Content");
    EXPECT_NE(part.find("Content-Range: bytes 1000-1999/" + std::to_string(body.size())),
              std::string::npos);
    EXPECT_EQ(part.substr(part.find("\r\n\r\n") + 4), body.substr(1000, 1000));
    const std::string tail =
        Exchange(server.Port(), "GET /vorn/_10.kbx HTTP/1.0\r\nRange: bytes=" +
                                    std::to_string(body.size() - 10) + "-\r\n\r\n");
    EXPECT_EQ(tail.substr(tail.find("\r\n\r\n") + 4), body.substr(body.size() - 10));
    idle.clear();
    server.Stop();
}

} // namespace
} // namespace vorn
