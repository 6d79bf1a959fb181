// Saving keeps the user's file: an unedited save gives back the bytes that were read, an edit
// changes only its own value, a failed write leaves the old file and the edits, and files that
// cannot be documents are refused before they are read.
#include "document/memorybudget.h"
#include "document/savefault_p.h"
#include "nobody.h"
#include "testfiles.h"
#include "document/xmldocument.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QScopeGuard>
#include <QRandomGenerator>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
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

// What a folder holds but the bytes of its files: for each entry below it, its type and mode,
// owner, group, link count, link target and extended attributes.
QMap<QString, QString> metadata(const QString &folder)
{
    QMap<QString, QString> out;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QByteArray p = QFile::encodeName(it.next());
        struct stat st;
        if (::lstat(p.constData(), &st) != 0)
            continue;
        QString line =
            QStringLiteral("%1 %2:%3 links %4").arg(st.st_mode, 0, 8).arg(st.st_uid).arg(st.st_gid).arg(st.st_nlink);
        char buf[4096];
        if (S_ISLNK(st.st_mode)) {
            const ssize_t n = ::readlink(p.constData(), buf, sizeof buf);
            line += QStringLiteral(" -> ") + QString::fromLocal8Bit(buf, n < 0 ? 0 : n);
        }
        const ssize_t n = ::llistxattr(p.constData(), buf, sizeof buf);
        for (const QByteArray &name : QByteArray(buf, n < 0 ? 0 : n).split('\0')) {
            char value[1024];
            const ssize_t size =
                name.isEmpty() ? -1 : ::lgetxattr(p.constData(), name.constData(), value, sizeof value);
            if (size >= 0)
                line += QLatin1Char(' ') + QString::fromLatin1(name) + QLatin1Char('=') +
                        QString::fromLatin1(QByteArray(value, size).toHex());
        }
        out.insert(QDir(folder).relativeFilePath(QFile::decodeName(p)), line);
    }
    return out;
}

// A POSIX access ACL as the kernel keeps it in system.posix_acl_access (version 2, then tag,
// permissions and id of each entry): owner rw, user 65534 r, group r, mask r, others nothing.
const QByteArray kAcl("\2\0\0\0"
                      "\x01\0\6\0\xff\xff\xff\xff\x02\0\4\0\xfe\xff\0\0\x04\0\4\0\xff\xff\xff\xff"
                      "\x10\0\4\0\xff\xff\xff\xff\x20\0\0\0\xff\xff\xff\xff",
                      44);

} // namespace

class TestSaving : public QObject {
    Q_OBJECT
private slots:
    void cleanup()
    {
        g_saveFailAfterBytes = -1;
        g_saveNamedTemporary = false;
    }

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
    void refusesFilesTooLargeToHold_data();
    void refusesFilesTooLargeToHold();

    void saveWritesTheFileItNamesAndKeepsWhatItIs_data();
    void saveWritesTheFileItNamesAndKeepsWhatItIs();
    void anotherUserSavesWhatTheyMayWrite_data();
    void anotherUserSavesWhatTheyMayWrite();
    void killedSaveLeavesTheOldOrTheNewFile_data();
    void killedSaveLeavesTheOldOrTheNewFile();
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
    const auto declared = [](const char *name, const char *body) {
        return "<?xml version=\"1.0\" encoding=\"" + QByteArray(name) + "\"?>\n<uos>" + body + "<v>old</v></uos>\n";
    };
    QTest::newRow("Shift_JIS, a second byte that is a backslash")
        << declared("Shift_JIS", "<w a=\"\x95\x5C\">\x95\x5C\x5C~</w>") << v << QByteArray("<v>NEW &amp; &#233;</v>");
    QTest::newRow("EUC-JP, three bytes for one character")
        << declared("euc-jp", "<w>\x8F\xAB\xB1\xA4\xA2</w>") << v << QByteArray("<v>NEW &amp; \x8F\xAB\xB1</v>");
    QTest::newRow("GB18030, four bytes for one character")
        << declared("GB18030", "<w>\x81\x30\x81\x30</w>") << v << QByteArray("<v>NEW &amp; \xA8\xA6</v>");
    QTest::newRow("windows-1250") << declared("windows-1250", "<w>\x8A\xE8</w>") << v
                                  << QByteArray("<v>NEW &amp; \xE9</v>");
    QTest::newRow("ISO-8859-15") << declared("ISO-8859-15", "<w>\xA4</w>") << v << QByteArray("<v>NEW &amp; \xE9</v>");
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
    // The second time large enough for the facts of style to be taken beside the parse.
    for (const QByteArray &tail : {QByteArray(), "<!--" + QByteArray(2 << 20, 'x') + "-->\n"}) {
        const QByteArray source = QByteArray(kPlain + tail).replace("<r ref=\"id1\"/>", "<r  ref='id1' />");
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
    QTest::addColumn<bool>("linked"); // a hard-linked file is written in place
    const qint64 size = qstrlen(kPlain);
    for (bool linked : {false, true})
        for (qint64 n : {qint64(0), qint64(1), size / 2, size - 1})
            QTest::newRow(qPrintable(QStringLiteral("after %1 bytes%2").arg(n).arg(linked ? ", hard-linked" : "")))
                << n << linked;
}

void TestSaving::failedWriteKeepsTheFileAndTheEdits()
{
    QFETCH(qint64, failAfter);
    QFETCH(bool, linked);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("doc.xml"));
    QVERIFY(writeFile(path, kPlain));
    QStringList names{"doc.xml"};
    if (linked) {
        QCOMPARE(::link(QFile::encodeName(path).constData(), QFile::encodeName(dir.filePath("twin.xml")).constData()),
                 0);
        names << "twin.xml";
    }
    XmlDocument doc;
    QVERIFY(doc.load(path));
    QVERIFY(doc.selectSingleNode(QStringLiteral("//v")).setText(QStringLiteral("new")));

