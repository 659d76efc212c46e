#include "sorvanemetadatasheet.h"

#include "foundation/localization.h"
#include "inbox/sorvaneinboxmodel.h"
#include "foundation/ui/screenfit.h"
#include "foundation/ui/uikit.h"
#include "foundation/ui/symbols.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

SorvaneMetadataSheet::SorvaneMetadataSheet(SorvaneInboxModel &inbox, const SorvaneInboxRow &item,
                                           ServiceQueueEditor &editor, QWidget *parent)
    : QDialog(parent), m_inbox(inbox), m_item(item), m_editor(editor), m_form(item.company.id)
{
    setObjectName(QStringLiteral("sorvane.metadataSheet"));
    setWindowTitle(loc("Share production metadata"));
    setWindowModality(Qt::WindowModal);
    setFixedWidth(sheetWidth);
    ScreenFit::keepDialog(this);

    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(24, 24, 24, 24);
    outer->setSpacing(18);
    // A long customer name or error scrolls above the buttons.
    auto *scroll = new ScreenFit::ScrollArea(this);
    scroll->setObjectName(QStringLiteral("sorvane.metadata.scroll"));
    auto *content = new QWidget(scroll);
    auto *layout = new QVBoxLayout(content);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(18);
    auto *title = UiKit::label(loc("Share production metadata"), UiKit::TextStyle::Title2Bold, content);
    layout->addWidget(title);
    auto *company = new QLabel(item.company.name, content);
    company->setTextFormat(Qt::PlainText);
    company->setWordWrap(true);
    QFont headline = company->font();
    headline.setBold(true);
    company->setFont(headline);
    layout->addWidget(company);
    auto *explanation = new QLabel(loc("Assigned editors can see film names, campaigns and phases when you share the "
                                       "full pipeline. Unsubmitted media and private notes stay outside this "
                                       "permission."),
                                   content);
    explanation->setWordWrap(true);
    layout->addWidget(explanation);

    m_allow = new QCheckBox(loc("Share the full film pipeline with assigned editors"), content);
    m_allow->setObjectName(QStringLiteral("sorvane.metadata.allowPipeline"));
    layout->addWidget(m_allow);
    // A placeholder is gone once the field holds a name: the label keeps saying what it is.
    auto *contactField = new QWidget(content);
    auto *contactLayout = new QVBoxLayout(contactField);
    contactLayout->setContentsMargins(0, 0, 0, 0);
    contactLayout->setSpacing(6);
    auto *contactLabel = new QLabel(loc("Shared contact name (optional)"), contactField);
    contactLabel->setObjectName(QStringLiteral("sorvane.metadata.contactLabel"));
    contactLayout->addWidget(contactLabel);
    m_contact = new QLineEdit(contactField);
    m_contact->setObjectName(QStringLiteral("sorvane.metadata.contactName"));
    m_contact->setPlaceholderText(loc("Shared contact name (optional)"));
    contactLabel->setBuddy(m_contact);
    contactLayout->addWidget(m_contact);
    layout->addWidget(contactField);

    m_error = new QLabel(content);
    m_error->setWordWrap(true);
    m_error->setTextFormat(Qt::PlainText);
    UiKit::setInk(m_error, UiKit::Ink::failure);
    layout->addWidget(m_error);
    m_saved = new QLabel(Symbols::glyph(QStringLiteral("checkmark.circle")) + u' ' + loc("Sharing settings saved"),
                         content);
    m_saved->setObjectName(QStringLiteral("sorvane.metadata.saved"));
    m_saved->setWordWrap(true);
    layout->addWidget(m_saved);
    m_progress = UiKit::smallProgress(content);
    layout->addWidget(m_progress);

    scroll->setWidget(content);
    outer->addWidget(scroll, 1);

    auto *buttons = new QHBoxLayout;
    auto *close = UiKit::button(loc("Luk"), this);
    close->setObjectName(QStringLiteral("sorvane.metadata.close"));
    buttons->addWidget(close);
    buttons->addStretch(1);
    m_save = UiKit::button(loc("Save sharing settings"), this);
    m_save->setObjectName(QStringLiteral("sorvane.metadata.save"));
    UiKit::fillWithAccent(m_save);
    buttons->addWidget(m_save);
    outer->addLayout(buttons);

    // Escape rejects a dialog by itself; "Luk" does the same.
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_save, &QPushButton::clicked, this, &SorvaneMetadataSheet::save);
    connect(m_allow, &QCheckBox::toggled, this, [this](bool on) {
        m_form.allowPipeline = on;
        m_form.edited();
        showState();
    });
    connect(m_contact, &QLineEdit::textChanged, this, [this](const QString &text) {
        m_form.contact = text;
        showState();
    });
    // Only the person's typing counts as an edit; the stored name put back after a save does not.
    connect(m_contact, &QLineEdit::textEdited, this, [this] {
        m_form.edited();
        showState();
    });
    connect(&inbox, &SorvaneInboxModel::metadataSettingsChanged, this, [this] {
        m_form.settingsArrived();
        syncFields();
    });
    connect(&inbox, &SorvaneInboxModel::metadataLoadingChanged, this, [this] {
        if (!m_inbox.metadataLoading())
            m_form.requestEnded(m_inbox.metadataError().has_value());
        showState();
    });
    connect(&inbox, &SorvaneInboxModel::metadataErrorChanged, this, &SorvaneMetadataSheet::showState);
    syncFields();
    showState();
}

void SorvaneMetadataSheet::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (m_asked)
        return;
    m_asked = true;
    // Returns at once; the model runs the request, which outlives the sheet.
    m_inbox.metadata(m_item, m_editor, std::nullopt);
}

void SorvaneMetadataSheet::syncFields()
{
    if (!m_form.sync(m_inbox.metadataSettings()))
        return;
    const QSignalBlocker allowQuiet(m_allow);
    m_allow->setChecked(m_form.allowPipeline);
    if (m_contact->text() != m_form.contact)
        m_contact->setText(m_form.contact);
    showState();
}

void SorvaneMetadataSheet::showState()
{
    const auto &error = m_inbox.metadataError();
    m_error->setVisible(error.has_value());
    if (error)
        m_error->setText(Symbols::glyph(QStringLiteral("exclamationmark.triangle")) + u' ' + *error);
    m_saved->setVisible(m_form.saved());
    m_progress->setVisible(m_inbox.metadataLoading());
    m_save->setEnabled(m_form.canSave(m_inbox.metadataLoading()));
}

void SorvaneMetadataSheet::save()
{
    if (!m_form.canSave(m_inbox.metadataLoading()))
        return;
    if (const auto update = m_form.update(m_inbox.metadataSettings())) {
        m_inbox.metadata(m_item, m_editor, update);
        if (m_inbox.metadataLoading()) // the model may refuse it
            m_form.saveSent();
        showState();
    }
}
