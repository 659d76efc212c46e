// Request selection, customer pipeline, claim-next and start, and
// metadata-sharing consent of the Sorvane inbox model.

#include "inbox/sorvaneinboxmodel.h"

#include "foundation/decoding/strictformats.h"
#include "foundation/errors.h"
#include "foundation/failuretext.h"
#include "foundation/localization.h"
#include "foundation/logging.h"
#include "inbox/sorvaneinboxwire.h"
#include "inbox/sorvanependingclaim.h"

#include <QSet>
#include <qcoro/qcorotimer.h>

namespace {
constexpr int selectionPageLimit = 100;
// How often a selection that found another page load running looks again.
constexpr std::chrono::milliseconds busyPageRetry(25);
}

// ---- request selection ----

void SorvaneInboxModel::selectRequest(const QUuid &requestID, ServiceQueueEditor &editor)
{
    const auto selectionIdentity = identity(editor);
    if (m_loading || m_mutating || !selectionIdentity || m_activeIdentity != selectionIdentity || !m_operatorID)
        return;
    cancel(m_requestSelectionOperation);
    const QUuid generation = QUuid::createUuid();
    set(m_requestSelectionGeneration, generation, &SorvaneInboxModel::requestSelectionGenerationChanged);
    set(m_selectingRequest, true, &SorvaneInboxModel::selectingRequestChanged);
    set(m_error, std::optional<QString>(), &SorvaneInboxModel::errorChanged);
    selectionWalk(&editor, generation, *selectionIdentity, *m_operatorID, requestID,
                  startTask(m_requestSelectionOperation));
}

QCoro::Task<void> SorvaneInboxModel::selectionWalk(ServiceQueueEditor *editor, QUuid generation,
                                                   ServiceIdentity walkIdentity, QUuid walkOperator, QUuid requestID,
                                                   CancellationToken task)
{
    QPointer<SorvaneInboxModel> self(this);
    const auto current = [&] {
        return self->m_requestSelectionGeneration == generation && self->m_activeIdentity == walkIdentity
            && self->identity(*editor) == walkIdentity && self->m_operatorID == walkOperator && !task.isCancelled();
    };
    const auto find = [&]() -> std::optional<SorvaneInboxRow> {
        for (const SorvaneInboxRow &row : self->m_items)
            if (StrictFormats::parseUuid(row.request.id) == requestID)
                return row;
        if (self->m_nextItem && StrictFormats::parseUuid(self->m_nextItem->request.id) == requestID)
            return self->m_nextItem;
        return std::nullopt;
    };

    std::optional<QString> failure;
    int pagesLoaded = 0;
    // Iterates; only pages that were actually requested count toward the limit.
    while (current()) {
        if (const auto row = find()) {
            const HeldNotices held(*this);
            SorvaneInboxPreferences shown = m_preferences;
            shown.companyID.reset();
            shown.query.clear();
            shown.filter = row->nextActor(walkOperator) == SorvaneNextActor::closed ? SorvaneInboxFilter::completed
                                                                                    : SorvaneInboxFilter::all;
            setPreferences(shown);
            setSelectedID(row->request.id);
            break;
        }
        if (!hasMore()) {
            failure = loc("This task is no longer available to this account. Refresh the inbox.");
            break;
        }
        bool ran = false;
        try {
            ran = co_await loadPage(*editor, true, task);
        } catch (...) {
            logFailure(lcInbox, "loading an inbox page to find a task");
            if (!alive(self))
                co_return;
            failure = failureText(std::current_exception());
            break;
        }
        if (!alive(self))
            co_return;
        if (!ran) {
            // Another page load (a claim's reload) holds the slot: wait for it
            // to end instead of counting a page that was never asked for.
            if (!m_loading)
                break;
            co_await QCoro::sleepFor(busyPageRetry);
            if (!alive(self))
                co_return;
            continue;
        }
        if (++pagesLoaded == selectionPageLimit) {
            failure = loc("Could not find the film in the loaded inbox. Refresh and try again.");
            break;
        }
    }
    if (failure && current())
        set(m_error, failure, &SorvaneInboxModel::errorChanged);
    if (m_requestSelectionGeneration == generation)
        set(m_selectingRequest, false, &SorvaneInboxModel::selectingRequestChanged);
}

// ---- customer pipeline ----

