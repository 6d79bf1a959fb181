// The host's entry points (quillon.h): the factory, the control's calls by name and the header
// that lists them, Check References and the export of the graph for the command line.
#include "api/quillon.h"
#include "document/savefault_p.h"
#include "refs/refcheck.h"
#include "widgets/ctrlxmleditor.h"
#include "testsupport.h"

#include <QImage>
#include <QMetaMethod>
#include <QRegularExpression>
#include <QTest>
#include <QXmlStreamReader>

#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

using namespace quillon;
using namespace testsupport;

namespace {

// The entries of a folder by name, with their types.
QMap<QString, QString> entries(const QString &folder)
{
    QMap<QString, QString> out;
    for (const QFileInfo &f :
         QDir(folder).entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot))
        out.insert(f.fileName(), f.isSymLink() ? QStringLiteral("link to ") + f.symLinkTarget()
                                 : f.isDir()   ? QStringLiteral("folder")
                                               : QStringLiteral("file"));
    return out;
}

} // namespace

class TestHostApi : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_path; // graph/a.xml, which refers into graph/b.xml

private slots:
    void initTestCase()
    {
        m_path = copyData(m_dir, {QStringLiteral("graph/a.xml"), QStringLiteral("graph/b.xml")});
    }
    void createdByItsProgrammaticIdentifierOnly();
    void callableByName();
    void hostHeaderListsTheMetaObject();
    void checkReferencesPrintsTheReport();

    void exportWritesSvg()
    {
        QTemporaryDir dir;
        const QString out = dir.filePath(QStringLiteral("g.svg"));
        QCOMPARE(QuillonExportGraph(m_path.toUtf8().constData(), "id1", 2, out.toUtf8().constData()), 0);
        QFile f(out);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QXmlStreamReader xml(&f);
        QStringList texts;
        int rects = 0;
        bool svgRoot = false;
        while (!xml.atEnd()) {
            if (xml.readNext() != QXmlStreamReader::StartElement)
                continue;
            if (xml.name() == QLatin1String("svg"))
                svgRoot = true;
            if (xml.name() == QLatin1String("text"))
                texts << xml.readElementText(QXmlStreamReader::IncludeChildElements).trimmed();
            if (xml.name() == QLatin1String("rect") || xml.name() == QLatin1String("path"))
                ++rects;
        }
        QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
        QVERIFY(svgRoot);
        QVERIFY(rects > 10);
        for (const char *want : {"product", "id1", "missing: id99", "b.xml#id21", "relating product"})
            QVERIFY2(texts.contains(QLatin1String(want)), want);

        const QString png = dir.filePath(QStringLiteral("g.png"));
        QCOMPARE(QuillonExportGraph(m_path.toUtf8().constData(), "id1", 1, png.toUtf8().constData()), 0);
        QImage image(png);
        QVERIFY(image.width() > 100 && image.height() > 50);
    }

    void exportFailures()
    {
        QTemporaryDir dir;
        const QByteArray out = dir.filePath(QStringLiteral("g.svg")).toUtf8();
        QVERIFY(QuillonExportGraph(dir.filePath(QStringLiteral("none.xml")).toUtf8().constData(), "id1", 1, out) != 0);
        QVERIFY(QuillonExportGraph(m_path.toUtf8().constData(), "id404", 1, out) != 0);
        QVERIFY(QuillonExportGraph(m_path.toUtf8().constData(), "id1", 1,
                                   dir.filePath(QStringLiteral("no/such/g.svg")).toUtf8().constData()) != 0);
        QVERIFY(!QFile::exists(QString::fromUtf8(out)));
    }

    void svgIsWellFormedForAnyNameAndId_data()
    {
        QTest::addColumn<QByteArray>("name"); // of the document
        QTest::addColumn<QByteArray>("id"); // as the document writes it
        QTest::addColumn<QString>("title"); // as the SVG's <title> must read
        QTest::newRow("script in the id") << QByteArray("g.xml") << QByteArray("&lt;/title>&lt;script>x()&lt;/script>")
                                          << QStringLiteral("g.xml#</title><script>x()</script>");
        QTest::newRow("& and ]]> in the name")
            << QByteArray("a&b]]>.xml") << QByteArray("i]]>&amp;") << QStringLiteral("a&b]]>.xml#i]]>&");
        QTest::newRow("quotes") << QByteArray("q\"'.xml") << QByteArray("&quot;'") << QStringLiteral("q\"'.xml#\"'");
        QTest::newRow("line break and tab in the id")
            << QByteArray("n.xml") << QByteArray("a&#10;b&#9;c") << QStringLiteral("n.xml#a\nb\tc");
        QTest::newRow("control characters in the name")
            << QByteArray("c\x01\x1b.xml") << QByteArray("id1") << QStringLiteral("c\uFFFD\uFFFD.xml#id1");
    }

    void svgIsWellFormedForAnyNameAndId()
    {
        QFETCH(QByteArray, name);
        QFETCH(QByteArray, id);
        QFETCH(QString, title);
        QTemporaryDir dir;
        const QString path = dir.filePath(QFile::decodeName(name)), out = dir.filePath(QStringLiteral("g.svg"));
        testsupport::writeAll(path, "<uos><aim><aim-instances><p id=\"" + id +
                                        "\"><name>n</name></p><q id=\"q1\"><uses><p ref=\"" + id +
                                        "\"/></uses></q></aim-instances></aim></uos>");
        const QByteArray centre = title.mid(title.indexOf(QLatin1Char('#')) + 1).toUtf8();
        QCOMPARE(
            QuillonExportGraph(QFile::encodeName(path).constData(), centre.constData(), 1, out.toUtf8().constData()),
            0);
        QFile f(out);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QXmlStreamReader xml(&f);
        QStringList elements;
        QString read;
        while (xml.readNext() != QXmlStreamReader::Invalid && !xml.atEnd())
            if (xml.isStartElement()) {
                elements << xml.name().toString();
                if (xml.name() == QLatin1String("title"))
                    read = xml.readElementText();
            }
        QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
        QCOMPARE(read, title);
        QVERIFY(!elements.contains(QLatin1String("script")));
        QVERIFY(elements.count(QLatin1String("text")) >= 2);
    }

    // The picture of --out is written as documents are: special files are refused, a failed
    // write keeps the picture there was.
    void pictureIsWrittenAsADocument_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("exitCode");
        for (const char *kind : {"pipe", "/dev/full", "folder", "full disk"})
            QTest::newRow(kind) << QString::fromLatin1(kind) << 3;
        QTest::newRow("link to a picture") << QStringLiteral("link") << 0;
    }

    void pictureIsWrittenAsADocument()
    {
        QFETCH(QString, kind);
        QFETCH(int, exitCode);
        QTemporaryDir dir;
        const QString picture = dir.filePath(QStringLiteral("g.png"));
        testsupport::writeAll(picture, "an older picture");
        QString out = dir.filePath(QStringLiteral("out.png"));
        if (kind == QLatin1String("pipe"))
            QCOMPARE(::mkfifo(QFile::encodeName(out).constData(), 0600), 0);
        else if (kind == QLatin1String("/dev/full"))
            out = kind;
        else if (kind == QLatin1String("folder"))
            QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("out.png")));
        else if (kind == QLatin1String("link"))
            QVERIFY(QFile::link(QStringLiteral("g.png"), out));
        else
            out = picture;
        const QMap<QString, QString> before = entries(dir.path());
        g_saveFailAfterBytes = kind == QLatin1String("full disk") ? 100 : -1;
        const int code = QuillonExportGraph(m_path.toUtf8().constData(), "id1", 1, out.toUtf8().constData());
        g_saveFailAfterBytes = -1;
        QCOMPARE(code, exitCode);
        QCOMPARE(entries(dir.path()), before); // no temporary left, the link a link
        QCOMPARE(testsupport::readAll(picture).startsWith("\x89PNG"), exitCode == 0);
    }
};

