#pragma once
// The find bar under the "XML" tab's text: a search text, "Previous" and "Next", and the
// switches "Match case", "Whole word", "Regular expression" and "Wrap". The search itself is
// the text editor's (QsciScintilla::findFirst, then findNext while the same search goes on in
// the same direction); a search that finds nothing says so beside the switches and leaves the
// selection where it was. Escape closes the bar and gives the focus back to the text; Enter
// in the search text finds the next match, Shift+Enter the previous one.

#include <QWidget>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QsciScintilla;

namespace quillon {

class FindBar : public QWidget {
    Q_OBJECT
public:
    FindBar(QsciScintilla *editor, QWidget *parent = nullptr);

    // Shows the bar with the focus in its search text, all of it selected; a selection of one
    // line in the editor becomes the search text.
    void open();
    // Looks for the search text after the selection (forward) or before it; true when found,
    // the match then selected and scrolled into view. An empty search text finds nothing.
    bool find(bool forward);

    QLineEdit *searchText() const { return txtFind; }

signals:
    void closed();

protected:
    bool event(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    // Whether a key is one the bar answers itself, before any shortcut of the window.
    static bool isBarKey(const QKeyEvent *event);
    void close();
    void searchChanged();

    QsciScintilla *m_editor;
    QLineEdit *txtFind;
    QPushButton *cmdPrevious, *cmdNext;
    QCheckBox *chkCase, *chkWord, *chkRegex, *chkWrap;
    QLabel *lblResult;
    bool m_searching = false; // a findFirst was made and the search is unchanged since
    bool m_lastForward = true;
};

} // namespace quillon
