#pragma once
// Network access in two layers: an agency holds the session, an agent one connection to one
// server over which it transfers response bodies into memory or into files.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "foundation/event.h"

namespace vorn {

// Internet service kinds an agent may ask for.
constexpr std::uint32_t kServiceHttp = 3;
// Request flags: always fetch from the server, never keep the response in a cache.
constexpr std::uint32_t kRequestReload = 0x80000000;
constexpr std::uint32_t kRequestNoCacheWrite = 0x04000000;

// Time-outs applied to every request of an agent unless it is told otherwise.
constexpr long kDefaultConnectTimeoutMs = 15000;
// Length of the window over which the minimum rate is judged.
constexpr long kDefaultStallTimeoutMs = 30000;
// A transfer that moves fewer bytes than this per second over a whole window fails.
constexpr std::uint32_t kDefaultMinimumRate = 1024;
// Overall deadline of a request: a fixed allowance plus the expected size at a slow rate.
constexpr long kDefaultDeadlineBaseMs = 60000;
constexpr std::uint32_t kDefaultDeadlineRate = 16 * 1024;

// Why a transfer failed.
enum class TransferCause {
    None,
    BadRequest,        // unusable server name or request, no connection made
    ConnectionRefused, // nothing listens there
    NameNotFound,      // the host name does not resolve
    ConnectFailed,     // unreachable, or the connection could not be set up in time
    HttpStatus,        // the server answered with an error status
    TimedOut,          // no byte arrived for a whole window
    TooSlow,           // bytes arrived, but below the minimum rate
    DeadlinePassed,    // the whole request took longer than its deadline
    Dropped,           // the connection ended before the whole body arrived
    TooLarge,          // the body is larger than anything valid there can be
    LocalWrite,        // the body could not be stored here
    Cancelled,         // the owner asked to stop
    Other,
};

// What went wrong with one request, for messages that tell the user where and why.
struct TransferFailure {
    std::string host; // "host:port"
    std::string path; // as requested, starting with "/"
    TransferCause cause = TransferCause::None;
    int status = 0;     // the HTTP status when one was received
    std::string detail; // the client library's own words, when it has any

    bool Failed() const { return cause != TransferCause::None; }
    // "http://host:port/path: cause", e.g. "http://127.0.0.1:8080/a.idx: HTTP status 404".
    std::string Describe() const;
};
// The cause alone, in a few words ("connection refused", "too slow", ...).
const char* DescribeTransferCause(TransferCause cause);

// The caller's growable block for response bodies; kept across requests so that its
// capacity is reused.
struct GrowableBuffer {
    std::unique_ptr<std::uint8_t[]> data;
    std::size_t length = 0;
    std::size_t capacity = 0;
};

struct FileCloser {
    void operator()(std::FILE* file) const {
        if (file != nullptr)
            std::fclose(file);
    }
};
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

// Opaque library state behind the handles below.
struct AgencySession;
struct AgentConnection;
struct AgentRequest;
struct RequestCloser {
    void operator()(AgentRequest* request) const;
};
using RequestHandle = std::unique_ptr<AgentRequest, RequestCloser>;

// Receives a response body piece by piece as it arrives; returning false abandons the
// transfer.
using BodyTaker = bool (*)(void* context, const char* bytes, std::size_t count);
enum class TransferOutcome {
    Done,
    // The body taker gave up.
    Refused,
    // Not connected, refused, dropped or stalled on the way.
    Broken,
};

// Initialises the internet client library once per process; safe from any thread.
bool InitInternetLibrary();

// Splits "host" or "host:port" ("[v6]:port" too). `port` is `defaultPort` when none is
// given. False for an empty host or a port outside 1..65535.
bool SplitServerHost(std::string_view server, std::uint16_t defaultPort, std::string& host,
                     std::uint16_t& port);
// "http://host:port/objectName", with spaces, controls, '#' and non-ASCII bytes of the
// object name percent-encoded.
std::string ComposeHttpUrl(std::string_view host, std::uint16_t port, std::string_view objectName);

class CAgent;

class CAgency {
public:
    CAgency();
    CAgency(const CAgency&) = delete;
    CAgency& operator=(const CAgency&) = delete;

    // --- Operations in slot order ---
    virtual ~CAgency();
    virtual bool OpenSession();
    virtual void CloseSession();
    // Gives the agent a connection to `serverName` ("host" or "host:port"); leaves the agent
    // untouched when there is no session or the server name is unusable.
    virtual bool Connect(CAgent& agent, const std::string& serverName);
    virtual const char* GetAgentName() const { return "ZazizarazovaDurezo"; }

