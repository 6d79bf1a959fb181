// The text kept in the parser's buffer reads back as the file was read, whatever the parse
// wrote into it: terminators, decoded references, line ends and blanks in attribute values.

#include "document/keptsource.h"
#include "document/xmldocument.h"

#include <pugixml.hpp>

#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <unistd.h>

using namespace quillon;

namespace {

void writeText(const std::string &path, const std::string &text)
{
    FILE *f = std::fopen(path.c_str(), "wb");
    QVERIFY(f);
    QCOMPARE(std::fwrite(text.data(), 1, text.size(), f), text.size());
    std::fclose(f);
}

// The text read into a buffer of the parser's and parsed there, as a document is loaded.
struct Parsed {
    pugi::xml_document doc;
    KeptSource source;
    std::vector<uint64_t> hashes;

    explicit Parsed(const std::string &text)
    {
        char *buf = static_cast<char *>(pugi::get_memory_allocation_function()(text.size() + 1));
        std::memcpy(buf, text.data(), text.size());
        buf[text.size()] = '\0';
        source.view(buf, text.size());
        hashes = blockHashes(buf, text.size());
        const unsigned flags = pugi::parse_default | pugi::parse_fragment | pugi::parse_declaration |
                               pugi::parse_doctype | pugi::parse_comments | pugi::parse_pi | pugi::parse_embed_pcdata;
        doc.load_buffer_inplace_own(buf, text.size() + 1, flags, pugi::encoding_utf8);
    }
};

// A text of about n bytes, in the shape of our files, with everything the parse rewrites.
std::string large(size_t n)
{
    std::string s = "<?xml version=\"1.0\"?>\r\n<uos>\r\n <aim-instances>\r\n";
    for (int i = 0; s.size() < n; ++i) {
        const std::string id = std::to_string(i);
        s += "  <p id=\"id" + id + "\" note='a\tb\nc &amp; d'><v>x &lt; " + id + "\r\ny</v>";
        s += i % 7 ? "<q ref=\"id1\"/>" : "<!-- c --><![CDATA[<raw>]]><?pi x?>";
        s += "</p>\r\n";
    }
    return s + " </aim-instances>\r\n</uos>\r\n";
}

} // namespace

class TestKeptSource : public QObject {
    Q_OBJECT

private slots:
    void readsAsRead_data();
    void readsAsRead();
    void changedFileIsNoticed();
    void fileInPlaceIsJudgedAsACopy_data();
    void fileInPlaceIsJudgedAsACopy();
};

void TestKeptSource::readsAsRead_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::newRow("terminators") << QByteArray("<uos><a x=\"1\" y='2'>t</a><b/><c\n/><d\t>u</d></uos>");
    QTest::newRow("references and line ends")
        << QByteArray("<uos>\r\n<a t=\"&lt;&#x41;&amp;\">&gt; &#233;\r\nend</a>\r\n</uos>\r\n");
    QTest::newRow("blanks in attributes") << QByteArray("<uos a=\"x\ty\r\nz\" b='\n'/>");
    QTest::newRow("comments, CDATA, PIs, prolog")
        << QByteArray("\xEF\xBB\xBF<?xml version=\"1.0\"?>\n<!DOCTYPE uos>\n<!-- é -->"
                      "<uos><?p d?><![CDATA[a]]b]]><x>\xE2\x82\xAC</x></uos>");
    QTest::newRow("empty text") << QByteArray("<uos/>");
    QTest::newRow("several blocks") << QByteArray::fromStdString(large(3 * kHashBlock + 777));
}

