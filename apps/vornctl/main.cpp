#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "command.h"
#include "foundation/packed_date.h"

namespace vornctl {

std::map<std::string, CommandInfo>& Commands() {
    static std::map<std::string, CommandInfo> commands;
    return commands;
}

CArgs::CArgs(int argc, char** argv, std::vector<std::string> switches) {
    for (int i = 0; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg.rfind("--", 0) == 0 && arg.size() > 2) {
            std::string name = arg.substr(2);
            if (auto eq = name.find('='); eq != std::string::npos) {
                options_[name.substr(0, eq)] = name.substr(eq + 1);
                continue;
            }
            // --help never takes a value, whatever the command.
            bool isSwitch = name == "help";
            for (const auto& s : switches)
                isSwitch = isSwitch || s == name;
            if (isSwitch) {
                options_[name] = "";
            } else if (i + 1 < argc) {
                options_[name] = argv[++i];
            } else {
                error_ = "option --" + name + " needs a value";
            }
        } else {
            positionals_.push_back(arg);
        }
    }
}

std::optional<std::string> CArgs::Option(const std::string& name) const {
    auto it = options_.find(name);
    if (it == options_.end())
        return std::nullopt;
    return it->second;
}

bool CArgs::Has(const std::string& name) const { return options_.count(name) != 0; }

std::string CArgs::UnknownOption(const std::vector<std::string>& known) const {
    for (const auto& [name, value] : options_) {
        bool found = false;
        for (const auto& k : known)
            found = found || k == name;
        if (!found)
            return "--" + name;
    }
    return {};
}

int UsageError(const std::string& message) {
    std::fprintf(stderr, "vornctl: %s\n", message.c_str());
    return 2;
}

bool ParseNumber(const std::string& text, unsigned long limit, unsigned long& value) {
    if (text.empty() || text.size() > 9)
        return false;
    for (char c : text)
        if (c < '0' || c > '9')
            return false;
    value = std::strtoul(text.c_str(), nullptr, 10);
    return value <= limit;
}

unsigned short ParseDateArg(const std::string& text) {
    unsigned y = 0, m = 0, d = 0;
    char s1 = 0, s2 = 0;
    if (std::sscanf(text.c_str(), "%4u%c%2u%c%2u", &y, &s1, &m, &s2, &d) != 5 || s1 != s2 ||
        (s1 != '/' && s1 != '-'))
        return 0;
    if (y < 1950 || y > 2077 || m < 1 || m > 12 || d < 1 || d > 31)
        return 0;
    return vorn::MakePackedDate(y, m, d);
}

std::string FormatDateArg(unsigned short packedDate) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%04u/%02u/%02u", vorn::DateYear(packedDate),
                  vorn::DateMonth(packedDate), vorn::DateDay(packedDate));
    return buffer;
}

} // namespace vornctl

namespace {

void PrintUsage(FILE* out) {
    std::fprintf(out, "usage: vornctl COMMAND [ARGS...]\n\ncommands:\n");
    for (const auto& [name, info] : vornctl::Commands())
        std::fprintf(out, "  %s\n", info.usage);
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "help") == 0) {
        PrintUsage(argc < 2 ? stderr : stdout);
        return argc < 2 ? 2 : 0;
    }
    auto& commands = vornctl::Commands();
    auto it = commands.find(argv[1]);
    if (it == commands.end()) {
        std::fprintf(stderr, "vornctl: unknown command '%s'\n", argv[1]);
        PrintUsage(stderr);
        return 2;
    }
    for (int i = 2; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0) {
            std::printf("usage: vornctl %s\n", it->second.usage);
            return 0;
        }
    }
    return it->second.run(argc - 2, argv + 2);
}
