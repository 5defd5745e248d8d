// vornctl publish: writes the matrix server's tree (index, full packages, updates) for one
// matrix file, ready for `vornctl serve` or any static web server.
#include <charconv>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "acquisition/market_matrix_loader.h"
#include "acquisition/matrix_publisher.h"
#include "command.h"
#include "foundation/writer_lock.h"
#include "matrix_input.h"
#include "progress_line.h"

namespace vornctl {
namespace {

bool ParseUnsigned(const std::string& text, unsigned& value, int base = 10) {
    const char* begin = text.data();
    if (base == 16 && text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
        begin += 2;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(begin, end, value, base);
    return begin != end && error == std::errc() && stop == end;
}

bool ParseYears(const std::string& text, std::vector<unsigned>& years) {
    years.clear();
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t comma = text.find(',', start);
        if (comma == std::string::npos)
            comma = text.size();
        unsigned y = 0;
        if (!ParseUnsigned(text.substr(start, comma - start), y) || y < 1 || y > 255)
            return false;
        years.push_back(y);
        start = comma + 1;
    }
    return !years.empty();
}

int RunPublish(int argc, char** argv) {
    vorn::InstallInterruptCleanup(InterruptedName());
    const CArgs args(argc, argv);
    const auto matrixFile = args.Option("matrix");
    const auto out = args.Option("out");
    if (!matrixFile || !out || matrixFile->empty() || out->empty() || !args.Positionals().empty())
        return UsageError("expected --matrix FILE --out DIR");

    vorn::PublishOptions options;
    if (auto years = args.Option("years"); years && !ParseYears(*years, options.years))
        return UsageError("--years takes numbers 1..255 separated by commas");
    if (auto updates = args.Option("updates");
        updates && (!ParseUnsigned(*updates, options.updates) || options.updates > 0xFFFE))
        return UsageError("--updates takes a number of trading days");
    if (auto version = args.Option("version");
        version &&
        !ParseUnsigned(*version, options.version, version->rfind("0x", 0) == 0 ? 16 : 10))
        return UsageError("--version takes a number (0x for hexadecimal)");

    vorn::CMarketMatrix matrix;
    if (!RestoreOrReport(matrix, *matrixFile))
        return 1;
    CProgressLine progress;
    if (progress.Enabled())
        options.progress = [&progress](const vorn::PublishProgress& step) {
            progress.Show(PercentLabel(step.percent) + "publish " + std::to_string(step.part) +
                          " of " + std::to_string(step.parts) + ": " + step.step);
        };
    const auto started = std::chrono::steady_clock::now();
    vorn::MatrixIndex index;
    const vorn::PublishResult result = vorn::PublishMatrix(matrix, *out, options, &index);
    if (result != vorn::kPublishOk) {
        progress.Clear();
        std::fprintf(stderr, "vornctl: publish: %s: %s\n", out->c_str(),
                     std::string(vorn::Describe(result)).c_str());
        VerboseResult("publish", vorn::ResultCode(result));
        return 1;
    }
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - started;
    progress.Finish(PercentLabel(100) + "published " +
                    std::to_string(index.packages.size() + index.updates.size()) +
                    " packages and updates in " + Duration(took.count()));
    vorn::CMarketMatrixLoader names;
    std::printf("version %s in vorn/MarketMatrix/%s, newest day %s\n",
                vorn::FormatMatrixVersion(index.version).c_str(), index.directory.c_str(),
                FormatDateArg(index.latestDate).c_str());
    for (const auto& [years, first] : index.packages)
        std::printf("package _%s: %u years from %s\n", names.FormatPackageName(years).c_str(),
                    static_cast<unsigned>(years), FormatDateArg(first).c_str());
    for (const auto& [day, base] : index.updates)
        std::printf("update _%s: from base %s\n", names.FormatUpdateName(day).c_str(),
                    FormatDateArg(base).c_str());
    return std::fflush(stdout) == 0 ? 0 : 1;
}

const CommandRegistrar kRegisterPublish(
    {"publish",
     "publish --matrix FILE --out DIR [--years 1,3,5,10] [--updates K] [--version V]",
     "writes the matrix server tree (index, packages, updates) from a content file",
     {{"matrix", "FILE", "the market content file to publish (required)"},
      {"out", "DIR", "the folder the server tree is written into (required)"},
      {"years", "N,N,...", "the package lengths in years, 1..255 each (default 1,3,5,10)"},
      {"updates", "K", "the number of daily update packages, in trading days (default 5)"},
      {"version", "V",
       "the matrix version the index announces, decimal or 0x hexadecimal "
       "(default 0x01000000)"}},
     "vornctl publish --matrix data/Market.kbx --out /tmp/vorn-server"},
    &RunPublish);

} // namespace
} // namespace vornctl
