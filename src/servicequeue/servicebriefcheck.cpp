#include "servicebriefcheck.h"

#include "foundation/decoding/strictformats.h"

#include <limits>

namespace {

constexpr qsizetype instructionsLimit = 64000; // UTF-16 code units
constexpr qsizetype reasonLimit = 2000;

// Texts are equal when canonically equivalent.
bool sameText(const QString &a, const QString &b)
{
    return a == b || a.normalized(QString::NormalizationForm_C) == b.normalized(QString::NormalizationForm_C);
}

bool isContextRevision(const QString &text)
{
    if (text.size() != 64)
        return false;
    return std::all_of(text.cbegin(), text.cend(), [](QChar c) {
        return (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || (c >= QLatin1Char('a') && c <= QLatin1Char('f'));
    });
}

} // namespace

bool briefMatches(const CurrentServiceBrief &brief, const ServiceReceipt &receipt)
{
    if (!sameText(brief.requestID, receipt.id))
        return false;
    if (brief.originalInstructions.size() > instructionsLimit || brief.effectiveInstructions.size() > instructionsLimit)
        return false;
    if (!brief.cached) {
        if (brief.requestRevision || brief.contextRevision || brief.observedAt || brief.currentAmendment)
            return false;
    } else {
        if (!brief.requestRevision || *brief.requestRevision < 0)
            return false;
        if (!brief.requiresRefresh.value_or(false) && *brief.requestRevision < receipt.revision)
            return false;
        if (!brief.contextRevision || !isContextRevision(*brief.contextRevision))
            return false;
        if (!brief.observedAt || brief.observedAt->isEmpty())
            return false;
    }
    if (!brief.currentAmendment)
        return sameText(brief.effectiveInstructions, brief.originalInstructions);

    const CurrentServiceBrief::Amendment &amendment = *brief.currentAmendment;
    return sameText(amendment.request_id, receipt.id) && sameText(amendment.company_id, receipt.company_id)
        && sameText(amendment.film_id, receipt.local_project_id) && sameText(amendment.backup_id, receipt.backup_id)
        && sameText(amendment.source_fingerprint, receipt.source_fingerprint)
        && StrictFormats::parseUuid(amendment.id) && StrictFormats::parseUuid(amendment.created_by)
        && amendment.base_revision >= 0 && amendment.base_revision < std::numeric_limits<qint64>::max()
        && amendment.applied_revision == amendment.base_revision + 1
        && amendment.applied_revision <= *brief.requestRevision
        && sameText(amendment.instructions, brief.effectiveInstructions) && !amendment.instructions.trimmed().isEmpty()
        && amendment.reason.size() <= reasonLimit;
}

bool packageOwned(const PackageContext &context, const ServiceDownload &download, const ServiceReceipt &request)
{
    if (context.summary.packageID != download.packageID)
        return false;
    const auto project = StrictFormats::parseUuid(request.local_project_id);
    if (!project || StrictFormats::parseUuid(context.summary.projectID) != project)
        return false;
    const ServiceKind kind =
        context.summary.serviceRequest ? context.summary.serviceRequest->kind : ServiceKind::filmEditing;
    return kind == request.kind;
}
