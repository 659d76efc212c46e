#pragma once

#include "selectionmemory.h"
#include "servicecompanydirectory.h"
#include "serviceeditor.h"
#include "serviceopenedtask.h"
#include "serviceoperationscope.h"
#include "serviceprojectcopies.h"
#include "serviceproposalstate.h"
#include "servicereviewstate.h"
#include "servicevideodraft.h"
#include "videorecords.h"
#include "videos/videostage.h"
#include "recorddecoding_p.h"
#include "foundation/decoding/workerdecoding.h"
#include "foundation/errors.h"

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QUuid>
#include <chrono>

// The editor-side service queue: the customer companies, the chosen
// company's task list, the opened task with everything fetched or prepared
// for it (each capability a part with its own change signal), and the
// per-task memory. GUI thread only. Its own setters notify only on a real change.
class ServiceQueueModel : public QObject
{
    Q_OBJECT

public:
    explicit ServiceQueueModel(ServiceBridge bridge, bool isDemo = false, QObject *parent = nullptr);

    bool isDemo() const { return m_isDemo; }

    // ---- company directory ----
    ServiceCompanyDirectory &directory() { return m_directory; }
    const ServiceCompanyDirectory &directory() const { return m_directory; }
    QUuid generation() const { return m_generation; }
    QUuid sorvaneOpenIntent() const { return m_sorvaneOpenIntent; }
    // A hand-over from the inbox renews this; a waiting hand-over that finds it changed stops.
    void renewSorvaneOpenIntent() { set(m_sorvaneOpenIntent, QUuid::createUuid(), &ServiceQueueModel::sorvaneOpenIntentChanged); }
    // The newest hand-over's opening of the inbox row `requestID`: running from
    // the call until its task is read or the opening ends without it; failed
    // when it ended so, while the editor's error says why; none for another row.
    enum class SorvaneOpening { none, running, failed };
    SorvaneOpening sorvaneOpening(const QString &requestID) const;
    // The editor's error changed: a failed opening's notice is gone, so it no longer counts as failed.
    void editorErrorChanged();

    // ---- task list and opened task ----
    ServiceOpenedTask &openedTask() { return m_openedTask; }
    const ServiceOpenedTask &openedTask() const { return m_openedTask; }
    const std::optional<SelectionKey> &selectionKey() const { return m_selectionKey; }
    const QHash<SelectionKey, SelectionDraft> &savedSelections() const { return m_savedSelections; }

    // ---- identity, scope and the operation pattern ----
    std::optional<ServiceIdentity> identity(const ServiceQueueEditor &editor) const;
    // The company list is loaded, verified, of the current identity, and holds the chosen company.
    bool canUseCompany(const ServiceQueueEditor &editor) const;
    std::optional<ServiceOperationScope> scope(const ServiceQueueEditor &editor) const;
    bool current(const ServiceOperationScope &scope, const ServiceQueueEditor &editor) const;

    // What an operation run under a scope works with: the model (null once
    // the window closed; `execute` checks it after its await, any other await
    // checks it itself), the editor it runs for, the scope captured at its
    // start, and its cancellation. Taken by value.
    struct OperationContext
    {
        QPointer<ServiceQueueModel> model;
        ServiceQueueEditor *editor = nullptr;
        ServiceOperationScope scope;
        CancellationToken token;
    };
    using ScopedOperation = std::function<QCoro::Task<void>(OperationContext)>;
    // Captures the scope now and runs `operation` as the editor's one
    // operation; nothing starts, and no busy label shows, without a scope.
    void perform(ServiceQueueEditor &editor, const QString &title, ScopedOperation operation);

