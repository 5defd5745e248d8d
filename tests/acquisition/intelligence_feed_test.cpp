#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <iterator>
#include <random>
#include <sys/wait.h>
#include <thread>

#include "acquisition/intelligence_agent.h"
#include "acquisition/intelligence_writer.h"
#include "acquisition/vorn_agent.h"
#include "contents/file_bytes.h"
#include "foundation/text_encoding.h"
#include "support/http_test_server.h"
#include "support/recording_sink.h"

namespace vorn {
namespace {

using test::CHttpTestServer;
using test::CRecordingSink;
using test::HttpTestResponse;

constexpr char kIndexPath[] = "/vorn/IntelligenceIndex.rpt2";
const PackedDateTime kStamp = MakePackedDateTime(2026, 12, 7, 12, 0, 1);
const PackedDateTime kNewerStamp = MakePackedDateTime(2026, 12, 7, 12, 5, 1);

IntelligenceItem MakeItem(std::uint32_t id, PackedDateTime delivered, std::string subject,
                          PackedDate expiry = kOpenEnd) {
    IntelligenceItem item;
    item.id = id;
    item.delivered = delivered;
    item.expiry = expiry;
    item.linkType = kLinkServerPage;
    item.stock = MakeSecurityKey(7203, 1);
    item.subject = std::move(subject);
    item.link = "/vorn/news/" + std::to_string(id) + ".html";
    return item;
}

std::string AsText(const std::vector<std::uint8_t>& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

std::span<const std::uint8_t> Prefix(const std::vector<std::uint8_t>& bytes, std::size_t size) {
    return {bytes.data(), size};
}

bool WaitFor(const std::function<bool()>& condition, int timeoutMs = 10000) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

std::size_t CountRequests(const CHttpTestServer& server, const std::string& path) {
    std::size_t count = 0;
    for (const std::string& head : server.Requests())
        count += head.rfind("GET " + path + " ", 0) == 0 ? 1 : 0;
    return count;
}

// --- Files ---

TEST(IntelligenceFilesTest, WriterOutputReadsBackAsTheList) {
    const std::string list = "# id\tdelivered\texpiry\ttype\tflags\tstock\tsubject\tlink\tmessage\n"
                             "1\t2026/12/01 09:30\t2077/12/31\t1\t0\t7203:1\t新しい分析画面\t/"
                             "vorn/news/1.html\n"
                             "\n"
                             "2\t2026/12/05 18:00\t-\t3\t8\t0\t停止\t\t一行目\\n二行目\\t\\\\\r\n";
    std::vector<IntelligenceItem> items;
    std::string error;
    ASSERT_TRUE(ParseIntelligenceList(list, items, error)) << error;
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0].stock, MakeSecurityKey(7203, 1));
    EXPECT_EQ(items[0].subject, Utf8ToCp932("新しい分析画面"));
    EXPECT_EQ(FormatDeliveredTime(items[0].delivered), "2026/12/01 09:30");
    EXPECT_EQ(DateTimeWeekday(items[0].delivered), 2u); // a Tuesday
    EXPECT_EQ(items[1].expiry, kOpenEnd);
    EXPECT_EQ(items[1].flags, kItemFlagFullSizeMessage);
    EXPECT_EQ(items[1].message, Utf8ToCp932("一行目\n二行目\t\\"));

    std::random_device random;
    const auto root =
        std::filesystem::temp_directory_path() / ("vorn_feed_writer_" + std::to_string(random()));
    IntelligencePublication publication;
    publication.index = {1, kStamp, 60000, 30000, "Items/2026"};
    publication.items = items;
    std::filesystem::path itemFile;
    ASSERT_EQ(PublishIntelligenceFeed(root, publication, &itemFile), kFeedPublishOk);
    EXPECT_EQ(itemFile, root / "vorn/Items/2026/20261207_1200_02.yid");

