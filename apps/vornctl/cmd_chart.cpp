// vornctl chart: the gap chart of one security drawn as the application draws it, into a PNG.
// Only in builds with the desktop application, whose drawing code it uses.
#ifdef VORN_WITH_GUI

#include <cstdio>
#include <memory>
#include <string>

#include "command.h"
#include "gaps/law_backtest.h"
#include "gaps/market_windows.h"
#include "gaps/windows_performer.h"
#include "matrix_input.h"
#include "progress_line.h"
// The core headers come before the toolkit's: the toolkit defines "slots" as a macro.
#include "chart/ui/graph.h"

#include <QApplication>
#include <QImage>
#include <QString>

namespace vornctl {
namespace {

using namespace vorn;

constexpr int kDefaultWidth = 1000;
constexpr int kDefaultHeight = 600;
constexpr unsigned long kMinSide = 64;
constexpr unsigned long kMaxSide = 8192;
constexpr unsigned long kMaxVisibleDays = 0xFFFE; // 0xFFFF means "the newest days"

bool ParseSize(const std::string& text, int& width, int& height) {
    const std::size_t x = text.find('x');
    if (x == std::string::npos)
        return false;
    unsigned long w = 0, h = 0;
    if (!ParseNumber(text.substr(0, x), kMaxSide, w) ||
        !ParseNumber(text.substr(x + 1), kMaxSide, h) || w < kMinSide || h < kMinSide)
        return false;
    width = static_cast<int>(w);
    height = static_cast<int>(h);
    return true;
}

bool ParsePeriod(const std::string& text, PeriodKind& period) {
    const std::optional<PeriodKind> kind = ParsePeriodWord(text);
    if (kind)
        period = *kind;
    return kind.has_value();
}

int RunChart(int argc, char** argv) {
    const CArgs args(argc, argv);
    const auto& positionals = args.Positionals();
    if (positionals.size() != 3)
        return UsageError("expected FILE CODE MARKET");
    const auto png = args.Option("out");
    if (!png || png->empty())
        return UsageError("--out PATH is required");
    const std::optional<std::uint16_t> parsedCode = vorn::ParseStockCode(positionals[1]);
    unsigned long market = 0;
    if (!parsedCode)
        return UsageError(vorn::DescribeBadStockCode(positionals[1]));
    if (!ParseNumber(positionals[2], 15, market) || market == 0)
        return UsageError("CODE must be a stock code (7203, 130A) and MARKET 1..15");
    const unsigned long code = *parsedCode;
    unsigned long days = CChartModel::kDefaultVisibleDays;
    if (const auto text = args.Option("days");
        text && (!ParseNumber(*text, kMaxVisibleDays, days) || days == 0))
        return UsageError("--days must be a whole number from 1 to " +
                          std::to_string(kMaxVisibleDays));
    int width = kDefaultWidth, height = kDefaultHeight;
    if (const auto text = args.Option("size"); text && !ParseSize(*text, width, height))
        return UsageError("--size takes WxH, each side " + std::to_string(kMinSide) +
                          " to " + std::to_string(kMaxSide));

    PeriodKind period = PeriodKind::Daily;
    if (const auto text = args.Option("period"); text && !ParsePeriod(*text, period))
        return UsageError("--period takes daily, weekly or monthly");

    CMarketMatrix matrix;
    if (!RestoreOrReport(matrix, positionals[0]))
        return 1;
    CMarketWindows windows;
    bool mapped = false;
    {
        CProgressLine line;
        CProgressSink mapping(line, "mapping the windows");
        mapped = windows.MapMarketWindows(matrix, nullptr, &mapping);
    }
    if (!mapped) {
        std::fprintf(stderr, "vornctl: the market could not be mapped\n");
        return 1;
    }
    const SecurityKey key = MakeSecurityKey(static_cast<std::uint16_t>(code), static_cast<std::uint8_t>(market));
    CWindowsPerformer performer;
    if (matrix.FindSecurity(key) == nullptr)
        return NoSecurity(static_cast<unsigned>(code), static_cast<unsigned>(market),
                          positionals[0]);
    if (!windows.AnalyseListingByKey(matrix, key, period, performer, true)) {
        std::fprintf(stderr, "vornctl: security %s on market %lu could not be analysed\n",
                     vorn::FormatStockCode(static_cast<std::uint32_t>(code)).c_str(), market);
        return 1;
    }

    // Drawn offscreen whatever the terminal has: no window is ever shown.
    static char name[] = "vornctl";
    static char platformOption[] = "-platform";
    static char platform[] = "offscreen";
    char* toolkitArgv[] = {name, platformOption, platform, nullptr};
    int toolkitArgc = 3;
    QApplication application(toolkitArgc, toolkitArgv);

    QImage image;
    {
        CGraph graph;
        graph.SetMarket(&matrix, &windows, &performer);
        graph.SetColourScheme(args.Has("white"));
        graph.resize(width, height);
        if (!graph.ShowSecurity(key, period, static_cast<std::uint16_t>(days))) {
            std::fprintf(stderr, "vornctl: security %s on market %lu has no chart\n",
                         vorn::FormatStockCode(static_cast<std::uint32_t>(code)).c_str(), market);
            return 1;
        }
        image = graph.RenderToImage(QSize(width, height));
    }
    if (image.isNull() || !image.save(QString::fromStdString(*png), "PNG")) {
        std::fprintf(stderr, "vornctl: cannot write %s\n", png->c_str());
        return 1;
    }
    return 0;
}

const CommandRegistrar kRegistrar(
    {"chart",
     "chart FILE CODE MARKET --out PATH [--white] [--days N] [--size WxH] "
     "[--period daily|weekly|monthly]",
     "draws one security's gap chart as the application draws it, into a PNG file",
     {{"out", "PATH", "the PNG file to write (required)", "png"},
      {"white", nullptr, "draw on the white colour scheme (default: the dark one)"},
      {"days", "N", "how many of the newest days are shown, 1..65534 (default 60)"},
      {"size", "WxH", "the picture size in pixels, each side 64..8192 (default 1000x600)"},
       {"period", "KIND", "daily, weekly or monthly candles (default daily)"}},
     "vornctl chart data/Market.kbx 7203 1 --out 7203.png --days 120",
     "FILE is a market content file; CODE the stock code and MARKET the market number (1..15)."},
    RunChart);

} // namespace
} // namespace vornctl

#endif // VORN_WITH_GUI
