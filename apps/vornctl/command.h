#pragma once
// vornctl commands register themselves by name; each lives in its own cmd_*.cpp.
#include <cstdio>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace vornctl {

// Arguments after the command name: positionals in order, "--name value" options and
// "--flag" switches (an option is a switch when it is listed in `switches`).
class CArgs {
public:
    CArgs(int argc, char** argv, std::vector<std::string> switches = {});
    const std::vector<std::string>& Positionals() const { return positionals_; }
    std::optional<std::string> Option(const std::string& name) const;
    bool Has(const std::string& name) const;
    // Options that were given but are not in `known` (switches included); empty when fine.
    std::string UnknownOption(const std::vector<std::string>& known) const;
    const std::string& Error() const { return error_; }

private:
    std::vector<std::string> positionals_;
    std::map<std::string, std::string> options_;
    std::string error_;
};

using CommandFn = int (*)(int argc, char** argv);

struct CommandInfo {
    CommandFn run;
    const char* usage;
};

std::map<std::string, CommandInfo>& Commands();

struct CommandRegistrar {
    CommandRegistrar(const char* name, const char* usage, CommandFn run) {
        Commands()[name] = CommandInfo{run, usage};
    }
};

// Prints "vornctl: message" to stderr and returns 2 (usage errors).
int UsageError(const std::string& message);

// A decimal number of at most nine digits that does not exceed `limit`.
bool ParseNumber(const std::string& text, unsigned long limit, unsigned long& value);

// Parses YYYY/MM/DD (also YYYY-MM-DD); 0 when malformed.
unsigned short ParseDateArg(const std::string& text);
std::string FormatDateArg(unsigned short packedDate);

} // namespace vornctl
