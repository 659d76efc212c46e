#pragma once

#include "editor/folderchooser.h"

#include <QPointer>
#include <QWidget>

// Asks for a folder with a window-modal QFileDialog over `parent`.
class FileDialogFolderChooser final : public FolderChooser
{
public:
    explicit FileDialogFolderChooser(QWidget *parent) : m_parent(parent) {}
    void chooseFolder(const QString &startPath, std::function<void(const QString &)> done) override;
    void chooseToolsFolder(const QString &startPath, std::function<void(const QString &)> done) override;

private:
    void open(const QString &title, const QString &startPath, std::function<void(const QString &)> done);

    QPointer<QWidget> m_parent;
};
