#pragma once
// A client for the exchange's daily-data API: one GET per query and page, the x-api-key
// header, compressed transfers, pacing to the plan's per-minute limit, waits and retries on
// refusals, and a compressed on-disk cache of every page so that no answered query is asked
// twice.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vorn {

enum class JQuantsResult : std::uint8_t {
    Ok = 0,
    NotInPlan = 1,     // HTTP 403: the plan does not give this data (or the key is refused)
    BadRequest = 2,    // HTTP 400 or another status the client cannot act on
    ServerFailed = 3,  // HTTP 500 after every retry
    NetworkFailed = 4, // no answer after every retry
    BadResponse = 5,   // the body is not the documented JSON
    CacheFailed = 6,   // a cached page could not be written
    Cancelled = 254,
};
std::string_view Describe(JQuantsResult result);

// A subscription plan and what it gives.
struct JQuantsPlan {
    std::string_view name;
    unsigned requestsPerMinute;
    unsigned historyYears;
    bool topix;
    unsigned delayDays; // the newest day served is this many days old
};
// "free", "light", "standard" or "premium"; nothing for another name.
std::optional<JQuantsPlan> FindJQuantsPlan(std::string_view name);

// The query parameters of one request, in a fixed order (the cache names pages by them).
using JQuantsQuery = std::map<std::string, std::string>;

// What the client reports as it goes; never holds the key.
struct JQuantsActivity {
    std::size_t requests = 0; // sent over the network so far
    std::size_t cachedPages = 0;
    std::string waiting; // non-empty while it waits: why
};

struct JQuantsClientOptions {
    std::string baseUrl = "https://api.jquants.com/v2";
    std::string apiKey;
    std::filesystem::path cacheDir; // empty: nothing is cached
    double requestsPerMinute = 5;
    // The financial statements have their own per-minute limit whatever the plan.
    double statementsPerMinute = 60;
    // How long to wait after HTTP 429 before asking again.
    std::chrono::milliseconds limitWait{std::chrono::seconds(60)};
    // Refusals in a row after which the client gives up instead of waiting again.
    unsigned maxLimitWaits = 30;
    unsigned retries = 3;
    std::chrono::milliseconds retryDelay{std::chrono::seconds(2)}; // doubled on each retry
    long connectTimeoutMs = 15000;
    long transferTimeoutMs = 120000;
    std::function<void(const JQuantsActivity&)> activity;
    std::function<bool()> cancelled; // polled between requests and while waiting
};

// The text of a page body with the key blotted out wherever it appears.
std::string WithoutKey(std::string text, const std::string& key);

class CJQuantsClient {
public:
    explicit CJQuantsClient(JQuantsClientOptions options);
    ~CJQuantsClient();
    CJQuantsClient(const CJQuantsClient&) = delete;
    CJQuantsClient& operator=(const CJQuantsClient&) = delete;

    // Every page of the query, bodies as received (uncompressed JSON), in order. `error`
    // says what failed on which query (never with the key). With `keepEmpty` false an answer
    // without rows is not cached (data that may not be published yet).
    JQuantsResult FetchPages(std::string_view path, const JQuantsQuery& query,
                             std::vector<std::string>& pages, std::string& error,
                             bool keepEmpty = true);
    // True when the first page of the query is in the cache (a request it need not make).
    bool IsCached(std::string_view path, const JQuantsQuery& query) const;
    const JQuantsActivity& Activity() const { return activity_; }

    // The file the cache keeps page `page` of the query in.
    std::filesystem::path CachePath(std::string_view path, const JQuantsQuery& query,
                                    std::size_t page) const;

private:
    struct Answer {
        long status = 0;
        std::string body;
    };
    JQuantsResult Request(std::string_view path, const JQuantsQuery& query, Answer& answer,
                          std::string& error);
    bool Perform(const std::string& url, Answer& answer, std::string& cause);
    void Pace(std::string_view path);
    bool Wait(std::chrono::milliseconds delay, const std::string& why);
    void Report();

    JQuantsClientOptions options_;
    JQuantsActivity activity_;
    std::chrono::steady_clock::time_point nextRequest_{};
    void* curl_ = nullptr;
};

// Page cache files: the whole body, gzip-compressed. Reading gives nothing for a missing or
// damaged file; writing goes through a temporary file so that a page is there whole or not
// at all.
std::optional<std::string> ReadCompressedFile(const std::filesystem::path& path);
bool WriteCompressedFile(const std::filesystem::path& path, std::string_view bytes);

} // namespace vorn
