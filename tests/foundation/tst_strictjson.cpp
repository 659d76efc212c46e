#include "foundation/decoding/strictformats.h"
#include "foundation/decoding/jsonreader.h"
#include "foundation/decoding/strictjson.h"
#include "../common/peakmemory.h"

#include <QtTest>

namespace {

enum class Colour { Red, Green };

std::optional<Colour> colourFromRaw(const QString &raw)
{
    static const std::pair<const char *, Colour> table[] = {{"red", Colour::Red}, {"green", Colour::Green}};
    return enumFromRaw(table, raw);
}

struct Sample
{
    QString name;
    std::optional<qint64> count;
    QList<Colour> colours;
    bool flag = false;

    static Sample decode(const QByteArray &bytes)
    {
        const auto r = JsonObjectReader::parse(bytes);
        Sample s;
        s.name = r.string("name");
        s.count = r.optionalInteger("count");
        s.colours = r.array("colours", [](const JsonValueReader &v) { return v.enumeration(colourFromRaw); });
        s.flag = r.object("inner", [](const JsonObjectReader &inner) { return inner.boolean("flag"); });
        return s;
    }
};

} // namespace

class TestStrictJson : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void parseRefuses_data();
    void parseRefuses();
    void grammar_data();
    void grammar();
    void duplicateKeys_data();
    void duplicateKeys();
    void integers_data();
    void integers();
    void memberTypes_data();
    void memberTypes();
    void nestedFailureNamesThePath_data();
    void nestedFailureNamesThePath();
    void wholeRecordDecodes();
    void exactKeys_data();
    void exactKeys();
    void uuid_data();
    void uuid();
    void internetDateTime_data();
    void internetDateTime();
    void base64_data();
    void base64();
    void hostileInputNeverCrashes();
    void manySmallValues_data();
    void manySmallValues();
};

void TestStrictJson::parseRefuses_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("truncated object") << QByteArray(R"({"a": [1, 2)");
    QTest::newRow("trailing garbage") << QByteArray(R"({"a": 1} x)");
    QTest::newRow("bare number") << QByteArray("3");
    QTest::newRow("bare string") << QByteArray(R"("text")");
    QTest::newRow("invalid UTF-8") << QByteArray("{\"a\": \"\xff\xfe\"}");
    QTest::newRow("deep nesting") << QByteArray(100000, '[') + QByteArray(100000, ']');
    QTest::newRow("unterminated deep nesting") << QByteArray(100000, '[');
    QTest::newRow("single quotes") << QByteArray("{'a': 1}");
}

void TestStrictJson::parseRefuses()
{
    QFETCH(QByteArray, bytes);
    QVERIFY_THROWS_EXCEPTION(DecodingError, StrictJson::parse(bytes));
}

