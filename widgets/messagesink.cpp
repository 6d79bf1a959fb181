// The message boxes for the session's outcomes and questions.
#include "widgets/messagesink.h"
#include "widgets/messagewidth.h"

#include <QMessageBox>
#include <QPushButton>

#include <utility>

namespace quillon {

void MessageSink::tell(const EditorSession::Reports &reports) const
{
    for (const EditorSession::Report &r : reports)
        tell(r);
}

void MessageSink::tell(const EditorSession::Report &r) const
{
    using O = EditorSession::Outcome;
    QString text, informative = r.detail;
    bool error = true;
    QMessageBox::Icon icon = QMessageBox::Critical;
    switch (r.outcome) {
    case O::FileNotFound:
        text = tr("File not found.");
        break;
    case O::InstanceNotFound:
        text = tr("Instance not found.");
        error = false;
        break;
    case O::RowInstanceNotFound:
        text = tr("Instance not found");
        error = false;
        break;
    case O::BrokenHistory:
        text = tr("Broken history");
        break;
    case O::ArmAttributeEmpty:
        text = tr("ARM attribute is empty");
        break;
    case O::EmptyReference:
        text = tr("Empty reference.");
        error = false;
        break;
    case O::UnexpectedNullElement:
        text = tr("Unexpected NULL element");
        break;
    case O::PopulateFailed:
        // The one "Error" with the exclamation icon.
        text = tr("Exception in \"PopulateInstance\"");
        icon = QMessageBox::Warning;
        break;
    case O::NameNotWritable:
        text = r.detail;
        informative.clear();
        break;
    case O::SaveFailed:
        text = tr("Can't save %1.").arg(r.file);
        informative = r.detail + tr("\nThe file was not changed; the edits are kept.");
        break;
    }
    if (!error)
        icon = QMessageBox::Warning;
    QMessageBox box(m_parent);
    box.setWindowTitle(error ? tr("Error") : tr("Warning"));
    box.setText(text);
    box.setInformativeText(informative);
    box.setIcon(icon);
    box.setStandardButtons(QMessageBox::Ok);
    fitMessageWidth(box); // a parse error's line unbroken
    box.exec();
}

EditorSession::Answer MessageSink::ask(EditorSession::Question question, const QString &file) const
{
    using A = EditorSession::Answer;
    QMessageBox box(QMessageBox::Warning, tr("Warning"), QString(), QMessageBox::NoButton, m_parent);
    QList<std::pair<QAbstractButton *, A>> answers;
    if (question == EditorSession::Question::ChangedOnDisk) {
        box.setText(tr("%1 was changed by another program since it was opened.").arg(file));
        answers << std::pair(box.addButton(tr("Overwrite"), QMessageBox::AcceptRole), A::Overwrite)
                << std::pair(box.addButton(tr("Reload"), QMessageBox::DestructiveRole), A::Reload);
    } else {
        box.setText(tr("Discard the changes to %1 and reload it?").arg(file));
        answers << std::pair(box.addButton(tr("Reload"), QMessageBox::DestructiveRole), A::Reload);
    }
    // Cancel, also by Escape, keeps the file on disk and the edits as they are.
    box.setDefaultButton(box.addButton(QMessageBox::Cancel));
    box.setEscapeButton(box.defaultButton());
    box.exec();
    for (const auto &[button, answer] : answers)
        if (box.clickedButton() == button)
            return answer;
    return A::Cancel;
}

} // namespace quillon
