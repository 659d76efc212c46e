#pragma once

// Fakes at the service queue's seams: an editor with the one-operation
// runner's rules, and a tool runner whose answers the test releases.

#include "foundation/errors.h"
#include "servicequeue/serviceeditor.h"

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QUuid>
#include <coroutine>
#include <qcoro/qcorosignal.h>

class FakeEditor : public QObject, public ServiceQueueEditor
{
    Q_OBJECT
public:
    std::optional<QUrl> m_credentials = QUrl(QStringLiteral("tavlon-session://first"));
    QUrl m_repository = QUrl::fromLocalFile(QStringLiteral("/tools"));
    std::optional<QUrl> m_inbox;
    QString m_company;
    std::optional<QString> m_busy, m_error, m_message, m_storageIssue;
    int cloudForgotten = 0;
    QList<QUrl> chosenFolders;
    QStringList startedOperations; // busy labels of the operations that started
    std::optional<PackageInventory> inventory;
    QList<bool> restoredStorage; // loadInventory of each restoreStorage call
    std::function<void(const BridgeCommand &)> storageCheck;
    std::function<void()> storageRestored; // runs as the remembered folder is opened again
    QUuid operationID = QUuid::createUuid();
    CancellationToken token;

    std::optional<QUrl> credentials() const override { return m_credentials; }
    QUrl repository() const override { return m_repository; }
    std::optional<QUrl> inbox() const override { return m_inbox; }
    QString company() const override { return m_company; }
    void setCompany(const QString &company) override { m_company = company; }
    void forgetCloudSelection() override { ++cloudForgotten; }
    std::optional<QString> busy() const override { return m_busy; }
    std::optional<QString> storageIssue() const override { return m_storageIssue; }
    void setStorageIssue(const std::optional<QString> &issue) override { m_storageIssue = issue; }
    bool unsupportedTestLaunch() const override { return false; }
    void validateStorage(const BridgeCommand &command) override
    {
        if (storageCheck)
            storageCheck(command);
    }
    void chooseStorage(const QUrl &url) override
    {
        chosenFolders.append(url);
        m_inbox = url;
        m_storageIssue.reset();
    }

    std::optional<QString> error() const override { return m_error; }
    void setError(const std::optional<QString> &text) override { m_error = text; }
    std::optional<QString> message() const override { return m_message; }
    void setMessage(const std::optional<QString> &text) override { m_message = text; }
    void setInventory(const PackageInventory &inventory) override { this->inventory = inventory; }
    void restoreStorage(bool loadInventory) override
    {
        restoredStorage.append(loadInventory);
        if (storageRestored)
            storageRestored();
    }

    void perform(const QString &title, std::function<bool()> isCurrent, Operation operation) override
    {
        if (m_busy)
            return;
        m_busy = title;
        startedOperations.append(title);
        m_error.reset();
        m_message.reset();
        operationID = QUuid::createUuid();
        token = CancellationToken();
        run(operationID, std::move(isCurrent), std::move(operation), token);
    }

    void cancel()
    {
        token.cancel();
        operationID = QUuid::createUuid();
        m_busy.reset();
    }

private:
    QCoro::Task<void> run(QUuid id, std::function<bool()> isCurrent, Operation operation, CancellationToken t)
    {
        try {
            co_await operation(t);
        } catch (const OperationCancelled &) {
            if (operationID == id && isCurrent())
                m_message = QStringLiteral("interrupted");
        } catch (const BridgeError &error) {
            if (operationID == id && isCurrent())
                m_error = error.message();
        } catch (const std::exception &error) {
            if (operationID == id && isCurrent())
                m_error = QString::fromUtf8(error.what());
        }
        if (operationID == id)
            m_busy.reset();
    }
};

class FakeService : public QObject
{
    Q_OBJECT
public:
    struct Call
    {
        BridgeCommand command;
        QString toolsFolder;
    };
    QList<Call> calls;

    // Ends every call still waiting as cancelled, as a tool does when its
    // runner goes away. The waits resume through queued connections, so the
    // caller lets events run before destroying the fake; unanswered frames
    // would otherwise never finish.
    void closeAll()
    {
        m_closing = true;
        wake();
    }

    ServiceBridge bridge()
    {
        return [this](const BridgeCommand &command, const QString &folder, CancellationToken token) {
            return respond(command, folder, token);
        };
    }

    void answer(int index, QByteArray bytes)
    {
        m_answers.insert(index, Answer{std::move(bytes), nullptr});
        wake();
    }
    void fail(int index, std::exception_ptr error)
    {
        m_answers.insert(index, Answer{{}, error});
        wake();
    }

private:
    // A waiting call is resumed at most once per wait: a signal wait would be
    // resumed once for every wake that came before the event loop ran (say a
    // cancel followed by closeAll), the second time into a finished frame.
    struct Wait
    {
        FakeService *service;
        bool await_ready() const noexcept { return false; }
        void await_suspend(std::coroutine_handle<> waiting) { service->m_waiting.append(waiting); }
        void await_resume() const noexcept {}
    };
    void wake()
    {
        for (const std::coroutine_handle<> waiting : std::exchange(m_waiting, {}))
            QMetaObject::invokeMethod(this, [waiting] { waiting.resume(); }, Qt::QueuedConnection);
    }
    QList<std::coroutine_handle<>> m_waiting;

    struct Answer
    {
        QByteArray bytes;
        std::exception_ptr error;
    };
    QHash<int, Answer> m_answers;
    bool m_closing = false;

    QCoro::Task<QByteArray> respond(BridgeCommand command, QString folder, CancellationToken token)
    {
        const int index = int(calls.size());
        calls.append(Call{command, folder});
        token.onCancel([self = QPointer<FakeService>(this)] {
            if (self)
                self->wake();
        });
        while (!m_answers.contains(index)) {
            if (token.isCancelled() || m_closing)
                throw OperationCancelled();
            co_await Wait{this};
        }
        const Answer a = m_answers.take(index);
        if (a.error)
            std::rethrow_exception(a.error);
        // An explicit copy: GCC 12 releases a member named in co_return once too often.
        co_return QByteArray(a.bytes);
    }
};
