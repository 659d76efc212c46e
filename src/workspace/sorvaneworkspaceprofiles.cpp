#include "workspace/sorvaneworkspaceprofiles.h"

#include "profiles/sorvaneprofilesmodel.h"

SorvaneProfilesAdapter::SorvaneProfilesAdapter(std::shared_ptr<SorvaneProfilesModel> profiles,
                                               std::shared_ptr<ServiceQueueEditor> editor, QObject *parent)
    : SorvaneWorkspaceProfiles(parent), m_profiles(std::move(profiles)), m_editor(std::move(editor))
{
    connect(m_profiles.get(), &SorvaneProfilesModel::participantsChanged, this,
            &SorvaneWorkspaceProfiles::participantsChanged);
    connect(m_profiles.get(), &SorvaneProfilesModel::participantsErrorChanged, this,
            &SorvaneWorkspaceProfiles::participantsErrorChanged);
}

QCoro::Task<void> SorvaneProfilesAdapter::loadParticipants(QList<SorvaneInboxRow> rows,
                                                           std::optional<QUuid> operatorID, CancellationToken token)
{
    // The model is held by the task: a load may outlive the window.
    std::shared_ptr<SorvaneProfilesModel> profiles = m_profiles;
    co_await profiles->loadParticipants(std::move(rows), operatorID, m_editor, std::move(token));
}

std::optional<SorvanePersonProfile> SorvaneProfilesAdapter::customer(const SorvaneInboxRow &row) const
{
    const auto people = m_profiles->people(row);
    return people ? std::optional<SorvanePersonProfile>(people->customer) : std::nullopt;
}

std::optional<SorvaneRequestParticipants> SorvaneProfilesAdapter::participants(const SorvaneInboxRow &row) const
{
    return m_profiles->people(row);
}

std::optional<QString> SorvaneProfilesAdapter::participantsError() const
{
    return m_profiles->participantsError();
}
