// State, observers, derived lists and inbox paging of the Sorvane inbox model.

#include "inbox/sorvaneinboxmodel.h"
#include "foundation/failuretext.h"

#include "foundation/decoding/strictformats.h"
#include "foundation/decoding/strictjson.h"
#include "foundation/errors.h"
#include "foundation/localization.h"
#include "foundation/logging.h"
#include "foundation/settingsstore.h"
#include "inbox/sorvaneinboxwire.h"
#include "inbox/sorvanependingclaim.h"

#include <QSet>

SorvaneInboxModel::SorvaneInboxModel(ServiceBridge bridge, SettingsStore &defaults, QObject *parent)
    : QObject(parent), m_bridge(std::move(bridge)), m_defaults(defaults),
      // The stored record or the defaults; nothing is written back here.
      m_preferences(SorvaneInboxPreferences::load(defaults))
{
}

SorvaneInboxModel::~SorvaneInboxModel()
{
    m_closing = true;
    cancel(m_operation);
    cancel(m_requestSelectionOperation);
    cancel(m_pipelineOperation);
    cancel(m_mutationOperation);
    m_lifetime.cancel();
}

void SorvaneInboxModel::cancel(std::optional<CancellationToken> &task)
{
    // The handle stays in the slot; cancelling twice is harmless.
    if (task)
        task->cancel();
}

CancellationToken SorvaneInboxModel::startTask(std::optional<CancellationToken> &slot)
{
    slot = CancellationToken();
    return *slot;
}

void SorvaneInboxModel::notify(Signal signal)
{
    // Called at the write itself, also while notices are held back.
    // (setPreferences forgets the rows itself, before it repairs the selection.)
    if (signal == &SorvaneInboxModel::itemsChanged || signal == &SorvaneInboxModel::nextItemChanged
        || signal == &SorvaneInboxModel::operatorIDChanged)
        forgetDerived();
    if (!m_heldSignals) {
        Q_EMIT(this->*signal)();
        return;
    }
    if (!m_heldSignals->contains(signal))
        m_heldSignals->append(signal);
}

SorvaneInboxModel::HeldNotices::HeldNotices(SorvaneInboxModel &model)
    : m_model(model), m_outermost(!model.m_heldSignals)
{
    if (m_outermost)
        m_model.m_heldSignals = &m_signals;
}

SorvaneInboxModel::HeldNotices::~HeldNotices()
{
    if (!m_outermost)
        return;
    m_model.m_heldSignals = nullptr;
    QPointer<SorvaneInboxModel> alive(&m_model);
    for (Signal signal : std::as_const(m_signals)) {
        if (!alive)
            return;
        Q_EMIT(m_model.*signal)();
    }
}

QString SorvaneInboxModel::toolsFolder(const ServiceIdentity &identity) const
{
    return identity.repository.toLocalFile();
}

std::optional<ServiceIdentity> SorvaneInboxModel::identity(const ServiceQueueEditor &editor) const
{
    return ServiceIdentity::form(editor.credentials(), editor.repository(), editor.unsupportedTestLaunch());
}

// ---- observers ----

// Observers hear of a change only once the model's own reaction is done: a
// listener that loads the new selection's pipeline must not see that load
// undone by the reset that follows.
void SorvaneInboxModel::setSelectedID(const std::optional<QString> &id)
{
    const std::optional<QString> previous = m_selectedID;
    m_selectedID = id;
    selectionChanged(previous);
    if (previous != m_selectedID)
        notify(&SorvaneInboxModel::selectedIDChanged);
}

void SorvaneInboxModel::selectionChanged(const std::optional<QString> &previous)
{
    if (previous == m_selectedID)
        return;
    set(m_pipelineGeneration, QUuid::createUuid(), &SorvaneInboxModel::pipelineGenerationChanged);
    cancel(m_pipelineOperation);
    setPipeline(std::nullopt);
    set(m_pipelineLoading, false, &SorvaneInboxModel::pipelineLoadingChanged);
    set(m_pipelineError, std::optional<QString>(), &SorvaneInboxModel::pipelineErrorChanged);
    assign(m_metadataSettings, std::optional<SorvaneMetadataSettings>(), &SorvaneInboxModel::metadataSettingsChanged);
    m_metadataRun = QUuid();
    set(m_metadataLoading, false, &SorvaneInboxModel::metadataLoadingChanged);
    set(m_metadataError, std::optional<QString>(), &SorvaneInboxModel::metadataErrorChanged);
}

