#include "sorvaneupdatesettings.h"

#include <QMetaObject>

SorvaneUpdateSettings::SorvaneUpdateSettings(QObject *parent) : QObject(parent) {}

void SorvaneUpdateSettings::bump()
{
    ++m_revision;
    Q_EMIT revisionChanged(m_revision);
}

bool SorvaneUpdateSettings::requestPresentation(const QUuid &window)
{
    if (m_preparing || !m_dismissals.contains(window))
        return false;
    m_requested.insert(window);
    bump();
    return true;
}

void SorvaneUpdateSettings::windowAppeared(const QUuid &window, Dismissal dismissal, AttachedSheet attachedSheet)
{
    m_dismissals.insert(window, std::move(dismissal));
    m_attachedSheets.insert(window, std::move(attachedSheet));
}

void SorvaneUpdateSettings::windowDisappeared(const QUuid &window)
{
    m_dismissals.remove(window);
    m_attachedSheets.remove(window);
    sheetDismissed(window);
}

void SorvaneUpdateSettings::sheetPresented(const QUuid &window)
{
    const auto dismissal = m_dismissals.constFind(window);
    if (dismissal == m_dismissals.constEnd())
        return;
    m_requested.remove(window);
    m_presented.insert(window);
    if (m_preparing) {
        // A sheet that opens during a postponement closes again at once.
        m_waiting.insert(window);
        const Dismissal close = *dismissal;
        close();
    }
}

void SorvaneUpdateSettings::sheetDismissed(const QUuid &window)
{
    m_requested.remove(window);
    m_presented.remove(window);
    m_waiting.remove(window);
    resumeWhenReady();
}

void SorvaneUpdateSettings::cancelledRequestCommitted(const QUuid &window)
{
    if (m_presented.contains(window))
        return;
    const auto attached = m_attachedSheets.constFind(window);
    if (attached != m_attachedSheets.constEnd() && *attached && (*attached)())
        return;
    if (!m_requested.remove(window))
        return;
    m_waiting.remove(window);
    resumeWhenReady();
}

bool SorvaneUpdateSettings::postponeRelaunch(std::function<void()> continuation)
{
    if (m_continuation)
        return true; // the earlier postponement goes on
    QSet<QUuid> waiting;
    for (const QUuid &window : m_presented | m_requested)
        if (m_dismissals.contains(window))
            waiting.insert(window);
    m_waiting = waiting;
    m_preparing = true;
    bump();
    if (m_waiting.isEmpty())
        return false;
    m_continuation = std::move(continuation);
    // Copies: a dismissal may change the sets it is taken from.
    QList<Dismissal> closes;
    for (const QUuid &window : std::as_const(m_waiting))
        if (const auto it = m_dismissals.constFind(window); it != m_dismissals.constEnd())
            closes.append(*it);
    for (const Dismissal &close : closes)
        if (close)
            close();
    resumeWhenReady();
    return true;
}

void SorvaneUpdateSettings::resetPostponement()
{
    m_continuation = nullptr;
    m_waiting.clear();
    m_preparing = false;
}

void SorvaneUpdateSettings::resumeWhenReady()
{
    if (!m_waiting.isEmpty() || !m_continuation || m_resumeScheduled)
        return;
    m_resumeScheduled = true;
    // Never on the caller's stack; a queued call dies with this object.
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_resumeScheduled = false;
            if (!m_waiting.isEmpty() || !m_continuation)
                return;
            const auto continuation = std::exchange(m_continuation, nullptr);
            continuation();
        },
        Qt::QueuedConnection);
}
