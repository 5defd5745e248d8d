#include "foundation/agency.h"

#include <array>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <curl/curl.h>
#include <mutex>
#include <new>
#include <system_error>

namespace vorn {

struct AgencySession {
    CURLSH* share = nullptr;
    // One lock per kind of shared data; agents of one session may run on different threads.
    std::array<std::mutex, CURL_LOCK_DATA_LAST> locks;

    ~AgencySession() {
        if (share != nullptr)
            curl_share_cleanup(share);
    }
};

struct AgentConnection {
    std::shared_ptr<AgencySession> session;
    CURL* easy = nullptr;
    std::string host;
    std::uint16_t port = 0;

    ~AgentConnection() {
        if (easy != nullptr)
            curl_easy_cleanup(easy);
    }
};

struct AgentRequest {
    CURL* easy = nullptr; // belongs to the connection
    std::string url;
    std::string host; // "host:port", for failure texts
    std::string path;
    curl_slist* headers = nullptr;
    long connectTimeoutMs = 0;
    long stallTimeoutMs = 0;
    std::uint32_t minimumRate = 0;
    long deadlineMs = 0;
    std::uint64_t maximumBytes = 0;
    std::string contentRange; // of the response being received
    CEvent* cancel = nullptr;
    bool sent = false;

    ~AgentRequest() {
        if (easy != nullptr) {
            // The connection outlives the request; it must not keep pointers into it.
            curl_easy_setopt(easy, CURLOPT_HTTPHEADER, nullptr);
            curl_easy_setopt(easy, CURLOPT_WRITEDATA, nullptr);
            curl_easy_setopt(easy, CURLOPT_HEADERDATA, nullptr);
        }
        if (headers != nullptr)
            curl_slist_free_all(headers);
    }
};

void RequestCloser::operator()(AgentRequest* request) const {
    delete request;
}

namespace {

void LockShare(CURL*, curl_lock_data data, curl_lock_access, void* user) {
    auto* session = static_cast<AgencySession*>(user);
    session->locks[static_cast<std::size_t>(data) % session->locks.size()].lock();
}

void UnlockShare(CURL*, curl_lock_data data, void* user) {
    auto* session = static_cast<AgencySession*>(user);
    session->locks[static_cast<std::size_t>(data) % session->locks.size()].unlock();
}

struct BodyTarget {
    BodyTaker take;
    void* context;
    std::uint64_t maximum; // 0: no limit
    std::uint64_t received = 0;
    bool refused = false;
    bool tooLarge = false;
};

std::size_t WriteBody(char* bytes, std::size_t size, std::size_t count, void* user) {
    auto* target = static_cast<BodyTarget*>(user);
    const std::size_t total = size * count;
    target->received += total;
    if (target->maximum != 0 && target->received > target->maximum) {
        target->tooLarge = true;
        return 0;
    }
    if (target->take(target->context, bytes, total))
        return total;
    target->refused = true;
    return 0;
}

// Keeps the Content-Range of the latest response (a new status line starts a new one).
std::size_t TakeHeader(char* bytes, std::size_t size, std::size_t count, void* user) {
    auto* request = static_cast<AgentRequest*>(user);
    const std::size_t total = size * count;
    std::string_view line(bytes, total);
    constexpr std::string_view kName = "content-range:";
    if (line.substr(0, 5) == "HTTP/") {
        request->contentRange.clear();
    } else if (line.size() > kName.size()) {
        bool same = true;
        for (std::size_t i = 0; i < kName.size() && same; ++i)
            same = std::tolower(static_cast<unsigned char>(line[i])) == kName[i];
        if (same) {
            line.remove_prefix(kName.size());
            while (!line.empty() && (line.front() == ' ' || line.front() == '\t'))
                line.remove_prefix(1);
            while (!line.empty() &&
                   (line.back() == '\r' || line.back() == '\n' || line.back() == ' '))
                line.remove_suffix(1);
            request->contentRange.assign(line);
        }
    }
    return total;
}

// Abandons a transfer that moves no byte for a whole window, moves fewer bytes in a window
// than the minimum rate asks for, outlives its deadline, or is cancelled; `cause` says which.
struct RateWatch {
    using Clock = std::chrono::steady_clock;
    Clock::time_point start;
    Clock::time_point lastActivity;
    Clock::time_point windowStart;
    curl_off_t lastMoved = 0;
    curl_off_t windowMoved = 0;
    std::chrono::milliseconds window; // zero: no rate or stall limit
    std::uint32_t minimumRate;
    std::chrono::milliseconds deadline; // zero: none
    CEvent* cancel;
    TransferCause cause = TransferCause::None;