void TestKeptSource::readsAsRead()
{
    QFETCH(QByteArray, text);
    const std::string t = text.toStdString();
    QTemporaryDir dir;
    const std::string path = dir.filePath(QStringLiteral("a.xml")).toStdString();
    writeText(path, t);
    const int fd = ::open(path.c_str(), O_RDONLY);
    QVERIFY(fd >= 0);
    Parsed parsed(t), again(t);
    QVERIFY(parsed.source.patch(fd, parsed.hashes));
    QVERIFY(again.source.patch(fd, again.hashes));
    ::close(fd);
    const KeptSource &s = parsed.source;

    QCOMPARE(s.size(), t.size());
    QCOMPARE(s.substr(0), t);
    std::string pieces;
    s.forEachPiece(0, s.size(), [&](const char *data, size_t size) {
        pieces.append(data, size);
        return true;
    });
    QCOMPARE(pieces, t);
    const size_t step = std::max<size_t>(1, t.size() / 4000);
    for (size_t i = 0; i < t.size(); i += step) {
        QCOMPARE(s[i], t[i]);
        QCOMPARE(s.substr(i, 37), t.substr(i, 37));
        for (const char *needle : {"<", "</", "-->", ">\r\n", "&amp;"}) {
            QCOMPARE(s.find(needle, i), t.find(needle, i));
            QCOMPARE(s.rfind(needle, i), t.rfind(needle, i));
        }
    }
    // The same text parsed twice holds the same bytes; a byte off and it does not.
    QVERIFY(s.sameBytes(0, t.size(), again.source, 0));
    QCOMPARE(s.sameBytes(1, t.size(), again.source, 0), t.compare(1, t.size(), t, 0, t.size() - 1) == 0);
}

// A file changed between the read and the reading back cannot give what the parse changed.
void TestKeptSource::changedFileIsNoticed()
{
    const std::string t = large(kHashBlock + 100);
    QTemporaryDir dir;
    const std::string path = dir.filePath(QStringLiteral("a.xml")).toStdString();
    std::string changed = t;
    changed[changed.size() - 20] = 'Z';
    writeText(path, changed);

    Parsed now(t);
    const int fd = ::open(path.c_str(), O_RDONLY);
    QVERIFY(fd >= 0);
    QVERIFY(!now.source.patch(fd, now.hashes));
    ::close(fd);
}

void TestKeptSource::fileInPlaceIsJudgedAsACopy_data()
{
    QTest::addColumn<QByteArray>("text");
    const std::string body = large(3 << 20);
    const std::string head = "<?xml version=\"1.0\"?>\r\n<uos>\r\n <aim-instances>\r\n";
    const std::string tail = " </aim-instances>\r\n</uos>\r\n";
    const auto row = [](const char *name, const std::string &t) { QTest::newRow(name) << QByteArray::fromStdString(t); };
    row("well-formed", body);
    std::string spaced = body; // empty elements written "<q />", which new ones follow
    for (size_t at = 0; (at = spaced.find("\"/>", at)) != std::string::npos; at += 4)
        spaced.replace(at, 3, "\" />");
    row("empty elements with a blank", spaced);
    row("fault near the end", body.substr(0, body.size() - 40) + "<a b=c/>" + tail);
    // The names of the open elements lie megabytes behind where the end tag is read.
    row("end tag of an element opened far behind",
        head + "<deep>" + body.substr(head.size(), body.size() - head.size() - tail.size()) + "</deeper>" + tail);
    const std::string longText(9 << 20, 'x');
    row("text longer than the window", head + "<t>" + longText + "</t>" + tail);
    row("fault inside a long text", head + "<t>" + longText + "\x01" + longText + "</t>" + tail);
    row("NUL byte", body.substr(0, 2 << 20) + std::string(1, '\0') + body.substr(2 << 20));
    row("long comment after the document", body + "<!--" + longText + "-->\n");
}

// A large file is kept in place and checked as it is read again; what it is told of it (the
// verdict, the place of a fault, how an edit is written) is what a copy of it is told.
void TestKeptSource::fileInPlaceIsJudgedAsACopy()
{
    QFETCH(QByteArray, text);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("a.xml"));
    writeText(path.toStdString(), text.toStdString());
    XmlDocument inPlace, copy;
    const bool loaded = inPlace.load(path);
    QCOMPARE(loaded, copy.loadData(text, path));
    QCOMPARE(inPlace.errorString(), copy.errorString());
    if (!loaded)
        return;
    QCOMPARE(inPlace.sourceUtf8(), copy.sourceUtf8());
    // The facts of style taken beside the check: line ends, and how empty elements are written.
    for (XmlDocument *doc : {&inPlace, &copy}) {
        const XmlNode first = doc->documentElement().firstChild();
        QVERIFY(first.firstChild().setText(QStringLiteral("a\nb")));
        QVERIFY(XmlNode(first).replaceChild(doc->createElement(QStringLiteral("n"), QString()), first.lastChild()));
    }
    QCOMPARE(inPlace.toBytes(), copy.toBytes());
}

QTEST_GUILESS_MAIN(TestKeptSource)
#include "tst_keptsource.moc"
