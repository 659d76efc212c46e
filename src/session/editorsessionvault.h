#pragma once

#include <QByteArray>
#include <qcoro/qcorotask.h>
#include <optional>

// The per-user secret store that keeps the signed-in session between launches.
// Failures throw BridgeError.
class EditorSessionVault
{
public:
    // The largest item the vault stores or hands back.
    static constexpr qsizetype maximumSize = 32768;

    virtual ~EditorSessionVault() = default;
    // The stored bytes, or nothing when no item exists.
    virtual QCoro::Task<std::optional<QByteArray>> read() = 0;
    // Stores the bytes, replacing what was stored.
    virtual QCoro::Task<void> write(QByteArray data) = 0;
    // Deletes the item; succeeds also when there is none.
    virtual QCoro::Task<void> remove() = 0;
};
