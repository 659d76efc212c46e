#pragma once

#include "servicecompanies.h"
#include "serviceidentity.h"
#include "servicequeuepart.h"

#include <QUuid>

// The customer companies of the signed-in editor as the service lists them,
// page by page, and the chosen one.
class ServiceCompanyDirectory : public ServiceQueuePart
{
    Q_OBJECT

    TAVLON_PART_VALUE(QList<ServiceCompany>, companies, setCompanies)
    TAVLON_PART_VALUE(std::optional<QUuid>, operatorID, setOperatorID)
    TAVLON_PART_VALUE(std::optional<QUuid>, nextCompanyID, setNextCompanyID)
    TAVLON_PART_VALUE(std::optional<QUuid>, selectedCompanyID, setSelectedCompanyID)
    TAVLON_PART_VALUE(bool, companiesVerified, setCompaniesVerified, false)
    TAVLON_PART_VALUE(bool, companiesLoaded, setCompaniesLoaded, false)
    TAVLON_PART_VALUE(bool, loadingCompanies, setLoadingCompanies, false)
    TAVLON_PART_VALUE(std::optional<QString>, companyError, setCompanyError)
    // The identity the listed companies were loaded for.
    TAVLON_PART_VALUE(std::optional<ServiceIdentity>, directoryIdentity, setDirectoryIdentity)

public:
    using ServiceQueuePart::ServiceQueuePart;

    std::optional<ServiceCompany> selectedCompany() const;
    bool listsCompany(const QUuid &id) const;
};
