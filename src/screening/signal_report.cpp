#include "screening/signal_report.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <utility>
#include <vector>

#include "foundation/text_encoding.h"
#include "matrix/market_naming.h"
#include "matrix/name_tables.h"
#include "matrix/stock_code.h"
#include "screening/last_quote.h"

namespace vorn {
namespace {

constexpr std::size_t kGroupCount = 4;
constexpr const char* kGroupHeadings[kGroupCount] = {
    "\n　　＜買い転換＞\n", "\n　　＜売り転換＞\n", "\n　　＜買い継続＞\n", "\n　　＜売り継続＞\n"};

// The cp932 forms of the report's fixed texts, converted once.
struct ReportTexts {
    std::string indent = Utf8ToCp932("　　　");
    std::string empty = Utf8ToCp932("　　　なし\n");
    std::string open = Utf8ToCp932("（");
    std::string colon = Utf8ToCp932("：");
    std::string close = Utf8ToCp932("）");
    std::string lawSeparator = Utf8ToCp932("） － ");
    std::array<std::string, kGroupCount> headings{
        Utf8ToCp932(kGroupHeadings[0]), Utf8ToCp932(kGroupHeadings[1]),
        Utf8ToCp932(kGroupHeadings[2]), Utf8ToCp932(kGroupHeadings[3])};
};

const ReportTexts& Texts() {
    static const ReportTexts texts;
    return texts;
}

// Group index 0..3 of a position; -1 for no position or an unknown code.
int GroupOf(std::uint8_t position) {
    switch (position) {
    case kPositionNewBuy:
    case kPositionSwitchBuy:
        return 0;
    case kPositionNewSell:
    case kPositionSwitchSell:
        return 1;
    case kPositionHoldBuy:
        return 2;
    case kPositionHoldSell:
        return 3;
    default:
        return -1;
    }
}

std::string Code(std::uint16_t code) {
    return FormatStockCode(code);
}

const std::string& NameOf(const SecurityRecord& security) {
    static const std::string empty;
    return security.company && security.company->name ? *security.company->name : empty;
}

bool IsOnPreferredMarket(const CMarketMatrix& matrix, const SecurityRecord& security) {
    const auto it = matrix.PreferredMarkets().find(security.Code());
    return it != matrix.PreferredMarkets().end() && it->second == security.market;
}

class CReportBuilder {
public:
    void Add(int group, std::string line) {
        groups_[static_cast<std::size_t>(group)].push_back(std::move(line));
        ++count_;
    }
    unsigned Count() const { return count_; }

    std::string Finish() const {
        const ReportTexts& texts = Texts();
        char heading[160];
        std::snprintf(heading, sizeof heading,
                      "　【 「窓理論」による売買シグナル一覧（時価総額上位%u位） 】\n", count_);
        std::string report = Utf8ToCp932(heading);
        bool full = false;
        const auto append = [&](const std::string& line) {
            if (full || report.size() + line.size() > kSignalReportCapacity - 1)
                full = true;
            else
                report += line;
        };
        for (std::size_t g = 0; g < kGroupCount; ++g) {
            append(texts.headings[g]);
            if (groups_[g].empty())
                append(texts.empty);
            for (const std::string& line : groups_[g])
                append(line);
        }
        return report;
    }

private:
    std::array<std::vector<std::string>, kGroupCount> groups_;
    unsigned count_ = 0;
};

} // namespace

std::string CopySignalReport(const CMarketMatrix& matrix, const AnalysisResults& analysis,
                             unsigned count) {
    struct Candidate {
        std::uint64_t capitalisation;
        const SecurityRecord* security;
    };
    std::vector<Candidate> candidates;
    for (const auto& [key, security] : matrix.Securities()) {
        if (!IsOnPreferredMarket(matrix, security))
            continue;
        const std::uint64_t shares = SharesIssued(security);
        if (shares == 0)
            continue;
        candidates.push_back({MarketCapitalisationInYen(shares, ReadLastQuote(security)), &security});
    }
    // Equal capitalisations stay in key order.
    std::stable_sort(
        candidates.begin(), candidates.end(),
        [](const Candidate& a, const Candidate& b) { return a.capitalisation > b.capitalisation; });

    const ReportTexts& texts = Texts();
    const MarketNaming naming = MarketNamingOf(matrix);
    CReportBuilder builder;
    for (const Candidate& candidate : candidates) {
        if (builder.Count() >= count)
            break;
        const SecurityRecord& security = *candidate.security;
        const auto record = analysis.records.find(security.Key());
        if (record == analysis.records.end())
            continue;
        const ListingAnalysis& r = record->second;
        const int group = GroupOf(r.position);
        if (group < 0)
            continue;
        std::string line = texts.indent + NameOf(security) + texts.open +
                           Utf8ToCp932(naming.Name(security.market)) + texts.colon +
                           Code(security.Code());
        if (group < 2)
            line +=
                texts.lawSeparator + Utf8ToCp932(LawNameOfCode(LawCodeOf(r.signalLaw, r.signal)));
        else
            line += texts.close;
        line += '\n';
        builder.Add(group, std::move(line));
    }
    return builder.Finish();
}

std::string CopySignalReportFor(const CMarketMatrix& matrix, const AnalysisResults& analysis,
                                std::span<const std::uint16_t> codes) {
    std::vector<std::uint16_t> wanted(codes.begin(), codes.end());
    std::sort(wanted.begin(), wanted.end());
    const ReportTexts& texts = Texts();
    // Listed in the order the codes are written (1301, 130A, 1332).
    std::vector<const SecurityRecord*> listed;
    for (const auto& [key, security] : matrix.Securities())
        if (std::binary_search(wanted.begin(), wanted.end(), security.Code()) &&
            IsOnPreferredMarket(matrix, security))
            listed.push_back(&security);
    std::stable_sort(listed.begin(), listed.end(), [](const auto* a, const auto* b) {
        return SecurityKeySortKey(a->Key()) < SecurityKeySortKey(b->Key());
    });
    CReportBuilder builder;
    for (const SecurityRecord* listing : listed) {
        const SecurityRecord& security = *listing;
        const auto record = analysis.records.find(security.Key());
        if (record == analysis.records.end())
            continue;
        const int group = GroupOf(record->second.position);
        if (group < 0)
            continue;
        builder.Add(group, texts.indent + NameOf(security) + texts.open + Code(security.Code()) +
                               texts.close + "\n");
    }
    return builder.Finish();
}

} // namespace vorn
