#pragma once
// A static HTTP server for a published matrix tree: GET and HEAD of the files below one
// folder, with single byte ranges, on 127.0.0.1 only. Many clients are served at once by a
// pool of workers; a client that stalls is dropped after a time-out, so idle or slow clients
// never hold up the others.
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <thread>

namespace httplib {
class Server;
}

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

    // Timeouts while reading a request and while sending a response, and how long an idle
    // connection is kept open for a further request.
    static constexpr int kReceiveTimeoutMs = 5000;
    static constexpr int kSendTimeoutMs = 30000;
    static constexpr int kKeepAliveSeconds = 2;
    // Connections served at the same time; further ones wait for a free worker.
    static constexpr std::size_t kWorkers = 64;

private:
    void Route();

    std::filesystem::path root_;
    std::unique_ptr<httplib::Server> server_;
    std::uint16_t port_ = 0;
    std::atomic<std::size_t> requests_{0};
    std::thread thread_;
};

} // namespace vorn
