#include "qtdesktopservices.h"

#include <QDesktopServices>
#include <QUrl>

void QtDesktopServices::revealFolder(const QString &path)
{
    QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

void QtDesktopServices::openFile(const QString &path)
{
    QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}
