#pragma once

#include <QtGlobal>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// The byte-level pieces of the JSON grammar (RFC 8259) that StrictJson's
// validator and JsonReader share, so that both accept exactly the same text.
// Each answers where a token ends or that it is malformed; the callers turn
// that into their DecodingError.
namespace JsonLexing {

inline bool isDigit(int c)
{
    return c >= '0' && c <= '9';
}

// The first byte at or after `at` that needs a look inside a string: the
// quote, the backslash, a control character or any byte of a multi-byte
// sequence. Strings are most of an answer's bytes, so the plain run is
// skipped sixteen bytes at a time.
inline qsizetype plainEnd(const unsigned char *bytes, qsizetype size, qsizetype at)
{
#if defined(__SSE2__)
    const __m128i quote = _mm_set1_epi8('"');
    const __m128i backslash = _mm_set1_epi8('\\');
    // Signed compare: below 0x20 and 0x80 and above (negative) both stop.
    const __m128i space = _mm_set1_epi8(0x20);
    while (size - at >= 16) {
        const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i *>(bytes + at));
        const __m128i stop = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(chunk, quote), _mm_cmpeq_epi8(chunk, backslash)),
                                          _mm_cmplt_epi8(chunk, space));
        const int mask = _mm_movemask_epi8(stop);
        if (mask != 0)
            return at + __builtin_ctz(unsigned(mask));
        at += 16;
    }
#endif
    while (at < size) {
        const unsigned char c = bytes[at];
        if (c == '"' || c == '\\' || c < 0x20 || c >= 0x80)
            break;
        ++at;
    }
    return at;
}

// The length of the multi-byte UTF-8 sequence at `at`, or 0 when it is not
// one: shortest form only, no encoded surrogates, nothing above U+10FFFF.
inline int utf8Sequence(const unsigned char *bytes, qsizetype size, qsizetype at)
{
    const unsigned char lead = bytes[at];
    int length = 0;
    int low = 0x80, high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0)
            low = 0xA0;
        else if (lead == 0xED)
            high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0)
            low = 0x90;
        else if (lead == 0xF4)
            high = 0x8F;
    } else {
        return 0;
    }
    for (int k = 1; k < length; ++k) {
        const int c = at + k < size ? bytes[at + k] : -1;
        if (k == 1 ? (c < low || c > high) : (c < 0x80 || c > 0xBF))
            return 0;
    }
    return length;
}

// The value of the four hexadecimal digits at `at`, or -1.
inline int hexQuad(const unsigned char *bytes, qsizetype size, qsizetype at)
{
    int value = 0;
    for (qsizetype k = at; k < at + 4; ++k) {
        const int c = k < size ? bytes[k] : -1;
        int digit = 0;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else
            return -1;
        value = value * 16 + digit;
    }
    return value;
}

// Past the white space JSON allows, from `at`.
inline qsizetype spaceEnd(const unsigned char *bytes, qsizetype size, qsizetype at)
{
    while (at < size) {
        const unsigned char c = bytes[at];
        if (c != ' ' && c != '\t' && c != '\n' && c != '\r')
            break;
        ++at;
    }
    return at;
}

// A string whose opening quote is at `quote`: where its closing quote is, or
// where and why it is malformed, and whether it holds an escape. The
// position lives in a local while the string is read: a store through a
// pointer would make the compiler reload it after every byte (bytes may
// alias anything).
struct StringScan
{
    qsizetype end; // the closing quote, or the fault's position
    const char *fault; // nullptr when the string is sound
    bool escaped;
};

inline StringScan scanString(const unsigned char *bytes, qsizetype size, qsizetype quote)
{
    qsizetype at = quote + 1;
    bool escaped = false;
    for (;;) {
        at = plainEnd(bytes, size, at);
        if (at >= size)
            return {quote, "unterminated string", escaped};
        const unsigned char c = bytes[at];
        if (c == '"')
            return {at, nullptr, escaped};
        if (c == '\\') {
            escaped = true;
            switch (at + 1 < size ? bytes[at + 1] : 0) {
            case '"':
            case '\\':
            case '/':
            case 'b':
            case 'f':
            case 'n':
            case 'r':
            case 't': at += 2; break;
            case 'u':
                if (hexQuad(bytes, size, at + 2) < 0)
                    return {at, "invalid \\u escape", escaped};
                at += 6;
                break;
            default: return {at, "invalid escape", escaped};
            }
        } else if (c < 0x20) {
            return {at, "control character in a string", escaped};
        } else if (c < 0x80) {
            ++at;
        } else {
            const int length = utf8Sequence(bytes, size, at);
            if (length == 0)
                return {at, "invalid UTF-8", escaped};
            at += length;
        }
    }
}

// A number token starting at `at`: its end, or where and why it is malformed.
struct NumberScan
{
    qsizetype end;
    const char *fault; // nullptr when the token is sound; then `end` is where it failed otherwise
    bool plainInteger; // only a sign and digits
};

inline NumberScan scanNumber(const unsigned char *bytes, qsizetype size, qsizetype at)
{
    const auto peek = [&] { return at < size ? int(bytes[at]) : -1; };
    bool plain = true;
    if (peek() == '-')
        ++at;
    if (peek() == '0') {
        ++at;
    } else if (isDigit(peek())) {
        while (isDigit(peek()))
            ++at;
    } else {
        return {at, "expected a digit", false};
    }
    if (peek() == '.') {
        plain = false;
        ++at;
        if (!isDigit(peek()))
            return {at, "expected a digit after the decimal point", false};
        while (isDigit(peek()))
            ++at;
    }
    if (peek() == 'e' || peek() == 'E') {
        plain = false;
        ++at;
        if (peek() == '+' || peek() == '-')
            ++at;
        if (!isDigit(peek()))
            return {at, "expected a digit in the exponent", false};
        while (isDigit(peek()))
            ++at;
    }
    return {at, nullptr, plain};
}

} // namespace JsonLexing
