// The document object (document/xmldocument.h): faithful round trips, encodings, whitespace
// that navigation does not see, expressions, the instance index, the asynchronous
// completion, failures that leave files intact, handle lifetime and namespaces.
#include "document/xmldocument.h"
#include "document/asyncjob.h"
#include "document/loadprogress.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QSignalSpy>
#include <QStringDecoder>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

using namespace quillon;

namespace {

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

void settle()
{
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents();
}

// A document as it is usually written: declaration on its own line, two-space indentation,
// double quotes, a final newline. %1 is the empty-element style.
QByteArray usualDocument(const char *empty = "/>")
{
    return QByteArray(R"(<?xml version="1.0" encoding="UTF-8"?>
<uos xmlns="urn:wren:test">
  <header>
    <file_name>a.xml</file_name>
  </header>
  <arm>
    <PART>
      <PART_NUMBER>
        <product ref="id1")") +
           empty + R"(
      </PART_NUMBER>
    </PART>
  </arm>
  <aim>
    <aim-instances>
      <product id="id1">
        <name>Gear shaft</name>
        <description>Hardened &amp; ground, &lt;42 mm&gt;</description>
        <note)" +
           empty + R"(
        <of_shape>
          <shape ref="id5")" +
           empty + R"(
        </of_shape>
      </product>
      <shape id="id5" kind="a &quot;round&quot; one">
        <name>Cylinder</name>
      </shape>
    </aim-instances>
  </aim>
</uos>
)";
}

QByteArray encode(const QString &text, const char *encoding)
{
    const std::string e(encoding);
    if (e == "latin1")
        return text.toLatin1();
    if (e == "utf16le" || e == "utf16be") {
        QByteArray out;
        for (const QChar c : text) {
            const ushort u = c.unicode();
            if (e == "utf16le")
                out.append(char(u & 0xFF)).append(char(u >> 8));
            else
                out.append(char(u >> 8)).append(char(u & 0xFF));
        }
        return out;
    }
    return text.toUtf8();
}

QByteArray toCrlf(QByteArray bytes)
{
    return bytes.replace("\n", "\r\n");
}

} // namespace

class TestXmlDocument : public QObject {
    Q_OBJECT
private slots:
    void init();

    void roundTripUnedited_data();
    void roundTripUnedited();
    void roundTripSamples_data();
    void roundTripSamples();
    void editChangesOnlyThatLine_data();
    void editChangesOnlyThatLine();
    void encodings_data();
    void encodings();
    void charactersOutsideTheEncodingBecomeReferences();
    void singleByteDocumentsTakeWhatTheyCanWrite_data();
    void singleByteDocumentsTakeWhatTheyCanWrite();
    void internalEntitiesAreExpandedWithinBounds_data();
    void internalEntitiesAreExpandedWithinBounds();
    void sourceUtf8IsTheFileAsItStands();
    void sourceTextSize_data();
    void sourceTextSize();

    void whitespaceIsInvisibleToNavigation();
    void textBeforeChildrenIsTheFirstChild();
    void prologAndEpilogAreKept();
    void textAndSetText();

    void predicateValues_data();
    void predicateValues();
    void invalidExpressions_data();
    void invalidExpressions();
    void findInstanceIsExact();
    void findInstanceIndexFollowsChanges_data();
    void findInstanceIndexFollowsChanges();

    void completionComesAfterLoadReturns();
    void failedLoadDeliversNothing();
    void deletedDocumentEmitsNothing();
    void parseErrorsTellLineAndColumn_data();
    void parseErrorsTellLineAndColumn();
    void loadCountsWhatItReads_data();
    void loadCountsWhatItReads();

    void saveFailureLeavesFileIntact_data();
    void saveFailureLeavesFileIntact();
    void saveWithoutDocumentWritesNothing();
    void documentReadForReadingIsNeverWritten();

    void handlesOutliveTheirDocumentObject();
    void namespaces_data();
    void namespaces();
    void replaceChildNamespace_data();
    void replaceChildNamespace();
    void replaceChildRefusesWhatDoesNotFit();

    void largeDocument();

private:
    QString write(const QString &name, const QByteArray &bytes);
    QTemporaryDir m_dir;
};

void TestXmlDocument::init()
{
    QVERIFY(m_dir.isValid());
}

QString TestXmlDocument::write(const QString &name, const QByteArray &bytes)
{
    const QString path = m_dir.filePath(name);
    QFile::remove(path);
    if (!writeFile(path, bytes))
        qWarning("cannot write %s", qPrintable(path));
    return path;
}

// ---------------------------------------------------------------------------------------
// Round trips

void TestXmlDocument::roundTripUnedited_data()
{
    QTest::addColumn<QByteArray>("source");
    const QByteArray usual = usualDocument();
    QTest::newRow("usual, <a/>") << usual;
    QTest::newRow("usual, <a />") << usualDocument(" />");
    QTest::newRow("usual, <a></a>") << QByteArray(usual)
                                           .replace(R"(<product ref="id1"/>)", R"(<product ref="id1"></product>)")
                                           .replace("<note/>", "<note></note>")
                                           .replace(R"(<shape ref="id5"/>)", R"(<shape ref="id5"></shape>)");
    QTest::newRow("CRLF") << toCrlf(usual);
    QTest::newRow("CRLF, <a />") << toCrlf(usualDocument(" />"));
    QTest::newRow("no final newline") << usual.chopped(1);
    QTest::newRow("two final newlines") << usual + "\n";
    QTest::newRow("no declaration") << usual.mid(usual.indexOf('\n') + 1);
    QTest::newRow("UTF-8 BOM") << "\xEF\xBB\xBF" + usual;
    QTest::newRow("tabs") << QByteArray(usual).replace("  ", "\t");
    QTest::newRow("standalone, single quotes in declaration")
        << QByteArray("<?xml version='1.0' encoding='UTF-8' standalone='yes'?>\n<uos>\n  <a x=\"1\"/>\n</uos>\n");
    QTest::newRow("comments, PIs, DOCTYPE, CDATA")
        << QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                      "<!DOCTYPE uos [\n  <!ENTITY company \"Wren &amp; Co\">\n]>\n"
                      "<!-- head comment\n     on two lines -->\n"
                      "<?xml-stylesheet type=\"text/xsl\" href=\"v.xsl\"?>\n"
                      "<uos>\n"
                      "  <!-- inside -->\n"
                      "  <maker>&company;</maker>\n"
                      "  <code><![CDATA[if (a < b && c) { x = \"]]]]><![CDATA[>\"; }]]></code>\n"
                      "  <?keep this one?>\n"
                      "</uos>\n"
                      "<!-- tail -->\n");
    QTest::newRow("non-ASCII UTF-8") << QByteArray(
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<uos>\n  <n>Gr\xC3\xBC\xC3\x9F"
        "e \xE2\x80\x93 \xE4\xB8\xAD \xF0\x9F\x94\xA7</n>\n  <m v=\"\xC3\xA9t\xC3\xA9\"/>\n</uos>\n");
    QTest::newRow("mixed content and blank lines")
        << QByteArray("<uos>\n\n  <p>Some <b>bold</b> and <i>italic</i> text.</p>\n   \n  <e/>\n</uos>");
}

void TestXmlDocument::roundTripUnedited()
{
    QFETCH(QByteArray, source);
    const QString path = write(QStringLiteral("round.xml"), source);
    XmlDocument doc;
    QVERIFY2(doc.load(path), qPrintable(doc.errorString()));
    QCOMPARE(doc.toBytes(), source);
    const QString copy = m_dir.filePath(QStringLiteral("copy.xml"));
    QVERIFY2(doc.save(copy), qPrintable(doc.errorString()));
    QCOMPARE(readFile(copy), source);
    QVERIFY(doc.save(path));
    QCOMPARE(readFile(path), source);
}

void TestXmlDocument::roundTripSamples_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("xpath");
    QTest::addColumn<QString>("text");
    const QString dom = QStringLiteral(TEST_DATA_DIR "/dom/");
    QTest::newRow("samples/assembly.xml") << QStringLiteral(SAMPLES_DIR "/assembly.xml") << "/uos/header/file_name"
                                          << "assembly.xml";
    QTest::newRow("samples/parts.xml") << QStringLiteral(SAMPLES_DIR "/parts.xml") << "/uos/header/file_name"
                                       << "parts.xml";
    QTest::newRow("BOM, CRLF, <a />") << dom + "dotnet-style.xml"
                                      << "/uos/aim/aim-instances/product/name"
                                      << "Wellenmutter M42 – gehärtet";
    QTest::newRow("ISO-8859-1, no final newline") << dom + "latin1.xml"
                                                  << "//density"
                                                  << "7,85 g/cm³";
    QTest::newRow("UTF-16LE, CRLF") << dom + "utf16.xml"
                                    << "//name"
                                    << "齿轮轴 – Gear shaft";
}

// Files as tools write them: read, saved unedited, and compared byte for byte.
void TestXmlDocument::roundTripSamples()
{
    QFETCH(QString, path);
    QFETCH(QString, xpath);
    QFETCH(QString, text);
    XmlDocument doc;
    QVERIFY2(doc.load(path), qPrintable(doc.errorString()));
    QCOMPARE(doc.selectSingleNode(xpath).text(), text);
    const QByteArray original = readFile(path);
    QVERIFY(!original.isEmpty());
    QCOMPARE(doc.toBytes(), original);
    const QString copy = m_dir.filePath(QFileInfo(path).fileName());
    QVERIFY(doc.save(copy));
    QCOMPARE(readFile(copy), original);
}

