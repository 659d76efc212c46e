#include "sorvaneprofilesmodel.h"

#include "profiles/sorvaneprofilewire.h"

#include "foundation/bridge/bridgecommand.h"
#include "foundation/decoding/strictformats.h"
#include "foundation/localization.h"
#include "foundation/logging.h"

#include <QPointer>

bool SorvaneProfilesModel::participantsCurrent(const QUuid &generation, const ServiceIdentity &identity,
                                               const ServiceQueueEditor &editor, const CancellationToken &task) const
{
    return m_participantsGeneration == generation && this->identity(editor) == identity && !task.isCancelled();
}

QCoro::Task<void> SorvaneProfilesModel::loadParticipants(QList<SorvaneInboxRow> rows, std::optional<QUuid> operatorID,
                                                         std::shared_ptr<ServiceQueueEditor> editor,
                                                         CancellationToken task)
{
    const auto identity = this->identity(*editor);
    if (!identity || !operatorID) {
        setParticipants({});
        co_return;
    }
    adopt(*identity);
    const QUuid generation = QUuid::createUuid();
    m_participantsGeneration = generation;
    setLoadingParticipants(true);
    setParticipantsError(std::nullopt);
    setParticipants({});

    QPointer<SorvaneProfilesModel> self(this);
    QHash<QUuid, SorvaneRequestParticipants> collected;
    bool wanted = true;
    try {
        for (qsizetype start = 0; start < rows.size(); start += SorvaneProfileWire::batchLimit) {
            const QList<SorvaneInboxRow> batch = rows.mid(start, SorvaneProfileWire::batchLimit);
            QList<QUuid> ids;
            for (const SorvaneInboxRow &row : batch)
                if (const auto id = StrictFormats::parseUuid(row.request.id))
                    ids.append(*id);
            const BridgeCommand command = BridgeCommand::profileParticipants(identity->credentials, ids, *operatorID);
            const QString tools = identity->repository.toLocalFile();
            const QByteArray answer = co_await m_bridge(command, tools, task);
            if (!self || !participantsCurrent(generation, *identity, *editor, task)) {
                wanted = false;
                break;
            }
            for (const auto &record : SorvaneProfileWire::participants(answer, batch))
                collected.insert(record.requestID, record);
        }
        if (wanted && self && participantsCurrent(generation, *identity, *editor, task))
            setParticipants(collected);
    } catch (...) {
        logFailure(lcProfiles, "loading the participants' profiles");
        if (self && participantsCurrent(generation, *identity, *editor, task))
            setParticipantsError(loc("Profile photos are unavailable. Tasks are still ready to use."));
    }
    if (self && m_participantsGeneration == generation)
        setLoadingParticipants(false);
}

std::optional<SorvaneRequestParticipants> SorvaneProfilesModel::people(const SorvaneInboxRow &row) const
{
    const auto id = StrictFormats::parseUuid(row.request.id);
    if (!id)
        return std::nullopt;
    const auto it = m_participants.constFind(*id);
    if (it == m_participants.constEnd() || !it->matches(row))
        return std::nullopt;
    return *it;
}
