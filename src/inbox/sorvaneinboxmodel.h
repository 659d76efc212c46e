#pragma once

#include "inbox/sorvaneinboxpresentation.h"
#include "inbox/sorvaneinboxrecords.h"
#include "servicequeue/serviceeditor.h"
#include "servicequeue/serviceidentity.h"
#include "foundation/propertyassign.h"

#include <QObject>
#include <QPointer>
#include <QUuid>
#include <array>
#include <exception>
#include <optional>
#include <qcoro/qcorotask.h>

class SettingsStore;

// The Sorvane inbox of the signed-in person across all customers: paged rows,
// the proposed next task, claim-next and start, the selected customer's film
// pipeline and metadata-sharing consent, and the persisted view options.
// GUI thread only.
//
// Four work slots (inbox page, request selection, pipeline, mutation) each
// pair a generation with the cancellation token of the running task. Every
// run captures its generation and identity and, after each await, applies
// its result only while both still hold; a stale answer is dropped silently.
//
// Setters of comparable values notify only on a real change; rows, pages and
// consent records notify on every assignment.
class SorvaneInboxModel : public QObject
{
    Q_OBJECT

public:
    struct MetadataUpdate
    {
        qint64 revision = 0;
        bool allowPipeline = false;
        std::optional<QString> contactName;
    };

    SorvaneInboxModel(ServiceBridge bridge, SettingsStore &defaults, QObject *parent = nullptr);
    // Cancels every running task and its tool run; no continuation touches
    // the model afterwards.
    ~SorvaneInboxModel() override;

    // ---- state ----
    const QList<SorvaneInboxRow> &items() const { return m_items; }
    const std::optional<SorvaneInboxRow> &nextItem() const { return m_nextItem; }
    const std::optional<SorvaneInboxCursor> &nextCursor() const { return m_nextCursor; }
    const std::optional<QUuid> &operatorID() const { return m_operatorID; }
    const std::optional<QString> &serverTime() const { return m_serverTime; }
    bool loading() const { return m_loading; }
    bool selectingRequest() const { return m_selectingRequest; }
    bool mutating() const { return m_mutating; }
    bool pipelineLoading() const { return m_pipelineLoading; }
    bool metadataLoading() const { return m_metadataLoading; }
    const std::optional<QString> &error() const { return m_error; }
    const std::optional<QString> &mutationError() const { return m_mutationError; }
    const std::optional<QString> &pipelineError() const { return m_pipelineError; }
    const std::optional<QString> &metadataError() const { return m_metadataError; }
    const std::optional<SorvaneInboxRow> &lastMutationItem() const { return m_lastMutationItem; }
    const std::optional<QUuid> &pendingClaimID() const { return m_pendingClaimID; }
    const std::optional<SorvanePipelinePage> &pipeline() const { return m_pipeline; }
    const std::optional<SorvaneMetadataSettings> &metadataSettings() const { return m_metadataSettings; }
    const std::optional<ServiceIdentity> &activeIdentity() const { return m_activeIdentity; }
    QUuid generation() const { return m_generation; }
    QUuid pipelineGeneration() const { return m_pipelineGeneration; }

    // Written by the screens.
    const std::optional<QString> &selectedID() const { return m_selectedID; }
    void setSelectedID(const std::optional<QString> &id);
    const SorvaneInboxPreferences &preferences() const { return m_preferences; }
    void setPreferences(const SorvaneInboxPreferences &preferences);

    // ---- derived, computed on every read ----
    bool hasMore() const { return m_nextCursor.has_value(); }
    bool pipelineHasMore() const { return m_pipeline && m_pipeline->nextCursor; }
    bool hasPendingClaim() const { return m_pendingClaimID.has_value(); }
    QList<SorvaneInboxRow> visibleItems() const;
    std::optional<SorvaneInboxRow> pinnedNextItem() const;
    QList<SorvaneInboxGroup> groups() const;
    std::optional<SorvaneInboxRow> selectedItem() const;
    bool hasVisibleItems() const { return !visibleOrder().isEmpty(); }
    // groups() and the pinned next row without copying a row: the lists the
    // list and table models show from.
    struct Arrangement
    {
        QList<SorvaneInboxRow> items;
        std::optional<SorvaneInboxRow> nextItem;
        std::optional<SorvaneInboxRow> pinned;
        QList<SorvaneInboxSection> sections;
        const SorvaneInboxRow &row(qsizetype position) const
        {
            return position < items.size() ? items.at(position) : *nextItem;
        }
    };
    Arrangement arrangement() const;
    // The signals after which arrangement() may answer differently.
    static std::array<void (SorvaneInboxModel::*)(), 4> arrangementSignals();

