#include "foundation/appbundle.h"

#include <QtTest>

#include <QProcess>
#include <QTemporaryDir>

#include <xcb/xcb.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <poll.h>
#include <sys/prctl.h>

namespace {

const QString bundleDir = QStringLiteral(TAVLON_BUNDLE_DIR);
const QString executablePath = QStringLiteral("/Contents/MacOS/TavlonFilmEditor");
const QString plistPath = QStringLiteral("/Contents/Info.plist");

const QByteArray localizationPrefix = R"({"da":"Projektplacering","en":"Project location","language":")";

struct Outcome {
    bool finished = false;
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

Outcome run(const QString &bundle, const QStringList &arguments)
{
    QProcess process;
    process.start(bundle + executablePath, arguments);
    Outcome outcome;
    outcome.finished = process.waitForFinished(30000) && process.exitStatus() == QProcess::NormalExit;
    outcome.exitCode = process.exitCode();
    outcome.out = process.readAllStandardOutput();
    outcome.err = process.readAllStandardError();
    return outcome;
}

QByteArray builtVersion(const char *key)
{
    QFile file(bundleDir + plistPath);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return AppBundle::parseInfoPlist(file.readAll()).value_or(QVariantMap()).value(QLatin1String(key)).toString().toUtf8();
}

QByteArray updaterReport(const QByteArray &build, const QByteArray &version)
{
    return R"({"build":")" + build
        + R"(","defaultAutomaticChecks":false,"defaultAutomaticDownload":false,)"
          R"("feedURL":"https:\/\/example.com\/downloads\/sorvane\/appcast.xml",)"
          R"("signedFeedRequired":true,"verifyBeforeExtraction":true,"version":")"
        + version + "\"}\n";
}

// Copies the bundle (only the executable and the information file when
// `withResources` is false) and returns the copy's path.
QString copyBundle(const QTemporaryDir &dir, const QString &name, bool withResources)
{
    const QString copy = dir.path() + QLatin1Char('/') + name;
    QDirIterator it(bundleDir, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDirIterator::Subdirectories);
    QDir().mkpath(copy + QStringLiteral("/Contents/MacOS"));
    while (it.hasNext()) {
        const QString path = it.next();
        const QString relative = path.mid(bundleDir.size());
        if (!withResources && relative != executablePath && relative != plistPath)
            continue;
        const QString target = copy + relative;
        if (it.fileInfo().isDir()) {
            QDir().mkpath(target);
        } else {
            QDir().mkpath(QFileInfo(target).absolutePath());
            if (!QFile::copy(path, target))
                return {};
        }
    }
    QFile::setPermissions(copy + executablePath, QFile::permissions(bundleDir + executablePath));
    return copy;
}

bool editFile(const QString &path, const QByteArray &from, const QByteArray &to)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    QByteArray data = file.readAll();
    file.close();
    if (!from.isEmpty()) {
        if (!data.contains(from))
            return false;
        data.replace(from, to);
    } else {
        data = to;
    }
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return file.write(data) == data.size();
}

// A process that ends with the test, also when the test is killed or aborts.
void endsWithTest(QProcess &process)
{
    process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
}

