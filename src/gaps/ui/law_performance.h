#pragma once
// The custom-drawn body of the law performance panel: per trading law the winning, losing and
// even trades, the win rate and the average return as a table, and both rates as octagons
// of a radar chart whose overlapping areas mix.
// Before any Qt header: the core uses names that Qt defines as macros.
#include "gaps/law_performance_model.h"

#include <QImage>
#include <QWidget>

namespace vorn {

class CLawPerformance : public QWidget {
    Q_OBJECT
public:
    // `results` are the application's analysis results; they must outlive the panel.
    explicit CLawPerformance(const AnalysisResults& results, QWidget* parent = nullptr);

    // Shows the security's record; false (nothing redrawn) for the security already shown.
    bool SetListing(const SecurityRecord* security, MarketNaming naming = {});
    const CLawPerformanceModel& Model() const { return model_; }

    // The panel as painted: the static frame, the values and the radar octagons.
    const QImage& Image() const { return composed_; }
    // Where the radar chart lies in the panel: its square, centre and radius.
    QRect RadarSquare() const { return radarSquare_; }
    QPoint RadarCentre() const;
    int RadarRadius() const { return radarRadius_; }
    // Times the values were drawn (a security change redraws them, a repeat does not).
    int ValueDrawings() const { return valueDrawings_; }

    QSize sizeHint() const override { return {520, 520}; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void Layout();
    void DrawFrame();
    void DrawValues();
    QImage DrawPolygon(const RadarPolygon& polygon, ColorRef fill, ColorRef outline) const;
    QRect CellRect(int row, int column) const;

    const AnalysisResults& results_;
    CLawPerformanceModel model_;
    QFont font_;
    int rowHeight_ = 0;
    std::array<int, 7> columnEdges_{}; // x of each column's left edge, then the table's right
    QRect table_;
    QRect radarSquare_;
    int radarRadius_ = 0;
    QRect legend_;
    QImage frame_;    // drawn on creation and resizing
    QImage composed_; // frame + values + octagons
    int valueDrawings_ = 0;
};

} // namespace vorn
