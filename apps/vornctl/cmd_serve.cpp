// vornctl serve: a static HTTP server on 127.0.0.1 for a tree written by `vornctl publish`.
#include <charconv>
#include <csignal>
#include <cstdio>
#include <pthread.h>
#include <string>

#include "acquisition/static_http_server.h"
#include "command.h"

namespace vornctl {
namespace {

int RunServe(int argc, char** argv) {
    const CArgs args(argc, argv);
    if (args.Positionals().size() != 1)
        return UsageError("expected one folder");
    unsigned port = 0;
    if (auto text = args.Option("port")) {
        const auto [end, error] = std::from_chars(text->data(), text->data() + text->size(), port);
        if (text->empty() || error != std::errc() || end != text->data() + text->size() ||
            port > 65535)
            return UsageError("--port takes 0..65535");
    }

    // The signals are taken by sigwait below; every thread started from here inherits the
    // mask, so none of them is interrupted.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    vorn::CStaticHttpServer server(args.Positionals()[0]);
    if (!server.Start(static_cast<std::uint16_t>(port))) {
        std::fprintf(stderr, "vornctl: serve: cannot serve %s on port %u\n",
                     args.Positionals()[0].c_str(), port);
        return 1;
    }
    std::printf("serving %s on 127.0.0.1:%u\n", args.Positionals()[0].c_str(),
                static_cast<unsigned>(server.Port()));
    std::fflush(stdout);
    int received = 0;
    while (sigwait(&signals, &received) != 0) {
    }
    server.Stop();
    std::printf("stopped after %zu requests\n", server.RequestCount());
    return 0;
}

const CommandRegistrar kRegisterServe(
    {"serve",
     "serve DIR [--port P]",
     "serves a tree written by publish over HTTP on 127.0.0.1 until interrupted",
     {{"port", "P", "the TCP port to listen on, 0..65535 (default 0: any free port, printed at "
                    "the start)"}},
     "vornctl serve /tmp/vorn-server --port 8080",
     "DIR is the folder given to publish --out."},
    &RunServe);

} // namespace
} // namespace vornctl
