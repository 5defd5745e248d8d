// The analysis of one security (window replay, trading laws, positions and figures) and the
// worker that analyses the whole market.
#include <algorithm>
#include <cmath>
#include <span>
#include <system_error>
#include <vector>

#include "gaps/listing_analysis.h"
#include "gaps/market_windows.h"
#include "gaps/windows_performer.h"

namespace vorn {
namespace {

constexpr std::uint16_t kBenchmarkStock = 1002;
constexpr std::uint8_t kBenchmarkStockMarket = 1;
constexpr int kBenchmarkDays = 180;
// The worker posts its progress and looks at the cancel event after this many securities.
constexpr std::size_t kWorkerPollEvery = 35;
constexpr std::uintptr_t kWorkerFinished = 1;
constexpr std::uintptr_t kWorkerRefused = static_cast<std::uintptr_t>(-1);
constexpr std::intptr_t kRefusedRunning = 1;
constexpr std::intptr_t kRefusedThreadFailed = 3;
constexpr std::intptr_t kRefusedWorkerFailed = 6;
constexpr int kWorkerDone = 0;
constexpr int kWorkerCancelled = 1;
constexpr int kWorkerFailed = 6;

constexpr std::uint32_t kPowersOfTen[] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000};

constexpr std::uint8_t kUpUpdateBits = kUpWindowReached | kUpWindowReduced | kUpWindowFilled;
constexpr std::uint8_t kDownUpdateBits =
    kDownWindowReached | kDownWindowReduced | kDownWindowFilled;

void Post(IMessageSink* sink, std::uintptr_t wParam, std::intptr_t lParam) {
    if (sink != nullptr)
        sink->Post(kMsgProgress, wParam, lParam);
}

// Year and month of a packed date, for telling months apart.
constexpr unsigned MonthOf(PackedDate date) {
    return date >> 5;
}

struct Signal {
    std::uint8_t flag = 0; // 0: the day gives no signal
    std::uint8_t law = 0;
};

std::uint8_t UpSideChoice(std::uint8_t e) {
    return (e & kUpWindowOpened)    ? kUpWindowOpened
           : (e & kUpWindowFilled)  ? kUpWindowFilled
           : (e & kUpWindowReduced) ? kUpWindowReduced
                                    : kUpWindowReached;
}
std::uint8_t DownSideChoice(std::uint8_t e) {
    return (e & kDownWindowOpened)    ? kDownWindowOpened
           : (e & kDownWindowFilled)  ? kDownWindowFilled
           : (e & kDownWindowReduced) ? kDownWindowReduced
                                      : kDownWindowReached;
}

Signal SignalOf(std::uint8_t e, std::uint32_t open, std::uint32_t close) {
    if (e == 0)
        return {};
    if (e & kUpWindowOpened)
        return {kUpWindowOpened, static_cast<std::uint8_t>((e & kDownUpdateBits) ? 3 : 1)};
    if (e & kDownWindowOpened)
        return {kDownWindowOpened, static_cast<std::uint8_t>((e & kUpUpdateBits) ? 3 : 1)};
    if ((e & kUpUpdateBits) && (e & kDownUpdateBits)) {
        // Law 4: a black candle buys on the upward side, a white one sells.
        if (close < open)
            return {UpSideChoice(e), 4};
        if (close > open)
            return {DownSideChoice(e), 4};
        return {0, 4};
    }
    return {(e & kUpUpdateBits) ? UpSideChoice(e) : DownSideChoice(e), 2};
}

// Open windows of the replay, upward and downward apart (the upward ones come first in the
// order the gap rules walk them); reused across securities.
struct ReplayScratch {
    std::vector<OpenWindow> upward;
    std::vector<OpenWindow> downward;
};

// Replays a security's events over its series: windows with identifiers and state records,
// the signals of the laws, positions and per-law statistics. The series must cover the
// calendar positions firstPosition..lastPosition one candle each. False when the events do
// not fit the series; what was found until then stays.
template <class Price>
bool Replay(const SeriesView& view, std::span<const WindowEvent> events, int firstPosition,
            int lastPosition, CWindowsPerformer& performer, ListingAnalysis& record,
            ReplayScratch& scratch) {
    const Candle<Price>* candles = view.Candles<Price>();
    const std::uint32_t lastDay = view.count - 1u;
    std::vector<OpenWindow>& upward = scratch.upward;
    std::vector<OpenWindow>& downward = scratch.downward;
    upward.clear();
    downward.clear();
    std::uint16_t nextIdentifier = 0;
    std::uint8_t previousSignal = 0;
    std::uint8_t currentLaw = 0;
    std::uint32_t currentEntry = 0;
    Signal lastEventSignal;
    int lastEventPosition = -1;

    for (const WindowEvent& event : events) {
        if (event.day <= firstPosition || event.day > lastPosition)
            return false;
        const std::uint32_t day = event.day - static_cast<std::uint32_t>(firstPosition);
        if (day > lastDay)
            return false;
        const std::uint16_t dayIndex = static_cast<std::uint16_t>(day);
        const std::uint8_t e = event.flags;
        const Candle<Price>& candle = candles[day];

        if (e & (kUpWindowReduced | kUpWindowFilled)) {
            const std::uint32_t low = candle.low;
            auto w = upward.begin();
            while (w != upward.end()) {
                if (low < w->upperBound) {
                    if (w->lowerBound >= low) {
                        performer.AppendRecord(
                            {w->identifier, kUpWindowFilled, dayIndex, w->lowerBound});
                        w = upward.erase(w);
                        continue;
                    }
                    w->upperBound = low;
                    performer.AppendRecord({w->identifier, kUpWindowReduced, dayIndex, low});
                }
                ++w;
            }
        }
        if (e & (kDownWindowReduced | kDownWindowFilled)) {
            const std::uint32_t high = candle.high;
            auto w = downward.begin();
            while (w != downward.end()) {
                if (high > w->lowerBound) {
                    if (high < w->upperBound) {
                        w->lowerBound = high;
                        performer.AppendRecord({w->identifier, kDownWindowReduced, dayIndex, high});
                    } else {
                        performer.AppendRecord(
                            {w->identifier, kDownWindowFilled, dayIndex, w->upperBound});
                        w = downward.erase(w);
                        continue;
                    }
                }
                ++w;
            }
        }
        if (e & kUpWindowOpened) {
            const std::uint32_t lower = candles[day - 1].high;
            const std::uint32_t upper = candle.low;
            if (lower >= upper)
                return false;
            const std::uint16_t id = nextIdentifier++;
            upward.push_back({kUpwardWindow, id, upper, lower});
            performer.AppendRecord({id, kUpWindowOpened, dayIndex, lower});
            performer.AppendRecord({id, 0, dayIndex, upper});
        } else if (e & kDownWindowOpened) {
            const std::uint32_t upper = candles[day - 1].low;
            const std::uint32_t lower = candle.high;
            if (lower >= upper)
                return false;
            const std::uint16_t id = nextIdentifier++;
            downward.push_back({kDownwardWindow, id, upper, lower});
            performer.AppendRecord({id, kDownWindowOpened, dayIndex, upper});
            performer.AppendRecord({id, 0, dayIndex, lower});
        }

        const Signal signal = SignalOf(e, candle.open, candle.close);
        lastEventSignal = signal;
        lastEventPosition = event.day;
        if (signal.flag == 0)
            continue;
        const bool changes = previousSignal == 0 ||
                             (IsBuySignal(previousSignal) && IsSellSignal(signal.flag)) ||
                             (IsSellSignal(previousSignal) && IsBuySignal(signal.flag));
        if (!changes)
            continue;
        const std::uint32_t entry = day == lastDay ? kNoEntryPrice : candles[day + 1].open;
        performer.AddPosition({dayIndex, signal.flag, signal.law, entry});
        if (currentEntry > 0 && entry != kNoEntryPrice) {
            const double held = static_cast<double>(currentEntry);
            const double result =
                IsBuySignal(currentLaw) ? (entry - held) / held : (held - entry) / held;
            const int index = LawStatsIndex(currentLaw);
            if (index >= 0) {
                LawStats& stats = record.lawStats[static_cast<std::size_t>(index)];
                if (result > 0)
                    ++stats.wins;
                else if (result < 0)
                    ++stats.losses;
                else
                    ++stats.evens;
                stats.sumOfReturns += result;
            }
        }
        currentLaw = LawCodeOf(signal.law, signal.flag);
        currentEntry = entry;
        previousSignal = signal.flag;
    }

    record.lastEventSignal = lastEventSignal.flag;
    record.lastEventLaw = lastEventSignal.law;
    record.daysSinceEvent = static_cast<std::uint16_t>(
        lastEventPosition < 0 ? lastPosition : lastPosition - lastEventPosition);
    const Candle<Price>& last = candles[lastDay];
    const std::uint64_t* volumes = view.volumes.get();
    record.candleShape = volumes[lastDay] == 0
                             ? static_cast<std::uint16_t>(kCandleShapeNoVolume)
                             : CandleShapeOf(last.open, last.high, last.low, last.close);
    if (volumes[lastDay] != 0 && lastDay > 0 && volumes[lastDay - 1] != 0) {
        const double before = static_cast<double>(volumes[lastDay - 1]);
        record.volumeChange = (static_cast<double>(volumes[lastDay]) - before) / before;
    } else {
        record.volumeChange = -1.0;
    }
    return true;
}

// Annual return and risk from month-by-month holding results; fills the performer's
// monthly segments.
template <class Price>
void ComputeMonthlyFigures(const SeriesView& view, const CCalendar& calendar, int firstPosition,
                           CWindowsPerformer& performer, ListingAnalysis& record) {
    const std::vector<PositionEntry>& positions = performer.Positions();
    if (positions.empty())
        return;
    const Candle<Price>* candles = view.Candles<Price>();
    const std::uint32_t lastDay = view.count - 1u;
    const auto dateOf = [&](std::uint32_t day) {
        return calendar[static_cast<std::size_t>(firstPosition) + day];
    };
    const auto positionOf = [&](std::uint32_t day) {
        return static_cast<std::uint16_t>(static_cast<std::uint32_t>(firstPosition) + day);
    };

    std::vector<std::uint32_t> monthStarts;
    for (std::uint32_t day = 1; day <= lastDay; ++day)
        if (MonthOf(dateOf(day)) != MonthOf(dateOf(day - 1)))
            monthStarts.push_back(day);
    if (monthStarts.size() < 2)
        return;
    const std::uint32_t firstEntryDay = positions.front().day + 1u;
    if (firstEntryDay >= lastDay)
        return;
    auto month = std::lower_bound(monthStarts.begin(), monthStarts.end(), firstEntryDay);
    if (month == monthStarts.end())
        return;
    const std::uint32_t f1 = *month;

    std::size_t next = 1;
    std::size_t inForce = 0;
    while (next < positions.size() && positions[next].day < f1)
        inForce = next++;
    if (next == positions.size())
        return;

    std::uint8_t side = positions[inForce].signal;
    std::uint32_t start = candles[f1].open;
    performer.AddSegment({positionOf(f1), side, start, start});
    ++month;
    constexpr std::uint32_t kNever = 0xFFFFFFFFu;
    for (;;) {
        const std::uint32_t entryDay = next < positions.size() ? positions[next].day + 1u : kNever;
        const std::uint32_t monthDay = month != monthStarts.end() ? *month : kNever;
        if (std::min(entryDay, monthDay) > lastDay)
            break;
        if (monthDay <= entryDay) {
            const std::uint32_t price = candles[monthDay].open;
            performer.AddSegment({positionOf(monthDay), side, start, price});
            start = price;
            if (entryDay == monthDay)
                side = positions[next++].signal;
            ++month;
        } else {
            const std::uint32_t price = positions[next].entryPrice;
            performer.AddSegment({positionOf(entryDay), side, start, price});
            side = positions[next++].signal;
            start = price;
        }
    }

    std::vector<double> monthly;
    double product = 1.0;
    unsigned collecting = MonthOf(calendar[performer.Segments().front().endPosition]);
    for (const MonthlySegment& s : performer.Segments()) {
        double change = 0.0; // a zero start price counts as no change
        if (s.startPrice != 0) {
            const double from = s.startPrice;
            change = IsBuySignal(s.side) ? (s.endPrice - from) / from : (from - s.endPrice) / from;
        }
        product *= 1.0 + change;
        const unsigned segmentMonth = MonthOf(calendar[s.endPosition]);
        if (segmentMonth != collecting) {
            monthly.push_back(product - 1.0);
            product = 1.0;
            collecting = segmentMonth;
        }
    }
    // One month's plain fraction is no annual figure.
    if (monthly.size() < 2)
        return;
    double sum = 0.0;
    for (double r : monthly)
        sum += r;
    const double mean = sum / static_cast<double>(monthly.size());
    double squares = 0.0;
    for (double r : monthly)
        squares += (r - mean) * (r - mean);
    record.annualRisk =
        std::sqrt(squares / static_cast<double>(monthly.size() - 1)) * std::sqrt(12.0) * 100.0;
    record.annualReturn = mean * 1200.0;
}

template <class Price> void CopyCloses(const SeriesView& view, std::vector<std::uint32_t>& out) {
    const Candle<Price>* candles = view.Candles<Price>();
    out.resize(view.count);
    for (std::size_t i = 0; i < view.count; ++i)
        out[i] = candles[i].close;
}

struct Deviations {
    std::vector<double> values;
    double sumOfSquares = 0.0;
};

// The benchmark's daily return deviations over the last kBenchmarkDays days up to `at`;
// empty when the benchmark has no such days.
Deviations BenchmarkDeviationsAt(const CMarketMatrix& matrix, PackedDate at) {
    Deviations result;
    const SecurityRecord* benchmark =
        matrix.FindSecurity(MakeSecurityKey(kBenchmarkStock, kBenchmarkStockMarket));
    if (benchmark == nullptr)
        return result;
    const CCalendar& calendar = matrix.DailyCalendar();
    const unsigned short* first = calendar.Lookup(benchmark->firstDate, SearchMode::LowerBound);
    const unsigned short* last = calendar.Lookup(at, SearchMode::LowerBound);
    if (first == nullptr || last == nullptr || first == calendar.End() || last == calendar.End() ||
        last <= first)
        return result;
    const long firstPosition = first - calendar.Data();
    const long lastPosition = last - calendar.Data();
    const long startPosition = std::max(firstPosition, lastPosition - (kBenchmarkDays - 1));
    SeriesSet series;
    if (!matrix.GetSeries(series, benchmark, calendar[static_cast<std::size_t>(startPosition)],
                          calendar[static_cast<std::size_t>(lastPosition)]))
        return result;
    const SeriesView& view = series.daily;
    const auto days = static_cast<std::size_t>(lastPosition - startPosition + 1);
    if (series.priceEncoding > 2 || !view.prices || view.count != days ||
        view.firstDate != calendar[static_cast<std::size_t>(startPosition)])
        return result;
    std::vector<std::uint32_t> closes;
    VisitPriceWidth(series.priceEncoding,
                    [&]<class Price>(PriceWidth<Price>) { CopyCloses<Price>(view, closes); });

    double sum = 0.0;
    for (std::size_t i = 1; i < days; ++i)
        if (closes[i - 1] != 0)
            sum += static_cast<double>(closes[i]) / closes[i - 1] - 1.0;
    const double mean = sum / static_cast<double>(days);
    result.values.assign(days, 0.0);
    for (std::size_t i = 1; i < days; ++i) {
        if (closes[i - 1] == 0)
            continue;
        const double deviation = static_cast<double>(closes[i]) / closes[i - 1] - 1.0 - mean;
        result.values[i] = deviation;
        result.sumOfSquares += deviation * deviation;
    }
    return result;
}

// Beta of a series ending at its last day against benchmark deviations. Day k of the window
// is paired with entry k of the deviations, whatever their calendar days.
template <class Price>
double BetaOf(const SeriesView& view, std::span<const double> deviations, double sumOfSquares) {
    // A benchmark without movement gives no beta (rather than a division by zero).
    if (deviations.empty() || view.count <= 1 || sumOfSquares == 0.0)
        return 0.0;
    const Candle<Price>* candles = view.Candles<Price>();
    const long lastDay = view.count - 1;
    long m = std::min<long>(lastDay, static_cast<long>(deviations.size()) - 1);
    long start = lastDay - m;
    while (start <= lastDay && candles[start].close == 0) {
        ++start;
        --m;
    }
    if (m < 0)
        return 0.0;
    const auto dailyReturn = [&](long day) {
        return static_cast<double>(candles[day].close) / candles[day - 1].close - 1.0;
    };
    double sum = 0.0;
    for (long k = 1; k <= m; ++k)
        if (candles[start + k - 1].close != 0)
            sum += dailyReturn(start + k);
    const double mean = sum / static_cast<double>(m + 1);
    double covariance = deviations[0] * -mean;
    for (long k = 1; k <= m; ++k)
        if (candles[start + k - 1].close != 0)
            covariance += deviations[static_cast<std::size_t>(k)] * (dailyReturn(start + k) - mean);
    return covariance / sumOfSquares;
}

struct AnalysisVariant {
    bool (*replay)(const SeriesView&, std::span<const WindowEvent>, int, int, CWindowsPerformer&,
                   ListingAnalysis&, ReplayScratch&);
    void (*monthly)(const SeriesView&, const CCalendar&, int, CWindowsPerformer&, ListingAnalysis&);
    double (*beta)(const SeriesView&, std::span<const double>, double);
};
template <class Price>
constexpr AnalysisVariant kVariant = {Replay<Price>, ComputeMonthlyFigures<Price>, BetaOf<Price>};

} // namespace

