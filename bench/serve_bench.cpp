// Delivery rate of the static server behind `vornctl serve`: one 60 MB package to one client,
// and to eight clients at once, all on 127.0.0.1.
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "acquisition/http_agent.h"
#include "acquisition/static_http_server.h"

namespace {

namespace fs = std::filesystem;

constexpr std::size_t kPackageBytes = 60u << 20;
const char* const kPackageName = "_10.kbx";

// Fetches a body and only counts it, so that the client's own storage is not measured.
class CCountingAgent final : public vorn::CHttpAgent {
public:
    std::uint64_t Fetch(const std::string& objectName) {
        vorn::RequestHandle request = OpenRequest("GET", objectName, kFetchFlags);
        if (request == nullptr || !SendRequest(*request))
            return 0;
        std::uint64_t total = 0;
        const vorn::BodyTaker count = [](void* context, const char*, std::size_t bytes) {
            *static_cast<std::uint64_t*>(context) += bytes;
            return true;
        };
        return Transfer(*request, count, &total) == vorn::TransferOutcome::Done ? total : 0;
    }
};

// A served folder holding one package, removed at the end of the program.
class CServedPackage {
public:
    CServedPackage() {
        std::string pattern = (fs::temp_directory_path() / "vorn-serve-bench-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr)
            return;
        root_ = pattern;
        std::string block(1 << 20, '\0');
        for (std::size_t i = 0; i < block.size(); ++i)
            block[i] = static_cast<char>(i * 131 + (i >> 9));
        std::ofstream out(root_ / kPackageName, std::ios::binary);
        for (std::size_t written = 0; written < kPackageBytes; written += block.size())
            out.write(block.data(), static_cast<std::streamsize>(block.size()));
        out.close();
        server_ = std::make_unique<vorn::CStaticHttpServer>(root_);
        if (!server_->Start())
            server_.reset();
    }
    ~CServedPackage() {
        server_.reset();
        std::error_code ignored;
        if (!root_.empty())
            fs::remove_all(root_, ignored);
    }
    bool Ready() const { return server_ != nullptr; }
    std::string Host() const { return server_->Host(); }

private:
    fs::path root_;
    std::unique_ptr<vorn::CStaticHttpServer> server_;
};

CServedPackage& Package() {
    static CServedPackage package;
    return package;
}

void BM_ServePackage(benchmark::State& state) {
    const auto clients = static_cast<std::size_t>(state.range(0));
    CServedPackage& package = Package();
    if (!package.Ready()) {
        state.SkipWithError("cannot start the server");
        return;
    }
    std::uint64_t delivered = 0;
    for (auto _ : state) {
        std::atomic<std::uint64_t> bytes{0};
        std::vector<std::thread> threads;
        for (std::size_t i = 0; i < clients; ++i)
            threads.emplace_back([&] {
                vorn::CAgency agency;
                CCountingAgent agent;
                if (agency.OpenSession() && agency.Connect(agent, package.Host()))
                    bytes += agent.Fetch(kPackageName);
            });
        for (std::thread& thread : threads)
            thread.join();
        if (bytes != clients * kPackageBytes) {
            state.SkipWithError("a client received less than the whole package");
            return;
        }
        delivered += bytes;
    }
    // Bytes per second over all clients; the per-client rate is this divided by the clients.
    state.SetBytesProcessed(static_cast<std::int64_t>(delivered));
    state.counters["clients"] = static_cast<double>(clients);
}
BENCHMARK(BM_ServePackage)
    ->Arg(1)
    ->Arg(8)
    ->Iterations(3)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
