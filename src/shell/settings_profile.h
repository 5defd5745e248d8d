#pragma once
// The per-user profile kept in the toolkit's settings store: in the user's configuration, or
// as an INI file in a data directory when the application is started with one.
#include <QSettings>
#include <QString>
#include <memory>
#include <mutex>

#include "foundation/profile.h"

namespace vorn {

inline constexpr char kProfileFileNameInDataDirectory[] = "Vorn.ini";

class CSettingsProfile final : public IProfile {
public:
    // The user's profile of the application.
    CSettingsProfile();
    // An INI file at `iniPath`.
    explicit CSettingsProfile(const QString& iniPath);

    std::uint32_t GetInteger(std::string_view section, std::string_view name,
                             std::uint32_t fallback) override;
    std::string GetString(std::string_view section, std::string_view name) override;
    bool SetInteger(std::string_view section, std::string_view name, std::uint32_t value) override;
    bool SetString(std::string_view section, std::string_view name,
                   std::string_view value) override;

private:
    void KeepDamagedCopy();
    static QString Key(std::string_view section, std::string_view name);
    bool Flush();

    std::mutex mutex_; // guards settings_: the start-up worker writes the profile too
    std::unique_ptr<QSettings> settings_;
};

} // namespace vorn
