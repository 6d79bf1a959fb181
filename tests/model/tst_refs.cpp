// Reference values, document names and folders, and the back history.
#include "model/refs.h"

#include <QDir>
#include <QTest>

using namespace quillon;

class TestRefs : public QObject {
    Q_OBJECT
private slots:
    void splitting();
    void hrefsSplitInPlaceAsPiecesDo_data();
    void hrefsSplitInPlaceAsPiecesDo();
    void sameDocumentValues_data();
    void sameDocumentValues();
    void folders_data();
    void folders();
    void documentNamesCompareAsTheFileSystemDoes();
    void documentPartsAreWrittenRelative_data();
    void documentPartsAreWrittenRelative();
    void historyIsABackStack();
};

void TestRefs::splitting()
{
    const RefPieces p(QStringLiteral("b.xml#id7"));
    QCOMPARE(p.piece(0), QStringLiteral("b.xml"));
    QCOMPARE(p.piece(1), QStringLiteral("id7"));
    QCOMPARE(p.piece(2), QString());
    const RefPieces picker(QStringLiteral("/m/b.xml#Product_X#id9#extra"));
    QCOMPARE(picker.piece(1), QStringLiteral("Product_X"));
    QCOMPARE(picker.piece(2), QStringLiteral("id9"));
    QCOMPARE(RefPieces(QStringLiteral("id3")).piece(1), QString());
    QCOMPARE(RefPieces(QString()).piece(0), QString());
    QCOMPARE(RefPieces(QStringLiteral("#id3")).piece(1), QStringLiteral("id3"));
}

void TestRefs::hrefsSplitInPlaceAsPiecesDo_data()
{
    QTest::addColumn<QString>("value");
    QTest::newRow("file and id") << "b.xml#id7";
    QTest::newRow("this document") << "#id3";
    QTest::newRow("no id") << "b.xml#";
    QTest::newRow("picker form") << "/m/b.xml#Product_X#id9";
    QTest::newRow("no hash") << "id3";
    QTest::newRow("non-ASCII") << "Bauteil\u00e4.xml#id\u00df1";
}

void TestRefs::hrefsSplitInPlaceAsPiecesDo()
{
    QFETCH(QString, value);
    const QByteArray utf8 = value.toUtf8();
    std::string_view part, id;
    const bool split = splitHref(std::string_view(utf8.constData(), size_t(utf8.size())), part, id);
    const RefPieces pieces(value);
    QCOMPARE(split, pieces.count() > 1);
    if (split) {
        QCOMPARE(QString::fromUtf8(part.data(), qsizetype(part.size())), pieces.piece(0));
        QCOMPARE(QString::fromUtf8(id.data(), qsizetype(id.size())), pieces.piece(1));
    }
}

void TestRefs::sameDocumentValues_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<bool>("same");
    QTest::newRow("lower") << "id12" << true;
    QTest::newRow("upper") << "ID12" << true;
    QTest::newRow("mixed") << "iD7" << true;
    QTest::newRow("other document") << "x.xml#id12" << false;
    QTest::newRow("document beginning with id") << "idx.xml#id3" << false;
    QTest::newRow("not an id") << "p7" << false;
}

void TestRefs::sameDocumentValues()
{
    QFETCH(QString, value);
    QFETCH(bool, same);
    QCOMPARE(isSameDocumentRefValue(value), same);
}

void TestRefs::folders_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("file");
    QTest::newRow("backslashes") << "C:\\data\\main.xml"
                                 << "C:\\data"
                                 << "main.xml";
    QTest::newRow("slashes") << "a/b/c.xml"
                             << "a/b"
                             << "c.xml";
    QTest::newRow("backslash wins") << "C:\\x/y.xml"
                                    << "C:"
                                    << "x/y.xml";
    QTest::newRow("bare") << "main.xml"
                          << ""
                          << "main.xml";
    QTest::newRow("root") << "/main.xml"
                          << ""
                          << "main.xml";
}

void TestRefs::folders()
{
    QFETCH(QString, path);
    QFETCH(QString, folder);
    QFETCH(QString, file);
    QCOMPARE(FolderOf(path), folder);
    QCOMPARE(FileNameOf(path), file);
}

void TestRefs::documentNamesCompareAsTheFileSystemDoes()
{
    QVERIFY(sameDocument(QStringLiteral("/m/a.xml"), QStringLiteral("/m/a.xml")));
    QVERIFY(!sameDocument(QStringLiteral("/m/a.xml"), QStringLiteral("a.xml")));
#if defined(Q_OS_LINUX)
    QVERIFY(!sameDocument(QStringLiteral("/m/a.xml"), QStringLiteral("/M/A.XML")));
#else
    QVERIFY(sameDocument(QStringLiteral("/m/a.xml"), QStringLiteral("/M/A.XML")));
#endif
}

void TestRefs::documentPartsAreWrittenRelative_data()
{
    QTest::addColumn<QString>("holder");
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("part");
    const auto row = [](const char *name, const char *holder, const char *target, const char *part) {
        QTest::newRow(name) << QString::fromUtf8(holder) << QString::fromUtf8(target) << QString::fromUtf8(part);
    };
    row("same folder", "/d/m/a.xml", "/d/m/b.xml", "b.xml");
    row("below", "/d/m/a.xml", "/d/m/sub/mat.xml", "sub/mat.xml");
    row("above", "/d/m/a.xml", "/d/up.xml", "../up.xml");
    row("beside", "/d/m/a.xml", "/d/n/b.xml", "../n/b.xml");
    row("unclean target", "/d/m/a.xml", "/d/m/./x/../b.xml", "b.xml");
    row("only the root shared", "/d/m/a.xml", "/e/b.xml", "/e/b.xml");
    row("both at the root", "/a.xml", "/b.xml", "b.xml");
}

void TestRefs::documentPartsAreWrittenRelative()
{
    QFETCH(QString, holder);
    QFETCH(QString, target);
    QFETCH(QString, part);
    QCOMPARE(documentPartFor(holder, target), part);
    // Read back in the holder's folder, the part names the target.
    QCOMPARE(resolveDocumentPart(holder, part), QDir::cleanPath(target));
}

void TestRefs::historyIsABackStack()
{
    History h;
    QVERIFY(h.isEmpty());
    h.record(QStringLiteral("a#1"));
    h.record(QStringLiteral("a#2"));
    h.record(QStringLiteral("b#3"));
    h.stepBack();
    h.stepBack();
    QCOMPARE(h.current(), QStringLiteral("a#1"));
    QCOMPARE(h.entries().size(), 3); // used entries stay above the position until a new one
    h.record(QStringLiteral("c#4"));
    QCOMPARE(h.entries(), (QStringList{QStringLiteral("a#1"), QStringLiteral("c#4")}));
    QCOMPARE(h.position(), 1);
    h.stepBack();
    h.stepBack();
    QVERIFY(h.isEmpty());
    h.stepBack();
    QCOMPARE(h.position(), -1);
}

QTEST_APPLESS_MAIN(TestRefs)
#include "tst_refs.moc"
