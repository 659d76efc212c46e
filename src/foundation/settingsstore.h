#pragma once

#include <QMap>
#include <QString>
#include <QVariant>
#include <memory>

class QSettings;

// The per-user key-value store ("user defaults"). Keys are used exactly as
// written (dotted, with a version suffix). Production code reads
// SettingsStore::standard(); tests install their own store.
class SettingsStore
{
public:
    virtual ~SettingsStore() = default;

    virtual bool contains(const QString &key) const = 0;
    // An invalid QVariant when nothing is stored.
    virtual QVariant value(const QString &key) const = 0;
    virtual void setValue(const QString &key, const QVariant &value) = 0;
    virtual void remove(const QString &key) = 0;
    virtual QStringList keys() const = 0;

    static SettingsStore &standard();
    // Replaces the process-wide store (tests, or a portable installation).
    static void setStandard(std::shared_ptr<SettingsStore> store);
};

// Backed by QSettings in INI form; the default file is the user's
// configuration folder, or the given file path.
class QSettingsStore final : public SettingsStore
{
public:
    QSettingsStore();
    explicit QSettingsStore(const QString &filePath);
    ~QSettingsStore() override;

    bool contains(const QString &key) const override;
    QVariant value(const QString &key) const override;
    void setValue(const QString &key, const QVariant &value) override;
    void remove(const QString &key) override;
    QStringList keys() const override;

private:
    std::unique_ptr<QSettings> m_settings;
};

class MemorySettingsStore final : public SettingsStore
{
public:
    bool contains(const QString &key) const override { return m_values.contains(key); }
    QVariant value(const QString &key) const override { return m_values.value(key); }
    void setValue(const QString &key, const QVariant &value) override { m_values.insert(key, value); }
    void remove(const QString &key) override { m_values.remove(key); }
    QStringList keys() const override { return m_values.keys(); }

private:
    QMap<QString, QVariant> m_values;
};
