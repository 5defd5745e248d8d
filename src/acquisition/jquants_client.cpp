#include "acquisition/jquants_client.h"

#include <algorithm>
#include <cstdio>
#include <system_error>
#include <thread>

#include <curl/curl.h>
#include <zlib.h>

#include "acquisition/jquants_json.h"
#include "foundation/agency.h"

namespace vorn {

namespace fs = std::filesystem;

std::string_view Describe(JQuantsResult result) {
    switch (result) {
    case JQuantsResult::Ok:
        return "done";
    case JQuantsResult::NotInPlan:
        return "refused (HTTP 403): not in the plan, or the key is refused";
    case JQuantsResult::BadRequest:
        return "refused by the server";
    case JQuantsResult::ServerFailed:
        return "the server kept failing (HTTP 500)";
    case JQuantsResult::NetworkFailed:
        return "no answer from the server";
    case JQuantsResult::BadResponse:
        return "the answer is not the documented JSON";
    case JQuantsResult::CacheFailed:
        return "the cache could not be written";
    case JQuantsResult::Cancelled:
        return "cancelled";
    }
    return "unknown result";
}

std::optional<JQuantsPlan> FindJQuantsPlan(std::string_view name) {
    static constexpr JQuantsPlan kPlans[] = {
        {"free", 5, 2, false, 84},
        {"light", 60, 5, true, 0},
        {"standard", 120, 10, true, 0},
        {"premium", 500, 20, true, 0},
    };
    for (const JQuantsPlan& plan : kPlans)
        if (plan.name == name)
            return plan;
    return std::nullopt;
}

std::string WithoutKey(std::string text, const std::string& key) {
    if (key.empty())
        return text;
    for (std::size_t at = text.find(key); at != std::string::npos; at = text.find(key, at))
        text.replace(at, key.size(), "(key)");
    return text;
}

namespace {

constexpr std::size_t kMaxBodyBytes = 256u << 20; // pages are cut near 5 MB by the service
constexpr std::size_t kMaxPages = 100000;

std::string Escape(std::string_view text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (const unsigned char c : text) {
        if ((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
            c == '-' || c == '_' || c == '.' || c == '~') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    return out;
}

std::string QueryText(const JQuantsQuery& query) {
    std::string text;
    for (const auto& [name, value] : query) {
        text += text.empty() ? '?' : '&';
        text += Escape(name) + "=" + Escape(value);
    }
    return text;
}

// A file name safe on every file system: letters, digits and a few marks; others as %XX.
std::string CacheName(std::string_view path, const JQuantsQuery& query) {
    std::string name;
    for (const char c : path)
        name += c == '/' ? '_' : c;
    while (!name.empty() && name.front() == '_')
        name.erase(name.begin());
    for (const auto& [key, value] : query)
        name += "__" + Escape(key) + "=" + Escape(value);
    for (char& c : name)
        if (c == '%')
            c = '+';
    return name;
}

std::size_t Collect(char* bytes, std::size_t size, std::size_t count, void* context) {
    auto& body = *static_cast<std::string*>(context);
    const std::size_t total = size * count;
    if (body.size() + total > kMaxBodyBytes)
        return 0;
    body.append(bytes, total);
    return total;
}

bool IsStatementsPath(std::string_view path) {
    return path.find("/fins/") != std::string_view::npos;
}

} // namespace

std::optional<std::string> ReadCompressedFile(const fs::path& path) {
    gzFile file = gzopen(path.c_str(), "rb");
    if (file == nullptr)
        return std::nullopt;
    std::string bytes;
    char buffer[65536];
    bool ok = true;
    for (;;) {
        const int read = gzread(file, buffer, sizeof buffer);
        if (read < 0) {
            ok = false;
            break;
        }
        if (read == 0)
            break;
        bytes.append(buffer, static_cast<std::size_t>(read));
        if (bytes.size() > kMaxBodyBytes) {
            ok = false;
            break;
        }
    }
    int error = Z_OK;
    gzerror(file, &error);
    if (error != Z_OK && error != Z_STREAM_END)
        ok = false;
    gzclose(file);
    if (!ok)
        return std::nullopt;
    return bytes;
}

bool WriteCompressedFile(const fs::path& path, std::string_view bytes) {
    const fs::path temporary = path.string() + ".part";
    gzFile file = gzopen(temporary.c_str(), "wb6");
    if (file == nullptr)
        return false;
    bool ok = true;
    std::size_t done = 0;
    while (ok && done < bytes.size()) {
        const auto piece =
            static_cast<unsigned>(std::min<std::size_t>(bytes.size() - done, 1u << 20));
        ok = gzwrite(file, bytes.data() + done, piece) == static_cast<int>(piece);
        done += piece;
    }
    ok = gzclose(file) == Z_OK && ok;
    std::error_code ec;
    if (ok)
        fs::rename(temporary, path, ec);
    if (!ok || ec) {
        fs::remove(temporary, ec);
        return false;
    }
    return true;
}

CJQuantsClient::CJQuantsClient(JQuantsClientOptions options) : options_(std::move(options)) {
    InitInternetLibrary();
}

CJQuantsClient::~CJQuantsClient() {
    if (curl_ != nullptr)
        curl_easy_cleanup(static_cast<CURL*>(curl_));
}

fs::path CJQuantsClient::CachePath(std::string_view path, const JQuantsQuery& query,
                                   std::size_t page) const {
    return options_.cacheDir / (CacheName(path, query) + ".p" + std::to_string(page) + ".json.gz");
}

bool CJQuantsClient::IsCached(std::string_view path, const JQuantsQuery& query) const {
    std::error_code ec;
    return !options_.cacheDir.empty() && fs::exists(CachePath(path, query, 0), ec);
}

void CJQuantsClient::Report() {
    if (options_.activity)
        options_.activity(activity_);
}

bool CJQuantsClient::Wait(std::chrono::milliseconds delay, const std::string& why) {
    const auto until = std::chrono::steady_clock::now() + delay;
    activity_.waiting = why;
    Report();
    while (std::chrono::steady_clock::now() < until) {
        if (options_.cancelled && options_.cancelled()) {
            activity_.waiting.clear();
            return false;
        }
        const auto left = until - std::chrono::steady_clock::now();
        std::this_thread::sleep_for(
            std::min<std::chrono::steady_clock::duration>(left, std::chrono::milliseconds(200)));
    }
    activity_.waiting.clear();
    return true;
}

// Requests are spread evenly over the minute, so that a burst never crosses the limit.
void CJQuantsClient::Pace(std::string_view path) {
    const double perMinute = std::max(
        IsStatementsPath(path) ? std::min(options_.statementsPerMinute, options_.requestsPerMinute)
                               : options_.requestsPerMinute,
        1e-3);
    const auto now = std::chrono::steady_clock::now();
    if (nextRequest_ > now)
        Wait(std::chrono::duration_cast<std::chrono::milliseconds>(nextRequest_ - now) +
                 std::chrono::milliseconds(1),
             "pacing");
    const auto interval = std::chrono::microseconds(static_cast<long long>(60e6 / perMinute));
    nextRequest_ = std::chrono::steady_clock::now() + interval;
}

bool CJQuantsClient::Perform(const std::string& url, Answer& answer, std::string& cause) {
    if (curl_ == nullptr)
        curl_ = curl_easy_init();
    CURL* easy = static_cast<CURL*>(curl_);
    if (easy == nullptr) {
        cause = "the HTTP library could not start";
        return false;
    }
    curl_easy_reset(easy);
    const std::string keyHeader = "x-api-key: " + options_.apiKey;
    curl_slist* headers = curl_slist_append(nullptr, keyHeader.c_str());
    answer.body.clear();
    answer.status = 0;
    curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
    curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(easy, CURLOPT_ACCEPT_ENCODING, "");
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_USERAGENT, "vorn");
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, options_.connectTimeoutMs);
    curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, options_.transferTimeoutMs);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &Collect);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &answer.body);
    const CURLcode code = curl_easy_perform(easy);
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, nullptr);
    curl_slist_free_all(headers);
    if (code != CURLE_OK) {
        cause = curl_easy_strerror(code);
        return false;
    }
    curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &answer.status);
    return true;
}

