#pragma once

#include "updateframework.h"

#include <QObject>
#include <QString>
#include <optional>

// What the person sees of one update cycle; the update window shows it and
// answers through install() and dismiss().
class UpdateCycle : public QObject
{
    Q_OBJECT
public:
    enum class Phase { idle, checking, upToDate, available, downloading, preparing, waitingToRelaunch, failed };

    using QObject::QObject;

    Phase phase() const { return m_phase; }
    // The sentence for the phase, translated.
    const QString &text() const { return m_text; }
    // 0..1 while downloading, else negative.
    double progress() const { return m_progress; }
    const std::optional<UpdateItem> &item() const { return m_item; }
    // An automatic check: the person sees it only once an update is offered.
    bool isBackground() const { return m_background; }

    // From "available": fetch, verify and install the update.
    void install()
    {
        m_installChosen = m_installChosen || (m_phase == Phase::available && m_item);
        Q_EMIT installRequested();
        Q_EMIT changed();
    }
    // Install was chosen for the update offered: its work goes on whatever
    // happens to the window.
    bool installChosen() const { return m_installChosen; }
    // Later, Close or Cancel: the cycle ends, nothing is installed.
    void dismiss()
    {
        Q_EMIT dismissRequested();
        Q_EMIT changed();
    }

    void set(Phase phase, QString text, double progress = -1);
    void setItem(std::optional<UpdateItem> item)
    {
        m_item = std::move(item);
        m_installChosen = false;
    }
    void setBackground(bool background) { m_background = background; }

Q_SIGNALS:
    void changed();
    void installRequested();
    void dismissRequested();

private:
    Phase m_phase = Phase::idle;
    QString m_text;
    double m_progress = -1;
    std::optional<UpdateItem> m_item;
    bool m_installChosen = false;
    bool m_background = false;
};
