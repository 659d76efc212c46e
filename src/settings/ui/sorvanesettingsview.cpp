#include "sorvanesettingsview.h"

#include "foundation/ui/uikit.h"
#include "foundation/ui/screenfit.h"
#include "sorvanesidebarrow.h"

#include "editor/editormodel.h"
#include "foundation/localization.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

// The sheet's look, shared with its panes.
using Look = SorvaneSettingsPaneBuilder;

} // namespace

SorvaneSettingsView::SorvaneSettingsView(Parts parts, SorvaneSettingsSection section, QWidget *parent)
    : QDialog(parent), m_parts(std::move(parts))
{
    m_model = new SorvaneSettingsModel(m_parts.model, section, this);
    setObjectName(QStringLiteral("sorvane.settings.panel"));
    setWindowTitle(loc("Indstillinger"));
    setWindowModality(Qt::WindowModal);
    setFixedSize(sheetWidth, sheetHeight);
    // Smaller on a smaller screen: the panes scroll.
    ScreenFit::keepDialog(this);

    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);

    auto *header = new QWidget(this);
    auto *headerLayout = new QHBoxLayout(header);
    headerLayout->setContentsMargins(20, 20, 20, 20);
    auto *heading = new QLabel(loc("Indstillinger"), header);
    heading->setFont(Look::titleFont(heading->font()));
    headerLayout->addWidget(heading);
    headerLayout->addStretch(1);
    auto *close = new QPushButton(loc("Back to inbox"), header);
    close->setObjectName(QStringLiteral("sorvane.settings.close"));
    close->setAutoDefault(false);
    // Escape closes the dialog as well (QDialog's own cancel key).
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    headerLayout->addWidget(close);
    outer->addWidget(header);
    outer->addWidget(Look::divider(QFrame::HLine, this));

    auto *body = new QHBoxLayout;
    body->setSpacing(0);
    m_sidebar = new QWidget(this);
    m_sidebar->setObjectName(QStringLiteral("sorvane.settings.sidebar"));
    m_sidebar->setFixedWidth(sidebarWidth);
    auto *rows = new QVBoxLayout(m_sidebar);
    rows->setContentsMargins(8, 10, 8, 10);
    rows->setSpacing(4);
    for (const SorvaneSettingsSection each : allSettingsSections()) {
        auto *row = new SorvaneSidebarRow(title(each), symbol(each), each == section, m_sidebar);
        row->setObjectName(QStringLiteral("sorvane.settings.") + rawValue(each));
        connect(row, &SorvaneSidebarRow::clicked, m_model, [this, each] { m_model->setSection(each); });
        rows->addWidget(row);
        m_rows.append(row);
    }
    rows->addStretch(1);
    body->addWidget(m_sidebar);
    body->addWidget(Look::divider(QFrame::VLine, this));

    auto *column = new QVBoxLayout;
    column->setSpacing(0);
    m_busyRow = new QWidget(this);
    m_busyRow->setObjectName(QStringLiteral("sorvane.settings.busy"));
    auto *busyLayout = new QHBoxLayout(m_busyRow);
    busyLayout->setContentsMargins(16, 16, 16, 16);
    auto *spinner = new QProgressBar(m_busyRow);
    spinner->setRange(0, 0);
    spinner->setTextVisible(false);
    spinner->setFixedSize(48, 8);
    m_busyText = new QLabel(m_busyRow);
    m_busyText->setTextFormat(Qt::PlainText);
    auto *stop = new QPushButton(loc("Stop"), m_busyRow);
    stop->setObjectName(QStringLiteral("sorvane.settings.stop"));
    stop->setAutoDefault(false);
    connect(stop, &QPushButton::clicked, m_model, &SorvaneSettingsModel::stop);
    busyLayout->addWidget(spinner);
    busyLayout->addWidget(m_busyText, 1);
    busyLayout->addWidget(stop);
    column->addWidget(m_busyRow);

    m_errorRow = new QWidget(this);
    auto *errorLayout = new QVBoxLayout(m_errorRow);
    errorLayout->setContentsMargins(16, 16, 16, 16);
    m_error = new QLabel(m_errorRow);
    m_error->setObjectName(QStringLiteral("sorvane.settings.error"));
    m_error->setWordWrap(true);
    m_error->setTextFormat(Qt::PlainText);
    m_error->setTextInteractionFlags(Qt::TextSelectableByMouse);
    UiKit::setInk(m_error, UiKit::Ink::sheetFailure);
    errorLayout->addWidget(m_error);
    column->addWidget(m_errorRow);

    m_messageRow = new QWidget(this);
    auto *messageLayout = new QVBoxLayout(m_messageRow);
    messageLayout->setContentsMargins(16, 16, 16, 16);
    m_message = UiKit::label(QString(), {.secondary = true}, m_messageRow);
    m_message->setObjectName(QStringLiteral("sorvane.settings.message"));
    messageLayout->addWidget(m_message);
    column->addWidget(m_messageRow);

    m_detail = new QVBoxLayout;
    m_detail->setContentsMargins(0, 0, 0, 0);
    column->addLayout(m_detail, 1);
    body->addLayout(column, 1);
    outer->addLayout(body, 1);

    connect(m_model, &SorvaneSettingsModel::sectionChanged, this, [this] {
        // The rows are in the sections' order.
        for (qsizetype index = 0; index < m_rows.size(); ++index)
            m_rows[index]->setSelected(index == qsizetype(m_model->section()));
        refresh();
    });
    connect(m_model, &SorvaneSettingsModel::changed, this, &SorvaneSettingsView::refresh);
    refresh();
}

