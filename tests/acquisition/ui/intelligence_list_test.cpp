// First: the core headers it pulls in must come before any Qt header.
#include "acquisition/ui/intelligence_activation.h"

#include "acquisition/ui/grid_intelligence_agent.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QLabel>
#include <QTextBrowser>
#include <chrono>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "acquisition/ui/dialog_intelligence_message.h"
#include "acquisition/ui/dialog_location.h"
#include "acquisition/ui/dialog_location_comment.h"
#include "foundation/text_encoding.h"
#include "support/http_test_server.h"
#include "support/market_builder.h"
#include "support/offscreen_application.h"
#include "support/recording_sink.h"

namespace vorn {
namespace {

using test::CHttpTestServer;

constexpr PackedDate kToday = MakePackedDate(2026, 12, 7);
constexpr char kIndexPath[] = "/vorn/IntelligenceIndex.rpt2";

PackedDateTime At(unsigned hour, unsigned minute) {
    return MakePackedDateTime(2026, 12, 7, hour, minute);
}

IntelligenceItem Item(std::uint32_t id, PackedDateTime delivered, std::uint16_t linkType,
                      std::string link = {}, std::string message = {},
                      PackedDate expiry = kOpenEnd) {
    IntelligenceItem item;
    item.id = id;
    item.delivered = delivered;
    item.expiry = expiry;
    item.linkType = linkType;
    item.subject = Utf8ToCp932("お知らせ" + std::to_string(id));
    item.link = std::move(link);
    item.message = Utf8ToCp932(message);
    return item;
}

std::string AsText(const std::vector<std::uint8_t>& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

// Bounds a failing wait only.
template <class Condition> bool PumpUntil(Condition condition) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

// A feed agent filled from a real server, as the main window's agent is.
class IntelligenceListTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::OffscreenApplication();
        ASSERT_TRUE(server_.IsListening());
        ASSERT_TRUE(agent_.SetServerHost(server_.Host()));
        ASSERT_TRUE(agent_.SetDirectory("vorn"));
        ASSERT_TRUE(agent_.SetItemKind("yid"));
        agent_.GetHttpAgent().SetTimeouts(2000, 1000);
    }

    void Publish(PackedDateTime stamp, const std::vector<IntelligenceItem>& items) {
        server_.Serve("/vorn/Items/" + FormatItemFileName(stamp, "yid"),
                      AsText(EncodeIntelligenceItems(items)));
        server_.Serve(kIndexPath,
                      AsText(EncodeIntelligenceIndex({1, stamp, 900000, 180000, "Items"})));
        ASSERT_EQ(agent_.FetchOnce(server_.Host(), "vorn", "yid"), kIntelligenceNewItems);
    }

    static std::vector<std::uint32_t> Ids(const CGridIntelligenceAgent& list) {
        std::vector<std::uint32_t> ids;
        for (const IntelligenceItem& item : list.Rows())
            ids.push_back(item.id);
        return ids;
    }