    auto readAll = [](const std::filesystem::path& path) {
        std::ifstream in(path, std::ios::binary);
        return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
    };
    IntelligenceIndexHeader header;
    ASSERT_TRUE(DecodeIntelligenceIndex(readAll(root / "vorn" / kIntelligenceIndexName), header));
    EXPECT_EQ(header.stamp, kStamp);
    EXPECT_EQ(header.intervalOther, 60000u);
    EXPECT_EQ(header.intervalFull, 30000u);
    EXPECT_EQ(header.itemDirectory, "Items/2026");
    CIntelligenceIndex index;
    ASSERT_EQ(index.LoadItems(readAll(itemFile)), ItemLoadResult::Loaded);
    ASSERT_EQ(index.Items().size(), 2u);
    EXPECT_EQ(index.Items().at(1), items[0]);
    EXPECT_EQ(index.Items().at(2), items[1]);

    // Folders that would leave the output root are refused before anything is written.
    publication.index.itemDirectory = "../outside";
    EXPECT_EQ(PublishIntelligenceFeed(root, publication), kFeedPublishBadOptions);
    publication.index.itemDirectory = "";
    publication.directory = "/etc";
    EXPECT_EQ(PublishIntelligenceFeed(root, publication), kFeedPublishBadOptions);
    EXPECT_FALSE(std::filesystem::exists(root.parent_path() / "outside"));
    std::filesystem::remove_all(root);
}

TEST(IntelligenceFilesTest, ListErrorsNameTheLineAndKeepTheItems) {
    std::vector<IntelligenceItem> items{MakeItem(9, kStamp, "kept")};
    std::string error;
    const std::vector<std::string> bad = {
        "1\t2026/12/01 09:30\t2077/12/31\t1\t0\t7203:1",              // too few fields
        "x\t2026/12/01 09:30\t2077/12/31\t1\t0\t0\ts",                // id
        "1\t2026/12/01 24:30\t2077/12/31\t1\t0\t0\ts",                // hour
        "1\t2026/12/01 09:30\t2078/01/01\t1\t0\t0\ts",                // expiry out of range
        "1\t2026/12/01 09:30\t2077/12/31\t4\t0\t0\ts",                // link type
        "1\t2026/12/01 09:30\t2077/12/31\t1\t0\t7203:16\ts",          // market
        "1\t2026/12/01 09:30\t-\t1\t0\t0\t" + std::string(4096, 'a'), // text length
    };
    for (const std::string& line : bad) {
        const std::string list = std::string("2\t2026/12/01 09:30\t-\t0\t0\t0\tfine\n") + line;
        EXPECT_FALSE(ParseIntelligenceList(list, items, error)) << line;
        EXPECT_EQ(error.rfind("line 2:", 0), 0u) << error;
        ASSERT_EQ(items.size(), 1u);
        EXPECT_EQ(items[0].subject, "kept");
    }
}

TEST(IntelligenceFilesTest, EveryTruncatedIndexIsRefusedAndChangesNothing) {
    const std::vector<std::uint8_t> bytes =
        EncodeIntelligenceIndex({1, kStamp, 900000, 180000, "Intelligence"});
    IntelligenceIndexHeader header;
    ASSERT_TRUE(DecodeIntelligenceIndex(bytes, header));
    for (std::size_t size = 0; size < bytes.size(); ++size) {
        IntelligenceIndexHeader untouched{7, 1, 2, 3, "before"};
        EXPECT_FALSE(DecodeIntelligenceIndex(Prefix(bytes, size), untouched)) << size;
        EXPECT_EQ(untouched.itemDirectory, "before");
        EXPECT_EQ(untouched.stamp, 1u);
    }

    auto patched = [&](std::size_t at, std::uint8_t value) {
        std::vector<std::uint8_t> copy = bytes;
        copy[at] = value;
        return copy;
    };
    EXPECT_FALSE(DecodeIntelligenceIndex(patched(0, 0xFC), header));  // magic
    EXPECT_FALSE(DecodeIntelligenceIndex(patched(2, 0), header));     // version 0
    EXPECT_FALSE(DecodeIntelligenceIndex(patched(16, 0xFF), header)); // length past the end

    // An item folder must stay below the feed folder on the server.
    for (const char* folder : {"..", "a/../..", "/abs", "a//b", "a/", "a\\b", "a?b", "%2e%2e"}) {
        CByteWriter writer;
        writer.U16(kIntelligenceIndexMagic);
        writer.U8(1);
        writer.U32(kStamp);
        writer.U32(1);
        writer.U32(1);
        writer.U32(static_cast<std::uint32_t>(std::strlen(folder)));
        writer.Bytes({reinterpret_cast<const std::uint8_t*>(folder), std::strlen(folder)});
        EXPECT_FALSE(DecodeIntelligenceIndex(writer.Data(), header)) << folder;
    }
    EXPECT_TRUE(EncodeIntelligenceIndex({1, kStamp, 1, 1, std::string(256, 'a')}).empty());
}

TEST(IntelligenceFilesTest, EveryTruncatedItemFileKeepsWhatWasHeld) {
    const std::vector<IntelligenceItem> records{
        MakeItem(1, kStamp, "one"), MakeItem(2, kStamp, "two"), MakeItem(3, kStamp, "three")};
    const std::vector<std::uint8_t> bytes = EncodeIntelligenceItems(records);
    const IntelligenceItem held = MakeItem(99, kStamp, "held before");
    for (std::size_t size = 0; size < bytes.size(); ++size) {
        CIntelligenceIndex index;
        index.PutItem(held);
        const ItemLoadResult result = index.LoadItems(Prefix(bytes, size));
        EXPECT_EQ(result, size < 7 ? ItemLoadResult::Rejected : ItemLoadResult::Truncated) << size;
        ASSERT_TRUE(index.Items().count(99)) << size;
        EXPECT_EQ(index.Items().at(99), held);
        for (const auto& [id, item] : index.Items()) {
            if (id != 99) {
                EXPECT_EQ(item, records.at(id - 1)) << size;
            }
        }
    }
    CIntelligenceIndex index;
    index.PutItem(held);
    std::vector<std::uint8_t> noRecords = bytes;
    noRecords[3] = noRecords[4] = noRecords[5] = noRecords[6] = 0;
    EXPECT_EQ(index.LoadItems(noRecords), ItemLoadResult::Rejected);
    std::vector<std::uint8_t> wrongMagic = bytes;
    wrongMagic[1] = 0;
    EXPECT_EQ(index.LoadItems(wrongMagic), ItemLoadResult::Rejected);
    EXPECT_EQ(index.Items().size(), 1u);
}

TEST(IntelligenceFilesTest, LoadingKeepsTheFirstOfAnIdAndTheObjectsOfKnownIds) {
    CIntelligenceIndex index;
    ASSERT_EQ(index.LoadItems(EncodeIntelligenceItems(
                  std::vector{MakeItem(5, kStamp, "first"), MakeItem(5, kNewerStamp, "second"),
                              MakeItem(6, kStamp, "gone next time")})),
              ItemLoadResult::Loaded);
    ASSERT_EQ(index.Items().size(), 2u);
    EXPECT_EQ(index.Items().at(5).subject, "first");
    const IntelligenceItem* five = &index.Items().at(5);

    // Same delivered time: the held item stays as it was, even if the texts differ.
    ASSERT_EQ(index.LoadItems(EncodeIntelligenceItems(std::vector{MakeItem(5, kStamp, "edit")})),
              ItemLoadResult::Loaded);
    ASSERT_EQ(index.Items().size(), 1u);
    EXPECT_EQ(&index.Items().at(5), five);
    EXPECT_EQ(five->subject, "first");

    ASSERT_EQ(index.LoadItems(
                  EncodeIntelligenceItems(std::vector{MakeItem(5, kNewerStamp, "redelivered")})),
              ItemLoadResult::Loaded);
    EXPECT_EQ(&index.Items().at(5), five);
    EXPECT_EQ(five->subject, "redelivered");
}

TEST(IntelligenceFilesTest, ListingDropsExpiredItemsAndShowsTheNewestFirst) {
    const PackedDate today = MakePackedDate(2026, 12, 7);
    CIntelligenceIndex index;
    index.PutItem(MakeItem(1, kStamp, "today", today));
    index.PutItem(MakeItem(2, kNewerStamp, "yesterday", MakePackedDate(2026, 12, 6)));
    index.PutItem(MakeItem(3, kNewerStamp, "never expires"));
    index.PutItem(MakeItem(4, 0, "undated"));
    const std::vector<IntelligenceItem> rows = index.ListedItems(today);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].id, 3u);
    EXPECT_EQ(rows[1].id, 1u);
    EXPECT_EQ(rows[2].id, 4u);
    EXPECT_EQ(FormatDeliveredTime(rows[2].delivered), "----/--/-- --:--");
}

