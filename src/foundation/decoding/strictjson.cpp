#include "strictjson.h"

#include "strictformats.h"

#include <QCborValue>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QSet>
#include <cmath>
#include <vector>

DecodingError::DecodingError(QString path, QString problem)
    : m_path(std::move(path)), m_problem(std::move(problem)), m_utf8(message().toUtf8())
{
}

QString DecodingError::message() const
{
    return m_path.isEmpty() ? m_problem : m_path + QStringLiteral(": ") + m_problem;
}

namespace StrictJson {

namespace {

// Decodes the body of a JSON string token that Qt has already accepted, so
// escapes are known to be well formed.
QString unescape(const QByteArray &bytes, qsizetype begin, qsizetype end)
{
    QString out;
    QByteArray run;
    auto flush = [&] {
        if (!run.isEmpty()) {
            out += QString::fromUtf8(run);
            run.clear();
        }
    };
    for (qsizetype i = begin; i < end; ++i) {
        const char c = bytes.at(i);
        if (c != '\\') {
            run.append(c);
            continue;
        }
        flush();
        const char e = bytes.at(++i);
        switch (e) {
        case 'b': out += QLatin1Char('\b'); break;
        case 'f': out += QLatin1Char('\f'); break;
        case 'n': out += QLatin1Char('\n'); break;
        case 'r': out += QLatin1Char('\r'); break;
        case 't': out += QLatin1Char('\t'); break;
        case 'u': {
            // UTF-16 code units are appended as they come; a surrogate pair
            // written as two escapes joins up by itself.
            out += QChar(char16_t(bytes.mid(i + 1, 4).toUInt(nullptr, 16)));
            i += 4;
            break;
        }
        default: out += QLatin1Char(e); break;
        }
    }
    flush();
    return out;
}

// Walks a document Qt has already validated and reports the first object
// that repeats a key. Iterative, so depth costs no stack.
std::optional<QString> firstDuplicateKey(const QByteArray &bytes)
{
    struct Frame
    {
        bool object;
        bool expectingKey;
        QSet<QString> keys;
    };
    std::vector<Frame> stack;
    const qsizetype n = bytes.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char c = bytes.at(i);
        switch (c) {
        case '{': stack.push_back({true, true, {}}); break;
        case '[': stack.push_back({false, false, {}}); break;
        case '}':
        case ']':
            if (!stack.empty())
                stack.pop_back();
            break;
        case ',':
            if (!stack.empty() && stack.back().object)
                stack.back().expectingKey = true;
            break;
        case '"': {
            const qsizetype begin = i + 1;
            qsizetype j = begin;
            while (j < n && bytes.at(j) != '"')
                j += bytes.at(j) == '\\' ? 2 : 1;
            if (!stack.empty() && stack.back().object && stack.back().expectingKey) {
                Frame &frame = stack.back();
                frame.expectingKey = false;
                const QString key = unescape(bytes, begin, j);
                if (frame.keys.contains(key))
                    return key;
                frame.keys.insert(key);
            }
            i = j;
            break;
        }
        default: break;
        }
    }
    return std::nullopt;
}

} // namespace

QJsonValue parse(const QByteArray &bytes, JsonParseOptions options)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError)
        throw DecodingError({}, QStringLiteral("invalid JSON at offset %1: %2").arg(error.offset).arg(error.errorString()));
    if (!document.isObject() && !document.isArray())
        throw DecodingError({}, QStringLiteral("expected an object or an array"));
    if (options.refuseDuplicateKeys) {
        if (const auto key = firstDuplicateKey(bytes))
            throw DecodingError({}, QStringLiteral("duplicate key \"%1\"").arg(*key));
    }
    return document.isObject() ? QJsonValue(document.object()) : QJsonValue(document.array());
}

QString memberPath(const QString &path, QAnyStringView key)
{
    return path.isEmpty() ? key.toString() : path + QLatin1Char('.') + key.toString();
}

QString elementPath(const QString &path, qsizetype index)
{
    return path + QLatin1Char('[') + QString::number(index) + QLatin1Char(']');
}

QString typeName(const QJsonValue &value)
{
    switch (value.type()) {
    case QJsonValue::Null: return QStringLiteral("null");
    case QJsonValue::Bool: return QStringLiteral("a Boolean");
    case QJsonValue::Double: return QStringLiteral("a number");
    case QJsonValue::String: return QStringLiteral("a string");
    case QJsonValue::Array: return QStringLiteral("an array");
    case QJsonValue::Object: return QStringLiteral("an object");
    case QJsonValue::Undefined: break;
    }
    return QStringLiteral("nothing");
}

} // namespace StrictJson

