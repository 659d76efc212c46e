#include "foundation/ui/symbols.h"
#include "foundation/ui/uikit.h"
#include "workspace/ui/sorvaneinboxrowpainter.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <QtTest>

namespace {
QWidget *tinted(const QColor &tint)
{
    auto *window = new QWidget;
    QPalette palette = window->palette();
    palette.setColor(QPalette::Highlight, tint);
    window->setPalette(palette);
    new QVBoxLayout(window);
    return window;
}

// The colours of a desktop in light and in dark (with a light blue accent),
// and of the workspace window, which takes its own accent.
QList<std::pair<const char *, QPalette>> palettes(bool workspace = false)
{
    QPalette dark(QColor(49, 54, 59));
    dark.setColor(QPalette::Highlight, QColor(61, 174, 233));
    dark.setColor(QPalette::HighlightedText, Qt::white);
    QList<std::pair<const char *, QPalette>> both{{"light", QApplication::palette()}, {"dark", dark}};
    if (workspace)
        for (auto &[name, colours] : both)
            colours.setColor(QPalette::Highlight, UiKit::colour(UiKit::Ink::brandTint));
    return both;
}

// A widget as drawn: the most any pixel inside its edges stands out from the
// background at `ground` (its text's contrast), the background, and that pixel.
std::tuple<qreal, QColor, QColor> drawnText(QWidget *widget, QPoint ground = {4, -1})
{
    const QImage image = widget->grab().toImage();
    const QColor fill = image.pixelColor(ground.x(), ground.y() < 0 ? image.height() / 2 : ground.y());
    qreal most = 1;
    QColor text;
    for (int y = 4; y < image.height() - 4; ++y)
        for (int x = 4; x < image.width() - 4; ++x)
            if (const qreal contrast = UiKit::contrast(image.pixelColor(x, y), fill); contrast > most)
                std::tie(most, text) = std::pair(contrast, image.pixelColor(x, y));
    return {most, fill, text};
}
} // namespace

