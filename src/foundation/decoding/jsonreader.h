#pragma once

#include <QByteArray>
#include <QString>
#include <bitset>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

// A strict pull reader over the UTF-8 bytes of one JSON document, for answers
// large enough that building a QJsonDocument and then walking it costs more
// than reading them once: the caller walks the document in the shape it
// expects, keys are compared as views without allocating, and each string is
// decoded once, straight into the QString the caller keeps.
//
// It accepts exactly StrictJson::parse's grammar (RFC 8259, valid UTF-8 only,
// the same nesting limit, numbers Qt cannot hold refused) and gives every
// value as Qt's parser would (escaped lone surrogates kept as they are,
// numbers as QJsonValue reads them), and refuses more than
// StrictJson::valueLimit values with the same text. Two things are the caller's:
//  - repeated keys: a caller reading members into known places refuses a
//    key whose place is already taken (Qt would keep the last one silently);
//  - the order of faults: the reader stops at the first fault it meets, while
//    a caller that refuses content may stop earlier. A caller that must fail
//    a malformed document as malformed wherever the fault lies runs
//    StrictJson::parse on its failure path.
// Faults throw DecodingError "invalid JSON at offset N: ...".
class JsonReader
{
public:
    enum class Type { Null, Boolean, Number, String, Array, Object };

    // A number as QJsonValue reads it: toDouble(), and the exact integer
    // when Qt keeps the literal as one (every integral value in 64 bits).
    struct Number
    {
        double value = 0;
        std::optional<qint64> integer;
    };

    // `bytes` must outlive the reader.
    explicit JsonReader(const QByteArray &bytes);

    // The type of the next value, from its first byte.
    Type peek();

    // An object: beginObject(), then nextKey() before each member's value
    // until it answers false at the closing brace. The key is its UTF-8
    // text with escapes resolved, valid until the next call.
    void beginObject();
    bool nextKey(std::string_view &key);
    // An array: beginArray(), then nextElement() before each element.
    void beginArray();
    bool nextElement();

    QString string();
    Number number();
    bool boolean();
    void null();

    // After the top value: nothing but white space may follow.
    void finish();

private:
    static constexpr std::size_t nestingLimit = 1024;

    [[noreturn]] void fail(qsizetype at, const char *reason) const;
    int peekByte() const { return m_at < m_size ? m_bytes[m_at] : -1; }
    void skipSpace();
    // One more member or element; the top value was counted at the start.
    void countValue();
    // Past the separator before the next member or element and counted, or
    // false past the container's `close`.
    bool nextMember(char close, const char *expectedSeparator);
    void open(const char *type, char bracket);
    // Checks the string whose quote is at m_at and moves past it; its
    // content lies between the quote and the returned end.
    qsizetype scanString(bool &escaped);
    std::string_view keyText(qsizetype begin, qsizetype end, bool escaped);
    void literal(const char *word, qsizetype length);

    const unsigned char *m_bytes;
    qsizetype m_size;
    qsizetype m_at = 0;
    std::size_t m_depth = 0;
    qsizetype m_values = 1;
    // Per open container: no member or element read yet.
    std::bitset<nestingLimit + 1> m_first;
    std::string m_key;
};
