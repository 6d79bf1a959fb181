// The editor control's core on screen: what a load shows, the wait window, the raw XML tab,
// and the message box for each reported outcome.
#include "widgets/ctrlxmleditor.h"
#include "widgets/dlgwait.h"
#include "widgets/messagewidth.h"
#include "testsupport.h"
#include "document/encoding.h"
#include "widgets/xmlsourceview.h"

#include <QAbstractScrollArea>
#include <QFile>
#include <QDeadlineTimer>
#include <QPushButton>
#include <QScrollBar>
#include <QStringEncoder>
#include <QTabWidget>
#include <QTest>
#include <QSignalSpy>
#include <QTimer>
#include <QWindow>

using namespace quillon;
using namespace testsupport;

class TestCtrlCore : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void loadShowsTreeAddressAndHidesWaitWindow();
    void messageBoxFitsItsLongestLine();
    void failedLoadKeepsWhatIsOnScreen();
    void waitWindowTakesTheInputAndCancels_data();
    void waitWindowTakesTheInputAndCancels();
    void firstFailedLoadLeavesTheControlEmpty();
    void viewSwitchRebuildsTheTreeOnScreen();
    void messagesTellTheOutcomes_data();
    void messagesTellTheOutcomes();
    void brokenHistoryIsAnError();
    void failedSaveSaysSoAndKeepsTheFile();
    void xmlTabReadsTheFileOnlyWhenShown();
    void xmlTabShowsTheDocumentInMemory_data();
    void xmlTabShowsTheDocumentInMemory();
    void xmlTabFillsALargeDocumentAwayFromTheWindow();

private:
    ControlFixture *f = nullptr;
    QStringList roots() const
    {
        QStringList r;
        for (int i = 0; i < f->ctrl->session()->treeModel()->rowCount(); ++i)
            r << f->ctrl->session()->treeModel()->index(i, 0).data().toString();
        return r;
    }
};

void TestCtrlCore::init()
{
    f = new ControlFixture({QStringLiteral("nav/main.xml"), QStringLiteral("nav/other.xml")}, QSize(800, 600));
}

void TestCtrlCore::cleanup()
{
    delete f;
    f = nullptr;
}

void TestCtrlCore::loadShowsTreeAddressAndHidesWaitWindow()
{
    const QString path = f->path(QStringLiteral("main.xml"));
    QVERIFY(f->ctrl->LoadProfile(path));
    // The load completes after LoadProfile returned; the wait window is up until then.
    QCOMPARE(f->ctrl->session()->treeModel()->rowCount(), 0);
    QVERIFY(dlgWait::existing()->isVisible());
    QCOMPARE(f->w<XmlSourceView>("ieXML")->path(), path);
    settle();
    QCOMPARE(roots(), (QStringList{QStringLiteral("arm"), QStringLiteral("mapping"), QStringLiteral("aim")}));
    QVERIFY(f->tree()->isExpanded(f->ctrl->session()->treeModel()->index(0, 0)));
    QVERIFY(!f->tree()->isExpanded(f->ctrl->session()->treeModel()->index(1, 0)));
    QCOMPARE(f->w<QLabel>("lblAddress")->text(), path);
    QVERIFY(!dlgWait::existing()->isVisible());
}

void TestCtrlCore::waitWindowTakesTheInputAndCancels_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("Escape in the control") << QStringLiteral("escape");
    QTest::newRow("its Cancel") << QStringLiteral("button");
    QTest::newRow("its close box") << QStringLiteral("close");
}

