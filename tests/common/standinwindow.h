#pragma once

// What the integration tests against the stand-in service set up alike: the
// service started with the interface in one language, a real sign-in that the
// tools run with, a window's editor model and service adapter for that
// session, and the log of the tools' runs. A test class derives from QObject
// and from this, keeps its own slots, and lets go of its own models before
// calling closeEditor() in cleanupTestCase. Link tavlon_servicequeue and
// tavlon_session.
#include "standinsignin.h"

#include "editor/editormodel.h"
#include "foundation/bridge/bridge.h"
#include "foundation/localization.h"
#include "foundation/projectlocation/projectlocationstore.h"
#include "foundation/settingsstore.h"
#include "servicequeue/editorserviceadapter.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

#include <memory>

class StandinWindow
{
protected:
    explicit StandinWindow(int toolWait = 60000) : m_toolWait(toolWait) {}

    StandinFixture standin;
    MemorySettingsStore settings; // where a window with project locations keeps them
    std::unique_ptr<EditorSession> session;
    QSharedPointer<EditorModel> editor;
    std::unique_ptr<EditorServiceAdapter> adapter;

    // For initTestCase.
    void startStandin(const QString &language)
    {
        EditorLocalization::overrideLanguageForTesting(language);
        QVERIFY2(standin.start(), qPrintable(standin.failure()));
    }

    // `email` signed in, and that session the one the tools run with.
    void signIn(const QString &email)
    {
        Bridge::setSessionProvider(nullptr);
        QString why;
        session = Standin::signIn(standin, email, &why);
        QVERIFY2(session, qPrintable(why));
        Bridge::setSessionProvider(session.get());
    }

    // A fresh editor model and adapter for the signed-in session; with
    // `rememberProjects` the editor keeps its project folders in `settings`.
    void openEditor(bool rememberProjects)
    {
        adapter.reset();
        editor = EditorModel::create(rememberProjects ? std::make_shared<ProjectLocationStore>(
                                         settings, QString::fromLatin1(ProjectLocationStore::standardPrefix))
                                                      : nullptr);
        editor->setRepository(standin.toolsFolder());
        editor->accountChanged(session->credentialURL());
        adapter = std::make_unique<EditorServiceAdapter>(editor);
    }

    bool waitIdle() { return QTest::qWaitFor([this] { return !editor->busy(); }, m_toolWait); }
    QString failure() const { return editor->error().value_or(QString()); }

    // Every tool run so far, oldest first: {"command": …, "arguments": […], …}.
    QList<QJsonObject> toolRunLog() const
    {
        QList<QJsonObject> found;
        QFile runs(standin.var() + QStringLiteral("/runs.jsonl"));
        if (!runs.open(QIODevice::ReadOnly))
            return found;
        while (!runs.atEnd()) {
            const QByteArray line = runs.readLine().trimmed();
            if (!line.isEmpty())
                found << QJsonDocument::fromJson(line).object();
        }
        return found;
    }

    // The command names of toolRunLog().
    QStringList toolCommands() const
    {
        QStringList commands;
        for (const QJsonObject &run : toolRunLog())
            commands << run.value(QStringLiteral("command")).toString();
        return commands;
    }

    // For cleanupTestCase, once the test's own models are gone.
    void closeEditor()
    {
        Bridge::setSessionProvider(nullptr);
        adapter.reset();
        editor.reset();
        session.reset();
    }

private:
    int m_toolWait;
};