bool SorvaneInboxModel::pipelineRequestCurrent(const QUuid &generation, const ServiceIdentity &requestIdentity,
                                               const QUuid &companyID, const ServiceQueueEditor &editor) const
{
    const auto selected = selectedItem();
    return m_pipelineGeneration == generation && m_activeIdentity == requestIdentity
        && identity(editor) == requestIdentity && selected && selected->company.id == companyID;
}

bool SorvaneInboxModel::pipelineMayLoad(const SorvaneInboxRow &row, const ServiceQueueEditor &editor, bool more) const
{
    const auto requestIdentity = identity(editor);
    const auto selected = selectedItem();
    if (!requestIdentity || m_activeIdentity != requestIdentity || !m_operatorID || !selected
        || selected->company.id != row.company.id)
        return false;
    return !more || (m_pipeline && m_pipeline->company.id == row.company.id && m_pipeline->nextCursor);
}

void SorvaneInboxModel::loadPipeline(const SorvaneInboxRow &row, ServiceQueueEditor &editor, bool more)
{
    if (m_pipelineLoading && more)
        return;
    // A request that may not run leaves the running one alone: cancelling it
    // first would lose the selected customer's pipeline without a word.
    if (!pipelineMayLoad(row, editor, more))
        return;
    cancel(m_pipelineOperation);
    fetchPipeline(row, &editor, more, startTask(m_pipelineOperation));
}

QCoro::Task<void> SorvaneInboxModel::fetchPipeline(SorvaneInboxRow row, ServiceQueueEditor *editor, bool more,
                                                   CancellationToken task)
{
    if (!pipelineMayLoad(row, *editor, more))
        co_return;
    const auto requestIdentity = identity(*editor);
    std::optional<SorvanePipelinePage> held;
    if (more)
        held = m_pipeline;
    const QUuid operatorID = *m_operatorID;
    const QUuid generation = QUuid::createUuid();
    set(m_pipelineGeneration, generation, &SorvaneInboxModel::pipelineGenerationChanged);
    set(m_pipelineLoading, true, &SorvaneInboxModel::pipelineLoadingChanged);
    set(m_pipelineError, std::optional<QString>(), &SorvaneInboxModel::pipelineErrorChanged);
    if (!more)
        setPipeline(std::nullopt);

    QPointer<SorvaneInboxModel> self(this);
    const auto current = [&] {
        return self->pipelineRequestCurrent(generation, *requestIdentity, row.company.id, *editor);
    };
    std::exception_ptr failure;
    try {
        const QByteArray answer = co_await m_bridge(
            BridgeCommand::servicePipeline(requestIdentity->credentials, row.company.id,
                                           held ? held->nextCursor : std::nullopt, operatorID),
            toolsFolder(*requestIdentity), task);
        if (!alive(self))
            co_return;
        if (current() && !task.isCancelled()) {
            SorvanePipelinePage page = SorvaneInboxWire::pipeline(answer, row.company.id, operatorID);
            if (held) {
                const auto changed = [] { return BridgeError::failed(loc("The customer pipeline changed. Refresh it.")); };
                const QString cursor = StrictFormats::canonicalUuid(*held->nextCursor).toLower();
                if (page.company.metadataAccess != held->company.metadataAccess)
                    throw changed();
                QSet<QUuid> heldIDs;
                for (const SorvanePipelineFilm &film : held->films)
                    heldIDs.insert(film.id);
                for (const SorvanePipelineFilm &film : page.films)
                    if (!(StrictFormats::canonicalUuid(film.id).toLower() > cursor) || heldIDs.contains(film.id))
                        throw changed();
                page.films = held->films + page.films;
            }
            setPipeline(std::move(page));
        }
    } catch (...) {
        logFailure(lcInbox, "loading the pipeline");
        if (!alive(self))
            co_return;
        failure = std::current_exception();
    }
    if (failure && current() && !task.isCancelled()) {
        setPipeline(std::nullopt);
        if (const auto text = failureText(failure))
            set(m_pipelineError, text, &SorvaneInboxModel::pipelineErrorChanged);
    }
    // The run's own token decides, not whether the selected row is on hand:
    // a first-page inbox reload empties the rows for a moment.
    if (m_pipelineGeneration == generation)
        set(m_pipelineLoading, false, &SorvaneInboxModel::pipelineLoadingChanged);
}

// ---- claim-next and start ----

