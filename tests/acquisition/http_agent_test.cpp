#include "acquisition/http_agent.h"

#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <random>

#include "support/http_test_server.h"
#include "support/test_files.h"

namespace vorn {
namespace {

using vorn::test::ReadWholeFile;

using test::CHttpTestServer;
using test::HttpTestResponse;

std::string Pattern(std::size_t size) {
    std::string body(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        body[i] = static_cast<char>((i * 131 + 7) & 0xFF);
    return body;
}

std::string BufferText(const GrowableBuffer& buffer) {
    return std::string(reinterpret_cast<const char*>(buffer.data.get()), buffer.length);
}

class HttpAgentTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server_.IsListening());
        std::random_device random;
        directory_ = std::filesystem::temp_directory_path() /
                     ("vorn_http_agent_" + std::to_string(random()));
        std::filesystem::create_directories(directory_);
        ASSERT_TRUE(agency_.OpenSession());
        agent_.SetTimeouts(2000, 300);
    }
    void TearDown() override {
        std::error_code ignored;
        std::filesystem::remove_all(directory_, ignored);
    }
    void ConnectAgent() { ASSERT_TRUE(agency_.Connect(agent_, server_.Host())); }
    bool HasPartialFiles() const {
        for (const auto& entry : std::filesystem::directory_iterator(directory_))
            if (entry.path().extension() == ".part")
                return true;
        return false;
    }

    CHttpTestServer server_;
    CAgency agency_;
    CHttpAgent agent_;
    std::filesystem::path directory_;
};

TEST_F(HttpAgentTest, ConnectNeedsAnOpenSessionAndLeavesTheAgentAloneOtherwise) {
    CAgency closed;
    EXPECT_FALSE(closed.Connect(agent_, server_.Host()));
    EXPECT_FALSE(agent_.IsConnected());

    server_.Serve("/a", "first server");
    ConnectAgent();
    EXPECT_FALSE(closed.Connect(agent_, "127.0.0.1:1"));
    EXPECT_FALSE(agency_.Connect(agent_, "127.0.0.1:99999"));
    EXPECT_FALSE(agency_.Connect(agent_, ""));
    ASSERT_TRUE(agent_.IsConnected());
    GrowableBuffer buffer;
    ASSERT_TRUE(agent_.FetchToBuffer(buffer, "a"));
    EXPECT_EQ(BufferText(buffer), "first server");

    // Closing the session does not strand a connected agent.
    agency_.CloseSession();
    EXPECT_TRUE(agent_.FetchToBuffer(buffer, "/a"));
    agent_.Disconnect();
    EXPECT_FALSE(agent_.IsConnected());
}

TEST_F(HttpAgentTest, BufferGrowsByChunksAndKeepsItsCapacityAcrossFetches) {
    const std::string exact = Pattern(40960);
    server_.Serve("/exact", exact);
    server_.Serve("/small", "tiny");
    server_.Serve("/empty", "");
    server_.Serve("/large", Pattern(100000));
    ConnectAgent();

    GrowableBuffer empty;
    ASSERT_TRUE(agent_.FetchToBuffer(empty, "empty"));
    EXPECT_EQ(empty.length, 0u);
    EXPECT_EQ(empty.capacity, 40960u);

    GrowableBuffer buffer;
    ASSERT_TRUE(agent_.FetchToBuffer(buffer, "exact"));
    EXPECT_EQ(buffer.length, 40960u);
    EXPECT_EQ(buffer.capacity, 81920u);
    EXPECT_EQ(BufferText(buffer), exact);

    ASSERT_TRUE(agent_.FetchToBuffer(buffer, "small"));
    EXPECT_EQ(BufferText(buffer), "tiny");
    EXPECT_EQ(buffer.capacity, 81920u);

    ASSERT_TRUE(agent_.FetchToBuffer(buffer, "large"));
    EXPECT_EQ(BufferText(buffer), Pattern(100000));
    EXPECT_EQ(buffer.capacity, 122880u);

    // The status is not the agent's business: an error page is a body like any other.
    ASSERT_TRUE(agent_.FetchToBuffer(buffer, "missing"));
    EXPECT_NE(BufferText(buffer).find("404"), std::string::npos);
}

TEST_F(HttpAgentTest, RequestsCarryTheAgentNameAndOnlyCredentialsThatWereSet) {
    server_.Serve("/who", "x");
    agent_.SetCredentials("", "");
    EXPECT_EQ(agent_.GetUserName(), nullptr);
    EXPECT_EQ(agent_.GetPassword(), nullptr);
    ConnectAgent();
    GrowableBuffer buffer;
    ASSERT_TRUE(agent_.FetchToBuffer(buffer, "who"));

    agent_.SetCredentials("user", "secret");
    ConnectAgent();
    ASSERT_TRUE(agent_.FetchToBuffer(buffer, "who"));

    const auto requests = server_.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].rfind("GET /who HTTP/1.1\r\n", 0), 0u) << requests[0];
    EXPECT_NE(requests[0].find("User-Agent: ZazizarazovaDurezo\r\n"), std::string::npos);
    EXPECT_NE(requests[0].find("Cache-Control: no-cache"), std::string::npos);
    EXPECT_EQ(requests[0].find("Authorization:"), std::string::npos);
    EXPECT_NE(requests[1].find("Authorization: Basic dXNlcjpzZWNyZXQ="), std::string::npos);
}

