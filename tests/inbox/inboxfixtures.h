#pragma once

// Valid inbox answers to start from; tests change one member at a time.

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>
#include <QStringList>

namespace InboxFixtures {

inline const QString operatorID = QStringLiteral("0b9f3c1e-7a52-4d1e-9c0a-5f2b8e6d4a10");
inline const QString companyID = QStringLiteral("6a1d2c3b-4e5f-4a7b-8c9d-0e1f2a3b4c5d");

inline QString uuidFor(int n, int salt = 0)
{
    return QStringLiteral("%1-0000-4000-8000-%2")
        .arg(salt, 8, 16, QLatin1Char('0'))
        .arg(n, 12, 16, QLatin1Char('0'));
}

inline QJsonObject row(int n, const QString &status = QStringLiteral("waiting"), bool canClaim = false)
{
    const QString film = uuidFor(n, 2);
    return QJsonObject{
        {"request",
         QJsonObject{{"id", uuidFor(n, 1)},
                     {"company_id", companyID},
                     {"local_project_id", film},
                     {"backup_id", uuidFor(n, 3)},
                     {"source_fingerprint", QString(64, QLatin1Char('a'))},
                     {"title", QStringLiteral("Film %1").arg(n)},
                     {"kind", "filmEditing"},
                     {"status", status},
                     {"revision", 0},
                     {"submitted_by", uuidFor(n, 4)},
                     {"submitted_at", QStringLiteral("2024-05-01T10:00:%1Z").arg(n % 60, 2, 10, QLatin1Char('0'))},
                     {"claimed_by", QJsonValue::Null},
                     {"claimed_at", QJsonValue::Null},
                     {"latest_proposal_id", QJsonValue::Null},
                     {"updated_at", "2024-05-02T10:00:00.250Z"}}},
        {"company",
         QJsonObject{{"id", companyID},
                     {"name", "Nordlys Film"},
                     {"contactName", QJsonValue::Null},
                     {"metadataAccess", "limited"},
                     {"canManageMetadata", false}}},
        {"film",
         QJsonObject{{"id", film},
                     {"title", QStringLiteral("Film %1").arg(n)},
                     {"campaignID", QJsonValue::Null},
                     {"campaignTitle", QJsonValue::Null},
                     {"stage", "production"}}},
        {"scheduling",
         QJsonObject{{"tier", "low"},
                     {"targetHours", 24},
                     {"policyVersion", 1},
                     {"round", 1},
                     {"submissionMode", "interview"},
                     {"receivedAt", "2024-05-01T12:00:00+02:00"},
                     {"eligibleAt", QJsonValue::Null},
                     {"dueAt", QJsonValue::Null},
                     {"startedAt", QJsonValue::Null},
                     {"blockedReason", QJsonValue::Null},
                     {"canClaim", canClaim}}},
    };
}

inline QJsonObject inboxPage(int rows = 2)
{
    QJsonArray items;
    for (int i = 0; i < rows; ++i)
        items.append(row(i + 1));
    return QJsonObject{{"schemaVersion", 2},
                       {"operatorID", operatorID},
                       {"serverTime", "2024-05-03T09:00:00Z"},
                       {"items", items},
                       {"nextCursor", QJsonValue::Null},
                       {"nextRequestID", QJsonValue::Null},
                       {"nextItem", QJsonValue::Null}};
}

inline QJsonObject pipelineFilm(int n)
{
    return QJsonObject{{"id", uuidFor(n, 5)},  {"title", QStringLiteral("Pipeline %1").arg(n)},
                       {"campaignID", QJsonValue::Null}, {"campaignTitle", QJsonValue::Null},
                       {"stage", "idea"},      {"requestID", uuidFor(n, 6)},
                       {"serviceStatus", "active"}};
}

inline QJsonObject pipelinePage(int films = 2)
{
    QJsonArray list;
    for (int i = 0; i < films; ++i)
        list.append(pipelineFilm(i + 1));
    return QJsonObject{{"schemaVersion", 2},
                       {"operatorID", operatorID},
                       {"serverTime", "2024-05-03T09:00:00Z"},
                       {"company", row(1).value("company")},
                       {"films", list},
                       {"nextCursor", QJsonValue::Null}};
}

inline QJsonObject mutationResult()
{
    return QJsonObject{{"schemaVersion", 2},
                       {"operatorID", operatorID},
                       {"serverTime", "2024-05-03T09:00:00Z"},
                       {"item", row(1, "active")},
                       {"replayed", false}};
}

inline QJsonObject metadataSettings()
{
    return QJsonObject{{"schemaVersion", 2},
                       {"companyID", companyID},
                       {"revision", 0},
                       {"allowPipeline", true},
                       {"contactName", "Ida Holm"}};
}

inline QByteArray bytes(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

// Reads or replaces the member at "a/b/0/c". Arrays are indexed by number.
QJsonValue valueAt(const QJsonValue &root, QStringList path);
QJsonValue withValue(const QJsonValue &root, QStringList path, const QJsonValue &value);
QJsonValue withoutKey(const QJsonValue &root, QStringList path);

inline QJsonValue valueAt(const QJsonValue &root, QStringList path)
{
    if (path.isEmpty())
        return root;
    const QString head = path.takeFirst();
    if (root.isArray())
        return valueAt(root.toArray().at(head.toInt()), path);
    return valueAt(root.toObject().value(head), path);
}

inline QJsonValue withValue(const QJsonValue &root, QStringList path, const QJsonValue &value)
{
    if (path.isEmpty())
        return value;
    const QString head = path.takeFirst();
    if (root.isArray()) {
        QJsonArray array = root.toArray();
        array[head.toInt()] = withValue(array.at(head.toInt()), path, value);
        return array;
    }
    QJsonObject object = root.toObject();
    object[head] = withValue(object.value(head), path, value);
    return object;
}

inline QJsonValue withoutKey(const QJsonValue &root, QStringList path)
{
    const QString last = path.takeLast();
    QJsonObject parent = valueAt(root, path).toObject();
    parent.remove(last);
    return withValue(root, path, parent);
}

inline QJsonObject set(const QJsonObject &root, const QString &path, const QJsonValue &value)
{
    return withValue(root, path.split(u'/'), value).toObject();
}

} // namespace InboxFixtures
