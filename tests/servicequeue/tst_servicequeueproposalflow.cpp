// The working folder and the written proposal against the stand-in service
// through the real tool runner: which tools a film and a writing preparation
// run, and a proposal that is checked, sent, sent again after a lost answer
// (recognised as a replay) and whose history refresh fails.
#include "servicequeuewindow.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

namespace {

constexpr int toolWait = 120000;

} // namespace

class TestServiceQueueProposalFlow : public QObject, private ServiceQueueWindow
{
    Q_OBJECT

public:
    TestServiceQueueProposalFlow() : ServiceQueueWindow(toolWait) {}

private:
    // The command names the tools ran, from the first run after `skip`.
    QStringList runsAfter(qsizetype skip) const { return toolCommands().mid(skip); }
    qsizetype runCount() const { return toolCommands().size(); }

    // Signed in as the demo editor, the company of the demo's active task of
    // `kind` chosen, a fresh project folder, and that task opened and pulled.
    void pulledTask(ServiceKind kind, const QString &folder)
    {
        if (!signInAndOpen(QString::fromLatin1(StandinFixture::demoEmail)))
            return;
        model->fetchCompanies(*adapter, false);
        QVERIFY(waitIdle());
        selectCompanyNamed(kind == ServiceKind::filmEditing ? QStringLiteral("Nordlys Bryggeri")
                                                            : QStringLiteral("Havnens Tandklinik"));
        QVERIFY(QDir().mkpath(folder));
        editor->chooseStorage(QUrl::fromLocalFile(QFileInfo(folder).canonicalFilePath()));
        QVERIFY(waitIdle());
        model->list(*adapter);
        QVERIFY(waitIdle());
        QVERIFY2(model->openedTask().listing(), qPrintable(failure()));
        const auto &rows = model->openedTask().listing()->requests;
        const auto row = std::find_if(rows.begin(), rows.end(), [&](const ServiceReceipt &r) {
            return r.kind == kind && r.status == QStringLiteral("active");
        });
        QVERIFY(row != rows.end());
        model->open(*row, *adapter);
        QVERIFY(waitIdle());
        // Pending video drafts belong to another tool; here there are none.
        QVERIFY(standin.setScenario(QJsonObject{
            {"videoPending", QJsonObject{{"mode", "answer"}, {"json", QJsonObject{{"previews", QJsonArray()}}}}}}));
        model->pull(*adapter, false);
        QVERIFY(waitIdle());
        standin.clearScenario();
        QVERIFY2(model->openedTask().download() && model->openedTask().download()->verified, qPrintable(failure()));
    }

private Q_SLOTS:
    void initTestCase() { startStandin(QStringLiteral("da")); }
    void cleanupTestCase() { closeWindow(); }

    void preparationRunsTheToolsOfItsKind_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QStringList>("tools");
        QTest::newRow("film") << int(ServiceKind::filmEditing)
                              << QStringList{"serviceBriefPull", "context", "serviceHistory", "prepare",
                                             "serviceWorkspaces"};
        QTest::newRow("concept") << int(ServiceKind::conceptDevelopment)
                                 << QStringList{"context", "prepareWriting", "serviceWorkspaces", "proposalTemplate"};
    }

    void preparationRunsTheToolsOfItsKind()
    {
        QFETCH(int, kind);
        QFETCH(QStringList, tools);
        pulledTask(ServiceKind(kind), standin.scratch(QString("prepare-%1").arg(kind)));
        const qsizetype before = runCount();
        model->prepare(*adapter);
        QVERIFY(waitIdle());
        QVERIFY2(!editor->error(), qPrintable(failure()));
        QCOMPARE(runsAfter(before), tools);
        QVERIFY(model->proposals().prepared() && QFileInfo(model->proposals().prepared()->folder).isDir());
        QCOMPARE(model->proposals().workspaces().size(), 1);
        QCOMPARE(model->proposals().proposalFile().has_value(), ServiceKind(kind) != ServiceKind::filmEditing);

        // Reopened from the fresh list: no template run for a film.
        const qsizetype again = runCount();
        model->resume(model->proposals().workspaces().constFirst(), *adapter);
        QVERIFY(waitIdle());
        QVERIFY2(!editor->error(), qPrintable(failure()));
        QCOMPARE(runsAfter(again).size(), ServiceKind(kind) == ServiceKind::filmEditing ? 1 : 2);
    }

    void aProposalIsCheckedSentAndAReplayRecognised()
    {
        pulledTask(ServiceKind::conceptDevelopment, standin.scratch(QStringLiteral("send")));
        model->prepare(*adapter);
        QVERIFY(waitIdle());
        QVERIFY2(model->proposals().proposalFile(), qPrintable(failure()));

        model->readPreview(*adapter); // the untouched template is refused by the tools
        QVERIFY(waitIdle());
        QVERIFY(editor->error() && !model->proposals().preview());

        QFile file(model->proposals().proposalFile()->file);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QJsonObject proposal = QJsonDocument::fromJson(file.readAll()).object();
        file.close();
        proposal.insert("title", "Tre veje til bryggeriets historie");
        proposal.insert("body", "Vi foreslår tre korte film.");
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(QJsonDocument(proposal).toJson());
        file.close();
        model->readPreview(*adapter);
        QVERIFY(waitIdle());
        QVERIFY2(model->proposals().preview(), qPrintable(failure()));
        const qint64 revision = model->openedTask().detail()->request.revision;

        // The service takes the proposal but its answer is lost.
        QVERIFY(standin.setScenario(QJsonObject{{"proposalSend", QJsonObject{{"mode", "fail_after"},
                                                                             {"error", "Forbindelsen blev afbrudt."}}}}));
        model->proposals().setConfirmation(true);
        model->send(*adapter);
        QVERIFY(waitIdle());
        QCOMPARE(failure(), "Forbindelsen blev afbrudt.");
        QVERIFY(model->proposals().preview());

        // The same reviewed proposal again: a replay; then the history refresh fails.
        QVERIFY(standin.setScenario(QJsonObject{{"serviceHistory", QJsonObject{{"mode", "fail"}}}}));
        model->send(*adapter);
        QVERIFY(waitIdle());
        standin.clearScenario();
        QCOMPARE(editor->message(), "Forslag version 1 er modtaget til kundereview (tidligere afsendelse bekræftet).");
        QCOMPARE(failure(), "Forslaget er modtaget, men historikken kunne ikke opdateres. Hent historikken igen; send "
                            "ikke et nyt forslag.");
        QCOMPARE(model->openedTask().detail()->request.status, "review");
        QCOMPARE(model->openedTask().detail()->request.revision, revision + 1);
        QVERIFY(!model->proposals().preview() && !model->proposals().confirmation());

        model->refreshHistory(*adapter);
        QVERIFY(waitIdle());
        QVERIFY2(!editor->error(), qPrintable(failure()));
        QCOMPARE(model->openedTask().detail()->proposals.constLast().content.title, "Tre veje til bryggeriets historie");
    }
};

QTEST_GUILESS_MAIN(TestServiceQueueProposalFlow)
#include "tst_servicequeueproposalflow.moc"