void SorvaneSettingsView::refresh()
{
    const EditorModel &editor = *m_parts.model.editor;
    m_sidebar->setEnabled(m_model->sidebarEnabled());
    m_busyRow->setVisible(editor.busy().has_value());
    m_busyText->setText(editor.busy().value_or(QString()));
    m_errorRow->setVisible(editor.error().has_value());
    m_error->setText(editor.error().value_or(QString()));
    m_messageRow->setVisible(editor.message().has_value());
    m_message->setText(editor.message().value_or(QString()));

    if (paneKey() != m_paneKey)
        rebuildPane();
    const SorvaneSettingsPane &pane = settingsPane(m_model->section());
    if (m_follower && pane.enabled)
        m_follower->setEnabled((m_model->*pane.enabled)());
}

// What the current pane is built from; a change rebuilds it.
QString SorvaneSettingsView::paneKey() const
{
    const SorvaneSettingsPane &pane = settingsPane(m_model->section());
    QStringList key{rawValue(pane.section), QString::number(m_model->demo())};
    if (pane.key)
        key << pane.key(*m_model);
    return key.join(QChar(0x1f));
}

void SorvaneSettingsView::rebuildPane()
{
    m_paneKey = paneKey();
    if (m_pane) {
        // Out of the tree at once; deleted later, as the click that led here
        // may come from inside the old pane.
        m_pane->hide();
        m_pane->setParent(nullptr);
        m_pane->deleteLater();
    }
    SorvaneSettingsPaneBuilder builder(*this, settingsPane(m_model->section()));
    m_follower = nullptr;
    m_pane = builder.pane().create(builder);
    m_follower = builder.follower();
    m_detail->addWidget(m_pane);
    m_pane->show();
}

void SorvaneSettingsView::showSection(const QString &raw)
{
    if (const auto section = settingsSectionFromRaw(raw))
        m_model->setSection(*section);
}

void SorvaneSettingsView::openAIConnection()
{
    const auto target = m_model->connectAI();
    if (!target || !m_parts.aiConnection)
        return;
    if (m_aiPanel)
        m_aiPanel->close();
    m_aiPanel = m_parts.aiConnection(*target, this);
    if (m_aiPanel) {
        m_aiPanel->setAttribute(Qt::WA_DeleteOnClose);
        m_aiPanel->open();
    }
}
