// The well-formedness check (document/wellformed.h): verdicts and fault offsets for each kind
// of fault, deep nesting, the load path with line and column, the encoding refusals of the
// loader, and that every document the tests and samples use still opens.
#include "document/wellformed.h"
#include "document/xmldocument.h"

#include <QDirIterator>
#include <QTest>

using namespace quillon;

class TestWellFormed : public QObject {
    Q_OBJECT
private slots:
    void verdicts_data();
    void verdicts();
    void deepNesting();
    void loadTellsLineAndColumn_data();
    void loadTellsLineAndColumn();
    void encodings_data();
    void encodings();
    void testDocumentsStillOpen();
};

// Rows: the input, and where the fault is: the first occurrence of the marker in the input
// (offset 0 when the marker is "^"), or no marker when the input is well-formed.
void TestWellFormed::verdicts_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QByteArray>("faultAt");
    auto ok = [](const char *tag, const QByteArray &in) { QTest::newRow(tag) << in << QByteArray(); };
    auto bad = [](const char *tag, const QByteArray &in, const QByteArray &at) { QTest::newRow(tag) << in << at; };

    // UTF-8 and the Char production
    ok("multi-byte text and names", "<r\xC3\xA9 a=\"\xE4\xB8\xAD\">\xF0\x9F\x98\x80 \xC2\x85 \xEF\xB7\x90</r\xC3\xA9>");
    ok("BOM", "\xEF\xBB\xBF<a/>");
    bad("BOM, then no-break space", "\xEF\xBB\xBF\xC2\xA0<a/>", "\xC2");
    bad("Latin-1 byte", "<a>caf\xE9</a>", "\xE9");
    bad("overlong", "<a>x\xC0\xAF</a>", "\xC0");
    bad("overlong three bytes", "<a>\xE0\x80\xAF</a>", "\xE0");
    bad("surrogate", "<a>\xED\xA0\x80</a>", "\xED");
    bad("beyond U+10FFFF", "<a>\xF4\x90\x80\x80</a>", "\xF4");
    bad("truncated sequence at the end", "<a/>\xE4\xB8", "\xE4");
    bad("U+FFFE", "<a>\xEF\xBF\xBE</a>", "\xEF");
    bad("control in text", "<a>x\x0Cy</a>", "\x0C");
    bad("control in attribute", "<a b=\"\x01\"/>", "\x01");
    bad("control in comment", "<!--\x01--><a/>", "\x01");
    ok("tab CR LF everywhere", "<a b=\"\t\r\n\">\t\r\n<!--\t\r\n--></a>\r\n");
    bad("]]> in text", "<a>x]]>y</a>", "]]>");
    ok("]] in text", "<a>]]</a>");
    // XML declaration
    ok("full declaration", "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\" ?><a/>");
    ok("declaration: single quotes, CR", "<?xml\rversion='1.0'?><a/>");
    ok("version 1.1 (accepted like libxml2)", "<?xml version=\"1.1\"?><a/>");
    bad("version 2.0", "<?xml version=\"2.0\"?><a/>", "2.0");
    bad("version 10.0", "<?xml version=\"10.0\"?><a/>", "10.0");
    bad("no version", "<?xml encoding=\"UTF-8\"?><a/>", "encoding");
    bad("declaration not at the start", " <?xml version=\"1.0\"?><a/>", "<?xml");
    bad("declaration after the element", "<a/><?xml version=\"1.0\"?>", "<?xml");
    bad("standalone before encoding", "<?xml version=\"1.0\" standalone=\"yes\" encoding=\"UTF-8\"?><a/>", "encoding");
    bad("no space before encoding", "<?xml version=\"1.0\"encoding=\"UTF-8\"?><a/>", "encoding");
    bad("encoding name syntax", "<?xml version=\"1.0\" encoding=\"-x\"?><a/>", "-x");
    bad("encoding name with a control", "<?xMl version=\"1.0\" encoding=\"x\x18y\"?><a/>", "^");
    bad("standalone YES", "<?xml version=\"1.0\" standalone=\"YES\"?><a/>", "YES");
    bad("declaration not closed by ?>", "<?xml version=\"1.0\"?\n><a/>", "?\n>");
    // PIs
    ok("PIs", "<?xml-stylesheet href=\"a\"?><a><?pi x?y?><?empty?></a><?xmlfoo?>");
    bad("PI target XML", "<?XML version=\"1.0\"?><a/>", "^");
    bad("PI target xml inside", "<a><?xml x?></a>", "<?xml");
    bad("PI without space after the target", "<?pi\x01?><a/>", "\x01");
    bad("PI not terminated", "<a/><?pi x", "<?pi");
    // Comments and CDATA
    ok("comments", "<!----><a><!-- - --></a><!-- x -->");
    bad("-- in a comment", "<a><!-- a -- b --></a>", "-- b");
    bad("comment ending in -", "<a><!-- a ---></a>", "--->");
    bad("comment not terminated", "<a><!-- a</a>", "<!--");
    ok("CDATA", "<a><![CDATA[<b>&]]]]></a>");
    bad("CDATA not terminated", "<a><![CDATA[x</a>", "<![CDATA[");
    bad("CDATA outside the element", "<![CDATA[x]]><a/>", "^");
    // Names
    ok("5th edition name characters", "<\xE2\x81\xB0\xC2\xB7\xCC\x80 \xF3\xAF\xBF\xBF=\"\"/>");
    bad("combining mark first", "<\xCC\x80/>", "\xCC");
    bad("times sign in a name", "<a\xC3\x97/>", "\xC3");
    bad("digit first", "<1/>", "1");
    // Tags
    bad("end tag does not match", "<a><b></a></b>", "a></b>");
    bad("element not closed", "<a><b></b>", "");
    bad("space after </", "<a></ a>", " a>");
    ok("space before > of an end tag", "<a\n></a\n>");
    bad("space after / of an empty tag", "<a/ >", " >");
    bad("end tag at top", "<a/></a>", "</a>");
    // Attributes
    bad("repeated attribute (reported at the second)", "<a b=\"1\" c=\"\" b=\"2\"/>", "b=\"2\"");
    bad("repeated among many", "<a a0=\"\" a1=\"\" a2=\"\" a3=\"\" a4=\"\" a5=\"\" a6=\"\" a7=\"\" a8=\"\" a3=\"\"/>",
        "a3=\"\"/>");
    ok("different prefixes, same local name", "<a p:x=\"1\" q:x=\"2\"/>");
    bad("unquoted", "<a b=1/>", "1/>");
    bad("< in a value", "<a b=\"x<y\"/>", "<y");
    bad("value not terminated", "<a b=\"x/>", "\"x");
    bad("no space between attributes", "<a b=\"1\"c=\"2\"/>", "c=");
    ok("quotes inside values, >", "<a b='\"' c=\"'\" d=\">\"/>");
    bad("bare &", "<a b=\"x & y\"/>", " y\"");
    // References
    ok("character references", "<a b=\"&#60;\">&#9;&#x10FFFF;&#128512;&#00065;&#x0000041;</a>");
    bad("reference to a surrogate", "<a>&#xD800;</a>", "&#");
    bad("reference to NUL", "<a>&#0;</a>", "&#");
    bad("reference to U+FFFE", "<a>&#xFFFE;</a>", "&#");
    bad("beyond U+10FFFF", "<a>&#x110000;</a>", "&#");
    bad("huge number", "<a>&#99999999999999999999;</a>", "&#");
    bad("&#X (upper case)", "<a>&#X41;</a>", "&#");
    bad("&#x; without digits", "<a>&#x;</a>", "&#");
    ok("predefined entities", "<a b=\"&lt;&amp;\">&lt;&gt;&amp;&apos;&quot;</a>");
    bad("undeclared entity", "<a>&nbsp;</a>", "&nbsp;");
    bad("undeclared entity in an attribute", "<a b=\"&nbsp;\"/>", "&nbsp;");
    bad("no ;", "<a>&amp</a>", "</a");
    // Entities declared in the internal subset
    ok("declared entity", "<!DOCTYPE a [<!ENTITY e \"x\">]><a b=\"&e;\">&e;</a>");
    ok("entity with markup", "<!DOCTYPE a [<!ENTITY e \"<b>&f;</b>\"><!ENTITY f \"y\">]><a>&e;</a>");
    ok("first declaration binds", "<!DOCTYPE a [<!ENTITY e \"x\"><!ENTITY e \"<\">]><a>&e;</a>");
    ok("undeclared, external subset", "<!DOCTYPE a SYSTEM \"a.dtd\"><a b=\"&u;\">&u;</a>");
    bad("undeclared, external subset, standalone",
        "<?xml version=\"1.0\" standalone=\"yes\"?><!DOCTYPE a SYSTEM \"a.dtd\"><a>&u;</a>", "&u;");
    ok("undeclared after an internal PE reference", "<!DOCTYPE a [<!ENTITY % p \"<!ENTITY f 'y'>\"> %p;]><a>&u;</a>");
    bad("undeclared after an external PE reference", "<!DOCTYPE a [<!ENTITY % p SYSTEM \"p\"> %p;]><a>&u;</a>", "&u;");
    ok("entity declared by a PE", "<!DOCTYPE a [<!ENTITY % p \"<!ENTITY e '&#60;b/>'>\"> %p;]><a>&e;</a>");
    bad("undeclared PE", "<!DOCTYPE a [%p;]><a/>", "%p;");
    ok("undeclared PE, external subset", "<!DOCTYPE a SYSTEM \"a\" [%p;]><a>&u;</a>");
    bad("PE text is not a declaration", "<!DOCTYPE a [<!ENTITY % p \"x\"> %p;]><a/>", "%p;]");
    bad("entity refers to itself", "<!DOCTYPE a [<!ENTITY e \"&f;\"><!ENTITY f \"&e;\">]><a>&e;</a>", "&e;</a>");
    ok("unused loop", "<!DOCTYPE a [<!ENTITY e \"&e;\">]><a/>");
    bad("unbalanced entity", "<!DOCTYPE a [<!ENTITY e \"<b>\">]><a>&e;</a>", "&e;");
    bad("element split across entities", "<!DOCTYPE a [<!ENTITY e \"<b>\"><!ENTITY f \"</b>\">]><a>&e;&f;</a>", "&e;");
    bad("char reference makes markup", "<!DOCTYPE a [<!ENTITY e \"&#60;b>\">]><a>&e;</a>", "&e;");
    bad("]]> in entity text", "<!DOCTYPE a [<!ENTITY e \"x]]>\">]><a>&e;</a>", "&e;");
    bad("undeclared inside entity text", "<!DOCTYPE a [<!ENTITY e \"&u;\">]><a>&e;</a>", "&e;");
    bad("< via an entity in an attribute", "<!DOCTYPE a [<!ENTITY e \"&f;\"><!ENTITY f \"<\">]><a b=\"&e;\"/>", "&e;");
    ok("< in an entity used only in content", "<!DOCTYPE a [<!ENTITY e \"<b/>\">]><a>&e;</a>");
    ok("external entity in content", "<!DOCTYPE a [<!ENTITY e SYSTEM \"e.xml\">]><a>&e;</a>");
    bad("external entity in an attribute", "<!DOCTYPE a [<!ENTITY e SYSTEM \"e.xml\">]><a b=\"&e;\"/>", "&e;");
    bad("unparsed entity in content",
        "<!DOCTYPE a [<!NOTATION n SYSTEM \"n\"><!ENTITY e SYSTEM \"e\" NDATA n>]><a>&e;</a>", "&e;");
    bad("& alone in an entity value", "<!DOCTYPE a [<!ENTITY e \"a & b\">]><a/>", " b\"");
    bad("PE reference in an entity value", "<!DOCTYPE a [<!ENTITY e \"%p;\">]><a/>", "%p;");
    bad("bad char reference in an entity value", "<!DOCTYPE a [<!ENTITY e \"&#0;\">]><a/>", "&#0;");
    // Document structure
    bad("empty", "", "^");
    bad("only whitespace", " \n", "");
    bad("two elements", "<a/><b/>", "<b/>");
    bad("text after the element", "<a/>x", "x");
    bad("reference after the element", "<a/>&amp;", "&amp;");
    ok("comments, PIs and space after the element", "<a/><!-- c --><?p?> \n");
    bad("DOCTYPE after the element", "<a/><!DOCTYPE a>", "<!DOCTYPE");
    bad("two DOCTYPEs", "<!DOCTYPE a><!DOCTYPE a><a/>", "<!DOCTYPE a><a/>");
    // DOCTYPE and the internal subset
    ok("internal subset",
       "<!DOCTYPE a PUBLIC \"-//x//EN\" 'a.dtd' [ <!-- c --> <?p x?>\n"
       "<!ELEMENT a (b | (c, d?)+)*> <!ELEMENT b (#PCDATA | c)*> <!ELEMENT c EMPTY> <!ELEMENT d ANY>\n"
       "<!ELEMENT e (#PCDATA)> <!ATTLIST a i ID #IMPLIED k (x | y.z) \"x\" n NOTATION (g) #REQUIRED f CDATA #FIXED "
       "'&lt;'>\n"
       "<!NOTATION g PUBLIC \"g\"> <!NOTATION h SYSTEM \"h\"> <!ENTITY x PUBLIC \"p\" \"s\"> ] ><a/>");
    bad("entity value not terminated", "<!DOCTYPE a [<!ENTITY e \"x>]><a/>", "\"x>");
    bad("declaration not closed", "<!DOCTYPE a [<!ENTITY e \"x\"]><a/>", "]>");
    bad("unknown declaration", "<!DOCTYPE a [<!FOO>]><a/>", "<!FOO");
    bad("text in the subset", "<!DOCTYPE a [ x ]><a/>", "x ]");
    bad("conditional section", "<!DOCTYPE a [<![INCLUDE[ ]]>]><a/>", "<![");
    bad(", and | in one group", "<!DOCTYPE a [<!ELEMENT a (b,c|d)>]><a/>", "|d");
    bad("empty group", "<!DOCTYPE a [<!ELEMENT a ()>]><a/>", ")>");
    bad("mixed content without *", "<!DOCTYPE a [<!ELEMENT a (#PCDATA|b)>]><a/>", ">]");
    bad("unknown attribute type", "<!DOCTYPE a [<!ATTLIST a b STRING #IMPLIED>]><a/>", "STRING");
    bad("< in a default value", "<!DOCTYPE a [<!ATTLIST a b CDATA \"<\">]><a/>", "<\"");
    bad("undeclared entity in a default value", "<!DOCTYPE a [<!ATTLIST a b CDATA \"&u;\">]><a/>", "&u;");
    bad("#FIXED without a value", "<!DOCTYPE a [<!ATTLIST a b ID #FIXED>]><a/>", ">]");
    bad("no space after SYSTEM", "<!DOCTYPE a SYSTEM\"x\"><a/>", "\"x\"");
    bad("bad public id character", "<!DOCTYPE a PUBLIC \"{x\" \"y\"><a/>", "{");
    bad("public id without system literal", "<!DOCTYPE a PUBLIC \"x\"><a/>", "><a");
    bad("NDATA on a parameter entity", "<!DOCTYPE a [<!ENTITY % e SYSTEM \"s\" NDATA n>]><a/>", "NDATA");
    bad("subset not terminated", "<!DOCTYPE a [<!ELEMENT a ANY>", "");
}