void TestXmlDocument::editChangesOnlyThatLine_data()
{
    QTest::addColumn<QByteArray>("source");
    QTest::addColumn<QString>("encoding");
    QTest::newRow("UTF-8") << usualDocument() << QString();
    QTest::newRow("UTF-8, CRLF") << toCrlf(usualDocument()) << QString();
    QTest::newRow("UTF-8, <a />") << usualDocument(" />") << QString();
    // Large enough for the facts of style to be taken beside the parse.
    QTest::newRow("UTF-8, CRLF, <a />, 2 MiB")
        << toCrlf(QByteArray(usualDocument(" />")).replace("<uos", "<!-- " + QByteArray(2 << 20, 'x') + " -->\n<uos"))
        << QString();
    QTest::newRow("ISO-8859-1") << QByteArray(usualDocument()).replace("UTF-8", "ISO-8859-1")
                                << QStringLiteral("latin1");
    QTest::newRow("UTF-16LE") << QByteArray(usualDocument()).replace("UTF-8", "UTF-16") << QStringLiteral("utf16le");
}

void TestXmlDocument::editChangesOnlyThatLine()
{
    QFETCH(QByteArray, source);
    QFETCH(QString, encoding);
    const QByteArray encodingName = encoding.isEmpty() ? QByteArray("utf8") : encoding.toLatin1();
    QByteArray bytes = encoding.startsWith(QLatin1String("utf16"))
                           ? "\xFF\xFE" + encode(QString::fromUtf8(source), encodingName.constData())
                           : encode(QString::fromUtf8(source), encodingName.constData());
    const QString path = write(QStringLiteral("edit.xml"), bytes);
    XmlDocument doc;
    QVERIFY2(doc.load(path), qPrintable(doc.errorString()));
    XmlNode name = doc.selectSingleNode(QStringLiteral("/uos/aim/aim-instances/product/name"));
    QVERIFY(name);
    QVERIFY(name.setText(QStringLiteral("Gear shaft, größer")));
    XmlNode ref = doc.selectSingleNode(QStringLiteral("/uos/arm/PART/PART_NUMBER/product/@ref"));
    QVERIFY(ref);
    QVERIFY(ref.setText(QStringLiteral("id5")));
    QVERIFY(doc.save(path));

    const QByteArray saved = readFile(path);
    QCOMPARE(saved.left(2), bytes.left(2));
    const QString before = QString::fromUtf8(source);
    QString after;
    if (encoding == QLatin1String("latin1"))
        after = QString::fromLatin1(saved);
    else if (encoding == QLatin1String("utf16le"))
        after = QStringDecoder(QStringDecoder::Utf16LE, QStringDecoder::Flag::Stateless)(saved.mid(2));
    else
        after = QString::fromUtf8(saved);
    const QStringList a = before.split(QLatin1Char('\n'));
    const QStringList b = after.split(QLatin1Char('\n'));
    QCOMPARE(b.size(), a.size());
    QStringList changed;
    for (qsizetype i = 0; i < a.size(); ++i)
        if (a[i] != b[i])
            changed << b[i].trimmed();
    QCOMPARE(changed, QStringList({QStringLiteral("<product ref=\"id5\"") + (source.contains(" />") ? " />" : "/>"),
                                   QStringLiteral("<name>Gear shaft, größer</name>")}));
}

void TestXmlDocument::encodings_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("expected");
    const QString text = QStringLiteral("Grüße ½ äöü ÿ");
    const QString wide = QStringLiteral("Grüße – 中文 €");
    auto doc = [](const QString &decl, const QString &t) {
        return decl + QStringLiteral("<uos>\n  <n a=\"") + t + QStringLiteral("\">") + t +
               QStringLiteral("</n>\n</uos>\n");
    };
    const QString utf8Decl = QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n");
    const QString utf16Decl = QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-16\"?>\n");
    QTest::newRow("UTF-8") << encode(doc(utf8Decl, wide), "utf8") << wide;
    QTest::newRow("UTF-8 without declaration") << encode(doc(QString(), wide), "utf8") << wide;
    QTest::newRow("UTF-8 BOM") << "\xEF\xBB\xBF" + encode(doc(utf8Decl, wide), "utf8") << wide;
    QTest::newRow("UTF-16LE BOM") << "\xFF\xFE" + encode(doc(utf16Decl, wide), "utf16le") << wide;
    QTest::newRow("UTF-16BE BOM") << "\xFE\xFF" + encode(doc(utf16Decl, wide), "utf16be") << wide;
    QTest::newRow("UTF-16LE CRLF")
        << "\xFF\xFE" + encode(doc(utf16Decl, wide).replace(QLatin1String("\n"), QLatin1String("\r\n")), "utf16le")
        << wide;
    QTest::newRow("ISO-8859-1")
        << encode(doc(QStringLiteral("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n"), text), "latin1") << text;
    QTest::newRow("iso-8859-1, lower case, single quotes")
        << encode(doc(QStringLiteral("<?xml version='1.0' encoding='iso-8859-1'?>\n"), text), "latin1") << text;
    QTest::newRow("windows-1252")
        << QByteArray(
               "<?xml version=\"1.0\" encoding=\"windows-1252\"?>\n<uos>\n  <n a=\"\x80 \xE9\">\x80 \xE9</n>\n</uos>\n")
        << QStringLiteral("€ é");
    QTest::newRow("US-ASCII")
        << QByteArray("<?xml version=\"1.0\" encoding=\"US-ASCII\"?>\n<uos>\n  <n a=\"x&#233;\">x&#233;</n>\n</uos>\n")
        << QStringLiteral("xé");
}

void TestXmlDocument::encodings()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, expected);
    const QString path = write(QStringLiteral("enc.xml"), bytes);
    XmlDocument doc;
    QVERIFY2(doc.load(path), qPrintable(doc.errorString()));
    XmlNode n = doc.selectSingleNode(QStringLiteral("/uos/n"));
    QCOMPARE(n.text(), expected);
    QCOMPARE(n.attribute(0).text(), expected);
    QCOMPARE(doc.toBytes(), bytes);
    QVERIFY(doc.save(path));
    QCOMPARE(readFile(path), bytes);
    // A value written back is read back the same, in the same encoding.
    QVERIFY(n.setText(expected + QStringLiteral("!")));
    QVERIFY(doc.save(path));
    XmlDocument again;
    QVERIFY2(again.load(path), qPrintable(again.errorString()));
    QCOMPARE(again.selectSingleNode(QStringLiteral("/uos/n")).text(), expected + QStringLiteral("!"));
    QCOMPARE(readFile(path).left(3), bytes.left(3));
}

void TestXmlDocument::charactersOutsideTheEncodingBecomeReferences()
{
    const QByteArray latin1 =
        "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<uos>\n  <n a=\"\xE9\">\xE9</n>\n</uos>\n";
    const QString path = write(QStringLiteral("latin.xml"), latin1);
    XmlDocument doc;
    QVERIFY(doc.load(path));
    XmlNode n = doc.selectSingleNode(QStringLiteral("/uos/n"));
    QVERIFY(n.setText(QStringLiteral("é € 中")));
    QVERIFY(n.setAttribute(QStringLiteral("a"), QStringLiteral("€")));
    QCOMPARE(doc.toBytes(), QByteArray("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<uos>\n  <n "
                                       "a=\"&#8364;\">\xE9 &#8364; &#20013;</n>\n</uos>\n"));
    QVERIFY(doc.save(path));
    XmlDocument again;
    QVERIFY(again.load(path));
    QCOMPARE(again.selectSingleNode(QStringLiteral("/uos/n")).text(), QStringLiteral("é € 中"));
}

void TestXmlDocument::singleByteDocumentsTakeWhatTheyCanWrite_data()
{
    QTest::addColumn<QString>("encoding");
    QTest::addColumn<QString>("what");
    QTest::addColumn<QString>("value");
    QTest::addColumn<bool>("writable");
    // Values take character references; names, comments and PIs cannot.
    QTest::newRow("US-ASCII text") << "US-ASCII"
                                   << "text" << QStringLiteral("prüfung <測> €") << true;
    QTest::newRow("US-ASCII attribute") << "US-ASCII"
                                        << "attribute" << QStringLiteral("ü \"€\"") << true;
    QTest::newRow("US-ASCII CDATA") << "US-ASCII"
                                    << "cdata" << QStringLiteral("ü]]>€ <") << true;
    QTest::newRow("US-ASCII element name") << "US-ASCII"
                                           << "element" << QStringLiteral("prüfung") << false;
    QTest::newRow("US-ASCII attribute name") << "US-ASCII"
                                             << "attribute name" << QStringLiteral("prü") << false;
    QTest::newRow("US-ASCII comment") << "US-ASCII"
                                      << "comment" << QStringLiteral("ü") << false;
    QTest::newRow("ISO-8859-1 element name") << "ISO-8859-1"
                                             << "element" << QStringLiteral("prüfung") << true;
    QTest::newRow("ISO-8859-1 CJK element name") << "ISO-8859-1"
                                                 << "element" << QStringLiteral("測定") << false;
    QTest::newRow("ISO-8859-1 CJK attribute name") << "ISO-8859-1"
                                                   << "attribute name" << QStringLiteral("測") << false;
    QTest::newRow("windows-1252 element name") << "windows-1252"
                                               << "element" << QStringLiteral("œuvre") << true;
    QTest::newRow("windows-1252 comment") << "windows-1252"
                                          << "comment" << QStringLiteral("€ 測") << false;
    QTest::newRow("UTF-8 element name") << "UTF-8"
                                        << "element" << QStringLiteral("測定") << true;
}

