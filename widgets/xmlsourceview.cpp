#include "widgets/xmlsourceview.h"
#include "widgets/colours_p.h"
#include "document/asyncjob.h"
#include "document/filenames.h"
#include "widgets/findbar.h"
#include "widgets/xmltextaccess_p.h"
#include "document/encoding.h"

#include <Qsci/qscilexerxml.h>
#include <Qsci/qsciscintilla.h>

#include <QFile>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QLabel>
#include <QPointer>

#include <algorithm>
#include <atomic>
#include <limits>

namespace quillon {

namespace {

// What goes into the editor's document per step of a fill: a cancelled fill stops after the
// step under way.
constexpr qsizetype kChunkBytes = qsizetype(8) << 20;

// From this size on the text is shown plain: Scintilla keeps no style byte per character and
// no fold level per line for it, so that it takes little more memory than the text itself.
constexpr qsizetype kPlainBytes = qsizetype(32) << 20;

// How much of [data, data + size) to append now: up to max bytes, not ending inside a UTF-8
// sequence.
qsizetype chunkLength(const char *data, qsizetype size, qsizetype max)
{
    if (size <= max)
        return size;
    qsizetype n = max;
    while (n > 1 && (static_cast<unsigned char>(data[n]) & 0xC0) == 0x80)
        --n;
    return n;
}

// The file's text in UTF-8, or why it cannot be shown.
QByteArray fileText(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return XmlSourceView::tr("The file %1 cannot be shown: %2").arg(path, f.errorString()).toUtf8();
    QString reason;
    QByteArray text = encoding::fileToUtf8(f.readAll(), reason);
    if (!reason.isEmpty())
        return XmlSourceView::tr("The file %1 cannot be shown: %2").arg(path, reason).toUtf8();
    return text;
}

} // namespace

// Scintilla's loader (SCI_CREATELOADER): a document of its own, not yet shown by any editor,
// that may be filled on another thread and then handed to an editor (SCI_SETDOCPOINTER).
// Declared here as Scintilla declares it. Not in an anonymous namespace: there the compiler
// may take it that nothing implements it.
class SciLoader {
public:
    virtual int Release() = 0;
    virtual int AddData(const char *data, ptrdiff_t length) = 0; // 0, or an SC_STATUS_ code
    virtual void *ConvertToDocument() = 0;

protected:
    ~SciLoader() = default;
};

namespace {

// The calls into a loader. The sanitizer's check of an object's dynamic type cannot see that
// Scintilla's interface and the declaration above are one: it is not asked here.
#if defined(__GNUC__)
#define QUILLON_NO_VPTR_CHECK __attribute__((no_sanitize("vptr")))
#else
#define QUILLON_NO_VPTR_CHECK
#endif
QUILLON_NO_VPTR_CHECK int releaseLoader(SciLoader *loader)
{
    return loader->Release();
}
QUILLON_NO_VPTR_CHECK int addToLoader(SciLoader *loader, const char *data, ptrdiff_t length)
{
    return loader->AddData(data, length);
}
QUILLON_NO_VPTR_CHECK void *loaderDocument(SciLoader *loader)
{
    return loader->ConvertToDocument();
}
#undef QUILLON_NO_VPTR_CHECK

} // namespace

// One fill: what the worker reads, the document it fills, and when it is done.
struct XmlSourceView::Fill {
    QString path; // the file to read, when source is null
    XmlDocument::SourceText source;
    QsciScintilla *editor = nullptr; // asked for the loader
    SciLoader *loader = nullptr;
    std::atomic<bool> cancel{false};
    bool failed = false;
    bool plain = false; // no styles, no lexer (kPlainBytes)
    QPointer<AsyncJob> job; // the worker's part under way

