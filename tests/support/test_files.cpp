#include "support/test_files.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

namespace vorn::test {

std::string ReadWholeFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteWholeFile(const std::filesystem::path& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out)
        ADD_FAILURE() << "cannot write " << path.string();
}

std::vector<std::filesystem::path> FilesHolding(const std::filesystem::path& directory,
                                                std::string_view text,
                                                const std::filesystem::path& except) {
    std::vector<std::filesystem::path> found;
    std::error_code error;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(directory, error))
        if (entry.is_regular_file() && entry.path() != except &&
            ReadWholeFile(entry.path()).find(text) != std::string::npos)
            found.push_back(entry.path());
    return found;
}

} // namespace vorn::test
