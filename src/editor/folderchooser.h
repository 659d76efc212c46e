#pragma once

#include <QString>
#include <functional>

// Asks the person for a folder. The answer arrives later through `done`
// with the chosen path, or an empty text when the person cancelled.
class FolderChooser
{
public:
    virtual ~FolderChooser() = default;
    // A project folder.
    virtual void chooseFolder(const QString &startPath, std::function<void(const QString &)> done) = 0;
    // A tools folder; a chooser with a title of its own names it.
    virtual void chooseToolsFolder(const QString &startPath, std::function<void(const QString &)> done)
    {
        chooseFolder(startPath, std::move(done));
    }
};
