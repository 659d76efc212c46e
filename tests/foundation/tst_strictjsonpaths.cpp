// Member paths are built only when a reader is asked for one (or fails).
// Whatever way a key was spelled, and however long the key or the parent
// reader lived, the path and the error message must name the right member.

#include "foundation/decoding/strictjson.h"

#include <QtTest>

namespace {

const QByteArray document = R"({
    "outer": {"count": "x", "søn": 7, "list": [1, {"deep": "y"}, 3],
              "a_member_name_that_is_much_longer_than_forty_characters": false},
    "flag": null
})";

QString failurePath(const std::function<void()> &read)
{
    try {
        read();
    } catch (const DecodingError &error) {
        return error.message();
    }
    return QStringLiteral("no failure");
}

} // namespace

class TestStrictJsonPaths : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void failureNamesTheMember_data()
    {
        QTest::addColumn<int>("spelling");
        QTest::addColumn<QString>("message");
        QTest::newRow("UTF-16 literal") << 0 << "outer.count: expected an integer, found a string";
        QTest::newRow("char literal") << 1 << "outer.count: expected an integer, found a string";
        QTest::newRow("Latin-1 view") << 2 << "outer.count: expected an integer, found a string";
        QTest::newRow("temporary text") << 3 << "outer.count: expected an integer, found a string";
        QTest::newRow("non-ASCII key") << 4 << "outer.søn: expected a string, found a number";
        QTest::newRow("long key")
            << 5 << "outer.a_member_name_that_is_much_longer_than_forty_characters: expected a string, found a Boolean";
        QTest::newRow("array element") << 6 << "outer.list[1].deep: expected an integer, found a string";
        QTest::newRow("element itself") << 7 << "outer.list[0]: expected an object, found a number";
        QTest::newRow("null member") << 8 << "flag: must not be null";
        QTest::newRow("missing member") << 9 << "outer.absent: missing";
    }

    void failureNamesTheMember()
    {
        QFETCH(int, spelling);
        QFETCH(QString, message);
        const JsonObjectReader root = JsonObjectReader::parse(document);
        const auto read = [&] {
            // The object reader is a temporary: its members must not need it later.
            const auto member = [&]() -> JsonValueReader {
                switch (spelling) {
                case 0: return root.object(u"outer").required(u"count");
                case 1: return root.object("outer").required("count");
                case 2: return root.object(QLatin1StringView("outer")).required(QLatin1StringView("count"));
                case 3: return root.object(QString("out") + "er").required(QString("co") + "unt");
                case 4: return root.object(u"outer").required("søn");
                case 5: return root.object(u"outer").required(u"a_member_name_that_is_much_longer_than_forty_characters");
                case 6: return root.object(u"outer").required(u"list");
                case 7: return root.object(u"outer").required(u"list");
                case 8: return root.required(u"flag");
                default: return root.object(u"outer").required(u"absent");
                }
            }();
            if (spelling == 4 || spelling == 5)
                member.string();
            else if (spelling == 6)
                member.array([](const JsonValueReader &v) {
                    return v.json().isObject() ? v.object().integer(u"deep") : v.integer();
                });
            else if (spelling == 7)
                member.array([](const JsonValueReader &v) { return v.object().json().size(); });
            else
                member.integer();
        };
        QCOMPARE(failurePath(read), message);
    }

    void pathOnRequest_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("path");
        QTest::newRow("short") << "count" << "outer.count";
        QTest::newRow("non-ASCII") << "søn" << "outer.søn";
        QTest::newRow("long") << "a_member_name_that_is_much_longer_than_forty_characters"
                              << "outer.a_member_name_that_is_much_longer_than_forty_characters";
    }

    void pathOnRequest()
    {
        QFETCH(QString, key);
        QFETCH(QString, path);
        const JsonObjectReader root = JsonObjectReader::parse(document);
        std::optional<JsonValueReader> member;
        {
            const QString spelled = key; // gone before the path is asked for
            member = root.object(u"outer").optional(spelled);
        }
        QVERIFY(member.has_value());
        const JsonValueReader copy = *member; // a copy builds the same path
        QCOMPARE(copy.path(), path);
        QCOMPARE(member->path(), path);
        QVERIFY(root.object(u"outer").contains(key));
        QVERIFY(root.object(u"outer").has(key.toUtf8().constData()));
    }

    void givenPathIsKept()
    {
        const JsonValueReader value(QJsonValue(3), QStringLiteral("given[0]"));
        QCOMPARE(value.path(), QStringLiteral("given[0]"));
        QCOMPARE(failurePath([&] { value.string(); }), QStringLiteral("given[0]: expected a string, found a number"));
        const JsonObjectReader root = JsonObjectReader::parse(document);
        QVERIFY(!root.contains(u"absent"));
        QVERIFY(root.contains("flag"));
        QVERIFY(!root.has("flag"));
    }
};

QTEST_GUILESS_MAIN(TestStrictJsonPaths)
#include "tst_strictjsonpaths.moc"
