#pragma once

#include "serviceidentity.h"

#include <QUuid>

// What a service operation captured when it started. Its answer is applied
// only while the scope still describes the model and the editor.
struct ServiceOperationScope
{
    ServiceIdentity identity;
    QUuid companyID;
    QUuid operatorID;
    std::optional<QUrl> inbox;
    QUuid generation;
};

// Snapshot taken before the project folder panel for an inbox task opens;
// the chosen folder is applied only while a fresh snapshot equals it.
struct SorvaneStorageSelection
{
    ServiceIdentity identity;
    QUuid companyID;
    QUuid operatorID;
    QString requestID;
    QUuid generation;

    bool operator==(const SorvaneStorageSelection &) const = default;
};
