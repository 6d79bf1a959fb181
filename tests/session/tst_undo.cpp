// Undo and Redo in the editing session: the document, the rows on show, the modified mark and
// the bytes a save writes after edits and link changes were taken back.
#include "session/editorsession.h"
#include "testsupport.h"
#include "document/xmlchange.h"

#include <QFileInfo>
#include <QPointer>
#include <QSignalSpy>
#include <QTest>
#include <QUndoStack>

using namespace quillon;
using namespace testsupport;

namespace {

// Written so that a rewrite from memory would differ from the file: single quotes, an escape
// the writer spells otherwise, a spaced empty tag, a comment inside a value.
const QByteArray kDocument = "<?xml version='1.0' encoding='UTF-8'?>\n"
                             "<uos>\n"
                             "  <arm>\n"
                             "    <PART>\n"
                             "      <HAS_ATTR><product ref='id1' /></HAS_ATTR>\n"
                             "    </PART>\n"
                             "  </arm>\n"
                             "  <mapping>\n"
                             "    <m><product ref='id1' /></m>\n"
                             "    <s><shape ref='id5' /></s>\n"
                             "    <away><material href='other.xml#id21' /></away>\n"
                             "  </mapping>\n"
                             "  <aim>\n"
                             "    <aim-instances>\n"
                             "      <product id='id1'>\n"
                             "        <name>it&apos;s</name>\n"
                             "        <of_shape><shape ref='id5' /></of_shape>\n"
                             "        <note>a<!-- c -->b</note>\n"
                             "        <empty />\n"
                             "        <plain>x</plain>\n"
                             "      </product>\n"
                             "      <shape id='id5'>\n"
                             "        <units>mm</units>\n"
                             "      </shape>\n"
                             "    </aim-instances>\n"
                             "  </aim>\n"
                             "</uos>\n";

} // namespace

class TestUndo : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void stackIsAChildOfTheSession();
    void undoOfAnEditGivesBackTheFileBytes_data();
    void undoOfAnEditGivesBackTheFileBytes();
    void redoMakesTheEditAgain();
    void undoOfOneOfTwoEditsKeepsTheOther();
    void editAfterAnUndoWritesOnlyItsValue();
    void undoOfEditLinkRestoresTheElement_data();
    void undoOfEditLinkRestoresTheElement();
    void cleanStateFollowsSaves();
    void undoToTheSavedStateWritesNothing();
    void loadsClearTheStackAViewSwitchKeepsIt();
    void unchangedCommitRecordsNothing();
    void undoShowsTheChangedInstance();
    void changeKeepsNodeHandlesValid();
    void clickLoadsDocument_data();
    void clickLoadsDocument();
    void keyboardMoveWaitsOnlyForJumps();
    void jumpKeepsTheDocumentLeftForBack_data();
    void jumpKeepsTheDocumentLeftForBack();

private:
    SessionHarness *h = nullptr;
    EditorSession &s() const { return h->session; }
    QUndoStack *stack() const { return s().undoStack(); }
    QString file() const { return h->path(QStringLiteral("u.xml")); }
    void showId1()
    {
        QVERIFY(h->open(QStringLiteral("u.xml"), 1));
        QVERIFY(h->select(QStringLiteral("mapping/m/product")).isEmpty());
        QCOMPARE(h->rows(0), (QStringList{"name", "of shape", "note", "empty", "plain"}));
    }
    XmlNode id1Child(const char *name) const
    {
        return h->instance(QStringLiteral("id1")).selectSingleNode(QLatin1String(name));
    }
};

void TestUndo::init()
{
    h = new SessionHarness({QStringLiteral("nav/other.xml")});
    writeAll(file(), kDocument);
}

void TestUndo::cleanup()
{
    delete h;
    h = nullptr;
}

void TestUndo::stackIsAChildOfTheSession()
{
    auto *found = s().findChild<QUndoStack *>();
    QVERIFY(found);
    QCOMPARE(found, stack());
    QCOMPARE(found->objectName(), QStringLiteral("undoStack"));
}

