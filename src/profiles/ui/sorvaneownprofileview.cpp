#include "sorvaneownprofileview.h"

#include "sorvaneavatarview.h"

#include "editor/editormodel.h"
#include "foundation/ui/uikit.h"
#include "foundation/ui/symbols.h"
#include "foundation/localization.h"
#include "profiles/sorvaneownprofileform.h"
#include "servicequeue/editorserviceadapter.h"

#include <QFileDialog>
#include <QHideEvent>
#include <QHBoxLayout>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

namespace {

class FileDialogPhotoChooser final : public SorvanePhotoChooser
{
public:
    void choose(QWidget *parent, Done done) override
    {
        close();
        QStringList patterns;
        for (const QByteArray &format : QImageReader::supportedImageFormats())
            patterns << QStringLiteral("*.") + QString::fromLatin1(format);
        auto *dialog = new QFileDialog(parent->window());
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        dialog->setWindowModality(Qt::WindowModal);
        dialog->setFileMode(QFileDialog::ExistingFile);
        dialog->setNameFilter(loc("Images") + QStringLiteral(" (") + patterns.join(QLatin1Char(' '))
                              + QLatin1Char(')'));
        QObject::connect(dialog, &QFileDialog::finished, dialog, [dialog, done](int result) {
            done(result == QDialog::Accepted ? dialog->selectedFiles() : QStringList{});
        });
        m_dialog = dialog;
        dialog->open();
    }
    void close() override
    {
        if (m_dialog)
            m_dialog->reject();
    }

private:
    QPointer<QFileDialog> m_dialog;
};

QProgressBar *spinner(const QString &label, const char *name, QWidget *parent)
{
    auto *bar = new QProgressBar(parent);
    bar->setObjectName(QString::fromLatin1(name));
    bar->setRange(0, 0);
    bar->setTextVisible(false);
    bar->setFixedSize(48, 8);
    bar->setAccessibleName(label);
    return bar;
}

} // namespace

