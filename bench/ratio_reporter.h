#pragma once
// A console reporter that prints, after the table, how a measured benchmark compares with a
// baseline run of the same program, and the main() that uses it.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

namespace vorn::bench {

class CRatioReporter : public benchmark::ConsoleReporter {
public:
    // `label` is printed before the ratio, e.g. "mapping pass / pure scan"; `aim` after it.
    CRatioReporter(std::string baseline, std::string measured, std::string label,
                   std::string aim = {})
        : baseline_(std::move(baseline)), measured_(std::move(measured)), label_(std::move(label)),
          aim_(std::move(aim)) {}

    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.error_occurred || run.iterations == 0)
                continue;
            // CPU time: the runs compared are single-threaded, and it leaves out the time the
            // process waited for a core on a busy machine.
            const double perIteration = run.GetAdjustedCPUTime();
            if (run.benchmark_name().rfind(baseline_, 0) == 0)
                baselineTime_ = perIteration;
            else if (run.benchmark_name().rfind(measured_, 0) == 0)
                measuredTime_ = perIteration;
        }
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        if (baselineTime_ > 0 && measuredTime_ > 0)
            std::printf("%s (CPU time): %.2fx%s\n", label_.c_str(), measuredTime_ / baselineTime_,
                        aim_.empty() ? "" : (" (aim: " + aim_ + ")").c_str());
        else
            std::printf("%s: not measured\n", label_.c_str());
    }

private:
    std::string baseline_, measured_, label_, aim_;
    double baselineTime_ = 0;
    double measuredTime_ = 0;
};

inline int RunWithRatio(int argc, char** argv, CRatioReporter& reporter) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}

} // namespace vorn::bench
