#include "ScrollState.h"

#include <algorithm>

void ScrollState::Initialise(int clientHeight)
{
    m_initialHeight = clientHeight;
    m_position = 0;
    m_maximum = 0;
    m_page = 0;
    m_initialised = true;
}

int ScrollState::OnSize(int clientHeight)
{
    if (!m_initialised)
        return 0;
    const int back = kStepPixels * m_position;
    m_position = 0;
    m_maximum = std::max(0, (m_initialHeight - clientHeight) / kStepPixels);
    m_page = m_maximum;
    m_position = std::min(m_position, m_maximum);
    return back;
}

int ScrollState::OnVScroll(int code, int thumbPosition)
{
    int step = 0;
    switch (code) {
    case SB_LINEUP:
        step = -1;
        break;
    case SB_LINEDOWN:
        step = 1;
        break;
    case SB_PAGEUP:
        step = std::min(-1, -m_page);
        break;
    case SB_PAGEDOWN:
        step = std::max(1, m_page);
        break;
    case SB_THUMBTRACK:
        step = thumbPosition - m_position;
        break;
    case SB_TOP:
        step = -m_position;
        break;
    case SB_BOTTOM:
        step = m_maximum - m_position;
        break;
    default:
        step = 0;
        break;
    }
    step = std::clamp(step, -m_position, m_maximum - m_position);
    if (step == 0)
        return 0;
    m_position += step;
    return -kStepPixels * step;
}
