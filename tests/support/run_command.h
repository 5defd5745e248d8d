#pragma once
// Runs a program the way a user's shell would, for tests of the command-line front ends.
#include <string>
#include <utility>
#include <vector>

namespace vorn::test {

// Runs `commandLine` through the shell; the exit status (-1 when the program did not exit
// normally) and everything it wrote to standard output.
std::pair<int, std::string> RunCommandLine(const std::string& commandLine);

// `text` cut at its line ends (no empty last line for a final newline).
std::vector<std::string> SplitLines(const std::string& text);

} // namespace vorn::test
