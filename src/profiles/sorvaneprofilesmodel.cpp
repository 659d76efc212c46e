#include "sorvaneprofilesmodel.h"

#include "profiles/sorvaneprofilephoto.h"
#include "profiles/sorvaneprofilewire.h"

#include "foundation/bridge/bridgecommand.h"
#include "foundation/bridge/toolsfolder.h"
#include "foundation/localization.h"
#include "foundation/logging.h"
#include "foundation/propertyassign.h"

#include <QDir>
#include <QFile>
#include <QPointer>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The private folder that carries the photo to the tool. Removed with
// everything in it when the save ends, whatever the outcome.
struct PhotoFolder
{
    QString path;
    PhotoFolder() = default;
    PhotoFolder(const PhotoFolder &) = delete;
    PhotoFolder &operator=(const PhotoFolder &) = delete;
    ~PhotoFolder()
    {
        if (!path.isEmpty())
            QDir(path).removeRecursively();
    }
};

// Writes the photo as "avatar.jpg" in a new folder of mode 0700 directly
// inside `base` (no parent is made), the file of mode 0600 from its
// creation on. Returns the file's path; throws BridgeError.
QString writePhoto(const QString &base, const QByteArray &jpeg, PhotoFolder &folder)
{
    const QString unsaved = loc("Your profile could not be saved. Your changes are still here; try again.");
    const QString path = QDir(base).filePath(QStringLiteral("tavlon-profile-")
                                             + QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper());
    if (::mkdir(QFile::encodeName(path).constData(), 0700) != 0)
        throw BridgeError::failed(unsaved);
    folder.path = path;
    const QString file = QDir(path).filePath(QStringLiteral("avatar.jpg"));
    const int fd = ::open(QFile::encodeName(file).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0)
        throw BridgeError::failed(unsaved);
    qsizetype written = 0;
    while (written < jpeg.size()) {
        const ssize_t n = ::write(fd, jpeg.constData() + written, size_t(jpeg.size() - written));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            ::close(fd);
            throw BridgeError::failed(unsaved);
        }
        written += n;
    }
    if (::close(fd) != 0)
        throw BridgeError::failed(unsaved);
    return file;
}

} // namespace

SorvaneProfilesModel::SorvaneProfilesModel(ServiceBridge bridge, TemporaryDirectory temporaryDirectory,
                                           QObject *parent)
    : QObject(parent), m_bridge(std::move(bridge)), m_temporaryDirectory(std::move(temporaryDirectory))
{
    if (!m_temporaryDirectory)
        m_temporaryDirectory = [] { return Bridge::profileTemporaryDirectory(); };
}

std::optional<ServiceIdentity> SorvaneProfilesModel::identity(const ServiceQueueEditor &editor) const
{
    return ServiceIdentity::form(editor.credentials(), editor.repository(), editor.unsupportedTestLaunch());
}

void SorvaneProfilesModel::adopt(const ServiceIdentity &identity)
{
    if (m_activeIdentity == identity)
        return;
    clear();
    m_activeIdentity = identity;
}

void SorvaneProfilesModel::clear()
{
    m_ownGeneration = QUuid::createUuid();
    m_participantsGeneration = QUuid::createUuid();
    m_activeIdentity.reset();
    setOwnProfile(std::nullopt);
    setParticipants({});
    setLoadingOwn(false);
    setSaving(false);
    setLoadingParticipants(false);
    setOwnError(std::nullopt);
    setParticipantsError(std::nullopt);
}

bool SorvaneProfilesModel::ownCurrent(const QUuid &generation, const ServiceIdentity &identity,
                                      const ServiceQueueEditor &editor, const CancellationToken &task) const
{
    return m_ownGeneration == generation && this->identity(editor) == identity && !task.isCancelled();
}

// ---- own profile ----

QCoro::Task<void> SorvaneProfilesModel::loadOwn(std::shared_ptr<ServiceQueueEditor> editor, CancellationToken task)
{
    const auto identity = this->identity(*editor);
    if (!identity) {
        clear();
        co_return;
    }
    adopt(*identity);
    if (m_saving)
        co_return;
    const QUuid generation = QUuid::createUuid();
    m_ownGeneration = generation;
    setLoadingOwn(true);
    setOwnError(std::nullopt);
    const std::optional<QUuid> expected = m_ownProfile ? std::optional<QUuid>(m_ownProfile->userID) : std::nullopt;
    const BridgeCommand command = BridgeCommand::profileGet(identity->credentials, expected);
    const QString tools = identity->repository.toLocalFile();

    QPointer<SorvaneProfilesModel> self(this);
    std::optional<QByteArray> answer;
    try {
        answer = co_await m_bridge(command, tools, task);
    } catch (...) {
        logFailure(lcProfiles, "fetching the own profile");
        answer.reset();
    }
    if (!self)
        co_return;
    if (ownCurrent(generation, *identity, *editor, task)) {
        try {
            if (!answer)
                throw BridgeError::failed(QString());
            setOwnProfile(SorvaneProfileWire::own(*answer, expected));
        } catch (...) {
            logFailure(lcProfiles, "reading the own profile");
            setOwnError(loc("Your profile could not be loaded. Try again."));
        }
    }
    if (m_ownGeneration == generation)
        setLoadingOwn(false);
}

