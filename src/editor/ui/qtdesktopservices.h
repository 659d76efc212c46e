#pragma once

#include "editor/desktopservices.h"

#include <QString>

// The desktop services of a Linux desktop. Revealing asks the file manager
// to show the folder selected inside its parent (org.freedesktop.FileManager1
// on the session bus); where no file manager answers, the folder itself is
// opened through QDesktopServices. Opening a file uses the default
// application. Nothing here waits: the bus call is asynchronous.
class QtDesktopServices final : public DesktopServices
{
public:
    void revealFolder(const QString &path) override;
    void openFile(const QString &path) override;

    static constexpr const char *fileManagerService = "org.freedesktop.FileManager1";
    static constexpr const char *fileManagerPath = "/org/freedesktop/FileManager1";
};
