#include "update/core/TaskbarProgress.h"

namespace kelvo {

void TaskbarProgress::Started()
{
    m_running = true;
    m_percent = 0;
    m_button.SetState(ITaskbarButton::State::kNormal);
    m_button.SetProgress(0);
}

void TaskbarProgress::Progress(int percent)
{
    if (!m_running)
        Started();
    if (percent < 0)
        percent = 0;
    if (percent > 100)
        percent = 100;
    if (percent == m_percent)
        return;
    m_percent = percent;
    m_button.SetProgress(percent);
}

void TaskbarProgress::Failed()
{
    m_running = false;
    m_button.SetState(ITaskbarButton::State::kError);
    // Windows shows the error state only with a value: the last one, or a
    // full bar when the transfer failed before any progress.
    m_button.SetProgress(m_percent > 0 ? m_percent : 100);
    FlashIfBehind();
}

void TaskbarProgress::Done()
{
    m_running = false;
    m_percent = 0;
    m_button.SetState(ITaskbarButton::State::kNone);
    FlashIfBehind();
}

void TaskbarProgress::FlashIfBehind()
{
    if (!m_button.InFront())
        m_button.Flash();
}

} // namespace kelvo