QCoro::Task<bool> SorvaneProfilesModel::save(QString displayName, std::optional<QByteArray> avatarJPEG,
                                             std::shared_ptr<ServiceQueueEditor> editor, CancellationToken task)
{
    const auto identity = this->identity(*editor);
    if (!identity || m_activeIdentity != identity || !m_ownProfile || m_saving || m_loadingOwn)
        co_return false;
    const SorvanePersonProfile current = *m_ownProfile;
    const QString name = displayName.trimmed();
    if (!SorvaneProfileNames::isValid(name, true) || (avatarJPEG && !SorvaneProfilePhoto::isValidJPEG(*avatarJPEG))) {
        setOwnError(loc("Enter a name of 1–100 characters and choose a valid profile photo."));
        co_return false;
    }
    const QUuid generation = QUuid::createUuid();
    m_ownGeneration = generation;
    setSaving(true);
    setOwnError(std::nullopt);

    QPointer<SorvaneProfilesModel> self(this);
    bool saved = false;
    {
        PhotoFolder folder;
        std::optional<QByteArray> answer;
        try {
            std::optional<QUrl> photo;
            if (avatarJPEG)
                photo = QUrl::fromLocalFile(writePhoto(m_temporaryDirectory(), *avatarJPEG, folder));
            const BridgeCommand command =
                BridgeCommand::profileUpdate(identity->credentials, name, photo, current.userID);
            const QString tools = identity->repository.toLocalFile();
            answer = co_await m_bridge(command, tools, task);
        } catch (...) {
            logFailure(lcProfiles, "sending the own profile");
            answer.reset();
        }
        if (self && ownCurrent(generation, *identity, *editor, task)) {
            try {
                if (!answer)
                    throw BridgeError::failed(QString());
                const SorvanePersonProfile updated = SorvaneProfileWire::own(*answer, current.userID);
                setOwnProfile(updated);
                QHash<QUuid, SorvaneRequestParticipants> people = m_participants;
                for (auto it = people.begin(); it != people.end(); ++it) {
                    if (it->customer.userID == current.userID)
                        it->customer = updated;
                    if (it->instructor && it->instructor->userID == current.userID)
                        it->instructor = updated;
                }
                setParticipants(people);
                saved = true;
            } catch (...) {
                logFailure(lcProfiles, "reading the saved own profile");
                setOwnError(loc("Your profile could not be saved. Your changes are still here; try again."));
            }
        }
    } // the photo folder goes here, before the flag is reset
    if (self && m_ownGeneration == generation)
        setSaving(false);
    co_return bool(saved);
}

// ---- setters ----

void SorvaneProfilesModel::setOwnProfile(const std::optional<SorvanePersonProfile> &profile)
{
    assignProperty(this, m_ownProfile, profile, &SorvaneProfilesModel::ownProfileChanged);
}

void SorvaneProfilesModel::setParticipants(const QHash<QUuid, SorvaneRequestParticipants> &participants)
{
    assignProperty(this, m_participants, participants, &SorvaneProfilesModel::participantsChanged);
}

void SorvaneProfilesModel::setLoadingOwn(bool value)
{
    if (assignProperty(this, m_loadingOwn, value, &SorvaneProfilesModel::loadingOwnChanged))
        Q_EMIT busyChanged();
}

void SorvaneProfilesModel::setSaving(bool value)
{
    if (assignProperty(this, m_saving, value, &SorvaneProfilesModel::savingChanged))
        Q_EMIT busyChanged();
}

void SorvaneProfilesModel::setLoadingParticipants(bool value)
{
    if (assignProperty(this, m_loadingParticipants, value, &SorvaneProfilesModel::loadingParticipantsChanged))
        Q_EMIT busyChanged();
}

void SorvaneProfilesModel::setOwnError(const std::optional<QString> &text)
{
    assignProperty(this, m_ownError, text, &SorvaneProfilesModel::ownErrorChanged);
}

void SorvaneProfilesModel::setParticipantsError(const std::optional<QString> &text)
{
    assignProperty(this, m_participantsError, text, &SorvaneProfilesModel::participantsErrorChanged);
}
