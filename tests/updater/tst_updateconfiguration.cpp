#include "updater/sorvaneupdateconfiguration.h"

#include <QtTest>

namespace {

const QString goodKey = QStringLiteral("w+ghNAjfXTpT9J8rCmD+23gS9JiLlaszMvCTAgZ2WP0=");
const QString bundle = QStringLiteral("/Applications/TavlonFilmEditor.app");

QVariantMap goodInfo()
{
    return {{QStringLiteral("CFBundleIdentifier"), QStringLiteral("film.tavlon.editor.local")},
            {QStringLiteral("SUFeedURL"), QStringLiteral("https://example.com/downloads/sorvane/appcast.xml")},
            {QStringLiteral("SUPublicEDKey"), goodKey},
            {QStringLiteral("SUVerifyUpdateBeforeExtraction"), true},
            {QStringLiteral("SURequireSignedFeed"), true},
            {QStringLiteral("CFBundleVersion"), QStringLiteral("1.0.0")}};
}

QString keyOfBytes(int count)
{
    QByteArray bytes;
    for (int i = 0; i < count; ++i)
        bytes.append(char(i * 37 + 11));
    return QString::fromLatin1(bytes.toBase64());
}

// An invalid QVariant in `changes` removes the key.
QVariantMap applied(QVariantMap info, const QVariantMap &changes)
{
    for (auto it = changes.cbegin(); it != changes.cend(); ++it) {
        if (it->isValid())
            info.insert(it.key(), *it);
        else
            info.remove(it.key());
    }
    return info;
}

} // namespace

class TestUpdateConfiguration : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void acceptsGoodBundle_data();
    void acceptsGoodBundle();
    void refuses_data();
    void refuses();
    void emptyDictionaryIsRefused();
    void feedIsTheHttpsAppcast();
};

void TestUpdateConfiguration::acceptsGoodBundle_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QVariantMap>("changes");
    QTest::newRow("plain") << bundle << QVariantMap();
    QTest::newRow("trailing slash on the bundle path") << bundle + QStringLiteral("/") << QVariantMap();
    QTest::newRow("dotted bundle name") << QStringLiteral("/tmp/Tavlon.Film.Editor.app") << QVariantMap();
    QTest::newRow("other keys are ignored")
        << bundle
        << QVariantMap{{QStringLiteral("SUEnableAutomaticChecks"), QStringLiteral("YES")},
                       {QStringLiteral("CFBundleShortVersionString"), 7}};
    QTest::newRow("another canonical key") << bundle << QVariantMap{{QStringLiteral("SUPublicEDKey"), keyOfBytes(32)}};
}

void TestUpdateConfiguration::acceptsGoodBundle()
{
    QFETCH(QString, path);
    QFETCH(QVariantMap, changes);
    const QVariantMap info = applied(goodInfo(), changes);
    const auto configuration = SorvaneUpdateConfiguration::check(path, info, false);
    QVERIFY(configuration);
    QCOMPARE(configuration->feedURL(), SorvaneUpdateConfiguration::feed());
    QCOMPARE(configuration->feedURL().toString(QUrl::FullyEncoded),
             QStringLiteral("https://example.com/downloads/sorvane/appcast.xml"));
    QCOMPARE(configuration->publicKey(), info.value(QStringLiteral("SUPublicEDKey")).toString());
    // The same inputs give an equal value.
    QVERIFY(*configuration == *SorvaneUpdateConfiguration::check(path, info, false));
}