    bool IsSessionOpen() const { return session_ != nullptr; }

private:
    // Connections keep the session alive, so closing it never pulls the library state from
    // under an agent that is still connected.
    std::shared_ptr<AgencySession> session_;
};

class CAgent {
public:
    CAgent();
    CAgent(const CAgent&) = delete;
    CAgent& operator=(const CAgent&) = delete;

    // --- Operations in slot order ---
    // Appends the response body to `buffer`, growing it by GetChunkSize bytes whenever it is
    // full.
    virtual bool ReadToBuffer(GrowableBuffer& buffer, AgentRequest& request);
    // Writes the response body to `path`. With `out`, the file stays open at its start and
    // belongs to the caller. A failed transfer leaves no file at `path` other than one that
    // was there before.
    virtual bool ReadToFile(const std::filesystem::path& path, AgentRequest& request,
                            FileHandle* out);
    virtual std::size_t GetChunkSize() const { return 40960; }
    virtual ~CAgent();
    virtual void Disconnect();
    // A null argument clears the field; texts are cut to 127 bytes.
    virtual void SetCredentials(const char* userName, const char* password);
    virtual bool FetchToBuffer(GrowableBuffer& buffer, const std::string& objectName) = 0;
    virtual bool FetchToFile(const std::filesystem::path& path, const std::string& objectName,
                             FileHandle* out) = 0;
    virtual bool IsConnected() const { return connection_ != nullptr; }
    virtual std::uint16_t GetPort() const = 0;
    // Null when empty, so that the connection is made without credentials.
    virtual const char* GetUserName() const;
    virtual const char* GetPassword() const;
    virtual std::uint32_t GetService() const = 0;
    virtual std::uint32_t GetConnectFlags() const { return 0; }

    // The stall time-out is the window over which the minimum rate is judged: a transfer that
    // moves no byte in a window fails as timed out, one that moves fewer than
    // window x minimum rate bytes as too slow (checked about once a second).
    void SetTimeouts(long connectTimeoutMs, long stallTimeoutMs);
    void SetMinimumRate(std::uint32_t bytesPerSecond) { minimumRate_ = bytesPerSecond; }
    // Each request must end within baseMs + expected size / bytesPerSecond; 0 for baseMs
    // lifts the deadline.
    void SetDeadline(long baseMs, std::uint32_t bytesPerSecond);
    // The size the next requests are expected to have (0: unknown, the base deadline alone);
    // a body larger than `maximumBytes` (0: no limit) is refused as too large.
    void SetExpectedSize(std::uint64_t expectedBytes, std::uint64_t maximumBytes = 0);
    // Why the last request failed; cause None after a success.
    const TransferFailure& LastFailure() const { return failure_; }
    // The HTTP status of the last response (0 when none arrived).
    int LastStatus() const { return failure_.status; }
    // While `cancel` is set, transfers are abandoned (checked about once a second); null
    // clears it. The event must outlive its use by this agent.
    void SetCancelEvent(CEvent* cancel) { cancel_ = cancel; }

protected:
    // Null when not connected or the verb is not GET.
    RequestHandle OpenRequest(const char* verb, const std::string& objectName, std::uint32_t flags);
    bool SendRequest(AgentRequest& request);
    // Runs a sent request to its end, handing the body to `take`. A request carries one
    // transfer.
    TransferOutcome Transfer(AgentRequest& request, BodyTaker take, void* context);
    // Adds a request header ("Name: value") to an opened request; false when out of memory.
    static bool AddHeader(AgentRequest& request, const char* header);
    // While a body is being taken: the response's status and its Content-Range value ("" when
    // it has none).
    static int ResponseStatus(const AgentRequest& request);
    static const std::string& ContentRange(const AgentRequest& request);
    // Marks the last request as failed with `cause` (host and path filled in).
    void NoteFailure(const AgentRequest& request, TransferCause cause, int status = 0);

private:
    friend class CAgency;
    static constexpr std::size_t kMaxCredentialLength = 127;

    std::string userName_;
    std::string password_;
    std::unique_ptr<AgentConnection> connection_;
    long connectTimeoutMs_ = kDefaultConnectTimeoutMs;
    long stallTimeoutMs_ = kDefaultStallTimeoutMs;
    std::uint32_t minimumRate_ = kDefaultMinimumRate;
    long deadlineBaseMs_ = kDefaultDeadlineBaseMs;
    std::uint32_t deadlineRate_ = kDefaultDeadlineRate;
    std::uint64_t expectedBytes_ = 0;
    std::uint64_t maximumBytes_ = 0;
    CEvent* cancel_ = nullptr;
    TransferFailure failure_;
};

} // namespace vorn
