#include "settingsstore.h"

#include <QMutex>
#include <QSettings>
#include <QStandardPaths>

namespace {
QMutex g_mutex;
std::shared_ptr<SettingsStore> g_standard;
}

SettingsStore &SettingsStore::standard()
{
    QMutexLocker lock(&g_mutex);
    if (!g_standard)
        g_standard = std::make_shared<QSettingsStore>();
    return *g_standard;
}

void SettingsStore::setStandard(std::shared_ptr<SettingsStore> store)
{
    QMutexLocker lock(&g_mutex);
    g_standard = std::move(store);
}

static QString defaultSettingsFile()
{
    QString base = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return base + QStringLiteral("/film.tavlon.editor/settings.ini");
}

QSettingsStore::QSettingsStore() : QSettingsStore(defaultSettingsFile()) {}

QSettingsStore::QSettingsStore(const QString &filePath)
    : m_settings(std::make_unique<QSettings>(filePath, QSettings::IniFormat))
{
}

QSettingsStore::~QSettingsStore() = default;

// QSettings treats "/" as a group separator and escapes other characters in
// INI keys; our keys never hold "/", and the escaping is transparent.
bool QSettingsStore::contains(const QString &key) const { return m_settings->contains(key); }
QVariant QSettingsStore::value(const QString &key) const { return m_settings->value(key); }

void QSettingsStore::setValue(const QString &key, const QVariant &value)
{
    m_settings->setValue(key, value);
    m_settings->sync();
}

void QSettingsStore::remove(const QString &key)
{
    m_settings->remove(key);
    m_settings->sync();
}

QStringList QSettingsStore::keys() const { return m_settings->allKeys(); }
