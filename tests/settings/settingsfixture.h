#pragma once

// One window's models for the settings sheet: an editor model whose tool
// runs fail, a service queue, a signed-in (or not) session and a log of the
// clearing calls.

#include "../session/awaittask.h"
#include "../session/fakeauthapi.h"

#include "editor/editormodel.h"
#include "foundation/errors.h"
#include "foundation/projectlocation/projectlocationstore.h"
#include "foundation/settingsstore.h"
#include "profiles/sorvaneprofilesmodel.h"
#include "servicequeue/servicequeuemodel.h"
#include "session/editorsession.h"
#include "session/memorysessionvault.h"
#include "settings/sorvanesettingsmodel.h"

#include <QDir>
#include <QStringList>
#include <QTemporaryDir>
#include <QtTest>
#include <qcoro/qcorotimer.h>

struct LoggingProfiles final : EditorProfiles
{
    QStringList *log = nullptr;
    void clear() override { log->append(QStringLiteral("profiles")); }
};

// An editor operation that runs until it is stopped.
inline QCoro::Task<void> holdUntilStopped(CancellationToken token)
{
    while (!token.isCancelled())
        co_await QCoro::sleepFor(std::chrono::milliseconds(5));
    throw OperationCancelled();
}

struct SettingsFixture
{
    QStringList log;
    MemorySettingsStore settings;
    QTemporaryDir folders;
    std::shared_ptr<FakeAuthAPI> api = std::make_shared<FakeAuthAPI>();
    std::unique_ptr<EditorSession> session;
    std::shared_ptr<LoggingProfiles> profiles = std::make_shared<LoggingProfiles>();
    QSharedPointer<EditorModel> editor;
    QSharedPointer<ServiceQueueModel> queue;
    std::shared_ptr<SorvaneProfilesModel> profileForm = std::make_shared<SorvaneProfilesModel>(
        [](const BridgeCommand &, const QString &, CancellationToken) -> QCoro::Task<QByteArray> {
            throw BridgeError::failed(QStringLiteral("no tools"));
        });
    QStringList choices;
    bool storageAllowed = true; // what the root view answers for choosing a project folder

    explicit SettingsFixture(bool demo = false)
    {
        profiles->log = &log;
        session = std::make_unique<EditorSession>(
            [] {
                return EditorAuthConfiguration{QUrl(QStringLiteral("https://auth.example.test")), QStringLiteral("key"),
                                               QStringLiteral("auth.example.test")};
            },
            api, std::make_shared<MemorySessionVault>());
        auto locations =
            std::make_shared<ProjectLocationStore>(settings, QString::fromLatin1(ProjectLocationStore::standardPrefix));
        editor = EditorModel::create(locations, profiles, [](const BridgeCommand &, const QString &, CancellationToken)
                                         -> QCoro::Task<QByteArray> { throw BridgeError::failed(QStringLiteral("no tools")); });
        queue = QSharedPointer<ServiceQueueModel>::create(
            [](const BridgeCommand &, const QString &, CancellationToken) -> QCoro::Task<QByteArray> {
                throw BridgeError::failed(QStringLiteral("no tools"));
            },
            demo);
        QObject::connect(editor.data(), &EditorModel::messageChanged, [this] { log.append(QStringLiteral("editor")); });
        QObject::connect(&queue->openedTask(), &ServiceOpenedTask::changed, [this] {
            if (!queue->openedTask().detail())
                log.append(QStringLiteral("queue"));
        });
    }

    SorvaneSettingsModel::Parts parts()
    {
        SorvaneSettingsModel::Parts parts;
        parts.editor = editor;
        parts.queue = queue;
        parts.account = session.get();
        parts.profiles = profileForm;
        parts.clearInbox = [this] { log.append(QStringLiteral("inbox")); };
        parts.chooseStorage = [this] { choices.append(QStringLiteral("storage")); };
        parts.chooseTools = [this] { choices.append(QStringLiteral("tools")); };
        parts.storageSelectionAllowed = [this] { return storageAllowed; };
        return parts;
    }

    void signIn()
    {
        EditorAuthTokens tokens;
        tokens.access_token = QStringLiteral("access-1");
        tokens.refresh_token = QStringLiteral("refresh-1");
        tokens.expires_in = 3600;
        tokens.user.id = QUuid(QStringLiteral("5d2b7a3e-4c1f-4e8a-9b0d-2f6e8a1c3b5d"));
        tokens.user.email = QStringLiteral("editor@example.com");
        api->loginAnswer = tokens;
        TestAwait::run(session->login(QStringLiteral("editor@example.com"), QStringLiteral("pw")));
        editor->accountChanged(session->credentialURL());
    }

    QString folder(const QString &name)
    {
        const QString path = folders.filePath(name);
        QDir().mkpath(path);
        return QDir(path).canonicalPath();
    }

    // Adopts a project folder (its package listing fails, which leaves it chosen).
    void chooseFolder(const QString &name)
    {
        editor->chooseStorage(QUrl::fromLocalFile(folder(name)));
        QTRY_VERIFY(!editor->busy());
        editor->setError(std::nullopt);
    }

    void startOperation()
    {
        editor->perform(QStringLiteral("Arbejder…"), [](CancellationToken token) { return holdUntilStopped(token); });
    }

    void openTask(const QString &id)
    {
        ServiceDetail detail;
        detail.request.id = id;
        detail.request.title = QStringLiteral("Sommerfilm");
        queue->openedTask().setDetail(detail);
    }
};
