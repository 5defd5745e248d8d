#include "screening/ui/screening_view.h"
#include "foundation/text_encoding.h"
#include "screening/signal_report.h"

#include <QApplication>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QItemSelectionModel>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QSpinBox>
#include <QVBoxLayout>
#include <set>

#include "matrix/name_tables.h"
#include "screening/ui/condition_texts.h"
#include "screening/ui/dialog_inclination_index.h"
#include "screening/ui/dialog_report.h"
#include "screening/ui/dialog_screening.h"
#include "screening/ui/dialog_screening_preparation.h"
#include "screening/ui/dialog_screening_range.h"
#include "screening/ui/dialog_screening_toggles.h"
#include "screening/ui/dialog_security_selector.h"
#include "screening/ui/dialog_turnover_average.h"
#include "screening/ui/dialog_windows_and_shadows.h"
#include "screening/ui/grid_securities.h"
#include "screening/ui/toggle_button.h"
#include "ui_base/posted_message.h"

namespace vorn {
namespace {

class CWaitCursor {
public:
    CWaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~CWaitCursor() { QApplication::restoreOverrideCursor(); }
    CWaitCursor(const CWaitCursor&) = delete;
    CWaitCursor& operator=(const CWaitCursor&) = delete;
};

template <class Bits> void SetBit(Bits& bits, std::uintptr_t on, std::uint64_t bit) {
    bits = static_cast<Bits>(on != 0 ? bits | bit : bits & ~bit);
}

QString Utf8(const std::string& text) {
    return QString::fromStdString(text);
}

QLabel* ConditionLabel(QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setWordWrap(true);
    label->setTextInteractionFlags(Qt::NoTextInteraction);
    return label;
}

// Markets, sectors, laws, positions, options, candle shapes.
constexpr const char* kFamilyNames[] = {"市場",       "業種",       "法則",
                                        "ポジション", "オプション", "ローソク足"};

} // namespace

CScreeningView::CScreeningView(CMarketMatrix& matrix, CMarketWindows& marketWindows,
                               AnalysisResults& analysis, CIndicatorScreening& indicators,
                               ScreeningSettings& settings, CSavedScreenings& saved,
                               QWidget* parent)
    : QWidget(parent), matrix_(matrix), marketWindows_(marketWindows), analysis_(analysis),
      indicators_(indicators), settings_(settings), saved_(saved), list_(matrix, analysis) {
    grid_ = new CGridSecurities(list_, this);
    summary_ = new QLabel(this);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* scroll = new QScrollArea(this);
    scroll->setWidget(BuildPanel());
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setFixedWidth(300);
    layout->addWidget(scroll);
    auto* right = new QVBoxLayout;
    right->addWidget(summary_);
    right->addWidget(grid_, 1);
    layout->addLayout(right, 1);

    grid_->Rebuild();
    connect(grid_, &CGridSecurities::securityActivated, this, &CScreeningView::securityActivated);
    connect(grid_->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current) {
                if (current.isValid() && current.row() < grid_->RowCount())
                    emit currentSecurityChanged(grid_->KeyAt(current.row()));
            });
    ShowSettings();
}

CScreeningView::~CScreeningView() = default;

