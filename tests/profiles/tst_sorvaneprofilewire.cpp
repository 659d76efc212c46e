// The profile answers' checks, the profile photo test and preparation, and initials.
#include "profilefixtures.h"

#include "foundation/decoding/strictjson.h"
#include "foundation/errors.h"
#include "foundation/localization.h"
#include "profiles/sorvaneprofilephoto.h"
#include "profiles/sorvaneprofilewire.h"

#include <QtTest>

using namespace ProfileFixtures;

namespace {

enum class Outcome { accepted, refused, notJson };

template<class F>
Outcome outcome(F &&run)
{
    try {
        run();
        return Outcome::accepted;
    } catch (const BridgeError &error) {
        if (error.message() != SorvaneProfileWire::verifyMessage())
            qWarning() << "unexpected message" << error.message();
        return Outcome::refused;
    } catch (const DecodingError &) {
        return Outcome::notJson;
    }
}

// A JPEG with an EXIF orientation tag inserted by hand right after its start marker.
QByteArray withOrientation(const QByteArray &jpeg, quint16 orientation)
{
    QByteArray exif = QByteArray::fromHex("ffe10022") + QByteArray("Exif\0\0", 6) + QByteArray::fromHex("4d4d002a00000008")
        + QByteArray::fromHex("0001") + QByteArray::fromHex("011200030000000100") + char(orientation)
        + QByteArray::fromHex("0000") + QByteArray::fromHex("00000000");
    return jpeg.left(2) + exif + jpeg.mid(2);
}

QByteArray padded(QByteArray jpeg, qsizetype size)
{
    jpeg.append(QByteArray(size - jpeg.size(), '\0'));
    return jpeg;
}

QColor pixel(const QByteArray &jpeg, int x, int y)
{
    return QImage::fromData(jpeg).pixelColor(x, y);
}

bool near(const QColor &a, const QColor &b)
{
    return qAbs(a.red() - b.red()) < 40 && qAbs(a.green() - b.green()) < 40 && qAbs(a.blue() - b.blue()) < 40;
}

// Two colours side by side (left, right) or stacked.
QImage halves(int width, int height, QColor first, QColor second, bool sideBySide)
{
    QImage image = solid(width, height, first);
    QPainter painter(&image);
    if (sideBySide)
        painter.fillRect(width / 2, 0, width - width / 2, height, second);
    else
        painter.fillRect(0, height / 2, width, height - height / 2, second);
    return image;
}

} // namespace