// --- Addresses ---

TEST(IntelligenceAddressTest, ItemAddressesAndWhichOfThemMayBeOpened) {
    CIntelligenceAgent agent;
    ASSERT_TRUE(agent.SetServerHost("feed.example:8080"));
    IntelligenceItem item = MakeItem(1, kStamp, "page");
    std::string url;
    EXPECT_TRUE(agent.FormatItemUrlOwn(url, item, false));
    EXPECT_EQ(url, "http://feed.example:8080/vorn/news/1.html");
    EXPECT_TRUE(agent.FormatItemUrl(url, "feed.example", item, true));
    EXPECT_EQ(url, "https://feed.example/vorn/news/1.html");
    // A relative link cannot run into the host name and name another server.
    item.link = "@elsewhere.example/x";
    EXPECT_TRUE(agent.FormatItemUrl(url, "feed.example", item, false));
    EXPECT_EQ(url, "http://feed.example/@elsewhere.example/x");
    EXPECT_FALSE(agent.FormatItemUrl(url, "feed.example/evil", item, false));
    EXPECT_TRUE(url.empty());

    item.linkType = kLinkWebAddress;
    item.link = "https://www.example.jp/a?b=c";
    EXPECT_TRUE(agent.FormatItemUrl(url, "feed.example", item, false));
    EXPECT_EQ(url, item.link);
    item.linkType = kLinkMessage;
    EXPECT_FALSE(agent.FormatItemUrl(url, "feed.example", item, false));
    item.linkType = kLinkServerPage;
    item.link.clear();
    EXPECT_FALSE(agent.FormatItemUrl(url, "feed.example", item, false));

    for (const char* address : {"http://example.com", "HTTPS://Example.com/a?b#c"})
        EXPECT_TRUE(IsOpenableWebAddress(address)) << address;
    for (const char* address :
         {"javascript:alert(1)", "file:///etc/passwd", "ftp://example.com", "http://", "http:///x",
          "https:/example.com", "https://example.com/a b", "mailto:a@example.com",
          "http://exa\tmple.com", " http://a.b", "httpx://a.b", "http:\\\\a.b"})
        EXPECT_FALSE(IsOpenableWebAddress(address)) << address;
}

