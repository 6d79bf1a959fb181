#include "widgets/findbar.h"

#include <Qsci/qsciscintilla.h>

#include <QCheckBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace quillon {

FindBar::FindBar(QsciScintilla *editor, QWidget *parent) : QWidget(parent), m_editor(editor)
{
    setObjectName(QStringLiteral("barFind"));
    txtFind = new QLineEdit(this);
    txtFind->setObjectName(QStringLiteral("txtFind"));
    txtFind->setPlaceholderText(tr("Find"));
    txtFind->setAcceptDrops(false); // a file dragged over the tab is the window's to open
    txtFind->setAccessibleName(tr("Find"));
    txtFind->setAccessibleDescription(tr("Text to look for in the XML text"));
    cmdPrevious = new QPushButton(tr("Previous"), this);
    cmdPrevious->setObjectName(QStringLiteral("cmdFindPrevious"));
    cmdPrevious->setToolTip(tr("Shift+F3"));
    cmdNext = new QPushButton(tr("Next"), this);
    cmdNext->setObjectName(QStringLiteral("cmdFindNext"));
    cmdNext->setToolTip(tr("F3"));
    chkCase = new QCheckBox(tr("Match case"), this);
    chkCase->setObjectName(QStringLiteral("chkFindCase"));
    chkWord = new QCheckBox(tr("Whole word"), this);
    chkWord->setObjectName(QStringLiteral("chkFindWord"));
    chkRegex = new QCheckBox(tr("Regular expression"), this);
    chkRegex->setObjectName(QStringLiteral("chkFindRegex"));
    chkWrap = new QCheckBox(tr("Wrap"), this);
    chkWrap->setObjectName(QStringLiteral("chkFindWrap"));
    chkWrap->setChecked(true);
    lblResult = new QLabel(this);
    lblResult->setObjectName(QStringLiteral("lblFindResult"));

    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(2, 2, 2, 2);
    row->addWidget(txtFind, 1);
    for (QWidget *w : {static_cast<QWidget *>(cmdPrevious), static_cast<QWidget *>(cmdNext),
                       static_cast<QWidget *>(chkCase), static_cast<QWidget *>(chkWord),
                       static_cast<QWidget *>(chkRegex), static_cast<QWidget *>(chkWrap),
                       static_cast<QWidget *>(lblResult)})
        row->addWidget(w);

    connect(cmdNext, &QPushButton::clicked, this, [this] { find(true); });
    connect(cmdPrevious, &QPushButton::clicked, this, [this] { find(false); });
    connect(txtFind, &QLineEdit::textChanged, this, &FindBar::searchChanged);
    for (QCheckBox *box : {chkCase, chkWord, chkRegex, chkWrap})
        connect(box, &QCheckBox::toggled, this, &FindBar::searchChanged);
    hide();
}

void FindBar::open()
{
    if (m_editor->hasSelectedText()) {
        const QString selected = m_editor->selectedText();
        if (!selected.contains(QLatin1Char('\n')) && !selected.contains(QLatin1Char('\r')))
            txtFind->setText(selected);
    }
    show();
    txtFind->setFocus(Qt::ShortcutFocusReason);
    txtFind->selectAll();
}

bool FindBar::find(bool forward)
{
    const QString text = txtFind->text();
    if (text.isEmpty())
        return false;
    bool found = false;
    if (m_searching && forward == m_lastForward) {
        found = m_editor->findNext();
    } else {
        // From the end of the selection forward, from its start backward.
        int line = -1, index = -1, lineTo = -1, indexTo = -1;
        if (m_editor->hasSelectedText())
            m_editor->getSelection(&line, &index, &lineTo, &indexTo);
        if (forward && lineTo >= 0) {
            line = lineTo;
            index = indexTo;
        }
        found = m_editor->findFirst(text, chkRegex->isChecked(), chkCase->isChecked(), chkWord->isChecked(),
                                    chkWrap->isChecked(), forward, line, index);
        m_searching = found;
        m_lastForward = forward;
    }
    lblResult->setText(found ? QString() : tr("Not found"));
    return found;
}

void FindBar::searchChanged()
{
    m_searching = false;
    lblResult->clear();
}

void FindBar::close()
{
    hide();
    m_searching = false;
    m_editor->setFocus(Qt::OtherFocusReason);
    emit closed();
}

bool FindBar::isBarKey(const QKeyEvent *event)
{
    const Qt::KeyboardModifiers mods = event->modifiers() & ~Qt::KeypadModifier;
    switch (event->key()) {
    case Qt::Key_Escape:
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return mods == Qt::NoModifier || mods == Qt::ShiftModifier;
    case Qt::Key_F3:
        return mods == Qt::NoModifier || mods == Qt::ShiftModifier;
    case Qt::Key_F:
        return mods == Qt::ControlModifier;
    default:
        return false;
    }
}

bool FindBar::event(QEvent *event)
{
    // Keys of the bar go to it even where the window has a shortcut on them (Ctrl+F).
    if (event->type() == QEvent::ShortcutOverride && isBarKey(static_cast<QKeyEvent *>(event))) {
        event->accept();
        return true;
    }
    return QWidget::event(event);
}

void FindBar::keyPressEvent(QKeyEvent *event)
{
    if (!isBarKey(event))
        return QWidget::keyPressEvent(event);
    const bool shift = event->modifiers() & Qt::ShiftModifier;
    switch (event->key()) {
    case Qt::Key_Escape:
        close();
        break;
    case Qt::Key_F:
        open();
        break;
    default: // Enter, F3
        find(!shift);
        break;
    }
}

} // namespace quillon
