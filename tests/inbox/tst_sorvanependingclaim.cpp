#include "inboxfixtures.h"

#include "foundation/errors.h"
#include "foundation/localization.h"
#include "foundation/settingsstore.h"
#include "inbox/sorvanependingclaim.h"
#include "inbox/sorvaneinboxrecords.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace InboxFixtures;

namespace {

const QUuid me = QUuid::fromString(operatorID);

ServiceIdentity identity(const QString &connection = "production")
{
    return ServiceIdentity{QUrl("tavlon-session://3f2c1d4e-5b6a-4c7d-8e9f-0a1b2c3d4e5f"),
                           QUrl::fromLocalFile("/opt/Tavlon Tools"), connection};
}

} // namespace

class TestSorvanePendingClaim : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { EditorLocalization::overrideLanguageForTesting("en"); }

    void keyFormula()
    {
        // Credentials URL, decoded tools path, connection, lower-case operator.
        QCOMPARE(SorvanePendingClaim::key(identity(), me),
                 QStringLiteral("editor.sorvaneInbox.claim.v1."
                                "9aea7ba64b486fd3167b57cc407804d50466198f6fdc4dcdcbf2c09a529c6d50"));
        QCOMPARE(SorvanePendingClaim::key(identity(), QUuid::fromString(operatorID.toUpper())),
                 SorvanePendingClaim::key(identity(), me));
    }

    void keysKeepIdentitiesApart_data()
    {
        QTest::addColumn<ServiceIdentity>("other");
        QTest::addColumn<QUuid>("otherOperator");
        ServiceIdentity credentials = identity();
        credentials.credentials = QUrl("tavlon-session://11111111-5b6a-4c7d-8e9f-0a1b2c3d4e5f");
        ServiceIdentity tools = identity();
        tools.repository = QUrl::fromLocalFile("/opt/Other Tools");
        QTest::newRow("connection") << identity("unsupported-local-test") << me;
        QTest::newRow("operator") << identity() << QUuid::fromString(uuidFor(1));
        QTest::newRow("credentials") << credentials << me;
        QTest::newRow("tools folder") << tools << me;
    }

    void keysKeepIdentitiesApart()
    {
        QFETCH(ServiceIdentity, other);
        QFETCH(QUuid, otherOperator);
        QVERIFY(SorvanePendingClaim::key(other, otherOperator) != SorvanePendingClaim::key(identity(), me));
    }

    void storedValues_data()
    {
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<bool>("kept");
        QTest::newRow("nothing") << QVariant() << false;
        QTest::newRow("not a UUID") << QVariant("claim-1") << false;
        QTest::newRow("braces") << QVariant("{" + uuidFor(5) + "}") << false;
        QTest::newRow("lower case") << QVariant(uuidFor(5).toLower()) << true;
        QTest::newRow("upper case") << QVariant(uuidFor(5).toUpper()) << true;
    }

    void storedValues()
    {
        QFETCH(QVariant, stored);
        QFETCH(bool, kept);
        MemorySettingsStore store;
        const QString key = SorvanePendingClaim::key(identity(), me);
        if (stored.isValid())
            store.setValue(key, stored);
        const QUuid commandID = SorvanePendingClaim::begin(store, key);
        if (kept)
            QCOMPARE(commandID, QUuid::fromString(uuidFor(5)));
        QCOMPARE(store.value(key).toString(), commandID.toString(QUuid::WithoutBraces).toUpper());
        QCOMPARE(SorvanePendingClaim::begin(store, key), commandID);
    }

    void survivesANewStore()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath("settings.ini");
        const QString key = SorvanePendingClaim::key(identity(), me);
        QUuid commandID;
        {
            QSettingsStore store(file);
            commandID = SorvanePendingClaim::begin(store, key);
        }
        QSettingsStore again(file);
        QCOMPARE(SorvanePendingClaim::read(again, key), std::optional(commandID));
    }

    void removedOnlyAfterAVerifiedAnswer()
    {
        MemorySettingsStore store;
        const QString key = SorvanePendingClaim::key(identity(), me);
        const QString otherKey = SorvanePendingClaim::key(identity(), QUuid::fromString(uuidFor(9)));
        const QUuid commandID = SorvanePendingClaim::begin(store, key);
        SorvanePendingClaim::begin(store, otherKey);

        QVERIFY_THROWS_EXCEPTION(BridgeError, SorvanePendingClaim::confirm(store, key, bytes(set(mutationResult(), "operatorID", uuidFor(4))), me));
        QVERIFY_THROWS_EXCEPTION(std::exception, SorvanePendingClaim::confirm(store, key, "not json", me));
        QCOMPARE(SorvanePendingClaim::read(store, key), std::optional(commandID));

        // An answer without a row still confirms the claim.
        const auto result = SorvanePendingClaim::confirm(store, key, bytes(set(mutationResult(), "item", QJsonValue::Null)), me);
        QVERIFY(!result.item);
        QVERIFY(!store.contains(key));
        QVERIFY(store.contains(otherKey));
    }
};

QTEST_GUILESS_MAIN(TestSorvanePendingClaim)
#include "tst_sorvanependingclaim.moc"
