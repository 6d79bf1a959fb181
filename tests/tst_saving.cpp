// Saving keeps the user's file: an unedited save gives back the bytes that were read, an edit
// changes only its own value, a failed write leaves the old file and the edits, and files that
// cannot be documents are refused before they are read.
#include "savefault_p.h"
#include "testsupport.h"
#include "xmldocument.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace quillon;

namespace {

bool writeFile(const QString &path, const QByteArray &bytes)
{
    testsupport::writeAll(path, bytes);
    return testsupport::readAll(path) == bytes;
}

QByteArray encoded(const char *utf8, QStringConverter::Encoding e)
{
    return QStringEncoder(e)(QString::fromUtf8(utf8));
}

// Replaces the one occurrence of what in bytes; fails the test when there is not exactly one.
QByteArray replacedOnce(QByteArray bytes, const QByteArray &what, const QByteArray &with)
{
    const qsizetype at = bytes.indexOf(what);
    if (at < 0 || bytes.indexOf(what, at + 1) >= 0)
        return QByteArray("(not exactly one occurrence of ") + what + ')';
    return bytes.replace(at, what.size(), with);
}

// The documents every case below starts from: each has <v>old</v> once and <r ref="id1"/> once.
const char *const kPlain = "<uos>\n<aim><aim-instances>\n<p id=\"id1\"><v>old</v><q><r ref=\"id1\"/></q></p>\n"
                           "</aim-instances></aim>\n</uos>\n";

} // namespace

class TestSaving : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { g_saveFailAfterBytes = -1; }

    void uneditedSaveGivesBackTheBytesAndAnEditChangesOnlyItsValue_data();
    void uneditedSaveGivesBackTheBytesAndAnEditChangesOnlyItsValue();
    void repointedReferenceChangesOnlyThatElement();
    void editsInsideReplacedContentAreWrittenOnce();

    void failedWriteKeepsTheFileAndTheEdits_data();
    void failedWriteKeepsTheFileAndTheEdits();
    void fullDiskForReal();
    void unmodifiedSaveWritesNothing();
    void changedOnDiskFollowsTheFile_data();
    void changedOnDiskFollowsTheFile();

    void refusesWhatIsNotARegularFile();
    void refusesFilesTooLargeToHold();
};

void TestSaving::uneditedSaveGivesBackTheBytesAndAnEditChangesOnlyItsValue_data()
{
    QTest::addColumn<QByteArray>("source");
    QTest::addColumn<QByteArray>("before"); // <v>old</v> as the file writes it
    QTest::addColumn<QByteArray>("after"); // <v>NEW &amp; é</v> as the file must write it

    const QByteArray v = "<v>old</v>", nv = "<v>NEW &amp; \xc3\xa9</v>";
    QTest::newRow("plain") << QByteArray(kPlain) << v << nv;
    QTest::newRow("CRLF inside a PI") << QByteArray(
                                             "<?xml version=\"1.0\"?>\r\n<?pi line1\r\nline2?>\r\n<uos>\r\n<a>\r\n"
                                             "<v>old</v></a>\r\n</uos>\r\n")
                                      << v << nv;
    QTest::newRow("multi-line DOCTYPE with an entity")
        << QByteArray("<?xml version=\"1.0\"?>\r\n<!DOCTYPE uos [\r\n<!ENTITY e "
                      "\"x\">\r\n]>\r\n<uos>\r\n<a>&e;</a><v>old</v>\r\n"
                      "</uos>\r\n")
        << v << nv;
    QTest::newRow("CR inside the declaration")
        << QByteArray("<?xml\rversion=\"1.0\"?>\n<uos><a>x</a><v>old</v></uos>\n") << v << nv;
    QTest::newRow("what a writer would normalise")
        << QByteArray("<uos a='1'  b = \"x\ny\"\t>\r\n<t>a > b &#65;&#x42; &apos;</t>\n<v>old</v>\r\n<e/><f />"
                      "<g></g><![CDATA[<x>]]><!-- c -->\r\n</uos>")
        << v << nv;
    QTest::newRow("UTF-8 with BOM") << QByteArray("\xEF\xBB\xBF<uos><v>old</v><w>gr\xC3\xB6\xC3\x9F"
                                                  "e</w></uos>")
                                    << v << nv;
    QTest::newRow("Latin-1")
        << QByteArray("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<uos><w>caf\xE9</w><v>old</v></uos>\n") << v
        << QByteArray("<v>NEW &amp; \xE9</v>");
    QTest::newRow("windows-1252, an undefined byte too")
        << QByteArray("<?xml version=\"1.0\" encoding=\"windows-1252\"?>\n<uos><w>\x80\x81\x9F</w><v>old</v></uos>\n")
        << v << QByteArray("<v>NEW &amp; \xE9</v>");
    QTest::newRow("US-ASCII: what it cannot hold becomes a reference")
        << QByteArray("<?xml version=\"1.0\" encoding=\"US-ASCII\"?>\n<uos><v>old</v></uos>\n") << v
        << QByteArray("<v>NEW &amp; &#233;</v>");
    QTest::newRow("UTF-16 LE with BOM") << QByteArray("\xFF\xFE") + encoded(kPlain, QStringConverter::Utf16LE)
                                        << encoded("<v>old</v>", QStringConverter::Utf16LE)
                                        << encoded("<v>NEW &amp; é</v>", QStringConverter::Utf16LE);
    QTest::newRow("UTF-16 BE without BOM")
        << encoded("<?xml version=\"1.0\" encoding=\"UTF-16\"?>", QStringConverter::Utf16BE) +
               encoded(kPlain, QStringConverter::Utf16BE)
        << encoded("<v>old</v>", QStringConverter::Utf16BE) << encoded("<v>NEW &amp; é</v>", QStringConverter::Utf16BE);
}

