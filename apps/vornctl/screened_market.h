#pragma once
// The screening as the program runs it: the settings it would start with, and the securities
// list of an analysed market under them. Shared by `screen` and `backtest`.
#include <cstdio>
#include <optional>
#include <string>

#include "analysed_market.h"
#include "command.h"
#include "contents/settings_files.h"
#include "screening/indicator_screening.h"
#include "screening/securities_list.h"
#include "technical/technical_manager.h"

namespace vornctl {

// The settings the program would screen with after starting with `path` as "Vorn.ssd" (its
// saved screening `saved` when given); the defaults without a path. Prints the reason and
// returns false when the file cannot be used.
inline bool LoadScreeningSettings(const std::optional<std::string>& path,
                                  const std::optional<std::string>& saved,
                                  vorn::ScreeningSettings& settings) {
    settings = vorn::MakeDefaultScreeningSettings();
    if (!path)
        return true;
    vorn::CSavedScreenings records;
    vorn::ScreeningSettings current;
    const vorn::SettingsFileResult result =
        vorn::LoadScreeningFile(*path, current, records, vorn::DamagedCopy::Skip);
    if (result != vorn::SettingsFileResult::Ok &&
        result != vorn::SettingsFileResult::DamagedRecords) {
        std::fprintf(stderr, "vornctl: %s: %s\n", path->c_str(),
                     std::string(vorn::Describe(result)).c_str());
        VerboseResult("settings", static_cast<unsigned>(result));
        return false;
    }
    if (saved && !records.ApplyScreening(vorn::Utf8ToCp932(*saved), current)) {
        std::fprintf(stderr, "vornctl: %s holds no saved screening '%s'\n", path->c_str(),
                     saved->c_str());
        return false;
    }
    vorn::ApplyStartupParameterDefaults(current);
    settings = std::move(current);
    return true;
}

// The securities list of `market` rebuilt under `settings`, with the indicator values it
// screens on (the list reads them, so they live as long as it does).
class CScreenedMarket {
public:
    CScreenedMarket(AnalysedMarket& market, const vorn::ScreeningSettings& settings)
        : list_(market.matrix, market.results) {
        manager_.RegisterTechnicals(&market.matrix);
        indicators_.emplace(manager_);
        indicators_->PrepareInclinationParameters(settings.inclinationParameters);
        indicators_->RecomputeInclinationScreening(settings.inclinationParameters);
        indicators_->RecomputeTurnoverScreening(settings.turnoverParameters);
        list_.SetIndicatorValues(indicators_->Inclinations(), indicators_->TurnoverRatios());
        list_.Prepare();
        list_.RebuildSecurities(settings);
    }
    CScreenedMarket(const CScreenedMarket&) = delete;
    CScreenedMarket& operator=(const CScreenedMarket&) = delete;

    vorn::CSecuritiesList& List() { return list_; }

private:
    vorn::CTechnicalManager manager_;
    std::optional<vorn::CIndicatorScreening> indicators_;
    vorn::CSecuritiesList list_;
};

} // namespace vornctl
