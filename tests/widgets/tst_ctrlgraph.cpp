// The "Graph" tab on screen: it builds only while visible, follows what the control shows,
// a click on a box shows that instance (Back returns), the depth keeps every box in place,
// and the zoom keys.
#include "graph/graphview.h"
#include "testsupport.h"

#include <QPushButton>
#include <QMap>
#include <QSpinBox>
#include <QTabWidget>

using namespace quillon;
using testsupport::ControlFixture;
using testsupport::settle;

class tst_CtrlGraph : public QObject {
    Q_OBJECT

    ControlFixture *f = nullptr;

    GraphPage *page() const { return f->w<GraphPage>("tabGraph"); }
    GraphCanvas *canvas() const { return f->w<GraphCanvas>("ctrlGraph"); }
    QString shownId() const { return firstAttributeText(f->session()->shownInstance()); }
    QString centreKey() const
    {
        const GraphModel &m = page()->model();
        return m.nodes().isEmpty() ? QString() : m.nodes().first().key;
    }
    void showGraphTab()
    {
        f->w<QTabWidget>("ctrlTab")->setCurrentWidget(page());
        settle();
    }
    // Clicks the middle of the box of node `key`.
    bool clickBox(const QString &key)
    {
        const int node = page()->model().indexOf(key);
        if (node < 0)
            return false;
        const QRectF box = page()->scene()->placement().nodes.value(node);
        canvas()->ensureVisible(box, 0, 0);
        QTest::mouseClick(canvas()->viewport(), Qt::LeftButton, {}, canvas()->mapFromScene(box.center()));
        settle();
        return true;
    }

    // The boxes on show, by node key, where they are on the screen.
    QMap<QString, QRect> shownBoxes() const
    {
        QMap<QString, QRect> boxes;
        const GraphScene *scene = page()->scene();
        for (int i = 0; i < page()->model().nodes().size(); ++i) {
            const QRectF r = scene->placement().nodes.value(i);
            if (scene->nodeAt(r.center()) == i)
                boxes.insert(page()->model().nodes()[i].key, canvas()->mapFromScene(r).boundingRect());
        }
        return boxes;
    }

private slots:
    void init()
    {
        f = new ControlFixture({QStringLiteral("graph/a.xml"), QStringLiteral("graph/b.xml")});
        QVERIFY(f->exposed);
        QVERIFY(f->open(QStringLiteral("a.xml"), 2));
        QVERIFY(f->click(QStringLiteral("aim/aim-instances/product")));
        QCOMPARE(shownId(), QStringLiteral("id1"));
    }
    void cleanup()
    {
        delete f;
        f = nullptr;
    }

    void buildsWhenShownAndFollowsTheControl()
    {
        QVERIFY2(page()->model().nodes().isEmpty(), "nothing is built while the tab is hidden");
        QCOMPARE(f->w<QTabWidget>("ctrlTab")->tabText(2), QStringLiteral("Graph"));
        showGraphTab();
        QCOMPARE(centreKey(), QStringLiteral("#id1"));
        QCOMPARE(shownBoxes().size(), 8);
        // A tree click while the tab is hidden is drawn when it comes forward.
        f->w<QTabWidget>("ctrlTab")->setCurrentIndex(0);
        QVERIFY(f->click(QStringLiteral("aim/aim-instances/assembly usage")));
        QCOMPARE(centreKey(), QStringLiteral("#id1"));
        showGraphTab();
        QCOMPARE(centreKey(), QStringLiteral("#id3"));
    }

    void clickShowsTheInstanceAndBackReturns()
    {
        showGraphTab();
        QVERIFY(clickBox(QStringLiteral("#id3")));
        QCOMPARE(shownId(), QStringLiteral("id3"));
        QCOMPARE(f->entity(), QStringLiteral("assembly_usage id3"));
        QCOMPARE(centreKey(), QStringLiteral("#id3")); // the graph follows
        QCOMPARE(f->tree()->currentIndex().data().toString(), QStringLiteral("assembly usage"));
        auto *back = f->w<QPushButton>("cmdBack");
        QVERIFY(back->isEnabled());
        back->click();
        settle();
        QCOMPARE(shownId(), QStringLiteral("id1"));
        QCOMPARE(centreKey(), QStringLiteral("#id1"));

        // A box of another file opens that file there.
        QVERIFY(clickBox(f->path(QStringLiteral("b.xml#id21"))));
        QCOMPARE(f->ctrl->FileName(), f->path(QStringLiteral("b.xml")));
        QCOMPARE(shownId(), QStringLiteral("id21"));
        QCOMPARE(centreKey(), QStringLiteral("#id21"));
        back->click();
        settle();
        QCOMPARE(f->ctrl->FileName(), f->path(QStringLiteral("a.xml")));
        QCOMPARE(shownId(), QStringLiteral("id1"));

        // A missing target shows nothing and says nothing.
        testsupport::MessageCapture messages;
        QVERIFY(clickBox(QStringLiteral("!id99")));
        QCOMPARE(shownId(), QStringLiteral("id1"));
        QVERIFY(messages.messages.isEmpty());
    }

