// vornctl chart: the gap chart of one security drawn as the application draws it, into a PNG.
// Only in builds with the desktop application, whose drawing code it uses.
#ifdef VORN_WITH_GUI

#include <cstdio>
#include <memory>
#include <string>

#include "command.h"
#include "gaps/market_windows.h"
#include "gaps/windows_performer.h"
#include "matrix/matrix_file.h"
#include "matrix/stock_code.h"
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

int RunChart(int argc, char** argv) {
    CArgs args(argc, argv, {"white"});
    if (!args.Error().empty())
        return UsageError("chart: " + args.Error());
    if (const std::string unknown = args.UnknownOption({"png", "white", "days", "size"});
        !unknown.empty())
        return UsageError("chart: unknown option " + unknown);
    const auto& positionals = args.Positionals();
    if (positionals.size() != 3)
        return UsageError("usage: chart FILE CODE MARKET --png PATH [--white] [--days N] "
                          "[--size WxH]");
    const auto png = args.Option("png");
    if (!png || png->empty())
        return UsageError("chart: --png PATH is required");
    const std::optional<std::uint16_t> code = vorn::ParseStockCode(positionals[1]);
    unsigned long market = 0;
    if (!code)
        return UsageError("chart: " + vorn::DescribeBadStockCode(positionals[1]));
    if (!ParseNumber(positionals[2], 15, market) || market == 0)
        return UsageError("chart: CODE must be a stock code (7203, 130A) and MARKET 1..15");
    unsigned long days = CChartModel::kDefaultVisibleDays;
    if (const auto text = args.Option("days");
        text && (!ParseNumber(*text, kMaxVisibleDays, days) || days == 0))
        return UsageError("chart: --days must be a whole number from 1 to " +
                          std::to_string(kMaxVisibleDays));
    int width = kDefaultWidth, height = kDefaultHeight;
    if (const auto text = args.Option("size"); text && !ParseSize(*text, width, height))
        return UsageError("chart: --size takes WxH, each side " + std::to_string(kMinSide) +
                          " to " + std::to_string(kMaxSide));

    CMarketMatrix matrix;
    const std::uint8_t restored = RestoreMatrix(matrix, positionals[0], nullptr, nullptr);
    if (restored != kMatrixOk) {
        std::fprintf(stderr, "vornctl: cannot restore %s (result %u)\n", positionals[0].c_str(),
                     unsigned{restored});
        return 1;
    }
    CMarketWindows windows;
    if (!windows.MapMarketWindows(matrix, nullptr, nullptr)) {
        std::fprintf(stderr, "vornctl: the market could not be mapped\n");
        return 1;
    }
    const SecurityKey key = MakeSecurityKey(*code, static_cast<std::uint8_t>(market));
    CWindowsPerformer performer;
    if (matrix.FindSecurity(key) == nullptr ||
        !windows.AnalyseListingByKey(matrix, key, 0, performer, true)) {
        std::fprintf(stderr, "vornctl: security %s on market %lu could not be analysed\n",
                     vorn::FormatStockCode(*code).c_str(), market);
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
        if (!graph.ShowSecurity(key, kSeriesDaily, static_cast<std::uint16_t>(days))) {
            std::fprintf(stderr, "vornctl: security %s on market %lu has no chart\n",
                         vorn::FormatStockCode(*code).c_str(), market);
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

const CommandRegistrar kRegistrar("chart",
                                  "chart FILE CODE MARKET --png PATH [--white] [--days N] "
                                  "[--size WxH]",
                                  RunChart);

} // namespace
} // namespace vornctl

#endif // VORN_WITH_GUI