    CHttpTestServer server_;
    CIntelligenceAgent agent_;
    test::CRecordingSink owner_;
};

TEST_F(IntelligenceListTest, FillsNewestFirstAndFlashesOnlyWhatArrivedSinceTheLastRefresh) {
    Publish(At(9, 1), {Item(1, At(9, 0), kLinkNone), Item(2, At(10, 0), kLinkServerPage, "/a"),
                       Item(3, At(11, 0), kLinkNone, {}, {}, kToday - 1)}); // expired yesterday
    CGridIntelligenceAgent list(agent_, &owner_);
    list.resize(500, 200);
    list.Refresh(kToday);
    EXPECT_EQ(Ids(list), (std::vector<std::uint32_t>{2, 1}));
    EXPECT_EQ(list.RowCount(), 2);
    EXPECT_TRUE(list.FlashingItems().empty()); // the first refresh has nothing to compare with

    // Four newer items: the three newest flash; the older ones and the redelivery of an old
    // time do not.
    Publish(At(13, 1), {Item(1, At(9, 0), kLinkNone), Item(2, At(10, 0), kLinkServerPage, "/a"),
                        Item(4, At(12, 0), kLinkNone), Item(5, At(12, 10), kLinkNone),
                        Item(6, At(12, 20), kLinkNone), Item(7, At(12, 30), kLinkNone),
                        Item(8, At(8, 0), kLinkNone)});
    list.Refresh(kToday);
    EXPECT_EQ(Ids(list), (std::vector<std::uint32_t>{7, 6, 5, 4, 2, 1, 8}));
    EXPECT_EQ(list.FlashingItems(), (std::set<std::uint32_t>{5, 6, 7}));
    EXPECT_TRUE(list.IsFlashHighlighted());
    list.show();
    // A flashing row is drawn on the highlight; the first old row keeps the row shading.
    const auto background = [&](int row) {
        const QRect cell = list.visualRect(list.model()->index(row, 1));
        return list.viewport()->grab().toImage().pixelColor(cell.right() - 4, cell.center().y());
    };
    EXPECT_EQ(background(0), QColor(0xCC, 0x66, 0x00));
    EXPECT_EQ(background(4), QColor(0, 0, 0));
    EXPECT_TRUE(PumpUntil([&] { return list.FlashingItems().empty(); }));
    EXPECT_FALSE(list.IsFlashHighlighted()); // ends drawn normal

    list.Refresh(kToday); // nothing new since
    EXPECT_TRUE(list.FlashingItems().empty());
    // The list paints without trouble, flashing or not.
    list.grab();
}

TEST_F(IntelligenceListTest, ActivationPostsTheItemIdToTheOwner) {
    Publish(At(9, 1), {Item(11, At(9, 0), kLinkNone), Item(12, At(10, 0), kLinkNone)});
    CGridIntelligenceAgent list(agent_, &owner_);
    list.Refresh(kToday);
    list.ActivateRow(1);
    list.ActivateRow(2); // past the rows
    list.ActivateRow(-1);
    const auto messages = owner_.Messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].message, kMsgIntelligenceActivated);
    EXPECT_EQ(messages[0].wParam, 11u);
    IntelligenceItem item;
    ASSERT_TRUE(list.FindRow(11, item));
    EXPECT_EQ(Cp932ToUtf8(item.subject), "お知らせ11");
    EXPECT_FALSE(list.FindRow(99, item));
}

// --- Opening what an item leads to ---

class CHost final : public IIntelligenceHost {
public:
    std::vector<SecurityKey> selected;
    std::vector<std::string> reports;
    int redraws = 0;
    void SelectStock(const SecurityRecord& security) override {
        selected.push_back(security.Key());
    }
    void ShowReport(const std::string& address) override { reports.push_back(address); }
    void RedrawChart() override { ++redraws; }
};

// Addresses that reach the system's browser land in a text browser instead.
class ActivationTest : public IntelligenceListTest {
protected:
    void SetUp() override {
        IntelligenceListTest::SetUp();
        for (const char* scheme : {"http", "https"})
            QDesktopServices::setUrlHandler(scheme, &web_, "setSource");
        for (const char* scheme : {"file", "javascript", "ftp", "mailto"})
            QDesktopServices::setUrlHandler(scheme, &other_, "setSource");
        matrix_ = test::CMarketBuilder()
                      .Security(1301, 2, MakePackedDate(2007, 1, 4), {{100, 101, 99, 100, 10}})
                      .Security(1332, 1, MakePackedDate(2007, 1, 4), {{100, 101, 99, 100, 10}})
                      .Build();
        parent_.resize(800, 600);
    }
    void TearDown() override {
        for (const char* scheme : {"http", "https", "file", "javascript", "ftp", "mailto"})
            QDesktopServices::unsetUrlHandler(scheme);
    }

    IntelligenceActivation Activate(const IntelligenceItem& item) {
        return ActivateIntelligenceItem(item, agent_, *matrix_, host_, &parent_);
    }

    QTextBrowser web_, other_;
    std::unique_ptr<CMarketMatrix> matrix_;
    CHost host_;
    QWidget parent_;
};

