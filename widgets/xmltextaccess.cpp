#include "widgets/xmltextaccess_p.h"

#include <Qsci/qsciscintilla.h>

#include <QAccessibleWidget>
#include <QByteArray>

#include <algorithm>
#include <limits>
#include <utility>

namespace quillon::xmltextaccess {

namespace {

constexpr char kAdopted[] = "quillonXmlTextAccess";

using Sci = QsciScintillaBase;

class XmlTextAccessible : public QAccessibleWidget, public QAccessibleTextInterface {
public:
    explicit XmlTextAccessible(QsciScintilla *editor) : QAccessibleWidget(editor, QAccessible::EditableText) { }

    void *interface_cast(QAccessible::InterfaceType type) override
    {
        if (type == QAccessible::TextInterface) {
            textAsked = true;
            return static_cast<QAccessibleTextInterface *>(this);
        }
        return QAccessibleWidget::interface_cast(type);
    }
    QAccessible::State state() const override
    {
        QAccessible::State s = QAccessibleWidget::state();
        s.readOnly = editor()->isReadOnly();
        s.editable = !s.readOnly;
        s.multiLine = true;
        s.selectableText = true;
        return s;
    }

    // Positions are Scintilla's byte positions; offsets are UTF-16 units from the start.
    int offsetOf(long pos) const
    {
        ensureIndex();
        const long line = send(Sci::SCI_LINEFROMPOSITION, pos);
        const long offset = send(Sci::SCI_INDEXPOSITIONFROMLINE, line, Sci::SC_LINECHARACTERINDEX_UTF16) +
                            send(Sci::SCI_COUNTCODEUNITS, send(Sci::SCI_POSITIONFROMLINE, line), pos);
        return int(std::min<long>(offset, std::numeric_limits<int>::max()));
    }
    long positionOf(int offset) const
    {
        ensureIndex();
        offset = std::clamp(offset, 0, characterCount());
        const long line = send(Sci::SCI_LINEFROMINDEXPOSITION, offset, Sci::SC_LINECHARACTERINDEX_UTF16);
        const long start = send(Sci::SCI_POSITIONFROMLINE, line);
        const long within = offset - send(Sci::SCI_INDEXPOSITIONFROMLINE, line, Sci::SC_LINECHARACTERINDEX_UTF16);
        return within == 0 ? start : send(Sci::SCI_POSITIONRELATIVECODEUNITS, start, within);
    }

    int characterCount() const override { return offsetOf(length()); }
    int cursorPosition() const override { return offsetOf(send(Sci::SCI_GETCURRENTPOS)); }
    void setCursorPosition(int position) override { send(Sci::SCI_GOTOPOS, positionOf(position)); }

    int selectionCount() const override
    {
        return send(Sci::SCI_GETSELECTIONSTART) == send(Sci::SCI_GETSELECTIONEND) ? 0 : 1;
    }
    void selection(int index, int *startOffset, int *endOffset) const override
    {
        *startOffset = *endOffset = 0;
        if (index == 0 && selectionCount() == 1) {
            *startOffset = offsetOf(send(Sci::SCI_GETSELECTIONSTART));
            *endOffset = offsetOf(send(Sci::SCI_GETSELECTIONEND));
        }
    }
    void setSelection(int index, int startOffset, int endOffset) override
    {
        if (index == 0)
            send(Sci::SCI_SETSEL, positionOf(startOffset), positionOf(endOffset));
    }
    void addSelection(int startOffset, int endOffset) override { setSelection(0, startOffset, endOffset); }
    void removeSelection(int index) override
    {
        if (index == 0)
            send(Sci::SCI_SETEMPTYSELECTION, send(Sci::SCI_GETCURRENTPOS));
    }

    QString text(int startOffset, int endOffset) const override
    {
        return textBetween(positionOf(startOffset), positionOf(endOffset));
    }
    QString textAtOffset(int offset, QAccessible::TextBoundaryType boundary, int *startOffset,
                         int *endOffset) const override
    {
        return unitText(unitAt(positionOf(offset), boundary), startOffset, endOffset);
    }
    QString textBeforeOffset(int offset, QAccessible::TextBoundaryType boundary, int *startOffset,
                             int *endOffset) const override
    {
        const long first = unitAt(positionOf(offset), boundary).first;
        if (first <= 0)
            return unitText({-1, -1}, startOffset, endOffset);
        return unitText(unitAt(send(Sci::SCI_POSITIONBEFORE, first), boundary), startOffset, endOffset);
    }
    QString textAfterOffset(int offset, QAccessible::TextBoundaryType boundary, int *startOffset,
                            int *endOffset) const override
    {
        const long last = unitAt(positionOf(offset), boundary).second;
        if (last >= length())
            return unitText({-1, -1}, startOffset, endOffset);
        return unitText(unitAt(last, boundary), startOffset, endOffset);
    }

