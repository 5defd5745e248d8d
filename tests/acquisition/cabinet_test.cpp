#include "acquisition/cabinet.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "acquisition/cabinet_writer.h"
#include "support/test_files.h"

namespace vorn {
namespace {

using vorn::test::ReadWholeFile;
using vorn::test::WriteWholeFile;

namespace fs = std::filesystem;

class CTempDir {
public:
    CTempDir() {
        std::string pattern = (fs::temp_directory_path() / "vorn-cabinet-XXXXXX").string();
        if (::mkdtemp(pattern.data()) != nullptr)
            path_ = pattern;
    }
    ~CTempDir() {
        std::error_code error;
        if (!path_.empty())
            fs::remove_all(path_, error);
    }
    const fs::path& Path() const { return path_; }

private:
    fs::path path_;
};

// Repetitive enough to compress, varied enough to catch misplaced blocks.
std::string SampleContent(std::size_t size) {
    std::string bytes(size, '\0');
    std::uint32_t state = 12345;
    for (std::size_t i = 0; i < size; ++i) {
        state = state * 1103515245u + 12345u;
        bytes[i] = static_cast<char>((i % 7 == 0) ? (state >> 16) : (i / 64));
    }
    return bytes;
}

void Put(std::string& out, std::uint64_t value, int width) {
    for (int i = 0; i < width; ++i)
        out.push_back(static_cast<char>(value >> (8 * i)));
}

// An uncompressed cabinet written field by field, for stored names that the archive
// library would not write and for damaged archives. With `shareOneFolder`, every entry
// points at the start of the folder, which holds the first file's bytes only.
std::string HandMadeCabinet(const std::vector<std::pair<std::string, std::string>>& files,
                            bool shareOneFolder = false) {
    constexpr std::size_t kHeader = 36, kFolder = 8, kBlock = 32768;
    std::string stream;
    for (const auto& f : files)
        if (!shareOneFolder || stream.empty())
            stream += f.second;
    std::size_t fileTable = 0;
    for (const auto& f : files)
        fileTable += 16 + f.first.size() + 1;
    const std::size_t blocks = (stream.size() + kBlock - 1) / kBlock;
    const std::size_t dataStart = kHeader + kFolder + fileTable;
    const std::size_t total = dataStart + blocks * 8 + stream.size();

    std::string cab = "MSCF";
    Put(cab, 0, 4);
    Put(cab, total, 4);
    Put(cab, 0, 4);
    Put(cab, kHeader + kFolder, 4); // first file entry
    Put(cab, 0, 4);
    Put(cab, 3, 1); // version 1.3
    Put(cab, 1, 1);
    Put(cab, 1, 2); // folders
    Put(cab, files.size(), 2);
    Put(cab, 0, 2); // flags
    Put(cab, 0, 2); // set id
    Put(cab, 0, 2); // index in set
    Put(cab, dataStart, 4);
    Put(cab, blocks, 2);
    Put(cab, 0, 2); // no compression
    std::size_t offset = 0;
    for (const auto& f : files) {
        Put(cab, f.second.size(), 4);
        Put(cab, offset, 4);
        Put(cab, 0, 2);      // folder
        Put(cab, 0x3A21, 2); // 2009/01/01
        Put(cab, 0, 2);
        Put(cab, 0x20, 2);
        cab += f.first;
        cab.push_back('\0');
        if (!shareOneFolder)
            offset += f.second.size();
    }
    for (std::size_t at = 0; at < stream.size(); at += kBlock) {
        const std::size_t length = std::min(kBlock, stream.size() - at);
        Put(cab, 0, 4); // no checksum
        Put(cab, length, 2);
        Put(cab, length, 2);
        cab.append(stream, at, length);
    }
    return cab;
}

// Files in `dir` other than those listed.
std::vector<std::string> OtherFiles(const fs::path& dir, const std::vector<std::string>& known) {
    std::vector<std::string> others;
    for (const auto& entry : fs::directory_iterator(dir)) {
        const std::string name = entry.path().filename().string();
        if (std::find(known.begin(), known.end(), name) == known.end())
            others.push_back(name);
    }
    return others;
}

class CabinetTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(temp_.Path().empty()); }
    fs::path Dir() const { return temp_.Path(); }
    fs::path Cabinet() const { return Dir() / "_05.kbx"; }
    fs::path Destination() const { return Dir() / "Market.kbx"; }

    CTempDir temp_;
};

TEST_F(CabinetTest, RoundTripsCompressedAndStoredArchives) {
    const std::string content = SampleContent(200000);
    WriteWholeFile(Dir() / "source", content);
    for (bool compress : {true, false}) {
        SCOPED_TRACE(compress);
        ASSERT_TRUE(WriteCabinet(Cabinet(), "05.kbx", Dir() / "source", compress));
        if (compress)
            EXPECT_LT(fs::file_size(Cabinet()), content.size());
        ASSERT_TRUE(UnpackCabinet("05.kbx", Destination(), Cabinet()));
        EXPECT_EQ(ReadWholeFile(Destination()), content);
        EXPECT_FALSE(fs::exists(Cabinet()));
        EXPECT_TRUE(OtherFiles(Dir(), {"source", "Market.kbx"}).empty());
    }
}