    void depthKeepsEveryBoxInPlace()
    {
        showGraphTab();
        const QMap<QString, QRect> before = shownBoxes();
        QVERIFY(before.size() >= 2);
        QVERIFY(!before.contains(QStringLiteral("#id4"))); // two steps away
        f->w<QSpinBox>("spnDepth")->setValue(2);
        settle();
        const QMap<QString, QRect> after = shownBoxes();
        QVERIFY(after.contains(QStringLiteral("#id4")));
        for (auto it = before.cbegin(); it != before.cend(); ++it)
            QCOMPARE(after.value(it.key()), it.value());
    }

    void zoomKeysAndWheel()
    {
        showGraphTab();
        canvas()->setFocus();
        const qreal z = canvas()->zoom();
        QTest::keyClick(canvas(), Qt::Key_Plus, Qt::ControlModifier);
        QVERIFY(canvas()->zoom() > z * 1.2);
        QTest::keyClick(canvas(), Qt::Key_Minus, Qt::ControlModifier);
        QTest::keyClick(canvas(), Qt::Key_Minus, Qt::ControlModifier);
        QVERIFY(canvas()->zoom() < z);
        QWheelEvent wheel(QPointF(50, 50), canvas()->viewport()->mapToGlobal(QPointF(50, 50)), {}, QPoint(0, 240),
                          Qt::NoButton, Qt::ControlModifier, Qt::NoScrollPhase, false);
        const qreal beforeWheel = canvas()->zoom();
        QApplication::sendEvent(canvas()->viewport(), &wheel);
        QVERIFY(canvas()->zoom() > beforeWheel * 1.5);
        // Ctrl+0: the whole picture in view, never larger than life.
        QTest::keyClick(canvas(), Qt::Key_0, Qt::ControlModifier);
        QVERIFY(canvas()->zoom() <= 1.0);
        const QRect shown = canvas()->mapFromScene(page()->scene()->sceneRect()).boundingRect();
        QVERIFY(canvas()->viewport()->rect().adjusted(-2, -2, 2, 2).contains(shown));
        // Ctrl+0 in the depth box too.
        QTest::keyClick(canvas(), Qt::Key_Plus, Qt::ControlModifier);
        QVERIFY(canvas()->zoom() > 1.0);
        QTest::keyClick(f->w<QSpinBox>("spnDepth"), Qt::Key_0, Qt::ControlModifier);
        QVERIFY(canvas()->zoom() <= 1.0);
    }

    void keyboardWalksTheBoxes()
    {
        showGraphTab();
        // At depth 1 every box shown is in view.
        for (const QRect &box : shownBoxes())
            QVERIFY(canvas()->viewport()->rect().contains(box));
        QCOMPARE(canvas()->accessibleName(), QStringLiteral("Reference graph"));
        canvas()->setFocus();
        QCOMPARE(canvas()->currentNode(), -1);
        QTest::keyClick(canvas(), Qt::Key_Tab); // the first box: the centre
        QCOMPARE(canvas()->currentNode(), page()->model().centre());
        QTest::keyClick(canvas(), Qt::Key_Right);
        const int node = canvas()->currentNode();
        QVERIFY(node >= 0 && node != page()->model().centre());
        QTest::keyClick(canvas(), Qt::Key_Left);
        QTest::keyClick(canvas(), Qt::Key_Down);
        QCOMPARE(canvas()->currentNode(), node);
        const GraphNode box = page()->model().nodes()[node];
        QTest::keyClick(canvas(), Qt::Key_Return);
        settle();
        QCOMPARE(centreKey(), box.key);
    }
};

QTEST_MAIN(tst_CtrlGraph)
#include "tst_ctrlgraph.moc"