TEST_F(HttpAgentTest, FetchToFileWritesTheBodyAndCanHandOverTheOpenFile) {
    const std::string body = Pattern(50000);
    server_.Serve("/item.yid", body);
    ConnectAgent();

    const auto path = directory_ / "item.yid";
    ASSERT_TRUE(agent_.FetchToFile(path, "item.yid", nullptr));
    EXPECT_EQ(ReadWholeFile(path), body);

    FileHandle handle(std::fopen(path.c_str(), "rb"));
    ASSERT_TRUE(agent_.FetchToFile(path, "item.yid", &handle));
    ASSERT_NE(handle, nullptr);
    std::string readBack(body.size() + 1, '\0');
    EXPECT_EQ(std::fread(readBack.data(), 1, readBack.size(), handle.get()), body.size());
    readBack.resize(body.size());
    EXPECT_EQ(readBack, body);
    EXPECT_FALSE(HasPartialFiles());
}

TEST_F(HttpAgentTest, BrokenTransfersLeaveNoPartialFile) {
    HttpTestResponse dropped;
    dropped.body = Pattern(30000);
    dropped.ending = HttpTestResponse::Ending::CloseMidway;
    dropped.cutAfter = 10000;
    server_.Serve("/dropped", dropped);
    ConnectAgent();

    const auto path = directory_ / "dropped.bin";
    FileHandle handle;
    EXPECT_FALSE(agent_.FetchToFile(path, "dropped", &handle));
    EXPECT_EQ(handle, nullptr);
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_FALSE(HasPartialFiles());

    // A file that was already there survives a broken download.
    std::ofstream(path, std::ios::binary) << "previous";
    EXPECT_FALSE(agent_.FetchToFile(path, "dropped", nullptr));
    EXPECT_EQ(ReadWholeFile(path), "previous");

    GrowableBuffer buffer;
    EXPECT_FALSE(agent_.FetchToBuffer(buffer, "dropped"));

    EXPECT_FALSE(agent_.FetchToFile(directory_ / "no" / "such" / "dir", "dropped", nullptr));
}

TEST_F(HttpAgentTest, StalledUnreachableOrUnconnectedServersFailCleanly) {
    HttpTestResponse stalled;
    stalled.body = Pattern(20000);
    stalled.ending = HttpTestResponse::Ending::StallMidway;
    stalled.cutAfter = 5000;
    server_.Serve("/stalled", stalled);
    HttpTestResponse silent;
    silent.ending = HttpTestResponse::Ending::Silent;
    server_.Serve("/silent", silent);
    ConnectAgent();

    const auto path = directory_ / "stalled.bin";
    EXPECT_FALSE(agent_.FetchToFile(path, "stalled", nullptr));
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_FALSE(HasPartialFiles());
    GrowableBuffer buffer;
    EXPECT_FALSE(agent_.FetchToBuffer(buffer, "silent"));

    ASSERT_TRUE(
        agency_.Connect(agent_, "127.0.0.1:" + std::to_string(CHttpTestServer::UnusedPort())));
    EXPECT_FALSE(agent_.FetchToFile(path, "stalled", nullptr));
    agent_.Disconnect();
    EXPECT_FALSE(agent_.FetchToBuffer(buffer, "stalled"));
    EXPECT_FALSE(agent_.FetchToFile(path, "stalled", nullptr));
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_FALSE(HasPartialFiles());
}

// --- Slow and failing servers ---

