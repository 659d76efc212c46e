#include "logging.h"

#include "decoding/strictjson.h"
#include "errors.h"

Q_LOGGING_CATEGORY(lcFoundation, "tavlon.foundation")
Q_LOGGING_CATEGORY(lcTools, "tavlon.tools")
Q_LOGGING_CATEGORY(lcSession, "tavlon.session")
Q_LOGGING_CATEGORY(lcEditor, "tavlon.editor")
Q_LOGGING_CATEGORY(lcServiceQueue, "tavlon.servicequeue")
Q_LOGGING_CATEGORY(lcInbox, "tavlon.inbox")
Q_LOGGING_CATEGORY(lcProfiles, "tavlon.profiles")
Q_LOGGING_CATEGORY(lcWorkspace, "tavlon.workspace")
Q_LOGGING_CATEGORY(lcUpdater, "tavlon.updater")
Q_LOGGING_CATEGORY(lcAIConnection, "tavlon.aiconnection")
Q_LOGGING_CATEGORY(lcSettings, "tavlon.settings")
Q_LOGGING_CATEGORY(lcApp, "tavlon.app")
Q_LOGGING_CATEGORY(lcMedia, "tavlon.media")

namespace {

bool isCancellation(const std::exception_ptr &failure)
{
    try {
        std::rethrow_exception(failure);
    } catch (const OperationCancelled &) {
        return true;
    } catch (...) {
        return false;
    }
}

} // namespace

QString exceptionText(const std::exception_ptr &failure)
{
    if (!failure)
        return QStringLiteral("no exception");
    try {
        std::rethrow_exception(failure);
    } catch (const BridgeError &error) {
        return error.message().isEmpty() ? QStringLiteral("BridgeError without text") : error.message();
    } catch (const DecodingError &error) {
        return QStringLiteral("DecodingError: ") + error.message();
    } catch (const std::exception &error) {
        return QString::fromLocal8Bit(error.what());
    } catch (...) {
        return QStringLiteral("an exception of unknown type");
    }
}

void logFailure(LoggingCategory category, const char *what, const std::exception_ptr &failure)
{
    if (failure && isCancellation(failure))
        qCDebug(category).nospace() << what << ": cancelled";
    else
        qCWarning(category).nospace().noquote() << what << " failed: " << exceptionText(failure);
}

void tavlonAssertionFailed(const char *condition, const char *file, int line)
{
    qCWarning(lcFoundation, "SOFT ASSERT: \"%s\" in %s:%d", condition, file, line);
}
