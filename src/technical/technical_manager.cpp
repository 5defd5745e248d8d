#include "technical/technical_manager.h"

#include "technical/inclination_index.h"
#include "technical/simple_moving_average.h"
#include "technical/technical_result.h"
#include "technical/turnover_average.h"

namespace vorn {

CTechnicalManager::~CTechnicalManager() {
    technicals_.clear();
    parameters_.clear();
}

void CTechnicalManager::SetDefaults(std::uint16_t type, TechnicalParameters& parameters) const {
    if (const CTechnical* technical = Find(type))
        technical->SetDefaults(parameters);
    else
        parameters.clear();
}

TechnicalStatus CTechnicalManager::Analyze(const TechnicalParameters& parameters,
                                           CTechnicalResult* result, const SeriesSet* stock,
                                           PeriodKind seriesKind) {
    if (result == nullptr)
        return kTechnicalWrongResult;
    CTechnical* technical = Find(result->GetTypeId());
    if (technical == nullptr)
        return kTechnicalNotRegistered;
    return technical->Analyze(parameters, result, stock, seriesKind);
}

void CTechnicalManager::RegisterTechnicals(const CMarketMatrix* store) {
    technicals_.clear();
    store_ = store;
    std::unique_ptr<CTechnical> created[] = {std::make_unique<CSimpleMovingAverage>(parameters_),
                                             std::make_unique<CInclinationIndex>(parameters_),
                                             std::make_unique<CTurnoverAverage>(parameters_)};
    for (auto& technical : created) {
        technical->SetStore(store);
        const std::uint16_t type = technical->GetTypeId();
        technicals_[type] = std::move(technical);
    }
}

CTechnical* CTechnicalManager::Find(std::uint16_t type) const {
    const auto it = technicals_.find(type);
    return it != technicals_.end() ? it->second.get() : nullptr;
}

} // namespace vorn
