#include "sorvanesettingsview.h"

#include "foundation/ui/uikit.h"
#include "sorvanesidebarrow.h"

#include "editor/editormodel.h"
#include "foundation/ui/symbols.h"
#include "editor/ui/projectlocationview.h"
#include "foundation/localization.h"
#include "foundation/ui/editorsettingsview.h"
#include "profiles/sorvaneprofilesmodel.h"
#include "profiles/ui/sorvaneownprofileview.h"
#include "servicequeue/servicequeuemodel.h"
#include "session/editorsession.h"
#include "session/ui/editoraccountview.h"
#include "session/ui/editorsigninview.h"

#include <QFontDatabase>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

namespace {

QFrame *divider(QFrame::Shape shape, QWidget *parent)
{
    auto *line = new QFrame(parent);
    line->setFrameShape(shape);
    line->setFrameShadow(QFrame::Plain);
    line->setForegroundRole(QPalette::Mid);
    return line;
}

QFont titleFont(QFont font)
{
    font.setPointSizeF(font.pointSizeF() * 1.4);
    font.setWeight(QFont::DemiBold);
    return font;
}

// A symbol and a text in one row, as the pane headers and the customer label show them.
QWidget *labelled(const QString &symbol, const QString &text, const QFont &font, QWidget *parent)
{
    auto *row = new QWidget(parent);
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    auto *icon = new QLabel(row);
    Symbols::apply(icon, symbol);
    auto *label = new QLabel(text, row);
    label->setTextFormat(Qt::PlainText);
    label->setFont(font);
    label->setWordWrap(true);
    layout->addWidget(icon, 0, Qt::AlignVCenter);
    layout->addWidget(label, 1);
    return row;
}

} // namespace

SorvaneSettingsView::SorvaneSettingsView(Parts parts, SorvaneSettingsSection section, QWidget *parent)
    : QDialog(parent), m_parts(std::move(parts))
{
    m_model = new SorvaneSettingsModel(m_parts.model, section, this);
    setObjectName(QStringLiteral("sorvane.settings.panel"));
    setWindowTitle(loc("Indstillinger"));
    setWindowModality(Qt::WindowModal);
    setFixedSize(sheetWidth, sheetHeight);

    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);

    auto *header = new QWidget(this);
    auto *headerLayout = new QHBoxLayout(header);
    headerLayout->setContentsMargins(20, 20, 20, 20);
    auto *heading = new QLabel(loc("Indstillinger"), header);
    heading->setFont(titleFont(heading->font()));
    headerLayout->addWidget(heading);
    headerLayout->addStretch(1);
    auto *close = new QPushButton(loc("Back to inbox"), header);
    close->setObjectName(QStringLiteral("sorvane.settings.close"));
    close->setAutoDefault(false);
    // Escape closes the dialog as well (QDialog's own cancel key).
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    headerLayout->addWidget(close);
    outer->addWidget(header);
    outer->addWidget(divider(QFrame::HLine, this));

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
    body->addWidget(divider(QFrame::VLine, this));

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
    QPalette red = m_error->palette();
    red.setColor(QPalette::WindowText, UiKit::colour(UiKit::Ink::sheetFailure));
    m_error->setPalette(red);
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
        for (SorvaneSidebarRow *row : m_rows)
            row->setSelected(row->objectName() == QStringLiteral("sorvane.settings.") + rawValue(m_model->section()));
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
    if (m_connectAI)
        m_connectAI->setEnabled(m_model->connectAIEnabled());
    if (m_chooseTools)
        m_chooseTools->setEnabled(m_model->chooseToolsEnabled());
    if (m_storage)
        m_storage->setEnabled(m_model->storageEnabled());
    if (m_cloudOrPackages)
        m_cloudOrPackages->setEnabled(m_model->section() == SorvaneSettingsSection::cloud ? m_model->cloudEnabled()
                                                                                          : m_model->packagesEnabled());
}

// What the current pane is built from; a change rebuilds it.
QString SorvaneSettingsView::paneKey() const
{
    const EditorModel &editor = *m_parts.model.editor;
    const ServiceQueueModel &queue = *m_parts.model.queue;
    QStringList key{rawValue(m_model->section()), QString::number(m_model->demo())};
    switch (m_model->section()) {
    case SorvaneSettingsSection::account: key << QString::number(m_model->signedIn()); break;
    case SorvaneSettingsSection::storage:
        key << (queue.selectedCompany() ? queue.selectedCompany()->name : QStringLiteral("-"));
        break;
    case SorvaneSettingsSection::ai:
        key << QString::number(m_model->hasProjectFolder())
            << (queue.detail() ? queue.detail()->request.title : QStringLiteral("-"))
            << editor.storagePath().value_or(QStringLiteral("-"));
        break;
    case SorvaneSettingsSection::advanced: key << editor.repository(); break;
    default: break;
    }
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
    m_pane = buildPane();
    m_detail->addWidget(m_pane);
    m_pane->show();
}

QWidget *SorvaneSettingsView::scrollingPane(const QList<QWidget *> &elements)
{
    auto *scroll = new QScrollArea(this);
    scroll->setObjectName(QStringLiteral("sorvane.settings.pane"));
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto *content = new QWidget(scroll);
    auto *stack = new QVBoxLayout(content);
    stack->setContentsMargins(28, 28, 28, 28);
    stack->setSpacing(20);
    for (QWidget *element : elements) {
        element->setParent(content);
        stack->addWidget(element);
    }
    stack->addStretch(1);
    scroll->setWidget(content);
    return scroll;
}

