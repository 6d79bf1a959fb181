#pragma once
// Where what the session reports, and what it asks, becomes a message box: each outcome has
// its title ("Error" or "Warning"), text, informative text and icon here and nowhere else, and
// each box is a real modal QMessageBox on the given parent, one per report, in order.

#include "session/editorsession.h"

#include <QCoreApplication>

class QWidget;

namespace quillon {

class MessageSink {
    Q_DECLARE_TR_FUNCTIONS(MessageSink)
public:
    explicit MessageSink(QWidget *parent) : m_parent(parent) { }

    // One message box each, in order, for what an operation reported.
    void tell(const EditorSession::Reports &reports) const;
    // The session's question in a message box; Cancel (also Escape) when the user declines.
    EditorSession::Answer ask(EditorSession::Question question, const QString &file) const;
    // Delete Instance: whether to delete instance (its caption), and, when references refer to
    // it, to remove them too. True when the user agrees.
    bool confirmDelete(const QString &instance, int references) const;
    // Rename Id wrote these other files (nothing is shown for none).
    void written(const QStringList &files) const;

private:
    void tell(const EditorSession::Report &report) const;

    QWidget *m_parent;
};

} // namespace quillon
