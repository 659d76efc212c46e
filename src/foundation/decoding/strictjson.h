#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QList>
#include <QString>
#include <QStringList>
#include <QUuid>
#include <exception>
#include <functional>
#include <initializer_list>
#include <optional>
#include <type_traits>
#include <utility>

// The strict decoding toolkit every record of the system is built on.
//
// A record decodes completely or throws one DecodingError; nothing is ever
// partly filled. Rules shared by every record:
//  - required members must be present and not null; optional members may be
//    absent or null (both give std::nullopt); a present optional member of the
//    wrong type still fails;
//  - JSON types are exact: a Boolean is never a number, a number never a text,
//    an integer never has a fraction and is exact in 64 bits;
//  - enumerations match their raw text exactly (case-sensitive);
//  - members the record does not know are ignored unless the record asks for
//    an exact key set.
//
// Typical use:
//   const auto root = JsonObjectReader::parse(bytes);
//   QString title = root.string("title");
//   std::optional<qint64> revision = root.optionalInteger("revision");
//   QList<Item> items = root.array("items", [](const JsonValueReader &v) { return Item::fromJson(v); });

// What went wrong and where, e.g. "packages[2].title: expected a string".
// Never shown to a person as is: the operation that decoded turns it into its
// own message.
class DecodingError : public std::exception
{
public:
    DecodingError(QString path, QString problem);

    const QString &path() const noexcept { return m_path; }
    const QString &problem() const noexcept { return m_problem; }
    // "path: problem", or just the problem at the document's root.
    QString message() const;
    const char *what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_path;
    QString m_problem;
    QByteArray m_utf8;
};

struct JsonParseOptions
{
    // Qt keeps the last of two equal keys; a record that must not guess can
    // refuse such documents outright.
    bool refuseDuplicateKeys = false;
};

namespace StrictJson {

// The most values one document may hold: objects and arrays count, each of
// their members and elements counts. Qt's tree and the records read from it
// cost up to ~100 bytes a value, so without a bound an answer at the tools'
// 32 MiB limit made of one-letter strings took 23 times its size while it was
// decoded. The answers of our tools spend 23 bytes or more on a value.
inline constexpr qsizetype valueLimit = 2000000;

// Parses a whole document (an object or an array at the top). Malformed
// text, trailing garbage, invalid UTF-8 and nesting deeper than Qt's limit
// all throw DecodingError with the parser's reason.
QJsonValue parse(const QByteArray &bytes, JsonParseOptions options = {});

// The member path of `key` below `path` ("a.b", or "b" at the root) and of
// element `index` ("a[3]").
QString memberPath(const QString &path, QAnyStringView key);
QString elementPath(const QString &path, qsizetype index);

// Name of a JSON type for messages ("a string", "null", ...).
QString typeName(const QJsonValue &value);

} // namespace StrictJson

class JsonObjectReader;

// One JSON value at a known path.
class JsonValueReader
{
public:
    JsonValueReader(QJsonValue value, QString path);

    const QJsonValue &json() const noexcept { return m_value; }
    // Built on first use: most values are read without ever needing it.
    const QString &path() const;
    bool isNull() const { return m_value.isNull() || m_value.isUndefined(); }

    QString string() const;
    qint64 integer() const;
    // Any JSON number, integral or not, as a double.
    double number() const;
    bool boolean() const;
    // The canonical 36-character form, either case.
    QUuid uuid() const;
    // An RFC 3339 internet date-time with its zone.
    QDateTime dateTime() const;
    // Canonical standard Base64 with padding.
    QByteArray base64() const;
    JsonObjectReader object() const;
    QJsonArray rawArray() const;

    // Each element of an array through `each(const JsonValueReader &)`, in
    // order; the first failing element fails the whole list.
    template<class F>
    auto array(F &&each) const -> QList<std::decay_t<std::invoke_result_t<F &, const JsonValueReader &>>>;
    QStringList stringArray() const;

    // An enumeration from its exact raw text. `fromRaw` maps a text to
    // std::optional<E> (std::nullopt for anything unknown).
    template<class FromRaw>
    auto enumeration(FromRaw &&fromRaw) const
        -> typename std::invoke_result_t<FromRaw &, const QString &>::value_type;

    [[noreturn]] void fail(const QString &problem) const;

private:
    friend class JsonObjectReader;

    // A member `key` or element `index` of the value at `parentPath`.
    JsonValueReader(QJsonValue value, const QString &parentPath, QAnyStringView key);
    JsonValueReader(QJsonValue value, const QString &parentPath, qsizetype index);

    [[noreturn]] void expected(const char *what) const;

    QJsonValue m_value;
    mutable QString m_path;
    mutable bool m_pathBuilt = true;
    // What the path is built from while it is not built yet. Short keys are
    // kept in place so that reading a member allocates nothing for its path.
    QString m_parentPath;
    qsizetype m_index = -1;
    static constexpr qsizetype inlineKeySize = 40;
    qsizetype m_keySize = 0;
    char16_t m_inlineKey[inlineKeySize] = {};
    QString m_longKey;
};

// One JSON object at a known path, read member by member.
class JsonObjectReader
{
public:
    // Throws unless `value` is an object.
    JsonObjectReader(const QJsonValue &value, QString path = {});
    // Parses a whole document whose top must be an object.
    static JsonObjectReader parse(const QByteArray &bytes, JsonParseOptions options = {});

    const QJsonObject &json() const noexcept { return m_object; }
    const QString &path() const noexcept { return m_path; }
    QString memberPath(QAnyStringView key) const { return StrictJson::memberPath(m_path, key); }

    // Present at all (null counts as present).
    bool contains(QAnyStringView key) const;
    // Present and not null.
    bool has(QAnyStringView key) const;

