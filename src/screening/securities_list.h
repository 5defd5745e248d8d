#pragma once
// The securities that pass the screening, with the texts of their list rows, the summary of
// the selection and the comma-separated export of chosen rows.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "screening/screening_filter.h"

namespace vorn {

enum SecuritiesColumn : int {
    kColumnCode = 0,
    kColumnName,
    kColumnMarket,
    kColumnSector,
    kColumnPrice,
    kColumnMarketCap,
    kColumnLaw,
    kColumnPosition,
    kColumnReturn,
    kColumnRisk,
    kColumnBeta,
    kColumnPreviousInclination,
    kColumnCurrentInclination,
    kSecuritiesColumnCount
};

// UTF-8; empty for an unknown column.
const char* SecuritiesColumnHeading(int column);
bool IsSecuritiesColumnRightAligned(int column);

struct SecuritiesSummary {
    std::size_t count = 0;
    // Sums of the analysed securities over the number of listed ones (securities without an
    // analysis record count in the divisor); 0 for an empty list.
    double averageReturn = 0.0;
    double averageRisk = 0.0;
    double averageBeta = 0.0;
};

class CSecuritiesList {
public:
    // The matrix and the results must outlive the list.
    CSecuritiesList(const CMarketMatrix& matrix, const AnalysisResults& analysis);

    // The indicator values the conditions and the inclination columns read; ascending keys.
    // The spans must stay valid until they are replaced.
    void SetIndicatorValues(std::span<const SecurityInclination> inclinations,
                            std::span<const SecurityTurnover> turnovers);
    // Builds the rank indexes from the analysis results as they are now; the market analysis
    // must have finished. Until then a range group in rank mode passes nothing.
    void Prepare();
    bool Prepared() const { return prepared_; }

    bool MatchesScreening(const SecurityRecord& security, const ScreeningSettings& settings) const;
    // Refills the rows in written-code order and recomputes the summary. The rows point into the
    // matrix, so a changed matrix needs a rebuild before the rows are read again.
    void RebuildSecurities(const ScreeningSettings& settings);

    std::size_t RowCount() const { return rows_.size(); }
    SecurityKey RowKey(std::size_t row) const { return rows_[row]->Key(); }
    const SecuritiesSummary& Summary() const { return summary_; }
    // "銘柄数：N 平均リターン：R 平均リスク：K 平均ベータ：B", UTF-8.
    std::string SummaryText() const;

    // UTF-8; empty for a row or column out of range.
    std::string CellText(std::size_t row, int column) const;
    // One cp932 line per listed row of `rows` (rows out of range are skipped), in that order.
    std::string CopySelectionAsCsv(std::span<const std::size_t> rows) const;
    std::string CopyAllAsCsv() const;

    const RankIndexes& Ranks() const { return ranks_; }
    const ScreeningSources& Sources() const { return sources_; }

private:
    ScreeningSources sources_;
    RankIndexes ranks_;
    bool prepared_ = false;
    std::vector<const SecurityRecord*> rows_; // owned by the matrix
    SecuritiesSummary summary_;
};

} // namespace vorn
