// The in-place edit box of the property list.
#include "widgets/editbox.h"
#include "session/editorsession.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTreeView>

#include <algorithm>

namespace quillon {

EditBox::EditBox(QTreeView *list, QWidget *container, EditorSession *session, std::function<double()> dpi,
                 std::function<QPoint()> listLeftTop, std::function<void(const layout::Rect &)> place)
    : QObject(container),
      m_list(list),
      m_box(new QLineEdit(container)),
      m_session(session),
      m_dpi(std::move(dpi)),
      m_listLeftTop(std::move(listLeftTop)),
      m_place(std::move(place))
{
    m_box->setObjectName(QStringLiteral("txtEdit"));
    m_box->hide();
    m_box->installEventFilter(this);
}

int EditBox::toTwips(int px) const
{
    return layout::pixelsToTwips(px, m_dpi());
}

int EditBox::columnLeftTwips(int column) const
{
    const QHeaderView *h = m_list->header();
    return toTwips(h->mapTo(m_list, QPoint(h->sectionViewportPosition(column), 0)).x());
}

int EditBox::columnWidthTwips(int column) const
{
    return toTwips(m_list->columnWidth(column));
}

void EditBox::placeOver(int row, int leftTwips)
{
    const QRect r = m_list->visualRect(m_list->model()->index(row, 0));
    const int top = toTwips(m_list->viewport()->mapTo(m_list, r.topLeft()).y());
    m_place({leftTwips, m_listLeftTop().y() + 60 + top, std::max(0, columnWidthTwips(1) - 60),
             std::max(0, toTwips(r.height()) - 60)});
}

void EditBox::prepare(int row)
{
    m_box->setText(m_session->rows()->row(row).value);
    placeOver(row, m_listLeftTop().x() + columnLeftTwips(1) + 60);
    // The caret goes to the character nearest the point clicked.
    const double twipsPerPixel = 1440.0 / m_dpi();
    const int px = layout::roundHalfEven((m_clickX - columnLeftTwips(1)) / twipsPerPixel);
    m_box->setCursorPosition(std::max(0, m_box->cursorPositionAt(QPoint(px, 0))));
    m_row = row;
}

void EditBox::open()
{
    m_box->show();
    m_box->raise();
    m_box->setFocus();
    m_editing = true;
}

void EditBox::click()
{
    if (m_row < 0)
        return;
    if (!m_editing)
        open();
    else
        close(true);
}

bool EditBox::typed(int code)
{
    if (m_editing || code < 33 || code > 127)
        return false;
    const QModelIndex current = m_list->currentIndex();
    if (!current.isValid() || !m_list->selectionModel()->isRowSelected(current.row(), {}) ||
        m_session->rows()->row(current.row()).isReference())
        return false;
    placeOver(current.row(), m_listLeftTop().x() + 60 + columnWidthTwips(0));
    m_box->setText(QString(QChar(code)));
    open();
    m_row = current.row();
    return true;
}

void EditBox::edit(int row)
{
    if (m_editing || !m_session->rows()->isValidRow(row) || m_session->rows()->row(row).isReference())
        return;
    m_box->setText(m_session->rows()->row(row).value);
    placeOver(row, m_listLeftTop().x() + columnLeftTwips(1) + 60);
    m_box->end(false);
    m_row = row;
    open();
}

void EditBox::close(bool save)
{
    if (save && m_row >= 0)
        m_session->commitEdit(m_row, m_box->text());
    m_box->clear();
    m_box->hide();
    m_editing = false;
    m_row = -1;
    m_list->setFocus();
}

void EditBox::txtEdit_KeyPress(int code)
{
    if (code == 13)
        close(true);
    else if (code == 27)
        close(false);
}

void EditBox::forgetRow()
{
    m_row = -1;
}

bool EditBox::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_box && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        const int code = key == Qt::Key_Return || key == Qt::Key_Enter ? 13 : key == Qt::Key_Escape ? 27 : 0;
        if (code) {
            txtEdit_KeyPress(code);
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}

} // namespace quillon