    QRect characterRect(int offset) const override
    {
        const long pos = positionOf(offset);
        const int x = int(send(Sci::SCI_POINTXFROMPOSITION, 0, pos));
        const int y = int(send(Sci::SCI_POINTYFROMPOSITION, 0, pos));
        const int next = int(send(Sci::SCI_POINTXFROMPOSITION, 0, send(Sci::SCI_POSITIONAFTER, pos)));
        const int height = int(send(Sci::SCI_TEXTHEIGHT, send(Sci::SCI_LINEFROMPOSITION, pos)));
        return QRect(editor()->viewport()->mapToGlobal(QPoint(x, y)), QSize(std::max(next - x, 1), height));
    }
    int offsetAtPoint(const QPoint &point) const override
    {
        const QPoint at = editor()->viewport()->mapFromGlobal(point);
        const long pos = send(Sci::SCI_CHARPOSITIONFROMPOINTCLOSE, at.x(), at.y());
        return pos < 0 ? -1 : offsetOf(pos);
    }
    void scrollToSubstring(int startIndex, int endIndex) override
    {
        send(Sci::SCI_SCROLLRANGE, positionOf(endIndex), positionOf(startIndex));
    }
    QString attributes(int offset, int *startOffset, int *endOffset) const override
    {
        *startOffset = *endOffset = offset;
        return {};
    }

    bool textAsked = false; // an assistive technology reads the text
    int lastCaretOffset = -1; // what the latest caret event told

private:
    QsciScintilla *editor() const { return static_cast<QsciScintilla *>(widget()); }
    long send(unsigned msg, unsigned long wParam = 0, long lParam = 0) const
    {
        return editor()->SendScintilla(msg, wParam, lParam);
    }
    long length() const { return send(Sci::SCI_GETLENGTH); }
    // The index belongs to the editor's document; a new document gets one at the first ask.
    void ensureIndex() const
    {
        if (!(send(Sci::SCI_GETLINECHARACTERINDEX) & Sci::SC_LINECHARACTERINDEX_UTF16))
            send(Sci::SCI_ALLOCATELINECHARACTERINDEX, Sci::SC_LINECHARACTERINDEX_UTF16);
    }
    QString textBetween(long from, long to) const
    {
        if (to <= from)
            return {};
        QByteArray bytes(to - from + 1, Qt::Uninitialized);
        editor()->SendScintilla(Sci::SCI_GETTEXTRANGE, from, to, bytes.data());
        bytes.chop(1);
        return QString::fromUtf8(bytes);
    }
    // The byte range of the character, word, line (also for sentences and paragraphs) or whole
    // text around pos.
    std::pair<long, long> unitAt(long pos, QAccessible::TextBoundaryType boundary) const
    {
        switch (boundary) {
        case QAccessible::CharBoundary:
            return {pos, send(Sci::SCI_POSITIONAFTER, pos)};
        case QAccessible::WordBoundary:
            return {send(Sci::SCI_WORDSTARTPOSITION, pos, 1), send(Sci::SCI_WORDENDPOSITION, pos, 1)};
        case QAccessible::NoBoundary:
            return {0, length()};
        default: {
            const long line = send(Sci::SCI_LINEFROMPOSITION, pos);
            const long next = send(Sci::SCI_POSITIONFROMLINE, line + 1); // -1 after the last line
            return {send(Sci::SCI_POSITIONFROMLINE, line), next < 0 ? length() : next};
        }
        }
    }
    QString unitText(std::pair<long, long> unit, int *startOffset, int *endOffset) const
    {
        if (unit.first < 0) {
            *startOffset = *endOffset = -1;
            return {};
        }
        *startOffset = offsetOf(unit.first);
        *endOffset = offsetOf(unit.second);
        return textBetween(unit.first, unit.second);
    }
};

QAccessibleInterface *makeAccessible(const QString &, QObject *object)
{
    auto *editor = qobject_cast<QsciScintilla *>(object);
    return editor && editor->property(kAdopted).toBool() ? new XmlTextAccessible(editor) : nullptr;
}

} // namespace

void adopt(QsciScintilla *editor)
{
    // Factories installed later are asked first; QScintilla installs its own when its first
    // editor is made, which is before this.
    static const bool installed = (QAccessible::installFactory(makeAccessible), true);
    Q_UNUSED(installed);
    editor->setProperty(kAdopted, true);
    // An accessible made for the editor before it was adopted is QScintilla's: drop it.
    QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(editor);
    if (iface && !dynamic_cast<XmlTextAccessible *>(iface))
        QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(iface));
}

void caretMoved(QsciScintilla *editor)
{
    auto *iface = dynamic_cast<XmlTextAccessible *>(QAccessible::queryAccessibleInterface(editor));
    // No offsets while nothing reads them: the first one makes the line index.
    if (!iface || !(iface->textAsked || QAccessible::isActive()))
        return;
    const int offset = iface->cursorPosition();
    if (offset == iface->lastCaretOffset)
        return;
    iface->lastCaretOffset = offset;
    QAccessibleTextCursorEvent event(editor, offset);
    QAccessible::updateAccessibility(&event);
}

} // namespace quillon::xmltextaccess