// Exactly the JSON grammar: each refused document names the offset of its
// first fault; each accepted one sits beside a refused neighbour.
void TestStrictJson::grammar_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("offset"); // -1: accepted
    const auto row = [](const char *name, const QByteArray &bytes, int offset) {
        QTest::newRow(name) << bytes << offset;
    };
    row("2.0", "[2.0]", -1);
    row("2.", "[2.]", 3);
    row("0.2", "[0.2]", -1);
    row(".2", "[.2]", 1);
    row("-2.", "[-2.]", 4);
    row("-0", "[-0]", -1);
    row("-", "[-]", 2);
    row("2e3, 1E+2, 1e-2", "[2e3, 1E+2, 1e-2]", -1);
    row("0.e1", "[0.e1]", 3);
    row("2.e3", "[2.e3]", 3);
    row("exponent without digits", "[2e]", 3);
    row("leading zero", "[01]", 2);
    row("plus sign", "[+1]", 1);
    row("hex number", "[0x1]", 2);
    row("NaN", "[NaN]", 1);
    row("every legal escape", R"(["\" \\ \/ \b \f \n \r \t \u00e9 \uD83D\uDE00"])", -1);
    row("\\x", R"(["\x41"])", 2);
    row("\\0", R"(["\0"])", 2);
    row("backslash before a letter", R"(["\a"])", 2);
    row("\\u with three hex digits", R"(["\u123"])", 2);
    row("\\u with a non-hex digit", R"(["\u12g4"])", 2);
    row("escaped control characters", R"(["\u0000\u001f"])", -1);
    row("raw control character", QByteArray("[\"a\x01\"]"), 3);
    row("raw tab", "[\"a\tb\"]", 3);
    row("raw newline", "[\"a\nb\"]", 3);
    row("raw NUL", QByteArray("[\"\0\"]", 5), 2);
    row("white space between tokens", " \t\r\n{ \"a\" :\n[ 1 , true , null ] }\n", -1);
    row("form feed is no white space", "[1,\f2]", 3);
    row("byte order mark", "\xEF\xBB\xBF[]", 0);
    row("trailing comma in an array", "[1,]", 3);
    row("trailing comma in an object", R"({"a":1,})", 7);
    row("missing colon", R"({"a" 1})", 5);
    row("key not a string", "{1:2}", 1);
    row("truncated literal", "[tru]", 1);
    row("capitalised literal", "[True]", 1);
    row("comment", "[1]//", 3);
    row("second document", "[1][2]", 3);
    row("multi-byte UTF-8", "[\"\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80\"]", -1);
    row("overlong encoding", "[\"\xC0\xAF\"]", 2);
    row("encoded surrogate", "[\"\xED\xA0\x80\"]", 2);
    row("beyond U+10FFFF", "[\"\xF4\x90\x80\x80\"]", 2);
    row("sequence cut by the quote", "[\"\xE2\x82\"]", 2);
    row("lone continuation byte", "[\"\x80\"]", 2);
    row("1024 levels", QByteArray(1024, '[') + QByteArray(1024, ']'), -1);
    row("1025 levels", QByteArray(1025, '[') + QByteArray(1025, ']'), 1024);
}

void TestStrictJson::grammar()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, offset);
    if (offset < 0) {
        StrictJson::parse(bytes, {.refuseDuplicateKeys = true});
        return;
    }
    try {
        StrictJson::parse(bytes);
        QFAIL("accepted");
    } catch (const DecodingError &error) {
        QVERIFY2(error.problem().startsWith(QStringLiteral("invalid JSON at offset %1:").arg(offset)),
                 qPrintable(error.problem()));
    }
}

void TestStrictJson::duplicateKeys_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("duplicate");
    QTest::newRow("plain repeat") << QByteArray(R"({"a": 1, "a": 2})") << true;
    QTest::newRow("escaped spelling of the same key") << QByteArray(R"({"a": 1, "\u0061": 2})") << true;
    QTest::newRow("nested repeat") << QByteArray(R"({"x": [{"b": 1, "c": {}, "b": 3}]})") << true;
    QTest::newRow("same key in sibling objects") << QByteArray(R"([{"a": 1}, {"a": 2}])") << false;
    QTest::newRow("key text as a value") << QByteArray(R"({"a": "a", "b": "a"})") << false;
    QTest::newRow("quote and comma inside key") << QByteArray(R"({"a\",": 1, "a": 2})") << false;
    QTest::newRow("same key at two levels") << QByteArray(R"({"a": {"a": 1}})") << false;
    // Equal length and equal first, middle and last bytes: told apart only by comparing.
    QTest::newRow("keys alike but distinct") << QByteArray(R"({"axyb": 1, "azyb": 2})") << false;
    QTest::newRow("repeat among keys alike") << QByteArray(R"({"axyb": 1, "azyb": 2, "axyb": 3})") << true;
    QTest::newRow("surrogate pair and raw UTF-8") << QByteArray("{\"\xF0\x9F\x98\x80\": 1, \"\\ud83d\\ude00\": 2}") << true;
    QByteArray many = "{";
    for (int i = 0; i < 40; ++i)
        many += "\"k" + QByteArray::number(i) + "\": 0, ";
    QTest::newRow("repeat among many keys") << many + "\"k7\": 1}" << true;
    QTest::newRow("many distinct keys") << many + "\"k40\": 1}" << false;
    QTest::newRow("key again after a closed object") << QByteArray(R"({"a": {"b": 1}, "b": 2})") << false;
}