void TestUndo::undoOfAnEditGivesBackTheFileBytes_data()
{
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("text");
    QTest::newRow("escaped text, longer") << "name"
                                          << "it's longer now";
    QTest::newRow("escaped text, shorter") << "name"
                                           << "i";
    QTest::newRow("text emptied") << "plain"
                                  << "";
    QTest::newRow("spaced empty tag") << "empty"
                                      << "filled";
    QTest::newRow("comment inside") << "note"
                                    << "ab";
}

void TestUndo::undoOfAnEditGivesBackTheFileBytes()
{
    QFETCH(QString, caption);
    QFETCH(QString, text);
    showId1();
    const int row = h->row(caption);
    const QString value = h->rows(1).value(row);
    s().commitEdit(row, text);
    QVERIFY(s().isModified());
    QVERIFY(s().document()->toBytes() != kDocument);
    QCOMPARE(stack()->count(), 1);

    QSignalSpy modified(&s(), &EditorSession::modifiedChanged);
    stack()->undo();
    QCOMPARE(h->rows(1).value(row), value);
    QCOMPARE(id1Child(caption.toLatin1()).text(), value);
    QVERIFY(!s().isModified());
    QCOMPARE(modified.size(), 1);
    QCOMPARE(modified.at(0).at(0).toBool(), false);
    // Nothing remains changed: written out, the document is the file as it was.
    QCOMPARE(s().document()->toBytes(), kDocument);
    QVERIFY(s().save());
    QCOMPARE(readAll(file()), kDocument);
}

void TestUndo::redoMakesTheEditAgain()
{
    showId1();
    s().commitEdit(h->row(QStringLiteral("name")), QStringLiteral("Rotor"));
    const QByteArray edited = s().document()->toBytes();
    QCOMPARE(edited, QByteArray(kDocument).replace("it&apos;s", "Rotor"));
    stack()->undo();
    stack()->redo();
    QVERIFY(s().isModified());
    QCOMPARE(h->rows(1).value(0), QStringLiteral("Rotor"));
    QCOMPARE(id1Child("name").text(), QStringLiteral("Rotor"));
    QVERIFY(s().save());
    QCOMPARE(readAll(file()), edited);
    // After the save the state without the edit is the one that differs from the file.
    stack()->undo();
    QVERIFY(s().isModified());
    QVERIFY(s().save());
    QCOMPARE(readAll(file()), kDocument);
}

void TestUndo::undoOfOneOfTwoEditsKeepsTheOther()
{
    showId1();
    s().commitEdit(h->row(QStringLiteral("plain")), QStringLiteral("y"));
    s().commitEdit(h->row(QStringLiteral("name")), QStringLiteral("Rotor"));
    s().commitEdit(h->row(QStringLiteral("plain")), QStringLiteral("z"));
    QCOMPARE(stack()->count(), 3);
    stack()->undo();
    stack()->undo();
    QCOMPARE(h->rows(1), (QStringList{"it's", "id5", "ab", "", "y"}));
    QVERIFY(s().save());
    QCOMPARE(readAll(file()), QByteArray(kDocument).replace("<plain>x</plain>", "<plain>y</plain>"));
    stack()->undo();
    QVERIFY(s().save());
    QCOMPARE(readAll(file()), kDocument);
}

void TestUndo::editAfterAnUndoWritesOnlyItsValue()
{
    // The text node took a value held outside the file's text and got its own back: where it
    // stands in the file is still known when it is edited again.
    showId1();
    s().commitEdit(0, QStringLiteral("a value longer than the one read"));
    stack()->undo();
    s().commitEdit(0, QStringLiteral("Q"));
    QVERIFY(s().save());
    QCOMPARE(readAll(file()), QByteArray(kDocument).replace("it&apos;s", "Q"));
}

void TestUndo::undoOfEditLinkRestoresTheElement_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("node");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("holder"); // the element whose child the link is
    QTest::addColumn<QString>("name"); // the link's element name before
    QTest::newRow("instance row") << 1 << "mapping/m/product"
                                  << "of shape"
                                  << "/uos/aim/aim-instances/product/of_shape"
                                  << "shape";
    QTest::newRow("ARM single row") << 0 << "arm/PART/HAS ATTR"
                                    << "product"
                                    << "/uos/arm/PART/HAS_ATTR"
                                    << "product";
}

