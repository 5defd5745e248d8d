#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "command.h"
#include "foundation/date_text.h"

#ifndef VORN_VERSION
#define VORN_VERSION "unknown"
#endif


namespace {

void PrintCommandList(FILE* out) {
    std::fprintf(out, "usage: vornctl COMMAND [ARGS...]\n\ncommands:\n");
    for (const auto& [name, info] : vornctl::Commands())
        std::fprintf(out, "  %-10s %s\n", name.c_str(), info.syntax.purpose);
    std::fprintf(out, "\n'vornctl COMMAND --help' explains a command and its options;\n"
                      "'vornctl --version' prints the version.\n");
}

bool IsHelp(const char* arg) { return std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0; }

// A failed write of standard output (a full disk, /dev/full) is a failed command.
int FinishOutput(int status) {
    errno = 0;
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        const int error = errno != 0 ? errno : EIO;
        std::fprintf(stderr, "vornctl: standard output: %s\n",
                     vornctl::SystemReason(error).c_str());
        return status == 0 ? 1 : status;
    }
    return status;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        PrintCommandList(stderr);
        return 2;
    }
    if (std::strcmp(argv[1], "--version") == 0) {
        std::printf("vornctl %s\n", VORN_VERSION);
        return FinishOutput(0);
    }
    auto& commands = vornctl::Commands();
    if (std::strcmp(argv[1], "help") == 0 || IsHelp(argv[1])) {
        if (argc >= 3) {
            auto it = commands.find(argv[2]);
            if (it == commands.end()) {
                std::fprintf(stderr, "vornctl: unknown command '%s'\n", argv[2]);
                PrintCommandList(stderr);
                return 2;
            }
            std::fputs(vornctl::HelpText(it->second.syntax).c_str(), stdout);
            return FinishOutput(0);
        }
        PrintCommandList(stdout);
        return FinishOutput(0);
    }
    auto it = commands.find(argv[1]);
    if (it == commands.end()) {
        std::fprintf(stderr, "vornctl: unknown command '%s'\n", argv[1]);
        PrintCommandList(stderr);
        return 2;
    }
    const vornctl::CommandSpec& syntax = it->second.syntax;
    for (int i = 2; i < argc; ++i) {
        if (IsHelp(argv[i])) {
            std::fputs(vornctl::HelpText(syntax).c_str(), stdout);
            return FinishOutput(0);
        }
    }
    vornctl::SetCurrentCommand(&syntax);
    const vornctl::CArgs args(argc - 2, argv + 2);
    if (!args.Error().empty())
        return vornctl::UsageError(args.Error());
    vornctl::SetOutputLevel(args.Has("verbose"), args.Has("quiet"));
    return FinishOutput(it->second.run(argc - 2, argv + 2));
}
