#include "editorkeychainvault.h"

#include "foundation/errors.h"
#include "foundation/localization.h"
#include "secretstoreprobe.h"

#include <QPointer>
#include <QQueue>
#include <QSharedPointer>
#include <QTimer>
#include <qcoro/qcorosignal.h>
#include <qt6keychain/keychain.h>

namespace {

using Operation = EditorKeychainVault::Operation;

// One submitted call and, once settled, its outcome.
class KeychainCall : public QObject
{
    Q_OBJECT
public:
    Operation operation = Operation::Read;
    QString service;
    QByteArray data;
    std::chrono::milliseconds timeout{0};

    bool settled = false;
    bool failed = false;
    // The store itself answered with an error (not a time-out, not a refusal of our own).
    bool storeError = false;
    std::optional<QByteArray> result;

Q_SIGNALS:
    void done();
};

// The process-wide queue: one store call at a time, in submission order.
class KeychainWorker : public QObject
{
public:
    static KeychainWorker &instance()
    {
        // Never destroyed: a hung store job may still hold a connection to it at exit.
        static auto *worker = new KeychainWorker;
        return *worker;
    }

    void submit(const QSharedPointer<KeychainCall> &call)
    {
        m_pending.enqueue(call);
        if (!m_running)
            startNext();
    }

private:
    void startNext()
    {
        if (m_pending.isEmpty()) {
            m_running = false;
            return;
        }
        m_running = true;
        run(m_pending.dequeue());
    }

    void settle(const QSharedPointer<KeychainCall> &call, bool failed, std::optional<QByteArray> result = {})
    {
        if (call->settled)
            return;
        call->settled = true;
        call->failed = failed;
        call->result = std::move(result);
        Q_EMIT call->done();
        // Deferred so that a store that answers synchronously cannot recurse.
        QTimer::singleShot(0, this, [this] { startNext(); });
    }

    void run(const QSharedPointer<KeychainCall> &call)
    {
        if (call->operation == Operation::Write && call->data.size() > EditorSessionVault::maximumSize) {
            QTimer::singleShot(0, this, [this, call] { settle(call, true); });
            return;
        }

        QKeychain::Job *job = nullptr;
        switch (call->operation) {
        case Operation::Write: {
            auto *write = new QKeychain::WritePasswordJob(call->service);
            write->setBinaryData(call->data);
            job = write;
            break;
        }
        case Operation::Read:
            job = new QKeychain::ReadPasswordJob(call->service);
            break;
        case Operation::Remove:
            job = new QKeychain::DeletePasswordJob(call->service);
            break;
        }
        job->setKey(QString::fromLatin1(EditorKeychainVault::account));
        job->setInsecureFallback(false);
        job->setAutoDelete(true);

        connect(job, &QKeychain::Job::finished, this, [this, call](QKeychain::Job *finished) {
            const QKeychain::Error error = finished->error();
            if (!call->settled)
                call->storeError = error != QKeychain::NoError && error != QKeychain::EntryNotFound;
            switch (call->operation) {
            case Operation::Read:
                if (error == QKeychain::EntryNotFound)
                    return settle(call, false);
                if (error != QKeychain::NoError)
                    return settle(call, true);
                {
                    const QByteArray bytes = static_cast<QKeychain::ReadPasswordJob *>(finished)->binaryData();
                    if (bytes.size() > EditorSessionVault::maximumSize)
                        return settle(call, true);
                    return settle(call, false, bytes);
                }
            case Operation::Remove:
                return settle(call, error != QKeychain::NoError && error != QKeychain::EntryNotFound);
            case Operation::Write:
                return settle(call, error != QKeychain::NoError);
            }
        });
        QTimer::singleShot(call->timeout, this, [this, call] { settle(call, true); });
        job->start();
    }

    QQueue<QSharedPointer<KeychainCall>> m_pending;
    bool m_running = false;
};

} // namespace

EditorKeychainVault::EditorKeychainVault(QString service, std::chrono::milliseconds callTimeout)
    : m_service(std::move(service)), m_callTimeout(callTimeout)
{
}

QCoro::Task<std::optional<QByteArray>> EditorKeychainVault::read()
{
    co_return co_await access(Operation::Read);
}

QCoro::Task<void> EditorKeychainVault::write(QByteArray data)
{
    co_await access(Operation::Write, std::move(data));
}

QCoro::Task<void> EditorKeychainVault::remove()
{
    co_await access(Operation::Remove);
}

QCoro::Task<std::optional<QByteArray>> EditorKeychainVault::access(Operation operation, QByteArray data)
{
    auto call = QSharedPointer<KeychainCall>::create();
    call->operation = operation;
    call->service = m_service;
    call->data = std::move(data);
    call->timeout = m_callTimeout;
    KeychainWorker::instance().submit(call);
    if (!call->settled)
        co_await qCoro(call.get(), &KeychainCall::done);
    if (call->failed) {
        // An error answer asks whether the store exists at all: a missing one needs another
        // remedy than a locked one. A missing store fails at once; a time-out means one is there.
        // (Not awaited inside the throw: GCC 12 destroys such an exception in the frame.)
        bool present = true;
        if (call->storeError)
            present = co_await SecretStoreProbe::present();
        throw BridgeError::failed(present ? failureMessage() : missingMessage());
    }
    co_return std::optional<QByteArray>(call->result);
}

#include "editorkeychainvault.moc"
