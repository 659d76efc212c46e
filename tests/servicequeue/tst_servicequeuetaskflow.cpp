// The task actions against the stand-in service through the real tool
// runner: list, open, claim (and a second editor refused), pull with its
// files on disk, a tampered pull refused, and the film folder copy and
// relink leaving their files in the project folder.
#include "servicequeuewindow.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

namespace {

constexpr int toolWait = 120000;

QByteArray sha256Of(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(&file);
    return hash.result().toHex();
}

QJsonObject readJson(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(file.readAll()).object() : QJsonObject();
}

} // namespace

class TestServiceQueueTaskFlow : public QObject, private ServiceQueueWindow
{
    Q_OBJECT

public:
    TestServiceQueueTaskFlow() : ServiceQueueWindow(toolWait) {}

private:
    QString inbox;

    // A window signed in as `email`, with Nordlys Bryggeri chosen, its project
    // folder `folder` and its task list loaded.
    void openWindow(const char *email, const QString &folder)
    {
        if (!signInAndOpen(QString::fromLatin1(email)))
            return;

        model->fetchCompanies(*adapter, false);
        QVERIFY(waitIdle());
        selectCompanyNamed(QStringLiteral("Nordlys Bryggeri"));
        QVERIFY(model->canUseCompany(*adapter));
        QVERIFY(QDir().mkpath(folder));
        inbox = QFileInfo(folder).canonicalFilePath();
        editor->chooseStorage(QUrl::fromLocalFile(inbox));
        QVERIFY(waitIdle());
        QVERIFY2(!editor->storageIssue(), qPrintable(editor->storageIssue().value_or(QString())));

        model->list(*adapter);
        QVERIFY(waitIdle());
        QVERIFY2(model->openedTask().listing(), qPrintable(editor->error().value_or(QString())));
    }

    // Opens the first listed task of `kind` with `status`.
    void openTask(ServiceKind kind, const QString &status)
    {
        const auto &rows = model->openedTask().listing()->requests;
        const auto row = std::find_if(rows.begin(), rows.end(), [&](const ServiceReceipt &r) {
            return r.kind == kind && r.status == status;
        });
        QVERIFY(row != rows.end());
        const ServiceReceipt chosen = *row; // the opened task replaces its listed row
        model->open(chosen, *adapter);
        QVERIFY(waitIdle());
        QVERIFY2(model->openedTask().detail(), qPrintable(editor->error().value_or(QString())));
        QCOMPARE(model->openedTask().detail()->request.id, chosen.id);
    }

private Q_SLOTS:
    void initTestCase() { startStandin(QStringLiteral("da")); }
    void cleanupTestCase() { closeWindow(); }

