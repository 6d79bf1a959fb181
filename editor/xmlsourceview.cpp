#include "xmlsourceview.h"
#include "encoding.h"

#include <Qsci/qscilexerxml.h>
#include <Qsci/qsciscintilla.h>

#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QTimer>

#include <algorithm>
#include <cstring>

namespace quillon {

namespace {

// What goes into the editor per turn of the event loop.
constexpr qsizetype kChunkBytes = qsizetype(8) << 20;

bool sameFile(const QString &a, const QString &b)
{
    return !a.isEmpty() && !b.isEmpty() && QFileInfo(a).absoluteFilePath() == QFileInfo(b).absoluteFilePath();
}

// How much of [data, data + size) to append now: up to max bytes, ending after a line end
// when one is there, else not inside a UTF-8 sequence.
qsizetype chunkLength(const char *data, qsizetype size, qsizetype max)
{
    if (size <= max)
        return size;
    for (qsizetype i = max; i > max / 2; --i)
        if (data[i - 1] == '\n')
            return i;
    qsizetype n = max;
    while (n > 1 && (static_cast<unsigned char>(data[n]) & 0xC0) == 0x80)
        --n;
    return n;
}

} // namespace

XmlSourceView::XmlSourceView(QWidget *parent) : QWidget(parent)
{
    m_editor = new QsciScintilla(this);
    m_editor->setObjectName(QStringLiteral("ieXMLText"));
    auto *lexer = new QsciLexerXML(m_editor);
    lexer->setDefaultFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_editor->setLexer(lexer);
    m_editor->setUtf8(true);
    m_editor->setReadOnly(true);
    // Nothing here is undone: keeping the text a second time as history would only cost memory.
    m_editor->SendScintilla(QsciScintilla::SCI_SETUNDOCOLLECTION, 0UL);
    // No notice of inserted text either: the accessibility hook that receives it counts the
    // characters from the start of the text, which makes each chunk of a fill slower than
    // the one before.
    m_editor->SendScintilla(
        QsciScintilla::SCI_SETMODEVENTMASK,
        static_cast<unsigned long>(QsciScintilla::SC_MOD_CHANGEFOLD | QsciScintilla::SC_MOD_CHANGEMARKER |
                                   QsciScintilla::SC_MOD_CHANGESTYLE | QsciScintilla::SC_MOD_CHANGELINESTATE |
                                   QsciScintilla::SC_MOD_CHANGEMARGIN | QsciScintilla::SC_MOD_CHANGEANNOTATION |
                                   QsciScintilla::SC_MOD_LEXERSTATE | QsciScintilla::SC_MOD_CHANGEINDICATOR));
    m_editor->setMarginType(0, QsciScintilla::NumberMargin);
    m_editor->setMarginWidth(0, QStringLiteral("0000000"));
    m_editor->setMarginLineNumbers(0, true);
    m_editor->setFolding(QsciScintilla::BoxedTreeFoldStyle);
    m_editor->setWrapMode(QsciScintilla::WrapNone);

    m_fill = new QTimer(this);
    m_fill->setInterval(0);
    connect(m_fill, &QTimer::timeout, this, &XmlSourceView::fillChunk);
}

void XmlSourceView::showDocument(XmlDocument *doc)
{
    m_doc = doc;
}

void XmlSourceView::Navigate(const QString &path)
{
    stopFill();
    m_path = path;
    m_stale = true;
    readIfVisible();
}

void XmlSourceView::Refresh()
{
    stopFill();
    m_stale = !m_path.isEmpty();
    readIfVisible();
}

void XmlSourceView::goToLine(int line)
{
    m_goToLine = line;
    applyGoToLine();
}

void XmlSourceView::applyGoToLine()
{
    if (m_goToLine <= 0 || m_stale || m_editor->lines() < m_goToLine)
        return;
    const int line = m_goToLine - 1;
    m_goToLine = 0;
    m_editor->setFirstVisibleLine(std::max(0, line - 3));
    m_editor->setCursorPosition(line, 0);
    m_editor->setSelection(line, 0, line + 1, 0);
    m_editor->setFocus();
}

QString XmlSourceView::shownText() const
{
    return m_editor->text();
}

void XmlSourceView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    readIfVisible();
}

void XmlSourceView::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    m_editor->setGeometry(rect());
}

void XmlSourceView::readIfVisible()
{
    // Start once the current event is done, so that a save followed by a reload (a change of
    // view) fills the view once, not twice.
    if (!m_stale || m_filling || !isVisible() || m_readQueued)
        return;
    m_readQueued = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_readQueued = false;
            if (m_stale && !m_filling && isVisible())
                startFill();
        },
        Qt::QueuedConnection);
}

// The file's text in UTF-8 when it is not the document's, or why it cannot be shown.
QByteArray XmlSourceView::fileText() const
{
    QFile f(m_path);
    if (!f.open(QIODevice::ReadOnly))
        return tr("The file %1 cannot be shown: %2").arg(m_path, f.errorString()).toUtf8();
    QString reason;
    QByteArray text = encoding::fileToUtf8(f.readAll(), reason);
    if (!reason.isEmpty())
        return tr("The file %1 cannot be shown: %2").arg(m_path, reason).toUtf8();
    return text;
}

