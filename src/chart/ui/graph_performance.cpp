#include "chart/ui/graph_performance.h"

namespace vorn {

CGraphPerformance::CGraphPerformance(QWidget* parent) : QWidget(parent) {}

} // namespace vorn
