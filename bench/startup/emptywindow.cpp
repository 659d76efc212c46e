// The reference: one empty window, reporting its first paint the same way
// the application does under TAVLON_STARTUP_PROBE.
#include <QApplication>
#include <QPainter>
#include <QWidget>
#include <cstdio>

class Empty final : public QWidget
{
protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter(this).fillRect(rect(), palette().window());
        if (m_seen)
            return;
        m_seen = true;
        std::fputs("first-paint\n", stdout);
        std::fflush(stdout);
        QMetaObject::invokeMethod(qApp, [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);
    }

private:
    bool m_seen = false;
};

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    Empty window;
    window.resize(1180, 800);
    window.show();
    return app.exec();
}
