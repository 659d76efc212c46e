#include "inbox/sorvanependingclaim.h"

#include "foundation/decoding/strictformats.h"
#include "foundation/settingsstore.h"
#include "inbox/sorvaneinboxwire.h"

#include <QCryptographicHash>

QString SorvanePendingClaim::key(const ServiceIdentity &identity, const QUuid &operatorID)
{
    const QString text = identity.credentials.toString(QUrl::FullyEncoded) + u'\n'
        + identity.repository.path(QUrl::FullyDecoded) + u'\n' + identity.connectionIdentity + u'\n'
        + operatorID.toString(QUuid::WithoutBraces).toLower();
    const QByteArray digest = QCryptographicHash::hash(text.toUtf8(), QCryptographicHash::Sha256);
    return QLatin1StringView(keyPrefix) + QString::fromLatin1(digest.toHex());
}

std::optional<QUuid> SorvanePendingClaim::read(const SettingsStore &store, const QString &key)
{
    const QVariant value = store.value(key);
    if (!value.isValid())
        return std::nullopt;
    return StrictFormats::parseUuid(value.toString());
}

void SorvanePendingClaim::write(SettingsStore &store, const QString &key, const QUuid &commandID)
{
    store.setValue(key, commandID.toString(QUuid::WithoutBraces).toUpper());
}

void SorvanePendingClaim::remove(SettingsStore &store, const QString &key)
{
    store.remove(key);
}

QUuid SorvanePendingClaim::begin(SettingsStore &store, const QString &key)
{
    const QUuid commandID = read(store, key).value_or(QUuid::createUuid());
    write(store, key, commandID);
    return commandID;
}

SorvaneMutationResult SorvanePendingClaim::confirm(SettingsStore &store, const QString &key, const QByteArray &answer,
                                                   const QUuid &expectedOperatorID)
{
    SorvaneMutationResult result = SorvaneInboxWire::mutation(answer, expectedOperatorID);
    remove(store, key);
    return result;
}