TEST_F(CabinetTest, ReplacesAnExistingDestinationEvenWhenItIsTheInnerFile) {
    WriteWholeFile(Destination(), "the previous matrix");
    WriteWholeFile(Cabinet(), HandMadeCabinet({{"05.kbx", "the new matrix"}}));
    ASSERT_TRUE(UnpackCabinet("05.kbx", Destination(), Cabinet()));
    EXPECT_EQ(ReadWholeFile(Destination()), "the new matrix");

    WriteWholeFile(Cabinet(), HandMadeCabinet({{"05.kbx", "newer"}}));
    ASSERT_TRUE(UnpackCabinet("05.kbx", Dir() / "05.kbx", Cabinet()));
    EXPECT_EQ(ReadWholeFile(Dir() / "05.kbx"), "newer");

    // A cabinet downloaded under the inner name is replaced by its content, not deleted.
    WriteWholeFile(Dir() / "05.kbx", HandMadeCabinet({{"05.kbx", "newest"}}));
    ASSERT_TRUE(UnpackCabinet("05.kbx", Dir() / "05.kbx", Dir() / "05.kbx"));
    EXPECT_EQ(ReadWholeFile(Dir() / "05.kbx"), "newest");
}

// Every refusal keeps the destination's old content and the downloaded cabinet.
class CabinetRefusalTest : public CabinetTest {
protected:
    void SetUp() override {
        CabinetTest::SetUp();
        WriteWholeFile(Destination(), "the previous matrix");
    }
    void ExpectRefused(const std::string& innerName, const fs::path& destination) {
        EXPECT_FALSE(UnpackCabinet(innerName, destination, Cabinet()));
        EXPECT_EQ(ReadWholeFile(Destination()), "the previous matrix");
        EXPECT_TRUE(fs::exists(Cabinet()));
    }
};

TEST_F(CabinetRefusalTest, NotACabinet) {
    WriteWholeFile(Cabinet(), "<html><body><h1>404 Not Found</h1></body></html>\r\n");
    ExpectRefused("05.kbx", Destination());
    fs::remove(Cabinet());
    EXPECT_FALSE(UnpackCabinet("05.kbx", Destination(), Cabinet())) << "missing cabinet";
    WriteWholeFile(Cabinet(), "");
    ExpectRefused("05.kbx", Destination());
}

TEST_F(CabinetRefusalTest, TruncatedArchiveLeavesNoPartialFile) {
    const std::string cab = HandMadeCabinet({{"05.kbx", SampleContent(100000)}});
    WriteWholeFile(Cabinet(), cab.substr(0, cab.size() / 2));
    ExpectRefused("05.kbx", Destination());
    EXPECT_TRUE(OtherFiles(Dir(), {"Market.kbx", "_05.kbx"}).empty());
}

TEST_F(CabinetRefusalTest, StoredNameDiffersFromTheInnerName) {
    WriteWholeFile(Dir() / "source", "content of 06");
    ASSERT_TRUE(WriteCabinet(Cabinet(), "06.kbx", Dir() / "source"));
    ExpectRefused("05.kbx", Destination());
    // Nothing but the expected file is ever written.
    EXPECT_TRUE(OtherFiles(Dir(), {"Market.kbx", "_05.kbx", "source"}).empty());
}

TEST_F(CabinetRefusalTest, ManyMembersSharingOneFolderWriteOneFileAtMost) {
    // Fifty entries, each announcing the whole folder: unpacked blindly, 50 copies.
    const std::string content = SampleContent(64 * 1024);
    std::vector<std::pair<std::string, std::string>> entries;
    for (int i = 0; i < 50; ++i)
        entries.emplace_back((i == 25 ? "05" : "x" + std::to_string(i)) + ".kbx", content);
    WriteWholeFile(Cabinet(), HandMadeCabinet(entries, true));
    ASSERT_TRUE(UnpackCabinet("05.kbx", Destination(), Cabinet()));
    EXPECT_EQ(ReadWholeFile(Destination()), content);
    EXPECT_TRUE(OtherFiles(Dir(), {"Market.kbx"}).empty());

    // The same name stored twice is ambiguous: refused, nothing written.
    WriteWholeFile(Destination(), "the previous matrix");
    WriteWholeFile(Cabinet(), HandMadeCabinet({{"05.kbx", "one"}, {"05.kbx", "two"}}));
    ExpectRefused("05.kbx", Destination());
    EXPECT_TRUE(OtherFiles(Dir(), {"Market.kbx", "_05.kbx"}).empty());
}

