#pragma once
// What the main window does when the user activates an announcement (message 1279): select
// the stock it refers to, then open its server page, its location dialog or its message.
// Before any Qt header: the core uses names that Qt defines as macros.
#include "acquisition/intelligence_agent.h"
#include "matrix/market_matrix.h"

#include <QDialog>
#include <QPointer>
#include <QWidget>
#include <string>

namespace vorn {

// The parts of the main window an announcement reaches.
class IIntelligenceHost {
public:
    virtual ~IIntelligenceHost() = default;
    // Makes the security the selected stock.
    virtual void SelectStock(const SecurityRecord& security) = 0;
    // Shows a server page in the report browser (and records it in the history).
    virtual void ShowReport(const std::string& address) = 0;
    // Redraws the chart when it is the contents shown.
    virtual void RedrawChart() = 0;
};

// The security an item refers to: the first one at or after its key that has the key's
// stock code; null for none.
const SecurityRecord* FindItemSecurity(const CMarketMatrix& matrix, SecurityKey stock);

struct IntelligenceActivation {
    const SecurityRecord* selected = nullptr;
    std::string address;  // the address built for link types 1 and 2
    bool refused = false; // the item's address was not one that may be opened
    // The location dialog or message pop-up opened (non-modal, deleted on close).
    QPointer<QDialog> window;
};

// Handles an activated item. Windows opened are children of `parent` and shown at once.
IntelligenceActivation ActivateIntelligenceItem(const IntelligenceItem& item,
                                                const CIntelligenceAgent& agent,
                                                const CMarketMatrix& matrix,
                                                IIntelligenceHost& host, QWidget* parent);

} // namespace vorn
