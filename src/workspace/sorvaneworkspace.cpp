#include "workspace/sorvaneworkspace.h"

#include "editor/editormodel.h"
#include "foundation/errors.h"
#include "foundation/localization.h"
#include "foundation/settingsstore.h"
#include "inbox/sorvaneinboxmodel.h"
#include "servicequeue/servicequeuemodel.h"

#include <algorithm>

SorvaneWorkspace::SorvaneWorkspace(Parts parts, QObject *parent) : QObject(parent), m_parts(std::move(parts))
{
    Q_ASSERT(m_parts.editor && m_parts.queueEditor && m_parts.queue && m_parts.inbox && m_parts.defaults);
    m_layout = m_parts.defaults->value(QString::fromLatin1(layoutKey)).toString();
    if (m_layout.isEmpty() && !m_parts.defaults->contains(QString::fromLatin1(layoutKey)))
        m_layout = QStringLiteral("inbox");

    EditorModel *editor = m_parts.editor;
    ServiceQueueModel *queue = m_parts.queue;
    SorvaneInboxModel *inbox = m_parts.inbox;
    const auto changed = [this] { Q_EMIT stateChanged(); };
    const auto customers = [this] {
        m_customers.reset();
        Q_EMIT customersChanged();
    };

    for (auto signal : {&EditorModel::busyChanged, &EditorModel::errorChanged, &EditorModel::messageChanged,
                        &EditorModel::credentialsChanged, &EditorModel::repositoryChanged})
        connect(editor, signal, this, changed);
    connect(editor, &EditorModel::errorChanged, queue, &ServiceQueueModel::editorErrorChanged);
    for (auto signal : {&EditorModel::credentialsChanged, &EditorModel::repositoryChanged})
        connect(editor, signal, this, &SorvaneWorkspace::scheduleParticipants);
    connect(editor, &EditorModel::credentialsChanged, this, customers);

    const ServiceCompanyDirectory &directory = queue->directory();
    connectPartValue(directory, this, [](const ServiceCompanyDirectory &d) { return d.loadingCompanies(); }, changed);
    connectPartValue(directory, this, [](const ServiceCompanyDirectory &d) { return d.companies(); }, customers);
    connectPartValue(directory, this, [](const ServiceCompanyDirectory &d) { return d.companiesVerified(); }, customers);
    connectPartValue(directory, this, [](const ServiceCompanyDirectory &d) { return d.nextCompanyID(); }, customers);
    using A = ServiceOpenedTask::Assignments;
    connectAssigned(queue->openedTask(), this, {&A::detail}, [this] { Q_EMIT detailRevisionChanged(); });

    for (auto signal : {&SorvaneInboxModel::loadingChanged, &SorvaneInboxModel::mutatingChanged,
                        &SorvaneInboxModel::selectingRequestChanged, &SorvaneInboxModel::errorChanged,
                        &SorvaneInboxModel::mutationErrorChanged, &SorvaneInboxModel::pendingClaimIDChanged,
                        &SorvaneInboxModel::preferencesChanged, &SorvaneInboxModel::itemsChanged,
                        &SorvaneInboxModel::nextItemChanged, &SorvaneInboxModel::nextCursorChanged,
                        &SorvaneInboxModel::operatorIDChanged})
        connect(inbox, signal, this, changed);
    for (auto signal : {&SorvaneInboxModel::itemsChanged, &SorvaneInboxModel::nextItemChanged}) {
        connect(inbox, signal, this, customers);
        connect(inbox, signal, this, &SorvaneWorkspace::selectionRevisionChanged);
    }
    for (auto signal : {&SorvaneInboxModel::itemsChanged, &SorvaneInboxModel::nextItemChanged,
                        &SorvaneInboxModel::operatorIDChanged, &SorvaneInboxModel::serverTimeChanged})
        connect(inbox, signal, this, &SorvaneWorkspace::scheduleParticipants);
    connect(inbox, &SorvaneInboxModel::selectedIDChanged, this, &SorvaneWorkspace::openSelection);

    if (m_parts.profiles) {
        connect(m_parts.profiles, &SorvaneWorkspaceProfiles::participantsErrorChanged, this, changed);
    }

    // The handlers react to changes only, never to the values found now.
    m_seenSelection = inbox->selectedID();
    if (const auto row = inbox->selectedItem())
        m_seenSelectedRevision = row->request.revision;
    if (const auto &detail = queue->openedTask().detail())
        m_seenDetailRevision = detail->request.revision;
}

SorvaneWorkspace::~SorvaneWorkspace()
{
    if (m_participants)
        m_participants->cancel();
}

// ---- derived ----

QList<SorvaneInboxRow> SorvaneWorkspace::allItems() const
{
    QList<SorvaneInboxRow> rows = m_parts.inbox->items();
    if (const auto &next = m_parts.inbox->nextItem()) {
        const bool listed = std::any_of(rows.cbegin(), rows.cend(), [&](const SorvaneInboxRow &row) {
            return row.request.id == next->request.id;
        });
        if (!listed)
            rows.append(*next);
    }
    return rows;
}

