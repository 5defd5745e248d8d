#pragma once
// A profile kept in a small text file of "[section]" lines and "name=value" lines. Every
// change rewrites the file completely beside it and moves it over the old one.
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "foundation/profile.h"

namespace vorn {

// A larger file is not a profile this program wrote; it is set aside, never parsed.
constexpr std::size_t kMaxProfileFileBytes = 64 * 1024;
// Longest section, name or value kept; longer lines are carried along unread.
constexpr std::size_t kMaxProfileLineBytes = 4096;

enum class ProfileLoadResult : std::uint8_t {
    Ok = 0,
    Missing = 1,  // no file yet: an empty profile
    TooLarge = 2, // set aside as PATH.damaged on the first change
    ReadError = 3,
};

class CProfileFile final : public IProfile {
public:
    // Reads `path` at once; a missing or unreadable file gives an empty profile.
    explicit CProfileFile(std::filesystem::path path);

    ProfileLoadResult LoadResult() const { return loadResult_; }
    const std::filesystem::path& Path() const { return path_; }

    std::uint32_t GetInteger(std::string_view section, std::string_view name,
                             std::uint32_t fallback) override;
    std::string GetString(std::string_view section, std::string_view name) override;
    bool SetInteger(std::string_view section, std::string_view name, std::uint32_t value) override;
    // Refuses values holding a line break or a NUL, and overlong values.
    bool SetString(std::string_view section, std::string_view name,
                   std::string_view value) override;

private:
    // One line of the file. Lines that are neither a section head nor a value (comments,
    // damage) are kept verbatim so that rewriting the file loses nothing.
    struct Line {
        std::string text;
        std::string section; // the section the line belongs to
        std::string name;    // empty for anything but a value line
        std::string value;
    };

    void Parse(const std::string& bytes);
    const Line* Find(std::string_view section, std::string_view name) const;
    bool Store(std::string_view section, std::string_view name, std::string_view value);
    bool StoreLocked(std::string_view section, std::string_view name, std::string_view value);
    bool Save(const std::vector<Line>& lines);

    const std::filesystem::path path_;
    ProfileLoadResult loadResult_ = ProfileLoadResult::Missing;
    std::mutex mutex_; // guards lines_ and loadResult_ (the worker writes while the UI reads)
    std::vector<Line> lines_;
};

} // namespace vorn
