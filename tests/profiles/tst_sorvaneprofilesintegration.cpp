// The profiles model against the stand-in service: a real sign-in, the
// editor's tool runner and desktop_profile.py as a child process.
#include "../common/standinsignin.h"

#include "editor/editormodel.h"
#include "foundation/bridge/bridge.h"
#include "foundation/localization.h"
#include "foundation/settingsstore.h"
#include "inbox/sorvaneinboxmodel.h"
#include "profiles/sorvaneprofilephoto.h"
#include "profiles/sorvaneprofilesmodel.h"
#include "servicequeue/editorserviceadapter.h"

#include <QBuffer>
#include <QImage>
#include <QtTest>

namespace {

constexpr int toolWait = 60000;

QCoro::Task<void> keep(QCoro::Task<bool> task, std::optional<bool> *out)
{
    *out = co_await std::move(task);
}

} // namespace

class TestSorvaneProfilesIntegration : public QObject
{
    Q_OBJECT

    StandinFixture standin;
    std::unique_ptr<EditorSession> session;
    QSharedPointer<EditorModel> editor;
    std::shared_ptr<EditorServiceAdapter> adapter;
    std::unique_ptr<SorvaneProfilesModel> profiles;

    void openWindow()
    {
        profiles.reset();
        editor = EditorModel::create(nullptr);
        editor->setRepository(standin.toolsFolder());
        editor->accountChanged(session->credentialURL());
        adapter = std::make_shared<EditorServiceAdapter>(editor);
        profiles = std::make_unique<SorvaneProfilesModel>(adapter->bridge());
    }

    bool settle() { return QTest::qWaitFor([this] { return !profiles->busy(); }, toolWait); }

private Q_SLOTS:
    void initTestCase()
    {
        EditorLocalization::overrideLanguageForTesting(QStringLiteral("en"));
        QVERIFY2(standin.start(), qPrintable(standin.failure()));
        QVERIFY2(standin.reset(), qPrintable(standin.failure()));
        QString failure;
        session = Standin::signIn(standin, QStringLiteral("editor@example.com"), &failure);
        QVERIFY2(session, qPrintable(failure));
        Bridge::setSessionProvider(session.get());
    }

    void cleanupTestCase()
    {
        Bridge::setSessionProvider(nullptr);
        profiles.reset();
        adapter.reset();
        editor.reset();
        session.reset();
    }

    void loadChangeNameAndPhotoSaveAndLoadAgain()
    {
        openWindow();
        profiles->loadOwn(adapter);
        QVERIFY(settle());
        QVERIFY2(profiles->ownProfile(), qPrintable(profiles->ownError().value_or(QString())));
        QCOMPARE(profiles->ownProfile()->displayName, std::optional<QString>(QStringLiteral("Demo Editor")));
        QVERIFY(!profiles->ownProfile()->avatarJPEGBase64);

        QImage picture(900, 600, QImage::Format_RGB32);
        picture.fill(QColor(30, 90, 160));
        QByteArray source;
        QBuffer buffer(&source);
        buffer.open(QIODevice::WriteOnly);
        picture.save(&buffer, "png");
        const QByteArray photo = SorvaneProfilePhoto::normalizedJPEG(source);

        std::optional<bool> saved;
        keep(profiles->save(QStringLiteral(" -Redaktør Ny "), photo, adapter), &saved);
        QVERIFY(QTest::qWaitFor([&] { return saved.has_value(); }, toolWait));
        QVERIFY2(*saved, qPrintable(profiles->ownError().value_or(QString())));

        openWindow();
        profiles->loadOwn(adapter);
        QVERIFY(settle());
        QVERIFY(profiles->ownProfile());
        QCOMPARE(profiles->ownProfile()->displayName, std::optional<QString>(QStringLiteral("-Redaktør Ny")));
        QCOMPARE(profiles->ownProfile()->avatarJPEGBase64, std::optional<QString>(QString::fromLatin1(photo.toBase64())));
        QVERIFY(profiles->ownProfile()->updatedAt);

        // Removing the photo.
        saved.reset();
        keep(profiles->save(QStringLiteral("Demo Editor"), std::nullopt, adapter), &saved);
        QVERIFY(QTest::qWaitFor([&] { return saved.has_value(); }, toolWait));
        QVERIFY(*saved);
        QVERIFY(!profiles->ownProfile()->avatarJPEGBase64);
    }

    void participantsOfTheInbox()
    {
        openWindow();
        MemorySettingsStore defaults;
        SorvaneInboxModel inbox(adapter->bridge(), defaults);
        inbox.refresh(*adapter);
        QVERIFY(QTest::qWaitFor([&] { return !inbox.loading(); }, toolWait));
        QVERIFY2(!inbox.error(), qPrintable(inbox.error().value_or(QString())));
        QVERIFY(inbox.items().size() > 0);

        profiles->loadParticipants(inbox.items(), inbox.operatorID(), adapter);
        QVERIFY(settle());
        QVERIFY2(!profiles->participantsError(), qPrintable(profiles->participantsError().value_or(QString())));
        QCOMPARE(profiles->participants().size(), inbox.items().size());
        int photos = 0;
        for (const SorvaneInboxRow &row : inbox.items()) {
            const auto people = profiles->people(row);
            QVERIFY(people);
            photos += people->customer.avatarJPEGBase64.has_value();
        }
        QVERIFY(photos > 0);

        // The tool failing gives the one notice and no people.
        QVERIFY(standin.setScenario(QJsonObject{{"profileParticipants", QJsonObject{{"mode", "fail"}}}}));
        profiles->loadParticipants(inbox.items(), inbox.operatorID(), adapter);
        QVERIFY(settle());
        standin.clearScenario();
        QVERIFY(profiles->participants().isEmpty());
        QCOMPARE(profiles->participantsError(),
                 std::optional<QString>(QStringLiteral("Profile photos are unavailable. Tasks are still ready to use.")));
    }
};

QTEST_MAIN(TestSorvaneProfilesIntegration)
#include "tst_sorvaneprofilesintegration.moc"
