#pragma once

#include <QString>
#include <functional>

// Asks the person for a folder. The answer arrives later through `done`
// with the chosen path, or an empty text when the person cancelled.
class FolderChooser
{
public:
    virtual ~FolderChooser() = default;
    virtual void chooseFolder(const QString &startPath, std::function<void(const QString &)> done) = 0;
};
