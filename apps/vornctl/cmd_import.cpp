// vornctl import: builds a matrix content file from daily quotes in CSV files, or appends
// the days after an existing file's last day.
#include <cstdio>
#include <string>
#include <vector>

#include "command.h"
#include "foundation/writer_lock.h"
#include "matrix/quote_import.h"
#include "progress_line.h"

namespace vornctl {
namespace {

// The progress line of an import: reading the quotes files is most of the work, building,
// merging and writing the content file the rest.
std::string ImportProgressText(const vorn::QuoteImportProgress& progress) {
    using Step = vorn::QuoteImportProgress::Step;
    constexpr unsigned kQuotesFrom = 5, kQuotesTo = 80;
    switch (progress.step) {
    case Step::Restore:
        return PercentLabel(0) + "reading " + progress.file.string();
    case Step::ReadLists:
        return PercentLabel(kQuotesFrom) + "reading the securities list " + progress.file.string();
    case Step::ReadQuotes: {
        const std::size_t total = progress.total == 0 ? 1 : progress.total;
        const auto percent =
            static_cast<unsigned>(kQuotesFrom + (kQuotesTo - kQuotesFrom) * progress.done / total);
        return PercentLabel(percent) + "reading quotes file " + std::to_string(progress.done + 1) +
               " of " + std::to_string(progress.total) + ": " + progress.file.string();
    }
    case Step::Build:
        return PercentLabel(kQuotesTo) + "building the market";
    case Step::Merge:
        return PercentLabel(85) + "merging the new days";
    case Step::Write:
        return PercentLabel(90) + "writing " + progress.file.string();
    }
    return {};
}

void PrintSkipped(const vorn::QuoteImportReport& report) {
    for (const std::string& line : report.skipped)
        std::fprintf(stderr, "vornctl: import: skipped %s\n", line.c_str());
    const std::size_t listed = report.skipped.size();
    const std::size_t total = report.skippedRows + report.skippedFiles;
    if (total > listed)
        std::fprintf(stderr, "vornctl: import: ... and %zu more skipped\n", total - listed);
}

void PrintSummary(const vorn::QuoteImportReport& report, bool appended) {
    for (const std::string& note : report.notes)
        std::printf("note: %s\n", note.c_str());
    if (report.unquotedSecurities != 0)
        std::printf(appended ? "%zu listed securities have no new rows\n"
                             : "%zu listed securities have no quotes and were left out\n",
                    report.unquotedSecurities);
    if (!report.unquotedNames.empty()) {
        std::printf(appended ? "no new rows:" : "no quotes:");
        for (const std::string& name : report.unquotedNames)
            std::printf(" %s", name.c_str());
        std::printf("\n");
    }
    if (report.ignoredRows != 0)
        std::printf("%zu rows dated on or before the file's last day could not be used\n",
                    report.ignoredRows);
    std::printf("skipped %zu bad rows and %zu files\n", report.skippedRows, report.skippedFiles);
}

int RunImport(int argc, char** argv) {
    vorn::InstallInterruptCleanup(InterruptedName());
    const CArgs args(argc, argv);
    const auto out = args.Option("out");
    const auto append = args.Option("append");
    if (out.has_value() == append.has_value() || (out && out->empty()) ||
        (append && append->empty()))
        return UsageError("give either --out FILE or --append FILE");
    const auto securities = args.Option("securities");
    if (!securities || securities->empty())
        return UsageError("--securities LIST.csv is required");
    if (args.Positionals().empty())
        return UsageError("name the quotes files or directories");

    vorn::QuoteImportOptions options;
    options.securitiesList = *securities;
    if (const auto adjustments = args.Option("adjustments"))
        options.adjustmentsList = *adjustments;
    for (const std::string& source : args.Positionals())
        options.quotes.emplace_back(source);
    options.roundPrices = args.Has("round-prices");
    options.skipBadRows = args.Has("skip-bad-rows");

    CProgressLine progress;
    if (progress.Enabled())
        options.progress = [&progress](const vorn::QuoteImportProgress& step) {
            // Files are many and quick: a new one is shown only when the line is due.
            if (step.step != vorn::QuoteImportProgress::Step::ReadQuotes || step.done == 0 ||
                progress.Due())
                progress.Show(ImportProgressText(step));
        };
    vorn::QuoteImportReport report;
    const std::string& file = out ? *out : *append;
    const vorn::ImportResult result = out ? vorn::ImportQuotesToFile(options, file, report)
                                          : vorn::AppendQuotesToFile(options, file, report);
    if (result == vorn::kImportOk)
        progress.Finish(PercentLabel(100) + (out ? "imported " : "appended to ") + file);
    else
        progress.Clear();
    PrintSkipped(report);
    if (result == vorn::kImportNothingNew) {
        std::printf("%s: %s; the file is unchanged\n", file.c_str(), report.error.c_str());
        return 0;
    }
    if (result != vorn::kImportOk) {
        const std::string reason =
            report.error.empty() ? std::string(vorn::Describe(result)) : report.error;
        std::fprintf(stderr, "vornctl: import: %s\n", reason.c_str());
        VerboseResult("import", vorn::ResultCode(result));
        if (report.error.find("decimal places") != std::string::npos)
            std::fprintf(stderr, "vornctl: import: --round-prices rounds such prices to "
                                 "hundredths\n");
        std::fprintf(stderr, "vornctl: import: %s was not written\n", file.c_str());
        return 1;
    }
    if (out)
        std::printf("%s: %zu securities of %zu companies, %u days from %s to %s, %zu rows from "
                    "%zu files\n",
                    file.c_str(), report.securities, report.companies,
                    static_cast<unsigned>(report.days), FormatDateArg(report.firstDay).c_str(),
                    FormatDateArg(report.lastDay).c_str(), report.rows, report.files);
    else if (report.days == 0)
        std::printf("%s: no new days; %zu securities brought up to date, %zu rows\n", file.c_str(),
                    report.securities, report.rows);
    else
        std::printf("%s: appended %u days from %s to %s; %zu securities brought up to date, "
                    "%zu added, %zu rows\n",
                    file.c_str(), static_cast<unsigned>(report.days),
                    FormatDateArg(report.firstDay).c_str(), FormatDateArg(report.lastDay).c_str(),
                    report.securities, report.newSecurities, report.rows);
    PrintSummary(report, !out);
    return 0;
}

const CommandRegistrar kImportCommand(
    {"import",
     "import (--out FILE | --append FILE) --securities LIST.csv [--adjustments LIST.csv] "
     "[--round-prices] [--skip-bad-rows] QUOTES...",
     "builds a content file from daily quotes in CSV files, or appends the days after an "
     "existing file's last day",
     {{"out", "FILE", "the content file to build (replaced only when the import succeeds)"},
      {"append", "FILE", "the content file to bring up to date instead"},
      {"securities", "LIST.csv",
       "the securities list: code,market,name,industry,unit,margin"
       "[,shares,shares_date,text] (required)"},
      {"adjustments", "LIST.csv",
       "the adjustments list: code,market,date,ratio,kind (default: "
       "none)"},
      {"round-prices", nullptr,
       "round prices with more than two decimals to hundredths of a "
       "yen (default: such a row is an error)"},
      {"skip-bad-rows", nullptr, "skip and count a bad row instead of stopping at it"}},
     "vornctl import --out data/Market.kbx --securities securities.csv my-quotes/",
     "QUOTES are CSV files or folders of them, one security each, named CODE.csv or "
     "CODE_MARKET.csv;\ndates as YYYY/MM/DD, YYYY-MM-DD or YYYYMMDD."},
    &RunImport);

} // namespace
} // namespace vornctl
