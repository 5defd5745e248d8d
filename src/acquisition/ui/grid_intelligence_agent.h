#pragma once
// The announcement list of the main window: the feed agent's current items, newest first,
// with their delivery time, an icon for what activating them leads to and their subject.
// Items that arrived since the previous refresh flash briefly.
#include <QTimer>
#include <cstdint>
#include <set>
#include <vector>

#include "acquisition/intelligence_agent.h"
#include "foundation/message_sink.h"
#include "grids/grid.h"

namespace vorn {

class CGridIntelligenceAgent : public CGrid {
    Q_OBJECT
public:
    static constexpr int kFlashedItems = 3; // at most this many new items flash
    static constexpr int kFlashRedraws = 4; // highlighted, normal, highlighted, normal
    static constexpr int kFlashIntervalMs = 100;

    // `owner` receives message 1279 when an item is activated; it may be null.
    CGridIntelligenceAgent(const CIntelligenceAgent& agent, IMessageSink* owner,
                           QWidget* parent = nullptr);
    ~CGridIntelligenceAgent() override;

    void BuildColumns() override;
    void DrawCell(int row, int column, const QRect& cell, std::uint8_t state,
                  std::uint8_t columnPosition, QPainter& painter) override;
    void OnDoubleClickCell(int row, int column) override;

    // Takes the items listed on the local date today (or on `today`) from the agent.
    void Refresh();
    void Refresh(PackedDate today);

    // Posts message 1279 for a row: wParam the item id. The message is posted, so lParam
    // carries no pointer that could outlive the row; the owner takes the item by its id
    // from FindRow (or the agent).
    void ActivateRow(int row);
    bool FindRow(std::uint32_t id, IntelligenceItem& item) const;

    const std::vector<IntelligenceItem>& Rows() const { return rows_; }
    // Ids of the items flashing now; empty once the flashing is over.
    const std::set<std::uint32_t>& FlashingItems() const { return flashing_; }
    bool IsFlashHighlighted() const { return !flashing_.empty() && flashStep_ % 2 == 0; }

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void FlashStep();

    const CIntelligenceAgent& agent_;
    IMessageSink* owner_;
    std::vector<IntelligenceItem> rows_;
    // Newest delivered time of the previous refresh; nothing flashes on the first one.
    PackedDateTime newestDelivered_ = 0;
    bool refreshed_ = false;
    std::set<std::uint32_t> flashing_;
    int flashStep_ = 0;
    QTimer flashTimer_;
};

} // namespace vorn
