#include "common/settings.h"

#include "common/config.h"

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
    if (!v.isValid()) return defaultValue;
    // A hand-edited value with an unquoted comma reads back as a list.
    if (v.typeId() == QMetaType::QStringList) return v.toStringList().join(QStringLiteral(", "));
    return v.toString();
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