QWidget* CScreeningView::BuildPanel() {
    auto* panel = new QWidget;
    auto* layout = new QGridLayout(panel);
    layout->setColumnStretch(1, 1);
    int row = 0;
    auto addRow = [&](QWidget* caption, QLabel* text, const char* buttonText, auto open) {
        layout->addWidget(caption, row, 0);
        layout->addWidget(text, row, 1);
        if (buttonText != nullptr) {
            auto* button = new QPushButton(QString::fromUtf8(buttonText), panel);
            button->setFocusPolicy(Qt::NoFocus);
            connect(button, &QPushButton::clicked, this, open);
            layout->addWidget(button, row, 2);
        }
        ++row;
    };

    for (int family = 0; family < 6; ++family) {
        familyTexts_[family] = ConditionLabel(panel);
        addRow(new QLabel(QString::fromUtf8(kFamilyNames[family]), panel), familyTexts_[family],
               "設定…", [this, family] { OpenToggles(static_cast<ToggleFamily>(family)); });
    }
    for (int group = 0; group < kRangeGroupCount; ++group) {
        auto* toggle = new CToggleButton(QString::fromUtf8(RangeGroupName(group)), panel);
        toggle->setObjectName(QStringLiteral("range%1").arg(group));
        toggle->Configure(this, kMsgRangeToggle, group);
        rangeToggles_[group] = toggle;
        rangeTexts_[group] = ConditionLabel(panel);
        addRow(toggle, rangeTexts_[group], "設定…", [this, group] { OpenRangeDialog(group); });
    }

    inclinationCurrent_ = new CToggleButton(QStringLiteral("傾斜(当日)"), panel);
    inclinationCurrent_->Configure(this, kMsgInclinationToggle, kInclinationCurrentToggle);
    inclinationPrevious_ = new CToggleButton(QStringLiteral("傾斜(前日)"), panel);
    inclinationPrevious_->Configure(this, kMsgInclinationToggle, kInclinationPreviousToggle);
    inclinationText_ = ConditionLabel(panel);
    addRow(inclinationCurrent_, inclinationText_, "傾斜指標…", [this] { OpenInclinationDialog(); });
    layout->addWidget(inclinationPrevious_, row++, 0);

    turnoverToggle_ = new CToggleButton(QStringLiteral("売買代金平均"), panel);
    turnoverToggle_->Configure(this, kMsgTurnoverToggle, 0);
    turnoverText_ = ConditionLabel(panel);
    addRow(turnoverToggle_, turnoverText_, "設定…", [this] { OpenTurnoverDialog(); });

    windowsShadowsToggle_ = new CToggleButton(QStringLiteral("窓・ひげ"), panel);
    windowsShadowsToggle_->Configure(this, kMsgWindowsShadowsToggle, 0);
    windowsShadowsText_ = ConditionLabel(panel);
    addRow(windowsShadowsToggle_, windowsShadowsText_, "設定…",
           [this] { OpenWindowsAndShadowsDialog(); });

    auto* selector = new QPushButton(QStringLiteral("特定銘柄設定"), panel);
    selector->setFocusPolicy(Qt::NoFocus);
    connect(selector, &QPushButton::clicked, this, [this] { OpenSecuritySelector(); });
    layout->addWidget(selector, row++, 0, 1, 3);
    preferredCount_ = ConditionLabel(panel);
    addRow(new QLabel(QStringLiteral("優先："), panel), preferredCount_, nullptr, [] {});
    excludedCount_ = ConditionLabel(panel);
    addRow(new QLabel(QStringLiteral("除外："), panel), excludedCount_, nullptr, [] {});

    auto* report = new QPushButton(QStringLiteral("レポート"), panel);
    report->setFocusPolicy(Qt::NoFocus);
    connect(report, &QPushButton::clicked, this, [this] { OpenReportDialog(); });
    layout->addWidget(report, row++, 0, 1, 3);
    layout->setRowStretch(row, 1);
    return panel;
}

void CScreeningView::ShowSettings() {
    familyTexts_[0]->setText(Utf8(MarketsText(settings_.markets, MarketNamingOf(matrix_))));
    familyTexts_[1]->setText(Utf8(SectorsText(settings_.sectors)));
    familyTexts_[2]->setText(Utf8(LawsText(settings_.laws)));
    familyTexts_[3]->setText(Utf8(PositionsText(settings_.positions)));
    familyTexts_[4]->setText(Utf8(OptionsText(settings_.options)));
    familyTexts_[5]->setText(Utf8(CandleShapesText(settings_.candleShapes)));
    for (int group = 0; group < kRangeGroupCount; ++group) {
        const ScreeningRange& range = RangeOf(settings_, group);
        rangeToggles_[group]->SetCheckedQuietly(range.IsOn());
        rangeTexts_[group]->setText(Utf8(RangeText(range, group)));
    }
    const InclinationCondition& inclination = settings_.inclination;
    inclinationCurrent_->SetCheckedQuietly((inclination.flags & kInclinationCurrentOn) != 0);
    inclinationPrevious_->SetCheckedQuietly((inclination.flags & kInclinationPreviousOn) != 0);
    inclinationText_->setText(
        Utf8(InclinationSummaryText(settings_.inclinationParameters)) + QStringLiteral("\n当日：") +
        Utf8(BoundText(inclination.flags & kInclinationCurrentLowerSet, inclination.currentLower,
                       inclination.flags & kInclinationCurrentUpperSet, inclination.currentUpper)) +
        QStringLiteral("\n前日：") +
        Utf8(BoundText(inclination.flags & kInclinationPreviousLowerSet, inclination.previousLower,
                       inclination.flags & kInclinationPreviousUpperSet,
                       inclination.previousUpper)));
    const ScreeningRange& turnover = settings_.turnoverAverage;
    turnoverToggle_->SetCheckedQuietly(turnover.IsOn());
    turnoverText_->setText(
        Utf8(TurnoverSummaryText(settings_.turnoverParameters)) + QStringLiteral("\n") +
        Utf8(BoundText(turnover.HasLower(), turnover.lower, turnover.HasUpper(), turnover.upper)));
    windowsShadowsToggle_->SetCheckedQuietly((settings_.windowsAndShadows.flags & kWsOn) != 0);
    windowsShadowsText_->setText(Utf8(WindowsAndShadowsText(settings_.windowsAndShadows)));
    preferredCount_->setText(Utf8(SecurityCountText(settings_.preferred.Size())));
    excludedCount_->setText(Utf8(SecurityCountText(settings_.excluded.Size())));
}