void TestStrictJson::duplicateKeys()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, duplicate);
    StrictJson::parse(bytes); // Qt alone lets the last one win
    if (duplicate)
        QVERIFY_THROWS_EXCEPTION(DecodingError, StrictJson::parse(bytes, {.refuseDuplicateKeys = true}));
    else
        StrictJson::parse(bytes, {.refuseDuplicateKeys = true});
}

void TestStrictJson::integers_data()
{
    QTest::addColumn<QByteArray>("literal");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<qint64>("expected");
    QTest::newRow("five billion") << QByteArray("5000000000") << true << qint64(5000000000LL);
    QTest::newRow("negative") << QByteArray("-42") << true << qint64(-42);
    QTest::newRow("above 2^53, exact") << QByteArray("9007199254740993") << true << qint64(9007199254740993LL);
    QTest::newRow("int64 max") << QByteArray("9223372036854775807") << true << std::numeric_limits<qint64>::max();
    QTest::newRow("int64 min") << QByteArray("-9223372036854775808") << true << std::numeric_limits<qint64>::min();
    QTest::newRow("integral fraction form") << QByteArray("3.0") << true << qint64(3);
    QTest::newRow("exponent form") << QByteArray("1e3") << true << qint64(1000);
    QTest::newRow("fraction") << QByteArray("3.5") << false << qint64(0);
    QTest::newRow("beyond int64") << QByteArray("9223372036854775808") << false << qint64(0);
    QTest::newRow("huge exponent") << QByteArray("1e300") << false << qint64(0);
    QTest::newRow("exponent beyond int64") << QByteArray("1e19") << false << qint64(0);
    QTest::newRow("negative fraction") << QByteArray("-0.5") << false << qint64(0);
    QTest::newRow("string") << QByteArray("\"3\"") << false << qint64(0);
    QTest::newRow("Boolean") << QByteArray("true") << false << qint64(0);
}

void TestStrictJson::integers()
{
    QFETCH(QByteArray, literal);
    QFETCH(bool, valid);
    QFETCH(qint64, expected);
    const auto r = JsonObjectReader::parse("{\"n\": " + literal + "}");
    if (valid)
        QCOMPARE(r.integer(u"n"), expected);
    else
        QVERIFY_THROWS_EXCEPTION(DecodingError, r.integer(u"n"));
}

void TestStrictJson::memberTypes_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("valid");
    QTest::newRow("Boolean is not a number") << QByteArray(R"({"m": true})") << "number" << false;
    QTest::newRow("number is not a Boolean") << QByteArray(R"({"m": 1})") << "boolean" << false;
    QTest::newRow("text is not a Boolean") << QByteArray(R"({"m": "true"})") << "boolean" << false;
    QTest::newRow("number is not a string") << QByteArray(R"({"m": 3})") << "string" << false;
    QTest::newRow("null required string") << QByteArray(R"({"m": null})") << "string" << false;
    QTest::newRow("missing required string") << QByteArray(R"({})") << "string" << false;
    QTest::newRow("null optional string") << QByteArray(R"({"m": null})") << "optionalString" << true;
    QTest::newRow("missing optional string") << QByteArray(R"({})") << "optionalString" << true;
    QTest::newRow("mistyped optional string") << QByteArray(R"({"m": 1})") << "optionalString" << false;
    QTest::newRow("enumeration exact") << QByteArray(R"({"m": "green"})") << "enumeration" << true;
    QTest::newRow("enumeration case differs") << QByteArray(R"({"m": "Green"})") << "enumeration" << false;
    QTest::newRow("enumeration unknown") << QByteArray(R"({"m": "blue"})") << "enumeration" << false;
    QTest::newRow("string array") << QByteArray(R"({"m": ["a", "b"]})") << "stringArray" << true;
    QTest::newRow("string array with number") << QByteArray(R"({"m": ["a", 2]})") << "stringArray" << false;
    QTest::newRow("object is not an array") << QByteArray(R"({"m": {}})") << "stringArray" << false;
}

