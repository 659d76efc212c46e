#include "serviceopenedtask.h"

void ServiceOpenedTask::setListing(std::optional<ServiceListing> value)
{
    counted(m_listing, std::move(value), m_assignments.listing);
}

void ServiceOpenedTask::setDetail(std::optional<ServiceDetail> value)
{
    m_detail = std::move(value);
    ++m_assignments.detail;
    updateListingFromDetail();
    Q_EMIT changed();
}

void ServiceOpenedTask::setDownload(std::optional<ServiceDownload> value)
{
    counted(m_download, std::move(value), m_assignments.download);
}

void ServiceOpenedTask::setPackageContext(std::optional<PackageContext> value)
{
    counted(m_packageContext, std::move(value), m_assignments.packageContext);
}

void ServiceOpenedTask::setInlineBrief(std::optional<PackageContext> value)
{
    counted(m_inlineBrief, std::move(value), m_assignments.inlineBrief);
}

void ServiceOpenedTask::close()
{
    m_packageContext.reset();
    m_inlineBrief.reset();
    m_detail.reset();
    m_download.reset();
    ++m_assignments.packageContext;
    ++m_assignments.inlineBrief;
    ++m_assignments.detail;
    ++m_assignments.download;
    Q_EMIT changed();
}

void ServiceOpenedTask::clear()
{
    m_listing.reset();
    ++m_assignments.listing;
    close();
}

// Keeps the listed row of the opened task in step with it, unless the listed
// row is the newer of the two.
void ServiceOpenedTask::updateListingFromDetail()
{
    if (!m_detail || !m_listing)
        return;
    const ServiceReceipt &request = m_detail->request;
    if (m_listing->companyID != request.company_id)
        return;
    for (ServiceReceipt &row : m_listing->requests) {
        if (row.id != request.id)
            continue;
        if (row.revision <= request.revision) {
            row = request;
            ++m_assignments.listing;
        }
        return;
    }
}
