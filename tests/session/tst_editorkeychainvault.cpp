// The vault against the real secret store of the test environment (an
// unlocked throw-away keyring on a private bus) and the stored session form.
#include "awaittask.h"
#include "foundation/decoding/strictjson.h"
#include "foundation/errors.h"
#include "foundation/localization.h"
#include "session/editorauthrecords.h"
#include "session/editorkeychainvault.h"

#include <QSignalSpy>
#include <QtTest>
#include <qt6keychain/keychain.h>

class TestEditorKeychainVault : public QObject
{
    Q_OBJECT

    QString service(const char *name) const
    {
        return QStringLiteral("film.tavlon.editor.session.test.") + QString::fromLatin1(name) + QLatin1Char('.')
            + QString::number(QCoreApplication::applicationPid());
    }

    static QCoro::Task<void> readOnly(EditorKeychainVault &vault) { co_await vault.read(); }

    static QString failure(QCoro::Task<void> task)
    {
        try {
            TestAwait::run(std::move(task));
        } catch (const BridgeError &error) {
            return error.message();
        }
        return {};
    }

private Q_SLOTS:
    void initTestCase() { EditorLocalization::overrideLanguageForTesting(QStringLiteral("da")); }

    void emptyStore()
    {
        EditorKeychainVault vault(service("empty"));
        QVERIFY(!TestAwait::run(vault.read()));
        TestAwait::run(vault.remove());
        TestAwait::run(vault.remove());
    }

    void writeReplacesAndRemoves()
    {
        EditorKeychainVault vault(service("replace"));
        TestAwait::run(vault.write("first"));
        TestAwait::run(vault.write("second"));
        QCOMPARE(TestAwait::run(vault.read()).value_or(QByteArray()), QByteArray("second"));
        // One item: a single removal leaves nothing behind.
        TestAwait::run(vault.remove());
        QVERIFY(!TestAwait::run(vault.read()));
    }

    void sizeLimit()
    {
        EditorKeychainVault vault(service("size"));
        const QByteArray largest(EditorSessionVault::maximumSize, 'x');
        TestAwait::run(vault.write(largest));
        QCOMPARE(TestAwait::run(vault.read()).value_or(QByteArray()), largest);

        QCOMPARE(failure(vault.write(QByteArray(EditorSessionVault::maximumSize + 1, 'y'))),
                 EditorKeychainVault::failureMessage());
        QCOMPARE(TestAwait::run(vault.read()).value_or(QByteArray()), largest);
        TestAwait::run(vault.remove());
    }

    // An item that something else put in the store is checked on the way
    // out too: more than the limit is refused, not handed on.
    void oversizedStoredItemIsRefused()
    {
        const QString name = service("oversized");
        auto *job = new QKeychain::WritePasswordJob(name);
        job->setKey(QString::fromLatin1(EditorKeychainVault::account));
        job->setBinaryData(QByteArray(EditorSessionVault::maximumSize + 1, 'z'));
        QSignalSpy written(job, &QKeychain::Job::finished);
        job->start();
        QVERIFY(written.wait());
        QCOMPARE(job->error(), QKeychain::NoError);

        EditorKeychainVault vault(name);
        QCOMPARE(failure(readOnly(vault)),
                 EditorKeychainVault::failureMessage());
        TestAwait::run(vault.remove());
        QVERIFY(!TestAwait::run(vault.read()));
    }

    void servicesAreKeptApart()
    {
        EditorKeychainVault one(service("one"));
        EditorKeychainVault two(service("two"));
        TestAwait::run(one.write("1"));
        TestAwait::run(two.write("2"));
        TestAwait::run(one.remove());
        QVERIFY(!TestAwait::run(one.read()));
        QCOMPARE(TestAwait::run(two.read()).value_or(QByteArray()), QByteArray("2"));
        TestAwait::run(two.remove());
    }

    void callsRunInSubmissionOrder()
    {
        EditorKeychainVault vault(service("order"));
        // Started together, they must not overtake each other.
        auto write = vault.write("queued");
        auto read = vault.read();
        auto remove = vault.remove();
        auto readAgain = vault.read();
        TestAwait::run(std::move(write));
        QCOMPARE(TestAwait::run(std::move(read)).value_or(QByteArray()), QByteArray("queued"));
        TestAwait::run(std::move(remove));
        QVERIFY(!TestAwait::run(std::move(readAgain)));
    }

    void savedSessionForm_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<bool>("decodes");
        const QByteArray user = R"({"id":"0f8fad5b-d9cb-469f-a165-70867728950e","email":null})";
        QTest::newRow("complete") << QByteArray(R"({"configuration":"h","user":)" + user
                                                + R"(,"accessToken":"a","refreshToken":"r","expiresAt":0,"x":1})")
                                  << true;
        QTest::newRow("no refresh token")
            << QByteArray(R"({"configuration":"h","user":)" + user + R"(,"accessToken":"a","expiresAt":0})") << false;
        QTest::newRow("user without id")
            << QByteArray(R"({"configuration":"h","user":{"email":"e"},"accessToken":"a","refreshToken":"r","expiresAt":0})")
            << false;
        QTest::newRow("expiry as text")
            << QByteArray(R"({"configuration":"h","user":)" + user
                          + R"(,"accessToken":"a","refreshToken":"r","expiresAt":"0"})")
            << false;
    }

    void savedSessionForm()
    {
        QFETCH(QByteArray, json);
        QFETCH(bool, decodes);
        try {
            const EditorSavedSession session = EditorSavedSession::decode(json);
            QVERIFY(decodes);
            // "expiresAt" 0 is 2001-01-01 00:00:00 UTC.
            QCOMPARE(session.expiresAt, double(QDateTime(QDate(2001, 1, 1), QTime(0, 0), Qt::UTC).toSecsSinceEpoch()));
            QVERIFY(!session.user.email);
            const EditorSavedSession again = EditorSavedSession::decode(session.encode());
            QCOMPARE(again.user, session.user);
            QCOMPARE(again.expiresAt, session.expiresAt);
            QVERIFY(session.encode().contains("\"0F8FAD5B-D9CB-469F-A165-70867728950E\""));
            QVERIFY(!session.encode().contains("email"));
        } catch (const DecodingError &) {
            QVERIFY(!decodes);
        }
    }
};

QTEST_GUILESS_MAIN(TestEditorKeychainVault)
#include "tst_editorkeychainvault.moc"
