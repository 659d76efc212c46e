#pragma once

// The bench's reference windows: paint their background and, on their first
// paint, print "first-paint" and end, as the application does under
// TAVLON_STARTUP_PROBE.
#include <QApplication>
#include <QPainter>
#include <QWidget>
#include <cstdio>

class ProbedWindow final : public QWidget
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
