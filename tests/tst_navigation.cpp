// Following references from the property list, the history and Back, across documents.
#include "ctrlxmleditor.h"
#include "testsupport.h"
#include "treemodel.h"

#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QDateTime>
#include <QFileInfo>
#include <QTest>

using namespace quillon;
using namespace testsupport;

class TestNavigation : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void sameDocumentRowRecordsThePlaceLeft();
    void threeJumpsTwoBacksOneJumpLeaveTwoEntries();
    void backAcrossFilesSavesTheFileLeft();
    void brokenHistoryForADeletedFile();
    void brokenHistoryForARemovedId();
    void rowIntoAMissingFile_data();
    void rowIntoAMissingFile();
    void rowIntoAMissingId();
    void valueWithHashIsADocumentEvenIfItBeginsWithId();
    void missingSameDocumentTarget();
    void jumpWithNothingShownRecordsNothing();
    void armAttributeElementRecordsNoEntry();
    void rightClickOffersTheMenuAndFollowsNothing();
    void backStaysWhenTheDocumentLeftCannotBeSaved();
    void jumpStaysWhenTheDocumentLeftCannotBeSaved_data();
    void jumpStaysWhenTheDocumentLeftCannotBeSaved();
    void openingAnotherDocumentClearsTheList();
    void viewSwitchShowsTheSameInstanceAgain();
    void browsingWithoutEditsWritesNothing();

private:
    void show(const QString &id);
    int rowOf(const QString &caption) const
    {
        return int(rowTexts(list(), 0).indexOf(caption));
    }
    QTreeWidget *list() const { return m_ctrl->findChild<QTreeWidget *>(QStringLiteral("ctrlProperties")); }
    QPushButton *back() const { return m_ctrl->findChild<QPushButton *>(QStringLiteral("cmdBack")); }
    QString entity() const { return m_ctrl->findChild<QLabel *>(QStringLiteral("lblEntity"))->text(); }
    QString path(const char *name) const { return m_dir->filePath(QLatin1String(name)); }
    void follow(const QString &caption)
    {
        const int row = rowOf(caption);
        QVERIFY2(row >= 0, qPrintable(caption));
        clickRow(list(), row);
        settle();
    }

    QTemporaryDir *m_dir = nullptr;
    CtrlXMLEditor *m_ctrl = nullptr;
};

void TestNavigation::init()
{
    m_dir = new QTemporaryDir;
    copyData(*m_dir, {QStringLiteral("nav/main.xml"), QStringLiteral("nav/other.xml"), QStringLiteral("nav/idx.xml")});
    m_ctrl = new CtrlXMLEditor;
    m_ctrl->resize(900, 700);
    m_ctrl->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_ctrl));
    m_ctrl->setProperty("ViewMode", 2);
    QVERIFY(m_ctrl->LoadProfile(path("main.xml")));
    settle();
}

void TestNavigation::cleanup()
{
    delete m_ctrl;
    delete m_dir;
}

// Shows an instance of main.xml by clicking its node in the AIM view.
void TestNavigation::show(const QString &id)
{
    auto *tree = m_ctrl->findChild<QTreeView *>(QStringLiteral("ctrlTree"));
    const QModelIndex instances = findNode(m_ctrl->treeModel(), QStringLiteral("aim/aim-instances"));
    for (int r = 0; r < m_ctrl->treeModel()->rowCount(instances); ++r) {
        const QModelIndex i = m_ctrl->treeModel()->index(r, 0, instances);
        if (i.data(TreeModel::TagRole).toString() == QStringLiteral("[@id=\"%1\"]").arg(id)) {
            tree->expand(instances);
            tree->scrollTo(i);
            QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualRect(i).center());
            QCOMPARE(m_ctrl->shownInstance().attribute(0).text(), id);
            return;
        }
    }
    QFAIL(qPrintable(QStringLiteral("no node for ") + id));
}

void TestNavigation::sameDocumentRowRecordsThePlaceLeft()
{
    show(QStringLiteral("id1"));
    QVERIFY(!back()->isEnabled());
    follow(QStringLiteral("see also")); // "ID6", read as an id of this document
    QCOMPARE(entity(), QStringLiteral("shape ID6"));
    QVERIFY(back()->isEnabled());
    QCOMPARE(m_ctrl->history().entries(), QStringList{path("main.xml") + QStringLiteral("#id1")});
    QTest::mouseClick(back(), Qt::LeftButton);
    QCOMPARE(entity(), QStringLiteral("product id1"));
    QVERIFY(!back()->isEnabled());
}

