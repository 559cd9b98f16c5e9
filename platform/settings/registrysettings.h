#pragma once

// The settings store that stands in for the Windows registry: a registry key
// path such as "HKEY_CURRENT_USER\Software\Tarnwick\" maps to an INI file under
// the user's configuration folder ($XDG_CONFIG_HOME, else ~/.config), here
// "Tarnwick/Tarnwick.ini". Values are read and written through QSettings; the
// file is replaced in one step on sync and is readable by its owner only.

#include <QSettings>
#include <QString>
#include <QVariant>

#include <memory>

class RegistrySettings {
public:
    explicit RegistrySettings(const QString& registryPath);
    ~RegistrySettings(); // syncs what was set

    RegistrySettings(const RegistrySettings&) = delete;
    RegistrySettings& operator=(const RegistrySettings&) = delete;

    QVariant value(const QString& key, const QVariant& defaultValue = QVariant()) const;
    void setValue(const QString& key, const QVariant& value);
    bool contains(const QString& key) const;
    void remove(const QString& key);

    // Writes pending values; true when the file now holds them.
    bool sync();
    QString fileName() const;

    // The INI file that stands for a registry key path.
    static QString fileNameFor(const QString& registryPath);

private:
    QString m_fileName;
    std::unique_ptr<QSettings> m_settings;
    bool m_dirty = false;
};
