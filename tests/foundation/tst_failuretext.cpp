#include "foundation/decoding/strictjson.h"
#include "foundation/errors.h"
#include "foundation/failuretext.h"
#include "foundation/localization.h"

#include <QtTest>
#include <stdexcept>

class TestFailureText : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { EditorLocalization::overrideLanguageForTesting(QStringLiteral("en")); }
    void sentences_data();
    void sentences();
};

void TestFailureText::sentences_data()
{
    QTest::addColumn<std::exception_ptr>("failure");
    QTest::addColumn<bool>("shown");
    QTest::addColumn<QString>("expected");

    QTest::newRow("cancellation is never shown") << std::make_exception_ptr(OperationCancelled()) << false << QString();
    QTest::newRow("nothing failed") << std::exception_ptr() << false << QString();
    QTest::newRow("a tool's own words stay")
        << std::make_exception_ptr(BridgeError::failed(QStringLiteral("Opgaven er taget af en anden."))) << true
        << QStringLiteral("Opgaven er taget af en anden.");
    QTest::newRow("a decoding error is not shown as a technical text")
        << std::make_exception_ptr(DecodingError(QStringLiteral("packages[2].title"), QStringLiteral("expected a string")))
        << true << QStringLiteral("The answer could not be read because it is not in the correct format.");
    QTest::newRow("anything else gets a plain sentence")
        << std::make_exception_ptr(std::runtime_error("basic_string::_M_create")) << true
        << QStringLiteral("The action could not be completed.");
}

void TestFailureText::sentences()
{
    QFETCH(std::exception_ptr, failure);
    QFETCH(bool, shown);
    QFETCH(QString, expected);
    const auto text = failureText(failure);
    QCOMPARE(text.has_value(), shown);
    if (shown)
        QCOMPARE(*text, expected);
}

QTEST_GUILESS_MAIN(TestFailureText)
#include "tst_failuretext.moc"