// A display of its own, of the given size, with openbox managing its windows
// (it frames each with a title bar). Both end with it.
class ManagedDisplay
{
public:
    explicit ManagedDisplay(const QSize &size)
    {
        const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
        const QString openbox = QStandardPaths::findExecutable(QStringLiteral("openbox"));
        if (xvfb.isEmpty() || openbox.isEmpty()) {
            error = QStringLiteral("Xvfb and openbox are missing: scripts/setup installs them");
            return;
        }
        // The server takes the first free display and writes its number.
        m_server.setStandardErrorFile(QProcess::nullDevice());
        endsWithTest(m_server);
        m_server.start(xvfb, {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-nolisten"),
                              QStringLiteral("tcp"), QStringLiteral("-screen"), QStringLiteral("0"),
                              QStringLiteral("%1x%2x24").arg(size.width()).arg(size.height())});
        while (!m_server.canReadLine() && m_server.waitForReadyRead(30000)) {
        }
        const QByteArray number = m_server.readLine().trimmed();
        if (number.isEmpty()) {
            error = QStringLiteral("Xvfb did not start");
            return;
        }
        name = QLatin1Char(':') + QString::fromLatin1(number);
        m_connection = xcb_connect(name.toLatin1().constData(), nullptr);
        if (xcb_connection_has_error(m_connection)) {
            error = QStringLiteral("no connection to ") + name;
            return;
        }
        m_root = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data->root;
        // Qt answers a ping on the root window (to those that select StructureNotify on it).
        const uint32_t rootEvents = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
        xcb_change_window_attributes(m_connection, m_root, XCB_CW_EVENT_MASK, &rootEvents);
        // Never mapped: the window manager only tells it its frame when asked.
        m_probe = xcb_generate_id(m_connection);
        const uint32_t probeEvents = XCB_EVENT_MASK_PROPERTY_CHANGE;
        xcb_create_window(m_connection, XCB_COPY_FROM_PARENT, m_probe, m_root, 0, 0, 1, 1, 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK, &probeEvents);
        xcb_flush(m_connection);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("DISPLAY"), name);
        m_manager.setProcessEnvironment(environment);
        m_manager.setStandardOutputFile(QProcess::nullDevice());
        m_manager.setStandardErrorFile(QProcess::nullDevice());
        endsWithTest(m_manager);
        m_manager.start(openbox, {QStringLiteral("--sm-disable")});
        const auto managing = [this] {
            return !property(m_root, "_NET_SUPPORTING_WM_CHECK", XCB_ATOM_WINDOW).isEmpty();
        };
        const QDeadlineTimer deadline(30000);
        if (!QTest::qWaitFor(managing, int(deadline.remainingTime())) || !managerStarted(deadline))
            error = QStringLiteral("openbox did not start");
    }

    ~ManagedDisplay()
    {
        if (m_connection)
            xcb_disconnect(m_connection);
        for (QProcess *process : {&m_manager, &m_server}) {
            process->terminate();
            if (!process->waitForFinished(10000))
                process->kill();
            process->waitForFinished();
        }
    }

    struct Shown {
        xcb_window_t window; // the application's own
        QRect frame;
        bool operator==(const Shown &) const = default;
    };

    // The shown main window (the one not transient for another) of the
    // process `pid`, and its frame as the window manager has it.
    std::optional<Shown> mainWindowFrame(qint64 pid) { return shownFrame(pid, false); }
    // The same for its shown dialog (a window transient for another).
    std::optional<Shown> dialogFrame(qint64 pid) { return shownFrame(pid, true); }
    std::optional<Shown> shownFrame(qint64 pid, bool transient)
    {
        for (const quint32 window : property(m_root, "_NET_CLIENT_LIST", XCB_ATOM_WINDOW)) {
            const QList<quint32> extents = property(window, "_NET_FRAME_EXTENTS", XCB_ATOM_CARDINAL);
            if (property(window, "_NET_WM_PID", XCB_ATOM_CARDINAL) != QList<quint32>{quint32(pid)}
                || property(window, "WM_TRANSIENT_FOR", XCB_ATOM_WINDOW).isEmpty() == transient || extents.size() != 4)
                continue;
            const auto attributes = reply(xcb_get_window_attributes_reply(
                m_connection, xcb_get_window_attributes(m_connection, window), nullptr));
            const auto geometry =
                reply(xcb_get_geometry_reply(m_connection, xcb_get_geometry(m_connection, window), nullptr));
            const auto at = reply(xcb_translate_coordinates_reply(
                m_connection, xcb_translate_coordinates(m_connection, window, m_root, 0, 0), nullptr));
            if (!attributes || attributes->map_state != XCB_MAP_STATE_VIEWABLE || !geometry || !at)
                continue;
            // _NET_FRAME_EXTENTS: left, right, top, bottom.
            const QMargins frame{int(extents[0]), int(extents[2]), int(extents[1]), int(extents[3])};
            return Shown{window, QRect(at->dst_x, at->dst_y, geometry->width, geometry->height).marginsAdded(frame)};
        }
        return std::nullopt;
    }

    // Whether `window` is modal (blocks its window) as the window manager has it.
    bool modal(xcb_window_t window)
    {
        return property(window, "_NET_WM_STATE", XCB_ATOM_ATOM).contains(atom("_NET_WM_STATE_MODAL"));
    }

    // The window the window manager has given the keyboard.
    xcb_window_t activeWindow()
    {
        const QList<quint32> active = property(m_root, "_NET_ACTIVE_WINDOW", XCB_ATOM_WINDOW);
        return active.isEmpty() ? xcb_window_t(XCB_NONE) : active.first();
    }

    // Presses and releases the key of `keysym` in `window`.
    void type(xcb_window_t window, xcb_keysym_t keysym)
    {
        const xcb_setup_t *setup = xcb_get_setup(m_connection);
        const auto map = reply(xcb_get_keyboard_mapping_reply(
            m_connection,
            xcb_get_keyboard_mapping(m_connection, setup->min_keycode, setup->max_keycode - setup->min_keycode + 1),
            nullptr));
        const xcb_keysym_t *keysyms = map ? xcb_get_keyboard_mapping_keysyms(map.get()) : nullptr;
        const int count = map ? xcb_get_keyboard_mapping_keysyms_length(map.get()) : 0;
        const int index = int(std::find(keysyms, keysyms + count, keysym) - keysyms);
        if (index == count)
            return;
        for (const uint8_t kind : {XCB_KEY_PRESS, XCB_KEY_RELEASE}) {
            xcb_key_press_event_t key{};
            key.response_type = kind;
            key.detail = xcb_keycode_t(setup->min_keycode + index / map->keysyms_per_keycode);
            key.root = m_root;
            key.event = window;
            key.same_screen = 1;
            xcb_send_event(m_connection, false, window, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char *>(&key));
        }
        xcb_flush(m_connection);
    }

    // Waits until the application owning `window` has handled every event the
    // server sent it before: Qt answers _NET_WM_PING in turn with the others.
    bool applicationAnswered(xcb_window_t window, const QDeadlineTimer &deadline)
    {
        const xcb_atom_t protocols = atom("WM_PROTOCOLS");
        const xcb_atom_t ping = atom("_NET_WM_PING");
        const uint32_t serial = ++m_serial;
        xcb_client_message_event_t message{};
        message.response_type = XCB_CLIENT_MESSAGE;
        message.format = 32;
        message.window = window;
        message.type = protocols;
        message.data.data32[0] = ping;
        message.data.data32[1] = serial;
        message.data.data32[2] = window;
        xcb_send_event(m_connection, false, window, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char *>(&message));
        xcb_flush(m_connection);
        // The answer comes back to the root window.
        return waitFor(
            [&](const xcb_generic_event_t *event) {
                const auto *answer = reinterpret_cast<const xcb_client_message_event_t *>(event);
                return (event->response_type & 0x7f) == XCB_CLIENT_MESSAGE && answer->window == m_root
                       && answer->type == protocols && answer->data.data32[0] == ping
                       && answer->data.data32[1] == serial;
            },
            deadline);
    }

    // Waits until the window manager has handled every request and event that
    // reached it before: it answers _NET_REQUEST_FRAME_EXTENTS in turn.
    bool managerAnswered(const QDeadlineTimer &deadline)
    {
        askFrameExtents();
        return frameExtentsAnswered(deadline);
    }

    // Where the frame of `shown`, a window of `pid`, first rests, as the
    // person sees it: unchanged over two rounds in a row of the application
    // handling all the server sent it and then the window manager all the
    // application asked. Twice the application: Qt answers a ping as it takes
    // it, and its widgets hear of the events taken with it only after, so the
    // second answer follows what they asked; a ping that arrives while Qt is
    // still taking events is answered in that same pass: hence two rounds.
    // Nothing once the window closed or either did not answer by `deadline`.
    std::optional<Shown> rested(std::optional<Shown> shown, qint64 pid, const QDeadlineTimer &deadline)
    {
        const bool transient = shown && !property(shown->window, "WM_TRANSIENT_FOR", XCB_ATOM_WINDOW).isEmpty();
        for (int still = 0; shown && still < 2;) {
            if (!applicationAnswered(shown->window, deadline) || !applicationAnswered(shown->window, deadline)
                || !managerAnswered(deadline))
                return std::nullopt;
            const std::optional<Shown> now = shownFrame(pid, transient);
            still = now && now == shown ? still + 1 : 0;
            shown = now;
        }
        return shown;
    }

    QString name;
    QString error;

