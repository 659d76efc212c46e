#pragma once

#include "servicequeue/serviceidentity.h"

#include <QString>
#include <QUuid>
#include <optional>

class SettingsStore;
struct SorvaneMutationResult;

// The command id of a claim-next that the service has not yet confirmed, kept
// in the settings store per identity and operator so that a claim whose answer
// was lost is repeated with the same id, also after a restart.
class SorvanePendingClaim
{
public:
    static constexpr const char *keyPrefix = "editor.sorvaneInbox.claim.v1.";

    // "editor.sorvaneInbox.claim.v1." + the lower-case hex SHA-256 of the
    // credentials URL, the tools folder path, the connection identity and the
    // lower-case operator id, joined by line feeds. No random or time part.
    static QString key(const ServiceIdentity &identity, const QUuid &operatorID);

    // The stored id, or none when nothing (or no UUID) is stored.
    static std::optional<QUuid> read(const SettingsStore &store, const QString &key);
    static void write(SettingsStore &store, const QString &key, const QUuid &commandID);
    static void remove(SettingsStore &store, const QString &key);

    // Before a claim-next runs: the stored id, or a new one when there is none;
    // written back (in upper case) in either case.
    static QUuid begin(SettingsStore &store, const QString &key);

    // After a claim-next answer arrived: validates it for the operator and
    // only then removes the record. A refused answer throws and leaves the
    // record in place, so the next attempt repeats the same command id.
    static SorvaneMutationResult confirm(SettingsStore &store, const QString &key, const QByteArray &answer,
                                         const QUuid &expectedOperatorID);
};