TEST_F(ActivationTest, AWebAddressOpensOnlyWhenItIsHttpOrHttps) {
    IntelligenceItem item = Item(1, At(9, 0), kLinkWebAddress, "https://example.com/news?id=1");
    IntelligenceActivation opened = Activate(item);
    EXPECT_FALSE(opened.refused);
    auto* location = qobject_cast<CDialogLocation*>(opened.window.data());
    ASSERT_NE(location, nullptr);
    EXPECT_EQ(qobject_cast<CDialogLocationComment*>(location), nullptr); // no comment
    EXPECT_TRUE(location->isVisible());
    EXPECT_TRUE(location->OpenAddress());
    EXPECT_EQ(web_.source(), QUrl("https://example.com/news?id=1"));
    location->close();

    for (const char* address :
         {"file:///etc/passwd", "javascript:alert(1)", "ftp://example.com/x", "http:/example.com",
          "mailto:a@example.com", "http://exa mple.com/"}) {
        SCOPED_TRACE(address);
        const IntelligenceActivation refused =
            Activate(Item(2, At(9, 0), kLinkWebAddress, address));
        EXPECT_TRUE(refused.refused);
        auto* dialog = qobject_cast<CDialogLocation*>(refused.window.data());
        ASSERT_NE(dialog, nullptr);
        EXPECT_FALSE(dialog->OpenAddress());
        dialog->close();
    }
    EXPECT_TRUE(other_.source().isEmpty());
    EXPECT_EQ(web_.source(), QUrl("https://example.com/news?id=1"));
    EXPECT_TRUE(host_.reports.empty());
}

TEST_F(ActivationTest, TheDialogFitsTheItemAndTheStockIsSelectedByCode) {
    // A comment brings the dialog with the comment; the stock is found by its code on
    // whatever market it is listed.
    IntelligenceItem item = Item(1, At(9, 0), kLinkWebAddress, "http://example.com/", "詳細です");
    item.stock = MakeSecurityKey(1301, 1);
    const IntelligenceActivation withComment = Activate(item);
    auto* dialog = qobject_cast<CDialogLocationComment*>(withComment.window.data());
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->Comment(), QStringLiteral("詳細です"));
    ASSERT_NE(withComment.selected, nullptr);
    EXPECT_EQ(host_.selected, (std::vector<SecurityKey>{MakeSecurityKey(1301, 2)}));
    dialog->close();

    IntelligenceItem unknown = Item(2, At(9, 0), kLinkNone);
    unknown.stock = MakeSecurityKey(1305, 1); // the next security has another code
    EXPECT_EQ(Activate(unknown).selected, nullptr);
    EXPECT_EQ(host_.selected.size(), 1u);
}

TEST_F(ActivationTest, AServerPageGoesToTheReportBrowser) {
    IntelligenceItem item = Item(1, At(9, 0), kLinkServerPage, "/vorn/news/1.html");
    const IntelligenceActivation result = Activate(item);
    EXPECT_EQ(result.address, "http://" + server_.Host() + "/vorn/news/1.html");
    EXPECT_EQ(host_.reports, std::vector<std::string>{result.address});
    EXPECT_TRUE(result.window.isNull());
}

TEST_F(ActivationTest, AMessageShowsInThePopUpAtHalfOrFullSize) {
    IntelligenceItem half = Item(1, At(9, 0), kLinkMessage, {}, "本日は休場です");
    half.stock = MakeSecurityKey(1332, 1);
    const IntelligenceActivation shown = Activate(half);
    auto* popup = qobject_cast<CDialogIntelligenceMessage*>(shown.window.data());
    ASSERT_NE(popup, nullptr);
    EXPECT_EQ(popup->Message(), QStringLiteral("本日は休場です"));
    EXPECT_EQ(host_.redraws, 1); // a stock was selected
    popup->close();

    EXPECT_EQ(CDialogIntelligenceMessage::PlacementIn(QRect(100, 50, 800, 600), false),
              QRect(300, 200, 400, 300));
    EXPECT_EQ(CDialogIntelligenceMessage::PlacementIn(QRect(100, 50, 800, 600), true),
              QRect(100, 50, 800, 600));

    // Without text there is nothing to show.
    EXPECT_TRUE(Activate(Item(2, At(9, 0), kLinkMessage)).window.isNull());
    EXPECT_EQ(host_.redraws, 1);
}

} // namespace
} // namespace vorn
