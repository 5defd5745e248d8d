#include "acquisition/jquants_build.h"

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

#include "matrix/matrix_file.h"
#include "matrix/update_merge.h"

namespace vorn {

namespace fs = std::filesystem;

namespace {

constexpr const char* kCalendarPath = "/markets/calendar";
constexpr const char* kBarsPath = "/equities/bars/daily";
constexpr const char* kMasterPath = "/equities/master";
constexpr const char* kStatementsPath = "/fins/summary";
constexpr const char* kTopixPath = "/indices/bars/daily/topix";

std::chrono::sys_days ToDays(PackedDate date) {
    return std::chrono::year_month_day{std::chrono::year(static_cast<int>(DateYear(date))),
                                       std::chrono::month(DateMonth(date)),
                                       std::chrono::day(DateDay(date))};
}

PackedDate FromDays(std::chrono::sys_days days) {
    const std::chrono::year_month_day ymd(days);
    const int year = static_cast<int>(ymd.year());
    if (year < 1950 || year > 2077)
        return kNoDate;
    return MakePackedDate(static_cast<unsigned>(year), static_cast<unsigned>(ymd.month()),
                          static_cast<unsigned>(ymd.day()));
}

// Today in Tokyo.
PackedDate Today() {
    const auto now = std::chrono::system_clock::now() + std::chrono::hours(9);
    return FromDays(std::chrono::floor<std::chrono::days>(now));
}

// Fetches, converts and reports; one per build or append.
class CJQuantsRun {
public:
    CJQuantsRun(const JQuantsBuildOptions& options, const fs::path& file,
                JQuantsBuildReport& report)
        : options_(options), report_(report), market_(options.convert) {
        JQuantsClientOptions client = options.client;
        client.cacheDir = JQuantsCacheFolder(file);
        client.activity = [this](const JQuantsActivity& activity) { OnActivity(activity); };
        client_ = std::make_unique<CJQuantsClient>(std::move(client));
    }

    JQuantsBuildResult Fetch(PackedDate from, PackedDate to);
    CJQuantsMarket& Market() { return market_; }

private:
    // False on a failure; `skippable` turns a 403 into a note.
    bool Get(const std::string& step, PackedDate day, const char* path, const JQuantsQuery& query,
             bool (CJQuantsMarket::*add)(std::string_view, std::string&), bool skippable,
             bool& skipped);
    bool GetCalendar(PackedDate from, PackedDate to);
    void OnActivity(const JQuantsActivity& activity);
    void Show(const std::string& step, PackedDate day);

