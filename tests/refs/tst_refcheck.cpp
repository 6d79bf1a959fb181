// Check References: every kind of finding on its line, hrefs into files read from disk, lines
// after edits and saves, and the command-line report (text, JSON Lines, exit codes).
#include "document/filenames.h"
#include "refs/refcheck.h"
#include "nobody.h"
#include "testfiles.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>

#include <cstdio>
#include <fcntl.h>
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

// "line kind id" of each finding of file, "|"-separated, and then the first finding's message.
QString checkSummary(const QString &file)
{
    const QList<Finding> f = ReferenceCheck::checkFiles({file});
    return summary(f, file).join(u'|') + QLatin1Char('|') + f.value(0).message;
}

// The child process (nobody.h): "check FILE" prints checkSummary(FILE).
int runChild(const QStringList &args)
{
    if (args.size() != 2 || args[0] != QLatin1String("check"))
        return 2;
    std::printf("%s", checkSummary(args[1]).toUtf8().constData());
    return 0;
}

// Writes a file whose name is given as bytes (not necessarily UTF-8).
bool writeNamed(const QByteArray &name, const QByteArray &bytes)
{
    const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    const bool ok = fd >= 0 && ::write(fd, bytes.constData(), size_t(bytes.size())) == bytes.size();
    return ::close(fd) == 0 && ok;
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
    void linesEndAsXmllintReadsThem_data();
    void linesEndAsXmllintReadsThem();
    void unreadableFile_data();
    void unreadableFile();
    void hrefIntoAFileThatCannotBeRead_data();
    void hrefIntoAFileThatCannotBeRead();
    void aFileNamedManyWaysIsReadOnce();
    void textReport();
    void textReportKeepsOneFindingALine_data();
    void textReportKeepsOneFindingALine();
    void jsonReport();
    void exitCodes_data();
    void exitCodes();

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
    QCOMPARE(summary(f, good), QStringList{"1 unreadable id7"});
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

void TestRefCheck::linesEndAsXmllintReadsThem_data()
{
    QTest::addColumn<QByteArrayList>("ends"); // used in turn after each line
    QTest::addColumn<QStringList>("lines"); // of the three unknown refs
    QTest::newRow("LF") << QByteArrayList{"\n"} << QStringList{"5", "8", "12"};
    QTest::newRow("CRLF") << QByteArrayList{"\r\n"} << QStringList{"5", "8", "12"};
    QTest::newRow("CR") << QByteArrayList{"\r"} << QStringList{"5", "8", "12"};
    QTest::newRow("CR, CRLF, LF mixed") << QByteArrayList{"\r", "\r\n", "\n", "\r", "\n\r"}
                                        << QStringList{"5", "9", "14"}; // "\n\r" ends two lines
}

void TestRefCheck::linesEndAsXmllintReadsThem()
{
    QFETCH(QByteArrayList, ends);
    QFETCH(QStringList, lines);
    // The prefix x is declared nowhere: xmllint names the line of each <x:q>.
    const QByteArrayList shape = {"<uos>", "<aim>", "<aim-instances>", "<p id=\"i1\">", "<of><x:q ref=\"n1\"/></of>",
                                  "",      "<to>",  "<x:q ref=\"n2\"/>", "</to>", "</p>", "</aim-instances>",
                                  "<x:q ref=\"n3\"/>", "</aim>", "</uos>"};
    QByteArray text;
    for (qsizetype i = 0; i < shape.size(); ++i)
        text += shape[i] + ends[i % ends.size()];
    const QString file = path(QStringLiteral("ends.xml"));
    writeAll(file, text);
    QStringList found;
    for (const Finding &f : ReferenceCheck::checkFiles({file}))
        found << QString::number(f.line);
    QCOMPARE(found, lines);

    QString xmllint = QStringLiteral(XMLLINT_EXECUTABLE);
    if (xmllint.isEmpty())
        xmllint = QStandardPaths::findExecutable(QStringLiteral("xmllint"));
    if (xmllint.isEmpty())
        QSKIP("xmllint is not installed (Debian package libxml2-utils)");
    // The libxml2 of Debian 12 (2.9) counts "\n" only: xmllint gets the text as XML 1.0 hands it
    // to an application, every line end made one "\n".
    const QString lf = path(QStringLiteral("lf.xml"));
    writeAll(lf, text.replace("\r\n", "\n").replace('\r', '\n'));
    QProcess p;
    p.start(xmllint, {QStringLiteral("--noout"), lf});
    QVERIFY(p.waitForFinished(30000));
    QStringList expected;
    const QRegularExpression at(QStringLiteral("^.*lf\\.xml:(\\d+): namespace error"),
                                QRegularExpression::MultilineOption);
    for (auto m = at.globalMatch(QString::fromUtf8(p.readAllStandardError())); m.hasNext();)
        expected << m.next().captured(1);
    QCOMPARE(found, expected);
}

void TestRefCheck::unreadableFile_data()
{
    QTest::addColumn<QByteArray>("content"); // none: the file does not exist
    QTest::addColumn<QString>("place"); // how the report starts after the file's name
    QTest::newRow("missing") << QByteArray() << ": unreadable: ";
    QTest::newRow("not well-formed") << QByteArray("<uos>\n<a>\n  </b>\n</uos>") << ":3:5: unreadable: ";
    QTest::newRow("not well-formed, CR line ends") << QByteArray("<uos>\r<a>\r  </b>\r</uos>") << ":3:5: unreadable: ";
    QTest::newRow("not well-formed, CRLF line ends") << QByteArray("<uos>\r\n<a>\r\n  </b>\r\n</uos>")
                                                      << ":3:5: unreadable: ";
}

void TestRefCheck::unreadableFile()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, place);
    const QString file = path(QStringLiteral("unreadable.xml"));
    if (!content.isNull())
        writeAll(file, content);
    bool unreadable = false;
    const QList<Finding> f = ReferenceCheck::checkFiles({good, file}, &unreadable);
    QVERIFY(unreadable);
    QCOMPARE(f.size(), 1); // good.xml is clean
    QCOMPARE(f.first().kind, QStringLiteral("unreadable"));
    QVERIFY(!f.first().message.isEmpty());
    int result = -1;
    const QList<QByteArray> lines = report({file}, false, &result);
    QCOMPARE(result, 2);
    QCOMPARE(lines.size(), 1);
    QVERIFY2(lines.first().startsWith((file + place).toUtf8()), lines.first().constData());
}

