// The inbox decoder as it was before it read the bytes itself: a strict
// parse into a QJsonDocument, then every rule on the tree. Kept here only as
// the reference the differential fuzz target compares SorvaneInboxWire with.
#include "inboxoracle.h"

#include "inbox/sorvaneinboxwire.h"

#include "foundation/decoding/strictformats.h"
#include "foundation/decoding/strictjson.h"
#include "foundation/errors.h"
#include "foundation/localization.h"

#include <QCborMap>
#include <QCborValue>
#include <QJsonArray>
#include <QSet>
#include <algorithm>
#include <array>
#include <cmath>

namespace InboxOracle {
namespace {

using SorvaneInboxWire::answerLimit;
using SorvaneInboxWire::pageLimit;
using SorvaneInboxWire::verifyMessage;

bool uuid(const QJsonValue &value);
bool timestamp(const QJsonValue &value);
bool integer(const QJsonValue &value, qint64 minimum);

constexpr QStringView inboxKeys = u"schemaVersion operatorID serverTime items nextCursor nextRequestID nextItem";
constexpr QStringView mutationKeys = u"schemaVersion operatorID serverTime item replayed";

// The inner key sets as word lists: each member is looked up once, and that
// one lookup serves both the exact key-set check and reading the value.
constexpr std::array<QStringView, 2> cursorKeys{u"submitted_at", u"id"};
constexpr std::array<QStringView, 4> rowKeys{u"request", u"company", u"film", u"scheduling"};
constexpr std::array<QStringView, 15> requestKeys{
    u"id",           u"company_id",   u"local_project_id", u"backup_id",  u"source_fingerprint",
    u"title",        u"kind",         u"status",           u"revision",   u"submitted_by",
    u"submitted_at", u"claimed_by",   u"claimed_at",       u"latest_proposal_id", u"updated_at"};
constexpr std::array<QStringView, 5> companyKeys{u"id", u"name", u"contactName", u"metadataAccess",
                                                 u"canManageMetadata"};
constexpr std::array<QStringView, 7> pipelineFilmKeys{u"id",    u"title",     u"campaignID",   u"campaignTitle",
                                                      u"stage", u"requestID", u"serviceStatus"};
constexpr std::size_t filmKeyCount = 5; // a row's film: the first five of the pipeline film's keys
constexpr std::array<QStringView, 11> schedulingKeys{
    u"tier",       u"targetHours", u"policyVersion", u"round",     u"submissionMode", u"receivedAt",
    u"eligibleAt", u"dueAt",       u"startedAt",     u"blockedReason", u"canClaim"};

constexpr QStringView statusWords[] = {u"waiting", u"active", u"review", u"changes_requested", u"approved",
                                       u"cancelled"};

[[noreturn]] void refuse()
{
    throw BridgeError::failed(verifyMessage());
}

void require(bool condition)
{
    if (!condition)
        refuse();
}

// A key list in the order a parsed object keeps its members (sorted by key),
// each key with its place in the list, so that one walk over an object both
// checks its key set and reads its values: looking each key up costs several
// key comparisons per member, the walk one.
template<std::size_t N>
struct KeyOrder
{
    std::array<QCborValue, N> keys;
    std::array<std::size_t, N> places;
    std::size_t count;
};

template<std::size_t N>
KeyOrder<N> keyOrder(const std::array<QStringView, N> &keys, std::size_t count = N)
{
    KeyOrder<N> order;
    order.count = count;
    std::array<std::size_t, N> places;
    for (std::size_t i = 0; i < N; ++i)
        places[i] = i;
    std::sort(places.begin(), places.begin() + std::ptrdiff_t(count),
              [&](std::size_t a, std::size_t b) { return keys[a] < keys[b]; });
    for (std::size_t i = 0; i < count; ++i) {
        order.places[i] = places[i];
        order.keys[i] = QCborValue(keys[places[i]].toString());
    }
    return order;
}

const auto cursorOrder = keyOrder(cursorKeys);
const auto rowOrder = keyOrder(rowKeys);
const auto requestOrder = keyOrder(requestKeys);
const auto companyOrder = keyOrder(companyKeys);
const auto pipelineFilmOrder = keyOrder(pipelineFilmKeys);
const auto rowFilmOrder = keyOrder(pipelineFilmKeys, filmKeyCount);
const auto schedulingOrder = keyOrder(schedulingKeys);

// The members of an object whose key set is exactly the keys of `order`, at
// their places in its list. Null members are present; a missing one is not.
template<std::size_t N>
std::array<QJsonValue, N> members(const QJsonValue &value, const KeyOrder<N> &order)
{
    require(value.isObject());
    const QJsonObject object = value.toObject();
    // No more members than keys and each listed key at its place in the
    // order: the sets are equal.
    require(object.size() == qsizetype(order.count));
    // The map shares the object's storage; it only gives the keys without
    // copying each into a string.
    const QCborMap keys = QCborMap::fromJsonObject(object);
    std::array<QJsonValue, N> result;
    auto member = object.constBegin();
    auto key = keys.constBegin();
    for (std::size_t i = 0; i < order.count; ++i, ++member, ++key) {
        require(key.key() == order.keys[i]);
        result[order.places[i]] = member.value();
    }
    return result;
}

// The word rule: the text, or none. A value that is not a text reads as the
// empty text, which no list holds.
template<std::size_t N>
std::optional<QString> wordOf(const QJsonValue &value, const QStringView (&words)[N])
{
    if (!value.isString())
        return std::nullopt;
    QString text = value.toString();
    for (QStringView candidate : words)
        if (text == candidate)
            return text;
    return std::nullopt;
}

// The word rule over the raw values of an enumeration.
template<class FromRaw>
auto enumerationOf(const QJsonValue &value, FromRaw &&fromRaw) -> decltype(fromRaw(QString()))
{
    if (!value.isString())
        return std::nullopt;
    return fromRaw(value.toString());
}

std::optional<QUuid> uuidValue(const QJsonValue &value)
{
    if (!value.isString())
        return std::nullopt;
    return StrictFormats::parseUuid(value.toString());
}

std::optional<QString> textOf(const QJsonValue &value, qsizetype limit, bool empty = false)
{
    if (!value.isString())
        return std::nullopt;
    QString string = value.toString();
    if (string.size() > limit || string.contains(QChar(0)))
        return std::nullopt;
    if (!empty && QStringView(string).trimmed().isEmpty())
        return std::nullopt;
    return string;
}

std::optional<QString> timestampOf(const QJsonValue &value)
{
    if (!value.isString())
        return std::nullopt;
    QString string = value.toString();
    if (!StrictFormats::isInternetDateTime(string))
        return std::nullopt;
    return string;
}

// Checked members, typed. A nullable member is none for null and must pass
// its rule otherwise.
template<class T>
T checked(std::optional<T> value)
{
    require(value.has_value());
    return std::move(*value);
}

template<class Read>
auto nullable(const QJsonValue &value, Read &&read) -> decltype(read(value))
{
    if (value.isNull())
        return std::nullopt;
    auto result = read(value);
    require(result.has_value());
    return result;
}

QString uuidText(const QJsonValue &value, QUuid *parsed = nullptr)
{
    // Kept as received (case and all); the parse only proves the form.
    require(value.isString());
    QString text = value.toString();
    const auto uuid = StrictFormats::parseUuid(text);
    require(uuid.has_value());
    if (parsed)
        *parsed = *uuid;
    return text;
}

std::optional<QString> nullableUuidText(const QJsonValue &value)
{
    if (value.isNull())
        return std::nullopt;
    return uuidText(value);
}

bool fingerprint(const QString &text)
{
    if (text.size() != 64)
        return false;
    for (QChar c : text)
        if (!((c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f')))
            return false;
    return true;
}

// A value that passes every rule yet does not fit its record (an integer
// beyond 64 bits) fails in decoding, and decoding comes after the checks: the
// first such failure is held until every check of the answer has passed, so
// a refusal anywhere still wins over it.
class Decoding
{
public:
    // The integer of a value that passed the integer rule; `path()` names
    // it, built only when the value fails.
    template<class Path>
    qint64 integer(const QJsonValue &value, Path &&path)
    {
        const double number = value.toDouble();
        constexpr double exact = 9007199254740992.0; // 2^53: below it a double is an exact integer
        if (std::fabs(number) < exact)
            return qint64(number);
        // Larger ones as the record decoder reads them: exact 64-bit literals
        // pass, anything else is out of range.
        try {
            return JsonValueReader(value, path()).integer();
        } catch (const DecodingError &error) {
            if (!m_failure)
                m_failure = error;
            return 0;
        }
    }

    void finish() const
    {
        if (m_failure)
            throw *m_failure;
    }

private:
    std::optional<DecodingError> m_failure;
};

// The rules of one film; the row's film has the first five members only.
SorvanePipelineFilm checkedFilm(const QJsonValue &value, bool pipeline)
{
    const auto m = members(value, pipeline ? pipelineFilmOrder : rowFilmOrder);
    SorvanePipelineFilm film;
    film.id = checked(uuidValue(m[0]));
    film.title = checked(textOf(m[1], 1000));
    film.campaignID = nullable(m[2], uuidValue);
    film.campaignTitle = nullable(m[3], [](const QJsonValue &v) { return textOf(v, 1000); });
    film.stage = nullable(m[4], [](const QJsonValue &v) { return textOf(v, 80); });
    require(film.campaignID.has_value() == film.campaignTitle.has_value());
    if (pipeline) {
        film.requestID = nullable(m[5], uuidValue);
        film.serviceStatus = nullable(m[6], [](const QJsonValue &v) { return wordOf(v, statusWords); });
        require(film.requestID.has_value() == film.serviceStatus.has_value());
    }
    return film;
}

SorvaneCompanySummary checkedCompany(const QJsonValue &value)
{
    const auto m = members(value, companyOrder);
    SorvaneCompanySummary company;
    company.id = checked(uuidValue(m[0]));
    company.name = checked(textOf(m[1], 500));
    company.contactName = nullable(m[2], [](const QJsonValue &v) { return textOf(v, 200); });
    company.metadataAccess = checked(enumerationOf(m[3], SorvaneCompanySummary::metadataAccessFromRaw));
    require(m[4].isBool());
    company.canManageMetadata = m[4].toBool();
    return company;
}

// Every rule of one row, and the row built from the values they checked.
// `path` names the row for a decoding failure ("items[3]").
template<class Path>
SorvaneInboxRow checkedRow(const QJsonValue &value, Decoding &decoding, Path &&path)
{
    const auto parts = members(value, rowOrder);
    const auto r = members(parts[0], requestOrder);
    SorvaneInboxRow row;
    row.company = checkedCompany(parts[1]);
    const SorvanePipelineFilm film = checkedFilm(parts[2], false);
    row.film = SorvaneFilmSummary{film.id, film.title, film.campaignID, film.campaignTitle, film.stage};

    ServiceReceipt &request = row.request;
    QUuid companyID, projectID;
    request.id = uuidText(r[0]);
    request.company_id = uuidText(r[1], &companyID);
    request.local_project_id = uuidText(r[2], &projectID);
    request.backup_id = uuidText(r[3]);
    request.submitted_by = uuidText(r[9]);
    request.claimed_by = nullableUuidText(r[11]);
    request.latest_proposal_id = nullableUuidText(r[13]);
    require(integer(r[8], 0));
    request.title = checked(textOf(r[5], 1000));
    request.status = checked(wordOf(r[7], statusWords));
    // Exactly the three raw values of a task kind.
    request.kind = checked(enumerationOf(r[6], serviceKindFromRaw));
    require(r[4].isString());
    request.source_fingerprint = r[4].toString();
    require(fingerprint(request.source_fingerprint));
    request.submitted_at = checked(timestampOf(r[10]));
    request.updated_at = checked(timestampOf(r[14]));
    request.claimed_at = nullable(r[12], timestampOf);
    // Compared as UUID values: letter case never matters.
    require(companyID == row.company.id);
    require(projectID == row.film.id);

    const auto s = members(parts[3], schedulingOrder);
    SorvaneScheduling &scheduling = row.scheduling;
    scheduling.tier = checked(enumerationOf(s[0], SorvaneScheduling::tierFromRaw));
    scheduling.targetHours = SorvaneScheduling::targetHoursOf(scheduling.tier);
    require(integer(s[1], 1) && s[1].toDouble() == double(scheduling.targetHours));
    require(integer(s[2], 1) && s[2].toDouble() == 1.0);
    scheduling.policyVersion = 1;
    require(integer(s[3], 1));
    scheduling.submissionMode = checked(enumerationOf(s[4], SorvaneScheduling::submissionModeFromRaw));
    scheduling.receivedAt = checked(timestampOf(s[5]));
    scheduling.eligibleAt = nullable(s[6], timestampOf);
    scheduling.dueAt = nullable(s[7], timestampOf);
    scheduling.startedAt = nullable(s[8], timestampOf);
    scheduling.blockedReason = nullable(s[9], [](const QJsonValue &v) {
        return enumerationOf(v, SorvaneScheduling::blockedReasonFromRaw);
    });
    require(s[10].isBool());
    scheduling.canClaim = s[10].toBool();
    if (scheduling.canClaim)
        require(request.status.is(ServiceStatus::waiting) && !scheduling.blockedReason);

    // Last: only a row that passed every rule gets this far.
    request.revision = decoding.integer(r[8], [&] { return path() + QStringLiteral(".request.revision"); });
    scheduling.round = decoding.integer(s[3], [&] { return path() + QStringLiteral(".scheduling.round"); });
    return row;
}

QJsonValue parseDocument(const QByteArray &bytes)
{
    // Two equal keys would let Qt keep one silently and slip past the exact
    // key-set check, so such output is refused as malformed.
    return StrictJson::parse(bytes, JsonParseOptions{.refuseDuplicateKeys = true});
}

// The schema version, operator and server time that the envelope checked.
template<class Page>
void readEnvelope(Page &page, const QJsonObject &top)
{
    page.schemaVersion = top.value(u"schemaVersion").toInteger();
    page.operatorID = checked(uuidValue(top.value(u"operatorID")));
    page.serverTime = checked(timestampOf(top.value(u"serverTime")));
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

bool integer(const QJsonValue &value, qint64 minimum)
{
    // QJsonValue keeps Booleans apart from numbers: isDouble() is false for them.
    if (!value.isDouble())
        return false;
    const double number = value.toDouble();
    return std::isfinite(number) && number == std::round(number) && number >= double(minimum);
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

} // namespace

SorvaneInboxPage inbox(const QByteArray &bytes, const std::optional<QUuid> &expectedOperatorID)
{
    return inboxPage(envelope(bytes, inboxKeys, expectedOperatorID));
}

SorvaneInboxPage inboxPage(const QJsonObject &top, qsizetype rowLimit)
{
    const QJsonValue items = top.value(u"items");
    require(items.isArray());
    const QJsonArray rows = items.toArray();
    require(rows.size() <= rowLimit);
    const QJsonValue nextRequestValue = top.value(u"nextRequestID");
    require(nextRequestValue.isNull() || uuid(nextRequestValue));

    SorvaneInboxPage page;
    Decoding decoding;
    page.items.reserve(rows.size());
    for (qsizetype i = 0; i < rows.size(); ++i)
        page.items.append(checkedRow(rows.at(i), decoding, [i] { return StrictJson::elementPath(QStringLiteral("items"), i); }));
    const QJsonValue nextCursor = top.value(u"nextCursor");
    if (!nextCursor.isNull()) {
        const auto cursor = members(nextCursor, cursorOrder);
        QString submittedAt = checked(timestampOf(cursor[0]));
        const QUuid id = checked(uuidValue(cursor[1]));
        require(!rows.isEmpty());
        page.nextCursor = SorvaneInboxCursor{std::move(submittedAt), id};
    }
    const QJsonValue nextItem = top.value(u"nextItem");
    if (!nextItem.isNull())
        page.nextItem = checkedRow(nextItem, decoding, [] { return QStringLiteral("nextItem"); });
    decoding.finish();

    readEnvelope(page, top);
    page.nextRequestID = uuidValue(nextRequestValue);

    // Lower-cased UUID texts are equal exactly when their UUID values are.
    QSet<QUuid> ids;
    ids.reserve(page.items.size());
    for (const SorvaneInboxRow &row : std::as_const(page.items)) {
        const QUuid id = *StrictFormats::parseUuid(row.request.id);
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

SorvaneMutationResult mutation(const QByteArray &bytes, const QUuid &expectedOperatorID)
{
    const QJsonObject top = envelope(bytes, mutationKeys, expectedOperatorID);
    const QJsonValue replayed = top.value(u"replayed");
    require(replayed.isBool());
    SorvaneMutationResult result;
    Decoding decoding;
    const QJsonValue row = top.value(u"item");
    if (!row.isNull())
        result.item = checkedRow(row, decoding, [] { return QStringLiteral("item"); });
    decoding.finish();
    readEnvelope(result, top);
    result.replayed = replayed.toBool();
    return result;
}

} // namespace InboxOracle
