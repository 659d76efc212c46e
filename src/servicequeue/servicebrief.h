#pragma once

#include "servicerecords.h"

#include "foundation/errors.h"

// Whether a package context and a customer brief belong to a task.
namespace ServiceBrief {

// A package without a customer request counts as film editing.
ServiceKind packageKind(const PackageSummary &summary);

// The package of the verified download, of the task's project (UUIDs in any
// letter case) and of the task's kind.
bool packageBelongsTo(const PackageContext &context, const ServiceDownload &download, const ServiceReceipt &request);

// A consistent brief of that task: its id, bounded texts, the revision facts
// a cached brief must carry, and an amendment that names the same task,
// film, backup and source and explains the effective instructions.
bool matches(const CurrentServiceBrief &brief, const ServiceReceipt &receipt);

// "Klippegrundlaget tilhører ikke den valgte opgave."
BridgeError foreignPackage();

} // namespace ServiceBrief