class TestSorvaneProfileWire : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { EditorLocalization::overrideLanguageForTesting(QStringLiteral("en")); }

    void ownAnswer_data()
    {
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<int>("result");
        const QString user = id(1, 7);
        const QString photo = QString::fromLatin1(smallJPEG().toBase64());
        const auto row = [&](const char *name, const QJsonValue &profile, Outcome result, QString expected = {}) {
            QTest::newRow(name) << ProfileFixtures::ownAnswer(profile) << expected << int(result);
        };
        row("all null", person(user), Outcome::accepted);
        row("everything, UTC", person(user, "Mette Holm", photo, "2026-01-05T09:30:00Z"), Outcome::accepted);
        row("offset and milliseconds", person(user, "A", QJsonValue::Null, "2026-01-05T09:30:00.250+02:00"),
            Outcome::accepted);
        row("date without time", person(user, "A", QJsonValue::Null, "2026-01-05"), Outcome::refused);
        row("upper-case user id", person(user.toUpper()), Outcome::accepted, user);
        row("user id not a UUID", person("{" + user + "}"), Outcome::refused);
        row("another user", person(id(2, 7)), Outcome::refused, user);
        row("100 units", person(user, QString(100, 'x')), Outcome::accepted);
        row("101 units", person(user, QString(101, 'x')), Outcome::refused);
        row("50 emoji are 100 units", person(user, QString::fromUtf8("\U0001F600").repeated(50)), Outcome::accepted);
        row("one more unit", person(user, "x" + QString::fromUtf8("\U0001F600").repeated(50)), Outcome::refused);
        row("empty name", person(user, ""), Outcome::refused);
        row("leading space", person(user, " Mette"), Outcome::refused);
        row("trailing newline", person(user, "Mette\n"), Outcome::refused);
        row("tab inside", person(user, "Mette\tHolm"), Outcome::refused);
        row("zero-width format character", person(user, QStringLiteral("Mette\u200BHolm")), Outcome::refused);
        row("name not text", person(user, 7), Outcome::refused);
        row("photo without padding", person(user, QJsonValue::Null, photo.chopped(photo.endsWith("==") ? 2 : 1)),
            Outcome::refused);
        row("photo with line break", person(user, QJsonValue::Null, photo.left(20) + "\n" + photo.mid(20)),
            Outcome::refused);
        row("photo with a foreign character", person(user, QJsonValue::Null, "*" + photo.mid(1)), Outcome::refused);
        row("photo that is a PNG", person(user, QJsonValue::Null,
                                          QString::fromLatin1(encode(solid(8, 8, Qt::red), "png").toBase64())),
            Outcome::refused);
        row("missing optional key", QJsonObject{{"userID", user}, {"avatarJPEGBase64", QJsonValue::Null},
                                                {"updatedAt", QJsonValue::Null}},
            Outcome::refused);
        QJsonObject extra = person(user).toObject();
        extra.insert("email", "x@example.com");
        row("extra key in profile", extra, Outcome::refused);

        const auto envelope = [&](const char *name, const QJsonObject &top, Outcome result) {
            QTest::newRow(name) << bytes(top) << QString() << int(result);
        };
        envelope("schema true", {{"schemaVersion", true}, {"profile", person(user)}}, Outcome::refused);
        envelope("schema 2", {{"schemaVersion", 2}, {"profile", person(user)}}, Outcome::refused);
        envelope("schema 1.0", {{"schemaVersion", 1.0}, {"profile", person(user)}}, Outcome::accepted);
        envelope("schema missing", {{"profile", person(user)}}, Outcome::refused);
        envelope("extra key at the top", {{"schemaVersion", 1}, {"profile", person(user)}, {"x", 1}},
                 Outcome::refused);
        QTest::newRow("not JSON") << QByteArray("{\"schemaVersion\": 1,") << QString() << int(Outcome::notJson);
        // The limit comes before parsing: an oversized text is refused, not parsed.
        QTest::newRow("98,305 bytes, unparsed") << QByteArray(98305, '{') << QString() << int(Outcome::refused);
        QByteArray exact = ProfileFixtures::ownAnswer(person(user));
        exact.append(QByteArray(98304 - exact.size(), ' '));
        QTest::newRow("98,304 bytes") << exact << QString() << int(Outcome::accepted);
    }

    void ownAnswer()
    {
        QFETCH(QByteArray, answer);
        QFETCH(QString, expected);
        QFETCH(int, result);
        const auto expectedID = expected.isEmpty() ? std::nullopt : std::optional<QUuid>(QUuid(expected));
        QCOMPARE(int(outcome([&] { SorvaneProfileWire::own(answer, expectedID); })), result);
    }

    void participants_data()
    {
        QTest::addColumn<QList<SorvaneInboxRow>>("rows");
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<int>("result");
        const QString claimer = id(9, 8);
        const QList<SorvaneInboxRow> rows{row(1), row(2, claimer)};
        QTest::newRow("one item per row") << rows << participantsAnswer(rows) << int(Outcome::accepted);
        QTest::newRow("answer order differs")
            << rows << participantsAnswer({rows[1], rows[0]}) << int(Outcome::accepted);
        auto upper = rows;
        upper[0].request.id = upper[0].request.id.toUpper();
        QTest::newRow("row id in upper case") << upper << participantsAnswer(rows) << int(Outcome::accepted);
        QTest::newRow("item missing") << rows << participantsAnswer({rows[0]}) << int(Outcome::refused);
        QTest::newRow("same task twice")
            << QList<SorvaneInboxRow>{rows[0], rows[0]} << participantsAnswer({rows[0], rows[0]})
            << int(Outcome::refused);
        QTest::newRow("duplicated item, counts agree")
            << rows << participantsAnswer({rows[0], rows[0]}) << int(Outcome::refused);
        auto unclaimed = rows;
        unclaimed[1].request.claimed_by.reset();
        QTest::newRow("instructor for an unclaimed row") << unclaimed << participantsAnswer(rows) << int(Outcome::refused);
        QTest::newRow("no instructor for a claimed row") << rows << participantsAnswer(unclaimed) << int(Outcome::refused);
        auto otherCustomer = rows;
        otherCustomer[0].request.submitted_by = id(5, 4);
        QTest::newRow("another submitter") << otherCustomer << participantsAnswer(rows) << int(Outcome::refused);
        auto notUuid = rows;
        notUuid[0].request.id = QStringLiteral("task-1");
        QTest::newRow("row id not a UUID") << notUuid << participantsAnswer(rows) << int(Outcome::refused);
        QJsonObject extra = item(rows[0]);
        extra.insert("x", 1);
        QTest::newRow("extra key in item")
            << QList<SorvaneInboxRow>{rows[0]} << bytes({{"schemaVersion", 1}, {"items", QJsonArray{extra}}})
            << int(Outcome::refused);
        // Row counts and size are refused before the bytes are looked at.
        QTest::newRow("no rows") << QList<SorvaneInboxRow>{} << QByteArray("not json") << int(Outcome::refused);
        QList<SorvaneInboxRow> many;
        for (int n = 0; n < 21; ++n)
            many.append(row(n));
        QTest::newRow("21 rows") << many << QByteArray("not json") << int(Outcome::refused);
        QTest::newRow("4,194,305 bytes") << rows << QByteArray(4194305, '[') << int(Outcome::refused);
        QByteArray exact = participantsAnswer(rows);
        exact.append(QByteArray(4194304 - exact.size(), ' '));
        QTest::newRow("4,194,304 bytes") << rows << exact << int(Outcome::accepted);
    }

    void participants()
    {
        QFETCH(QList<SorvaneInboxRow>, rows);
        QFETCH(QByteArray, answer);
        QFETCH(int, result);
        QCOMPARE(int(outcome([&] { SorvaneProfileWire::participants(answer, rows); })), result);
    }

    void participantsKeepAnswerOrder()
    {
        const QList<SorvaneInboxRow> rows{row(1), row(2), row(3)};
        const auto items = SorvaneProfileWire::participants(participantsAnswer({rows[2], rows[0], rows[1]}), rows);
        QCOMPARE(items.size(), 3);
        QCOMPARE(items[0].requestID, QUuid(rows[2].request.id));
        QCOMPARE(items[1].requestID, QUuid(rows[0].request.id));
        QCOMPARE(items[0].customer.displayName, std::optional<QString>(QStringLiteral("Mette Holm")));
    }

    void validPhoto_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<bool>("valid");
        const QByteArray jpeg = smallJPEG();
        QTest::newRow("small JPEG") << jpeg << true;
        QTest::newRow("empty") << QByteArray() << false;
        QTest::newRow("65,536 bytes") << padded(jpeg, 65536) << true;
        QTest::newRow("65,537 bytes") << padded(jpeg, 65537) << false;
        QTest::newRow("PNG") << encode(solid(8, 8, Qt::red), "png") << false;
        QTest::newRow("512 x 512") << encode(solid(512, 512, Qt::gray), "jpeg") << true;
        QTest::newRow("513 wide") << encode(solid(513, 10, Qt::gray), "jpeg") << false;
        QTest::newRow("start marker, then nothing readable")
            << QByteArray::fromHex("ffd8ffe000104a464946") + QByteArray(200, 'z') << false;
    }

    void validPhoto()
    {
        QFETCH(QByteArray, data);
        QFETCH(bool, valid);
        QCOMPARE(SorvaneProfilePhoto::isValidJPEG(data), valid);
    }

    void preparation_data()
    {
        QTest::addColumn<QByteArray>("source");
        QTest::addColumn<QPoint>("top");
        QTest::addColumn<QColor>("topColor");
        QTest::addColumn<QPoint>("bottom");
        QTest::addColumn<QColor>("bottomColor");
        const QByteArray landscape = encode(halves(400, 200, Qt::red, Qt::blue, true), "jpeg", 95);
        // Unrotated, the red half is on the left; turned upright by the tag, it is on top.
        QTest::newRow("no orientation tag") << landscape << QPoint(20, 128) << QColor(Qt::red) << QPoint(235, 128)
                                            << QColor(Qt::blue);
        QTest::newRow("camera turned (orientation 6)")
            << withOrientation(landscape, 6) << QPoint(128, 20) << QColor(Qt::red) << QPoint(128, 235)
            << QColor(Qt::blue);
        QImage panorama = solid(900, 100, Qt::green);
        QPainter(&panorama).fillRect(0, 0, 400, 100, Qt::red);
        QTest::newRow("panorama gives its centre") << encode(panorama, "jpeg", 95) << QPoint(5, 5)
                                                   << QColor(Qt::green) << QPoint(250, 250) << QColor(Qt::green);
        QImage transparent(64, 64, QImage::Format_ARGB32);
        transparent.fill(Qt::transparent);
        QPainter(&transparent).fillRect(24, 24, 16, 16, Qt::black);
        QTest::newRow("transparent PNG on white") << encode(transparent, "png") << QPoint(5, 5) << QColor(Qt::white)
                                                  << QPoint(128, 128) << QColor(Qt::black);
    }

    void preparation()
    {
        QFETCH(QByteArray, source);
        QFETCH(QPoint, top);
        QFETCH(QColor, topColor);
        QFETCH(QPoint, bottom);
        QFETCH(QColor, bottomColor);
        const QByteArray photo = SorvaneProfilePhoto::normalizedJPEG(source);
        QVERIFY(SorvaneProfilePhoto::isValidJPEG(photo));
        QCOMPARE(QImage::fromData(photo).size(), QSize(256, 256));
        QVERIFY2(near(pixel(photo, top.x(), top.y()), topColor), qPrintable(pixel(photo, top.x(), top.y()).name()));
        QVERIFY2(near(pixel(photo, bottom.x(), bottom.y()), bottomColor),
                 qPrintable(pixel(photo, bottom.x(), bottom.y()).name()));
    }

    void preparationRefuses_data()
    {
        QTest::addColumn<QByteArray>("source");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("text") << QByteArray("not a picture");
        QTest::newRow("start marker, then nothing readable")
            << QByteArray::fromHex("ffd8ffe000104a464946") + QByteArray(200, 'z');
        QTest::newRow("over 20 MiB") << padded(smallJPEG(), 20971521);
    }

    void preparationRefuses()
    {
        QFETCH(QByteArray, source);
        try {
            SorvaneProfilePhoto::normalizedJPEG(source);
            QFAIL("prepared");
        } catch (const BridgeError &error) {
            QCOMPARE(error.message(),
                     QStringLiteral("Choose a photo that can be opened. The profile photo must be a small JPEG."));
        }
    }

    void truncatedJPEGStillPrepares()
    {
        // Cut off before its end, a JPEG still decodes (grey where data is missing).
        const QByteArray full = encode(halves(200, 200, Qt::red, Qt::blue, true), "jpeg", 95);
        QVERIFY(SorvaneProfilePhoto::isValidJPEG(SorvaneProfilePhoto::normalizedJPEG(full.left(full.size() * 2 / 3))));
        QVERIFY(SorvaneProfilePhoto::normalizedJPEG(padded(smallJPEG(), 20971520)).size() > 0);
    }

    void initials_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("initials");
        QTest::newRow("three words") << "mette louise holm" << "MH";
        QTest::newRow("one word") << "Mette" << "M";
        QTest::newRow("spaces only") << "   " << "?";
        QTest::newRow("empty") << "" << "?";
        QTest::newRow("outer and repeated spaces") << "  Ida \n  Brandt  " << "IB";
        QTest::newRow("punctuation first") << "(Ida) Brandt" << "(B";
        QTest::newRow("full case mapping") << QStringLiteral("ßen Øre") << QStringLiteral("SSØ");
        QTest::newRow("one grapheme of two scalars") << QStringLiteral("e\u0301mil krogh") << QStringLiteral("E\u0301K");
    }

    void initials()
    {
        QFETCH(QString, name);
        QFETCH(QString, initials);
        QCOMPARE(SorvanePersonProfile::initials(name), initials);
    }
};

QTEST_MAIN(TestSorvaneProfileWire)
#include "tst_sorvaneprofilewire.moc"
