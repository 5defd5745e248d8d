#pragma once
// A picture of the main window taken without anyone at the screen: the security and the
// contents to show, and the package choice of an unattended start-up.
// Core headers come before the toolkit's: the toolkit defines "slots" as a macro.
#include "acquisition/startup_sequence.h"
#include "contents/contents.h"

#include <QString>
#include <cstdint>

namespace vorn {

class CVornApp;

struct ScreenshotRequest {
    QString path; // the PNG to write
    // The security to select; code 0 selects the first. A market of 0 takes the code's first
    // listing.
    std::uint16_t code = 0;
    std::uint8_t market = 0;
    bool hasCode = false;
    ContentsKind mode = kContentsChart;
    PeriodKind seriesKind = PeriodKind::Daily;
    int width = 0;               // the main window's size; 0 keeps the default picture size
    int height = 0;
};

// The smallest window the main window allows and a bound for a picture's side.
constexpr int kScreenshotMinWidth = 800;
constexpr int kScreenshotMinHeight = 600;
constexpr int kScreenshotMaxSide = 8192;

// "CODE[:MARKET]": a stock code as written (7203, 130A), a market 1..15.
bool ParseScreenshotCode(const QString& text, ScreenshotRequest& request);
// "chart", "screening" or "report".
bool ParseScreenshotMode(const QString& text, ContentsKind& mode);
// "daily", "weekly" or "monthly".
bool ParseScreenshotPeriod(const QString& text, PeriodKind& seriesKind);
// "WIDTHxHEIGHT" within the bounds above.
bool ParseScreenshotSize(const QString& text, ScreenshotRequest& request);

// Selects the security, switches to the contents (the screening prepared first) and writes a
// PNG of the whole main window. False with `error` set when the security is unknown, the
// screening could not be prepared or the file cannot be written.
bool TakeScreenshot(CVornApp& app, const ScreenshotRequest& request, QString& error);

// The package choice of an unattended start-up: asked on the terminal when standard input
// and standard error are one, else cancelled.
class CTerminalPackageChooser final : public IPackageChooser {
public:
    unsigned ChoosePackage(const MatrixIndex& index) override;
};

} // namespace vorn
