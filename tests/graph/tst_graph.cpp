// The reference graph without a window: the neighbourhood model (references made and
// received, other files, missing targets, "+N more", depth 2) and the layout (no overlaps,
// the same result for the same input, the centre kept in place).
#include "graph/graphlayout.h"
#include "graph/graphmodel.h"
#include "graph/graphscene.h"
#include "refs/refindex.h"
#include "testsupport.h"

#include <QElapsedTimer>
#include <QXmlStreamReader>

using namespace quillon;
using testsupport::copyData;

namespace {

// A document in dir: instance "hub" referred to by `in` instances and referring to `out`
// others, with property names of different lengths.
QString writeStar(const QTemporaryDir &dir, int in, int out, const QString &name = QStringLiteral("star.xml"))
{
    QByteArray xml = "<uos><aim><aim-instances><hub id=\"hub\">";
    for (int i = 0; i < out; ++i)
        xml += "<uses_" + QByteArray(1 + i % 7, 'x') + "><part ref=\"t" + QByteArray::number(i) + "\"/></uses_" +
               QByteArray(1 + i % 7, 'x') + ">";
    xml += "</hub>";
    for (int i = 0; i < out; ++i)
        xml += "<part id=\"t" + QByteArray::number(i) + "\"><name>t</name></part>";
    for (int i = 0; i < in; ++i)
        xml += "<user id=\"u" + QByteArray::number(i) + "\"><needs_" + QByteArray(1 + i % 5, 'y') +
               "><hub ref=\"hub\"/></needs_" + QByteArray(1 + i % 5, 'y') + "></user>";
    const QString path = dir.filePath(name);
    testsupport::writeAll(path, xml + "</aim-instances></aim></uos>");
    return path;
}

QStringList nodeTexts(const GraphModel &m)
{
    QStringList t;
    for (const GraphNode &n : m.nodes())
        t << n.lines().join(QLatin1Char(' '));
    return t;
}

// "from -label-> to" for every edge, by the nodes' texts.
QStringList edgeTexts(const GraphModel &m)
{
    QStringList t;
    for (const GraphEdge &e : m.edges())
        t << m.nodes()[e.from].lines().join(QLatin1Char(' ')) + QStringLiteral(" -") + e.label + QStringLiteral("-> ") +
                 m.nodes()[e.to].lines().join(QLatin1Char(' '));
    return t;
}

bool overlap(const QRectF &a, const QRectF &b)
{
    // Touching edges do not count.
    return a.adjusted(0.5, 0.5, -0.5, -0.5).intersects(b.adjusted(0.5, 0.5, -0.5, -0.5));
}

} // namespace

class tst_Graph : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    XmlDocument m_doc;
    QString m_path;
    ReferenceIndex m_index;

    GraphModel build(const QString &id, int depth)
    {
        GraphModel m;
        m.build(&m_doc, m_path, m_doc.findInstance(id), depth, graphReferrers(&m_doc, &m_index));
        return m;
    }