void TestNavigation::threeJumpsTwoBacksOneJumpLeaveTwoEntries()
{
    show(QStringLiteral("id1"));
    follow(QStringLiteral("of shape"));  // id5
    follow(QStringLiteral("owner"));     // id2
    follow(QStringLiteral("contains"));  // id1
    QCOMPARE(m_ctrl->history().entries().size(), 3);
    QTest::mouseClick(back(), Qt::LeftButton);
    QCOMPARE(entity(), QStringLiteral("product id2"));
    QTest::mouseClick(back(), Qt::LeftButton);
    QCOMPARE(entity(), QStringLiteral("shape id5"));
    follow(QStringLiteral("owner"));
    const QString main = path("main.xml");
    QCOMPARE(m_ctrl->history().entries(), (QStringList{main + QStringLiteral("#id1"), main + QStringLiteral("#id5")}));
    QCOMPARE(m_ctrl->history().position(), 1);
}

void TestNavigation::backAcrossFilesSavesTheFileLeft()
{
    show(QStringLiteral("id1"));
    follow(QStringLiteral("made from"));
    QCOMPARE(m_ctrl->FileName(), path("other.xml"));
    QCOMPARE(entity(), QStringLiteral("material id21"));
    m_ctrl->document()->findInstance(QStringLiteral("id21")).selectSingleNode(QStringLiteral("grade")).setText(QStringLiteral("S460"));
    QTest::mouseClick(back(), Qt::LeftButton);
    QVERIFY(readAll(path("other.xml")).contains("<grade>S460</grade>"));
    QCOMPARE(m_ctrl->FileName(), path("main.xml"));
    QCOMPARE(entity(), QStringLiteral("product id1"));
    QVERIFY(!back()->isEnabled());
    settle();
    QCOMPARE(entity(), QStringLiteral("product id1"));
    QVERIFY(m_ctrl->shownInstance().belongsTo(m_ctrl->document()));
}

void TestNavigation::brokenHistoryForADeletedFile()
{
    show(QStringLiteral("id1"));
    follow(QStringLiteral("made from"));
    QVERIFY(QFile::remove(path("main.xml")));
    MessageCapture mc;
    QTest::mouseClick(back(), Qt::LeftButton);
    settle();
    QCOMPARE(mc.texts(), QStringList{"Broken history"});
    QCOMPARE(mc.messages[0].icon, QMessageBox::Critical);
    QCOMPARE(m_ctrl->history().position(), 0);
    QCOMPARE(m_ctrl->FileName(), path("other.xml"));
    QCOMPARE(entity(), QStringLiteral("material id21"));
    QVERIFY(back()->isEnabled());
}

void TestNavigation::brokenHistoryForARemovedId()
{
    show(QStringLiteral("id1"));
    follow(QStringLiteral("of shape"));
    m_ctrl->document()->findInstance(QStringLiteral("id1")).attribute(0).setText(QStringLiteral("renamed"));
    MessageCapture mc;
    QTest::mouseClick(back(), Qt::LeftButton);
    QCOMPARE(mc.texts(), QStringList{"Broken history"});
    QCOMPARE(m_ctrl->history().position(), 0);
    QCOMPARE(entity(), QStringLiteral("shape id5"));
}

void TestNavigation::rowIntoAMissingFile_data()
{
    QTest::addColumn<QString>("row");
    QTest::addColumn<QStringList>("messages");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<int>("entries");
    QTest::newRow("id not in the document left") << "to missing file" << QStringList{"File not found.", "Instance not found"}
                                                 << "link_test id7" << 0;
    QTest::newRow("id found in the document left") << "to missing file known id" << QStringList{"File not found."}
                                                   << "product id2" << 1;
}

void TestNavigation::rowIntoAMissingFile()
{
    QFETCH(QString, row);
    QFETCH(QStringList, messages);
    QFETCH(QString, shown);
    QFETCH(int, entries);
    show(QStringLiteral("id7"));
    MessageCapture mc;
    follow(row);
    QCOMPARE(mc.texts(), messages);
    QCOMPARE(mc.messages[0].title, QStringLiteral("Error"));
    QCOMPARE(m_ctrl->FileName(), path("main.xml"));
    QCOMPARE(entity(), shown);
    QVERIFY(!m_ctrl->pendingSelect());
    QCOMPARE(m_ctrl->history().entries().size(), entries);
    QVERIFY(m_ctrl->shownInstance().belongsTo(m_ctrl->document()));
}

