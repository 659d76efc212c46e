#include "updatecycle.h"

void UpdateCycle::set(Phase phase, QString text, double progress)
{
    if (m_phase == phase && m_text == text && m_progress == progress)
        return;
    m_phase = phase;
    m_text = std::move(text);
    m_progress = progress;
    Q_EMIT changed();
}