    g_saveFailAfterBytes = failAfter;
    QVERIFY(!doc.save(path));
    QCOMPARE(doc.errorString(), QStringLiteral("The disk is full."));
    QCOMPARE(testsupport::readAll(path), QByteArray(kPlain));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), names); // no temporary or backup left
    QVERIFY(doc.isModified());

    g_saveFailAfterBytes = -1;
    QVERIFY(doc.save(path));
    QVERIFY(!doc.isModified());
    QCOMPARE(testsupport::readAll(path), replacedOnce(kPlain, "<v>old</v>", "<v>new</v>"));
    QCOMPARE(testsupport::readAll(dir.filePath(names.last())), testsupport::readAll(path));
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

void TestSaving::refusesFilesTooLargeToHold_data()
{
    // The memory the machine gives, as /proc/meminfo and the cgroup files say (in GiB; -1: the
    // file is not there), and the file's size.
    QTest::addColumn<int>("memAvailable");
    QTest::addColumn<int>("cgroupV2Max");
    QTest::addColumn<int>("cgroupV1Limit");
    QTest::addColumn<qint64>("size");
    QTest::addColumn<QString>("reason");
    QTest::addColumn<QString>("readReason"); // loadForReading's: its text is kept as a copy
    const qint64 gb = qint64(1) << 30;
    const auto needs3 = [](double perByte) {
        return QStringLiteral("it is 3,221,225,472 bytes: it needs about %1 GB of memory; ").arg(3 * perByte, 0, 'f', 1);
    };
    const QString six = QStringLiteral("6.0 GB are available");
    const QString shown = needs3(kMemoryPerFileByte) + six, copied = needs3(kMemoryPerFileByteCopied) + six;
    // Whatever fits is read up to its first bytes, and refused there: these hold NUL bytes.
    const QString noXml = QStringLiteral("it is not an XML document: it begins with byte 0x00, not '<'");
    QTest::newRow("does not fit") << 6 << -1 << -1 << 3 * gb << shown << copied;
    QTest::newRow("fits") << 23 << -1 << -1 << 3 * gb << noXml << noXml;
    QTest::newRow("fits, but not as a copy") << 11 << -1 << -1 << 3 * gb << noXml
                                             << needs3(kMemoryPerFileByteCopied) + "11.0 GB are available";
    QTest::newRow("cgroup v2 smaller than meminfo") << 23 << 7 << -1 << 3 * gb << shown << copied; // 1 GiB in use
    QTest::newRow("cgroup v1 smaller than meminfo") << 23 << -1 << 7 << 3 * gb << shown << copied;
    QTest::newRow("cgroup without a limit") << 23 << 0 << 0 << 3 * gb << noXml << noXml;
    QTest::newRow("cgroup only") << -1 << 7 << -1 << 3 * gb << shown << copied;
    QTest::newRow("unreadable files") << -1 << -1 << -1 << 3 * gb << noXml << noXml;
    QTest::newRow("1 GB and a byte, 6 GB available") << 6 << -1 << -1 << gb + 1 << noXml << noXml;
}

