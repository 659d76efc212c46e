#pragma once

#include "servicequeue/servicerecords.h"

#include <optional>

// How a task's state is worded once the customer may have approved a
// version: the status line, the versions button and the note of a closed
// task. A version is named approved only when the listed task, the opened
// task and the customer's decision all agree on the same latest proposal.
struct ServiceTaskPresentation
{
    ServiceReceipt request;
    std::optional<ServiceDetail> detail;

    std::optional<qint64> approvedVersion() const;
    QString statusTitle() const;
    QString versionsActionTitle() const;
    std::optional<QString> closedMessage() const;
};
