// The pipeline panel and its sharing sheet against the stand-in service: a
// real sign-in, the editor's tool runner and desktop_service.py as a child.
#include "../common/standinwindow.h"

#include "inbox/sorvaneinboxmodel.h"
#include "servicequeue/servicequeuemodel.h"
#include "workspace/sorvaneworkspace.h"
#include "workspace/ui/sorvanemetadatasheet.h"
#include "workspace/ui/sorvanepipelineview.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

namespace {

constexpr int toolWait = 60000;

// The second demo editor manages the sharing of the customer whose pipeline
// is longer than one page; its task sorts after every main demo id.
QString pipelineRequest()
{
    static const QUuid space(QStringLiteral("6f1d6a8e-7f43-4c0e-9d7a-3c1f0b2a5e10"));
    return QStringLiteral("ffffffff")
        + QUuid::createUuidV5(space, QByteArray("request:extra:1:0")).toString(QUuid::WithoutBraces).mid(8);
}

} // namespace

class TestSorvanePipelineIntegration : public QObject, private StandinWindow
{
    Q_OBJECT

    static bool settle(const std::function<bool()> &busy) { return QTest::qWaitFor([&] { return !busy(); }, toolWait); }

    // The films the panel counts: every column's number and the unplaced line.
    static int counted(const SorvanePipelineView &view)
    {
        int total = 0;
        for (const QLabel *count : view.findChildren<QLabel *>(QStringLiteral("sorvane.pipeline.count")))
            total += count->text().toInt();
        if (const auto *line = view.findChild<QLabel *>(QStringLiteral("sorvane.pipeline.unplaced")))
            total += line->text().section(u' ', 0, 0).toInt();
        return total;
    }

private Q_SLOTS:
    void initTestCase()
    {
        startStandin(QStringLiteral("en"));
        if (QTest::currentTestFailed())
            return;
        QVERIFY2(standin.reset(), qPrintable(standin.failure()));
    }

    void cleanupTestCase() { closeEditor(); }

    void pagesAndSharesACustomersPipeline()
    {
        signIn(QStringLiteral("second.editor@example.com"));
        if (QTest::currentTestFailed())
            return;

        MemorySettingsStore defaults;
        openEditor(false);
        ServiceQueueModel queue(adapter->bridge(), false);
        SorvaneInboxModel inbox(adapter->bridge(), defaults);
        SorvaneWorkspace workspace({editor.data(), adapter.get(), &queue, &inbox, &defaults, nullptr});
        SorvanePipelineView view(workspace);
        view.followSelection();

        inbox.refresh(*adapter);
        QVERIFY(settle([&] { return inbox.loading(); }));
        QVERIFY2(!inbox.error(), qPrintable(inbox.error().value_or(QString())));
        // Selecting the task opens it, which asks for its customer's pipeline.
        inbox.selectRequest(QUuid::fromString(pipelineRequest()), *adapter);
        QVERIFY(settle([&] { return inbox.selectingRequest() || inbox.pipelineLoading(); }));
        QVERIFY2(!inbox.pipelineError(), qPrintable(inbox.pipelineError().value_or(QString())));
        QCOMPARE(view.item()->request.id, pipelineRequest());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCOMPARE(counted(view), 50);
        QVERIFY(!view.findChild<QLabel *>(QStringLiteral("sorvane.pipeline.limited")));

        view.findChild<QPushButton *>(QStringLiteral("sorvane.pipeline.more"))->click();
        QVERIFY(settle([&] { return inbox.pipelineLoading(); }));
        QVERIFY2(!inbox.pipelineError(), qPrintable(inbox.pipelineError().value_or(QString())));
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCOMPARE(counted(view), 55);
        QVERIFY(!view.findChild<QPushButton *>(QStringLiteral("sorvane.pipeline.more")));

        // The consent as stored: the whole pipeline shared, with a contact name.
        view.findChild<QPushButton *>(QStringLiteral("sorvane.pipeline.share"))->click();
        SorvaneMetadataSheet *sheet = view.sheet();
        QVERIFY(sheet && sheet->isVisible());
        QVERIFY(settle([&] { return inbox.metadataLoading(); }));
        QVERIFY2(!inbox.metadataError(), qPrintable(inbox.metadataError().value_or(QString())));
        auto *allow = sheet->findChild<QCheckBox *>(QStringLiteral("sorvane.metadata.allowPipeline"));
        auto *contact = sheet->findChild<QLineEdit *>(QStringLiteral("sorvane.metadata.contactName"));
        auto *save = sheet->findChild<QPushButton *>(QStringLiteral("sorvane.metadata.save"));
        QVERIFY(allow->isChecked());
        QCOMPARE(contact->text(), QStringLiteral("Kunde 02"));
        const qint64 revision = inbox.metadataSettings()->revision;

        // Withdrawn, with a new name typed loosely: stored trimmed, sheet still open.
        allow->click();
        contact->setText(QStringLiteral("  Kunde 02 marketing \n"));
        QVERIFY(save->isEnabled());
        save->click();
        QVERIFY(inbox.metadataLoading());
        QVERIFY(settle([&] { return inbox.metadataLoading(); }));
        QVERIFY2(!inbox.metadataError(), qPrintable(inbox.metadataError().value_or(QString())));
        QVERIFY(sheet->isVisible());
        QCOMPARE(inbox.metadataSettings()->revision, revision + 1);
        QCOMPARE(contact->text(), QStringLiteral("Kunde 02 marketing"));
        QVERIFY(!allow->isChecked());

        // The panel behind it reloads: only the films the service works on remain.
        QVERIFY(settle([&] { return inbox.pipelineLoading() || !inbox.pipeline(); }));
        QVERIFY2(!inbox.pipelineError(), qPrintable(inbox.pipelineError().value_or(QString())));
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(view.findChild<QLabel *>(QStringLiteral("sorvane.pipeline.limited")));
        QVERIFY(counted(view) < 50);
        sheet->reject();
    }
};

QTEST_MAIN(TestSorvanePipelineIntegration)
#include "tst_sorvanepipelineintegration.moc"