    std::optional<ServiceIdentity> identity(const ServiceQueueEditor &editor) const;

    // ---- inbox paging ----
    void clear();
    void refresh(ServiceQueueEditor &editor);
    void loadMore(ServiceQueueEditor &editor);
    // One page; throws after a failure it has shown in error(). `task` is the
    // calling task's token: its cancellation ends the tool run.
    QCoro::Task<void> load(ServiceQueueEditor &editor, bool more, CancellationToken task = {});

    // ---- operations ----
    void selectRequest(const QUuid &requestID, ServiceQueueEditor &editor);
    void loadPipeline(const SorvaneInboxRow &row, ServiceQueueEditor &editor, bool more);
    void claimNext(ServiceQueueEditor &editor);
    void start(const SorvaneInboxRow &row, ServiceQueueEditor &editor);
    void metadata(const SorvaneInboxRow &row, ServiceQueueEditor &editor, const std::optional<MetadataUpdate> &update);

Q_SIGNALS:
    void itemsChanged();
    void nextItemChanged();
    void nextCursorChanged();
    void operatorIDChanged();
    void serverTimeChanged();
    void loadingChanged();
    void selectingRequestChanged();
    void mutatingChanged();
    void pipelineLoadingChanged();
    void metadataLoadingChanged();
    void errorChanged();
    void mutationErrorChanged();
    void pipelineErrorChanged();
    void metadataErrorChanged();
    void lastMutationItemChanged();
    void pendingClaimIDChanged();
    void pipelineChanged();
    void metadataSettingsChanged();
    void activeIdentityChanged();
    void selectedIDChanged();
    void preferencesChanged();
    void generationChanged();
    void pipelineGenerationChanged();
    void mutationGenerationChanged();
    void requestSelectionGenerationChanged();

private:
    using Signal = void (SorvaneInboxModel::*)();
    template<class T>
    void set(T &field, const T &value, Signal signal)
    {
        if (assignChanged(field, value))
            notify(signal);
    }
    template<class T>
    void assign(T &field, T value, Signal signal)
    {
        field = std::move(value);
        notify(signal);
    }
    void notify(Signal signal);

    // Holds notifications back until an update of several properties is
    // complete, so no listener reads rows without their operator or selection.
    class HeldNotices
    {
    public:
        explicit HeldNotices(SorvaneInboxModel &model);
        ~HeldNotices();

    private:
        SorvaneInboxModel &m_model;
        QList<Signal> m_signals;
        bool m_outermost;
    };

    // False once the model is gone or tearing down: a continuation then stops.
    static bool alive(const QPointer<SorvaneInboxModel> &model) { return model && !model->m_closing; }
    // A slot's running task: only its cancellation token is kept.
    static void cancel(std::optional<CancellationToken> &task);
    static CancellationToken startTask(std::optional<CancellationToken> &slot);
    QString toolsFolder(const ServiceIdentity &identity) const;

    void selectionChanged(const std::optional<QString> &previous);
    void repairSelection();
    // The loaded rows, the proposed next task and what their page came with.
    void forgetPage();
    void setItems(QList<SorvaneInboxRow> items) { assign(m_items, std::move(items), &SorvaneInboxModel::itemsChanged); }
    void setNextItem(std::optional<SorvaneInboxRow> item) { assign(m_nextItem, std::move(item), &SorvaneInboxModel::nextItemChanged); }
    void setPipeline(std::optional<SorvanePipelinePage> page) { assign(m_pipeline, std::move(page), &SorvaneInboxModel::pipelineChanged); }

    // Loads one page; false when the entry checks let nothing start.
    QCoro::Task<bool> loadPage(ServiceQueueEditor &editor, bool more, CancellationToken task);
    void checkContinues(const SorvaneInboxPage &page, const SorvaneInboxCursor &cursor) const;
    void merge(SorvaneInboxPage page, bool more, const ServiceIdentity &identity);