JQuantsResult CJQuantsClient::Request(std::string_view path, const JQuantsQuery& query,
                                      Answer& answer, std::string& error) {
    const std::string shown = std::string(path) + QueryText(query);
    const std::string url = options_.baseUrl + shown;
    unsigned failures = 0;
    unsigned refusals = 0;
    for (;;) {
        if (options_.cancelled && options_.cancelled())
            return JQuantsResult::Cancelled;
        Pace(path);
        std::string cause;
        const bool answered = Perform(url, answer, cause);
        ++activity_.requests;
        Report();
        if (answered && answer.status == 200)
            return JQuantsResult::Ok;
        if (answered && answer.status == 429 && ++refusals <= options_.maxLimitWaits) {
            // The service names no retry time; a minute is what it asks for.
            if (!Wait(options_.limitWait, "the server asks to slow down (HTTP 429)"))
                return JQuantsResult::Cancelled;
            continue;
        }
        const bool retryable = !answered || answer.status >= 500;
        if (retryable && failures < options_.retries) {
            const auto delay = options_.retryDelay * (1 << std::min(failures, 10u));
            ++failures;
            if (!Wait(delay, answered ? "the server failed (HTTP " + std::to_string(answer.status) +
                                            "); retrying"
                                      : "no answer (" + cause + "); retrying"))
                return JQuantsResult::Cancelled;
            continue;
        }
        std::string message;
        if (answered) {
            JsonEnvelope envelope;
            std::string ignored;
            if (ParseEnvelope(
                    answer.body, [](const CJsonRow&) { return true; }, envelope, ignored) &&
                envelope.message)
                message = ": " + *envelope.message;
        }
        error = WithoutKey(
            shown + ": " + (answered ? "HTTP " + std::to_string(answer.status) + message : cause),
            options_.apiKey);
        if (!answered)
            return JQuantsResult::NetworkFailed;
        if (answer.status == 403)
            return JQuantsResult::NotInPlan;
        return answer.status >= 500 ? JQuantsResult::ServerFailed : JQuantsResult::BadRequest;
    }
}