void TestXmlDocument::singleByteDocumentsTakeWhatTheyCanWrite()
{
    QFETCH(QString, encoding);
    QFETCH(QString, what);
    QFETCH(QString, value);
    QFETCH(bool, writable);
    const QByteArray bytes = "<?xml version=\"1.0\" encoding=\"" + encoding.toLatin1() +
                             "\"?>\n<uos><n a=\"x\"><![CDATA[c]]></n><!--c--></uos>\n";
    const QString path = write(QStringLiteral("single.xml"), bytes);
    XmlDocument doc;
    QVERIFY(doc.load(path));
    XmlNode n = doc.selectSingleNode(QStringLiteral("/uos/n"));
    const XmlNode comment = doc.documentElement().lastChild();
    auto readBack = [&](const XmlDocument &d) {
        const XmlNode m = d.selectSingleNode(QStringLiteral("/uos/n"));
        if (what == QLatin1String("attribute"))
            return m.attribute(0).text();
        if (what == QLatin1String("element"))
            return m.firstChild().nodeName();
        if (what == QLatin1String("attribute name"))
            return m.attribute(1).nodeName();
        if (what == QLatin1String("comment"))
            return d.documentElement().lastChild().text();
        return m.text();
    };
    bool ok = false;
    if (what == QLatin1String("text"))
        ok = n.setText(value);
    else if (what == QLatin1String("attribute"))
        ok = n.setAttribute(QStringLiteral("a"), value);
    else if (what == QLatin1String("cdata"))
        ok = n.firstChild().setText(value);
    else if (what == QLatin1String("attribute name"))
        ok = n.setAttribute(value, QStringLiteral("v"));
    else if (what == QLatin1String("comment"))
        ok = comment.nodeType() == XmlNode::Comment && XmlNode(comment).setText(value);
    else if (const XmlNode e = doc.createElement(value, QString()); e)
        ok = bool(n.replaceChild(e, n.firstChild()));
    else
        QCOMPARE(
            doc.errorString(),
            QStringLiteral("The name %1 cannot be written in this document's encoding (%2).").arg(value, encoding));
    QCOMPARE(ok, writable);
    if (!writable) {
        QCOMPARE(doc.toBytes(), bytes);
        return;
    }
    QVERIFY(doc.save(path));
    XmlDocument again;
    QVERIFY2(again.load(path), qPrintable(again.errorString()));
    QCOMPARE(readBack(again), value);
}

void TestXmlDocument::internalEntitiesAreExpandedWithinBounds_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("error"); // what the refusal says; empty: the document opens
    auto chain = [](const QByteArray &name, const QByteArray &first, int levels, int wide, const QByteArray &use) {
        QByteArray dtd = QByteArray("<!DOCTYPE a [\n<!ENTITY ") + name + "0 \"" + first + "\">\n";
        for (int i = 1; i <= levels; ++i)
            dtd += "<!ENTITY " + name + QByteArray::number(i) + " \"" +
                   QByteArray("&" + name + QByteArray::number(i - 1) + ";").repeated(wide) + "\">\n";
        return dtd + "]>\n<a>" + use + "</a>\n";
    };
    QTest::newRow("values, ids and references")
        << QByteArray("<?xml version=\"1.0\"?>\n<!-- c --><?pi?>\n<!DOCTYPE uos [\n<!ENTITY i \"id1\">\n<!ENTITY n \"a "
                      "&amp; &i;&#x20;&#38;#60;\">\n"
                      "<!ENTITY s \"x\r\ny&#10;z\">\n]>\n<uos><aim><aim-instances><p id=\"&i;\"><v>&n;</v>"
                      "<w t=\"&s;\">&s;&amp;i;</w><r><q ref=\"&i;\"/></r></p></aim-instances></aim></uos>\n")
        << QString();
    QTest::newRow("billion laughs") << chain("lol", "lol", 9, 10, "&lol9;")
                                    << "the entities expand to more than 10 MB of text at line 13, column 4";
    QTest::newRow("empty entities, wide")
        << chain("e", "", 7, 40, "&e7;") << "the entities expand to more than 10 MB of text at line 11, column 4";
    QTest::newRow("41 deep") << chain("e", "x", 41, 1, "&e41;")
                             << "in entity 'e41': entities nested too deeply at line 45, column 4";
    QTest::newRow("markup") << QByteArray("<!DOCTYPE a [<!ENTITY b \"<b/>\">]><a>&b;</a>")
                            << "entity 'b' holds markup, which the editor does not expand at line 1, column 37";
    QTest::newRow("undeclared") << QByteArray("<!DOCTYPE a [<!ENTITY b \"x\">]><a>&c;</a>")
                                << "entity '&c;' not declared at line 1, column 34";
}

void TestXmlDocument::internalEntitiesAreExpandedWithinBounds()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, error);
    const QString path = write(QStringLiteral("entities.xml"), bytes);
    XmlDocument doc;
    const bool loaded = doc.load(path);
    if (!error.isEmpty()) {
        QVERIFY(!loaded);
        QVERIFY2(doc.errorString().endsWith(QStringLiteral("entities.xml: ") + error), qPrintable(doc.errorString()));
        return;
    }
    QVERIFY2(loaded, qPrintable(doc.errorString()));
    // Values, ids and references read as xmllint --noent reads them; the file stays as it was.
    const XmlNode p = doc.findInstance(QStringLiteral("id1"));
    QCOMPARE(p.selectSingleNode(QStringLiteral("v")).text(), QStringLiteral("a & id1 <"));
    QCOMPARE(p.selectSingleNode(QStringLiteral("w")).attribute(0).text(), QStringLiteral("x y z"));
    QCOMPARE(p.selectSingleNode(QStringLiteral("w")).text(), QStringLiteral("x\ny\nz&i;"));
    QCOMPARE(p.selectSingleNode(QStringLiteral("r/q")).attribute(0).text(), QStringLiteral("id1"));
    QCOMPARE(doc.toBytes(), bytes);
    // An edit writes its text escaped, beside the references it leaves alone.
    QVERIFY(p.selectSingleNode(QStringLiteral("v")).setText(QStringLiteral("&i; <")));
    QVERIFY(doc.save(path));
    QCOMPARE(readFile(path), QByteArray(bytes).replace("<v>&n;</v>", "<v>&amp;i; &lt;</v>"));
}

// The text of the file as it stands on disk, in UTF-8: as read, then as last saved; edits not
// yet saved are not in it.
void TestXmlDocument::sourceUtf8IsTheFileAsItStands()
{
    const QString text =
        QStringLiteral("<?xml version=\"1.0\" encoding=\"%1\"?>\n<uos>\n  <n>Gr\u00FC\u00DFe \U0001D11E</n>\n</uos>\n");
    const QString utf8 = text.arg(QLatin1String("UTF-8")), utf16 = text.arg(QLatin1String("UTF-16"));
    XmlDocument doc;
    QCOMPARE(doc.sourceUtf8(), QByteArray());
    QVERIFY(doc.load(write(QStringLiteral("bom.xml"), "\xEF\xBB\xBF" + utf8.toUtf8())));
    QCOMPARE(doc.sourceUtf8(), utf8.toUtf8());
    QVERIFY(doc.load(write(QStringLiteral("utf16.xml"), "\xFF\xFE" + encode(utf16, "utf16le"))));
    QCOMPARE(doc.sourceUtf8(), utf16.toUtf8());

    const QString path = write(QStringLiteral("latin.xml"),
                               "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<uos>\n  <n>\xE9</n>\n</uos>\n");
    QVERIFY(doc.load(path));
    const QByteArray asRead = doc.sourceUtf8();
    QCOMPARE(asRead, QString::fromLatin1(readFile(path)).toUtf8());
    QVERIFY(doc.selectSingleNode(QStringLiteral("/uos/n")).setText(QStringLiteral("\u00E0 \u20AC")));
    QCOMPARE(doc.sourceUtf8(), asRead);
    QVERIFY(doc.save(path));
    QCOMPARE(doc.sourceUtf8(), QString::fromLatin1(readFile(path)).toUtf8());
    QVERIFY(doc.sourceUtf8().contains("\xC3\xA0 &#8364;"));
    // The same text in pieces, kept as it stood when taken: a later save does not change it.
    const XmlDocument::SourceText held = doc.sourceText();
    const auto joined = [](const XmlDocument::SourceText &t, int *pieces = nullptr) {
        QByteArray out;
        t.forEachPiece([&](const char *data, qsizetype size) {
            out.append(data, size);
            if (pieces)
                ++*pieces;
            return true;
        });
        return out;
    };
    int pieces = 0;
    QCOMPARE(joined(held, &pieces), doc.sourceUtf8());
    QVERIFY(pieces > 1);
    const QByteArray heldText = doc.sourceUtf8();
    // Saved elsewhere: that file's text.
    QVERIFY(doc.selectSingleNode(QStringLiteral("/uos/n")).setText(QStringLiteral("x")));
    const QString other = m_dir.filePath(QStringLiteral("other.xml"));
    QVERIFY(doc.save(other));
    QCOMPARE(doc.sourceUtf8(), QString::fromLatin1(readFile(other)).toUtf8());
    QCOMPARE(joined(held), heldText);
    QCOMPARE(joined(doc.sourceText()), doc.sourceUtf8());
}