void SorvaneInboxModel::setPreferences(const SorvaneInboxPreferences &preferences)
{
    const bool changed = !(m_preferences == preferences);
    m_preferences = preferences;
    if (changed)
        forgetDerived();
    // Stored and re-checked on every assignment, also of an equal value.
    m_preferences.save(m_defaults);
    repairSelection();
    if (changed)
        notify(&SorvaneInboxModel::preferencesChanged);
}

void SorvaneInboxModel::repairSelection()
{
    const QList<qsizetype> visible = visibleOrder();
    const auto rowAt = [this](qsizetype position) -> const SorvaneInboxRow & {
        return position < m_items.size() ? m_items.at(position) : *m_nextItem;
    };
    if (m_selectedID) {
        for (qsizetype position : visible)
            if (rowAt(position).request.id == *m_selectedID)
                return;
    }
    if (const auto pinned = pinnedNextItem())
        setSelectedID(pinned->request.id);
    else if (!visible.isEmpty())
        setSelectedID(rowAt(visible.first()).request.id);
    else
        setSelectedID(std::nullopt);
}

// ---- derived ----

void SorvaneInboxModel::forgetDerived()
{
    m_visible.reset();
    m_groups.reset();
    m_order.reset();
    m_sections.reset();
}

const QList<qsizetype> &SorvaneInboxModel::visibleOrder() const
{
    static const QLocale locale = SorvaneInboxPresentation::locale(EditorLocalization::language());
    if (!m_order)
        m_order = SorvaneInboxPresentation::order(m_items, m_nextItem, m_preferences, m_operatorID, locale);
    return *m_order;
}

QList<SorvaneInboxRow> SorvaneInboxModel::visibleItems() const
{
    if (!m_visible) {
        QList<SorvaneInboxRow> rows;
        rows.reserve(visibleOrder().size());
        for (qsizetype position : visibleOrder())
            rows.append(position < m_items.size() ? m_items.at(position) : *m_nextItem);
        m_visible = std::move(rows);
    }
    return *m_visible;
}

std::optional<SorvaneInboxRow> SorvaneInboxModel::pinnedNextItem() const
{
    if (m_nextItem && SorvaneInboxPresentation::matches(*m_nextItem, m_preferences, m_operatorID))
        return m_nextItem;
    return std::nullopt;
}

const QList<SorvaneInboxSection> &SorvaneInboxModel::sections() const
{
    if (!m_sections) {
        // The pinned row shows above the groups, not in them.
        const auto pinned = pinnedNextItem();
        m_sections = SorvaneInboxPresentation::sections(m_items, m_nextItem, visibleOrder(), m_preferences.group,
                                                        pinned ? std::optional(pinned->request.id) : std::nullopt);
    }
    return *m_sections;
}

QList<SorvaneInboxGroup> SorvaneInboxModel::groups() const
{
    if (m_groups)
        return *m_groups;
    QList<SorvaneInboxGroup> groups;
    for (const SorvaneInboxSection &section : sections()) {
        SorvaneInboxGroup group{section.id, section.title, {}};
        group.items.reserve(section.rows.size());
        for (qsizetype position : section.rows)
            group.items.append(position < m_items.size() ? m_items.at(position) : *m_nextItem);
        groups.append(std::move(group));
    }
    m_groups = std::move(groups);
    return *m_groups;
}

std::array<void (SorvaneInboxModel::*)(), 4> SorvaneInboxModel::arrangementSignals()
{
    return {&SorvaneInboxModel::itemsChanged, &SorvaneInboxModel::nextItemChanged,
            &SorvaneInboxModel::preferencesChanged, &SorvaneInboxModel::operatorIDChanged};
}

SorvaneInboxModel::Arrangement SorvaneInboxModel::arrangement() const
{
    return {m_items, m_nextItem, pinnedNextItem(), sections()};
}

std::optional<SorvaneInboxRow> SorvaneInboxModel::selectedItem() const
{
    if (!m_selectedID)
        return std::nullopt;
    for (const SorvaneInboxRow &row : m_items)
        if (row.request.id == *m_selectedID)
            return row;
    if (m_nextItem && m_nextItem->request.id == *m_selectedID)
        return m_nextItem;
    return std::nullopt;
}

// ---- paging ----

