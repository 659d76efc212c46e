#include "sorvaneownprofileform.h"

#include "profiles/sorvaneprofilephoto.h"

#include "foundation/decoding/strictformats.h"
#include "foundation/errors.h"
#include "foundation/localization.h"
#include "foundation/logging.h"

#include <QFile>
#include <QFileInfo>

namespace {

std::optional<QByteArray> storedPhoto(const std::optional<SorvanePersonProfile> &profile)
{
    if (!profile || !profile->avatarJPEGBase64)
        return std::nullopt;
    return StrictFormats::parseBase64(*profile->avatarJPEGBase64);
}

QString photoMessage()
{
    return BridgeError::failed(loc("Choose a photo that can be opened. The profile photo must be a small JPEG."))
        .message();
}

// The whole file, refused when empty or larger than the source limit. Reads
// at most one byte past the limit, so a file that grew since its size was
// read is refused too.
QByteArray readPhotoFile(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists() || info.size() < 1 || info.size() > SorvaneProfilePhoto::sourceLimit)
        throw BridgeError::failed(photoMessage());
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw BridgeError::failed(photoMessage());
    const QByteArray bytes = file.read(SorvaneProfilePhoto::sourceLimit + 1);
    if (bytes.isEmpty() || bytes.size() > SorvaneProfilePhoto::sourceLimit || file.error() != QFile::NoError)
        throw BridgeError::failed(photoMessage());
    return bytes;
}

} // namespace

SorvaneOwnProfileForm::SorvaneOwnProfileForm(SorvaneProfilesModel &model, std::shared_ptr<ServiceQueueEditor> editor,
                                             QObject *parent)
    : QObject(parent), m_model(&model), m_editor(std::move(editor))
{
    m_seenIdentity = identity();
    connect(&model, &SorvaneProfilesModel::ownProfileChanged, this, &SorvaneOwnProfileForm::takeOver);
    for (auto signal : {&SorvaneProfilesModel::loadingOwnChanged, &SorvaneProfilesModel::savingChanged,
                        &SorvaneProfilesModel::ownErrorChanged})
        connect(&model, signal, this, &SorvaneOwnProfileForm::changedState);
}

SorvaneOwnProfileForm::~SorvaneOwnProfileForm()
{
    disappear();
}

std::optional<ServiceIdentity> SorvaneOwnProfileForm::identity() const
{
    return m_model ? m_model->identity(*m_editor) : std::nullopt;
}

std::optional<QUuid> SorvaneOwnProfileForm::ownUserID() const
{
    if (!m_model || !m_model->ownProfile())
        return std::nullopt;
    return m_model->ownProfile()->userID;
}

bool SorvaneOwnProfileForm::validName() const
{
    return SorvaneProfileNames::isValid(m_displayName, true);
}

bool SorvaneOwnProfileForm::changed() const
{
    const auto &profile = m_model->ownProfile();
    const QString stored = profile ? profile->displayName.value_or(QString()) : QString();
    if (m_displayName.normalized(QString::NormalizationForm_C) != stored.normalized(QString::NormalizationForm_C))
        return true;
    return m_avatarJPEG != storedPhoto(profile);
}

bool SorvaneOwnProfileForm::canSave() const
{
    return m_model && validName() && changed() && !m_model->loadingOwn() && !m_model->saving();
}

std::optional<SorvanePersonProfile> SorvaneOwnProfileForm::previewProfile() const
{
    if (!m_model || !m_model->ownProfile())
        return std::nullopt;
    SorvanePersonProfile preview = *m_model->ownProfile();
    preview.displayName = m_displayName.isEmpty() ? std::nullopt : std::optional<QString>(m_displayName);
    preview.avatarJPEGBase64 =
        m_avatarJPEG ? std::optional<QString>(QString::fromLatin1(m_avatarJPEG->toBase64())) : std::nullopt;
    return preview;
}

std::optional<QString> SorvaneOwnProfileForm::message() const
{
    if (m_photoError)
        return m_photoError;
    return m_model ? m_model->ownError() : std::nullopt;
}

bool SorvaneOwnProfileForm::showsTryAgain() const
{
    return message().has_value() && m_model && !m_model->ownProfile();
}

bool SorvaneOwnProfileForm::canTryAgain() const
{
    return showsTryAgain() && !m_model->loadingOwn();
}

// ---- showing and loading ----

void SorvaneOwnProfileForm::appear()
{
    m_shown = true;
    takeOver();
    loadIfNeeded(true);
}

