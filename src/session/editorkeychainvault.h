#pragma once

#include "editorsessionvault.h"

#include <QString>
#include <chrono>

// Keeps the session in the user's secret store (Secret Service, Keychain, …)
// as one item: service = `service`, account "editor". Never prompts: a store
// that would need the user's consent fails instead. Calls of all vaults run
// one at a time in the order submitted, and the GUI thread only awaits them.
class EditorKeychainVault final : public EditorSessionVault
{
public:
    // A locked store can wait forever on an unlock prompt nobody sees.
    static constexpr std::chrono::milliseconds defaultCallTimeout{5000};
    static constexpr const char *account = "editor";

    explicit EditorKeychainVault(QString service, std::chrono::milliseconds callTimeout = defaultCallTimeout);

    const QString &service() const { return m_service; }

    QCoro::Task<std::optional<QByteArray>> read() override;
    QCoro::Task<void> write(QByteArray data) override;
    QCoro::Task<void> remove() override;

    // The sentence a failure carries while a secret store exists (locked, refusing, too slow).
    static QString failureMessage();
    // The sentence a failure carries when there is no secret store at all.
    static QString missingMessage();

    enum class Operation { Write, Read, Remove };

private:
    QCoro::Task<std::optional<QByteArray>> access(Operation operation, QByteArray data = {});

    QString m_service;
    std::chrono::milliseconds m_callTimeout;
};
