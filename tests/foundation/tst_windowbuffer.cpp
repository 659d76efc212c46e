#include "foundation/ui/windowbuffer.h"

#include <QBackingStore>
#include <QLabel>
#include <QLibraryInfo>
#include <QProcess>
#include <QScreen>
#include <QVBoxLayout>
#include <QtTest>
#include <cstring>
#include <sys/mman.h>

namespace {

// A window whose first frame holds text, a filled area and the window's own
// background, and which says when it has painted.
class Window final : public QWidget
{
public:
    Window()
    {
        auto *layout = new QVBoxLayout(this);
        layout->addWidget(new QLabel(QStringLiteral("Choose an editing task"), this));
        auto *filled = new QWidget(this);
        filled->setAutoFillBackground(true);
        QPalette palette = filled->palette();
        palette.setColor(QPalette::Window, QColor(66, 97, 84));
        filled->setPalette(palette);
        layout->addWidget(filled, 1);
    }
    bool painted = false;

protected:
    void paintEvent(QPaintEvent *) override { painted = true; }
};

// What the window's backing store holds after its first paint.
QImage firstFrame(Window &window)
{
    window.show();
    if (!QTest::qWaitForWindowExposed(&window) || !QTest::qWaitFor([&] { return window.painted; }))
        return {};
    return window.screen()->grabWindow(window.winId()).toImage();
}

} // namespace

class TestWindowBuffer : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void firstFrameUnchanged_data();
    void firstFrameUnchanged();
    void populateKeepsWhatPagesHold_data();
    void populateKeepsWhatPagesHold();
    void preparedWindowIsPainted_data();
    void preparedWindowIsPainted();
};

void TestWindowBuffer::firstFrameUnchanged_data()
{
    QTest::addColumn<QSize>("prepared");
    QTest::addColumn<QSize>("shown");
    QTest::newRow("default size") << QSize(1180, 800) << QSize(1180, 800);
    QTest::newRow("minimum size") << QSize(940, 660) << QSize(940, 660);
    QTest::newRow("resized after preparing") << QSize(640, 480) << QSize(941, 661);
}

// A prepared window paints the very frame an unprepared one does, also when
// it is resized between preparing and showing.
void TestWindowBuffer::firstFrameUnchanged()
{
    QFETCH(QSize, prepared);
    QFETCH(QSize, shown);
    Window plain;
    plain.resize(shown);
    Window window;
    window.resize(prepared);
    WindowBuffer::prepare(&window);
    QVERIFY(window.backingStore());
    QCOMPARE(window.backingStore()->size(), prepared);
    window.resize(shown);

    const QImage expected = firstFrame(plain);
    const QImage actual = firstFrame(window);
    QVERIFY(!expected.isNull());
    QCOMPARE(actual.size(), shown * window.devicePixelRatio());
    QCOMPARE(actual, expected);
}

void TestWindowBuffer::populateKeepsWhatPagesHold_data()
{
    QTest::addColumn<int>("offset");
    QTest::addColumn<int>("size");
    QTest::newRow("written and untouched pages") << 0 << 4 * 4096;
    QTest::newRow("ragged ends") << 100 << 2 * 4096 + 7;
    QTest::newRow("one byte of an untouched page") << 3 * 4096 + 5 << 1;
    QTest::newRow("nothing") << 10 << 0;
}

// Populating runs beside a thread that paints into the same pages: it must
// never change a byte, inside the range or on the pages it shares.
void TestWindowBuffer::populateKeepsWhatPagesHold()
{
    QFETCH(int, offset);
    QFETCH(int, size);
    const size_t length = 4 * 4096;
    void *pages = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    QVERIFY(pages != MAP_FAILED);
    auto *bytes = static_cast<unsigned char *>(pages);
    // The first two pages written, the last two never touched.
    for (size_t i = 0; i < length / 2; i += 2)
        bytes[i] = static_cast<unsigned char>(i * 7 + 1);
    QByteArray before(reinterpret_cast<const char *>(bytes), int(length));

    WindowBuffer::populate(bytes + offset, size_t(size));

    const bool same = std::memcmp(before.constData(), bytes, length) == 0;
    munmap(pages, length);
    QVERIFY(same);
}

void TestWindowBuffer::preparedWindowIsPainted_data()
{
    QTest::addColumn<QString>("platform");
    QTest::newRow("this platform") << QString();
    // A store that has no pixels before its first paint.
    QTest::newRow("wayland") << QStringLiteral("wayland");
}

// Preparing never breaks the way to the first paint, whatever the platform
// (the desktop's own: the window is prepared at every start).
void TestWindowBuffer::preparedWindowIsPainted()
{
    QFETCH(QString, platform);
    if (platform.isEmpty()) {
        Window window;
        window.resize(940, 660);
        WindowBuffer::prepare(&window);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QTRY_VERIFY(window.painted);
        return;
    }
    // This test's own first row, on that platform, under a compositor of its own.
    const QString weston = QStandardPaths::findExecutable(QStringLiteral("weston"));
    const QDir plugins(QLibraryInfo::path(QLibraryInfo::PluginsPath) + QStringLiteral("/platforms"));
    if (weston.isEmpty() || plugins.entryList({QStringLiteral("libqwayland-generic*")}).isEmpty())
        QSKIP("no headless Wayland compositor or no Wayland platform plugin here");
    QTemporaryDir runtime;
    QVERIFY(runtime.isValid());
    QVERIFY(QFile::setPermissions(runtime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
    QProcess compositor;
    compositor.setProcessEnvironment(environment);
    compositor.start(weston, {QStringLiteral("--backend=headless-backend.so"), QStringLiteral("--socket=display"),
                              QStringLiteral("--idle-time=0"), QStringLiteral("--no-config")});
    QVERIFY(compositor.waitForStarted());
    const auto stop = qScopeGuard([&] {
        compositor.terminate();
        compositor.waitForFinished();
    });
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(runtime.filePath(QStringLiteral("display"))), 20000);
    environment.insert(QStringLiteral("WAYLAND_DISPLAY"), QStringLiteral("display"));
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), platform);
    environment.insert(QStringLiteral("QTEST_DISABLE_STACK_DUMP"), QStringLiteral("1"));
    QProcess test;
    test.setProcessEnvironment(environment);
    test.setProcessChannelMode(QProcess::ForwardedChannels);
    test.start(QCoreApplication::applicationFilePath(), {QStringLiteral("preparedWindowIsPainted:this platform")});
    QVERIFY(test.waitForFinished(120000));
    QCOMPARE(test.exitStatus(), QProcess::NormalExit);
    QCOMPARE(test.exitCode(), 0);
}

QTEST_MAIN(TestWindowBuffer)
#include "tst_windowbuffer.moc"
