#include <QtTest>

#include <climits>
#include <cmath>
#include <utility>

#include "model/layout.h"

using namespace quillon::layout;

namespace {

// The design arrangement stretched to its own size with a tab strip 360 high.
EditorLayout designSized()
{
    EditorLayout l = designLayout();
    resize(l, 7620, 6480, 360);
    return l;
}

// Drags in equal steps from x = 0 until a step is refused; returns the number of steps taken.
int dragUntilRefused(EditorLayout &l, int step)
{
    dragBegin(l, 0);
    int x = 0, moved = 0;
    while (dragMove(l, x + step)) {
        x += step;
        ++moved;
    }
    return moved;
}

} // namespace

class TestLayout : public QObject {
    Q_OBJECT

private slots:
    void resizeSizes_data()
    {
        QTest::addColumn<int>("w");
        QTest::addColumn<int>("h");
        QTest::addColumn<int>("th");
        // tab W x H, list W x H, tree H, splitter length, browser W x H, address W
        QTest::addColumn<QList<int>>("expected");
        // 5620 - 360 - 60 = 5200; browser: (5620 - 360) - 2 * (480 - 360) = 5020.
        QTest::newRow("design, strip 360")
            << 7620 << 6480 << 360 << QList<int>{7360, 5620, 3760, 4540, 4990, 5200, 7000, 5020, 7380};
        // 5620 - 300 - 60 = 5260; browser: 5320 - 2 * 180 = 4960.
        QTest::newRow("design, strip 300")
            << 7620 << 6480 << 300 << QList<int>{7360, 5620, 3760, 4540, 4990, 5260, 7000, 4960, 7380};
        // The list keeps 1500 although the tab leaves it 140.
        QTest::newRow("4000 wide") << 4000 << 6480 << 360
                                   << QList<int>{3740, 5620, 1500, 4540, 4990, 5200, 3380, 5020, 3760};
        // tab 1140 high: list 60 -> 500, tree 510, splitter 720, browser 1140 + 360 - 960.
        QTest::newRow("short") << 7620 << 2000 << 360 << QList<int>{7360, 1140, 3760, 500, 510, 720, 7000, 540, 7380};
        QTest::newRow("large") << 15000 << 12000 << 360
                               << QList<int>{14740, 11140, 11140, 10060, 10510, 10720, 14380, 10540, 14760};
        QTest::newRow("tab exactly zero") << 260 << 860 << 360 << QList<int>{0, 0, 1500, 500, 500, 0, 0, 0, 20};
        QTest::newRow("tiny") << 100 << 100 << 360 << QList<int>{0, 0, 1500, 500, 500, 0, 0, 0, 0};
        QTest::newRow("browser narrower than margins")
            << 500 << 6480 << 360 << QList<int>{240, 5620, 1500, 4540, 4990, 5200, 0, 5020, 260};
    }

    void resizeSizes()
    {
        QFETCH(int, w);
        QFETCH(int, h);
        QFETCH(int, th);
        QFETCH(QList<int>, expected);
        EditorLayout l = designLayout();
        resize(l, w, h, th);
        const QList<int> got{l.ctrlTab.width,         l.ctrlTab.height,  l.ctrlProperties.width,
                             l.ctrlProperties.height, l.ctrlTree.height, l.lblResizeBar.height,
                             l.ieXML.width,           l.ieXML.height,    l.lblAddress.width};
        QCOMPARE(got, expected);
        QCOMPARE(l.linHilite.y2 - l.linHilite.y1, l.lblResizeBar.height);
        QCOMPARE(l.linShadow.y2 - l.linShadow.y1, l.lblResizeBar.height);
    }