void TestUpdateConfiguration::refuses_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("isFixture");
    QTest::addColumn<QVariantMap>("changes");
    const QVariant removed;
    const QString feed = QStringLiteral("SUFeedURL");
    const QString key = QStringLiteral("SUPublicEDKey");
    const QString verify = QStringLiteral("SUVerifyUpdateBeforeExtraction");
    const QString signedFeed = QStringLiteral("SURequireSignedFeed");
    const QString build = QStringLiteral("CFBundleVersion");
    const QString identifier = QStringLiteral("CFBundleIdentifier");

    QTest::newRow("fixture") << bundle << true << QVariantMap();

    QTest::newRow("APP in capitals") << QStringLiteral("/Applications/TavlonFilmEditor.APP") << false << QVariantMap();
    QTest::newRow("no extension") << QStringLiteral("/Applications/TavlonFilmEditor") << false << QVariantMap();
    QTest::newRow("other extension") << QStringLiteral("/Applications/TavlonFilmEditor.apps") << false << QVariantMap();
    QTest::newRow("extension on a parent only") << QStringLiteral("/Applications/Tavlon.app/MacOS") << false << QVariantMap();
    QTest::newRow("hidden .app name") << QStringLiteral("/Applications/.app") << false << QVariantMap();
    QTest::newRow("empty bundle path") << QString() << false << QVariantMap();

    QTest::newRow("identifier missing") << bundle << false << QVariantMap{{identifier, removed}};
    QTest::newRow("identifier other") << bundle << false << QVariantMap{{identifier, QStringLiteral("film.tavlon.editor")}};
    QTest::newRow("identifier other case") << bundle << false << QVariantMap{{identifier, QStringLiteral("Film.Tavlon.Editor.Local")}};
    QTest::newRow("identifier not text")
        << bundle << false << QVariantMap{{identifier, QByteArray("film.tavlon.editor.local")}};

    QTest::newRow("feed missing") << bundle << false << QVariantMap{{feed, removed}};
    QTest::newRow("feed trailing slash")
        << bundle << false << QVariantMap{{feed, QStringLiteral("https://example.com/downloads/sorvane/appcast.xml/")}};
    QTest::newRow("feed host in capitals")
        << bundle << false << QVariantMap{{feed, QStringLiteral("https://EXAMPLE.com/downloads/sorvane/appcast.xml")}};
    QTest::newRow("feed over http")
        << bundle << false << QVariantMap{{feed, QStringLiteral("http://example.com/downloads/sorvane/appcast.xml")}};
    QTest::newRow("feed with query")
        << bundle << false << QVariantMap{{feed, QStringLiteral("https://example.com/downloads/sorvane/appcast.xml?x=1")}};
    QTest::newRow("feed with percent-encoded dot")
        << bundle << false << QVariantMap{{feed, QStringLiteral("https://example.com/downloads/sorvane/appcast%2Exml")}};
    QTest::newRow("feed as a URL value")
        << bundle << false << QVariantMap{{feed, QUrl(QStringLiteral("https://example.com/downloads/sorvane/appcast.xml"))}};

    QTest::newRow("key missing") << bundle << false << QVariantMap{{key, removed}};
    QTest::newRow("key empty") << bundle << false << QVariantMap{{key, QString()}};
    QTest::newRow("key of 43 characters") << bundle << false << QVariantMap{{key, goodKey.chopped(1)}};
    QTest::newRow("key with trailing newline") << bundle << false << QVariantMap{{key, goodKey + QStringLiteral("\n")}};
    QTest::newRow("key with a line break inside")
        << bundle << false << QVariantMap{{key, goodKey.left(20) + QStringLiteral("\n") + goodKey.mid(20)}};
    QTest::newRow("key of 48 bytes") << bundle << false << QVariantMap{{key, keyOfBytes(48)}};
    QTest::newRow("key of 31 bytes") << bundle << false << QVariantMap{{key, keyOfBytes(31)}};
    // Decodes to the same 32 bytes, but its unused low bits are set.
    QTest::newRow("key not canonical")
        << bundle << false << QVariantMap{{key, goodKey.left(42) + QStringLiteral("1=")}};
    QTest::newRow("key in URL-safe alphabet")
        << bundle << false
        << QVariantMap{{key, QString(goodKey).replace(QLatin1Char('+'), QLatin1Char('-')).replace(QLatin1Char('/'), QLatin1Char('_'))}};
    QTest::newRow("key with a non-ASCII letter")
        << bundle << false << QVariantMap{{key, goodKey.left(10) + QChar(0x00e6) + goodKey.mid(11)}};
    QTest::newRow("key as data") << bundle << false << QVariantMap{{key, QByteArray::fromBase64(goodKey.toLatin1())}};

    QTest::newRow("verify as text YES") << bundle << false << QVariantMap{{verify, QStringLiteral("YES")}};
    QTest::newRow("verify false") << bundle << false << QVariantMap{{verify, false}};
    QTest::newRow("verify missing") << bundle << false << QVariantMap{{verify, removed}};
    QTest::newRow("signed feed as text YES") << bundle << false << QVariantMap{{signedFeed, QStringLiteral("YES")}};
    QTest::newRow("signed feed false") << bundle << false << QVariantMap{{signedFeed, false}};
    QTest::newRow("signed feed missing") << bundle << false << QVariantMap{{signedFeed, removed}};

    QTest::newRow("build empty") << bundle << false << QVariantMap{{build, QString()}};
    QTest::newRow("build missing") << bundle << false << QVariantMap{{build, removed}};
    QTest::newRow("build as integer") << bundle << false << QVariantMap{{build, qlonglong(100)}};
}

void TestUpdateConfiguration::refuses()
{
    QFETCH(QString, path);
    QFETCH(bool, isFixture);
    QFETCH(QVariantMap, changes);
    QVERIFY(!SorvaneUpdateConfiguration::check(path, applied(goodInfo(), changes), isFixture));
}

void TestUpdateConfiguration::emptyDictionaryIsRefused()
{
    QVERIFY(!SorvaneUpdateConfiguration::check(bundle, {}, false));
}

void TestUpdateConfiguration::feedIsTheHttpsAppcast()
{
    const QUrl &feed = SorvaneUpdateConfiguration::feed();
    QCOMPARE(feed.scheme(), QStringLiteral("https"));
    QVERIFY(feed.host().startsWith(QStringLiteral("example.")));
    QCOMPARE(feed.path(), QStringLiteral("/downloads/sorvane/appcast.xml"));
    QVERIFY(!feed.hasQuery() && !feed.hasFragment());
}

QTEST_GUILESS_MAIN(TestUpdateConfiguration)
#include "tst_updateconfiguration.moc"
