#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>

class JsonObjectReader;

// One completed cloud backup; identified by id. Fields keep the wire names.
struct CloudBackup
{
    QString id;
    QString local_project_id;
    qint64 revision = 0;
    QString completed_at; // as the tool writes it, shown unchanged

    static CloudBackup fromJson(const JsonObjectReader &json);
    bool operator==(const CloudBackup &) const = default;
};
size_t qHash(const CloudBackup &backup, size_t seed = 0);

// A company's completed cloud backups, in the tool's order.
struct CloudListing
{
    QString companyID;
    QList<CloudBackup> backups;

    static CloudListing fromJson(const JsonObjectReader &json);
    static CloudListing decode(const QByteArray &bytes);
};

// A backup restored into the project folder. `verified` false is a valid
// answer: judging it is the caller's task.
struct RestoredBackup
{
    QString companyID;
    QString backupID;
    QString folder;
    bool verified = false;

    static RestoredBackup fromJson(const JsonObjectReader &json);
    static RestoredBackup decode(const QByteArray &bytes);
};
