#include "servicecompanies.h"

#include "recorddecoding_p.h"

#include "foundation/decoding/strictformats.h"
#include "foundation/errors.h"
#include "foundation/localization.h"

#include <QSet>
#include <algorithm>

ServiceCompany ServiceCompany::fromJson(const JsonObjectReader &o)
{
    ServiceCompany c;
    c.id = o.uuid(u"id");
    c.name = o.string(u"name");
    return c;
}

ServiceCompanyPage ServiceCompanyPage::fromJson(const JsonObjectReader &o)
{
    ServiceCompanyPage page;
    page.operatorID = o.uuid(u"operatorID");
    page.companies = o.array(u"companies", RecordDecoding::objects<ServiceCompany>());
    page.nextCompanyID = o.optionalUuid(u"nextCompanyID");
    return page;
}

ServiceCompanyPage ServiceCompanyPage::decode(const QByteArray &json)
{
    return RecordDecoding::document<ServiceCompanyPage>(json);
}

namespace {

bool nameAcceptable(const QString &name)
{
    if (name.trimmed().isEmpty())
        return false;
    if (name.size() > ServiceCompanyPage::maximumNameLength)
        return false;
    return !name.contains(QChar(u'\0'));
}

} // namespace

void ServiceCompanyPage::validate(const std::optional<QUuid> &after) const
{
    const auto refuse = [] { throw BridgeError::failed(loc("Listen over virksomheder kunne ikke kontrolleres. Hent den igen.")); };

    QStringList keys;
    keys.reserve(companies.size());
    for (const ServiceCompany &company : companies)
        keys.append(StrictFormats::canonicalUuid(company.id));

    if (companies.size() > pageSize)
        refuse();
    if (QSet<QString>(keys.cbegin(), keys.cend()).size() != keys.size())
        refuse();
    if (!std::is_sorted(keys.cbegin(), keys.cend()))
        refuse();
    for (const ServiceCompany &company : companies)
        if (!nameAcceptable(company.name))
            refuse();
    if (after) {
        const QString cursor = StrictFormats::canonicalUuid(*after);
        for (const QString &key : keys)
            if (!(key > cursor))
                refuse();
    }
    if (nextCompanyID) {
        if (companies.size() != pageSize || companies.constLast().id != *nextCompanyID)
            refuse();
    }
}