void SorvaneInboxModel::forgetPage()
{
    setItems({});
    setNextItem(std::nullopt);
    set(m_nextCursor, std::optional<SorvaneInboxCursor>(), &SorvaneInboxModel::nextCursorChanged);
    set(m_operatorID, std::optional<QUuid>(), &SorvaneInboxModel::operatorIDChanged);
    set(m_serverTime, std::optional<QString>(), &SorvaneInboxModel::serverTimeChanged);
}

void SorvaneInboxModel::clear()
{
    const HeldNotices held(*this);
    set(m_generation, QUuid::createUuid(), &SorvaneInboxModel::generationChanged);
    set(m_pipelineGeneration, QUuid::createUuid(), &SorvaneInboxModel::pipelineGenerationChanged);
    set(m_mutationGeneration, QUuid::createUuid(), &SorvaneInboxModel::mutationGenerationChanged);
    set(m_requestSelectionGeneration, QUuid::createUuid(), &SorvaneInboxModel::requestSelectionGenerationChanged);
    m_metadataRun = QUuid();
    cancel(m_operation);
    cancel(m_pipelineOperation);
    cancel(m_mutationOperation);
    cancel(m_requestSelectionOperation);

    set(m_selectingRequest, false, &SorvaneInboxModel::selectingRequestChanged);
    set(m_activeIdentity, std::optional<ServiceIdentity>(), &SorvaneInboxModel::activeIdentityChanged);
    forgetPage();
    setSelectedID(std::nullopt);
    set(m_loading, false, &SorvaneInboxModel::loadingChanged);
    set(m_error, std::optional<QString>(), &SorvaneInboxModel::errorChanged);
    set(m_mutating, false, &SorvaneInboxModel::mutatingChanged);
    set(m_mutationError, std::optional<QString>(), &SorvaneInboxModel::mutationErrorChanged);
    assign(m_lastMutationItem, std::optional<SorvaneInboxRow>(), &SorvaneInboxModel::lastMutationItemChanged);
    set(m_pendingClaimID, std::optional<QUuid>(), &SorvaneInboxModel::pendingClaimIDChanged);
    setPipeline(std::nullopt);
    set(m_pipelineLoading, false, &SorvaneInboxModel::pipelineLoadingChanged);
    set(m_pipelineError, std::optional<QString>(), &SorvaneInboxModel::pipelineErrorChanged);
    assign(m_metadataSettings, std::optional<SorvaneMetadataSettings>(), &SorvaneInboxModel::metadataSettingsChanged);
    set(m_metadataLoading, false, &SorvaneInboxModel::metadataLoadingChanged);
    set(m_metadataError, std::optional<QString>(), &SorvaneInboxModel::metadataErrorChanged);
}

void SorvaneInboxModel::refresh(ServiceQueueEditor &editor)
{
    set(m_requestSelectionGeneration, QUuid::createUuid(), &SorvaneInboxModel::requestSelectionGenerationChanged);
    cancel(m_requestSelectionOperation);
    set(m_selectingRequest, false, &SorvaneInboxModel::selectingRequestChanged);
    cancel(m_operation);
    refreshTask(&editor, false, startTask(m_operation));
}

void SorvaneInboxModel::loadMore(ServiceQueueEditor &editor)
{
    if (m_loading || !hasMore())
        return;
    refreshTask(&editor, true, startTask(m_operation));
}

QCoro::Task<void> SorvaneInboxModel::refreshTask(ServiceQueueEditor *editor, bool more, CancellationToken task)
{
    try {
        co_await load(*editor, more, std::move(task));
    } catch (...) {
        logFailure(lcInbox, "loading the inbox");
        // The load has shown its failure in error().
    }
}

QCoro::Task<void> SorvaneInboxModel::load(ServiceQueueEditor &editor, bool more, CancellationToken task)
{
    // The caller's token may be its own: teardown still ends the tool run.
    struct Link
    {
        CancellationToken lifetime;
        int id;
        ~Link() { lifetime.removeCallback(id); }
    };
    const Link link{m_lifetime, m_lifetime.onCancel([task] { task.cancel(); })};
    co_await loadPage(editor, more, task);
}