private slots:
    void initTestCase()
    {
        m_path = copyData(m_dir, {QStringLiteral("graph/a.xml"), QStringLiteral("graph/b.xml")});
        QVERIFY(m_doc.load(m_path));
    }

    // ---- The model --------------------------------------------------------------------

    void referencesMadeAndReceived()
    {
        const GraphModel m = build(QStringLiteral("id1"), 1);
        QCOMPARE(m.centre(), 0);
        QCOMPARE(nodeTexts(m),
                 QStringList({"product id1", "shape id5", "material b.xml#id21", "shape id6", "missing: id99",
                              "missing: gone.xml#id3", "assembly usage id3", "note id7"}));
        // Every member of a list of references counts, each under its property's caption; the
        // same target under two properties gives two edges, one node.
        QCOMPARE(edgeTexts(m), QStringList({
                                   "product id1 -of shape-> shape id5",
                                   "product id1 -made from-> material b.xml#id21",
                                   "product id1 -shape items-> shape id5",
                                   "product id1 -shape items-> shape id6",
                                   "product id1 -drawing-> missing: id99",
                                   "product id1 -supplier-> missing: gone.xml#id3",
                                   "assembly usage id3 -related product-> product id1",
                                   // an href naming this document by its bare name is a reference into it
                                   "note id7 -about-> product id1",
                               }));
        using K = GraphNode::Kind;
        const QString b = m_dir.filePath(QStringLiteral("b.xml"));
        const GraphNode &other = m.nodes()[m.indexOf(b + QStringLiteral("#id21"))];
        QCOMPARE(other.kind, K::OtherFile);
        QCOMPARE(other.file, b); // the file the reference names, as every feature resolves it
        QCOMPARE(m.nodes()[m.indexOf(QStringLiteral("!id99"))].kind, K::Missing);
        QCOMPARE(m.nodes()[m.indexOf(QStringLiteral("!gone.xml#id3"))].kind, K::Missing);
        // Instance nodes carry their element, so a click can show it.
        QCOMPARE(firstAttributeText(m.nodes()[m.indexOf(QStringLiteral("#id3"))].element), QStringLiteral("id3"));
        for (const GraphNode &n : m.nodes())
            QCOMPARE(n.depth, n.key == QStringLiteral("#id1") ? 0 : 1);
    }

    void depthTwoAddsTheNeighboursOfNeighbours()
    {
        const GraphModel one = build(QStringLiteral("id1"), 1);
        const GraphModel two = build(QStringLiteral("id1"), 2);
        QCOMPARE(two.depth(), 2);
        // Depth 1 comes first and unchanged.
        for (int i = 0; i < one.nodes().size(); ++i)
            QCOMPARE(two.nodes()[i].key, one.nodes()[i].key);
        const QStringList edges = edgeTexts(two);
        QVERIFY(edges.contains("assembly usage id3 -relating product-> product id4"));
        QVERIFY(edges.contains("shape id6 -based on-> shape id5"));
        QCOMPARE(two.nodes()[two.indexOf(QStringLiteral("#id4"))].depth, 2);
        // Depth 2 is not expanded further: id4 refers to nothing, but it is a leaf either way;
        // an edge already present is not repeated from the other side.
        QCOMPARE(edges.count("assembly usage id3 -related product-> product id1"), 1);
        QCOMPARE(edges.size(), QSet<QString>(edges.begin(), edges.end()).size());
        // Other files are not loaded: nothing beyond the material.
        for (const GraphEdge &e : two.edges())
            QVERIFY(two.nodes()[e.from].kind == GraphNode::Kind::Instance);
    }

    void depthIsClamped()
    {
        QCOMPARE(build(QStringLiteral("id1"), 0).depth(), 1);
        QCOMPARE(build(QStringLiteral("id1"), 7).depth(), 2);
        GraphModel empty;
        empty.build(&m_doc, m_path, XmlNode(), 1, {});
        QVERIFY(empty.nodes().isEmpty());
        QCOMPARE(empty.centre(), -1);
        // An element that is no instance has no graph.
        empty.build(&m_doc, m_path, m_doc.selectSingleNode(QStringLiteral("/uos/aim")), 1, {});
        QVERIFY(empty.nodes().isEmpty());
    }

    void withoutReferrerSourceOnlyReferencesMade()
    {
        GraphModel m;
        m.build(&m_doc, m_path, m_doc.findInstance(QStringLiteral("id1")), 1, {});
        QCOMPARE(m.indexOf(QStringLiteral("#id3")), -1);
        QVERIFY(m.indexOf(QStringLiteral("#id5")) > 0);
    }

    void scanFindsReferrersByRefAndHref()
    {
        const ReferrerSource scan = scanReferrers(&m_doc, m_path);
        QStringList found;
        for (const GraphReferrer &r : scan(QStringLiteral("id1")))
            found << firstAttributeText(r.instance) + QLatin1Char('/') + r.property;
        QCOMPARE(found, QStringList({"id3/related product", "id7/about"}));
        QCOMPARE(scan(QStringLiteral("id5")).size(), 3); // of_shape, shape_items, based_on
        // An href into another file is no reference into this one, even with the same id.
        XmlDocument b;
        QVERIFY(b.load(m_dir.filePath(QStringLiteral("b.xml"))));
        QVERIFY(scanReferrers(&b, b.path())(QStringLiteral("id1")).isEmpty());
        QVERIFY(scan(QString()).isEmpty());
    }

    void indexAndScanAgree()
    {
        const ReferrerSource scan = scanReferrers(&m_doc, m_path);
        const ReferrerSource indexed = graphReferrers(&m_doc, &m_index);
        int referrers = 0;
        m_doc.forEachInstance([&](ElementRef e) {
            const QString id = firstAttributeText(m_doc.documentElement().at(e));
            const QList<GraphReferrer> a = scan(id), b = indexed(id);
            QCOMPARE(b.size(), a.size());
            for (int i = 0; i < a.size(); ++i) {
                QVERIFY(a[i].instance == b[i].instance);
                QCOMPARE(b[i].property, a[i].property);
            }
            referrers += int(a.size());
        });
        QCOMPARE(referrers, 7);
    }

    // A re-pointed reference moves its edge: the referrers follow the document's edits.
    void followsEditLink()
    {
        testsupport::SessionHarness h({QStringLiteral("graph/a.xml"), QStringLiteral("graph/b.xml")});
        QVERIFY(h.open(QStringLiteral("a.xml"), 2));
        ReferenceIndex index;
        const auto referrersOf = [&](const QString &id) {
            GraphModel m;
            m.build(h.doc(), h.path(QStringLiteral("a.xml")), h.instance(id), 1, graphReferrers(h.doc(), &index));
            return edgeTexts(m).filter(QStringLiteral("assembly usage"));
        };
        QCOMPARE(referrersOf(QStringLiteral("id1")),
                 QStringList({"assembly usage id3 -related product-> product id1"}));
        QVERIFY(h.select(QStringLiteral("aim/aim-instances/assembly usage")).isEmpty());
        QVERIFY(h.session
                    .applyLink(h.row(QStringLiteral("related product")),
                               h.path(QStringLiteral("a.xml")) + QStringLiteral("#product#id4"))
                    .isEmpty());
        QVERIFY(referrersOf(QStringLiteral("id1")).isEmpty());
        QCOMPARE(referrersOf(QStringLiteral("id4")),
                 QStringList({"assembly usage id3 -related product-> product id4",
                              "assembly usage id3 -relating product-> product id4"}));
    }

    void moreThanTheLimitOnOneSide()
    {
        QTemporaryDir dir;
        const QString path = writeStar(dir, 30, 3);
        XmlDocument doc;
        QVERIFY(doc.load(path));
        GraphModel m;
        const auto build = [&] {
            m.build(&doc, path, doc.findInstance(QStringLiteral("hub")), 1, scanReferrers(&doc, path));
        };
        build();
        // 3 references made, 25 of 30 referrers, and one node for the other 5.
        QCOMPARE(m.nodes().size(), 1 + 3 + 25 + 1);
        const GraphNode &more = m.nodes().last();
        QCOMPARE(more.kind, GraphNode::Kind::More);
        QCOMPARE(more.lines(), QStringList({"+5 more"}));
        QVERIFY(m.indexOf(QStringLiteral("#u24")) > 0);
        QCOMPARE(m.indexOf(QStringLiteral("#u25")), -1);
        // The More node sits on the referrers' side: its edge points at the hub.
        QCOMPARE(m.edges().last(), (GraphEdge{int(m.nodes().size()) - 1, 0, {}}));

        m.expand(more.expands);
        build();
        QCOMPARE(m.nodes().size(), 1 + 3 + 30);
        QVERIFY(m.indexOf(QStringLiteral("#u29")) > 0);
        m.clearExpanded();
        m.setLimit(2);
        build();
        // Each side is cut on its own.
        QCOMPARE(nodeTexts(m).filter(QStringLiteral(" more")), QStringList({"+1 more", "+28 more"}));

        // Past the node budget a side is folded into its More node, counting all of it.
        m.setLimit(GraphModel::defaultLimit);
        m.setMaxNodes(10);
        build();
        QCOMPARE(m.nodes().size(), 10);
        QCOMPARE(m.nodes().last().lines(), QStringList({"+25 more"}));
        m.expand(m.nodes().last().expands);
        build();
        QCOMPARE(m.nodes().size(), 1 + 3 + 30); // asked for: all of them
    }

    // ---- Layout -----------------------------------------------------------------------

    void sixtyBoxesDoNotOverlap()
    {
        QTemporaryDir dir;
        const QString path = writeStar(dir, 24, 35);
        XmlDocument doc;
        QVERIFY(doc.load(path));
        GraphModel m;
        m.build(&doc, path, doc.findInstance(QStringLiteral("hub")), 1, scanReferrers(&doc, path));
        QCOMPARE(m.nodes().size(), 1 + 25 + 1 + 24 + 0); // 35 made: 25 and "+10 more"
        m.expand(m.nodes()[26].expands);
        m.build(&doc, path, doc.findInstance(QStringLiteral("hub")), 1, scanReferrers(&doc, path));
        QCOMPARE(m.nodes().size(), 60);

        GraphScene scene;
        QElapsedTimer t;
        t.start();
        QVERIFY(scene.draw(m, QPalette(), QFont()));
        qInfo("60 boxes drawn and laid out in %lld ms", t.elapsed());
        const GraphLayoutResult &r = scene.placement();
        QCOMPARE(r.nodes.size(), 60);
        QList<QRectF> labels;
        for (const auto &e : r.edges) {
            QVERIFY(!e.path.isEmpty());
            if (!e.label.isEmpty())
                labels << e.label;
        }
        QCOMPARE(labels.size(), m.edges().size());
        for (int i = 0; i < r.nodes.size(); ++i) {
            QCOMPARE(r.nodes[i].size(), scene.layoutInput().nodes[i]);
            for (int j = i + 1; j < r.nodes.size(); ++j)
                QVERIFY2(!overlap(r.nodes[i], r.nodes[j]), qPrintable(QStringLiteral("boxes %1 and %2").arg(i).arg(j)));
            for (const QRectF &l : labels)
                QVERIFY2(!overlap(r.nodes[i], l), qPrintable(QStringLiteral("box %1 and a label").arg(i)));
        }
        for (int i = 0; i < labels.size(); ++i)
            for (int j = i + 1; j < labels.size(); ++j)
                QVERIFY2(!overlap(labels[i], labels[j]), qPrintable(QStringLiteral("labels %1 and %2").arg(i).arg(j)));
        // The boxes are big enough for their text.
        QFontMetricsF fm{QFont()};
        for (int i = 0; i < m.nodes().size(); ++i)
            for (const QString &line : m.nodes()[i].lines())
                QVERIFY(fm.horizontalAdvance(line) < r.nodes[i].width());
    }

    void sameInputSameLayoutCentreInPlace()
    {
        GraphScene a, b;
        QVERIFY(a.draw(build(QStringLiteral("id1"), 1), QPalette(), QFont()));
        QVERIFY(b.draw(build(QStringLiteral("id1"), 1), QPalette(), QFont()));
        QCOMPARE(a.placement().nodes, b.placement().nodes);
        for (int i = 0; i < a.placement().edges.size(); ++i) {
            QCOMPARE(a.placement().edges[i].path, b.placement().edges[i].path);
            QCOMPARE(a.placement().edges[i].label, b.placement().edges[i].label);
        }
        // The centre stays where it was when the depth changes.
        GraphScene deeper;
        QVERIFY(deeper.draw(build(QStringLiteral("id1"), 2), QPalette(), QFont()));
        QCOMPARE(deeper.placement().nodes[0].center(), a.placement().nodes[0].center());
        QCOMPARE(a.nodeAt(a.placement().nodes[3].center()), 3);
        QCOMPARE(a.nodeAt(a.placement().bounds.topLeft() - QPointF(5, 5)), -1);
    }

    void edgesRunBetweenTheirBoxes()
    {
        GraphScene s;
        const GraphModel m = build(QStringLiteral("id1"), 1);
        QVERIFY(s.draw(m, QPalette(), QFont()));
        for (int i = 0; i < m.edges().size(); ++i) {
            const auto &e = s.placement().edges[i];
            const QRectF from = s.placement().nodes[m.edges()[i].from].adjusted(-2, -2, 2, 2);
            const QRectF to = s.placement().nodes[m.edges()[i].to].adjusted(-2, -2, 2, 2);
            QVERIFY(from.contains(e.path.first()));
            QVERIFY(to.contains(e.tip));
        }
    }

    void coloursFollowThePalette()
    {
        QPalette dark;
        dark.setColor(QPalette::Base, QColor(20, 20, 24));
        dark.setColor(QPalette::Highlight, QColor(200, 120, 0));
        GraphScene s;
        QVERIFY(s.draw(build(QStringLiteral("id1"), 1), dark, QFont()));
        QTemporaryDir dir;
        const QString png = dir.filePath(QStringLiteral("dark.png"));
        QVERIFY(s.writePng(png));
        const QImage image(png);
        QCOMPARE(image.pixelColor(1, 1), dark.color(QPalette::Base));
        // The centre box, a little inside its frame and away from its text.
        const QRectF picture = s.sceneRect();
        const QRectF centre = s.placement().nodes[0];
        const QPointF inside = centre.topLeft() + QPointF(3, 3) - picture.topLeft();
        QCOMPARE(image.pixelColor(inside.toPoint()), dark.color(QPalette::Highlight));
    }
};

QTEST_MAIN(tst_Graph)
#include "tst_graph.moc"