void TestWellFormed::verdicts()
{
    QFETCH(QByteArray, input);
    QFETCH(QByteArray, faultAt);
    WellFormedError error;
    const bool ok = checkWellFormed(std::string_view(input.constData(), size_t(input.size())), &error);
    const bool expectOk = faultAt.isNull();
    QVERIFY2(ok == expectOk, ok ? "accepted" : qPrintable(QString::fromStdString(error.message)));
    if (expectOk)
        return;
    QVERIFY(!error.message.empty());
    const qsizetype expected = faultAt == "^" ? 0 : faultAt.isEmpty() ? input.size() : input.indexOf(faultAt);
    QVERIFY(expected >= 0);
    QCOMPARE(qsizetype(error.offset), expected);
}

void TestWellFormed::deepNesting()
{
    const int depth = 100000;
    QByteArray doc = QByteArray("<a>").repeated(depth) + "x" + QByteArray("</a>").repeated(depth);
    WellFormedError error;
    QVERIFY2(checkWellFormed(std::string_view(doc.constData(), size_t(doc.size())), &error), error.message.c_str());

    // One end tag short: the fault is at the end; one renamed deep inside: at that tag.
    const QByteArray shortDoc = doc.left(doc.size() - 4);
    QVERIFY(!checkWellFormed(std::string_view(shortDoc.constData(), size_t(shortDoc.size())), &error));
    QCOMPARE(error.offset, size_t(shortDoc.size()));
    const qsizetype at = 3 * depth + 1 + 4 * 5000;
    doc[at + 2] = 'b';
    QVERIFY(!checkWellFormed(std::string_view(doc.constData(), size_t(doc.size())), &error));
    QCOMPARE(error.offset, size_t(at + 2));
}

