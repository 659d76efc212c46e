#include "servicecompanydirectory.h"

#include <algorithm>

std::optional<ServiceCompany> ServiceCompanyDirectory::selectedCompany() const
{
    if (!m_selectedCompanyID)
        return std::nullopt;
    for (const ServiceCompany &company : m_companies)
        if (company.id == *m_selectedCompanyID)
            return company;
    return std::nullopt;
}

bool ServiceCompanyDirectory::listsCompany(const QUuid &id) const
{
    return std::any_of(m_companies.cbegin(), m_companies.cend(),
                       [&id](const ServiceCompany &company) { return company.id == id; });
}