JQuantsResult CJQuantsClient::FetchPages(std::string_view path, const JQuantsQuery& query,
                                         std::vector<std::string>& pages, std::string& error,
                                         bool keepEmpty) {
    pages.clear();
    JQuantsQuery pageQuery = query;
    const bool caching = !options_.cacheDir.empty();
    if (caching) {
        std::error_code ec;
        fs::create_directories(options_.cacheDir, ec);
    }
    for (std::size_t page = 0; page < kMaxPages; ++page) {
        const fs::path cached = caching ? CachePath(path, query, page) : fs::path{};
        std::string body;
        bool fromCache = false;
        if (caching) {
            if (auto bytes = ReadCompressedFile(cached)) {
                body = std::move(*bytes);
                fromCache = true;
            }
        }
        if (!fromCache) {
            Answer answer;
            if (const JQuantsResult result = Request(path, pageQuery, answer, error);
                result != JQuantsResult::Ok)
                return result;
            body = std::move(answer.body);
        }
        JsonEnvelope envelope;
        std::string why;
        if (!ParseEnvelope(
                body, [](const CJsonRow&) { return true; }, envelope, why)) {
            std::error_code ec;
            if (fromCache) {
                // A damaged cache file is asked for again.
                fs::remove(cached, ec);
                --page;
                continue;
            }
            error =
                WithoutKey(std::string(path) + QueryText(pageQuery) + ": " + why, options_.apiKey);
            return JQuantsResult::BadResponse;
        }
        if (caching && !fromCache && (keepEmpty || envelope.rows > 0 || envelope.paginationKey)) {
            if (!WriteCompressedFile(cached, body)) {
                error = cached.string() + ": cannot write";
                return JQuantsResult::CacheFailed;
            }
        }
        if (fromCache) {
            ++activity_.cachedPages;
            Report();
        }
        pages.push_back(std::move(body));
        if (!envelope.paginationKey || envelope.paginationKey->empty())
            return JQuantsResult::Ok;
        pageQuery["pagination_key"] = *envelope.paginationKey;
    }
    error = std::string(path) + ": more than " + std::to_string(kMaxPages) + " pages";
    return JQuantsResult::BadResponse;
}

} // namespace vorn
