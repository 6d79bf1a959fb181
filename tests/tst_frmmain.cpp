// The host window, driven through its own buttons.
#include "ctrlxmleditor.h"
#include "frmmain.h"
#include "testsupport.h"
#include "treemodel.h"

#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

using namespace quillon;
using namespace testsupport;

class TestFrmMain : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void startsEmptyInTheArmView();
    void openLoadsAndEnablesTheViewChoice();
    void cancelledOpenChangesNothing();
    void failedOpenSaysSoWithTheReason();
    void cancelledOpenSaysNothing();
    void saveWritesTheDocument();
    void viewButtonsSwitchTheView();
    void resizeStretchesTheControlAndKeepsTheFrameRight();
    void exitAndCloseAskAboutUnsavedEdits_data();
    void exitAndCloseAskAboutUnsavedEdits();
    void openAsksBeforeDroppingEdits();
    void saveAsWritesTheNewFileAndShowsItsName();

private:
    CtrlXMLEditor *control() const { return qobject_cast<CtrlXMLEditor *>(m_win->control()); }
    QPushButton *button(const char *name) const { return m_win->findChild<QPushButton *>(QLatin1String(name)); }
    QRadioButton *opt(int i) const { return m_win->findChild<QRadioButton *>(QStringLiteral("optView%1").arg(i)); }
    QGroupBox *frame() const { return m_win->findChild<QGroupBox *>(QStringLiteral("fraView")); }
    void openVia(const QString &path)
    {
        m_win->showOpen = [path](QWidget *) { return path; };
        QTest::mouseClick(button("cmdOpen"), Qt::LeftButton);
        settle();
    }
    // An edit in memory: the name of instance id2, "Housing", becomes "Lid".
    void renameHousingToLid() const
    {
        QVERIFY(control()
                    ->session()
                    ->document()
                    ->findInstance(QStringLiteral("id2"))
                    .selectSingleNode(QStringLiteral("name"))
                    .setText(QStringLiteral("Lid")));
    }
    int twips(int px) const { return qRound(px * 1440.0 / m_win->logicalDpiX()); }

    QTemporaryDir *m_dir = nullptr;
    frmMain *m_win = nullptr;
};

void TestFrmMain::init()
{
    m_dir = new QTemporaryDir;
    copyData(*m_dir, {QStringLiteral("nav/main.xml"), QStringLiteral("nav/other.xml")});
    m_win = new frmMain;
    m_win->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_win));
}

void TestFrmMain::cleanup()
{
    delete m_win;
    delete m_dir;
}

void TestFrmMain::startsEmptyInTheArmView()
{
    QCOMPARE(m_win->windowTitle(), QStringLiteral("Wren Explorer"));
    QVERIFY(control());
    QCOMPARE(control()->property("ViewMode").toInt(), 0);
    QVERIFY(!control()->session()->document());
    QVERIFY(!frame()->isEnabled());
    QVERIFY(opt(0)->isChecked());
    QCOMPARE(opt(0)->text(), QStringLiteral("ARM"));
    QCOMPARE(opt(1)->text(), QStringLiteral("Mapping"));
    QCOMPARE(opt(2)->text(), QStringLiteral("AIM"));
    QCOMPARE(button("cmdOpen")->text(), QStringLiteral("Open..."));
    // Save before any document: nothing is written, nothing is said.
    MessageCapture mc;
    QTest::mouseClick(button("cmdSave"), Qt::LeftButton);
    QVERIFY(mc.messages.isEmpty());
}

void TestFrmMain::openLoadsAndEnablesTheViewChoice()
{
    openVia(m_dir->filePath(QStringLiteral("main.xml")));
    QCOMPARE(control()->FileName(), m_dir->filePath(QStringLiteral("main.xml")));
    QCOMPARE(control()->session()->treeModel()->rowCount(), 3);
    QVERIFY(frame()->isEnabled());
    for (int i = 0; i < 3; ++i)
        QVERIFY(opt(i)->isEnabled());
}

