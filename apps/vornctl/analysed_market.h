#pragma once
// A restored market that has been mapped and analysed as a whole, as the screening and the
// reports need it.
#include <cstdio>
#include <string>

#include "foundation/event.h"
#include "foundation/message_sink.h"
#include "foundation/text_encoding.h"
#include "gaps/listing_analysis.h"
#include "gaps/market_windows.h"
#include "matrix_input.h"

namespace vornctl {

struct AnalysedMarket {
    vorn::CMarketMatrix matrix;
    vorn::CMarketWindows windows;
    vorn::AnalysisResults results;
};

// Waits for the market analysis worker's last message.
class CAnalysisFinishSink final : public vorn::IMessageSink {
public:
    void Post(std::uint32_t message, std::uintptr_t wParam, std::intptr_t) override {
        if (message != vorn::kMsgProgress || wParam == vorn::kProgressPercent)
            return;
        finished_ = wParam == 1;
        done_.Set();
    }
    bool Wait() {
        done_.Wait();
        return finished_;
    }

private:
    vorn::CEvent done_{true, false};
    bool finished_ = false; // written before done_ is set, read after it
};

// Restores, maps and analyses (period kind 0); prints the reason and returns false on failure.
inline bool LoadAnalysedMarket(const std::string& path, AnalysedMarket& market) {
    if (!RestoreOrReport(market.matrix, path))
        return false;
    CProgressLine line;
    CProgressSink mapping(line, "mapping the windows");
    if (!market.windows.MapMarketWindows(market.matrix, nullptr, &mapping)) {
        line.Clear();
        std::fprintf(stderr, "vornctl: the market could not be mapped\n");
        return false;
    }
    market.results.periodKind = vorn::PeriodKind::Daily;
    CAnalysisFinishSink finish;
    CProgressSink analysis(line, "analysing the securities", &finish);
    const bool started =
        market.windows.StartMarketAnalysis(market.matrix, market.results, &analysis);
    const bool finished = started && finish.Wait();
    market.windows.JoinWorker();
    line.Clear();
    if (!finished) {
        std::fprintf(stderr, "vornctl: the market analysis failed\n");
        return false;
    }
    return true;
}

// Cp932 text for the terminal: UTF-8, with control characters other than line ends (which a
// company name from a damaged file could carry) shown as "?".
inline std::string TerminalText(const std::string& cp932) {
    std::string text = vorn::Cp932ToUtf8(cp932);
    for (char& c : text)
        if ((static_cast<unsigned char>(c) < 0x20 && c != '\n') || c == 0x7F)
            c = '?';
    return text;
}

} // namespace vornctl
