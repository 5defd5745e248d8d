// Placeholder: the per-security analysis is being written.
#include "gaps/listing_analysis.h"
#include "gaps/market_windows.h"
#include "gaps/windows_performer.h"

namespace vorn {

CMarketWindows::CMarketWindows() : workerPerformer_(std::make_unique<CWindowsPerformer>()) {}

CMarketWindows::~CMarketWindows() { JoinWorker(); }

void CMarketWindows::JoinWorker() {
    if (worker_.joinable())
        worker_.join();
}

bool CMarketWindows::AnalyseListing(const CMarketMatrix&, int, CWindowsPerformer&, bool) {
    return false;
}

bool CMarketWindows::AnalyseListingByKey(const CMarketMatrix&, SecurityKey, int,
                                         CWindowsPerformer&, bool) {
    return false;
}

bool CMarketWindows::StartMarketAnalysis(const CMarketMatrix&, AnalysisResults&, IMessageSink*) {
    return false;
}

} // namespace vorn