    void minimumSizeIsWhereTheListStopsFitting_data()
    {
        QTest::addColumn<int>("hintWidth");
        QTest::addColumn<int>("strip");
        QTest::addColumn<int>("drag"); // the splitter moved by this much first
        QTest::newRow("narrow hint") << 1000 << 360 << 0;
        QTest::newRow("wide hint") << 2925 << 360 << 0;
        QTest::newRow("wide hint, low strip") << 2925 << 300 << 0;
        QTest::newRow("after a drag right") << 2925 << 360 << 900;
        QTest::newRow("after a drag left") << 1000 << 360 << -1500;
    }
    void minimumSizeIsWhereTheListStopsFitting()
    {
        QFETCH(int, hintWidth);
        QFETCH(int, strip);
        QFETCH(int, drag);
        EditorLayout l = designSized();
        l.lblSelectWhat.width = hintWidth;
        l.lblSelectWhat.height = 240;
        dragBegin(l, 0);
        dragMove(l, drag);
        dragEnd(l);
        const Size min = minimumSize(l, strip);
        auto fits = [&](int w, int h) {
            EditorLayout m = l;
            resize(m, w, h, strip);
            const Rect &list = m.ctrlProperties, &tree = m.ctrlTree, &tab = m.ctrlTab, &back = m.cmdBack;
            return list.left + list.width <= tab.width - 120 && list.top + list.height <= tab.height - 120 &&
                   tree.top + tree.height <= tab.height - 120 && m.lblSelectWhat.width <= list.width &&
                   back.left + back.width <= tab.width - 120 && m.ieXML.height >= 500 && m.lblResizeBar.height > 0 &&
                   tree.left + tree.width < m.linHilite.x1 && m.lblAddress.width > 0;
        };
        QVERIFY(fits(min.width, min.height));
        QVERIFY(fits(min.width + 3000, min.height + 3000));
        // One twip less either way and something no longer fits.
        QVERIFY(!fits(min.width - 1, min.height));
        QVERIFY(!fits(min.width, min.height - 1));
    }

    void resizeKeepsEdgesAndDoesNotDrift()
    {
        const EditorLayout design = designLayout();
        EditorLayout l = design;
        resize(l, 3000, 2500, 300);
        resize(l, 7620, 6480, 360);
        QCOMPARE(l, designSized());
        // Only sizes change: every left and top edge (but the hint's) is the design one.
        QCOMPARE(l.ctrlProperties.left, design.ctrlProperties.left);
        QCOMPARE(l.ctrlProperties.top, design.ctrlProperties.top);
        QCOMPARE(l.ctrlTree.width, design.ctrlTree.width);
        QCOMPARE(l.ieXML.left, design.ieXML.left);
        QCOMPARE(l.linHilite.x1, design.linHilite.x1);
        QCOMPARE(l.linShadow.x2, design.linShadow.x2);
        QCOMPARE(l.lblResizeBar.left, design.lblResizeBar.left);
    }

    void hintCentred()
    {
        EditorLayout l = designSized();
        // 3480 + (3760 - 2925) / 2 = 3897.5 -> 3898; 960 + (4540 - 240) / 2 = 3110.
        QCOMPARE(l.lblSelectWhat.left, 3898);
        QCOMPARE(l.lblSelectWhat.top, 3110);
        l.lblSelectWhat.width = 2000; // the caption changed; the caller centres again
        centreHint(l);
        QCOMPARE(l.lblSelectWhat.left, 3480 + 880);
        dragBegin(l, 0);
        QVERIFY(dragMove(l, 500));
        // 3980 + (3260 - 2000) / 2 = 4610.
        QCOMPARE(l.lblSelectWhat.left, 4610);
        QCOMPARE(l.lblSelectWhat.top, 3110);
    }

    void dragToTheLimits_data()
    {
        QTest::addColumn<int>("step");
        QTest::addColumn<int>("steps");
        QTest::addColumn<int>("treeWidth");
        QTest::addColumn<int>("listWidth");
        // List 3760 -> 1560 in 22 steps; 1460 would be at or below 1500.
        QTest::newRow("right") << 100 << 22 << 4975 << 1560;
        // Tree 2775 -> 1075 in 17 steps; 975 would be at or below 1000.
        QTest::newRow("left") << -100 << 17 << 1075 << 5460;
    }

    void dragToTheLimits()
    {
        QFETCH(int, step);
        QFETCH(int, steps);
        QFETCH(int, treeWidth);
        QFETCH(int, listWidth);
        EditorLayout l = designSized();
        QCOMPARE(dragUntilRefused(l, step), steps);
        const int d = steps * step;
        QCOMPARE(l.ctrlTree.width, treeWidth);
        QCOMPARE(l.ctrlProperties.width, listWidth);
        QCOMPARE(l.ctrlProperties.left, 3480 + d);
        QCOMPARE(l.ctrlProperties.left + l.ctrlProperties.width, 7240); // right edge stays
        QCOMPARE(l.cmdBack.left, 3480 + d);
        QCOMPARE(l.linHilite.x1, 3120 + d);
        QCOMPARE(l.linHilite.x2, 3120 + d);
        QCOMPARE(l.linShadow.x1, 3255 + d);
        QCOMPARE(l.linShadow.x2, 3255 + d);
        QCOMPARE(l.lblResizeBar.left, 3135); // the bar waits for mouse-up
        // The entity label moves with <<Back and stays clear of it.
        QCOMPARE(l.lblEntity.left, 4800 + d);
        QVERIFY(l.lblEntity.left > l.cmdBack.left + l.cmdBack.width);
        // The refused step left m_nDragX behind: the pointer must come back first.
        QCOMPARE(l.dragX, d);
        QVERIFY(!dragMove(l, d + step));
        QVERIFY(dragMove(l, d - step / 2));
        QCOMPARE(l.ctrlTree.width, treeWidth - step / 2);

        QVERIFY(dragEnd(l));
        QVERIFY(!l.dragging);
        QCOMPARE(l.lblResizeBar.left, l.linHilite.x1 + 10);
        QCOMPARE(l.propsInsetX, l.ctrlProperties.left + 120);
    }