void TestWellFormed::loadTellsLineAndColumn_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("expected");
    QTest::newRow("Latin-1 labelled UTF-8")
        << QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<uos>\n  <a>caf\xE9</a>\n</uos>\n")
        << QStringLiteral("line 3, column 9");
    QTest::newRow("control character after non-ASCII, CRLF")
        << QByteArray("<uos>\r\n  <n>\xC3\xA4\xC3\xB6\x02</n>\r\n</uos>") << QStringLiteral("line 2, column 8");
    QTest::newRow("upper-case XML declaration")
        << QByteArray("<?XML version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<uos><a>caf\xC3\xA9</a></uos>\n")
        << QStringLiteral("line 1, column 1");
    QTest::newRow("undeclared entity") << QByteArray("<uos>\n  <a>x &nbsp; y</a>\n</uos>\n")
                                       << QStringLiteral("line 2, column 8");
    QTest::newRow("unterminated attribute") << QByteArray("<uos>\n  <a b=\"x/>\n  <c/>\n</uos>\n")
                                            << QStringLiteral("line 3, column 3"); // the '<' inside it
    QTest::newRow("broken internal subset")
        << QByteArray("<?xml version=\"1.0\"?>\r\n<!DOCTYPE uos [\r\n<!ENTITY e \"x\">\r\n<!FOO>\r\n]>\r\n<uos/>\r\n")
        << QStringLiteral("line 4, column 1");
    QTest::newRow("unbalanced entity, reported at its use")
        << QByteArray("<!DOCTYPE uos [\n<!ENTITY e \"<b>\">\n]>\n<uos>\n <a>&e;</a>\n</uos>\n")
        << QStringLiteral("line 5, column 5");
}