class TestUiKit : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // A main action's fill is the accent of the window it stands in, however
    // it got there: made before it was placed, moved, or the window's accent
    // set afterwards. The same button drawn in two colours looked like two kinds.
    void accentFillFollowsTheWindow_data()
    {
        QTest::addColumn<bool>("prominent");
        QTest::addColumn<int>("path"); // 0 made unplaced, 1 moved between windows, 2 window tinted afterwards
        for (const bool prominent : {true, false})
            for (const int path : {0, 1, 2})
                QTest::addRow("%s, %s", prominent ? "prominent" : "accent fill",
                              path == 0 ? "placed later" : path == 1 ? "moved" : "tinted later")
                    << prominent << path;
    }
    void accentFillFollowsTheWindow()
    {
        QFETCH(bool, prominent);
        QFETCH(int, path);
        const QColor green(46, 80, 66), red(200, 40, 40); // green: white reads on all of it as drawn
        std::unique_ptr<QWidget> first(tinted(red)), window(tinted(green));
        auto *button = new QPushButton(QStringLiteral("Take the task"), path == 1 ? first.get() : nullptr);
        Symbols::apply(button, QStringLiteral("hand.raised")); // a glyph: the offscreen theme has no icons
        prominent ? UiKit::makeProminent(button) : UiKit::fillWithAccent(button);
        if (path == 2) {
            window.reset(new QWidget);
            new QVBoxLayout(window.get());
        }
        window->layout()->addWidget(button);
        if (path == 2) {
            QPalette palette = window->palette();
            palette.setColor(QPalette::Highlight, green);
            window->setPalette(palette);
        }
        for (const auto group : {QPalette::Active, QPalette::Inactive})
            QCOMPARE(button->palette().color(group, QPalette::Button), green);
        // Its symbol in its text's colour: a black hand sat on the fill beside white text.
        const auto drawn = [](const QIcon &icon) { return icon.pixmap(32).toImage(); };
        QCOMPARE(drawn(button->icon()),
                 drawn(Symbols::icon(QStringLiteral("hand.raised"), button->palette().color(QPalette::ButtonText))));
        // Disabled, a main action looks like any disabled button.
        QVERIFY(button->palette().color(QPalette::Disabled, QPalette::Button) != green);
    }

    // A filled button's text reads on its fill as the style draws it, in the
    // colours of each window: white on a light accent drawn lighter still gave
    // 2:1, and main actions passed for disabled ones. Disabled, it still looks so.
    void filledTextReads_data()
    {
        QTest::addColumn<QPalette>("palette");
        QTest::addColumn<bool>("prominent"); // or the session forms' fill, on their default button
        QTest::addColumn<bool>("enabled");
        QTest::addColumn<int>("part"); // 0 beside the text, 1 the top of the fill (Fusion's is lighter), 2 that under the pointer
        for (const auto &[name, colours] : palettes()) {
            const QPalette workspace = palettes(true)[name == palettes()[0].first ? 0 : 1].second;
            for (const int part : {0, 1, 2, -1}) {
                const char *state = part < 0 ? "disabled" : part == 0 ? "enabled" : part == 1 ? "top" : "top, hovered";
                QTest::addRow("%s, settings sheet, %s", name, state) << colours << true << (part >= 0) << part;
                QTest::addRow("%s, sign-in, %s", name, state) << colours << false << (part >= 0) << part;
                QTest::addRow("%s, workspace, %s", name, state) << workspace << false << (part >= 0) << part;
            }
        }
    }
    void filledTextReads()
    {
        QFETCH(QPalette, palette);
        QFETCH(bool, prominent);
        QFETCH(bool, enabled);
        QFETCH(int, part);
        QWidget window;
        window.setPalette(palette);
        auto *button = new QPushButton(QStringLiteral("Check for Updates…"), &window);
        prominent ? UiKit::makeProminent(button) : (UiKit::fillWithAccent(button), button->setDefault(true));
        button->resize(button->sizeHint() + QSize(32, 0)); // the fill clear of the text at its sides
        button->setAttribute(Qt::WA_UnderMouse, part == 2);
        const auto [readable, accent, text] = drawnText(button, {4, part > 0 ? 2 : -1}); // 2: below the frame's two lines
        if (enabled) {
            QVERIFY2(readable >= 4.5, qPrintable(QString::number(readable)));
            button->setDown(true);
            QVERIFY(std::get<0>(drawnText(button)) >= 4.5);
            return;
        }
        button->setEnabled(false);
        const auto [dimmed, plain, dimText] = drawnText(button);
        QVERIFY(dimmed < readable);
        QVERIFY(plain.hsvSaturationF() < accent.hsvSaturationF());
    }

    // The contrast is the standard ratio of relative luminances: the inks and
    // fills are only as readable as this measure is right.
    void contrastIsTheStandardRatio()
    {
        QCOMPARE(UiKit::contrast(Qt::white, Qt::black), 21.0);
        QCOMPARE(qRound(UiKit::contrast(QColor(0x76, 0x76, 0x76), Qt::white) * 100), 454);
        QCOMPARE(UiKit::contrast(Qt::red, Qt::red), 1.0);
    }

    // Coloured text reads on what is behind it, in its own hue, in light and
    // dark, on the window and on a selected row (tinted with the accent): a
    // fixed orange read 1.7:1 on a light window, a fixed green 3:1 on a dark one.
    // Disabled, it looks disabled.
    void inksRead_data()
    {
        QTest::addColumn<QPalette>("palette");
        QTest::addColumn<bool>("selected");
        QTest::addColumn<int>("ink");
        QTest::addColumn<bool>("secondary"); // given the secondary colour too, before or after its ink
        QTest::addColumn<bool>("alternate"); // selected, the table's alternate row
        const char *inks[] = {"failure", "sheet failure", "attention", "caution", "company failure", "profile failure",
                              "storage issue", "success"}; // the inks that colour text, in their order
        for (const auto &[name, colours] : palettes(true)) {
            for (const bool selected : {false, true})
                for (int ink = 0; ink <= int(UiKit::Ink::success); ++ink)
                    QTest::addRow("%s, %s, %s", name, selected ? "selected row" : "window", inks[ink])
                        << colours << selected << ink << false << false;
            // An overdue deadline: secondary first, its ink once it passes.
            QTest::addRow("%s, window, attention after the secondary colour", name)
                << colours << false << int(UiKit::Ink::attention) << true << false;
        }
        // A dark desktop whose lists are the window's colour: its selected
        // row stood out from the others at 1.08:1.
        QPalette flat = palettes(true)[1].second;
        flat.setColor(QPalette::Base, flat.color(QPalette::Window));
        QTest::addRow("dark, selected row in a window-coloured list, attention")
            << flat << true << int(UiKit::Ink::attention) << false << false;
        // A grey alternate row as light as the window's accent (1.01:1), and
        // under the desktop's, which stood out where only white text read (5:1).
        QPalette grey = palettes(true)[1].second;
        grey.setColor(QPalette::AlternateBase, QColor(92, 91, 90));
        QTest::addRow("dark, the table's alternate row, attention")
            << grey << true << int(UiKit::Ink::attention) << false << true;
        grey.setColor(QPalette::Highlight, palettes()[1].second.color(QPalette::Highlight));
        QTest::addRow("dark, the table's alternate row, desktop accent, attention after the secondary colour")
            << grey << true << int(UiKit::Ink::attention) << true << true;
        // An accent as dark as the rows: only a lighter fill stands out.
        flat.setColor(QPalette::Highlight, flat.color(QPalette::AlternateBase));
        QTest::addRow("dark, accent as dark as the rows, attention")
            << flat << true << int(UiKit::Ink::attention) << false << true;
    }
    void inksRead()
    {
        QFETCH(QPalette, palette);
        QFETCH(bool, selected);
        QFETCH(int, ink);
        QFETCH(bool, secondary);
        QFETCH(bool, alternate);
        if (selected) { // the inbox table's selected row, which stands out from both its row colours
            const QList<QColor> rows{palette.color(QPalette::Base), palette.color(QPalette::AlternateBase)};
            const QColor fill = SorvaneInboxRowPainter::selectedBackground(palette, rows[alternate], rows);
            palette.setColor(QPalette::Window, fill);
            const qreal apart = qMin(UiKit::contrast(fill, rows[0]), UiKit::contrast(fill, rows[1]));
            QVERIFY2(apart >= 1.3, qPrintable(QString::number(apart)));
        }
        QWidget window;
        window.setPalette(palette);
        // Selectable, as a notice's is: its text control is a child beside the kit's own.
        auto *label = UiKit::label(QStringLiteral("Start target exceeded · 12 min"),
                                   {.secondary = secondary, .selectable = true, .ink = UiKit::Ink(ink)}, nullptr);
        label->setContentsMargins(8, 8, 8, 8);
        label->setParent(&window); // placed after it is made, as most are
        label->resize(label->sizeHint());
        const auto [readable, ground, text] = drawnText(label);
        QVERIFY2(readable >= 4.5, qPrintable(QString::number(readable)));
        // Its own hue: an orange warning stays orange.
        QVERIFY2(qAbs(text.hslHue() - UiKit::colour(UiKit::Ink(ink)).hslHue()) <= 4, qPrintable(text.name()));
        const auto made = [&](const UiKit::LabelStyle &style) {
            auto *made = UiKit::label(label->text(), style, &window);
            made->setContentsMargins(8, 8, 8, 8);
            made->resize(made->sizeHint());
            return made;
        };
        // Disabled, it is drawn as any disabled text (a plain label kept its ink).
        auto *plain = made({.ink = UiKit::Ink(ink)});
        if (secondary) {
            // Its ink set first, the secondary colour after: the ink still wins.
            UiKit::setSecondary(plain);
            QCOMPARE(std::get<2>(drawnText(plain)).rgb(), text.rgb());
            // Secondary text alone reads, and quieter than the text beside it.
            const qreal quiet = std::get<0>(drawnText(made({.secondary = true})));
            const qreal loud = std::get<0>(drawnText(made({})));
            QVERIFY2(quiet >= 4.5 && quiet < loud / 1.5, qPrintable(QStringLiteral("%1 %2").arg(quiet).arg(loud)));
        }
        plain->setEnabled(false);
        QCOMPARE(std::get<2>(drawnText(plain)).rgb(), window.palette().color(QPalette::Disabled, QPalette::WindowText).rgb());
    }

    // Links take a colour that reads only in rich text: a customer's plain
    // text that looks like a link is shown as written.
    void linkInkLeavesPlainTextAlone()
    {
        QWidget window;
        auto *label = UiKit::label(QStringLiteral("Customer wrote: <a href=x>look</a>"), {}, &window);
        label->setTextFormat(Qt::PlainText);
        UiKit::setLinkInk(label);
        QCOMPARE(label->text(), QStringLiteral("Customer wrote: <a href=x>look</a>"));
    }
};

QTEST_MAIN(TestUiKit)
#include "tst_uikit.moc"