void SorvaneInboxModel::claimNext(ServiceQueueEditor &editor)
{
    const auto claimIdentity = identity(editor);
    if (m_mutating || !claimIdentity || m_activeIdentity != claimIdentity || !m_operatorID)
        return;
    const QString key = SorvanePendingClaim::key(*claimIdentity, *m_operatorID);
    const QUuid commandID = SorvanePendingClaim::begin(m_defaults, key);
    set(m_pendingClaimID, std::optional<QUuid>(commandID), &SorvaneInboxModel::pendingClaimIDChanged);
    runMutation(BridgeCommand::serviceClaimNext(claimIdentity->credentials, commandID, *m_operatorID), editor,
                *claimIdentity, *m_operatorID, key, std::nullopt);
}

void SorvaneInboxModel::start(const SorvaneInboxRow &row, ServiceQueueEditor &editor)
{
    const auto startIdentity = identity(editor);
    if (m_mutating || !startIdentity || m_activeIdentity != startIdentity || !m_operatorID)
        return;
    if (!row.canStart(m_operatorID))
        return;
    runMutation(BridgeCommand::serviceStart(startIdentity->credentials, row.company.id, row.request.id,
                                            row.request.revision, *m_operatorID),
                editor, *startIdentity, *m_operatorID, std::nullopt, row);
}

void SorvaneInboxModel::runMutation(BridgeCommand command, ServiceQueueEditor &editor, const ServiceIdentity &runIdentity,
                                    const QUuid &operatorID, std::optional<QString> claimKey,
                                    std::optional<SorvaneInboxRow> expectedRow)
{
    const QUuid generation = QUuid::createUuid();
    set(m_mutationGeneration, generation, &SorvaneInboxModel::mutationGenerationChanged);
    set(m_mutating, true, &SorvaneInboxModel::mutatingChanged);
    set(m_mutationError, std::optional<QString>(), &SorvaneInboxModel::mutationErrorChanged);
    assign(m_lastMutationItem, std::optional<SorvaneInboxRow>(), &SorvaneInboxModel::lastMutationItemChanged);
    // An earlier handle is replaced, not cancelled.
    mutationRun(std::move(command), &editor, runIdentity, operatorID, std::move(claimKey), std::move(expectedRow),
                generation, startTask(m_mutationOperation));
}

QCoro::Task<void> SorvaneInboxModel::mutationRun(BridgeCommand command, ServiceQueueEditor *editor,
                                                 ServiceIdentity runIdentity, QUuid operatorID,
                                                 std::optional<QString> claimKey,
                                                 std::optional<SorvaneInboxRow> expectedRow, QUuid generation,
                                                 CancellationToken task)
{
    QPointer<SorvaneInboxModel> self(this);
    const auto current = [&] {
        return self->m_mutationGeneration == generation && self->m_activeIdentity == runIdentity
            && self->identity(*editor) == runIdentity;
    };

    std::exception_ptr failure;
    std::optional<SorvaneMutationResult> result;
    try {
        const QByteArray answer = co_await m_bridge(command, toolsFolder(runIdentity), task);
        if (!alive(self))
            co_return;
        if (current() && !task.isCancelled()) {
            result = SorvaneInboxWire::mutation(answer, operatorID);
            if (expectedRow) {
                const auto &item = result->item;
                if (!item || item->request.id != expectedRow->request.id || item->company.id != expectedRow->company.id
                    || item->film.id != expectedRow->film.id || item->scheduling.round != expectedRow->scheduling.round
                    || !item->scheduling.startedAt)
                    throw BridgeError::failed(loc("Could not verify the updated task. Refresh it."));
            }
        }
    } catch (...) {
        logFailure(lcInbox, "a task change");
        if (!alive(self))
            co_return;
        failure = std::current_exception();
        result.reset();
    }

    if (failure && current() && !task.isCancelled()) {
        if (const auto text = failureText(failure))
            set(m_mutationError, text, &SorvaneInboxModel::mutationErrorChanged);
    }

    if (result) {
        // Notices wait until the answer is applied as a whole (never across the await below).
        std::optional<HeldNotices> held(std::in_place, *this);
        if (claimKey) {
            SorvanePendingClaim::remove(m_defaults, *claimKey);
            set(m_pendingClaimID, std::optional<QUuid>(), &SorvaneInboxModel::pendingClaimIDChanged);
        }
        assign(m_lastMutationItem, result->item, &SorvaneInboxModel::lastMutationItemChanged);
        if (const auto &item = result->item) {
            QList<SorvaneInboxRow> rows = m_items;
            const auto found = std::find_if(rows.begin(), rows.end(), [&](const SorvaneInboxRow &row) {
                return row.request.id == item->request.id;
            });
            if (found != rows.end())
                *found = *item;
            else
                rows.append(*item);
            setItems(std::move(rows));
            setNextItem(std::nullopt);
            // Three assignments, as a person changing the options would make them.
            SorvaneInboxPreferences shown = m_preferences;
            shown.companyID.reset();
            setPreferences(shown);
            shown.filter = SorvaneInboxFilter::all;
            setPreferences(shown);
            shown.query.clear();
            setPreferences(shown);
            setSelectedID(item->request.id);
        }
        setNextItem(std::nullopt);
        held.reset();
        if (!alive(self))
            co_return;
        try {
            co_await loadPage(*editor, false, task);
        } catch (...) {
            logFailure(lcInbox, "reloading the inbox after a task change");
            // The reload reports in error(); the mutation itself succeeded.
        }
        if (!alive(self))
            co_return;
        if (current() && !task.isCancelled() && result->item) {
            const SorvaneInboxRow &item = *result->item;
            const bool listed = std::any_of(m_items.cbegin(), m_items.cend(), [&](const SorvaneInboxRow &row) {
                return row.request.id == item.request.id;
            });
            if (!listed)
                setItems(m_items + QList<SorvaneInboxRow>{item});
            setSelectedID(item.request.id);
        }
    }

    if (m_mutationGeneration == generation) {
        set(m_mutating, false, &SorvaneInboxModel::mutatingChanged);
        if (identity(*editor) != runIdentity)
            clear();
    }
}