    ~Fill()
    {
        if (loader)
            releaseLoader(loader);
    }
    // The worker's part: the text into the loader's document, a step at a time.
    void run()
    {
        const auto add = [this](const char *data, qsizetype size) {
            for (qsizetype at = 0; at < size;) {
                if (cancel.load())
                    return false;
                const qsizetype n = chunkLength(data + at, size - at, kChunkBytes);
                if (addToLoader(loader, data + at, n) != 0) {
                    failed = true;
                    return false;
                }
                at += n;
            }
            return true;
        };
        // Scintilla makes a loader's document without touching the editor asked for it, so the
        // message may come from this thread; the room for the whole text (which it fills with
        // zeros) is made here at once, rather than grown, and copied, chunk by chunk.
        // (One byte more than the text: a gap that the last chunk would fill exactly makes
        // Scintilla grow the buffer.)
        const auto createLoader = [this](qsizetype size) {
            plain = size >= kPlainBytes;
            long options = plain ? QsciScintilla::SC_DOCUMENTOPTION_STYLES_NONE : QsciScintilla::SC_DOCUMENTOPTION_DEFAULT;
            if (size >= std::numeric_limits<int>::max())
                options |= QsciScintilla::SC_DOCUMENTOPTION_TEXT_LARGE;
            loader = reinterpret_cast<SciLoader *>(
                editor->SendScintilla(QsciScintilla::SCI_CREATELOADER, static_cast<unsigned long>(size + 1), options));
            failed = loader == nullptr;
            return !failed;
        };
        if (source.isNull()) {
            const QByteArray text = fileText(path);
            if (createLoader(text.size()))
                add(text.constData(), text.size());
        } else if (createLoader(source.size())) {
            source.forEachPiece(add);
            source = {};
        }
    }
};

XmlSourceView::XmlSourceView(QWidget *parent) : QWidget(parent)
{
    m_notice = new QLabel(tr("Shows the file as last saved; the document has unsaved edits."), this);
    m_notice->setObjectName(QStringLiteral("lblXmlStale"));
    m_notice->setBackgroundRole(QPalette::ToolTipBase);
    m_notice->setForegroundRole(QPalette::ToolTipText);
    m_notice->setAutoFillBackground(true);
    m_notice->setMargin(2);
    m_notice->hide();

    m_editor = new QsciScintilla(this);
    m_editor->setObjectName(QStringLiteral("ieXMLText"));
    auto *lexer = new QsciLexerXML(m_editor);
    lexer->setDefaultFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_editor->setLexer(lexer);
    m_editor->setUtf8(true);
    m_editor->setReadOnly(true);
    // A file dragged over the text is the window's to open, not text to take in.
    m_editor->setAcceptDrops(false);
    // Nothing here is undone: keeping the text a second time as history would only cost memory.
    m_editor->SendScintilla(QsciScintilla::SCI_SETUNDOCOLLECTION, 0UL);
    // QScintilla's accessible counts the characters from the start of the text whenever the
    // caret moves or text comes in; this one counts through a line index instead.
    xmltextaccess::adopt(m_editor);
    connect(m_editor, &QsciScintilla::SCN_UPDATEUI, this, [this] { xmltextaccess::caretMoved(m_editor); });
    // No notice of inserted text either: nothing here listens to it.
    m_editor->SendScintilla(
        QsciScintilla::SCI_SETMODEVENTMASK,
        static_cast<unsigned long>(QsciScintilla::SC_MOD_CHANGEFOLD | QsciScintilla::SC_MOD_CHANGEMARKER |
                                   QsciScintilla::SC_MOD_CHANGESTYLE | QsciScintilla::SC_MOD_CHANGELINESTATE |
                                   QsciScintilla::SC_MOD_CHANGEMARGIN | QsciScintilla::SC_MOD_CHANGEANNOTATION |
                                   QsciScintilla::SC_MOD_LEXERSTATE | QsciScintilla::SC_MOD_CHANGEINDICATOR));
    m_editor->setMarginType(0, QsciScintilla::NumberMargin);
    m_editor->setMarginWidth(0, QStringLiteral("00000000")); // 8 digits: up to 99,999,999 lines
    m_editor->setMarginLineNumbers(0, true);
    m_editor->setFolding(QsciScintilla::BoxedTreeFoldStyle);
    m_editor->setWrapMode(QsciScintilla::WrapNone);
    // No annotations (QScintilla shows them by default): shown, they make the editor set a
    // height for every line of each document it takes, a quarter of a second for a text of
    // 30 million lines, on this thread.
    m_editor->SendScintilla(QsciScintilla::SCI_ANNOTATIONSETVISIBLE,
                            static_cast<unsigned long>(QsciScintilla::ANNOTATION_HIDDEN));
    // Styling goes as far as the text on show; what lies before it is styled while the
    // program is idle, so a jump to the end of a huge text does not style all of it first.
    m_editor->SendScintilla(QsciScintilla::SCI_SETIDLESTYLING,
                            static_cast<unsigned long>(QsciScintilla::SC_IDLESTYLING_TOVISIBLE));
    // The text cannot change here: Undo and Redo go to the widgets around, for the document.
    m_editor->installEventFilter(this);
    m_findBar = new FindBar(m_editor, this);
    connect(m_findBar, &FindBar::closed, this, &XmlSourceView::placeChildren);

    applyPalette();
}

XmlSourceView::~XmlSourceView()
{
    stopFill();
}

bool XmlSourceView::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_editor && findKey(event))
        return true;
    if (watched == m_editor && event->type() == QEvent::KeyPress) {
        auto *key = static_cast<QKeyEvent *>(event);
        if (key->matches(QKeySequence::Undo) || key->matches(QKeySequence::Redo) ||
            key->keyCombination() == QKeyCombination(Qt::ControlModifier, Qt::Key_Y) ||
            key->keyCombination() == QKeyCombination(Qt::ControlModifier | Qt::ShiftModifier, Qt::Key_Z)) {
            // Ignored and taken from the editor: the key goes on to the parents.
            event->ignore();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
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
    m_selectTag = false;
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
    if (m_selectTag)
        selectStartTag(line);
    else
        m_editor->setSelection(line, 0, line + 1, 0);
    m_selectTag = false;
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
    placeChildren();
}

void XmlSourceView::placeChildren()
{
    const int top = m_notice->isHidden() ? 0 : std::min(height(), m_notice->sizeHint().height());
    const int bar = m_findBar->isHidden() ? 0 : std::min(height() - top, m_findBar->sizeHint().height());
    m_notice->setGeometry(0, 0, width(), top);
    m_editor->setGeometry(0, top, width(), height() - top - bar);
    m_findBar->setGeometry(0, height() - bar, width(), bar);
}

void XmlSourceView::setUnsavedEdits(bool unsaved)
{
    if (m_notice->isHidden() != unsaved)
        return;
    m_notice->setVisible(unsaved);
    placeChildren();
}

void XmlSourceView::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if ((event->type() == QEvent::PaletteChange || event->type() == QEvent::ApplicationPaletteChange) &&
        !m_paletteQueued) {
        // Once the new palette has reached every widget, the editor's own included.
        m_paletteQueued = true;
        QMetaObject::invokeMethod(
            this,
            [this] {
                m_paletteQueued = false;
                applyPalette();
            },
            Qt::QueuedConnection);
    }
}

