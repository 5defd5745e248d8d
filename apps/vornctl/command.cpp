// The command table, the argument reader and the messages every command shares.
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "command.h"
#include "foundation/date_text.h"

namespace vornctl {
namespace {

const CommandSpec* currentCommand = nullptr;
bool verbose = false;
bool quiet = false;

const OptionSpec* FindOption(const CommandSpec& syntax, const std::string& name) {
    for (const auto* options : {&syntax.options, &CommonOptions()})
        for (const OptionSpec& option : *options)
            if (name == option.name || (option.alias != nullptr && name == option.alias))
                return &option;
    return nullptr;
}

std::string OptionLabel(const OptionSpec& option) {
    std::string label = std::string("--") + option.name;
    if (option.value != nullptr)
        label += std::string(" ") + option.value;
    if (option.alias != nullptr)
        label += std::string(" (or --") + option.alias + ")";
    return label;
}

} // namespace

std::map<std::string, CommandInfo>& Commands() {
    static std::map<std::string, CommandInfo> commands;
    return commands;
}

const std::vector<OptionSpec>& CommonOptions() {
    static const std::vector<OptionSpec> options = {
        {"help", nullptr, "show this help and exit (also -h)"},
        {"verbose", nullptr, "add the internal result code to a failure message"},
        {"quiet", nullptr, "print no progress on standard error"},
    };
    return options;
}

CArgs::CArgs(int argc, char** argv) : CArgs(argc, argv, CurrentCommand()) {}

CArgs::CArgs(int argc, char** argv, const CommandSpec& syntax) {
    for (int i = 0; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg.rfind("--", 0) != 0 || arg.size() <= 2) {
            positionals_.push_back(arg);
            continue;
        }
        std::string name = arg.substr(2);
        std::optional<std::string> value;
        if (auto eq = name.find('='); eq != std::string::npos) {
            value = name.substr(eq + 1);
            name.resize(eq);
        }
        const OptionSpec* option = FindOption(syntax, name);
        if (option == nullptr) {
            if (error_.empty())
                error_ = "unknown option --" + name;
            continue;
        }
        if (option->value == nullptr) {
            if (value && error_.empty())
                error_ = "option --" + name + " takes no value";
            options_[option->name] = "";
        } else if (value) {
            options_[option->name] = *value;
        } else if (i + 1 < argc) {
            options_[option->name] = argv[++i];
        } else if (error_.empty()) {
            error_ = "option --" + name + " needs a value";
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

const CommandSpec& CurrentCommand() {
    static const CommandSpec none{"vornctl", "COMMAND [ARGS...]", "", {}, ""};
    return currentCommand != nullptr ? *currentCommand : none;
}

void SetCurrentCommand(const CommandSpec* syntax) { currentCommand = syntax; }

bool Verbose() { return verbose; }
bool Quiet() { return quiet; }
void SetOutputLevel(bool isVerbose, bool isQuiet) {
    verbose = isVerbose;
    quiet = isQuiet;
}

std::string HelpText(const CommandSpec& syntax) {
    std::string text = std::string("vornctl ") + syntax.name + ": " + syntax.purpose + "\n\n";
    text += std::string("usage: vornctl ") + syntax.synopsis + "\n";
    if (syntax.arguments != nullptr)
        text += std::string("\n") + syntax.arguments + "\n";
    text += "\noptions:\n";
    for (const auto* options : {&syntax.options, &CommonOptions()})
        for (const OptionSpec& option : *options)
            text += "  " + OptionLabel(option) + "\n      " + option.meaning + "\n";
    text += std::string("\nexample:\n  ") + syntax.example + "\n";
    return text;
}

int UsageError(const std::string& message) {
    const CommandSpec& syntax = CurrentCommand();
    if (currentCommand != nullptr)
        std::fprintf(stderr, "vornctl: %s: %s\nusage: vornctl %s\n", syntax.name, message.c_str(),
                     syntax.synopsis);
    else
        std::fprintf(stderr, "vornctl: %s\n", message.c_str());
    return 2;
}

int Failure(const std::string& message) {
    std::fprintf(stderr, "vornctl: %s\n", message.c_str());
    return 1;
}

void VerboseResult(const char* module, unsigned code) {
    if (verbose)
        std::fprintf(stderr, "vornctl: result: %s %u\n", module, code);
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

vorn::PackedDate ParseDateArg(const std::string& text) { return vorn::ParseDateText(text); }

std::string FormatDateArg(vorn::PackedDate packedDate) { return vorn::FormatDateText(packedDate); }

int DateError(const std::string& option, const std::string& text) {
    return UsageError("--" + option + ": '" + text +
                      "' is not a date (YYYY/MM/DD, YYYY-MM-DD or YYYYMMDD, 1950 to 2077)");
}

std::string SystemReason(int error) {
    std::string reason = std::strerror(error);
    if (!reason.empty() && std::isupper(static_cast<unsigned char>(reason[0])) &&
        (reason.size() < 2 || !std::isupper(static_cast<unsigned char>(reason[1]))))
        reason[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(reason[0])));
    return reason;
}

} // namespace vornctl
