// Calendar lookups are the inner loop of series extraction and gap mapping: a date in, a
// calendar position out. Compares both search forms with std::lower_bound on the same keys.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <random>
#include <vector>

#include "foundation/calendar_math.h"
#include "matrix/historical_manager.h"

namespace {

using namespace vorn;

// About twenty years of weekdays, and query dates spread over the same span.
struct Fixture {
    CCalendar calendar;
    std::vector<PackedDate> days;
    std::vector<PackedDate> queries;

    Fixture() {
        PackedDate day = MakePackedDate(1990, 1, 4);
        while (days.size() < 5000) {
            const unsigned weekday = WeekdayOfPackedDate(day);
            if (weekday != 0 && weekday != 6)
                days.push_back(day);
            day = AddDaysToPackedDate(day, 1);
        }
        for (PackedDate d : days)
            calendar.Insert(d);
        std::mt19937 random(1);
        for (int i = 0; i < 4096; ++i)
            queries.push_back(
                static_cast<PackedDate>(days.front() + random() % (days.back() - days.front())));
    }
};

Fixture& Data() {
    static Fixture fixture;
    return fixture;
}

void BM_FindRecursive(benchmark::State& state) {
    Fixture& f = Data();
    const auto mode = static_cast<SearchMode>(state.range(0));
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(f.calendar.Find(f.queries[i++ & 4095], mode, false));
    }
}
BENCHMARK(BM_FindRecursive)->Arg(0)->Arg(1)->Arg(2);

void BM_FindIterative(benchmark::State& state) {
    Fixture& f = Data();
    const auto mode = static_cast<SearchMode>(state.range(0));
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(f.calendar.Find(f.queries[i++ & 4095], mode, true));
    }
}
BENCHMARK(BM_FindIterative)->Arg(0)->Arg(1)->Arg(2);

void BM_StdLowerBound(benchmark::State& state) {
    Fixture& f = Data();
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            std::lower_bound(f.days.begin(), f.days.end(), f.queries[i++ & 4095]));
    }
}
BENCHMARK(BM_StdLowerBound);

void BM_AppendTradingDays(benchmark::State& state) {
    Fixture& f = Data();
    for (auto _ : state) {
        CCalendar calendar;
        for (PackedDate d : f.days)
            calendar.Insert(d);
        benchmark::DoNotOptimize(calendar.Count());
    }
}
BENCHMARK(BM_AppendTradingDays);

} // namespace

BENCHMARK_MAIN();