QString SorvaneWorkspace::profileRequestKey() const
{
    const SorvaneInboxModel &inbox = *m_parts.inbox;
    QStringList entries;
    for (const SorvaneInboxRow &row : allItems())
        entries << row.request.id + u':' + QString::number(row.request.revision) + u':'
                       + row.request.claimed_by.value_or(QString());
    const QUrl credentials = m_parts.editor->credentials();
    return QStringList{credentials.isEmpty() ? QString() : credentials.toString(QUrl::FullyEncoded),
                       m_parts.editor->repository(),
                       inbox.operatorID() ? inbox.operatorID()->toString(QUuid::WithoutBraces).toUpper() : QString(),
                       inbox.serverTime().value_or(QString()),
                       entries.join(u','),
                       QString::number(m_profileReload)}
        .join(u'\n');
}

QList<ServiceCompany> SorvaneWorkspace::customerNames() const
{
    if (!m_customers) {
        const ServiceQueueModel &queue = *m_parts.queue;
        const QList<ServiceCompany> directory = queue.directory().companiesVerified() ? queue.directory().companies() : QList<ServiceCompany>();
        m_customers = SorvaneInboxPresentation::customers(
            directory, allItems(), SorvaneInboxPresentation::locale(EditorLocalization::language()));
    }
    return *m_customers;
}

std::optional<QString> SorvaneWorkspace::selectedCustomerName() const
{
    const auto &chosen = m_parts.inbox->preferences().companyID;
    if (!chosen)
        return std::nullopt;
    for (const ServiceCompany &company : customerNames())
        if (company.id == *chosen)
            return company.name;
    return std::nullopt;
}

bool SorvaneWorkspace::signedIn() const
{
    return !m_parts.editor->credentials().isEmpty();
}

bool SorvaneWorkspace::refreshEnabled() const
{
    return signedIn() && !m_parts.inbox->loading() && !m_parts.editor->busy();
}

bool SorvaneWorkspace::inboxEnabled() const
{
    return !m_parts.editor->busy() && !m_parts.queue->directory().loadingCompanies() && !m_parts.inbox->mutating()
        && !m_parts.inbox->selectingRequest();
}

QList<SorvaneNotice> SorvaneWorkspace::notices() const
{
    using Kind = SorvaneNotice::Kind;
    const EditorModel &editor = *m_parts.editor;
    const SorvaneInboxModel &inbox = *m_parts.inbox;
    QList<SorvaneNotice> notices;
    if (m_parts.profiles)
        if (const auto error = m_parts.profiles->participantsError())
            notices.append({Kind::profiles, *error});
    if (const auto busy = editor.busy())
        notices.append({Kind::busy, *busy});
    // One error at a time: the inbox's, then the claim's, then the editor's.
    if (const auto error = inbox.error() ? inbox.error() : inbox.mutationError() ? inbox.mutationError() : editor.error())
        notices.append({Kind::error, *error});
    if (inbox.hasPendingClaim())
        notices.append({Kind::retryClaim, loc("Retry the same claim"), !inbox.mutating()});
    if (const auto message = editor.message())
        notices.append({Kind::message, *message});
    if (m_parts.unsupportedTestLaunch)
        notices.append({Kind::localTest, loc("Lokal test kræver en DEBUG-build · forbindelse blokeret")});
    return notices;
}

SorvaneEmptyState SorvaneWorkspace::emptyState() const
{
    const SorvaneInboxModel &inbox = *m_parts.inbox;
    if (inbox.loading() || inbox.hasVisibleItems())
        return SorvaneEmptyState::none;
    if (!signedIn())
        return SorvaneEmptyState::signedOut;
    const SorvaneInboxPreferences &p = inbox.preferences();
    if (p.companyID || !p.query.isEmpty() || p.filter != SorvaneInboxFilter::all)
        return SorvaneEmptyState::filtered;
    return SorvaneEmptyState::unfiltered;
}

std::optional<SorvanePersonProfile> SorvaneWorkspace::customer(const SorvaneInboxRow &row) const
{
    return m_parts.profiles ? m_parts.profiles->customer(row) : std::nullopt;
}

std::optional<SorvaneRequestParticipants> SorvaneWorkspace::participants(const SorvaneInboxRow &row) const
{
    return m_parts.profiles ? m_parts.profiles->participants(row) : std::nullopt;
}

void SorvaneWorkspace::setLayout(const QString &layout)
{
    if (layout == m_layout)
        return;
    m_layout = layout;
    m_parts.defaults->setValue(QString::fromLatin1(layoutKey), layout);
    Q_EMIT layoutChanged();
}

// ---- actions ----

void SorvaneWorkspace::appear()
{
    if (signedIn() && m_parts.inbox->items().isEmpty())
        refresh();
    scheduleParticipants();
}

void SorvaneWorkspace::refresh()
{
    m_parts.inbox->refresh(*m_parts.queueEditor);
}

