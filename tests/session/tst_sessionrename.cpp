// Rename Id and Delete Instance on the instance on show: what is refused, what the saved file
// holds afterwards, the other file of the folder, and that one undo gives back the file's bytes.
#include "document/savefault_p.h"
#include "session/editorsession.h"
#include "testsupport.h"

#include <QTest>
#include <QUndoStack>

using namespace quillon;
using namespace testsupport;

namespace {

const QByteArray kMain = "<?xml version='1.0'?>\n<uos>\n  <aim>\n    <aim-instances>\n"
                         "      <product id='id1'>\n        <of_shape><shape ref='id5' /></of_shape>\n"
                         "      </product>\n      <shape id='id5'>\n        <units>mm</units>\n      </shape>\n"
                         "      <lone id='id7'/>\n    </aim-instances>\n  </aim>\n</uos>\n";
const QByteArray kOther = "<uos><aim><aim-instances><u id='u1'><of><shape href='main.xml#id5'/></of></u>"
                          "</aim-instances></aim></uos>";

QByteArray replaced(QByteArray bytes, const QList<std::pair<QByteArray, QByteArray>> &pairs)
{
    for (const auto &[from, to] : pairs)
        bytes.replace(from, to);
    return bytes;
}

} // namespace

class TestSessionRename : public QObject {
    Q_OBJECT
private slots:
    void renameAndDelete_data();
    void renameAndDelete();
};

void TestSessionRename::renameAndDelete_data()
{
    // "rename", "delete", "delete with references", "delete with references, other unwritable"
    QTest::addColumn<QString>("operation");
    QTest::addColumn<QString>("id");
    QTest::addColumn<QString>("newId");
    QTest::addColumn<bool>("otherRefers"); // other.xml holds an href to main.xml#id5
    QTest::addColumn<QStringList>("outcomes");
    QTest::addColumn<QByteArray>("saved"); // main.xml after the operation and a save
    QTest::addColumn<QByteArray>("otherHas"); // in other.xml afterwards
    const QByteArray withoutId5 =
        replaced(kMain, {{"<shape ref='id5' />", ""},
                         {"\n      <shape id='id5'>\n        <units>mm</units>\n      </shape>", ""}});
    QTest::newRow("rename everywhere") << "rename"
                                       << "id5"
                                       << "id9" << true << QStringList()
                                       << replaced(kMain, {{"<shape id='id5'>", "<shape id=\"id9\">"},
                                                           {"ref='id5' />", "ref=\"id9\" />"}})
                                       << QByteArray("href=\"main.xml#id9\"");
    QTest::newRow("rename to a used id") << "rename"
                                         << "id5"
                                         << "id1" << true << QStringList{"RenameRefused"} << kMain
                                         << QByteArray("main.xml#id5");
    QTest::newRow("rename to nothing") << "rename"
                                       << "id5"
                                       << "" << false << QStringList{"RenameRefused"} << kMain << QByteArray();
    QTest::newRow("delete unreferred") << "delete"
                                       << "id7"
                                       << "" << true << QStringList()
                                       << replaced(kMain, {{"\n      <lone id='id7'/>", ""}}) << QByteArray();
    QTest::newRow("delete referred") << "delete"
                                     << "id5"
                                     << "" << false << QStringList{"DeleteRefused"} << kMain << QByteArray();
    QTest::newRow("delete with its references") << "delete with references"
                                                << "id5"
                                                << "" << false << QStringList() << withoutId5 << QByteArray();
    QTest::newRow("delete referred from another file")
        << "delete"
        << "id5"
        << "" << true << QStringList{"DeleteRefused"} << kMain << QByteArray("main.xml#id5");
    QTest::newRow("delete with its references in another file")
        << "delete with references"
        << "id5"
        << "" << true << QStringList() << withoutId5 << QByteArray("<u id='u1'><of></of></u>");
    QTest::newRow("delete, the other file cannot be written")
        << "delete with references, other unwritable"
        << "id5"
        << "" << true << QStringList{"DeleteFailed"} << kMain << QByteArray("main.xml#id5");
}

void TestSessionRename::renameAndDelete()
{
    QFETCH(QString, operation);
    QFETCH(QString, id);
    QFETCH(QString, newId);
    QFETCH(bool, otherRefers);
    QFETCH(QStringList, outcomes);
    QFETCH(QByteArray, saved);
    QFETCH(QByteArray, otherHas);
    SessionHarness h({});
    const QString main = h.path(QStringLiteral("main.xml")), other = h.path(QStringLiteral("other.xml"));
    writeAll(main, kMain);
    writeAll(other, otherRefers ? kOther : QByteArray("<uos/>"));
    QVERIFY(h.open(QStringLiteral("main.xml"), 2));
    QVERIFY(h.session.showInstance({}, id).isEmpty());
    QCOMPARE(h.shownId(), id);
    // What Delete Instance's confirmation counts: in the document (product's ref), in other.xml.
    int inDocument = -1;
    const int referrers = int(h.session.referrersOfShown(&inDocument).size());
    QCOMPARE(inDocument, id == "id5" ? 1 : 0);
    QCOMPARE(referrers - inDocument, otherRefers && id == "id5" ? 1 : 0);

    QStringList written;
    g_saveFailAfterBytes = operation.endsWith("unwritable") ? 0 : -1;
    const EditorSession::Reports reports = operation == "rename"
                                               ? h.session.renameInstanceId(newId, &written)
                                               : h.session.deleteInstance(operation != "delete", &written);
    g_saveFailAfterBytes = -1;
    QCOMPARE(testsupport::outcomes(reports), outcomes);
    QCOMPARE(h.session.undoStack()->count(), outcomes.isEmpty() ? 1 : 0);
    QCOMPARE(written, otherRefers && readAll(other) != kOther ? QStringList{other} : QStringList());
    QCOMPARE(h.shownId(), operation == "rename" && outcomes.isEmpty() ? newId : outcomes.isEmpty() ? QString() : id);
    QVERIFY(readAll(other).contains(otherHas));
    QVERIFY(h.session.save());
    QCOMPARE(readAll(main), saved);

    // One undo takes the whole step back and shows the instance again.
    h.session.undoStack()->undo();
    QCOMPARE(h.shownId(), id);
    QVERIFY(h.session.save());
    QCOMPARE(readAll(main), kMain);
}

QTEST_MAIN(TestSessionRename)
#include "tst_sessionrename.moc"