CMarketWindows::CMarketWindows() : workerPerformer_(std::make_unique<CWindowsPerformer>()) {}

CMarketWindows::~CMarketWindows() {
    stopping_ = true;
    cancel_.Set();
    JoinWorker();
}

void CMarketWindows::JoinWorker() {
    if (worker_.joinable())
        worker_.join();
}

bool CMarketWindows::AnalyseListing(const CMarketMatrix& matrix, PeriodKind periodKind,
                                    CWindowsPerformer& performer, bool force) {
    const SecurityRecord* security = performer.Security();
    if (security == nullptr)
        return false;
    {
        std::lock_guard lock(benchmarkMutex_);
        if (benchmarkDeviations_.empty()) {
            const SecurityRecord* benchmark =
                matrix.FindSecurity(MakeSecurityKey(kBenchmarkStock, kBenchmarkStockMarket));
            if (benchmark != nullptr) {
                Deviations d = BenchmarkDeviationsAt(matrix, benchmark->lastDate);
                benchmarkDeviations_ = std::move(d.values);
                benchmarkSumOfSquares_ = d.sumOfSquares;
                benchmarkDate_ = benchmark->lastDate;
            }
        }
    }

    performer.Reset();
    if (!IsPeriodKind(periodKind))
        return false;
    performer.SetPeriod(periodKind);
    const CCalendar& calendar = matrix.PeriodCalendar(periodKind);
    performer.SetCalendar(&calendar);
    if (force) {
        // The period's own extraction: for daily analyses this is the daily series.
        if (calendar.Empty() || !matrix.GetPeriodSeries(periodKind, performer.Series(), security,
                                                        *calendar.First(), *calendar.Last()))
            return false;
    }

    const SeriesSet& series = performer.Series();
    const SeriesView& view = series.View(periodKind);
    const int firstPosition = calendar.PositionOf(view.firstDate);
    const int lastPosition = calendar.PositionOf(view.lastDate);
    if (firstPosition < 0 || lastPosition < firstPosition || series.priceEncoding > 2 ||
        view.count != lastPosition - firstPosition + 1 || !view.prices || !view.volumes)
        return false;
    const AnalysisVariant& variant = VisitPriceWidth(
        series.priceEncoding,
        []<class Price>(PriceWidth<Price>) -> const AnalysisVariant& { return kVariant<Price>; });

    const SecurityKey key = security->Key();
    ListingAnalysis record{};
    static thread_local ReplayScratch scratch;
    const bool replayed = variant.replay(view, eventMaps_[PeriodIndex(periodKind)].EventsOf(key),
                                         firstPosition, lastPosition, performer, record, scratch);
    performer.FinishHistory();
    if (replayed && series.priceExponent != 0 && series.priceExponent < std::size(kPowersOfTen))
        performer.ScaleHistory(kPowersOfTen[series.priceExponent]);
    performer.SetPositions(firstPosition, lastPosition);
    if (!force && performer.FindResult(key) != nullptr)
        return true;

    const std::vector<PositionEntry>& positions = performer.Positions();
    if (!positions.empty()) {
        const PositionEntry& last = positions.back();
        const std::uint32_t lastDay = view.count - 1u;
        const bool buy = IsBuySignal(last.signal);
        if (last.day != lastDay) {
            record.position = buy ? kPositionHoldBuy : kPositionHoldSell;
            record.daysHeld = static_cast<std::uint16_t>(lastDay - last.day);
        } else if (positions.size() == 1) {
            record.position = buy ? kPositionNewBuy : kPositionNewSell;
        } else {
            record.position = buy ? kPositionSwitchBuy : kPositionSwitchSell;
        }
        record.signal = last.signal;
        record.signalLaw = last.law;
    }

    variant.monthly(view, calendar, firstPosition, performer, record);
    {
        std::lock_guard lock(benchmarkMutex_);
        const PackedDate lastDate = view.lastDate;
        if (lastDate == benchmarkDate_) {
            record.beta = variant.beta(view, benchmarkDeviations_, benchmarkSumOfSquares_);
        } else if (lastDate < benchmarkDate_) {
            const Deviations own = BenchmarkDeviationsAt(matrix, lastDate);
            record.beta = variant.beta(view, own.values, own.sumOfSquares);
        }
    }
    record.latestWindows = performer.GetLatestWindowsAt(lastPosition);
    performer.StoreResult(key, record);
    return true;
}

