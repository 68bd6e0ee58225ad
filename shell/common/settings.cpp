#include "settings.h"

#include "config.h"

#include <QSettings>

namespace marigal {

SettingsStore::SettingsStore()
    : settings_(std::make_unique<QSettings>(config::kSettingsOrganisation, config::kSettingsApplication))
{
}

SettingsStore::SettingsStore(const QString& iniPath)
    : settings_(std::make_unique<QSettings>(iniPath, QSettings::IniFormat))
{
}

SettingsStore::~SettingsStore() = default;

QString SettingsStore::GetSetting(const QString& key, const QString& defaultValue) const
{
    const QVariant v = settings_->value(key);
    return v.isValid() ? v.toString() : defaultValue;
}

void SettingsStore::SaveSetting(const QString& key, const QString& value)
{
    settings_->setValue(key, value);
    settings_->sync();
}

QString SettingsStore::fileName() const
{
    return settings_->fileName();
}

}  // namespace marigal
