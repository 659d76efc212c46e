#pragma once

#include "servicequeuepart.h"
#include "servicerecords.h"

// The chosen company's task list and the task opened from it: its detail
// (the history), its downloaded package, and the package's context read
// inline and for the brief sheet.
//
// Besides `changed`, two narrow signals keep the moments of views that
// replace content on every assignment of one field, equal or not (records
// have no equality to compare).
class ServiceOpenedTask : public ServiceQueuePart
{
    Q_OBJECT

    TAVLON_PART_RECORD(std::optional<ServiceListing>, listing, setListing)

public:
    using ServiceQueuePart::ServiceQueuePart;

    const std::optional<ServiceDetail> &detail() const { return m_detail; }
    // Also brings the listed row of the task up to date, unless the listed row is the newer.
    void setDetail(std::optional<ServiceDetail> value);
    const std::optional<ServiceDownload> &download() const { return m_download; }
    void setDownload(std::optional<ServiceDownload> value);
    // What the brief sheet shows; none closes it.
    const std::optional<PackageContext> &packageContext() const { return m_packageContext; }
    void setPackageContext(std::optional<PackageContext> value);
    const std::optional<PackageContext> &inlineBrief() const { return m_inlineBrief; }
    void setInlineBrief(std::optional<PackageContext> value);

    // The opened task goes; the list stays.
    void close();
    // The list and the opened task go.
    void clear();

Q_SIGNALS:
    // The brief sheet's context was assigned: the sheet is replaced, or closed.
    void packageContextChanged();
    // The downloaded package or its context read inline was assigned.
    void packageChanged();

private:
    void updateListingFromDetail();

    std::optional<ServiceDetail> m_detail;
    std::optional<ServiceDownload> m_download;
    std::optional<PackageContext> m_packageContext;
    std::optional<PackageContext> m_inlineBrief;
};
