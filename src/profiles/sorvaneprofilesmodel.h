#pragma once

#include "profiles/sorvaneprofilerecords.h"

#include "editor/editorprofiles.h"
#include "foundation/cancellation.h"
#include "servicequeue/serviceeditor.h"
#include "servicequeue/serviceidentity.h"

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QUuid>
#include <functional>
#include <memory>
#include <optional>
#include <qcoro/qcorotask.h>

// The person profiles of the window: the signed-in person's own profile
// (loaded and saved through the profile tool) and the customer and
// instructor of each inbox task. GUI thread only.
//
// The model owns no tasks: its operations run in the callers' tasks and
// observe their cancellation tokens. Each kind of work (own profile,
// participants) has a generation that every start renews; after the tool
// call a result is applied only while that generation is still the model's,
// the identity formed afresh from the editor is the captured one and the
// task is not cancelled. A superseded run applies nothing and leaves the
// busy flags to the run that replaced it. Any change of identity empties
// the model. Setters notify only on a real change.
class SorvaneProfilesModel final : public QObject, public EditorProfiles
{
    Q_OBJECT
public:
    // Where the private photo folder is made (Bridge::profileTemporaryDirectory
    // in production); throws BridgeError when there is none.
    using TemporaryDirectory = std::function<QString()>;

    explicit SorvaneProfilesModel(ServiceBridge bridge, TemporaryDirectory temporaryDirectory = {},
                                  QObject *parent = nullptr);

    // ---- state ----
    const std::optional<SorvanePersonProfile> &ownProfile() const { return m_ownProfile; }
    const QHash<QUuid, SorvaneRequestParticipants> &participants() const { return m_participants; }
    bool loadingOwn() const { return m_loadingOwn; }
    bool saving() const { return m_saving; }
    bool loadingParticipants() const { return m_loadingParticipants; }
    const std::optional<QString> &ownError() const { return m_ownError; }
    const std::optional<QString> &participantsError() const { return m_participantsError; }
    const std::optional<ServiceIdentity> &activeIdentity() const { return m_activeIdentity; }
    bool busy() const { return m_loadingOwn || m_saving || m_loadingParticipants; }

    std::optional<ServiceIdentity> identity(const ServiceQueueEditor &editor) const;

    // Empties the model and renews both generations.
    void clear() override;

    // ---- own profile ----
    // The outcome is in ownProfile() and ownError(); never throws.
    QCoro::Task<void> loadOwn(std::shared_ptr<ServiceQueueEditor> editor, CancellationToken task = {});
    // Saves the name (trimmed) and the photo (none removes it). True exactly
    // when the tool's answer was checked and applied.
    QCoro::Task<bool> save(QString displayName, std::optional<QByteArray> avatarJPEG,
                           std::shared_ptr<ServiceQueueEditor> editor, CancellationToken task = {});

    // ---- participants ----
    // The people of `rows`, twenty tasks per tool run, published once when
    // every batch is checked; any failure leaves the map empty with one notice.
    QCoro::Task<void> loadParticipants(QList<SorvaneInboxRow> rows, std::optional<QUuid> operatorID,
                                       std::shared_ptr<ServiceQueueEditor> editor, CancellationToken task = {});
    // The record of the row while it still names the row's submitter and claimer.
    std::optional<SorvaneRequestParticipants> people(const SorvaneInboxRow &row) const;

Q_SIGNALS:
    void ownProfileChanged();
    void participantsChanged();
    void loadingOwnChanged();
    void savingChanged();
    void loadingParticipantsChanged();
    void ownErrorChanged();
    void participantsErrorChanged();
    // Any of the three work flags changed.
    void busyChanged();

private:
    void adopt(const ServiceIdentity &identity);
    bool ownCurrent(const QUuid &generation, const ServiceIdentity &identity, const ServiceQueueEditor &editor,
                    const CancellationToken &task) const;
    bool participantsCurrent(const QUuid &generation, const ServiceIdentity &identity,
                             const ServiceQueueEditor &editor, const CancellationToken &task) const;

    void setOwnProfile(const std::optional<SorvanePersonProfile> &profile);
    void setParticipants(const QHash<QUuid, SorvaneRequestParticipants> &participants);
    void setLoadingOwn(bool value);
    void setSaving(bool value);
    void setLoadingParticipants(bool value);
    void setOwnError(const std::optional<QString> &text);
    void setParticipantsError(const std::optional<QString> &text);

    ServiceBridge m_bridge;
    TemporaryDirectory m_temporaryDirectory;
    std::optional<ServiceIdentity> m_activeIdentity;
    QUuid m_ownGeneration = QUuid::createUuid();
    QUuid m_participantsGeneration = QUuid::createUuid();
    std::optional<SorvanePersonProfile> m_ownProfile;
    QHash<QUuid, SorvaneRequestParticipants> m_participants;
    bool m_loadingOwn = false;
    bool m_saving = false;
    bool m_loadingParticipants = false;
    std::optional<QString> m_ownError;
    std::optional<QString> m_participantsError;
};
