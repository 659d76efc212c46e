#pragma once

#include "foundation/cancellation.h"
#include "inbox/sorvaneinboxpresentation.h"
#include "inbox/sorvaneinboxrecords.h"
#include "profiles/sorvaneprofilerecords.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <functional>
#include <optional>
#include <qcoro/qcorotask.h>

class EditorModel;
class ServiceQueueEditor;
class ServiceQueueModel;
class SettingsStore;
class SorvaneInboxModel;

// What the workspace needs of the profiles of its rows: a load for the rows
// it holds, the customer of one row, and the notice of a failed load.
class SorvaneWorkspaceProfiles : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
    virtual QCoro::Task<void> loadParticipants(QList<SorvaneInboxRow> rows, std::optional<QUuid> operatorID,
                                               CancellationToken token) = 0;
    // None while no matching participants are loaded for the row.
    virtual std::optional<SorvanePersonProfile> customer(const SorvaneInboxRow &row) const = 0;
    // The row's customer and instructor; none while no matching participants are loaded.
    virtual std::optional<SorvaneRequestParticipants> participants(const SorvaneInboxRow &) const
    {
        return std::nullopt;
    }
    virtual std::optional<QString> participantsError() const = 0;

Q_SIGNALS:
    void participantsChanged();
    void participantsErrorChanged();
};

// One banner above the ticket detail.
struct SorvaneNotice
{
    enum class Kind { profiles, busy, error, retryClaim, message, localTest };
    Kind kind;
    QString text;
    bool enabled = true;
    friend bool operator==(const SorvaneNotice &, const SorvaneNotice &) = default;
};

// What the inbox column shows in place of rows.
enum class SorvaneEmptyState { none, signedOut, filtered, unfiltered };

// The state and actions of the workspace window: which controls are usable,
// the banners, the empty state, the customers of the sidebar, the stored
// layout choice, and the reactions that keep the opened task, the pipeline
// and the participants in step with the inbox. No widgets.
class SorvaneWorkspace final : public QObject
{
    Q_OBJECT
public:
    static constexpr const char *layoutKey = "sorvane.inbox.layout";

    struct Parts
    {
        EditorModel *editor = nullptr;
        ServiceQueueEditor *queueEditor = nullptr; // the editor as the queue and the inbox see it
        ServiceQueueModel *queue = nullptr;
        SorvaneInboxModel *inbox = nullptr;
        SettingsStore *defaults = nullptr; // holds the layout choice
        SorvaneWorkspaceProfiles *profiles = nullptr; // may be none: no people are shown
        std::function<void()> showSettings;
        std::function<void()> chooseStorage;
        // Hands an inbox task over to the service queue.
        std::function<void(const ServiceReceipt &receipt, const QUuid &operatorID)> openSorvane;
        // The root view's hand-over of the selected row once more (it hands
        // over a new selection itself); none: `openSorvane` hands it over.
        std::function<void()> openSelectionAgain;
        bool unsupportedTestLaunch = false;
    };

    explicit SorvaneWorkspace(Parts parts, QObject *parent = nullptr);
    ~SorvaneWorkspace() override;

    const Parts &parts() const { return m_parts; }
    SorvaneInboxModel &inbox() const { return *m_parts.inbox; }

    // ---- derived ----
    QList<SorvaneInboxRow> allItems() const;
    QString profileRequestKey() const;
    QList<ServiceCompany> customerNames() const;
    std::optional<QString> selectedCustomerName() const;
    bool refreshEnabled() const;
    // The inbox column and the sidebar's list.
    bool inboxEnabled() const;
    QList<SorvaneNotice> notices() const;
    SorvaneEmptyState emptyState() const;
    bool signedIn() const;
    std::optional<SorvanePersonProfile> customer(const SorvaneInboxRow &row) const;
    std::optional<SorvaneRequestParticipants> participants(const SorvaneInboxRow &row) const;

    // ---- the stored layout choice ("inbox" rows, "list" table) ----
    QString layout() const { return m_layout; }
    bool showsTable() const { return m_layout == QLatin1String("list"); }
    void setLayout(const QString &layout);

    // ---- actions ----
    // The window came on screen: loads the first page when signed in and empty.
    void appear();
    void refresh();
    void retryProfiles();
    void retryClaim();
    void stop();
    void showFullInbox();
    void setFilter(SorvaneInboxFilter filter);
    void setCustomer(const std::optional<QUuid> &companyID);
    void loadMoreCustomers();
    void loadMore();
    void select(const std::optional<QString> &requestID);
    // The ticket's click while the selected row is not open and nothing opens
    // it: the same opening as a new selection.
    void openSelectionAgain();
    void showSettings();
    void chooseStorage();

Q_SIGNALS:
    // Something a control, banner or empty state reads may have changed.
    void stateChanged();
    void customersChanged();
    void layoutChanged();

private:
    void openSelection();
    void selectionRevisionChanged();
    void detailRevisionChanged();
    void scheduleParticipants();
    void runParticipants();

    Parts m_parts;
    QString m_layout;
    int m_profileReload = 0;
    // The customers of the directory and the rows, until either changes.
    mutable std::optional<QList<ServiceCompany>> m_customers;
    std::optional<QString> m_seenSelection;
    std::optional<qint64> m_seenSelectedRevision;
    std::optional<qint64> m_seenDetailRevision;
    QString m_participantsKey;
    bool m_participantsQueued = false;
    bool m_participantsStarted = false;
    std::optional<CancellationToken> m_participants;
};
