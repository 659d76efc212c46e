#pragma once

#include <QByteArray>
#include <QUrl>
#include <qcoro/qcorotask.h>

// Trades a session URL ("tavlon-session://<uuid>") for the session document
// that a tool gets on its standard input. Implemented by the session store;
// the tool runner asks it on the GUI thread, only for session commands.
class SessionDocumentProvider
{
public:
    virtual ~SessionDocumentProvider() = default;
    // Returns the bytes of the session document, or throws (BridgeError with
    // a sentence for the person, OperationCancelled).
    virtual QCoro::Task<QByteArray> credentials(const QUrl &sessionURL) = 0;
};