// --- The worker against a real server ---

class IntelligenceWorkerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server_.IsListening());
        ASSERT_TRUE(agent_.SetServerHost(server_.Host()));
        ASSERT_TRUE(agent_.SetDirectory("vorn"));
        ASSERT_TRUE(agent_.SetItemKind("yid"));
        ASSERT_TRUE(agent_.SetPollTiming(20, 5));
        agent_.GetHttpAgent().SetTimeouts(2000, 1000);
    }

    // Serves an index with short intervals and its item file, as the writer makes them.
    void Publish(PackedDateTime stamp, std::vector<IntelligenceItem> items,
                 std::size_t itemCut = SIZE_MAX, std::uint32_t fullInterval = 20) {
        const IntelligenceIndexHeader header{1, stamp, 40, fullInterval, "Intelligence"};
        std::vector<std::uint8_t> bytes = EncodeIntelligenceItems(items);
        if (itemCut < bytes.size())
            bytes.resize(itemCut);
        server_.Serve(ItemPath(stamp), AsText(bytes));
        server_.Serve(kIndexPath, AsText(EncodeIntelligenceIndex(header)));
    }
    static std::string ItemPath(PackedDateTime stamp) {
        return "/vorn/Intelligence/" + FormatItemFileName(stamp, "yid");
    }
    bool Ended() const { return !sink_.Values(kFeedEnded).empty(); }

    CHttpTestServer server_;
    CRecordingSink sink_;
    CIntelligenceAgent agent_;
};