void TestXmlDocument::sourceTextSize_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("saved"); // after an edit and a save: pieces of the source and new text
    const QByteArray text = "<uos>\n  <n a=\"x &amp; y\">Gr\xC3\xBC\xC3\x9F" "e \xF0\x9D\x84\x9E</n>\n  <m/>\n</uos>\n";
    QTest::newRow("as read") << text << false;
    QTest::newRow("byte order mark") << "\xEF\xBB\xBF" + text << false;
    QTest::newRow("saved") << text << true;
    QTest::newRow("byte order mark, saved") << "\xEF\xBB\xBF" + text << true;
}

// The size of the text in pieces, told without reading them, is that of the file less a byte
// order mark, as are the pieces.
void TestXmlDocument::sourceTextSize()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, saved);
    XmlDocument doc;
    const QString path = write(QStringLiteral("size.xml"), bytes);
    QVERIFY(doc.load(path));
    if (saved) {
        QVERIFY(doc.selectSingleNode(QStringLiteral("/uos/m")).setText(QStringLiteral("\u20AC")));
        QVERIFY(doc.save(path));
    }
    const QByteArray file = readFile(path);
    const QByteArray text = file.startsWith("\xEF\xBB\xBF") ? file.mid(3) : file;
    QByteArray pieces;
    doc.sourceText().forEachPiece([&pieces](const char *data, qsizetype size) {
        pieces.append(data, size);
        return true;
    });
    QCOMPARE(pieces, text);
    QCOMPARE(doc.sourceText().size(), text.size());
}

// ---------------------------------------------------------------------------------------
// Navigation and text

void TestXmlDocument::whitespaceIsInvisibleToNavigation()
{
    XmlDocument doc;
    QVERIFY(doc.loadXml(QStringLiteral(
        "<uos>\n  <a>\n    <b/>\n    text\n    <c/>\n  </a>\n  <empty>  \n  </empty>\n  <d/>\n</uos>\n")));
    const XmlNode uos = doc.documentElement();
    QCOMPARE(uos.nodeName(), QStringLiteral("uos"));
    XmlNode a = uos.firstChild();
    QCOMPARE(a.nodeName(), QStringLiteral("a"));
    QCOMPARE(uos.lastChild().nodeName(), QStringLiteral("d"));
    QCOMPARE(a.nextSibling().nodeName(), QStringLiteral("empty"));
    QCOMPARE(a.nextSibling().nextSibling().nodeName(), QStringLiteral("d"));
    QVERIFY(!uos.lastChild().nextSibling());
    QVERIFY(!a.previousSibling());
    QCOMPARE(uos.lastChild().previousSibling().nodeName(), QStringLiteral("empty"));

    const QList<XmlNode> kids = a.childNodes();
    QCOMPARE(kids.size(), 3);
    QCOMPARE(kids[0].nodeName(), QStringLiteral("b"));
    QCOMPARE(kids[1].nodeType(), int(XmlNode::Text));
    QCOMPARE(kids[1].text(), QStringLiteral("\n    text\n    "));
    QCOMPARE(kids[2].nodeName(), QStringLiteral("c"));
    QCOMPARE(a.firstChild().nodeName(), QStringLiteral("b"));
    QCOMPARE(a.lastChild().nodeName(), QStringLiteral("c"));
    QCOMPARE(kids[0].nextSibling(), kids[1]);
    QCOMPARE(kids[2].previousSibling(), kids[1]);
    QCOMPARE(a.text(), QStringLiteral("text"));

    const XmlNode empty = uos.childNodes().at(1);
    QVERIFY(!empty.hasChildNodes());
    QVERIFY(!empty.firstChild());
    QVERIFY(!empty.lastChild());
    QVERIFY(empty.childNodes().isEmpty());
    QCOMPARE(empty.text(), QString());
    QVERIFY(uos.hasChildNodes());
    QCOMPARE(uos.childNodes().size(), 3);
    QCOMPARE(a.firstChild().parentNode(), a);

    // Whitespace nodes are not selected either, and the document keeps them for saving.
    QCOMPARE(doc.selectNodes(QStringLiteral("/uos/a/text()")).size(), 1);
    QCOMPARE(doc.selectNodes(QStringLiteral("/uos/node()")).size(), 3);
    QVERIFY(doc.toBytes().contains("<empty>  \n  </empty>"));
}

// Text that stands before an element's children is its first child whichever way it is
// reached first, and expressions see it as text too.
void TestXmlDocument::textBeforeChildrenIsTheFirstChild()
{
    const QByteArray source = "<uos><a>head &amp; <b>in</b>tail</a><n>x</n></uos>";
    auto fresh = [&] {
        auto doc = std::make_unique<XmlDocument>();
        doc->loadData(source);
        return doc;
    };
    auto a = [](const XmlDocument &doc) { return doc.documentElement().firstChild(); };

    auto doc = fresh();
    const XmlNode b = doc->selectSingleNode(QStringLiteral("/uos/a/b"));
    QCOMPARE(b.previousSibling().text(), QStringLiteral("head & "));
    QCOMPARE(b.previousSibling(), a(*doc).firstChild());
    QCOMPARE(b.previousSibling().nextSibling(), b);
    QCOMPARE(a(*doc).text(), QStringLiteral("head & intail"));

    doc = fresh();
    const XmlNode n = a(*doc).nextSibling();
    QVERIFY(n.hasChildNodes());
    QCOMPARE(n.lastChild().nodeType(), int(XmlNode::Text));
    QCOMPARE(n.lastChild(), n.firstChild());
    QCOMPARE(n.lastChild().parentNode(), n);

    doc = fresh();
    QCOMPARE(doc->selectNodes(QStringLiteral("/uos/a/text()")).size(), 2);
    doc = fresh();
    QVERIFY(doc->selectSingleNode(QStringLiteral("/uos[a = 'head & intail']")));
    doc = fresh();
    QCOMPARE(doc->selectNodes(QStringLiteral("//node()")).size(), 8);

    // Walked all over, the document still writes what it read; an edit of the text changes it
    // alone.
    doc = fresh();
    QCOMPARE(doc->selectNodes(QStringLiteral("//text()")).size(), 4);
    QCOMPARE(doc->toBytes(), source);
    QVERIFY(a(*doc).nextSibling().setText(QStringLiteral("y")));
    QCOMPARE(doc->toBytes(), QByteArray("<uos><a>head &amp; <b>in</b>tail</a><n>y</n></uos>"));
}

void TestXmlDocument::prologAndEpilogAreKept()
{
    const QByteArray source =
        "<?xml version=\"1.0\"?>\n<!DOCTYPE uos>\n<!-- before -->\n<?app data?>\n<uos/>\n<!-- after -->\n";
    XmlDocument doc;
    QVERIFY(doc.load(write(QStringLiteral("prolog.xml"), source)));
    const XmlNode document = doc.documentElement().parentNode();
    QCOMPARE(document.nodeType(), int(XmlNode::Document));
    QList<int> types;
    QStringList names;
    for (const XmlNode &n : document.childNodes()) {
        types << n.nodeType();
        names << n.nodeName();
    }
    QCOMPARE(types, (QList<int>{XmlNode::Declaration, XmlNode::DocType, XmlNode::Comment,
                                XmlNode::ProcessingInstruction, XmlNode::Element, XmlNode::Comment}));
    QCOMPARE(names, (QStringList{"xml", "uos", "#comment", "app", "uos", "#comment"}));
    QCOMPARE(document.firstChild().nextSibling().nextSibling().text(), QStringLiteral(" before "));
    QCOMPARE(doc.toBytes(), source);
    QVERIFY(doc.hasChildNodes());
}

void TestXmlDocument::textAndSetText()
{
    XmlDocument doc;
    QVERIFY(doc.loadXml(QStringLiteral(
        "<uos>\n  <v>\n    one <b>two</b><![CDATA[ <three> ]]>\n  </v>\n  <w>old<x/>more</w>\n  <y/>\n</uos>")));
    const XmlNode v = doc.selectSingleNode(QStringLiteral("/uos/v"));
    QCOMPARE(v.text(), QStringLiteral("one two <three>"));
    QCOMPARE(doc.documentElement().text(), QStringLiteral("one two <three> oldmore"));

    XmlNode w = doc.selectSingleNode(QStringLiteral("/uos/w"));
    const XmlNode x = w.childNodes().at(1);
    QVERIFY(w.setText(QStringLiteral("new & <value>")));
    QCOMPARE(w.childNodes().size(), 1);
    QCOMPARE(w.firstChild().nodeType(), int(XmlNode::Text));
    QCOMPARE(w.text(), QStringLiteral("new & <value>"));
    QCOMPARE(x.nodeName(), QStringLiteral("x")); // a removed child is still safe to use
    QVERIFY(!x.parentNode());
    QVERIFY(w.setText(QString()));
    QVERIFY(!w.hasChildNodes());
    QVERIFY(doc.selectSingleNode(QStringLiteral("/uos/y")).setText(QStringLiteral("filled")));
    QCOMPARE(doc.toBytes(),
             QByteArray(
                 "<uos>\n  <v>\n    one <b>two</b><![CDATA[ <three> ]]>\n  </v>\n  <w></w>\n  <y>filled</y>\n</uos>"));
    QVERIFY(!doc.selectSingleNode(QStringLiteral("//x"))); // parked nodes are not found
    QVERIFY(!XmlNode().setText(QStringLiteral("x")));
}

// ---------------------------------------------------------------------------------------
// Expressions and the instance index

