#include "filedialogfolderchooser.h"

#include "foundation/localization.h"

#include <QFileDialog>

void FileDialogFolderChooser::chooseFolder(const QString &startPath, std::function<void(const QString &)> done)
{
    open(loc("Vælg projektmappe"), startPath, std::move(done));
}

void FileDialogFolderChooser::chooseToolsFolder(const QString &startPath, std::function<void(const QString &)> done)
{
    open(loc("Vælg værktøjsmappe"), startPath, std::move(done));
}

void FileDialogFolderChooser::open(const QString &title, const QString &startPath,
                                   std::function<void(const QString &)> done)
{
    auto *dialog = new QFileDialog(m_parent, title, startPath);
    dialog->setFileMode(QFileDialog::Directory);
    dialog->setOption(QFileDialog::ShowDirsOnly, true);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowModality(Qt::WindowModal);
    QObject::connect(dialog, &QFileDialog::finished, dialog, [dialog, done](int result) {
        const QStringList files = dialog->selectedFiles();
        done(result == QDialog::Accepted && !files.isEmpty() ? files.first() : QString());
    });
    dialog->open();
}
