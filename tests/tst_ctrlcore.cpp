// The editor control's core: loading with its retry and failures, saving, the view switch,
// the wait window and the raw XML tab.
#include "ctrlxmleditor.h"
#include "dlgwait.h"
#include "testsupport.h"
#include "treemodel.h"
#include "xmlsourceview.h"

#include <QLabel>
#include <QTabWidget>
#include <QTest>

using namespace quillon;
using namespace testsupport;

class TestCtrlCore : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void createdByItsProgrammaticIdentifierOnly();
    void loadShowsTreeAddressAndHidesWaitWindow();
    void loadCompletesAfterLoadProfileReturns();
    void bareNameIsRetriedInThePreviousFolder();
    void bareNamePrefersTheFolderOfTheDocumentShown();
    void failedLoadKeepsThePreviousDocument();
    void firstFailedLoadLeavesTheControlEmpty();
    void malformedFileFailsWithAReason();
    void saveWritesTheDocumentAndNothingBeforeALoad();
    void failedSaveSaysSoAndKeepsTheFile();
    void viewModeIgnoresSameAndOutOfRange();
    void viewModeBeforeLoadOnlyStoresTheMode();
    void viewModeSavesAndRebuilds();
    void viewModeWithFailedSaveRebuildsFromMemory();
    void xmlTabReadsTheFileOnlyWhenShown();
    void callableByName();

private:
    QTemporaryDir *m_dir = nullptr;
    CtrlXMLEditor *m_ctrl = nullptr;
    QTreeView *tree() const { return m_ctrl->findChild<QTreeView *>(QStringLiteral("ctrlTree")); }
    QStringList roots() const
    {
        QStringList r;
        for (int i = 0; i < m_ctrl->treeModel()->rowCount(); ++i)
            r << m_ctrl->treeModel()->index(i, 0).data().toString();
        return r;
    }
};

void TestCtrlCore::init()
{
    m_dir = new QTemporaryDir;
    copyData(*m_dir, {QStringLiteral("nav/main.xml"), QStringLiteral("nav/other.xml")});
    m_ctrl = new CtrlXMLEditor;
    m_ctrl->resize(800, 600);
    m_ctrl->show();
}

void TestCtrlCore::cleanup()
{
    delete m_ctrl;
    delete m_dir;
}

void TestCtrlCore::createdByItsProgrammaticIdentifierOnly()
{
    QWidget *w = QuillonCreateControl("Quillon.CtrlXMLEditor", nullptr);
    QVERIFY(qobject_cast<CtrlXMLEditor *>(w));
    delete w;
    QVERIFY(!QuillonCreateControl("Quillon.Other", nullptr));
    QVERIFY(!QuillonCreateControl(nullptr, nullptr));
}

void TestCtrlCore::loadShowsTreeAddressAndHidesWaitWindow()
{
    const QString path = m_dir->filePath(QStringLiteral("main.xml"));
    QVERIFY(m_ctrl->LoadProfile(path));
    QVERIFY(dlgWait::existing());
    settle();
    QCOMPARE(roots(), (QStringList{QStringLiteral("arm"), QStringLiteral("mapping"), QStringLiteral("aim")}));
    QVERIFY(tree()->isExpanded(m_ctrl->treeModel()->index(0, 0)));
    QVERIFY(!tree()->isExpanded(m_ctrl->treeModel()->index(1, 0)));
    QCOMPARE(m_ctrl->findChild<QLabel *>(QStringLiteral("lblAddress"))->text(), path);
    QVERIFY(!dlgWait::existing()->isVisible());
}

void TestCtrlCore::loadCompletesAfterLoadProfileReturns()
{
    QVERIFY(m_ctrl->LoadProfile(m_dir->filePath(QStringLiteral("main.xml"))));
    QCOMPARE(m_ctrl->treeModel()->rowCount(), 0);
    QVERIFY(dlgWait::existing()->isVisible());
    settle();
    QCOMPARE(m_ctrl->treeModel()->rowCount(), 3);
}

