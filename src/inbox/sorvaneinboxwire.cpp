#include "inbox/sorvaneinboxwire.h"

#include "foundation/decoding/strictformats.h"
#include "foundation/decoding/strictjson.h"
#include "foundation/errors.h"
#include "foundation/localization.h"

#include <QJsonArray>
#include <QSet>
#include <cmath>

namespace SorvaneInboxWire {
namespace {

constexpr QStringView inboxKeys = u"schemaVersion operatorID serverTime items nextCursor nextRequestID nextItem";
constexpr QStringView cursorKeys = u"submitted_at id";
constexpr QStringView pipelineKeys = u"schemaVersion operatorID serverTime company films nextCursor";
constexpr QStringView mutationKeys = u"schemaVersion operatorID serverTime item replayed";
constexpr QStringView metadataKeys = u"schemaVersion companyID revision allowPipeline contactName";
constexpr QStringView rowKeys = u"request company film scheduling";
constexpr QStringView requestKeys = u"id company_id local_project_id backup_id source_fingerprint title kind status "
                                    u"revision submitted_by submitted_at claimed_by claimed_at latest_proposal_id "
                                    u"updated_at";
constexpr QStringView companyKeys = u"id name contactName metadataAccess canManageMetadata";
constexpr QStringView filmKeys = u"id title campaignID campaignTitle stage";
constexpr QStringView pipelineFilmKeys = u"id title campaignID campaignTitle stage requestID serviceStatus";
constexpr QStringView schedulingKeys = u"tier targetHours policyVersion round submissionMode receivedAt eligibleAt "
                                       u"dueAt startedAt blockedReason canClaim";

constexpr QStringView statusWords[] = {u"waiting", u"active", u"review", u"changes_requested", u"approved",
                                       u"cancelled"};
constexpr QStringView kindWords[] = {u"filmEditing", u"conceptDevelopment", u"scriptDevelopment"};
constexpr QStringView accessWords[] = {u"limited", u"granted"};
constexpr QStringView submissionWords[] = {u"unspecified", u"free_capture", u"interview",
                                           u"scripted",    u"archive",      u"revision"};
constexpr QStringView blockedWords[] = {u"active_film", u"earlier_film", u"service_paused", u"not_waiting",
                                        u"editor_busy"};

[[noreturn]] void refuse()
{
    throw BridgeError::failed(verifyMessage());
}

void require(bool condition)
{
    if (!condition)
        refuse();
}

template<std::size_t N>
bool word(const QJsonValue &value, const QStringView (&words)[N])
{
    // A value that is not a text reads as the empty text, which no list holds.
    if (!value.isString())
        return false;
    const QString text = value.toString();
    for (QStringView candidate : words)
        if (text == candidate)
            return true;
    return false;
}

bool boolean(const QJsonValue &value)
{
    return value.isBool();
}

template<class Rule>
bool nullable(const QJsonValue &value, Rule &&rule)
{
    return value.isNull() || rule(value);
}

std::optional<QUuid> uuidValue(const QJsonValue &value)
{
    if (!value.isString())
        return std::nullopt;
    return StrictFormats::parseUuid(value.toString());
}

bool fingerprint(const QJsonValue &value)
{
    if (!value.isString())
        return false;
    const QString text = value.toString();
    if (text.size() != 64)
        return false;
    for (QChar c : text)
        if (!((c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f')))
            return false;
    return true;
}

// Runs the record decoder and lets its DecodingError through unchanged.
template<class Record>
Record decode(const QJsonObject &object)
{
    return Record::fromJson(JsonObjectReader(object));
}

QJsonValue parseDocument(const QByteArray &bytes)
{
    // Two equal keys would let Qt keep one silently and slip past the exact
    // key-set check, so such output is refused as malformed.
    return StrictJson::parse(bytes, JsonParseOptions{.refuseDuplicateKeys = true});
}

} // namespace

QString verifyMessage()
{
    return loc("Could not verify the sorvane inbox. Refresh it.");
}

QJsonObject object(const QJsonValue &value, QStringView keys)
{
    require(value.isObject());
    QJsonObject result = value.toObject();
    qsizetype words = 0;
    for (QStringView key : keys.tokenize(u' ', Qt::SkipEmptyParts)) {
        require(result.contains(key));
        ++words;
    }
    // Every listed key is present; equal sizes leave no room for an extra one
    // (the key lists hold no word twice).
    require(result.size() == words);
    return result;
}

bool uuid(const QJsonValue &value)
{
    return uuidValue(value).has_value();
}

bool timestamp(const QJsonValue &value)
{
    return value.isString() && StrictFormats::isInternetDateTime(value.toString());
}

bool text(const QJsonValue &value, qsizetype limit, bool empty)
{
    if (!value.isString())
        return false;
    const QString string = value.toString();
    if (string.size() > limit || string.contains(QChar(0)))
        return false;
    return empty || !QStringView(string).trimmed().isEmpty();
}

bool integer(const QJsonValue &value, qint64 minimum)
{
    // QJsonValue keeps Booleans apart from numbers: isDouble() is false for them.
    if (!value.isDouble())
        return false;
    const double number = value.toDouble();
    return std::isfinite(number) && number == std::round(number) && number >= double(minimum);
}

QJsonObject company(const QJsonValue &value)
{
    QJsonObject company = object(value, companyKeys);
    require(uuid(company.value(u"id")));
    require(text(company.value(u"name"), 500));
    require(nullable(company.value(u"contactName"), [](const QJsonValue &v) { return text(v, 200); }));
    require(word(company.value(u"metadataAccess"), accessWords));
    require(boolean(company.value(u"canManageMetadata")));
    return company;
}

QJsonObject film(const QJsonValue &value, bool pipeline)
{
    QJsonObject film = object(value, pipeline ? pipelineFilmKeys : filmKeys);
    require(uuid(film.value(u"id")));
    require(text(film.value(u"title"), 1000));
    const QJsonValue campaignID = film.value(u"campaignID");
    const QJsonValue campaignTitle = film.value(u"campaignTitle");
    require(nullable(campaignID, uuid));
    require(nullable(campaignTitle, [](const QJsonValue &v) { return text(v, 1000); }));
    require(nullable(film.value(u"stage"), [](const QJsonValue &v) { return text(v, 80); }));
    require(campaignID.isNull() == campaignTitle.isNull());
    if (pipeline) {
        const QJsonValue requestID = film.value(u"requestID");
        const QJsonValue serviceStatus = film.value(u"serviceStatus");
        require(nullable(requestID, uuid));
        require(nullable(serviceStatus, [](const QJsonValue &v) { return word(v, statusWords); }));
        require(requestID.isNull() == serviceStatus.isNull());
    }
    return film;
}

void item(const QJsonValue &value)
{
    const QJsonObject row = object(value, rowKeys);
    const QJsonObject request = object(row.value(u"request"), requestKeys);
    const QJsonObject companyObject = company(row.value(u"company"));
    const QJsonObject filmObject = film(row.value(u"film"), false);

    for (QStringView key : {u"id", u"company_id", u"local_project_id", u"backup_id", u"submitted_by"})
        require(uuid(request.value(key)));
    require(nullable(request.value(u"claimed_by"), uuid));
    require(nullable(request.value(u"latest_proposal_id"), uuid));
    require(integer(request.value(u"revision"), 0));
    require(text(request.value(u"title"), 1000));
    const QJsonValue status = request.value(u"status");
    require(word(status, statusWords));
    require(word(request.value(u"kind"), kindWords));
    require(fingerprint(request.value(u"source_fingerprint")));
    require(timestamp(request.value(u"submitted_at")));
    require(timestamp(request.value(u"updated_at")));
    require(nullable(request.value(u"claimed_at"), timestamp));
    // Compared as UUID values: letter case never matters.
    require(uuidValue(request.value(u"company_id")) == uuidValue(companyObject.value(u"id")));
    require(uuidValue(request.value(u"local_project_id")) == uuidValue(filmObject.value(u"id")));

    const QJsonObject scheduling = object(row.value(u"scheduling"), schedulingKeys);
    const QJsonValue tier = scheduling.value(u"tier");
    const auto tierValue = tier.isString() ? SorvaneScheduling::tierFromRaw(tier.toString()) : std::nullopt;
    require(tierValue.has_value());
    const QJsonValue targetHours = scheduling.value(u"targetHours");
    require(integer(targetHours, 1) && targetHours.toDouble() == double(SorvaneScheduling::targetHoursOf(*tierValue)));
    const QJsonValue policyVersion = scheduling.value(u"policyVersion");
    require(integer(policyVersion, 1) && policyVersion.toDouble() == 1.0);
    require(integer(scheduling.value(u"round"), 1));
    require(word(scheduling.value(u"submissionMode"), submissionWords));
    require(timestamp(scheduling.value(u"receivedAt")));
    for (QStringView key : {u"eligibleAt", u"dueAt", u"startedAt"})
        require(nullable(scheduling.value(key), timestamp));
    const QJsonValue blockedReason = scheduling.value(u"blockedReason");
    require(nullable(blockedReason, [](const QJsonValue &v) { return word(v, blockedWords); }));
    const QJsonValue canClaim = scheduling.value(u"canClaim");
    require(boolean(canClaim));
    if (canClaim.toBool())
        require(status.toString() == u"waiting" && blockedReason.isNull());
}

QJsonObject envelope(const QByteArray &bytes, QStringView keys, const std::optional<QUuid> &expectedOperatorID)
{
    require(bytes.size() <= answerLimit);
    const QJsonObject top = object(parseDocument(bytes), keys);
    const QJsonValue schemaVersion = top.value(u"schemaVersion");
    require(integer(schemaVersion, 0) && schemaVersion.toDouble() == 2.0);
    const auto operatorID = uuidValue(top.value(u"operatorID"));
    require(operatorID.has_value());
    require(timestamp(top.value(u"serverTime")));
    if (expectedOperatorID)
        require(*operatorID == *expectedOperatorID);
    return top;
}

SorvaneInboxPage inbox(const QByteArray &bytes, const std::optional<QUuid> &expectedOperatorID)
{
    const QJsonObject top = envelope(bytes, inboxKeys, expectedOperatorID);
    const QJsonValue items = top.value(u"items");
    require(items.isArray());
    const QJsonArray rows = items.toArray();
    require(rows.size() <= pageLimit);
    require(nullable(top.value(u"nextRequestID"), uuid));
    for (const QJsonValue &row : rows)
        item(row);
    const QJsonValue nextCursor = top.value(u"nextCursor");
    if (!nextCursor.isNull()) {
        const QJsonObject cursor = object(nextCursor, cursorKeys);
        require(timestamp(cursor.value(u"submitted_at")));
        require(uuid(cursor.value(u"id")));
        require(!rows.isEmpty());
    }
    const QJsonValue nextItem = top.value(u"nextItem");
    if (!nextItem.isNull())
        item(nextItem);

    SorvaneInboxPage page = decode<SorvaneInboxPage>(top);

    QSet<QString> ids;
    ids.reserve(page.items.size());
    for (const SorvaneInboxRow &row : std::as_const(page.items)) {
        const QString id = row.request.id.toLower();
        require(!ids.contains(id));
        ids.insert(id);
    }
    const std::optional<QUuid> nextItemID =
        page.nextItem ? StrictFormats::parseUuid(page.nextItem->request.id) : std::nullopt;
    require(page.nextRequestID == nextItemID);
    if (page.nextItem) {
        require(page.nextItem->request.kind == ServiceKind::filmEditing);
        require(page.nextItem->scheduling.canClaim || page.nextItem->canStart(page.operatorID));
    }
    if (page.nextCursor) {
        require(!page.items.isEmpty());
        const ServiceReceipt &last = page.items.constLast().request;
        require(StrictFormats::parseUuid(last.id) == std::optional<QUuid>(page.nextCursor->id));
        require(page.nextCursor->submittedAt == last.submitted_at);
    }
    return page;
}

SorvanePipelinePage pipeline(const QByteArray &bytes, const QUuid &companyID, const QUuid &expectedOperatorID)
{
    const QJsonObject top = envelope(bytes, pipelineKeys, expectedOperatorID);
    const QJsonObject companyObject = company(top.value(u"company"));
    require(uuidValue(companyObject.value(u"id")) == std::optional<QUuid>(companyID));
    const QJsonValue films = top.value(u"films");
    require(films.isArray());
    const QJsonArray list = films.toArray();
    require(list.size() <= pageLimit);
    require(nullable(top.value(u"nextCursor"), uuid));
    for (const QJsonValue &entry : list)
        film(entry, true);

    SorvanePipelinePage page = decode<SorvanePipelinePage>(top);

    QSet<QUuid> ids;
    for (const SorvanePipelineFilm &entry : std::as_const(page.films)) {
        require(!ids.contains(entry.id));
        ids.insert(entry.id);
    }
    if (page.nextCursor) {
        require(!page.films.isEmpty());
        require(*page.nextCursor == page.films.constLast().id);
    }
    return page;
}

SorvaneMutationResult mutation(const QByteArray &bytes, const QUuid &expectedOperatorID)
{
    const QJsonObject top = envelope(bytes, mutationKeys, expectedOperatorID);
    require(boolean(top.value(u"replayed")));
    const QJsonValue row = top.value(u"item");
    if (!row.isNull())
        item(row);
    return decode<SorvaneMutationResult>(top);
}

SorvaneMetadataSettings metadata(const QByteArray &bytes, const QUuid &companyID)
{
    require(bytes.size() <= metadataLimit);
    const QJsonObject top = object(parseDocument(bytes), metadataKeys);
    const QJsonValue schemaVersion = top.value(u"schemaVersion");
    require(integer(schemaVersion, 0) && schemaVersion.toDouble() == 2.0);
    require(uuidValue(top.value(u"companyID")) == std::optional<QUuid>(companyID));
    require(integer(top.value(u"revision"), 0));
    require(nullable(top.value(u"contactName"), [](const QJsonValue &v) { return text(v, 200); }));
    require(boolean(top.value(u"allowPipeline")));
    return decode<SorvaneMetadataSettings>(top);
}

} // namespace SorvaneInboxWire
