// The control's arrangement on screen: children placed from the twips arithmetic, the hint
// while the list is hidden, and the splitter dragged with the mouse.
#include "widgets/ctrlxmleditor.h"
#include "testsupport.h"

#include <QLabel>
#include <QScreen>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QVBoxLayout>

using namespace quillon;
using namespace testsupport;

class TestCtrlLayout : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void childrenHaveTheirNamesAndCaptions();
    void designSizeGivesTheDesignNumbers();
    void hintShowsExactlyWhileTheListIsHidden();
    void dragMovesTheBorderWithinItsLimits();
    void resizeAfterADragKeepsTheBorder();
    void tinyControlStopsAtItsMinimumSize();
    void childrenDoNotOverlapAtTheMinimumSize();
    void columnsFillTheList();
    void columnsFillANarrowList();

private:
    QWidget *w(const char *name) const { return f->w(name); }
    int px(int twips) const { return f->px(twips); }
    QTreeView *list() const { return f->list(); }
    // Column 1 + column 2 + 60 twips is the list's width, within a pixel's rounding.
    void verifyColumnsFillTheList() const
    {
        const double tpp = 1440.0 / m_ctrl->logicalDpiX();
        const int total = list()->columnWidth(0) + list()->columnWidth(1);
        QVERIFY2(qAbs(total * tpp + 60 - list()->width() * tpp) <= 2 * tpp,
                 qPrintable(QStringLiteral("%1 + %2 in %3 px")
                                .arg(list()->columnWidth(0))
                                .arg(list()->columnWidth(1))
                                .arg(list()->width())));
    }
    // Drags the splitter bar by dx pixels in steps.
    void drag(int dx, int steps = 10)
    {
        QWidget *bar = w("lblResizeBar");
        const QPoint start(bar->width() / 2, bar->height() / 2);
        QTest::mousePress(bar, Qt::LeftButton, {}, start);
        for (int i = 1; i <= steps; ++i) {
            QMouseEvent move(QEvent::MouseMove, QPointF(start.x() + dx * i / steps, start.y()),
                             bar->mapToGlobal(QPointF(start.x() + dx * i / steps, start.y())), Qt::NoButton,
                             Qt::LeftButton, Qt::NoModifier);
            QCoreApplication::sendEvent(bar, &move);
        }
        QTest::mouseRelease(bar, Qt::LeftButton, {}, QPoint(start.x() + dx, start.y()));
    }

    ControlFixture *f = nullptr;
    CtrlXMLEditor *m_ctrl = nullptr;
};

void TestCtrlLayout::init()
{
    // The design size, 7620 x 6480 twips, at the screen's resolution.
    const int dpi = QApplication::primaryScreen()->logicalDotsPerInchX();
    f = new ControlFixture({QStringLiteral("nav/main.xml")},
                           QSize(qRound(7620 * dpi / 1440.0), qRound(6480 * dpi / 1440.0)));
    QVERIFY(f->exposed);
    m_ctrl = f->ctrl;
}

void TestCtrlLayout::cleanup()
{
    delete f;
    f = nullptr;
}

void TestCtrlLayout::childrenHaveTheirNamesAndCaptions()
{
    for (const char *name : {"lblAddress", "ctrlTab", "ieXML", "cmdBack", "cmdLoad", "txtEdit", "ctrlProperties",
                             "ctrlTree", "lblEntity", "lblSelectWhat", "lblResizeBar", "linHilite", "linShadow"})
        QVERIFY2(w(name), name);
    auto *tab = m_ctrl->findChild<QTabWidget *>(QStringLiteral("ctrlTab"));
    QCOMPARE(tab->tabText(0), QStringLiteral("STEP"));
    QCOMPARE(tab->tabText(1), QStringLiteral("XML"));
    QCOMPARE(m_ctrl->findChild<QPushButton *>(QStringLiteral("cmdBack"))->text(), QStringLiteral("<< Back"));
    QVERIFY(!w("cmdBack")->isEnabled());
    QVERIFY(!w("cmdLoad")->isVisible());
    QVERIFY(!w("txtEdit")->isVisible());
    QCOMPARE(w("lblResizeBar")->toolTip(), QStringLiteral("Drag to resize the panes."));
    QCOMPARE(w("lblResizeBar")->cursor().shape(), Qt::SizeHorCursor);
}

