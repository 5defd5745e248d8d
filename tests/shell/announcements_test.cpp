// The main window's announcement list fed by the running feed agent from a real server on
// 127.0.0.1 whose files the feed writer produced: new items appear and flash, expired ones are
// not listed, and activating a server-page item shows it in the report contents.
// Core headers come before the toolkit's: the toolkit defines "slots" as a macro.
#include "acquisition/intelligence_writer.h"
#include "acquisition/matrix_publisher.h"
#include "acquisition/static_http_server.h"
#include "contents/contents.h"
#include "contents/recorder.h"
#include "foundation/text_encoding.h"
#include "matrix/matrix_file.h"
#include "support/market_builder.h"

#include "acquisition/ui/grid_intelligence_agent.h"
#include "shell/command_ids.h"
#include "shell/main_frame.h"
#include "shell/vorn_app.h"
#include "shell/vorn_view.h"
#include "support/application_test.h"

#include <QCoreApplication>
#include <QDate>
#include <QTextBrowser>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace vorn {
namespace {

namespace fs = std::filesystem;
using test::CMarketBuilder;
using test::Ohlcv;

constexpr int kDays = 300;

std::unique_ptr<CMarketMatrix> Market() {
    const std::vector<PackedDate> calendar = test::Weekdays(MakePackedDate(2006, 1, 4), kDays);
    std::vector<Ohlcv> rows;
    for (int i = 0; i < kDays; ++i)
        rows.push_back({500u, 504u, 497u, 501u, 1000u + static_cast<std::uint64_t>(i)});
    CMarketBuilder builder;
    builder.Calendar(calendar)
        .Company(1301, 1, Utf8ToCp932("極洋"))
        .Company(9984, 1, Utf8ToCp932("ソフトバンクグループ"))
        .Security(1301, 1, calendar[0], rows)
        .Security(9984, 1, calendar[0], rows);
    return builder.Build();
}

PackedDate LocalDate(int offset) {
    const QDate date = QDate::currentDate().addDays(offset);
    return MakePackedDate(static_cast<unsigned>(date.year()), static_cast<unsigned>(date.month()),
                          static_cast<unsigned>(date.day()));
}

IntelligenceItem Item(std::uint32_t id, PackedDateTime delivered, PackedDate expiry = kOpenEnd) {
    IntelligenceItem item;
    item.id = id;
    item.delivered = delivered;
    item.expiry = expiry;
    item.subject = Utf8ToCp932("お知らせ" + std::to_string(id));
    return item;
}

// Bounds a failing wait only; nothing is asserted about how long anything takes.
template <class Condition> bool PumpUntil(Condition condition) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

std::vector<std::uint32_t> Ids(const CGridIntelligenceAgent& list) {
    std::vector<std::uint32_t> ids;
    for (const IntelligenceItem& item : list.Rows())
        ids.push_back(item.id);
    return ids;
}

class AnnouncementsTest : public test::CApplicationTest {
protected:
    void SetUp() override {
        CApplicationTest::SetUp();
        if (HasFatalFailure())
            return;
        tree_ = directory_ / "server";
        PublishOptions publish;
        publish.years = {1};
        ASSERT_EQ(PublishMatrix(*Market(), tree_, publish, nullptr), kPublishOk);
        WriteMarket(*Market());
        fs::create_directories(tree_ / "news");
        std::ofstream(tree_ / "news" / "page.html") << "<html><body>news</body></html>";
        server_ = std::make_unique<CStaticHttpServer>(tree_);
        ASSERT_TRUE(server_->Start());
        options_.localMode = false;
        options_.server = server_->Host();
    }
    void TearDown() override {
        server_.reset();
        CApplicationTest::TearDown();
    }

    void Publish(PackedDateTime stamp, std::vector<IntelligenceItem> items) {
        IntelligencePublication publication;
        publication.index.version = 1;
        publication.index.stamp = stamp;
        publication.index.intervalOther = 50;
        publication.index.intervalFull = 50; // the application polls as the full kind
        publication.index.itemDirectory = "Items";
        publication.items = std::move(items);
        ASSERT_EQ(PublishIntelligenceFeed(tree_, publication), kFeedPublishOk);
    }