void TestUndo::undoOfEditLinkRestoresTheElement()
{
    QFETCH(int, mode);
    QFETCH(QString, node);
    QFETCH(QString, caption);
    QFETCH(QString, holder);
    QFETCH(QString, name);
    QVERIFY(h->open(QStringLiteral("u.xml"), mode));
    QVERIFY(h->select(node).isEmpty());
    const QStringList rowsBefore = h->rows(0), valuesBefore = h->rows(1);
    const XmlNode parent = s().document()->selectSingleNode(holder);
    const XmlNode original = parent.firstChild();
    const QString ref = original.attributeNamed(QStringLiteral("ref")).text();
    QSignalSpy rebuilt(&s(), &EditorSession::treeRebuilt);

    QVERIFY(s().applyLink(h->row(caption), h->path(QStringLiteral("other.xml#material#id21"))).isEmpty());
    const XmlNode placed = parent.firstChild();
    QCOMPARE(placed.nodeName(), QStringLiteral("material"));
    QCOMPARE(placed.attribute(0).text(), QStringLiteral("other.xml#id21"));
    QCOMPARE(stack()->count(), 1);
    const QByteArray linked = s().document()->toBytes();

    stack()->undo();
    QCOMPARE(rebuilt.size(), 2);
    // The very element that was there, with its name and reference.
    QCOMPARE(parent.firstChild(), original);
    QCOMPARE(original.parentNode(), parent);
    QCOMPARE(original.nodeName(), name);
    QCOMPARE(original.attributeNamed(QStringLiteral("ref")).text(), ref);
    QVERIFY(original.attributeNamed(QStringLiteral("href")).isNull());
    QVERIFY(placed.parentNode().isNull());
    QCOMPARE(h->rows(0), rowsBefore);
    QCOMPARE(h->rows(1), valuesBefore);
    QVERIFY(!s().isModified());
    QCOMPARE(s().document()->toBytes(), kDocument);

    stack()->redo();
    QCOMPARE(parent.firstChild(), placed);
    QVERIFY(original.parentNode().isNull());
    QCOMPARE(h->rows(1).value(h->row(mode == 0 ? QStringLiteral("material") : caption)),
             QStringLiteral("other.xml#id21"));
    QCOMPARE(s().document()->toBytes(), linked);
    // The row stands for the element placed again: a second link replaces that one.
    stack()->undo();
    QVERIFY(s().applyLink(h->row(caption), h->path(QStringLiteral("u.xml#shape#id5"))).isEmpty());
    QCOMPARE(parent.firstChild().attribute(0).text(), QStringLiteral("id5"));
    QCOMPARE(parent.firstChild().nodeName(), QStringLiteral("shape"));
    QVERIFY(original.parentNode().isNull());
}

void TestUndo::cleanStateFollowsSaves()
{
    showId1();
    QSignalSpy modified(&s(), &EditorSession::modifiedChanged);
    s().commitEdit(0, QStringLiteral("one"));
    QVERIFY(s().save());
    QVERIFY(stack()->isClean());
    s().commitEdit(0, QStringLiteral("two"));
    QVERIFY(s().isModified());
    stack()->undo(); // back to what the save wrote
    QVERIFY(!s().isModified());
    stack()->undo(); // before the save: differs from the file
    QVERIFY(s().isModified());
    QCOMPARE(modified.size(), 5); // true, false, true, false, true
    QVERIFY(s().saveAs(h->path(QStringLiteral("copy.xml"))));
    QVERIFY(stack()->isClean());
    QVERIFY(!s().isModified());
    QCOMPARE(readAll(h->path(QStringLiteral("copy.xml"))), kDocument);
}

void TestUndo::undoToTheSavedStateWritesNothing()
{
    showId1();
    s().commitEdit(0, QStringLiteral("Rotor"));
    stack()->undo();
    QVERIFY(!s().isModified());
    // The file keeps its time: the save does not write it.
    const QDateTime old = QDateTime::currentDateTime().addDays(-2);
    {
        QFile f(file());
        QVERIFY(f.open(QIODevice::ReadWrite));
        QVERIFY(f.setFileTime(old, QFileDevice::FileModificationTime));
    }
    QVERIFY(s().save());
    QCOMPARE(QFileInfo(file()).lastModified(), old);
    QCOMPARE(readAll(file()), kDocument);
}

