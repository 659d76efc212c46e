#include "inbox/sorvaneinboxwire.h"

#include "foundation/decoding/jsonreader.h"
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
#include <cstdint>
#include <limits>
#include <string_view>

namespace SorvaneInboxWire {
namespace {

constexpr QStringView pipelineKeys = u"schemaVersion operatorID serverTime company films nextCursor";
constexpr QStringView metadataKeys = u"schemaVersion companyID revision allowPipeline contactName";

// The inner key sets as word lists: each member is looked up once, and that
// one lookup serves both the exact key-set check and reading the value. The
// top levels read from the bytes start with the envelope's three keys.
using Keys = std::string_view;
constexpr std::array<Keys, 7> inboxTopKeys{"schemaVersion", "operatorID",    "serverTime", "items",
                                           "nextCursor",    "nextRequestID", "nextItem"};
constexpr std::array<Keys, 5> mutationTopKeys{"schemaVersion", "operatorID", "serverTime", "item", "replayed"};
constexpr std::array<Keys, 2> cursorKeys{"submitted_at", "id"};
constexpr std::array<Keys, 4> rowKeys{"request", "company", "film", "scheduling"};
constexpr std::array<Keys, 15> requestKeys{
    "id",           "company_id", "local_project_id", "backup_id",          "source_fingerprint",
    "title",        "kind",       "status",           "revision",           "submitted_by",
    "submitted_at", "claimed_by", "claimed_at",       "latest_proposal_id", "updated_at"};
constexpr std::array<Keys, 5> companyKeys{"id", "name", "contactName", "metadataAccess", "canManageMetadata"};
constexpr std::array<Keys, 7> pipelineFilmKeys{"id",    "title",     "campaignID",   "campaignTitle",
                                               "stage", "requestID", "serviceStatus"};
constexpr std::size_t filmKeyCount = 5; // a row's film: the first five of the pipeline film's keys
constexpr std::array<Keys, 11> schedulingKeys{
    "tier",       "targetHours", "policyVersion", "round",     "submissionMode", "receivedAt",
    "eligibleAt", "dueAt",       "startedAt",     "blockedReason", "canClaim"};

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
KeyOrder<N> keyOrder(const std::array<Keys, N> &keys, std::size_t count = N)
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
        order.keys[i] = QCborValue(QString::fromLatin1(keys[places[i]].data(), qsizetype(keys[places[i]].size())));
    }
    return order;
}

const auto companyOrder = keyOrder(companyKeys);
const auto pipelineFilmOrder = keyOrder(pipelineFilmKeys);
const auto rowFilmOrder = keyOrder(pipelineFilmKeys, filmKeyCount);

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

// The word rule over the raw values of an enumeration: a value that is not a
// text, or no raw value, reads as none.
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

// The text rule: at most `limit` UTF-16 units, no NUL, and not blank unless
// `empty` allows it.
bool textRule(const QString &string, qsizetype limit, bool empty)
{
    if (string.size() > limit || string.contains(QChar(0)))
        return false;
    return empty || !QStringView(string).trimmed().isEmpty();
}

