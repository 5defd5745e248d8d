#pragma once
// Whole-file reads and writes for tests that check what a program left on disk.
#include <filesystem>
#include <string>
#include <string_view>

namespace vorn::test {

// Every byte of the file; empty when it cannot be opened (a missing file reads as empty).
std::string ReadWholeFile(const std::filesystem::path& path);

// Replaces the file with `bytes`. A file that cannot be written completely fails the running
// test (the test goes on, so later checks show what followed).
void WriteWholeFile(const std::filesystem::path& path, std::string_view bytes);

} // namespace vorn::test
