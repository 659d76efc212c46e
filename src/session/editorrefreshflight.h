#pragma once

#include "editorauthrecords.h"
#include "foundation/cancellation.h"

#include <QObject>
#include <QUuid>
#include <exception>
#include <optional>

// The one token refresh in flight: whoever needs a fresh session while it
// runs waits for the same outcome.
class EditorRefreshFlight : public QObject
{
    Q_OBJECT
public:
    QUuid generation;
    CancellationToken cancel;
    bool settled = false;
    std::optional<EditorSavedSession> result;
    std::exception_ptr error;

    void settle()
    {
        settled = true;
        Q_EMIT finished();
    }

Q_SIGNALS:
    void finished();
};
