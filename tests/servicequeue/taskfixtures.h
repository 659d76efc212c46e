#pragma once

// Answers of the service tools as JSON, and a queue model with a verified
// company directory, for tests of the task actions against the fakes.

#include "foundation/decoding/strictformats.h"
#include "servicefakes.h"
#include "servicequeue/servicequeuemodel.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

namespace TaskJson {

inline const QUuid kOperator("11111111-1111-4111-8111-111111111111");

inline QUuid companyId(int n)
{
    return QUuid(QStringLiteral("abcdef00-0000-4000-8000-%1").arg(n, 12, 10, QLatin1Char('0')));
}

inline QString companyText(int n) { return StrictFormats::canonicalUuid(companyId(n)); }

inline QByteArray bytes(const QJsonObject &object) { return QJsonDocument(object).toJson(QJsonDocument::Compact); }

// One directory page of companies first … first + count - 1; `more`: a next page follows.
inline QByteArray page(int first, int count, QUuid op = kOperator, bool more = false)
{
    QJsonArray companies;
    for (int i = first; i < first + count; ++i)
        companies.append(QJsonObject{{"id", companyText(i)}, {"name", QStringLiteral("Firma %1").arg(i)}});
    QJsonObject answer{{"operatorID", StrictFormats::canonicalUuid(op)}, {"companies", companies}};
    if (more)
        answer.insert("nextCompanyID", companyText(first + count - 1));
    return bytes(answer);
}

// A complete task row as the tools print it.
inline QJsonObject receipt(const QString &id, qint64 revision = 3, const QString &company = companyText(1),
                           const QString &kind = QStringLiteral("filmEditing"))
{
    return QJsonObject{{"id", id},
                       {"company_id", company},
                       {"local_project_id", "9a1d3c52-7d3f-4e55-9d3e-6f3b1a2c4d5e"},
                       {"backup_id", "b-1"},
                       {"source_fingerprint", "f-1"},
                       {"title", "Film"},
                       {"kind", kind},
                       {"status", "waiting"},
                       {"revision", revision},
                       {"submitted_by", "kunde"},
                       {"submitted_at", "2026-03-01T09:00:00Z"},
                       {"updated_at", "2026-03-01T09:00:00Z"},
                       {"claimed_by", QJsonValue::Null},
                       {"claimed_at", QJsonValue::Null},
                       {"latest_proposal_id", QJsonValue::Null}};
}

inline ServiceReceipt record(const QJsonObject &row) { return ServiceReceipt::fromJson(JsonObjectReader::parse(bytes(row))); }

inline QByteArray listing(const QJsonArray &rows, const QString &company = companyText(1),
                          const QString &op = StrictFormats::canonicalUuid(kOperator))
{
    return bytes(QJsonObject{{"companyID", company}, {"operatorID", op}, {"requests", rows}});
}

inline QByteArray detail(const QJsonObject &row)
{
    return bytes(QJsonObject{{"request", row}, {"proposals", QJsonArray()}, {"decisions", QJsonArray()}});
}

inline QJsonObject download(const QJsonObject &row, bool verified = true)
{
    return QJsonObject{{"companyID", row.value("company_id")},
                       {"packageID", "pkg-1"},
                       {"folder", "/projects/pkg-1"},
                       {"request", row},
                       {"verified", verified}};
}

inline ServiceDownload downloadRecord(const QJsonObject &row, bool verified = true)
{
    return ServiceDownload::fromJson(JsonObjectReader::parse(bytes(download(row, verified))));
}

inline QByteArray inventory(int packages)
{
    QJsonArray list;
    for (int i = 0; i < packages; ++i)
        list.append(QJsonObject{{"packageID", QStringLiteral("pkg-%1").arg(i)},
                                {"projectID", "9a1d3c52-7d3f-4e55-9d3e-6f3b1a2c4d5e"},
                                {"title", "Pakke"},
                                {"fingerprint", "fp"},
                                {"referencedFileCount", 1},
                                {"referencedBytes", 10},
                                {"counts", QJsonObject{{"usable", 1}, {"context", 0}, {"rejected", 0}}}});
    return bytes(QJsonObject{{"packages", list}, {"invalidPackages", QJsonArray{"gammel: ugyldig"}}});
}

inline QByteArray workspaces(int count)
{
    QJsonArray list;
    for (int i = 0; i < count; ++i)
        list.append(QJsonObject{{"handoffID", QStringLiteral("edit-%1").arg(i)},
                                {"folder", "/projects/handoffs"},
                                {"clipCount", 2},
                                {"notices", QJsonArray()}});
    return bytes(QJsonObject{{"handoffs", list}});
}

inline QByteArray previews() { return bytes(QJsonObject{{"previews", QJsonArray()}}); }

} // namespace TaskJson

// The fakes and a model whose directory lists companies 1 to 3, company 1 chosen.
struct TaskBench
{
    FakeEditor editor;
    FakeService service;
    ServiceQueueModel model;

    explicit TaskBench(bool demo = false) : model(service.bridge(), demo)
    {
        editor.m_inbox = QUrl::fromLocalFile(QStringLiteral("/projects"));
    }
    ~TaskBench()
    {
        service.closeAll();
        QCoreApplication::processEvents();
    }

    bool loadDirectory()
    {
        auto load = model.loadCompanies(editor, false);
        service.answer(int(service.calls.size()) - 1, TaskJson::page(1, 3));
        if (!QTest::qWaitFor([&] { return load.isReady(); }))
            return false;
        model.selectCompany(TaskJson::companyId(1), editor);
        return model.canUseCompany(editor);
    }

    // Answers tool call `index` once it has been made.
    bool answer(int index, const QByteArray &json)
    {
        if (!QTest::qWaitFor([&] { return service.calls.size() > index; }))
            return false;
        service.answer(index, json);
        return true;
    }
    bool fail(int index, const QString &text)
    {
        if (!QTest::qWaitFor([&] { return service.calls.size() > index; }))
            return false;
        service.fail(index, std::make_exception_ptr(BridgeError::failed(text)));
        return true;
    }
    bool idle() { return QTest::qWaitFor([&] { return !editor.m_busy; }); }

    // `row` listed and opened; with `pulled`, also with a verified download of it.
    bool openTask(const QJsonObject &row, bool pulled)
    {
        model.openedTask().setListing(ServiceListing{TaskJson::companyText(1), QStringLiteral("x"), {TaskJson::record(row)}});
        model.open(TaskJson::record(row), editor);
        if (!answer(int(service.calls.size()) - 1, TaskJson::detail(row)) || !idle() || !model.openedTask().detail())
            return false;
        if (pulled)
            model.openedTask().setDownload(TaskJson::downloadRecord(row));
        return true;
    }
};
