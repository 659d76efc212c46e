#pragma once

#include <QHash>
#include <QObject>
#include <QSet>
#include <QUuid>
#include <functional>

// Settings sheets and a postponed relaunch. Each main window's settings sheet
// controller reports here how to close its sheet and the sheet's life; before
// the update machinery relaunches, every open or requested sheet is closed,
// the relaunch waits for the last one, and no new sheet may open meanwhile.
// GUI thread only.
class SorvaneUpdateSettings : public QObject
{
    Q_OBJECT
    Q_PROPERTY(int revision READ revision NOTIFY revisionChanged)

public:
    using Dismissal = std::function<void()>;
    using AttachedSheet = std::function<bool()>;

    explicit SorvaneUpdateSettings(QObject *parent = nullptr);

    // May the window open its settings sheet now? Only while its controller
    // is on screen and no relaunch is being prepared.
    bool requestPresentation(const QUuid &window);

    // The window's controller came on screen: how to close its sheet, and
    // whether the window shows some sheet right now.
    void windowAppeared(const QUuid &window, Dismissal dismissal, AttachedSheet attachedSheet);
    // The window's controller left the screen (its window closed).
    void windowDisappeared(const QUuid &window);

    void sheetPresented(const QUuid &window);
    void sheetDismissed(const QUuid &window);
    // The window's requested sheet may never come: settle the request.
    void cancelledRequestCommitted(const QUuid &window);

    // The relaunch question: true while sheets are being closed (the
    // continuation is called later, once, from the event loop), false when
    // none is open.
    bool postponeRelaunch(std::function<void()> continuation);
    // A refused relaunch or the end of an update cycle: the continuation is
    // dropped uncalled and sheets may open again.
    void resetPostponement();

    int revision() const { return m_revision; }
    bool isPreparingToRelaunch() const { return m_preparing; }
    bool hasContinuation() const { return bool(m_continuation); }
    bool isRequested(const QUuid &window) const { return m_requested.contains(window); }
    bool isPresented(const QUuid &window) const { return m_presented.contains(window); }
    bool isWaitingFor(const QUuid &window) const { return m_waiting.contains(window); }
    bool isWaiting() const { return !m_waiting.isEmpty(); }

Q_SIGNALS:
    void revisionChanged(int revision);

private:
    void bump();
    void resumeWhenReady();

    int m_revision = 0;
    QHash<QUuid, Dismissal> m_dismissals;
    QHash<QUuid, AttachedSheet> m_attachedSheets;
    QSet<QUuid> m_requested;
    QSet<QUuid> m_presented;
    QSet<QUuid> m_waiting;
    std::function<void()> m_continuation;
    bool m_resumeScheduled = false;
    bool m_preparing = false;
};
