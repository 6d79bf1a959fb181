#pragma once
// The in-place edit box of the property list: the text box `txtEdit` laid over a value cell,
// 60 twips inside it, with the caret where the user clicked; Enter keeps the text, Escape drops
// it, and typing a character 33..127 on a selected value row opens it with that character.
// The text goes into the session's row when the edit is committed.

#include "model/layout.h"

#include <QObject>

#include <functional>

class QLineEdit;
class QTreeView;
class QWidget;

namespace quillon {

class EditorSession;

class EditBox : public QObject {
    Q_OBJECT
public:
    // The box is made a child of container (the list's parent); place() puts it at a
    // rectangle in twips of the control's arrangement; listLeftTop() gives the list's corner
    // in the same twips.
    EditBox(QTreeView *list, QWidget *container, EditorSession *session, std::function<double()> dpi,
            std::function<QPoint()> listLeftTop, std::function<void(const layout::Rect &)> place);

    QLineEdit *lineEdit() const { return m_box; }
    bool isEditing() const { return m_editing; }
    int row() const { return m_row; } // the row prepared or edited; -1 for none

    // The mouse went down in the list at x twips (list coordinates).
    void mouseDown(int xTwips) { m_clickX = xTwips; }
    // A value row was clicked: the box is placed over its value with its text and caret,
    // still hidden.
    void prepare(int row);
    // The list was clicked: opens the prepared box, or commits the open edit.
    void click();
    // A character typed in the list; opens the box on the selected value row. True when it did.
    bool typed(int code);
    // Opens the box on value row `row` with its text, the caret at the end (F2, Enter).
    void edit(int row);
    // Closes the box; with save the text becomes the row's value and its element's text.
    void close(bool save);
    // The rows were replaced: no row is prepared any more.
    void forgetRow();
    // A key in the box: Enter (13) commits, Escape (27) drops the text.
    void txtEdit_KeyPress(int code);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void open();
    void placeOver(int row, int leftTwips);
    int toTwips(int px) const;
    int columnLeftTwips(int column) const;
    int columnWidthTwips(int column) const;

    QTreeView *m_list;
    QLineEdit *m_box;
    EditorSession *m_session;
    std::function<double()> m_dpi;
    std::function<QPoint()> m_listLeftTop;
    std::function<void(const layout::Rect &)> m_place;
    int m_row = -1;
    bool m_editing = false;
    int m_clickX = 0;
};

} // namespace quillon
