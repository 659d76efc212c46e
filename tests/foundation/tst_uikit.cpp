#include "foundation/ui/uikit.h"

#include <QApplication>
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

// The button as drawn: the fill beside its text, and the text's contrast on it.
std::pair<qreal, QColor> drawnText(QPushButton *button)
{
    const QImage image = button->grab().toImage();
    const QColor fill = image.pixelColor(4, image.height() / 2);
    qreal most = 1;
    for (int y = 4; y < image.height() - 4; ++y)
        for (int x = 4; x < image.width() - 4; ++x)
            most = qMax(most, UiKit::contrast(image.pixelColor(x, y), fill));
    return {most, fill};
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
        const QColor green(66, 97, 84), red(200, 40, 40);
        std::unique_ptr<QWidget> first(tinted(red)), window(tinted(green));
        auto *button = new QPushButton(QStringLiteral("Take the task"), path == 1 ? first.get() : nullptr);
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
        QPalette dark(QColor(49, 54, 59)); // a desktop's dark colours with a light blue accent
        dark.setColor(QPalette::Highlight, QColor(61, 174, 233));
        dark.setColor(QPalette::HighlightedText, Qt::white);
        for (const auto &[name, colours] : {std::pair{"light", QApplication::palette()}, std::pair{"dark", dark}}) {
            QPalette workspace = colours;
            workspace.setColor(QPalette::Highlight, UiKit::colour(UiKit::Ink::brandTint));
            for (const bool enabled : {true, false}) {
                const char *state = enabled ? "enabled" : "disabled";
                QTest::addRow("%s, settings sheet, %s", name, state) << colours << true << enabled;
                QTest::addRow("%s, sign-in, %s", name, state) << colours << false << enabled;
                QTest::addRow("%s, workspace, %s", name, state) << workspace << false << enabled;
            }
        }
    }
    void filledTextReads()
    {
        QFETCH(QPalette, palette);
        QFETCH(bool, prominent);
        QFETCH(bool, enabled);
        QWidget window;
        window.setPalette(palette);
        auto *button = new QPushButton(QStringLiteral("Check for Updates…"), &window);
        prominent ? UiKit::makeProminent(button) : (UiKit::fillWithAccent(button), button->setDefault(true));
        button->resize(button->sizeHint() + QSize(32, 0)); // the fill clear of the text at its sides
        const auto [readable, accent] = drawnText(button);
        if (enabled) {
            QVERIFY2(readable >= 4.5, qPrintable(QString::number(readable)));
            button->setDown(true);
            QVERIFY(drawnText(button).first >= 4.5);
            return;
        }
        button->setEnabled(false);
        const auto [dimmed, plain] = drawnText(button);
        QVERIFY(dimmed < readable);
        QVERIFY(plain.hsvSaturationF() < accent.hsvSaturationF());
    }
};

QTEST_MAIN(TestUiKit)
#include "tst_uikit.moc"
