#pragma once

// Whether a customer brief is a consistent brief of one task. A brief that
// fails is refused as a whole by the caller; nothing of it is shown or used.

#include "foundation/records/currentservicebrief.h"
#include "servicerecords.h"

bool briefMatches(const CurrentServiceBrief &brief, const ServiceReceipt &receipt);

// The package is the one downloaded for the task: same package, same
// project, same kind (a package without a request counts as film editing).
bool packageOwned(const PackageContext &context, const ServiceDownload &download, const ServiceReceipt &request);
