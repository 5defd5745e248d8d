#include "support/http_test_server.h"

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace vorn::test {
namespace {

constexpr int kPollMs = 20;
constexpr std::size_t kMaxHeadBytes = 64 * 1024;

int OpenLoopbackSocket(std::uint16_t& port) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    int reuse = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof address;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        ::close(fd);
        return -1;
    }
    port = ntohs(address.sin_port);
    return fd;
}

bool SendAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t sent = ::send(fd, data, size, MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR)
            continue;
        if (sent <= 0)
            return false;
        data += sent;
        size -= static_cast<std::size_t>(sent);
    }
    return true;
}

const char* ReasonOf(int status) {
    switch (status) {
    case 200:
        return "OK";
    case 404:
        return "Not Found";
    case 500:
        return "Internal Server Error";
    default:
        return "Status";
    }
}

} // namespace

CHttpTestServer::CHttpTestServer() {
    listener_ = OpenLoopbackSocket(port_);
    if (listener_ < 0)
        return;
    if (::listen(listener_, 16) != 0) {
        ::close(listener_);
        listener_ = -1;
        return;
    }
    thread_ = std::thread([this] { Run(); });
}

CHttpTestServer::~CHttpTestServer() {
    stopping_ = true;
    if (thread_.joinable())
        thread_.join();
    if (listener_ >= 0)
        ::close(listener_);
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
    std::uint16_t port = 0;
    int fd = OpenLoopbackSocket(port);
    if (fd >= 0)
        ::close(fd);
    return port;
}

bool CHttpTestServer::Pause(std::chrono::milliseconds duration) const {
    const auto end = std::chrono::steady_clock::now() + duration;
    while (std::chrono::steady_clock::now() < end) {
        if (stopping_)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return !stopping_;
}

void CHttpTestServer::WaitForClose(int client) const {
    char scratch[256];
    while (!stopping_) {
        pollfd entry{client, POLLIN, 0};
        if (::poll(&entry, 1, kPollMs) > 0) {
            const ssize_t got = ::recv(client, scratch, sizeof scratch, 0);
            if (got <= 0)
                return;
        }
    }
}

void CHttpTestServer::Run() {
    while (!stopping_) {
        pollfd entry{listener_, POLLIN, 0};
        if (::poll(&entry, 1, kPollMs) <= 0)
            continue;
        const int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0)
            continue;
        Handle(client);
        ::close(client);
    }
}

void CHttpTestServer::Handle(int client) {
    std::string head;
    char scratch[4096];
    while (head.find("\r\n\r\n") == std::string::npos) {
        if (stopping_ || head.size() > kMaxHeadBytes)
            return;
        pollfd entry{client, POLLIN, 0};
        if (::poll(&entry, 1, kPollMs) <= 0)
            continue;
        const ssize_t got = ::recv(client, scratch, sizeof scratch, 0);
        if (got <= 0)
            return;
        head.append(scratch, static_cast<std::size_t>(got));
    }
    head.resize(head.find("\r\n\r\n"));

    // Request line: METHOD SP target SP version.
    std::string target;
    if (const auto first = head.find(' '); first != std::string::npos) {
        const auto second = head.find(' ', first + 1);
        target = head.substr(first + 1,
                             second == std::string::npos ? std::string::npos : second - first - 1);
    }
    HttpTestResponse response;
    {
        std::lock_guard lock(mutex_);
        requests_.push_back(head);
        if (auto found = responses_.find(target); found != responses_.end()) {
            response = found->second;
        } else {
            response.status = 404;
            response.body = "<html><body>404 Not Found</body></html>";
        }
    }

    if (!Pause(response.delay))
        return;
    if (response.ending == HttpTestResponse::Ending::Silent) {
        WaitForClose(client);
        return;
    }
    std::string reply = (response.closeDelimited ? "HTTP/1.0 " : "HTTP/1.1 ") +
                        std::to_string(response.status) + " " + ReasonOf(response.status) +
                        "\r\nContent-Type: application/octet-stream\r\n";
    if (!response.closeDelimited)
        reply += "Content-Length: " + std::to_string(response.body.size()) + "\r\n";
    reply += "Connection: close\r\n\r\n";
    if (!SendAll(client, reply.data(), reply.size()))
        return;

    std::size_t bodyBytes = response.body.size();
    if (response.ending != HttpTestResponse::Ending::Complete && response.cutAfter < bodyBytes)
        bodyBytes = response.cutAfter;
    if (!SendAll(client, response.body.data(), bodyBytes))
        return;
    if (response.ending == HttpTestResponse::Ending::StallMidway)
        WaitForClose(client);
    else if (response.ending == HttpTestResponse::Ending::Complete)
        ::shutdown(client, SHUT_WR);
}

} // namespace vorn::test
