#include "strictjson.h"

#include "jsonlexing.h"
#include "strictformats.h"

#include <QCborValue>
#include <QJsonDocument>
#include <QJsonParseError>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_set>
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

// Qt's parser stops at this depth; refusing at the same depth here keeps one
// message for it and bounds the validator's own stack.
constexpr std::size_t nestingLimit = 1024;

// One pass over the bytes that accepts exactly the JSON grammar (RFC 8259).
// Qt's parser beneath is lenient (it takes "2.", ".2", "\x", raw tabs and
// control characters in strings), so the grammar is checked here first and
// Qt only builds the values of a document already known to be sound. The same
// pass finds repeated keys when the caller refuses them.
class Validator
{
public:
    Validator(const QByteArray &bytes, bool refuseDuplicateKeys)
        : m_bytes(reinterpret_cast<const unsigned char *>(bytes.constData())), m_size(bytes.size()),
          m_trackKeys(refuseDuplicateKeys)
    {
    }

    void run();

private:
    struct Frame
    {
        bool object;
        // Where this object's keys start in m_keys; an object with many keys
        // moves them into a hash set so that a hostile document stays linear.
        std::size_t firstKey;
        std::unique_ptr<std::unordered_set<std::string_view>> manyKeys;
        // One bit per hash of each key seen so far: a key whose bit is clear
        // is new without comparing it to the others (nearly every key).
        std::uint64_t keyBits = 0;
    };
    static constexpr std::size_t linearKeys = 16;

    [[noreturn]] void fail(qsizetype at, const char *reason) const
    {
        throw DecodingError({}, QStringLiteral("invalid JSON at offset %1: %2").arg(at).arg(QLatin1StringView(reason)));
    }
    int peek() const { return m_at < m_size ? m_bytes[m_at] : -1; }
    void skipSpace() { m_at = JsonLexing::spaceEnd(m_bytes, m_size, m_at); }
    void open(bool object)
    {
        if (m_stack.size() >= nestingLimit)
            fail(m_at, "nesting too deep");
        m_stack.push_back({object, m_keys.size(), nullptr});
        ++m_at;
    }
    void close()
    {
        m_keys.resize(m_stack.back().firstKey);
        m_stack.pop_back();
        ++m_at;
    }
    void string(bool key);
    void number();
    void literal(const char *word, qsizetype length);
    unsigned hexQuad(qsizetype at) const;
    void rememberKey(qsizetype begin, qsizetype end, bool escaped);
    // A few bytes and the length, enough to tell most keys of one object apart.
    static unsigned keyHash(std::string_view key)
    {
        const std::size_t n = key.size();
        if (n == 0)
            return 0;
        const unsigned mix = unsigned(n) * 31u + unsigned(static_cast<unsigned char>(key[0])) * 7u
                             + unsigned(static_cast<unsigned char>(key[n / 2])) * 3u
                             + unsigned(static_cast<unsigned char>(key[n - 1]));
        return (mix ^ (mix >> 6)) & 63u;
    }
    std::string_view unescapedKey(qsizetype begin, qsizetype end);

    const unsigned char *m_bytes;
    qsizetype m_size;
    qsizetype m_at = 0;
    bool m_trackKeys;
    qsizetype m_values = 0;
    std::vector<Frame> m_stack;
    std::vector<std::string_view> m_keys;
    std::deque<std::string> m_decodedKeys;
};

void Validator::run()
{
    enum class Expect { Value, Key, Next };
    skipSpace();
    if (peek() != '{' && peek() != '[')
        fail(m_at, m_at == m_size ? "empty document" : "expected an object or an array");
    Expect expect = Expect::Value;
    for (;;) {
        skipSpace();
        const int c = peek();
        switch (expect) {
        case Expect::Value:
            if (++m_values > valueLimit)
                throw DecodingError({}, QStringLiteral("more than %1 values").arg(valueLimit));
            switch (c) {
            case '{':
                open(true);
                skipSpace();
                if (peek() != '}') {
                    expect = Expect::Key;
                    continue;
                }
                close();
                break;
            case '[':
                open(false);
                skipSpace();
                if (peek() != ']')
                    continue;
                close();
                break;
            case '"': string(false); break;
            case 't': literal("true", 4); break;
            case 'f': literal("false", 5); break;
            case 'n': literal("null", 4); break;
            default:
                if (c == '-' || JsonLexing::isDigit(c))
                    number();
                else
                    fail(m_at, c < 0 ? "unexpected end of the document" : "expected a value");
            }
            expect = Expect::Next;
            break;
        case Expect::Key:
            if (c != '"')
                fail(m_at, c < 0 ? "unexpected end of the document" : "expected a string key");
            string(true);
            skipSpace();
            if (peek() != ':')
                fail(m_at, "expected ':'");
            ++m_at;
            expect = Expect::Value;
            break;
        case Expect::Next:
            if (m_stack.empty()) {
                if (c >= 0)
                    fail(m_at, "unexpected data after the document");
                return;
            }
            if (c == ',') {
                ++m_at;
                expect = m_stack.back().object ? Expect::Key : Expect::Value;
            } else if (c == (m_stack.back().object ? '}' : ']')) {
                close();
            } else {
                fail(m_at, c < 0                      ? "unexpected end of the document"
                           : m_stack.back().object ? "expected ',' or '}'"
                                                   : "expected ',' or ']'");
            }
            break;
        }
    }
}

