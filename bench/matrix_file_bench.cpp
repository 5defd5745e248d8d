// Generation and restore of the default sample market's content file, against a plain read
// of the same file into memory. Restore should stay within 3x of the plain read, and the
// verification of the checksum beside the file should add at most 10% to a restore.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <string>

#include "matrix/content_checksum.h"
#include "matrix/matrix_file.h"
#include "matrix/sample_market.h"

namespace {

vorn::CMarketMatrix& SampleMatrix() {
    static vorn::CMarketMatrix matrix;
    return matrix;
}

std::filesystem::path& FilePath() {
    static std::filesystem::path path;
    return path;
}

void BM_Generate(benchmark::State& state) {
    const std::filesystem::path path = FilePath().string() + ".out";
    for (auto _ : state) {
        const vorn::MatrixResult result = vorn::GenerateMatrix(SampleMatrix(), path, nullptr, nullptr);
        if (result != vorn::kMatrixOk) {
            state.SkipWithError("generation failed");
            break;
        }
    }
    std::error_code error;
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(std::filesystem::file_size(path, error)));
    std::filesystem::remove(path, error);
    std::filesystem::remove(vorn::ChecksumSidecarPath(path), error);
}

// The same bytes under a name without a checksum beside them.
std::filesystem::path& UnverifiedPath() {
    static std::filesystem::path path;
    return path;
}

void RestoreFile(benchmark::State& state, const std::filesystem::path& path) {
    vorn::CMarketMatrix matrix;
    for (auto _ : state) {
        const vorn::MatrixResult result = vorn::RestoreMatrix(matrix, path, nullptr, nullptr);
        if (result != vorn::kMatrixOk) {
            state.SkipWithError("restore failed");
            break;
        }
        benchmark::DoNotOptimize(matrix.Securities().size());
    }
    std::error_code error;
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(std::filesystem::file_size(path, error)));
}

void BM_Restore(benchmark::State& state) {
    RestoreFile(state, FilePath());
}
void BM_RestoreUnverified(benchmark::State& state) {
    RestoreFile(state, UnverifiedPath());
}

// The whole file into one fresh buffer, as restore has to hold it in fresh arrays too.
void BM_PlainRead(benchmark::State& state) {
    std::error_code error;
    const std::size_t size = std::filesystem::file_size(FilePath(), error);
    for (auto _ : state) {
        const int fd = ::open(FilePath().c_str(), O_RDONLY | O_CLOEXEC);
        std::unique_ptr<std::uint8_t[]> data(new std::uint8_t[size]);
        std::size_t done = 0;
        while (fd >= 0 && done < size) {
            const ssize_t got = ::read(fd, data.get() + done, size - done);
            if (got <= 0)
                break;
            done += static_cast<std::size_t>(got);
        }
        if (fd >= 0)
            ::close(fd);
        if (done != size) {
            state.SkipWithError("read failed");
            break;
        }
        benchmark::DoNotOptimize(data[size - 1]);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(size));
}

// Keeps the real time per iteration of each benchmark for the closing ratio.
class CRatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs)
            if (run.run_type == Run::RT_Iteration && !run.error_occurred)
                realTimes[run.run_name.function_name] = run.GetAdjustedRealTime();
    }
    std::map<std::string, double> realTimes;
};

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (!vorn::BuildSampleMarket(SampleMatrix(), vorn::SampleMarketOptions{})) {
        std::printf("matrix_file_bench: the sample market cannot be built yet; skipped\n");
        return 0;
    }
    FilePath() = std::filesystem::temp_directory_path() /
                 ("vorn-matrix-bench-" + std::to_string(::getpid()) + ".kbx");
    if (const vorn::MatrixResult result =
            vorn::GenerateMatrix(SampleMatrix(), FilePath(), nullptr, nullptr);
        result != vorn::kMatrixOk) {
        std::printf("matrix_file_bench: generation failed with %u\n", vorn::ResultCode(result));
        return 1;
    }
    std::error_code error;
    UnverifiedPath() = FilePath().string() + ".unverified";
    std::filesystem::create_hard_link(FilePath(), UnverifiedPath(), error);
    if (error || !std::filesystem::exists(vorn::ChecksumSidecarPath(FilePath()))) {
        std::printf("matrix_file_bench: no checksum to compare with\n");
        return 1;
    }
    std::printf("content file: %ju bytes, %zu securities\n",
                static_cast<std::uintmax_t>(std::filesystem::file_size(FilePath(), error)),
                SampleMatrix().Securities().size());

    benchmark::RegisterBenchmark("Generate", BM_Generate)
        ->UseRealTime()
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("Restore", BM_Restore)
        ->UseRealTime()
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("RestoreUnverified", BM_RestoreUnverified)
        ->UseRealTime()
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("PlainRead", BM_PlainRead)
        ->UseRealTime()
        ->Unit(benchmark::kMillisecond);
    CRatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    const auto restore = reporter.realTimes.find("Restore");
    const auto plain = reporter.realTimes.find("PlainRead");
    if (restore != reporter.realTimes.end() && plain != reporter.realTimes.end() &&
        plain->second > 0)
        std::printf("restore / plain read: %.2f (aim: at most 3)\n",
                    restore->second / plain->second);
    const auto unverified = reporter.realTimes.find("RestoreUnverified");
    if (restore != reporter.realTimes.end() && unverified != reporter.realTimes.end() &&
        unverified->second > 0)
        std::printf("checksum verification adds: %+.1f%% (aim: at most 10%%)\n",
                    100.0 * (restore->second / unverified->second - 1.0));
    std::filesystem::remove(FilePath(), error);
    std::filesystem::remove(UnverifiedPath(), error);
    std::filesystem::remove(vorn::ChecksumSidecarPath(FilePath()), error);
    return 0;
}