    void singleStepAtTheLimit_data()
    {
        QTest::addColumn<int>("d");
        QTest::addColumn<bool>("moves");
        QTest::newRow("list to 1501") << 2259 << true;
        QTest::newRow("list to 1500") << 2260 << false;
        QTest::newRow("list far past") << 5000 << false;
        QTest::newRow("tree to 1001") << -1774 << true;
        QTest::newRow("tree to 1000") << -1775 << false;
        QTest::newRow("tree far past") << -5000 << false;
        QTest::newRow("no movement") << 0 << false;
    }

    void singleStepAtTheLimit()
    {
        QFETCH(int, d);
        QFETCH(bool, moves);
        EditorLayout l = designSized();
        dragBegin(l, 40);
        const EditorLayout before = l;
        QCOMPARE(dragMove(l, 40 + d), moves);
        if (moves)
            QCOMPARE(l.ctrlTree.width, 2775 + d);
        else
            QCOMPARE(l, before);
    }

    void resizeAfterDragKeepsBorder()
    {
        EditorLayout l = designSized();
        dragBegin(l, 10);
        QVERIFY(dragMove(l, 510));
        QVERIFY(dragEnd(l));
        resize(l, 9000, 7000, 360);
        QCOMPARE(l.ctrlTree.width, 3275);
        QCOMPARE(l.ctrlProperties.left, 3980);
        QCOMPARE(l.ctrlProperties.left + l.ctrlProperties.width, l.ctrlTab.width - 120);
        QCOMPARE(l.lblResizeBar.left, 3630);
    }

    void noDragNoChange()
    {
        EditorLayout l = designSized();
        const EditorLayout before = l;
        QVERIFY(!dragMove(l, 900));
        QVERIFY(!dragEnd(l));
        QCOMPARE(l, before);
    }

    void fitColumnsWidths_data()
    {
        QTest::addColumn<double>("fitted");
        QTest::addColumn<int>("listWidth");
        QTest::addColumn<int>("extra");
        QTest::addColumn<int>("first");
        QTest::addColumn<int>("second");
        QTest::newRow("list") << 1000.0 << 3760 << 400 << 1400 << 2300;
        QTest::newRow("picker") << 1000.0 << 3760 << 100 << 1100 << 2600;
        QTest::newRow("negative fit") << -15.0 << 3760 << 400 << 400 << 3300;
        QTest::newRow("halves down to even") << 1000.5 << 3760 << 400 << 1400 << 2300;
        QTest::newRow("halves up to even") << 1001.5 << 3760 << 400 << 1402 << 2298;
        QTest::newRow("second exactly zero") << 0.0 << 460 << 400 << 400 << 0;
        QTest::newRow("second would be -1") << 0.0 << 459 << 400 << 400 << 0;
        QTest::newRow("list narrower than column 1") << 1200.0 << 1500 << 400 << 1600 << 0;
    }

    void fitColumnsWidths()
    {
        QFETCH(double, fitted);
        QFETCH(int, listWidth);
        QFETCH(int, extra);
        QFETCH(int, first);
        QFETCH(int, second);
        const ColumnWidths w = fitColumns(fitted, listWidth, extra);
        QCOMPARE(w.first, first);
        QCOMPARE(w.second, second);
        if (second > 0)
            QCOMPARE(w.first + w.second + 60, listWidth);
    }

