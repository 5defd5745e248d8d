#include "screening/securities_list.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <iterator>
#include <utility>
#include <vector>

#include "foundation/number_format.h"
#include "foundation/text_encoding.h"
#include "matrix/market_naming.h"
#include "matrix/name_tables.h"
#include "matrix/stock_code.h"
#include "screening/last_quote.h"
#include "foundation/csv_field.h"

namespace vorn {
namespace {

constexpr const char* kHeadings[] = {"コード",   "銘柄名称",   "市場",       "業種",     "株価",
                                     "時価総額", "法則",       "ポジション", "リターン", "リスク",
                                     "ベータ",   "傾斜(前日)", "傾斜(当日)"};
static_assert(std::size(kHeadings) == kSecuritiesColumnCount);
constexpr const char* kNone = "－";

std::string SignedFigure(double value) {
    if (value == 0.0)
        return "0.00";
    char buffer[kGroupedRealCapacity];
    FormatGroupedReal(value, "%+.02f", buffer);
    return buffer;
}

// A double near its limits prints hundreds of digits, so the length is asked for first.
std::string Printf(const char* format, auto... values) {
    const int length = std::snprintf(nullptr, 0, format, values...);
    if (length <= 0)
        return {};
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    std::snprintf(text.data(), text.size(), format, values...);
    text.pop_back();
    return text;
}

const std::string& CompanyName(const SecurityRecord& security) {
    static const std::string empty;
    return security.company && security.company->name ? *security.company->name : empty;
}

// The cp932 forms of the names the export writes, converted once.
struct Cp932Names {
    std::array<std::string, 16> markets;        // the names before 2022/04/04
    std::array<std::string, 16> presentMarkets; // the present-day names
    std::array<std::string, 35> sectors;
    std::array<std::string, 9> laws;
    std::array<std::string, 7> positions;
    std::string missing = Utf8ToCp932(kMissingName);

