#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

class JsonObjectReader;

// The customer's original and effective instructions with the amendment in
// force.
struct CurrentServiceBrief
{
    // One amendment of the instructions; snake-case keys, all required.
    struct Amendment
    {
        QString id;
        QString company_id;
        QString request_id;
        QString film_id;
        QString backup_id;
        QString source_fingerprint;
        qint64 base_revision = 0;
        qint64 applied_revision = 0;
        QString instructions;
        QString reason;
        QString created_by;
        QString created_at;

        static Amendment fromJson(const JsonObjectReader &json);
    };

    QString requestID;
    std::optional<qint64> requestRevision;
    std::optional<QString> contextRevision;
    QString originalInstructions;
    QString effectiveInstructions;
    std::optional<Amendment> currentAmendment;
    std::optional<QString> observedAt;
    bool cached = false;
    std::optional<bool> requiresRefresh;

    static CurrentServiceBrief fromJson(const JsonObjectReader &json);
    static CurrentServiceBrief decode(const QByteArray &bytes);
};