void TestXmlDocument::predicateValues_data()
{
    QTest::addColumn<QString>("id");
    QTest::newRow("plain") << QStringLiteral("id1");
    QTest::newRow("double quote") << QStringLiteral("a\"b");
    QTest::newRow("apostrophe") << QStringLiteral("it's");
    QTest::newRow("both") << QStringLiteral("say \"it's\"");
    QTest::newRow("both, at the ends") << QStringLiteral("\"'x'\"");
    QTest::newRow("only quotes") << QStringLiteral("\"'\"");
    QTest::newRow("brackets") << QStringLiteral("a]b[c]");
    QTest::newRow("spaces") << QStringLiteral("  spaced id ");
    QTest::newRow("non-ASCII") << QStringLiteral("größe-中-€");
    QTest::newRow("looks like syntax") << QStringLiteral("x') or ('1'='1");
    QTest::newRow("concat text") << QStringLiteral("concat(\"a\", 'b')");
}

void TestXmlDocument::predicateValues()
{
    QFETCH(QString, id);
    QString escaped = id;
    escaped.replace(QLatin1String("&"), QLatin1String("&amp;"))
        .replace(QLatin1String("\""), QLatin1String("&quot;"))
        .replace(QLatin1String("<"), QLatin1String("&lt;"));
    XmlDocument doc;
    QVERIFY(doc.loadXml(QStringLiteral("<uos><aim><aim-instances><p id=\"other\"/><p id=\"") + escaped +
                        QStringLiteral("\" n=\"2\"/><q id=\"") + escaped +
                        QStringLiteral("\" n=\"3\"/></aim-instances></aim></uos>")));
    const QString xpath = QStringLiteral("/uos/*/aim-instances/*") + xpathPredicate(QStringLiteral("id"), id);
    const XmlNode found = doc.selectSingleNode(xpath);
    QVERIFY2(found, qPrintable(xpath + QStringLiteral(": ") + doc.errorString()));
    QCOMPARE(found.attributeNamed(QStringLiteral("n")).text(), QStringLiteral("2"));
    QCOMPARE(doc.selectNodes(xpath).size(), 2);
    QCOMPARE(doc.findInstance(id), found);
    // The literal alone evaluates to the value itself.
    QCOMPARE(
        doc.selectNodes(QStringLiteral("/uos/*/aim-instances/*[@id=") + xpathLiteral(id) + QLatin1Char(']')).size(), 2);
}

void TestXmlDocument::invalidExpressions_data()
{
    QTest::addColumn<QString>("xpath");
    QTest::newRow("unbalanced bracket") << QStringLiteral("/uos/*[@id=\"a]");
    QTest::newRow("quote in a quoted value") << QStringLiteral("/uos/*[@id=\"a\"b\"]");
    QTest::newRow("empty step") << QStringLiteral("/uos//[1]");
    QTest::newRow("not a node set") << QStringLiteral("count(/uos)");
    QTest::newRow("unknown function") << QStringLiteral("/uos[nosuch()]");
}

void TestXmlDocument::invalidExpressions()
{
    QFETCH(QString, xpath);
    XmlDocument doc;
    QVERIFY(doc.loadXml(QStringLiteral("<uos><a id=\"x\"/></uos>")));
    QVERIFY(doc.errorString().isEmpty());
    QVERIFY(!doc.selectSingleNode(xpath));
    QVERIFY(!doc.errorString().isEmpty());
    QVERIFY(doc.selectNodes(xpath).isEmpty());
    QVERIFY(!doc.documentElement().selectSingleNode(xpath));
    QVERIFY(doc.errorString().contains(xpath));
}

void TestXmlDocument::findInstanceIsExact()
{
    XmlDocument doc;
    const QString xml =
        QStringLiteral("<uos>\n"
                       "  <arm><PART id=\"id1\"/></arm>\n"
                       "  <aim>\n"
                       "    <aim-instances>\n"
                       "      <a id=\"id1\" n=\"1\"/>\n"
                       "      <b id=\"ID2\"/>\n"
                       "      <c id=\" id3\"/>\n"
                       "      <d id=\"id1\" n=\"2\"/>\n"
                       "      <e id=\"q&quot;uote\"/>\n"
                       "      <f id='apo&apos;s'/>\n"
                       "      <g other=\"id7\"/>\n"
                       "    </aim-instances>\n"
                       "    <nested><aim-instances><h id=\"deep\"/></aim-instances></nested>\n"
                       "  </aim>\n"
                       "  <more><aim-instances><i id=\"id9\"/><j id=\"id1\" n=\"3\"/></aim-instances></more>\n"
                       "</uos>\n");
    QVERIFY(doc.loadXml(xml));
    QCOMPARE(doc.findInstance(QStringLiteral("id1")).attributeNamed(QStringLiteral("n")).text(), QStringLiteral("1"));
    QCOMPARE(doc.findInstance(QStringLiteral("id1")).nodeName(), QStringLiteral("a"));
    QVERIFY(!doc.findInstance(QStringLiteral("ID1")));
    QVERIFY(!doc.findInstance(QStringLiteral("id2")));
    QCOMPARE(doc.findInstance(QStringLiteral("ID2")).nodeName(), QStringLiteral("b"));
    QVERIFY(!doc.findInstance(QStringLiteral("id3")));
    QCOMPARE(doc.findInstance(QStringLiteral(" id3")).nodeName(), QStringLiteral("c"));
    QCOMPARE(doc.findInstance(QStringLiteral("q\"uote")).nodeName(), QStringLiteral("e"));
    QCOMPARE(doc.findInstance(QStringLiteral("apo's")).nodeName(), QStringLiteral("f"));
    QCOMPARE(doc.findInstance(QStringLiteral("id9")).nodeName(), QStringLiteral("i"));
    QVERIFY(!doc.findInstance(QStringLiteral("deep"))); // not at /uos/*/aim-instances/*
    QVERIFY(!doc.findInstance(QStringLiteral("id7"))); // no id attribute
    QVERIFY(!doc.findInstance(QString()));
    QVERIFY(!doc.findInstance(QStringLiteral("nothing")));
    // The same answers as the path expression over all instances with a predicate on id.
    for (const char *id : {"id1", "ID2", " id3", "q\"uote", "apo's", "id9", "deep"}) {
        const XmlNode byPath = doc.selectSingleNode(QStringLiteral("/uos/*/aim-instances/*") +
                                                    xpathPredicate(QStringLiteral("id"), QString::fromUtf8(id)));
        QCOMPARE(doc.findInstance(QString::fromUtf8(id)), byPath); // through the index
        XmlDocument fresh; // the first lookups of a document walk the instances instead
        QVERIFY(fresh.loadXml(xml));
        QCOMPARE(firstAttributeText(fresh.findInstance(QString::fromUtf8(id))), firstAttributeText(byPath));
        QCOMPARE(fresh.findInstance(QString::fromUtf8(id)).nodeName(), byPath.nodeName());
        XmlDocument ahead; // or the load's worker did
        QVERIFY(ahead.loadWaiting(write(QStringLiteral("ahead.xml"), xml.toUtf8()), [](AsyncJob &job) { return job.wait(); },
                                  nullptr, {QString::fromUtf8(id)}));
        QCOMPARE(firstAttributeText(ahead.findInstance(QString::fromUtf8(id))), firstAttributeText(byPath));
        QCOMPARE(ahead.findInstance(QString::fromUtf8(id)).nodeName(), byPath.nodeName());
    }

    XmlDocument other;
    QVERIFY(other.loadXml(QStringLiteral("<root><aim><aim-instances><a id=\"id1\"/></aim-instances></aim></root>")));
    QVERIFY(!other.findInstance(QStringLiteral("id1"))); // the document element must be uos
    XmlDocument none;
    QVERIFY(!none.findInstance(QStringLiteral("id1")));
}

void TestXmlDocument::findInstanceIndexFollowsChanges_data()
{
    QTest::addColumn<QStringList>("lookedUpAhead");
    // How often each lookup is asked, with the events of 40 ms between asks: those fill the index.
    QTest::addColumn<int>("asks");
    QTest::newRow("read here") << QStringList() << 1;
    QTest::newRow("read here, indexed") << QStringList() << 3;
    QTest::newRow("looked up by the load's worker") << QStringList({"id1", "id2", "id3", "renamed"}) << 1;
}