void TestCtrlLayout::designSizeGivesTheDesignNumbers()
{
    const layout::EditorLayout &l = m_ctrl->currentLayout();
    QVERIFY(qAbs(l.ctrlTab.width - 7360) <= 15);
    QVERIFY(qAbs(l.ctrlTab.height - 5620) <= 15);
    QVERIFY(qAbs(l.ctrlProperties.width - 3760) <= 15);
    QVERIFY(qAbs(l.ctrlProperties.height - 4540) <= 15);
    QVERIFY(qAbs(l.ctrlTree.height - 4990) <= 15);
    QVERIFY(qAbs(l.ieXML.width - 7000) <= 15);
    QVERIFY(qAbs(l.lblAddress.width - 7380) <= 15);
    // The widgets stand where the arithmetic puts them.
    QCOMPARE(w("ctrlProperties")->width(), px(l.ctrlProperties.width));
    QCOMPARE(w("ctrlTree")->height(), px(l.ctrlTree.height));
    QCOMPARE(w("lblAddress")->geometry(), QRect(px(120), px(165), px(l.lblAddress.width), px(300)));
    const QPoint listInTab = w("ctrlProperties")->mapTo(w("ctrlTab"), QPoint(0, 0));
    QVERIFY(qAbs(listInTab.x() - px(l.ctrlProperties.left)) <= 1);
    QVERIFY(qAbs(listInTab.y() - px(l.ctrlProperties.top)) <= 1);
}

void TestCtrlLayout::hintShowsExactlyWhileTheListIsHidden()
{
    QVERIFY(w("lblSelectWhat")->isVisible());
    QVERIFY(!w("ctrlProperties")->isVisible());
    const QRect hint = w("lblSelectWhat")->geometry();
    const QRect list = w("ctrlProperties")->geometry();
    QVERIFY(qAbs(hint.center().x() - list.center().x()) <= 2);
    QVERIFY(qAbs(hint.center().y() - list.center().y()) <= 2);

    QVERIFY(f->open(QStringLiteral("main.xml"), 0));
    QVERIFY(f->click(QStringLiteral("arm/PART/TEXT VALUE")));
    QVERIFY(w("ctrlProperties")->isVisible());
    QVERIFY(!w("lblSelectWhat")->isVisible());
    QVERIFY(f->click(QStringLiteral("arm/PART")));
    QVERIFY(!w("ctrlProperties")->isVisible());
    QVERIFY(w("lblSelectWhat")->isVisible());
}

void TestCtrlLayout::dragMovesTheBorderWithinItsLimits()
{
    const int treeBefore = m_ctrl->currentLayout().ctrlTree.width;
    const int listRight = m_ctrl->currentLayout().ctrlProperties.left + m_ctrl->currentLayout().ctrlProperties.width;
    drag(px(600));
    const layout::EditorLayout &l = m_ctrl->currentLayout();
    QVERIFY(l.ctrlTree.width > treeBefore + 500);
    QCOMPARE(l.ctrlProperties.left + l.ctrlProperties.width, listRight);
    QCOMPARE(l.propsInsetX, l.ctrlProperties.left + 120);
    QCOMPARE(l.lblResizeBar.left, l.linHilite.x1 + 10);
    QCOMPARE(l.cmdBack.left, l.ctrlProperties.left);
    QCOMPARE(w("ctrlTree")->width(), px(l.ctrlTree.width));
    // Far to the right and far to the left: each limit holds.
    drag(px(10000), 100);
    QVERIFY(m_ctrl->currentLayout().ctrlProperties.width > 1500);
    drag(-px(20000), 200);
    QVERIFY(m_ctrl->currentLayout().ctrlTree.width > 1000);
    // One step across a limit moves nothing.
    const layout::EditorLayout before = m_ctrl->currentLayout();
    drag(-px(2000), 1);
    QCOMPARE(m_ctrl->currentLayout().ctrlTree.width, before.ctrlTree.width);
}

void TestCtrlLayout::resizeAfterADragKeepsTheBorder()
{
    drag(px(450));
    const int border = m_ctrl->currentLayout().ctrlProperties.left;
    m_ctrl->resize(m_ctrl->width() + 150, m_ctrl->height() + 60);
    settle();
    const layout::EditorLayout &l = m_ctrl->currentLayout();
    QCOMPARE(l.ctrlProperties.left, border);
    QCOMPARE(l.ctrlTab.width - (l.ctrlProperties.left + l.ctrlProperties.width), 120);
    const QRect hint = w("lblSelectWhat")->geometry();
    QVERIFY(qAbs(hint.center().x() - w("ctrlProperties")->geometry().center().x()) <= 2);
}

void TestCtrlLayout::tinyControlStopsAtItsMinimumSize()
{
    const QSize min = m_ctrl->minimumSizeHint();
    QCOMPARE(m_ctrl->minimumSize(), min);
    QVERIFY(min.width() < m_ctrl->width() && min.height() < m_ctrl->height());
    m_ctrl->resize(5, 5); // 75 twips: smaller than the margins
    settle();
    QCOMPARE(m_ctrl->size(), min);
    const layout::EditorLayout &l = m_ctrl->currentLayout();
    QVERIFY(l.ctrlProperties.width >= 1500);
    QVERIFY(l.ieXML.width > 0 && l.ieXML.height > 0 && l.lblResizeBar.height > 0);
    // In a layout the control asks for no less either.
    QWidget host;
    auto *box = new QVBoxLayout(&host);
    auto *inLayout = new CtrlXMLEditor;
    box->addWidget(inLayout);
    host.resize(10, 10);
    QVERIFY(host.minimumSizeHint().width() >= min.width());
    QVERIFY(host.minimumSizeHint().height() >= min.height());
}

