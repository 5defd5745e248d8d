#include "shell/settings_profile.h"

#include <QFile>
#include <QVariant>

namespace vorn {

CSettingsProfile::CSettingsProfile()
    : settings_(std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope,
                                            QStringLiteral("Vorn"), QStringLiteral("Vorn"))) {
    KeepDamagedCopy();
}

void CSettingsProfile::KeepDamagedCopy() {
    // The first write rewrites the whole file from what could be read; a copy keeps the rest.
    settings_->allKeys();
    if (settings_->status() != QSettings::FormatError)
        return;
    const QString damaged = settings_->fileName() + QStringLiteral(".damaged");
    if (!QFile::exists(damaged))
        QFile::copy(settings_->fileName(), damaged);
}

CSettingsProfile::CSettingsProfile(const QString& iniPath)
    : settings_(std::make_unique<QSettings>(iniPath, QSettings::IniFormat)) {
    KeepDamagedCopy();
}

QString CSettingsProfile::Key(std::string_view section, std::string_view name) {
    return QString::fromUtf8(section.data(), static_cast<qsizetype>(section.size())) + '/' +
           QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()));
}

bool CSettingsProfile::Flush() {
    settings_->sync();
    return settings_->status() == QSettings::NoError;
}

std::uint32_t CSettingsProfile::GetInteger(std::string_view section, std::string_view name,
                                           std::uint32_t fallback) {
    std::lock_guard lock(mutex_);
    const QVariant value = settings_->value(Key(section, name));
    if (!value.isValid())
        return fallback;
    // The file is the user's to edit: anything but a plain unsigned 32-bit number is ignored.
    bool ok = false;
    const qulonglong number = value.toString().trimmed().toULongLong(&ok, 0);
    if (!ok || number > 0xFFFFFFFFull)
        return fallback;
    return static_cast<std::uint32_t>(number);
}

std::string CSettingsProfile::GetString(std::string_view section, std::string_view name) {
    std::lock_guard lock(mutex_);
    const QVariant value = settings_->value(Key(section, name));
    return value.isValid() ? value.toString().toStdString() : std::string();
}

bool CSettingsProfile::SetInteger(std::string_view section, std::string_view name,
                                  std::uint32_t value) {
    std::lock_guard lock(mutex_);
    settings_->setValue(Key(section, name), QString::number(value));
    return Flush();
}

bool CSettingsProfile::SetString(std::string_view section, std::string_view name,
                                 std::string_view value) {
    std::lock_guard lock(mutex_);
    settings_->setValue(Key(section, name),
                        QString::fromUtf8(value.data(), static_cast<qsizetype>(value.size())));
    return Flush();
}

} // namespace vorn
