#include "acquisition/jquants_source.h"

#include <algorithm>
#include <cmath>

namespace vorn {

namespace {

// The fetch steps as the start-up window names them.
std::string StepWords(const std::string& step) {
    if (step == "calendar")
        return "取引カレンダー";
    if (step == "daily bars")
        return "日足";
    if (step == "listed issues")
        return "上場銘柄一覧";
    if (step == "financial summaries")
        return "財務情報 (発行済株式数)";
    return step;
}

} // namespace

bool ReadJQuantsSource(IProfile& profile, const std::filesystem::path& dataDirectory,
                       JQuantsBuildOptions& options, std::string& error) {
    const std::string planName = profile.GetString(kProfileSection, kProfileJQuantsPlan);
    const auto plan = FindJQuantsPlan(planName.empty() ? "free" : planName);
    if (!plan) {
        error = "J-Quants のプランが正しくありません: " + planName;
        return false;
    }
    options.plan = *plan;
    options.client.requestsPerMinute = plan->requestsPerMinute;
    if (const std::uint32_t rate = profile.GetInteger(kProfileSection, kProfileJQuantsRate, 0);
        rate != 0) {
        options.client.requestsPerMinute = rate;
        options.client.statementsPerMinute = rate;
        options.client.retryDelay = std::chrono::milliseconds(60000 / rate);
    }
    const std::string url = profile.GetString(kProfileSection, kProfileJQuantsBaseUrl);
    if (!url.empty())
        options.client.baseUrl = url;
    return LoadJQuantsKey(dataDirectory, options.client.apiKey, error);
}

std::string FormatJQuantsProgress(const JQuantsProgress& progress) {
    std::string text = "J-Quants API: " + StepWords(progress.step);
    if (progress.day != kNoDate) {
        std::string day = FormatApiDate(progress.day);
        std::replace(day.begin(), day.end(), '-', '/');
        text += ' ' + day;
    }
    const long minutes = std::lround(progress.secondsLeft / 60);
    text += " [取得 " + std::to_string(progress.requestsDone) + " 件, 残り " +
            std::to_string(progress.requestsLeft) + " 件, 約 " + std::to_string(minutes) + " 分]";
    if (!progress.waiting.empty())
        text += " (" + progress.waiting + ")";
    return text;
}

long JQuantsPercent(const JQuantsProgress& progress) {
    const std::size_t all = progress.requestsDone + progress.requestsLeft;
    return all == 0 ? 0 : static_cast<long>(progress.requestsDone * 100 / all);
}

std::string DescribeJQuantsFailure(const std::string& baseUrl, const std::string& error,
                                   const std::string& key) {
    // The server without its scheme: host, port and the API's root path.
    std::string server = baseUrl;
    if (const std::size_t scheme = server.find("://"); scheme != std::string::npos)
        server.erase(0, scheme + 3);
    const bool path = !error.empty() && error.front() == '/';
    return WithoutKey("J-Quants API " + server + (path ? "" : ": ") + error, key);
}

} // namespace vorn
