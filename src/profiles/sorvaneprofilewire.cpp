#include "sorvaneprofilewire.h"

#include "profiles/sorvaneprofilephoto.h"

#include "foundation/decoding/strictformats.h"
#include "foundation/decoding/strictjson.h"
#include "foundation/errors.h"
#include "foundation/localization.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QSet>

namespace {

[[noreturn]] void refuse()
{
    throw BridgeError::failed(SorvaneProfileWire::verifyMessage());
}

QJsonObject object(const QJsonValue &value, std::initializer_list<const char *> keys)
{
    if (!value.isObject())
        refuse();
    const QJsonObject result = value.toObject();
    if (result.size() != qsizetype(keys.size()))
        refuse();
    for (const char *key : keys)
        if (!result.contains(QLatin1StringView(key)))
            refuse();
    return result;
}

void schema(const QJsonObject &top)
{
    const QJsonValue version = top.value(QLatin1StringView("schemaVersion"));
    // QJsonValue keeps Booleans apart from numbers.
    if (!version.isDouble() || version.toDouble() != 1.0)
        refuse();
}

void profile(const QJsonValue &value)
{
    const QJsonObject person = object(value, {"userID", "displayName", "avatarJPEGBase64", "updatedAt"});
    const QJsonValue userID = person.value(QLatin1StringView("userID"));
    if (!userID.isString() || !StrictFormats::parseUuid(userID.toString()))
        refuse();

    const QJsonValue name = person.value(QLatin1StringView("displayName"));
    if (!name.isNull() && (!name.isString() || !SorvaneProfileNames::isValid(name.toString(), false)))
        refuse();

    const QJsonValue photo = person.value(QLatin1StringView("avatarJPEGBase64"));
    if (!photo.isNull()) {
        if (!photo.isString())
            refuse();
        const QString text = photo.toString();
        // Every UTF-16 unit is at least one UTF-8 byte: the cheap test first.
        if (text.size() > SorvaneProfileWire::photoTextLimit
            || text.toUtf8().size() > SorvaneProfileWire::photoTextLimit)
            refuse();
        const auto bytes = StrictFormats::parseBase64(text);
        if (!bytes || !SorvaneProfilePhoto::isValidJPEG(*bytes))
            refuse();
    }

    const QJsonValue updated = person.value(QLatin1StringView("updatedAt"));
    if (!updated.isNull() && (!updated.isString() || !StrictFormats::isInternetDateTime(updated.toString())))
        refuse();
}

std::optional<QString> optionalText(const QJsonObject &object, const char *key)
{
    const QJsonValue value = object.value(QLatin1StringView(key));
    if (value.isString())
        return value.toString();
    return std::nullopt;
}

// Decodes a person-profile object that profile() has checked.
SorvanePersonProfile decodePerson(const QJsonObject &object)
{
    SorvanePersonProfile person;
    person.userID = *StrictFormats::parseUuid(object.value(QLatin1StringView("userID")).toString());
    person.displayName = optionalText(object, "displayName");
    person.avatarJPEGBase64 = optionalText(object, "avatarJPEGBase64");
    person.updatedAt = optionalText(object, "updatedAt");
    return person;
}

} // namespace

QString SorvaneProfileWire::verifyMessage()
{
    return loc("The profiles could not be verified. Try again.");
}

SorvanePersonProfile SorvaneProfileWire::own(const QByteArray &bytes, const std::optional<QUuid> &expectedUserID)
{
    if (bytes.size() > ownLimit)
        refuse();
    const QJsonObject top = object(StrictJson::parse(bytes), {"schemaVersion", "profile"});
    schema(top);
    const QJsonValue person = top.value(QLatin1StringView("profile"));
    profile(person);
    SorvanePersonProfile result = decodePerson(person.toObject());
    if (expectedUserID && *expectedUserID != result.userID)
        refuse();
    return result;
}

QList<SorvaneRequestParticipants> SorvaneProfileWire::participants(const QByteArray &bytes,
                                                                   const QList<SorvaneInboxRow> &rows)
{
    if (bytes.size() > participantsLimit)
        refuse();
    if (rows.isEmpty() || rows.size() > batchLimit)
        refuse();
    const QJsonObject top = object(StrictJson::parse(bytes), {"schemaVersion", "items"});
    schema(top);
    const QJsonValue itemsValue = top.value(QLatin1StringView("items"));
    if (!itemsValue.isArray())
        refuse();
    const QJsonArray items = itemsValue.toArray();
    if (items.size() != rows.size())
        refuse();

    QList<SorvaneRequestParticipants> result;
    result.reserve(items.size());
    for (const QJsonValue &element : items) {
        const QJsonObject item = object(element, {"requestID", "customer", "instructor"});
        profile(item.value(QLatin1StringView("customer")));
        const QJsonValue instructor = item.value(QLatin1StringView("instructor"));
        if (!instructor.isNull())
            profile(instructor);
        const QJsonValue requestID = item.value(QLatin1StringView("requestID"));
        const auto id = requestID.isString() ? StrictFormats::parseUuid(requestID.toString()) : std::nullopt;
        if (!id)
            refuse();
        SorvaneRequestParticipants record;
        record.requestID = *id;
        record.customer = decodePerson(item.value(QLatin1StringView("customer")).toObject());
        if (!instructor.isNull())
            record.instructor = decodePerson(instructor.toObject());
        result.append(std::move(record));
    }

    QSet<QUuid> answered;
    for (const auto &record : result)
        answered.insert(record.requestID);
    if (answered.size() != result.size())
        refuse();
    QSet<QUuid> asked;
    for (const SorvaneInboxRow &row : rows)
        if (const auto id = StrictFormats::parseUuid(row.request.id))
            asked.insert(*id);
    if (answered != asked)
        refuse();
    for (const auto &record : result) {
        const bool matched = std::any_of(rows.begin(), rows.end(),
                                         [&](const SorvaneInboxRow &row) { return record.matches(row); });
        if (!matched)
            refuse();
    }
    return result;
}