    int Stop(TransferCause why) {
        cause = why;
        return 1;
    }
};

int WatchProgress(void* user, curl_off_t, curl_off_t downloaded, curl_off_t, curl_off_t uploaded) {
    auto* watch = static_cast<RateWatch*>(user);
    if (IsSignalled(watch->cancel))
        return watch->Stop(TransferCause::Cancelled);
    const auto now = RateWatch::Clock::now();
    if (watch->deadline.count() > 0 && now - watch->start > watch->deadline)
        return watch->Stop(TransferCause::DeadlinePassed);
    const curl_off_t moved = downloaded + uploaded;
    if (moved != watch->lastMoved) {
        watch->lastMoved = moved;
        watch->lastActivity = now;
    }
    if (watch->window.count() <= 0)
        return 0;
    if (now - watch->lastActivity > watch->window)
        return watch->Stop(TransferCause::TimedOut);
    if (now - watch->windowStart >= watch->window) {
        const auto inWindow = static_cast<std::uint64_t>(moved - watch->windowMoved);
        const auto wanted = static_cast<std::uint64_t>(watch->minimumRate) *
                            static_cast<std::uint64_t>(watch->window.count()) / 1000;
        if (inWindow < wanted)
            return watch->Stop(inWindow == 0 ? TransferCause::TimedOut : TransferCause::TooSlow);
        watch->windowStart = now;
        watch->windowMoved = moved;
    }
    return 0;
}

// Seconds with up to one decimal, for failure texts ("0.3 s", "30 s").
std::string FormatSeconds(long milliseconds) {
    char text[32];
    if (milliseconds % 1000 == 0)
        std::snprintf(text, sizeof text, "%ld s", milliseconds / 1000);
    else
        std::snprintf(text, sizeof text, "%.1f s", static_cast<double>(milliseconds) / 1000.0);
    return text;
}

// The cause of a failed perform that the watch and the body target did not explain.
TransferCause ClassifyCurlError(CURL* easy, CURLcode result) {
    switch (result) {
    case CURLE_COULDNT_RESOLVE_HOST:
        return TransferCause::NameNotFound;
    case CURLE_COULDNT_CONNECT: {
        long osError = 0;
        curl_easy_getinfo(easy, CURLINFO_OS_ERRNO, &osError);
        return osError == ECONNREFUSED ? TransferCause::ConnectionRefused
                                       : TransferCause::ConnectFailed;
    }
    case CURLE_OPERATION_TIMEDOUT:
        return TransferCause::ConnectFailed;
    case CURLE_PARTIAL_FILE:
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR:
    case CURLE_GOT_NOTHING:
        return TransferCause::Dropped;
    case CURLE_WRITE_ERROR:
        return TransferCause::LocalWrite;
    case CURLE_URL_MALFORMAT:
        return TransferCause::BadRequest;
    default:
        return TransferCause::Other;
    }
}

bool IsHostCharacter(char c, bool bracketed) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.')
        return true;
    return bracketed ? c == ':' : (c == '-' || c == '_');
}

bool ParsePort(std::string_view digits, std::uint16_t& port) {
    if (digits.empty() || digits.size() > 5)
        return false;
    unsigned value = 0;
    for (char c : digits) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    if (value == 0 || value > 65535)
        return false;
    port = static_cast<std::uint16_t>(value);
    return true;
}

bool NeedsEscape(unsigned char c) {
    if (c <= 0x20 || c >= 0x7F)
        return true;
    return std::strchr("#\"<>\\^`{|}", c) != nullptr;
}

} // namespace

