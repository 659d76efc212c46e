#include "foundation/ui/uikit.h"

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
};

QTEST_MAIN(TestUiKit)
#include "tst_uikit.moc"
