#pragma once
// A small HTTP server on 127.0.0.1 with an ephemeral port, for tests of real transfers. It
// serves a map of path to response, many connections at once, and can misbehave on request:
// answer late, stall, drip-feed, drop the connection part-way through the body, or ignore
// range requests.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace httplib {
class Server;
}

namespace vorn::test {

struct HttpTestResponse {
    enum class Ending {
        Complete,
        // Close the connection after `cutAfter` body bytes.
        CloseMidway,
        // Send `cutAfter` body bytes, then nothing more until the client gives up.
        StallMidway,
        // Accept the request and never answer.
        Silent,
        // Send the body one byte every `dripInterval`.
        Drip,
    };

    std::string body;
    int status = 200;
    std::chrono::milliseconds delay{0}; // before the status line
    Ending ending = Ending::Complete;
    std::size_t cutAfter = 0;
    std::chrono::milliseconds dripInterval{100};
    // Without Content-Length: the body ends when the connection closes.
    bool closeDelimited = false;
    // A single "Range: bytes=N-" is answered with 206 and the rest of the body; false
    // answers every request with the whole body (200), as a server without range support.
    bool acceptRanges = true;
};

class CHttpTestServer {
public:
    CHttpTestServer();
    ~CHttpTestServer();
    CHttpTestServer(const CHttpTestServer&) = delete;
    CHttpTestServer& operator=(const CHttpTestServer&) = delete;

    bool IsListening() const { return port_ != 0; }
    std::uint16_t Port() const { return port_; }
    // "127.0.0.1:port", the form a server host setting takes.
    std::string Host() const;

    // `path` is the request target as sent, starting with "/". Unknown paths get a 404 page.
    void Serve(const std::string& path, HttpTestResponse response);
    void Serve(const std::string& path, std::string body);

    // The request heads received so far (request line and headers), oldest first.
    std::vector<std::string> Requests() const;

    // A port on 127.0.0.1 that nothing listens on (bound once, then released).
    static std::uint16_t UnusedPort();

private:
    // Sleeps up to `duration`; false when the server is stopping.
    bool Pause(std::chrono::milliseconds duration) const;
    // Waits until the server stops.
    void WaitForStop() const;

    std::unique_ptr<httplib::Server> server_;
    std::uint16_t port_ = 0;
    std::atomic<bool> stopping_{false};
    mutable std::mutex mutex_; // guards responses_ and requests_
    std::map<std::string, HttpTestResponse> responses_;
    std::vector<std::string> requests_;
    std::thread thread_;
};

} // namespace vorn::test