void TestStrictJson::memberTypes()
{
    QFETCH(QByteArray, json);
    QFETCH(QString, kind);
    QFETCH(bool, valid);
    const auto r = JsonObjectReader::parse(json);
    auto read = [&] {
        if (kind == "number")
            r.number(u"m");
        else if (kind == "boolean")
            r.boolean(u"m");
        else if (kind == "string")
            r.string(u"m");
        else if (kind == "optionalString")
            r.optionalString(u"m");
        else if (kind == "enumeration")
            r.enumeration(u"m", colourFromRaw);
        else if (kind == "stringArray")
            r.stringArray(u"m");
    };
    if (valid)
        read();
    else
        QVERIFY_THROWS_EXCEPTION(DecodingError, read());
}

void TestStrictJson::nestedFailureNamesThePath_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QString>("message");
    QTest::newRow("bad array element")
        << QByteArray(R"({"name": "x", "colours": ["red", "green", "Red"], "inner": {"flag": true}})")
        << "colours[2]: unknown value \"Red\"";
    QTest::newRow("nested member mistyped")
        << QByteArray(R"({"name": "x", "colours": [], "inner": {"flag": 0}})")
        << "inner.flag: expected true or false, found a number";
    QTest::newRow("missing member") << QByteArray(R"({"colours": [], "inner": {"flag": true}})") << "name: missing";
    QTest::newRow("top is an array") << QByteArray(R"([1])") << "expected an object, found an array";
}

void TestStrictJson::nestedFailureNamesThePath()
{
    QFETCH(QByteArray, json);
    QFETCH(QString, message);
    try {
        Sample::decode(json);
        QFAIL("decoded");
    } catch (const DecodingError &error) {
        QCOMPARE(error.message(), message);
    }
}

void TestStrictJson::wholeRecordDecodes()
{
    const Sample s = Sample::decode(
        R"({"name": "x", "count": null, "colours": ["red", "green"], "inner": {"flag": true, "extra": 1}, "unknown": [1]})");
    QCOMPARE(s.name, "x");
    QVERIFY(!s.count);
    QCOMPARE(s.colours, (QList<Colour>{Colour::Red, Colour::Green}));
    QVERIFY(s.flag);
}

void TestStrictJson::exactKeys_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<bool>("valid");
    QTest::newRow("exact") << QByteArray(R"({"a": 1, "b": null})") << true;
    QTest::newRow("extra member") << QByteArray(R"({"a": 1, "b": 2, "c": 3})") << false;
    QTest::newRow("missing member") << QByteArray(R"({"a": 1})") << false;
    QTest::newRow("case differs") << QByteArray(R"({"a": 1, "B": 2})") << false;
}

void TestStrictJson::exactKeys()
{
    QFETCH(QByteArray, json);
    QFETCH(bool, valid);
    const auto r = JsonObjectReader::parse(json);
    if (valid)
        r.requireExactKeys({"a", "b"});
    else
        QVERIFY_THROWS_EXCEPTION(DecodingError, r.requireExactKeys({"a", "b"}));
}

void TestStrictJson::uuid_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::newRow("lower case") << "3f2504e0-4f89-11d3-9a0c-0305e82c3301" << true;
    QTest::newRow("upper case") << "3F2504E0-4F89-11D3-9A0C-0305E82C3301" << true;
    QTest::newRow("braces") << "{3f2504e0-4f89-11d3-9a0c-0305e82c3301}" << false;
    QTest::newRow("trailing junk") << "3f2504e0-4f89-11d3-9a0c-0305e82c3301x" << false;
    QTest::newRow("trailing space") << "3f2504e0-4f89-11d3-9a0c-0305e82c3301 " << false;
    QTest::newRow("no hyphens") << "3f2504e04f8911d39a0c0305e82c3301" << false;
    QTest::newRow("hyphen misplaced") << "3f2504e04-f89-11d3-9a0c-0305e82c3301" << false;
    QTest::newRow("non-hex digit") << "3f2504e0-4f89-11d3-9a0c-0305e82c330g" << false;
    QTest::newRow("hyphen where a digit belongs") << "3f2504e0-4f89-11d3-9a0c-0305e82c33-1" << false;
    QTest::newRow("digit where a hyphen belongs") << "3f2504e0-4f89-11d309a0c-0305e82c3301" << false;
    QTest::newRow("neighbours of the digit ranges") << "3f2504e0-4f89-11d3-9a0c-0305e82c/:`G" << false;
    QTest::newRow("letter above U+00FF ending in 0x41") << QStringLiteral("3f2504e0-4f89-11d3-9a0c-0305e82c330") + QChar(0x0141) << false;
    QTest::newRow("character from U+8000 up") << QStringLiteral("3f2504e0-4f89-11d3-9a0c-0305e82c330") + QChar(0x8031) << false;
    QTest::newRow("Latin-1 letter") << QStringLiteral("3f2504e0-4f89-11d3-9a0c-0305e82c330") + QChar(0xE1) << false;
    QTest::newRow("mixed case, every digit") << "0123456789-abcd-EFAB-cdef-0123456789ab" << false;
    QTest::newRow("every hex digit") << "01234567-89ab-cdef-ABCD-EF0123456789" << true;
    QTest::newRow("empty") << "" << false;
}