void CScreeningView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!prepared_ && !preparing_)
        QMetaObject::invokeMethod(
            this, [this] { EnsurePrepared(); }, Qt::QueuedConnection);
}

bool CScreeningView::EnsurePrepared() {
    if (prepared_ || preparing_)
        return prepared_;
    preparing_ = true;
    bool succeeded = false;
    {
        CDialogScreeningPreparation dialog(matrix_, marketWindows_, analysis_, indicators_,
                                           settings_, this);
        dialog.exec();
        succeeded = dialog.Succeeded();
    }
    preparing_ = false;
    if (succeeded) {
        const CWaitCursor wait;
        list_.SetIndicatorValues(indicators_.Inclinations(), indicators_.TurnoverRatios());
        list_.Prepare();
        prepared_ = true;
    }
    RebuildSecurities();
    return prepared_;
}

void CScreeningView::Refresh() {
    ShowSettings();
    RebuildSecurities();
}

void CScreeningView::RebuildSecurities() {
    if (preparing_)
        return;
    const CWaitCursor wait;
    const std::optional<SecurityKey> current = grid_->CurrentKey();
    // The passes replace their vectors, so the spans are taken afresh every time.
    list_.SetIndicatorValues(indicators_.Inclinations(), indicators_.TurnoverRatios());
    list_.RebuildSecurities(settings_);
    grid_->Reload();
    if (current)
        grid_->SelectKey(*current);
    summary_->setText(Utf8(list_.SummaryText()));
}

QString CScreeningView::SummaryText() const {
    return summary_->text();
}

void CScreeningView::ConditionsChanged() {
    ShowSettings();
    emit settingsChanged();
    RebuildSecurities();
}

void CScreeningView::ResetConditions() {
    ResetScreening(settings_);
    ConditionsChanged();
}

void CScreeningView::customEvent(QEvent* event) {
    if (event->type() != CPostedMessage::EventType())
        return QWidget::customEvent(event);
    const auto* message = static_cast<const CPostedMessage*>(event);
    HandleConditionMessage(message->Message(), message->WParam(), message->LParam());
}

void CScreeningView::HandleConditionMessage(std::uint32_t message, std::uintptr_t wParam,
                                            std::intptr_t lParam) {
    const auto value = static_cast<std::uint64_t>(lParam);
    switch (message) {
    case kMsgMarketToggle:
        SetBit(settings_.markets, wParam, value & kAllMarkets);
        break;
    case kMsgSectorToggle:
        if (value < 1 || value > 34)
            return;
        SetBit(settings_.sectors, wParam, std::uint64_t{1} << (value - 1));
        break;
    case kMsgLawToggle:
        SetBit(settings_.laws, wParam, value & kAllLaws);
        break;
    case kMsgPositionToggle:
        SetBit(settings_.positions, wParam, value & 0xFF);
        break;
    case kMsgOptionToggle:
        SetBit(settings_.options, wParam, value & 0xFF);
        break;
    case kMsgCandleShapeToggle:
        SetBit(settings_.candleShapes, wParam, value & 0xFFFF);
        break;
    case kMsgRangeToggle:
        if (value >= kRangeGroupCount)
            return;
        SetBit(RangeOf(settings_, static_cast<int>(value)).flags, wParam, kRangeOn);
        break;
    case kMsgInclinationToggle:
        if (value == kInclinationCurrentToggle)
            SetBit(settings_.inclination.flags, wParam, kInclinationCurrentOn);
        else if (value == kInclinationPreviousToggle)
            SetBit(settings_.inclination.flags, wParam, kInclinationPreviousOn);
        else
            return;
        break;
    case kMsgTurnoverToggle:
        SetBit(settings_.turnoverAverage.flags, wParam, kRangeOn);
        break;
    case kMsgWindowsShadowsToggle:
        SetBit(settings_.windowsAndShadows.flags, wParam, kWsOn);
        break;
    default:
        return;
    }
    ConditionsChanged();
}