namespace {

bool isAscii(QUtf8StringView text)
{
    for (char c : text)
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    return true;
}

// Member look-up without turning the key into a QString first.
QJsonValue memberValue(const QJsonObject &object, QAnyStringView key)
{
    return key.visit([&](auto view) -> QJsonValue {
        using View = decltype(view);
        if constexpr (std::is_same_v<View, QStringView> || std::is_same_v<View, QLatin1StringView>)
            return object.value(view);
        else if (isAscii(view))
            return object.value(QLatin1StringView(view.data(), view.size()));
        else
            return object.value(view.toString());
    });
}

} // namespace

// ---- JsonValueReader ----

JsonValueReader::JsonValueReader(QJsonValue value, QString path) : m_value(std::move(value)), m_path(std::move(path)) {}

JsonValueReader::JsonValueReader(QJsonValue value, const QString &parentPath, QAnyStringView key)
    : m_value(std::move(value)), m_pathBuilt(false), m_parentPath(parentPath)
{
    key.visit([&](auto view) {
        using View = decltype(view);
        if constexpr (std::is_same_v<View, QUtf8StringView>) {
            if (!isAscii(view)) {
                m_longKey = view.toString();
                m_keySize = -1;
                return;
            }
        }
        if (view.size() > inlineKeySize) {
            m_longKey = QAnyStringView(view).toString();
            m_keySize = -1;
            return;
        }
        m_keySize = view.size();
        for (qsizetype i = 0; i < view.size(); ++i) {
            if constexpr (std::is_same_v<View, QStringView>)
                m_inlineKey[i] = view.at(i).unicode();
            else
                m_inlineKey[i] = static_cast<unsigned char>(view.data()[i]);
        }
    });
}

JsonValueReader::JsonValueReader(QJsonValue value, const QString &parentPath, qsizetype index)
    : m_value(std::move(value)), m_pathBuilt(false), m_parentPath(parentPath), m_index(index)
{
}

const QString &JsonValueReader::path() const
{
    if (!m_pathBuilt) {
        if (m_index >= 0)
            m_path = StrictJson::elementPath(m_parentPath, m_index);
        else if (m_keySize < 0)
            m_path = StrictJson::memberPath(m_parentPath, m_longKey);
        else
            m_path = StrictJson::memberPath(m_parentPath, QStringView(m_inlineKey, m_keySize));
        m_pathBuilt = true;
    }
    return m_path;
}

void JsonValueReader::fail(const QString &problem) const
{
    throw DecodingError(path(), problem);
}

void JsonValueReader::expected(const char *what) const
{
    fail(QStringLiteral("expected %1, found %2").arg(QLatin1StringView(what), StrictJson::typeName(m_value)));
}

QString JsonValueReader::string() const
{
    if (!m_value.isString())
        expected("a string");
    return m_value.toString();
}

qint64 JsonValueReader::integer() const
{
    if (!m_value.isDouble())
        expected("an integer");
    // Qt keeps integral literals that fit 64 bits as exact integers (and
    // stores any integral double in range as an integer too); anything else
    // is a fraction or out of range. The fallback trusts a double only while
    // doubles are exact.
    const QCborValue exact = QCborValue::fromJsonValue(m_value);
    if (exact.isInteger())
        return exact.toInteger();
    const double d = m_value.toDouble();
    if (!std::isfinite(d) || std::trunc(d) != d)
        fail(QStringLiteral("expected an integer, found a fraction"));
    constexpr double exactLimit = 9007199254740992.0; // 2^53
    if (std::fabs(d) >= exactLimit) // 2^53 itself may have been rounded from 2^53 + 1
        fail(QStringLiteral("integer out of range"));
    return static_cast<qint64>(d);
}

double JsonValueReader::number() const
{
    if (!m_value.isDouble())
        expected("a number");
    return m_value.toDouble();
}

bool JsonValueReader::boolean() const
{
    if (!m_value.isBool())
        expected("true or false");
    return m_value.toBool();
}

QUuid JsonValueReader::uuid() const
{
    const QString text = string();
    if (auto id = StrictFormats::parseUuid(text))
        return *id;
    fail(QStringLiteral("expected a UUID"));
}

