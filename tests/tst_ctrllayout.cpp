// The control's arrangement on screen: children placed from the twips arithmetic, the hint
// while the list is hidden, and the splitter dragged with the mouse.
#include "ctrlxmleditor.h"
#include "testsupport.h"

#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>

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
    void tinyControlDoesNotFail();

private:
    QWidget *w(const char *name) const { return m_ctrl->findChild<QWidget *>(QLatin1String(name)); }
    int px(int twips) const { return qRound(twips * m_ctrl->logicalDpiX() / 1440.0); }
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

    QTemporaryDir *m_dir = nullptr;
    CtrlXMLEditor *m_ctrl = nullptr;
};

void TestCtrlLayout::init()
{
    m_dir = new QTemporaryDir;
    copyData(*m_dir, {QStringLiteral("nav/main.xml")});
    m_ctrl = new CtrlXMLEditor;
    m_ctrl->resize(px(7620), px(6480));
    m_ctrl->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_ctrl));
}

void TestCtrlLayout::cleanup()
{
    delete m_ctrl;
    delete m_dir;
}

void TestCtrlLayout::childrenHaveTheirNamesAndCaptions()
{
    for (const char *name : {"lblAddress", "ctrlTab", "ieXML", "cmdBack", "cmdLoad", "txtEdit", "ctrlProperties", "ctrlTree",
                             "lblEntity", "lblSelectWhat", "lblResizeBar", "linHilite", "linShadow"})
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

    QVERIFY(m_ctrl->LoadProfile(m_dir->filePath(QStringLiteral("main.xml"))));
    settle();
    QVERIFY(clickNode(m_ctrl->findChild<QTreeView *>(QStringLiteral("ctrlTree")), QStringLiteral("arm/PART/TEXT VALUE")));
    QVERIFY(w("ctrlProperties")->isVisible());
    QVERIFY(!w("lblSelectWhat")->isVisible());
    QVERIFY(clickNode(m_ctrl->findChild<QTreeView *>(QStringLiteral("ctrlTree")), QStringLiteral("arm/PART")));
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

void TestCtrlLayout::tinyControlDoesNotFail()
{
    m_ctrl->resize(5, 5); // 75 twips: smaller than the margins
    settle();
    const layout::EditorLayout &l = m_ctrl->currentLayout();
    QCOMPARE(l.ctrlTab.width, 0);
    QVERIFY(l.ieXML.width >= 0 && l.ieXML.height >= 0 && l.lblResizeBar.height >= 0);
    QCOMPARE(l.ctrlProperties.width, 1500);
}

QTEST_MAIN(TestCtrlLayout)
#include "tst_ctrllayout.moc"