    void claimThenPullAFilmAndMakeItsFilmFolder()
    {
        openWindow(StandinFixture::demoEmail, standin.scratch(QStringLiteral("first")));
        openTask(ServiceKind::filmEditing, QStringLiteral("waiting"));
        const ServiceReceipt waiting = model->openedTask().detail()->request;
        QVERIFY(!waiting.claimed_by);

        model->claim(*adapter);
        QVERIFY(waitIdle());
        QVERIFY2(!editor->error(), qPrintable(editor->error().value_or(QString())));
        QCOMPARE(model->openedTask().detail()->request.status, QStringLiteral("active"));
        QCOMPARE(model->openedTask().detail()->request.revision, waiting.revision + 1);
        QCOMPARE(QUuid::fromString(*model->openedTask().detail()->request.claimed_by), session->userID());
        QCOMPARE(model->openedTask().listing()->requests.constFirst().id.isEmpty(), false);

        // The video drafts belong to another tool; here they are none.
        QVERIFY(standin.setScenario(QJsonObject{
            {"videoPending", QJsonObject{{"mode", "answer"}, {"json", QJsonObject{{"previews", QJsonArray()}}}}}}));
        model->pull(*adapter, true);
        QVERIFY(waitIdle());
        standin.clearScenario();
        QVERIFY2(!editor->error(), qPrintable(editor->error().value_or(QString())));
        QCOMPARE(editor->message(), QStringLiteral("Den indsendte projektversion er hentet og SHA-256-kontrolleret."));
        QVERIFY(model->openedTask().download() && model->openedTask().download()->verified);
        QCOMPARE(editor->inventory().size(), 1);
        const QString package = model->openedTask().download()->folder;
        QVERIFY(package.startsWith(inbox + QLatin1Char('/')));
        const QJsonObject manifest = readJson(package + QStringLiteral("/tavlon-package.json"));
        QVERIFY(!manifest.value("files").toArray().isEmpty());
        for (const QJsonValue &file : manifest.value("files").toArray())
            QCOMPARE(sha256Of(package + QLatin1Char('/') + file["path"].toString()), file["sha256"].toString().toLatin1());

        // The pulled package's brief, and the current brief pulled from the service, belong to the task.
        model->readBrief(*adapter, true);
        QVERIFY(waitIdle());
        QVERIFY2(model->openedTask().packageContext(), qPrintable(editor->error().value_or(QString())));
        QVERIFY(model->openedTask().inlineBrief()->currentBrief);
        model->refreshCurrentBrief(*adapter);
        QVERIFY(waitIdle());
        QVERIFY2(!editor->error(), qPrintable(editor->error().value_or(QString())));
        QCOMPARE(model->openedTask().inlineBrief()->contextRevision->size(), 64);
        QVERIFY(standin.setScenario(QJsonObject{
            {"serviceBriefPull", QJsonObject{{"mode", "wrong_keys"}, {"add", QJsonObject{{"requiresRefresh", true}}}}}}));
        model->refreshCurrentBrief(*adapter);
        QVERIFY(waitIdle());
        standin.clearScenario();
        QCOMPARE(editor->error(), QStringLiteral("Klippegrundlaget tilhører ikke den valgte opgave."));

        model->packageFilm(*adapter, false);
        QVERIFY(waitIdle());
        QVERIFY2(!editor->error(), qPrintable(editor->error().value_or(QString())));
        QCOMPARE(model->openedTask().download()->diskStatus, QStringLiteral("ready"));
        const QString film = *model->openedTask().download()->projectFolder;
        QVERIFY(film.startsWith(inbox + QLatin1Char('/')));
        QVERIFY(QFile::exists(film + QStringLiteral("/media/interview.mp4")));

        // Moved to another machine: the imports name a disk that is not here.
        const QString projectFile = *model->openedTask().download()->projectManifest;
        QJsonObject project = readJson(projectFile);
        QJsonArray imports = project.value("imports").toArray();
        for (QJsonValueRef entry : imports) {
            QJsonObject moved = entry.toObject();
            moved.insert("file", QStringLiteral("/Volumes/Andet/") + moved.value("path").toString());
            entry = moved;
        }
        project.insert("imports", imports);
        QFile rewrite(projectFile);
        QVERIFY(rewrite.open(QIODevice::WriteOnly | QIODevice::Truncate));
        rewrite.write(QJsonDocument(project).toJson());
        rewrite.close();
        model->packageFilm(*adapter, true);
        QVERIFY(waitIdle());
        QVERIFY2(!editor->error(), qPrintable(editor->error().value_or(QString())));
        for (const QJsonValue &entry : readJson(projectFile).value("imports").toArray())
            QVERIFY2(entry["file"].toString().startsWith(film + QLatin1Char('/')), qPrintable(entry["file"].toString()));

        // A second editor cannot take the task over.
        openWindow(StandinFixture::secondEmail, standin.scratch(QStringLiteral("second")));
        const auto &rows = model->openedTask().listing()->requests;
        const auto taken = std::find_if(rows.begin(), rows.end(), [&](const ServiceReceipt &r) { return r.id == waiting.id; });
        QVERIFY(taken != rows.end());
        model->open(ServiceReceipt(*taken), *adapter);
        QVERIFY(waitIdle());
        model->claim(*adapter);
        QVERIFY(waitIdle());
        QCOMPARE(editor->error(), QStringLiteral("Opgaven er allerede taget af en anden redaktør."));
    }

    void aTamperedPullIsRefused()
    {
        openWindow(StandinFixture::demoEmail, standin.scratch(QStringLiteral("tampered")));
        openTask(ServiceKind::scriptDevelopment, QStringLiteral("active"));
        model->pull(*adapter, false);
        QVERIFY(waitIdle());
        QVERIFY2(model->openedTask().download(), qPrintable(editor->error().value_or(QString())));
        QFile notes(model->openedTask().download()->folder + QStringLiteral("/notes/notes.txt"));
        QVERIFY(notes.open(QIODevice::Append));
        notes.write("ændret bagefter\n");
        notes.close();
        const auto packages = editor->inventory();

        model->pull(*adapter, false);
        QVERIFY(waitIdle());
        QCOMPARE(editor->error(), QStringLiteral("Opgavepakken er ikke verificeret."));
        QVERIFY(!model->openedTask().download());
        QVERIFY(model->proposals().workspaces().isEmpty());
        QCOMPARE(editor->inventory(), packages);
        // Nothing can build on it: no history or film folder action starts.
        model->packageFilm(*adapter, false);
        model->refreshHistory(*adapter);
        QVERIFY(!editor->busy());
    }
};

QTEST_GUILESS_MAIN(TestServiceQueueTaskFlow)
#include "tst_servicequeuetaskflow.moc"
