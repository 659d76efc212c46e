#include "strictformats.h"

#include <array>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace StrictFormats {

namespace {

// Reads `count` ASCII digits at `pos`; -1 unless all are digits.
int digits(QStringView text, qsizetype pos, int count)
{
    if (pos + count > text.size())
        return -1;
    int value = 0;
    for (int i = 0; i < count; ++i) {
        const QChar c = text.at(pos + i);
        if (c < u'0' || c > u'9')
            return -1;
        value = value * 10 + (c.unicode() - u'0');
    }
    return value;
}

bool isBase64Char(QChar c)
{
    return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9') || c == u'+' || c == u'/';
}

} // namespace

std::optional<QUuid> parseUuid(QStringView text)
{
    if (text.size() != 36)
        return std::nullopt;
    const char16_t *c = text.utf16();
#if defined(__SSE2__)
    // Every inbox row holds about ten of these: the 36 characters are
    // narrowed to bytes and checked and converted sixteen at a time.
    // Narrowing saturates, so no character above U+00FF can turn into a
    // digit or a hyphen (those at U+8000 and above become 0).
    const auto narrow = [c](int at) {
        return _mm_packus_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i *>(c + at)),
                                _mm_loadu_si128(reinterpret_cast<const __m128i *>(c + at + 8)));
    };
    // Characters 0-15, 16-31 and 20-35 (the last two overlap).
    const __m128i parts[3] = {narrow(0), narrow(16), narrow(20)};
    // Where the hyphens belong in each part: 8 and 13; 18 and 23 (as 2
    // and 7); nothing new in the third.
    const __m128i hyphenAt[3] = {
        _mm_setr_epi8(0, 0, 0, 0, 0, 0, 0, 0, -1, 0, 0, 0, 0, -1, 0, 0),
        _mm_setr_epi8(0, 0, -1, 0, 0, 0, 0, -1, 0, 0, 0, 0, 0, 0, 0, 0),
        _mm_setr_epi8(0, 0, 0, -1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0)};
    alignas(16) unsigned char nibbles[48];
    for (int k = 0; k < 3; ++k) {
        const __m128i b = parts[k];
        // Signed compares: bytes from 0x80 up are negative and fail both ranges.
        const __m128i digit = _mm_andnot_si128(_mm_cmplt_epi8(b, _mm_set1_epi8('0')),
                                               _mm_cmplt_epi8(b, _mm_set1_epi8('9' + 1)));
        const __m128i lower = _mm_or_si128(b, _mm_set1_epi8(0x20));
        const __m128i letter = _mm_andnot_si128(_mm_cmplt_epi8(lower, _mm_set1_epi8('a')),
                                                _mm_cmplt_epi8(lower, _mm_set1_epi8('f' + 1)));
        const __m128i hyphen = _mm_cmpeq_epi8(b, _mm_set1_epi8('-'));
        const __m128i good = _mm_or_si128(_mm_andnot_si128(hyphenAt[k], _mm_or_si128(digit, letter)),
                                          _mm_and_si128(hyphenAt[k], hyphen));
        if (_mm_movemask_epi8(good) != 0xFFFF)
            return std::nullopt;
        const __m128i value = _mm_or_si128(_mm_and_si128(digit, _mm_sub_epi8(b, _mm_set1_epi8('0'))),
                                           _mm_and_si128(letter, _mm_sub_epi8(lower, _mm_set1_epi8('a' - 10))));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(nibbles + (k == 2 ? 20 : 16 * k)), value);
    }
    static constexpr int digitStarts[16] = {0, 2, 4, 6, 9, 11, 14, 16, 19, 21, 24, 26, 28, 30, 32, 34};
    char bytes[16];
    for (int i = 0; i < 16; ++i)
        bytes[i] = char(nibbles[digitStarts[i]] << 4 | nibbles[digitStarts[i] + 1]);
    return QUuid::fromRfc4122(QByteArrayView(bytes, 16));
#else
    if (c[8] != u'-' || c[13] != u'-' || c[18] != u'-' || c[23] != u'-')
        return std::nullopt;
    // The 16 bytes straight from the checked digits; QUuid::fromString would
    // check the form a second time.
    static constexpr int digitStarts[16] = {0, 2, 4, 6, 9, 11, 14, 16, 19, 21, 24, 26, 28, 30, 32, 34};
    // A table of digit values (0xFF for anything else): every inbox row holds
    // about ten of these.
    static constexpr auto hexDigits = [] {
        std::array<unsigned char, 128> table{};
        table.fill(0xFF);
        for (int d = 0; d < 10; ++d)
            table['0' + d] = static_cast<unsigned char>(d);
        for (int d = 0; d < 6; ++d) {
            table['a' + d] = static_cast<unsigned char>(10 + d);
            table['A' + d] = static_cast<unsigned char>(10 + d);
        }
        return table;
    }();
    const auto hex = [](char16_t d) -> unsigned { return d < 128 ? hexDigits[d] : 0xFF; };
    char bytes[16];
    unsigned bad = 0;
    for (int i = 0; i < 16; ++i) {
        const unsigned high = hex(c[digitStarts[i]]);
        const unsigned low = hex(c[digitStarts[i] + 1]);
        bad |= high | low;
        bytes[i] = char(high << 4 | low);
    }
    if (bad > 0xF)
        return std::nullopt;
    return QUuid::fromRfc4122(QByteArrayView(bytes, 16));
