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

} // namespace vorn::test