    // Runs one tool command under `scope` and decodes its answer as T:
    // staleness test, folder check, the tool in the scope's tools folder,
    // cancellation check, staleness test, decoding. Writes nothing.
    // A large answer (a package context, a hand-off) is decoded on a worker
    // thread; the cancellation and staleness checks run again on this thread
    // once it is decoded, so a decoded answer of a world that moved on is dropped.
    template<class T>
    QCoro::Task<T> execute(BridgeCommand command, ServiceQueueEditor &editor, ServiceOperationScope scope,
                           CancellationToken token)
    {
        QByteArray answer = co_await runChecked(std::move(command), editor, scope, token);
        if (answer.size() < WorkerDecoding::threshold)
            co_return RecordDecoding::document<T>(answer);
        QPointer<ServiceQueueModel> self(this);
        // Named, not a temporary of the co_await expression: GCC 12 destroys
        // such temporaries twice (the answer's buffer with them). Moved, so
        // that the worker holds the only reference and frees the buffer there.
        auto decode = [answer = std::move(answer)] { return RecordDecoding::document<T>(answer); };
        QCoro::Task<T> decoding = WorkerDecoding::run<T>(std::move(decode));
        T decoded = co_await decoding;
        token.throwIfCancelled();
        if (!self || !self->current(scope, editor))
            throw OperationCancelled();
        co_return T(std::move(decoded));
    }
    // Steps 1 to 5 of execute: the answer bytes of a command still current after its await.
    QCoro::Task<QByteArray> runChecked(BridgeCommand command, ServiceQueueEditor &editor, ServiceOperationScope scope,
                                       CancellationToken token);

    // ---- companies ----
    void clear();
    void fetchCompanies(ServiceQueueEditor &editor, bool more);
    // Requests, checks and applies one page. Throws only after a failure it
    // has shown in companyError; a superseded load returns quietly.
    QCoro::Task<void> loadCompanies(ServiceQueueEditor &editor, bool more, CancellationToken token = {});
    void companyChanged(ServiceQueueEditor &editor);
    void selectCompany(const std::optional<QUuid> &id, ServiceQueueEditor &editor);

    // ---- opened task ----
    // Forgets the opened task, remembering its work first; the task list stays.
    void clearSelection();
    void rememberSelection();
    void restoreSelection(const SelectionKey &key);

    // ---- project folder of a task handed over from the inbox ----
    bool selectionUsesStorage(const ServiceQueueEditor &editor) const;
    std::optional<SorvaneStorageSelection> sorvaneStorageSelection(const std::optional<ServiceReceipt> &receipt,
                                                                   const std::optional<QUuid> &operatorID,
                                                                   const ServiceQueueEditor &editor) const;
    bool chooseSorvaneStorage(const QUrl &url, const SorvaneStorageSelection &selection,
                              const std::optional<ServiceReceipt> &receipt, const std::optional<QUuid> &operatorID,
                              ServiceQueueEditor &editor);
    void sorvaneStorageChanged(ServiceQueueEditor &editor, const std::optional<ServiceReceipt> &receipt,
                               const std::optional<QUuid> &operatorID);

    // ---- video drafts, their stage and their send (videos/servicequeuevideos.cpp) ----
    ServiceVideoDraft &videoDraft() { return m_videoDraft; }
    const ServiceVideoDraft &videoDraft() const { return m_videoDraft; }
    // Lists the drafts prepared for the opened task that the service does not list yet.
    void refreshVideoPreviews(ServiceQueueEditor &editor);
    // Whether a new draft may be prepared for the opened task as it stands.
    bool canPrepareVideo(const ServiceQueueEditor &editor) const;
    // Has the video tool check and keep `videoFile` as the draft under review.
    void prepareVideo(ServiceQueueEditor &editor);
    ServiceVideoStage videoStage(const VideoReviewPreview &preview) const;
    // Reads the local send receipt of a draft and settles its state from it;
    // `reopen` puts a draft with no receipt back under review.
    void checkVideoDelivery(const VideoReviewPreview &preview, ServiceQueueEditor &editor, bool reopen);
    // Sends the reviewed draft under review to the customer.
    void sendVideo(ServiceQueueEditor &editor);
    // The person's own edits of the return box (typing, paste, undo, a file
    // choice) drop the draft under review and its tick: a text only when it
    // changed, a chosen file always (the same file again is a new export).
    // Values put back when another task opens go through the setters and keep both.
    enum class VideoText { label, summary, editor };
    void editVideoText(VideoText field, const QString &value);
    void chooseVideoFile(const QUrl &file);

