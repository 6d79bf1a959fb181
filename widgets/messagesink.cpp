// The message boxes for the session's outcomes and questions.
#include "widgets/messagesink.h"
#include "widgets/messagewidth.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QStatusTipEvent>
#include <QStyle>

#include <utility>

namespace quillon {

void MessageSink::tell(const EditorSession::Reports &reports) const
{
    for (const EditorSession::Report &r : reports)
        tell(r);
}

MessageSink::Message MessageSink::messageFor(const EditorSession::Report &r)
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
    case O::RenameRefused:
        text = tr("The id cannot be used.");
        error = false;
        break;
    case O::RenameFailed:
    case O::DeleteFailed:
        text = r.outcome == O::RenameFailed ? tr("Can't rename the id.") : tr("Can't delete the instance.");
        informative = r.detail + tr("\nNo file was changed.");
        break;
    case O::DeleteRefused:
        text = tr("The instance is referred to.");
        error = false;
        break;
    case O::SaveFailed:
        text = tr("Can't save %1.").arg(r.file);
        informative = r.detail + tr("\nThe file was not changed; the edits are kept.");
        break;
    }
    if (!error)
        icon = QMessageBox::Warning;
    return {error ? tr("Error") : tr("Warning"), text, informative, icon};
}

void MessageSink::tell(const EditorSession::Report &r) const
{
    const Message m = messageFor(r);
    QMessageBox box(m_parent);
    box.setWindowTitle(m.title);
    box.setText(m.text);
    box.setInformativeText(m.informative);
    box.setIcon(m.icon);
    box.setStandardButtons(QMessageBox::Ok);
    fitMessageWidth(box); // a parse error's line unbroken
    box.exec();
}

void MessageSink::savedBeforeJump(const QString &file) const
{
    // A status tip travels up to the host's main window, which shows it in its status bar.
    QStatusTipEvent tip(tr("Saved %1 before following the reference.").arg(file));
    QCoreApplication::sendEvent(m_parent, &tip);
}

// ---- MessageLine --------------------------------------------------------------------------

MessageLine::MessageLine(QWidget *parent) : QWidget(parent), m_icon(new QLabel(this)), m_text(new QLabel(this))
{
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(2, 1, 2, 1);
    row->addWidget(m_icon);
    row->addWidget(m_text, 1);
    m_text->setTextInteractionFlags(Qt::TextSelectableByMouse);
    setAccessibleName(tr("Message"));
    hide();
}

void MessageLine::tell(const EditorSession::Reports &reports)
{
    if (reports.isEmpty())
        return clear();
    const MessageSink::Message m = MessageSink::messageFor(reports.first());
    const int size = style()->pixelMetric(QStyle::PM_SmallIconSize, nullptr, this);
    m_icon->setPixmap(QMessageBox::standardIcon(m.icon).scaled(size, size, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    m_text->setText(m.informative.isEmpty() ? m.text : m.text + QLatin1Char(' ') + m.informative);
    m_iconKind = m.icon;
    if (isHidden()) {
        show();
        emit visibilityChanged();
    }
}

void MessageLine::clear()
{
    m_text->clear();
    m_icon->clear();
    m_iconKind = QMessageBox::NoIcon;
    if (!isHidden()) {
        hide();
        emit visibilityChanged();
    }
}

QString MessageLine::text() const
{
    return m_text->text();
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

bool MessageSink::confirmDelete(const QString &instance, int inDocument, int inFolder) const
{
    const bool referred = inDocument + inFolder > 0;
    QMessageBox box(referred ? QMessageBox::Warning : QMessageBox::Question, tr("Delete Instance"),
                    tr("Delete %1?").arg(instance), QMessageBox::NoButton, m_parent);
    if (inFolder > 0)
        box.setInformativeText(tr("%n reference(s) in this document refer to it.", "", inDocument) + QLatin1Char('\n') +
                               tr("%n reference(s) in other files refer to it.", "", inFolder) + QLatin1Char('\n') +
                               tr("They are removed with it; the other files are written at once, and Undo does "
                                  "not change them back."));
    else if (referred)
        box.setInformativeText(tr("%n reference(s) refer to it. They are removed with it.", "", inDocument));
    QAbstractButton *yes =
        box.addButton(referred ? tr("Delete and Remove References") : tr("Delete"), QMessageBox::DestructiveRole);
    box.setDefaultButton(box.addButton(QMessageBox::Cancel));
    box.setEscapeButton(box.defaultButton());
    box.exec();
    return box.clickedButton() == yes;
}

void MessageSink::written(Command by, const QStringList &files) const
{
    if (files.isEmpty())
        return;
    QMessageBox box(QMessageBox::Information, by == Command::RenameId ? tr("Rename Id") : tr("Delete Instance"),
                    tr("These files were changed and written:"), QMessageBox::Ok, m_parent);
    box.setInformativeText(files.join(QLatin1Char('\n')));
    box.exec();
}

} // namespace quillon
