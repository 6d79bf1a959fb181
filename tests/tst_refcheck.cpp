// Check References: every kind of finding on its line, hrefs into files read from disk, lines
// after edits and saves, and the command-line report (text, JSON Lines, exit codes).
#include "quillon.h"
#include "refcheck.h"
#include "testsupport.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

#include <cstdio>
#include <unistd.h>

using namespace quillon;
using namespace testsupport;

namespace {

// "line kind id" of each finding of file.
QStringList summary(const QList<Finding> &findings, const QString &file)
{
    QStringList out;
    for (const Finding &f : findings)
        if (f.file == file)
            out << QStringLiteral("%1 %2 %3").arg(f.line).arg(f.kind, f.id).trimmed();
    return out;
}

// What writeReferenceReport writes for files, and its result.
QList<QByteArray> report(const QStringList &files, bool json, int *result)
{
    std::FILE *out = std::tmpfile();
    *result = writeReferenceReport(files, json, out);
    std::rewind(out);
    QByteArray text;
    char buf[4096];
    for (size_t n; (n = std::fread(buf, 1, sizeof buf, out)) > 0;)
        text.append(buf, qsizetype(n));
    std::fclose(out);
    QList<QByteArray> lines = text.split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

const QStringList kBadFindings = {
    "7 ignored-element", // PART_NAME after <name>: the ARM view stops before it
    "11 not-a-reference", // the ARM view reads label's code as a reference
    "16 unknown-ref id404",
    "27 unknown-ref", // ref=""
    "35 unknown-href g9",     "38 missing-file x1",
    "41 unknown-href", // no "#id"
    "44 duplicate-id id1",    "47 missing-id",
    "49 not-a-reference", // kind= before ref=
    "52 not-a-reference", // no attribute at all
    "55 id-not-first id5",
    "55 ignored-element id5", // SHAPE: no lower-case letter, not in the AIM view
    "57 ignored-element", // after aim-instances in the ARM view
    "57 ignored-element", // AIM-INSTANCES is not aim-instances
    "61 ignored-element", // aim-instances nested too deep
    "64 ignored-element", // aim-instances directly in uos
};

} // namespace

class TestRefCheck : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void everyKindOnItsLine_data();
    void everyKindOnItsLine();
    void duplicateTellsWhereTheFirstIs();
    void findingsInsideAnInstanceNameIt();
    void hrefIntoAnotherFileIsLookedUpThere();
    void documentElementOtherThanUos();
    void findingsOnOneLineKeepTheOrderOfTheChecks();
    void linesFollowEditsAndSaves();
    void elementMadeByAnEditTakesThePlaceOfTheOld();
    void unreadableFile();
    void textReport();
    void jsonReport();
    void exitCodes_data();
    void exitCodes();
    void entryPointPrintsToStdout();

private:
    QTemporaryDir *dir = nullptr;
    QString bad, good;
    QString path(const QString &name) const { return dir->filePath(name); }
};

void TestRefCheck::init()
{
    dir = new QTemporaryDir;
    bad = copyData(*dir, {QStringLiteral("refs/check/bad.xml"), QStringLiteral("refs/check/good.xml")});
    good = path(QStringLiteral("good.xml"));
}

void TestRefCheck::cleanup()
{
    delete dir;
    dir = nullptr;
}

void TestRefCheck::everyKindOnItsLine_data()
{
    QTest::addColumn<bool>("withGood");
    // good.xml checked alongside, or read from disk because bad.xml's hrefs name it.
    QTest::newRow("both files given") << true;
    QTest::newRow("only the file with problems") << false;
}

void TestRefCheck::everyKindOnItsLine()
{
    QFETCH(bool, withGood);
    bool unreadable = true;
    const QList<Finding> findings =
        ReferenceCheck::checkFiles(withGood ? QStringList{bad, good} : QStringList{bad}, &unreadable);
    QVERIFY(!unreadable);
    QCOMPARE(summary(findings, bad), kBadFindings);
    QCOMPARE(summary(findings, good), QStringList{});
    QCOMPARE(findings.size(), kBadFindings.size());
}

void TestRefCheck::duplicateTellsWhereTheFirstIs()
{
    for (const Finding &f : ReferenceCheck::checkFiles({bad}))
        if (f.kind == QStringLiteral("duplicate-id"))
            QVERIFY2(f.message.contains(QStringLiteral("line 21")) && f.message.contains(QStringLiteral("first")),
                     qPrintable(f.message));
}