    // ---- native editor project copies of a video version (videos/servicequeueprojects.cpp) ----
    ServiceProjectCopies &projectCopies() { return m_projectCopies; }
    const ServiceProjectCopies &projectCopies() const { return m_projectCopies; }
    void readProjectVersions(ServiceQueueEditor &editor, const QString &proposalID);
    // Turns off the automatic project copy for a version.
    void clearProjectRegistration(ServiceQueueEditor &editor, const QString &proposalID);
    // Keeps a copy of the chosen native project with the draft under review.
    void preserveProject(ServiceQueueEditor &editor, const QUrl &project);

    // ---- task actions: list, open, history, claim, pull, film folder ----
    // Each returns at once; a guard that fails does nothing, and the work runs
    // as the editor's one operation under a scope captured now.
    void list(ServiceQueueEditor &editor);
    // `receipt` must be a row of `listing`; taken by value, as opening replaces that row.
    void open(ServiceReceipt receipt, ServiceQueueEditor &editor);
    void refreshHistory(ServiceQueueEditor &editor);
    void claim(ServiceQueueEditor &editor);
    // `filmEnvelope` asks for the film envelope of a film-editing task instead of the full version.
    void pull(ServiceQueueEditor &editor, bool filmEnvelope);
    // Copies the pulled film task into a complete film folder, or with `relink` re-points its imports.
    void packageFilm(ServiceQueueEditor &editor, bool relink);
    // The key of the per-task memory for a task opened under `scope`.
    static SelectionKey selectionKey(const ServiceOperationScope &scope, const QString &requestID);

    // ---- hand-over from the inbox, package brief and current brief ----
    // Opens the task of an inbox row: waits (in 50 ms steps) while the editor
    // is busy or companies load, pages the directory until the row's company
    // is listed, selects it, re-opens its project folder and opens the task.
    // Returns at once; only the newest call can finish, older ones end quietly.
    // `preservingCompany`: end quietly if the selection or generation changes.
    void openSorvane(const ServiceReceipt &receipt, const QUuid &operatorID, ServiceQueueEditor &editor,
                     bool preservingCompany);
    // Reads the downloaded package's context inline, and with `presentSheet` for the brief sheet too.
    void readBrief(ServiceQueueEditor &editor, bool presentSheet);
    // Pulls the current instructions, re-reads the context and the history, and shows them.
    void refreshCurrentBrief(ServiceQueueEditor &editor);
    struct CurrentBrief
    {
        PackageContext context;
        ServiceDetail history;
    };
    // The three tool runs behind a refresh, each answer checked against
    // `request` and the others; writes no field. Throws with the sentence to show.
    QCoro::Task<CurrentBrief> loadCurrentBrief(ServiceQueueEditor &editor, ServiceDownload download,
                                               ServiceReceipt request, QUrl credentials, QUrl storageFolder,
                                               ServiceOperationScope scope, CancellationToken token);
    // The pause between two checks of a waiting hand-over; tests count the steps.
    using Sleeper = std::function<QCoro::Task<void>(std::chrono::milliseconds)>;
    void setSorvaneSleeperForTesting(Sleeper sleeper) { m_sorvaneSleeper = std::move(sleeper); }

    // ---- working folder and proposals (servicequeueproposals.cpp) ----
    ServiceProposalState &proposals() { return m_proposals; }
    const ServiceProposalState &proposals() const { return m_proposals; }
    // Prepares a new working folder from the downloaded package: an edit
    // hand-off bound to the current instructions for a film, a writing
    // hand-off with its proposal template otherwise.
    void prepare(ServiceQueueEditor &editor);
    // Reopens an earlier working folder of the opened task, as the tools list it now.
    void resume(const PreparedHandoff &handoff, ServiceQueueEditor &editor);
    // Has the tools check the proposal written in the prepared writing folder.
    void readPreview(ServiceQueueEditor &editor);
    // Sends the checked proposal to customer review, then reads the history again.
    void send(ServiceQueueEditor &editor);