void SorvaneWorkspace::retryProfiles()
{
    ++m_profileReload;
    scheduleParticipants();
}

void SorvaneWorkspace::retryClaim()
{
    if (m_parts.inbox->hasPendingClaim())
        m_parts.inbox->claimNext(*m_parts.queueEditor);
}

void SorvaneWorkspace::stop()
{
    m_parts.editor->cancel();
}

void SorvaneWorkspace::showFullInbox()
{
    // Three separate changes: the inbox stores each and checks the selection after each.
    SorvaneInboxModel &inbox = *m_parts.inbox;
    SorvaneInboxPreferences p = inbox.preferences();
    p.companyID.reset();
    inbox.setPreferences(p);
    p = inbox.preferences();
    p.query.clear();
    inbox.setPreferences(p);
    p = inbox.preferences();
    p.filter = SorvaneInboxFilter::all;
    inbox.setPreferences(p);
}

void SorvaneWorkspace::setFilter(SorvaneInboxFilter filter)
{
    SorvaneInboxPreferences p = m_parts.inbox->preferences();
    p.filter = filter;
    m_parts.inbox->setPreferences(p);
}

void SorvaneWorkspace::setCustomer(const std::optional<QUuid> &companyID)
{
    SorvaneInboxPreferences p = m_parts.inbox->preferences();
    p.companyID = companyID;
    m_parts.inbox->setPreferences(p);
}

void SorvaneWorkspace::loadMoreCustomers()
{
    m_parts.queue->fetchCompanies(*m_parts.queueEditor, true);
}

void SorvaneWorkspace::loadMore()
{
    m_parts.inbox->loadMore(*m_parts.queueEditor);
}

void SorvaneWorkspace::select(const std::optional<QString> &requestID)
{
    m_parts.inbox->setSelectedID(requestID);
}

void SorvaneWorkspace::showSettings()
{
    if (m_parts.showSettings)
        m_parts.showSettings();
}

void SorvaneWorkspace::chooseStorage()
{
    if (m_parts.chooseStorage)
        m_parts.chooseStorage();
}

void SorvaneWorkspace::openSelectionAgain()
{
    openSelection();
    if (m_parts.openSelectionAgain)
        m_parts.openSelectionAgain();
}

// ---- reactions ----

void SorvaneWorkspace::openSelection()
{
    SorvaneInboxModel &inbox = *m_parts.inbox;
    const auto row = inbox.selectedItem();
    m_seenSelection = inbox.selectedID();
    m_seenSelectedRevision = row ? std::optional<qint64>(row->request.revision) : std::nullopt;
    const auto operatorID = inbox.operatorID();
    if (row && operatorID) {
        if (m_parts.openSorvane)
            m_parts.openSorvane(row->request, *operatorID);
        inbox.loadPipeline(*row, *m_parts.queueEditor, false);
    } else {
        m_parts.queue->clearSelection();
    }
}

void SorvaneWorkspace::selectionRevisionChanged()
{
    // A new selection is opened by its own handler (its notice may still be
    // on its way): the same task is not opened twice.
    if (m_parts.inbox->selectedID() != m_seenSelection)
        return;
    const auto row = m_parts.inbox->selectedItem();
    const std::optional<qint64> revision = row ? std::optional<qint64>(row->request.revision) : std::nullopt;
    if (revision == m_seenSelectedRevision)
        return;
    m_seenSelectedRevision = revision;
    // A row that went away is the selection's business, not this one's.
    if (revision)
        openSelection();
}

void SorvaneWorkspace::detailRevisionChanged()
{
    const auto &detail = m_parts.queue->openedTask().detail();
    const std::optional<qint64> revision = detail ? std::optional<qint64>(detail->request.revision) : std::nullopt;
    if (revision == m_seenDetailRevision)
        return;
    m_seenDetailRevision = revision;
    const auto row = m_parts.inbox->selectedItem();
    if (detail && row && detail->request.id == row->request.id && row->request.revision < detail->request.revision
        && !m_parts.inbox->loading())
        refresh();
}

// A new page changes rows, operator and server time together: one load follows.
void SorvaneWorkspace::scheduleParticipants()
{
    if (m_participantsQueued)
        return;
    m_participantsQueued = true;
    QMetaObject::invokeMethod(this, &SorvaneWorkspace::runParticipants, Qt::QueuedConnection);
}

void SorvaneWorkspace::runParticipants()
{
    m_participantsQueued = false;
    const QString key = profileRequestKey();
    if (m_participantsStarted && key == m_participantsKey)
        return;
    m_participantsStarted = true;
    m_participantsKey = key;
    if (m_participants)
        m_participants->cancel();
    m_participants.reset();
    if (m_parts.queue->isDemo() || !m_parts.profiles)
        return;
    CancellationToken token;
    m_participants = token;
    m_parts.profiles->loadParticipants(allItems(), m_parts.inbox->operatorID(), token);
}
