#include "acquisition/ui/intelligence_activation.h"

#include "acquisition/ui/dialog_intelligence_message.h"
#include "acquisition/ui/dialog_location.h"
#include "acquisition/ui/dialog_location_comment.h"
#include "acquisition/ui/web_address.h"

namespace vorn {

const SecurityRecord* FindItemSecurity(const CMarketMatrix& matrix, SecurityKey stock) {
    if (stock == 0)
        return nullptr;
    const auto& securities = matrix.Securities();
    const auto found = securities.lower_bound(stock);
    if (found == securities.end() || CodeOfKey(found->first) != CodeOfKey(stock))
        return nullptr;
    return &found->second;
}

IntelligenceActivation ActivateIntelligenceItem(const IntelligenceItem& item,
                                                const CIntelligenceAgent& agent,
                                                const CMarketMatrix& matrix,
                                                IIntelligenceHost& host, QWidget* parent) {
    IntelligenceActivation result;
    result.selected = FindItemSecurity(matrix, item.stock);
    if (result.selected != nullptr)
        host.SelectStock(*result.selected);

    auto show = [&](QDialog* dialog) {
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        dialog->show();
        result.window = dialog;
    };

    switch (item.linkType) {
    case kLinkServerPage:
        if (agent.FormatItemUrlOwn(result.address, item, false)) {
            if (IsOpenableWebAddress(result.address))
                host.ShowReport(result.address);
            else
                result.refused = true;
        }
        break;
    case kLinkWebAddress:
        if (agent.FormatItemUrlOwn(result.address, item, false)) {
            // The dialog shows any address, but its link opens only http and https ones.
            result.refused = !OpenableWebUrl(result.address).isValid();
            if (item.message.empty())
                show(new CDialogLocation(item.subject, result.address, parent));
            else
                show(
                    new CDialogLocationComment(item.subject, result.address, item.message, parent));
        }
        break;
    case kLinkMessage:
        if (!item.message.empty()) {
            show(new CDialogIntelligenceMessage(
                item.subject, item.message, (item.flags & kItemFlagFullSizeMessage) != 0, parent));
            if (result.selected != nullptr)
                host.RedrawChart();
        }
        break;
    default:
        break;
    }
    return result;
}

} // namespace vorn
