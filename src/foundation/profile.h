#pragma once
// The per-user application profile: a few named integers and strings in named sections. The
// desktop application keeps them in its settings store, the command line in a small file.
#include <cstdint>
#include <string>
#include <string_view>

namespace vorn {

// The one section the application uses, and its values.
inline constexpr char kProfileSection[] = "Window";
// 4 bytes: bit 0 local mode (never set by the program), bit 4 white chart colours.
inline constexpr char kProfileSetting[] = "Setting";
// Full path of the local matrix file.
inline constexpr char kProfileMatrix[] = "Matrix";
// 4 bytes: version of the local matrix.
inline constexpr char kProfileVersion[] = "Version";
// 2 bytes: PackedDate of the local matrix's first trading day.
inline constexpr char kProfileFirst[] = "First";
// "host" or "host:port" of the matrix server.
inline constexpr char kProfileServer[] = "Server";

constexpr std::uint32_t kSettingLocalMode = 0x01;
constexpr std::uint32_t kSettingWhiteChart = 0x10;

class IProfile {
public:
    virtual ~IProfile() = default;
    // `fallback` when the value is missing or unreadable. Safe from any thread.
    virtual std::uint32_t GetInteger(std::string_view section, std::string_view name,
                                     std::uint32_t fallback) = 0;
    // Empty when missing.
    virtual std::string GetString(std::string_view section, std::string_view name) = 0;
    // False when the value could not be stored; the old value then stays.
    virtual bool SetInteger(std::string_view section, std::string_view name,
                            std::uint32_t value) = 0;
    virtual bool SetString(std::string_view section, std::string_view name,
                           std::string_view value) = 0;
};

} // namespace vorn