void TestXmlDocument::findInstanceIndexFollowsChanges()
{
    QFETCH(QStringList, lookedUpAhead);
    QFETCH(int, asks);
    XmlDocument doc;
    bool sameAnswers = true; // the first and later asks of one lookup
    const auto find = [&](const char *id) {
        const XmlNode found = doc.findInstance(QString::fromLatin1(id));
        for (int i = 1; i < asks; ++i) {
            QTest::qWait(40); // a step of the index's filling
            sameAnswers = sameAnswers && doc.findInstance(QString::fromLatin1(id)) == found;
        }
        return found;
    };
    const QByteArray xml = "<uos xmlns=\"urn:x\"><aim><aim-instances><a id=\"id1\"><v>x</v></a><b id=\"id2\"/>"
                           "<c id=\"id3\"/></aim-instances></aim></uos>";
    if (lookedUpAhead.isEmpty())
        QVERIFY(doc.loadXml(QString::fromUtf8(xml)));
    else
        QVERIFY(doc.loadWaiting(write(QStringLiteral("ahead.xml"), xml), [](AsyncJob &job) { return job.wait(); },
                                nullptr, lookedUpAhead));
    XmlNode a = find("id1");
    QCOMPARE(a.nodeName(), QStringLiteral("a"));
    QCOMPARE(doc.instanceCount(), 3);

    // Values that are no ids: the instances are still told by their ids alone.
    QVERIFY(a.firstChild().setText(QStringLiteral("y")));
    QVERIFY(a.setAttribute(QStringLiteral("n"), QStringLiteral("id2")));
    QCOMPARE(find("id1"), a);
    QCOMPARE(find("id2").nodeName(), QStringLiteral("b"));
    QCOMPARE(doc.instanceCount(), 3);

    QVERIFY(a.setAttribute(QStringLiteral("id"), QStringLiteral("renamed")));
    QVERIFY(!find("id1"));
    QCOMPARE(find("renamed"), a);

    QVERIFY(a.attribute(0).setText(QStringLiteral("id1")));
    QCOMPARE(find("id1"), a);
    QVERIFY(!find("renamed"));

    XmlNode b = find("id2");
    QVERIFY(b.setAttribute(QStringLiteral("id"), QStringLiteral("id1"))); // a still comes first
    QCOMPARE(find("id1"), a);
    QVERIFY(!find("id2"));

    XmlNode fresh = doc.createElement(QStringLiteral("z"), QStringLiteral("urn:x"));
    QVERIFY(fresh.setAttribute(QStringLiteral("id"), QStringLiteral("id2")));
    QVERIFY(!find("id2")); // not in the tree yet
    const XmlNode placed = a.parentNode().replaceChild(fresh, find("id3"));
    QVERIFY(placed);
    QCOMPARE(find("id2"), placed);
    QVERIFY(!find("id3"));
    const XmlNode group = a.parentNode();
    QVERIFY(group.parentNode().replaceChild(doc.createElement(QStringLiteral("aim-instances"), QStringLiteral("urn:x")), group));
    QCOMPARE(doc.instanceCount(), 0);

    // A new load into the same object starts a new index.
    QVERIFY(doc.loadXml(QStringLiteral("<uos><aim><aim-instances><n id=\"id3\"/></aim-instances></aim></uos>")));
    QCOMPARE(find("id3").nodeName(), QStringLiteral("n"));
    QCOMPARE(doc.instanceCount(), 1);
    QVERIFY(!find("id1"));
    QVERIFY(sameAnswers);
}

// ---------------------------------------------------------------------------------------
// Loading: completion and failures

void TestXmlDocument::completionComesAfterLoadReturns()
{
    const QString path = write(QStringLiteral("c.xml"), usualDocument());
    XmlDocument doc;
    QCOMPARE(doc.readyState(), 0);
    QStringList order;
    connect(&doc, &XmlDocument::onreadystatechange, this,
            [&] { order << QStringLiteral("handler %1 %2").arg(doc.readyState()).arg(int(doc.hasChildNodes())); });
    QVERIFY(doc.load(path));
    order << QStringLiteral("returned %1").arg(doc.readyState());
    QVERIFY(doc.hasChildNodes()); // parsed before load returned
    QCOMPARE(doc.path(), path);
    settle();
    QCOMPARE(order, QStringList({"returned 1", "handler 4 1"}));

    // Two loads before the event loop runs: only the newest completes.
    order.clear();
    QVERIFY(doc.load(path));
    QVERIFY(doc.loadXml(QStringLiteral("<uos/>")));
    settle();
    QCOMPARE(order, QStringList({"handler 4 1"}));
    QCOMPARE(doc.documentElement().nodeName(), QStringLiteral("uos"));
    QVERIFY(!doc.documentElement().hasChildNodes());
}

void TestXmlDocument::failedLoadDeliversNothing()
{
    XmlDocument doc;
    QSignalSpy spy(&doc, &XmlDocument::onreadystatechange);
    QVERIFY(!doc.load(m_dir.filePath(QStringLiteral("missing.xml"))));
    QVERIFY(doc.errorString().contains(QStringLiteral("missing.xml")));
    settle();
    QCOMPARE(spy.count(), 0);
    QCOMPARE(doc.readyState(), 0);
    QVERIFY(!doc.hasChildNodes());

    QVERIFY(doc.load(write(QStringLiteral("ok.xml"), usualDocument())));
    settle();
    QCOMPARE(spy.count(), 1);
    QCOMPARE(doc.readyState(), 4);
    const XmlNode kept = doc.documentElement();

    QVERIFY(!doc.load(write(QStringLiteral("bad.xml"), "<uos><a></uos>")));
    settle();
    QCOMPARE(spy.count(), 1);
    QCOMPARE(doc.readyState(), 4);
    QVERIFY(!doc.hasChildNodes());
    QVERIFY(!doc.documentElement());
    QVERIFY(!doc.selectSingleNode(QStringLiteral("/uos")));
    QVERIFY(!kept.belongsTo(&doc));
    QCOMPARE(kept.nodeName(), QStringLiteral("uos"));

    // A successful load followed at once by a failed one: neither completes.
    QVERIFY(doc.load(m_dir.filePath(QStringLiteral("ok.xml"))));
    QVERIFY(!doc.load(m_dir.filePath(QStringLiteral("bad.xml"))));
    settle();
    QCOMPARE(spy.count(), 1);
    QVERIFY(!doc.hasChildNodes());

    // A directory cannot be read as a document.
    QVERIFY(!doc.load(m_dir.path()));
    QVERIFY(!doc.errorString().isEmpty());
}

void TestXmlDocument::deletedDocumentEmitsNothing()
{
    int calls = 0;
    auto *doc = new XmlDocument;
    connect(doc, &XmlDocument::onreadystatechange, this, [&calls] { ++calls; });
    QVERIFY(doc->loadXml(QStringLiteral("<uos/>")));
    delete doc;
    settle();
    QCOMPARE(calls, 0);

    QPointer<XmlDocument> later = new XmlDocument;
    connect(later, &XmlDocument::onreadystatechange, this, [&calls] { ++calls; });
    QVERIFY(later->loadXml(QStringLiteral("<uos/>")));
    later->deleteLater(); // posted after the completion: the completion still arrives first
    settle();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCOMPARE(calls, 1);
    QVERIFY(!later);
}

void TestXmlDocument::parseErrorsTellLineAndColumn_data()
{
    QTest::addColumn<QByteArray>("source");
    QTest::addColumn<int>("line");
    QTest::addColumn<int>("column");
    QTest::newRow("mismatched end tag") << QByteArray("<?xml version=\"1.0\"?>\n<uos>\n  <a>\n  </b>\n</uos>\n") << 4
                                        << 5;
    QTest::newRow("unclosed") << QByteArray("<uos>\n  <a>\n") << 3 << 1; // the end of the file
    QTest::newRow("bad attribute") << QByteArray("<uos>\n  <a x=1/>\n</uos>") << 2 << 8;
    QTest::newRow("CRLF, after non-ASCII")
        << QByteArray("<uos>\r\n  <n>\xC3\xA4\xC3\xB6</n><a\x01/>\r\n</uos>") << 2 << 14; // at the \x01
    QTest::newRow("two document elements") << QByteArray("<uos/>\n<uos/>\n") << 2 << 1;
    QTest::newRow("text after the document element") << QByteArray("<uos/>\nstray text\n") << 2 << 1;
    QTest::newRow("repeated attribute") << QByteArray("<uos>\n <a x=\"1\" x=\"2\"/>\n</uos>") << 2
                                        << 11; // the second x
    QTest::newRow("empty file") << QByteArray() << 1 << 1;
    QTest::newRow("UTF-16, mismatched") << QByteArray("\xFF\xFE") +
                                               encode(QStringLiteral("<uos>\n <a></b>\n</uos>"), "utf16le")
                                        << 2 << 7;
}

void TestXmlDocument::parseErrorsTellLineAndColumn()
{
    QFETCH(QByteArray, source);
    QFETCH(int, line);
    QFETCH(int, column);
    const QString path = write(QStringLiteral("broken.xml"), source);
    XmlDocument doc;
    QVERIFY(!doc.load(path));
    const QString e = doc.errorString();
    QVERIFY2(e.contains(QDir::toNativeSeparators(path)), qPrintable(e));
    QVERIFY2(e.contains(QStringLiteral("line %1, column %2").arg(line).arg(column)), qPrintable(e));
    QVERIFY(!doc.hasChildNodes());
    QVERIFY(!doc.save(path));
    QCOMPARE(readFile(path), source);
}

// ---------------------------------------------------------------------------------------
// Saving

void TestXmlDocument::saveFailureLeavesFileIntact_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("reason");
    QTest::newRow("missing folder") << QStringLiteral("missing folder")
                                    << QStringLiteral("/no/such/folder does not exist.");
    QTest::newRow("vanished folder") << QStringLiteral("vanished folder") << QStringLiteral("/gone does not exist.");
    QTest::newRow("target is a directory")
        << QStringLiteral("directory") << QStringLiteral("adir is not a regular file.");
}