void TestSaving::refusesFilesTooLargeToHold()
{
    QFETCH(int, memAvailable);
    QFETCH(int, cgroupV2Max);
    QFETCH(int, cgroupV1Limit);
    QFETCH(qint64, size);
    QFETCH(QString, reason);
    QFETCH(QString, readReason);
    QTemporaryDir dir;
    auto write = [&](const QString &name, const QByteArray &text) {
        QDir(dir.path()).mkpath(QFileInfo(dir.filePath(name)).path());
        QFile f(dir.filePath(name));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(text);
    };
    const QByteArray gib = QByteArray::number(qint64(1) << 30);
    auto limit = [](int g) { return g ? QByteArray::number(qint64(g) << 30) : QByteArray("max"); };
    if (memAvailable >= 0)
        write(QStringLiteral("meminfo"), "MemTotal:       24000000 kB\nMemFree:         1000 kB\nMemAvailable:   " +
                                             QByteArray::number(qint64(memAvailable) << 20) + " kB\n");
    if (cgroupV2Max >= 0) {
        write(QStringLiteral("cgroup/memory.max"), limit(cgroupV2Max) + '\n');
        write(QStringLiteral("cgroup/memory.current"), gib + '\n');
    }
    if (cgroupV1Limit >= 0) {
        write(QStringLiteral("cgroup/memory/memory.limit_in_bytes"),
              cgroupV1Limit ? limit(cgroupV1Limit) : QByteArray("9223372036854771712"));
        write(QStringLiteral("cgroup/memory/memory.usage_in_bytes"), gib);
    }
    setMemorySources({dir.filePath(QStringLiteral("meminfo")), dir.filePath(QStringLiteral("cgroup"))});
    const auto restore = qScopeGuard([] { setMemorySources({}); });
    const QString path = dir.filePath(QStringLiteral("huge.xml"));
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        QVERIFY(f.resize(size)); // sparse: takes no room on the disk
    }
    XmlDocument doc;
    const qint64 before = testsupport::bytesRead();
    QVERIFY(!doc.load(path));
    QVERIFY2(doc.errorString().endsWith(QStringLiteral("huge.xml: ") + reason), qPrintable(doc.errorString()));
    XmlDocument read;
    QVERIFY(!read.loadForReading(path));
    QVERIFY2(read.errorString().endsWith(QStringLiteral("huge.xml: ") + readReason), qPrintable(read.errorString()));
    // Judged by its first bytes: the file is never read in full.
    if (before >= 0)
        QCOMPARE_LT(testsupport::bytesRead() - before, qint64(1) << 20);
}

void TestSaving::saveWritesTheFileItNamesAndKeepsWhatItIs_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("named"); // temporaries with names, as where unnamed ones are not had
    for (bool named : {false, true})
        for (const char *kind : {"symbolic link", "chain of links into another folder", "link to a file not there yet",
                                 "hard link", "owner and group of another user", "mode and extended attributes",
                                 "name of 255 bytes", "new file: 0666 less the umask"})
            QTest::newRow(qPrintable(QLatin1String(kind) + (named ? QLatin1String(", named temporary") : QString())))
                << QString::fromLatin1(kind) << named;
}

