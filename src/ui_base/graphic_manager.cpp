#include "ui_base/graphic_manager.h"

#include <QPaintDevice>
#include <QStringList>
#include <array>

namespace vorn {

namespace {

constexpr std::array<QStringView, kFontFaceCount> kFaceNames = {
    u"ＭＳ ゴシック", u"ＭＳ Ｐゴシック", u"MS UI Gothic", u"ＭＳ 明朝", u"ＭＳ Ｐ明朝", u"System",
};

// Installed Japanese families standing in for each face, best first. The IPA fonts come with
// the application's dependencies; the others cover systems that have only those.
QStringList SubstitutesOf(std::uint16_t faceIndex) {
    switch (static_cast<FontFace>(faceIndex)) {
    case FontFace::Gothic:
    case FontFace::System:
        return {QStringLiteral("IPAGothic"), QStringLiteral("Noto Sans Mono CJK JP"),
                QStringLiteral("Noto Sans CJK JP")};
    case FontFace::PGothic:
    case FontFace::UiGothic:
        return {QStringLiteral("IPAPGothic"), QStringLiteral("Noto Sans CJK JP"),
                QStringLiteral("IPAGothic")};
    case FontFace::Mincho:
        return {QStringLiteral("IPAMincho"), QStringLiteral("Noto Serif CJK JP")};
    case FontFace::PMincho:
        return {QStringLiteral("IPAPMincho"), QStringLiteral("Noto Serif CJK JP"),
                QStringLiteral("IPAMincho")};
    }
    return {};
}

void InstallFaceSubstitutes() {
    static std::once_flag once;
    std::call_once(once, [] {
        for (std::uint16_t i = 0; i < kFontFaceCount; ++i)
            QFont::insertSubstitutions(kFaceNames[i].toString(), SubstitutesOf(i));
    });
}

// Windows MulDiv: the product in 64 bits, rounded half away from zero.
int MulDiv(int number, int numerator, int denominator) {
    const std::int64_t product = std::int64_t{number} * numerator;
    const std::int64_t half = denominator / 2;
    return static_cast<int>(product >= 0 ? (product + half) / denominator
                                         : (product - half) / denominator);
}

Qt::PenStyle DashOf(std::uint16_t style) {
    switch (style & 0x000F) {
    case 1:
        return Qt::DashLine;
    case 2:
    case 8: // alternate pixels
        return Qt::DotLine;
    case 3:
        return Qt::DashDotLine;
    case 4:
        return Qt::DashDotDotLine;
    case 5:
        return Qt::NoPen;
    default: // solid, inside frame, user style without entries
        return Qt::SolidLine;
    }
}

Qt::PenCapStyle CapOf(std::uint16_t style) {
    switch (style & 0x0F00) {
    case 0x0100:
        return Qt::SquareCap;
    case 0x0200:
        return Qt::FlatCap;
    default:
        return Qt::RoundCap;
    }
}

Qt::PenJoinStyle JoinOf(std::uint16_t style) {
    switch (style & 0xF000) {
    case 0x1000:
        return Qt::BevelJoin;
    case 0x2000:
        return Qt::MiterJoin;
    default:
        return Qt::RoundJoin;
    }
}

// Finds `key` in `cache` or inserts what `make` returns. The lock is not held while making.
template <class Object, class Make>
const Object* FindOrMake(std::mutex& mutex, std::map<GraphicKey, Object>& cache, GraphicKey key,
                         GraphicKey* keyOut, Make make) {
    {
        std::lock_guard lock(mutex);
        if (auto it = cache.find(key); it != cache.end()) {
            if (keyOut != nullptr)
                *keyOut = key;
            return &it->second;
        }
    }
    std::optional<Object> made = make();
    if (!made)
        return nullptr;
    std::lock_guard lock(mutex);
    // A caller that raced us to this key has cached an equal object: everyone shares that one
    // and ours is dropped.
    auto it = cache.try_emplace(key, std::move(*made)).first;
    if (keyOut != nullptr)
        *keyOut = key;
    return &it->second;
}

} // namespace

QStringView FontFaceName(std::uint16_t faceIndex) {
    return faceIndex < kFontFaceCount ? kFaceNames[faceIndex] : QStringView();
}

int FontFaceIndex(QStringView faceName) {
    for (std::uint16_t i = 0; i < kFontFaceCount; ++i)
        if (kFaceNames[i] == faceName)
            return i;
    return -1;
}

CGraphicManager::CGraphicManager() {
    InstallFaceSubstitutes();
}

CGraphicManager::~CGraphicManager() = default;

CGraphicManager& CGraphicManager::Shared() {
    static CGraphicManager shared;
    return shared;
}

std::optional<QFont> CGraphicManager::CreateFont(const QPaintDevice* device, std::uint16_t points,
                                                 QStringView faceName, bool bold, bool italic,
                                                 bool underline, bool strikeOut,
                                                 int /*escapement*/) {
    if (faceName.isEmpty() || FontFaceIndex(faceName) < 0)
        return std::nullopt;
    QFont font(faceName.toString());
    const int dpi = device != nullptr ? device->logicalDpiY() : 96;
    const int pixels = MulDiv(points, dpi, 72);
    if (pixels > 0)
        font.setPixelSize(pixels);
    font.setWeight(bold ? QFont::Bold : QFont::Normal);
    font.setItalic(italic);
    font.setUnderline(underline);
    font.setStrikeOut(strikeOut);
    return font;
}

QBrush CGraphicManager::CreateBrush(ColorRef colour, std::int32_t /*parameter*/) {
    return QBrush(ToQColor(colour), Qt::SolidPattern);
}

QPen CGraphicManager::CreatePen(ColorRef colour, std::uint16_t style, std::uint8_t width) {
    if (style == 0) {
        QPen pen(ToQColor(colour), width, Qt::SolidLine);
        pen.setCosmetic(true);
        return pen;
    }
    QPen pen(QBrush(ToQColor(colour), Qt::SolidPattern), width, DashOf(style), CapOf(style),
             JoinOf(style));
    pen.setCosmetic(false);
    return pen;
}

const QPen* CGraphicManager::GetPen(GraphicKey* keyOut, ColorRef colour, std::uint16_t style,
                                    std::uint8_t width) {
    return FindOrMake(mutex_, pens_, PenKey(colour, style, width), keyOut,
                      [&] { return std::optional<QPen>(CreatePen(colour, style, width)); });
}

const QPen* CGraphicManager::GetPenByKey(GraphicKey key) {
    const std::uint32_t second = KeySecondWord(key);
    if (second >= (std::uint32_t{1} << 28))
        return nullptr;
    const auto colour = KeyFirstWord(key);
    const auto style = static_cast<std::uint16_t>(second >> 12);
    const auto width = static_cast<std::uint8_t>(second >> 4);
    return FindOrMake(mutex_, pens_, key, nullptr,
                      [&] { return std::optional<QPen>(CreatePen(colour, style, width)); });
}

const QBrush* CGraphicManager::GetBrush(GraphicKey* keyOut, ColorRef colour,
                                        std::int32_t parameter) {
    return FindOrMake(mutex_, brushes_, BrushKey(colour, parameter), keyOut,
                      [&] { return std::optional<QBrush>(CreateBrush(colour, parameter)); });
}

const QBrush* CGraphicManager::GetByKeyCategory1(GraphicKey key) {
    if (KeyCategory(key) != 1)
        return nullptr;
    std::lock_guard lock(mutex_);
    auto it = brushes_.find(key);
    return it != brushes_.end() ? &it->second : nullptr;
}

const QFont* CGraphicManager::GetFontByIndex(GraphicKey* keyOut, const QPaintDevice* device,
                                             std::uint16_t points, std::uint16_t faceIndex,
                                             bool bold, bool italic, bool underline, bool strikeOut,
                                             int escapement) {
    if (faceIndex >= kFontFaceCount)
        return nullptr;
    return FindOrMake(mutex_, fonts_,
                      FontKey(points, faceIndex, bold, italic, underline, strikeOut), keyOut, [&] {
                          return CreateFont(device, points, kFaceNames[faceIndex], bold, italic,
                                            underline, strikeOut, escapement);
                      });
}

const QFont* CGraphicManager::GetFontByName(GraphicKey* keyOut, const QPaintDevice* device,
                                            std::uint16_t points, QStringView faceName, bool bold,
                                            bool italic, bool underline, bool strikeOut,
                                            int escapement) {
    const int faceIndex = FontFaceIndex(faceName);
    if (faceIndex < 0)
        return nullptr;
    return GetFontByIndex(keyOut, device, points, static_cast<std::uint16_t>(faceIndex), bold,
                          italic, underline, strikeOut, escapement);
}

const QFont* CGraphicManager::GetFontByKey(const QPaintDevice* device, GraphicKey key) {
    if (KeyCategory(key) != 2)
        return nullptr;
    const std::uint32_t first = KeyFirstWord(key);
    const std::uint32_t second = KeySecondWord(key);
    const auto faceIndex = static_cast<std::uint16_t>((second >> 12) & 0xFFFF);
    if (faceIndex >= kFontFaceCount)
        return nullptr;
    const auto points = static_cast<std::uint16_t>((first >> 28) | (second & 0xFFF) << 4);
    const bool bold = (first >> 27) & 1;
    const bool italic = (first >> 26) & 1;
    const bool underline = (first >> 25) & 1;
    const bool strikeOut = (first >> 24) & 1;
    return FindOrMake(mutex_, fonts_, key, nullptr, [&] {
        return CreateFont(device, points, kFaceNames[faceIndex], bold, italic, underline, strikeOut,
                          0);
    });
}

std::size_t CGraphicManager::Count() const {
    std::lock_guard lock(mutex_);
    return pens_.size() + brushes_.size() + fonts_.size();
}

} // namespace vorn
