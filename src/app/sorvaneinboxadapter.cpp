#include "sorvaneinboxadapter.h"

#include "foundation/records/servicekind.h"
#include "inbox/sorvaneinboxmodel.h"

SorvaneInboxAdapter::SorvaneInboxAdapter(std::shared_ptr<ServiceQueueEditor> editor, ServiceBridge bridge,
                                         SettingsStore &defaults, QObject *parent)
    : RootInbox(parent), m_editor(std::move(editor))
{
    m_model = std::make_unique<SorvaneInboxModel>(std::move(bridge), defaults);
    SorvaneInboxModel *model = m_model.get();
    for (auto signal : {&SorvaneInboxModel::loadingChanged, &SorvaneInboxModel::mutatingChanged,
                        &SorvaneInboxModel::selectingRequestChanged, &SorvaneInboxModel::pipelineLoadingChanged,
                        &SorvaneInboxModel::metadataLoadingChanged})
        connect(model, signal, this, &RootInbox::activityChanged);
    connect(model, &SorvaneInboxModel::selectedIDChanged, this, &RootInbox::selectionChanged);
    connect(model, &SorvaneInboxModel::itemsChanged, this, &RootInbox::selectionChanged);
    // The selection may be the pinned next task, which is not among the rows.
    connect(model, &SorvaneInboxModel::nextItemChanged, this, &RootInbox::selectionChanged);
    connect(model, &SorvaneInboxModel::itemsChanged, this, &RootInbox::rowsChanged);
    connect(model, &SorvaneInboxModel::errorChanged, this, &RootInbox::rowsChanged);
}

SorvaneInboxAdapter::~SorvaneInboxAdapter()
{
    // The model first: its destructor stops every continuation that could
    // still reach the editor.
    m_model.reset();
}

void SorvaneInboxAdapter::clear() { m_model->clear(); }
void SorvaneInboxAdapter::refresh() { m_model->refresh(*m_editor); }

std::optional<ServiceReceipt> SorvaneInboxAdapter::selectedRequest() const
{
    const auto row = m_model->selectedItem();
    return row ? std::optional<ServiceReceipt>(row->request) : std::nullopt;
}

std::optional<QUuid> SorvaneInboxAdapter::operatorID() const { return m_model->operatorID(); }
bool SorvaneInboxAdapter::loading() const { return m_model->loading(); }
bool SorvaneInboxAdapter::mutating() const { return m_model->mutating(); }
bool SorvaneInboxAdapter::selectingRequest() const { return m_model->selectingRequest(); }
bool SorvaneInboxAdapter::pipelineLoading() const { return m_model->pipelineLoading(); }
bool SorvaneInboxAdapter::metadataLoading() const { return m_model->metadataLoading(); }
std::optional<QString> SorvaneInboxAdapter::error() const { return m_model->error(); }

QStringList SorvaneInboxAdapter::rowTitles() const
{
    QStringList titles;
    for (const SorvaneInboxRow &row : m_model->items())
        // A film has a task per kind of work: the kind tells them apart.
        titles << row.film.title + QStringLiteral(" · ") + title(row.request.kind) + QStringLiteral(" · ")
                + row.company.name;
    return titles;
}

std::optional<int> SorvaneInboxAdapter::selectedRow() const
{
    const auto &id = m_model->selectedID();
    const QList<SorvaneInboxRow> &rows = m_model->items();
    for (int row = 0; id && row < rows.size(); ++row)
        if (rows.at(row).request.id == *id)
            return row;
    return std::nullopt;
}

void SorvaneInboxAdapter::selectRow(int row)
{
    const QList<SorvaneInboxRow> &rows = m_model->items();
    if (row >= 0 && row < rows.size())
        m_model->setSelectedID(rows.at(row).request.id);
}