void TestUndo::loadsClearTheStackAViewSwitchKeepsIt()
{
    showId1();
    s().commitEdit(0, QStringLiteral("Rotor"));
    // A view switch writes nothing and keeps what can be undone.
    QVERIFY(s().setViewMode(2).isEmpty());
    QCOMPARE(stack()->count(), 1);
    QVERIFY(!stack()->isClean());
    stack()->undo();
    QCOMPARE(id1Child("name").text(), QStringLiteral("it's"));
    QVERIFY(!s().isModified());

    // A jump into another file loads it: nothing there to undo.
    QVERIFY(s().setViewMode(1).isEmpty());
    s().commitEdit(0, QStringLiteral("Rotor"));
    QVERIFY(h->select(QStringLiteral("mapping/away/material")).isEmpty());
    QCOMPARE(s().fileName(), h->path(QStringLiteral("other.xml")));
    QCOMPARE(stack()->count(), 0);
    QVERIFY(!stack()->canUndo());
    // Back into the first file brings its undo history back (see jumpKeepsTheDocumentLeftForBack).
    QVERIFY(h->back().isEmpty());
    QCOMPARE(s().fileName(), file());
    QCOMPARE(stack()->count(), 1);
    QCOMPARE(id1Child("name").text(), QStringLiteral("Rotor"));

    s().commitEdit(h->row(QStringLiteral("plain")), QStringLiteral("q"));
    QVERIFY(s().open(file()));
    settle();
    QCOMPARE(stack()->count(), 0);
    QVERIFY(!s().isModified());
}

void TestUndo::unchangedCommitRecordsNothing()
{
    showId1();
    s().commitEdit(h->row(QStringLiteral("plain")), QStringLiteral("x"));
    s().commitEdit(h->row(QStringLiteral("empty")), QString());
    QCOMPARE(stack()->count(), 0);
    QVERIFY(!s().isModified());
}

void TestUndo::undoShowsTheChangedInstance()
{
    showId1();
    s().commitEdit(h->row(QStringLiteral("plain")), QStringLiteral("y"));
    QVERIFY(h->select(QStringLiteral("mapping/s/shape")).isEmpty());
    QCOMPARE(h->shownId(), QStringLiteral("id5"));
    QSignalSpy shown(&s(), &EditorSession::changeShown);
    QSignalSpy entity(&s(), &EditorSession::entityChanged);
    stack()->undo();
    QCOMPARE(h->shownId(), QStringLiteral("id1"));
    QCOMPARE(s().entity(), QStringLiteral("product id1"));
    QCOMPARE(h->rows(1).value(h->row(QStringLiteral("plain"))), QStringLiteral("x"));
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown.at(0).at(0).toInt(), h->row(QStringLiteral("plain")));
    QVERIFY(!entity.isEmpty());

    // With the hint in the list's place, a redo shows the list again.
    QVERIFY(h->select(QStringLiteral("mapping")).isEmpty());
    QVERIFY(!s().listVisible());
    stack()->redo();
    QVERIFY(s().listVisible());
    QCOMPARE(h->rows(1).value(h->row(QStringLiteral("plain"))), QStringLiteral("y"));
    // The rows shown stand for the elements: an edit of them after the redo takes.
    s().commitEdit(h->row(QStringLiteral("plain")), QStringLiteral("w"));
    QCOMPARE(id1Child("plain").text(), QStringLiteral("w"));
}

void TestUndo::changeKeepsNodeHandlesValid()
{
    // On the document alone: the nodes an edit replaced come back, and the text handed out
    // before the change is the same node again.
    XmlDocument doc;
    QVERIFY(doc.loadData(kDocument, QStringLiteral("u.xml")));
    const XmlNode note = doc.selectSingleNode(QStringLiteral("//note"));
    const QList<XmlNode> children = note.childNodes();
    QCOMPARE(children.size(), 3);
    bool ok = false;
    XmlChange change = XmlChange::setText(note, QStringLiteral("plain"), &ok);
    QVERIFY(ok);
    QVERIFY(!change.isNull());
    QCOMPARE(note.childNodes().size(), 1);
    change.undo();
    QCOMPARE(note.childNodes(), children);
    QCOMPARE(children[1].parentNode(), note);
    QCOMPARE(doc.toBytes(), kDocument);
    change.redo();
    QCOMPARE(note.text(), QStringLiteral("plain"));
    QVERIFY(children[1].parentNode().isNull());
    // The same text again is no change.
    QVERIFY(XmlChange::setText(note, QStringLiteral("plain"), &ok).isNull());
    QVERIFY(ok);
}