bool CMarketWindows::AnalyseListingByKey(const CMarketMatrix& matrix, SecurityKey key,
                                         PeriodKind periodKind, CWindowsPerformer& performer,
                                         bool force) {
    const SecurityRecord* security = matrix.FindSecurity(key);
    if (security == nullptr)
        return false;
    if (security != performer.Security()) {
        performer.SetSecurity(security);
        force = true;
    }
    return AnalyseListing(matrix, periodKind, performer, force);
}

bool CMarketWindows::StartMarketAnalysis(const CMarketMatrix& matrix, AnalysisResults& destination,
                                         IMessageSink* sink) {
    if (!workerEnded_.IsSet()) {
        Post(sink, kWorkerRefused, kRefusedRunning);
        return false;
    }
    JoinWorker();
    OnStartMarketAnalysis();
    workerProgress_ = 1.0;
    workerMatrix_ = &matrix;
    workerDestination_ = &destination;
    workerSink_ = sink;
    const std::size_t securities = matrix.Securities().size();
    workerStep_ = securities == 0 ? 0.0 : 99.0 / static_cast<double>(securities);
    {
        // Each market analysis measures beta against the benchmark as the matrix holds it now.
        std::lock_guard lock(benchmarkMutex_);
        benchmarkDeviations_.clear();
        benchmarkSumOfSquares_ = 0.0;
        benchmarkDate_ = 0;
    }
    workerEnded_.Reset();

    const auto analyseAll = [this]() -> int {
        Post(workerSink_, kProgressPercent, 1);
        cancel_.Reset();
        const CMarketMatrix& market = *workerMatrix_;
        CWindowsPerformer& performer = *workerPerformer_;
        const PeriodKind periodKind = workerDestination_->periodKind;
        performer.ClearResults();
        performer.Reset();
        performer.SetPeriod(periodKind);
        std::size_t count = 0;
        for (const auto& [key, security] : market.Securities()) {
            ++count;
            if (workerDestination_->records.count(key) == 0 &&
                market.GetPeriodSeries(periodKind, performer.Series(), &security,
                                       security.firstDate, security.lastDate)) {
                performer.SetSecurity(&security);
                AnalyseListing(market, periodKind, performer, false);
            }
            workerProgress_ += workerStep_;
            if (count % kWorkerPollEvery == 0) {
                Post(workerSink_, kProgressPercent, static_cast<std::intptr_t>(workerProgress_));
                if (cancel_.IsSet() || stopping_)
                    return kWorkerCancelled;
            }
        }
        if (workerProgress_ < 100.0) {
            workerProgress_ = 100.0;
            Post(workerSink_, kProgressPercent, 100);
        }
        return kWorkerDone;
    };

    try {
        worker_ = std::thread([this, analyseAll] {
            int result = kWorkerFailed;
            try {
                result = analyseAll();
                if (result == kWorkerDone || result == kWorkerCancelled)
                    for (const CachedAnalysis& cached : workerPerformer_->Results())
                        workerDestination_->records.insert_or_assign(cached.key, cached.record);
            } catch (const std::exception&) {
                result = kWorkerFailed;
            }
            if (result == kWorkerDone || result == kWorkerCancelled)
                Post(workerSink_, kWorkerFinished, 0);
            else
                Post(workerSink_, kWorkerRefused, kRefusedWorkerFailed);
            workerEnded_.Set();
        });
    } catch (const std::system_error&) {
        workerEnded_.Set();
        Post(sink, kWorkerRefused, kRefusedThreadFailed);
        return false;
    }
    return true;
}

} // namespace vorn