    void fitColumnsUpToAShare_data()
    {
        QTest::addColumn<double>("fitted");
        QTest::addColumn<int>("listWidth");
        QTest::addColumn<double>("share");
        QTest::addColumn<int>("first");
        QTest::addColumn<int>("second");
        QTest::newRow("fits") << 1000.0 << 3760 << 0.5 << 1400 << 2300;
        QTest::newRow("exactly half") << 1480.0 << 3760 << 0.5 << 1880 << 1820;
        QTest::newRow("cut at half") << 2000.0 << 3760 << 0.5 << 1880 << 1820;
        QTest::newRow("cut at a third") << 2000.0 << 3000 << 1.0 / 3 << 1000 << 1940;
    }

    void fitColumnsUpToAShare()
    {
        QFETCH(double, fitted);
        QFETCH(int, listWidth);
        QFETCH(double, share);
        QFETCH(int, first);
        QFETCH(int, second);
        const ColumnWidths w = fitColumnsUpTo(fitted, listWidth, 400, share);
        QCOMPARE(w.first, first);
        QCOMPARE(w.second, second);
    }

    void splitterGripCoversBothLines_data()
    {
        QTest::addColumn<double>("dpi");
        QTest::addColumn<int>("drag");
        QTest::addColumn<int>("left");
        QTest::addColumn<int>("width");
        // Lines at 3120 and 3255 twips: 208 and 217 px at 96 dpi, each 2 px wide, 3 px either side.
        QTest::newRow("design, 96 dpi") << 96.0 << 0 << 204 << 17;
        QTest::newRow("design, 192 dpi") << 192.0 << 0 << 412 << 26;
        QTest::newRow("after a drag") << 96.0 << 300 << 224 << 17;
    }

    void splitterGripCoversBothLines()
    {
        QFETCH(double, dpi);
        QFETCH(int, drag);
        QFETCH(int, left);
        QFETCH(int, width);
        EditorLayout l = designSized();
        dragBegin(l, 0);
        dragMove(l, drag);
        dragEnd(l);
        QCOMPARE(splitterGrip(l, dpi, 3), (Span{left, width}));
    }

    void roundingHalvesToEven_data()
    {
        QTest::addColumn<double>("v");
        QTest::addColumn<int>("expected");
        const std::pair<double, int> cases[] = {{0.5, 0},    {1.5, 2},   {2.5, 2},   {3897.5, 3898},
                                                {-0.5, 0},   {-1.5, -2}, {-2.5, -2}, {2.4999, 2},
                                                {2.5001, 3}, {-2.6, -3}, {7.0, 7}};
        for (const auto &[v, r] : cases)
            QTest::addRow("%g", v) << v << r;
        QTest::newRow("nan") << std::nan("") << 0;
        QTest::newRow("beyond int") << 1e12 << INT_MAX;
    }

    void roundingHalvesToEven()
    {
        QFETCH(double, v);
        QFETCH(int, expected);
        QCOMPARE(roundHalfEven(v), expected);
    }

    void twipsAndPixels_data()
    {
        QTest::addColumn<double>("dpi");
        QTest::addColumn<int>("twips");
        QTest::addColumn<int>("pixels");
        QTest::addColumn<int>("backToTwips");
        QTest::newRow("96: inch") << 96.0 << 1440 << 96 << 1440;
        QTest::newRow("96: control") << 96.0 << 7620 << 508 << 7620;
        QTest::newRow("96: 7 twips") << 96.0 << 7 << 0 << 0;
        QTest::newRow("96: 8 twips") << 96.0 << 8 << 1 << 15;
        QTest::newRow("96: negative") << 96.0 << -30 << -2 << -30;
        QTest::newRow("192: inch") << 192.0 << 1440 << 192 << 1440;
        QTest::newRow("192: control") << 192.0 << 7620 << 1016 << 7620;
        QTest::newRow("192: 4 twips") << 192.0 << 4 << 1 << 8; // 7.5 -> 8
        QTest::newRow("192: 22 twips") << 192.0 << 22 << 3 << 22; // 22.5 -> 22
        QTest::newRow("144: halves") << 144.0 << 25 << 2 << 20; // 2.5 -> 2
        QTest::newRow("no dpi") << 0.0 << 1440 << 0 << 0;
    }

    void twipsAndPixels()
    {
        QFETCH(double, dpi);
        QFETCH(int, twips);
        QFETCH(int, pixels);
        QFETCH(int, backToTwips);
        QCOMPARE(twipsToPixels(twips, dpi), pixels);
        QCOMPARE(pixelsToTwips(pixels, dpi), backToTwips);
    }
};

QTEST_APPLESS_MAIN(TestLayout)
#include "tst_layout.moc"
