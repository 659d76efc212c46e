#include "jsonreader.h"

#include "jsonlexing.h"
#include "strictjson.h"

#include <QByteArrayView>
#include <cstdint>
#include <cstring>

JsonReader::JsonReader(const QByteArray &bytes)
    : m_bytes(reinterpret_cast<const unsigned char *>(bytes.constData())), m_size(bytes.size())
{
}

void JsonReader::fail(qsizetype at, const char *reason) const
{
    throw DecodingError({}, QStringLiteral("invalid JSON at offset %1: %2").arg(at).arg(QLatin1StringView(reason)));
}

void JsonReader::countValue()
{
    if (++m_values > StrictJson::valueLimit)
        throw DecodingError({}, QStringLiteral("more than %1 values").arg(StrictJson::valueLimit));
}

void JsonReader::skipSpace()
{
    m_at = JsonLexing::spaceEnd(m_bytes, m_size, m_at);
}

JsonReader::Type JsonReader::peek()
{
    skipSpace();
    const int c = peekByte();
    switch (c) {
    case '{': return Type::Object;
    case '[': return Type::Array;
    case '"': return Type::String;
    case 't':
    case 'f': return Type::Boolean;
    case 'n': return Type::Null;
    default:
        if (c == '-' || JsonLexing::isDigit(c))
            return Type::Number;
        // The document's top must be an object or an array.
        if (m_depth == 0)
            fail(m_at, c < 0 ? "empty document" : "expected an object or an array");
        fail(m_at, c < 0 ? "unexpected end of the document" : "expected a value");
    }
}

void JsonReader::open(const char *type, char bracket)
{
    skipSpace();
    if (peekByte() != bracket)
        fail(m_at, type);
    if (m_depth >= nestingLimit)
        fail(m_at, "nesting too deep");
    ++m_depth;
    m_first[m_depth] = true;
    ++m_at;
}

void JsonReader::beginObject()
{
    open("expected an object", '{');
}

void JsonReader::beginArray()
{
    open("expected an array", '[');
}

bool JsonReader::nextMember(char close, const char *expectedSeparator)
{
    skipSpace();
    const int c = peekByte();
    if (c == close) {
        --m_depth;
        ++m_at;
        return false;
    }
    if (m_first[m_depth]) {
        m_first[m_depth] = false;
    } else {
        if (c != ',')
            fail(m_at, c < 0 ? "unexpected end of the document" : expectedSeparator);
        ++m_at;
    }
    countValue();
    return true;
}

bool JsonReader::nextKey(std::string_view &key)
{
    if (!nextMember('}', "expected ',' or '}'"))
        return false;
    skipSpace();
    const int c = peekByte();
    if (c != '"')
        fail(m_at, c < 0 ? "unexpected end of the document" : "expected a string key");
    bool escaped = false;
    const qsizetype begin = m_at + 1;
    const qsizetype end = scanString(escaped);
    key = keyText(begin, end, escaped);
    skipSpace();
    if (peekByte() != ':')
        fail(m_at, "expected ':'");
    ++m_at;
    return true;
}

bool JsonReader::nextElement()
{
    return nextMember(']', "expected ',' or ']'");
}

qsizetype JsonReader::scanString(bool &escaped)
{
    const JsonLexing::StringScan scan = JsonLexing::scanString(m_bytes, m_size, m_at);
    if (scan.fault)
        fail(scan.end, scan.fault);
    escaped = scan.escaped;
    m_at = scan.end + 1;
    return scan.end;
}

namespace {

// The escape after a backslash at `at` (checked already): the UTF-16 unit
// it stands for and its length in bytes. Like Qt's parser, a \u escape gives
// one unit, so a pair of escaped surrogates makes one character and a lone
// one stays as it is.
char16_t escapeUnit(const unsigned char *bytes, qsizetype size, qsizetype at, int &length)
{
    length = 2;
    switch (bytes[at + 1]) {
    case 'b': return u'\b';
    case 'f': return u'\f';
    case 'n': return u'\n';
    case 'r': return u'\r';
    case 't': return u'\t';
    case 'u': length = 6; return char16_t(JsonLexing::hexQuad(bytes, size, at + 2));
    default: return char16_t(bytes[at + 1]); // '"', '\\' and '/'
    }
}

} // namespace