private:
    template <typename Reply>
    static std::unique_ptr<Reply, decltype(&free)> reply(Reply *reply)
    {
        return {reply, &free};
    }

    xcb_atom_t atom(const char *name)
    {
        const auto interned = reply(xcb_intern_atom_reply(
            m_connection, xcb_intern_atom(m_connection, false, uint16_t(strlen(name)), name), nullptr));
        return interned ? interned->atom : xcb_atom_t(XCB_ATOM_NONE);
    }

    QList<quint32> property(xcb_window_t window, const char *name, xcb_atom_t type)
    {
        const xcb_atom_t named = atom(name);
        const auto value = named != XCB_ATOM_NONE
                               ? reply(xcb_get_property_reply(
                                   m_connection, xcb_get_property(m_connection, false, window, named, type, 0, 1024),
                                   nullptr))
                               : reply<xcb_get_property_reply_t>(nullptr);
        if (!value || value->type != type || value->format != 32)
            return {};
        const auto *data = static_cast<const quint32 *>(xcb_get_property_value(value.get()));
        return QList<quint32>(data, data + xcb_get_property_value_length(value.get()) / 4);
    }

    // openbox names itself on the root window early in its start, before it
    // takes events: a request that reaches it meanwhile is left unhandled
    // until another one wakes it (a window mapped then stayed unmanaged for
    // good). It has started once it answers; it is asked again while it has
    // not (how soon only decides how many requests it gets), and every
    // request is answered before the display is used, so that no late answer
    // passes for a later request's.
    bool managerStarted(const QDeadlineTimer &deadline)
    {
        int unanswered = 0;
        for (;;) {
            askFrameExtents();
            if (frameExtentsAnswered(QDeadlineTimer(qMin<qint64>(100, deadline.remainingTime()))))
                break;
            if (deadline.hasExpired())
                return false;
            ++unanswered;
        }
        // It answers in turn: that answer was the first request's.
        for (; unanswered > 0; --unanswered)
            if (!frameExtentsAnswered(deadline))
                return false;
        return true;
    }

    void askFrameExtents()
    {
        xcb_client_message_event_t message{};
        message.response_type = XCB_CLIENT_MESSAGE;
        message.format = 32;
        message.window = m_probe;
        message.type = atom("_NET_REQUEST_FRAME_EXTENTS");
        xcb_send_event(m_connection, false, m_root, XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT,
                       reinterpret_cast<const char *>(&message));
        xcb_flush(m_connection);
    }

    // The answer to askFrameExtents(): the probe's extents set, changed or not.
    bool frameExtentsAnswered(const QDeadlineTimer &deadline)
    {
        const xcb_atom_t extents = atom("_NET_FRAME_EXTENTS");
        return waitFor(
            [&](const xcb_generic_event_t *event) {
                const auto *notify = reinterpret_cast<const xcb_property_notify_event_t *>(event);
                return (event->response_type & 0x7f) == XCB_PROPERTY_NOTIFY && notify->window == m_probe
                       && notify->atom == extents && notify->state == XCB_PROPERTY_NEW_VALUE;
            },
            deadline);
    }

    // Takes events until one that `wanted` accepts; false once `deadline` passed.
    template <typename Wanted>
    bool waitFor(Wanted wanted, const QDeadlineTimer &deadline)
    {
        for (;;) {
            // Events read while waiting for a reply are queued, not left on the socket.
            if (const auto event = reply(xcb_poll_for_event(m_connection))) {
                if (wanted(event.get()))
                    return true;
                continue;
            }
            if (xcb_connection_has_error(m_connection) || deadline.hasExpired())
                return false;
            pollfd socket{xcb_get_file_descriptor(m_connection), POLLIN, 0};
            ::poll(&socket, 1, int(deadline.remainingTime()));
        }
    }

    QProcess m_server;
    QProcess m_manager;
    xcb_connection_t *m_connection = nullptr;
    xcb_window_t m_root = 0;
    xcb_window_t m_probe = 0;
    uint32_t m_serial = 0;
};

