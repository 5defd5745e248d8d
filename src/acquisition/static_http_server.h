#pragma once
// A static HTTP server for a published matrix tree: GET and HEAD of the files below one
// folder, on 127.0.0.1 only. Connections are served one after another and closed after
// their response; a client that stalls is dropped after a time-out.
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <thread>

namespace vorn {

// Maps a request target ("/vorn/MarketMatrix/MarketMatrix.idx", a query is ignored) to a path
// below `root`. False for a target that does not start with "/", that holds "..", a
// backslash, a NUL or a malformed %-escape, before or after decoding.
bool ResolveRequestTarget(const std::filesystem::path& root, std::string_view target,
                          std::filesystem::path& file);

class CStaticHttpServer final {
public:
    explicit CStaticHttpServer(std::filesystem::path root);
    // Stops the server.
    ~CStaticHttpServer();
    CStaticHttpServer(const CStaticHttpServer&) = delete;
    CStaticHttpServer& operator=(const CStaticHttpServer&) = delete;

    // Listens on 127.0.0.1:port (0: any free port) and serves on its own thread. False when
    // the root is not a folder or the port cannot be bound.
    bool Start(std::uint16_t port = 0);
    // Returns once the serving thread has ended.
    void Stop();

    std::uint16_t Port() const { return port_; }
    // "127.0.0.1:port", the form of a server host setting.
    std::string Host() const;
    // Requests received so far, answered or refused.
    std::size_t RequestCount() const { return requests_; }

    // Timeouts while reading a request and while sending a response.
    static constexpr int kReceiveTimeoutMs = 5000;
    static constexpr int kSendTimeoutMs = 30000;

private:
    void Run();
    void Handle(int client);
    void Reply(int client, int status, const char* reason);

    std::filesystem::path root_;
    int listener_ = -1;
    std::uint16_t port_ = 0;
    std::atomic<bool> stopping_{false};
    std::atomic<std::size_t> requests_{0};
    std::thread thread_;
};

} // namespace vorn
