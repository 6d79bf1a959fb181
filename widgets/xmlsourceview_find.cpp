// The "XML" tab's finding: the find bar's keys on the text, "Go to line", and the start tag of
// an element shown.
#include "widgets/findbar.h"
#include "widgets/xmlsourceview.h"

#include <Qsci/qsciscintilla.h>

#include <QInputDialog>
#include <QKeyEvent>

namespace quillon {

namespace {

enum class FindKey { None, Open, Next, Previous, GoToLine };

FindKey findKeyOf(const QKeyEvent *key)
{
    const QKeyCombination k = key->keyCombination();
    if (k == QKeyCombination(Qt::ControlModifier, Qt::Key_F))
        return FindKey::Open;
    if (k == QKeyCombination(Qt::NoModifier, Qt::Key_F3))
        return FindKey::Next;
    if (k == QKeyCombination(Qt::ShiftModifier, Qt::Key_F3))
        return FindKey::Previous;
    if (k == QKeyCombination(Qt::ControlModifier, Qt::Key_G))
        return FindKey::GoToLine;
    return FindKey::None;
}

} // namespace

bool XmlSourceView::findKey(QEvent *event)
{
    if (event->type() != QEvent::ShortcutOverride && event->type() != QEvent::KeyPress)
        return false;
    const FindKey key = findKeyOf(static_cast<QKeyEvent *>(event));
    if (key == FindKey::None)
        return false;
    event->accept();
    if (event->type() == QEvent::ShortcutOverride)
        return true; // the window's shortcut on the same key (Find Instance) waits
    switch (key) {
    case FindKey::Open:
        m_findBar->open();
        placeChildren();
        break;
    case FindKey::Next:
    case FindKey::Previous:
        if (m_findBar->searchText()->text().isEmpty()) {
            m_findBar->open();
            placeChildren();
        } else {
            m_findBar->find(key == FindKey::Next);
        }
        break;
    case FindKey::GoToLine:
        askLine();
        break;
    case FindKey::None:
        break;
    }
    return true;
}

void XmlSourceView::askLine()
{
    const int lines = m_editor->lines();
    int line = 0, index = 0;
    m_editor->getCursorPosition(&line, &index);
    bool ok = false;
    const int chosen = QInputDialog::getInt(this, tr("Go to line"), tr("Line (1 - %1):").arg(lines), line + 1, 1,
                                            std::max(1, lines), 1, &ok);
    if (ok)
        goToLine(chosen);
}

void XmlSourceView::showStartTag(int line)
{
    m_goToLine = line;
    m_selectTag = true;
    applyGoToLine();
}

void XmlSourceView::selectStartTag(int line)
{
    // From the first "<" on the line to the ">" that ends the tag (a tag may go on over
    // several lines); the whole line when it holds no "<".
    const long lineStart = m_editor->SendScintilla(QsciScintilla::SCI_POSITIONFROMLINE, static_cast<unsigned long>(line));
    const long lineEnd = m_editor->SendScintilla(QsciScintilla::SCI_GETLINEENDPOSITION, static_cast<unsigned long>(line));
    const QString text = m_editor->text(line);
    const int lt = text.indexOf(QLatin1Char('<'));
    if (lt < 0 || lineStart < 0) {
        m_editor->setSelection(line, 0, line + 1, 0);
        return;
    }
    const long from = lineStart + text.left(lt).toUtf8().size();
    const long length = m_editor->SendScintilla(QsciScintilla::SCI_GETLENGTH);
    long to = from;
    for (long p = from; p < length && p - from < 1 << 20; ++p) { // a tag longer than 1 MiB stays unselected
        if (m_editor->SendScintilla(QsciScintilla::SCI_GETCHARAT, static_cast<unsigned long>(p)) == '>') {
            to = p + 1;
            break;
        }
    }
    if (to == from)
        to = lineEnd;
    m_editor->SendScintilla(QsciScintilla::SCI_SETSEL, static_cast<unsigned long>(from), to);
}

} // namespace quillon
