#pragma once

// The service queue's task row as the inbox reads it. These definitions stand
// in until the inbox links the service queue area, whose ServiceReceipt and
// ServiceKind carry the same names and fields; then this header only includes
// theirs.

#include "foundation/decoding/strictjson.h"

#include <QString>
#include <optional>

enum class ServiceKind { FilmEditing, ConceptDevelopment, ScriptDevelopment };

struct ServiceReceipt
{
    QString id;
    QString company_id;
    QString local_project_id;
    QString backup_id;
    QString source_fingerprint;
    QString title;
    ServiceKind kind = ServiceKind::FilmEditing;
    QString status;
    qint64 revision = 0;
    QString submitted_by;
    QString submitted_at;
    QString updated_at;
    std::optional<QString> claimed_by;
    std::optional<QString> claimed_at;
    std::optional<QString> latest_proposal_id;

    // Localized title of `status`; unknown codes read "Ukendt status".
    QString statusTitle() const;

    static ServiceReceipt fromJson(const JsonObjectReader &object);
};
