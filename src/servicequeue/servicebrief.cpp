#include "servicebrief.h"

#include "foundation/decoding/strictformats.h"
#include "foundation/localization.h"

namespace ServiceBrief {

namespace {

constexpr qsizetype instructionsLimit = 64000; // UTF-16 code units
constexpr qsizetype reasonLimit = 2000;

bool isContextRevision(const QString &text)
{
    if (text.size() != 64)
        return false;
    for (const QChar c : text)
        if (!((c >= QLatin1Char('0') && c <= QLatin1Char('9')) || (c >= QLatin1Char('a') && c <= QLatin1Char('f'))))
            return false;
    return true;
}

bool amendmentFits(const CurrentServiceBrief &brief, const CurrentServiceBrief::Amendment &amendment,
                   const ServiceReceipt &receipt)
{
    if (amendment.request_id != receipt.id || amendment.company_id != receipt.company_id
        || amendment.film_id != receipt.local_project_id || amendment.backup_id != receipt.backup_id
        || amendment.source_fingerprint != receipt.source_fingerprint)
        return false;
    if (!StrictFormats::parseUuid(amendment.id) || !StrictFormats::parseUuid(amendment.created_by))
        return false;
    if (amendment.base_revision < 0 || amendment.applied_revision != amendment.base_revision + 1)
        return false;
    if (!brief.cached || !brief.requestRevision || amendment.applied_revision > *brief.requestRevision)
        return false;
    return amendment.instructions == brief.effectiveInstructions && !amendment.instructions.trimmed().isEmpty()
        && amendment.reason.size() <= reasonLimit;
}

} // namespace

ServiceKind packageKind(const PackageSummary &summary)
{
    return summary.serviceRequest ? summary.serviceRequest->kind : ServiceKind::filmEditing;
}

bool packageBelongsTo(const PackageContext &context, const ServiceDownload &download, const ServiceReceipt &request)
{
    if (context.summary.packageID != download.packageID)
        return false;
    const auto project = StrictFormats::parseUuid(request.local_project_id);
    const auto packageProject = StrictFormats::parseUuid(context.summary.projectID);
    if (!project || !packageProject || *project != *packageProject)
        return false;
    return packageKind(context.summary) == request.kind;
}

bool matches(const CurrentServiceBrief &brief, const ServiceReceipt &receipt)
{
    if (brief.requestID != receipt.id)
        return false;
    if (brief.originalInstructions.size() > instructionsLimit || brief.effectiveInstructions.size() > instructionsLimit)
        return false;
    if (!brief.cached) {
        if (brief.requestRevision || brief.contextRevision || brief.observedAt)
            return false;
    } else {
        if (!brief.requestRevision || *brief.requestRevision < 0)
            return false;
        if (*brief.requestRevision < receipt.revision && brief.requiresRefresh != true)
            return false;
        if (!brief.contextRevision || !isContextRevision(*brief.contextRevision))
            return false;
        if (!brief.observedAt || brief.observedAt->isEmpty())
            return false;
    }
    if (!brief.currentAmendment)
        return brief.effectiveInstructions == brief.originalInstructions;
    return amendmentFits(brief, *brief.currentAmendment, receipt);
}

BridgeError foreignPackage()
{
    return BridgeError::failed(loc("Klippegrundlaget tilhører ikke den valgte opgave."));
}

} // namespace ServiceBrief
