#pragma once
// Command identifiers of the main window's menus, tool bars and keys, and of the views that
// offer some of them in their context menus. One numbering for the whole application.
#include <cstdint>

namespace vorn {

enum CommandId : std::uint32_t {
    kIdTradeForecastClear = 32777,
    kIdTradeForecast10 = 32782,
    kIdTradeForecast20 = 32783,
    kIdTradeForecast30 = 32785,
    kIdTradings = 32773,
    kIdMonthlyTradings = 32775,
    kIdChartFirst = 32800,
    kIdChartLast = 32801,
    kIdChartNext = 32802,
    kIdChartPrevious = 32803,
    kIdBarSearch = 32811,
    kIdZoomIn = 32814,
    kIdZoomOut = 32815,
    kIdCopyChart = 32830,
    kIdCopyChartAnalysis = 32832,
    kIdContentsChart = 32836,
    kIdContentsPortfolio = 32837,
    kIdContentsScreening = 32838,
    kIdBarChart = 32844,
    kIdMatrixRecovery = 32846,
    kIdScreeningRestore = 32873,
    kIdScreeningSave = 32874,
    kIdBarPortfolio = 32876,
    kIdBarScreening = 32878,
    kIdMatrixProperty = 32880,
    kIdColourBlack = 32887,
    kIdColourWhite = 32888,
    kIdHistoryBack = 32893,
    kIdHistoryForward = 32895,
    kIdPreviousDay = 32909,
    kIdNextDay = 32910,
    kIdContentsReport = 32912,
    kIdLawPerformance = 32924,
    kIdManual = 32930,
    kIdAddFavorite = 32934,
    kIdOrganiseFavorites = 32935,
    kIdCopy = 32941,
    kIdZoomStep1 = 32950, // 32950..32955: zoom steps 1, 5, 10, 15, 30, 45
    kIdScreeningReset = 32957,
    kIdAbout = 57664,
    kIdExit = 57665,
    kIdBarContents = 59392,
    kIdBarStatus = 59393,
};

} // namespace vorn