void TestSaving::uneditedSaveGivesBackTheBytesAndAnEditChangesOnlyItsValue()
{
    QFETCH(QByteArray, source);
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, after);
    XmlDocument doc;
    QVERIFY2(doc.loadData(source), qPrintable(doc.errorString()));
    QCOMPARE(doc.toBytes(), source);

    QVERIFY(doc.selectSingleNode(QStringLiteral("//v")).setText(QStringLiteral("NEW & é")));
    QVERIFY(doc.isModified());
    const QByteArray saved = doc.toBytes();
    QCOMPARE(saved, replacedOnce(source, before, after));
    XmlDocument again;
    QVERIFY2(again.loadData(saved), qPrintable(again.errorString()));
    QCOMPARE(again.selectSingleNode(QStringLiteral("//v")).text(), QStringLiteral("NEW & é"));
    QCOMPARE(again.toBytes(), saved);
}

void TestSaving::repointedReferenceChangesOnlyThatElement()
{
    const QByteArray source = QByteArray(kPlain).replace("<r ref=\"id1\"/>", "<r  ref='id1' />");
    XmlDocument doc;
    QVERIFY(doc.loadData(source));
    XmlNode q = doc.selectSingleNode(QStringLiteral("//q"));
    for (const char *id : {"id2", "id3"}) { // twice: the second replaces what the first put there
        XmlNode r = doc.createElement(QStringLiteral("r"), QString());
        QVERIFY(r.setAttribute(QStringLiteral("ref"), QLatin1String(id)));
        QVERIFY(q.replaceChild(r, q.firstChild()));
    }
    // Written in the style of the file's empty elements.
    QCOMPARE(doc.toBytes(), replacedOnce(source, "<r  ref='id1' />", "<r ref=\"id3\" />"));

    // An attribute of an element that stays: only its start tag is written anew.
    QVERIFY(doc.selectSingleNode(QStringLiteral("//p")).setAttribute(QStringLiteral("id"), QStringLiteral("id9")));
    QCOMPARE(doc.toBytes(), replacedOnce(replacedOnce(source, "<r  ref='id1' />", "<r ref=\"id3\" />"),
                                         "<p id=\"id1\">", "<p id=\"id9\">"));
}

void TestSaving::editsInsideReplacedContentAreWrittenOnce()
{
    XmlDocument doc;
    QVERIFY(doc.loadData(kPlain));
    XmlNode q = doc.selectSingleNode(QStringLiteral("//q"));
    XmlNode r = doc.createElement(QStringLiteral("r"), QString());
    QVERIFY(r.setAttribute(QStringLiteral("ref"), QStringLiteral("id2")));
    QVERIFY(q.replaceChild(r, q.firstChild()));
    // The whole property is then set to a text: the replaced reference is gone with it.
    QVERIFY(q.setText(QStringLiteral("plain")));
    QVERIFY(doc.selectSingleNode(QStringLiteral("//p")).setText(QString()));
    QCOMPARE(doc.toBytes(),
             replacedOnce(kPlain, "<p id=\"id1\"><v>old</v><q><r ref=\"id1\"/></q></p>", "<p id=\"id1\"></p>"));
}