void TestCtrlCore::bareNameIsRetriedInThePreviousFolder()
{
    QVERIFY(m_ctrl->LoadProfile(m_dir->filePath(QStringLiteral("main.xml"))));
    settle();
    QVERIFY(!QFile::exists(QStringLiteral("other.xml"))); // the working directory is elsewhere
    QVERIFY(m_ctrl->LoadProfile(QStringLiteral("other.xml")));
    settle();
    QCOMPARE(m_ctrl->FileName(), m_dir->filePath(QStringLiteral("other.xml")));
    QCOMPARE(roots(), QStringList{QStringLiteral("lib")});
}

void TestCtrlCore::bareNamePrefersTheFolderOfTheDocumentShown()
{
    // Another other.xml in the working folder must not stand in for the one next to main.xml.
    QTemporaryDir elsewhere;
    writeAll(elsewhere.filePath(QStringLiteral("other.xml")), "<uos><decoy/></uos>");
    const QString cwd = QDir::currentPath();
    QDir::setCurrent(elsewhere.path());
    QVERIFY(m_ctrl->LoadProfile(m_dir->filePath(QStringLiteral("main.xml"))));
    settle();
    QVERIFY(m_ctrl->LoadProfile(QStringLiteral("other.xml")));
    settle();
    QCOMPARE(m_ctrl->FileName(), m_dir->filePath(QStringLiteral("other.xml")));
    // A name that exists only as given is still found.
    QFile::remove(m_dir->filePath(QStringLiteral("other.xml")));
    QVERIFY(m_ctrl->LoadProfile(QStringLiteral("other.xml")));
    settle();
    QDir::setCurrent(cwd);
    QCOMPARE(m_ctrl->FileName(), QStringLiteral("other.xml"));
    QCOMPARE(roots(), QStringList{QStringLiteral("decoy")});
}

void TestCtrlCore::failedLoadKeepsThePreviousDocument()
{
    const QString path = m_dir->filePath(QStringLiteral("main.xml"));
    QVERIFY(m_ctrl->LoadProfile(path));
    settle();
    XmlDocument *before = m_ctrl->document();
    QVERIFY(!m_ctrl->LoadProfile(m_dir->filePath(QStringLiteral("missing.xml"))));
    QVERIFY(!m_ctrl->LoadProfile(QStringLiteral("missing.xml")));
    settle();
    QCOMPARE(m_ctrl->document(), before);
    QCOMPARE(m_ctrl->FileName(), path);
    QCOMPARE(m_ctrl->treeModel()->rowCount(), 3);
    QVERIFY(!dlgWait::existing()->isVisible());
    QVERIFY(m_ctrl->LastError().contains(QStringLiteral("missing.xml")));
    QCOMPARE(m_ctrl->findChild<XmlSourceView *>(QStringLiteral("ieXML"))->path(), path);
}

void TestCtrlCore::firstFailedLoadLeavesTheControlEmpty()
{
    QVERIFY(!m_ctrl->LoadProfile(QStringLiteral("nowhere.xml")));
    settle();
    QVERIFY(!m_ctrl->document());
    QVERIFY(m_ctrl->FileName().isEmpty());
    QCOMPARE(m_ctrl->treeModel()->rowCount(), 0);
    QVERIFY(!dlgWait::existing()->isVisible());
    QVERIFY(!m_ctrl->SaveProfile());
}

void TestCtrlCore::malformedFileFailsWithAReason()
{
    const QString bad = m_dir->filePath(QStringLiteral("bad.xml"));
    writeAll(bad, "<?xml version=\"1.0\"?>\n<uos>\n  <a>\n</uos>\n");
    QVERIFY(!m_ctrl->LoadProfile(bad));
    QVERIFY2(m_ctrl->LastError().contains(QStringLiteral("line 4")), qPrintable(m_ctrl->LastError()));
    QVERIFY(m_ctrl->LastError().contains(QStringLiteral("bad.xml")));
}

