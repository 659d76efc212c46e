#include "qtdesktopservices.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDesktopServices>
#include <QUrl>

namespace {

void openFolder(const QString &path)
{
    QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

} // namespace

void QtDesktopServices::revealFolder(const QString &path)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        openFolder(path);
        return;
    }
    // No synchronous "is it there?" question: an absent file manager answers
    // the call itself with an error, and the folder opens instead.
    QDBusMessage call = QDBusMessage::createMethodCall(QString::fromLatin1(fileManagerService),
                                                       QString::fromLatin1(fileManagerPath),
                                                       QString::fromLatin1(fileManagerService),
                                                       QStringLiteral("ShowItems"));
    call << QStringList{QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded)} << QString();
    auto *watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, 5000));
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher, [path](QDBusPendingCallWatcher *w) {
        if (QDBusPendingReply<>(*w).isError())
            openFolder(path);
        w->deleteLater();
    });
}

void QtDesktopServices::openFile(const QString &path)
{
    QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}
