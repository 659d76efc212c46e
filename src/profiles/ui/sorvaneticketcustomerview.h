#pragma once

#include "profiles/sorvaneprofilerecords.h"

#include <QWidget>
#include <optional>

class QLabel;
class SorvaneAvatarView;

// The customer of one inbox task: the customer's avatar beside the company
// name and, when it adds something, the contact person's name.
class SorvaneTicketCustomerView final : public QWidget
{
    Q_OBJECT
public:
    SorvaneTicketCustomerView(const SorvaneInboxRow &item, std::optional<SorvanePersonProfile> profile, bool compact,
                              QWidget *parent = nullptr);

    void setCustomer(const SorvaneInboxRow &item, std::optional<SorvanePersonProfile> profile);

    // The second line: the person's name when known and not the company's.
    static std::optional<QString> personLine(const SorvaneInboxRow &item,
                                             const std::optional<SorvanePersonProfile> &profile);

private:
    bool m_compact;
    SorvaneAvatarView *m_avatar;
    QLabel *m_company;
    QLabel *m_person;
};