void TestHostApi::createdByItsProgrammaticIdentifierOnly()
{
    QWidget *w = QuillonCreateControl("Quillon.CtrlXMLEditor", nullptr);
    QVERIFY(qobject_cast<CtrlXMLEditor *>(w));
    delete w;
    QVERIFY(!QuillonCreateControl("Quillon.Other", nullptr));
    QVERIFY(!QuillonCreateControl(nullptr, nullptr));
}

void TestHostApi::callableByName()
{
    ControlFixture f({QStringLiteral("nav/main.xml"), QStringLiteral("nav/other.xml")}, QSize(800, 600));
    QWidget *w = f.ctrl;
    bool ok = false;
    QVERIFY(QMetaObject::invokeMethod(w, "LoadProfile", Q_RETURN_ARG(bool, ok),
                                      Q_ARG(QString, f.path(QStringLiteral("main.xml")))));
    QVERIFY(ok);
    settle();
    QCOMPARE(w->property("FileName").toString(), f.path(QStringLiteral("main.xml")));
    QVERIFY(QMetaObject::invokeMethod(w, "SaveProfile", Q_RETURN_ARG(bool, ok)));
    QVERIFY(ok);
    QVERIFY(QMetaObject::invokeMethod(w, "SaveItemChanges", Q_ARG(bool, false)));
    QCOMPARE(w->property("IsEditing").toBool(), false);
    QVERIFY(w->setProperty("ViewMode", 1));
    QCOMPARE(w->property("ViewMode").toInt(), 1);
    QCOMPARE(w->property("LastError").toString(), QString());
    QVERIFY(QMetaObject::invokeMethod(w, "SaveProfileAs", Q_RETURN_ARG(bool, ok),
                                      Q_ARG(QString, f.path(QStringLiteral("copy.xml")))));
    QVERIFY(ok);
    QCOMPARE(w->property("FileName").toString(), f.path(QStringLiteral("copy.xml")));
    QCOMPARE(f.w<QLabel>("lblAddress")->text(), f.path(QStringLiteral("copy.xml")));
}

