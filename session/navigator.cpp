// The back history and the jump waiting for its document.
#include "session/navigator.h"

#include <utility>

namespace quillon {

void Navigator::record(const QString &entry)
{
    m_backEnabled = true;
    m_history.record(entry);
}

bool Navigator::stepBack()
{
    m_history.stepBack();
    return !m_history.isEmpty();
}

std::optional<PendingJump> Navigator::takeJump()
{
    return std::exchange(m_pending, std::nullopt);
}

} // namespace quillon