TEST_F(IntelligenceWorkerTest, NewItemsAreAnnouncedOnceAndAnUnchangedStampFetchesNothing) {
    Publish(kStamp, {MakeItem(1, kStamp, "one"), MakeItem(2, kStamp, "two")});
    ASSERT_EQ(agent_.Start(&sink_), kIntelligenceNewItems);
    EXPECT_TRUE(agent_.IsFullKind());
    ASSERT_TRUE(WaitFor([&] { return CountRequests(server_, kIndexPath) >= 4; }));
    EXPECT_EQ(sink_.Values(kFeedNewItems).size(), 1u);
    EXPECT_EQ(CountRequests(server_, ItemPath(kStamp)), 1u);
    EXPECT_EQ(agent_.ListedItems(MakePackedDate(2026, 12, 7)).size(), 2u);
    EXPECT_EQ(agent_.Stamp(), kStamp);
    EXPECT_EQ(agent_.PollInterval(), 20u); // the full kind's interval

    // A newer item file replaces the items: id 2 is gone, id 3 arrives.
    Publish(kNewerStamp, {MakeItem(1, kStamp, "one"), MakeItem(3, kNewerStamp, "three")});
    ASSERT_TRUE(WaitFor([&] { return sink_.Values(kFeedNewItems).size() == 2; }));
    IntelligenceItem item;
    EXPECT_FALSE(agent_.FindItem(2, item));
    ASSERT_TRUE(agent_.FindItem(3, item));
    EXPECT_EQ(item.subject, "three");

    // A second start while polling is refused and says so.
    EXPECT_EQ(agent_.Start(&sink_), kIntelligenceAlreadyRunning);
    EXPECT_EQ(sink_.Values(kFeedEnded),
              std::vector<std::intptr_t>{ResultCode(kIntelligenceAlreadyRunning)});
    EXPECT_TRUE(agent_.Stop(CIntelligenceAgent::kCloseWaitMs));
    EXPECT_FALSE(agent_.IsRunning());
    EXPECT_TRUE(sink_.Values(kFeedCycleFailed).empty());
    // The last cycle found either the newer file or nothing new.
    EXPECT_LE(sink_.Values(kFeedEnded).back(), ResultCode(kIntelligenceNothingNew));
}

TEST_F(IntelligenceWorkerTest, FiveErrorPagesInARowEndPolling) {
    // No index is served: every cycle gets the server's 404 page, which is no index.
    ASSERT_EQ(agent_.Start(&sink_), kIntelligenceNewItems);
    ASSERT_TRUE(WaitFor([&] { return Ended(); }));
    EXPECT_EQ(sink_.Values(kFeedCycleFailed),
              std::vector<std::intptr_t>(5, ResultCode(kIntelligenceIndexInvalid)));
    EXPECT_EQ(sink_.Values(kFeedEnded),
              std::vector<std::intptr_t>{ResultCode(kIntelligenceIndexInvalid)});
    EXPECT_EQ(agent_.FailureCount(), 5u);
    EXPECT_TRUE(WaitFor([&] { return !agent_.IsRunning(); }));
    EXPECT_EQ(agent_.PollInterval(), 20u); // never changed by a failed index

    // A new start polls again from a clean count.
    Publish(kStamp, {MakeItem(1, kStamp, "one")});
    ASSERT_EQ(agent_.Start(&sink_), kIntelligenceNewItems);
    ASSERT_TRUE(WaitFor([&] { return !sink_.Values(kFeedNewItems).empty(); }));
    EXPECT_EQ(agent_.FailureCount(), 0u);
    EXPECT_TRUE(agent_.Stop(CIntelligenceAgent::kCloseWaitMs));
}

