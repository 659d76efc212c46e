#include "sorvaneticketcustomerview.h"

#include "sorvaneavatarview.h"

#include "foundation/ui/uikit.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace {

QString fallbackName(const SorvaneInboxRow &item)
{
    return item.company.contactName.value_or(item.company.name);
}

} // namespace

SorvaneTicketCustomerView::SorvaneTicketCustomerView(const SorvaneInboxRow &item,
                                                     std::optional<SorvanePersonProfile> profile, bool compact,
                                                     QWidget *parent)
    : QWidget(parent), m_compact(compact)
{
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(9);
    m_avatar = new SorvaneAvatarView(profile, fallbackName(item), compact ? 28 : 36, this);
    row->addWidget(m_avatar, 0, Qt::AlignVCenter);

    auto *lines = new QVBoxLayout;
    lines->setSpacing(2);
    m_company = new QLabel(this);
    m_company->setObjectName(QStringLiteral("sorvane.customerIdentity.company"));
    m_company->setTextFormat(Qt::PlainText);
    m_company->setWordWrap(true);
    QFont caption = m_company->font();
    caption.setPointSizeF(caption.pointSizeF() * 0.85);
    QFont semibold = caption;
    semibold.setWeight(QFont::DemiBold);
    m_company->setFont(semibold);
    // At most two lines.
    m_company->setMaximumHeight(m_company->fontMetrics().lineSpacing() * 2);
    m_person = new QLabel(this);
    m_person->setObjectName(QStringLiteral("sorvane.customerIdentity.person"));
    m_person->setTextFormat(Qt::PlainText);
    m_person->setFont(caption);
    UiKit::setSecondary(m_person);
    // The two lines stay together, centred beside the avatar.
    lines->addStretch(1);
    lines->addWidget(m_company);
    lines->addWidget(m_person);
    lines->addStretch(1);
    row->addLayout(lines, 1);
    setCustomer(item, std::move(profile));
}

std::optional<QString> SorvaneTicketCustomerView::personLine(const SorvaneInboxRow &item,
                                                             const std::optional<SorvanePersonProfile> &profile)
{
    const std::optional<QString> name =
        profile && profile->displayName ? profile->displayName : item.company.contactName;
    if (!name
        || name->normalized(QString::NormalizationForm_C)
            == item.company.name.normalized(QString::NormalizationForm_C))
        return std::nullopt;
    return name;
}

void SorvaneTicketCustomerView::setCustomer(const SorvaneInboxRow &item, std::optional<SorvanePersonProfile> profile)
{
    setObjectName(QStringLiteral("sorvane.customerIdentity.") + item.request.id);
    m_avatar->setPerson(profile, fallbackName(item));
    m_company->setText(item.company.name);
    const auto person = personLine(item, profile);
    m_person->setVisible(person.has_value());
    // One line (the label does not wrap); the tooltip keeps a long name whole.
    m_person->setText(person.value_or(QString()));
    m_person->setToolTip(person.value_or(QString()));
}