void TestCtrlCore::saveWritesTheDocumentAndNothingBeforeALoad()
{
    QVERIFY(!m_ctrl->SaveProfile());
    const QString path = m_dir->filePath(QStringLiteral("main.xml"));
    const QByteArray original = readAll(path);
    QVERIFY(m_ctrl->LoadProfile(path));
    settle();
    m_ctrl->document()->findInstance(QStringLiteral("id2")).selectSingleNode(QStringLiteral("name")).setText(QStringLiteral("Lid"));
    QVERIFY(m_ctrl->SaveProfile());
    const QByteArray saved = readAll(path);
    QVERIFY(saved.contains("<name>Lid</name>"));
    QCOMPARE(QByteArray(saved).replace("<name>Lid</name>", "<name>Housing</name>"), original);
}

void TestCtrlCore::failedSaveSaysSoAndKeepsTheFile()
{
    const QString path = m_dir->filePath(QStringLiteral("main.xml"));
    QVERIFY(m_ctrl->LoadProfile(path));
    settle();
    QVERIFY(m_ctrl->document()->documentElement().firstChild().firstChild().setText(QStringLiteral("edited")));
    // A folder now stands where the file was: nothing can be written there.
    const QByteArray original = readAll(path);
    QDir(m_dir->path()).rename(QStringLiteral("main.xml"), QStringLiteral("kept.xml"));
    QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("main.xml")));
    MessageCapture mc;
    QVERIFY(!m_ctrl->SaveProfile());
    QCOMPARE(mc.messages.size(), 1);
    QCOMPARE(mc.messages[0].title, QStringLiteral("Error"));
    QCOMPARE(mc.messages[0].icon, QMessageBox::Critical);
    QCOMPARE(mc.messages[0].text, QStringLiteral("Can't save main.xml."));
    QVERIFY(mc.messages[0].informative.contains(QStringLiteral("is not a regular file")));
    QCOMPARE(readAll(m_dir->filePath(QStringLiteral("kept.xml"))), original);
    QVERIFY(m_ctrl->Modified()); // the edit is still there to be saved elsewhere
}

void TestCtrlCore::viewModeIgnoresSameAndOutOfRange()
{
    const QString path = m_dir->filePath(QStringLiteral("main.xml"));
    QVERIFY(m_ctrl->LoadProfile(path));
    settle();
    XmlDocument *doc = m_ctrl->document();
    QFile::remove(path); // any save would bring it back
    for (int mode : {0, 3, -1}) {
        m_ctrl->setProperty("ViewMode", mode);
        QCOMPARE(m_ctrl->property("ViewMode").toInt(), 0);
    }
    QVERIFY(!QFile::exists(path));
    QCOMPARE(m_ctrl->document(), doc);
}

void TestCtrlCore::viewModeBeforeLoadOnlyStoresTheMode()
{
    m_ctrl->setProperty("ViewMode", 2);
    QVERIFY(!m_ctrl->document());
    QVERIFY(m_ctrl->LoadProfile(m_dir->filePath(QStringLiteral("main.xml"))));
    settle();
    const QModelIndex aim = m_ctrl->treeModel()->index(2, 0);
    QCOMPARE(m_ctrl->treeModel()->rowCount(aim), 1); // aim-instances, shown only in the AIM view
}

