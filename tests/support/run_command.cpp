#include "support/run_command.h"

#include <array>
#include <cstdio>
#include <sstream>
#include <sys/wait.h>

namespace vorn::test {

std::pair<int, std::string> RunCommandLine(const std::string& commandLine) {
    FILE* pipe = ::popen(commandLine.c_str(), "r");
    if (pipe == nullptr)
        return {-1, {}};
    std::string output;
    std::array<char, 4096> buffer;
    std::size_t n;
    while ((n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
        output.append(buffer.data(), n);
    const int status = ::pclose(pipe);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, output};
}

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

} // namespace vorn::test
