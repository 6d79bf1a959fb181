// One meaning for every reference: a folder of documents holds an href of every form, and a
// click (the session following the row), "Referenced by" (the reference index), the Graph and
// the Check must name the same file and instance for it, or agree that it leads nowhere.
#include "session/editorsession.h"
#include "graph/graphmodel.h"
#include "refs/refcheck.h"
#include "refs/refindex.h"
#include "testsupport.h"

#include <QTest>

using namespace quillon;
using namespace testsupport;

namespace {

// main.xml: the instance r1 holds the href under test; d1 is used twice, both referring to t1.
QByteArray mainXml(const QString &href)
{
    return QStringLiteral("<uos><aim><aim-instances>\n"
                          "<target id=\"t1\"><name>t</name></target>\n"
                          "<dup id=\"d1\"><name>first</name><to><target ref=\"t1\"/></to></dup>\n"
                          "<dup id=\"d1\"><to><target ref=\"t1\"/></to></dup>\n"
                          "<holder id=\"r1\"><to><x href=\"%1\"/></to></holder>\n"
                          "</aim-instances></aim></uos>\n")
        .arg(href)
        .toUtf8();
}

QByteArray otherXml(const char *id)
{
    return QByteArray("<uos><aim><aim-instances><x id=\"") + id + "\"/></aim-instances></aim></uos>\n";
}

// A row of everyFeatureReadsAReferenceAlike.
void row(const char *name, const char *href, const char *file, const char *finding = "")
{
    QTest::newRow(name) << QString::fromUtf8(href) << QString::fromUtf8(file) << QString::fromUtf8(finding);
}

} // namespace

class TestResolve : public QObject {
    Q_OBJECT
    QTemporaryDir m_root;
    QString m_cwd;
    QString at(const QString &name) const { return m_root.filePath(name); }

private slots:
    void initTestCase();
    void cleanupTestCase() { QDir::setCurrent(m_cwd); }
    void everyFeatureReadsAReferenceAlike_data();
    void everyFeatureReadsAReferenceAlike();
    void instancesSharingAnIdStayApart();
};

void TestResolve::initTestCase()
{
    QDir(m_root.path()).mkpath(QStringLiteral("doc/sub"));
    QDir(m_root.path()).mkpath(QStringLiteral("work"));
    writeAll(at(QStringLiteral("doc/main.xml")), mainXml(QStringLiteral("#t1")));
    writeAll(at(QStringLiteral("doc/b.xml")), otherXml("b2"));
    writeAll(at(QStringLiteral("doc/sub/mat.xml")), otherXml("m2"));
    writeAll(at(QStringLiteral("up.xml")), otherXml("u2"));
    // Found only from the working folder: a reference must not reach it.
    writeAll(at(QStringLiteral("work/cwdonly.xml")), otherXml("w2"));
    QVERIFY(QFile::link(at(QStringLiteral("doc/main.xml")), at(QStringLiteral("doc/link.xml"))));
    m_cwd = QDir::currentPath();
    QDir::setCurrent(at(QStringLiteral("work")));
}

void TestResolve::everyFeatureReadsAReferenceAlike_data()
{
    QTest::addColumn<QString>("href"); // "%1": the folder of all
    QTest::addColumn<QString>("file"); // the file reached, below the folder of all; "" for none
    QTest::addColumn<QString>("finding"); // the Check's finding on r1 ("" for none)
    row("bare name", "b.xml#b2", "doc/b.xml");
    row("./name", "./b.xml#b2", "doc/b.xml");
    row("sub/name", "sub/mat.xml#m2", "doc/sub/mat.xml");
    row("../name", "../up.xml#u2", "up.xml");
    row("absolute", "%1/doc/b.xml#b2", "doc/b.xml");
    row("#id", "#t1", "doc/main.xml");
    row("own name", "main.xml#t1", "doc/main.xml");
    row("./own name", "./main.xml#t1", "doc/main.xml");
    row("own name through sub/..", "sub/../main.xml#t1", "doc/main.xml");
    row("own absolute path", "%1/doc/main.xml#t1", "doc/main.xml");
    row("own file by a link", "link.xml#t1", "doc/main.xml");
    row("duplicate id", "#d1", "doc/main.xml");
    row("missing file", "gone.xml#x", "", "missing-file");
    row("only in the working folder", "cwdonly.xml#w2", "", "missing-file");
    row("own name, unknown id", "./main.xml#nope", "doc/main.xml", "unknown-href");
}

