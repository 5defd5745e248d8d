#pragma once
// A child window of the main view that is reserved for the performance graph; it handles no
// input and paints nothing of its own.
#include <QWidget>

namespace vorn {

class CGraphPerformance : public QWidget {
    Q_OBJECT
public:
    explicit CGraphPerformance(QWidget* parent = nullptr);
};

} // namespace vorn