void TestStrictJson::uuid()
{
    QFETCH(QString, text);
    QFETCH(bool, valid);
    const auto parsed = StrictFormats::parseUuid(text);
    QCOMPARE(parsed.has_value(), valid);
    if (valid)
        QCOMPARE(StrictFormats::canonicalUuid(*parsed), text.toLower());
}

void TestStrictJson::internetDateTime_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<qint64>("msecsSinceEpoch");
    QTest::addColumn<int>("offset");
    QTest::newRow("UTC") << "2024-03-01T12:30:45Z" << true << qint64(1709296245000) << 0;
    QTest::newRow("lower-case t and z") << "2024-03-01t12:30:45z" << true << qint64(1709296245000) << 0;
    QTest::newRow("fraction") << "2024-03-01T12:30:45.1234Z" << true << qint64(1709296245123) << 0;
    QTest::newRow("positive offset") << "2024-03-01T14:30:45+02:00" << true << qint64(1709296245000) << 7200;
    QTest::newRow("negative offset") << "2024-03-01T07:00:45-05:30" << true << qint64(1709296245000) << -19800;
    QTest::newRow("leap day") << "2024-02-29T00:00:00Z" << true << qint64(1709164800000) << 0;
    QTest::newRow("bare date") << "2024-03-01" << false << qint64(0) << 0;
    QTest::newRow("no zone") << "2024-03-01T12:30:45" << false << qint64(0) << 0;
    QTest::newRow("space for T") << "2024-03-01 12:30:45Z" << false << qint64(0) << 0;
    QTest::newRow("empty fraction") << "2024-03-01T12:30:45.Z" << false << qint64(0) << 0;
    QTest::newRow("offset without colon") << "2024-03-01T12:30:45+0200" << false << qint64(0) << 0;
    QTest::newRow("not a leap year") << "2023-02-29T00:00:00Z" << false << qint64(0) << 0;
    QTest::newRow("hour 24") << "2024-03-01T24:00:00Z" << false << qint64(0) << 0;
    QTest::newRow("month 13") << "2024-13-01T00:00:00Z" << false << qint64(0) << 0;
    QTest::newRow("trailing junk") << "2024-03-01T12:30:45Zx" << false << qint64(0) << 0;
    QTest::newRow("short year") << "24-03-01T12:30:45Z" << false << qint64(0) << 0;
}

void TestStrictJson::internetDateTime()
{
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QFETCH(qint64, msecsSinceEpoch);
    QFETCH(int, offset);
    const auto parsed = StrictFormats::parseInternetDateTime(text);
    QCOMPARE(parsed.has_value(), valid);
    if (valid) {
        QCOMPARE(parsed->toMSecsSinceEpoch(), msecsSinceEpoch);
        QCOMPARE(parsed->offsetFromUtc(), offset);
    }
}

void TestStrictJson::base64_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("empty") << "" << true << QByteArray();
    QTest::newRow("two pads") << "YQ==" << true << QByteArray("a");
    QTest::newRow("one pad") << "YWI=" << true << QByteArray("ab");
    QTest::newRow("no pad") << "YWJj" << true << QByteArray("abc");
    QTest::newRow("plus and slash") << "+/8=" << true << QByteArray("\xfb\xff", 2);
    QTest::newRow("missing padding") << "YQ" << false << QByteArray();
    QTest::newRow("white space") << "YW Jj" << false << QByteArray();
    QTest::newRow("newline") << "YWJj\n" << false << QByteArray();
    QTest::newRow("URL alphabet") << "-_8=" << false << QByteArray();
    QTest::newRow("padding in the middle") << "YQ==YQ==" << false << QByteArray();
    QTest::newRow("three pads") << "Y===" << false << QByteArray();
    QTest::newRow("non-zero spare bits") << "YR==" << false << QByteArray();
}