    // Replaces the hand-over when the project folder changes (tests watch the call).
    using SorvaneOpener = std::function<void(const ServiceReceipt &receipt, const QUuid &operatorID,
                                             ServiceQueueEditor &editor, bool preservingCompany)>;
    void setSorvaneOpener(SorvaneOpener opener) { m_sorvaneOpener = std::move(opener); }

    // ---- review videos and customer reactions (servicequeuereview.cpp) ----
    ServiceReviewState &review() { return m_review; }
    const ServiceReviewState &review() const { return m_review; }
    // Downloads and verifies the review video of `proposal`, one of the opened
    // film task's proposals, into reviewVideo; the task detail becomes the
    // history read with it.
    void downloadReviewVideo(const ServiceProposal &proposal, ServiceQueueEditor &editor);
    // Lists the opened film task's reactions into reactions; all or nothing.
    void readReactions(ServiceQueueEditor &editor);
    // Downloads and verifies one listed reaction into reactionDownload.
    void pullReaction(const ServiceReactionSummary &reaction, ServiceQueueEditor &editor);
    // A listed reaction belongs to a proposal and decision of the opened task.
    bool reactionMatches(const ServiceReactionSummary &reaction) const;

Q_SIGNALS:
    void directoryGenerationChanged();
    void sorvaneOpenIntentChanged();
    void sorvaneOpeningChanged();
    void generationChanged();
    void selectionKeyChanged();
    void savedSelectionsChanged();

private:
    using Signal = void (ServiceQueueModel::*)();
    template<class T>
    void set(T &field, const T &value, Signal signal)
    {
        if (field == value)
            return;
        field = value;
        Q_EMIT(this->*signal)();
    }

    // working folder and proposals
    static QCoro::Task<void> prepareOperation(OperationContext op, ServiceReceipt request, ServiceDownload download,
                                              QUrl storageFolder);
    static QCoro::Task<void> resumeOperation(OperationContext op, ServiceReceipt request, PreparedHandoff handoff,
                                             QUrl storageFolder);
    static QCoro::Task<void> previewOperation(OperationContext op, ServiceReceipt request, PreparedHandoff prepared,
                                              QUrl storageFolder);
    static QCoro::Task<void> sendOperation(OperationContext op, ServiceReceipt request, ProposalPreview preview,
                                           QUrl credentials, QUrl storageFolder);