// As xwininfo gives a geometry: 1182x768+91-20.
QString described(const QRect &frame)
{
    return QString::asprintf("%dx%d%+d%+d", frame.width(), frame.height(), frame.x(), frame.y());
}

} // namespace

class TestEntry : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void reports_data();
    void reports();
    void editedBundle_data();
    void editedBundle();
    void lookalikeSwitchesStartNormally_data();
    void lookalikeSwitchesStartNormally();
    void mainWindowOpensOnTheScreen_data();
    void mainWindowOpensOnTheScreen();
    void updateWindowOpensOverItsWindow();
};

void TestEntry::reports_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("localization"); // which report is expected
    const QString loc = QStringLiteral("--verify-localizations");
    const QString upd = QStringLiteral("--verify-updater-configuration");
    QTest::newRow("updater") << QStringList{upd} << false;
    QTest::newRow("updater among other arguments")
        << QStringList{QStringLiteral("--verbose"), upd, QStringLiteral("extra")} << false;
    QTest::newRow("updater with a lookalike localization switch")
        << QStringList{QStringLiteral("--verify-localizations=1"), upd} << false;
    QTest::newRow("localization") << QStringList{loc} << true;
    QTest::newRow("both, updater first") << QStringList{upd, loc} << true;
    QTest::newRow("both, localization first") << QStringList{loc, upd} << true;
}