void TestRefCheck::findingsInsideAnInstanceNameIt()
{
    QStringList named;
    for (const Finding &f : ReferenceCheck::checkFiles({bad}))
        if (!f.instanceId.isEmpty())
            named << QStringLiteral("%1 %2").arg(f.line).arg(f.instanceId);
    // Not the second id1 (its id finds the first), not the instance without an id, nothing
    // outside /uos/*/aim-instances.
    QCOMPARE(named, (QStringList{"27 id1", "35 id2", "38 id2", "41 id2", "55 id5", "55 id5"}));
}

void TestRefCheck::hrefIntoAnotherFileIsLookedUpThere()
{
    // good.xml's href names bad.xml#id2, which exists there.
    QCOMPARE(ReferenceCheck::checkFiles({good}).size(), 0);
    writeAll(path(QStringLiteral("good.xml")),
             "<uos><aim><aim-instances><part id=\"g1\"><back><product href=\"bad.xml#id7\"/></back></part>"
             "</aim-instances></aim></uos>");
    QCOMPARE(summary(ReferenceCheck::checkFiles({good}), good), QStringList{"1 unknown-href id7"});
    // A file that is not well-formed cannot be looked in.
    writeAll(bad, "<uos>");
    const QList<Finding> f = ReferenceCheck::checkFiles({good});
    QCOMPARE(summary(f, good), QStringList{"1 missing-file id7"});
}

void TestRefCheck::documentElementOtherThanUos()
{
    XmlDocument doc;
    QVERIFY(doc.loadXml(QStringLiteral("<?xml version=\"1.0\"?>\n<data>\n<aim><aim-instances><p ref=\"x\"/>"
                                       "</aim-instances></aim></data>")));
    const QList<Finding> f = ReferenceCheck::check({&doc});
    QCOMPARE(summary(f, QString()), QStringList{"2 ignored-element"});
}

void TestRefCheck::findingsOnOneLineKeepTheOrderOfTheChecks()
{
    // Duplicates are told once every id is known; they still stand where the instance's
    // checks found them, and unknown refs come last.
    XmlDocument doc;
    QVERIFY(doc.loadXml(QStringLiteral(
        "<uos><aim><aim-instances><part id=\"a1\"/><SHAPE kind=\"x\" id=\"a1\"><of><b kind=\"y\" ref=\"a1\"/></of>"
        "<to><c ref=\"zz\"/></to></SHAPE><part id=\"a1\"><x><d ref=\"nope\"/></x></part><part id=\"a2\"/>"
        "</aim-instances></aim></uos>")));
    QCOMPARE(summary(ReferenceCheck::check({&doc}), QString()),
             (QStringList{"1 id-not-first a1", "1 duplicate-id a1", "1 ignored-element a1", "1 not-a-reference",
                          "1 duplicate-id a1", "1 unknown-ref zz", "1 unknown-ref nope"}));
}

void TestRefCheck::linesFollowEditsAndSaves()
{
    const QString file = path(QStringLiteral("edited.xml"));
    writeAll(file, "<uos>\n<aim>\n<aim-instances>\n<p id=\"i1\">\n<name>x</name>\n<of><q ref=\"nope\"/></of>\n"
                   "</p>\n</aim-instances>\n</aim>\n</uos>\n");
    XmlDocument doc;
    QVERIFY(doc.load(file));
    QCOMPARE(summary(ReferenceCheck::check({&doc}), file), QStringList{"6 unknown-ref nope"});
    // Until the save the lines are those of the file as read; after it, those of the file
    // as written, which has two more lines before the reference.
    QVERIFY(doc.findInstance(QStringLiteral("i1"))
                .selectSingleNode(QStringLiteral("name"))
                .setText(QStringLiteral("a\nb\nc")));
    QCOMPARE(summary(ReferenceCheck::check({&doc}), file), QStringList{"6 unknown-ref nope"});
    QVERIFY(doc.save(file));
    QCOMPARE(summary(ReferenceCheck::check({&doc}), file), QStringList{"8 unknown-ref nope"});
    QCOMPARE(readAll(file).split('\n').value(7), QByteArray("<of><q ref=\"nope\"/></of>"));
}

