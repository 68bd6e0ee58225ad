#pragma once
// The per-user settings store: string values by key, an absent key reading as
// the caller's default. Every write reaches the disk before it returns, so a
// program killed right after a keystroke loses nothing.

#include <QString>

#include <memory>

class QSettings;

namespace marigal {

class SettingsStore {
public:
    // The user's own store (on Linux ~/.config/Quenlow/Marigal.conf).
    SettingsStore();
    // A store in the given ini file (tests, tools).
    explicit SettingsStore(const QString& iniPath);
    ~SettingsStore();

    QString GetSetting(const QString& key, const QString& defaultValue = QString()) const;
    void SaveSetting(const QString& key, const QString& value);

    QString fileName() const;

private:
    std::unique_ptr<QSettings> settings_;
};

}  // namespace marigal