void TestCtrlCore::viewModeSavesAndRebuilds()
{
    const QString path = m_dir->filePath(QStringLiteral("main.xml"));
    QVERIFY(m_ctrl->LoadProfile(path));
    settle();
    m_ctrl->document()->findInstance(QStringLiteral("id2")).selectSingleNode(QStringLiteral("name")).setText(QStringLiteral("Lid"));
    XmlDocument *before = m_ctrl->document();
    m_ctrl->setProperty("ViewMode", 1);
    settle();
    QVERIFY(readAll(path).contains("<name>Lid</name>"));
    QCOMPARE(m_ctrl->document(), before); // the tree is built from memory, not read back
    QVERIFY(!m_ctrl->Modified());
    const QModelIndex mapping = findNode(m_ctrl->treeModel(), QStringLiteral("mapping"));
    QCOMPARE(m_ctrl->treeModel()->rowCount(mapping), 9);
    QCOMPARE(m_ctrl->treeModel()->rowCount(findNode(m_ctrl->treeModel(), QStringLiteral("aim"))), 0);
}

void TestCtrlCore::viewModeWithFailedSaveRebuildsFromMemory()
{
    const QString path = m_dir->filePath(QStringLiteral("main.xml"));
    QVERIFY(m_ctrl->LoadProfile(path));
    settle();
    m_ctrl->document()->findInstance(QStringLiteral("id2")).selectSingleNode(QStringLiteral("name")).setText(QStringLiteral("Lid"));
    XmlDocument *before = m_ctrl->document();
    QFile::remove(path);
    QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("main.xml")));
    MessageCapture mc;
    m_ctrl->setProperty("ViewMode", 2);
    settle();
    QCOMPARE(mc.messages.size(), 1);
    QCOMPARE(m_ctrl->document(), before); // not reloaded: the edit is still in memory
    QCOMPARE(m_ctrl->document()->findInstance(QStringLiteral("id2")).selectSingleNode(QStringLiteral("name")).text(),
             QStringLiteral("Lid"));
    QCOMPARE(m_ctrl->treeModel()->rowCount(findNode(m_ctrl->treeModel(), QStringLiteral("aim"))), 1);
}

void TestCtrlCore::xmlTabReadsTheFileOnlyWhenShown()
{
    const QString path = m_dir->filePath(QStringLiteral("main.xml"));
    QVERIFY(m_ctrl->LoadProfile(path));
    settle();
    auto *view = m_ctrl->findChild<XmlSourceView *>(QStringLiteral("ieXML"));
    QVERIFY(view->isStale());
    QVERIFY(view->shownText().isEmpty());
    m_ctrl->findChild<QTabWidget *>(QStringLiteral("ctrlTab"))->setCurrentIndex(1);
    settle();
    QVERIFY(!view->isStale());
    QVERIFY(view->shownText().contains(QStringLiteral("<name>Housing</name>")));
    m_ctrl->document()->findInstance(QStringLiteral("id2")).selectSingleNode(QStringLiteral("name")).setText(QStringLiteral("Lid"));
    QVERIFY(m_ctrl->SaveProfile());
    settle();
    QVERIFY(view->shownText().contains(QStringLiteral("<name>Lid</name>")));
    view->Navigate(m_dir->filePath(QStringLiteral("absent.xml")));
    settle();
    QVERIFY(view->shownText().contains(QStringLiteral("cannot be shown")));
}

void TestCtrlCore::callableByName()
{
    QWidget *w = m_ctrl;
    bool ok = false;
    QVERIFY(QMetaObject::invokeMethod(w, "LoadProfile", Q_RETURN_ARG(bool, ok),
                                      Q_ARG(QString, m_dir->filePath(QStringLiteral("main.xml")))));
    QVERIFY(ok);
    settle();
    QVERIFY(QMetaObject::invokeMethod(w, "SaveProfile", Q_RETURN_ARG(bool, ok)));
    QVERIFY(ok);
    QVERIFY(QMetaObject::invokeMethod(w, "SaveItemChanges", Q_ARG(bool, false)));
    QCOMPARE(w->property("IsEditing").toBool(), false);
    QVERIFY(w->setProperty("ViewMode", 1));
    QCOMPARE(w->property("ViewMode").toInt(), 1);
}

QTEST_MAIN(TestCtrlCore)
#include "tst_ctrlcore.moc"