void TestRefCheck::elementMadeByAnEditTakesThePlaceOfTheOld()
{
    const QString file = path(QStringLiteral("linked.xml"));
    writeAll(file, "<uos>\n<aim>\n<aim-instances>\n<p id=\"i1\">\n<of>\n<q ref=\"i1\"/>\n</of>\n</p>\n"
                   "</aim-instances>\n</aim>\n</uos>\n");
    XmlDocument doc;
    QVERIFY(doc.load(file));
    QVERIFY(ReferenceCheck::check({&doc}).isEmpty());
    XmlNode of = doc.findInstance(QStringLiteral("i1")).selectSingleNode(QStringLiteral("of"));
    XmlNode q = doc.createElement(QStringLiteral("q"), QString());
    QVERIFY(q.setAttribute(QStringLiteral("ref"), QStringLiteral("gone")));
    QVERIFY(of.replaceChild(q, of.firstChild()));
    QCOMPARE(summary(ReferenceCheck::check({&doc}), file), QStringList{"6 unknown-ref gone"});
}

void TestRefCheck::unreadableFile()
{
    bool unreadable = false;
    const QString missing = path(QStringLiteral("missing.xml"));
    const QList<Finding> f = ReferenceCheck::checkFiles({missing, good}, &unreadable);
    QVERIFY(unreadable);
    QCOMPARE(summary(f, missing), QStringList{"0 unreadable"});
    QVERIFY(!f.first().message.isEmpty());
    QCOMPARE(f.size(), 1); // good.xml is clean
}

void TestRefCheck::textReport()
{
    int result = -1;
    const QList<QByteArray> lines = report({bad}, false, &result);
    QCOMPARE(result, 1);
    QCOMPARE(lines.size(), kBadFindings.size());
    QVERIFY2(lines.at(2).startsWith((bad + QStringLiteral(":16: unknown-ref: ref \"id404\" ")).toUtf8()),
             lines.at(2).constData());
}

void TestRefCheck::jsonReport()
{
    int result = -1;
    const QList<QByteArray> lines = report({bad, path(QStringLiteral("missing.xml"))}, true, &result);
    QCOMPARE(result, 2);
    QCOMPARE(lines.size(), kBadFindings.size() + 1);
    QStringList kinds;
    for (const QByteArray &line : lines) {
        QJsonParseError error;
        const QJsonDocument doc = QJsonDocument::fromJson(line, &error);
        QVERIFY2(error.error == QJsonParseError::NoError && doc.isObject(), line.constData());
        const QJsonObject o = doc.object();
        QCOMPARE(o.keys(), (QStringList{"file", "id", "kind", "line", "message"}));
        QVERIFY(o.value(QStringLiteral("line")).isDouble());
        QVERIFY(!o.value(QStringLiteral("message")).toString().isEmpty());
        kinds << QStringLiteral("%1 %2 %3")
                     .arg(o.value(QStringLiteral("line")).toInt())
                     .arg(o.value(QStringLiteral("kind")).toString(), o.value(QStringLiteral("id")).toString())
                     .trimmed();
    }
    QCOMPARE(kinds.first(), QStringLiteral("0 unreadable"));
    QCOMPARE(kinds.mid(1), kBadFindings);
}

void TestRefCheck::exitCodes_data()
{
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<int>("code");
    QTest::newRow("clean") << QStringList{"good.xml"} << 0;
    QTest::newRow("findings") << QStringList{"good.xml", "bad.xml"} << 1;
    QTest::newRow("a file missing") << QStringList{"good.xml", "missing.xml"} << 2;
    QTest::newRow("missing beats findings") << QStringList{"bad.xml", "missing.xml"} << 2;
}

void TestRefCheck::exitCodes()
{
    QFETCH(QStringList, files);
    QFETCH(int, code);
    for (QString &f : files)
        f = path(f);
    int result = -1;
    report(files, false, &result);
    QCOMPARE(result, code);
}

void TestRefCheck::entryPointPrintsToStdout()
{
    const QString out = path(QStringLiteral("out.txt"));
    std::fflush(stdout);
    const int saved = dup(fileno(stdout));
    QVERIFY(std::freopen(qPrintable(out), "w", stdout));
    const QByteArray a = bad.toLocal8Bit(), b = good.toLocal8Bit();
    const char *files[] = {a.constData(), b.constData()};
    const int result = QuillonCheckReferences(2, files, 1);
    std::fflush(stdout);
    dup2(saved, fileno(stdout));
    close(saved);
    QCOMPARE(result, 1);
    QCOMPARE(readAll(out).count('\n'), kBadFindings.size());
}

QTEST_MAIN(TestRefCheck)
#include "tst_refcheck.moc"