void TestEntry::reports()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, localization);
    const Outcome outcome = run(bundleDir, arguments);
    QVERIFY(outcome.finished);
    QCOMPARE(outcome.exitCode, 0);
    QCOMPARE(outcome.out.count('\n'), 1);
    QVERIFY(outcome.out.endsWith('\n'));
    QVERIFY2(!outcome.out.contains("://"), "every solidus is escaped");
    if (localization)
        QVERIFY2(outcome.out.startsWith(localizationPrefix), outcome.out.constData());
    else
        QCOMPARE(outcome.out, updaterReport(builtVersion("CFBundleVersion"), builtVersion("CFBundleShortVersionString")));
}

void TestEntry::editedBundle_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("withResources");
    QTest::addColumn<QString>("file"); // relative to the bundle
    QTest::addColumn<QByteArray>("from"); // empty: replace the whole file
    QTest::addColumn<QByteArray>("to");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("expected"); // empty: exit 1, nothing printed

    const QString app = QStringLiteral("TavlonFilmEditor.app");
    const QStringList upd{QStringLiteral("--verify-updater-configuration")};
    const QByteArray build = builtVersion("CFBundleVersion");
    const QByteArray version = builtVersion("CFBundleShortVersionString");
    const QByteArray autoChecks = "<key>SUEnableAutomaticChecks</key>\n\t<false/>";
    const QByteArray autoUpdate = "<key>SUAutomaticallyUpdate</key>\n\t<false/>";

    QTest::newRow("copied bundle passes") << app << false << plistPath << QByteArray() << QByteArray()
                                          << upd << updaterReport(build, version);
    QTest::newRow("automatic checks as text NO")
        << app << false << plistPath << autoChecks
        << QByteArray("<key>SUEnableAutomaticChecks</key>\n\t<string>NO</string>") << upd << QByteArray();
    QTest::newRow("automatic checks true")
        << app << false << plistPath << autoChecks << QByteArray("<key>SUEnableAutomaticChecks</key>\n\t<true/>")
        << upd << QByteArray();
    QTest::newRow("automatic checks missing") << app << false << plistPath << autoChecks << QByteArray() << upd
                                              << QByteArray();
    QTest::newRow("automatic update true")
        << app << false << plistPath << autoUpdate << QByteArray("<key>SUAutomaticallyUpdate</key>\n\t<true/>")
        << upd << QByteArray();
    QTest::newRow("signed feed as text YES")
        << app << false << plistPath << QByteArray("<key>SURequireSignedFeed</key>\n\t<true/>")
        << QByteArray("<key>SURequireSignedFeed</key>\n\t<string>YES</string>") << upd << QByteArray();
    QTest::newRow("feed with trailing slash")
        << app << false << plistPath << QByteArray("appcast.xml</string>") << QByteArray("appcast.xml/</string>")
        << upd << QByteArray();
    QTest::newRow("unreadable information file")
        << app << false << plistPath << QByteArray() << QByteArray("<plist><dict>") << upd << QByteArray();
    QTest::newRow("bundle named .APP") << QStringLiteral("TavlonFilmEditor.APP") << false << plistPath
                                       << QByteArray() << QByteArray() << upd << QByteArray();
    QTest::newRow("short version missing")
        << app << false << plistPath << QByteArray("<key>CFBundleShortVersionString</key>")
        << QByteArray("<key>CFBundleShortVersionStringX</key>") << upd << updaterReport(build, "");
    // The localization check wins even when the updater one would pass.
    QTest::newRow("broken table with both switches")
        << app << true
        << QStringLiteral("/Contents/Resources/TavlonFilmEditor_EditorDesktop.bundle/en.lproj/Localizable.json")
        << QByteArray() << QByteArray("{}")
        << QStringList{QStringLiteral("--verify-updater-configuration"), QStringLiteral("--verify-localizations")}
        << QByteArray();
}

