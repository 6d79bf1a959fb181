// The control's "Referenced by" and "Check" tabs: a click (or Enter) on a row shows that
// instance as a followed reference does, and "<< Back" returns.
#include "refs/refindex.h"
#include "testsupport.h"

#include <QCheckBox>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>

using namespace quillon;
using namespace testsupport;

class TestCtrlRefs : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void clickShowsTheReferringInstance();
    void enterShowsTheReferringInstance();
    void clickIntoAnotherFileOfTheFolder();
    void findingShowsItsInstanceOrItsLine();
    void tabsShareTheSessionsIndex();

private:
    ControlFixture *f = nullptr;
    MessageCapture *messages = nullptr;
    QTabWidget *tabs() const { return f->w<QTabWidget>("ctrlTab"); }
    QTreeView *referencedBy() const { return f->w<QTreeView>("lstReferencedBy"); }
    QString currentTab() const { return tabs()->tabText(tabs()->currentIndex()); }
    // Shows product id1 of main.xml, then the "Referenced by" tab.
    void showReferrersOfId1()
    {
        QVERIFY(f->open(QStringLiteral("main.xml"), 2));
        QVERIFY(f->click(QStringLiteral("aim/aim-instances/product")));
        QCOMPARE(f->entity(), QStringLiteral("product id1"));
        tabs()->setCurrentWidget(f->w<QWidget>("tabReferencedBy"));
        QCOMPARE(rowTexts(referencedBy(), 1), (QStringList{"id3", "id4"}));
    }
    void expectShown(const QString &entity)
    {
        QCOMPARE(currentTab(), QStringLiteral("STEP"));
        QCOMPARE(f->entity(), entity);
        QVERIFY(f->list()->isVisible());
        QVERIFY(f->w<QPushButton>("cmdBack")->isEnabled());
    }
    void expectBackTo(const QString &entity)
    {
        QTest::mouseClick(f->w<QPushButton>("cmdBack"), Qt::LeftButton);
        settle();
        QCOMPARE(f->entity(), entity);
    }
};

void TestCtrlRefs::init()
{
    f = new ControlFixture({QStringLiteral("refs/main.xml"), QStringLiteral("refs/part.xml"),
                            QStringLiteral("refs/note.xml"), QStringLiteral("refs/check/bad.xml"),
                            QStringLiteral("refs/check/good.xml")});
    QVERIFY(f->exposed);
    messages = new MessageCapture;
}

void TestCtrlRefs::cleanup()
{
    // Nothing here is to be told to the user.
    QCOMPARE(messages->texts().join(u';'), QString());
    delete messages;
    messages = nullptr;
    delete f;
    f = nullptr;
}

void TestCtrlRefs::clickShowsTheReferringInstance()
{
    showReferrersOfId1();
    QCOMPARE(rowTexts(referencedBy(), 2), (QStringList{"made from", "depicts"}));
    clickRow(referencedBy(), 1, 0);
    settle();
    expectShown(QStringLiteral("drawing id4"));
    QCOMPARE(f->session()->history().current(), f->path(QStringLiteral("main.xml")) + QStringLiteral("#id1"));
    expectBackTo(QStringLiteral("product id1"));
}

void TestCtrlRefs::enterShowsTheReferringInstance()
{
    showReferrersOfId1();
    referencedBy()->setFocus();
    referencedBy()->setCurrentIndex(referencedBy()->model()->index(0, 0));
    QTest::keyClick(referencedBy(), Qt::Key_Return);
    settle();
    expectShown(QStringLiteral("assembly id3"));
    expectBackTo(QStringLiteral("product id1"));
}

void TestCtrlRefs::clickIntoAnotherFileOfTheFolder()
{
    showReferrersOfId1();
    f->w<QCheckBox>("chkOtherFiles")->click();
    QCOMPARE(rowTexts(referencedBy(), 3), (QStringList{"main.xml", "main.xml", "note.xml", "part.xml"}));
    clickRow(referencedBy(), 3, 0);
    settle();
    QCOMPARE(f->ctrl->FileName(), f->path(QStringLiteral("part.xml")));
    expectShown(QStringLiteral("part p1"));
    expectBackTo(QStringLiteral("product id1"));
    QCOMPARE(f->ctrl->FileName(), f->path(QStringLiteral("main.xml")));
}

void TestCtrlRefs::findingShowsItsInstanceOrItsLine()
{
    QVERIFY(f->open(QStringLiteral("bad.xml"), 2));
    int count = -1;
    QVERIFY(QMetaObject::invokeMethod(f->ctrl, "CheckReferences", Q_RETURN_ARG(int, count)));
    QCOMPARE(count, 17);
    QCOMPARE(currentTab(), QStringLiteral("Check"));
    QTreeView *findings = f->w<QTreeView>("lstFindings");
    // A row per kind; a click on one of its findings (the group opened first).
    QCOMPARE(rowTexts(findings, 0).value(2), QStringLiteral("unknown-ref (2)"));
    const auto clickFinding = [findings](const QString &kind, int row) {
        const QModelIndex group = findings->model()->match(findings->model()->index(0, 0), Qt::DisplayRole,
                                                           kind + QStringLiteral(" ("), 1, Qt::MatchStartsWith)
                                      .value(0);
        QVERIFY(group.isValid());
        findings->expand(group);
        const QRect r = findings->visualRect(findings->model()->index(row, 0, group));
        QTest::mouseClick(findings->viewport(), Qt::LeftButton, {}, r.center());
    };
    clickFinding(QStringLiteral("missing-file"), 0); // line 38, in shape id2
    settle();
    QCOMPARE(currentTab(), QStringLiteral("STEP"));
    QCOMPARE(f->entity(), QStringLiteral("shape id2"));
    QCOMPARE(f->tree()->currentIndex().data().toString(), QStringLiteral("shape"));
    // A finding outside any instance is shown on its line of the "XML" tab.
    tabs()->setCurrentWidget(f->w<QWidget>("tabCheck"));
    clickFinding(QStringLiteral("unknown-ref"), 0); // line 16
    settle();
    QCOMPARE(currentTab(), QStringLiteral("XML"));
}

void TestCtrlRefs::tabsShareTheSessionsIndex()
{
    showReferrersOfId1();
    ReferenceIndex *index = f->session()->referenceIndex();
    QVERIFY(index->isCurrentFor(*f->session()->document()));
    // The Graph tab asks the session's index too: dropped, it is built again by the graph.
    index->clear();
    tabs()->setCurrentWidget(f->w<QWidget>("tabGraph"));
    settle();
    QVERIFY(index->isCurrentFor(*f->session()->document()));
}

QTEST_MAIN(TestCtrlRefs)
#include "tst_ctrlrefs.moc"
