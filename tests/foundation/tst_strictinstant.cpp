// The cheap readings of an internet date-time (an instant in milliseconds,
// a bare yes/no) must accept and refuse exactly what the QDateTime reading
// does, and name the same instant.

#include "foundation/decoding/strictformats.h"

#include <QtTest>

class TestStrictInstant : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void agreesWithDateTime_data();
    void agreesWithDateTime();
    void everyOffsetAgrees();
};

void TestStrictInstant::agreesWithDateTime_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    const QList<std::pair<const char *, bool>> cases{
        {"2024-05-01T10:00:00Z", true},
        {"2024-05-01T10:00:00.250Z", true},
        {"2024-05-01T12:00:00+02:00", true},
        {"2024-05-01T10:00:00-00:00", true},
        {"2024-05-01t10:00:00z", true},
        {"2024-05-01T10:00:00.123456789Z", true},
        {"2024-05-01T10:00:00.5+23:59", true},
        {"2024-05-01T10:00:00.5-23:59", true},
        {"0001-01-01T00:00:00Z", true},
        {"0001-01-01T00:00:00+23:59", true},
        {"9999-12-31T23:59:59.999Z", true},
        {"9999-12-31T23:59:59.999-23:59", true},
        {"1969-12-31T23:59:59.999Z", true},
        {"1600-02-29T00:00:00Z", true},
        {"2000-02-29T00:00:00Z", true},
        {"1900-02-29T00:00:00Z", false},
        {"0000-01-01T00:00:00Z", false},
        {"2024-05-01T10:00:60Z", false},
        {"2024-05-01T10:00:00+24:00", false},
        {"2024-05-01T10:00:00+02:60", false},
        {"2024-05-01T10:00:00", false},
        {"2024-05-01 10:00:00Z", false},
        {"2024-05-01", false},
        {"2024-05-01T10:00:00.Z", false},
        {"2024-05-01T10:00:00Z ", false},
        {"+2024-05-01T10:00:00Z", false},
        {"2024-05-01T1:00:00Z", false},
        {"", false},
    };
    for (const auto &[text, valid] : cases)
        QTest::newRow(text) << QString::fromLatin1(text) << valid;
}

void TestStrictInstant::agreesWithDateTime()
{
    QFETCH(QString, text);
    QFETCH(bool, valid);
    const auto moment = StrictFormats::parseInternetDateTime(text);
    QCOMPARE(moment.has_value(), valid);
    QCOMPARE(StrictFormats::isInternetDateTime(text), valid);
    const auto msecs = StrictFormats::parseInternetDateTimeMSecs(text);
    QCOMPARE(msecs.has_value(), valid);
    if (valid)
        QCOMPARE(*msecs, moment->toMSecsSinceEpoch());
}

void TestStrictInstant::everyOffsetAgrees()
{
    // Every offset a text can spell, at both ends of the calendar.
    for (const char *stamp : {"0001-01-01T00:00:00.001", "2024-02-29T23:59:59.999", "9999-12-31T23:59:59"}) {
        for (int minutes = 0; minutes < 100 * 60; ++minutes) {
            for (QChar sign : {u'+', u'-'}) {
                const QString text = QString::fromLatin1(stamp) + sign
                    + QStringLiteral("%1:%2").arg(minutes / 60, 2, 10, QChar(u'0')).arg(minutes % 60, 2, 10, QChar(u'0'));
                const auto moment = StrictFormats::parseInternetDateTime(text);
                const auto msecs = StrictFormats::parseInternetDateTimeMSecs(text);
                QVERIFY2(moment.has_value() == msecs.has_value(), qPrintable(text));
                QVERIFY2(StrictFormats::isInternetDateTime(text) == msecs.has_value(), qPrintable(text));
                if (msecs)
                    QVERIFY2(*msecs == moment->toMSecsSinceEpoch(), qPrintable(text));
            }
        }
    }
}

QTEST_GUILESS_MAIN(TestStrictInstant)
#include "tst_strictinstant.moc"
