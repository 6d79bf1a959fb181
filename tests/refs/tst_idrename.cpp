// Rename an id everywhere, and delete an instance with every reference to it: what is refused,
// what changes in the document and in the other files of its folder, that the document's change
// is taken back as one step, and that a file that cannot be written leaves every file and the
// document as they were.
#include "document/savefault_p.h"
#include "refs/idrename.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace quillon;

namespace {

const char kMain[] = "<uos><aim><aim-instances>\n"
                     "<p id='id1'><of><s ref='id2'/></of><x><s href='main.xml#id2'/></x></p>\n"
                     "<s id='id2'><n>S</n></s>\n"
                     "<q id='id3'><of><p ref='id1'/></of></q>\n"
                     "</aim-instances></aim></uos>\n";
const char kA[] = "<uos><aim><aim-instances><u id='u1'><of><s href='main.xml#id2'/></of></u></aim-instances></aim></uos>";

QByteArray read(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool write(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

} // namespace

class TestIdRename : public QObject {
    Q_OBJECT
private slots:
    void rename_data();
    void rename();
};

void TestIdRename::rename_data()
{
    QTest::addColumn<bool>("remove"); // delete instance oldId with its references, else rename it
    QTest::addColumn<QString>("oldId");
    QTest::addColumn<QString>("newId");
    QTest::addColumn<int>("failAfterBytes"); // a save's file fails after that many bytes; -1: none
    QTest::addColumn<QString>("error"); // how the refusal or failure begins; "" for success
    QTest::addColumn<int>("referrers"); // listed in the document and in the folder
    QTest::addColumn<QStringList>("mainHas"); // texts of main.xml as held in memory afterwards
    QTest::addColumn<QString>("aHas");
    QTest::addColumn<QString>("bHas");
    QTest::addColumn<QStringList>("gone"); // texts neither main.xml in memory nor a.xml nor b.xml holds
    const QStringList unchanged{"id='id2'", "ref='id2'", "href='main.xml#id2'"};
    QTest::newRow("renamed everywhere") << false << "id2"
                                        << "id9" << -1 << "" << 4
                                        << QStringList{"id=\"id9\"", "ref=\"id9\"", "href=\"main.xml#id9\""}
                                        << "href=\"main.xml#id9\""
                                        << "href=\"./main.xml#id9\"/><t href='other.xml#id2'"
                                        << QStringList{"main.xml#id2", "id='id2'"};
    QTest::newRow("only the document refers to it")
        << false << "id1"
        << "idA" << -1 << "" << 1 << QStringList{"id=\"idA\"", "ref=\"idA\""} << "main.xml#id2"
        << "./main.xml#id2" << QStringList{"'id1'"};
    QTest::newRow("empty id refused") << false << "id2"
                                      << "" << -1 << "The new id is empty." << 0 << unchanged << "main.xml#id2"
                                      << "./main.xml#id2" << QStringList();
    QTest::newRow("used id refused") << false << "id2"
                                     << "id3" << -1 << "The id \"id3\" is already used" << 0 << unchanged
                                     << "main.xml#id2"
                                     << "./main.xml#id2" << QStringList();
    QTest::newRow("no such instance") << false << "id7"
                                      << "id8" << -1 << "There is no instance" << 0 << unchanged << "main.xml#id2"
                                      << "./main.xml#id2" << QStringList();
    // a.xml is written, b.xml (longer) fails: a.xml gets its old bytes back.
    QTest::newRow("second file cannot be written") << false << "id2"
                                                   << "id9" << 1000 << "" << 4 << unchanged << "main.xml#id2"
                                                   << "./main.xml#id2" << QStringList();
    // The elements that hold the references go; b.xml's href to another file stays.
    QTest::newRow("deleted with the references everywhere")
        << true << "id2"
        << "" << -1 << "" << 4 << QStringList{"<of></of><x></x></p>\n<q id='id3'>"} << "<of></of>"
        << "<of><t href='other.xml#id2'/></of>" << QStringList{"main.xml#id2", "id='id2'"};
    QTest::newRow("deleted, only the document refers to it")
        << true << "id1"
        << "" << -1 << "" << 1 << QStringList{"<q id='id3'><of></of></q>"} << "main.xml#id2"
        << "./main.xml#id2" << QStringList{"'id1'"};
    QTest::newRow("delete: second file cannot be written") << true << "id2"
                                                           << "" << 1000 << "" << 4 << unchanged << "main.xml#id2"
                                                           << "./main.xml#id2" << QStringList();
}

void TestIdRename::rename()
{
    QFETCH(bool, remove);
    QFETCH(QString, oldId);
    QFETCH(QString, newId);
    QFETCH(int, failAfterBytes);
    QFETCH(QString, error);
    QFETCH(int, referrers);
    QFETCH(QStringList, mainHas);
    QFETCH(QString, aHas);
    QFETCH(QString, bHas);
    QFETCH(QStringList, gone);
    QTemporaryDir dir;
    const QString main = dir.filePath("main.xml"), a = dir.filePath("a.xml"), b = dir.filePath("b.xml");
    const QByteArray bBytes = "<uos><!--" + QByteArray(1500, '-').replace("--", "- ") +
        "--><aim><aim-instances><u id='u2'><of><s href='./main.xml#id2'/><t href='other.xml#id2'/></of></u>"
        "</aim-instances></aim></uos>";
    QVERIFY(write(main, kMain) && write(a, kA) && write(b, bBytes));
    XmlDocument doc;
    QVERIFY(doc.load(main));
    const QByteArray before = doc.toBytes();

    ReferenceIndex index;
    const IdRenamePlan plan =
        remove ? IdRenamePlan{oldId, {}, index.referrers(doc, oldId), index.referrersInFolder(doc, oldId), {}}
               : IdRename::plan(doc, index, oldId, newId);
    QCOMPARE(plan.inDocument.size() + plan.inFolder.size(), referrers);
    EditStep step;
    QStringList written{"stale"};
    g_saveFailAfterBytes = failAfterBytes;
    const QString why = remove ? IdRename::remove(doc, doc.findInstance(oldId), oldId, plan.inFolder, &step, &written)
                               : IdRename::apply(doc, plan, &step, &written);
    g_saveFailAfterBytes = -1;
    const bool fails = failAfterBytes >= 0;
    QVERIFY2(error.isEmpty() && !fails ? why.isEmpty() : why.startsWith(error) && !why.isEmpty(), qPrintable(why));
    const QByteArray after = doc.toBytes();
    for (const QString &text : mainHas)
        QVERIFY2(after.contains(text.toUtf8()), after.constData());
    QVERIFY2(read(a).contains(aHas.toUtf8()), read(a).constData());
    QVERIFY2(read(b).contains(bHas.toUtf8()), read(b).constData());
    for (const QString &text : gone)
        QVERIFY2(!(after + read(a) + read(b)).contains(text.toUtf8()), qPrintable(text));
    if (!why.isEmpty()) {
        QCOMPARE(read(a), QByteArray(kA));
        QCOMPARE(read(b), bBytes);
        QCOMPARE(after, before);
        QVERIFY(step.isEmpty());
        return;
    }
    QCOMPARE(written, plan.inFolder.isEmpty() ? QStringList() : QStringList({a, b}));
    step.undo(); // one step takes the document back
    QCOMPARE(doc.toBytes(), before);
    step.redo();
    QCOMPARE(doc.toBytes(), after);
}

QTEST_GUILESS_MAIN(TestIdRename)
#include "tst_idrename.moc"