#endif
}

QString canonicalUuid(const QUuid &uuid)
{
    return uuid.toString(QUuid::WithoutBraces).toLower();
}

namespace {

// The fields of an internet date-time whose form and ranges are checked.
struct DateTimeFields
{
    QDate date;
    int hour = 0;
    int minute = 0;
    int second = 0;
    int millisecond = 0;
    int offsetSeconds = 0;
};

std::optional<DateTimeFields> readInternetDateTime(QStringView text)
{
    // yyyy-mm-ddThh:mm:ss
    if (text.size() < 20)
        return std::nullopt;
    const int year = digits(text, 0, 4);
    const int month = digits(text, 5, 2);
    const int day = digits(text, 8, 2);
    const int hour = digits(text, 11, 2);
    const int minute = digits(text, 14, 2);
    const int second = digits(text, 17, 2);
    if (year < 0 || month < 0 || day < 0 || hour < 0 || minute < 0 || second < 0)
        return std::nullopt;
    if (text.at(4) != u'-' || text.at(7) != u'-' || (text.at(10) != u'T' && text.at(10) != u't')
        || text.at(13) != u':' || text.at(16) != u':')
        return std::nullopt;
    const QDate date(year, month, day);
    if (!date.isValid() || hour > 23 || minute > 59 || second > 59)
        return std::nullopt;

    qsizetype pos = 19;
    int millisecond = 0;
    if (text.at(pos) == u'.') {
        ++pos;
        const qsizetype begin = pos;
        while (pos < text.size() && text.at(pos) >= u'0' && text.at(pos) <= u'9') {
            if (pos - begin < 3)
                millisecond = millisecond * 10 + (text.at(pos).unicode() - u'0');
            ++pos;
        }
        if (pos == begin)
            return std::nullopt;
        for (qsizetype n = pos - begin; n < 3; ++n)
            millisecond *= 10;
    }
    if (pos >= text.size())
        return std::nullopt;

    int offsetSeconds = 0;
    const QChar zone = text.at(pos);
    if (zone == u'Z' || zone == u'z') {
        if (pos + 1 != text.size())
            return std::nullopt;
    } else if (zone == u'+' || zone == u'-') {
        if (pos + 6 != text.size() || text.at(pos + 3) != u':')
            return std::nullopt;
        const int offsetHours = digits(text, pos + 1, 2);
        const int offsetMinutes = digits(text, pos + 4, 2);
        if (offsetHours < 0 || offsetMinutes < 0 || offsetHours > 23 || offsetMinutes > 59)
            return std::nullopt;
        offsetSeconds = (offsetHours * 60 + offsetMinutes) * 60 * (zone == u'-' ? -1 : 1);
    } else {
        return std::nullopt;
    }
    return DateTimeFields{date, hour, minute, second, millisecond, offsetSeconds};
}

} // namespace

std::optional<QDateTime> parseInternetDateTime(QStringView text)
{
    const auto fields = readInternetDateTime(text);
    if (!fields)
        return std::nullopt;
    const QTime time(fields->hour, fields->minute, fields->second, fields->millisecond);
    const QDateTime result = fields->offsetSeconds == 0
        ? QDateTime(fields->date, time, Qt::UTC)
        : QDateTime(fields->date, time, Qt::OffsetFromUTC, fields->offsetSeconds);
    if (!result.isValid())
        return std::nullopt;
    return result;
}

std::optional<qint64> parseInternetDateTimeMSecs(QStringView text)
{
    // Plain arithmetic on the checked fields: no QDateTime (and no time-zone
    // machinery) per time stamp when only the instant matters.
    const auto fields = readInternetDateTime(text);
    if (!fields)
        return std::nullopt;
    constexpr qint64 unixEpochJulianDay = 2440588;
    const qint64 seconds = (fields->date.toJulianDay() - unixEpochJulianDay) * 86400 + fields->hour * 3600
        + fields->minute * 60 + fields->second - fields->offsetSeconds;
    return seconds * 1000 + fields->millisecond;
}

bool isInternetDateTime(QStringView text)
{
    return readInternetDateTime(text).has_value();
}

std::optional<QByteArray> parseBase64(QStringView text)
{
    if (text.size() % 4 != 0)
        return std::nullopt;
    qsizetype padding = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == u'=') {
            ++padding;
            continue;
        }
        // Padding only at the very end.
        if (padding > 0 || !isBase64Char(c))
            return std::nullopt;
    }
    if (padding > 2)
        return std::nullopt;
    const QByteArray ascii = text.toLatin1();
    auto decoded = QByteArray::fromBase64Encoding(ascii, QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded)
        return std::nullopt;
    // Non-zero spare bits would decode to the same bytes as another text.
    if (decoded.decoded.toBase64() != ascii)
        return std::nullopt;
    return decoded.decoded;
}

} // namespace StrictFormats
