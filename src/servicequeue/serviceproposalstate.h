#pragma once

#include "servicequeuepart.h"
#include "servicerecords.h"

// The written proposal of the opened task: the working folder prepared for
// it and the earlier ones, the proposal file, its checked preview and the
// request to confirm its send.
class ServiceProposalState : public ServiceQueuePart
{
    Q_OBJECT

    TAVLON_PART_RECORD(std::optional<PreparedHandoff>, prepared, setPrepared)
    TAVLON_PART_RECORD(QList<PreparedHandoff>, workspaces, setWorkspaces)
    TAVLON_PART_RECORD(std::optional<ProposalFile>, proposalFile, setProposalFile)
    TAVLON_PART_RECORD(std::optional<ProposalPreview>, preview, setPreview)
    TAVLON_PART_VALUE(bool, confirmation, setConfirmation, false)

public:
    using ServiceQueuePart::ServiceQueuePart;
};