void TestWellFormed::loadTellsLineAndColumn()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, expected);
    XmlDocument doc;
    QVERIFY(!doc.loadData(bytes, QStringLiteral("case.xml")));
    const QString e = doc.errorString();
    QVERIFY2(e.startsWith(QStringLiteral("case.xml: ")), qPrintable(e));
    QVERIFY2(e.endsWith(QStringLiteral(" at ") + expected), qPrintable(e));
    QVERIFY(!doc.hasChildNodes());
}

void TestWellFormed::encodings_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("opens");
    QTest::addColumn<QString>("reason"); // part of the message when refused
    auto utf16le = [](const char *ascii) {
        QByteArray out;
        for (const char *p = ascii; *p; ++p)
            out.append(*p).append('\0');
        return out;
    };
    const QByteArray decl16 = utf16le("<?xml version=\"1.0\" encoding=\"UTF-16\"?>");
    QTest::newRow("UTF-16LE, BOM, surrogate pair")
        << "\xFF\xFE" + decl16 + utf16le("<uos>") + QByteArray("\x3D\xD8\x00\xDE", 4) + utf16le("</uos>") << true
        << QString();
    QTest::newRow("UTF-16LE without BOM") << decl16 + utf16le("<uos/>") << true << QString();
    QTest::newRow("UTF-16LE, unpaired high surrogate")
        << "\xFF\xFE" + decl16 + utf16le("<uos>") + QByteArray("\x3D\xD8", 2) + utf16le("</uos>") << false
        << QStringLiteral("unpaired surrogate");
    QTest::newRow("UTF-16LE, lone low surrogate")
        << "\xFF\xFE" + decl16 + utf16le("<uos>") + QByteArray("\x00\xDE", 2) + utf16le("</uos>") << false
        << QStringLiteral("unpaired surrogate");
    QTest::newRow("UTF-16 without BOM or declaration") << utf16le("<uos/>") << false << QString();
    QTest::newRow("labelled UTF-16, single bytes")
        << QByteArray("<?xml version=\"1.0\" encoding=\"UTF-16\"?>\n<uos/>\n") << false << QStringLiteral("UTF-16");
    QTest::newRow("UTF-8 BOM labelled UTF-16")
        << QByteArray("\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"utf-16\"?>\n<uos/>\n") << false
        << QStringLiteral("UTF-16");
    QTest::newRow("unknown encoding, ASCII bytes")
        << QByteArray("<?xml version=\"1.0\" encoding=\"x-no-such-charset\"?>\n<uos/>\n") << false
        << QStringLiteral("\"x-no-such-charset\" is not supported");
    QTest::newRow("US-ASCII with a high byte")
        << QByteArray("<?xml version=\"1.0\" encoding=\"US-ASCII\"?>\n<uos>\xE9</uos>\n") << false
        << QStringLiteral("us-ascii");
    QTest::newRow("ISO-8859-1 alias latin1")
        << QByteArray("<?xml version=\"1.0\" encoding=\"latin1\"?>\n<uos>\xE9</uos>\n") << true << QString();
    QTest::newRow("windows-1252") << QByteArray("<?xml version=\"1.0\" encoding=\"windows-1252\"?>\n<uos>\x80</uos>\n")
                                  << true << QString();
    QTest::newRow("Shift_JIS") << QByteArray("<?xml version=\"1.0\" encoding=\"shift_jis\"?>\n<uos>\x95\x5C</uos>\n")
                               << true << QString();
    QTest::newRow("Shift_JIS, a lead byte without its second")
        << QByteArray("<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>\n<uos>\x95</uos>\n") << false
        << QStringLiteral("\"shift_jis\" is not supported or the file does not match it (byte 48)");
    QTest::newRow("ISO-2022-JP switches character sets")
        << QByteArray("<?xml version=\"1.0\" encoding=\"ISO-2022-JP\"?>\n<uos>\x1B$B$\"\x1B(B</uos>\n") << false
        << QStringLiteral("\"iso-2022-jp\" is not supported: it switches between character sets");
    QTest::newRow("UTF-7 switches too") << QByteArray("<?xml version=\"1.0\" encoding=\"UTF-7\"?>\n<uos>+AOk-</uos>\n")
                                        << false << QStringLiteral("it switches between character sets");
    QTest::newRow("labelled UCS-2, single bytes")
        << QByteArray("<?xml version=\"1.0\" encoding=\"UCS-2\"?>\n<uos/>\n") << false
        << QStringLiteral("the declaration says UCS-2 but the file is written in single bytes");
    QTest::newRow("CP932: two byte pairs for one character")
        << QByteArray("<?xml version=\"1.0\" encoding=\"CP932\"?>\n<uos>\xED\x40\xFA\x5C</uos>\n") << false
        << QStringLiteral("the bytes at 44 stand for a character that CP932 writes otherwise");
    QTest::newRow("UTF8 alias") << QByteArray("<?xml version=\"1.0\" encoding=\"UTF8\"?>\n<uos>\xC3\xA9</uos>\n")
                                << true << QString();
}

void TestWellFormed::encodings()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, opens);
    QFETCH(QString, reason);
    XmlDocument doc;
    const bool loaded = doc.loadData(bytes);
    QVERIFY2(loaded == opens, qPrintable(doc.errorString()));
    if (!opens)
        QVERIFY2(doc.errorString().contains(reason), qPrintable(doc.errorString()));
}

void TestWellFormed::testDocumentsStillOpen()
{
    QStringList files;
    for (QDirIterator it(QStringLiteral(TEST_DATA_DIR), {QStringLiteral("*.xml")}, QDir::Files,
                         QDirIterator::Subdirectories);
         it.hasNext();)
        files << it.next();
    for (QDirIterator it(QStringLiteral(SAMPLES_DIR), {QStringLiteral("*.xml")}, QDir::Files); it.hasNext();)
        files << it.next();
    QVERIFY(files.size() >= 10);
    for (const QString &path : files) {
        XmlDocument doc;
        QVERIFY2(doc.load(path), qPrintable(doc.errorString()));
    }
}

QTEST_GUILESS_MAIN(TestWellFormed)
#include "tst_wellformed.moc"
