// vornctl info FILE: restores a matrix content file and summarises what it holds.
#include <cstdio>

#include "command.h"
#include "matrix/content_checksum.h"
#include "matrix/matrix_file.h"

namespace vornctl {
namespace {

int RunInfo(int argc, char** argv) {
    CArgs args(argc, argv);
    if (!args.Error().empty())
        return UsageError(args.Error());
    if (const std::string unknown = args.UnknownOption({}); !unknown.empty())
        return UsageError("unknown option " + unknown);
    if (args.Positionals().size() != 1)
        return UsageError("usage: info FILE");

    vorn::CMarketMatrix matrix;
    const std::uint8_t result =
        vorn::RestoreMatrix(matrix, args.Positionals()[0], nullptr, nullptr);

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
    if (result == vorn::kMatrixChecksumMismatch)
        std::fprintf(stderr, "vornctl: %s: damaged: its bytes differ from the checksum in %s\n",
                     args.Positionals()[0].c_str(),
                     vorn::ChecksumSidecarPath(args.Positionals()[0]).c_str());
    std::printf("restore: failed %u\n", unsigned{result});
    return 1;
}

const CommandRegistrar kInfo("info", "info FILE  restore a matrix file and summarise it", RunInfo);

} // namespace
} // namespace vornctl
