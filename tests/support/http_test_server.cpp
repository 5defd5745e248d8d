#include "support/http_test_server.h"

#include <arpa/inet.h>
#include <httplib.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace vorn::test {
namespace {

// Enough workers that silent or stalled responses never hold up the other requests of a test.
constexpr std::size_t kWorkers = 32;
constexpr auto kPollStep = std::chrono::milliseconds(5);
const char* const kBodyType = "application/octet-stream";

// Request line and headers as the client sent them (header order aside).
std::string FormatHead(const httplib::Request& request) {
    std::string head = request.method + " " + request.target + " " + request.version + "\r\n";
    for (const auto& [name, value] : request.headers) {
        // The library adds the peer's addresses as pseudo headers.
        if (name == "REMOTE_ADDR" || name == "REMOTE_PORT" || name == "LOCAL_ADDR" ||
            name == "LOCAL_PORT")
            continue;
        head += name + ": " + value + "\r\n";
    }
    return head;
}

} // namespace

CHttpTestServer::CHttpTestServer() : server_(std::make_unique<httplib::Server>()) {
    server_->new_task_queue = [] { return new httplib::ThreadPool(kWorkers); };
    server_->Get(".*", [this](const httplib::Request& request, httplib::Response& reply) {
        HttpTestResponse response;
        {
            std::lock_guard lock(mutex_);
            requests_.push_back(FormatHead(request));
            if (auto found = responses_.find(request.target); found != responses_.end()) {
                response = found->second;
            } else {
                response.status = 404;
                response.body = "<html><body>404 Not Found</body></html>";
            }
        }
        if (!Pause(response.delay))
            return;
        if (response.ending == HttpTestResponse::Ending::Silent) {
            WaitForStop();
            return;
        }
        // Left unset for 200, so that the library answers a range request with 206.
        if (response.status != 200 || response.closeDelimited || !response.acceptRanges)
            reply.status = response.status;
        auto body = std::make_shared<std::string>(std::move(response.body));
        const std::size_t cut = response.ending == HttpTestResponse::Ending::Complete ||
                                        response.ending == HttpTestResponse::Ending::Drip
                                    ? body->size()
                                    : std::min(response.cutAfter, body->size());
        if (response.closeDelimited || !response.acceptRanges) {
            // Without a length the body ends with the connection.
            reply.set_header("Connection", "close");
            // Ending the provider with false is what makes the library close the connection.
            reply.set_content_provider(kBodyType, [body](std::size_t, httplib::DataSink& sink) {
                sink.write(body->data(), body->size());
                return false;
            });
            return;
        }
        if (response.ending == HttpTestResponse::Ending::Complete) {
            reply.set_content(*body, kBodyType);
            return;
        }
        const auto ending = response.ending;
        const auto interval = response.dripInterval;
        reply.set_content_provider(
            body->size(), kBodyType,
            [this, body, cut, ending, interval](std::size_t offset, std::size_t length,
                                                httplib::DataSink& sink) {
                if (ending == HttpTestResponse::Ending::Drip) {
                    for (std::size_t i = 0; i < length; ++i)
                        if (!Pause(interval) || !sink.write(body->data() + offset + i, 1))
                            return false;
                    return true;
                }
                if (offset < cut && !sink.write(body->data() + offset, cut - offset))
                    return false;
                if (ending == HttpTestResponse::Ending::StallMidway)
                    WaitForStop();
                return false; // drops the connection
            });
    });
    const int port = server_->bind_to_any_port("127.0.0.1");
    if (port <= 0)
        return;
    port_ = static_cast<std::uint16_t>(port);
    thread_ = std::thread([this] { server_->listen_after_bind(); });
    while (!server_->is_running())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

CHttpTestServer::~CHttpTestServer() {
    stopping_ = true;
    server_->stop();
    if (thread_.joinable())
        thread_.join();
}

std::string CHttpTestServer::Host() const {
    return "127.0.0.1:" + std::to_string(port_);
}

void CHttpTestServer::Serve(const std::string& path, HttpTestResponse response) {
    std::lock_guard lock(mutex_);
    responses_[path] = std::move(response);
}

void CHttpTestServer::Serve(const std::string& path, std::string body) {
    HttpTestResponse response;
    response.body = std::move(body);
    Serve(path, std::move(response));
}

std::vector<std::string> CHttpTestServer::Requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

std::uint16_t CHttpTestServer::UnusedPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return 0;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    std::uint16_t port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    ::close(fd);
    return port;
}

bool CHttpTestServer::Pause(std::chrono::milliseconds duration) const {
    const auto end = std::chrono::steady_clock::now() + duration;
    while (std::chrono::steady_clock::now() < end) {
        if (stopping_)
            return false;
        std::this_thread::sleep_for(kPollStep);
    }
    return !stopping_;
}

void CHttpTestServer::WaitForStop() const {
    while (!stopping_)
        std::this_thread::sleep_for(kPollStep);
}

} // namespace vorn::test