void TestCtrlLayout::childrenDoNotOverlapAtTheMinimumSize()
{
    QVERIFY(f->open(QStringLiteral("main.xml"), 1));
    m_ctrl->resize(m_ctrl->minimumSizeHint());
    settle();
    // Visible siblings keep apart and within their parent's right and bottom edges (the
    // entity caption, a label as long as its text, only needs to keep apart).
    auto verifyApart = [](QWidget *parent) {
        QList<QWidget *> shown;
        for (QObject *o : parent->children())
            if (auto *c = qobject_cast<QWidget *>(o); c && c->isVisible() && !c->isWindow())
                shown << c;
        QVERIFY(!shown.isEmpty());
        // Shrinking moves right and bottom edges; the splitter starts above the page by design.
        for (QWidget *c : shown)
            if (c->objectName() != QStringLiteral("lblEntity"))
                QVERIFY2(c->geometry().right() <= parent->rect().right() &&
                             c->geometry().bottom() <= parent->rect().bottom(),
                         qPrintable(c->objectName() + QStringLiteral(" outside ") + parent->objectName()));
        // The splitter's bar takes the mouse over its two lines, which let it through.
        auto splitter = [](const QWidget *c) {
            return c->objectName() == QStringLiteral("lblResizeBar") ||
                   c->objectName().startsWith(QStringLiteral("lin"));
        };
        for (int i = 0; i < shown.size(); ++i)
            for (int j = i + 1; j < shown.size(); ++j)
                if (!splitter(shown[i]) || !splitter(shown[j]))
                    QVERIFY2(
                        !shown[i]->geometry().intersects(shown[j]->geometry()),
                        qPrintable(shown[i]->objectName() + QStringLiteral(" overlaps ") + shown[j]->objectName()));
    };
    QWidget *page = w("tabSTEP");
    verifyApart(m_ctrl);
    verifyApart(page); // the hint in the list's place
    QVERIFY(w("lblSelectWhat")->isVisible());
    QVERIFY(f->click(QStringLiteral("mapping/by ref/product")));
    f->follow(QStringLiteral("of shape"));
    QVERIFY(w("cmdBack")->isEnabled());
    verifyApart(page); // the list, <<Back and the entity
    QVERIFY(list()->isVisible());
    QVERIFY(list()->columnWidth(1) > 0);
    f->w<QTabWidget>("ctrlTab")->setCurrentIndex(1);
    settle();
    verifyApart(w("tabXML"));
    QVERIFY(w("ieXML")->height() > 2 * w("ieXML")->fontMetrics().height());
}

void TestCtrlLayout::columnsFillTheList()
{
    QVERIFY(f->open(QStringLiteral("main.xml"), 1));
    QVERIFY(f->click(QStringLiteral("mapping/by ref/product")));
    // Column 1 is 400 twips wider than its contents; column 2 takes the rest less 60.
    const int fitted = list()->columnWidth(0);
    list()->resizeColumnToContents(0);
    QVERIFY(qAbs(fitted - list()->columnWidth(0) - px(400)) <= 1);
    list()->setColumnWidth(0, fitted);
    verifyColumnsFillTheList();
    // Dragging the splitter fits them again to the new width.
    const int before = list()->width();
    drag(px(600));
    QVERIFY(list()->width() < before);
    verifyColumnsFillTheList();
}

void TestCtrlLayout::columnsFillANarrowList()
{
    // The list is to be narrower than the control's minimum size allows (a drag can leave it
    // that narrow, or a host that lifts the minimum).
    m_ctrl->setMinimumSize(0, 0);
    m_ctrl->resize(900, 700);
    QVERIFY(f->open(QStringLiteral("main.xml"), 1));
    QVERIFY(f->click(QStringLiteral("mapping/by ref/product")));
    const int first = list()->columnWidth(0);
    // Narrow the control until the list leaves the Value column a few pixels (well below the
    // usual minimum width of a header section).
    const int valuePx = 6;
    const int targetListPx = first + px(60) + valuePx;
    m_ctrl->resize(m_ctrl->width() - (list()->width() - targetListPx), m_ctrl->height());
    settle();
    QVERIFY(qAbs(list()->width() - targetListPx) <= 1);
    // The captions keep no more than half the list; the values the rest.
    QVERIFY(first > list()->width() / 2);
    QVERIFY(qAbs(list()->columnWidth(0) - list()->width() / 2) <= 1);
    verifyColumnsFillTheList();
}

QTEST_MAIN(TestCtrlLayout)
#include "tst_ctrllayout.moc"