TEST_F(IntelligenceWorkerTest, ADamagedItemFileIsReportedAndFetchedAgain) {
    const std::vector<IntelligenceItem> items{MakeItem(1, kStamp, "one"),
                                              MakeItem(2, kStamp, "two")};
    // Cut inside the second record: the first one is listed, the failure is reported and
    // the stamp is not taken, so the next cycle fetches the file again.
    Publish(kStamp, items, EncodeIntelligenceItems(items).size() - 3, 300);
    ASSERT_EQ(agent_.Start(&sink_), kIntelligenceNewItems);
    ASSERT_TRUE(WaitFor([&] { return !sink_.Values(kFeedCycleFailed).empty(); }));
    IntelligenceItem item;
    EXPECT_TRUE(agent_.FindItem(1, item));
    EXPECT_FALSE(agent_.FindItem(2, item));
    EXPECT_EQ(sink_.Values(kFeedCycleFailed)[0], ResultCode(kIntelligenceItemsInvalid));
    EXPECT_EQ(agent_.Stamp(), 0u);

    Publish(kStamp, items, SIZE_MAX, 300);
    ASSERT_TRUE(WaitFor([&] { return !sink_.Values(kFeedNewItems).empty() || Ended(); }));
    EXPECT_TRUE(agent_.FindItem(2, item));
    EXPECT_EQ(agent_.Stamp(), kStamp);
    agent_.Stop(CIntelligenceAgent::kCloseWaitMs);

    // A transfer broken part-way through is a download failure.
    CIntelligenceAgent once;
    HttpTestResponse broken;
    broken.body = AsText(EncodeIntelligenceItems(items));
    broken.ending = HttpTestResponse::Ending::CloseMidway;
    broken.cutAfter = 10;
    server_.Serve(ItemPath(kStamp), broken);
    EXPECT_EQ(once.FetchOnce(server_.Host(), "vorn", "yid"), kIntelligenceItemsNotFetched);
    EXPECT_EQ(once.ItemCount(), 0u);
}

TEST_F(IntelligenceWorkerTest, FetchOnceAndAStartWithoutOwnerRunOnTheCallersThread) {
    Publish(kStamp, {MakeItem(1, kStamp, "one")});
    EXPECT_EQ(agent_.Start(nullptr), kIntelligenceNewItems);
    EXPECT_EQ(agent_.ItemCount(), 1u);
    // No stamp comparison: the same file is fetched again.
    EXPECT_EQ(agent_.FetchOnce(server_.Host(), "vorn", "yid"), kIntelligenceNewItems);
    EXPECT_EQ(CountRequests(server_, ItemPath(kStamp)), 2u);
    EXPECT_FALSE(agent_.IsFullKindName("yidx"));
    EXPECT_TRUE(agent_.IsFullKindName("YID"));
    EXPECT_EQ(agent_.FetchOnce(server_.Host(), "vorn", "yidx"), kIntelligenceItemsInvalid);
    EXPECT_EQ(agent_.PollInterval(), 40u); // the other kinds' interval

    server_.Serve(kIndexPath, AsText(EncodeIntelligenceIndex({1, kStamp, 1, 1, ""})).substr(0, 9));
    EXPECT_EQ(agent_.FetchOnce(server_.Host(), "vorn", "yid"), kIntelligenceIndexInvalid);
    EXPECT_EQ(agent_.FetchOnce(server_.Host(), "../vorn", "yid"), kIntelligenceNoConnection);
    EXPECT_EQ(agent_.FetchOnce("", "vorn", "yid"), kIntelligenceNoConnection);
    EXPECT_EQ(agent_.FetchOnce("127.0.0.1:" + std::to_string(CHttpTestServer::UnusedPort()), "vorn",
                               "yid"),
              kIntelligenceIndexNotFetched);
    EXPECT_EQ(agent_.ItemCount(), 1u);
}

