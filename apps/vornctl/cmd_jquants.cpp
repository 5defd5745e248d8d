// vornctl jquants: builds a content file from the exchange's daily-data API, or appends the
// trading days after an existing file's last day.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "acquisition/jquants_build.h"
#include "command.h"
#include "progress_line.h"

namespace vornctl {
namespace {

namespace fs = std::filesystem;

// "[ 42%] daily quotes 2026-01-05: 120 requests done, 160 left, about 2 min 40 s left".
std::string JQuantsProgressText(const vorn::JQuantsProgress& progress) {
    const std::size_t all = progress.requestsDone + progress.requestsLeft;
    const auto percent = static_cast<unsigned>(all == 0 ? 0 : progress.requestsDone * 100 / all);
    std::string line = PercentLabel(percent) + progress.step;
    if (progress.day != vorn::kNoDate)
        line += " " + vorn::FormatApiDate(progress.day);
    line += ": " + std::to_string(progress.requestsDone) + " requests done, " +
            std::to_string(progress.requestsLeft) + " left, about " +
            Duration(progress.secondsLeft) + " left";
    if (!progress.waiting.empty())
        line += " (waiting: " + progress.waiting + ")";
    return line;
}

bool ReadPositive(const CArgs& args, const char* name, unsigned long limit, unsigned long& value,
                  std::string& error) {
    const auto text = args.Option(name);
    if (!text)
        return true;
    if (!ParseNumber(*text, limit, value) || value == 0) {
        error =
            std::string("--") + name + " takes a whole number from 1 to " + std::to_string(limit);
        return false;
    }
    return true;
}

int RunJQuants(int argc, char** argv) {
    const CArgs args(argc, argv);
    if (!args.Error().empty())
        return UsageError(args.Error());
    const auto out = args.Option("out");
    const auto append = args.Option("append");
    if (out.has_value() == append.has_value() || (out && out->empty()) ||
        (append && append->empty()))
        return UsageError("give either --out FILE or --append FILE");
    if (!args.Positionals().empty())
        return UsageError("unexpected argument " + args.Positionals().front());

    vorn::JQuantsBuildOptions options;
    const std::string planName = args.Option("plan").value_or("free");
    const auto plan = vorn::FindJQuantsPlan(planName);
    if (!plan)
        return UsageError("--plan is one of free, light, standard, premium");
    options.plan = *plan;
    options.client.requestsPerMinute = plan->requestsPerMinute;
    for (const char* name : {"from", "to"}) {
        if (const auto text = args.Option(name)) {
            const unsigned short date = ParseDateArg(*text);
            if (date == 0)
                return UsageError(std::string("jquants: --") + name + " " + *text +
                                  " is not a date (YYYY/MM/DD)");
            (std::string(name) == "from" ? options.from : options.to) = date;
        }
    }
    if (append && options.from != vorn::kNoDate)
        return UsageError("--from goes with --out; --append starts after the file's "
                          "last day");
    if (const auto include = args.Option("include")) {
        std::string unknown;
        if (!vorn::ParseIncludeList(*include, options.convert, unknown))
            return UsageError("--include does not know \"" + unknown +
                              "\" (stock, etf, reit, preferred-equity, foreign-stock, "
                              "foreign-reit, foreign-etf, foreign-dr, pro-market, other-market)");
    }
    if (const auto url = args.Option("base-url")) {
        if (url->rfind("http://", 0) != 0 && url->rfind("https://", 0) != 0)
            return UsageError("--base-url must start with http:// or https://");
        options.client.baseUrl = *url;
        while (!options.client.baseUrl.empty() && options.client.baseUrl.back() == '/')
            options.client.baseUrl.pop_back();
    }
    std::string error;
    unsigned long rate = 0, wait = 0, retries = 0;
    if (!ReadPositive(args, "rate", 100000, rate, error) ||
        !ReadPositive(args, "limit-wait", 3600, wait, error))
        return UsageError(error);
    if (rate != 0) {
        options.client.requestsPerMinute = static_cast<double>(rate);
        options.client.statementsPerMinute = static_cast<double>(rate);
        options.client.retryDelay = std::chrono::milliseconds(60000 / rate);
    }
    if (wait != 0)
        options.client.limitWait = std::chrono::seconds(wait);
    if (const auto text = args.Option("retries")) {
        if (!ParseNumber(*text, 10, retries))
            return UsageError("--retries takes a whole number from 0 to 10");
        options.client.retries = static_cast<unsigned>(retries);
    }

    const fs::path file = out ? *out : *append;
    const fs::path dataDirectory =
        args.Option("data-dir")
            .value_or(file.has_parent_path() ? file.parent_path().string() : std::string("."));
    if (!vorn::LoadJQuantsKey(dataDirectory, options.client.apiKey, error)) {
        std::fprintf(stderr, "vornctl: jquants: %s\n", error.c_str());
        return 1;
    }
    CProgressLine progress;
    if (progress.Enabled())
        options.progress = [&progress](const vorn::JQuantsProgress& step) {
            progress.Show(JQuantsProgressText(step));
        };
    // A note is not progress: it stays, on a line of its own.
    options.note = [&progress](const std::string& line) {
        progress.Clear();
        std::fprintf(stderr, "vornctl: jquants: skipped %s\n", line.c_str());
    };

    vorn::JQuantsBuildReport report;
    const vorn::JQuantsBuildResult result = out ? vorn::BuildJQuantsFile(options, file, report)
                                                : vorn::AppendJQuantsFile(options, file, report);
    if (result == vorn::JQuantsBuildResult::Ok)
        progress.Finish(PercentLabel(100) + (out ? "built " : "appended to ") + file.string() +
                        ": " + std::to_string(report.requests) + " requests");
    else
        progress.Clear();
    const std::string error2 = vorn::WithoutKey(report.error, options.client.apiKey);
    if (result == vorn::JQuantsBuildResult::NothingNew && append) {
        std::printf("%s: %s; the file is unchanged\n", file.c_str(), error2.c_str());
        return 0;
    }
    if (result != vorn::JQuantsBuildResult::Ok) {
        std::fprintf(stderr, "vornctl: jquants: %s\n", error2.c_str());
        std::fprintf(stderr,
                     "vornctl: jquants: %s was not written; %zu requests made, the "
                     "answers so far are kept in %s\n",
                     file.c_str(), report.requests, vorn::JQuantsCacheFolder(file).c_str());
        return 1;
    }
    const vorn::JQuantsConvertReport& c = report.convert;
    std::printf("%s: %s %u days from %s to %s; %zu securities of %zu companies, %zu rows\n",
                file.c_str(), out ? "built" : "appended", static_cast<unsigned>(c.days),
                vorn::FormatApiDate(c.firstDay).c_str(), vorn::FormatApiDate(c.lastDay).c_str(),
                c.securities, c.companies, c.rows);
    std::printf("requests: %zu made, %zu pages from the cache\n", report.requests,
                report.cachedPages);
    std::printf("left out: %zu preferred and other share classes, %zu in other segments, %zu "
                "other product categories, %zu without listing data, %zu never traded\n",
                c.otherClasses, c.otherSegments, c.otherCategories, c.withoutMaster, c.noTrades);
    if (c.standInIndex)
        std::printf("index 1002 is the equal-weighted stand-in \"%s\", not TOPIX\n",
                    std::string(vorn::kStandInIndexName).c_str());
    return 0;
}

const CommandRegistrar kJQuantsCommand(
    {"jquants",
     "jquants (--out FILE [--from DATE] | --append FILE) [--to DATE] "
     "[--plan free|light|standard|premium] [--include etf,reit,...] [--base-url URL] "
     "[--data-dir DIR] [--rate N] [--limit-wait SECONDS] [--retries N]",
     "builds a content file from the exchange's J-Quants API, or appends the days after its "
     "last day; the API key comes from JQUANTS_API_KEY or the key file jquants.key",
     {{"out", "FILE", "build a new content file FILE"},
      {"append", "FILE", "append the days after the last day of FILE"},
      {"from", "DATE", "with --out: the first day (default: as far back as the plan allows)"},
      {"to", "DATE", "the last day (default: the newest day the plan gives)"},
      {"plan", "PLAN",
       "free, light, standard or premium: history, delay and request pace "
       "(default free)"},
      {"include", "LIST",
       "other product categories and segments to take, comma-separated "
       "(etf, reit, preferred-equity, foreign-stock, foreign-reit, "
       "foreign-etf, foreign-dr, pro-market, other-market; default none)"},
      {"base-url", "URL", "the service's address (default https://api.jquants.com/v2)"},
      {"data-dir", "DIR", "where the key file jquants.key is (default: the file's folder)"},
      {"rate", "N", "requests per minute, 1..100000 (default: the plan's limit)"},
      {"limit-wait", "SECONDS",
       "wait after a refusal for too many requests, 1..3600 "
       "(default 60)"},
      {"retries", "N", "tries again after a server or network failure (default 3)"}},
     "JQUANTS_API_KEY=... vornctl jquants --out data/Market.kbx --plan free",
     nullptr},
    &RunJQuants);

} // namespace
} // namespace vornctl