void TestNavigation::rowIntoAMissingId()
{
    show(QStringLiteral("id7"));
    MessageCapture mc;
    follow(QStringLiteral("to missing id"));
    QCOMPARE(mc.texts(), QStringList{"Instance not found."});
    QCOMPARE(m_ctrl->FileName(), path("other.xml"));
    QVERIFY(m_ctrl->history().isEmpty());
    QCOMPARE(list()->topLevelItemCount(), 0);
}

void TestNavigation::valueWithHashIsADocumentEvenIfItBeginsWithId()
{
    show(QStringLiteral("id7"));
    follow(QStringLiteral("to idx"));
    QCOMPARE(m_ctrl->FileName(), path("idx.xml"));
    QCOMPARE(entity(), QStringLiteral("material id21"));
    QCOMPARE(m_ctrl->history().entries(), QStringList{path("main.xml") + QStringLiteral("#id7")});
}

void TestNavigation::missingSameDocumentTarget()
{
    show(QStringLiteral("id7"));
    MessageCapture mc;
    follow(QStringLiteral("to same"));
    QCOMPARE(mc.texts(), QStringList{"Instance not found"});
    QCOMPARE(mc.messages[0].icon, QMessageBox::Warning);
    QCOMPARE(entity(), QStringLiteral("link_test id7"));
    QCOMPARE(m_ctrl->shownInstance(), m_ctrl->document()->findInstance(QStringLiteral("id7")));
    QVERIFY(m_ctrl->history().isEmpty());
    QVERIFY(!back()->isEnabled());
}

void TestNavigation::jumpWithNothingShownRecordsNothing()
{
    m_ctrl->setProperty("ViewMode", 1);
    settle();
    QVERIFY(clickNode(m_ctrl->findChild<QTreeView *>(QStringLiteral("ctrlTree")), QStringLiteral("mapping/by href/material")));
    settle();
    QCOMPARE(entity(), QStringLiteral("material id21"));
    QVERIFY(m_ctrl->history().isEmpty());
    QVERIFY(!back()->isEnabled());
}

void TestNavigation::armAttributeElementRecordsNoEntry()
{
    m_ctrl->setProperty("ViewMode", 0);
    settle();
    QVERIFY(clickNode(m_ctrl->findChild<QTreeView *>(QStringLiteral("ctrlTree")), QStringLiteral("arm/PART/FOREIGN")));
    QCOMPARE(rowTexts(list(), 1), QStringList{"other.xml#id21"});
    follow(QStringLiteral("material"));
    QCOMPARE(entity(), QStringLiteral("material id21"));
    QVERIFY(m_ctrl->history().isEmpty());
}

void TestNavigation::rightClickOffersTheMenuAndFollowsNothing()
{
    show(QStringLiteral("id1"));
    auto *menu = m_ctrl->findChild<QMenu *>(QStringLiteral("mnuEditLink"));
    clickRow(list(), rowOf(QStringLiteral("of shape")), 1, Qt::RightButton);
    QTRY_VERIFY(menu->isVisible());
    QCOMPARE(menu->actions().size(), 1);
    QCOMPARE(menu->actions().at(0)->text(), QStringLiteral("Edit Link..."));
    QCOMPARE(entity(), QStringLiteral("product id1"));
    QVERIFY(m_ctrl->history().isEmpty());
    menu->hide();
}

void TestNavigation::backStaysWhenTheDocumentLeftCannotBeSaved()
{
    show(QStringLiteral("id1"));
    follow(QStringLiteral("made from"));
    QVERIFY(m_ctrl->shownInstance().firstChild().setText(QStringLiteral("S690"))); // Back must save it
    QVERIFY(QFile::remove(path("other.xml")));
    QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("other.xml")));
    MessageCapture mc;
    QTest::mouseClick(back(), Qt::LeftButton);
    settle();
    QCOMPARE(mc.messages.size(), 1);
    QCOMPARE(mc.messages[0].title, QStringLiteral("Error"));
    QCOMPARE(m_ctrl->FileName(), path("other.xml"));
    QCOMPARE(entity(), QStringLiteral("material id21"));
    QCOMPARE(m_ctrl->history().position(), 0);
}

void TestNavigation::jumpStaysWhenTheDocumentLeftCannotBeSaved_data()
{
    QTest::addColumn<bool>("fromTree");
    QTest::newRow("href row") << false;
    QTest::newRow("href tree node") << true;
}