// The methods and properties quillon.h documents and those of the control's meta-object, as
// "bool LoadProfile(QString)" and "bool Modified read notify ModifiedChanged(bool)": each
// side must list what the other has.
void TestHostApi::hostHeaderListsTheMetaObject()
{
    QFile header(QStringLiteral(QUILLON_HOST_HEADER));
    QVERIFY2(header.open(QIODevice::ReadOnly | QIODevice::Text), qPrintable(header.fileName()));
    const QString text = QString::fromUtf8(header.readAll());
    const QRegularExpression methodLine(QStringLiteral("^//     (\\S+) (\\w+)\\(([^)]*)\\)"));
    const QRegularExpression propertyLine(QStringLiteral("^//     (\\S+) (\\w+) \\(([^)]*\\)?)\\)"));
    const auto normalized = [](const QString &type) {
        const QMetaType t = QMetaType::fromName(type.toLatin1());
        return t.isValid() ? QString::fromLatin1(t.name()) : type;
    };
    QStringList documented;
    QString section;
    for (const QString &line : text.split(QLatin1Char('\n'))) {
        if (line.startsWith(QLatin1String("//   ")) && !line.startsWith(QLatin1String("//    ")))
            section = line.mid(5);
        if (const auto m = methodLine.match(line); m.hasMatch() && section.startsWith(QLatin1String("Methods"))) {
            QStringList types;
            for (const QString &p : m.captured(3).split(QLatin1Char(','), Qt::SkipEmptyParts))
                types << normalized(p.trimmed().section(QLatin1Char(' '), 0, 0));
            documented << QStringLiteral("%1 %2(%3)")
                              .arg(normalized(m.captured(1)), m.captured(2), types.join(QLatin1Char(',')));
        } else if (const auto p = propertyLine.match(line); p.hasMatch() && section == QLatin1String("Properties")) {
            documented << QStringLiteral("%1 %2 %3")
                              .arg(normalized(p.captured(1)), p.captured(2), p.captured(3).remove(QLatin1Char(',')));
        }
    }
    QStringList offered;
    const QMetaObject &mo = CtrlXMLEditor::staticMetaObject;
    for (int i = mo.methodOffset(); i < mo.methodCount(); ++i) {
        const QMetaMethod m = mo.method(i);
        if (m.access() == QMetaMethod::Public && m.methodType() != QMetaMethod::Signal)
            offered << QStringLiteral("%1 %2").arg(QLatin1String(m.typeName()), QLatin1String(m.methodSignature()));
    }
    for (int i = mo.propertyOffset(); i < mo.propertyCount(); ++i) {
        const QMetaProperty p = mo.property(i);
        QString access = QStringLiteral("read");
        if (p.isWritable())
            access += QLatin1String(" write");
        if (p.hasNotifySignal())
            access += QLatin1String(" notify ") + QLatin1String(p.notifySignal().methodSignature());
        offered << QStringLiteral("%1 %2 %3").arg(QLatin1String(p.typeName()), QLatin1String(p.name()), access);
    }
    QStringList notInHeader, notInControl;
    for (const QString &o : std::as_const(offered))
        if (!documented.contains(o))
            notInHeader << o;
    for (const QString &d : std::as_const(documented))
        if (!offered.contains(d))
            notInControl << d;
    QVERIFY2(notInHeader.isEmpty(), qPrintable(QStringLiteral("not in quillon.h: ") + notInHeader.join(u"; ")));
    QVERIFY2(notInControl.isEmpty(), qPrintable(QStringLiteral("not in the control: ") + notInControl.join(u"; ")));
    QCOMPARE(documented.size(), offered.size()); // none listed twice
}

void TestHostApi::checkReferencesPrintsTheReport()
{
    QTemporaryDir dir;
    const QString bad = copyData(dir, {QStringLiteral("refs/check/bad.xml"), QStringLiteral("refs/check/good.xml")});
    const QString good = dir.filePath(QStringLiteral("good.xml")), out = dir.filePath(QStringLiteral("out.txt"));
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
    // What the report of the same files says (JSON Lines), the entry point printed.
    std::FILE *report = std::tmpfile();
    QCOMPARE(writeReferenceReport({bad, good}, true, report), 1);
    std::rewind(report);
    QByteArray expected;
    char buf[4096];
    for (size_t n; (n = std::fread(buf, 1, sizeof buf, report)) > 0;)
        expected.append(buf, qsizetype(n));
    std::fclose(report);
    QVERIFY(expected.count('\n') > 1);
    QCOMPARE(readAll(out), expected);
}

QTEST_MAIN(TestHostApi)
#include "tst_hostapi.moc"
