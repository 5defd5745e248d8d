// vornctl map: restores a matrix file, maps the windows of the whole market and prints the
// events, the window counters or the preferred markets.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

#include "command.h"
#include "gaps/market_windows.h"
#include "matrix_input.h"

namespace vornctl {
namespace {

// Millions of lines may come out: lines are built in a buffer and written in large blocks.
class CLineWriter {
public:
    explicit CLineWriter(FILE* out) : out_(out) {}
    ~CLineWriter() { Flush(); }
    CLineWriter(const CLineWriter&) = delete;
    CLineWriter& operator=(const CLineWriter&) = delete;

    // Decimal digits, zero-padded to at least `width`.
    CLineWriter& Number(std::uint64_t value, int width = 1) {
        char digits[20];
        int n = 0;
        do {
            digits[n++] = static_cast<char>('0' + value % 10);
            value /= 10;
        } while (value != 0);
        while (n < width && n < static_cast<int>(sizeof digits))
            digits[n++] = '0';
        Reserve(n);
        while (n > 0)
            buffer_[used_++] = digits[--n];
        return *this;
    }
    CLineWriter& Char(char c) {
        Reserve(1);
        buffer_[used_++] = c;
        return *this;
    }
    // YYYY/MM/DD
    CLineWriter& Date(vorn::PackedDate date) {
        Number(vorn::DateYear(date), 4).Char('/');
        Number(vorn::DateMonth(date), 2).Char('/');
        return Number(vorn::DateDay(date), 2);
    }
    CLineWriter& Text(const char* text) {
        const std::size_t length = std::strlen(text);
        for (std::size_t i = 0; i < length; ++i)
            Char(text[i]);
        return *this;
    }
    void Flush() {
        if (used_ > 0 && std::fwrite(buffer_, 1, used_, out_) != used_)
            failed_ = true;
        used_ = 0;
    }
    bool Failed() const { return failed_ || std::ferror(out_) != 0; }

private:
    void Reserve(int bytes) {
        if (used_ + static_cast<std::size_t>(bytes) > sizeof buffer_)
            Flush();
    }

    FILE* out_;
    char buffer_[1 << 16];
    std::size_t used_ = 0;
    bool failed_ = false;
};

void PrintEvents(CLineWriter& out, const vorn::CWindowEventMap& events,
                 const vorn::CCalendar& calendar) {
    events.ForEach([&](vorn::EventKey key, std::uint8_t flags) {
        const std::uint16_t day = vorn::DayOfKey(key);
        // Every mapped day is a position of this calendar; the guard keeps a bad key harmless.
        const vorn::PackedDate date = day < calendar.Count() ? calendar[day] : 0;
        out.Text(vorn::FormatStockCode(vorn::CodeOfKey(key)).c_str())
            .Char(',')
            .Number(vorn::MarketOfKey(key))
            .Char(',');
        out.Date(date).Char(',').Number(flags).Char('\n');
    });
}

void PrintCounts(CLineWriter& out, const vorn::CWindowCountsMap& counts) {
    counts.ForEach([&](vorn::SecurityKey key, const vorn::WindowCounts& c) {
        out.Text(vorn::FormatStockCode(vorn::CodeOfKey(key)).c_str())
            .Char(',')
            .Number(vorn::MarketOfKey(key))
            .Char(',');
        out.Number(c.upOpened).Char(',').Number(c.downOpened).Char(',');
        out.Number(c.upFilled).Char(',').Number(c.downFilled).Char('\n');
    });
}

void PrintPreferred(CLineWriter& out, const vorn::CMarketMatrix::PreferredMarketMap& preferred) {
    for (const auto& [code, market] : preferred)
        out.Text(vorn::FormatStockCode(code).c_str()).Char(',').Number(market).Char('\n');
}

int RunMap(int argc, char** argv) {
    const CArgs args(argc, argv);
    if (args.Positionals().size() != 1)
        return UsageError("expected one matrix file");
    const std::string& path = args.Positionals()[0];

    vorn::CMarketMatrix matrix;
    if (!RestoreOrReport(matrix, path))
        return 1;

    vorn::CMarketWindows windows;
    CProgressLine line;
    CProgressSink mapping(line, "mapping the windows");
    const auto started = std::chrono::steady_clock::now();
    const bool mapped = windows.MapMarketWindows(matrix, nullptr, &mapping);
    const auto elapsed = std::chrono::steady_clock::now() - started;
    line.Clear();
    if (!mapped) {
        std::fprintf(stderr, "vornctl: map: %s has no trading days\n", path.c_str());
        return 1;
    }

    CLineWriter out(stdout);
    const bool events = args.Has("events"), counts = args.Has("counts"),
               preferred = args.Has("preferred");
    if (events)
        PrintEvents(out, windows.EventMap(), matrix.DailyCalendar());
    if (counts)
        PrintCounts(out, windows.CountsMap());
    if (preferred)
        PrintPreferred(out, matrix.PreferredMarkets());
    if (!events && !counts && !preferred) {
        const double milliseconds = std::chrono::duration<double, std::milli>(elapsed).count();
        out.Text("securities mapped: ").Number(windows.CountsMap().Size()).Char('\n');
        out.Text("events: ").Number(windows.EventMap().Size()).Char('\n');
        char time[64];
        std::snprintf(time, sizeof time, "time: %.1f ms\n", milliseconds);
        out.Text(time);
    }
    out.Flush();
    if (out.Failed() || std::fflush(stdout) != 0) {
        std::fprintf(stderr, "vornctl: map: writing the output failed\n");
        return 1;
    }
    return 0;
}

const CommandRegistrar kRegisterMap(
    {"map",
     "map FILE [--events] [--counts] [--preferred]",
     "maps every window of every security and prints the totals, or the maps themselves",
     {{"events", nullptr, "print the window event map, one line per event (default: totals only)"},
      {"counts", nullptr, "print the window counts of each security"},
      {"preferred", nullptr, "print the preferred market of each company"}},
     "vornctl map data/Market.kbx --counts",
     "FILE is a market content file."},
    &RunMap);

} // namespace
} // namespace vornctl
