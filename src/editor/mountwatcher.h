#pragma once

#include <QObject>
#include <QByteArray>
#include <QString>

class QSocketNotifier;
class QTimer;

// Tells when a disk was mounted or unmounted. The model re-checks its
// project folder on each notice; tests drive a fake.
class MountWatcher : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
    ~MountWatcher() override = default;

Q_SIGNALS:
    void volumesChanged();
};

// Watches the mount table of this process. The kernel flags
// /proc/self/mountinfo with POLLPRI whenever the table changes; where that
// file cannot be opened it compares the table every few seconds instead.
class ProcMountWatcher final : public MountWatcher
{
    Q_OBJECT
public:
    explicit ProcMountWatcher(QObject *parent = nullptr,
                              const QString &mountTable = QStringLiteral("/proc/self/mountinfo"));
    ~ProcMountWatcher() override;

    // True when the kernel notifications are used rather than polling.

private:
    void scheduleNotice();
    QByteArray readTable() const;

    QString m_path;
    int m_fd = -1;
    QSocketNotifier *m_notifier = nullptr;
    QTimer *m_poll = nullptr;
    QTimer *m_coalesce = nullptr;
    QByteArray m_lastTable;
};

// A watcher that only reports when told to (tests).
class ManualMountWatcher final : public MountWatcher
{
    Q_OBJECT
public:
    using MountWatcher::MountWatcher;
    void simulateChange() { Q_EMIT volumesChanged(); }
};