void TestRefCheck::hrefIntoAFileThatCannotBeRead_data()
{
    QTest::addColumn<QString>("target"); // what target.xml is
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("reason"); // in the message
    QTest::newRow("missing") << "" << "missing-file" << "does not exist";
    QTest::newRow("a link to nothing") << "link" << "missing-file" << "does not exist";
    QTest::newRow("not well-formed") << "<uos>" << "unreadable" << "at line 1, column 6";
    QTest::newRow("a folder") << "folder" << "unreadable" << "a folder";
    QTest::newRow("not allowed to read") << "0000" << "unreadable" << "not allowed";
}

void TestRefCheck::hrefIntoAFileThatCannotBeRead()
{
    QFETCH(QString, target);
    QFETCH(QString, kind);
    QFETCH(QString, reason);
    const QString file = path(QStringLiteral("target.xml"));
    if (target == QLatin1String("link"))
        QVERIFY(QFile::link(path(QStringLiteral("gone.xml")), file));
    else if (target == QLatin1String("folder"))
        QVERIFY(QDir().mkdir(file));
    else if (target == QLatin1String("0000")) {
        writeAll(file, "<uos/>");
        QVERIFY(QFile::setPermissions(file, {}));
    } else if (!target.isEmpty())
        writeAll(file, target.toUtf8());
    writeAll(good, "<uos><aim><aim-instances><p id=\"g1\"><of><q href=\"target.xml#t1\"/></of></p>"
                   "</aim-instances></aim></uos>");
    QString found;
    if (canBeNobody()) { // as root: as a user without its rights, who may enter the folder
        QVERIFY(QFile::setPermissions(dir->path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                                       QFile::ReadOther | QFile::ExeOther));
        QProcess *child = startChild({QStringLiteral("check"), good}, true, this);
        QVERIFY(child->waitForFinished(60000));
        found = QString::fromUtf8(child->readAllStandardOutput());
    } else {
        found = checkSummary(good);
    }
    QVERIFY2(found.startsWith(QStringLiteral("1 %1 t1|").arg(kind)), qPrintable(found));
    QVERIFY2(found.section(u'|', 1).contains(reason), qPrintable(found));
}

