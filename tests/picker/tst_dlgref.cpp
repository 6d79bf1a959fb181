// The instance picker: its row store and filter, its model, and the dialog driven offscreen.

#include "picker/dlgref.h"
#include "picker/instancelistmodel.h"
#include "model/layout.h"
#include "testsupport.h"
#include "document/instancescan.h"
#include "document/xmldocument.h"

#include <QAbstractItemModelTester>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTableView>
#include <QWindow>

using namespace quillon;
using Act = std::function<void(dlgRef *)>;

namespace {

QString dataFile(const QString &name)
{
    return QStringLiteral(TEST_DATA_DIR "/picker/") + name;
}

// The rows of data/picker/instances.xml, in document order.
std::vector<PickerRow> sampleRows()
{
    return {{"Product", "id1"},           {"Product_definition_formation", "id2"},
            {"Shape_representation", ""}, {"Named_item", "first"},
            {"Product", "id5"},           {"Next_assembly_usage_occurrence", "idX9"}};
}

template <typename T = QWidget> T *child(QObject *d, const char *name)
{
    T *w = d->findChild<T *>(QString::fromLatin1(name));
    if (!w)
        qFatal("no child %s", name);
    return w;
}
QTableView *list(dlgRef *d)
{
    return child<QTableView>(d, "lstInstances");
}
QPushButton *button(dlgRef *d, const char *name)
{
    return child<QPushButton>(d, name);
}
QLineEdit *filterBox(dlgRef *d)
{
    return child<QLineEdit>(d, "txtFilter");
}
int rowCount(dlgRef *d)
{
    return list(d)->model()->rowCount();
}

void selectRow(dlgRef *d, int row)
{
    list(d)->selectionModel()->setCurrentIndex(list(d)->model()->index(row, 0),
                                               QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}
void choose(dlgRef *d, int row)
{
    selectRow(d, row);
    button(d, "OKButton")->click();
}

bool waitLoaded(dlgRef *d)
{
    return QTest::qWaitFor([d] { return button(d, "cmdLoad")->isEnabled(); }, 10000);
}
bool load(dlgRef *d, const QString &address)
{
    d->txtAddress()->setText(address);
    d->LoadInstances();
    return waitLoaded(d);
}

// Runs the dialog as the "Edit Link..." command does; once it is shown with its list filled,
// act answers it. A dialog that act left open is cancelled.
QString runPicker(dlgRef *d, const QString &address, Act act, const QString &relativeTo = QString(),
                  const XmlDocument *shown = nullptr)
{
    QPointer<dlgRef> guard(d);
    QTimer::singleShot(0, d, [guard, act] {
        const bool shown = QTest::qWaitFor([guard] { return guard && guard->isVisible(); }, 10000);
        if (shown && waitLoaded(guard))
            act(guard);
        if (guard && guard->isVisible()) {
            qWarning("dialog left open; cancelling");
            guard->reject();
        }
    });
    return d->chooseFrom(address, relativeTo, shown);
}

} // namespace

class TestDlgRef : public QObject {
    Q_OBJECT
private slots:
    void rowsOfDocument();
    void streamedRows_data();
    void streamedRows();
    void rowsKeepTheirIdsAcrossTexts_data();
    void rowsKeepTheirIdsAcrossTexts();
    void filterRows_data();
    void filterRows();
    void modelFilterNarrowsAndWidens();
    void modelPassesTester();
    void modelRevealsRowsInSteps_data();
    void modelRevealsRowsInSteps();