    QCoro::Task<void> refreshTask(ServiceQueueEditor *editor, bool more, CancellationToken task);
    QCoro::Task<void> selectionWalk(ServiceQueueEditor *editor, QUuid generation, ServiceIdentity identity,
                                    QUuid operatorID, QUuid requestID, CancellationToken task);
    QCoro::Task<void> fetchPipeline(SorvaneInboxRow row, ServiceQueueEditor *editor, bool more, CancellationToken task);
    // Whether a pipeline page may be asked for this row now: the selected
    // row's customer, under the inbox's identity (and a held page to continue).
    bool pipelineMayLoad(const SorvaneInboxRow &row, const ServiceQueueEditor &editor, bool more) const;
    bool pipelineRequestCurrent(const QUuid &generation, const ServiceIdentity &identity, const QUuid &companyID,
                                const ServiceQueueEditor &editor) const;
    void runMutation(BridgeCommand command, ServiceQueueEditor &editor, const ServiceIdentity &identity,
                     const QUuid &operatorID, std::optional<QString> claimKey, std::optional<SorvaneInboxRow> expectedRow);
    QCoro::Task<void> mutationRun(BridgeCommand command, ServiceQueueEditor *editor, ServiceIdentity identity,
                                  QUuid operatorID, std::optional<QString> claimKey,
                                  std::optional<SorvaneInboxRow> expectedRow, QUuid generation, CancellationToken task);
    QCoro::Task<void> metadataRun(SorvaneInboxRow row, ServiceQueueEditor *editor, std::optional<MetadataUpdate> update,
                                  ServiceIdentity identity, QUuid operatorID, QUuid generation, QUuid run,
                                  CancellationToken task);

    ServiceBridge m_bridge;
    SettingsStore &m_defaults;

    QUuid m_generation = QUuid::createUuid();
    QUuid m_pipelineGeneration = QUuid::createUuid();
    QUuid m_mutationGeneration = QUuid::createUuid();
    QUuid m_requestSelectionGeneration = QUuid::createUuid();
    // The running consent read or save; releases metadataLoading only while it is its own.
    QUuid m_metadataRun;
    std::optional<CancellationToken> m_operation;
    std::optional<CancellationToken> m_requestSelectionOperation;
    std::optional<CancellationToken> m_pipelineOperation;
    std::optional<CancellationToken> m_mutationOperation;
    // Consent tasks are not kept in a slot; teardown still ends them.
    CancellationToken m_lifetime;
    bool m_closing = false;
    QList<Signal> *m_heldSignals = nullptr;

    std::optional<ServiceIdentity> m_activeIdentity;
    QList<SorvaneInboxRow> m_items;
    std::optional<SorvaneInboxRow> m_nextItem;
    std::optional<SorvaneInboxCursor> m_nextCursor;
    std::optional<QUuid> m_operatorID;
    std::optional<QString> m_serverTime;
    bool m_loading = false;
    bool m_selectingRequest = false;
    std::optional<QString> m_error;
    bool m_mutating = false;
    std::optional<QString> m_mutationError;
    std::optional<SorvaneInboxRow> m_lastMutationItem;
    std::optional<QUuid> m_pendingClaimID;
    std::optional<SorvanePipelinePage> m_pipeline;
    bool m_pipelineLoading = false;
    std::optional<QString> m_pipelineError;
    std::optional<SorvaneMetadataSettings> m_metadataSettings;
    bool m_metadataLoading = false;
    std::optional<QString> m_metadataError;
    std::optional<QString> m_selectedID;
    SorvaneInboxPreferences m_preferences;
    // visibleItems() of the current rows, operator and preferences; several
    // screens read it after every change.
    mutable std::optional<QList<SorvaneInboxRow>> m_visible;
    mutable std::optional<QList<SorvaneInboxGroup>> m_groups;
    // The same as positions into m_items (SorvaneInboxPresentation::order).
    mutable std::optional<QList<qsizetype>> m_order;
    mutable std::optional<QList<SorvaneInboxSection>> m_sections;
    const QList<qsizetype> &visibleOrder() const;
    const QList<SorvaneInboxSection> &sections() const;
    void forgetDerived();
};