void TestXmlDocument::saveFailureLeavesFileIntact()
{
    QFETCH(QString, kind);
    QFETCH(QString, reason);
    const QByteArray original = usualDocument();
    QTemporaryDir dir;
    XmlDocument doc;
    QString target;
    if (kind == QLatin1String("missing folder")) {
        QVERIFY(doc.load(write(QStringLiteral("s.xml"), original)));
        target = dir.filePath(QStringLiteral("no/such/folder/s.xml"));
    } else if (kind == QLatin1String("vanished folder")) {
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("gone")));
        target = dir.filePath(QStringLiteral("gone/s.xml"));
        QVERIFY(writeFile(target, original));
        QVERIFY(doc.load(target));
        QVERIFY(QDir(dir.filePath(QStringLiteral("gone"))).removeRecursively());
    } else if (kind == QLatin1String("directory")) {
        QVERIFY(doc.load(write(QStringLiteral("s.xml"), original)));
        target = dir.filePath(QStringLiteral("adir"));
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("adir")));
        QVERIFY(writeFile(target + QStringLiteral("/inside.xml"), original));
    }
    QVERIFY(doc.documentElement().firstChild().firstChild().setText(QStringLiteral("changed.xml")));
    const QStringList before = QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);

    QVERIFY(!doc.save(target));
    QVERIFY2(doc.errorString().contains(reason), qPrintable(doc.errorString()));
    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), before);
    if (kind == QLatin1String("directory"))
        QCOMPARE(readFile(target + QStringLiteral("/inside.xml")), original);
    // The document is unharmed and can still be saved elsewhere.
    const QString elsewhere = m_dir.filePath(QStringLiteral("elsewhere.xml"));
    QVERIFY(doc.save(elsewhere));
    QVERIFY(readFile(elsewhere).contains("<file_name>changed.xml</file_name>"));
}

void TestXmlDocument::saveWithoutDocumentWritesNothing()
{
    const QString target = m_dir.filePath(QStringLiteral("never.xml"));
    XmlDocument fresh;
    QVERIFY(!fresh.save(target));
    QVERIFY(!fresh.errorString().isEmpty());
    QVERIFY(!QFile::exists(target));
    QVERIFY(fresh.toBytes().isEmpty());

    XmlDocument failed;
    QVERIFY(!failed.loadXml(QStringLiteral("<uos>")));
    QVERIFY(!failed.save(target));
    QVERIFY(!QFile::exists(target));

    const QString existing = write(QStringLiteral("existing.xml"), "<keep/>\n");
    QVERIFY(!failed.save(existing));
    QCOMPARE(readFile(existing), QByteArray("<keep/>\n"));
}

void TestXmlDocument::documentReadForReadingIsNeverWritten()
{
    const QByteArray text = "<uos>\r\n<aim><aim-instances>\r\n<p id=\"i1\"><of><q ref=\"i1\"></q></of></p>\r\n"
                            "</aim-instances></aim></uos>\r\n";
    const QString file = write(QStringLiteral("for-reading.xml"), text);
    XmlDocument full, read;
    QVERIFY(full.load(file));
    QVERIFY(read.loadForReading(file));
    // The same tree, and the same lines.
    const XmlNode p = read.findInstance(QStringLiteral("i1"));
    QCOMPARE(p.nodeName(), QStringLiteral("p"));
    QCOMPARE(read.lineNumbers({p.ref()}), full.lineNumbers({full.findInstance(QStringLiteral("i1")).ref()}));
    QCOMPARE(read.sourceUtf8(), full.sourceUtf8());
    // Written the usual way, it would lose the style of the file: it is not written at all.
    const QString other = m_dir.filePath(QStringLiteral("written-after-reading.xml"));
    QVERIFY(!read.save(other));
    QVERIFY(!read.errorString().isEmpty());
    QVERIFY(!QFile::exists(other));
    QVERIFY(read.toBytes().isEmpty());
    QVERIFY(full.save(other));
    QCOMPARE(readFile(other), text);
    // A file that is not well-formed is refused alike.
    const QString bad = write(QStringLiteral("for-reading-bad.xml"), "<uos><a></b></uos>");
    QVERIFY(!read.loadForReading(bad));
    QVERIFY(!full.load(bad));
    QCOMPARE(read.errorString(), full.errorString());
}

// ---------------------------------------------------------------------------------------
// Lifetime and namespaces

void TestXmlDocument::handlesOutliveTheirDocumentObject()
{
    XmlNode instance, attr, text;
    const DocData *id = nullptr;
    {
        auto *doc = new XmlDocument;
        QVERIFY(doc->loadXml(QString::fromUtf8(usualDocument())));
        instance = doc->findInstance(QStringLiteral("id1"));
        attr = instance.attribute(0);
        text = instance.firstChild().firstChild();
        id = doc->documentId();
        QVERIFY(instance.belongsTo(doc));
        QCOMPARE(instance.documentId(), id);

        // A new load into the same object: the old handles keep the old document.
        QVERIFY(doc->loadXml(QStringLiteral("<uos/>")));
        QVERIFY(!instance.belongsTo(doc));
        QVERIFY(doc->documentId() != id);
        QVERIFY(doc->documentElement().belongsTo(doc));
        delete doc;
    }
    QCOMPARE(instance.documentId(), id);
    QCOMPARE(instance.nodeName(), QStringLiteral("product"));
    QCOMPARE(attr.text(), QStringLiteral("id1"));
    QCOMPARE(text.text(), QStringLiteral("Gear shaft"));
    QCOMPARE(instance.selectSingleNode(QStringLiteral("name")).text(), QStringLiteral("Gear shaft"));
    QCOMPARE(instance.parentNode().nodeName(), QStringLiteral("aim-instances"));
    QVERIFY(instance.setText(QStringLiteral("still writable")));
    QVERIFY(!instance.belongsTo(nullptr));

    XmlNode null;
    QVERIFY(null.isNull());
    QVERIFY(!null.firstChild());
    QCOMPARE(null.text(), QString());
    QCOMPARE(null.nodeType(), int(XmlNode::Null));
    QVERIFY(null.selectNodes(QStringLiteral("*")).isEmpty());
    QVERIFY(!null.replaceChild(instance, instance));
    QCOMPARE(null, XmlNode());
}

void TestXmlDocument::namespaces_data()
{
    QTest::addColumn<QString>("xpath");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("uri");
    QTest::newRow("default namespace") << "/uos"
                                       << "uos"
                                       << "urn:default";
    QTest::newRow("inherited default") << "/uos/a"
                                       << "a"
                                       << "urn:default";
    QTest::newRow("prefixed") << "/uos/p:b"
                              << "p:b"
                              << "urn:p";
    QTest::newRow("prefix declared on the element") << "/uos/q:c"
                                                    << "q:c"
                                                    << "urn:q";
    QTest::newRow("default undeclared") << "/uos/d"
                                        << "d"
                                        << "";
    QTest::newRow("inside undeclared") << "/uos/d/e"
                                       << "e"
                                       << "";
    QTest::newRow("default overridden") << "/uos/f/g"
                                        << "g"
                                        << "urn:other";
    QTest::newRow("prefix rebound") << "/uos/f/p:h"
                                    << "p:h"
                                    << "urn:p2";
    QTest::newRow("prefixed attribute") << "/uos/a/@p:x"
                                        << "p:x"
                                        << "urn:p";
    QTest::newRow("plain attribute") << "/uos/a/@y"
                                     << "y"
                                     << "";
    QTest::newRow("xml attribute") << "/uos/a/@xml:lang"
                                   << "xml:lang"
                                   << "http://www.w3.org/XML/1998/namespace";
}

void TestXmlDocument::namespaces()
{
    QFETCH(QString, xpath);
    QFETCH(QString, name);
    QFETCH(QString, uri);
    XmlDocument doc;
    QVERIFY(doc.loadXml(
        QStringLiteral("<uos xmlns=\"urn:default\" xmlns:p=\"urn:p\">"
                       "<a p:x=\"1\" y=\"2\" xml:lang=\"en\"/><p:b/><q:c xmlns:q=\"urn:q\"/><d xmlns=\"\"><e/></d>"
                       "<f xmlns=\"urn:other\" xmlns:p=\"urn:p2\"><g/><p:h/></f></uos>")));
    XmlNode n = doc.selectSingleNode(xpath);
    QVERIFY2(n, qPrintable(doc.errorString()));
    QCOMPARE(n.nodeName(), name);
    QCOMPARE(n.namespaceURI(), uri);
    // Names match case-sensitively and with their prefix.
    QVERIFY(!doc.selectSingleNode(xpath.toUpper()));
    // Declarations are attributes too (in no row: XPath does not select them).
    QCOMPARE(doc.documentElement().attributeNamed(QStringLiteral("xmlns:p")).namespaceURI(),
             QStringLiteral("http://www.w3.org/2000/xmlns/"));
    QCOMPARE(doc.documentElement().attributeCount(), 2);
}

void TestXmlDocument::replaceChildNamespace_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("uri");
    QTest::addColumn<QString>("written");
    QTest::newRow("same as inherited") << "product"
                                       << "urn:wren:test"
                                       << R"(<product ref="id9"/>)";
    QTest::newRow("no namespace under a default one") << "product"
                                                      << ""
                                                      << R"(<product ref="id9" xmlns=""/>)";
    QTest::newRow("another namespace") << "product"
                                       << "urn:else"
                                       << R"(<product ref="id9" xmlns="urn:else"/>)";
    QTest::newRow("bound prefix") << "w:product"
                                  << "urn:wren:test"
                                  << R"(<w:product ref="id9"/>)";
    QTest::newRow("prefix bound elsewhere") << "w:product"
                                            << "urn:else"
                                            << R"(<w:product ref="id9" xmlns:w="urn:else"/>)";
    QTest::newRow("unbound prefix") << "z:product"
                                    << "urn:z"
                                    << R"(<z:product ref="id9" xmlns:z="urn:z"/>)";
}