void TestNavigation::jumpStaysWhenTheDocumentLeftCannotBeSaved()
{
    QFETCH(bool, fromTree);
    auto *tree = m_ctrl->findChild<QTreeView *>(QStringLiteral("ctrlTree"));
    if (fromTree) {
        m_ctrl->setProperty("ViewMode", 1);
        settle();
        QVERIFY(clickNode(tree, QStringLiteral("mapping/by ref/product")));
    } else {
        show(QStringLiteral("id1"));
    }
    const XmlNode shown = m_ctrl->shownInstance();
    QCOMPARE(entity(), QStringLiteral("product id1"));
    // An edit that exists in memory only.
    clickRow(list(), rowOf(QStringLiteral("name")));
    QVERIFY(m_ctrl->IsEditing());
    m_ctrl->findChild<QLineEdit *>(QStringLiteral("txtEdit"))->setText(QStringLiteral("Rotor"));
    m_ctrl->SaveItemChanges(true);
    // The file's place is taken by a folder: the document can no longer be written.
    QVERIFY(QFile::remove(path("main.xml")));
    QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("main.xml")));
    const QStringList rowsBefore = rowTexts(list(), 1);

    MessageCapture mc;
    if (fromTree)
        QVERIFY(clickNode(tree, QStringLiteral("mapping/by href/material")));
    else
        follow(QStringLiteral("made from"));
    settle();
    QCOMPARE(mc.messages.size(), 1);
    QCOMPARE(mc.messages[0].title, QStringLiteral("Error"));
    QCOMPARE(m_ctrl->FileName(), path("main.xml"));
    QVERIFY(!m_ctrl->pendingSelect());
    QCOMPARE(m_ctrl->shownInstance(), shown);
    QVERIFY(shown.belongsTo(m_ctrl->document()));
    QCOMPARE(shown.selectSingleNode(QStringLiteral("name")).text(), QStringLiteral("Rotor"));
    QCOMPARE(entity(), QStringLiteral("product id1"));
    QCOMPARE(rowTexts(list(), 1), rowsBefore);
    QVERIFY(list()->isVisible());
    QVERIFY(m_ctrl->history().isEmpty());
}

void TestNavigation::openingAnotherDocumentClearsTheList()
{
    show(QStringLiteral("id1"));
    QVERIFY(m_ctrl->LoadProfile(path("other.xml")));
    settle();
    QVERIFY(!m_ctrl->shownInstance());
    QCOMPARE(list()->topLevelItemCount(), 0);
    QVERIFY(!list()->isVisible());
    QCOMPARE(entity(), QString());
}

void TestNavigation::viewSwitchShowsTheSameInstanceAgain()
{
    show(QStringLiteral("id5"));
    XmlDocument *before = m_ctrl->document();
    m_ctrl->setProperty("ViewMode", 1);
    settle();
    QCOMPARE(m_ctrl->document(), before);
    QVERIFY(m_ctrl->shownInstance().belongsTo(m_ctrl->document()));
    QCOMPARE(entity(), QStringLiteral("shape id5"));
    // An edit of the list now lands in the document on show.
    clickRow(list(), 0);
    QVERIFY(m_ctrl->IsEditing());
    m_ctrl->findChild<QLineEdit *>(QStringLiteral("txtEdit"))->setText(QStringLiteral("cm"));
    m_ctrl->SaveItemChanges(true);
    QCOMPARE(m_ctrl->document()->findInstance(QStringLiteral("id5")).selectSingleNode(QStringLiteral("units")).text(),
             QStringLiteral("cm"));
}

void TestNavigation::browsingWithoutEditsWritesNothing()
{
    // Files stamped long ago: any write would give them a new time.
    const QDateTime old(QDate(2001, 2, 3), QTime(4, 5, 6));
    for (const char *name : {"main.xml", "other.xml"}) {
        QFile f(path(name));
        QVERIFY(f.open(QIODevice::ReadWrite));
        QVERIFY(f.setFileTime(old, QFileDevice::FileModificationTime));
    }
    show(QStringLiteral("id1"));
    follow(QStringLiteral("made from")); // into other.xml
    QCOMPARE(m_ctrl->FileName(), path("other.xml"));
    m_ctrl->setProperty("ViewMode", 1);
    settle();
    m_ctrl->setProperty("ViewMode", 2);
    settle();
    QTest::mouseClick(back(), Qt::LeftButton);
    settle();
    QCOMPARE(m_ctrl->FileName(), path("main.xml"));
    QVERIFY(m_ctrl->SaveProfile());
    for (const char *name : {"main.xml", "other.xml"})
        QCOMPARE(QFileInfo(path(name)).lastModified(), old);
}

QTEST_MAIN(TestNavigation)
#include "tst_navigation.moc"