TEST_F(IntelligenceWorkerTest, StopAbandonsATransferThatHangs) {
    HttpTestResponse silent;
    silent.ending = HttpTestResponse::Ending::Silent;
    server_.Serve(kIndexPath, silent);
    agent_.GetHttpAgent().SetTimeouts(60000, 60000);
    ASSERT_EQ(agent_.Start(&sink_), kIntelligenceNewItems);
    ASSERT_TRUE(WaitFor([&] { return CountRequests(server_, kIndexPath) == 1; }));
    EXPECT_TRUE(agent_.Stop(CIntelligenceAgent::kCloseWaitMs));
    EXPECT_EQ(sink_.Values(kFeedEnded),
              std::vector<std::intptr_t>{ResultCode(kIntelligenceIndexNotFetched)});
}

// --- vornctl ---

std::string RunCommand(const std::string& arguments, int& status) {
    const std::string command = std::string(VORN_CTL_PATH) + " " + arguments + " 2>/dev/null";
    std::string output;
    std::FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) {
        status = -1;
        return output;
    }
    char chunk[512];
    while (std::size_t got = std::fread(chunk, 1, sizeof chunk, pipe))
        output.append(chunk, got);
    const int raw = ::pclose(pipe);
    status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return output;
}

TEST(VornctlFeedTest, PublishedListIsFetchedAndListedAsTheAgentShowsIt) {
    std::random_device random;
    const auto root =
        std::filesystem::temp_directory_path() / ("vorn_feed_cli_" + std::to_string(random()));
    std::filesystem::create_directories(root);
    std::ofstream(root / "items.tsv", std::ios::binary)
        << "1\t2026/12/01 09:30\t-\t1\t0\t7203:1\t新しい分析画面\t/vorn/news/1.html\n"
           "2\t2026/12/05 18:00\t-\t3\t8\t0\tお知らせ\x1b[2J\t\t本文\n"
           "3\t2026/12/06 08:00\t2000/01/01\t0\t0\t0\t期限切れ\n";
    int status = 0;
    const std::string out = (root / "out").string();
    RunCommand("feed publish --out " + out + " --stamp '2026/12/07 12:00' " +
                   (root / "items.tsv").string(),
               status);
    ASSERT_EQ(status, 0);

    CHttpTestServer server;
    auto serveFile = [&](const std::string& path) {
        std::ifstream in(out + path, std::ios::binary);
        server.Serve(path, std::string(std::istreambuf_iterator<char>(in), {}));
    };
    serveFile(kIndexPath);
    serveFile("/vorn/Intelligence/20261207_1200_02.yid");
    EXPECT_EQ(RunCommand("feed --server " + server.Host() + " --once", status),
              "result 0 (items loaded)\n"
              "2026/12/05 18:00\tお知らせ [2J\n"
              "2026/12/01 09:30\t新しい分析画面\n");
    EXPECT_EQ(status, 0);

    // A bad list writes nothing.
    std::ofstream(root / "bad.tsv") << "1\tyesterday\t-\t0\t0\t0\ts\n";
    RunCommand("feed publish --out " + (root / "none").string() + " " + (root / "bad.tsv").string(),
               status);
    EXPECT_EQ(status, 1);
    EXPECT_FALSE(std::filesystem::exists(root / "none"));
    std::filesystem::remove_all(root);
}

TEST(VornAgentTest, ConstructionOpensTheAnnouncementLog) {
    std::random_device random;
    const auto directory =
        std::filesystem::temp_directory_path() / ("vorn_agent_log_" + std::to_string(random()));
    {
        CVornAgent agent(directory);
        EXPECT_TRUE(std::filesystem::exists(directory / "Agent.inf"));
        EXPECT_EQ(agent.ItemCount(), 0u);
    }
    std::filesystem::remove_all(directory);
}

} // namespace
} // namespace vorn
