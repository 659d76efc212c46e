#pragma once

#include "workspace/sorvaneworkspace.h"

#include <memory>

class ServiceQueueEditor;
class SorvaneProfilesModel;

// The window's profiles model as the workspace sees it.
class SorvaneProfilesAdapter final : public SorvaneWorkspaceProfiles
{
    Q_OBJECT
public:
    SorvaneProfilesAdapter(std::shared_ptr<SorvaneProfilesModel> profiles, std::shared_ptr<ServiceQueueEditor> editor,
                           QObject *parent = nullptr);

    QCoro::Task<void> loadParticipants(QList<SorvaneInboxRow> rows, std::optional<QUuid> operatorID,
                                       CancellationToken token) override;
    std::optional<SorvanePersonProfile> customer(const SorvaneInboxRow &row) const override;
    std::optional<SorvaneRequestParticipants> participants(const SorvaneInboxRow &row) const override;
    std::optional<QString> participantsError() const override;

private:
    std::shared_ptr<SorvaneProfilesModel> m_profiles;
    std::shared_ptr<ServiceQueueEditor> m_editor;
};