QWidget *SorvaneSettingsView::buildPane()
{
    const SorvaneSettingsSection section = m_model->section();
    EditorModel &editor = *m_parts.model.editor;
    const ServiceQueueModel &queue = *m_parts.model.queue;
    m_connectAI = nullptr;
    m_chooseTools = nullptr;
    m_storage = nullptr;
    m_cloudOrPackages = nullptr;

    if (section == SorvaneSettingsSection::cloud || section == SorvaneSettingsSection::packages) {
        const ViewBuilder &builder = section == SorvaneSettingsSection::cloud ? m_parts.cloud : m_parts.packages;
        QWidget *view = builder ? builder(this) : new QWidget(this);
        m_cloudOrPackages = view;
        return view;
    }

    QList<QWidget *> elements;
    elements << labelled(symbol(section), title(section), titleFont(font()), this);
    switch (section) {
    case SorvaneSettingsSection::account:
        elements << UiKit::label(loc("Your account controls which customers and tasks you can access."),
                                 {.secondary = true}, this);
        if (m_model->demo()) {
            elements << new QLabel(loc("Demo · fictional tasks"), this);
            break;
        }
        if (m_model->signedIn() && m_parts.model.profiles) {
            elements << new SorvaneOwnProfileView(*m_parts.model.profiles, m_parts.model.editor, {}, this);
            elements << divider(QFrame::HLine, this);
        }
        elements << new EditorAccountView(*m_parts.model.account, [model = QPointer(m_model)] {
            if (model)
                model->beforeLogout();
        }, this);
        break;
    case SorvaneSettingsSection::storage: {
        elements << UiKit::label(loc("Storage is remembered for the selected customer. Choose a task in the inbox to "
                                 "change customer."), {.secondary = true}, this);
        if (const auto company = queue.selectedCompany()) {
            QFont headline = font();
            headline.setBold(true);
            elements << labelled(QStringLiteral("building.2"), company->name, headline, this);
        }
        m_storage = new ProjectLocationView(m_parts.model.editor, [model = QPointer(m_model)] {
            if (model)
                model->chooseStorage();
        }, this);
        elements << m_storage;
        break;
    }
    case SorvaneSettingsSection::ai: {
        elements << UiKit::label(loc("Connect your local AI assistant to the selected task and project folder. The "
                                 "assistant still needs your approval before sending work."), {.secondary = true},
                                 this);
        if (const auto &detail = queue.detail()) {
            auto *task = new QLabel(detail->request.title, this);
            task->setTextFormat(Qt::PlainText);
            QFont headline = task->font();
            headline.setBold(true);
            task->setFont(headline);
            elements << task;
        }
        if (const auto path = editor.storagePath()) {
            auto *label = UiKit::label(*path, {.scale = 0.85, .secondary = true}, this);
            label->setTextInteractionFlags(Qt::TextSelectableByMouse);
            elements << label;
        }
        auto *connectButton = new QPushButton(loc("Connect AI"), this);
        connectButton->setObjectName(QStringLiteral("editor.ai.connect"));
        connectButton->setAutoDefault(false);
        Symbols::applyThemed(connectButton, symbol(SorvaneSettingsSection::ai));
        connect(connectButton, &QPushButton::clicked, this, &SorvaneSettingsView::openAIConnection);
        m_connectAI = connectButton;
        auto *buttonRow = new QWidget(this);
        auto *buttonLayout = new QHBoxLayout(buttonRow);
        buttonLayout->setContentsMargins(0, 0, 0, 0);
        buttonLayout->addWidget(connectButton);
        buttonLayout->addStretch(1);
        elements << buttonRow;
        if (m_model->showsStorageJump()) {
            elements << UiKit::label(loc("Choose a project folder in Project storage first."), {.secondary = true},
                                     this);
            auto *jump = new QPushButton(loc("Project storage"), this);
            jump->setObjectName(QStringLiteral("sorvane.settings.storageJump"));
            jump->setAutoDefault(false);
            connect(jump, &QPushButton::clicked, m_model,
                    [this] { m_model->setSection(SorvaneSettingsSection::storage); });
            auto *jumpRow = new QWidget(this);
            auto *jumpLayout = new QHBoxLayout(jumpRow);
            jumpLayout->setContentsMargins(0, 0, 0, 0);
            jumpLayout->addWidget(jump);
            jumpLayout->addStretch(1);
            elements << jumpRow;
        }
        break;
    }
    case SorvaneSettingsSection::language: elements << new EditorSettingsView(this); break;
    case SorvaneSettingsSection::updates:
        if (m_parts.updates)
            elements << m_parts.updates(this);
        break;
    case SorvaneSettingsSection::advanced: {
        elements << UiKit::label(loc("The installed app includes its tools. Choose another tools folder only for an "
                                 "explicit development or support task."), {.secondary = true}, this);
        auto *path = UiKit::label(editor.repository(), {.scale = 0.85, .secondary = true}, this);
        QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
        mono.setPointSizeF(path->font().pointSizeF());
        path->setFont(mono);
        path->setTextInteractionFlags(Qt::TextSelectableByMouse);
        path->setObjectName(QStringLiteral("sorvane.settings.toolsPath"));
        elements << path;
        auto *choose = new QPushButton(loc("Vælg værktøjsmappe…"), this);
        choose->setObjectName(QStringLiteral("sorvane.settings.chooseTools"));
        choose->setAutoDefault(false);
        connect(choose, &QPushButton::clicked, m_model, &SorvaneSettingsModel::chooseTools);
        m_chooseTools = choose;
        auto *row = new QWidget(this);
        auto *rowLayout = new QHBoxLayout(row);
        rowLayout->setContentsMargins(0, 0, 0, 0);
        rowLayout->addWidget(choose);
        rowLayout->addStretch(1);
        elements << row;
        break;
    }
    default: break;
    }
    return scrollingPane(elements);
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
