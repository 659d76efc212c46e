// The start-up's work on another thread: its symbol pictures are the window's
// own, pixel for pixel, and are handed over only when drawn in the same pen;
// icons and marks that take them late look and measure as if drawn at once;
// the thread ends whether or not a window was built.
#include <QApplication>
#include <QThread>
#include <QtTest>

#include "app/ui/startupwarmup.h"
#include "foundation/ui/symbols.h"
#include "workspace/ui/symbolmark.h"

#include <atomic>

using namespace Symbols;

namespace {

// Draws `ahead` on a thread of its own, as the start-up does.
std::unique_ptr<QThread> drawElsewhere(GlyphsAhead &ahead, int delayMs = 0)
{
    std::unique_ptr<QThread> thread(QThread::create([&ahead, delayMs] {
        QThread::msleep(delayMs);
        ahead.draw();
    }));
    thread->start();
    return thread;
}

QImage pixels(const QImage &image) { return image.convertToFormat(QImage::Format_ARGB32_Premultiplied); }

} // namespace

class TestStartupWarmUp : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void drawnAheadIsWhatTheWindowDraws_data()
    {
        QTest::addColumn<QString>("symbol");
        QTest::addColumn<QColor>("ink");
        for (const QString &symbol : openingSymbols())
            QTest::newRow(qPrintable(symbol)) << symbol << QColor();
        QTest::newRow("row mark in green") << QStringLiteral("arrow.right.circle.fill") << QColor(0x2e, 0x7d, 0x32);
        QTest::newRow("translucent ink") << QStringLiteral("clock") << QColor(200, 0, 0, 128);
        QTest::newRow("no glyph") << QStringLiteral("person.badge.shield.checkmark") << QColor(Qt::blue);
    }
    void drawnAheadIsWhatTheWindowDraws()
    {
        QFETCH(QString, symbol);
        QFETCH(QColor, ink);
        if (!ink.isValid() && !Symbols::themeIcon(symbol).availableSizes().isEmpty())
            QSKIP("the icon theme has this symbol");
        GlyphsAhead ahead({symbol}, ink);
        const auto thread = drawElsewhere(ahead);
        const std::optional<QImage> picture = ahead.take(symbol, glyphPen(ink));
        thread->wait();
        // Nothing is drawn ahead for the window here: it draws on its own thread.
        const QIcon drawn = Symbols::icon(symbol, ink);
        QCOMPARE(picture.has_value(), !drawn.isNull());
        if (picture)
            QCOMPARE(pixels(*picture), pixels(drawn.pixmap(32, 32).toImage()));
    }

    void handsOverOnlyWhatWasDrawnInTheSamePen_data()
    {
        QTest::addColumn<QString>("symbol");
        QTest::addColumn<QColor>("ink");
        QTest::addColumn<bool>("fontChanged");
        QTest::addColumn<int>("drawDelayMs");
        QTest::addColumn<bool>("handedOver");
        const QString drawn = QStringLiteral("tablecells");
        QTest::newRow("drawn while the window waits") << drawn << QColor() << false << 50 << true;
        QTest::newRow("another ink") << drawn << QColor(Qt::red) << false << 0 << false;
        QTest::newRow("the application font changed") << drawn << QColor() << true << 0 << false;
        QTest::newRow("not drawn ahead") << QStringLiteral("gearshape") << QColor() << false << 0 << false;
        QTest::newRow("nothing to draw") << QStringLiteral("person.badge.shield.checkmark") << QColor() << false << 50
                                         << false;
    }
    void handsOverOnlyWhatWasDrawnInTheSamePen()
    {
        QFETCH(QString, symbol);
        QFETCH(QColor, ink);
        QFETCH(bool, fontChanged);
        QFETCH(int, drawDelayMs);
        QFETCH(bool, handedOver);
        GlyphsAhead ahead({QStringLiteral("tablecells"), QStringLiteral("person.badge.shield.checkmark")});
        const QFont original = QApplication::font();
        const auto restore = qScopeGuard([&] { QApplication::setFont(original); });
        if (fontChanged) {
            QFont bold = original;
            bold.setBold(true);
            QApplication::setFont(bold);
        }
        const auto thread = drawElsewhere(ahead, drawDelayMs);
        const std::optional<QImage> picture = ahead.take(symbol, glyphPen(ink));
        thread->wait();
        QCOMPARE(picture.has_value(), handedOver);
        if (picture)
            QCOMPARE(pixels(*picture), pixels(glyphImage(symbol, glyphPen(ink))));
    }

    void iconTakenLateIsTheIconDrawnAtOnce_data()
    {
        QTest::addColumn<QColor>("ink");
        QTest::addColumn<int>("drawDelayMs");
        QTest::addColumn<QIcon::Mode>("mode");
        QTest::addColumn<bool>("madeFirst");
        // A colour of its own per row: icon() keeps each icon it made.
        QTest::newRow("drawn before it is shown") << QColor(10, 20, 30) << 0 << QIcon::Normal << false;
        QTest::newRow("shown while being drawn") << QColor(10, 20, 31) << 60 << QIcon::Normal << false;
        QTest::newRow("disabled") << QColor(10, 20, 32) << 0 << QIcon::Disabled << false;
        // The window is built before the pictures are handed over.
        QTest::newRow("made before the pictures are drawn ahead") << QColor(10, 20, 33) << 0 << QIcon::Normal << true;
    }
    void iconTakenLateIsTheIconDrawnAtOnce()
    {
        QFETCH(QColor, ink);
        QFETCH(int, drawDelayMs);
        QFETCH(QIcon::Mode, mode);
        QFETCH(bool, madeFirst);
        const QString symbol = QStringLiteral("arrow.clockwise");
        const QIcon early = madeFirst ? Symbols::icon(symbol, ink) : QIcon();
        auto ahead = std::make_shared<GlyphsAhead>(QStringList{symbol}, ink);
        drawAhead(ahead);
        const auto stop = qScopeGuard([] { drawAhead(nullptr); });
        const auto thread = drawElsewhere(*ahead, drawDelayMs);
        const QIcon late = madeFirst ? early : Symbols::icon(symbol, ink);
        const QIcon atOnce(QPixmap::fromImage(glyphImage(symbol, glyphPen(ink))));
        QCOMPARE(late.availableSizes(mode), atOnce.availableSizes(mode));
        for (const int side : {12, 16, 22, 32, 48}) {
            QCOMPARE(late.actualSize(QSize(side, side), mode), atOnce.actualSize(QSize(side, side), mode));
            QCOMPARE(pixels(late.pixmap(side, mode).toImage()), pixels(atOnce.pixmap(side, mode).toImage()));
        }
        thread->wait();
        // The icon took the picture drawn ahead rather than drawing its own.
        QVERIFY(!ahead->take(symbol, glyphPen(ink)));
    }

    void markLooksAndMeasuresLikeAPictureLabel_data()
    {
        QTest::addColumn<bool>("enabled");
        QTest::addColumn<int>("margin");
        QTest::newRow("enabled") << true << 0;
        QTest::newRow("disabled") << false << 0;
        QTest::newRow("with a margin") << true << 3;
    }
    void markLooksAndMeasuresLikeAPictureLabel()
    {
        QFETCH(bool, enabled);
        QFETCH(int, margin);
        const QIcon icon = Symbols::icon(QStringLiteral("film.stack"), QColor(40, 90, 70));
        QLabel label;
        label.setPixmap(icon.pixmap(22, 22));
        SymbolMark mark(icon, 22);
        for (QLabel *shown : {&label, static_cast<QLabel *>(&mark)}) {
            shown->setEnabled(enabled);
            shown->setMargin(margin);
        }
        QCOMPARE(mark.sizeHint(), label.sizeHint());
        QCOMPARE(mark.minimumSizeHint(), label.minimumSizeHint());
        // Laid out taller than its picture, as in a row of text.
        for (QLabel *shown : {&label, static_cast<QLabel *>(&mark)})
            shown->resize(label.sizeHint() + QSize(10, 14));
        QCOMPARE(pixels(mark.grab().toImage()), pixels(label.grab().toImage()));
    }

    void warmUpEndsWithOrWithoutTheWindow_data()
    {
        QTest::addColumn<bool>("windowBuilt");
        QTest::newRow("window built") << true;
        QTest::newRow("no window") << false;
    }
    void warmUpEndsWithOrWithoutTheWindow()
    {
        QFETCH(bool, windowBuilt);
        std::atomic<int> waits = 0;
        std::atomic<bool> elsewhere = false;
        {
            StartupWarmUp warmUp([&] {
                QThread::msleep(30);
                elsewhere = QThread::currentThread() != QCoreApplication::instance()->thread();
                ++waits;
            });
            if (windowBuilt) {
                warmUp.waitForFonts();
                QCOMPARE(waits.load(), 1);
                QVERIFY(elsewhere);
                QVERIFY(!Symbols::icon(QStringLiteral("film.stack")).isNull());
            }
        }
        QCOMPARE(waits.load(), 1);
    }
};

QTEST_MAIN(TestStartupWarmUp)
#include "tst_startupwarmup.moc"
