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
constexpr long kDefaultStallTimeoutMs = 30000;

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

    // The stall time-out abandons a transfer that moves no byte for that long (checked about
    // once a second while idle).
    void SetTimeouts(long connectTimeoutMs, long stallTimeoutMs);
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

private:
    friend class CAgency;
    static constexpr std::size_t kMaxCredentialLength = 127;

    std::string userName_;
    std::string password_;
    std::unique_ptr<AgentConnection> connection_;
    long connectTimeoutMs_ = kDefaultConnectTimeoutMs;
    long stallTimeoutMs_ = kDefaultStallTimeoutMs;
    CEvent* cancel_ = nullptr;
};

} // namespace vorn