QCoro::Task<bool> SorvaneInboxModel::loadPage(ServiceQueueEditor &editor, bool more, CancellationToken task)
{
    const std::optional<ServiceIdentity> loadIdentity = identity(editor);
    if (!loadIdentity) {
        clear();
        co_return false;
    }
    std::optional<SorvaneInboxCursor> cursor;
    std::optional<QUuid> expectedOperator;
    if (more) {
        if (m_loading || !m_nextCursor || m_activeIdentity != loadIdentity)
            co_return false;
        cursor = m_nextCursor;
        expectedOperator = m_operatorID;
    }

    const QUuid loadGeneration = QUuid::createUuid();
    set(m_generation, loadGeneration, &SorvaneInboxModel::generationChanged);
    set(m_activeIdentity, loadIdentity, &SorvaneInboxModel::activeIdentityChanged);
    set(m_loading, true, &SorvaneInboxModel::loadingChanged);
    set(m_error, std::optional<QString>(), &SorvaneInboxModel::errorChanged);
    if (!more) {
        set(m_pendingClaimID, std::optional<QUuid>(), &SorvaneInboxModel::pendingClaimIDChanged);
        forgetPage();
    }

    QPointer<SorvaneInboxModel> self(this);
    ServiceQueueEditor *editorPtr = &editor;
    const auto current = [&] {
        return self->m_generation == loadGeneration && self->m_activeIdentity == loadIdentity
            && self->identity(*editorPtr) == loadIdentity;
    };

    std::exception_ptr failure;
    try {
        const QByteArray answer = co_await m_bridge(
            BridgeCommand::serviceInbox(loadIdentity->credentials, cursor, expectedOperator),
            toolsFolder(*loadIdentity), task);
        if (!alive(self))
            throw OperationCancelled();
        if (current() && !task.isCancelled()) {
            SorvaneInboxPage page = SorvaneInboxWire::inbox(answer, expectedOperator);
            if (cursor)
                checkContinues(page, *cursor);
            merge(std::move(page), more, *loadIdentity);
        }
    } catch (...) {
        failure = std::current_exception();
    }
    if (!alive(self))
        throw OperationCancelled();
    if (failure && current() && !task.isCancelled()) {
        if (const auto text = failureText(failure))
            set(m_error, text, &SorvaneInboxModel::errorChanged);
    }
    // Closing step: a superseded load leaves the flag to its successor.
    if (m_generation == loadGeneration) {
        set(m_loading, false, &SorvaneInboxModel::loadingChanged);
        if (identity(editor) != loadIdentity)
            clear();
    }
    if (failure)
        std::rethrow_exception(failure);
    co_return true;
}

void SorvaneInboxModel::checkContinues(const SorvaneInboxPage &page, const SorvaneInboxCursor &cursor) const
{
    const auto changed = [] { return BridgeError::failed(loc("The inbox changed while loading. Refresh it.")); };
    // Both texts passed the answer check, which accepts exactly these forms.
    const auto cursorTime = StrictFormats::parseInternetDateTime(cursor.submittedAt);
    const QString cursorID = StrictFormats::canonicalUuid(cursor.id).toLower();
    if (!cursorTime)
        throw changed();
    QSet<QString> loaded;
    for (const SorvaneInboxRow &row : m_items)
        loaded.insert(row.request.id.toLower());
    for (const SorvaneInboxRow &row : page.items) {
        const auto time = StrictFormats::parseInternetDateTime(row.request.submitted_at);
        const QString id = row.request.id.toLower();
        if (!time)
            throw changed();
        const bool after = *time < *cursorTime || (*time == *cursorTime && id != cursorID && id < cursorID);
        if (!after || loaded.contains(id))
            throw changed();
    }
}

void SorvaneInboxModel::merge(SorvaneInboxPage page, bool more, const ServiceIdentity &identity)
{
    const HeldNotices held(*this);
    QList<SorvaneInboxRow> rows = more ? m_items : QList<SorvaneInboxRow>();
    rows.append(page.items);
    setItems(std::move(rows));
    set(m_operatorID, std::optional<QUuid>(page.operatorID), &SorvaneInboxModel::operatorIDChanged);
    set(m_serverTime, std::optional<QString>(page.serverTime), &SorvaneInboxModel::serverTimeChanged);
    set(m_nextCursor, page.nextCursor, &SorvaneInboxModel::nextCursorChanged);
    setNextItem(std::move(page.nextItem));
    set(m_pendingClaimID, SorvanePendingClaim::read(m_defaults, SorvanePendingClaim::key(identity, page.operatorID)),
        &SorvaneInboxModel::pendingClaimIDChanged);
    repairSelection();
}