    void captionSizeAndChildren();
    void choice_data();
    void choice();
    void secondUseReloadsCallersAddress();
    void reloadsAndFailures();
    void cancelAndCloseReturnNothing();
    void readsFileOnlyWhenChanged_data();
    void readsFileOnlyWhenChanged();
    void listsCallersDocumentWhenItHoldsFile_data();
    void listsCallersDocumentWhenItHoldsFile();
    void leavingAbandonsRead_data();
    void leavingAbandonsRead();
    void closeBoxDestroysDialog();
    void filterBoxAndOkState();
    void keyboard_data();
    void keyboard();
    void adjustColumnsFillsList();
    void browse();
    void largeDocument();

private:
    QWidget m_owner;
};

void TestDlgRef::rowsOfDocument()
{
    XmlDocument doc, none;
    QVERIFY(doc.load(dataFile("instances.xml")));
    QCOMPARE(instanceRowsOf(doc.documentElement()).toVector(), sampleRows());
    QVERIFY(none.load(dataFile("noinstances.xml")));
    QVERIFY(instanceRowsOf(none.documentElement()).empty());
    // Ids beyond ASCII, between ASCII ones.
    XmlDocument wide;
    QVERIFY(wide.loadXml(QStringLiteral("<uos><s><aim-instances><a id='x1'/><Größe id='é–𝄞'/><a id='x3'/>"
                                        "</aim-instances></s></uos>")));
    QCOMPARE(instanceRowsOf(wide.documentElement()).toVector(),
             (std::vector<PickerRow>{{"a", "x1"}, {QStringLiteral("Größe"), QStringLiteral("é–𝄞")}, {"a", "x3"}}));
}

void TestDlgRef::streamedRows_data()
{
    // The rows a file read in one pass gives (scanInstances) are those of the document a load
    // makes of it; what cannot be read so is declined, what is malformed fails as a load does.
    QTest::addColumn<QByteArray>("xml");
    QTest::addColumn<int>("outcome"); // InstanceScan
    QTest::addColumn<int>("rows"); // how many the document gives
    const int read = int(InstanceScan::Read), declined = int(InstanceScan::Declined),
              failed = int(InstanceScan::Failed);
    QTest::newRow("sections, groups, content")
        << QByteArray("<uos><A><aim-instances><p id='1'/><q id='2'>text<r id='nested'/></q>\n</aim-instances>"
                      "<aim-instances><p id='3'></p></aim-instances></A><B/><B>t<aim-instances><s "
                      "id='4'/></aim-instances></B></uos>")
        << read << 4;
    QTest::newRow("groups at the wrong depth")
        << QByteArray(
               "<uos><aim-instances><x id='1'/></aim-instances><A><B><aim-instances><y id='2'/></aim-instances></B>"
               "<aim-instances><z id='3'/></aim-instances></A><aim-instances/></uos>")
        << read << 1;
    QTest::newRow("root not uos") << QByteArray("<uos2><A><aim-instances><x id='1'/></aim-instances></A></uos2>")
                                  << read << 0;
    QTest::newRow("markup in comments, CDATA, PIs")
        << QByteArray(
               "<!-- <uos><A><aim-instances><c id='0'/> --><?pi <uos>?><uos><A><!-- <aim-instances><x id='c'/> -->"
               "<aim-instances><?pi <y id='p'/>?><![CDATA[<z id='d'/>]]><p id='1'/><!----></aim-instances></A></uos>")
        << read << 1;
    QTest::newRow("first attribute, none")
        << QByteArray("<uos><A><aim-instances><p name=\"n\" id='i'/><q/><r></r><s\n  ref = 'v' /><t a='x>y' b='z'/>"
                      "</aim-instances></A></uos>")
        << read << 5;
    QTest::newRow("references")
        << QByteArray("<uos><A><aim-instances><p id='&lt;&gt;&amp;&apos;&quot;b&#65;&#x42;&#x1D11E;&#233;'/>"
                      "<p id=\"say 'hi' &quot;\"/><p id='&amp;lt;'/></aim-instances></A></uos>")
        << read << 3;
    QTest::newRow("tab, CR, LF, CR LF") << QByteArray(
                                               "<uos>\r\n<A><aim-instances>\r<p id='a\tb\nc\r\nd\re\r\n\r\n f'/>\r\n"
                                               "<p id='&#9;&#10;&#13;x&#13;&#10;'/></aim-instances></A></uos>\r\n")
                                        << read << 2;
    QTest::newRow("beyond ASCII")
        << QByteArray("<uos><Teil><aim-instances><Gr\xC3\xB6\xC3\x9F\x65 id='\xC3\xA9\xE2\x80\x93\xF0\x9D\x84\x9E'/>"
                      "<\xE6\x97\xA5 \xE5\x90\x8D='\xE5\x80\xA4'/><a id='x'/></aim-instances></Teil></uos>")
        << read << 3;
    QTest::newRow("BOM and declaration")
        << QByteArray(
               "\xEF\xBB\xBF<?xml version='1.0' encoding='UTF-8'?>\n<uos><A><aim-instances><p id='1'/></aim-instances>"
               "</A></uos>\n")
        << read << 1;
    QTest::newRow("DOCTYPE: declined")
        << QByteArray(
               "<!DOCTYPE uos [<!ENTITY e 'x y'>]><uos><A><aim-instances><p id='&e;'/><q/></aim-instances></A></uos>")
        << declined << 2;
    QTest::newRow("a value of 9 MiB")
        << "<uos><A><aim-instances><p id='" + QByteArray(9 << 20, 'x') + "'/></aim-instances></A></uos>" << read << 1;
    QTest::newRow("Latin-1: declined") << QByteArray(
                                              "<?xml version='1.0' encoding='ISO-8859-1'?><uos><A><aim-instances><p "
                                              "id='\xE9'/></aim-instances></A></uos>")
                                       << declined << 1;
    QTest::newRow("not closed: fails") << QByteArray("<uos><A><aim-instances><p id='1'></aim-instances></A></uos>")
                                       << failed << -1;
    QTest::newRow("not UTF-8: fails") << QByteArray("<uos><A><aim-instances><p id='\xE9'/></aim-instances></A></uos>")
                                      << failed << -1;
    QTest::newRow("undeclared entity: fails")
        << QByteArray("<uos><A><aim-instances><p id='&e;'/></aim-instances></A></uos>") << failed << -1;
}

void TestDlgRef::streamedRows()
{
    QFETCH(QByteArray, xml);
    QFETCH(int, outcome);
    QFETCH(int, rows);
    QTemporaryDir tmp;
    const QString path = tmp.filePath("doc.xml");
    testsupport::writeAll(path, xml);
    PickerRowsBuilder streamed;
    FileState state;
    QString error;
    QCOMPARE(int(scanInstances(path, streamed, state, error)), outcome);
    XmlDocument doc;
    QVERIFY2(doc.load(path) == (outcome != int(InstanceScan::Failed)), qPrintable(doc.errorString()));
    if (outcome == int(InstanceScan::Failed)) {
        QVERIFY(!error.isEmpty());
        return;
    }
    const PickerRows fromDocument = instanceRowsOf(doc.documentElement());
    QCOMPARE(fromDocument.size(), rows);
    if (outcome == int(InstanceScan::Read)) {
        QCOMPARE(streamed.take().toVector(), fromDocument.toVector());
        QVERIFY(state == FileState::of(path));
    }
}

void TestDlgRef::rowsKeepTheirIdsAcrossTexts_data()
{
    // The ids are kept in texts of 4 Ki characters and more: many ids fill several; an id beyond
    // ASCII is decoded again where the text ran full; an id longer than any text gets its own.
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("length");
    QTest::addColumn<int>("wideEvery"); // every so many ids one beyond ASCII; 0: none
    QTest::newRow("ASCII, many texts") << 3000 << 61 << 0;
    QTest::newRow("beyond ASCII at the ends of texts") << 3000 << 61 << 3;
    QTest::newRow("one longer than a text") << 3 << (1 << 20) + 5 << 2;
}

void TestDlgRef::rowsKeepTheirIdsAcrossTexts()
{
    QFETCH(int, count);
    QFETCH(int, length);
    QFETCH(int, wideEvery);
    std::vector<PickerRow> expected;
    QByteArray xml = "<uos><s><aim-instances>";
    for (int i = 0; i < count; ++i) {
        const bool wide = wideEvery && i % wideEvery == wideEvery - 1;
        QString id = QString::number(i).rightJustified(length, wide ? QChar(0xe9) : QLatin1Char('x'));
        expected.push_back({QStringLiteral("p"), id});
        xml += "<p id=\"" + id.toUtf8() + "\"/>";
    }
    XmlDocument doc;
    QVERIFY(doc.loadXml(QString::fromUtf8(xml + "</aim-instances></s></uos>")));
    QVERIFY(instanceRowsOf(doc.documentElement()).toVector() == expected);
    QVERIFY(PickerRows(expected).toVector() == expected);
}

void TestDlgRef::filterRows_data()
{
    QTest::addColumn<QString>("needle");
    QTest::addColumn<std::vector<int>>("expected");
    QTest::newRow("empty keeps all") << QString() << std::vector<int>{0, 1, 2, 3, 4, 5};
    QTest::newRow("type, other case") << "PRODUCT" << std::vector<int>{0, 1, 4};
    QTest::newRow("id, other case") << "x9" << std::vector<int>{5};
    QTest::newRow("type or id") << "Id" << std::vector<int>{0, 1, 4, 5};
    QTest::newRow("underscore") << "d_it" << std::vector<int>{3};
    QTest::newRow("nothing") << "zzz" << std::vector<int>{};
}

void TestDlgRef::filterRows()
{
    QFETCH(QString, needle);
    QFETCH(std::vector<int>, expected);
    QCOMPARE(filterInstanceRows(sampleRows(), needle), expected);
}

void TestDlgRef::modelFilterNarrowsAndWidens()
{
    InstanceListModel model;
    model.setRows(sampleRows());
    model.setFilterText("pro");
    QCOMPARE(model.rowCount(), 3);
    model.setFilterText("proDuct_");
    QCOMPARE(model.rowCount(), 1);
    QCOMPARE(model.index(0, 0).data().toString(), QStringLiteral("Product_definition_formation"));
    QCOMPARE(model.sourceRow(0), 1);
    QCOMPARE(model.shownRow(1), 0);
    QCOMPARE(model.shownRow(0), -1);
    model.setFilterText("i"); // shorter: all rows are looked at again
    QCOMPARE(model.rowCount(), 6);
    model.setRows({{"A", "1"}, {"B", "xI"}}); // the filter applies to new rows
    QCOMPARE(model.rowCount(), 1);
    QCOMPARE(model.index(0, 1).data().toString(), QStringLiteral("xI"));
    model.setFilterText(QString());
    QCOMPARE(model.rowCount(), 2);
    QVERIFY(!model.rowAt(2));
    QCOMPARE(model.headerData(0, Qt::Horizontal).toString(), QStringLiteral("Type"));
    QCOMPARE(model.headerData(1, Qt::Horizontal).toString(), QStringLiteral("ID"));
}

void TestDlgRef::modelPassesTester()
{
    InstanceListModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    model.setRows(sampleRows());
    for (const char *text : {"product", "product_", "", "zzz"})
        model.setFilterText(text);
    model.clear();
    model.setRows(sampleRows());
}

void TestDlgRef::modelRevealsRowsInSteps_data()
{
    QTest::addColumn<int>("step"); // rows a view gets at a time
    QTest::addColumn<QString>("filter"); // set at once after the rows
    QTest::addColumn<int>("upTo"); // revealUpTo at once after that, -1 for none
    QTest::addColumn<int>("atOnce"); // rows before the window's events
    QTest::addColumn<int>("insertions"); // insertions afterwards
    QTest::addColumn<QString>("ids"); // the ids of the rows at the end, in order
    QTest::newRow("all at once") << 7 << "" << -1 << 7 << 0 << "1234567";
    QTest::newRow("in steps") << 3 << "" << -1 << 3 << 2 << "1234567";
    QTest::newRow("filtered in steps") << 2 << "a" << -1 << 2 << 2 << "134567";
    QTest::newRow("filtered to fewer meanwhile") << 3 << "2" << -1 << 1 << 0 << "2";
    QTest::newRow("a row far down at once") << 3 << "" << 5 << 6 << 1 << "1234567";
    QTest::newRow("past the end") << 3 << "" << 99 << 7 << 0 << "1234567";
}

void TestDlgRef::modelRevealsRowsInSteps()
{
    QFETCH(int, step);
    QFETCH(QString, filter);
    QFETCH(int, upTo);
    QFETCH(int, atOnce);
    QFETCH(int, insertions);
    QFETCH(QString, ids);
    InstanceListModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    model.setRevealStep(step);
    // Of type "a" but the second.
    model.setRows({{"a", "1"}, {"b", "2"}, {"a", "3"}, {"a", "4"}, {"a", "5"}, {"a", "6"}, {"a", "7"}});
    model.setFilterText(filter);
    if (upTo >= 0)
        model.revealUpTo(upTo);
    QCOMPARE(model.rowCount(), atOnce);
    QVERIFY(!model.index(atOnce, 0).isValid());
    QCOMPARE(model.sourceRow(atOnce), -1);
    int inserted = 0;
    connect(&model, &QAbstractItemModel::rowsInserted, this, [&] { ++inserted; });
    QTest::qWait(20);
    QCOMPARE(inserted, insertions);
    QString shown;
    for (int r = 0; r < model.rowCount(); ++r)
        shown += model.index(r, 1).data().toString();
    QCOMPARE(shown, ids);
}

void TestDlgRef::captionSizeAndChildren()
{
    dlgRef d(&m_owner);
    const auto px = [&](int twips) { return layout::twipsToPixels(twips, d.logicalDpiX()); };
    const auto py = [&](int twips) { return layout::twipsToPixels(twips, d.logicalDpiY()); };
    QCOMPARE(d.windowTitle(), QStringLiteral("Select Instance"));
    QCOMPARE(d.size(), QSize(px(7080), py(4170)));
    QCOMPARE(d.minimumSize(), d.maximumSize());
    QVERIFY(!(d.windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
    QVERIFY(d.windowFlags() & Qt::WindowCloseButtonHint);
    QCOMPARE(child<QLabel>(&d, "lblAddress")->text(), QStringLiteral("From:"));
    QCOMPARE(child<QLabel>(&d, "lblAddress")->pos(), QPoint(px(120), py(120)));
    QCOMPARE(d.txtAddress(), child<QLineEdit>(&d, "txtAddress"));
    QCOMPARE(button(&d, "cmdBrowse")->text(), QStringLiteral("..."));
    QCOMPARE(button(&d, "cmdBrowse")->accessibleName(), QStringLiteral("Browse"));
    QCOMPARE(filterBox(&d)->accessibleName(), QStringLiteral("Filter"));
    QCOMPARE(button(&d, "cmdLoad")->text(), QStringLiteral("Go"));
    QCOMPARE(button(&d, "cmdLoad")->geometry(), QRect(px(6000), py(120), px(975), py(375)));
    QCOMPARE(button(&d, "OKButton")->text(), QStringLiteral("OK"));
    QVERIFY(button(&d, "OKButton")->isDefault());
    QCOMPARE(button(&d, "CancelButton")->geometry(), QRect(px(5760), py(3600), px(1215), py(375)));
    QCOMPARE(filterBox(&d)->placeholderText(), QStringLiteral("Filter"));
    // One height for every row, and no row header: nothing laid out per row.
    QCOMPARE(list(&d)->verticalHeader()->sectionResizeMode(0), QHeaderView::Fixed);
    QVERIFY(list(&d)->verticalHeader()->isHidden());

    const QStringList ours{"OKButton",   "CancelButton", "txtFilter", "lstInstances",
                           "txtAddress", "cmdBrowse",    "cmdLoad"};
    QStringList order;
    QWidget *w = button(&d, "OKButton");
    do {
        if (ours.contains(w->objectName()) && !order.contains(w->objectName()))
            order << w->objectName();
        w = w->nextInFocusChain();
    } while (w != button(&d, "OKButton"));
    QCOMPARE(order, ours);
}

void TestDlgRef::choice_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<bool>("doubleClick");
    QTest::addColumn<QString>("typed"); // address typed after the list was filled
    QTest::addColumn<QString>("expected");
    const QString file = dataFile("instances.xml");
    QTest::newRow("plain") << 0 << false << QString() << file + "#Product#id1";
    QTest::newRow("underscores kept") << 1 << false << QString() << file + "#Product_definition_formation#id2";
    QTest::newRow("no attribute: empty id") << 2 << false << QString() << file + "#Shape_representation#";
    QTest::newRow("first attribute, not id") << 3 << false << QString() << file + "#Named_item#first";
    QTest::newRow("second section") << 5 << false << QString() << file + "#Next_assembly_usage_occurrence#idX9";
    QTest::newRow("double-click") << 4 << true << QString() << file + "#Product#id5";
    // "From:" names the listed document: text typed there and not loaded names nothing.
    QTest::newRow("address typed, not loaded") << 0 << false << "id5" << file + "#Product#id1";
}

void TestDlgRef::choice()
{
    QFETCH(int, row);
    QFETCH(bool, doubleClick);
    QFETCH(QString, typed);
    QFETCH(QString, expected);
    dlgRef d(&m_owner);
    int rows = -1;
    const QString result = runPicker(&d, dataFile("instances.xml"), [&](dlgRef *p) {
        rows = rowCount(p);
        if (!typed.isEmpty())
            p->txtAddress()->setText(typed);
        if (!doubleClick)
            return choose(p, row);
        // A double-click reaches the view as a click followed by the double-click event.
        const QPoint at = list(p)->visualRect(list(p)->model()->index(row, 1)).center();
        QTest::mouseClick(list(p)->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(list(p)->viewport(), Qt::LeftButton, {}, at);
    });
    QCOMPARE(rows, 6);
    QCOMPARE(result, expected);
    QCOMPARE(d.strSelectedRef(), expected);
    QVERIFY(!d.isVisible());
}

void TestDlgRef::secondUseReloadsCallersAddress()
{
    dlgRef d(&m_owner);
    runPicker(&d, dataFile("instances.xml"), [](dlgRef *p) {
        p->txtAddress()->setText("typed.xml");
        choose(p, 0);
    });
    QString shown;
    const QString second = dataFile("second.xml");
    const QString result = runPicker(&d, second, [&](dlgRef *p) {
        shown = p->txtAddress()->text();
        choose(p, 1);
    });
    QCOMPARE(shown, second);
    QCOMPARE(d.instanceModel()->allRows().toVector(),
             (std::vector<PickerRow>{{"Axis_placement", "a1"}, {"Cartesian_point", "a2"}}));
    QCOMPARE(result, second + "#Cartesian_point#a2");
}

void TestDlgRef::reloadsAndFailures()
{
    dlgRef d(&m_owner);
    d.txtAddress()->setText(dataFile("instances.xml"));
    d.LoadInstances();
    QVERIFY(!button(&d, "cmdLoad")->isEnabled()); // until the completion
    QVERIFY(waitLoaded(&d));
    QCOMPARE(rowCount(&d), 6);

    d.txtAddress()->setText(dataFile("noinstances.xml"));
    button(&d, "cmdLoad")->click();
    QVERIFY(waitLoaded(&d));
    QCOMPARE(rowCount(&d), 0);

    QTemporaryDir tmp;
    const QString missing = tmp.filePath("missing.xml");
    d.txtAddress()->setText(missing);
    testsupport::MessageCapture boxes;
    d.LoadInstances();
    QTRY_COMPARE(boxes.messages.size(), 1);
    QCOMPARE(boxes.messages[0].title, QStringLiteral("Warning"));
    QCOMPARE(boxes.messages[0].text, "Can't load data from " + missing);
    QCOMPARE(boxes.messages[0].icon, QMessageBox::Warning);
    QVERIFY(button(&d, "cmdLoad")->isEnabled()); // so the user can retry

    // A bare name is opened as given, from the working folder.
    const QString cwd = QDir::currentPath();
    QDir::setCurrent(QStringLiteral(TEST_DATA_DIR "/picker"));
    const bool loaded = load(&d, "second.xml");
    QDir::setCurrent(cwd);
    QVERIFY(loaded);
    QCOMPARE(rowCount(&d), 2);
    QCOMPARE(boxes.messages.size(), 1);
}

void TestDlgRef::cancelAndCloseReturnNothing()
{
    QPointer<dlgRef> d = dlgRef::instance(&m_owner);
    const QString address = dataFile("instances.xml");
    QCOMPARE(runPicker(d, address, [](dlgRef *p) { choose(p, 0); }), address + "#Product#id1");
    QCOMPARE(runPicker(d, address, [](dlgRef *p) { button(p, "CancelButton")->click(); }), QString());
    QVERIFY(d); // Cancel only hides: the same object keeps its address and list
    QCOMPARE(dlgRef::instance(&m_owner), d.data());
    QCOMPARE(d->txtAddress()->text(), address);
    QCOMPARE(d->instanceModel()->totalCount(), 6);

    runPicker(d, address, [](dlgRef *p) { choose(p, 1); });
    QCOMPARE(runPicker(d, address, [](dlgRef *p) { p->windowHandle()->close(); }), QString());
}

void TestDlgRef::readsFileOnlyWhenChanged_data()
{
    QTest::addColumn<QString>("change"); // what befalls the file between two uses
    QTest::addColumn<bool>("read");
    QTest::addColumn<int>("rows");
    QTest::newRow("unchanged") << "" << false << 6;
    QTest::newRow("named relative to the caller's document") << "relative" << false << 6;
    QTest::newRow("rewritten") << "rewrite" << true << 2;
    QTest::newRow("replaced by a copy") << "replace" << true << 6;
}

void TestDlgRef::readsFileOnlyWhenChanged()
{
    QFETCH(QString, change);
    QFETCH(bool, read);
    QFETCH(int, rows);
    QTemporaryDir tmp;
    const QString path = tmp.filePath("doc.xml");
    QVERIFY(QFile::copy(dataFile("instances.xml"), path));
    dlgRef d(&m_owner);
    runPicker(&d, path, [](dlgRef *p) { choose(p, 2); });
    const quint64 reads = d.reads();
    QString address = path, holder;
    if (change == "relative") {
        address = "doc.xml";
        holder = tmp.filePath("holder.xml");
    } else if (change == "rewrite") {
        QFile::remove(path);
        QVERIFY(QFile::copy(dataFile("second.xml"), path));
    } else if (change == "replace") {
        QVERIFY(QFile::copy(dataFile("instances.xml"), tmp.filePath("new.xml")));
        QVERIFY(QFile::remove(path) && QFile::rename(tmp.filePath("new.xml"), path));
    }
    // Read or not, every use shows the whole list with nothing chosen, and the address given.
    QList<int> shown;
    const QString result = runPicker(&d, address, [&](dlgRef *p) {
        shown << int(filterBox(p)->text().size()) << int(list(p)->selectionModel()->selectedRows().size())
              << rowCount(p);
        choose(p, 1);
    }, holder);
    QCOMPARE(d.reads() != reads, read);
    QCOMPARE(shown, (QList<int>{0, 0, rows}));
    QCOMPARE(result, address + "#" + d.instanceModel()->allRows().at(1).type + "#" + d.instanceModel()->allRows().at(1).id);
}

void TestDlgRef::listsCallersDocumentWhenItHoldsFile_data()
{
    QTest::addColumn<QString>("state"); // of the caller's document, or of the file it holds
    QTest::addColumn<bool>("reused");
    QTest::newRow("holds the file") << "" << true;
    QTest::newRow("named relative to it") << "relative" << true;
    QTest::newRow("modified") << "modified" << false;
    QTest::newRow("modified while listed") << "modifying" << false;
    QTest::newRow("file rewritten") << "rewrite" << false;
    QTest::newRow("holds another file") << "other" << false;
    QTest::newRow("none") << "none" << false;
}

void TestDlgRef::listsCallersDocumentWhenItHoldsFile()
{
    QFETCH(QString, state);
    QFETCH(bool, reused);
    QTemporaryDir tmp;
    const QString path = tmp.filePath("doc.xml");
    QVERIFY(QFile::copy(dataFile("instances.xml"), path));
    XmlDocument shown;
    QVERIFY(shown.load(state == "other" ? dataFile("second.xml") : path));
    QString address = path;
    if (state == "relative") {
        address = "doc.xml";
    } else if (state == "modified") {
        QVERIFY(shown.selectSingleNode("//*[@id='id1']").setAttribute("id", "changed"));
        QVERIFY(shown.isModified());
    } else if (state == "rewrite") {
        QFile::remove(path);
        QVERIFY(QFile::copy(dataFile("second.xml"), path));
    }
    const quint64 stamp = shown.changeStamp();
    if (state == "modifying") // once the picker has begun, before its first event
        QTimer::singleShot(0, [&] { shown.selectSingleNode("//*[@id='id1']").setAttribute("id", "changed"); });
    dlgRef d(&m_owner);
    runPicker(&d, address, [](dlgRef *p) { choose(p, 0); }, path, state == "none" ? nullptr : &shown);
    QCOMPARE(d.listedStamp() == stamp, reused);
    // Either way the list is the file's as it is on disk.
    XmlDocument read;
    QVERIFY(read.load(path));
    QCOMPARE(d.instanceModel()->allRows(), instanceRowsOf(read.documentElement()));
}

void TestDlgRef::leavingAbandonsRead_data()
{
    QTest::addColumn<Act>("leave");
    QTest::addColumn<bool>("read"); // left once the file is read, while its rows are gathered
    const Act cancel([](dlgRef *p) { button(p, "CancelButton")->click(); });
    const Act escape([](dlgRef *p) { QTest::keyClick(p, Qt::Key_Escape); });
    const Act closeBox([](dlgRef *p) { p->windowHandle()->close(); });
    for (bool read : {false, true}) {
        const char *stage = read ? " while listing" : " while reading";
        QTest::addRow("Cancel%s", stage) << cancel << read;
        QTest::addRow("Escape%s", stage) << escape << read;
        QTest::addRow("close box%s", stage) << closeBox << read;
    }
}

void TestDlgRef::leavingAbandonsRead()
{
    QFETCH(Act, leave);
    QFETCH(bool, read);
    QPointer<dlgRef> d = dlgRef::instance(&m_owner);
    const QString before = dataFile("second.xml"), address = dataFile("instances.xml");
    runPicker(d, before, [](dlgRef *p) { choose(p, 0); });
    QList<bool> duringRead;
    QTimer::singleShot(0, d, [&] {
        // Shown while the workers run: the list covered, no choice possible.
        const auto act = [&] {
            duringRead << child<QLabel>(d, "lblLoading")->isVisible() << button(d, "OKButton")->isEnabled();
            leave(d);
        };
        if (read)
            connect(d, &dlgRef::fileRead, d, act, Qt::SingleShotConnection);
        else
            act();
    });
    QCOMPARE(d->chooseFrom(address), QString());
    QCOMPARE(duringRead, (QList<bool>{true, false}));
    if (d && !d->isClosedByFrame()) {
        QVERIFY(button(d, "cmdLoad")->isEnabled());
        QTest::qWait(50); // an abandoned read fills nothing when its worker ends
        QCOMPARE(d->instanceModel()->totalCount(), 2);
    }
    d = dlgRef::instance(&m_owner); // made anew after the close box
    QCOMPARE(runPicker(d, address, [](dlgRef *p) { choose(p, 0); }), address + "#Product#id1");
}

void TestDlgRef::closeBoxDestroysDialog()
{
    QPointer<dlgRef> first = dlgRef::instance(&m_owner);
    runPicker(first, dataFile("instances.xml"), [](dlgRef *p) { p->windowHandle()->close(); });
    dlgRef *next = dlgRef::instance(&m_owner); // asked before the deletion has run
    QVERIFY(next != first.data());
    QTRY_VERIFY(first.isNull());
    QCOMPARE(dlgRef::instance(&m_owner), next);
    QCOMPARE(next->parentWidget(), &m_owner);
    QCOMPARE(next->txtAddress()->text(), QString());
}

void TestDlgRef::filterBoxAndOkState()
{
    dlgRef d(&m_owner);
    QPushButton *ok = button(&d, "OKButton");
    QVERIFY(!ok->isEnabled());
    const QString address = dataFile("instances.xml");
    QList<int> rows;
    bool okAfterNarrowing = false, okAfterFilteringOut = true;
    const QString result = runPicker(&d, address, [&](dlgRef *p) {
        rows << rowCount(p);
        selectRow(p, 4); // Product id5
        filterBox(p)->setText("PRODUCT");
        rows << rowCount(p);
        okAfterNarrowing = button(p, "OKButton")->isEnabled(); // the selected row survived
        filterBox(p)->setText("zzz");
        okAfterFilteringOut = button(p, "OKButton")->isEnabled();
        filterBox(p)->clear();
        rows << rowCount(p);
        filterBox(p)->setText("x9");
        choose(p, 0);
    });
    QCOMPARE(rows, (QList<int>{6, 3, 6}));
    QVERIFY(okAfterNarrowing);
    QVERIFY(!okAfterFilteringOut);
    QCOMPARE(result, address + "#Next_assembly_usage_occurrence#idX9");

    // The next show starts unfiltered; a reload drops the selection.
    bool okAfterReload = true, stillOpen = false;
    const QString again = runPicker(&d, address, [&](dlgRef *p) {
        rows << rowCount(p);
        selectRow(p, 2);
        button(p, "cmdLoad")->click();
        okAfterReload = waitLoaded(p) && button(p, "OKButton")->isEnabled();
        button(p, "OKButton")->click(); // disabled: chooses nothing
        stillOpen = p->isVisible();
        button(p, "CancelButton")->click();
    });
    QCOMPARE(filterBox(&d)->text(), QString());
    QCOMPARE(rows.last(), 6);
    QVERIFY(!okAfterReload);
    QVERIFY(stillOpen);
    QCOMPARE(again, QString());
}

void TestDlgRef::keyboard_data()
{
    QTest::addColumn<QString>("filter"); // typed into the box that has the focus on open
    QTest::addColumn<QList<int>>("keys"); // then pressed there
    QTest::addColumn<int>("selected"); // source row selected afterwards, -1 for none
    QTest::addColumn<QString>("result"); // "" while the dialog stays open
    QTest::addColumn<QString>("focused"); // the widget with the focus at the end
    const QString file = dataFile("instances.xml");
    const int enter = Qt::Key_Return;
    QTest::newRow("nothing pressed") << QString() << QList<int>{} << -1 << QString() << "txtFilter";
    QTest::newRow("down from the filter") << QString() << QList<int>{Qt::Key_Down} << 0 << QString() << "txtFilter";
    QTest::newRow("down, down, up") << QString() << QList<int>{Qt::Key_Down, Qt::Key_Down, Qt::Key_Up} << 0 << QString()
                                    << "txtFilter";
    QTest::newRow("page down") << QString() << QList<int>{Qt::Key_Down, Qt::Key_PageDown} << 5 << QString()
                               << "txtFilter";
    QTest::newRow("filtered down") << "product" << QList<int>{Qt::Key_Down, Qt::Key_Down} << 1 << QString()
                                   << "txtFilter";
    QTest::newRow("one match selected") << "x9" << QList<int>{} << 5 << QString() << "txtFilter";
    QTest::newRow("enter accepts") << "x9" << QList<int>{enter} << 5 << file + "#Next_assembly_usage_occurrence#idX9"
                                   << "txtFilter";
    QTest::newRow("enter after moving") << QString() << QList<int>{Qt::Key_Down, enter} << 0 << file + "#Product#id1"
                                        << "txtFilter";
    // Tab leaves the filter for the list, and the list for the address; in the list, End and
    // Home go to the last and the first row.
    QTest::newRow("end in the list") << QString() << QList<int>{Qt::Key_Tab, Qt::Key_End} << 5 << QString()
                                     << "lstInstances";
    QTest::newRow("end, home in the list")
        << QString() << QList<int>{Qt::Key_Tab, Qt::Key_End, Qt::Key_Home} << 0 << QString() << "lstInstances";
    QTest::newRow("tab through the list")
        << QString() << QList<int>{Qt::Key_Tab, Qt::Key_Down, Qt::Key_Tab} << 1 << QString() << "txtAddress";
}

void TestDlgRef::keyboard()
{
    QFETCH(QString, filter);
    QFETCH(QList<int>, keys);
    QFETCH(int, selected);
    QFETCH(QString, result);
    QFETCH(QString, focused);
    dlgRef d(&m_owner);
    QWidget *focus = nullptr;
    QString focusedAtEnd;
    int selectedRow = -2;
    const QString chosen = runPicker(&d, dataFile("instances.xml"), [&](dlgRef *p) {
        focus = p->focusWidget();
        QTest::keyClicks(focus, filter);
        for (int key : keys)
            QTest::keyClick(p->focusWidget(), Qt::Key(key));
        const QWidget *last = p->focusWidget();
        focusedAtEnd = last ? last->objectName() : QString();
        const QModelIndexList rows = list(p)->selectionModel()->selectedRows();
        selectedRow = rows.isEmpty() ? -1 : p->instanceModel()->sourceRow(rows.first().row());
        if (p->isVisible())
            p->reject();
    });
    QCOMPARE(focus, filterBox(&d));
    QCOMPARE(selectedRow, selected);
    QCOMPARE(chosen, result);
    QCOMPARE(focusedAtEnd, focused);
}

void TestDlgRef::adjustColumnsFillsList()
{
    dlgRef d(&m_owner);
    const double dpi = d.logicalDpiX();
    QTableView *v = list(&d);
    const auto twips = [dpi](int pixels) { return pixels * 1440.0 / dpi; };
    const double onePixel = twips(1);
    for (const char *file : {"instances.xml", "noinstances.xml"}) {
        QVERIFY(load(&d, dataFile(file)));
        d.AdjustColumns();
        const double first = twips(v->horizontalHeader()->sectionSize(0));
        const double sum = first + twips(v->horizontalHeader()->sectionSize(1));
        QVERIFY2(qAbs(sum - (twips(v->width()) - 60)) <= 2 * onePixel, qPrintable(QString::number(sum)));
        const double content = twips(qMax(0, static_cast<QAbstractItemView *>(v)->sizeHintForColumn(0)));
        QVERIFY(qAbs(first - qMin(content + 100, twips(v->width()) / 3)) <= onePixel);
    }
    // The longest type, far down the list, fits; a longer one stops at a third of the list.
    for (int length : {30, 300}) {
        QTemporaryDir tmp;
        QByteArray xml = "<uos><D><aim-instances>";
        for (int i = 0; i < 3000; ++i)
            xml += "<A id=\"i" + QByteArray::number(i) + "\"/>";
        const QByteArray longType(length, 'W');
        testsupport::writeAll(tmp.filePath("t.xml"), xml + "<" + longType + " id=\"x\"/></aim-instances></D></uos>");
        QVERIFY(load(&d, tmp.filePath("t.xml")));
        const int wanted = v->fontMetrics().horizontalAdvance(QString::fromLatin1(longType));
        const int third = v->width() / 3;
        QVERIFY2(v->horizontalHeader()->sectionSize(0) >= qMin(wanted, third - 1), qPrintable(QString::number(length)));
        QVERIFY(v->horizontalHeader()->sectionSize(0) <= third + 1);
    }
}

void TestDlgRef::browse()
{
    dlgRef d(&m_owner);
    QVERIFY(load(&d, dataFile("instances.xml")));
    QString filterAsked, folderAsked;
    d.setOpenFileHook([&](QWidget *, const QString &, const QString &folder, const QString &filter) {
        filterAsked = filter;
        folderAsked = folder;
        return QString(); // cancelled
    });
    button(&d, "cmdBrowse")->click();
    QCOMPARE(filterAsked, QStringLiteral("XML Files (*.xml)"));
    QCOMPARE(folderAsked, QFileInfo(dataFile("instances.xml")).absolutePath());
    QCOMPARE(d.txtAddress()->text(), dataFile("instances.xml"));
    QVERIFY(button(&d, "cmdLoad")->isEnabled());
    QCOMPARE(rowCount(&d), 6);

    d.setOpenFileHook(
        [](QWidget *, const QString &, const QString &, const QString &) { return dataFile("second.xml"); });
    button(&d, "cmdBrowse")->click();
    QCOMPARE(d.txtAddress()->text(), dataFile("second.xml"));
    QVERIFY(waitLoaded(&d));
    QCOMPARE(rowCount(&d), 2);
}

void TestDlgRef::largeDocument()
{
    QTemporaryDir tmp;
    const QString path = tmp.filePath("large.xml");
    QByteArray xml = "<?xml version=\"1.0\"?>\n<uos><Data><aim-instances>\n";
    for (int i = 0; i < 200000; ++i)
        xml += "<Cartesian_point id=\"i" + QByteArray::number(i) + "\"/>\n";
    testsupport::writeAll(path, xml + "</aim-instances></Data></uos>\n");
    dlgRef d(&m_owner);
    QList<int> rows;
    const QString result = runPicker(&d, path, [&](dlgRef *p) {
        rows << rowCount(p);
        list(p)->scrollToBottom();
        filterBox(p)->setText("I19999");
        rows << rowCount(p) << list(p)->verticalScrollBar()->value(); // back at the top
        filterBox(p)->setText("I199999");
        rows << rowCount(p);
        choose(p, 0);
    });
    QCOMPARE(rows, (QList<int>{200000, 11, 0, 1}));
    QCOMPARE(result, path + "#Cartesian_point#i199999");
}

QTEST_MAIN(TestDlgRef)
#include "tst_dlgref.moc"