void TestEntry::editedBundle()
{
    QFETCH(QString, name);
    QFETCH(bool, withResources);
    QFETCH(QString, file);
    QFETCH(QByteArray, from);
    QFETCH(QByteArray, to);
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, expected);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString copy = copyBundle(dir, name, withResources);
    QVERIFY(!copy.isEmpty());
    if (!from.isEmpty() || !to.isEmpty())
        QVERIFY(editFile(copy + file, from, to));

    const Outcome outcome = run(copy, arguments);
    QVERIFY(outcome.finished);
    if (expected.isEmpty()) {
        QCOMPARE(outcome.exitCode, 1);
        QCOMPARE(outcome.out, QByteArray());
        QCOMPARE(outcome.err, QByteArray());
    } else {
        QCOMPARE(outcome.exitCode, 0);
        QCOMPARE(outcome.out, expected);
    }
}

void TestEntry::lookalikeSwitchesStartNormally_data()
{
    QTest::addColumn<QString>("argument");
    QTest::newRow("localization with a value") << QStringLiteral("--verify-localizations=1");
    QTest::newRow("localization capitalised") << QStringLiteral("--Verify-Localizations");
    QTest::newRow("updater with a value") << QStringLiteral("--verify-updater-configuration=1");
    QTest::newRow("updater capitalised") << QStringLiteral("--VERIFY-UPDATER-CONFIGURATION");
    QTest::newRow("updater with a trailing space") << QStringLiteral("--verify-updater-configuration ");
}