void TestSaving::failedWriteKeepsTheFileAndTheEdits_data()
{
    QTest::addColumn<qint64>("failAfter");
    const qint64 size = qstrlen(kPlain);
    for (qint64 n : {qint64(0), qint64(1), size / 2, size - 1})
        QTest::newRow(qPrintable(QStringLiteral("after %1 bytes").arg(n))) << n;
}

void TestSaving::failedWriteKeepsTheFileAndTheEdits()
{
    QFETCH(qint64, failAfter);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("doc.xml"));
    QVERIFY(writeFile(path, kPlain));
    XmlDocument doc;
    QVERIFY(doc.load(path));
    QVERIFY(doc.selectSingleNode(QStringLiteral("//v")).setText(QStringLiteral("new")));

    g_saveFailAfterBytes = failAfter;
    QVERIFY(!doc.save(path));
    QCOMPARE(doc.errorString(), QStringLiteral("The disk is full."));
    QCOMPARE(testsupport::readAll(path), QByteArray(kPlain));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"doc.xml"}); // no temporary left
    QVERIFY(doc.isModified());

    g_saveFailAfterBytes = -1;
    QVERIFY(doc.save(path));
    QVERIFY(!doc.isModified());
    QCOMPARE(testsupport::readAll(path), replacedOnce(kPlain, "<v>old</v>", "<v>new</v>"));
}

void TestSaving::fullDiskForReal()
{
    if (geteuid() != 0)
        QSKIP("mounting a small file system needs root");
    QTemporaryDir dir;
    const QString mountPoint = dir.filePath(QStringLiteral("small"));
    QVERIFY(QDir().mkpath(mountPoint));
    QProcess mount;
    mount.start(QStringLiteral("mount"), {"-t", "tmpfs", "-o", "size=100k", "tmpfs", mountPoint});
    if (!mount.waitForFinished() || mount.exitCode() != 0)
        QSKIP(qPrintable(QStringLiteral("mounting a tmpfs is not allowed here: ") +
                         QString::fromLocal8Bit(mount.readAllStandardError()).trimmed()));
    struct Unmount {
        QString at;
        ~Unmount() { QProcess::execute(QStringLiteral("umount"), {at}); }
    } unmount{mountPoint};

    const QString path = mountPoint + QStringLiteral("/doc.xml");
    QVERIFY(writeFile(path, kPlain));
    XmlDocument doc;
    QVERIFY(doc.load(path));
    QVERIFY(doc.selectSingleNode(QStringLiteral("//v")).setText(QStringLiteral("new")));
    // Fill the file system to the last byte.
    {
        QFile filler(mountPoint + QStringLiteral("/filler"));
        QVERIFY(filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
        const QByteArray block(4096, 'x');
        while (filler.write(block) == block.size()) { }
        while (filler.write("x", 1) == 1) { }
    }
    QVERIFY(!doc.save(path));
    QCOMPARE(doc.errorString(), QStringLiteral("The disk is full."));
    QCOMPARE(testsupport::readAll(path), QByteArray(kPlain));
    QVERIFY(doc.isModified());

    QVERIFY(QFile::remove(mountPoint + QStringLiteral("/filler")));
    QVERIFY2(doc.save(path), qPrintable(doc.errorString()));
    QCOMPARE(testsupport::readAll(path), replacedOnce(kPlain, "<v>old</v>", "<v>new</v>"));
}

void TestSaving::unmodifiedSaveWritesNothing()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("doc.xml"));
    QVERIFY(writeFile(path, kPlain));
    XmlDocument doc;
    QVERIFY(doc.load(path));
    QVERIFY(doc.selectSingleNode(QStringLiteral("//v")).setText(QStringLiteral("old"))); // the same value
    QVERIFY(!doc.isModified());
    QVERIFY(QFile::remove(path));
    QVERIFY(doc.save(path));
    QVERIFY(!QFile::exists(path)); // nothing was written

    QVERIFY(doc.selectSingleNode(QStringLiteral("//v")).setText(QStringLiteral("new")));
    QVERIFY(doc.save(path));
    QVERIFY(QFile::remove(path));
    QVERIFY(doc.save(path));
    QVERIFY(!QFile::exists(path)); // saved once; nothing changed since

    // Another file always gets the document.
    const QString other = dir.filePath(QStringLiteral("copy.xml"));
    QVERIFY(doc.save(other));
    QCOMPARE(testsupport::readAll(other), replacedOnce(kPlain, "<v>old</v>", "<v>new</v>"));
}

