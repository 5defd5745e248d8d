#include "contents/settings_files.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "contents/favorites.h"
#include "contents/file_bytes.h"
#include "contents/serializer.h"
#include "foundation/text_encoding.h"
#include "foundation/writer_lock.h"
#include "matrix/name_tables.h"
#include "matrix/stock_code.h"
#include "support/lock_holder.h"
#include "support/market_builder.h"

namespace vorn {
namespace {

namespace fs = std::filesystem;

class CTemporaryDirectory {
public:
    CTemporaryDirectory() {
        std::string pattern = (fs::temp_directory_path() / "vorn-settings-XXXXXX").string();
        path_ = ::mkdtemp(pattern.data());
    }
    ~CTemporaryDirectory() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    std::string File(const std::string& name) const { return (path_ / name).string(); }

private:
    fs::path path_;
};

std::vector<std::uint8_t> ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteAll(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

// --- CSerializer ---

TEST(Serializer, ReadsLittleEndianValuesOfEveryWidth) {
    CByteWriter out;
    out.U8(0xFE);
    out.U16(0xFFFE);
    out.U32(0x89ABCDEFu);
    out.U64(0x0123456789ABCDEFull);
    out.U64(std::bit_cast<std::uint64_t>(-2.5));
    out.U32(std::bit_cast<std::uint32_t>(0.75f));
    CSerializer in(std::vector<std::uint8_t>(out.Data()));

    std::int8_t i8 = 0;
    std::int16_t i16 = 0;
    std::uint32_t u32 = 0;
    std::uint64_t u64 = 0;
    double d = 0;
    float f = 0;
    ASSERT_TRUE(in.ReadI8(i8) && in.ReadI16(i16) && in.ReadU32(u32) && in.ReadU64(u64) &&
                in.ReadDouble(d) && in.ReadFloat(f));
    EXPECT_EQ(i8, -2);
    EXPECT_EQ(i16, -2);
    EXPECT_EQ(u32, 0x89ABCDEFu);
    EXPECT_EQ(u64, 0x0123456789ABCDEFull);
    EXPECT_EQ(d, -2.5);
    EXPECT_EQ(f, 0.75f);
    EXPECT_TRUE(in.AtEnd());
}

TEST(Serializer, ShortReadsFailAndKeepTheCursor) {
    const std::vector<std::uint8_t> block{1, 2, 3, 4, 5};
    CSerializer in{std::span<const std::uint8_t>(block)};
    std::uint16_t u16 = 0;
    ASSERT_TRUE(in.ReadU16(u16));
    std::uint32_t u32 = 0xDEAD;
    EXPECT_FALSE(in.ReadU32(u32)) << "3 bytes left";
    EXPECT_EQ(u32, 0xDEADu) << "no partial value delivered";
    EXPECT_EQ(in.Position(), 2u);
    std::uint64_t u64 = 0;
    double d = 0;
    EXPECT_FALSE(in.ReadU64(u64));
    EXPECT_FALSE(in.ReadDouble(d));
    std::uint8_t bytes[4];
    EXPECT_FALSE(in.ReadBytes(bytes));
    EXPECT_EQ(in.Position(), 2u);
    std::uint8_t u8 = 0;
    EXPECT_TRUE(in.ReadU8(u8) && in.ReadU8(u8) && in.ReadU8(u8));
    EXPECT_EQ(u8, 5);
    EXPECT_FALSE(in.ReadU8(u8));

    CSerializer empty;
    EXPECT_FALSE(empty.ReadU8(u8));
    char text[4];
    EXPECT_FALSE(empty.ReadText(text, sizeof text));
}

TEST(Serializer, ReadTextChecksItsLengthAgainstBlockAndDestination) {
    auto block = [](std::uint32_t length, std::string bytes) {
        CByteWriter out;
        out.U32(length);
        out.Bytes(std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
        return out.Data();
    };
    char text[8] = "xxxxxxx";

    const auto empty = block(0, "");
    CSerializer emptyText{std::span<const std::uint8_t>(empty)};
    EXPECT_TRUE(emptyText.ReadText(text, sizeof text));
    EXPECT_STREQ(text, "");

    const auto seven = block(7, "1234567");
    CSerializer fits{std::span<const std::uint8_t>(seven)};
    EXPECT_TRUE(fits.ReadText(text, sizeof text));
    EXPECT_STREQ(text, "1234567");
    CSerializer tooSmall{std::span<const std::uint8_t>(seven)};
    EXPECT_FALSE(tooSmall.ReadText(text, 7)) << "no room for the terminator";
    EXPECT_EQ(tooSmall.Position(), 0u);

    const auto beyond = block(6, "abc");
    CSerializer past{std::span<const std::uint8_t>(beyond)};
    EXPECT_FALSE(past.ReadText(text, sizeof text));
    EXPECT_EQ(past.Position(), 0u);

    const auto zero = block(5, std::string("ab\0cd", 5) + "!");
    CSerializer cut{std::span<const std::uint8_t>(zero)};
    EXPECT_TRUE(cut.ReadText(text, sizeof text));
    EXPECT_STREQ(text, "ab");
    EXPECT_EQ(cut.Position(), 9u) << "advanced by the whole stored length";
}

// --- "Vorn.ssd" ---

ScreeningSettings SampleCurrent() {
    ScreeningSettings s = MakeDefaultScreeningSettings();
    s.price = {kRangeOn | kRangeLowerSet | kRangeUpperSet, 50000.0, 300000.0};
    s.windowsAndShadows.flags = kWsOn | kWsWindowAbove | kWsWindowAboveLowerSet;
    s.windowsAndShadows.windowAbove.lower = 2.5;
    s.preferred = {MakeSecurityKey(1301, 1), MakeSecurityKey(7203, 1)};
    s.excluded = {MakeSecurityKey(9984, 1)};
    return s;
}

// Three records whose names sort as they are listed here.
void SaveSampleRecords(CSavedScreenings& saved) {
    ScreeningSettings s = MakeDefaultScreeningSettings();
    s.markets = 1;
    ASSERT_EQ(saved.SaveScreeningAs("A", s), ScreeningSaveResult::Ok);
    s.markets = 2;
    s.preferred = {MakeSecurityKey(8306, 1)};
    ASSERT_EQ(saved.SaveScreeningAs("AB", s), ScreeningSaveResult::Ok);
    s.markets = 4;
    s.excluded = {MakeSecurityKey(6758, 1), MakeSecurityKey(6758, 4)};
    ASSERT_EQ(saved.SaveScreeningAs(Utf8ToCp932("窓の条件"), s), ScreeningSaveResult::Ok);
}

TEST(ScreeningFile, WrittenAndReadBack) {
    CTemporaryDirectory dir;
    const std::string path = dir.File(kScreeningFileName);
    CSavedScreenings saved;
    SaveSampleRecords(saved);
    ASSERT_EQ(SaveScreeningFile(path, SampleCurrent(), saved), SettingsFileResult::Ok);
    EXPECT_FALSE(fs::exists(path + ".tmp"));

    const std::vector<std::uint8_t> bytes = ReadAll(path);
    ASSERT_GE(bytes.size(), 4u);
    EXPECT_EQ(bytes[0], 0xAF);
    EXPECT_EQ(bytes[1], 0xE1);
    EXPECT_EQ(bytes[2], 0);
    EXPECT_EQ(bytes[3], 0);
    // magic, lists (2 + 8, 2 + 4), settings, N, then the first record's name length.
    EXPECT_EQ(bytes[4], 2);
    EXPECT_EQ(bytes[4 + 10], 1);
    EXPECT_EQ(bytes[4 + 16 + 392], 3) << "N";
    EXPECT_EQ(bytes[4 + 16 + 392 + 4], 1) << "name length of \"A\"";

    ScreeningSettings current;
    current.preferred = {MakeSecurityKey(1111, 1)};
    CSavedScreenings loaded;
    ASSERT_EQ(LoadScreeningFile(path, current, loaded), SettingsFileResult::Ok);
    EXPECT_EQ(current, SampleCurrent()) << "lists replaced, settings read whole";
    EXPECT_EQ(loaded.All(), saved.All());
    EXPECT_FALSE(fs::exists(path + ".damaged"));
}

TEST(ScreeningFile, NoSavedRecords) {
    CTemporaryDirectory dir;
    const std::string path = dir.File(kScreeningFileName);
    ASSERT_EQ(SaveScreeningFile(path, SampleCurrent(), CSavedScreenings{}), SettingsFileResult::Ok);
    EXPECT_EQ(ReadAll(path).size(), 4u + 10 + 6 + 392 + 4);
    ScreeningSettings current;
    CSavedScreenings loaded;
    EXPECT_EQ(LoadScreeningFile(path, current, loaded), SettingsFileResult::Ok);
    EXPECT_EQ(current, SampleCurrent());
    EXPECT_EQ(loaded.Count(), 0u);
}

// The offset of every record boundary in a file written from SampleCurrent and the samples.
std::vector<std::size_t> RecordEnds(const CSavedScreenings& saved) {
    std::vector<std::size_t> ends;
    std::size_t offset = 4 + 10 + 6 + 392 + 4;
    for (const auto& [name, record] : saved.All()) {
        offset += 4 + name.size() + 1 + 2 + 4 + 2 + 4 * record.preferred.size() + 2 +
                  4 * record.excluded.size() + 392;
        ends.push_back(offset);
    }
    return ends;
}

TEST(ScreeningFile, TruncatedAtEveryByteKeepsWhatCameBefore) {
    CTemporaryDirectory dir;
    const std::string whole = dir.File("whole.ssd");
    CSavedScreenings saved;
    SaveSampleRecords(saved);
    ASSERT_EQ(SaveScreeningFile(whole, SampleCurrent(), saved), SettingsFileResult::Ok);
    const std::vector<std::uint8_t> bytes = ReadAll(whole);
    const std::vector<std::size_t> ends = RecordEnds(saved);
    ASSERT_EQ(ends.back(), bytes.size());
    const std::size_t headerEnd = 4 + 10 + 6 + 392;
    std::vector<std::string> names;
    for (const auto& [name, record] : saved.All())
        names.push_back(name);

    const std::string path = dir.File(kScreeningFileName);
    ScreeningSettings sentinel;
    sentinel.markets = 0x1234;
    sentinel.excluded = {MakeSecurityKey(4444, 2)};
    for (std::size_t length = 0; length < bytes.size(); ++length) {
        SCOPED_TRACE("length " + std::to_string(length));
        WriteAll(path, std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + length));
        ScreeningSettings current = sentinel;
        CSavedScreenings loaded;
        const SettingsFileResult result = LoadScreeningFile(path, current, loaded);

        if (length < 4) {
            EXPECT_EQ(result, SettingsFileResult::WrongMagic);
        } else if (length < headerEnd) {
            EXPECT_EQ(result, SettingsFileResult::Damaged);
        } else {
            EXPECT_EQ(result, SettingsFileResult::DamagedRecords);
        }
        if (length < headerEnd) {
            EXPECT_EQ(current, sentinel) << "nothing installed from a damaged head";
        } else {
            EXPECT_EQ(current, SampleCurrent());
        }
        std::size_t complete = 0;
        while (complete < ends.size() && ends[complete] <= length)
            ++complete;
        ASSERT_EQ(loaded.Count(), complete);
        for (std::size_t i = 0; i < complete; ++i)
            EXPECT_EQ(*loaded.Find(names[i]), *saved.Find(names[i]));
        EXPECT_EQ(ReadAll(path + ".damaged").size(), length) << "the damaged bytes are kept";
    }
}

TEST(ScreeningFile, BadNameLengthsAndDuplicatesEndTheLoading) {
    CTemporaryDirectory dir;
    const std::string path = dir.File(kScreeningFileName);
    CSavedScreenings saved;
    SaveSampleRecords(saved);
    ASSERT_EQ(SaveScreeningFile(path, SampleCurrent(), saved), SettingsFileResult::Ok);
    const std::vector<std::uint8_t> bytes = ReadAll(path);
    const std::size_t secondRecord = RecordEnds(saved)[0];

    auto loadWithSecondNameLength = [&](std::uint32_t length) {
        std::vector<std::uint8_t> damaged = bytes;
        for (int i = 0; i < 4; ++i)
            damaged[secondRecord + i] = static_cast<std::uint8_t>(length >> (8 * i));
        WriteAll(path, damaged);
        ScreeningSettings current;
        CSavedScreenings loaded;
        EXPECT_EQ(LoadScreeningFile(path, current, loaded), SettingsFileResult::DamagedRecords);
        EXPECT_EQ(current, SampleCurrent());
        return loaded;
    };
    for (std::uint32_t length : {0u, 1024u, 0xFFFFFFFFu}) {
        const CSavedScreenings loaded = loadWithSecondNameLength(length);
        ASSERT_EQ(loaded.Count(), 1u) << length;
        EXPECT_NE(loaded.Find("A"), nullptr);
    }

    // Two records whose names differ in their last byte, then made equal.
    CSavedScreenings pair;
    ASSERT_EQ(pair.SaveScreeningAs("A", SampleCurrent()), ScreeningSaveResult::Ok);
    ASSERT_EQ(pair.SaveScreeningAs("B", SampleCurrent()), ScreeningSaveResult::Ok);
    ASSERT_EQ(SaveScreeningFile(path, SampleCurrent(), pair), SettingsFileResult::Ok);
    std::vector<std::uint8_t> duplicate = ReadAll(path);
    duplicate[RecordEnds(pair)[0] + 4] = 'A';
    WriteAll(path, duplicate);
    ScreeningSettings current;
    CSavedScreenings loaded;
    EXPECT_EQ(LoadScreeningFile(path, current, loaded), SettingsFileResult::DamagedRecords);
    ASSERT_NE(loaded.Find("A"), nullptr);
    EXPECT_EQ(loaded.Count(), 1u);
}

TEST(ScreeningFile, WrongMagicAndMissingFile) {
    CTemporaryDirectory dir;
    const std::string path = dir.File(kScreeningFileName);
    ScreeningSettings current;
    CSavedScreenings loaded;
    EXPECT_EQ(LoadScreeningFile(path, current, loaded), SettingsFileResult::CannotOpen);
    EXPECT_FALSE(fs::exists(path + ".damaged"));

    ASSERT_EQ(SaveScreeningFile(path, SampleCurrent(), CSavedScreenings{}), SettingsFileResult::Ok);
    std::vector<std::uint8_t> bytes = ReadAll(path);
    bytes[1] ^= 0x01;
    WriteAll(path, bytes);
    EXPECT_EQ(LoadScreeningFile(path, current, loaded), SettingsFileResult::WrongMagic);
    EXPECT_EQ(current, ScreeningSettings{});
}

TEST(ScreeningFile, StartupFallsBackToDefaultsButKeepsAReadableHead) {
    CTemporaryDirectory dir;
    const std::string path = dir.File(kScreeningFileName);
    CSavedScreenings saved;
    ScreeningSettings current;
    EXPECT_EQ(LoadScreeningAtStartup(path, current, saved), SettingsFileResult::CannotOpen);
    EXPECT_EQ(current, MakeDefaultScreeningSettings());

    ScreeningSettings stored = SampleCurrent();
    stored.inclinationParameters = {0, 0, 2000, 0};
    stored.turnoverParameters = {0, 20};
    CSavedScreenings records;
    SaveSampleRecords(records);
    ASSERT_EQ(SaveScreeningFile(path, stored, records), SettingsFileResult::Ok);
    std::vector<std::uint8_t> bytes = ReadAll(path);
    bytes.resize(bytes.size() - 1);
    WriteAll(path, bytes);

    current = ScreeningSettings{};
    EXPECT_EQ(LoadScreeningAtStartup(path, current, saved), SettingsFileResult::DamagedRecords);
    EXPECT_EQ(saved.Count(), 2u);
    EXPECT_EQ(current.price, stored.price);
    EXPECT_EQ(current.preferred, stored.preferred);
    EXPECT_EQ(current.inclinationParameters, (InclinationParameters{60, 16, 80, 10}));
    EXPECT_EQ(current.turnoverParameters, (TurnoverParameters{3, 20}));

    bytes.resize(100);
    WriteAll(path, bytes);
    CSavedScreenings none;
    EXPECT_EQ(LoadScreeningAtStartup(path, current, none), SettingsFileResult::Damaged);
    EXPECT_EQ(current, MakeDefaultScreeningSettings());
}

TEST(ScreeningFile, FailedWriteLeavesTheOldFile) {
    CTemporaryDirectory dir;
    const std::string path = dir.File(kScreeningFileName);
    ASSERT_EQ(SaveScreeningFile(path, SampleCurrent(), CSavedScreenings{}), SettingsFileResult::Ok);
    const std::vector<std::uint8_t> before = ReadAll(path);

    // The temporary sibling cannot be created.
    fs::create_directory(path + ".tmp");
    CSavedScreenings saved;
    SaveSampleRecords(saved);
    EXPECT_EQ(SaveScreeningFile(path, MakeDefaultScreeningSettings(), saved),
              SettingsFileResult::WriteFailed);
    EXPECT_EQ(ReadAll(path), before);
    EXPECT_TRUE(fs::is_directory(path + ".tmp")) << "what it did not create stays";
    fs::remove(path + ".tmp");

    // The final rename fails: the target is a directory.
    const std::string blocked = dir.File("blocked");
    fs::create_directories(blocked + "/inside");
    EXPECT_EQ(SaveScreeningFile(blocked, SampleCurrent(), saved), SettingsFileResult::WriteFailed);
    EXPECT_FALSE(fs::exists(blocked + ".tmp")) << "the half-done sibling is removed";
    EXPECT_TRUE(fs::is_directory(blocked + "/inside"));

    // Lists longer than a 16-bit count cannot be stored.
    ScreeningSettings huge = SampleCurrent();
    std::vector<SecurityKey> keys;
    for (std::uint32_t i = 0; i < 0x10000; ++i)
        keys.push_back(i << 14);
    huge.excluded.Assign(keys);
    EXPECT_EQ(SaveScreeningFile(path, huge, CSavedScreenings{}), SettingsFileResult::WriteFailed);
    EXPECT_EQ(ReadAll(path), before);
}

TEST(ScreeningFile, AWriterHeldByAnotherProgramFailsAndLeavesTheFile) {
    CTemporaryDirectory dir;
    const std::string path = dir.File(kScreeningFileName);
    ASSERT_EQ(SaveScreeningFile(path, SampleCurrent(), CSavedScreenings{}), SettingsFileResult::Ok);
    const std::vector<std::uint8_t> before = ReadAll(path);
    const pid_t holder = test::HoldWriterLockInChild(path);
    ASSERT_GT(holder, 0);
    EXPECT_EQ(SaveScreeningFile(path, MakeDefaultScreeningSettings(), CSavedScreenings{}),
              SettingsFileResult::WriteFailed);
    EXPECT_EQ(ReadAll(path), before);
    // A holder that was killed leaves nothing that blocks.
    test::KillHolder(holder);
    EXPECT_EQ(SaveScreeningFile(path, MakeDefaultScreeningSettings(), CSavedScreenings{}),
              SettingsFileResult::Ok);
    EXPECT_NE(ReadAll(path), before);
}

// --- Saved screening operations ---

TEST(SavedScreenings, SaveAsRefusesTakenAndInvalidNames) {
    CSavedScreenings saved;
    ScreeningSettings first = SampleCurrent();
    ASSERT_EQ(saved.SaveScreeningAs("x", first), ScreeningSaveResult::Ok);
    const SavedScreening kept = *saved.Find("x");
    EXPECT_EQ(kept.flag, 0);
    EXPECT_EQ(kept.settings, ToImage(first));
    EXPECT_EQ(kept.preferred, first.preferred.Keys());
    EXPECT_EQ(kept.excluded, first.excluded.Keys());
    EXPECT_NE(kept.savedDate, 0);

    EXPECT_EQ(saved.SaveScreeningAs("x", MakeDefaultScreeningSettings()),
              ScreeningSaveResult::NameExists);
    EXPECT_EQ(*saved.Find("x"), kept);
    EXPECT_EQ(saved.SaveScreeningAs("", first), ScreeningSaveResult::Failed);
    EXPECT_EQ(saved.SaveScreeningAs(std::string(1024, 'n'), first), ScreeningSaveResult::Failed);
    EXPECT_EQ(saved.SaveScreeningAs(std::string(1023, 'n'), first), ScreeningSaveResult::Ok);
    EXPECT_EQ(saved.Count(), 2u);
}

TEST(SavedScreenings, SavesInARowCarryDifferentTimes) {
    CSavedScreenings saved;
    const ScreeningSettings s = SampleCurrent();
    ASSERT_EQ(saved.SaveScreeningAs("one", s), ScreeningSaveResult::Ok);
    ASSERT_EQ(saved.SaveScreeningAs("two", s), ScreeningSaveResult::Ok);
    const SavedScreening* one = saved.Find("one");
    const SavedScreening* two = saved.Find("two");
    EXPECT_TRUE(one->savedDate != two->savedDate || one->savedTime != two->savedTime);
}

TEST(SavedScreenings, OverwriteResaveDeleteAndApply) {
    CSavedScreenings saved;
    ScreeningSettings s = SampleCurrent();
    EXPECT_EQ(saved.OverwriteScreening("new", s), ScreeningSaveResult::Ok) << "saved as new";
    ASSERT_NE(saved.Find("new"), nullptr);

    s.markets = 3;
    s.preferred.Clear();
    const PackedTime firstTime = saved.Find("new")->savedTime;
    EXPECT_EQ(saved.OverwriteScreening("new", s), ScreeningSaveResult::Ok);
    EXPECT_EQ(saved.Find("new")->settings, ToImage(s));
    EXPECT_TRUE(saved.Find("new")->preferred.empty());
    EXPECT_NE(saved.Find("new")->savedTime, firstTime);

    ASSERT_EQ(saved.SaveScreeningAs("other", SampleCurrent()), ScreeningSaveResult::Ok);
    const SavedScreening other = *saved.Find("other");
    s.markets = 5;
    EXPECT_EQ(saved.ResaveScreening("other", "new", s), ScreeningSaveResult::Failed)
        << "the new title is taken";
    EXPECT_EQ(*saved.Find("other"), other);
    EXPECT_NE(saved.Find("new"), nullptr);

    EXPECT_EQ(saved.ResaveScreening("renamed", "new", s), ScreeningSaveResult::Ok);
    EXPECT_EQ(saved.Find("new"), nullptr);
    ASSERT_NE(saved.Find("renamed"), nullptr);
    EXPECT_EQ(saved.Find("renamed")->settings, ToImage(s));
    EXPECT_EQ(saved.ResaveScreening("fresh", "missing", s), ScreeningSaveResult::Ok);
    EXPECT_NE(saved.Find("fresh"), nullptr);
    EXPECT_EQ(saved.Count(), 3u);

    ScreeningSettings current = MakeDefaultScreeningSettings();
    current.excluded = {MakeSecurityKey(1234, 1)};
    EXPECT_TRUE(saved.ApplyScreening("other", current));
    EXPECT_EQ(current, SampleCurrent());
    EXPECT_FALSE(saved.ApplyScreening("missing", current));

    EXPECT_TRUE(saved.DeleteScreening("other"));
    EXPECT_FALSE(saved.DeleteScreening("other"));
    EXPECT_EQ(saved.Count(), 2u);
}

// --- "Favorite.skf" ---

TEST(FavoritesFile, WrittenAndReadBack) {
    CTemporaryDirectory dir;
    const std::string path = dir.File(kFavoritesFileName);
    const SecurityKeySet favorites{MakeSecurityKey(7203, 1), MakeSecurityKey(1301, 1),
                                   MakeSecurityKey(1301, 4)};
    ASSERT_EQ(SaveFavorites(path, favorites), SettingsFileResult::Ok);
    const std::vector<std::uint8_t> bytes = ReadAll(path);
    ASSERT_EQ(bytes.size(), 2u + 4 + 12);
    EXPECT_EQ(bytes[0], 0x0B);
    EXPECT_EQ(bytes[1], 0x35);
    EXPECT_EQ(bytes[2], 3);
    const std::uint32_t firstKey = bytes[6] | bytes[7] << 8 | bytes[8] << 16 | bytes[9] << 24;
    EXPECT_EQ(firstKey, MakeSecurityKey(1301, 1)) << "ascending";

    SecurityKeySet loaded{MakeSecurityKey(9999, 1)};
    ASSERT_EQ(LoadFavorites(path, loaded), SettingsFileResult::Ok);
    EXPECT_EQ(loaded, favorites);
}

// Codes past 16,383 (336A, the 1A00 forms) take the extended 32-bit form in both files; a
// file of older keys reads as it always did, and a value in neither form is left out.
TEST(FavoritesFile, LetteredCodesPastTheOldKeyFieldGoThereAndBack) {
    CTemporaryDirectory dir;
    const std::string path = dir.File(kFavoritesFileName);
    const SecurityKey wide = MakeSecurityKey(*ParseStockCode("1A00"), 2);
    const SecurityKeySet favorites{MakeSecurityKey(7203, 1), wide,
                                   MakeSecurityKey(*ParseStockCode("336A"), 1)};
    ASSERT_EQ(SaveFavorites(path, favorites), SettingsFileResult::Ok);
    std::vector<std::uint8_t> bytes = ReadAll(path);
    ASSERT_EQ(bytes.size(), 2u + 4 + 12);
    const std::uint32_t last = bytes[14] | bytes[15] << 8 | bytes[16] << 16 | bytes[17] << 24;
    EXPECT_EQ(last, 30900u << 16 | 2u << 1 | 1u);
    SecurityKeySet loaded;
    ASSERT_EQ(LoadFavorites(path, loaded), SettingsFileResult::Ok);
    EXPECT_EQ(loaded, favorites);

    bytes[10] = 0x04; // the second key's low bits: neither form
    WriteAll(path, bytes);
    ASSERT_EQ(LoadFavorites(path, loaded), SettingsFileResult::DamagedRecords);
    EXPECT_EQ(loaded.Keys(), (std::vector<SecurityKey>{MakeSecurityKey(7203, 1), wide}));

    ScreeningSettings current = MakeDefaultScreeningSettings();
    current.preferred = {wide};
    current.excluded = {MakeSecurityKey(7203, 1), MakeSecurityKey(*ParseStockCode("9Y99"), 15)};
    CSavedScreenings saved;
    ASSERT_EQ(saved.SaveScreeningAs("A", current), ScreeningSaveResult::Ok);
    const std::string screening = dir.File(kScreeningFileName);
    ASSERT_EQ(SaveScreeningFile(screening, current, saved), SettingsFileResult::Ok);
    ScreeningSettings read;
    CSavedScreenings readSaved;
    ASSERT_EQ(LoadScreeningFile(screening, read, readSaved), SettingsFileResult::Ok);
    EXPECT_EQ(read, current);
    EXPECT_EQ(readSaved.All(), saved.All());
}

TEST(FavoritesFile, TruncatedAtEveryByteKeepsTheKeysBefore) {
    CTemporaryDirectory dir;
    const std::string whole = dir.File("whole.skf");
    const SecurityKeySet favorites{MakeSecurityKey(1301, 1), MakeSecurityKey(6758, 1),
                                   MakeSecurityKey(7203, 1), MakeSecurityKey(9984, 1)};
    ASSERT_EQ(SaveFavorites(whole, favorites), SettingsFileResult::Ok);
    const std::vector<std::uint8_t> bytes = ReadAll(whole);
    const std::string path = dir.File(kFavoritesFileName);
    const SecurityKeySet sentinel{MakeSecurityKey(4444, 2)};
    for (std::size_t length = 0; length < bytes.size(); ++length) {
        SCOPED_TRACE("length " + std::to_string(length));
        WriteAll(path, std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + length));
        SecurityKeySet loaded = sentinel;
        const SettingsFileResult result = LoadFavorites(path, loaded);
        if (length < 2) {
            EXPECT_EQ(result, SettingsFileResult::WrongMagic);
            EXPECT_EQ(loaded, sentinel);
        } else if (length < 6) {
            EXPECT_EQ(result, SettingsFileResult::Damaged);
            EXPECT_EQ(loaded, sentinel);
        } else {
            EXPECT_EQ(result, SettingsFileResult::DamagedRecords);
            const std::size_t complete = (length - 6) / 4;
            EXPECT_EQ(loaded.Keys(),
                      std::vector<SecurityKey>(favorites.begin(), favorites.begin() + complete));
        }
        EXPECT_EQ(ReadAll(path + ".damaged").size(), length);
    }
}

TEST(FavoritesFile, EmptyUnsortedAndFailedWrite) {
    CTemporaryDirectory dir;
    const std::string path = dir.File(kFavoritesFileName);
    ASSERT_EQ(SaveFavorites(path, SecurityKeySet{}), SettingsFileResult::Ok);
    SecurityKeySet loaded{MakeSecurityKey(4444, 2)};
    EXPECT_EQ(LoadFavorites(path, loaded), SettingsFileResult::Empty);
    EXPECT_EQ(loaded.Size(), 1u) << "nothing loaded";

    CByteWriter out;
    out.U16(kFavoritesFileMagic);
    out.U32(3);
    out.U32(MakeSecurityKey(7203, 1));
    out.U32(MakeSecurityKey(1301, 1));
    out.U32(MakeSecurityKey(7203, 1));
    WriteAll(path, out.Data());
    EXPECT_EQ(LoadFavorites(path, loaded), SettingsFileResult::Ok);
    EXPECT_EQ(loaded, (SecurityKeySet{MakeSecurityKey(1301, 1), MakeSecurityKey(7203, 1)}));

    const std::vector<std::uint8_t> before = ReadAll(path);
    fs::create_directory(path + ".tmp");
    EXPECT_EQ(SaveFavorites(path, SecurityKeySet{MakeSecurityKey(1, 1)}),
              SettingsFileResult::WriteFailed);
    EXPECT_EQ(ReadAll(path), before);
}

TEST(Favorites, AddMenuItemsAndCommands) {
    const std::string name = Utf8ToCp932("極洋");
    const auto matrix =
        test::CMarketBuilder()
            .Company(1301, 1, name)
            .Security(1301, 1, MakePackedDate(2007, 1, 4), {{100, 110, 90, 105, 1000}})
            .Security(7203, 1, MakePackedDate(2007, 1, 4), {{100, 110, 90, 105, 1000}})
            .Build();
    const SecurityRecord* kyokuyo = matrix->FindSecurity(MakeSecurityKey(1301, 1));
    const SecurityRecord* toyota = matrix->FindSecurity(MakeSecurityKey(7203, 1));
    ASSERT_TRUE(kyokuyo && toyota);

    SecurityKeySet favorites;
    EXPECT_FALSE(AddFavorite(favorites, kContentsReport, kyokuyo, toyota));
    EXPECT_FALSE(AddFavorite(favorites, kContentsPortfolio, kyokuyo, toyota));
    EXPECT_TRUE(AddFavorite(favorites, kContentsScreening, kyokuyo, toyota));
    EXPECT_TRUE(AddFavorite(favorites, kContentsChart, kyokuyo, toyota));
    EXPECT_FALSE(AddFavorite(favorites, kContentsChart, kyokuyo, toyota)) << "already held";
    EXPECT_FALSE(AddFavorite(favorites, kContentsChart, nullptr, toyota));
    // A favourite the matrix no longer holds, sorting between the two.
    favorites.Insert(MakeSecurityKey(4000, 1));

    const std::vector<FavoriteItem> items = FavoriteItems(favorites, *matrix);
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0].commandId, 35000u);
    EXPECT_EQ(items[0].key, MakeSecurityKey(1301, 1));
    EXPECT_EQ(items[0].label, name + Utf8ToCp932("：") + Utf8ToCp932(MarketName(1)));
    EXPECT_EQ(items[1].commandId, 35002u) << "the missing one keeps its identifier";
    EXPECT_EQ(items[1].key, MakeSecurityKey(7203, 1));

