#pragma once

#include "profiles/sorvaneprofilesmodel.h"

#include <QObject>
#include <QPointer>
#include <QStringList>
#include <memory>
#include <optional>

// The state and rules of the own profile form: a local copy of the stored
// profile (name as typed, photo bytes), the name and change rules, the photo
// choice with its staleness guards and its one message, and the save. The
// form view only shows this and forwards clicks. GUI thread only.
class SorvaneOwnProfileForm final : public QObject
{
    Q_OBJECT
public:
    SorvaneOwnProfileForm(SorvaneProfilesModel &model, std::shared_ptr<ServiceQueueEditor> editor,
                          QObject *parent = nullptr);
    ~SorvaneOwnProfileForm() override;

    SorvaneProfilesModel &model() const { return *m_model; }

    // ---- state ----
    const QString &displayName() const { return m_displayName; }
    void setDisplayName(const QString &name);
    const std::optional<QByteArray> &avatarJPEG() const { return m_avatarJPEG; }
    bool choosingPhoto() const { return m_choosingPhoto; }
    const std::optional<QString> &photoError() const { return m_photoError; }
    bool saved() const { return m_saved; }

    // ---- derived ----
    std::optional<ServiceIdentity> identity() const;
    bool validName() const;
    bool changed() const;
    bool canSave() const;
    // The profile the avatar previews: the stored one with the name and photo as edited.
    std::optional<SorvanePersonProfile> previewProfile() const;
    // The photo message, else the model's error.
    std::optional<QString> message() const;
    bool showsTryAgain() const;
    bool canTryAgain() const;

    // ---- operations ----
    // The form is shown: takes the stored profile over and loads.
    void appear();
    // The form left the screen: stops its save and its load.
    void disappear();
    // The session or the tools folder may have changed.
    void editorChanged();
    void tryAgain();

    // Remembers who asked and opens the chooser (choosingPhoto()).
    void beginChoosingPhoto();
    // The chooser's result: none is a failure of the chooser itself; an empty
    // list is a cancelled choice. Only the first file is used.
    void photoChosen(const std::optional<QStringList> &files);
    // The chooser closed (after or without a result).
    void chooserClosed();
    void removePhoto();
    void save();

Q_SIGNALS:
    // Any state or derived value may have changed.
    void changedState();
    // An open chooser must close: the session changed under it.
    void closeChooser();

private:
    void takeOver();
    void loadIfNeeded(bool always);
    QString loadKey() const;
    std::optional<QUuid> ownUserID() const;
    QCoro::Task<void> runSave(std::optional<ServiceIdentity> identity, std::optional<QUuid> userID, QString name,
                              std::optional<QByteArray> photo, CancellationToken task);

    QPointer<SorvaneProfilesModel> m_model;
    std::shared_ptr<ServiceQueueEditor> m_editor;
    QString m_displayName;
    std::optional<QByteArray> m_avatarJPEG;
    bool m_choosingPhoto = false;
    std::optional<QString> m_photoError;
    bool m_saved = false;
    qint64 m_reload = 0;
    std::optional<ServiceIdentity> m_photoIdentity;
    std::optional<QUuid> m_photoUserID;
    std::optional<CancellationToken> m_saveOperation;
    std::optional<CancellationToken> m_loadOperation;
    std::optional<QString> m_loadedKey;
    std::optional<ServiceIdentity> m_seenIdentity;
    bool m_shown = false;
};
