#pragma once

#include <QLoggingCategory>
#include <QString>
#include <exception>

// One logging category per area, named "tavlon.<area>". Failures are warnings
// (qCWarning), routine events debug (qCDebug, off unless enabled, e.g.
// QT_LOGGING_RULES="tavlon.*.debug=true").
Q_DECLARE_LOGGING_CATEGORY(lcFoundation)
Q_DECLARE_LOGGING_CATEGORY(lcTools) // tool runs (Bridge)
Q_DECLARE_LOGGING_CATEGORY(lcSession)
Q_DECLARE_LOGGING_CATEGORY(lcEditor)
Q_DECLARE_LOGGING_CATEGORY(lcServiceQueue)
Q_DECLARE_LOGGING_CATEGORY(lcInbox)
Q_DECLARE_LOGGING_CATEGORY(lcProfiles)
Q_DECLARE_LOGGING_CATEGORY(lcWorkspace)
Q_DECLARE_LOGGING_CATEGORY(lcUpdater)
Q_DECLARE_LOGGING_CATEGORY(lcAIConnection)
Q_DECLARE_LOGGING_CATEGORY(lcSettings)
Q_DECLARE_LOGGING_CATEGORY(lcApp)
Q_DECLARE_LOGGING_CATEGORY(lcMedia)

using LoggingCategory = const QLoggingCategory &(*)();

// The reason an exception carries: a BridgeError's message, a DecodingError's
// "path: problem", another std::exception's what(). For logs only, never shown.
QString exceptionText(const std::exception_ptr &failure);
// The same for the exception being handled; call it inside a catch block.
inline QString currentExceptionText() { return exceptionText(std::current_exception()); }

// Logs why `what` failed: a warning with the reason, or a debug line for a
// cancellation (expected, never a failure). Call it inside a catch block, or
// pass the exception kept from one.
void logFailure(LoggingCategory category, const char *what,
                const std::exception_ptr &failure = std::current_exception());

// A soft assertion for programmer errors: when `cond` does not hold, it logs
// the condition with its file and line and then runs `action` (e.g. `return`),
// instead of aborting. Not for rules a person can meet (those stay silent).
#define TAVLON_ASSERT(cond, action)                                                                \
    if (Q_LIKELY(cond)) {                                                                          \
    } else {                                                                                       \
        ::tavlonAssertionFailed(#cond, __FILE__, __LINE__);                                        \
        action;                                                                                    \
    }                                                                                              \
    do {                                                                                           \
    } while (false)

void tavlonAssertionFailed(const char *condition, const char *file, int line);