void TestUndo::clickLoadsDocument_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("node");
    QTest::addColumn<bool>("loads");
    QTest::newRow("href") << 1 << "mapping/away/material" << true;
    QTest::newRow("ref") << 1 << "mapping/m/product" << false;
    QTest::newRow("has children") << 1 << "mapping/away" << false;
    QTest::newRow("ARM never loads") << 0 << "arm/PART/HAS ATTR" << false;
    QTest::newRow("instance in AIM") << 2 << "aim/aim-instances/product" << false;
}

void TestUndo::clickLoadsDocument()
{
    QFETCH(int, mode);
    QFETCH(QString, node);
    QFETCH(bool, loads);
    QVERIFY(h->open(QStringLiteral("u.xml"), mode));
    const int n = h->node(node);
    QVERIFY(n > 0);
    QCOMPARE(s().clickLoadsDocument(n), loads);
    // What the click then does agrees.
    h->select(node);
    QCOMPARE(s().fileName() != file(), loads);
}

void TestUndo::keyboardMoveWaitsOnlyForJumps()
{
    showId1();
    QVERIFY(s().moveToNode(h->node(QStringLiteral("mapping/away/material"))).isEmpty());
    settle();
    QCOMPARE(s().fileName(), file());
    QCOMPARE(h->shownId(), QStringLiteral("id1")); // what was on show stays
    QVERIFY(s().moveToNode(h->node(QStringLiteral("mapping/s/shape"))).isEmpty());
    QCOMPARE(h->shownId(), QStringLiteral("id5"));
}

void TestUndo::jumpKeepsTheDocumentLeftForBack_data()
{
    QTest::addColumn<bool>("recorded"); // an instance was on show: the history refers to u.xml
    QTest::addColumn<bool>("edited");
    QTest::addColumn<bool>("changedOnDisk"); // by another program while other.xml is shown
    QTest::newRow("edited") << true << true << false;
    QTest::newRow("unedited") << true << false << false;
    QTest::newRow("changed on disk meanwhile: read again") << true << true << true;
    QTest::newRow("no entry refers to it: let go") << false << false << false;
}

void TestUndo::jumpKeepsTheDocumentLeftForBack()
{
    QFETCH(bool, recorded);
    QFETCH(bool, edited);
    QFETCH(bool, changedOnDisk);
    if (recorded)
        showId1();
    else
        QVERIFY(h->open(QStringLiteral("u.xml"), 1));
    if (edited)
        s().commitEdit(h->row(QStringLiteral("plain")), QStringLiteral("y"));
    const QPointer<XmlDocument> left = s().document();
    QSignalSpy saved(&s(), &EditorSession::savedBeforeJump);
    QVERIFY(h->select(QStringLiteral("mapping/away/material")).isEmpty());
    QCOMPARE(QFileInfo(s().fileName()).fileName(), QStringLiteral("other.xml"));
    QCOMPARE(saved.count(), edited ? 1 : 0);
    if (edited)
        QCOMPARE(saved[0][0].toString(), QStringLiteral("u.xml"));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCOMPARE(left.isNull(), !recorded);
    if (!recorded)
        return;
    if (changedOnDisk)
        writeAll(file(), QByteArray(kDocument).replace("<plain>x<", "<plain>z<"));
    QVERIFY(h->back().isEmpty());
    QCOMPARE(s().document() == left, !changedOnDisk);
    QVERIFY(!s().isModified());
    QCOMPARE(stack()->canUndo(), edited && !changedOnDisk);
    QCOMPARE(id1Child("plain").text(), changedOnDisk ? QStringLiteral("z") : edited ? QStringLiteral("y") : QStringLiteral("x"));
    if (stack()->canUndo()) {
        stack()->undo();
        QCOMPARE(id1Child("plain").text(), QStringLiteral("x"));
        QVERIFY(s().isModified());
        stack()->redo();
        QVERIFY(!s().isModified());
    }
}

QTEST_MAIN(TestUndo)
#include "tst_undo.moc"