SorvaneOwnProfileView::SorvaneOwnProfileView(SorvaneProfilesModel &model, QSharedPointer<EditorModel> editor,
                                             std::shared_ptr<SorvanePhotoChooser> chooser, QWidget *parent)
    : QWidget(parent), m_editor(std::move(editor)), m_chooser(std::move(chooser))
{
    if (!m_chooser)
        m_chooser = std::make_shared<FileDialogPhotoChooser>();
    m_form = new SorvaneOwnProfileForm(model, std::make_shared<EditorServiceAdapter>(m_editor), this);

    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    m_content = new QWidget(this);
    outer->addWidget(m_content);
    auto *stack = new QVBoxLayout(m_content);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(14);

    auto *title = new QLabel(loc("Your profile"), m_content);
    title->setObjectName(QStringLiteral("sorvane.profile.title"));
    QFont headline = title->font();
    headline.setBold(true);
    title->setFont(headline);
    stack->addWidget(title);
    stack->addWidget(
        UiKit::label(loc("Your name and photo are shown to customers on tasks assigned to you."), {.scale = 0.95,
                     .secondary = true, .plain = false}, m_content));

    m_profileArea = new QWidget(m_content);
    auto *area = new QVBoxLayout(m_profileArea);
    area->setContentsMargins(0, 0, 0, 0);
    area->setSpacing(14);
    auto *identityRow = new QHBoxLayout;
    identityRow->setSpacing(16);
    m_avatar = new SorvaneAvatarView(std::nullopt, loc("Editor"), 64, m_profileArea);
    identityRow->addWidget(m_avatar, 0, Qt::AlignVCenter);
    auto *fields = new QVBoxLayout;
    fields->setSpacing(8);
    m_name = new QLineEdit(m_profileArea);
    m_name->setObjectName(QStringLiteral("sorvane.profile.name"));
    m_name->setPlaceholderText(loc("Display name"));
    m_name->setAccessibleName(loc("Display name"));
    fields->addWidget(m_name);
    auto *photoRow = new QHBoxLayout;
    m_choose = new QPushButton(loc("Choose profile photo…"), m_profileArea);
    m_choose->setObjectName(QStringLiteral("sorvane.profile.choosePhoto"));
    m_remove = new QPushButton(loc("Remove photo"), m_profileArea);
    m_remove->setObjectName(QStringLiteral("sorvane.profile.removePhoto"));
    for (QPushButton *button : {m_choose, m_remove}) {
        QFont caption = button->font();
        caption.setPointSizeF(caption.pointSizeF() * 0.85);
        button->setFont(caption);
        photoRow->addWidget(button);
    }
    photoRow->addStretch(1);
    fields->addLayout(photoRow);
    identityRow->addLayout(fields, 1);
    area->addLayout(identityRow);
    area->addWidget(UiKit::label(loc("Only your name and profile photo are shared. Removing the photo shows your initials."),
                                 {.scale = 0.85, .secondary = true, .plain = false}, m_profileArea));
    auto *saveRow = new QHBoxLayout;
    m_save = new QPushButton(loc("Save profile"), m_profileArea);
    m_save->setObjectName(QStringLiteral("sorvane.profile.save"));
    UiKit::makeProminent(m_save);
    saveRow->addWidget(m_save);
    m_saving = spinner(loc("Saving profile…"), "sorvane.profile.saving", m_profileArea);
    saveRow->addWidget(m_saving);
    m_saved = new QWidget(m_profileArea);
    m_saved->setObjectName(QStringLiteral("sorvane.profile.saved"));
    auto *savedLayout = new QHBoxLayout(m_saved);
    savedLayout->setContentsMargins(0, 0, 0, 0);
    auto *savedIcon = new QLabel(m_saved);
    Symbols::apply(savedIcon, QStringLiteral("checkmark.circle"));
    savedLayout->addWidget(savedIcon);
    savedLayout->addWidget(UiKit::label(loc("Profile saved"), {.scale = 0.85, .secondary = true, .plain = false},
                                        m_saved));
    saveRow->addWidget(m_saved);
    saveRow->addStretch(1);
    area->addLayout(saveRow);
    stack->addWidget(m_profileArea);

    m_loading = spinner(loc("Loading profile…"), "sorvane.profile.loading", m_content);
    stack->addWidget(m_loading);

    m_messageRow = new QWidget(m_content);
    auto *messageLayout = new QVBoxLayout(m_messageRow);
    messageLayout->setContentsMargins(0, 0, 0, 0);
    auto *messageLine = new QHBoxLayout;
    m_messageIcon = new QLabel(m_messageRow);
    Symbols::apply(m_messageIcon, QStringLiteral("exclamationmark.triangle"));
    m_message = new QLabel(m_messageRow);
    m_message->setObjectName(QStringLiteral("sorvane.profile.message"));
    m_message->setWordWrap(true);
    m_message->setTextFormat(Qt::PlainText);
    UiKit::setInk(m_message, UiKit::Ink::profileFailure);
    messageLine->addWidget(m_messageIcon, 0, Qt::AlignTop);
    messageLine->addWidget(m_message, 1);
    messageLayout->addLayout(messageLine);
    m_tryAgain = new QPushButton(loc("Try again"), m_messageRow);
    m_tryAgain->setObjectName(QStringLiteral("sorvane.profile.tryAgain"));
    messageLayout->addWidget(m_tryAgain, 0, Qt::AlignLeft);
    stack->addWidget(m_messageRow);

    connect(m_name, &QLineEdit::textEdited, m_form, &SorvaneOwnProfileForm::setDisplayName);
    connect(m_choose, &QPushButton::clicked, this, &SorvaneOwnProfileView::choosePhoto);
    connect(m_remove, &QPushButton::clicked, m_form, &SorvaneOwnProfileForm::removePhoto);
    connect(m_save, &QPushButton::clicked, m_form, &SorvaneOwnProfileForm::save);
    connect(m_tryAgain, &QPushButton::clicked, m_form, &SorvaneOwnProfileForm::tryAgain);
    connect(m_form, &SorvaneOwnProfileForm::changedState, this, &SorvaneOwnProfileView::refresh);
    connect(m_form, &SorvaneOwnProfileForm::closeChooser, this, [this] { m_chooser->close(); });
    for (auto signal : {&EditorModel::credentialsChanged, &EditorModel::repositoryChanged})
        connect(m_editor.data(), signal, m_form, &SorvaneOwnProfileForm::editorChanged);
    refresh();
}

SorvaneOwnProfileView::~SorvaneOwnProfileView()
{
    m_chooser->close();
}

// Only leaving the pane or the sheet counts: the spontaneous hide and show
// of a window being minimised and restored keep the edits typed and a save
// running.
void SorvaneOwnProfileView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!event->spontaneous())
        m_form->appear();
}

void SorvaneOwnProfileView::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    if (!event->spontaneous())
        m_form->disappear();
}

void SorvaneOwnProfileView::choosePhoto()
{
    m_form->beginChoosingPhoto();
    QPointer<SorvaneOwnProfileForm> form = m_form;
    m_chooser->choose(this, [form](const std::optional<QStringList> &files) {
        if (!form)
            return;
        form->photoChosen(files);
        form->chooserClosed();
    });
}

void SorvaneOwnProfileView::refresh()
{
    const SorvaneProfilesModel &model = m_form->model();
    const bool hasProfile = model.ownProfile().has_value();
    m_content->setEnabled(!model.saving());
    m_profileArea->setVisible(hasProfile);
    m_avatar->setPerson(m_form->previewProfile(), loc("Editor"));
    if (m_name->text() != m_form->displayName())
        m_name->setText(m_form->displayName());
    m_remove->setVisible(m_form->avatarJPEG().has_value());
    m_save->setEnabled(m_form->canSave());
    m_saving->setVisible(model.saving());
    m_saved->setVisible(m_form->saved());
    m_loading->setVisible(model.loadingOwn());
    const auto message = m_form->message();
    m_messageRow->setVisible(message.has_value());
    m_message->setText(message.value_or(QString()));
    m_tryAgain->setVisible(m_form->showsTryAgain());
    m_tryAgain->setEnabled(m_form->canTryAgain());
}
