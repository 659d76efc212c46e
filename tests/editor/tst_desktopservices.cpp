// Revealing a folder goes to the desktop's file manager over the session bus
// and falls back to opening the folder itself when no file manager answers;
// when nothing opens it, one sentence names the path.
#include "editor/ui/qtdesktopservices.h"
#include "foundation/localization.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusContext>
#include <QDBusError>
#include <QDesktopServices>
#include <QtTest>

class FakeFileManager : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.FileManager1")
public:
    bool refuse = false;
    QList<QStringList> shown;

public Q_SLOTS:
    void ShowItems(const QStringList &uris, const QString &startupId)
    {
        Q_UNUSED(startupId);
        if (refuse) {
            sendErrorReply(QDBusError::Failed, QStringLiteral("no window"));
            return;
        }
        shown.append(uris);
    }
};

class OpenedUrls : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> urls;
public Q_SLOTS:
    void open(const QUrl &url) { urls.append(url); }
};

class TestDesktopServices : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void reveal_data();
    void reveal();
    void nothingOpensIt_data();
    void nothingOpensIt();

private:
    FakeFileManager m_manager;
    OpenedUrls m_opened;
};

void TestDesktopServices::initTestCase()
{
    if (!QDBusConnection::sessionBus().isConnected())
        QSKIP("no session bus (run under scripts/test-env)");
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &m_opened, "open");
}

void TestDesktopServices::cleanupTestCase()
{
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
}

void TestDesktopServices::reveal_data()
{
    QTest::addColumn<bool>("managerPresent");
    QTest::addColumn<bool>("managerRefuses");
    QTest::addColumn<bool>("expectShown");
    QTest::addColumn<bool>("expectOpened");

    QTest::newRow("the file manager shows the folder") << true << false << true << false;
    QTest::newRow("the file manager refuses: the folder opens") << true << true << false << true;
    QTest::newRow("no file manager: the folder opens") << false << false << false << true;
}

void TestDesktopServices::reveal()
{
    QFETCH(bool, managerPresent);
    QFETCH(bool, managerRefuses);
    QFETCH(bool, expectShown);
    QFETCH(bool, expectOpened);

    QDBusConnection bus = QDBusConnection::sessionBus();
    const QString service = QString::fromLatin1(QtDesktopServices::fileManagerService);
    const QString path = QString::fromLatin1(QtDesktopServices::fileManagerPath);
    if (managerPresent) {
        QVERIFY(bus.registerObject(path, &m_manager, QDBusConnection::ExportAllSlots));
        QVERIFY(bus.registerService(service));
    }
    m_manager.refuse = managerRefuses;
    m_manager.shown.clear();
    m_opened.urls.clear();

    const QString folder = QStringLiteral("/tmp/Projekt mappe");
    QtDesktopServices services;
    services.revealFolder(folder);

    const QUrl url = QUrl::fromLocalFile(folder);
    if (expectShown) {
        QTRY_COMPARE(m_manager.shown.size(), 1);
        QCOMPARE(m_manager.shown.first(), QStringList{url.toString(QUrl::FullyEncoded)});
    }
    if (expectOpened)
        QTRY_COMPARE(m_opened.urls, QList<QUrl>{url});
    // Let a late answer arrive before judging what did not happen.
    QTest::qWait(100);
    QCOMPARE(m_manager.shown.isEmpty(), !expectShown);
    QCOMPARE(m_opened.urls.isEmpty(), !expectOpened);

    if (managerPresent) {
        bus.unregisterService(service);
        bus.unregisterObject(path);
    }
}

void TestDesktopServices::nothingOpensIt_data()
{
    QTest::addColumn<bool>("folder");
    QTest::addColumn<QString>("sentence");
    QTest::newRow("a folder, no file manager and no handler")
        << true << QStringLiteral("Nothing on this computer could show the folder; it is here: /tmp/Projekt mappe");
    QTest::newRow("a file and no handler")
        << false << QStringLiteral("Nothing on this computer could open the file; it is here: /tmp/Projekt mappe");
}

// Qt only writes "Unable to detect a launcher" to standard error: the person
// is told instead, with the path to go to by hand.
void TestDesktopServices::nothingOpensIt()
{
    QFETCH(bool, folder);
    QFETCH(QString, sentence);
    EditorLocalization::overrideLanguageForTesting(QStringLiteral("en"));
    QStringList told;
    QList<QUrl> asked;
    QtDesktopServices services([&told](const QString &text) { told << text; },
                               [&asked](const QUrl &url) {
                                   asked << url;
                                   return false;
                               });
    const QString path = QStringLiteral("/tmp/Projekt mappe");
    if (folder)
        services.revealFolder(path);
    else
        services.openFile(path);
    QTRY_COMPARE(told, QStringList{sentence});
    QCOMPARE(asked, QList<QUrl>{QUrl::fromLocalFile(path)});
}

QTEST_MAIN(TestDesktopServices)
#include "tst_desktopservices.moc"
