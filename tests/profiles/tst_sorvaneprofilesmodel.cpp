// The profiles model: own profile load and save (with its private photo
// folder), participants in batches, and the generation and identity guards,
// against a tool runner whose answers the test releases.
#include "../inbox/inboxmodelfakes.h"
#include "profilefixtures.h"

#include "foundation/localization.h"
#include "profiles/sorvaneprofilesmodel.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

using namespace ProfileFixtures;

namespace {

QCoro::Task<void> keep(QCoro::Task<bool> task, std::optional<bool> *out)
{
    *out = co_await std::move(task);
}

const QString me = id(1, 7);

QList<SorvaneInboxRow> rows(int count)
{
    QList<SorvaneInboxRow> list;
    for (int n = 0; n < count; ++n)
        list.append(row(n + 1));
    return list;
}

int mode(const QString &path)
{
    struct stat info{};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? int(info.st_mode & 07777) : -1;
}

} // namespace

class TestSorvaneProfilesModel : public QObject
{
    Q_OBJECT

    std::unique_ptr<HeldBridge> bridge;
    std::shared_ptr<InboxEditor> editor;
    std::unique_ptr<QTemporaryDir> temporary;
    std::unique_ptr<SorvaneProfilesModel> model;
    QString temporaryBase;

    const BridgeCommand::ProfileGet &lastGet() const
    {
        return std::get<BridgeCommand::ProfileGet>(bridge->last().command.payload());
    }

    // Loads the own profile (as `name`, with `photo`) under the current identity.
    void loadProfile(const QJsonValue &name = "Demo Editor", const QJsonValue &photo = QJsonValue::Null)
    {
        model->loadOwn(editor);
        bridge->answerLast(ownAnswer(person(me, name, photo)));
        QVERIFY(model->ownProfile());
    }

    std::optional<bool> save(const QString &name, const std::optional<QByteArray> &photo = std::nullopt)
    {
        std::optional<bool> result;
        keep(model->save(name, photo, editor), &result);
        return result;
    }

private Q_SLOTS:
    void initTestCase() { EditorLocalization::overrideLanguageForTesting(QStringLiteral("en")); }

    void init()
    {
        model.reset();
        bridge = std::make_unique<HeldBridge>();
        editor = std::make_shared<InboxEditor>();
        temporary = std::make_unique<QTemporaryDir>();
        temporaryBase = temporary->path();
        model = std::make_unique<SorvaneProfilesModel>(bridge->bridge(), [this] {
            if (temporaryBase.isEmpty())
                throw BridgeError::failed(QStringLiteral("no folder"));
            return temporaryBase;
        });
    }

    void cleanup()
    {
        model.reset();
        bridge.reset();
    }

    // ---- own profile ----

    void loadAsksForTheLoadedUserAfterTheFirstLoad()
    {
        QSignalSpy changes(model.get(), &SorvaneProfilesModel::ownProfileChanged);
        model->loadOwn(editor);
        QVERIFY(model->loadingOwn() && model->busy());
        QCOMPARE(lastGet().expectedUserID, std::nullopt);
        bridge->answerLast(ownAnswer(person(me, "Demo Editor")));
        QVERIFY(!model->loadingOwn());
        QCOMPARE(changes.count(), 1);

        model->loadOwn(editor);
        QCOMPARE(lastGet().expectedUserID, std::optional<QUuid>(QUuid(me)));
        // Another person's profile now fails, and the loaded one stays.
        bridge->answerLast(ownAnswer(person(id(2, 7), "Someone")));
        QCOMPARE(model->ownProfile()->displayName, std::optional<QString>(QStringLiteral("Demo Editor")));
        QCOMPARE(model->ownError(), std::optional<QString>(QStringLiteral("Your profile could not be loaded. Try again.")));
    }

    void onlyTheNewestLoadApplies()
    {
        model->loadOwn(editor);
        model->loadOwn(editor);
        bridge->answer(0, ownAnswer(person(me, "Old")));
        QVERIFY(!model->ownProfile());
        QVERIFY(model->loadingOwn());
        bridge->answer(1, ownAnswer(person(me, "New")));
        QCOMPARE(model->ownProfile()->displayName, std::optional<QString>(QStringLiteral("New")));
        QVERIFY(!model->loadingOwn());
    }

