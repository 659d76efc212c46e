#pragma once

// Records and tool answers of video drafts for the service queue tests: a
// film-editing task claimed by `kOperator` in company 1, and JSON builders
// for the video and project tools' answers.

#include "foundation/decoding/strictformats.h"
#include "servicefakes.h"
#include "servicequeue/servicequeuemodel.h"
#include "servicequeue/videorecords.h"

#include <QtTest>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace VideoFixtures {

inline const QUuid kOperator("11111111-1111-4111-8111-111111111111");
inline const QUuid kOtherOperator("22222222-2222-4222-8222-222222222222");
inline const QString kTask = QStringLiteral("7d0c5b1e-3f7a-4c55-9a51-2b7f1c0d9e01");

inline QUuid companyId(int n)
{
    return QUuid(QStringLiteral("00000000-0000-4000-8000-%1").arg(n, 12, 10, QLatin1Char('0')));
}

inline QByteArray bytes(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

inline QJsonObject receiptJson(qint64 revision = 4, const QString &status = QStringLiteral("active"),
                               const QString &kind = QStringLiteral("filmEditing"))
{
    return QJsonObject{{"id", kTask},
                       {"company_id", StrictFormats::canonicalUuid(companyId(1))},
                       {"local_project_id", "project-1"},
                       {"backup_id", "backup-1"},
                       {"source_fingerprint", "fingerprint-1"},
                       {"title", "Sommerøl 2026"},
                       {"kind", kind},
                       {"status", status},
                       {"revision", revision},
                       {"submitted_by", "kunde"},
                       {"submitted_at", "2026-03-01T09:00:00Z"},
                       {"updated_at", "2026-03-02T09:00:00Z"},
                       {"claimed_by", StrictFormats::canonicalUuid(kOperator)},
                       {"claimed_at", "2026-03-02T08:00:00Z"}};
}

inline ServiceReceipt receipt(qint64 revision = 4, const QString &status = QStringLiteral("active"))
{
    return ServiceReceipt::fromJson(JsonObjectReader::parse(bytes(receiptJson(revision, status))));
}

inline QJsonObject contentJson(const QString &kind = QStringLiteral("filmEditing"), bool video = true)
{
    QJsonObject content{{"schemaVersion", 1},           {"kind", kind},           {"title", "Sommerøl · klip 2"},
                        {"body", "Logoet kommer før."}, {"open_questions", QJsonArray()},
                        {"concept_options", QJsonArray()}, {"script_sections", QJsonArray()},
                        {"shots", QJsonArray()},        {"sources", QJsonArray()}};
    if (video)
        content.insert("video", QJsonObject{{"source_export_id", "export-1"}, {"bucket", "review-videos"},
                                            {"object_key", "k"}, {"sha256", QString(64, QLatin1Char('a'))},
                                            {"content_type", "video/mp4"}, {"editor_name", "Lea"},
                                            {"byte_count", 1048576}, {"duration_seconds", 12.34},
                                            {"editor_qc_confirmed", false}});
    return content;
}

inline QJsonObject previewJson(const QString &proposalID, qint64 revision = 4, const QString &requestID = kTask,
                               const QString &kind = QStringLiteral("filmEditing"))
{
    return QJsonObject{{"proposalID", proposalID}, {"requestID", requestID}, {"exportID", "export-1"},
                       {"file", "/drafts/" + proposalID + ".mp4"}, {"notice", "Klar."},
                       {"expectedRevision", revision}, {"content", contentJson(kind)}};
}

inline VideoReviewPreview preview(const QString &proposalID, qint64 revision = 4)
{
    return VideoReviewPreview::decode(bytes(previewJson(proposalID, revision)));
}

inline QJsonObject copyJson(const QString &snapshotID, const QString &proposalID, qint64 bytes = 2048,
                            std::optional<QStringList> automatic = std::nullopt)
{
    QJsonObject copy{{"snapshotID", snapshotID},    {"proposalID", proposalID},    {"sourceName", snapshotID + ".drp"},
                     {"kind", "resolveProjectExport"}, {"archive", "/copies/" + snapshotID + ".zip"},
                     {"manifest", "m"},            {"archiveSHA256", "h"},        {"dependencyStatus", "notChecked"},
                     {"notice", "n"},              {"byteCount", bytes},          {"referenceCount", 1},
                     {"nativeReopenVerified", false}};
    if (automatic)
        copy.insert("automaticProjects", QJsonArray::fromStringList(*automatic));
    return copy;
}

inline NativeProjectVersion copy(const QString &snapshotID, const QString &proposalID, qint64 size = 2048)
{
    return NativeProjectVersion::decode(bytes(copyJson(snapshotID, proposalID, size)));
}

// Company 1 chosen, a project folder, and the task opened with a verified pull.
inline void openClaimedTask(ServiceQueueModel &model, FakeEditor &editor, FakeService &service, qint64 revision = 4,
                            const QString &status = QStringLiteral("active"))
{
    editor.m_inbox = QUrl::fromLocalFile(QStringLiteral("/projects"));
    const QJsonObject page{{"operatorID", StrictFormats::canonicalUuid(kOperator)},
                           {"companies", QJsonArray{QJsonObject{{"id", StrictFormats::canonicalUuid(companyId(1))},
                                                                {"name", "Nordlys"}}}}};
    auto load = model.loadCompanies(editor, false);
    service.answer(int(service.calls.size()) - 1, bytes(page));
    QTRY_VERIFY(load.isReady());
    model.selectCompany(companyId(1), editor);
    const auto scope = model.scope(editor);
    QVERIFY(scope);
    model.restoreSelection(SelectionKey{scope->identity, scope->companyID, scope->operatorID, kTask, scope->inbox});
    model.openedTask().setDetail(ServiceDetail{receipt(revision, status), {}, {}});
    ServiceDownload download;
    download.companyID = StrictFormats::canonicalUuid(companyId(1));
    download.request = receipt(revision, status);
    download.verified = true;
    model.openedTask().setDownload(download);
}

} // namespace VideoFixtures
