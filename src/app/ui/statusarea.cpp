#include "statusarea.h"

#include "app/editorview.h"
#include "editor/editormodel.h"
#include "editor/ui/projectlocationview.h"
#include "foundation/localization.h"
#include "servicequeue/servicequeuemodel.h"
#include "session/ui/editoraccountview.h"
#include "session/ui/editorsigninview.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QVBoxLayout>

namespace {

QLabel *heading(const QString &text, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    QFont font = label->font();
    font.setBold(true);
    label->setFont(font);
    return label;
}

} // namespace

StatusArea::StatusArea(EditorView &view, QWidget *parent) : QWidget(parent), m_view(view)
{
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    m_sidebar = new QWidget(this);
    m_sidebar->setObjectName(QStringLiteral("shell.sidebar"));
    m_sidebar->setFixedWidth(320);
    auto *side = new QVBoxLayout(m_sidebar);
    side->setContentsMargins(16, 16, 16, 16);
    side->setSpacing(14);
    side->addWidget(heading(loc("Konto"), m_sidebar));
    side->addWidget(new EditorAccountView(view.account(), [] {}, m_sidebar));
    side->addWidget(new ProjectLocationView(view.model(), [&view] { view.chooseProjectStorage(); }, m_sidebar));
    m_editorState = new QLabel(m_sidebar);
    m_editorState->setObjectName(QStringLiteral("shell.editorState"));
    m_editorState->setWordWrap(true);
    side->addWidget(m_editorState);
    side->addStretch(1);
    layout->addWidget(m_sidebar);

    auto *line = new QFrame(this);
    line->setFrameShape(QFrame::VLine);
    line->setFrameShadow(QFrame::Sunken);
    layout->addWidget(line);

    auto *main = new QVBoxLayout;
    main->setContentsMargins(16, 16, 16, 16);
    main->setSpacing(10);
    m_companies = new QLabel(this);
    m_companies->setObjectName(QStringLiteral("shell.companies"));
    main->addWidget(m_companies);
    main->addWidget(heading(loc("Inbox"), this));
    m_inboxState = new QLabel(this);
    m_inboxState->setObjectName(QStringLiteral("shell.inboxState"));
    m_inboxState->setWordWrap(true);
    main->addWidget(m_inboxState);
    m_rows = new QListWidget(this);
    m_rows->setObjectName(QStringLiteral("shell.inboxRows"));
    m_rows->setUniformItemSizes(true);
    main->addWidget(m_rows, 1);
    layout->addLayout(main, 1);

    EditorModel *model = view.model().data();
    for (auto signal : {&EditorModel::busyChanged, &EditorModel::errorChanged, &EditorModel::messageChanged})
        connect(model, signal, this, &StatusArea::updateEditor);
    ServiceQueueModel *queue = view.serviceQueue().data();
    for (auto signal : {&ServiceQueueModel::companiesChanged, &ServiceQueueModel::loadingCompaniesChanged,
                        &ServiceQueueModel::companyErrorChanged})
        connect(queue, signal, this, &StatusArea::updateCompanies);
    RootInbox *inbox = view.sorvane().data();
    connect(inbox, &RootInbox::rowsChanged, this, &StatusArea::updateInbox);
    connect(inbox, &RootInbox::activityChanged, this, &StatusArea::updateInbox);
    connect(inbox, &RootInbox::selectionChanged, this, &StatusArea::updateSelection);
    // Picking a row selects it in the inbox, whose root view then opens its task.
    connect(m_rows, &QListWidget::currentRowChanged, this, [this](int row) {
        if (!m_updating && row >= 0)
            m_view.sorvane()->selectRow(row);
    });
    updateEditor();
    updateCompanies();
    updateInbox();
}

void StatusArea::updateEditor()
{
    const EditorModel &model = *m_view.model();
    m_editorState->setText(model.busy().value_or(model.error().value_or(model.message().value_or(QString()))));
}

void StatusArea::updateCompanies()
{
    const ServiceQueueModel &queue = *m_view.serviceQueue();
    if (queue.loadingCompanies())
        m_companies->setText(loc("Henter dine virksomheder…"));
    else if (queue.companyError())
        m_companies->setText(*queue.companyError());
    else
        m_companies->setText(loc("Virksomheder: %lld", {qint64(queue.companies().size())}));
}

void StatusArea::updateInbox()
{
    const RootInbox &inbox = *m_view.sorvane();
    m_updating = true;
    m_rows->clear();
    m_rows->addItems(inbox.rowTitles());
    m_updating = false;
    updateSelection();
    if (inbox.loading())
        m_inboxState->setText(loc("Loading inbox…"));
    else if (inbox.error())
        m_inboxState->setText(*inbox.error());
    else
        m_inboxState->setText(loc("%lld tasks", {qint64(inbox.rowTitles().size())}));
}

void StatusArea::updateSelection()
{
    const auto row = m_view.sorvane()->selectedRow();
    m_updating = true;
    m_rows->setCurrentRow(row.value_or(-1));
    m_updating = false;
}
