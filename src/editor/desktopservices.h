#pragma once

#include <QString>
#include <memory>

// The desktop's file services: showing a folder in the file manager and
// opening a file with its default application. Results are ignored by
// design; the views report nothing when the desktop refuses.
class DesktopServices
{
public:
    virtual ~DesktopServices() = default;
    virtual void revealFolder(const QString &path) = 0;
    virtual void openFile(const QString &path) = 0;
};