void TestSaving::changedOnDiskFollowsTheFile_data()
{
    QTest::addColumn<QString>("change"); // what another program does to the file
    QTest::addColumn<bool>("changed");
    QTest::newRow("nothing") << "" << false;
    QTest::newRow("time of change, by a nanosecond") << "time" << true;
    QTest::newRow("size, same time") << "size" << true;
    QTest::newRow("inode, same bytes and time") << "inode" << true;
    QTest::newRow("removed") << "removed" << true;
}

void TestSaving::changedOnDiskFollowsTheFile()
{
    QFETCH(QString, change);
    QFETCH(bool, changed);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("doc.xml")), other = path + QStringLiteral(".new");
    QVERIFY(writeFile(path, kPlain));
    XmlDocument doc;
    QVERIFY(doc.load(path));
    QVERIFY(!doc.changedOnDisk());
    struct stat st;
    QCOMPARE(::stat(QFile::encodeName(path).constData(), &st), 0);
    timespec times[2] = {st.st_atim, st.st_mtim};
    if (change == QLatin1String("time"))
        times[1].tv_nsec = (times[1].tv_nsec + 1) % 1000000000;
    if (change == QLatin1String("size"))
        QVERIFY(writeFile(path, QByteArray(kPlain) + ' '));
    if (change == QLatin1String("inode"))
        QVERIFY(writeFile(other, kPlain) && QFile::remove(path) && QFile::rename(other, path));
    if (change == QLatin1String("removed"))
        QVERIFY(QFile::remove(path));
    else // the time of change as it was read, but in the row of that name
        QCOMPARE(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0), 0);
    QCOMPARE(doc.changedOnDisk(), changed);
    // A save takes the state of the file it wrote.
    QVERIFY(doc.selectSingleNode(QStringLiteral("//v")).setText(QStringLiteral("new")));
    QVERIFY(doc.save(path));
    QVERIFY(!doc.changedOnDisk());
    QVERIFY(doc.fileState() == FileState::of(path));
}

void TestSaving::refusesWhatIsNotARegularFile()
{
    QTemporaryDir dir;
    const QString fifo = dir.filePath(QStringLiteral("pipe.xml"));
    QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    XmlDocument doc;
    QVERIFY(!doc.load(fifo)); // returns at once: nobody writes into the pipe
    QVERIFY2(
        doc.errorString().endsWith(QStringLiteral("pipe.xml: it is not a regular file (a pipe, socket or device)")),
        qPrintable(doc.errorString()));
    QVERIFY(!doc.load(dir.path()));
    QVERIFY(doc.errorString().endsWith(QStringLiteral(": it is a folder, not a file")));
    QVERIFY(!doc.load(dir.filePath(QStringLiteral("missing.xml"))));
    QVERIFY(doc.errorString().endsWith(QStringLiteral("missing.xml: the file does not exist")));
    QVERIFY(!doc.load(dir.filePath(QStringLiteral("gone/missing.xml"))));
    QVERIFY(doc.errorString().endsWith(QStringLiteral("gone does not exist")));
}

void TestSaving::refusesFilesTooLargeToHold()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("huge.xml"));
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        QVERIFY(f.resize(qint64(3) << 30)); // sparse: takes no room on the disk
    }
    XmlDocument doc;
    QVERIFY(!doc.load(path));
    QVERIFY2(
        doc.errorString().endsWith(QStringLiteral("huge.xml: it is 3.0 GB; the editor opens files of up to 1.0 GB")),
        qPrintable(doc.errorString()));
}

QTEST_GUILESS_MAIN(TestSaving)
#include "tst_saving.moc"