const char* DescribeTransferCause(TransferCause cause) {
    switch (cause) {
    case TransferCause::None:
        return "no failure";
    case TransferCause::BadRequest:
        return "unusable server or request";
    case TransferCause::ConnectionRefused:
        return "connection refused";
    case TransferCause::NameNotFound:
        return "name not found";
    case TransferCause::ConnectFailed:
        return "cannot connect";
    case TransferCause::HttpStatus:
        return "HTTP status";
    case TransferCause::TimedOut:
        return "timed out";
    case TransferCause::TooSlow:
        return "too slow";
    case TransferCause::DeadlinePassed:
        return "timed out";
    case TransferCause::Dropped:
        return "connection dropped";
    case TransferCause::TooLarge:
        return "response too large";
    case TransferCause::LocalWrite:
        return "cannot store the response";
    case TransferCause::Cancelled:
        return "cancelled";
    case TransferCause::Other:
        break;
    }
    return "transfer failed";
}

std::string TransferFailure::Describe() const {
    std::string text = "http://" + host + path + ": " + DescribeTransferCause(cause);
    if (cause == TransferCause::HttpStatus)
        text += " " + std::to_string(status);
    if (!detail.empty())
        text += " (" + detail + ")";
    return text;
}

bool InitInternetLibrary() {
    static std::once_flag once;
    static bool initialised = false;
    std::call_once(once, [] { initialised = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK; });
    return initialised;
}

bool SplitServerHost(std::string_view server, std::uint16_t defaultPort, std::string& host,
                     std::uint16_t& port) {
    std::string_view name;
    std::string_view portText;
    bool bracketed = false;
    if (!server.empty() && server.front() == '[') {
        const auto close = server.find(']');
        if (close == std::string_view::npos)
            return false;
        name = server.substr(1, close - 1);
        std::string_view rest = server.substr(close + 1);
        if (!rest.empty()) {
            if (rest.front() != ':')
                return false;
            portText = rest.substr(1);
            if (portText.empty())
                return false;
        }
        bracketed = true;
    } else {
        const auto colon = server.find(':');
        if (colon != std::string_view::npos &&
            server.find(':', colon + 1) == std::string_view::npos) {
            name = server.substr(0, colon);
            portText = server.substr(colon + 1);
            if (portText.empty())
                return false;
        } else {
            // No colon, or a bare IPv6 address.
            name = server;
            bracketed = colon != std::string_view::npos;
        }
    }
    if (name.empty())
        return false;
    for (char c : name)
        if (!IsHostCharacter(c, bracketed))
            return false;
    std::uint16_t parsedPort = defaultPort;
    if (!portText.empty() && !ParsePort(portText, parsedPort))
        return false;
    if (parsedPort == 0)
        return false;
    host.assign(name);
    port = parsedPort;
    return true;
}

std::string ComposeHttpUrl(std::string_view host, std::uint16_t port, std::string_view objectName) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string url = "http://";
    if (host.find(':') != std::string_view::npos)
        url.append("[").append(host).append("]");
    else
        url.append(host);
    url.append(":").append(std::to_string(port));
    if (objectName.empty() || objectName.front() != '/')
        url.push_back('/');
    for (char c : objectName) {
        const auto byte = static_cast<unsigned char>(c);
        if (NeedsEscape(byte)) {
            url.push_back('%');
            url.push_back(kHex[byte >> 4]);
            url.push_back(kHex[byte & 0x0F]);
        } else {
            url.push_back(c);
        }
    }
    return url;
}

// --- CAgency ---

CAgency::CAgency() = default;

CAgency::~CAgency() {
    CloseSession();
}