    // The member; throws when it is missing or null.
    JsonValueReader required(QAnyStringView key) const;
    // The member, or nullopt when it is missing or null.
    std::optional<JsonValueReader> optional(QAnyStringView key) const;

    QString string(QAnyStringView key) const { return required(key).string(); }
    std::optional<QString> optionalString(QAnyStringView key) const { return optionalMember(key, &JsonValueReader::string); }
    qint64 integer(QAnyStringView key) const { return required(key).integer(); }
    std::optional<qint64> optionalInteger(QAnyStringView key) const { return optionalMember(key, &JsonValueReader::integer); }
    double number(QAnyStringView key) const { return required(key).number(); }
    std::optional<double> optionalNumber(QAnyStringView key) const { return optionalMember(key, &JsonValueReader::number); }
    bool boolean(QAnyStringView key) const { return required(key).boolean(); }
    std::optional<bool> optionalBoolean(QAnyStringView key) const { return optionalMember(key, &JsonValueReader::boolean); }
    QUuid uuid(QAnyStringView key) const { return required(key).uuid(); }
    std::optional<QUuid> optionalUuid(QAnyStringView key) const { return optionalMember(key, &JsonValueReader::uuid); }
    QDateTime dateTime(QAnyStringView key) const { return required(key).dateTime(); }
    QByteArray base64(QAnyStringView key) const { return required(key).base64(); }
    QStringList stringArray(QAnyStringView key) const { return required(key).stringArray(); }
    std::optional<QStringList> optionalStringArray(QAnyStringView key) const
    {
        return optionalMember(key, &JsonValueReader::stringArray);
    }
    JsonObjectReader object(QAnyStringView key) const;

    // A nested record: `decode(const JsonObjectReader &)` builds it.
    template<class F>
    auto object(QAnyStringView key, F &&decode) const
        -> std::decay_t<std::invoke_result_t<F &, const JsonObjectReader &>>;
    template<class F>
    auto optionalObject(QAnyStringView key, F &&decode) const
        -> std::optional<std::decay_t<std::invoke_result_t<F &, const JsonObjectReader &>>>;

    template<class F>
    auto array(QAnyStringView key, F &&each) const
        -> QList<std::decay_t<std::invoke_result_t<F &, const JsonValueReader &>>>
    {
        return required(key).array(std::forward<F>(each));
    }

    template<class FromRaw>
    auto enumeration(QAnyStringView key, FromRaw &&fromRaw) const
    {
        return required(key).enumeration(std::forward<FromRaw>(fromRaw));
    }
    template<class FromRaw>
    auto optionalEnumeration(QAnyStringView key, FromRaw &&fromRaw) const
    {
        return optionalMember(key, [&](const JsonValueReader &member) { return member.enumeration(fromRaw); });
    }

    // Fails unless the object has exactly these keys, no more and no fewer
    // (null values count as present; their types are the members' business).
    void requireExactKeys(std::initializer_list<const char *> keys) const;
    void requireExactKeys(const QStringList &keys) const;

    [[noreturn]] void fail(const QString &problem) const;

private:
    // `read` applied to the member when it is present and not null.
    template<class Read>
    auto optionalMember(QAnyStringView key, Read &&read) const
        -> std::optional<std::decay_t<std::invoke_result_t<Read &, const JsonValueReader &>>>
    {
        if (auto member = optional(key))
            return std::invoke(read, *member);
        return std::nullopt;
    }

    QJsonObject m_object;
    QString m_path;
};

// ---- templates ----

template<class F>
auto JsonValueReader::array(F &&each) const
    -> QList<std::decay_t<std::invoke_result_t<F &, const JsonValueReader &>>>
{
    const QJsonArray elements = rawArray();
    QList<std::decay_t<std::invoke_result_t<F &, const JsonValueReader &>>> result;
    result.reserve(elements.size());
    const QString &parentPath = path();
    for (qsizetype i = 0; i < elements.size(); ++i)
        result.append(each(JsonValueReader(elements.at(i), parentPath, i)));
    return result;
}

template<class FromRaw>
auto JsonValueReader::enumeration(FromRaw &&fromRaw) const
    -> typename std::invoke_result_t<FromRaw &, const QString &>::value_type
{
    const QString raw = string();
    if (auto value = fromRaw(raw))
        return *value;
    fail(QStringLiteral("unknown value \"%1\"").arg(raw));
}

template<class F>
auto JsonObjectReader::object(QAnyStringView key, F &&decode) const
    -> std::decay_t<std::invoke_result_t<F &, const JsonObjectReader &>>
{
    return decode(object(key));
}

template<class F>
auto JsonObjectReader::optionalObject(QAnyStringView key, F &&decode) const
    -> std::optional<std::decay_t<std::invoke_result_t<F &, const JsonObjectReader &>>>
{
    return optionalMember(key, [&](const JsonValueReader &member) { return decode(member.object()); });
}

// A raw-value table lookup for enumerations: exact, case-sensitive.
//   static const std::pair<const char *, Kind> table[] = {{"a", Kind::A}, ...};
//   std::optional<Kind> k = enumFromRaw(table, text);
template<class Range>
auto enumFromRaw(const Range &table, QStringView raw)
    -> std::optional<std::decay_t<decltype(std::begin(table)->second)>>
{
    for (const auto &[text, value] : table)
        if (raw == QLatin1StringView(text))
            return value;
    return std::nullopt;
}

// The raw text of `value` in such a table; empty when the table lacks it.
template<class Range, class E>
QString rawFromEnum(const Range &table, E value)
{
    for (const auto &[text, candidate] : table)
        if (candidate == value)
            return QString::fromLatin1(text);
    return {};
}
