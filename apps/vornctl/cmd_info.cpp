// vornctl info FILE: restores a matrix content file and summarises what it holds.
#include <cstdio>

#include "command.h"
#include "matrix_input.h"

namespace vornctl {
namespace {

int RunInfo(int argc, char** argv) {
    const CArgs args(argc, argv);
    if (args.Positionals().size() != 1)
        return UsageError("expected one FILE");

    vorn::CMarketMatrix matrix;
    vorn::MatrixFailure failure;
    const vorn::MatrixResult result =
        vorn::RestoreMatrix(matrix, args.Positionals()[0], nullptr, nullptr, &failure);

    const vorn::CCalendar& calendar = matrix.DailyCalendar();
    if (calendar.Empty())
        std::printf("calendar: - - 0\n");
    else
        std::printf("calendar: %s %s %u\n", FormatDateArg(*calendar.First()).c_str(),
                    FormatDateArg(*calendar.Last()).c_str(), unsigned{calendar.Count()});
    std::size_t current = 0;
    for (const auto& [key, security] : matrix.Securities())
        current += matrix.IsLatestDayOf(security) ? 1 : 0;
    std::printf("companies: %zu\n", matrix.Companies().size());
    std::printf("securities: %zu\n", matrix.Securities().size());
    std::printf("current: %zu\n", current);
    std::printf("delisted: %zu\n", matrix.Securities().size() - current);
    if (result == vorn::kMatrixOk) {
        std::printf("restore: OK\n");
        return 0;
    }
    std::printf("restore: failed %u\n", vorn::ResultCode(result));
    std::fprintf(stderr, "vornctl: %s: %s\n", args.Positionals()[0].c_str(),
                 vorn::DescribeFailure(failure).c_str());
    VerboseResult("matrix", vorn::ResultCode(result));
    return 1;
}

const CommandRegistrar kInfo({"info",
                              "info FILE",
                              "restores a market content file and summarises what it holds",
                              {},
                              "vornctl info data/Market.kbx",
                              "FILE is a market content file."},
                             RunInfo);

} // namespace
} // namespace vornctl