void XmlSourceView::startFill()
{
    if (m_doc && sameFile(m_doc->path(), m_path)) {
        m_keep = m_doc->documentElement();
        m_text = m_doc->sourceUtf8();
        if (!m_keep)
            m_text = QByteArray(m_text.constData(), m_text.size()); // nothing holds the bytes
    } else {
        m_text = fileText();
    }
    // The top line of the text shown before, unless a fill that was cut short still has one
    // to go back to.
    if (m_firstLine == 0)
        m_firstLine = m_editor->firstVisibleLine();
    suspendLexer();
    m_editor->SendScintilla(QsciScintilla::SCI_SETREADONLY, 0UL);
    m_editor->SendScintilla(QsciScintilla::SCI_CLEARALL);
    // Room for the whole text at once. Scintilla fills it with zeros, which on a text of a few
    // hundred megabytes is the one step of the fill that takes longer than a chunk; growing
    // the buffer as chunks arrive instead copies it whole at each step, which costs more.
    m_editor->SendScintilla(QsciScintilla::SCI_ALLOCATE, static_cast<unsigned long>(m_text.size() + 1));
    m_editor->SendScintilla(QsciScintilla::SCI_SETREADONLY, 1UL);
    m_done = 0;
    m_filling = true;
    fillChunk();
    if (m_filling)
        m_fill->start();
}

void XmlSourceView::fillChunk()
{
    const qsizetype n = chunkLength(m_text.constData() + m_done, m_text.size() - m_done, kChunkBytes);
    if (n > 0) {
        m_editor->SendScintilla(QsciScintilla::SCI_SETREADONLY, 0UL);
        m_editor->SendScintilla(QsciScintilla::SCI_APPENDTEXT, static_cast<unsigned long>(n),
                                m_text.constData() + m_done);
        m_editor->SendScintilla(QsciScintilla::SCI_SETREADONLY, 1UL);
        m_done += n;
    }
    // The line that was at the top stays there, as soon as the text reaches it.
    if (m_firstLine > 0 && m_editor->lines() > m_firstLine) {
        m_editor->setFirstVisibleLine(m_firstLine);
        m_firstLine = 0;
    }
    if (m_done >= m_text.size()) {
        stopFill();
        m_stale = false;
        m_firstLine = 0; // beyond the end of this text: not to be carried to the next
        applyGoToLine();
    }
}

// The lexer is off while text goes in. Once it has styled the lines on show, Scintilla keeps
// lexer state for every line, and so for each line appended after them: that storage grows
// in steps that copy it whole, each a longer pause of the fill.
void XmlSourceView::suspendLexer()
{
    if (m_lexerSuspended)
        return;
    m_lexerId = m_editor->SendScintilla(QsciScintilla::SCI_GETLEXER);
    // A new lexer instance starts from its defaults: its properties are set again after.
    m_lexerProperties.clear();
    QList<QByteArray> names = stringResult(QsciScintilla::SCI_PROPERTYNAMES, nullptr).split('\n');
    names.append(QByteArrayLiteral("fold"));
    for (const QByteArray &name : names)
        if (!name.isEmpty())
            m_lexerProperties.append({name, stringResult(QsciScintilla::SCI_GETPROPERTY, name.constData())});
    m_editor->SendScintilla(QsciScintilla::SCI_SETLEXER, static_cast<unsigned long>(QsciScintilla::SCLEX_NULL));
    m_lexerSuspended = true;
}

void XmlSourceView::resumeLexer()
{
    if (!m_lexerSuspended)
        return;
    m_lexerSuspended = false;
    m_editor->SendScintilla(QsciScintilla::SCI_SETLEXER, static_cast<unsigned long>(m_lexerId));
    for (const auto &[name, value] : std::as_const(m_lexerProperties))
        if (!value.isEmpty())
            m_editor->SendScintilla(QsciScintilla::SCI_SETPROPERTY, name.constData(), value.constData());
    // Styles what is on show; the rest is styled as it comes into view.
    const long last = m_editor->firstVisibleLine() + m_editor->SendScintilla(QsciScintilla::SCI_LINESONSCREEN) + 1;
    long end = m_editor->SendScintilla(QsciScintilla::SCI_POSITIONFROMLINE, static_cast<unsigned long>(last));
    if (end < 0)
        end = m_editor->SendScintilla(QsciScintilla::SCI_GETLENGTH);
    m_editor->SendScintilla(QsciScintilla::SCI_COLOURISE, 0UL, end);
}

// A string that Scintilla hands out for message (key: its wParam).
QByteArray XmlSourceView::stringResult(unsigned int message, const char *key) const
{
    const auto wParam = reinterpret_cast<uintptr_t>(key);
    const long size = m_editor->SendScintilla(message, wParam, static_cast<const char *>(nullptr));
    if (size <= 0)
        return {};
    QByteArray text(size + 1, '\0');
    m_editor->SendScintilla(message, wParam, text.data());
    text.truncate(size);
    return text;
}

void XmlSourceView::stopFill()
{
    m_fill->stop();
    m_filling = false;
    resumeLexer();
    m_text.clear();
    m_keep = XmlNode();
    m_done = 0;
}

} // namespace quillon