void Validator::string(bool key)
{
    const JsonLexing::StringScan scan = JsonLexing::scanString(m_bytes, m_size, m_at);
    if (scan.fault)
        fail(scan.end, scan.fault);
    if (key && m_trackKeys)
        rememberKey(m_at + 1, scan.end, scan.escaped);
    m_at = scan.end + 1;
}

unsigned Validator::hexQuad(qsizetype at) const
{
    const int value = JsonLexing::hexQuad(m_bytes, m_size, at);
    if (value < 0)
        fail(at - 2, "invalid \\u escape");
    return unsigned(value);
}

void Validator::number()
{
    const JsonLexing::NumberScan scan = JsonLexing::scanNumber(m_bytes, m_size, m_at);
    if (scan.fault)
        fail(scan.end, scan.fault);
    m_at = scan.end;
}

void Validator::literal(const char *word, qsizetype length)
{
    if (m_size - m_at < length || std::memcmp(m_bytes + m_at, word, std::size_t(length)) != 0)
        fail(m_at, "expected a value");
    m_at += length;
}

void Validator::rememberKey(qsizetype begin, qsizetype end, bool escaped)
{
    const std::string_view key =
        escaped ? unescapedKey(begin, end)
                : std::string_view(reinterpret_cast<const char *>(m_bytes + begin), std::size_t(end - begin));
    Frame &frame = m_stack.back();
    bool fresh = true;
    if (frame.manyKeys) {
        fresh = frame.manyKeys->insert(key).second;
    } else {
        const auto first = m_keys.begin() + std::ptrdiff_t(frame.firstKey);
        const std::uint64_t bit = std::uint64_t(1) << keyHash(key);
        fresh = (frame.keyBits & bit) == 0 || std::find(first, m_keys.end(), key) == m_keys.end();
        frame.keyBits |= bit;
        if (fresh && m_keys.size() - frame.firstKey >= linearKeys) {
            frame.manyKeys = std::make_unique<std::unordered_set<std::string_view>>(first, m_keys.end());
            frame.manyKeys->insert(key);
            m_keys.resize(frame.firstKey);
        } else if (fresh) {
            m_keys.push_back(key);
        }
    }
    if (!fresh)
        throw DecodingError({}, QStringLiteral("duplicate key \"%1\"")
                                    .arg(QString::fromUtf8(key.data(), qsizetype(key.size()))));
}

// A key written with escapes, in the UTF-8 it stands for, so that every
// spelling of one key compares equal. A lone surrogate keeps its 3-byte form,
// which valid raw UTF-8 never holds, so it collides with nothing.
std::string_view Validator::unescapedKey(qsizetype begin, qsizetype end)
{
    std::string out;
    const auto append = [&out](unsigned code) {
        if (code < 0x80) {
            out += char(code);
        } else if (code < 0x800) {
            out += char(0xC0 | (code >> 6));
            out += char(0x80 | (code & 0x3F));
        } else if (code < 0x10000) {
            out += char(0xE0 | (code >> 12));
            out += char(0x80 | ((code >> 6) & 0x3F));
            out += char(0x80 | (code & 0x3F));
        } else {
            out += char(0xF0 | (code >> 18));
            out += char(0x80 | ((code >> 12) & 0x3F));
            out += char(0x80 | ((code >> 6) & 0x3F));
            out += char(0x80 | (code & 0x3F));
        }
    };
    for (qsizetype k = begin; k < end;) {
        const unsigned char c = m_bytes[k];
        if (c != '\\') {
            out += char(c);
            ++k;
            continue;
        }
        const unsigned char e = m_bytes[k + 1];
        k += 2;
        switch (e) {
        case 'b': out += '\b'; break;
        case 'f': out += '\f'; break;
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        case 't': out += '\t'; break;
        case 'u': {
            unsigned code = hexQuad(k);
            k += 4;
            if (code >= 0xD800 && code <= 0xDBFF && k + 6 <= end && m_bytes[k] == '\\' && m_bytes[k + 1] == 'u') {
                const unsigned second = hexQuad(k + 2);
                if (second >= 0xDC00 && second <= 0xDFFF) {
                    code = 0x10000 + ((code - 0xD800) << 10) + (second - 0xDC00);
                    k += 6;
                }
            }
            append(code);
            break;
        }
        default: out += char(e); break; // '"', '\\' and '/'
        }
    }
    m_decodedKeys.push_back(std::move(out));
    return m_decodedKeys.back();
}

} // namespace

QJsonValue parse(const QByteArray &bytes, JsonParseOptions options)
{
    Validator(bytes, options.refuseDuplicateKeys).run();
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError)
        throw DecodingError({}, QStringLiteral("invalid JSON at offset %1: %2").arg(error.offset).arg(error.errorString()));
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