void TestStrictJson::base64()
{
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QFETCH(QByteArray, bytes);
    const auto parsed = StrictFormats::parseBase64(text);
    QCOMPARE(parsed.has_value(), valid);
    if (valid)
        QCOMPARE(*parsed, bytes);
}

void TestStrictJson::hostileInputNeverCrashes()
{
    const QByteArray good = R"({"name": "x", "count": 2, "colours": ["red"], "inner": {"flag": true}})";
    QList<QByteArray> inputs;
    for (qsizetype n = 0; n < good.size(); ++n)
        inputs << good.left(n);
    inputs << QByteArray(100000, '{') << QByteArray(100000, '[') << "{\"name\":" + QByteArray(5000, '[');
    for (const QByteArray &input : std::as_const(inputs)) {
        try {
            Sample::decode(input);
            QFAIL("a truncated document decoded");
        } catch (const DecodingError &) {
        }
    }
    Sample::decode(good);
}

// Under AddressSanitizer freed blocks wait in a quarantine before they are
// reused; a small one keeps the memory bound below the same in both builds.
extern "C" const char *__asan_default_options()
{
    return "quarantine_size_mb=4";
}

// An answer as large as a tool may give, of the smallest values: decoding it
// costs a bounded multiple of its size, or it is refused.
void TestStrictJson::manySmallValues_data()
{
    QTest::addColumn<qsizetype>("strings");
    QTest::addColumn<bool>("decodes");
    // The object and its array count too.
    QTest::newRow("the most values taken") << StrictJson::valueLimit - 2 << true;
    QTest::newRow("one value more") << StrictJson::valueLimit - 1 << false;
    QTest::newRow("32 MiB of one-letter strings") << qsizetype(33554432 / 4 - 3) << false;
}

void TestStrictJson::manySmallValues()
{
    QFETCH(qsizetype, strings);
    QFETCH(bool, decodes);
    QByteArray document;
    document.reserve(strings * 4 + 16);
    document += "{\"s\":[";
    for (qsizetype i = 0; i < strings; ++i)
        document += i ? ",\"a\"" : "\"a\"";
    document += "]}";
    if (!PeakMemory::reset())
        QSKIP("this kernel cannot reset the peak memory figure");
    const qint64 before = PeakMemory::peak();
    qsizetype decoded = -1;
    try {
        decoded = JsonObjectReader::parse(document).stringArray("s").size();
    } catch (const DecodingError &error) {
        QVERIFY2(!decodes, qPrintable(error.message()));
        QCOMPARE(error.message(), QStringLiteral("more than %1 values").arg(StrictJson::valueLimit));
    }
    const qint64 growth = PeakMemory::peak() - before;
    if (decodes)
        QCOMPARE(decoded, strings);
    // Two million small blocks: the sanitizer's red zones about double each.
#ifdef __SANITIZE_ADDRESS__
    const qint64 bound = qint64(320) * 1024 * 1024;
#else
    const qint64 bound = qint64(192) * 1024 * 1024;
#endif
    QVERIFY2(growth < bound, qPrintable(QStringLiteral("peak memory grew by %1 bytes").arg(growth)));

    // The pull reader takes and refuses the same documents.
    qsizetype read = 0;
    try {
        JsonReader reader(document);
        reader.beginObject();
        std::string_view key;
        while (reader.nextKey(key)) {
            reader.beginArray();
            while (reader.nextElement()) {
                reader.string();
                ++read;
            }
        }
        reader.finish();
        QVERIFY(decodes);
        QCOMPARE(read, strings);
    } catch (const DecodingError &error) {
        QVERIFY2(!decodes, qPrintable(error.message()));
        QCOMPARE(error.message(), QStringLiteral("more than %1 values").arg(StrictJson::valueLimit));
    }
}

QTEST_GUILESS_MAIN(TestStrictJson)
#include "tst_strictjson.moc"
