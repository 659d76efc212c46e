#include "editorsigninview.h"

#include "editorpasswordsetupview.h"
#include "foundation/localization.h"
#include "session/editorsession.h"
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
constexpr int formWidth = 400;
}

EditorSignInView::EditorSignInView(EditorSession &session, QWidget *parent)
    : QDialog(parent), m_form(session)
{
    setWindowModality(Qt::WindowModal);
    setWindowTitle(loc("Log ind"));
    setFixedWidth(formWidth);
    ScreenFit::keepDialog(this);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(28, 28, 28, 28);
    layout->setSpacing(18);

    layout->addWidget(label(loc("Velkommen til Morvinge"), TextStyle::Title2Bold, this));
    auto *lead = new QLabel(loc("Log ind med din Tavlon-editorkonto."), this);
    lead->setWordWrap(true);
    setSecondary(lead);
    layout->addWidget(lead);

    auto *fields = new QVBoxLayout;
    fields->setSpacing(10);
    m_email = new QLineEdit(this);
    m_email->setPlaceholderText(loc("E-mail"));
    m_email->setObjectName(QStringLiteral("editor.login.email"));
    m_email->setInputMethodHints(Qt::ImhEmailCharactersOnly | Qt::ImhNoAutoUppercase);
    fields->addWidget(m_email);
    m_password = new QLineEdit(this);
    m_password->setPlaceholderText(loc("Adgangskode"));
    m_password->setObjectName(QStringLiteral("editor.login.password"));
    m_password->setEchoMode(QLineEdit::Password);
    fields->addWidget(m_password);
    layout->addLayout(fields);

    m_issue = label(QString(), TextStyle::Callout, this);
    setInk(m_issue, Ink::attention, true);
    layout->addWidget(m_issue);

    m_passwordSetupButton = button(loc("Opret eller nulstil adgangskode"), this);
    m_passwordSetupButton->setObjectName(QStringLiteral("editor.login.passwordSetup"));
    layout->addWidget(m_passwordSetupButton, 0, Qt::AlignLeft);

    auto *note = label(loc("Sessionen gemmes i nøgleringen. Adgangskoden gemmes ikke."),
                       TextStyle::Caption, this);
    setSecondary(note);
    layout->addWidget(note);

    auto *row = new QHBoxLayout;
    m_close = button(loc("Luk"), this);
    row->addWidget(m_close, 0, Qt::AlignVCenter);
    row->addStretch(1);
    m_progress = smallProgress(this);
    row->addWidget(m_progress, 0, Qt::AlignVCenter);
    m_submit = new QPushButton(loc("Log ind"), this);
    m_submit->setObjectName(QStringLiteral("editor.login.submit"));
    m_submit->setDefault(true);
    fillWithAccent(m_submit);
    row->addWidget(m_submit, 0, Qt::AlignVCenter);
    layout->addLayout(row);

    connect(m_email, &QLineEdit::textEdited, &m_form, &EditorSignInForm::setEmail);
    connect(m_password, &QLineEdit::textEdited, &m_form, &EditorSignInForm::setPassword);
    connect(m_submit, &QPushButton::clicked, &m_form, &EditorSignInForm::submit);
    connect(m_close, &QPushButton::clicked, this, &EditorSignInView::reject);
    connect(m_passwordSetupButton, &QPushButton::clicked, this, &EditorSignInView::openPasswordSetup);
    connect(&m_form, &EditorSignInForm::changed, this, &EditorSignInView::refresh);
    // Closing on a published session bypasses the busy guard of reject():
    // the session is still busy when it publishes.
    connect(&m_form, &EditorSignInForm::dismissRequested, this, [this] {
        if (m_passwordSetup)
            m_passwordSetup->deleteLater();
        done(QDialog::Accepted);
    });
    refresh();
}

void EditorSignInView::reject()
{
    if (m_form.controlsEnabled())
        QDialog::reject();
}

void EditorSignInView::openPasswordSetup()
{
    if (!m_form.controlsEnabled() || m_passwordSetup)
        return;
    m_passwordSetup = new EditorPasswordSetupView(m_form.email(), false, this);
    m_passwordSetup->setAttribute(Qt::WA_DeleteOnClose);
    m_passwordSetup->open();
}

void EditorSignInView::refresh()
{
    const EditorSignInForm &p = m_form;
    const bool enabled = p.controlsEnabled();
    if (m_email->text() != p.email())
        m_email->setText(p.email());
    if (m_password->text() != p.password())
        m_password->setText(p.password());
    m_email->setEnabled(enabled);
    m_password->setEnabled(enabled);
    const std::optional<QString> &issue = p.session().issue();
    m_issue->setVisible(issue.has_value());
    m_issue->setText(issue.value_or(QString()));
    m_passwordSetupButton->setEnabled(enabled);
    m_close->setEnabled(enabled);
    m_progress->setVisible(p.busy());
    m_submit->setEnabled(p.canSubmit());

    layout()->activate();
    const int height = layout()->hasHeightForWidth() ? layout()->totalHeightForWidth(formWidth)
                                                     : layout()->totalSizeHint().height();
    if (height != this->height() || minimumHeight() != maximumHeight())
        setFixedHeight(height);
}