void TestFrmMain::cancelledOpenChangesNothing()
{
    openVia(QString());
    QVERIFY(!control()->session()->document());
    QVERIFY(!frame()->isEnabled());
}

void TestFrmMain::failedOpenSaysSoWithTheReason()
{
    const QString bad = m_dir->filePath(QStringLiteral("bad.xml"));
    writeAll(bad, "<uos><a></uos>");
    MessageCapture mc;
    openVia(bad);
    QTRY_COMPARE(mc.messages.size(), 1);
    QCOMPARE(mc.messages[0].text, QStringLiteral("Error: can't open file!"));
    QCOMPARE(mc.messages[0].title, QStringLiteral("Wren Explorer"));
    QCOMPARE(mc.messages[0].icon, QMessageBox::NoIcon);
    QVERIFY2(mc.messages[0].informative.contains(QStringLiteral("bad.xml")), qPrintable(mc.messages[0].informative));
    QVERIFY(mc.messages[0].informative.contains(QStringLiteral("line 1")));
    QVERIFY(frame()->isEnabled());
}

void TestFrmMain::cancelledOpenSaysNothing()
{
    const QString path = m_dir->filePath(QStringLiteral("main.xml"));
    openVia(path);
    const QString big = m_dir->filePath(QStringLiteral("big.xml"));
    writeSlowDocument(big);
    MessageCapture mc;
    QTimer::singleShot(0, [this] { QTest::keyClick(m_win, Qt::Key_Escape); });
    openVia(big);
    QVERIFY(mc.messages.isEmpty());
    QCOMPARE(control()->FileName(), path);
    QCOMPARE(m_win->windowTitle(), QStringLiteral("main.xml[*] \u2014 Wren Explorer"));
}

void TestFrmMain::saveWritesTheDocument()
{
    const QString path = m_dir->filePath(QStringLiteral("main.xml"));
    openVia(path);
    renameHousingToLid();
    QTest::mouseClick(button("cmdSave"), Qt::LeftButton);
    QVERIFY(readAll(path).contains("<name>Lid</name>"));
}

void TestFrmMain::viewButtonsSwitchTheView()
{
    const QString path = m_dir->filePath(QStringLiteral("main.xml"));
    openVia(path);
    XmlDocument *doc = control()->session()->document();
    QTest::mouseClick(opt(0), Qt::LeftButton);
    QCOMPARE(control()->session()->document(), doc); // same view: no reload
    renameHousingToLid();
    QTest::mouseClick(opt(2), Qt::LeftButton);
    settle();
    QCOMPARE(control()->property("ViewMode").toInt(), 2);
    QCOMPARE(control()->session()->document(), doc);
    QVERIFY(readAll(path).contains("<name>Lid</name>"));
    QVERIFY(findNode(control()->session()->treeModel(), QStringLiteral("aim/aim-instances")).isValid());
}

void TestFrmMain::resizeStretchesTheControlAndKeepsTheFrameRight()
{
    m_win->resize(m_win->width() + 200, m_win->height() + 100);
    settle();
    const QSize outer = m_win->frameGeometry().size().expandedTo(m_win->size());
    QVERIFY(qAbs(twips(control()->width()) - (twips(outer.width()) - 150)) <= 30);
    QVERIFY(qAbs(twips(control()->height()) - (twips(outer.height()) - 720 - 300)) <= 30);
    QVERIFY(qAbs(twips(outer.width()) - twips(frame()->geometry().right() + 1) - 250) <= 30);
    // The window cannot be made so small that the control's size would go negative.
    m_win->resize(10, 10);
    settle();
    QVERIFY(control()->width() > 0);
    QVERIFY(control()->height() > 0);
}

void TestFrmMain::exitAndCloseAskAboutUnsavedEdits_data()
{
    QTest::addColumn<bool>("viaExit");
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("closes");
    QTest::addColumn<bool>("written");
    for (bool viaExit : {true, false}) {
        const char *how = viaExit ? "Exit" : "close box";
        QTest::addRow("%s, Save", how) << viaExit << int(QMessageBox::Save) << true << true;
        QTest::addRow("%s, Discard", how) << viaExit << int(QMessageBox::Discard) << true << false;
        QTest::addRow("%s, Cancel", how) << viaExit << int(QMessageBox::Cancel) << false << false;
    }
}

