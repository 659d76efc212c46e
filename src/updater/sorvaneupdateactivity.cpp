#include "sorvaneupdateactivity.h"

#include <QTimer>

SorvaneUpdateActivity::SorvaneUpdateActivity(QObject *parent) : QObject(parent) {}

void SorvaneUpdateActivity::registerWindow(const QUuid &window, BusyCheck operationIsBusy)
{
    m_checks.insert(window, std::move(operationIsBusy));
    m_detached.remove(window);
    bump();
}

void SorvaneUpdateActivity::setBusy(bool busy, const QUuid &window)
{
    if (busy)
        m_busyWindows.insert(window);
    else
        m_busyWindows.remove(window);
    bump();
}

void SorvaneUpdateActivity::windowClosed(const QUuid &window)
{
    m_busyWindows.remove(window);
    const auto it = m_checks.constFind(window);
    if (it != m_checks.constEnd() && *it && (*it)()) {
        if (m_detached.contains(window))
            return; // already polled
        m_detached.insert(window);
        startPoll(window, m_checks.value(window));
        bump();
        return;
    }
    m_checks.remove(window);
    bump();
}

bool SorvaneUpdateActivity::isBusy() const
{
    // The hash is shared, not copied: a check that changes the register while
    // we iterate cannot invalidate this loop.
    const auto checks = m_checks;
    for (auto it = checks.cbegin(); it != checks.cend(); ++it)
        if (*it && (*it)())
            return true;
    for (const QUuid &window : m_busyWindows)
        if (!m_checks.contains(window))
            return true;
    return false;
}

void SorvaneUpdateActivity::bump()
{
    ++m_revision;
    Q_EMIT revisionChanged(m_revision);
}

void SorvaneUpdateActivity::startPoll(const QUuid &window, BusyCheck check)
{
    // The timer is a child of the register: when the register goes, the poll
    // ends with it. It holds its own copy of the check, so a new registration
    // for the same window does not change what this poll asks.
    auto *timer = new QTimer(this);
    timer->setTimerType(Qt::PreciseTimer);
    timer->setInterval(pollInterval);
    const auto poll = [this, timer, window, check = std::move(check)] {
        if (check()) {
            if (!timer->isActive())
                timer->start();
            return;
        }
        timer->stop();
        timer->deleteLater();
        pollFinished(window);
    };
    connect(timer, &QTimer::timeout, timer, poll);
    // The first look happens on the next turn of the event loop, not inside
    // windowClosed().
    QTimer::singleShot(0, timer, poll);
}

void SorvaneUpdateActivity::pollFinished(const QUuid &window)
{
    // A window registered again meanwhile is no longer detached; its new
    // check stays.
    if (!m_detached.remove(window))
        return;
    m_checks.remove(window);
    bump();
}
