#include "qtdesktopservices.h"

#include "foundation/localization.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDesktopServices>
#include <QDir>
#include <QUrl>

namespace {

void openFolder(const QtDesktopServices::Opener &open, const QtDesktopServices::Tell &tell, const QString &path)
{
    if (!open(QUrl::fromLocalFile(path)) && tell)
        tell(QtDesktopServices::folderRefusal(path));
}

} // namespace

QtDesktopServices::QtDesktopServices(Tell tell, Opener open)
    : m_tell(std::move(tell))
    , m_open(open ? std::move(open) : Opener([](const QUrl &url) { return QDesktopServices::openUrl(url); }))
{
}

QString QtDesktopServices::folderRefusal(const QString &path)
{
    return loc("Nothing on this computer could show the folder; it is here: %@", {QDir::toNativeSeparators(path)});
}

QString QtDesktopServices::fileRefusal(const QString &path)
{
    return loc("Nothing on this computer could open the file; it is here: %@", {QDir::toNativeSeparators(path)});
}

void QtDesktopServices::revealFolder(const QString &path)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        openFolder(m_open, m_tell, path);
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
    // The answer may come after this object is gone: the lambda keeps its own copies.
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
                     [path, open = m_open, tell = m_tell](QDBusPendingCallWatcher *w) {
                         if (QDBusPendingReply<>(*w).isError())
                             openFolder(open, tell, path);
                         w->deleteLater();
                     });
}

void QtDesktopServices::openFile(const QString &path)
{
    if (!m_open(QUrl::fromLocalFile(path)) && m_tell)
        m_tell(fileRefusal(path));
}