    // Task action coroutines (servicequeuetasks.cpp, servicequeuepull.cpp).
    static QCoro::Task<void> listOperation(OperationContext op, QUrl credentials, QString company);
    static QCoro::Task<void> openOperation(OperationContext op, QUrl credentials, ServiceReceipt receipt);
    static QCoro::Task<void> historyOperation(OperationContext op, QUrl credentials, QUrl storageFolder,
                                              ServiceReceipt request);
    static QCoro::Task<void> claimOperation(OperationContext op, QUrl credentials, ServiceReceipt request);
    static QCoro::Task<void> pullOperation(OperationContext op, QUrl credentials, QUrl storageFolder,
                                           ServiceReceipt request, bool filmEnvelope);
    // Hand-over and brief coroutines (servicequeuehandover.cpp, servicequeuebrief.cpp).
    struct SorvaneHandOver
    {
        QUuid intent;
        ServiceIdentity identity;
        QUuid companyID;
        QUuid generation;
        QUuid operatorID;
        ServiceReceipt receipt;
        bool preservingCompany = false;
    };
    // clearSelection, and the task list goes too.
    void clearTasks();
    void forgetSelection(bool tasks);
    bool handOverCurrent(const SorvaneHandOver &handOver, const ServiceQueueEditor &editor) const;
    // Ends the opening of the hand-over `intent`, if it is still the newest one's.
    void endSorvaneOpening(const QUuid &intent, bool failed);
    // Ends a hand-over's opening once the last of its holders lets go: the
    // hand-over, then the task's reading it starts, however either ends
    // (the reading also when it is refused or never begins).
    struct SorvaneOpeningEnd
    {
        SorvaneOpeningEnd(QPointer<ServiceQueueModel> model, QUuid intent) : model(model), intent(intent) {}
        SorvaneOpeningEnd(const SorvaneOpeningEnd &) = delete; // a copy's end would end the opening
        SorvaneOpeningEnd &operator=(const SorvaneOpeningEnd &) = delete;
        QPointer<ServiceQueueModel> model;
        QUuid intent;
        bool failed = false;
        ~SorvaneOpeningEnd();
    };
    // The task's reading that a hand-over ends with; a failure the editor shows fails its opening.
    static QCoro::Task<void> handedOverOpenOperation(OperationContext op, QUrl credentials, ServiceReceipt receipt,
                                                     std::shared_ptr<SorvaneOpeningEnd> opening);
    static QCoro::Task<void> sorvaneOpenTask(QPointer<ServiceQueueModel> model, ServiceQueueEditor *editor,
                                             SorvaneHandOver handOver);
    static QCoro::Task<void> readBriefOperation(OperationContext op, QUrl storageFolder, ServiceDownload download,
                                                ServiceReceipt request, bool presentSheet);
    static QCoro::Task<void> refreshBriefOperation(OperationContext op, QUrl credentials, QUrl storageFolder,
                                                   ServiceDownload download, ServiceReceipt request);
    static QCoro::Task<void> filmFolderOperation(OperationContext op, QUrl storageFolder, ServiceReceipt request,
                                                 bool relink);
    static QCoro::Task<void> fetchOperation(QPointer<ServiceQueueModel> model, ServiceQueueEditor *editor, bool more,
                                            CancellationToken token);
    static QCoro::Task<void> scopedOperation(OperationContext op, ScopedOperation operation);
    // perform; with `reopened`, the inbox's own opening of that row's task.
    void startOperation(ServiceQueueEditor &editor, const QString &title, ScopedOperation operation,
                        const std::optional<ServiceReceipt> &reopened);
    // open; `handedOver`: by the hand-over from the inbox (its opening), not by the person.
    void openTask(ServiceReceipt receipt, ServiceQueueEditor &editor, std::shared_ptr<SorvaneOpeningEnd> handedOver);
    void keepRevisionNote(const std::optional<ServiceReceipt> &before, const ServiceOperationScope &scope,
                          const ServiceQueueEditor &editor);

    ServiceBridge m_bridge;
    SorvaneOpener m_sorvaneOpener;
    Sleeper m_sorvaneSleeper;
    const bool m_isDemo;


    QUuid m_directoryGeneration;
    QUuid m_sorvaneOpenIntent;
    QUuid m_generation;
    // The row of the newest hand-over; it counts while its intent is the model's.
    struct SorvaneOpeningRow
    {
        QUuid intent;
        QString requestID;
        bool failed = false;
    };
    std::optional<SorvaneOpeningRow> m_sorvaneOpening;

    std::optional<SelectionKey> m_selectionKey;
    QHash<SelectionKey, SelectionDraft> m_savedSelections;

    // The success note of the last operation that raised the opened task's
    // revision, at that revision. The inbox sees the new revision and opens
    // the same task again; that opening keeps the note on screen, as nobody
    // has read it yet. The next operation that starts forgets it.
    struct RevisionNote
    {
        SelectionKey key;
        qint64 revision = 0;
        QString text;
    };
    std::optional<RevisionNote> m_revisionNote;

    ServiceCompanyDirectory m_directory;
    ServiceOpenedTask m_openedTask;
    ServiceProposalState m_proposals;
    ServiceVideoDraft m_videoDraft;
    ServiceProjectCopies m_projectCopies;
    ServiceReviewState m_review;
};
