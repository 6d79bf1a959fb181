#pragma once
// Where what the session reports, and what it asks, becomes a message box: each outcome has
// its title ("Error" or "Warning"), text, informative text and icon here and nowhere else, and
// each box is a real modal QMessageBox on the given parent, one per report, in order. Where the
// user is not to be stopped (moving through the tree by keys), a MessageLine says the same.

#include "session/editorsession.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QWidget>

class QLabel;

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
    // it (inDocument in its document, inFolder in other files), to remove them too. True when
    // the user agrees.
    bool confirmDelete(const QString &instance, int inDocument, int inFolder) const;
    // Rename Id or Delete Instance (by) wrote these other files (nothing is shown for none).
    enum class Command { RenameId, DeleteInstance };
    void written(Command by, const QStringList &files) const;
    // "Saved <file> before following the reference." in the host's status bar.
    void savedBeforeJump(const QString &file) const;

    // What a report says, in a box or in a message line.
    struct Message {
        QString title, text, informative;
        QMessageBox::Icon icon;
    };
    static Message messageFor(const EditorSession::Report &report);

private:
    void tell(const EditorSession::Report &report) const;

    QWidget *m_parent;
};

// A line inside a window that says what the first of some reports says (its text, its
// informative text and its icon) without stopping the user, as a box would; hidden while it
// says nothing.
class MessageLine : public QWidget {
    Q_OBJECT
public:
    explicit MessageLine(QWidget *parent);
    void tell(const EditorSession::Reports &reports); // no reports: clear()
    void clear();
    QString text() const;
    QMessageBox::Icon icon() const { return m_iconKind; }

signals:
    void visibilityChanged(); // shown or hidden: the window places its children again

private:
    QLabel *m_icon;
    QLabel *m_text;
    QMessageBox::Icon m_iconKind = QMessageBox::NoIcon;
};

} // namespace quillon
