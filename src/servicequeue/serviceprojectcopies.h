#pragma once

#include "servicequeuepart.h"
#include "videorecords.h"

#include <QStringList>

// The native editor project copies kept with a video version.
class ServiceProjectCopies : public ServiceQueuePart
{
    Q_OBJECT

    TAVLON_PART_RECORD(QList<NativeProjectVersion>, projectVersions, setProjectVersions)
    TAVLON_PART_VALUE(std::optional<QString>, projectVersionsProposalID, setProjectVersionsProposalID)
    TAVLON_PART_VALUE(bool, rememberEditorProject, setRememberEditorProject, true)
    TAVLON_PART_VALUE(QStringList, automaticProjectNames, setAutomaticProjectNames)
    TAVLON_PART_VALUE(bool, requiresProjectSelection, setRequiresProjectSelection, false)

public:
    using ServiceQueuePart::ServiceQueuePart;
};