bool CAgency::OpenSession() {
    if (!InitInternetLibrary())
        return false;
    auto session = std::make_shared<AgencySession>();
    session->share = curl_share_init();
    if (session->share == nullptr)
        return false;
    curl_share_setopt(session->share, CURLSHOPT_LOCKFUNC, &LockShare);
    curl_share_setopt(session->share, CURLSHOPT_UNLOCKFUNC, &UnlockShare);
    curl_share_setopt(session->share, CURLSHOPT_USERDATA, session.get());
    curl_share_setopt(session->share, CURLSHOPT_SHARE, CURL_LOCK_DATA_DNS);
    session_ = std::move(session);
    return true;
}

void CAgency::CloseSession() {
    session_.reset();
}

bool CAgency::Connect(CAgent& agent, const std::string& serverName) {
    if (session_ == nullptr)
        return false;
    if (agent.GetService() != kServiceHttp)
        return false;
    auto connection = std::make_unique<AgentConnection>();
    if (!SplitServerHost(serverName, agent.GetPort(), connection->host, connection->port)) {
        agent.failure_ = TransferFailure{serverName, "/", TransferCause::BadRequest, 0, {}};
        return false;
    }
    connection->easy = curl_easy_init();
    if (connection->easy == nullptr)
        return false;
    connection->session = session_;
    CURL* easy = connection->easy;
    if (curl_easy_setopt(easy, CURLOPT_SHARE, session_->share) != CURLE_OK ||
        curl_easy_setopt(easy, CURLOPT_USERAGENT, GetAgentName()) != CURLE_OK)
        return false;
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http");
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 0L);
    if (const char* user = agent.GetUserName(); user != nullptr) {
        curl_easy_setopt(easy, CURLOPT_USERNAME, user);
        if (const char* password = agent.GetPassword(); password != nullptr)
            curl_easy_setopt(easy, CURLOPT_PASSWORD, password);
    }
    agent.connection_ = std::move(connection);
    return agent.IsConnected();
}

// --- CAgent ---

CAgent::CAgent() = default;

CAgent::~CAgent() = default;

void CAgent::Disconnect() {
    connection_.reset();
}

void CAgent::SetCredentials(const char* userName, const char* password) {
    auto copy = [](std::string& field, const char* text) {
        if (text == nullptr)
            field.clear();
        else
            field.assign(text, strnlen(text, kMaxCredentialLength));
    };
    copy(userName_, userName);
    copy(password_, password);
}

const char* CAgent::GetUserName() const {
    return userName_.empty() ? nullptr : userName_.c_str();
}

const char* CAgent::GetPassword() const {
    return password_.empty() ? nullptr : password_.c_str();
}

void CAgent::SetTimeouts(long connectTimeoutMs, long stallTimeoutMs) {
    connectTimeoutMs_ = connectTimeoutMs;
    stallTimeoutMs_ = stallTimeoutMs;
}

void CAgent::SetDeadline(long baseMs, std::uint32_t bytesPerSecond) {
    deadlineBaseMs_ = baseMs;
    deadlineRate_ = bytesPerSecond;
}

void CAgent::SetExpectedSize(std::uint64_t expectedBytes, std::uint64_t maximumBytes) {
    expectedBytes_ = expectedBytes;
    maximumBytes_ = maximumBytes;
}

bool CAgent::AddHeader(AgentRequest& request, const char* header) {
    curl_slist* grown = curl_slist_append(request.headers, header);
    if (grown == nullptr)
        return false;
    request.headers = grown;
    return true;
}

int CAgent::ResponseStatus(const AgentRequest& request) {
    long status = 0;
    if (request.easy != nullptr)
        curl_easy_getinfo(request.easy, CURLINFO_RESPONSE_CODE, &status);
    return static_cast<int>(status);
}

const std::string& CAgent::ContentRange(const AgentRequest& request) {
    return request.contentRange;
}

void CAgent::NoteFailure(const AgentRequest& request, TransferCause cause, int status) {
    failure_.host = request.host;
    failure_.path = request.path;
    failure_.cause = cause;
    failure_.status = status;
    failure_.detail.clear();
}