std::string_view JsonReader::keyText(qsizetype begin, qsizetype end, bool escaped)
{
    if (!escaped)
        return std::string_view(reinterpret_cast<const char *>(m_bytes + begin), std::size_t(end - begin));
    // Rare: resolved through UTF-16 so that every spelling of one key gives
    // the same text.
    QString text;
    text.reserve(end - begin);
    for (qsizetype k = begin; k < end;) {
        if (m_bytes[k] == '\\') {
            int length = 0;
            text.append(QChar(escapeUnit(m_bytes, m_size, k, length)));
            k += length;
        } else {
            const qsizetype plain = k;
            while (k < end && m_bytes[k] != '\\')
                ++k;
            text.append(QString::fromUtf8(reinterpret_cast<const char *>(m_bytes + plain), k - plain));
        }
    }
    const QByteArray utf8 = text.toUtf8();
    m_key.assign(utf8.constData(), std::size_t(utf8.size()));
    return m_key;
}

QString JsonReader::string()
{
    skipSpace();
    if (peekByte() != '"')
        fail(m_at, "expected a string");
    bool escaped = false;
    const qsizetype begin = m_at + 1;
    const qsizetype end = scanString(escaped);
    const char *const text = reinterpret_cast<const char *>(m_bytes + begin);
    if (!escaped)
        return QString::fromUtf8(text, end - begin);
    // At most one UTF-16 unit per byte.
    QString result(end - begin, Qt::Uninitialized);
    char16_t *out = reinterpret_cast<char16_t *>(result.data());
    char16_t *const first = out;
    for (qsizetype k = begin; k < end;) {
        const unsigned char c = m_bytes[k];
        if (c == '\\') {
            int length = 0;
            *out++ = escapeUnit(m_bytes, m_size, k, length);
            k += length;
        } else if (c < 0x80) {
            *out++ = c;
            ++k;
        } else {
            // Checked UTF-8: the lead byte gives the length.
            char32_t code = 0;
            int length = 0;
            if (c < 0xE0) {
                code = c & 0x1F;
                length = 2;
            } else if (c < 0xF0) {
                code = c & 0x0F;
                length = 3;
            } else {
                code = c & 0x07;
                length = 4;
            }
            for (int i = 1; i < length; ++i)
                code = (code << 6) | (m_bytes[k + i] & 0x3F);
            k += length;
            if (code >= 0x10000) {
                *out++ = QChar::highSurrogate(code);
                *out++ = QChar::lowSurrogate(code);
            } else {
                *out++ = char16_t(code);
            }
        }
    }
    result.truncate(out - first);
    return result;
}

JsonReader::Number JsonReader::number()
{
    skipSpace();
    const qsizetype begin = m_at;
    const int c = peekByte();
    if (c != '-' && !JsonLexing::isDigit(c))
        fail(m_at, "expected a number");
    const JsonLexing::NumberScan scan = JsonLexing::scanNumber(m_bytes, m_size, m_at);
    if (scan.fault)
        fail(scan.end, scan.fault);
    m_at = scan.end;
    const char *const text = reinterpret_cast<const char *>(m_bytes + begin);
    const qsizetype length = scan.end - begin;
    Number number;
    // Qt's parser: a literal of a sign and digits that fits 64 bits is an
    // exact integer; anything else becomes a double, kept as an integer
    // when it is integral and in range. Overflow and underflow to zero are
    // refused.
    if (scan.plainInteger) {
        const bool negative = text[0] == '-';
        const std::uint64_t largest = (std::uint64_t(1) << 63) - (negative ? 0 : 1);
        std::uint64_t magnitude = 0;
        bool fits = true;
        for (qsizetype i = negative ? 1 : 0; i < length && fits; ++i) {
            const unsigned digit = unsigned(text[i] - '0');
            fits = magnitude <= (largest - digit) / 10;
            magnitude = magnitude * 10 + digit;
        }
        if (fits) {
            const qint64 integer = negative ? qint64(0 - magnitude) : qint64(magnitude);
            number.integer = integer;
            number.value = double(integer);
            return number;
        }
    }
    bool ok = false;
    const double value = QByteArray::fromRawData(text, length).toDouble(&ok);
    if (!ok)
        fail(begin + length, "illegal number");
    number.value = value;
    constexpr double limit = 9223372036854775808.0; // 2^63
    if (value >= -limit && value < limit && double(qint64(value)) == value) {
        number.integer = qint64(value);
        number.value = double(*number.integer); // -0.0 is kept as the integer 0
    }
    return number;
}

void JsonReader::literal(const char *word, qsizetype length)
{
    skipSpace();
    if (m_size - m_at < length || std::memcmp(m_bytes + m_at, word, std::size_t(length)) != 0)
        fail(m_at, "expected a value");
    m_at += length;
}

bool JsonReader::boolean()
{
    skipSpace();
    if (peekByte() == 't') {
        literal("true", 4);
        return true;
    }
    literal("false", 5);
    return false;
}

void JsonReader::null()
{
    literal("null", 4);
}

void JsonReader::finish()
{
    skipSpace();
    if (m_at < m_size)
        fail(m_at, "unexpected data after the document");
}
