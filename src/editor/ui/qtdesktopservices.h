#pragma once

#include "editor/desktopservices.h"

#include <QString>
#include <functional>

class QUrl;

// The desktop services of a Linux desktop. Revealing asks the file manager
// to show the folder selected inside its parent (org.freedesktop.FileManager1
// on the session bus); where no file manager answers, the folder itself is
// opened through QDesktopServices. Opening a file uses the default
// application. Nothing here waits: the bus call is asynchronous. When the
// desktop has nothing that opens the path (no handler: Qt only writes to
// standard error), `tell` gets one sentence that names the path, so the
// person can go there by hand.
class QtDesktopServices final : public DesktopServices
{
public:
    using Tell = std::function<void(const QString &sentence)>;
    using Opener = std::function<bool(const QUrl &url)>;
    // `open` is QDesktopServices::openUrl unless a test gives another.
    explicit QtDesktopServices(Tell tell = {}, Opener open = {});

    void revealFolder(const QString &path) override;
    void openFile(const QString &path) override;

    static QString folderRefusal(const QString &path);
    static QString fileRefusal(const QString &path);

    static constexpr const char *fileManagerService = "org.freedesktop.FileManager1";
    static constexpr const char *fileManagerPath = "/org/freedesktop/FileManager1";

private:
    Tell m_tell;
    Opener m_open;
};
