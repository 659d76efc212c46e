#include "serviceopenedtask.h"

void ServiceOpenedTask::setDetail(std::optional<ServiceDetail> value)
{
    m_detail = std::move(value);
    updateListingFromDetail();
    Q_EMIT changed();
}

void ServiceOpenedTask::setDownload(std::optional<ServiceDownload> value)
{
    assign(m_download, std::move(value));
    Q_EMIT packageChanged();
}

void ServiceOpenedTask::setPackageContext(std::optional<PackageContext> value)
{
    assign(m_packageContext, std::move(value));
    Q_EMIT packageContextChanged();
}

void ServiceOpenedTask::setInlineBrief(std::optional<PackageContext> value)
{
    assign(m_inlineBrief, std::move(value));
    Q_EMIT packageChanged();
}

void ServiceOpenedTask::close()
{
    m_packageContext.reset();
    m_inlineBrief.reset();
    m_detail.reset();
    m_download.reset();
    Q_EMIT changed();
    Q_EMIT packageContextChanged();
    Q_EMIT packageChanged();
}

void ServiceOpenedTask::clear()
{
    m_listing.reset();
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
        if (row.revision <= request.revision)
            row = request;
        return;
    }
}
