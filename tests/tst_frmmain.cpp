// The host window, driven through its own buttons.
#include "ctrlxmleditor.h"
#include "frmmain.h"
#include "testsupport.h"
#include "treemodel.h"

#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

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
    void saveWritesTheDocument();
    void viewButtonsSwitchTheView();
    void resizeStretchesTheControlAndKeepsTheFrameRight();
    void exitClosesWithoutSaving();

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
    QVERIFY(!control()->document());
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
    QCOMPARE(control()->treeModel()->rowCount(), 3);
    QVERIFY(frame()->isEnabled());
    for (int i = 0; i < 3; ++i)
        QVERIFY(opt(i)->isEnabled());
}

void TestFrmMain::cancelledOpenChangesNothing()
{
    openVia(QString());
    QVERIFY(!control()->document());
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

void TestFrmMain::saveWritesTheDocument()
{
    const QString path = m_dir->filePath(QStringLiteral("main.xml"));
    openVia(path);
    control()->document()->findInstance(QStringLiteral("id2")).selectSingleNode(QStringLiteral("name")).setText(QStringLiteral("Lid"));
    QTest::mouseClick(button("cmdSave"), Qt::LeftButton);
    QVERIFY(readAll(path).contains("<name>Lid</name>"));
}

void TestFrmMain::viewButtonsSwitchTheView()
{
    const QString path = m_dir->filePath(QStringLiteral("main.xml"));
    openVia(path);
    XmlDocument *doc = control()->document();
    QTest::mouseClick(opt(0), Qt::LeftButton);
    QCOMPARE(control()->document(), doc); // same view: no reload
    control()->document()->findInstance(QStringLiteral("id2")).selectSingleNode(QStringLiteral("name")).setText(QStringLiteral("Lid"));
    QTest::mouseClick(opt(2), Qt::LeftButton);
    settle();
    QCOMPARE(control()->property("ViewMode").toInt(), 2);
    QVERIFY(control()->document() != doc);
    QVERIFY(readAll(path).contains("<name>Lid</name>"));
    QVERIFY(findNode(control()->treeModel(), QStringLiteral("aim/aim-instances")).isValid());
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

void TestFrmMain::exitClosesWithoutSaving()
{
    const QString path = m_dir->filePath(QStringLiteral("main.xml"));
    openVia(path);
    const QByteArray before = readAll(path);
    control()->document()->findInstance(QStringLiteral("id2")).selectSingleNode(QStringLiteral("name")).setText(QStringLiteral("Lid"));
    QTest::mouseClick(button("cmdExit"), Qt::LeftButton);
    QVERIFY(!m_win->isVisible());
    QCOMPARE(readAll(path), before);
}

QTEST_MAIN(TestFrmMain)
#include "tst_frmmain.moc"
