#include "editorpasswordsetupview.h"

#include "foundation/localization.h"
#include "foundation/ui/symbols.h"
#include "foundation/ui/screenfit.h"
#include "foundation/ui/uikit.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

using namespace UiKit;

namespace {

constexpr int formWidth = 420;

QLineEdit *field(const QString &title, bool secure, QWidget *parent)
{
    auto *edit = new QLineEdit(parent);
    edit->setPlaceholderText(title);
    if (secure)
        edit->setEchoMode(QLineEdit::Password);
    return edit;
}

// Writes the model's text into a field only when it differs, so typing keeps its cursor.
void showText(QLineEdit *edit, const QString &text)
{
    if (edit->text() != text)
        edit->setText(text);
}

} // namespace

EditorPasswordSetupView::EditorPasswordSetupView(const QString &initialEmail, bool codeSent, QWidget *parent,
                                                 EditorPasswordSetupForm::APIFactory factory)
    : QDialog(parent), m_form(initialEmail, codeSent, std::move(factory))
{
    setWindowModality(Qt::WindowModal);
    setWindowTitle(loc("Opret eller nulstil adgangskode"));
    setFixedWidth(formWidth);
    ScreenFit::keepDialog(this);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(28, 28, 28, 28);
    layout->setSpacing(16);

    layout->addWidget(label(loc("Opret eller nulstil adgangskode"), TextStyle::Title2Bold, this));

    m_finishedRow = new QWidget(this);
    auto *finishedLayout = new QHBoxLayout(m_finishedRow);
    finishedLayout->setContentsMargins(0, 0, 0, 0);
    auto *check = new QLabel(m_finishedRow);
    check->setPixmap(Symbols::drawn(QStringLiteral("checkmark.circle"), 16, this));
    check->setAlignment(Qt::AlignTop);
    finishedLayout->addWidget(check);
    auto *ready = new QLabel(loc("Din adgangskode er klar. Log ind med den nye kode."), m_finishedRow);
    ready->setWordWrap(true);
    finishedLayout->addWidget(ready, 1);
    layout->addWidget(m_finishedRow);

    m_back = new QPushButton(loc("Tilbage til login"), this);
    m_back->setDefault(true);
    layout->addWidget(m_back, 0, Qt::AlignLeft);

    m_email = field(loc("E-mail"), false, this);
    m_email->setInputMethodHints(Qt::ImhEmailCharactersOnly | Qt::ImhNoAutoUppercase);
    layout->addWidget(m_email);

    m_explanation = label(
        loc("Hvis kontoen findes, får du en mail med en kode. Indtast den her — du behøver ikke åbne et link."),
        TextStyle::Callout, this);
    setSecondary(m_explanation);
    layout->addWidget(m_explanation);

    m_code = field(loc("Kode fra mailen"), false, this);
    m_code->setInputMethodHints(Qt::ImhDigitsOnly);
    layout->addWidget(m_code);
    m_password = field(loc("Ny adgangskode (mindst 12 tegn)"), true, this);
    layout->addWidget(m_password);
    m_confirmation = field(loc("Gentag adgangskoden"), true, this);
    layout->addWidget(m_confirmation);

    m_save = button(loc("Gem adgangskode"), this);
    fillWithAccent(m_save);
    layout->addWidget(m_save, 0, Qt::AlignLeft);
    m_another = button(loc("Brug en anden mail eller bed om ny kode"), this);
    layout->addWidget(m_another, 0, Qt::AlignLeft);

    m_send = button(loc("Send kode"), this);
    fillWithAccent(m_send);
    layout->addWidget(m_send, 0, Qt::AlignLeft);

    m_progress = smallProgress(this);
    layout->addWidget(m_progress, 0, Qt::AlignLeft);

    m_issue = label(QString(), TextStyle::Callout, this);
    setInk(m_issue, Ink::attention, true);
    layout->addWidget(m_issue);

    m_close = button(loc("Luk"), this);
    layout->addWidget(m_close, 0, Qt::AlignLeft);

    connect(m_email, &QLineEdit::textEdited, &m_form, &EditorPasswordSetupForm::setEmail);
    connect(m_code, &QLineEdit::textEdited, &m_form, &EditorPasswordSetupForm::setCode);
    connect(m_password, &QLineEdit::textEdited, &m_form, &EditorPasswordSetupForm::setPassword);
    connect(m_confirmation, &QLineEdit::textEdited, &m_form, &EditorPasswordSetupForm::setConfirmation);
    connect(m_send, &QPushButton::clicked, &m_form, &EditorPasswordSetupForm::send);
    connect(m_save, &QPushButton::clicked, &m_form, &EditorPasswordSetupForm::save);
    connect(m_another, &QPushButton::clicked, &m_form, &EditorPasswordSetupForm::useAnotherEmail);
    connect(m_close, &QPushButton::clicked, this, &EditorPasswordSetupView::reject);
    connect(m_back, &QPushButton::clicked, this, &EditorPasswordSetupView::accept);
    connect(&m_form, &EditorPasswordSetupForm::changed, this, &EditorPasswordSetupView::refresh);
    refresh();
}

void EditorPasswordSetupView::reject()
{
    if (m_form.canClose())
        QDialog::reject();
}

void EditorPasswordSetupView::refresh()
{
    const EditorPasswordSetupForm &p = m_form;
    const bool finished = p.finished();
    const bool codeStep = !finished && p.sent();
    const bool emailStep = !finished && !p.sent();

    m_finishedRow->setVisible(finished);
    m_back->setVisible(finished);

    showText(m_email, p.email());
    showText(m_code, p.code());
    showText(m_password, p.password());
    showText(m_confirmation, p.confirmation());
    m_email->setVisible(!finished);
    m_email->setEnabled(p.emailEditable());
    for (QWidget *w : {static_cast<QWidget *>(m_explanation), static_cast<QWidget *>(m_code),
                       static_cast<QWidget *>(m_password), static_cast<QWidget *>(m_confirmation),
                       static_cast<QWidget *>(m_save), static_cast<QWidget *>(m_another)})
        w->setVisible(codeStep);
    for (QLineEdit *edit : {m_code, m_password, m_confirmation})
        edit->setEnabled(!p.busy());
    m_save->setEnabled(p.canSave());
    m_another->setEnabled(p.canUseAnotherEmail());
    m_send->setVisible(emailStep);
    m_send->setEnabled(p.canSend());
    m_progress->setVisible(!finished && p.busy());
    m_issue->setVisible(!finished && p.issue().has_value());
    m_issue->setText(p.issue().value_or(QString()));
    m_close->setVisible(!finished);
    m_close->setEnabled(p.canClose());

    // Fixed width, height that follows the content.
    layout()->activate();
    const int height = layout()->hasHeightForWidth() ? layout()->totalHeightForWidth(formWidth)
                                                     : layout()->totalSizeHint().height();
    if (height != this->height() || minimumHeight() != maximumHeight())
        setFixedHeight(height);
}
