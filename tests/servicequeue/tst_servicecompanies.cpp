// The company page: decoding and the check every page passes before use.
#include <QtTest>

#include "foundation/errors.h"
#include "foundation/localization.h"
#include "servicequeue/servicecompanies.h"
#include "servicequeue/serviceidentity.h"

namespace {

QUuid companyId(int n)
{
    return QUuid(QStringLiteral("00000000-0000-4000-8000-%1").arg(n, 12, 10, QLatin1Char('0')));
}

ServiceCompanyPage page(int count, std::optional<QUuid> next = std::nullopt, int first = 1)
{
    ServiceCompanyPage p;
    p.operatorID = QUuid::createUuid();
    for (int i = 0; i < count; ++i)
        p.companies.append(ServiceCompany{companyId(first + i), QStringLiteral("Firma %1").arg(first + i)});
    p.nextCompanyID = next;
    return p;
}

bool passes(const ServiceCompanyPage &p, std::optional<QUuid> after = std::nullopt)
{
    try {
        p.validate(after);
        return true;
    } catch (const BridgeError &error) {
        if (error.message() != QStringLiteral("Listen over virksomheder kunne ikke kontrolleres. Hent den igen."))
            qWarning() << "unexpected message" << error.message();
        return false;
    }
}

ServiceCompanyPage named(const QString &name)
{
    ServiceCompanyPage p = page(1);
    p.companies[0].name = name;
    return p;
}

} // namespace

Q_DECLARE_METATYPE(ServiceCompanyPage)
Q_DECLARE_METATYPE(std::optional<QUuid>)

class TestServiceCompanies : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { EditorLocalization::overrideLanguageForTesting(QStringLiteral("da")); }
    void pageCheck_data();
    void pageCheck();
    void decoding_data();
    void decoding();
    void identity();
};

void TestServiceCompanies::pageCheck_data()
{
    QTest::addColumn<ServiceCompanyPage>("page");
    QTest::addColumn<std::optional<QUuid>>("after");
    QTest::addColumn<bool>("ok");
    const std::optional<QUuid> none;

    QTest::newRow("empty, last") << page(0) << none << true;
    QTest::newRow("empty, last, with cursor") << page(0) << std::optional(companyId(9)) << true;
    QTest::newRow("empty with next") << page(0, companyId(1)) << none << false;
    QTest::newRow("50 without next") << page(50) << none << true;
    QTest::newRow("50 with next = last") << page(50, companyId(50)) << none << true;
    QTest::newRow("49 with next = last") << page(49, companyId(49)) << none << false;
    QTest::newRow("50 with next = another") << page(50, companyId(10)) << none << false;
    QTest::newRow("51") << page(51) << none << false;

    ServiceCompanyPage duplicate = page(2);
    duplicate.companies[1].id = duplicate.companies[0].id;
    QTest::newRow("same id twice") << duplicate << none << false;
    ServiceCompanyPage descending = page(2);
    std::swap(descending.companies[0], descending.companies[1]);
    QTest::newRow("descending") << descending << none << false;

    // Hexadecimal letters: "a" sorts after "9" in lower case, so the keys,
    // not the UUIDs' own ordering, decide.
    ServiceCompanyPage hex;
    hex.companies = {ServiceCompany{QUuid("00000000-0000-4000-8000-00000000000f"), "x"},
                     ServiceCompany{QUuid("a0000000-0000-4000-8000-000000000000"), "y"}};
    QTest::newRow("lower-case byte order") << hex << none << true;

    QTest::newRow("cursor equal to first") << page(3, {}, 5) << std::optional(companyId(5)) << false;
    QTest::newRow("cursor just before first") << page(3, {}, 5) << std::optional(companyId(4)) << true;
    QTest::newRow("cursor after first") << page(3, {}, 5) << std::optional(companyId(6)) << false;

    QTest::newRow("blank name") << named(QStringLiteral(" \n\t ")) << none << false;
    QTest::newRow("empty name") << named(QString()) << none << false;
    QTest::newRow("500 units") << named(QString(500, u'a')) << none << true;
    QTest::newRow("501 units") << named(QString(501, u'a')) << none << false;
    QTest::newRow("499 wrapped in spaces") << named(u' ' + QString(499, u'a') + u' ') << none << false;
    QTest::newRow("astral counts two") << named(QString(498, u'a') + QString::fromUcs4(U"\U0001F3AC")) << none << true;
    QTest::newRow("astral over limit") << named(QString(499, u'a') + QString::fromUcs4(U"\U0001F3AC")) << none << false;
    QTest::newRow("NUL inside") << named(QStringLiteral("Fir") + QChar(u'\0') + QStringLiteral("ma")) << none << false;
}

void TestServiceCompanies::pageCheck()
{
    QFETCH(ServiceCompanyPage, page);
    QFETCH(std::optional<QUuid>, after);
    QFETCH(bool, ok);
    QCOMPARE(passes(page, after), ok);
}

void TestServiceCompanies::decoding_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<bool>("hasNext");
    const QByteArray op = R"("operatorID":"11111111-2222-4333-8444-555555555555")";
    QTest::newRow("minimal") << QByteArray("{" + op + R"(,"companies":[]})") << true << false;
    QTest::newRow("next null") << QByteArray("{" + op + R"(,"companies":[],"nextCompanyID":null})") << true << false;
    QTest::newRow("next upper case")
        << QByteArray("{" + op + R"(,"companies":[],"nextCompanyID":"AAAAAAAA-2222-4333-8444-555555555555"})") << true << true;
    QTest::newRow("no operator") << QByteArray(R"({"companies":[]})") << false << false;
    QTest::newRow("snake case key") << QByteArray(R"({"operator_id":"11111111-2222-4333-8444-555555555555","companies":[]})") << false << false;
    QTest::newRow("company id braces")
        << QByteArray("{" + op + R"(,"companies":[{"id":"{11111111-2222-4333-8444-555555555555}","name":"A"}]})") << false << false;
    QTest::newRow("company name number")
        << QByteArray("{" + op + R"(,"companies":[{"id":"11111111-2222-4333-8444-555555555555","name":5}]})") << false << false;
}

void TestServiceCompanies::decoding()
{
    QFETCH(QByteArray, json);
    QFETCH(bool, ok);
    QFETCH(bool, hasNext);
    try {
        const auto p = ServiceCompanyPage::decode(json);
        QVERIFY(ok);
        QCOMPARE(p.nextCompanyID.has_value(), hasNext);
    } catch (const DecodingError &) {
        QVERIFY(!ok);
    }
}

void TestServiceCompanies::identity()
{
    const QUrl session("tavlon-session://a");
    const QUrl tools = QUrl::fromLocalFile("/tools");
    QVERIFY(!ServiceIdentity::form(std::nullopt, tools, false));
    QCOMPARE(ServiceIdentity::form(std::nullopt, tools, false), ServiceIdentity::form(std::nullopt, tools, true));
    const auto normal = ServiceIdentity::form(session, tools, false);
    const auto test = ServiceIdentity::form(session, tools, true);
    QCOMPARE(normal->connectionIdentity, QStringLiteral("production"));
    QCOMPARE(test->connectionIdentity, QStringLiteral("unsupported-local-test"));
    QVERIFY(!(*normal == *test));
    QVERIFY(!(*normal == *ServiceIdentity::form(QUrl("tavlon-session://b"), tools, false)));
    QVERIFY(!(*normal == *ServiceIdentity::form(session, QUrl::fromLocalFile("/other"), false)));
}

QTEST_GUILESS_MAIN(TestServiceCompanies)
#include "tst_servicecompanies.moc"
