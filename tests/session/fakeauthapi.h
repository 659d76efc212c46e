#pragma once

#include "session/editorauthapi.h"

#include <QObject>
#include <QStringList>
#include <qcoro/qcorosignal.h>

// A scripted authentication service. Answers are set per operation; calls
// can be held until release() so tests decide the order of events.
class FakeAuthAPI : public QObject, public EditorAuthAPI
{
    Q_OBJECT
public:
    EditorAuthTokens loginAnswer;
    EditorAuthTokens refreshAnswer;
    std::optional<EditorAuthUser> userAnswer; // default: the user of the last tokens handed out
    std::exception_ptr loginError, refreshError, userError, logoutError;

    QStringList calls;      // "login", "refresh", "user", "logout" in call order
    QStringList arguments;  // the texts each call received, joined by "|"
    bool held = false;

    void release()
    {
        held = false;
        Q_EMIT released();
    }

    QCoro::Task<EditorAuthTokens> login(QString email, QString password, CancellationToken) override
    {
        co_await gate(QStringLiteral("login"), email + QLatin1Char('|') + password);
        if (loginError)
            std::rethrow_exception(loginError);
        m_lastUser = loginAnswer.user;
        co_return EditorAuthTokens(loginAnswer);
    }
    QCoro::Task<EditorAuthTokens> refresh(QString token, CancellationToken cancel) override
    {
        co_await gate(QStringLiteral("refresh"), token);
        cancel.throwIfCancelled();
        if (refreshError)
            std::rethrow_exception(refreshError);
        m_lastUser = refreshAnswer.user;
        co_return EditorAuthTokens(refreshAnswer);
    }
    QCoro::Task<EditorAuthUser> user(QString token, CancellationToken) override
    {
        co_await gate(QStringLiteral("user"), token);
        if (userError)
            std::rethrow_exception(userError);
        co_return EditorAuthUser(userAnswer ? *userAnswer : m_lastUser);
    }
    QCoro::Task<void> logout(QString token, CancellationToken) override
    {
        co_await gate(QStringLiteral("logout"), token);
        if (logoutError)
            std::rethrow_exception(logoutError);
    }

    void setLastUser(const EditorAuthUser &user) { m_lastUser = user; }

Q_SIGNALS:
    void released();

private:
    QCoro::Task<void> gate(const QString &call, const QString &argument)
    {
        calls << call;
        arguments << argument;
        if (held)
            co_await qCoro(this, &FakeAuthAPI::released);
    }

    EditorAuthUser m_lastUser;
};