    const JQuantsBuildOptions& options_;
    JQuantsBuildReport& report_;
    CJQuantsMarket market_;
    std::unique_ptr<CJQuantsClient> client_;
    JQuantsResult failure_ = JQuantsResult::Ok;
    std::size_t left_ = 0; // queries not answered from the cache yet
    std::chrono::steady_clock::time_point started_ = std::chrono::steady_clock::now();
    std::string step_;
    PackedDate day_ = kNoDate;
};

void CJQuantsRun::OnActivity(const JQuantsActivity& activity) {
    report_.requests = activity.requests;
    report_.cachedPages = activity.cachedPages;
    if (!options_.progress)
        return;
    JQuantsProgress progress;
    progress.step = step_;
    progress.day = day_;
    progress.requestsDone = activity.requests;
    progress.requestsLeft = left_;
    // The pace so far once a few requests have gone, the plan's limit before that.
    double perRequest = 60.0 / std::max(options_.client.requestsPerMinute, 1e-3);
    if (activity.requests >= 3) {
        const std::chrono::duration<double> spent = std::chrono::steady_clock::now() - started_;
        perRequest = std::max(perRequest, spent.count() / static_cast<double>(activity.requests));
    }
    progress.secondsLeft = static_cast<double>(left_) * perRequest;
    progress.waiting = activity.waiting;
    options_.progress(progress);
}

void CJQuantsRun::Show(const std::string& step, PackedDate day) {
    step_ = step;
    day_ = day;
    OnActivity(client_->Activity());
}

bool CJQuantsRun::Get(const std::string& step, PackedDate day, const char* path,
                      const JQuantsQuery& query,
                      bool (CJQuantsMarket::*add)(std::string_view, std::string&), bool skippable,
                      bool& skipped) {
    skipped = false;
    const bool cached = client_->IsCached(path, query);
    Show(step, day);
    std::vector<std::string> pages;
    std::string error;
    // Bars of a day not published yet come back empty; they are asked again next time.
    const bool keepEmpty = std::string_view(path) != kBarsPath;
    const JQuantsResult result = client_->FetchPages(path, query, pages, error, keepEmpty);
    if (!cached && left_ > 0)
        --left_;
    if (result == JQuantsResult::NotInPlan && skippable) {
        skipped = true;
        return true;
    }
    if (result != JQuantsResult::Ok) {
        failure_ = result;
        report_.error = error.empty() ? std::string(Describe(result)) : error;
        return false;
    }
    for (const std::string& page : pages) {
        std::string why;
        if (!(market_.*add)(page, why)) {
            failure_ = JQuantsResult::BadResponse;
            report_.error = std::string(path) + ": " + why;
            return false;
        }
    }
    return true;
}

JQuantsBuildResult CJQuantsRun::Fetch(PackedDate from, PackedDate to) {
    auto failed = [this] {
        return failure_ == JQuantsResult::Cancelled ? JQuantsBuildResult::Cancelled
                                                    : JQuantsBuildResult::FetchFailed;
    };
    bool skipped = false;
    const JQuantsQuery calendarQuery{{"from", FormatApiDate(from)}, {"to", FormatApiDate(to)}};
    // The calendar of a range still running may grow; it is asked again each time.
    left_ = 1;
    {
        std::vector<std::string> pages;
        std::string error;
        Show("calendar", kNoDate);
        JQuantsClientOptions plain = options_.client;
        plain.cacheDir.clear();
        plain.activity = nullptr;
        CJQuantsClient fresh(plain);
        const JQuantsResult result = fresh.FetchPages(kCalendarPath, calendarQuery, pages, error);
        report_.requests += fresh.Activity().requests;
        if (result != JQuantsResult::Ok) {
            failure_ = result;
            report_.error = error;
            return failed();
        }
        for (const std::string& page : pages)
            if (!market_.AddCalendarPage(page, from, to, error)) {
                report_.error = std::string(kCalendarPath) + ": " + error;
                return JQuantsBuildResult::FetchFailed;
            }
    }
    const std::vector<PackedDate> days = market_.TradingDays();
    if (days.empty())
        return JQuantsBuildResult::NothingNew;

    // Requests still to make: bars and statements per day, the master, TOPIX.
    left_ = 0;
    for (PackedDate day : days) {
        left_ += client_->IsCached(kBarsPath, {{"date", FormatApiDate(day)}}) ? 0 : 1;
        left_ += client_->IsCached(kStatementsPath, {{"date", FormatApiDate(day)}}) ? 0 : 1;
    }
    left_ += 2;

    for (PackedDate day : days)
        if (!Get("daily bars", day, kBarsPath, {{"date", FormatApiDate(day)}},
                 &CJQuantsMarket::AddBarsPage, false, skipped))
            return failed();
    const PackedDate last = market_.LastDayWithBars();
    if (last == kNoDate)
        return JQuantsBuildResult::NothingNew;
    if (!Get("listed issues", last, kMasterPath, {{"date", FormatApiDate(last)}},
             &CJQuantsMarket::AddMasterPage, false, skipped))
        return failed();
    // Companies gone before the last day keep the names they had on their own last day.
    const auto missing = market_.CodesWithoutMaster();
    left_ += missing.size();
    for (const auto& [code, day] : missing)
        if (!Get("listed issues", day, kMasterPath, {{"code", code}, {"date", FormatApiDate(day)}},
                 &CJQuantsMarket::AddMasterPage, false, skipped))
            return failed();
    for (PackedDate day : days) {
        if (day > last)
            break;
        if (!Get("financial summaries", day, kStatementsPath, {{"date", FormatApiDate(day)}},
                 &CJQuantsMarket::AddStatementsPage, true, skipped))
            return failed();
        if (skipped) {
            report_.skipped.push_back("financial summaries (shares issued): not in the plan; "
                                      "the file holds no shares history");
            break;
        }
    }
    if (options_.plan.topix) {
        if (!Get("TOPIX", kNoDate, kTopixPath,
                 {{"from", FormatApiDate(from)}, {"to", FormatApiDate(last)}},
                 &CJQuantsMarket::AddTopixPage, true, skipped))
            return failed();
        if (skipped)
            report_.skipped.push_back("TOPIX: not in the plan; index 1002 is an equal-weighted "
                                      "stand-in built from the stock prices");
    }
    for (const std::string& line : report_.skipped)
        if (options_.note)
            options_.note(line);
    return JQuantsBuildResult::Ok;
}

// The newest day the plan serves (a free plan runs twelve weeks behind).
PackedDate DefaultTo(const JQuantsBuildOptions& options) {
    return FromDays(ToDays(Today()) - std::chrono::days(options.plan.delayDays));
}

// The oldest day the plan serves: its years of history back from today.
PackedDate DefaultFrom(const JQuantsBuildOptions& options) {
    using namespace std::chrono;
    const year_month_day today(ToDays(Today()));
    year_month_day start = today - years(static_cast<int>(options.plan.historyYears));
    if (!start.ok())
        start = start.year() / start.month() / last;
    return FromDays(sys_days(start) + days(1));
}

} // namespace

fs::path JQuantsCacheFolder(const fs::path& file) {
    return (file.has_parent_path() ? file.parent_path() : fs::path(".")) / "jquants-cache";
}

JQuantsBuildResult BuildJQuantsFile(const JQuantsBuildOptions& options, const fs::path& out,
                                    JQuantsBuildReport& report) {
    report = JQuantsBuildReport{};
    const PackedDate to = options.to != kNoDate ? options.to : DefaultTo(options);
    const PackedDate from = options.from != kNoDate ? options.from : DefaultFrom(options);
    if (from == kNoDate || to == kNoDate || from > to) {
        report.error = "the range of days is empty";
        return JQuantsBuildResult::NothingNew;
    }
    CJQuantsRun run(options, out, report);
    if (const JQuantsBuildResult result = run.Fetch(from, to); result != JQuantsBuildResult::Ok) {
        if (result == JQuantsBuildResult::NothingNew && report.error.empty())
            report.error = "no trading day with prices from " + FormatApiDate(from) + " to " +
                           FormatApiDate(to);
        return result;
    }
    CMarketMatrix matrix;
    if (run.Market().Build(matrix, report.convert) != ConvertResult::Ok) {
        report.error = report.convert.error;
        return JQuantsBuildResult::ConvertFailed;
    }
    const MatrixResult written = GenerateMatrix(matrix, out, nullptr, nullptr);
    if (written != kMatrixOk) {
        report.error = out.string() + ": " + std::string(Describe(written));
        return JQuantsBuildResult::WriteFailed;
    }
    return JQuantsBuildResult::Ok;
}

JQuantsBuildResult AppendJQuantsMatrix(const JQuantsBuildOptions& options, CMarketMatrix& matrix,
                                       const fs::path& file, JQuantsBuildReport& report,
                                       CEvent* cancel, IMessageSink* sink) {
    report = JQuantsBuildReport{};
    if (matrix.DailyCalendar().Empty()) {
        report.error = "the matrix holds no trading day to append to";
        return JQuantsBuildResult::RestoreFailed;
    }
    if (matrix.ProjectedDays() != 0)
        matrix.RemoveForecastDays();
    const PackedDate lastDay = *matrix.DailyCalendar().Last();
    const PackedDate from = FromDays(ToDays(lastDay) + std::chrono::days(1));
    const PackedDate to = options.to != kNoDate ? options.to : DefaultTo(options);
    if (from == kNoDate || from > to) {
        report.error = "nothing to append: the file already ends on " + FormatApiDate(lastDay);
        return JQuantsBuildResult::NothingNew;
    }
    CJQuantsRun run(options, file, report);
    if (const JQuantsBuildResult result = run.Fetch(from, to); result != JQuantsBuildResult::Ok) {
        if (result == JQuantsBuildResult::NothingNew && report.error.empty())
            report.error =
                "nothing to append: no trading day with prices after " + FormatApiDate(lastDay);
        return result;
    }
    CMarketMatrix update;
    const ConvertResult converted = run.Market().BuildUpdate(matrix, update, report.convert);
    if (converted == ConvertResult::NoData) {
        report.error = "nothing to append: " + report.convert.error;
        return JQuantsBuildResult::NothingNew;
    }
    if (converted != ConvertResult::Ok) {
        report.error = report.convert.error;
        return JQuantsBuildResult::ConvertFailed;
    }
    // The merge replaces a company's markets with the update's.
    for (auto& [code, company] : update.Companies())
        if (const CompanyRecord* known = matrix.FindCompany(code))
            company.markets |= known->markets;
    const MergeResult merged = MergeUpdate(cancel, sink, matrix, update);
    if (merged != kMergeOk) {
        report.mergeResult = merged;
        report.error = "the update merge failed: " + std::string(Describe(merged));
        return JQuantsBuildResult::MergeFailed;
    }
    return JQuantsBuildResult::Ok;
}

JQuantsBuildResult AppendJQuantsFile(const JQuantsBuildOptions& options, const fs::path& file,
                                     JQuantsBuildReport& report) {
    report = JQuantsBuildReport{};
    CMarketMatrix matrix;
    const MatrixResult restored = RestoreMatrix(matrix, file, nullptr, nullptr);
    if (restored != kMatrixOk || matrix.DailyCalendar().Empty()) {
        report.error = file.string() + ": " +
                       (restored != kMatrixOk ? std::string(Describe(restored))
                                              : std::string("the file holds no trading day"));
        return JQuantsBuildResult::RestoreFailed;
    }
    if (const JQuantsBuildResult result = AppendJQuantsMatrix(options, matrix, file, report);
        result != JQuantsBuildResult::Ok)
        return result;
    const MatrixResult written = GenerateMatrix(matrix, file, nullptr, nullptr);
    if (written != kMatrixOk) {
        report.error = file.string() + ": " + std::string(Describe(written));
        return JQuantsBuildResult::WriteFailed;
    }
    return JQuantsBuildResult::Ok;
}

bool LoadJQuantsKey(const fs::path& dataDirectory, std::string& key, std::string& error) {
    if (const char* value = std::getenv("JQUANTS_API_KEY"); value != nullptr && *value != 0) {
        key = value;
        return true;
    }
    const fs::path path = dataDirectory / kJQuantsKeyFileName;
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        error = "no API key: set JQUANTS_API_KEY or write the key to " + path.string() +
                " (readable by you only)";
        return false;
    }
    if ((info.st_mode & 077) != 0 || info.st_uid != ::getuid()) {
        error = path.string() + ": others can read or write the key file; run chmod 600 on it";
        return false;
    }
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t'))
        line.pop_back();
    const std::size_t start = line.find_first_not_of(" \t");
    if (start == std::string::npos) {
        error = path.string() + ": the key file holds no key";
        return false;
    }
    key = line.substr(start);
    for (const char c : key)
        if (static_cast<unsigned char>(c) < 0x21 || static_cast<unsigned char>(c) > 0x7E) {
            key.clear();
            error = path.string() + ": the key file holds characters a key cannot have";
            return false;
        }
    return true;
}

bool SaveJQuantsKey(const fs::path& dataDirectory, const std::string& key, std::string& error) {
    const fs::path path = dataDirectory / kJQuantsKeyFileName;
    const fs::path temporary = path.string() + ".part";
    std::error_code ec;
    fs::create_directories(dataDirectory, ec);
    fs::remove(temporary, ec);
    {
        const mode_t old = ::umask(077);
        std::ofstream out(temporary, std::ios::trunc);
        ::umask(old);
        out << key << '\n';
        if (!out.good()) {
            error = path.string() + ": cannot write the key file";
            fs::remove(temporary, ec);
            return false;
        }
    }
    fs::permissions(temporary, fs::perms::owner_read | fs::perms::owner_write,
                    fs::perm_options::replace, ec);
    fs::rename(temporary, path, ec);
    if (ec) {
        error = path.string() + ": cannot write the key file";
        fs::remove(temporary, ec);
        return false;
    }
    return true;
}

} // namespace vorn
