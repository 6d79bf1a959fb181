// The editor control: placing the children from the arrangement in twips, and the splitter.
#include "widgets/ctrlxmleditor.h"
#include "widgets/editbox.h"
#include "widgets/linepainter.h"
#include "widgets/messagesink.h"
#include "widgets/xmlsourceview.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTreeView>

#include <cmath>

namespace quillon {

namespace {
constexpr int kSplitterSlack = 3; // pixels either side of the splitter's lines that grab it too
}

double CtrlXMLEditor::dpi() const
{
    const int d = logicalDpiX();
    return d > 0 ? d : 96.0;
}

int CtrlXMLEditor::toPx(int twips) const
{
    return layout::twipsToPixels(twips, dpi());
}

int CtrlXMLEditor::toTwips(int px) const
{
    return layout::pixelsToTwips(px, dpi());
}

void CtrlXMLEditor::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    UserControl_Resize();
}

void CtrlXMLEditor::UserControl_Resize()
{
    const QSize hint = lblSelectWhat->sizeHint();
    m_layout.lblSelectWhat.width = toTwips(hint.width());
    m_layout.lblSelectWhat.height = toTwips(hint.height());
    layout::resize(m_layout, toTwips(width()), toTwips(height()), toTwips(ctrlTab->tabBar()->sizeHint().height()));
    applyLayout();
    FitColumns();
}

void CtrlXMLEditor::applyLayout()
{
    const layout::EditorLayout &l = m_layout;
    auto px = [this](const layout::Rect &r, QPoint origin = {}) {
        return QRect(toPx(r.left) - origin.x(), toPx(r.top) - origin.y(), toPx(r.width), toPx(r.height));
    };
    lblAddress->setGeometry(px(l.lblAddress));
    ctrlTab->setGeometry(px(l.ctrlTab));

    // Children of a tab are placed in the tab container's coordinates.
    QPoint origin = pageStep->mapTo(ctrlTab, QPoint(0, 0));
    if (origin.y() <= 0)
        origin = QPoint(0, ctrlTab->tabBar()->sizeHint().height());
    ieXML->setGeometry(px(l.ieXML, origin));
    cmdBack->setGeometry(px(l.cmdBack, origin));
    cmdLoad->setGeometry(px(l.cmdLoad, origin));
    m_edit->lineEdit()->setGeometry(px(l.txtEdit, origin));
    ctrlProperties->setGeometry(px(l.ctrlProperties, origin));
    QRect treeRect = px(l.ctrlTree, origin);
    if (lblMessage && lblMessage->isVisibleTo(pageStep)) {
        // The message line takes the bottom of the tree's place.
        const int h = std::min(lblMessage->sizeHint().height(), treeRect.height() / 2);
        treeRect.setHeight(treeRect.height() - h);
        lblMessage->setGeometry(treeRect.left(), treeRect.bottom() + 1, treeRect.width(), h);
    }
    ctrlTree->setGeometry(treeRect);
    lblEntity->move(px(l.lblEntity, origin).topLeft());
    lblSelectWhat->setGeometry(px(l.lblSelectWhat, origin));
    // The bar takes the mouse over both lines and a little either side of them; while a drag
    // runs it stays put, since the pointer's x is taken relative to it.
    if (!l.dragging) {
        const QRect bar = px(l.lblResizeBar, origin);
        const layout::Span grip = layout::splitterGrip(l, dpi(), kSplitterSlack);
        lblResizeBar->setGeometry(grip.left - origin.x(), bar.top(), grip.width, bar.height());
    }
    auto placeLine = [&](QWidget *w, const layout::Line &line) {
        w->setGeometry(toPx(line.x1) - origin.x() - 1, toPx(line.y1) - origin.y(), 2, toPx(line.y2 - line.y1));
    };
    placeLine(linHilite, l.linHilite);
    placeLine(linShadow, l.linShadow);
}

QSize CtrlXMLEditor::minimumSizeHint() const
{
    layout::EditorLayout l = m_layout;
    const QSize hint = lblSelectWhat->sizeHint();
    l.lblSelectWhat.width = toTwips(hint.width());
    l.lblSelectWhat.height = toTwips(hint.height());
    const layout::Size s = layout::minimumSize(l, toTwips(ctrlTab->tabBar()->sizeHint().height()));
    // Whole pixels that hold the twips.
    auto px = [this](int twips) { return int(std::ceil(twips * dpi() / 1440.0)); };
    return QSize(px(s.width), px(s.height));
}

void CtrlXMLEditor::updateMinimumSize()
{
    // A drag may have left the list narrower than the hint at the size the control has: it
    // does not grow for that, it only shrinks no further.
    setMinimumSize(minimumSizeHint().boundedTo(size()));
}

void CtrlXMLEditor::lblResizeBar_MouseDown(int x)
{
    layout::dragBegin(m_layout, x);
}

void CtrlXMLEditor::lblResizeBar_MouseMove(int x)
{
    if (layout::dragMove(m_layout, x))
        applyLayout();
}

void CtrlXMLEditor::lblResizeBar_MouseUp()
{
    if (layout::dragEnd(m_layout)) {
        applyLayout();
        updateMinimumSize(); // the list's inset moved with the border
    }
    FitColumns();
}

} // namespace quillon