void TestRefCheck::aFileNamedManyWaysIsReadOnce()
{
    if (bytesRead() < 0)
        QSKIP("the system does not count the bytes a process reads (/proc/self/io)");
    // A target far larger than the rest, named six ways.
    const QString target = path(QStringLiteral("big.xml"));
    const QByteArray padding(4 << 20, ' ');
    writeAll(target, "<uos><aim><aim-instances><p id=\"b1\"/></aim-instances></aim></uos>" + padding);
    QVERIFY(QDir().mkdir(path(QStringLiteral("sub"))));
    QVERIFY(QFile::link(target, path(QStringLiteral("link.xml"))));
    QVERIFY(::link(QFile::encodeName(target).constData(),
                   QFile::encodeName(path(QStringLiteral("hard.xml"))).constData()) == 0);
    const QStringList names = {"big.xml", "./big.xml", target, "link.xml", "hard.xml", "sub/../big.xml"};
    QByteArray holder = "<uos><aim><aim-instances><p id=\"g1\"><of>";
    for (const QString &n : names)
        holder += "<q href=\"" + n.toUtf8() + "#b1\"/><q href=\"" + n.toUtf8() + "#no\"/>";
    writeAll(good, holder + "</of></p></aim-instances></aim></uos>");
    const qint64 before = bytesRead();
    const QList<Finding> f = ReferenceCheck::checkFiles({good});
    const qint64 read = bytesRead() - before;
    // Every name was looked in: "#no" is missing under each.
    QCOMPARE(summary(f, good), QStringList(names.size(), QStringLiteral("1 unknown-href no")));
    QVERIFY2(read >= padding.size() && read < 2 * padding.size(), qPrintable(QString::number(read)));
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

void TestRefCheck::textReportKeepsOneFindingALine_data()
{
    QTest::addColumn<QByteArray>("name"); // the file's name, as bytes
    QTest::addColumn<QByteArray>("ref"); // as written in the XML
    QTest::addColumn<QString>("line"); // the report after the folder
    QTest::newRow("newline in an id") << QByteArray("n.xml") << QByteArray("a&#10;b.xml:9: forged")
                                      << R"(n.xml:1: unknown-ref: ref "a\nb.xml:9: forged" names no instance of this document)";
    QTest::newRow("tab and carriage return") << QByteArray("t.xml") << QByteArray("a&#9;b&#13;c")
                                             << R"(t.xml:1: unknown-ref: ref "a\tb\rc" names no instance of this document)";
    QTest::newRow("backslash") << QByteArray("b.xml") << QByteArray(R"(a\nb)")
                               << R"(b.xml:1: unknown-ref: ref "a\\nb" names no instance of this document)";
    QTest::newRow("next line and line separator")
        << QByteArray("s.xml") << QByteArray("a&#x85;b&#x2028;c")
        << R"(s.xml:1: unknown-ref: ref "a\u0085b\u2028c" names no instance of this document)";
    QTest::newRow("newline in the file name") << QByteArray("x\ny.xml") << QByteArray("r")
                                              << R"(x\ny.xml:1: unknown-ref: ref "r" names no instance of this document)";
    QTest::newRow("file name not UTF-8") << QByteArray("l\xe4nge\xff.xml") << QByteArray("r")
                                         << R"(l\xe4nge\xff.xml:1: unknown-ref: ref "r" names no instance of this document)";
}

void TestRefCheck::textReportKeepsOneFindingALine()
{
    QFETCH(QByteArray, name);
    QFETCH(QByteArray, ref);
    QFETCH(QString, line);
    const QByteArray folder = QFile::encodeName(dir->path()) + '/';
    QVERIFY(writeNamed(folder + name, "<uos><aim><aim-instances><p id=\"i1\"><of><q ref=\"" + ref +
                                          "\"/></of></p></aim-instances></aim></uos>"));
    int result = -1;
    const QList<QByteArray> lines = report({decodeFileName(folder + name)}, false, &result);
    QCOMPARE(result, 1);
    QCOMPARE(lines.size(), 1);
    ::unlink((folder + name).constData()); // a name QTemporaryDir cannot remove
    QCOMPARE(QString::fromUtf8(lines.first()), dir->path() + QLatin1Char('/') + line);
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
        QCOMPARE(o.keys(), (QStringList{"column", "file", "id", "kind", "line", "message"}));
        QVERIFY(o.value(QStringLiteral("line")).isDouble());
        QVERIFY(!o.value(QStringLiteral("message")).toString().isEmpty());
        kinds << QStringLiteral("%1 %2 %3")
                     .arg(o.value(QStringLiteral("line")).toInt())
                     .arg(o.value(QStringLiteral("kind")).toString(), o.value(QStringLiteral("id")).toString())
                     .trimmed();
    }
    // In the order given: the missing file after bad.xml.
    QCOMPARE(kinds.last(), QStringLiteral("0 unreadable"));
    QCOMPARE(kinds.mid(0, kBadFindings.size()), kBadFindings);
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

QUILLON_TEST_MAIN_WITH_CHILD(TestRefCheck, runChild)
#include "tst_refcheck.moc"