void SorvaneOwnProfileForm::disappear()
{
    m_shown = false;
    if (m_saveOperation)
        std::exchange(m_saveOperation, std::nullopt)->cancel();
    if (m_loadOperation)
        std::exchange(m_loadOperation, std::nullopt)->cancel();
    m_loadedKey.reset();
}

QString SorvaneOwnProfileForm::loadKey() const
{
    const auto credentials = m_editor->credentials();
    return (credentials ? credentials->toString(QUrl::FullyEncoded) : QString()) + QLatin1Char('\n')
        + m_editor->repository().toLocalFile() + QLatin1Char('\n') + QString::number(m_reload);
}

void SorvaneOwnProfileForm::loadIfNeeded(bool always)
{
    if (!m_shown || !m_model)
        return;
    const QString key = loadKey();
    if (!always && m_loadedKey == key)
        return;
    m_loadedKey = key;
    if (m_loadOperation)
        m_loadOperation->cancel();
    m_loadOperation = CancellationToken();
    m_model->loadOwn(m_editor, *m_loadOperation);
}

void SorvaneOwnProfileForm::editorChanged()
{
    const auto now = identity();
    if (now != m_seenIdentity) {
        m_seenIdentity = now;
        if (m_choosingPhoto) {
            m_choosingPhoto = false;
            Q_EMIT closeChooser();
        }
        if (m_saveOperation)
            std::exchange(m_saveOperation, std::nullopt)->cancel();
        m_saved = false;
        m_photoError.reset();
        Q_EMIT changedState();
    }
    loadIfNeeded(false);
}

void SorvaneOwnProfileForm::tryAgain()
{
    if (!canTryAgain())
        return;
    ++m_reload;
    loadIfNeeded(false);
}

void SorvaneOwnProfileForm::takeOver()
{
    const auto &profile = m_model->ownProfile();
    m_displayName = profile ? profile->displayName.value_or(QString()) : QString();
    m_avatarJPEG = storedPhoto(profile);
    Q_EMIT changedState();
}

// ---- editing ----

void SorvaneOwnProfileForm::setDisplayName(const QString &name)
{
    if (m_displayName == name)
        return;
    m_displayName = name;
    if (changed())
        m_saved = false;
    Q_EMIT changedState();
}

void SorvaneOwnProfileForm::beginChoosingPhoto()
{
    m_photoIdentity = identity();
    m_photoUserID = ownUserID();
    m_choosingPhoto = true;
    Q_EMIT changedState();
}

void SorvaneOwnProfileForm::chooserClosed()
{
    if (!m_choosingPhoto)
        return;
    m_choosingPhoto = false;
    Q_EMIT changedState();
}

void SorvaneOwnProfileForm::photoChosen(const std::optional<QStringList> &files)
{
    const bool current = m_photoIdentity && m_photoIdentity == identity() && m_photoUserID == ownUserID();
    if (current) {
        if (!files) {
            m_photoError = photoMessage();
        } else if (!files->isEmpty()) {
            try {
                m_avatarJPEG = SorvaneProfilePhoto::normalizedJPEG(readPhotoFile(files->first()));
                m_photoError.reset();
                m_saved = false;
            } catch (...) {
                logFailure(lcProfiles, "reading the chosen profile photo");
                m_photoError = photoMessage();
            }
        }
    }
    m_photoIdentity.reset();
    m_photoUserID.reset();
    Q_EMIT changedState();
}

void SorvaneOwnProfileForm::removePhoto()
{
    m_avatarJPEG.reset();
    m_photoError.reset();
    m_saved = false;
    Q_EMIT changedState();
}

// ---- saving ----

void SorvaneOwnProfileForm::save()
{
    if (!canSave())
        return;
    m_saved = false;
    m_photoError.reset();
    if (m_saveOperation)
        m_saveOperation->cancel();
    m_saveOperation = CancellationToken();
    Q_EMIT changedState();
    runSave(identity(), ownUserID(), m_displayName, m_avatarJPEG, *m_saveOperation);
}

QCoro::Task<void> SorvaneOwnProfileForm::runSave(std::optional<ServiceIdentity> identity, std::optional<QUuid> userID,
                                                 QString name, std::optional<QByteArray> photo, CancellationToken task)
{
    if (!identity || identity != this->identity() || userID != ownUserID() || !m_model)
        co_return;
    QPointer<SorvaneOwnProfileForm> self(this);
    const bool result = co_await m_model->save(name, photo, m_editor, task);
    if (!self || task.isCancelled())
        co_return;
    m_saved = result;
    Q_EMIT changedState();
}