void TestCtrlCore::waitWindowTakesTheInputAndCancels()
{
    QFETCH(QString, how);
    QVERIFY(f->open(QStringLiteral("main.xml"), 1));
    const QString big = f->path(QStringLiteral("big.xml"));
    writeSlowDocument(big);

    bool clickSwallowed = false;
    QTimer::singleShot(0, [&] {
        dlgWait *wait = dlgWait::existing();
        QVERIFY(wait && wait->isVisible());
        // A click on the tree while the document loads does nothing.
        QSignalSpy clicked(f->tree(), &QTreeView::clicked);
        QTest::mouseClick(f->tree()->viewport(), Qt::LeftButton, {},
                          f->tree()->visualRect(f->ctrl->session()->treeModel()->index(0, 0)).center());
        clickSwallowed = clicked.isEmpty();
        if (how == QLatin1String("escape"))
            QTest::keyClick(f->tree(), Qt::Key_Escape);
        else if (how == QLatin1String("button"))
            QTest::mouseClick(wait->findChild<QPushButton *>(QStringLiteral("cmdCancel")), Qt::LeftButton);
        else
            wait->windowHandle()->close(); // as the window system's close box does
    });
    QVERIFY(!f->ctrl->LoadProfile(big));
    QVERIFY(clickSwallowed);
    QVERIFY(f->ctrl->LastError().isEmpty());
    settle();
    QVERIFY(!dlgWait::existing()->isVisible());
    QCOMPARE(f->ctrl->FileName(), f->path(QStringLiteral("main.xml")));
    QCOMPARE(roots(), (QStringList{QStringLiteral("arm"), QStringLiteral("mapping"), QStringLiteral("aim")}));
    // The input is the control's again.
    QSignalSpy clicked(f->tree(), &QTreeView::clicked);
    QTest::mouseClick(f->tree()->viewport(), Qt::LeftButton, {},
                      f->tree()->visualRect(f->ctrl->session()->treeModel()->index(0, 0)).center());
    QCOMPARE(clicked.size(), 1);
}

void TestCtrlCore::failedLoadKeepsWhatIsOnScreen()
{
    const QString path = f->path(QStringLiteral("main.xml"));
    QVERIFY(f->open(QStringLiteral("main.xml"), 0));
    QVERIFY(!f->ctrl->LoadProfile(f->path(QStringLiteral("missing.xml"))));
    settle();
    QCOMPARE(f->ctrl->session()->treeModel()->rowCount(), 3);
    QVERIFY(!dlgWait::existing()->isVisible());
    QVERIFY(f->ctrl->LastError().contains(QStringLiteral("missing.xml")));
    QCOMPARE(f->w<XmlSourceView>("ieXML")->path(), path);
    QCOMPARE(f->w<QLabel>("lblAddress")->text(), path);
}

void TestCtrlCore::firstFailedLoadLeavesTheControlEmpty()
{
    QVERIFY(!f->ctrl->SaveProfile());
    QVERIFY(!f->ctrl->LoadProfile(QStringLiteral("nowhere.xml")));
    settle();
    QVERIFY(f->ctrl->FileName().isEmpty());
    QCOMPARE(f->ctrl->session()->treeModel()->rowCount(), 0);
    QVERIFY(!dlgWait::existing()->isVisible());
    QVERIFY(!f->ctrl->SaveProfile());
}

void TestCtrlCore::viewSwitchRebuildsTheTreeOnScreen()
{
    QVERIFY(f->open(QStringLiteral("main.xml"), 2));
    QVERIFY(f->click(QStringLiteral("aim/aim-instances/shape")));
    f->ctrl->setProperty("ViewMode", 1);
    QCOMPARE(f->ctrl->property("ViewMode").toInt(), 1);
    QVERIFY(f->tree()->isExpanded(f->ctrl->session()->treeModel()->index(0, 0)));
    // The instance stays on show.
    QCOMPARE(f->entity(), QStringLiteral("shape id5"));
    QVERIFY(f->list()->isVisible());
}

void TestCtrlCore::messagesTellTheOutcomes_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("node");
    QTest::addColumn<QString>("row");
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<QStringList>("titles");
    QTest::addColumn<QList<int>>("icons");
    const int crit = QMessageBox::Critical, warn = QMessageBox::Warning;
    QTest::newRow("ARM attribute is empty")
        << 0 << "arm/PART/UPPER ONLY/LEAF"
        << "" << QStringList{"ARM attribute is empty"} << QStringList{"Error"} << QList<int>{crit};
    QTest::newRow("populate failure") << 2 << "aim/aim-instances/broken"
                                      << "" << QStringList{"Exception in \"PopulateInstance\""} << QStringList{"Error"}
                                      << QList<int>{warn};
    QTest::newRow("empty reference") << 1 << "mapping/empty ref/nothing here"
                                     << "" << QStringList{"Empty reference.", "Instance not found."}
                                     << QStringList{"Warning", "Warning"} << QList<int>{warn, warn};
    QTest::newRow("file not found") << 1 << "mapping/missing file/material"
                                    << "" << QStringList{"File not found.", "Instance not found."}
                                    << QStringList{"Error", "Warning"} << QList<int>{crit, warn};
    QTest::newRow("row: instance not found")
        << 2 << "aim/aim-instances/link test"
        << "to same" << QStringList{"Instance not found"} << QStringList{"Warning"} << QList<int>{warn};
    QTest::newRow("jump: instance not found")
        << 2 << "aim/aim-instances/link test"
        << "to missing id" << QStringList{"Instance not found."} << QStringList{"Warning"} << QList<int>{warn};
}

