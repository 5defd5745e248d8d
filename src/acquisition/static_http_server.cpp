#include "acquisition/static_http_server.h"

#include <fcntl.h>
#include <httplib.h>
#include <unistd.h>

#include <system_error>

namespace vorn {
namespace {

namespace fs = std::filesystem;

constexpr std::size_t kSendChunk = 64 * 1024;
const char* const kBodyType = "application/octet-stream";

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

void ReplyPage(httplib::Response& reply, int status, const char* reason) {
    reply.status = status;
    reply.set_content("<html><body>" + std::to_string(status) + " " + reason + "</body></html>",
                      "text/html");
}

// An open file shared by the calls of one response's body provider.
struct OpenFile {
    int fd;
    explicit OpenFile(int descriptor) : fd(descriptor) {}
    ~OpenFile() {
        if (fd >= 0)
            ::close(fd);
    }
    OpenFile(const OpenFile&) = delete;
    OpenFile& operator=(const OpenFile&) = delete;
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

    server_ = std::make_unique<httplib::Server>();
    server_->new_task_queue = [] { return new httplib::ThreadPool(kWorkers); };
    server_->set_read_timeout(kReceiveTimeoutMs / 1000, (kReceiveTimeoutMs % 1000) * 1000);
    server_->set_write_timeout(kSendTimeoutMs / 1000, (kSendTimeoutMs % 1000) * 1000);
    server_->set_keep_alive_timeout(kKeepAliveSeconds);
    server_->set_payload_max_length(0);
    Route();
    const bool bound = port == 0 ? (port = static_cast<std::uint16_t>(
                                        std::max(0, server_->bind_to_any_port("127.0.0.1")))) != 0
                                 : server_->bind_to_port("127.0.0.1", port);
    if (!bound) {
        server_.reset();
        return false;
    }
    port_ = port;
    try {
        thread_ = std::thread([this] { server_->listen_after_bind(); });
    } catch (const std::system_error&) {
        server_.reset();
        return false;
    }
    // Requests are accepted from here on.
    while (!server_->is_running())
        std::this_thread::yield();
    return true;
}

void CStaticHttpServer::Stop() {
    if (server_ != nullptr)
        server_->stop();
    if (thread_.joinable())
        thread_.join();
    server_.reset();
}

void CStaticHttpServer::Route() {
    server_->set_pre_routing_handler([this](const httplib::Request&, httplib::Response&) {
        ++requests_;
        return httplib::Server::HandlerResponse::Unhandled;
    });
    const auto refuse = [](const httplib::Request&, httplib::Response& reply) {
        ReplyPage(reply, 405, "Method Not Allowed");
    };
    server_->Post(".*", refuse).Put(".*", refuse).Patch(".*", refuse).Delete(".*", refuse);
    server_->Options(".*", refuse);
    // HEAD is answered by the same handler, without the body.
    server_->Get(".*", [this](const httplib::Request& request, httplib::Response& reply) {
        fs::path path;
        if (!ResolveRequestTarget(root_, request.target, path)) {
            ReplyPage(reply, 403, "Forbidden");
            return;
        }
        // A link inside the tree must not lead out of it.
        std::error_code error;
        const fs::path real = fs::canonical(path, error);
        const fs::path relative = error ? fs::path() : real.lexically_relative(root_);
        if (error || relative.empty() || *relative.begin() == ".." ||
            !fs::is_regular_file(real, error)) {
            ReplyPage(reply, 404, "Not Found");
            return;
        }
        auto file = std::make_shared<OpenFile>(::open(real.c_str(), O_RDONLY | O_CLOEXEC));
        const std::uintmax_t size = fs::file_size(real, error);
        if (file->fd < 0 || error) {
            ReplyPage(reply, 404, "Not Found");
            return;
        }
        // The library answers a single byte range with 206 from the offsets it asks for.
        reply.set_content_provider(
            static_cast<std::size_t>(size), kBodyType,
            [file](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
                char chunk[kSendChunk];
                const std::size_t want = length < kSendChunk ? length : kSendChunk;
                const ssize_t got = ::pread(file->fd, chunk, want, static_cast<off_t>(offset));
                // A file that shrank ends the connection: the client sees a short body.
                return got > 0 && sink.write(chunk, static_cast<std::size_t>(got));
            });
    });
}

} // namespace vorn