void TestEntry::lookalikeSwitchesStartNormally()
{
    QFETCH(QString, argument);
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    process.setProcessEnvironment(environment);
    process.start(bundleDir + executablePath, {argument});
    QVERIFY(process.waitForStarted(30000));
    // A normal start either keeps running (its window) or, while there is no
    // window yet, ends with status 0; it never prints a report.
    if (process.waitForFinished(1000)) {
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 0);
    } else {
        process.kill();
        QVERIFY(process.waitForFinished(30000));
    }
    QCOMPARE(process.readAllStandardOutput(), QByteArray());
}

// Started again and again under a real window manager, the window opens with
// its frame and title bar wholly on the screen every time, however the window
// manager's framing and the window's first exposure fall in time.
void TestEntry::mainWindowOpensOnTheScreen_data()
{
    QTest::addColumn<QSize>("screen");
    QTest::addColumn<int>("starts");
    // The title bar went above the screen in about one start of twenty.
    QTest::newRow("1366x768") << QSize(1366, 768) << 40;
    QTest::newRow("1280x720") << QSize(1280, 720) << 40;
    // Smaller than the window's minimum size: its title bar stays on the screen.
    QTest::newRow("800x600") << QSize(800, 600) << 10;
}

void TestEntry::mainWindowOpensOnTheScreen()
{
    QFETCH(QSize, screen);
    QFETCH(int, starts);
    ManagedDisplay display(screen);
    QVERIFY2(display.error.isEmpty(), qPrintable(display.error));
    std::map<QString, int> frames; // where the frame came to rest, per start
    int off = 0;
    for (int start = 0; start < starts; ++start) {
        QTemporaryDir home;
        QVERIFY(home.isValid());
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("DISPLAY"), display.name);
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        environment.insert(QStringLiteral("HOME"), home.path());
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral(".config")));
        environment.insert(QStringLiteral("XDG_DATA_HOME"), home.filePath(QStringLiteral(".local/share")));
        environment.insert(QStringLiteral("XDG_CACHE_HOME"), home.filePath(QStringLiteral(".cache")));
        QProcess app;
        app.setProcessEnvironment(environment);
        app.setStandardOutputFile(QProcess::nullDevice());
        app.setProcessChannelMode(QProcess::ForwardedErrorChannel); // a crash report reaches the log
        endsWithTest(app);
        app.start(bundleDir + executablePath, {});
        QVERIFY(app.waitForStarted(30000));
        // Along a side longer than the screen the frame starts at the
        // screen's edge, within a few pixels (at a scale of 1.5 it rests at
        // 1,0), so its title bar is on it; along a shorter side it is wholly on it.
        const auto onScreen = [&screen](const QRect &frame) {
            const auto along = [](int start, int length, int room) {
                return length > room ? start >= 0 && start <= 2 : start >= 0 && start + length <= room;
            };
            return along(frame.x(), frame.width(), screen.width()) && along(frame.y(), frame.height(), screen.height());
        };
        // The window is placed with an estimated frame when shown and fitted
        // again once framed: judged where its frame first rests. A fit after
        // that comes too late.
        QDeadlineTimer deadline(30000);
        // First until the window is shown and framed, where the window manager has it.
        std::optional<ManagedDisplay::Shown> shown;
        const bool opened = QTest::qWaitFor(
            [&] {
                shown = display.mainWindowFrame(app.processId());
                return shown || app.state() != QProcess::Running;
            },
            int(deadline.remainingTime()));
        QVERIFY2(opened && shown, "the window did not open");
        shown = display.rested(shown, app.processId(), deadline);
        QVERIFY2(shown, "the window closed, or its frame did not rest");
        const QRect frame = shown->frame;
        ++frames[described(frame)];
        if (!onScreen(frame)) {
            ++off;
            qWarning("start %d: off the screen at %s", start + 1, qPrintable(described(frame)));
        }
        app.terminate();
        if (!app.waitForFinished(10000))
            app.kill();
        app.waitForFinished();
    }
    QStringList seen;
    for (const auto &[frame, count] : frames)
        seen << QStringLiteral("%1/%2 at %3").arg(count).arg(starts).arg(frame);
    qInfo("%s", qPrintable(seen.join(QStringLiteral(", "))));
    QVERIFY2(off == 0, qPrintable(QStringLiteral("off the screen in %1 of %2 starts: ").arg(off).arg(starts)
                                  + seen.join(QStringLiteral(", "))));
}

