#include "editoraccountview.h"

#include "editorsigninview.h"
#include "elidedlabel.h"
#include "foundation/localization.h"
#include "foundation/ui/symbols.h"
#include "foundation/ui/uikit.h"

#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

using namespace UiKit;

EditorAccountView::EditorAccountView(EditorSession &session, std::function<void()> beforeLogout, QWidget *parent)
    : QWidget(parent), m_model(session, std::move(beforeLogout))
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);

    m_signedIn = new QWidget(this);
    auto *signedInLayout = new QVBoxLayout(m_signedIn);
    signedInLayout->setContentsMargins(0, 0, 0, 0);
    signedInLayout->setSpacing(6);
    auto *accountRow = new QHBoxLayout;
    accountRow->setSpacing(4);
    m_accountIcon = new QLabel(m_signedIn);
    accountRow->addWidget(m_accountIcon);
    m_account = new ElidedLabel(m_signedIn);
    setTextStyle(m_account, TextStyle::Callout);
    setTextStyle(m_accountIcon, TextStyle::Callout);
    accountRow->addWidget(m_account, 1);
    signedInLayout->addLayout(accountRow);
    m_signOut = button(loc("Log ud"), m_signedIn);
    signedInLayout->addWidget(m_signOut, 0, Qt::AlignLeft);
    layout->addWidget(m_signedIn);

    m_signedOut = new QWidget(this);
    auto *signedOutLayout = new QVBoxLayout(m_signedOut);
    signedOutLayout->setContentsMargins(0, 0, 0, 0);
    signedOutLayout->setSpacing(6);
    m_signInButton = button(loc("Log ind…"), m_signedOut);
    m_signInButton->setObjectName(QStringLiteral("editor.signIn"));
    fillWithAccent(m_signInButton);
    m_signInButton->setIcon(QIcon(Symbols::drawn(QStringLiteral("person.crop.circle"), 16, this,
                                         m_signInButton->palette().color(QPalette::ButtonText))));
    signedOutLayout->addWidget(m_signInButton, 0, Qt::AlignLeft);
    auto *caption = label(loc("Se de kunder og opgaver, du er tilknyttet."), TextStyle::Caption, m_signedOut);
    setSecondary(caption);
    signedOutLayout->addWidget(caption);
    layout->addWidget(m_signedOut);

    m_progress = smallProgress(this);
    m_progress->setAccessibleName(loc("Kontrollerer login"));
    layout->addWidget(m_progress, 0, Qt::AlignLeft);

    m_issue = label(QString(), TextStyle::Caption, this);
    setInk(m_issue, Ink::attention, true);
    layout->addWidget(m_issue);
    m_retry = button(loc("Prøv forbindelsen igen"), this);
    layout->addWidget(m_retry, 0, Qt::AlignLeft);

    connect(m_signOut, &QPushButton::clicked, &m_model, &EditorAccountModel::signOut);
    connect(m_retry, &QPushButton::clicked, &m_model, &EditorAccountModel::retryRestore);
    connect(m_signInButton, &QPushButton::clicked, this, &EditorAccountView::openSignIn);
    connect(&m_model, &EditorAccountModel::changed, this, &EditorAccountView::refresh);
    refresh();
}

void EditorAccountView::openSignIn()
{
    if (!m_model.actionsEnabled() || m_signIn)
        return;
    m_signIn = new EditorSignInView(m_model.session(), this);
    m_signIn->setAttribute(Qt::WA_DeleteOnClose);
    m_signIn->open();
}

void EditorAccountView::refresh()
{
    const EditorAccountModel &p = m_model;
    const bool signedIn = p.signedIn();
    m_signedIn->setVisible(signedIn);
    m_signedOut->setVisible(!signedIn);
    const QString name = p.accountName();
    m_account->setText(name);
    m_account->setToolTip(name);
    m_accountIcon->setPixmap(
        Symbols::drawn(QStringLiteral("person.crop.circle"), m_account->fontMetrics().height(), this));
    m_signOut->setEnabled(p.actionsEnabled());
    m_signInButton->setEnabled(p.actionsEnabled());
    m_progress->setVisible(p.busy());
    m_issue->setVisible(p.issue().has_value());
    m_issue->setText(p.issue().value_or(QString()));
    m_retry->setVisible(p.showsRetry());
    m_retry->setEnabled(p.actionsEnabled());
}
