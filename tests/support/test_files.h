#pragma once
// Whole-file reads and writes for tests that check what a program left on disk.
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace vorn::test {

// Every byte of the file; empty when it cannot be opened (a missing file reads as empty).
std::string ReadWholeFile(const std::filesystem::path& path);

// Replaces the file with `bytes`. A file that cannot be written completely fails the running
// test (the test goes on, so later checks show what followed).
void WriteWholeFile(const std::filesystem::path& path, std::string_view bytes);

// The files under `directory` (at any depth) whose bytes hold `text`, `except` left out.
std::vector<std::filesystem::path> FilesHolding(const std::filesystem::path& directory,
                                                std::string_view text,
                                                const std::filesystem::path& except = {});

} // namespace vorn::test
