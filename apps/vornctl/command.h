#pragma once
// vornctl commands register themselves by name with their help; each lives in its own
// cmd_*.cpp. The option table of a command is both its help and what its parser accepts.
#include <cstdio>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/packed_date.h"

namespace vornctl {

// One option of a command: "--name VALUE", or a switch when `value` is null.
struct OptionSpec {
    const char* name;
    const char* value;   // the placeholder shown in the help; null for a switch
    const char* meaning; // what it does, its default and its unit
    const char* alias = nullptr; // an older name that is still accepted
};

using CommandFn = int (*)(int argc, char** argv);

struct CommandSpec {
    const char* name;
    const char* synopsis; // the usage line after "vornctl "
    const char* purpose;
    std::vector<OptionSpec> options;
    const char* example;
    const char* arguments = nullptr; // what the positional arguments are, when there are any
};

struct CommandInfo {
    CommandFn run;
    CommandSpec syntax;
};

std::map<std::string, CommandInfo>& Commands();

struct CommandRegistrar {
    CommandRegistrar(CommandSpec syntax, CommandFn run) {
        const std::string name = syntax.name;
        Commands()[name] = CommandInfo{run, std::move(syntax)};
    }
};

// The options every command takes besides its own.
const std::vector<OptionSpec>& CommonOptions();

// Arguments after the command name, read against the running command's option table:
// positionals in order, "--name value" (or "--name=value") options and switches. An older
// name of an option is stored under its current name.
class CArgs {
public:
    CArgs(int argc, char** argv);
    CArgs(int argc, char** argv, const CommandSpec& syntax);
    const std::vector<std::string>& Positionals() const { return positionals_; }
    std::optional<std::string> Option(const std::string& name) const;
    bool Has(const std::string& name) const;
    // A malformed command line ("unknown option --foo", a missing value); empty when fine.
    const std::string& Error() const { return error_; }

private:
    std::vector<std::string> positionals_;
    std::map<std::string, std::string> options_;
    std::string error_;
};

// The command being run (set before its function is called).
const CommandSpec& CurrentCommand();
void SetCurrentCommand(const CommandSpec* syntax);

// --verbose and --quiet of the running command.
bool Verbose();
bool Quiet();
void SetOutputLevel(bool verbose, bool quiet);

// The whole help of a command.
std::string HelpText(const CommandSpec& syntax);

// Prints "vornctl: CMD: message" and the usage line to stderr and returns 2 (the command
// line was wrong).
int UsageError(const std::string& message);

// Prints "vornctl: message" to stderr and returns 1 (the work failed).
int Failure(const std::string& message);

// With --verbose, the internal result code behind a failure: "vornctl: result: MODULE N".
void VerboseResult(const char* module, unsigned code);

// A decimal number of at most nine digits that does not exceed `limit`.
bool ParseNumber(const std::string& text, unsigned long limit, unsigned long& value);

// A date as YYYY/MM/DD, YYYY-MM-DD or YYYYMMDD that exists; kNoDate otherwise.
vorn::PackedDate ParseDateArg(const std::string& text);
std::string FormatDateArg(vorn::PackedDate packedDate);
// The usage error for an option that takes a date.
int DateError(const std::string& option, const std::string& text);

// "what: reason" from errno, e.g. "data/Market.kbx: permission denied".
std::string SystemReason(int error);

} // namespace vornctl