    void anotherIdentityEmptiesTheModelAndDropsAnswers()
    {
        loadProfile();
        model->loadOwn(editor);
        editor->m_credentials = QUrl(QStringLiteral("tavlon-session://second"));
        bridge->answerLast(ownAnswer(person(me, "Stale")));
        QCOMPARE(model->ownProfile()->displayName, std::optional<QString>(QStringLiteral("Demo Editor")));
        QVERIFY(!model->ownError());

        // A load under the new identity empties first.
        model->loadOwn(editor);
        QVERIFY(!model->ownProfile());
        QCOMPARE(lastGet().expectedUserID, std::nullopt);

        editor->m_credentials.reset();
        const int calls = bridge->count();
        model->loadOwn(editor);
        QCOMPARE(bridge->count(), calls);
        QVERIFY(!model->busy());
        QVERIFY(!model->activeIdentity());
    }

    void saveRefusals_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("badPhoto");
        QTest::addColumn<bool>("message");
        QTest::newRow("spaces only") << "   " << false << true;
        QTest::newRow("101 units after trimming") << " " + QString(101, 'x') + " " << false << true;
        QTest::newRow("tab inside") << "Demo\tEditor" << false << true;
        QTest::newRow("zero-width format character") << QStringLiteral("Demo\u200BEditor") << false << true;
        QTest::newRow("photo that is a PNG") << "Demo" << true << true;
    }

    void saveRefusals()
    {
        QFETCH(QString, name);
        QFETCH(bool, badPhoto);
        QFETCH(bool, message);
        loadProfile();
        const int calls = bridge->count();
        const auto photo = badPhoto ? std::optional<QByteArray>(encode(solid(8, 8, Qt::red), "png")) : std::nullopt;
        QCOMPARE(save(name, photo), std::optional<bool>(false));
        QCOMPARE(bridge->count(), calls);
        QVERIFY(!model->saving());
        QCOMPARE(model->ownError().has_value(), message);
    }

    void saveIsRefusedSilentlyWithoutItsPreconditions()
    {
        QCOMPARE(save("Demo"), std::optional<bool>(false)); // nothing loaded
        loadProfile();
        model->loadOwn(editor);
        QCOMPARE(save("Demo"), std::optional<bool>(false)); // a load runs
        bridge->answerLast(ownAnswer(person(me, "Demo Editor")));
        editor->m_repository = QUrl::fromLocalFile(QStringLiteral("/other-tools"));
        QCOMPARE(save("Demo"), std::optional<bool>(false)); // another identity than the loaded one
        QVERIFY(!model->ownError());
        QCOMPARE(bridge->count(), 2);
    }

    void savePassesThePhotoThroughAPrivateFolderThatAlwaysGoes_data()
    {
        QTest::addColumn<int>("ending");
        QTest::newRow("success") << 0;
        QTest::newRow("tool failure") << 1;
        QTest::newRow("cancelled") << 2;
        QTest::newRow("cleared meanwhile") << 3;
    }

    void savePassesThePhotoThroughAPrivateFolderThatAlwaysGoes()
    {
        QFETCH(int, ending);
        loadProfile();
        const QByteArray jpeg = smallJPEG();
        std::optional<bool> result;
        CancellationToken task;
        keep(model->save(QStringLiteral("  -Ny Redaktør  "), jpeg, editor, task), &result);
        QVERIFY(model->saving());
        const auto update = std::get<BridgeCommand::ProfileUpdate>(bridge->last().command.payload());
        QCOMPARE(update.displayName, QStringLiteral("-Ny Redaktør")); // trimmed, an argument value
        QCOMPARE(update.expectedUserID, QUuid(me));
        QVERIFY(update.avatarJPEG);
        const QFileInfo file(update.avatarJPEG->toLocalFile());
        QCOMPARE(file.fileName(), QStringLiteral("avatar.jpg"));
        QCOMPARE(file.absolutePath(), QDir(temporaryBase).absoluteFilePath(file.dir().dirName()));
        QVERIFY(file.dir().dirName().startsWith(QStringLiteral("tavlon-profile-")));
        QCOMPARE(mode(file.absolutePath()), 0700);
        QCOMPARE(mode(file.absoluteFilePath()), 0600);
        QFile written(file.absoluteFilePath());
        QVERIFY(written.open(QIODevice::ReadOnly));
        QCOMPARE(written.readAll(), jpeg);

        const QString saved = QString::fromLatin1(jpeg.toBase64());
        switch (ending) {
        case 0: bridge->answerLast(ownAnswer(person(me, "-Ny Redaktør", saved))); break;
        case 1: bridge->failLast(QStringLiteral("offline")); break;
        case 2:
            task.cancel();
            break;
        case 3:
            model->clear();
            bridge->answerLast(ownAnswer(person(me, "-Ny Redaktør", saved)));
            break;
        }
        QTRY_VERIFY(result.has_value());
        QCOMPARE(*result, ending == 0);
        QVERIFY(!QFileInfo::exists(file.absolutePath()));
        QVERIFY(!model->saving());
        if (ending == 0)
            QCOMPARE(model->ownProfile()->avatarJPEGBase64, std::optional<QString>(saved));
        if (ending == 1)
            QCOMPARE(model->ownError(), std::optional<QString>(QStringLiteral(
                                            "Your profile could not be saved. Your changes are still here; try again.")));
        if (ending >= 2)
            QVERIFY(!model->ownError());
    }

    void saveWithoutTemporaryFolderFailsAndClearsThePhoto()
    {
        loadProfile("Demo Editor", QString::fromLatin1(smallJPEG().toBase64()));
        temporaryBase.clear();
        QCOMPARE(save("Demo", smallJPEG()), std::optional<bool>(false));
        QVERIFY(model->ownError());
        // Without a photo no folder is needed; the tool is told to clear it.
        std::optional<bool> result;
        keep(model->save(QStringLiteral("Demo"), std::nullopt, editor), &result);
        const auto update = std::get<BridgeCommand::ProfileUpdate>(bridge->last().command.payload());
        QVERIFY(!update.avatarJPEG);
        QVERIFY(bridge->last().command.arguments().contains(QStringLiteral("--clear-avatar")));
        bridge->answerLast(ownAnswer(person(me, "Demo")));
        QCOMPARE(result, std::optional<bool>(true));
        QVERIFY(!model->ownProfile()->avatarJPEGBase64);
    }

    void aSavedProfileReplacesThePersonInEveryTask()
    {
        const QList<SorvaneInboxRow> list{row(1, me), row(2)};
        model->loadParticipants(list, QUuid(me), editor);
        bridge->answerLast(participantsAnswer(list));
        loadProfile();
        std::optional<bool> result;
        keep(model->save(QStringLiteral("Renamed"), std::nullopt, editor), &result);
        bridge->answerLast(ownAnswer(person(me, "Renamed")));
        QCOMPARE(result, std::optional<bool>(true));
        QCOMPARE(model->people(list[0])->instructor->displayName, std::optional<QString>(QStringLiteral("Renamed")));
        QCOMPARE(model->people(list[1])->customer.displayName, std::optional<QString>(QStringLiteral("Mette Holm")));
    }

    // ---- participants ----

    void batches_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<QList<int>>("batches");
        QTest::newRow("none") << 0 << QList<int>{};
        QTest::newRow("20") << 20 << QList<int>{20};
        QTest::newRow("21") << 21 << QList<int>{20, 1};
        QTest::newRow("45") << 45 << QList<int>{20, 20, 5};
    }

    void batches()
    {
        QFETCH(int, count);
        QFETCH(QList<int>, batches);
        const auto list = rows(count);
        QSignalSpy published(model.get(), &SorvaneProfilesModel::participantsChanged);
        QSignalSpy loading(model.get(), &SorvaneProfilesModel::loadingParticipantsChanged);
        model->loadParticipants(list, QUuid(me), editor);
        for (int batch = 0; batch < batches.size(); ++batch) {
            QCOMPARE(bridge->count(), batch + 1);
            const auto command = std::get<BridgeCommand::ProfileParticipants>(bridge->last().command.payload());
            QCOMPARE(command.requestIDs.size(), batches[batch]);
            QCOMPARE(command.requestIDs.first(), QUuid(list[batch * 20].request.id));
            QCOMPARE(command.expectedUserID, QUuid(me));
            QCOMPARE(published.count(), 0);
            bridge->answerLast(participantsAnswer(list.mid(batch * 20, 20)));
        }
        QCOMPARE(bridge->count(), batches.size());
        QCOMPARE(model->participants().size(), count);
        QCOMPARE(published.count(), count > 0 ? 1 : 0);
        QCOMPARE(loading.count(), 2);
        QVERIFY(!model->loadingParticipants());
    }

    void aFailingBatchEndsTheLoadWithOneNotice_data()
    {
        QTest::addColumn<bool>("toolFails");
        QTest::newRow("tool fails") << true;
        QTest::newRow("answer refused") << false;
    }

    void aFailingBatchEndsTheLoadWithOneNotice()
    {
        QFETCH(bool, toolFails);
        const auto list = rows(45);
        model->loadParticipants(list, QUuid(me), editor);
        bridge->answerLast(participantsAnswer(list.mid(0, 20)));
        if (toolFails)
            bridge->failLast(QStringLiteral("offline"));
        else
            bridge->answerLast(participantsAnswer(list.mid(0, 20)));
        QCOMPARE(bridge->count(), 2);
        QVERIFY(model->participants().isEmpty());
        QCOMPARE(model->participantsError(),
                 std::optional<QString>(QStringLiteral("Profile photos are unavailable. Tasks are still ready to use.")));
        QVERIFY(!model->loadingParticipants());
    }

    void aNewerLoadOrAnotherIdentitySupersedes()
    {
        const auto list = rows(2);
        model->loadParticipants(list, QUuid(me), editor);
        model->loadParticipants(list.mid(0, 1), QUuid(me), editor);
        bridge->fail(0, QStringLiteral("offline"));
        QVERIFY(!model->participantsError());
        QVERIFY(model->loadingParticipants());
        bridge->answer(1, participantsAnswer(list.mid(0, 1)));
        QCOMPARE(model->participants().size(), 1);
        QVERIFY(!model->loadingParticipants());

        model->loadParticipants(list, QUuid(me), editor);
        editor->m_repository = QUrl::fromLocalFile(QStringLiteral("/other-tools"));
        bridge->answerLast(participantsAnswer(list));
        QVERIFY(model->participants().isEmpty());
        QVERIFY(!model->participantsError());

        // Without an operator nothing runs and the map empties.
        const int calls = bridge->count();
        model->loadParticipants(list, std::nullopt, editor);
        QCOMPARE(bridge->count(), calls);
    }

    void peopleOnlyWhileTheRecordFitsTheRow()
    {
        const QString claimer = id(9, 8);
        const QList<SorvaneInboxRow> list{row(1), row(2, claimer)};
        model->loadParticipants(list, QUuid(me), editor);
        bridge->answerLast(participantsAnswer(list));
        QVERIFY(model->people(list[0]));
        QCOMPARE(model->people(list[1])->instructor->userID, QUuid(claimer));
        auto claimedSince = list[0];
        claimedSince.request.claimed_by = claimer;
        QVERIFY(!model->people(claimedSince));
        auto otherSubmitter = list[0];
        otherSubmitter.request.submitted_by = id(3, 4);
        QVERIFY(!model->people(otherSubmitter));
        auto notUuid = list[0];
        notUuid.request.id = QStringLiteral("task");
        QVERIFY(!model->people(notUuid));

        model->clear();
        QVERIFY(!model->people(list[0]));
        QVERIFY(!model->busy());
    }
};

QTEST_MAIN(TestSorvaneProfilesModel)
#include "tst_sorvaneprofilesmodel.moc"
