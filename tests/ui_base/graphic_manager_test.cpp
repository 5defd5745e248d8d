#include "ui_base/graphic_manager.h"

#include <QFontInfo>
#include <QImage>
#include <chrono>
#include <condition_variable>
#include <gtest/gtest.h>
#include <mutex>
#include <thread>

#include "support/offscreen_application.h"

namespace vorn {
namespace {

class GraphicManagerTest : public ::testing::Test {
protected:
    CGraphicManager cache;
    QImage device{8, 8, QImage::Format_ARGB32}; // 96 dpi
};

TEST(GraphicKeyTest, KeysOfTheThreeKinds) {
    EXPECT_EQ(PenKey(0x123456, 2, 3), MakeGraphicKey(0x123456, 2 * 4096 + 3 * 16));
    EXPECT_EQ(BrushKey(0x00FF00, -1), MakeGraphicKey(0xF000FF00, 0xFFFFFFFF));
    EXPECT_EQ(FontKey(20, 3, true, false, true, false),
              MakeGraphicKey((4u << 28) | (1u << 27) | (1u << 25), (1u << 29) + 3 * 4096 + 1));
    EXPECT_LT(MakeGraphicKey(0xFFFFFFFF, 0), MakeGraphicKey(0, 1)); // second word first
}

TEST_F(GraphicManagerTest, PensAndBrushesAreMadeOncePerKey) {
    GraphicKey key = 0;
    const QPen* solid = cache.GetPen(&key, 0x0045FF, 0, 1);
    ASSERT_NE(solid, nullptr);
    EXPECT_EQ(key, PenKey(0x0045FF, 0, 1));
    EXPECT_EQ(cache.GetPen(nullptr, 0x0045FF, 0, 1), solid);
    EXPECT_EQ(cache.GetPenByKey(key), solid);
    EXPECT_EQ(solid->color(), QColor(255, 0x45, 0)); // red in the low byte
    EXPECT_EQ(solid->style(), Qt::SolidLine);
    EXPECT_TRUE(solid->isCosmetic());

    const QPen* dotted = cache.GetPen(nullptr, 0x0045FF, 2, 1);
    ASSERT_NE(dotted, solid);
    EXPECT_EQ(dotted->style(), Qt::DotLine);
    EXPECT_FALSE(dotted->isCosmetic());
    EXPECT_NE(cache.GetPen(nullptr, 0x0045FF, 0, 2), solid);

    const QPen* byKey = cache.GetPenByKey(PenKey(0x00FF00, 0, 3));
    ASSERT_NE(byKey, nullptr);
    EXPECT_EQ(byKey->width(), 3);
    EXPECT_EQ(cache.GetPenByKey(MakeGraphicKey(0, 1u << 28)), nullptr);

    // A brush of parameter 0 has the key of a zero-width pen of its colour; both are kept.
    const QBrush* brush = cache.GetBrush(&key, 0x0000FF, 0);
    EXPECT_EQ(key, BrushKey(0x0000FF, 0));
    const QPen* thin = cache.GetPen(nullptr, 0x0000FF, 0, 0);
    ASSERT_NE(brush, nullptr);
    ASSERT_NE(thin, nullptr);
    EXPECT_EQ(brush->color(), QColor(255, 0, 0));
    EXPECT_EQ(brush->style(), Qt::SolidPattern);
    EXPECT_EQ(cache.GetBrush(nullptr, 0x0000FF, 0), brush);
    EXPECT_NE(cache.GetBrush(nullptr, 0x0000FF, -1), brush);
    EXPECT_EQ(cache.GetByKeyCategory1(BrushKey(0x0000FF, 0)), nullptr);
    EXPECT_EQ(cache.Count(), 7u);
}

TEST_F(GraphicManagerTest, FontsByNameIndexAndKey) {
    EXPECT_EQ(cache.GetFontByName(nullptr, &device, 9, u"Arial", false, false, false, false, 0),
              nullptr);
    EXPECT_EQ(cache.GetFontByIndex(nullptr, &device, 9, 6, false, false, false, false, 0), nullptr);
    EXPECT_EQ(cache.Count(), 0u);

    GraphicKey key = 0;
    const QFont* mincho =
        cache.GetFontByName(&key, &device, 9, u"ＭＳ 明朝", false, false, false, false, 0);
    ASSERT_NE(mincho, nullptr);
    EXPECT_EQ(key, FontKey(9, 3, false, false, false, false));
    EXPECT_EQ(mincho->pixelSize(), 12); // 9 pt at 96 dpi
    // The escapement is the painter's business and shares the entry.
    EXPECT_EQ(cache.GetFontByIndex(nullptr, &device, 9, 3, false, false, false, false, 90), mincho);
    EXPECT_EQ(cache.GetFontByKey(&device, key), mincho);

    const QFont* bold = cache.GetFontByIndex(nullptr, &device, 11, 4, true, false, false, false, 0);
    ASSERT_NE(bold, nullptr);
    EXPECT_EQ(bold->pixelSize(), 15); // 14.67 rounded to nearest
    EXPECT_EQ(bold->weight(), QFont::Bold);

    // Sizes of 16 points and more spread over both words of the key.
    const QFont* large = cache.GetFontByKey(&device, FontKey(20, 0, false, true, true, true));
    ASSERT_NE(large, nullptr);
    EXPECT_EQ(large->pixelSize(), 27);
    EXPECT_TRUE(large->italic() && large->underline() && large->strikeOut());
    EXPECT_EQ(large->family(), QStringLiteral("ＭＳ ゴシック"));
    EXPECT_EQ(cache.GetFontByKey(&device, PenKey(0, 0, 1)), nullptr);
}

TEST_F(GraphicManagerTest, FaceNamesResolveToInstalledJapaneseFamilies) {
    const char* expected[kFontFaceCount] = {"IPAGothic", "IPAPGothic", "IPAPGothic",
                                            "IPAMincho", "IPAPMincho", "IPAGothic"};
    for (std::uint16_t index = 0; index < kFontFaceCount; ++index) {
        EXPECT_EQ(FontFaceIndex(FontFaceName(index)), index);
        const QFont* font =
            cache.GetFontByIndex(nullptr, &device, 10, index, false, false, false, false, 0);
        ASSERT_NE(font, nullptr);
        EXPECT_EQ(QFontInfo(*font).family(), QString::fromLatin1(expected[index]))
            << FontFaceName(index).toString().toStdString();
    }
}

// Holds every pen creation until two callers are creating at once, so both miss the cache.
class CRacingGraphicManager : public CGraphicManager {
public:
    QPen CreatePen(ColorRef colour, std::uint16_t style, std::uint8_t width) override {
        std::unique_lock lock(mutex_);
        met_ = met_ || ++creating_ == 2;
        changed_.notify_all();
        changed_.wait_for(lock, std::chrono::seconds(5), [&] { return met_; });
        return CGraphicManager::CreatePen(colour, style, width);
    }
    bool Met() {
        std::lock_guard lock(mutex_);
        return met_;
    }

private:
    std::mutex mutex_; // guards creating_ and met_
    std::condition_variable changed_;
    int creating_ = 0;
    bool met_ = false;
};

TEST(GraphicManagerRaceTest, TheCallerThatLosesARaceGetsTheCachedObject) {
    CRacingGraphicManager racing;
    const QPen* pens[2] = {};
    GraphicKey keys[2] = {};
    std::thread first([&] { pens[0] = racing.GetPen(&keys[0], 0x00FFFF, 0, 2); });
    std::thread second([&] { pens[1] = racing.GetPen(&keys[1], 0x00FFFF, 0, 2); });
    first.join();
    second.join();
    EXPECT_TRUE(racing.Met()) << "the cache lock is held while a pen is created";
    ASSERT_NE(pens[0], nullptr);
    EXPECT_EQ(pens[0], pens[1]);
    EXPECT_EQ(keys[1], PenKey(0x00FFFF, 0, 2));
    EXPECT_EQ(keys[0], keys[1]);
    EXPECT_EQ(racing.Count(), 1u);
}

} // namespace
} // namespace vorn
