#pragma once
// One entry of the contents history: enough of a chart, a screening or a report to show it
// again.
#include <cstdint>
#include <string>

#include "contents/contents_host.h"
#include "matrix/market_records.h"
#include "screening/screening_settings.h"

namespace vorn {

// The main window's contents modes; portfolio views are never recorded.
enum ContentsKind : std::uint8_t {
    kContentsChart = 0,
    kContentsScreening = 1,
    kContentsPortfolio = 2,
    kContentsReport = 3,
};

constexpr std::size_t kMaxReportAddressLength = 1023;

class CContents {
public:
    virtual ~CContents() = default;
    // --- Operations in slot order ---
    virtual ContentsKind GetKind() const = 0;
    virtual void Restore(IContentsHost& host) const = 0;

protected:
    CContents() = default;
    CContents(const CContents&) = default;
    CContents& operator=(const CContents&) = default;
};

class CChartContents final : public CContents {
public:
    ContentsKind GetKind() const override { return kContentsChart; }
    void Restore(IContentsHost& host) const override {
        host.ShowChart(stock, displayKind, displayedDays, scrollPosition);
    }

    const SecurityRecord* stock = nullptr; // owned by the market matrix
    PeriodKind displayKind = PeriodKind::Daily;
    std::uint16_t displayedDays = 0;
    std::uint16_t scrollPosition = 0;
};

class CScreeningContents final : public CContents {
public:
    ContentsKind GetKind() const override { return kContentsScreening; }
    void Restore(IContentsHost& host) const override;

    ScreeningImage settings{};
    SecurityKeySet preferred;
    SecurityKeySet excluded;
};

class CReportContents final : public CContents {
public:
    ContentsKind GetKind() const override { return kContentsReport; }
    void Restore(IContentsHost& host) const override { host.ShowReport(address); }

    std::string address; // at most kMaxReportAddressLength bytes
};

} // namespace vorn
