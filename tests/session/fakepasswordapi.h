#pragma once

#include "session/editorauthapi.h"

#include <QObject>
#include <QStringList>
#include <qcoro/qcorosignal.h>

// A scripted password service: one answer or error per operation, every call
// logged, and calls that can be held until release().
class FakePasswordAPI : public QObject, public EditorPasswordAPI
{
    Q_OBJECT
public:
    EditorAuthTokens verifyAnswer;
    std::optional<EditorAuthUser> setAnswer; // default: the user of verifyAnswer
    std::exception_ptr requestError, verifyError, setError, logoutError;

    QStringList calls;     // "request", "verify", "set", "logout"
    QStringList arguments; // each call's texts joined by "|"
    bool held = false;

    void release()
    {
        held = false;
        Q_EMIT released();
    }

    QCoro::Task<void> requestPasswordCode(QString email, CancellationToken) override
    {
        co_await gate(QStringLiteral("request"), email);
        if (requestError)
            std::rethrow_exception(requestError);
    }
    QCoro::Task<EditorAuthTokens> verifyPasswordCode(QString email, QString code, CancellationToken) override
    {
        co_await gate(QStringLiteral("verify"), email + QLatin1Char('|') + code);
        if (verifyError)
            std::rethrow_exception(verifyError);
        // A copy: GCC 12 moves from a member named in co_return.
        EditorAuthTokens answer = verifyAnswer;
        co_return answer;
    }
    QCoro::Task<EditorAuthUser> setPassword(QString password, QString token, CancellationToken) override
    {
        co_await gate(QStringLiteral("set"), password + QLatin1Char('|') + token);
        if (setError)
            std::rethrow_exception(setError);
        EditorAuthUser answer = verifyAnswer.user;
        if (setAnswer)
            answer = *setAnswer;
        co_return answer;
    }
    QCoro::Task<void> logout(QString token, CancellationToken) override
    {
        co_await gate(QStringLiteral("logout"), token);
        if (logoutError)
            std::rethrow_exception(logoutError);
    }

Q_SIGNALS:
    void released();

private:
    QCoro::Task<void> gate(const QString &call, const QString &argument)
    {
        calls << call;
        arguments << argument;
        if (held)
            co_await qCoro(this, &FakePasswordAPI::released);
    }
};