RequestHandle CAgent::OpenRequest(const char* verb, const std::string& objectName,
                                  std::uint32_t flags) {
    const std::string path =
        !objectName.empty() && objectName.front() == '/' ? objectName : "/" + objectName;
    if (connection_ == nullptr || verb == nullptr || std::strcmp(verb, "GET") != 0) {
        failure_ = TransferFailure{{}, path, TransferCause::BadRequest, 0, "not connected"};
        return nullptr;
    }
    RequestHandle request(new (std::nothrow) AgentRequest);
    if (request == nullptr)
        return nullptr;
    const std::string& host = connection_->host;
    request->easy = connection_->easy;
    request->url = ComposeHttpUrl(host, connection_->port, objectName);
    request->host = (host.find(':') != std::string::npos ? "[" + host + "]" : host) + ":" +
                    std::to_string(connection_->port);
    request->path = path;
    request->connectTimeoutMs = connectTimeoutMs_;
    request->stallTimeoutMs = stallTimeoutMs_;
    request->minimumRate = minimumRate_;
    request->maximumBytes = maximumBytes_;
    request->cancel = cancel_;
    if (deadlineBaseMs_ > 0) {
        // Saturates instead of wrapping for absurd expected sizes.
        const std::uint64_t scaled = deadlineRate_ == 0 ? 0 : expectedBytes_ / deadlineRate_ * 1000;
        const std::uint64_t total = static_cast<std::uint64_t>(deadlineBaseMs_) + scaled;
        request->deadlineMs = total > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<long>(total);
    }
    failure_ = TransferFailure{request->host, path, TransferCause::None, 0, {}};
    if ((flags & kRequestReload) != 0) {
        // Ask caches on the way to fetch from the origin as well.
        for (const char* header : {"Cache-Control: no-cache", "Pragma: no-cache"})
            if (!AddHeader(*request, header))
                return nullptr;
    }
    return request;
}

bool CAgent::SendRequest(AgentRequest& request) {
    CURL* easy = request.easy;
    if (easy == nullptr)
        return false;
    if (curl_easy_setopt(easy, CURLOPT_URL, request.url.c_str()) != CURLE_OK ||
        curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L) != CURLE_OK ||
        curl_easy_setopt(easy, CURLOPT_HTTPHEADER, request.headers) != CURLE_OK)
        return false;
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, request.connectTimeoutMs);
    request.sent = true;
    return true;
}

TransferOutcome CAgent::Transfer(AgentRequest& request, BodyTaker take, void* context) {
    if (!request.sent || request.easy == nullptr || take == nullptr) {
        NoteFailure(request, TransferCause::BadRequest);
        return TransferOutcome::Broken;
    }
    request.sent = false;
    CURL* easy = request.easy;
    BodyTarget target{take, context, request.maximumBytes};
    const auto now = RateWatch::Clock::now();
    RateWatch watch{now,
                    now,
                    now,
                    0,
                    0,
                    std::chrono::milliseconds(request.stallTimeoutMs),
                    request.minimumRate,
                    std::chrono::milliseconds(request.deadlineMs),
                    request.cancel};
    char errorText[CURL_ERROR_SIZE] = {};
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, errorText);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &WriteBody);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &target);
    request.contentRange.clear();
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &TakeHeader);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, &request);
    curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, &WatchProgress);
    curl_easy_setopt(easy, CURLOPT_XFERINFODATA, &watch);
    const bool watched =
        request.stallTimeoutMs > 0 || request.deadlineMs > 0 || request.cancel != nullptr;
    curl_easy_setopt(easy, CURLOPT_NOPROGRESS, watched ? 0L : 1L);
    const CURLcode result = curl_easy_perform(easy);
    curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 1L);
    curl_easy_setopt(easy, CURLOPT_XFERINFODATA, nullptr);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, nullptr);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, nullptr);
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, nullptr);
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, nullptr);
    long status = 0;
    curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
    failure_.status = static_cast<int>(status);
    if (result == CURLE_OK)
        return TransferOutcome::Done;

    TransferCause cause = watch.cause;
    std::string detail;
    if (target.tooLarge) {
        cause = TransferCause::TooLarge;
        detail = "over " + std::to_string(request.maximumBytes) + " bytes";
    } else if (target.refused) {
        cause = TransferCause::LocalWrite;
    } else if (cause == TransferCause::None) {
        cause = ClassifyCurlError(easy, result);
        if (cause == TransferCause::Other || cause == TransferCause::ConnectFailed)
            detail = errorText[0] != '\0' ? errorText : curl_easy_strerror(result);
    } else if (cause == TransferCause::TimedOut) {
        detail = "no data for " + FormatSeconds(request.stallTimeoutMs);
    } else if (cause == TransferCause::TooSlow) {
        detail = "under " + std::to_string(request.minimumRate) + " bytes/s for " +
                 FormatSeconds(request.stallTimeoutMs);
    } else if (cause == TransferCause::DeadlinePassed) {
        detail = "not done within " + FormatSeconds(request.deadlineMs);
    }
    NoteFailure(request, cause, static_cast<int>(status));
    failure_.detail = std::move(detail);
    return target.refused || target.tooLarge ? TransferOutcome::Refused : TransferOutcome::Broken;
}