bool CScreeningView::CopySelection() {
    const std::vector<std::size_t> rows = grid_->SelectedListRows();
    if (rows.empty())
        return false;
    CopyTextToClipboard(list_.CopySelectionAsCsv(rows));
    return true;
}

void CScreeningView::OpenSaveDialog() {
    CDialogScreening dialog(CDialogScreening::Mode::Save, saved_, settings_, this);
    dialog.exec();
}

void CScreeningView::OpenRestoreDialog() {
    CDialogScreening dialog(CDialogScreening::Mode::Restore, saved_, settings_, this);
    if (dialog.exec() == QDialog::Accepted)
        ConditionsChanged();
}

void CScreeningView::OpenReportDialog() {
    if (preparing_)
        return;
    std::set<std::uint16_t> codes;
    for (SecurityKey key : settings_.preferred)
        codes.insert(CodeOfKey(key));
    CDialogReport dialog(matrix_, analysis_, std::vector<std::uint16_t>(codes.begin(), codes.end()),
                         reportCount_, this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    reportCount_ = static_cast<unsigned>(dialog.TopCount()->value());
    emit reportMade(QString::fromStdString(Cp932ToUtf8(dialog.Report())));
}

QString CScreeningView::DefaultReport() const {
    return QString::fromStdString(Cp932ToUtf8(CopySignalReport(matrix_, analysis_, reportCount_)));
}

void CScreeningView::OpenSecuritySelector() {
    CDialogSecuritySelector dialog(matrix_, settings_, this);
    if (dialog.exec() == QDialog::Accepted)
        ConditionsChanged();
}

void CScreeningView::OpenToggles(ToggleFamily family) {
    CreateToggleDialog(family)->exec();
}

std::unique_ptr<CDialogScreeningToggles> CScreeningView::CreateToggleDialog(ToggleFamily family) {
    std::vector<ToggleItem> items;
    QString title;
    std::uint32_t message = 0;
    int columns = 3;
    auto item = [&](const char* label, std::intptr_t value, bool checked,
                    const char* tip = nullptr) {
        items.push_back(
            {QString::fromUtf8(label), tip ? QString::fromUtf8(tip) : QString(), value, checked});
    };
    struct AllNone {
        const char* all;
        std::function<void()> setAll;
        std::function<void()> setNone;
    };
    std::optional<AllNone> allNone;
    switch (family) {
    case ToggleFamily::Markets:
        title = QStringLiteral("スクリーニング－[市場]");
        message = kMsgMarketToggle;
        for (unsigned market = 1; market <= 15; ++market)
            item(MarketToggleLabel(market, MarketNamingOf(matrix_)),
                 std::intptr_t{1} << (market - 1), (settings_.markets >> (market - 1)) & 1);
        allNone = AllNone{"全市場", [this] { settings_.markets = kAllMarkets; },
                          [this] { settings_.markets = 0; }};
        break;
    case ToggleFamily::Sectors:
        title = QStringLiteral("スクリーニング－[業種]");
        message = kMsgSectorToggle;
        columns = 4;
        for (unsigned sector = 1; sector <= 34; ++sector)
            item(IndustryName(sector), sector, (settings_.sectors >> (sector - 1)) & 1);
        allNone = AllNone{"全業種", [this] { settings_.sectors = kAllSectors; },
                          [this] { settings_.sectors = 0; }};
        break;
    case ToggleFamily::Laws:
        title = QStringLiteral("スクリーニング－[法則]");
        message = kMsgLawToggle;
        columns = 2;
        for (unsigned index = 1; index <= 8; ++index)
            item(LawTitle(index), std::intptr_t{1} << (index - 1),
                 (settings_.laws >> (index - 1)) & 1);
        item("当日シグナルなし", kLawsAcceptWithoutEvent,
             (settings_.laws & kLawsAcceptWithoutEvent) != 0);
        allNone = AllNone{"全法則", [this] { settings_.laws = kAllLaws; },
                          [this] { settings_.laws = 0; }};
        break;
    case ToggleFamily::Positions:
        title = QStringLiteral("スクリーニング－[ポジション]");
        message = kMsgPositionToggle;
        for (PositionCode position : kHeldPositions)
            item(PositionName(position), std::intptr_t{1} << (position - 1),
                 (settings_.positions >> (position - 1)) & 1);
        item("ポジションなし", kPositionsNone, (settings_.positions & kPositionsNone) != 0);
        allNone = AllNone{"全ポジション", [this] { settings_.positions = kAllPositions; },
                          [this] { settings_.positions = 0; }};
        break;
    case ToggleFamily::Options: {
        title = QStringLiteral("スクリーニング－[オプション]");
        message = kMsgOptionToggle;
        // The last three are offered and kept with the settings; no condition reads them.
        static constexpr std::pair<const char*, std::uint8_t> kOptions[] = {
            {"優先市場", kOptionPreferredMarketOnly},
            {"上場廃止", kOptionIncludeDelisted},
            {"貸借銘柄", kOptionMarginTradableOnly},
            {"売り禁", 8},
            {"監理ポスト", 16},
            {"整理ポスト", 32}};
        for (const auto& [label, bit] : kOptions)
            item(label, bit, (settings_.options & bit) != 0);
        break;
    }
    case ToggleFamily::CandleShapes:
        title = QStringLiteral("スクリーニング－[ローソク足]");
        message = kMsgCandleShapeToggle;
        columns = 4;
        for (std::uint16_t shape : kCandleShapeButtonOrder)
            item(CandleShapeName(shape), shape, (settings_.candleShapes & shape) != 0,
                 CandleShapeName(shape));
        allNone = AllNone{"全形状", [this] { settings_.candleShapes = kAllCandleShapes; },
                          [this] { settings_.candleShapes = 0; }};
        break;
    }
    auto dialog =
        std::make_unique<CDialogScreeningToggles>(title, items, columns, this, message, this);
    if (allNone) {
        dialog->AddSetAllButton(QString::fromUtf8(allNone->all), true,
                                [this, set = allNone->setAll] {
                                    set();
                                    ConditionsChanged();
                                });
        dialog->AddSetAllButton(QStringLiteral("クリア"), false, [this, set = allNone->setNone] {
            set();
            ConditionsChanged();
        });
    }
    return dialog;
}

void CScreeningView::OpenRangeDialog(int group) {
    if (group < 0 || group >= kRangeGroupCount)
        return;
    CDialogScreeningRange dialog(group, RangeOf(settings_, group), this);
    if (dialog.exec() == QDialog::Accepted)
        ConditionsChanged();
}

void CScreeningView::OpenInclinationDialog() {
    CDialogInclinationIndex dialog(settings_.inclinationParameters, settings_.inclination, this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    if (!preparing_) {
        const CWaitCursor wait;
        if (!indicators_.IsInclinationScreeningCurrent(settings_.inclinationParameters))
            indicators_.RecomputeInclinationScreening(settings_.inclinationParameters);
    }
    ConditionsChanged();
}

void CScreeningView::OpenTurnoverDialog() {
    CDialogTurnoverAverage dialog(settings_.turnoverParameters, settings_.turnoverAverage, this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    if (!preparing_) {
        const CWaitCursor wait;
        indicators_.RecomputeTurnoverScreening(settings_.turnoverParameters);
    }
    ConditionsChanged();
}

void CScreeningView::OpenWindowsAndShadowsDialog() {
    CDialogWindowsAndShadows dialog(settings_.windowsAndShadows, this);
    if (dialog.exec() == QDialog::Accepted)
        ConditionsChanged();
}

bool CScreeningView::SelectListing(SecurityKey key) {
    return grid_->SelectKey(key);
}

bool CScreeningView::SelectCode(std::uint16_t code) {
    return grid_->SelectCode(code);
}

std::optional<SecurityKey> CScreeningView::CurrentSecurity() const {
    return grid_->CurrentKey();
}

} // namespace vorn