void TestCtrlCore::messagesTellTheOutcomes()
{
    QFETCH(int, mode);
    QFETCH(QString, node);
    QFETCH(QString, row);
    QFETCH(QStringList, texts);
    QFETCH(QStringList, titles);
    QFETCH(QList<int>, icons);
    QVERIFY(f->open(QStringLiteral("main.xml"), mode));
    MessageCapture mc;
    QVERIFY(f->click(node));
    if (!row.isEmpty()) {
        QVERIFY(mc.messages.isEmpty());
        f->follow(row);
    }
    QCOMPARE(mc.texts(), texts);
    for (int i = 0; i < mc.messages.size(); ++i) {
        QCOMPARE(mc.messages[i].title, titles[i]);
        QCOMPARE(int(mc.messages[i].icon), icons[i]);
    }
    if (texts[0] == QLatin1String("File not found."))
        QVERIFY(!mc.messages[0].informative.isEmpty());
    if (texts[0] == QLatin1String("ARM attribute is empty")) {
        QVERIFY(!f->list()->isVisible());
        QVERIFY(f->w("lblSelectWhat")->isVisible());
    }
}

void TestCtrlCore::brokenHistoryIsAnError()
{
    QVERIFY(f->open(QStringLiteral("main.xml"), 2));
    QVERIFY(f->click(QStringLiteral("aim/aim-instances/shape")));
    f->follow(QStringLiteral("owner")); // from id5 into id2, with one entry
    auto *back = f->w<QPushButton>("cmdBack");
    QVERIFY(back->isEnabled());
    f->session()->document()->findInstance(QStringLiteral("id5")).attribute(0).setText(QStringLiteral("renamed"));
    MessageCapture mc;
    QTest::mouseClick(back, Qt::LeftButton);
    QCOMPARE(mc.texts(), QStringList{"Broken history"});
    QCOMPARE(mc.messages[0].title, QStringLiteral("Error"));
    QCOMPARE(mc.messages[0].icon, QMessageBox::Critical);
    QVERIFY(back->isEnabled());
    QCOMPARE(f->entity(), QStringLiteral("product id2"));
}

void TestCtrlCore::failedSaveSaysSoAndKeepsTheFile()
{
    QVERIFY(f->open(QStringLiteral("main.xml"), 0));
    QVERIFY(f->session()->document()->documentElement().firstChild().firstChild().setText(QStringLiteral("edited")));
    QDir(f->dir.path()).rename(QStringLiteral("main.xml"), QStringLiteral("kept.xml"));
    QVERIFY(QDir(f->dir.path()).mkdir(QStringLiteral("main.xml")));
    MessageCapture mc;
    mc.answerText = QStringLiteral("Overwrite"); // what took the file's place
    QVERIFY(!f->ctrl->SaveProfile());
    QCOMPARE(mc.messages.size(), 2);
    QCOMPARE(mc.messages[0].title, QStringLiteral("Warning"));
    QCOMPARE(mc.messages[0].icon, QMessageBox::Warning);
    QCOMPARE(mc.messages[0].text, QStringLiteral("main.xml was changed by another program since it was opened."));
    QCOMPARE(QSet<QString>(mc.messages[0].buttons.begin(), mc.messages[0].buttons.end()),
             (QSet<QString>{"Overwrite", "Reload", "Cancel"}));
    QCOMPARE(mc.messages[0].enter + mc.messages[0].escape, QStringLiteral("CancelCancel"));
    QCOMPARE(mc.messages[1].title, QStringLiteral("Error"));
    QCOMPARE(mc.messages[1].icon, QMessageBox::Critical);
    QCOMPARE(mc.messages[1].text, QStringLiteral("Can't save main.xml."));
    QVERIFY(mc.messages[1].informative.contains(QStringLiteral("is not a regular file")));
    QVERIFY(mc.messages[1].informative.contains(QStringLiteral("the edits are kept")));
    QVERIFY(f->ctrl->Modified());
    // Saving as a file that cannot be written tells the same.
    mc.messages.clear();
    QVERIFY(!f->ctrl->SaveProfileAs(f->path(QStringLiteral("main.xml"))));
    QCOMPARE(mc.texts(), QStringList{"Can't save main.xml."});
}