bool CAgent::ReadToBuffer(GrowableBuffer& buffer, AgentRequest& request) {
    const std::size_t chunk = GetChunkSize();
    if (chunk == 0)
        return false;
    if (buffer.data == nullptr || buffer.capacity == 0) {
        buffer.data.reset(new (std::nothrow) std::uint8_t[chunk]);
        if (buffer.data == nullptr) {
            buffer.capacity = 0;
            buffer.length = 0;
            return false;
        }
        buffer.capacity = chunk;
        buffer.length = 0;
    }
    if (buffer.length > buffer.capacity)
        return false;

    struct Growth {
        GrowableBuffer* buffer;
        std::size_t chunk;
    } growth{&buffer, chunk};
    const BodyTaker append = [](void* context, const char* bytes, std::size_t count) {
        auto& g = *static_cast<Growth*>(context);
        GrowableBuffer& b = *g.buffer;
        while (count > 0) {
            const std::size_t room = b.capacity - b.length;
            const std::size_t taken = count < room ? count : room;
            std::memcpy(b.data.get() + b.length, bytes, taken);
            b.length += taken;
            bytes += taken;
            count -= taken;
            // Grown as soon as it is full, so a body of exactly one chunk ends with two.
            if (b.length == b.capacity) {
                if (b.capacity > SIZE_MAX - g.chunk)
                    return false;
                std::unique_ptr<std::uint8_t[]> grown(new (std::nothrow)
                                                          std::uint8_t[b.capacity + g.chunk]);
                if (grown == nullptr)
                    return false;
                std::memcpy(grown.get(), b.data.get(), b.length);
                b.data = std::move(grown);
                b.capacity += g.chunk;
            }
        }
        return true;
    };
    return Transfer(request, append, &growth) == TransferOutcome::Done;
}

bool CAgent::ReadToFile(const std::filesystem::path& path, AgentRequest& request, FileHandle* out) {
    // The body goes to a sibling first, so that a broken transfer neither leaves a partial
    // file at `path` nor destroys a file that was there.
    std::filesystem::path partial = path;
    partial += ".part";
    FileHandle file(std::fopen(partial.c_str(), "w+b"));
    if (file == nullptr)
        return false;
    auto discard = [&] {
        file.reset();
        std::error_code ignored;
        std::filesystem::remove(partial, ignored);
        return false;
    };

    const BodyTaker write = [](void* context, const char* bytes, std::size_t count) {
        return std::fwrite(bytes, 1, count, static_cast<std::FILE*>(context)) == count;
    };
    if (Transfer(request, write, file.get()) != TransferOutcome::Done ||
        std::fflush(file.get()) != 0)
        return discard();
    if (out == nullptr) {
        // A close can still report a lost write.
        if (std::fclose(file.release()) != 0)
            return discard();
    }
    std::error_code error;
    std::filesystem::rename(partial, path, error);
    if (error)
        return discard();
    if (out != nullptr) {
        std::rewind(file.get());
        *out = std::move(file);
    }
    return true;
}

} // namespace vorn