void TestFrmMain::exitAndCloseAskAboutUnsavedEdits()
{
    QFETCH(bool, viaExit);
    QFETCH(int, answer);
    QFETCH(bool, closes);
    QFETCH(bool, written);
    const QString path = m_dir->filePath(QStringLiteral("main.xml"));
    openVia(path);
    const QByteArray before = readAll(path);
    {
        // Nothing to ask while nothing changed.
        MessageCapture mc;
        QVERIFY(m_win->close());
        QVERIFY(mc.messages.isEmpty());
        m_win->show();
    }
    renameHousingToLid();
    MessageCapture mc;
    mc.answer = QMessageBox::StandardButton(answer);
    if (viaExit)
        QTest::mouseClick(button("cmdExit"), Qt::LeftButton);
    else
        m_win->close();
    QCOMPARE(mc.texts(), QStringList{"Save changes to main.xml?"});
    QCOMPARE(mc.messages[0].title, QStringLiteral("Wren Explorer"));
    QCOMPARE(m_win->isVisible(), !closes);
    QCOMPARE(readAll(path) != before, written);
    QCOMPARE(control()->Modified(), !written);
}

void TestFrmMain::openAsksBeforeDroppingEdits()
{
    const QString path = m_dir->filePath(QStringLiteral("main.xml"));
    openVia(path);
    renameHousingToLid();
    {
        MessageCapture mc;
        mc.answer = QMessageBox::Cancel;
        openVia(m_dir->filePath(QStringLiteral("other.xml")));
        QCOMPARE(mc.texts(), QStringList{"Save changes to main.xml?"});
        QCOMPARE(control()->FileName(), path);
        QVERIFY(control()->Modified());
    }
    // A failed save keeps the document and its edits.
    QVERIFY(QFile::remove(path));
    QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("main.xml")));
    {
        MessageCapture mc;
        mc.answer = QMessageBox::Save;
        openVia(m_dir->filePath(QStringLiteral("other.xml")));
        QCOMPARE(mc.texts(), (QStringList{"Save changes to main.xml?", "Can't save main.xml."}));
        QCOMPARE(control()->FileName(), path);
        QVERIFY(control()->Modified());
    }
    MessageCapture mc;
    mc.answer = QMessageBox::Discard;
    openVia(m_dir->filePath(QStringLiteral("other.xml")));
    QCOMPARE(control()->FileName(), m_dir->filePath(QStringLiteral("other.xml")));
    QVERIFY(!control()->Modified());
    QCOMPARE(m_win->windowTitle(), QStringLiteral("other.xml[*] \u2014 Wren Explorer"));
}

void TestFrmMain::saveAsWritesTheNewFileAndShowsItsName()
{
    const QString path = m_dir->filePath(QStringLiteral("main.xml"));
    openVia(path);
    QCOMPARE(m_win->windowTitle(), QStringLiteral("main.xml[*] \u2014 Wren Explorer"));
    const QByteArray before = readAll(path);
    renameHousingToLid();
    const QString copy = m_dir->filePath(QStringLiteral("copy.xml"));
    m_win->showSaveAs = [copy](QWidget *) { return copy; };
    QTest::mouseClick(button("cmdSaveAs"), Qt::LeftButton);
    QCOMPARE(readAll(path), before);
    QCOMPARE(readAll(copy), QByteArray(before).replace("<name>Housing</name>", "<name>Lid</name>"));
    QCOMPARE(control()->FileName(), copy);
    QVERIFY(!control()->Modified());
    QCOMPARE(m_win->windowTitle(), QStringLiteral("copy.xml[*] \u2014 Wren Explorer"));
    QVERIFY(!m_win->isWindowModified());
}

QTEST_MAIN(TestFrmMain)
#include "tst_frmmain.moc"