void TestSaving::saveWritesTheFileItNamesAndKeepsWhatItIs()
{
    QFETCH(QString, kind);
    QFETCH(bool, named);
    QTemporaryDir dir;
    const QDir d(dir.path());
    QString target = d.filePath(QStringLiteral("doc.xml")); // what is saved to
    QString real = target; // the file that changes
    QString created; // the file that is new
    const auto symlink = [&d](const char *to, const char *name) {
        return ::symlink(to, QFile::encodeName(d.filePath(QLatin1String(name))).constData()) == 0;
    };
    QVERIFY(writeFile(real, kPlain));
    if (kind == QLatin1String("symbolic link")) {
        QVERIFY(symlink("doc.xml", "link.xml"));
        target = d.filePath(QStringLiteral("link.xml"));
    } else if (kind.startsWith(QLatin1String("chain"))) {
        QVERIFY(d.mkpath(QStringLiteral("sub")) && d.mkpath(QStringLiteral("real")));
        QVERIFY(QFile::rename(real, d.filePath(QStringLiteral("real/doc.xml"))));
        QVERIFY(symlink("sub/second.xml", "first.xml") && symlink("../real/doc.xml", "sub/second.xml"));
        target = d.filePath(QStringLiteral("first.xml"));
        real = d.filePath(QStringLiteral("real/doc.xml"));
    } else if (kind.startsWith(QLatin1String("link to a file"))) {
        QVERIFY(symlink("made.xml", "link.xml"));
        target = d.filePath(QStringLiteral("link.xml"));
        real = created = d.filePath(QStringLiteral("made.xml"));
    } else if (kind == QLatin1String("hard link")) {
        QCOMPARE(::link(QFile::encodeName(real).constData(), QFile::encodeName(d.filePath("twin.xml")).constData()), 0);
    } else if (kind.startsWith(QLatin1String("owner"))) {
        if (geteuid() != 0)
            QSKIP("giving a file to another user needs root");
        QCOMPARE(::chown(QFile::encodeName(real).constData(), 65534, 65534), 0);
    } else if (kind.startsWith(QLatin1String("mode"))) {
        const QByteArray p = QFile::encodeName(real);
        QCOMPARE(::chmod(p.constData(), 0604), 0);
        if (::setxattr(p.constData(), "user.origin", "test", 4, 0) != 0 ||
            ::setxattr(p.constData(), "system.posix_acl_access", kAcl.constData(), size_t(kAcl.size()), 0) != 0)
            QSKIP(qPrintable(QStringLiteral("this file system keeps no extended attributes or ACLs: ") +
                             QString::fromLocal8Bit(std::strerror(errno))));
    } else if (kind.startsWith(QLatin1String("name of 255"))) {
        real = target = d.filePath(QString(251, u'x') + QStringLiteral(".xml"));
        QVERIFY(QFile::rename(d.filePath(QStringLiteral("doc.xml")), real));
    } else {
        real = target = created = d.filePath(QStringLiteral("new.xml"));
    }
    XmlDocument doc;
    QVERIFY(doc.load(created.isEmpty() ? target : d.filePath(QStringLiteral("doc.xml"))));
    QVERIFY(doc.selectSingleNode(QStringLiteral("//v")).setText(QStringLiteral("new")));
    const QMap<QString, QString> before = metadata(d.path());

    g_saveNamedTemporary = named;
    const mode_t umask = ::umask(027);
    const bool saved = doc.save(target);
    ::umask(umask);
    QVERIFY2(saved, qPrintable(doc.errorString()));
    QCOMPARE(testsupport::readAll(real), replacedOnce(kPlain, "<v>old</v>", "<v>new</v>"));
    // Every entry is what it was, links are links still; the one new file has 0666 less the umask.
    QMap<QString, QString> after = metadata(d.path());
    if (!created.isEmpty()) {
        struct stat st;
        QCOMPARE(::stat(QFile::encodeName(created).constData(), &st), 0);
        QCOMPARE(st.st_mode & 07777, mode_t(0640));
        QVERIFY(after.remove(d.relativeFilePath(created)) == 1);
    }
    QCOMPARE(after, before);
}

void TestSaving::anotherUserSavesWhatTheyMayWrite_data()
{
    QTest::addColumn<int>("folderMode");
    QTest::addColumn<int>("fileMode"); // -1: there is no file yet
    QTest::addColumn<bool>("ownFile"); // nobody owns the file, else root does
    QTest::addColumn<QString>("error"); // empty: saved; %1 the file, %2 the folder
    QTest::newRow("read-only file") << 0777 << 0444 << true << "You are not allowed to change %1.";
    QTest::newRow("another's read-only file") << 0777 << 0644 << false << "You are not allowed to change %1.";
    QTest::newRow("writable file in a read-only folder: in place") << 0555 << 0666 << true << "";
    QTest::newRow("another's writable file: in place, the owner kept") << 0777 << 0666 << false << "";
    QTest::newRow("new file in a read-only folder") << 0555 << -1 << true << "You are not allowed to write into %2.";
}