// ---- metadata-sharing consent ----

void SorvaneInboxModel::metadata(const SorvaneInboxRow &row, ServiceQueueEditor &editor,
                                 const std::optional<MetadataUpdate> &update)
{
    if (m_metadataLoading)
        return;
    const auto requestIdentity = identity(editor);
    if (!requestIdentity || m_activeIdentity != requestIdentity || !m_operatorID)
        return;
    const auto selected = selectedItem();
    if (!selected || selected->company.id != row.company.id)
        return;
    if (!m_pipeline || !m_pipeline->company.canManageMetadata)
        return;
    const QUuid run = QUuid::createUuid();
    m_metadataRun = run;
    set(m_metadataLoading, true, &SorvaneInboxModel::metadataLoadingChanged);
    set(m_metadataError, std::optional<QString>(), &SorvaneInboxModel::metadataErrorChanged);
    metadataRun(row, &editor, update, *requestIdentity, *m_operatorID, m_pipelineGeneration, run, m_lifetime);
}

QCoro::Task<void> SorvaneInboxModel::metadataRun(SorvaneInboxRow row, ServiceQueueEditor *editor,
                                                 std::optional<MetadataUpdate> update, ServiceIdentity requestIdentity,
                                                 QUuid operatorID, QUuid generation, QUuid run, CancellationToken task)
{
    QPointer<SorvaneInboxModel> self(this);
    const auto current = [&] {
        return self->pipelineRequestCurrent(generation, requestIdentity, row.company.id, *editor);
    };
    const auto release = [&] {
        // Only the run that set the flag releases it, whether or not its answer still applies.
        if (self->m_metadataRun == run) {
            self->m_metadataRun = QUuid();
            self->set(self->m_metadataLoading, false, &SorvaneInboxModel::metadataLoadingChanged);
        }
    };
    const BridgeCommand command = update
        ? BridgeCommand::serviceMetadataConsent(requestIdentity.credentials, row.company.id, update->revision,
                                                update->allowPipeline, update->contactName, operatorID)
        : BridgeCommand::serviceMetadataSettings(requestIdentity.credentials, row.company.id, operatorID);

    std::exception_ptr failure;
    bool reloadPipeline = false;
    try {
        const QByteArray answer = co_await m_bridge(command, toolsFolder(requestIdentity), task);
        if (!alive(self))
            co_return;
        if (current() && !task.isCancelled()) {
            SorvaneMetadataSettings settings = SorvaneInboxWire::metadata(answer, row.company.id);
            assign(m_metadataSettings, std::optional<SorvaneMetadataSettings>(std::move(settings)),
                   &SorvaneInboxModel::metadataSettingsChanged);
            reloadPipeline = update.has_value();
        }
    } catch (...) {
        logFailure(lcInbox, "the metadata settings");
        if (!alive(self))
            co_return;
        failure = std::current_exception();
    }
    if (failure && current() && !task.isCancelled()) {
        if (const auto text = failureText(failure))
            set(m_metadataError, text, &SorvaneInboxModel::metadataErrorChanged);
    }
    release();
    if (reloadPipeline)
        loadPipeline(row, *editor, false);
}