void TestResolve::everyFeatureReadsAReferenceAlike()
{
    QFETCH(QString, href);
    QFETCH(QString, file);
    QFETCH(QString, finding);
    href = href.arg(m_root.path());
    const QString main = at(QStringLiteral("doc/main.xml"));
    writeAll(main, mainXml(href));
    const QString target = file.isEmpty() ? QString() : at(file);
    const QString id = RefPieces(href).piece(1);
    const bool self = sameDocument(target, main);
    XmlDocument doc;
    QVERIFY(doc.load(main));
    // The instance the reference reaches in main.xml: the first of its id.
    const XmlNode reached = self ? doc.findInstance(id) : XmlNode();

    // A click on the row: the session follows it.
    EditorSession session;
    session.setViewMode(2);
    QVERIFY(session.open(main));
    settle();
    QVERIFY(session.showInstance({}, QStringLiteral("r1")).isEmpty());
    const XmlDocument *before = session.document();
    const QStringList said = outcomes(session.followRow(0));
    settle();
    if (target.isEmpty()) {
        QCOMPARE(said.value(0), QStringLiteral("FileNotFound"));
        QCOMPARE(session.fileName(), main);
    } else if (self) {
        QCOMPARE(session.document(), before); // neither saved nor read again
        QCOMPARE(said, reached ? QStringList() : QStringList{"RowInstanceNotFound"});
        QCOMPARE(firstAttributeText(session.shownInstance()), reached ? id : QStringLiteral("r1"));
        QCOMPARE(session.shownInstance().text(), reached ? reached.text() : QStringLiteral(""));
    } else {
        QVERIFY(sameDocument(session.fileName(), target));
        QCOMPARE(firstAttributeText(session.shownInstance()), id);
    }

    // "Referenced by": the document itself, or b.xml beside it, lists r1 exactly when reached.
    for (const QString &candidate : {main, at(QStringLiteral("doc/b.xml"))}) {
        ReferenceIndex index;
        XmlDocument other;
        const bool isMain = candidate == main;
        QVERIFY(isMain || other.load(candidate));
        const QList<Referrer> rows = isMain ? index.referrers(doc, id) : index.referrersInFolder(other, id);
        const bool listed = std::any_of(rows.begin(), rows.end(), [](const Referrer &r) { return r.id == "r1"; });
        QCOMPARE(listed, sameDocument(candidate, target));
    }

    // The Graph around r1: one box for the reference.
    GraphModel graph;
    graph.build(&doc, main, doc.findInstance(QStringLiteral("r1")), 1, {});
    QCOMPARE(graph.nodes().size(), 2);
    const GraphNode &box = graph.nodes().at(1);
    if (target.isEmpty() || (self && !reached)) {
        QCOMPARE(box.kind, GraphNode::Kind::Missing);
    } else if (self) {
        QCOMPARE(box.kind, GraphNode::Kind::Instance);
        QVERIFY(box.element == reached);
    } else {
        QCOMPARE(box.kind, GraphNode::Kind::OtherFile);
        QVERIFY(sameDocument(box.file, target));
        QCOMPARE(box.id, id);
    }

    // The Check: a finding on r1 only where the others found nothing.
    QStringList kinds;
    for (const Finding &f : ReferenceCheck::check({&doc}))
        if (f.instanceId == QStringLiteral("r1"))
            kinds << f.kind;
    QCOMPARE(kinds, finding.isEmpty() ? QStringList() : QStringList{finding});
}

void TestResolve::instancesSharingAnIdStayApart()
{
    const QString main = at(QStringLiteral("doc/main.xml"));
    writeAll(main, mainXml(QStringLiteral("#t1")));
    EditorSession session;
    QVERIFY(session.open(main));
    settle();
    XmlDocument &doc = *session.document();
    const QList<XmlNode> dups = doc.selectNodes(QStringLiteral("//dup"));
    QCOMPARE(dups.size(), 2);
    // "Referenced by" t1: each row is the very instance that refers, and a click shows it.
    const QList<Referrer> rows = session.referenceIndex()->referrers(doc, QStringLiteral("t1"));
    QCOMPARE(rows.size(), 3);
    const XmlNode root = doc.documentElement();
    QVERIFY(root.at(rows[1].instance) == dups[1]);
    QVERIFY(session.showInstance(rows[1].file, rows[1].id, root.at(rows[1].instance)).isEmpty());
    QVERIFY(session.shownInstance() == dups[1]);
    // The Graph around t1: two boxes, one per instance.
    GraphModel graph;
    graph.build(&doc, main, doc.findInstance(QStringLiteral("t1")), 1, graphReferrers(&doc, session.referenceIndex()));
    QList<XmlNode> boxes;
    for (const GraphNode &n : graph.nodes())
        if (n.id == QStringLiteral("d1"))
            boxes << n.element;
    QCOMPARE(boxes.size(), 2);
    QVERIFY(boxes[0] == dups[0] && boxes[1] == dups[1]);
}

QTEST_MAIN(TestResolve)
#include "tst_resolve.moc"