TEST_F(HttpAgentTest, SilentAndDripFeedingServersFailInTimeNamingTheCause) {
    HttpTestResponse silent;
    silent.ending = HttpTestResponse::Ending::Silent;
    server_.Serve("/silent", silent);
    HttpTestResponse drip;
    drip.body = Pattern(4000);
    drip.ending = HttpTestResponse::Ending::Drip;
    drip.dripInterval = std::chrono::milliseconds(40);
    server_.Serve("/drip", drip);
    // Windows of half a second: at least 512 bytes must arrive in each.
    agent_.SetTimeouts(2000, 500);
    ConnectAgent();
    const std::string prefix = "http://" + server_.Host();

    GrowableBuffer buffer;
    EXPECT_FALSE(agent_.FetchToBuffer(buffer, "silent"));
    EXPECT_EQ(agent_.LastFailure().cause, TransferCause::TimedOut);
    EXPECT_EQ(agent_.LastFailure().Describe(), prefix + "/silent: timed out (no data for 0.5 s)");

    const auto path = directory_ / "drip.bin";
    EXPECT_FALSE(agent_.FetchToFile(path, "drip", nullptr));
    EXPECT_EQ(agent_.LastFailure().cause, TransferCause::TooSlow);
    EXPECT_EQ(agent_.LastFailure().Describe(),
              prefix + "/drip: too slow (under 1024 bytes/s for 0.5 s)");
    EXPECT_EQ(agent_.LastFailure().status, 200);
    EXPECT_FALSE(HasPartialFiles());

    // Fast enough for the minimum rate, but past the whole request's deadline.
    agent_.SetMinimumRate(1);
    agent_.SetDeadline(800, 1024 * 1024);
    EXPECT_FALSE(agent_.FetchToBuffer(buffer, "drip"));
    EXPECT_EQ(agent_.LastFailure().cause, TransferCause::DeadlinePassed);
    EXPECT_EQ(agent_.LastFailure().Describe(), prefix + "/drip: timed out (not done within 0.8 s)");

    // The deadline grows with the size expected: 1 MiB at 1 MiB/s adds a second.
    server_.Serve("/quick", "done");
    agent_.SetExpectedSize(1024 * 1024);
    ASSERT_TRUE(agent_.FetchToBuffer(buffer, "quick"));
    EXPECT_FALSE(agent_.LastFailure().Failed());
}

TEST_F(HttpAgentTest, FailureTextsTellRefusedConnectionsDroppedBodiesAndOversizedOnes) {
    const std::string deadHost = "127.0.0.1:" + std::to_string(CHttpTestServer::UnusedPort());
    ASSERT_TRUE(agency_.Connect(agent_, deadHost));
    GrowableBuffer buffer;
    EXPECT_FALSE(agent_.FetchToBuffer(buffer, "vorn/a b.idx"));
    EXPECT_EQ(agent_.LastFailure().cause, TransferCause::ConnectionRefused);
    EXPECT_EQ(agent_.LastFailure().Describe(),
              "http://" + deadHost + "/vorn/a b.idx: connection refused");

    HttpTestResponse dropped;
    dropped.body = Pattern(30000);
    dropped.ending = HttpTestResponse::Ending::CloseMidway;
    dropped.cutAfter = 10000;
    server_.Serve("/dropped", dropped);
    server_.Serve("/large", Pattern(5000));
    ConnectAgent();
    EXPECT_FALSE(agent_.FetchToBuffer(buffer, "dropped"));
    EXPECT_EQ(agent_.LastFailure().cause, TransferCause::Dropped);
    EXPECT_EQ(agent_.LastFailure().host, server_.Host());
    EXPECT_EQ(agent_.LastFailure().path, "/dropped");

    agent_.SetExpectedSize(0, 4999);
    EXPECT_FALSE(agent_.FetchToFile(directory_ / "large", "large", nullptr));
    EXPECT_EQ(agent_.LastFailure().cause, TransferCause::TooLarge);
    EXPECT_FALSE(HasPartialFiles());
    agent_.SetExpectedSize(0, 5000);
    EXPECT_TRUE(agent_.FetchToFile(directory_ / "large", "large", nullptr));

    // Bodies of error pages are delivered; the status stays known.
    EXPECT_TRUE(agent_.FetchToBuffer(buffer, "missing"));
    EXPECT_EQ(agent_.LastStatus(), 404);
}

TEST(ServerHost, SplitsHostAndPort) {
    std::string host;
    std::uint16_t port = 0;
    ASSERT_TRUE(SplitServerHost("matrix.example", 80, host, port));
    EXPECT_EQ(host, "matrix.example");
    EXPECT_EQ(port, 80);
    ASSERT_TRUE(SplitServerHost("127.0.0.1:8080", 80, host, port));
    EXPECT_EQ(host, "127.0.0.1");
    EXPECT_EQ(port, 8080);
    ASSERT_TRUE(SplitServerHost("[::1]:81", 80, host, port));
    EXPECT_EQ(host, "::1");
    EXPECT_EQ(port, 81);

    host = "kept";
    for (const char* bad : {"", ":80", "host:", "host:0", "host:65536", "host:8o", "a/b",
                            "user@host", "host name", "[::1", "[::1]x"})
        EXPECT_FALSE(SplitServerHost(bad, 80, host, port)) << bad;
    EXPECT_EQ(host, "kept");
}

TEST(ServerHost, ComposesUrlsWithUnsafeBytesEscaped) {
    EXPECT_EQ(ComposeHttpUrl("h", 8080, "/a b#c"), "http://h:8080/a%20b%23c");
    EXPECT_EQ(ComposeHttpUrl("::1", 80, "\x93\xfa"), "http://[::1]:80/%93%FA");
}

} // namespace
} // namespace vorn
