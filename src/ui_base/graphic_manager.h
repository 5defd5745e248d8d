#pragma once
// One cache of pens, solid brushes and fonts for the whole program. Charts, grids and panels
// ask it for the object matching a colour, style and size; each object is made once, kept for
// the life of the cache and shared, so callers hold plain pointers into it and never free them.
#include <QBrush>
#include <QColor>
#include <QFont>
#include <QPen>
#include <QStringView>
#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>

class QPaintDevice;

namespace vorn {

// A Windows colour value: red in the low byte, green in the second, blue in the third.
using ColorRef = std::uint32_t;

inline QColor ToQColor(ColorRef colour) {
    return QColor(colour & 0xFF, (colour >> 8) & 0xFF, (colour >> 16) & 0xFF);
}
inline ColorRef ToColorRef(const QColor& colour) {
    return static_cast<ColorRef>(colour.red()) | static_cast<ColorRef>(colour.green()) << 8 |
           static_cast<ColorRef>(colour.blue()) << 16;
}

// Two 32-bit words; the cache orders by the second word, then the first, which is the order
// of this number. The top four bits of the second word tell the kind: 0 pen, 2 font.
using GraphicKey = std::uint64_t;

constexpr GraphicKey MakeGraphicKey(std::uint32_t first, std::uint32_t second) {
    return static_cast<GraphicKey>(second) << 32 | first;
}
constexpr std::uint32_t KeyFirstWord(GraphicKey key) {
    return static_cast<std::uint32_t>(key);
}
constexpr std::uint32_t KeySecondWord(GraphicKey key) {
    return static_cast<std::uint32_t>(key >> 32);
}
constexpr std::uint32_t KeyCategory(GraphicKey key) {
    return KeySecondWord(key) >> 28;
}

constexpr GraphicKey PenKey(ColorRef colour, std::uint16_t style, std::uint8_t width) {
    return MakeGraphicKey(colour, std::uint32_t{style} * 4096 + std::uint32_t{width} * 16);
}

// The charts pass parameter -1; its low four bits go into the colour word, the rest (shifted
// arithmetically) into the second word.
constexpr GraphicKey BrushKey(ColorRef colour, std::int32_t parameter) {
    return MakeGraphicKey(colour | static_cast<std::uint32_t>(parameter) << 28,
                          static_cast<std::uint32_t>(parameter >> 4));
}

constexpr GraphicKey FontKey(std::uint16_t points, std::uint16_t faceIndex, bool bold, bool italic,
                             bool underline, bool strikeOut) {
    const std::uint32_t first = (std::uint32_t{points} & 0xF) << 28 | std::uint32_t{bold} << 27 |
                                std::uint32_t{italic} << 26 | std::uint32_t{underline} << 25 |
                                std::uint32_t{strikeOut} << 24;
    const std::uint32_t second =
        (std::uint32_t{1} << 29) + std::uint32_t{faceIndex} * 4096 + std::uint32_t{points} / 16;
    return MakeGraphicKey(first, second);
}

// The font faces known to the program, by index. Each name is mapped to an installed
// Japanese family when the first cache is made.
enum class FontFace : std::uint8_t {
    Gothic = 0,   // "ＭＳ ゴシック"
    PGothic = 1,  // "ＭＳ Ｐゴシック"
    UiGothic = 2, // "MS UI Gothic"
    Mincho = 3,   // "ＭＳ 明朝"
    PMincho = 4,  // "ＭＳ Ｐ明朝"
    System = 5,   // "System"
};
constexpr std::uint16_t kFontFaceCount = 6;

// Empty for an index outside the table.
QStringView FontFaceName(std::uint16_t faceIndex);
// -1 for a name outside the table.
int FontFaceIndex(QStringView faceName);

class CGraphicManager {
public:
    // The first cache made in a process installs the face substitutions.
    CGraphicManager();
    CGraphicManager(const CGraphicManager&) = delete;
    CGraphicManager& operator=(const CGraphicManager&) = delete;

    // The cache every window of the program shares.
    static CGraphicManager& Shared();

    // --- Operations in slot order ---
    virtual ~CGraphicManager();
    // Pixel size from the device's vertical resolution (96 dpi without a device), rounded
    // to nearest. Qt turns text with the painter, so the escapement (degrees) is left to the
    // caller and is not part of the font. Nothing for a face outside the table.
    virtual std::optional<QFont> CreateFont(const QPaintDevice* device, std::uint16_t points,
                                            QStringView faceName, bool bold, bool italic,
                                            bool underline, bool strikeOut, int escapement);
    virtual QBrush CreateBrush(ColorRef colour, std::int32_t parameter);
    // Style 0 is a solid cosmetic pen; any other style a geometric pen (its width scales with
    // the painter) with the dash, end cap and join bits of a Windows pen style.
    virtual QPen CreatePen(ColorRef colour, std::uint16_t style, std::uint8_t width);

    // The look-ups return nullptr for "nothing". `keyOut`, when given, receives the key under
    // which the returned object is cached.
    virtual const QPen* GetPen(GraphicKey* keyOut, ColorRef colour, std::uint16_t style,
                               std::uint8_t width);
    // Nothing for a key whose second word is 2^28 or more.
    virtual const QPen* GetPenByKey(GraphicKey key);
    virtual const QBrush* GetBrush(GraphicKey* keyOut, ColorRef colour, std::int32_t parameter);
    // Keys whose second word starts with 1. No pen, brush or font made here has such a key
    // (a brush parameter would need more than 32 bits), so this finds a brush only if one was
    // ever cached under it and never makes one.
    virtual const QBrush* GetByKeyCategory1(GraphicKey key);
    virtual const QFont* GetFontByIndex(GraphicKey* keyOut, const QPaintDevice* device,
                                        std::uint16_t points, std::uint16_t faceIndex, bool bold,
                                        bool italic, bool underline, bool strikeOut,
                                        int escapement);
    virtual const QFont* GetFontByName(GraphicKey* keyOut, const QPaintDevice* device,
                                       std::uint16_t points, QStringView faceName, bool bold,
                                       bool italic, bool underline, bool strikeOut, int escapement);
    virtual const QFont* GetFontByKey(const QPaintDevice* device, GraphicKey key);

    // Number of cached pens, brushes and fonts.
    std::size_t Count() const;

private:
    // One map per kind: a brush of parameter 0 has the key of a zero-width solid pen of the
    // same colour.
    mutable std::mutex mutex_; // guards pens_, brushes_ and fonts_, never held while creating
    std::map<GraphicKey, QPen> pens_;
    std::map<GraphicKey, QBrush> brushes_;
    std::map<GraphicKey, QFont> fonts_;
};

} // namespace vorn