void TestXmlDocument::replaceChildNamespace()
{
    QFETCH(QString, name);
    QFETCH(QString, uri);
    QFETCH(QString, written);
    const QByteArray source =
        QByteArray(usualDocument())
            .replace("<uos xmlns=\"urn:wren:test\">", "<uos xmlns=\"urn:wren:test\" xmlns:w=\"urn:wren:test\">");
    XmlDocument doc;
    QVERIFY(doc.load(write(QStringLiteral("ns.xml"), source)));
    const QString nsOfUos = doc.selectSingleNode(QStringLiteral("/uos")).namespaceURI();
    QCOMPARE(nsOfUos, QStringLiteral("urn:wren:test"));

    XmlNode fresh = doc.createElement(name, uri);
    QVERIFY(fresh);
    QCOMPARE(fresh.namespaceURI(), uri);
    QVERIFY(!fresh.parentNode());
    QVERIFY(fresh.setAttribute(QStringLiteral("ref"), QStringLiteral("id9")));
    XmlNode located = doc.selectSingleNode(QStringLiteral("/uos/arm/PART/PART_NUMBER"));
    const XmlNode old = located.firstChild();
    const XmlNode placed = located.replaceChild(fresh, old);
    QVERIFY(placed);
    QVERIFY(placed.belongsTo(&doc));
    QCOMPARE(placed.nodeName(), name);
    QCOMPARE(placed.namespaceURI(), uri);
    QCOMPARE(placed.attribute(0).nodeName(), QStringLiteral("ref"));
    QCOMPARE(placed.attribute(0).text(), QStringLiteral("id9"));
    QCOMPARE(placed.parentNode(), located);
    QCOMPARE(located.firstChild(), placed);
    QCOMPARE(located.childNodes().size(), 1);
    // The old child has left the tree but its handle is safe.
    QVERIFY(!old.parentNode());
    QCOMPARE(old.attribute(0).text(), QStringLiteral("id1"));
    QVERIFY(!old.nextSibling());
    QVERIFY(!old.belongsTo(nullptr));

    // Only that line of the file changes.
    const QList<QByteArray> a = source.split('\n');
    const QList<QByteArray> b = doc.toBytes().split('\n');
    QCOMPARE(b.size(), a.size());
    QList<QByteArray> changed;
    for (qsizetype i = 0; i < a.size(); ++i)
        if (a[i] != b[i])
            changed << b[i].trimmed();
    QCOMPARE(changed, QList<QByteArray>{written.toUtf8()});

    // Saved and read again, the element is in the namespace it was made for.
    const QString path = m_dir.filePath(QStringLiteral("ns2.xml"));
    QVERIFY(doc.save(path));
    XmlDocument again;
    QVERIFY(again.load(path));
    QCOMPARE(again.selectSingleNode(QStringLiteral("/uos/arm/PART/PART_NUMBER/*")).namespaceURI(), uri);
}

void TestXmlDocument::replaceChildRefusesWhatDoesNotFit()
{
    XmlDocument doc;
    QVERIFY(doc.loadXml(QStringLiteral("<uos><a><r ref=\"id1\"/></a><b><s/></b></uos>")));
    XmlDocument other;
    QVERIFY(other.loadXml(QStringLiteral("<uos/>")));
    const QByteArray before = doc.toBytes();
    XmlNode a = doc.selectSingleNode(QStringLiteral("/uos/a"));
    const XmlNode r = a.firstChild();
    const XmlNode s = doc.selectSingleNode(QStringLiteral("/uos/b/s"));
    XmlNode made = doc.createElement(QStringLiteral("n"), QString());

    QVERIFY(!a.replaceChild(made, s)); // not a child of a
    QVERIFY(!a.replaceChild(made, a)); // not a child either
    QVERIFY(!a.replaceChild(other.createElement(QStringLiteral("n"), QString()), r)); // another document
    QVERIFY(!a.replaceChild(s, r)); // not made by createElement
    QVERIFY(!a.replaceChild(made, r.attribute(0))); // an attribute
    QVERIFY(!r.attribute(0).replaceChild(made, r));
    QVERIFY(!a.replaceChild(XmlNode(), r));
    QVERIFY(!made.replaceChild(made, r));
    QCOMPARE(doc.toBytes(), before);

    QVERIFY(!doc.createElement(QStringLiteral("1bad"), QString()));
    QVERIFY(!doc.createElement(QStringLiteral("a b"), QString()));
    QVERIFY(!doc.createElement(QString(), QString()));
    QVERIFY(!doc.createElement(QStringLiteral("p:"), QStringLiteral("urn:p")));
    QVERIFY(!doc.createElement(QStringLiteral("a:b:c"), QStringLiteral("urn:p")));
    QVERIFY(!doc.createElement(QStringLiteral("p:x"), QString())); // a prefix needs a namespace
    QVERIFY(doc.createElement(QStringLiteral("größe"), QString()));
    QVERIFY(!made.setAttribute(QStringLiteral("bad name"), QStringLiteral("v")));
    QCOMPARE(doc.toBytes(), before);

    // The document element can be replaced through the document node.
    const XmlNode root = doc.documentElement();
    const XmlNode newRoot = root.parentNode().replaceChild(doc.createElement(QStringLiteral("uos"), QString()), root);
    QVERIFY(newRoot);
    QCOMPARE(doc.documentElement(), newRoot);
    QCOMPARE(doc.toBytes(), QByteArray("<uos/>"));
    QCOMPARE(doc.selectNodes(QStringLiteral("//*")).size(), 1);
}

// ---------------------------------------------------------------------------------------
// Scale: set QUILLON_LARGE_TESTS=1 to load a 200 MB document of 1,000,000 instances.

void TestXmlDocument::largeDocument()
{
    const bool large = qEnvironmentVariableIntValue("QUILLON_LARGE_TESTS") != 0;
    const int count = large ? 1000000 : 20000;
    const QString path = m_dir.filePath(QStringLiteral("large.xml"));
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        QByteArray chunk;
        chunk +=
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<uos xmlns=\"urn:wren:test\">\n  <aim>\n    <aim-instances>\n";
        for (int i = 0; i < count; ++i) {
            chunk += "      <product id=\"id" + QByteArray::number(i) +
                     "\">\n"
                     "        <name>Product number " +
                     QByteArray::number(i) +
                     " with a longer descriptive name</name>\n"
                     "        <description>Part of the large test document, instance " +
                     QByteArray::number(i) +
                     ", padded to about two hundred bytes</description>\n"
                     "        <of_shape><shape ref=\"id" +
                     QByteArray::number((i + 1) % count) +
                     "\"/></of_shape>\n"
                     "      </product>\n";
            if (chunk.size() > (1 << 20)) {
                f.write(chunk);
                chunk.clear();
            }
        }
        chunk += "    </aim-instances>\n  </aim>\n</uos>\n";
        f.write(chunk);
    }
    QElapsedTimer t;
    t.start();
    XmlDocument doc;
    QVERIFY(doc.load(path));
    const qint64 loadMs = t.restart();
    QCOMPARE(doc.findInstance(QStringLiteral("id%1").arg(count - 1))
                 .selectSingleNode(QStringLiteral("of_shape/shape/@ref"))
                 .text(),
             QStringLiteral("id0"));
    const qint64 indexMs = t.restart();
    for (int i = 0; i < 1000; ++i)
        QVERIFY(doc.findInstance(QStringLiteral("id%1").arg((i * 7919) % count)));
    const qint64 lookupMs = t.restart();
    QCOMPARE(doc.toBytes().size(), QFileInfo(path).size());
    const qint64 saveMs = t.elapsed();
    qInfo("%d instances, %lld bytes: load %lld ms, first findInstance %lld ms, 1000 more %lld ms, serialise %lld ms",
          count, qint64(QFileInfo(path).size()), loadMs, indexMs, lookupMs, saveMs);
}

void TestXmlDocument::loadCountsWhatItReads_data()
{
    QTest::addColumn<QByteArray>("content"); // "-": no file; "?": no load at all
    QTest::addColumn<qint64>("total");
    QTest::addColumn<int>("percent");
    QTest::addColumn<QString>("text");
    // Every byte is counted once, the head and the rest; then the parse runs, well-formed or not.
    QByteArray doc = "<uos>" + QByteArray(2989, ' ') + "</uos>";
    QTest::newRow("read and parsed") << doc << qint64(3000) << 100 << "p.xml: parsing 2.9 kB";
    QTest::newRow("not well-formed") << QByteArray("<uos>") << qint64(5) << 100 << "p.xml: parsing 5 bytes";
    QTest::newRow("no such file") << QByteArray("-") << qint64(-1) << -1 << "p.xml: 0 bytes read";
    QTest::newRow("not begun") << QByteArray("?") << qint64(-1) << -1 << "p.xml: 0 bytes read";
}

void TestXmlDocument::loadCountsWhatItReads()
{
    QFETCH(QByteArray, content);
    QFETCH(qint64, total);
    QFETCH(int, percent);
    QFETCH(QString, text);
    const QLocale old;
    QLocale::setDefault(QLocale(QLocale::English));
    const QString path = content == "-" || content == "?" ? m_dir.filePath(QStringLiteral("p.xml"))
                                                          : write(QStringLiteral("p.xml"), content);
    if (content == "-")
        QFile::remove(path);
    auto progress = std::make_shared<LoadProgress>(path);
    if (content != "?") {
        XmlDocument doc;
        const auto wait = [](AsyncJob &job) { return job.wait(); };
        doc.loadWaiting(path, wait, progress);
    }
    const QString shown = progress->text();
    QLocale::setDefault(old);
    QCOMPARE(progress->totalBytes(), total);
    QCOMPARE(progress->bytesRead(), qMax<qint64>(total, 0));
    QCOMPARE(progress->percent(), percent);
    QCOMPARE(shown, text);
}

QTEST_GUILESS_MAIN(TestXmlDocument)
#include "tst_xmldocument.moc"