void XmlSourceView::applyPalette()
{
    const QPalette pal = palette();
    const QColor paper = pal.color(QPalette::Base);
    QsciLexer *lexer = m_editor->lexer();
    lexer->setDefaultPaper(paper);
    lexer->setDefaultColor(readableOn(pal.color(QPalette::Text), paper));
    lexer->setPaper(paper, -1);
    for (int style = 0; style <= QsciScintillaBase::STYLE_MAX; ++style)
        if (!lexer->description(style).isEmpty())
            lexer->setColor(readableOn(lexer->defaultColor(style), paper), style);
    m_editor->setMarginsBackgroundColor(pal.color(QPalette::Window));
    m_editor->setMarginsForegroundColor(readableOn(pal.color(QPalette::WindowText), pal.color(QPalette::Window)));
    m_editor->setFoldMarginColors(pal.color(QPalette::Window), pal.color(QPalette::Window));
    // The fold marks: drawn in the window's text colour, filled with the paper.
    for (unsigned long mark = QsciScintilla::SC_MARKNUM_FOLDEREND; mark <= QsciScintilla::SC_MARKNUM_FOLDEROPEN;
         ++mark) {
        m_editor->SendScintilla(QsciScintilla::SCI_MARKERSETFORE, mark, paper);
        m_editor->SendScintilla(QsciScintilla::SCI_MARKERSETBACK, mark, pal.color(QPalette::WindowText));
    }
    m_editor->setCaretForegroundColor(pal.color(QPalette::Text));
    m_editor->setSelectionBackgroundColor(pal.color(QPalette::Highlight));
    m_editor->setSelectionForegroundColor(pal.color(QPalette::HighlightedText));
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

void XmlSourceView::startFill()
{
    auto fill = std::make_shared<Fill>();
    if (m_doc && sameFileName(m_doc->path(), m_path)) {
        fill->source = m_doc->sourceText();
    } else {
        fill->path = m_path;
    }
    // The top line of the text shown before, unless a fill that was cut short still has one
    // to go back to.
    if (m_firstLine == 0)
        m_firstLine = m_editor->firstVisibleLine();
    m_editor->SendScintilla(QsciScintilla::SCI_SETREADONLY, 0UL);
    m_editor->SendScintilla(QsciScintilla::SCI_CLEARALL);
    m_editor->SendScintilla(QsciScintilla::SCI_SETREADONLY, 1UL);
    fill->editor = m_editor;
    m_fill = fill;
    m_filling = true;
    auto *job = new AsyncJob([fill] { fill->run(); }, this);
    fill->job = job;
    connect(job, &AsyncJob::finished, this, [this, fill, job] {
        job->deleteLater();
        finishFill(fill);
    });
}

void XmlSourceView::finishFill(const std::shared_ptr<Fill> &fill)
{
    if (fill != m_fill)
        return; // stopped, and its document dropped with it
    m_fill.reset();
    m_filling = false;
    if (fill->failed) {
        // Out of memory: an empty view says less than a message.
        m_editor->setText(tr("The file %1 cannot be shown: out of memory").arg(m_path));
    } else {
        suspendLexer(); // the lexer and its properties belong to the document they leave
        void *doc = loaderDocument(fill->loader);
        fill->loader = nullptr;
        m_editor->SendScintilla(QsciScintilla::SCI_SETDOCPOINTER, 0UL, doc);
        m_editor->SendScintilla(QsciScintilla::SCI_RELEASEDOCUMENT, 0UL, doc); // the editor holds it
        m_editor->SendScintilla(QsciScintilla::SCI_SETCODEPAGE, static_cast<unsigned long>(QsciScintilla::SC_CP_UTF8));
        m_editor->SendScintilla(QsciScintilla::SCI_SETREADONLY, 1UL);
        // A plain text stays without the lexer, which would only work for nothing on it.
        if (!fill->plain)
            resumeLexer();
    }
    // The line that was at the top stays there when the text reaches it.
    if (m_firstLine > 0 && m_editor->lines() > m_firstLine)
        m_editor->setFirstVisibleLine(m_firstLine);
    m_firstLine = 0;
    m_stale = false;
    applyGoToLine();
}

// The lexer and its properties live in the editor's document: they are taken off the document
// that leaves and set again on the one that comes (see resumeLexer).
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
    if (!m_fill)
        return;
    // The worker stops after the step under way; its document goes with the fill.
    m_fill->cancel.store(true);
    if (m_fill->job)
        m_fill->job->waitForFinished();
    m_fill.reset();
    m_filling = false;
}

} // namespace quillon
