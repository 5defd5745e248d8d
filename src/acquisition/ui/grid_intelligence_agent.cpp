#include "acquisition/ui/grid_intelligence_agent.h"

#include <QDate>
#include <QKeyEvent>
#include <QPainter>
#include <algorithm>

#include "foundation/text_encoding.h"

namespace vorn {
namespace {

constexpr std::uint16_t kFlashClass = 2;
constexpr ColorRef kFlashColour = 0x0066CC; // warm orange behind a new item
constexpr int kIconSize = 10;
constexpr int kIconGap = 4;

// What an item leads to, for its icon: a message type without text shows as type 4.
int IconKind(const IntelligenceItem& item) {
    if (item.linkType == kLinkMessage && item.message.empty())
        return 4;
    return item.linkType;
}

void PaintIcon(QPainter& painter, const QRect& cell, int kind) {
    if (kind == kLinkNone)
        return;
    const QRect icon(cell.left() + 5, cell.top() + (cell.height() - kIconSize) / 2, kIconSize,
                     kIconSize);
    painter.setRenderHint(QPainter::Antialiasing, true);
    switch (kind) {
    case kLinkServerPage: // a page of our own server: a filled disc
        painter.setPen(Qt::NoPen);
        painter.setBrush(ToQColor(0xFF9933));
        painter.drawEllipse(icon);
        break;
    case kLinkWebAddress: // a web address: a ring
        painter.setPen(QPen(ToQColor(0x33CC33), 2));
        painter.setBrush(Qt::NoBrush);
        painter.drawEllipse(icon.adjusted(1, 1, -1, -1));
        break;
    case kLinkMessage: // a message: a letter
        painter.setPen(ToQColor(0x33CCFF));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(icon.adjusted(0, 2, -1, -2));
        painter.drawLine(icon.left(), icon.top() + 2, icon.center().x(), icon.center().y());
        painter.drawLine(icon.right(), icon.top() + 2, icon.center().x(), icon.center().y());
        break;
    default: // an empty message
        painter.setPen(ToQColor(0x808080));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(icon.adjusted(0, 2, -1, -2));
        break;
    }
    painter.setRenderHint(QPainter::Antialiasing, false);
}

PackedDate LocalToday() {
    const QDate today = QDate::currentDate();
    return MakePackedDate(static_cast<unsigned>(today.year()), static_cast<unsigned>(today.month()),
                          static_cast<unsigned>(today.day()));
}

} // namespace

CGridIntelligenceAgent::CGridIntelligenceAgent(const CIntelligenceAgent& agent, IMessageSink* owner,
                                               QWidget* parent)
    : CGrid(parent), agent_(agent), owner_(owner) {
    setSelectionMode(QAbstractItemView::SingleSelection);
    flashTimer_.setInterval(kFlashIntervalMs);
    connect(&flashTimer_, &QTimer::timeout, this, [this] { FlashStep(); });
    BuildColumns();
}

CGridIntelligenceAgent::~CGridIntelligenceAgent() = default;

void CGridIntelligenceAgent::BuildColumns() {
    BuildBaseStyles();
    SetRowStyle(kFlashClass, kFlashColour, kRowTextColour);
    ClearColumns();
    AddColumn(QStringLiteral("配信日付"), Qt::AlignCenter, 125, 0);
    AddColumn(QStringLiteral("件名"), Qt::AlignLeft, 200, 100);
    ResetSort(0, false);
}

void CGridIntelligenceAgent::DrawCell(int row, int column, const QRect& cell, std::uint8_t state,
                                      std::uint8_t columnPosition, QPainter& painter) {
    if (row < 0 || row >= static_cast<int>(rows_.size()))
        return;
    const IntelligenceItem& item = rows_[static_cast<std::size_t>(row)];
    const bool flashed = IsFlashHighlighted() && flashing_.count(item.id) != 0;
    const std::uint16_t styleClass = flashed ? kFlashClass : static_cast<std::uint16_t>(row % 2);
    PaintCellBackground(styleClass, state, cell, columnPosition, painter);
    if (column == 0) {
        PaintCellText(styleClass, state, cell, painter,
                      QString::fromStdString(FormatDeliveredTime(item.delivered)), Qt::AlignCenter);
        return;
    }
    PaintIcon(painter, cell, IconKind(item));
    QRect text = cell;
    text.setLeft(std::min(cell.right(), cell.left() + kIconSize + kIconGap));
    PaintCellText(styleClass, state, text, painter,
                  QString::fromStdString(Cp932ToUtf8(item.subject)), Qt::AlignLeft);
}

void CGridIntelligenceAgent::OnDoubleClickCell(int row, int column) {
    ActivateRow(row);
}

void CGridIntelligenceAgent::keyPressEvent(QKeyEvent* event) {
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
        currentIndex().isValid()) {
        ActivateRow(currentIndex().row());
        return;
    }
    CGrid::keyPressEvent(event);
}

void CGridIntelligenceAgent::Refresh() {
    Refresh(LocalToday());
}

void CGridIntelligenceAgent::Refresh(PackedDate today) {
    rows_ = agent_.ListedItems(today);
    // The rows come newest first, so the first few newer than last time are the ones shown.
    flashing_.clear();
    if (refreshed_)
        for (const IntelligenceItem& item : rows_) {
            if (static_cast<int>(flashing_.size()) == kFlashedItems)
                break;
            if (item.delivered > newestDelivered_)
                flashing_.insert(item.id);
        }
    for (const IntelligenceItem& item : rows_)
        newestDelivered_ = std::max(newestDelivered_, item.delivered);
    refreshed_ = true;

    SetRowCount(static_cast<int>(rows_.size()));
    RelayoutColumns();
    flashStep_ = 0;
    if (flashing_.empty())
        flashTimer_.stop();
    else
        flashTimer_.start();
    viewport()->update();
}

void CGridIntelligenceAgent::FlashStep() {
    if (++flashStep_ >= kFlashRedraws - 1) {
        flashing_.clear();
        flashTimer_.stop();
    }
    viewport()->update();
}

void CGridIntelligenceAgent::ActivateRow(int row) {
    if (row < 0 || row >= static_cast<int>(rows_.size()) || owner_ == nullptr)
        return;
    owner_->Post(kMsgIntelligenceActivated, rows_[static_cast<std::size_t>(row)].id, 0);
}

bool CGridIntelligenceAgent::FindRow(std::uint32_t id, IntelligenceItem& item) const {
    const auto found = std::find_if(rows_.begin(), rows_.end(),
                                    [id](const IntelligenceItem& row) { return row.id == id; });
    if (found == rows_.end())
        return false;
    item = *found;
    return true;
}

} // namespace vorn