    EXPECT_EQ(FavoriteOfCommand(favorites, 35002), MakeSecurityKey(7203, 1));
    EXPECT_EQ(FavoriteOfCommand(favorites, 35001), MakeSecurityKey(4000, 1));
    EXPECT_FALSE(FavoriteOfCommand(favorites, 35003).has_value());
    EXPECT_FALSE(FavoriteOfCommand(favorites, 34999).has_value());
}

// --- vornctl settings ---

std::string RunCommand(const std::string& command) {
    std::string output;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[4096];
        std::size_t got;
        while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
            output.append(buffer, got);
        ::pclose(pipe);
    }
    return output;
}

TEST(SettingsCommand, ResetWritesDefaultsAndShowPrintsRecords) {
    CTemporaryDirectory dir;
    const std::string path = dir.File(kScreeningFileName);
    const std::string ctl = VORN_CTL_PATH;
    EXPECT_NE(RunCommand(ctl + " settings '" + path + "' --reset").find("written"),
              std::string::npos);
    ScreeningSettings current;
    CSavedScreenings saved;
    ASSERT_EQ(LoadScreeningFile(path, current, saved), SettingsFileResult::Ok);
    EXPECT_EQ(current, MakeDefaultScreeningSettings());

    SaveSampleRecords(saved);
    ASSERT_EQ(SaveScreeningFile(path, SampleCurrent(), saved), SettingsFileResult::Ok);
    const std::string shown = RunCommand(ctl + " settings '" + path + "'");
    EXPECT_NE(shown.find("preferred       2 1301/1 7203/1"), std::string::npos) << shown;
    EXPECT_NE(shown.find("saved: 3"), std::string::npos);
    EXPECT_NE(shown.find("\"窓の条件\""), std::string::npos) << "names printed as UTF-8";
    EXPECT_NE(shown.find("result: OK"), std::string::npos);

    std::vector<std::uint8_t> bytes = ReadAll(path);
    bytes.resize(bytes.size() - 10);
    WriteAll(path, bytes);
    const std::string damaged = RunCommand(ctl + " settings '" + path + "'");
    EXPECT_NE(damaged.find("saved: 2"), std::string::npos) << damaged;
    EXPECT_NE(damaged.find("result: damaged saved records (4)"), std::string::npos);
    EXPECT_FALSE(fs::exists(path + ".damaged")) << "viewing writes nothing";
}

} // namespace
} // namespace vorn
