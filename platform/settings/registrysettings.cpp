#include "platform/settings/registrysettings.h"

#include "platform/fd/uniquefd.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Creates the file empty and private when missing; QSettings replaces a file
// keeping the permissions of the one it replaces.
void createPrivateFile(const QString& fileName)
{
    const QByteArray path = QFile::encodeName(fileName);
    const platform::UniqueFd created(::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
}

void makePrivate(const QString& fileName)
{
    ::chmod(QFile::encodeName(fileName).constData(), 0600);
}

} // namespace

QString RegistrySettings::fileNameFor(const QString& registryPath)
{
    QStringList parts = registryPath.split(QLatin1Char('\\'), Qt::SkipEmptyParts);
    // The hive and "Software" carry no meaning here.
    if (!parts.isEmpty() && parts.first().startsWith(QLatin1String("HKEY_"), Qt::CaseInsensitive))
        parts.removeFirst();
    if (!parts.isEmpty() && parts.first().compare(QLatin1String("Software"), Qt::CaseInsensitive) == 0)
        parts.removeFirst();
    // No segment may leave the configuration folder.
    for (QString& p : parts) {
        p.replace(QLatin1Char('/'), QLatin1Char('_'));
        if (p == QLatin1String(".") || p == QLatin1String(".."))
            p = QStringLiteral("_");
    }
    if (parts.isEmpty())
        parts << QStringLiteral("settings");
    const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    const QString folder = parts.size() == 1 ? parts.first()
                                             : QStringList(parts.mid(0, parts.size() - 1)).join(QLatin1Char('/'));
    return base + QLatin1Char('/') + folder + QLatin1Char('/') + parts.last() + QStringLiteral(".ini");
}

RegistrySettings::RegistrySettings(const QString& registryPath)
    : m_fileName(fileNameFor(registryPath))
    , m_settings(std::make_unique<QSettings>(m_fileName, QSettings::IniFormat))
{
    m_settings->setFallbacksEnabled(false);
}

RegistrySettings::~RegistrySettings()
{
    if (m_dirty)
        sync();
}

QVariant RegistrySettings::value(const QString& key, const QVariant& defaultValue) const
{
    return m_settings->value(key, defaultValue);
}

void RegistrySettings::setValue(const QString& key, const QVariant& value)
{
    m_settings->setValue(key, value);
    m_dirty = true;
}

bool RegistrySettings::contains(const QString& key) const
{
    return m_settings->contains(key);
}

void RegistrySettings::remove(const QString& key)
{
    m_settings->remove(key);
    m_dirty = true;
}

bool RegistrySettings::sync()
{
    QDir().mkpath(QFileInfo(m_fileName).absolutePath());
    createPrivateFile(m_fileName);
    m_settings->sync();
    makePrivate(m_fileName);
    m_dirty = false;
    return m_settings->status() == QSettings::NoError;
}

QString RegistrySettings::fileName() const
{
    return m_fileName;
}
