// vornctl sample: writes the deterministic synthetic market as a matrix content file.
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>

#include "command.h"
#include "foundation/calendar_math.h"
#include "foundation/writer_lock.h"
#include "matrix/matrix_file.h"
#include "matrix/sample_market.h"
#include "progress_line.h"

namespace vornctl {
namespace {

// A whole decimal number, or hexadecimal after "0x"; nothing else may follow it.
bool ParseWhole(const std::string& text, std::uint64_t& value) {
    int base = 10;
    std::size_t skip = 0;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        skip = 2;
    }
    const char* begin = text.data() + skip;
    const char* end = text.data() + text.size();
    if (begin == end)
        return false;
    const auto [stop, error] = std::from_chars(begin, end, value, base);
    return error == std::errc() && stop == end;
}

bool ParseBounded(const std::string& text, std::uint64_t low, std::uint64_t high, int& out) {
    std::uint64_t value = 0;
    if (!ParseWhole(text, value) || value < low || value > high)
        return false;
    out = static_cast<int>(value);
    return true;
}

int RunSample(int argc, char** argv) {
    vorn::InstallInterruptCleanup(InterruptedName());
    const CArgs args(argc, argv);
    if (!args.Positionals().empty())
        return UsageError("unexpected argument '" + args.Positionals().front() + "'");
    const auto out = args.Option("out");
    if (!out || out->empty())
        return UsageError("--out FILE is required");

    vorn::SampleMarketOptions options;
    if (const auto years = args.Option("years");
        years && !ParseBounded(*years, 1, vorn::kSampleMaxYears, options.years))
        return UsageError("--years must be a whole number from 1 to " +
                          std::to_string(vorn::kSampleMaxYears));
    if (const auto securities = args.Option("securities");
        securities && !ParseBounded(*securities, 1, vorn::kSampleMaxSecurities, options.securities))
        return UsageError("--securities must be a whole number from 1 to " +
                          std::to_string(vorn::kSampleMaxSecurities));
    if (const auto seed = args.Option("seed"); seed && !ParseWhole(*seed, options.seed))
        return UsageError(
            "--seed must be a whole number (decimal, or hexadecimal after 0x)");
    if (const auto end = args.Option("end")) {
        const vorn::PackedDate date = ParseDateArg(*end);
        if (date == vorn::kNoDate)
            return DateError("end", *end);
        const unsigned weekday = vorn::WeekdayOfPackedDate(date);
        if (weekday == 0 || weekday == 6)
            return UsageError("--end must be a weekday, not " + FormatDateArg(date));
        options.end = date;
    }
    if (vorn::DateYear(options.end) < 1950u + static_cast<unsigned>(options.years))
        return UsageError("the market would start before 1950; use fewer --years or a "
                          "later --end");

    vorn::CMarketMatrix matrix;
    CProgressLine line;
    line.Show(PercentLabel(0) + "building the market");
    if (!vorn::BuildSampleMarket(matrix, options)) {
        line.Clear();
        std::fprintf(stderr, "vornctl: sample: the market could not be built\n");
        return 1;
    }
    CProgressSink writing(line, "writing " + *out);
    vorn::ProgressTarget target;
    target.sink = &writing;
    matrix.SetProgressTarget(target);
    const vorn::MatrixResult result = vorn::GenerateMatrix(matrix, *out, nullptr, nullptr);
    matrix.ClearProgressTarget();
    if (result == vorn::kMatrixOk)
        line.Finish(PercentLabel(100) + "wrote " + *out);
    else
        line.Clear();
    if (result != vorn::kMatrixOk) {
        std::fprintf(stderr, "vornctl: %s: %s\n", out->c_str(),
                     std::string(vorn::Describe(result)).c_str());
        VerboseResult("matrix", vorn::ResultCode(result));
        return 1;
    }
    std::error_code error;
    const std::uintmax_t bytes = std::filesystem::file_size(*out, error);
    const vorn::CCalendar& calendar = matrix.DailyCalendar();
    std::printf("%s: %zu securities of %zu companies, %u days from %s to %s, %ju bytes\n",
                out->c_str(), matrix.Securities().size(), matrix.Companies().size(),
                static_cast<unsigned>(calendar.Count()), FormatDateArg(calendar[0]).c_str(),
                FormatDateArg(*calendar.Last()).c_str(), error ? std::uintmax_t{0} : bytes);
    return 0;
}

const CommandRegistrar kSampleCommand(
    {"sample",
     "sample --out FILE [--years N] [--securities N] [--seed S] [--end DATE]",
     "writes the deterministic sample market as a content file",
     {{"out", "FILE", "the content file to write (required; replaced only when complete)"},
      {"years", "N", "the length of the market in years, 1..30 (default 10)"},
      {"securities", "N", "the number of listings, 1..9000 (default 3800)"},
      {"seed", "S", "the random seed, decimal or 0x hexadecimal (default 20070104)"},
      {"end", "DATE", "the last trading day, a weekday as YYYY/MM/DD, YYYY-MM-DD or YYYYMMDD "
                      "(default 2026/11/27)"}},
     "vornctl sample --out data/Market.kbx --years 3 --securities 200"},
    &RunSample);

} // namespace
} // namespace vornctl
