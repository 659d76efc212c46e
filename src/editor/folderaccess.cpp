#include "folderaccess.h"

#include <QFileInfo>

bool StandardFolderAccess::start(const QString &folder)
{
    const QFileInfo info(folder);
    return info.isDir() && info.isReadable();
}