std::optional<QString> textOf(const QJsonValue &value, qsizetype limit, bool empty = false)
{
    if (!value.isString())
        return std::nullopt;
    QString string = value.toString();
    if (!textRule(string, limit, empty))
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

bool fingerprint(const QString &text)
{
    if (text.size() != 64)
        return false;
    for (QChar c : text)
        if (!((c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f')))
            return false;
    return true;
}

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
        film.serviceStatus = nullable(m[6], [](const QJsonValue &v) -> std::optional<ServiceStatus> {
            if (const auto code = enumerationOf(v, ServiceStatus::codeFromRaw))
                return ServiceStatus(*code);
            return std::nullopt;
        });
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

QJsonValue parseDocument(const QByteArray &bytes)
{
    // Two equal keys would let Qt keep one silently and slip past the exact
    // key-set check, so such output is refused as malformed.
    return StrictJson::parse(bytes, JsonParseOptions{.refuseDuplicateKeys = true});
}

// Runs the record decoder and lets its DecodingError through unchanged.
template<class Record>
Record decode(const QJsonObject &object)
{
    return Record::fromJson(JsonObjectReader(object));
}

// ---- Inbox pages and claim answers, read straight from the bytes ----
//
// The same rules as above, applied while each value is read, so that no
// JSON tree is built for the largest answers. Members come in any order:
// each rule that needs two members runs once its object is read.

using Type = JsonReader::Type;

// An answer read by `read`. Whatever stops the reading, a document that is
// not sound JSON fails as such, as if it had been parsed first: the
// reader meets faults in the order of the bytes, a refusal may come first.
template<class Read>
auto fromBytes(const QByteArray &bytes, qsizetype byteLimit, Read &&read)
{
    require(bytes.size() <= byteLimit);
    try {
        JsonReader in(bytes);
        return read(in);
    } catch (...) {
        parseDocument(bytes);
        throw;
    }
}

// Reads an object whose key set is exactly the first `count` of `keys`,
// handing each member's place to `member`, which reads the value. A key not
// in the list, one met twice (a malformed document) or one missing refuses.
template<std::size_t N, class Member>
void readMembers(JsonReader &in, const std::array<Keys, N> &keys, Member &&member, std::size_t count = N)
{
    static_assert(N <= 32);
    require(in.peek() == Type::Object);
    in.beginObject();
    std::uint32_t seen = 0;
    std::string_view key;
    while (in.nextKey(key)) {
        std::size_t place = 0;
        while (place < count && keys[place] != key)
            ++place;
        require(place < count && (seen & (1u << place)) == 0);
        seen |= 1u << place;
        member(place);
    }
    require(seen == (std::uint32_t(1) << count) - 1);
}

bool readNull(JsonReader &in)
{
    if (in.peek() != Type::Null)
        return false;
    in.null();
    return true;
}

QString readString(JsonReader &in)
{
    require(in.peek() == Type::String);
    return in.string();
}

QString readText(JsonReader &in, qsizetype limit)
{
    QString text = readString(in);
    require(textRule(text, limit, false));
    return text;
}

std::optional<QString> readNullableText(JsonReader &in, qsizetype limit)
{
    if (readNull(in))
        return std::nullopt;
    return readText(in, limit);
}

QString readTimestamp(JsonReader &in)
{
    QString text = readString(in);
    require(StrictFormats::isInternetDateTime(text));
    return text;
}

std::optional<QString> readNullableTimestamp(JsonReader &in)
{
    if (readNull(in))
        return std::nullopt;
    return readTimestamp(in);
}

QUuid readUuid(JsonReader &in)
{
    return checked(StrictFormats::parseUuid(readString(in)));
}

// Kept as received (case and all); the parse only proves the form.
QString readUuidText(JsonReader &in, QUuid *parsed = nullptr)
{
    QString text = readString(in);
    const auto uuid = StrictFormats::parseUuid(text);
    require(uuid.has_value());
    if (parsed)
        *parsed = *uuid;
    return text;
}

std::optional<QString> readNullableUuidText(JsonReader &in)
{
    if (readNull(in))
        return std::nullopt;
    return readUuidText(in);
}

template<class FromRaw>
auto readEnumeration(JsonReader &in, FromRaw &&fromRaw)
{
    return checked(fromRaw(readString(in)));
}

bool readBoolean(JsonReader &in)
{
    require(in.peek() == Type::Boolean);
    return in.boolean();
}

// A number that passes the integer rule: integral and at least `minimum`.
JsonReader::Number readInteger(JsonReader &in, qint64 minimum)
{
    require(in.peek() == Type::Number);
    const JsonReader::Number number = in.number();
    require(std::isfinite(number.value) && number.value == std::round(number.value)
            && number.value >= double(minimum));
    return number;
}

// A value that passes every rule yet does not fit its record (an integer
// beyond 64 bits) fails in decoding, and decoding comes after the checks: the
// first such failure, in the order of the rows and not of the bytes, is held
// until every check of the answer has passed, so a refusal anywhere still
// wins over it.
class Decoding
{
public:
    // The integer of a number that passed the integer rule; `rank` orders
    // the failures, `path()` names the value, built only when it fails.
    template<class Path>
    qint64 integer(const JsonReader::Number &number, qint64 rank, Path &&path)
    {
        constexpr double exact = 9007199254740992.0; // 2^53: below it a double is an exact integer
        if (std::fabs(number.value) < exact)
            return qint64(number.value);
        // Larger ones as the record decoder reads them: exact 64-bit literals
        // pass, anything else is out of range.
        if (number.integer)
            return *number.integer;
        if (!m_failure || rank < m_rank) {
            m_failure = DecodingError(path(), QStringLiteral("integer out of range"));
            m_rank = rank;
        }
        return 0;
    }

    void finish() const
    {
        if (m_failure)
            throw *m_failure;
    }

private:
    std::optional<DecodingError> m_failure;
    qint64 m_rank = 0;
};

// The envelope's three members, the first three places of every top level.
template<class Page>
void readEnvelopeMember(JsonReader &in, std::size_t place, Page &page)
{
    switch (place) {
    case 0:
        require(readInteger(in, 0).value == 2.0);
        page.schemaVersion = 2;
        break;
    case 1: page.operatorID = readUuid(in); break;
    case 2: page.serverTime = readTimestamp(in); break;
    }
}

SorvaneCompanySummary readCompany(JsonReader &in)
{
    SorvaneCompanySummary company;
    readMembers(in, companyKeys, [&](std::size_t place) {
        switch (place) {
        case 0: company.id = readUuid(in); break;
        case 1: company.name = readText(in, 500); break;
        case 2: company.contactName = readNullableText(in, 200); break;
        case 3: company.metadataAccess = readEnumeration(in, SorvaneCompanySummary::metadataAccessFromRaw); break;
        case 4: company.canManageMetadata = readBoolean(in); break;
        }
    });
    return company;
}

SorvaneFilmSummary readFilm(JsonReader &in)
{
    SorvaneFilmSummary film;
    readMembers(
        in, pipelineFilmKeys,
        [&](std::size_t place) {
            switch (place) {
            case 0: film.id = readUuid(in); break;
            case 1: film.title = readText(in, 1000); break;
            case 2:
                if (!readNull(in))
                    film.campaignID = readUuid(in);
                break;
            case 3: film.campaignTitle = readNullableText(in, 1000); break;
            case 4: film.stage = readNullableText(in, 80); break;
            }
        },
        filmKeyCount);
    require(film.campaignID.has_value() == film.campaignTitle.has_value());
    return film;
}

// Every rule of one row, and the row built from the values they checked.
// `rank` places the row among the answer's rows (for the order of decoding
// failures); `path` names it ("items[3]").
template<class Path>
SorvaneInboxRow readRow(JsonReader &in, Decoding &decoding, qint64 rank, Path &&path)
{
    SorvaneInboxRow row;
    ServiceReceipt &request = row.request;
    SorvaneScheduling &scheduling = row.scheduling;
    QUuid companyID, projectID;
    JsonReader::Number revision, targetHours, round;
    const auto readRequest = [&](std::size_t place) {
        switch (place) {
        case 0: request.id = readUuidText(in); break;
        case 1: request.company_id = readUuidText(in, &companyID); break;
        case 2: request.local_project_id = readUuidText(in, &projectID); break;
        case 3: request.backup_id = readUuidText(in); break;
        case 4:
            request.source_fingerprint = readString(in);
            require(fingerprint(request.source_fingerprint));
            break;
        case 5: request.title = readText(in, 1000); break;
        // Exactly the three raw values of a task kind.
        case 6: request.kind = readEnumeration(in, serviceKindFromRaw); break;
        case 7: request.status = ServiceStatus(readEnumeration(in, ServiceStatus::codeFromRaw)); break;
        case 8: revision = readInteger(in, 0); break;
        case 9: request.submitted_by = readUuidText(in); break;
        case 10: request.submitted_at = readTimestamp(in); break;
        case 11: request.claimed_by = readNullableUuidText(in); break;
        case 12: request.claimed_at = readNullableTimestamp(in); break;
        case 13: request.latest_proposal_id = readNullableUuidText(in); break;
        case 14: request.updated_at = readTimestamp(in); break;
        }
    };
    const auto readScheduling = [&](std::size_t place) {
        switch (place) {
        case 0: scheduling.tier = readEnumeration(in, SorvaneScheduling::tierFromRaw); break;
        case 1: targetHours = readInteger(in, 1); break;
        case 2:
            require(readInteger(in, 1).value == 1.0);
            scheduling.policyVersion = 1;
            break;
        case 3: round = readInteger(in, 1); break;
        case 4: scheduling.submissionMode = readEnumeration(in, SorvaneScheduling::submissionModeFromRaw); break;
        case 5: scheduling.receivedAt = readTimestamp(in); break;
        case 6: scheduling.eligibleAt = readNullableTimestamp(in); break;
        case 7: scheduling.dueAt = readNullableTimestamp(in); break;
        case 8: scheduling.startedAt = readNullableTimestamp(in); break;
        case 9:
            if (!readNull(in))
                scheduling.blockedReason = readEnumeration(in, SorvaneScheduling::blockedReasonFromRaw);
            break;
        case 10: scheduling.canClaim = readBoolean(in); break;
        }
    };
    readMembers(in, rowKeys, [&](std::size_t part) {
        switch (part) {
        case 0: readMembers(in, requestKeys, readRequest); break;
        case 1: row.company = readCompany(in); break;
        case 2: row.film = readFilm(in); break;
        case 3: readMembers(in, schedulingKeys, readScheduling); break;
        }
    });
    // Compared as UUID values: letter case never matters.
    require(companyID == row.company.id);
    require(projectID == row.film.id);
    scheduling.targetHours = SorvaneScheduling::targetHoursOf(scheduling.tier);
    require(targetHours.value == double(scheduling.targetHours));
    if (scheduling.canClaim)
        require(request.status.is(ServiceStatus::waiting) && !scheduling.blockedReason);

    // Last: only a row that passed every rule gets this far.
    request.revision = decoding.integer(revision, 2 * rank, [&] { return path() + QStringLiteral(".request.revision"); });
    scheduling.round = decoding.integer(round, 2 * rank + 1, [&] { return path() + QStringLiteral(".scheduling.round"); });
    return row;
}

// The rules of a whole page past its rows: what needs every member.
void checkPage(const SorvaneInboxPage &page)
{
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
    return textOf(value, limit, empty).has_value();
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
    checkedCompany(value);
    return value.toObject();
}

QJsonObject film(const QJsonValue &value, bool pipeline)
{
    checkedFilm(value, pipeline);
    return value.toObject();
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
    return inbox(bytes, expectedOperatorID, pageLimit, answerLimit);
}

SorvaneInboxPage inbox(const QByteArray &bytes, const std::optional<QUuid> &expectedOperatorID, qsizetype rowLimit,
                       qsizetype byteLimit)
{
    return fromBytes(bytes, byteLimit, [&](JsonReader &in) {
        SorvaneInboxPage page;
        Decoding decoding;
        readMembers(in, inboxTopKeys, [&](std::size_t place) {
            switch (place) {
            case 3:
                require(in.peek() == Type::Array);
                in.beginArray();
                while (in.nextElement()) {
                    const qsizetype i = page.items.size();
                    require(i < rowLimit);
                    page.items.append(
                        readRow(in, decoding, i, [i] { return StrictJson::elementPath(QStringLiteral("items"), i); }));
                }
                break;
            case 4:
                if (!readNull(in)) {
                    SorvaneInboxCursor cursor;
                    readMembers(in, cursorKeys, [&](std::size_t key) {
                        if (key == 0)
                            cursor.submittedAt = readTimestamp(in);
                        else
                            cursor.id = readUuid(in);
                    });
                    page.nextCursor = std::move(cursor);
                }
                break;
            case 5:
                if (!readNull(in))
                    page.nextRequestID = readUuid(in);
                break;
            case 6:
                // After every row of the list, wherever it stands in the bytes.
                if (!readNull(in))
                    page.nextItem = readRow(in, decoding, std::numeric_limits<qint64>::max() / 4,
                                            [] { return QStringLiteral("nextItem"); });
                break;
            default: readEnvelopeMember(in, place, page);
            }
        });
        in.finish();
        if (expectedOperatorID)
            require(page.operatorID == *expectedOperatorID);
        // A rule of the cursor, and like every rule it wins over a decoding failure.
        require(!page.nextCursor || !page.items.isEmpty());
        decoding.finish();
        checkPage(page);
        return page;
    });
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
    require(top.value(u"nextCursor").isNull() || uuid(top.value(u"nextCursor")));
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
    return fromBytes(bytes, answerLimit, [&](JsonReader &in) {
        SorvaneMutationResult result;
        Decoding decoding;
        readMembers(in, mutationTopKeys, [&](std::size_t place) {
            switch (place) {
            case 3:
                if (!readNull(in))
                    result.item = readRow(in, decoding, 0, [] { return QStringLiteral("item"); });
                break;
            case 4: result.replayed = readBoolean(in); break;
            default: readEnvelopeMember(in, place, result);
            }
        });
        in.finish();
        require(result.operatorID == expectedOperatorID);
        decoding.finish();
        return result;
    });
}

SorvaneMetadataSettings metadata(const QByteArray &bytes, const QUuid &companyID)
{
    require(bytes.size() <= metadataLimit);
    const QJsonObject top = object(parseDocument(bytes), metadataKeys);
    const QJsonValue schemaVersion = top.value(u"schemaVersion");
    require(integer(schemaVersion, 0) && schemaVersion.toDouble() == 2.0);
    require(uuidValue(top.value(u"companyID")) == std::optional<QUuid>(companyID));
    require(integer(top.value(u"revision"), 0));
    require(top.value(u"contactName").isNull() || text(top.value(u"contactName"), 200));
    require(top.value(u"allowPipeline").isBool());
    return decode<SorvaneMetadataSettings>(top);
}

} // namespace SorvaneInboxWire