    Cp932Names() {
        for (unsigned i = 0; i < markets.size(); ++i) {
            markets[i] = Utf8ToCp932(MarketNaming{}.ShortName(i));
            presentMarkets[i] =
                Utf8ToCp932(MarketNaming::ForLastDay(kPresentDaySegmentsStart).ShortName(i));
        }
        for (unsigned i = 0; i < sectors.size(); ++i)
            sectors[i] = Utf8ToCp932(IndustryName(i));
        for (unsigned i = 0; i < laws.size(); ++i)
            laws[i] = Utf8ToCp932(LawName(i));
        positions[kPositionNone] = Utf8ToCp932(PositionName(kPositionNone));
        for (PositionCode position : kHeldPositions)
            positions[position] = Utf8ToCp932(PositionName(position));
    }
    template <std::size_t N>
    const std::string& Pick(const std::array<std::string, N>& table, unsigned index) const {
        return index < N ? table[index] : missing;
    }
};

const Cp932Names& Names() {
    static const Cp932Names names;
    return names;
}

std::uint8_t SectorOf(const SecurityRecord& security) {
    return security.company ? security.company->industry : 0;
}

// The order the codes are written in (1301, 130A, 1332), not the stored values. Each row's key
// is computed once: a sort's comparisons would compute it again and again, and this runs at
// every change of a screening condition.
void SortByWrittenCode(std::vector<const SecurityRecord*>& rows) {
    using SortKey = decltype(SecurityKeySortKey(std::declval<SecurityKey>()));
    std::vector<std::pair<SortKey, const SecurityRecord*>> keyed;
    keyed.reserve(rows.size());
    for (const SecurityRecord* row : rows)
        keyed.emplace_back(SecurityKeySortKey(row->Key()), row);
    // The stored order differs from the written one only around letter codes. Keys are
    // unique, so no order among equals needs keeping.
    const auto byKey = [](const auto& a, const auto& b) { return a.first < b.first; };
    if (!std::is_sorted(keyed.begin(), keyed.end(), byKey))
        std::sort(keyed.begin(), keyed.end(), byKey);
    for (std::size_t i = 0; i < rows.size(); ++i)
        rows[i] = keyed[i].second;
}

} // namespace

const char* SecuritiesColumnHeading(int column) {
    return column >= 0 && column < kSecuritiesColumnCount ? kHeadings[column] : "";
}

bool IsSecuritiesColumnRightAligned(int column) {
    return column == kColumnPrice || column == kColumnMarketCap ||
           (column >= kColumnReturn && column <= kColumnCurrentInclination);
}

CSecuritiesList::CSecuritiesList(const CMarketMatrix& matrix, const AnalysisResults& analysis) {
    sources_.matrix = &matrix;
    sources_.analysis = &analysis;
}

void CSecuritiesList::SetIndicatorValues(std::span<const SecurityInclination> inclinations,
                                         std::span<const SecurityTurnover> turnovers) {
    sources_.inclinations = inclinations;
    sources_.turnovers = turnovers;
}

void CSecuritiesList::Prepare() {
    BuildRankIndexes(*sources_.matrix, *sources_.analysis, ranks_);
    sources_.ranks = &ranks_;
    prepared_ = true;
}

bool CSecuritiesList::MatchesScreening(const SecurityRecord& security,
                                       const ScreeningSettings& settings) const {
    return vorn::MatchesScreening(sources_, settings, security);
}

void CSecuritiesList::RebuildSecurities(const ScreeningSettings& settings) {
    rows_.clear();
    double sumOfReturns = 0.0, sumOfRisks = 0.0, sumOfBetas = 0.0;
    for (const auto& [key, security] : sources_.matrix->Securities()) {
        if (!vorn::MatchesScreening(sources_, settings, security))
            continue;
        rows_.push_back(&security);
        if (const ListingAnalysis* record = sources_.FindAnalysis(key)) {
            sumOfReturns += record->annualReturn;
            sumOfRisks += record->annualRisk;
            sumOfBetas += record->beta;
        }
    }
    SortByWrittenCode(rows_);
    summary_ = SecuritiesSummary{};
    summary_.count = rows_.size();
    if (!rows_.empty()) {
        const double count = static_cast<double>(rows_.size());
        summary_.averageReturn = sumOfReturns / count;
        summary_.averageRisk = sumOfRisks / count;
        summary_.averageBeta = sumOfBetas / count;
    }
}

std::string CSecuritiesList::SummaryText() const {
    return Printf("銘柄数：%zu 平均リターン：%.2f 平均リスク：%.2f 平均ベータ：%.2f",
                  summary_.count, summary_.averageReturn, summary_.averageRisk,
                  summary_.averageBeta);
}

std::string CSecuritiesList::CellText(std::size_t row, int column) const {
    if (row >= rows_.size())
        return {};
    const SecurityRecord& security = *rows_[row];
    const SecurityKey key = security.Key();
    const ListingAnalysis* record = sources_.FindAnalysis(key);
    switch (column) {
    case kColumnCode:
        return FormatStockCode(security.Code());
    case kColumnName:
        return Cp932ToUtf8(CompanyName(security));
    case kColumnMarket:
        return MarketNamingOf(*sources_.matrix).ShortName(security.market);
    case kColumnSector:
        return IndustryName(SectorOf(security));
    case kColumnPrice: {
        const LastQuote quote = ReadLastQuote(security);
        if (quote.hundredths)
            return Printf("%.02f", static_cast<double>(quote.close) / 100.0);
        char buffer[kGroupedIntegerCapacity];
        FormatGroupedInteger(buffer, quote.close);
        return buffer;
    }
    case kColumnMarketCap: {
        const std::uint64_t cap =
            MarketCapitalisation(SharesIssued(security), ReadLastQuote(security));
        if (cap == 0)
            return kNone;
        char buffer[kGroupedIntegerCapacity];
        FormatGroupedInteger(buffer, cap);
        return buffer;
    }
    case kColumnLaw:
        return record ? LawNameOfCode(LastDayLawCode(*record)) : kMissingName;
    case kColumnPosition:
        return record ? PositionName(record->position) : kMissingName;
    case kColumnReturn:
        return record ? SignedFigure(record->annualReturn) : kMissingName;
    case kColumnRisk:
        return record ? SignedFigure(record->annualRisk) : kMissingName;
    case kColumnBeta:
        return record ? SignedFigure(record->beta) : kMissingName;
    case kColumnPreviousInclination:
    case kColumnCurrentInclination: {
        const SecurityInclination* values = sources_.FindInclination(key);
        if (values == nullptr)
            return kNone;
        return SignedFigure(column == kColumnCurrentInclination ? values->current
                                                                : values->previous);
    }
    default:
        return {};
    }
}

std::string CSecuritiesList::CopySelectionAsCsv(std::span<const std::size_t> rows) const {
    const Cp932Names& names = Names();
    const MarketNaming naming = MarketNamingOf(*sources_.matrix);
    std::string text;
    for (std::size_t row : rows) {
        if (row >= rows_.size())
            continue;
        const SecurityRecord& security = *rows_[row];
        const SecurityKey key = security.Key();
        const LastQuote quote = ReadLastQuote(security);
        text += FormatStockCode(security.Code()) + ',';
        text += CsvField(CompanyName(security));
        text += ',';
        text += CsvField(
            names.Pick(naming.PresentDay() ? names.presentMarkets : names.markets, security.market));
        text += ',';
        text += CsvField(names.Pick(names.sectors, SectorOf(security)));
        text += quote.hundredths ? Printf(",%.02f,", static_cast<double>(quote.close) / 100.0)
                                 : Printf(",%llu,", static_cast<unsigned long long>(quote.close));
        const std::uint64_t cap = MarketCapitalisation(SharesIssued(security), quote);
        text += cap != 0 ? Printf("%llu,", static_cast<unsigned long long>(cap)) : ",";
        const ListingAnalysis* record = sources_.FindAnalysis(key);
        if (record == nullptr) {
            text += "#N/A,#N/A,#N/A,#N/A,#N/A,#N/A,#N/A\n";
            continue;
        }
        const std::uint8_t law = LastDayLawCode(*record);
        text += CsvField(
            names.Pick(names.laws, law == 0 ? 0u : static_cast<unsigned>(LawStatsIndex(law) + 1)));
        text += ',';
        text += CsvField(names.Pick(names.positions, record->position));
        text += Printf(",%+.02f,%+.02f,%+.02f,", record->annualReturn, record->annualRisk,
                       record->beta);
        const SecurityInclination* values = sources_.FindInclination(key);
        text += values ? Printf("%+.02f,%+.02f\n", values->previous, values->current) : ",\n";
    }
    return text;
}

std::string CSecuritiesList::CopyAllAsCsv() const {
    std::vector<std::size_t> rows(rows_.size());
    for (std::size_t i = 0; i < rows.size(); ++i)
        rows[i] = i;
    return CopySelectionAsCsv(rows);
}

} // namespace vorn