void TestSaving::anotherUserSavesWhatTheyMayWrite()
{
    QFETCH(int, folderMode);
    QFETCH(int, fileMode);
    QFETCH(bool, ownFile);
    QFETCH(QString, error);
    if (!testsupport::canBeNobody())
        QSKIP("acting as user nobody needs root");
    QTemporaryDir dir, spare; // spare: the folder for temporary files
    const QString folder = dir.filePath(QStringLiteral("f")), path = folder + QStringLiteral("/doc.xml");
    const QString from = spare.filePath(QStringLiteral("from.xml"));
    QVERIFY(QDir().mkpath(folder) && writeFile(from, kPlain));
    if (fileMode >= 0) {
        QVERIFY(writeFile(path, kPlain));
        QCOMPARE(::chmod(QFile::encodeName(path).constData(), mode_t(fileMode)), 0);
        QCOMPARE(::chown(QFile::encodeName(path).constData(), ownFile ? 65534 : 0, ownFile ? 65534 : 0), 0);
    }
    for (const QString &p : {dir.path(), folder, spare.path()})
        QCOMPARE(::chmod(QFile::encodeName(p).constData(), p == folder ? mode_t(folderMode) : 01777), 0);
    QCOMPARE(::chmod(QFile::encodeName(from).constData(), 0644), 0);
    const QMap<QString, QString> before = metadata(dir.path());

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TMPDIR"), spare.path());
    QProcess *child = testsupport::startChild({"save", from, path}, true, this, env);
    QVERIFY(child->waitForFinished(60000));
    const QString said = QString::fromLocal8Bit(child->readAllStandardOutput()).trimmed();
    QCOMPARE(
        said,
        QString(error).replace("%1", QDir::toNativeSeparators(path)).replace("%2", QDir::toNativeSeparators(folder)));
    QCOMPARE(child->exitCode(), error.isEmpty() ? 0 : 1);
    const QByteArray now = testsupport::readAll(path);
    QCOMPARE(now, fileMode < 0      ? QByteArray()
                  : error.isEmpty() ? replacedOnce(kPlain, "<v>old</v>", "<v>new</v>")
                                    : QByteArray(kPlain));
    // Owner, mode and entries as they were; no backup is left in the folder for temporary files.
    QCOMPARE(metadata(dir.path()), before);
    QCOMPARE(QDir(spare.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList{"from.xml"});
}

void TestSaving::killedSaveLeavesTheOldOrTheNewFile_data()
{
    QTest::addColumn<bool>("named");
    QTest::newRow("unnamed temporary") << false;
    QTest::newRow("named temporary") << true;
}

void TestSaving::killedSaveLeavesTheOldOrTheNewFile()
{
    QFETCH(bool, named);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("doc.xml"));
    // Large enough that a save takes a while; the child writes <v>A</v> and <v>B</v> in turn.
    const QByteArray source = replacedOnce(kPlain, "<q>", "<w>" + QByteArray(8 << 20, 'x') + "</w><q>");
    QVERIFY(writeFile(path, source));
    const auto with = [&source](const QString &v) {
        return replacedOnce(source, "<v>old</v>", "<v>" + v.toUtf8() + "</v>");
    };
    QString last = QStringLiteral("old"); // what the file held before the child started
    int leftBehind = 0;
    for (int round = 0; round < 20; ++round) {
        QProcess *child = testsupport::startChild({"loop", path, named ? "named" : "unnamed"}, false, this);
        QVERIFY(child->waitForReadyRead(60000)); // loaded
        QTest::qWait(QRandomGenerator::global()->bounded(5, 400));
        child->kill();
        QVERIFY(child->waitForFinished(60000));
        QCOMPARE(child->exitStatus(), QProcess::CrashExit); // killed, not failed
        delete child;
        const QByteArray now = testsupport::readAll(path);
        QVERIFY2(now == with(last) || now == with("A") || now == with("B"),
                 qPrintable(QStringLiteral("round %1: %2 bytes").arg(round).arg(now.size())));
        leftBehind += QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size() - 1;

        // The next save removes what a killed one left.
        g_saveNamedTemporary = named;
        XmlDocument doc;
        QVERIFY(doc.load(path));
        last = QStringLiteral("r%1").arg(round);
        QVERIFY(doc.selectSingleNode(QStringLiteral("//v")).setText(last));
        QVERIFY2(doc.save(path), qPrintable(doc.errorString()));
        QCOMPARE(testsupport::readAll(path), with(last));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"doc.xml"});
    }
    // Unnamed temporaries have a name only between their link and the rename.
    if (named)
        QVERIFY2(leftBehind > 0, "no kill came during a save: the cleaning was not tried");
}

// The child process of the tests above. "save FROM TO": loads FROM, writes "new" into <v> and
// saves to TO, printing why not. "loop FILE named|unnamed": loads FILE, says so on its output,
// then saves <v>A</v> and <v>B</v> into it in turn until it is killed.
int runChild(const QStringList &args)
{
    XmlDocument doc;
    if (args.size() != 3 || !doc.load(args[1]))
        return 2;
    XmlNode v = doc.selectSingleNode(QStringLiteral("//v"));
    if (args[0] == QLatin1String("save")) {
        const bool ok = v.setText(QStringLiteral("new")) && doc.save(args[2]);
        std::printf("%s\n", qPrintable(doc.errorString()));
        return ok ? 0 : 1;
    }
    g_saveNamedTemporary = args[2] == QLatin1String("named");
    std::printf("loaded\n");
    std::fflush(stdout);
    for (int i = 0;; ++i)
        if (!v.setText(i % 2 ? QStringLiteral("B") : QStringLiteral("A")) || !doc.save(args[1]))
            return 3;
}

QUILLON_TEST_MAIN_WITH_CHILD(TestSaving, runChild)

#include "tst_saving.moc"
