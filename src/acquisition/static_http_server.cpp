#include "acquisition/static_http_server.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <memory>
#include <netinet/in.h>
#include <new>
#include <poll.h>
#include <sys/socket.h>
#include <system_error>
#include <unistd.h>

#include "foundation/agency.h"

namespace vorn {
namespace {

namespace fs = std::filesystem;

constexpr int kAcceptPollMs = 50;
constexpr std::size_t kMaxRequestHead = 16 * 1024;
constexpr std::size_t kSendChunk = 64 * 1024;

int HexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool HasForbiddenText(std::string_view text) {
    return text.find("..") != std::string_view::npos || text.find('\\') != std::string_view::npos ||
           text.find('\0') != std::string_view::npos;
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

void SetTimeout(int fd, int option, int milliseconds) {
    timeval timeout{milliseconds / 1000, (milliseconds % 1000) * 1000};
    ::setsockopt(fd, SOL_SOCKET, option, &timeout, sizeof timeout);
}

// Closes the descriptor it holds.
class CSocket {
public:
    explicit CSocket(int fd) : fd_(fd) {}
    ~CSocket() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    CSocket(const CSocket&) = delete;
    CSocket& operator=(const CSocket&) = delete;
    int Get() const { return fd_; }
    int Release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }

private:
    int fd_;
};

} // namespace

bool ResolveRequestTarget(const fs::path& root, std::string_view target, fs::path& file) {
    if (const auto query = target.find_first_of("?#"); query != std::string_view::npos)
        target = target.substr(0, query);
    if (target.empty() || target.front() != '/' || HasForbiddenText(target))
        return false;
    std::string decoded;
    decoded.reserve(target.size());
    for (std::size_t i = 0; i < target.size(); ++i) {
        if (target[i] != '%') {
            decoded.push_back(target[i]);
            continue;
        }
        if (i + 2 >= target.size())
            return false;
        const int high = HexValue(target[i + 1]);
        const int low = HexValue(target[i + 2]);
        if (high < 0 || low < 0)
            return false;
        decoded.push_back(static_cast<char>(high * 16 + low));
        i += 2;
    }
    if (HasForbiddenText(decoded))
        return false;
    const std::size_t start = decoded.find_first_not_of('/');
    if (start == std::string::npos)
        return false;
    file = root / decoded.substr(start);
    return true;
}

CStaticHttpServer::CStaticHttpServer(fs::path root) : root_(std::move(root)) {}

CStaticHttpServer::~CStaticHttpServer() {
    Stop();
}

std::string CStaticHttpServer::Host() const {
    return "127.0.0.1:" + std::to_string(port_);
}

bool CStaticHttpServer::Start(std::uint16_t port) {
    if (thread_.joinable())
        return false;
    std::error_code error;
    root_ = fs::canonical(root_, error);
    if (error || !fs::is_directory(root_, error))
        return false;

    CSocket listener(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (listener.Get() < 0)
        return false;
    int reuse = 1;
    ::setsockopt(listener.Get(), SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    socklen_t length = sizeof address;
    if (::bind(listener.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener.Get(), 16) != 0 ||
        ::getsockname(listener.Get(), reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return false;
    port_ = ntohs(address.sin_port);
    stopping_ = false;
    listener_ = listener.Release();
    try {
        thread_ = std::thread([this] { Run(); });
    } catch (const std::system_error&) {
        ::close(listener_);
        listener_ = -1;
        return false;
    }
    return true;
}

void CStaticHttpServer::Stop() {
    stopping_ = true;
    if (thread_.joinable())
        thread_.join();
    if (listener_ >= 0)
        ::close(listener_);
    listener_ = -1;
}

void CStaticHttpServer::Run() {
    while (!stopping_) {
        pollfd entry{listener_, POLLIN, 0};
        if (::poll(&entry, 1, kAcceptPollMs) <= 0)
            continue;
        CSocket client(::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC));
        if (client.Get() < 0)
            continue;
        SetTimeout(client.Get(), SO_RCVTIMEO, kReceiveTimeoutMs);
        SetTimeout(client.Get(), SO_SNDTIMEO, kSendTimeoutMs);
        Handle(client.Get());
    }
}

void CStaticHttpServer::Reply(int client, int status, const char* reason) {
    char page[160];
    const int bodyLength =
        std::snprintf(page, sizeof page, "<html><body>%d %s</body></html>", status, reason);
    char head[256];
    const int headLength = std::snprintf(head, sizeof head,
                                         "HTTP/1.1 %d %s\r\nContent-Type: text/html\r\n"
                                         "Content-Length: %d\r\nConnection: close\r\n\r\n",
                                         status, reason, bodyLength);
    if (SendAll(client, head, static_cast<std::size_t>(headLength)))
        SendAll(client, page, static_cast<std::size_t>(bodyLength));
}

void CStaticHttpServer::Handle(int client) {
    std::string head;
    char scratch[4096];
    while (head.find("\r\n\r\n") == std::string::npos) {
        if (head.size() > kMaxRequestHead) {
            Reply(client, 431, "Request Header Fields Too Large");
            return;
        }
        const ssize_t got = ::recv(client, scratch, sizeof scratch, 0);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return; // closed, or silent past the time-out
        head.append(scratch, static_cast<std::size_t>(got));
    }
    ++requests_;

    const std::size_t lineEnd = head.find("\r\n");
    const std::string_view line(head.data(), lineEnd);
    const std::size_t first = line.find(' ');
    const std::size_t second = first == std::string_view::npos ? first : line.find(' ', first + 1);
    if (second == std::string_view::npos) {
        Reply(client, 400, "Bad Request");
        return;
    }
    const std::string_view method = line.substr(0, first);
    const std::string_view target = line.substr(first + 1, second - first - 1);
    if (method != "GET" && method != "HEAD") {
        Reply(client, 405, "Method Not Allowed");
        return;
    }
    fs::path path;
    if (!ResolveRequestTarget(root_, target, path)) {
        Reply(client, 403, "Forbidden");
        return;
    }
    // A link inside the tree must not lead out of it.
    std::error_code error;
    const fs::path real = fs::canonical(path, error);
    const fs::path relative = error ? fs::path() : real.lexically_relative(root_);
    if (error || relative.empty() || *relative.begin() == ".." ||
        !fs::is_regular_file(real, error)) {
        Reply(client, 404, "Not Found");
        return;
    }
    FileHandle file(std::fopen(real.c_str(), "rb"));
    const std::uintmax_t size = fs::file_size(real, error);
    if (file == nullptr || error) {
        Reply(client, 404, "Not Found");
        return;
    }
    char reply[256];
    const int replyLength = std::snprintf(reply, sizeof reply,
                                          "HTTP/1.1 200 OK\r\nContent-Type: "
                                          "application/octet-stream\r\nContent-Length: %ju\r\n"
                                          "Connection: close\r\n\r\n",
                                          size);
    if (!SendAll(client, reply, static_cast<std::size_t>(replyLength)) || method == "HEAD")
        return;
    std::unique_ptr<char[]> chunk(new (std::nothrow) char[kSendChunk]);
    if (chunk == nullptr)
        return;
    std::uintmax_t left = size;
    while (left > 0 && !stopping_) {
        const std::size_t want = left < kSendChunk ? static_cast<std::size_t>(left) : kSendChunk;
        const std::size_t got = std::fread(chunk.get(), 1, want, file.get());
        if (got == 0 || !SendAll(client, chunk.get(), got))
            return; // the client sees a short body and refuses it
        left -= got;
    }
    ::shutdown(client, SHUT_WR);
}

} // namespace vorn