// The update window opens over its window at the height of what it shows, its
// frame and title bar wholly on the screen, each time it is opened again: at
// one size and one place across the window (its top can vary a little with
// when the check's answer comes). The check fails at once (nothing listens at
// the feed's port), so what the window shows changes while the window manager
// frames it.
void TestEntry::updateWindowOpensOverItsWindow()
{
    constexpr xcb_keysym_t alt = 0xffe9, enter = 0xff0d, escape = 0xff1b; // XK_Alt_L, XK_Return, XK_Escape
    constexpr int opens = 60;
    const QRect screen(0, 0, 1366, 768);
    ManagedDisplay display(screen.size());
    QVERIFY2(display.error.isEmpty(), qPrintable(display.error));
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), display.name);
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    environment.insert(QStringLiteral("TAVLON_LOCAL_UPDATE_FEED"), QStringLiteral("https://127.0.0.1:1/appcast.xml"));
    environment.insert(QStringLiteral("TAVLON_LOCAL_UPDATE_KEY"), QString(43, QLatin1Char('A')) + QLatin1Char('='));
    QProcess app;
    app.setProcessEnvironment(environment);
    app.setStandardOutputFile(QProcess::nullDevice());
    endsWithTest(app);
    app.start(bundleDir + executablePath, {});
    QVERIFY(app.waitForStarted(30000));
    QByteArray log;
    const auto failures = [&] { return (log += app.readAllStandardError()).count("the update cycle failed"); };
    const auto dialog = [&] { return display.dialogFrame(app.processId()); };
    std::optional<ManagedDisplay::Shown> window;
    QVERIFY(QTest::qWaitFor([&] { return bool(window = display.mainWindowFrame(app.processId())); }, 30000));
    std::map<QString, int> frames;
    QRect first;
    int off = 0;
    for (int open = 0; open < opens; ++open) {
        // As a person opens it: the menu bar by the keyboard, its first item.
        // Until the updater has started (after the window first painted) that
        // item is disabled, and the settings, a modal sheet, open instead.
        for (int attempt = 0;; ++attempt) {
            QVERIFY(attempt < 10);
            QVERIFY(QTest::qWaitFor([&] { return display.activeWindow() == window->window; }, 30000));
            for (const xcb_keysym_t key : {alt, enter, enter})
                display.type(window->window, key);
            std::optional<ManagedDisplay::Shown> opened;
            QVERIFY(QTest::qWaitFor([&] { return bool(opened = dialog()); }, 30000));
            if (!display.modal(opened->window))
                break;
            display.type(opened->window, escape);
            QVERIFY(QTest::qWaitFor([&] { return !dialog(); }, 30000));
        }
        QVERIFY2(QTest::qWaitFor([&] { return failures() > open; }, 30000), log.constData());
        const std::optional<ManagedDisplay::Shown> shown =
            display.rested(dialog(), app.processId(), QDeadlineTimer(30000));
        QVERIFY2(shown, "the update window closed, or its frame did not rest");
        ++frames[described(shown->frame)];
        if (open == 0)
            first = shown->frame;
        off += !screen.contains(shown->frame) || shown->frame.size() != first.size() || shown->frame.x() != first.x();
        display.type(shown->window, escape);
        QVERIFY(QTest::qWaitFor([&] { return !dialog(); }, 30000));
    }
    app.terminate();
    app.waitForFinished();
    QStringList seen;
    for (const auto &[frame, count] : frames)
        seen << QStringLiteral("%1/%2 at %3").arg(count).arg(opens).arg(frame);
    QVERIFY2(off == 0, qPrintable(seen.join(QStringLiteral(", "))));
}

QTEST_GUILESS_MAIN(TestEntry)
#include "tst_entry.moc"
