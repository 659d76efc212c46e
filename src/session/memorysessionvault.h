#pragma once

#include "editorsessionvault.h"

#include <QObject>
#include <QStringList>

// An in-memory vault with switchable failures and calls that can be held
// until released, so that tests can order events deterministically.
class MemorySessionVault : public QObject, public EditorSessionVault
{
    Q_OBJECT
public:
    std::optional<QByteArray> stored;
    bool failRead = false;
    bool failWrite = false;
    bool failRemove = false;
    // Each call is logged ("read", "write", "remove") when it starts.
    QStringList calls;

    // While held, calls wait until release() (which also ends the hold).
    void hold() { m_held = true; }
    void release()
    {
        m_held = false;
        Q_EMIT released();
    }
    int waiting() const { return m_waiting; }

    QCoro::Task<std::optional<QByteArray>> read() override;
    QCoro::Task<void> write(QByteArray data) override;
    QCoro::Task<void> remove() override;

Q_SIGNALS:
    void released();

private:
    QCoro::Task<void> gate(const QString &call, bool fail);

    bool m_held = false;
    int m_waiting = 0;
};
