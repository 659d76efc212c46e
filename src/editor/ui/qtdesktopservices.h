#pragma once

#include "editor/desktopservices.h"

// The desktop services through QDesktopServices. Revealing opens the
// folder itself in the file manager (there is no portable way to select
// it inside its parent window).
class QtDesktopServices final : public DesktopServices
{
public:
    void revealFolder(const QString &path) override;
    void openFile(const QString &path) override;
};