QDateTime JsonValueReader::dateTime() const
{
    const QString text = string();
    if (auto moment = StrictFormats::parseInternetDateTime(text))
        return *moment;
    fail(QStringLiteral("expected an RFC 3339 date-time"));
}

QByteArray JsonValueReader::base64() const
{
    const QString text = string();
    if (auto bytes = StrictFormats::parseBase64(text))
        return *bytes;
    fail(QStringLiteral("expected canonical Base64"));
}

JsonObjectReader JsonValueReader::object() const
{
    return JsonObjectReader(m_value, path());
}

QJsonArray JsonValueReader::rawArray() const
{
    if (!m_value.isArray())
        expected("an array");
    return m_value.toArray();
}

QStringList JsonValueReader::stringArray() const
{
    return array([](const JsonValueReader &element) { return element.string(); });
}

QList<qint64> JsonValueReader::integerArray() const
{
    return array([](const JsonValueReader &element) { return element.integer(); });
}

// ---- JsonObjectReader ----

JsonObjectReader::JsonObjectReader(const QJsonValue &value, QString path) : m_path(std::move(path))
{
    if (!value.isObject())
        fail(QStringLiteral("expected an object, found %1").arg(StrictJson::typeName(value)));
    m_object = value.toObject();
}

JsonObjectReader JsonObjectReader::parse(const QByteArray &bytes, JsonParseOptions options)
{
    return JsonObjectReader(StrictJson::parse(bytes, options));
}

void JsonObjectReader::fail(const QString &problem) const
{
    throw DecodingError(m_path, problem);
}

bool JsonObjectReader::contains(QAnyStringView key) const
{
    return !memberValue(m_object, key).isUndefined();
}

bool JsonObjectReader::has(QAnyStringView key) const
{
    const QJsonValue value = memberValue(m_object, key);
    return !value.isUndefined() && !value.isNull();
}

JsonValueReader JsonObjectReader::required(QAnyStringView key) const
{
    const QJsonValue value = memberValue(m_object, key);
    if (value.isUndefined())
        throw DecodingError(memberPath(key), QStringLiteral("missing"));
    if (value.isNull())
        throw DecodingError(memberPath(key), QStringLiteral("must not be null"));
    return JsonValueReader(value, m_path, key);
}

std::optional<JsonValueReader> JsonObjectReader::optional(QAnyStringView key) const
{
    const QJsonValue value = memberValue(m_object, key);
    if (value.isUndefined() || value.isNull())
        return std::nullopt;
    return JsonValueReader(value, m_path, key);
}

std::optional<QString> JsonObjectReader::optionalString(QAnyStringView key) const
{
    if (auto member = optional(key))
        return member->string();
    return std::nullopt;
}

std::optional<qint64> JsonObjectReader::optionalInteger(QAnyStringView key) const
{
    if (auto member = optional(key))
        return member->integer();
    return std::nullopt;
}

std::optional<double> JsonObjectReader::optionalNumber(QAnyStringView key) const
{
    if (auto member = optional(key))
        return member->number();
    return std::nullopt;
}

std::optional<bool> JsonObjectReader::optionalBoolean(QAnyStringView key) const
{
    if (auto member = optional(key))
        return member->boolean();
    return std::nullopt;
}

std::optional<QUuid> JsonObjectReader::optionalUuid(QAnyStringView key) const
{
    if (auto member = optional(key))
        return member->uuid();
    return std::nullopt;
}

std::optional<QDateTime> JsonObjectReader::optionalDateTime(QAnyStringView key) const
{
    if (auto member = optional(key))
        return member->dateTime();
    return std::nullopt;
}

std::optional<QStringList> JsonObjectReader::optionalStringArray(QAnyStringView key) const
{
    if (auto member = optional(key))
        return member->stringArray();
    return std::nullopt;
}

JsonObjectReader JsonObjectReader::object(QAnyStringView key) const
{
    return required(key).object();
}

void JsonObjectReader::requireExactKeys(std::initializer_list<const char *> keys) const
{
    QStringList list;
    for (const char *key : keys)
        list.append(QString::fromUtf8(key));
    requireExactKeys(list);
}

void JsonObjectReader::requireExactKeys(const QStringList &keys) const
{
    for (const QString &key : keys)
        if (!m_object.contains(key))
            throw DecodingError(memberPath(key), QStringLiteral("missing"));
    for (auto it = m_object.begin(); it != m_object.end(); ++it)
        if (!keys.contains(it.key()))
            throw DecodingError(memberPath(it.key()), QStringLiteral("unexpected member"));
}
