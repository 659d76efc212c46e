#include "videochoosers.h"

#include "foundation/localization.h"
#include "foundation/ui/screenfit.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

void DialogVideoFileChooser::chooseMovie(QWidget *parent, Done done)
{
    auto *dialog = new QFileDialog(parent, loc("Vælg eksporteret video…"));
    dialog->setFileMode(QFileDialog::ExistingFile);
    dialog->setNameFilters({loc("Film (*.mp4 *.m4v *.mov *.qt *.mkv *.webm *.avi *.mpg *.mpeg)")});
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowModality(Qt::WindowModal);
    QObject::connect(dialog, &QFileDialog::finished, dialog, [dialog, done](int result) {
        const QStringList files = dialog->selectedFiles();
        done(result == QDialog::Accepted && !files.isEmpty() ? std::optional<QUrl>(QUrl::fromLocalFile(files.first()))
                                                             : std::nullopt);
    });
    dialog->open();
}

namespace {

// A project may be a file (a project export) or a folder (a library), and
// the file dialogs choose one kind at a time: this dialog offers both, with
// the message above them.
class ProjectChooserDialog final : public QDialog
{
public:
    ProjectChooserDialog(QWidget *parent, const QString &message) : QDialog(parent)
    {
        setObjectName(QStringLiteral("service.video.projectChooser"));
        setWindowTitle(loc("Gem editorprojekt til denne version…"));
        auto *text = new QLabel(message, this);
        text->setWordWrap(true);
        m_path->setReadOnly(true);
        m_path->setObjectName(QStringLiteral("service.video.projectChooser.path"));
        m_path->setPlaceholderText(loc("Intet projekt valgt"));
        auto *file = new QPushButton(loc("Vælg fil…"), this);
        auto *folder = new QPushButton(loc("Vælg mappe…"), this);
        // Own button texts: the toolkit's would stay English in a Danish window.
        auto *buttons = new QDialogButtonBox(this);
        buttons->addButton(loc("Annuller"), QDialogButtonBox::RejectRole);
        m_choose = buttons->addButton(loc("Gem kopi"), QDialogButtonBox::AcceptRole);
        m_choose->setEnabled(false);
        auto *pick = new QHBoxLayout;
        pick->addWidget(m_path, 1);
        pick->addWidget(file);
        pick->addWidget(folder);
        auto *column = new QVBoxLayout(this);
        column->addWidget(text);
        column->addLayout(pick);
        column->addWidget(buttons);
        resize(560, sizeHint().height());
        ScreenFit::keepDialog(this);
        connect(file, &QPushButton::clicked, this, [this] { browse(QFileDialog::ExistingFile); });
        connect(folder, &QPushButton::clicked, this, [this] { browse(QFileDialog::Directory); });
        connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
        connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    }

    std::optional<QUrl> chosen() const
    {
        return m_path->text().isEmpty() ? std::nullopt : std::optional<QUrl>(QUrl::fromLocalFile(m_path->text()));
    }

private:
    void browse(QFileDialog::FileMode mode)
    {
        auto *dialog = new QFileDialog(this, windowTitle());
        dialog->setFileMode(mode);
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        dialog->setWindowModality(Qt::WindowModal);
        connect(dialog, &QFileDialog::finished, this, [this, dialog](int result) {
            const QStringList files = dialog->selectedFiles();
            if (result == QDialog::Accepted && !files.isEmpty()) {
                m_path->setText(files.first());
                m_choose->setEnabled(true);
            }
        });
        dialog->open();
    }

    QLineEdit *m_path = new QLineEdit(this);
    QPushButton *m_choose = nullptr;
};

} // namespace

void DialogProjectChooser::chooseProject(QWidget *parent, const QString &message, Done done)
{
    auto *dialog = new ProjectChooserDialog(parent, message);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowModality(Qt::WindowModal);
    QObject::connect(dialog, &QDialog::finished, dialog, [dialog, done](int result) {
        done(result == QDialog::Accepted ? dialog->chosen() : std::nullopt);
    });
    dialog->open();
}