void TestCtrlCore::xmlTabReadsTheFileOnlyWhenShown()
{
    QVERIFY(f->open(QStringLiteral("main.xml"), 0));
    auto *view = f->w<XmlSourceView>("ieXML");
    QVERIFY(view->isStale());
    QVERIFY(view->shownText().isEmpty());
    f->w<QTabWidget>("ctrlTab")->setCurrentIndex(1);
    QTRY_VERIFY(!view->isStale()); // read on a worker: a busy machine may take a while
    QVERIFY(view->shownText().contains(QStringLiteral("<name>Housing</name>")));
    f->session()
        ->document()
        ->findInstance(QStringLiteral("id2"))
        .selectSingleNode(QStringLiteral("name"))
        .setText(QStringLiteral("Lid"));
    QVERIFY(f->ctrl->SaveProfile());
    settle();
    QTRY_VERIFY(view->shownText().contains(QStringLiteral("<name>Lid</name>")));
    view->Navigate(f->path(QStringLiteral("absent.xml")));
    settle();
    QVERIFY(view->shownText().contains(QStringLiteral("cannot be shown")));
}

namespace {

QString sampleText(const QString &encodingName, const QString &name)
{
    return QStringLiteral("<?xml version=\"1.0\" encoding=\"%1\"?>\n<uos>\n  <aim>\n    <aim-instances>\n"
                          "      <product id=\"id1\"><name>%2</name></product>\n"
                          "    </aim-instances>\n  </aim>\n</uos>\n")
        .arg(encodingName, name);
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

} // namespace

void TestCtrlCore::xmlTabShowsTheDocumentInMemory_data()
{
    QTest::addColumn<QString>("encodingName");
    QTest::addColumn<QString>("name"); // what the file holds in its one <name>
    QTest::addColumn<QByteArray>("bytes");
    const QString latin1 = QStringLiteral("Caf\u00E9 \u00BD");
    const QString cp1252 = QStringLiteral("Caf\u00E9 \u20AC\u201A\u0178");
    const QString unicode = QStringLiteral("Caf\u00E9 \u20AC \U0001D11E");
    auto encoded = [](const QString &text, QStringConverter::Encoding e) {
        QStringEncoder enc(e); // no byte order mark
        return QByteArray(enc.encode(text));
    };
    QTest::newRow("UTF-8") << "UTF-8" << unicode << sampleText(QStringLiteral("UTF-8"), unicode).toUtf8();
    QTest::newRow("UTF-8 with BOM") << "UTF-8" << unicode
                                    << "\xEF\xBB\xBF" + sampleText(QStringLiteral("UTF-8"), unicode).toUtf8();
    QTest::newRow("Latin-1") << "ISO-8859-1" << latin1 << sampleText(QStringLiteral("ISO-8859-1"), latin1).toLatin1();
    QByteArray cp = sampleText(QStringLiteral("windows-1252"), QStringLiteral("Caf\u00E9 ###")).toLatin1();
    cp.replace("###", "\x80\x82\x9F");
    QTest::newRow("windows-1252") << "windows-1252" << cp1252 << cp;
    QTest::newRow("UTF-16LE without BOM")
        << "UTF-16" << unicode << encoded(sampleText(QStringLiteral("UTF-16"), unicode), QStringConverter::Utf16LE);
    QTest::newRow("UTF-16BE without BOM")
        << "UTF-16" << unicode << encoded(sampleText(QStringLiteral("UTF-16"), unicode), QStringConverter::Utf16BE);
}

// The tab shows the text of the document held in memory, as the file stands on disk: as read
// until a save, then as saved.
void TestCtrlCore::xmlTabShowsTheDocumentInMemory()
{
    QFETCH(QString, encodingName);
    QFETCH(QString, name);
    QFETCH(QByteArray, bytes);
    const QString path = f->path(QStringLiteral("enc.xml"));
    QVERIFY(writeFile(path, bytes));
    QVERIFY(f->open(QStringLiteral("enc.xml"), 0));
    // What is on disk now is not what was read: the tab must not read the file again.
    QVERIFY(writeFile(path, "<uos/>\n"));
    auto *view = f->w<XmlSourceView>("ieXML");
    f->w<QTabWidget>("ctrlTab")->setCurrentIndex(1);
    QTRY_VERIFY(!view->isStale());
    QCOMPARE(view->shownText(), sampleText(encodingName, name));

    // After an edit and a save: the text saved, which is the file's.
    const QString edited = QStringLiteral("Lid \u00E9 & <1>");
    QVERIFY(f->session()
                ->document()
                ->findInstance(QStringLiteral("id1"))
                .selectSingleNode(QStringLiteral("name"))
                .setText(edited));
    MessageCapture mc;
    mc.answerText = QStringLiteral("Overwrite"); // the file another program wrote meanwhile
    QVERIFY(f->ctrl->SaveProfile());
    QCOMPARE(mc.texts(), QStringList{"enc.xml was changed by another program since it was opened."});
    QTRY_VERIFY(!view->isStale());
    QCOMPARE(view->shownText(), sampleText(encodingName, QStringLiteral("Lid \u00E9 &amp; &lt;1&gt;")));
    QFile saved(path);
    QVERIFY(saved.open(QIODevice::ReadOnly));
    QString reason;
    QCOMPARE(view->shownText(), QString::fromUtf8(encoding::fileToUtf8(saved.readAll(), reason)));
    QCOMPARE(reason, QString());
}

// A large document goes in while the event loop keeps turning; the view is stale, and shows
// none of it, until all of it is in. A refresh during the fill starts it over, and the line at
// the top stays.
void TestCtrlCore::xmlTabFillsALargeDocumentAwayFromTheWindow()
{
    QByteArray text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<uos>\n  <aim>\n    <aim-instances>\n";
    for (int i = 1; text.size() < (20 << 20); ++i)
        text += "      <product id=\"id" + QByteArray::number(i) + "\"><name>Caf\xC3\xA9 " + QByteArray::number(i) +
                "</name></product>\n";
    text += "    </aim-instances>\n  </aim>\n</uos>\n";
    const QString expected = QString::fromUtf8(text);
    QVERIFY(writeFile(f->path(QStringLiteral("large.xml")), text));
    QVERIFY(f->open(QStringLiteral("large.xml"), 0));
    auto *view = f->w<XmlSourceView>("ieXML");
    auto *scroll = f->w<QAbstractScrollArea>("ieXMLText")->verticalScrollBar();

    // Turns of the event loop until the view is filled: how many there were while it was not.
    bool partShown = false;
    auto fill = [&](bool refreshMidway) {
        int turns = 0;
        QDeadlineTimer deadline(60000);
        while (view->isStale() && !deadline.hasExpired()) {
            QCoreApplication::processEvents();
            if (view->isStale()) {
                partShown = partShown || !view->shownText().isEmpty();
                if (++turns == 1 && refreshMidway)
                    view->Refresh();
            }
        }
        return turns;
    };
    f->w<QTabWidget>("ctrlTab")->setCurrentIndex(1);
    const int turns = fill(false);
    QVERIFY(!view->isStale());
    QVERIFY2(turns >= 1, qPrintable(QString::number(turns)));
    QCOMPARE(view->shownText(), expected);

    scroll->setValue(1000);
    view->Refresh();
    QVERIFY(fill(true) >= 1);
    QVERIFY(!view->isStale());
    QVERIFY(!partShown);
    QCOMPARE(view->shownText(), expected);
    QCOMPARE(scroll->value(), 1000);
}

void TestCtrlCore::messageBoxFitsItsLongestLine()
{
    // A parse error with its path, longer than the 500 pixels at which a box wraps.
    const QString line = QStringLiteral("/home/someone/projects/gearbox/assemblies/") + QString(4, QLatin1Char('x')) +
                         QStringLiteral(".xml: mismatched end tag at line 4120, column 17");
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("t"), QStringLiteral("Error: can't open file!"));
    box.setInformativeText(line + QStringLiteral("\nshort"));
    quillon::fitMessageWidth(box);
    box.show();
    auto *label = box.findChild<QLabel *>(QStringLiteral("qt_msgbox_informativelabel"));
    QVERIFY(label);
    const int needed = label->fontMetrics().horizontalAdvance(line);
    QVERIFY2(needed > 500 && needed < 660, qPrintable(QString::number(needed)));
    QVERIFY2(label->width() >= needed, qPrintable(QStringLiteral("%1 < %2").arg(label->width()).arg(needed)));
    box.hide();
}

QTEST_MAIN(TestCtrlCore)
#include "tst_ctrlcore.moc"
