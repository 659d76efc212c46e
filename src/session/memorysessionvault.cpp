#include "memorysessionvault.h"

#include "editorkeychainvault.h"
#include "foundation/errors.h"

#include <QPointer>
#include <qcoro/qcorosignal.h>

QCoro::Task<void> MemorySessionVault::gate(const QString &call, bool fail)
{
    calls << call;
    if (m_held) {
        ++m_waiting;
        co_await qCoro(this, &MemorySessionVault::released);
        --m_waiting;
    }
    if (fail)
        throw BridgeError::failed(EditorKeychainVault::failureMessage());
}

QCoro::Task<std::optional<QByteArray>> MemorySessionVault::read()
{
    co_await gate(QStringLiteral("read"), failRead);
    co_return std::optional<QByteArray>(stored); // a copy: QCoro moves from an lvalue co_return
}

QCoro::Task<void> MemorySessionVault::write(QByteArray data)
{
    co_await gate(QStringLiteral("write"), failWrite || data.size() > maximumSize);
    stored = std::move(data);
}

QCoro::Task<void> MemorySessionVault::remove()
{
    co_await gate(QStringLiteral("remove"), failRemove);
    stored.reset();
}
