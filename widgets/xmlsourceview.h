#pragma once
// The "XML" tab: a read-only source view of the document file. Navigate and Refresh only note
// what to show; the text is put in when the view is (or becomes) visible, so opening a large
// document is not slowed down while the user is on the other tab. The text of the document
// held in memory is shown when it is the document of the file (see showDocument); other files
// are read. The text goes into a new editor document on a worker thread (reading a file there
// too), and the finished document takes the place of the one on show, so the window keeps
// painting meanwhile.
//
// Finding (xmlsourceview_find.cpp): while the text has the focus, Ctrl+F opens the find bar
// under it, F3 and Shift+F3 find the next and previous match, Ctrl+G asks for a line to go to.

#include "document/xmldocument.h"

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QPointer>
#include <QWidget>

#include <memory>

class QLabel;
class QsciScintilla;

namespace quillon {

class XmlSourceView : public QWidget {
    Q_OBJECT
public:
    explicit XmlSourceView(QWidget *parent = nullptr);
    ~XmlSourceView() override;

    // The document whose text (XmlDocument::sourceUtf8) stands for its file: while its path()
    // is the file navigated to, the view shows it instead of reading the file.
    void showDocument(XmlDocument *doc);
    // The file to show; a fill under way starts over.
    void Navigate(const QString &path);
    // Shows the file anew (after it was written); a fill under way starts over.
    void Refresh();
    // Puts the caret on a line (1-based) and scrolls it into view, once the text reaches it.
    void goToLine(int line);
    // Puts the caret on the start tag on a line (1-based) and selects it: the element whose
    // start tag stands there is the one to show.
    void showStartTag(int line);
    // The find bar (hidden until Ctrl+F) and the text.
    class FindBar *findBar() const { return m_findBar; }
    QsciScintilla *textEditor() const { return m_editor; }

    QString path() const { return m_path; }
    // The text on show ("" until the view has been visible with a file to show).
    QString shownText() const;
    // Whether the text still has to be put in, in full (it will be while the view is visible).
    bool isStale() const { return m_stale; }
    // The document has edits the file does not hold: a notice above the text says that the
    // text is the file as last saved (lblXmlStale).
    void setUnsavedEdits(bool unsaved);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void changeEvent(QEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    struct Fill;

    void readIfVisible();
    void placeChildren();
    // The text's colours from the palette: its Base as paper, the lexer's colours made
    // readable on it.
    void applyPalette();
    void startFill();
    void finishFill(const std::shared_ptr<Fill> &fill);
    void stopFill();
    void applyGoToLine();
    void suspendLexer();
    void resumeLexer();
    QByteArray stringResult(unsigned int message, const char *key) const;
    // Ctrl+F, F3, Shift+F3 and Ctrl+G on the text: true when event was one of them (taken).
    bool findKey(QEvent *event);
    void askLine();
    void selectStartTag(int line);

    QsciScintilla *m_editor = nullptr;
    QLabel *m_notice = nullptr;
    class FindBar *m_findBar = nullptr;
    bool m_selectTag = false; // the pending goToLine selects the start tag, not the line
    bool m_paletteQueued = false;
    QPointer<XmlDocument> m_doc;
    QString m_path;
    bool m_stale = false;
    bool m_readQueued = false;
    // The fill under way (null when none) and the line to show at the top once it is done.
    std::shared_ptr<Fill> m_fill;
    int m_firstLine = 0;
    int m_goToLine = 0; // asked for by goToLine, until the text reaches it
    bool m_filling = false;
    // The lexer, set aside while the editor's document changes: its language and properties.
    bool m_lexerSuspended = false;
    long m_lexerId = 0;
    QList<QPair<QByteArray, QByteArray>> m_lexerProperties;
};

} // namespace quillon
