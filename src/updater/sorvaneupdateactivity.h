#pragma once

#include <QHash>
#include <QObject>
#include <QSet>
#include <QUuid>
#include <chrono>
#include <functional>

// Does any window run a transfer or account operation right now? Each main
// window registers a busy check, reports its busy flag and its closing. A
// window closed while its check still answers busy stays counted (detached)
// and is polled until its check answers idle. GUI thread only.
class SorvaneUpdateActivity : public QObject
{
    Q_OBJECT
    Q_PROPERTY(int revision READ revision NOTIFY revisionChanged)

public:
    using BusyCheck = std::function<bool()>;

    explicit SorvaneUpdateActivity(QObject *parent = nullptr);

    // Stores the window's check (replacing an earlier one) and ends a detachment.
    void registerWindow(const QUuid &window, BusyCheck operationIsBusy);
    // Raises the revision on every call, also when nothing changed.
    void setBusy(bool busy, const QUuid &window);
    void windowClosed(const QUuid &window);

    // Asks every registered check on each read; a window flagged busy counts
    // only while it has no check.
    bool isBusy() const;

    // Grows by one at every change observers must notice; no other meaning.
    int revision() const { return m_revision; }

    bool isDetached(const QUuid &window) const { return m_detached.contains(window); }
    bool hasCheck(const QUuid &window) const { return m_checks.contains(window); }

    static constexpr std::chrono::milliseconds pollInterval{250};

Q_SIGNALS:
    void revisionChanged(int revision);

private:
    void bump();
    void startPoll(const QUuid &window, BusyCheck check);
    void pollFinished(const QUuid &window);

    int m_revision = 0;
    QSet<QUuid> m_busyWindows;
    QHash<QUuid, BusyCheck> m_checks;
    QSet<QUuid> m_detached;
};