    fs::path tree_;
    std::unique_ptr<CStaticHttpServer> server_;
};

TEST_F(AnnouncementsTest, NewItemsAreListedAndFlashedExpiredOnesAreNot) {
    const PackedDate today = LocalDate(0);
    Publish(MakePackedDateTime(2026, 1, 5, 9, 1),
            {Item(1, MakePackedDateTime(2026, 1, 5, 9, 0)),
             Item(2, MakePackedDateTime(2026, 1, 5, 8, 0), today),
             Item(3, MakePackedDateTime(2026, 1, 5, 9, 30), LocalDate(-1))});
    CVornApp app;
    ASSERT_TRUE(app.InitInstance(options_));
    CGridIntelligenceAgent& list = *app.MainFrame()->Announcements();
    ASSERT_TRUE(PumpUntil([&] { return list.RowCount() != 0; }));
    // Newest first; the item that expired yesterday is left out, today's expiry is kept.
    EXPECT_EQ(Ids(list), (std::vector<std::uint32_t>{1, 2}));
    EXPECT_TRUE(list.FlashingItems().empty()); // nothing to compare the first list with

    Publish(MakePackedDateTime(2026, 1, 5, 11, 1),
            {Item(1, MakePackedDateTime(2026, 1, 5, 9, 0)),
             Item(2, MakePackedDateTime(2026, 1, 5, 8, 0), today),
             Item(4, MakePackedDateTime(2026, 1, 5, 10, 0)),
             Item(5, MakePackedDateTime(2026, 1, 5, 11, 0)),
             Item(6, MakePackedDateTime(2026, 1, 5, 10, 30), LocalDate(-1))});
    std::set<std::uint32_t> flashed;
    ASSERT_TRUE(PumpUntil([&] {
        for (std::uint32_t id : list.FlashingItems())
            flashed.insert(id);
        return list.RowCount() == 4;
    }));
    EXPECT_EQ(Ids(list), (std::vector<std::uint32_t>{5, 4, 1, 2}));
    EXPECT_EQ(flashed, (std::set<std::uint32_t>{4, 5}));
    EXPECT_TRUE(PumpUntil([&] { return list.FlashingItems().empty(); }));
    EXPECT_FALSE(list.IsFlashHighlighted());
}

TEST_F(AnnouncementsTest, ServerPageItemOpensInTheReportContentsAndIsRecordedOnce) {
    IntelligenceItem page = Item(7, MakePackedDateTime(2026, 1, 5, 9, 0));
    page.linkType = kLinkServerPage;
    page.link = "/news/page.html";
    page.stock = MakeSecurityKey(9984, 1);
    Publish(MakePackedDateTime(2026, 1, 5, 9, 1),
            {page, Item(8, MakePackedDateTime(2026, 1, 5, 8, 0))});
    CVornApp app;
    ASSERT_TRUE(app.InitInstance(options_));
    CMainFrame& frame = *app.MainFrame();
    CGridIntelligenceAgent& list = *frame.Announcements();
    ASSERT_TRUE(PumpUntil([&] { return list.RowCount() == 2; }));
    ASSERT_EQ(list.Rows()[0].id, 7u);
    ASSERT_EQ(app.ContentsMode(), kContentsChart);
    ASSERT_EQ(app.SelectedStock()->Key(), MakeSecurityKey(1301, 1));
    const std::size_t entries = app.Recorder().Count();
    ASSERT_EQ(app.Recorder().Entry(0).GetKind(), kContentsChart);

    list.OnDoubleClickCell(0, 1);
    const QString address = QString::fromStdString("http://" + server_->Host() + "/news/page.html");
    ASSERT_TRUE(PumpUntil([&] { return app.ContentsMode() == kContentsReport; }));
    EXPECT_EQ(frame.View().ReportLocation(), address);
    EXPECT_EQ(app.SelectedStock()->Key(), MakeSecurityKey(9984, 1));
    // The page itself came from the server into the report contents.
    auto* browser = frame.View().findChild<QTextBrowser*>();
    ASSERT_NE(browser, nullptr);
    EXPECT_TRUE(browser->isVisible());
    EXPECT_EQ(browser->toPlainText().trimmed(), QStringLiteral("news"));
    // Let whatever the page load brings arrive before counting the history.
    for (int i = 0; i < 20; ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    // The page is the newest entry and the only report entry; the chart of the selected
    // stock may come before it.
    ASSERT_GT(app.Recorder().Count(), entries);
    const auto* newest = dynamic_cast<const CReportContents*>(&app.Recorder().Entry(0));
    ASSERT_NE(newest, nullptr);
    EXPECT_EQ(newest->address, address.toStdString());
    int reports = 0;
    for (std::size_t i = 0; i < app.Recorder().Count(); ++i)
        reports += app.Recorder().Entry(i).GetKind() == kContentsReport ? 1 : 0;
    EXPECT_EQ(reports, 1);
    EXPECT_TRUE(frame.IsEnabled(kIdContentsReport));
}

} // namespace
} // namespace vorn
