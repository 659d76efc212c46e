#pragma once

#include "editorauthrecords.h"
#include "foundation/cancellation.h"

#include <qcoro/qcorotask.h>

// What the session store needs of the authentication service. Every call may
// throw BridgeError (a sentence), OperationCancelled (the token was
// cancelled) or DecodingError (an answer of the wrong shape).
class EditorAuthAPI
{
public:
    virtual ~EditorAuthAPI() = default;
    virtual QCoro::Task<EditorAuthTokens> login(QString email, QString password, CancellationToken cancel = {}) = 0;
    virtual QCoro::Task<EditorAuthTokens> refresh(QString token, CancellationToken cancel = {}) = 0;
    virtual QCoro::Task<EditorAuthUser> user(QString token, CancellationToken cancel = {}) = 0;
    virtual QCoro::Task<void> logout(QString token, CancellationToken cancel = {}) = 0;
};

// What setting a new password with an e-mailed code needs of the service.
class EditorPasswordAPI
{
public:
    virtual ~EditorPasswordAPI() = default;
    virtual QCoro::Task<void> requestPasswordCode(QString email, CancellationToken cancel = {}) = 0;
    virtual QCoro::Task<EditorAuthTokens> verifyPasswordCode(QString email, QString code, CancellationToken cancel = {}) = 0;
    virtual QCoro::Task<EditorAuthUser> setPassword(QString password, QString token, CancellationToken cancel = {}) = 0;
    virtual QCoro::Task<void> logout(QString token, CancellationToken cancel = {}) = 0;
};
