#include "xmlsourceview.h"
#include "encoding.h"

#include <Qsci/qscilexerxml.h>
#include <Qsci/qsciscintilla.h>

#include <QFile>
#include <QFontDatabase>

namespace quillon {

XmlSourceView::XmlSourceView(QWidget *parent) : QWidget(parent)
{
    m_editor = new QsciScintilla(this);
    m_editor->setObjectName(QStringLiteral("ieXMLText"));
    auto *lexer = new QsciLexerXML(m_editor);
    lexer->setDefaultFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_editor->setLexer(lexer);
    m_editor->setUtf8(true);
    m_editor->setReadOnly(true);
    m_editor->setMarginType(0, QsciScintilla::NumberMargin);
    m_editor->setMarginWidth(0, QStringLiteral("0000000"));
    m_editor->setMarginLineNumbers(0, true);
    m_editor->setFolding(QsciScintilla::BoxedTreeFoldStyle);
    m_editor->setWrapMode(QsciScintilla::WrapNone);
}

void XmlSourceView::Navigate(const QString &path)
{
    m_path = path;
    m_stale = true;
    readIfVisible();
}

void XmlSourceView::Refresh()
{
    m_stale = !m_path.isEmpty();
    readIfVisible();
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
    // Read once the current event is done, so that a save followed by a reload (a change of
    // view) reads the file once, not twice.
    if (!m_stale || !isVisible() || m_readQueued)
        return;
    m_readQueued = true;
    QMetaObject::invokeMethod(this, [this] {
        m_readQueued = false;
        if (m_stale && isVisible())
            readFile();
    }, Qt::QueuedConnection);
}

void XmlSourceView::readFile()
{
    m_stale = false;
    QFile f(m_path);
    if (!f.open(QIODevice::ReadOnly)) {
        m_editor->setText(tr("The file %1 cannot be shown: %2").arg(m_path, f.errorString()));
        return;
    }
    const int firstLine = m_editor->firstVisibleLine();
    QString reason;
    const QByteArray text = encoding::fileToUtf8(f.readAll(), reason);
    if (!reason.isEmpty()) {
        m_editor->setText(tr("The file %1 cannot be shown: %2").arg(m_path, reason));
        return;
    }
    m_editor->setText(QString::fromUtf8(text));
    m_editor->setFirstVisibleLine(firstLine);
}

} // namespace quillon
