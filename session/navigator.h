#pragma once
// Where a session has been and where it is going: the back history, whether Back is offered,
// and a jump that waits for its document to be read.
//
// A jump into another document is one PendingJump from the moment the document left is
// written until the new one is read; the session completes it when the load completes.

#include "model/refs.h"
#include "session/keptdocument.h"

#include <QList>
#include <QString>

#include <memory>
#include <optional>

namespace quillon {

struct PendingJump {
    QString from; // the file left
    QString id; // the instance to show once the document is read
    QString returnId; // the place left, for Back, when Back finds it again by its id
    QString returnPath; // otherwise the element path of the place left ("" for none)
    // The history entry for Back, "" when the place left is not to be recorded.
    QString returnEntry() const { return historyEntry(from, returnId, returnPath); }
    std::shared_ptr<KeptDocument> kept; // the document left, for that entry
};

class Navigator {
public:
    const History &history() const { return m_history; }
    bool backEnabled() const { return m_backEnabled; }
    void setBackEnabled(bool enabled) { m_backEnabled = enabled; }
    // Records entry on top of the history: Back is offered. kept: the document of its place,
    // held while an entry refers to it.
    void record(const QString &entry, std::shared_ptr<KeptDocument> kept = {});
    // The document of the current entry's place (null when none is known).
    std::shared_ptr<KeptDocument> currentKept() const;
    // Whether an entry Back can still reach refers to kept.
    bool refersTo(const KeptDocument *kept) const;
    // One step back; false when nothing is left to go back to.
    bool stepBack();

    bool hasPendingJump() const { return m_pending.has_value(); }
    void beginJump(const PendingJump &jump) { m_pending = jump; }
    // The jump waiting, which waits no longer.
    std::optional<PendingJump> takeJump();

private:
    History m_history;
    QList<std::shared_ptr<KeptDocument>> m_kept; // beside each entry of m_history
    bool m_backEnabled = false;
    std::optional<PendingJump> m_pending;
};

} // namespace quillon