TEST_F(CabinetRefusalTest, StoredSizeAboveTheLimitIsRefusedBeforeWriting) {
    const std::string content = SampleContent(40000);
    WriteWholeFile(Cabinet(), HandMadeCabinet({{"05.kbx", content}}));
    EXPECT_FALSE(UnpackCabinet("05.kbx", Destination(), Cabinet(), content.size() - 1));
    EXPECT_EQ(ReadWholeFile(Destination()), "the previous matrix");
    EXPECT_TRUE(OtherFiles(Dir(), {"Market.kbx", "_05.kbx"}).empty());
    EXPECT_TRUE(UnpackCabinet("05.kbx", Destination(), Cabinet(), content.size()));
    EXPECT_EQ(ReadWholeFile(Destination()), content);
}

TEST_F(CabinetRefusalTest, OnlyTheInnerFileOfThisArchiveReachesTheDestination) {
    WriteWholeFile(Dir() / "05.kbx", "left over from an earlier run");
    WriteWholeFile(Cabinet(), HandMadeCabinet({{"06.kbx", "other"}}));
    ExpectRefused("05.kbx", Destination());
    // Other stored files never overwrite what is there, the destination included.
    WriteWholeFile(Cabinet(), HandMadeCabinet({{"Market.kbx", "not a matrix"}}));
    ExpectRefused("05.kbx", Destination());
}

TEST_F(CabinetRefusalTest, OutputPathsBeyond259BytesAreSkipped) {
    // A target directory of 255 bytes and a 10-byte name: 266 bytes with the separator.
    fs::path deep = Dir();
    while (deep.string().size() < 255)
        deep /= std::string(std::min<std::size_t>(60, 255 - deep.string().size() - 1), 'd');
    ASSERT_EQ(deep.string().size(), 255u);
    fs::create_directories(deep);
    WriteWholeFile(deep / "Market.kbx", "the previous matrix");
    WriteWholeFile(Cabinet(), HandMadeCabinet({{"0123456789", "new"}}));
    EXPECT_FALSE(UnpackCabinet("0123456789", deep / "Market.kbx", Cabinet()));
    EXPECT_EQ(ReadWholeFile(deep / "Market.kbx"), "the previous matrix");
    EXPECT_FALSE(fs::exists(deep / "0123456789"));

    // Exactly 259 bytes still fit.
    fs::path fits = Dir();
    while (fits.string().size() < 248)
        fits /= std::string(std::min<std::size_t>(60, 248 - fits.string().size() - 1), 'f');
    ASSERT_EQ(fits.string().size(), 248u);
    fs::create_directories(fits);
    EXPECT_TRUE(UnpackCabinet("0123456789", fits / "Market.kbx", Cabinet()));
    EXPECT_EQ(ReadWholeFile(fits / "Market.kbx"), "new");
}

TEST_F(CabinetRefusalTest, HostileStoredNamesAreNotExtracted) {
    const fs::path inside = Dir() / "inside";
    fs::create_directories(inside);
    WriteWholeFile(inside / "Market.kbx", "the previous matrix");
    for (const std::string name : {"../evil.kbx", "..\\evil.kbx", "..", "sub/x.kbx",
                                   "/tmp/evil.kbx", "sub\\x.kbx", "a..b"}) {
        SCOPED_TRACE(name);
        WriteWholeFile(Cabinet(), HandMadeCabinet({{name, "payload"}}));
        EXPECT_FALSE(UnpackCabinet(name, inside / "Market.kbx", Cabinet()));
        EXPECT_EQ(ReadWholeFile(inside / "Market.kbx"), "the previous matrix");
        EXPECT_TRUE(OtherFiles(inside, {"Market.kbx"}).empty());
    }
    EXPECT_TRUE(OtherFiles(Dir(), {"Market.kbx", "_05.kbx", "inside"}).empty());

    // A hostile entry beside the real one is skipped and the real one still arrives; the
    // archive library's own writer turns '/' into '\'.
    WriteWholeFile(Dir() / "source", "the new matrix");
    ASSERT_TRUE(WriteCabinet(Cabinet(), "../evil.kbx", Dir() / "source"));
    EXPECT_FALSE(UnpackCabinet("05.kbx", inside / "Market.kbx", Cabinet()));
    WriteWholeFile(Cabinet(), HandMadeCabinet({{"../evil.kbx", "payload"}, {"05.kbx", "new"}}));
    EXPECT_TRUE(UnpackCabinet("05.kbx", inside / "Market.kbx", Cabinet()));
    EXPECT_EQ(ReadWholeFile(inside / "Market.kbx"), "new");
    EXPECT_TRUE(OtherFiles(Dir(), {"Market.kbx", "source", "inside"}).empty());
}

} // namespace
} // namespace vorn
