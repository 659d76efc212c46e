#pragma once

// Fakes at the inbox model's seams: an editor that only knows its sign-in and
// tools folder, and a tool runner whose answers the test releases one by one,
// in any order, or never.

#include "foundation/errors.h"
#include "servicequeue/serviceeditor.h"

#include <QMetaObject>
#include <QObject>
#include <QPointer>
#include <coroutine>
#include <qcoro/qcorotask.h>

class InboxEditor : public ServiceQueueEditor
{
public:
    std::optional<QUrl> m_credentials = QUrl(QStringLiteral("tavlon-session://first"));
    QUrl m_repository = QUrl::fromLocalFile(QStringLiteral("/tools"));
    bool m_unsupported = false;

    std::optional<QUrl> credentials() const override { return m_credentials; }
    QUrl repository() const override { return m_repository; }
    std::optional<QUrl> inbox() const override { return std::nullopt; }
    QString company() const override { return {}; }
    void setCompany(const QString &) override {}
    void forgetCloudSelection() override {}
    std::optional<QString> busy() const override { return std::nullopt; }
    std::optional<QString> storageIssue() const override { return std::nullopt; }
    void setStorageIssue(const std::optional<QString> &) override {}
    bool unsupportedTestLaunch() const override { return m_unsupported; }
    void perform(const QString &, std::function<bool()>, Operation) override {}
    void validateStorage(const BridgeCommand &) override {}
    void chooseStorage(const QUrl &) override {}
    std::optional<QString> error() const override { return std::nullopt; }
    void setError(const std::optional<QString> &) override {}
    std::optional<QString> message() const override { return std::nullopt; }
    void setMessage(const std::optional<QString> &) override {}
    void setInventory(const PackageInventory &) override {}
    void restoreStorage(bool) override {}
};

class HeldBridge : public QObject
{
    Q_OBJECT
public:
    struct Call
    {
        BridgeCommand command;
        QString toolsFolder;
        CancellationToken token;
        bool released = false;
        QByteArray answer;
        std::optional<QString> failure;
        std::coroutine_handle<> waiter;
    };
    QList<Call> calls;

    // Ends every run still waiting, as the real runner ends its children, so
    // no coroutine frame outlives the test (the queued wake of a cancelled run
    // never comes once the fake is gone).
    ~HeldBridge() override
    {
        m_closing = true;
        for (int index = 0; index < calls.size(); ++index)
            wake(index);
    }

    ServiceBridge bridge()
    {
        return [this](const BridgeCommand &command, const QString &folder, CancellationToken token) {
            return run(command, folder, std::move(token));
        };
    }

    int count() const { return int(calls.size()); }
    const Call &last() const { return calls.constLast(); }
    int pending() const
    {
        int n = 0;
        for (const Call &call : calls)
            n += !call.released && !call.token.isCancelled();
        return n;
    }

    void answer(int index, const QByteArray &bytes)
    {
        calls[index].answer = bytes;
        release(index);
    }
    void fail(int index, const QString &message)
    {
        calls[index].failure = message;
        release(index);
    }
    void answerLast(const QByteArray &bytes) { answer(count() - 1, bytes); }
    void failLast(const QString &message) { fail(count() - 1, message); }

private:
    // Resumes the waiting run at once, so a test sees the model's reaction
    // right after it answers.
    void release(int index)
    {
        calls[index].released = true;
        wake(index);
    }
    void wake(int index)
    {
        if (auto waiter = std::exchange(calls[index].waiter, {}))
            waiter.resume();
    }
    struct Wait
    {
        HeldBridge *bridge;
        int index;
        bool await_ready() const noexcept { return false; }
        void await_suspend(std::coroutine_handle<> handle) noexcept { bridge->calls[index].waiter = handle; }
        void await_resume() const noexcept {}
    };

    bool m_closing = false;

    QCoro::Task<QByteArray> run(BridgeCommand command, QString folder, CancellationToken token)
    {
        const int index = int(calls.size());
        calls.append(Call{command, folder, token});
        // Like the real runner, a cancelled run ends later, from the event loop.
        QPointer<HeldBridge> self(this);
        token.onCancel([self, index] {
            QMetaObject::invokeMethod(
                self, [self, index] { if (self) self->wake(index); }, Qt::QueuedConnection);
        });
        while (!calls[index].released && !token.isCancelled() && !m_closing)
            co_await Wait{this, index};
        if (token.isCancelled() || m_closing)
            throw OperationCancelled();
        if (calls[index].failure)
            throw BridgeError::failed(*calls[index].failure);
        co_return calls[index].answer;
    }
};
