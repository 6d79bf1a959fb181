// The back history and the jump waiting for its document.
#include "session/navigator.h"

#include <utility>

namespace quillon {

void Navigator::record(const QString &entry, std::shared_ptr<KeptDocument> kept)
{
    m_backEnabled = true;
    m_kept.resize(m_history.position() + 1);
    m_kept.append(std::move(kept));
    m_history.record(entry);
}

std::shared_ptr<KeptDocument> Navigator::currentKept() const
{
    return m_history.isEmpty() ? nullptr : m_kept.value(m_history.position());
}

bool Navigator::refersTo(const KeptDocument *kept) const
{
    for (int i = 0; kept && i <= m_history.position(); ++i)
        if (m_kept.value(i).get() == kept)
            return true;
    return false;
}

bool Navigator::stepBack()
{
    // The entry used keeps nothing alive any more: Back never comes to it again.
    if (!m_history.isEmpty())
        m_kept[m_history.position()].reset();
    m_history.stepBack();
    return !m_history.isEmpty();
}

std::optional<PendingJump> Navigator::takeJump()
{
    return std::exchange(m_pending, std::nullopt);
}

} // namespace quillon
