// The host window, driven through its buttons, menus and keys; its command line, parsed and
// run as the built program.
#include "commandline.h"
#include "widgets/ctrlxmleditor.h"
#include "picker/dlgref.h"
#include "picker/instancelistmodel.h"
#include "frmmain.h"
#include "recentfiles.h"
#include "savepaths.h"
#include "testsupport.h"
#include "session/treemodel.h"

#include <QAction>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSettings>
#include <QStatusBar>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QUndoStack>

#include <pugixml.hpp>

#include <memory>

using namespace quillon;
using namespace testsupport;

class TestFrmMain : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void startsEmptyInTheArmView();
    void openLoadsAndEnablesTheViewChoice();
    void cancelledOpenChangesNothing();
    void failedOpenSaysSoWithTheReason();
    void cancelledOpenSaysNothing();
    void saveWritesTheDocument();
    void focusBackReadsAFileChangedElsewhere();
    void resizeStretchesTheControlAndKeepsTheFrameRight();
    void tabRunsFromTheHostsButtonsIntoTheControl();
    void exitAndCloseAskAboutUnsavedEdits_data();
    void exitAndCloseAskAboutUnsavedEdits();
    void openAsksBeforeDroppingEdits();
    void saveAsWritesTheNewFileAndShowsItsName();

    // Menus and keys
    void commandsDoWhatTheirButtonsDo_data();
    void commandsDoWhatTheirButtonsDo();
    void viewMenuAndOptionButtonsStayInStep();
    void undoAndRedoFollowTheControlsStack();
    void findInstanceShowsTheChoiceAndBackReturns();
    void findInstanceCancelledChangesNothing();
    void aboutNamesTheVersions();
    // Status bar, drop, settings
    void statusBarDescribesTheDocumentShown();
    void expandAllOfADeepDocumentStopsAndSaysSo();
    void droppedFileOpensAfterTheQuestion();
    void dragOfNoLocalFileIsRefused();
    void recentFilesKeepEightMostRecentFirst();
    void savePaths_data();
    void savePaths();
    void recentFilesMenuOpensAndDropsMissingFiles();
    void settingsCarryViewGeometryAndRecentFiles();
    // Command line
    void commandLineIsParsed_data();
    void commandLineIsParsed();
    void checkOptionTakesFiles();
    void programAnswersWithoutADisplay_data();
    void programAnswersWithoutADisplay();

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
    QAction *action(const char *name) const { return m_win->findChild<QAction *>(QLatin1String(name)); }
    QLabel *label(const char *name) const { return m_win->findChild<QLabel *>(QLatin1String(name)); }
    QString path(const char *name) const { return m_dir->filePath(QLatin1String(name)); }
    // A command through its menu item, or through its key as the user presses it.
    void run(const char *actionName, const QKeySequence &key, bool viaKey)
    {
        if (viaKey) {
            // Message boxes and the wait window come and go: the window is made active again.
            QApplication::setActiveWindow(m_win);
            QVERIFY(QTest::qWaitForWindowActive(m_win));
            QWidget *focus = QApplication::focusWidget();
            QTest::keySequence(focus ? focus : m_win, key);
        } else {
            QAction *a = action(actionName);
            QVERIFY2(a, actionName);
            a->trigger();
        }
        settle();
    }
    // A window made anew, as at the next start of the program.
    void restart()
    {
        delete m_win;
        m_win = new frmMain;
        m_win->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_win));
    }
    // The entries of File > Open Recent.
    QStringList recentMenu() const
    {
        QStringList files;
        for (QAction *a : m_win->findChild<QMenu *>(QStringLiteral("mnuRecent"))->actions()) {
            if (a->objectName().startsWith(QLatin1String("actRecent")) && a->data().isValid())
                files << a->data().toString();
        }
        return files;
    }
    // Answers "Select Instance": chooses the instance `type` `id` with OK, or Cancel when id is empty.
    void pickInstance(const QString &type, const QString &id)
    {
        auto *poll = new QTimer(m_win);
        poll->setInterval(10);
        connect(poll, &QTimer::timeout, poll, [poll, type, id] {
            auto *dlg = qobject_cast<dlgRef *>(QApplication::activeModalWidget());
            if (!dlg || dlg->instanceModel()->rowCount() == 0)
                return;
            poll->stop();
            poll->deleteLater();
            if (id.isEmpty()) {
                dlg->findChild<QPushButton *>(QStringLiteral("CancelButton"))->click();
                return;
            }
            auto *view = dlg->findChild<QAbstractItemView *>(QStringLiteral("lstInstances"));
            const QAbstractItemModel *model = view->model();
            for (int r = 0; r < model->rowCount(); ++r) {
                if (model->index(r, 0).data().toString() == type && model->index(r, 1).data().toString() == id)
                    view->setCurrentIndex(model->index(r, 0));
            }
            dlg->findChild<QPushButton *>(QStringLiteral("OKButton"))->click();
        });
        poll->start();
    }
    void drop(const QList<QUrl> &urls)
    {
        QMimeData data;
        data.setUrls(urls);
        // As a drag does: the window takes the drag on entering, then the drop.
        QDragEnterEvent enter(QPoint(50, 50), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(m_win, &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent event(QPointF(50, 50), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(m_win, &event);
        QVERIFY(event.isAccepted());
        settle();
    }

    QTemporaryDir m_settingsDir;
    QTemporaryDir *m_dir = nullptr;
    frmMain *m_win = nullptr;
};

void TestFrmMain::initTestCase()
{
    // The program's settings go to a folder of this test, never to the user's.
    QStandardPaths::setTestModeEnabled(true);
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_settingsDir.path());
    const std::unique_ptr<QSettings> settings(frmMain::newSettings());
    QVERIFY2(settings->fileName().startsWith(m_settingsDir.path()), qPrintable(settings->fileName()));
}

void TestFrmMain::init()
{
    std::unique_ptr<QSettings>(frmMain::newSettings())->clear();
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

void TestFrmMain::tabRunsFromTheHostsButtonsIntoTheControl()
{
    QCOMPARE(QApplication::focusWidget(), button("cmdOpen")); // the window's first focus
    openVia(path("main.xml"));
    QTest::mouseClick(opt(1), Qt::LeftButton);
    settle();
    // An instance shown and a reference followed: the list and Back are in the chain too.
    auto *list = control()->findChild<QTreeView *>(QStringLiteral("ctrlProperties"));
    QVERIFY(clickNode(control()->findChild<QTreeView *>(QStringLiteral("ctrlTree")),
                      QStringLiteral("mapping/by ref/product")));
    settle();
    clickRow(list, int(rowTexts(list, 0).indexOf(QStringLiteral("of shape"))));
    settle();
    QApplication::setActiveWindow(m_win);
    QVERIFY(QTest::qWaitForWindowActive(m_win));
    button("cmdOpen")->setFocus();
    QStringList reached;
    for (int i = 0; i < 8; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        reached << QApplication::focusWidget()->objectName().remove(QRegularExpression(QStringLiteral("\\d$")));
    }
    // Which of the view options takes the focus is the style's choice.
    QCOMPARE(reached, QStringList({"cmdSave", "cmdSaveAs", "cmdExit", "optView", "qt_tabwidget_tabbar", "ctrlTree",
                                   "ctrlProperties", "cmdBack"}));
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

void TestFrmMain::focusBackReadsAFileChangedElsewhere()
{
    const QString path = m_dir->filePath(QStringLiteral("main.xml"));
    openVia(path);
    writeAll(path, readAll(path).replace("<name>Housing</name>", "<name>Lid</name>"));
    QEvent activate(QEvent::WindowActivate); // the window has the user again
    QApplication::sendEvent(m_win, &activate);
    settle();
    const XmlNode id2 = control()->session()->document()->findInstance(QStringLiteral("id2"));
    QCOMPARE(id2.selectSingleNode(QStringLiteral("name")).text(), QStringLiteral("Lid"));
}

void TestFrmMain::resizeStretchesTheControlAndKeepsTheFrameRight()
{
    m_win->resize(m_win->width() + 200, m_win->height() + 100);
    settle();
    // The designed window is what lies between the menu bar and the status bar, with the frame.
    const QWidget *client = m_win->findChild<QWidget *>(QStringLiteral("frmClient"));
    QVERIFY(client->geometry().top() >= m_win->menuBar()->geometry().bottom());
    QVERIFY(client->geometry().bottom() <= m_win->statusBar()->geometry().top());
    const QSize outer = client->size() + m_win->frameGeometry().size().expandedTo(m_win->size()) - m_win->size();
    QVERIFY(qAbs(twips(control()->width()) - (twips(outer.width()) - 150)) <= 30);
    QVERIFY(qAbs(twips(control()->height()) - (twips(outer.height()) - 720 - 300)) <= 30);
    QVERIFY(qAbs(twips(outer.width()) - twips(frame()->geometry().right() + 1) - 250) <= 30);
    // At its smallest the window still overlaps nothing: the buttons, the view frame and the
    // control each keep their own place, and the control is not below its own smallest size.
    m_win->resize(10, 10);
    settle();
    QVERIFY(control()->width() >= control()->minimumSizeHint().width());
    QVERIFY(control()->height() >= control()->minimumSizeHint().height());
    QList<QWidget *> children{control(), frame()};
    for (const char *name : {"cmdOpen", "cmdSave", "cmdSaveAs", "cmdExit"})
        children << button(name);
    // (The view frame's bottom edge lies on the control's top at every size, by design: that
    // pair is left out.)
    for (int i = 0; i < children.size(); ++i)
        for (int j = std::max(i + 1, 2); j < children.size(); ++j)
            QVERIFY2(!children[i]->geometry().intersects(children[j]->geometry()),
                     qPrintable(children[i]->objectName() + QLatin1String(" / ") + children[j]->objectName()));
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
        mc.answerText = QStringLiteral("Overwrite"); // what took the file's place
        openVia(m_dir->filePath(QStringLiteral("other.xml")));
        QCOMPARE(mc.texts(),
                 (QStringList{"Save changes to main.xml?",
                              "main.xml was changed by another program since it was opened.", "Can't save main.xml."}));
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
    QVERIFY(!button("cmdSaveAs")->isEnabled() && !button("cmdSave")->isEnabled()); // nothing shown
    QVERIFY(!m_win->findChild<QAction *>(QStringLiteral("actSaveAs"))->isEnabled());
    openVia(path);
    QVERIFY(button("cmdSaveAs")->isEnabled() && button("cmdSave")->isEnabled());
    QCOMPARE(m_win->windowTitle(), QStringLiteral("main.xml[*] \u2014 Wren Explorer"));
    const QByteArray before = readAll(path);
    renameHousingToLid();
    const QString copy = m_dir->filePath(QStringLiteral("copy.xml"));
    QString start;
    m_win->showSaveAs = [&start, copy](QWidget *, const QString &from) {
        start = from;
        return copy.chopped(4); // no extension: ".xml" is added
    };
    QTest::mouseClick(button("cmdSaveAs"), Qt::LeftButton);
    QCOMPARE(start, path);
    QCOMPARE(readAll(path), before);
    QCOMPARE(readAll(copy), QByteArray(before).replace("<name>Housing</name>", "<name>Lid</name>"));
    QCOMPARE(control()->FileName(), copy);
    QVERIFY(!control()->Modified());
    QCOMPARE(m_win->windowTitle(), QStringLiteral("copy.xml[*] \u2014 Wren Explorer"));
    QVERIFY(!m_win->isWindowModified());
}

// ---- Menus and keys --------------------------------------------------------------------------

void TestFrmMain::commandsDoWhatTheirButtonsDo_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<bool>("viaKey");
    for (const char *command : {"Open", "Save", "SaveAs", "Exit"}) {
        QTest::addRow("%s, menu", command) << QString::fromLatin1(command) << false;
        QTest::addRow("%s, key", command) << QString::fromLatin1(command) << true;
    }
}

void TestFrmMain::commandsDoWhatTheirButtonsDo()
{
    QFETCH(QString, command);
    QFETCH(bool, viaKey);
    const QString main = path("main.xml"), other = path("other.xml");
    if (command == QLatin1String("Open")) {
        openVia(main);
        renameHousingToLid();
        // As the button: the question about the edits first, then the dialog.
        MessageCapture mc;
        mc.answer = QMessageBox::Discard;
        m_win->showOpen = [other](QWidget *) { return other; };
        run("actOpen", QKeySequence(Qt::CTRL | Qt::Key_O), viaKey);
        QCOMPARE(mc.texts(), QStringList{"Save changes to main.xml?"});
        QCOMPARE(control()->FileName(), other);
        QVERIFY(frame()->isEnabled());
        QCOMPARE(m_win->windowTitle(), QStringLiteral("other.xml[*] \u2014 Wren Explorer"));
    } else if (command == QLatin1String("Save")) {
        openVia(main);
        renameHousingToLid();
        run("actSave", QKeySequence(Qt::CTRL | Qt::Key_S), viaKey);
        QVERIFY(readAll(main).contains("<name>Lid</name>"));
        QVERIFY(!control()->Modified());
    } else if (command == QLatin1String("SaveAs")) {
        openVia(main);
        renameHousingToLid();
        const QString copy = path("copy.xml");
        m_win->showSaveAs = [copy](QWidget *, const QString &) { return copy; };
        run("actSaveAs", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S), viaKey);
        QVERIFY(readAll(copy).contains("<name>Lid</name>"));
        QVERIFY(!readAll(main).contains("<name>Lid</name>"));
        QCOMPARE(control()->FileName(), copy);
        QCOMPARE(m_win->windowTitle(), QStringLiteral("copy.xml[*] \u2014 Wren Explorer"));
    } else {
        openVia(main);
        renameHousingToLid();
        {
            MessageCapture mc;
            mc.answer = QMessageBox::Cancel;
            run("actExit", QKeySequence(Qt::CTRL | Qt::Key_Q), viaKey);
            QCOMPARE(mc.texts(), QStringList{"Save changes to main.xml?"});
            QVERIFY(m_win->isVisible());
        }
        MessageCapture mc;
        mc.answer = QMessageBox::Discard;
        run("actExit", QKeySequence(Qt::CTRL | Qt::Key_Q), viaKey);
        QVERIFY(!m_win->isVisible());
    }
}

void TestFrmMain::viewMenuAndOptionButtonsStayInStep()
{
    // Before a document, as the option buttons: not to be chosen.
    for (int i = 0; i < 3; ++i)
        QVERIFY(!action(QByteArray("actView" + QByteArray::number(i)).constData())->isEnabled());
    QVERIFY(action("actView0")->isChecked());
    openVia(path("main.xml"));
    auto inStep = [this](int mode) {
        QCOMPARE(control()->property("ViewMode").toInt(), mode);
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(opt(i)->isChecked(), i == mode);
            QCOMPARE(action(QByteArray("actView" + QByteArray::number(i)).constData())->isChecked(), i == mode);
        }
    };
    run("actView2", QKeySequence(Qt::CTRL | Qt::Key_3), true);
    inStep(2);
    QTest::mouseClick(opt(1), Qt::LeftButton);
    settle();
    inStep(1);
    run("actView0", QKeySequence(Qt::CTRL | Qt::Key_1), false);
    inStep(0);
    run("actView1", QKeySequence(Qt::CTRL | Qt::Key_2), true);
    inStep(1);
    // The menu item of the view shown changes nothing.
    XmlDocument *doc = control()->session()->document();
    run("actView1", QKeySequence(Qt::CTRL | Qt::Key_2), false);
    inStep(1);
    QCOMPARE(control()->session()->document(), doc);
}

void TestFrmMain::undoAndRedoFollowTheControlsStack()
{
    openVia(path("main.xml"));
    QAction *undo = action("actUndo"), *redo = action("actRedo");
    QVERIFY(undo && redo);
    // Nothing done yet: nothing to undo or redo, whether or not the control keeps a stack.
    QVERIFY(!undo->isEnabled());
    QVERIFY(!redo->isEnabled());
    auto *stack = control()->findChild<QUndoStack *>(QStringLiteral("undoStack"));
    if (!stack)
        QSKIP("The control keeps no undo stack: Undo and Redo stay disabled.");
    control()->session()->showInstance({}, QStringLiteral("id2"));
    const int row = int(columnTexts(control()->session()->rows(), 0).indexOf(QStringLiteral("name")));
    QVERIFY(row >= 0);
    control()->session()->commitEdit(row, QStringLiteral("Lid"));
    QVERIFY(control()->Modified());
    QVERIFY(undo->isEnabled());
    run("actUndo", QKeySequence(Qt::CTRL | Qt::Key_Z), false);
    QVERIFY(!control()->Modified());
    QVERIFY(redo->isEnabled());
    run("actRedo", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), false);
    QVERIFY(control()->Modified());
}

void TestFrmMain::findInstanceShowsTheChoiceAndBackReturns()
{
    QVERIFY(!action("actFind")->isEnabled()); // no document yet
    QVERIFY(!action("actCheck")->isEnabled());
    QVERIFY(!action("actCompare")->isEnabled());
    openVia(path("main.xml"));
    QVERIFY(action("actFind")->isEnabled());
    // Check References and Compare With bring the control's report forward.
    auto *tabs = control()->findChild<QTabWidget *>(QStringLiteral("ctrlTab"));
    run("actCheck", QKeySequence(), false);
    QCOMPARE(tabs->tabText(tabs->currentIndex()), QStringLiteral("Check"));
    m_win->showCompareWith = [this](QWidget *, const QString &) { return path("main.xml"); };
    run("actCompare", QKeySequence(), false);
    QCOMPARE(tabs->tabText(tabs->currentIndex()), QStringLiteral("Compare"));
    tabs->setCurrentIndex(0);
    control()->session()->showInstance({}, QStringLiteral("id1"));
    QCOMPARE(control()->session()->entity(), QStringLiteral("product id1"));
    QVERIFY(!action("actBack")->isEnabled());

    pickInstance(QStringLiteral("shape"), QStringLiteral("id5"));
    run("actFind", QKeySequence(Qt::CTRL | Qt::Key_F), true);
    QCOMPARE(control()->session()->entity(), QStringLiteral("shape id5"));
    QCOMPARE(control()->session()->history().entries(), QStringList{path("main.xml") + QStringLiteral("#id1")});
    // Back is enabled with "<< Back", and does what it does.
    QVERIFY(action("actBack")->isEnabled());
    QVERIFY(control()->findChild<QPushButton *>(QStringLiteral("cmdBack"))->isEnabled());
    run("actBack", QKeySequence(Qt::ALT | Qt::Key_Left), true);
    QCOMPARE(control()->session()->entity(), QStringLiteral("product id1"));
    QVERIFY(!action("actBack")->isEnabled());
    QVERIFY(!control()->findChild<QPushButton *>(QStringLiteral("cmdBack"))->isEnabled());

    // From the menu: an instance of the other document, which is loaded; Back comes home.
    pickInstance(QStringLiteral("product"), QStringLiteral("id2"));
    run("actFind", QKeySequence(), false);
    QCOMPARE(control()->session()->entity(), QStringLiteral("product id2"));
    run("actBack", QKeySequence(), false);
    QCOMPARE(control()->session()->entity(), QStringLiteral("product id1"));
}

void TestFrmMain::findInstanceCancelledChangesNothing()
{
    openVia(path("main.xml"));
    control()->session()->showInstance({}, QStringLiteral("id1"));
    pickInstance(QString(), QString());
    run("actFind", QKeySequence(), false);
    // The picker listed the document shown, not a read of its file.
    QCOMPARE(dlgRef::instance(control())->listedStamp(), control()->session()->document()->changeStamp());
    QCOMPARE(control()->session()->entity(), QStringLiteral("product id1"));
    QVERIFY(control()->session()->history().isEmpty());
    QVERIFY(!action("actBack")->isEnabled());
}

void TestFrmMain::aboutNamesTheVersions()
{
    MessageCapture mc;
    run("actAbout", QKeySequence(), false);
    QCOMPARE(mc.messages.size(), 1);
    QCOMPARE(mc.messages[0].title, QStringLiteral("About Wren Explorer"));
    QCOMPARE(mc.messages[0].text, QStringLiteral("Wren Explorer " PALISADE_VERSION));
    const int v = PUGIXML_VERSION;
    const QString pugixml = QStringLiteral("pugixml %1.%2").arg(v / 1000).arg(v % 1000 / 10);
    QVERIFY2(mc.messages[0].informative.contains(pugixml), qPrintable(mc.messages[0].informative));
    QVERIFY(mc.messages[0].informative.contains(QStringLiteral("Qt %1").arg(QLatin1String(qVersion()))));
}

// ---- Status bar, drop, settings ----------------------------------------------------------------

void TestFrmMain::expandAllOfADeepDocumentStopsAndSaysSo()
{
    // 40,000 levels (280 kB): more than the view's layout, which recurses per open level, takes.
    const int levels = 40000;
    writeAll(path("deep.xml"),
             "<uos>" + QByteArray("<a>").repeated(levels) + QByteArray("</a>").repeated(levels) + "</uos>");
    m_win->setViewMode(1);
    openVia(path("deep.xml"));
    auto *tree = control()->findChild<QTreeView *>(QStringLiteral("ctrlTree"));
    const TreeModel *model = control()->session()->treeModel();
    tree->setCurrentIndex(model->index(0, 0));
    QTest::keyClick(tree, Qt::Key_Asterisk);
    settle(); // the layout
    QCOMPARE(m_win->statusBar()->currentMessage(),
             QStringLiteral("Expanding stopped at %1 levels or %2 nodes; the rest stays closed.")
                 .arg(QLocale().toString(10000), QLocale().toString(100000)));
    // Node n of the chain stands n levels deep.
    QVERIFY(tree->isExpanded(model->indexOfNode(9999)));
    QVERIFY(!tree->isExpanded(model->indexOfNode(10000)));
    QCOMPARE(tree->indexBelow(model->indexOfNode(9999)), model->indexOfNode(10000)); // laid out
    tree->expand(model->indexOfNode(10000)); // nor by other means
    QVERIFY(!tree->isExpanded(model->indexOfNode(10000)));
}

void TestFrmMain::statusBarDescribesTheDocumentShown()
{
    QVERIFY(label("lblFilePath")->text().isEmpty());
    auto shows = [&](const QString &file) {
        QCOMPARE(label("lblFilePath")->text(), QFileInfo(file).absoluteFilePath());
        const int n = countAimInstances(readAll(file));
        QCOMPARE(label("lblInstances")->text(),
                 n == 1 ? QStringLiteral("1 instance") : QStringLiteral("%1 instances").arg(QLocale().toString(n)));
        const QRegularExpressionMatch m =
            QRegularExpression(QStringLiteral("^opened in (\\d+) ms$")).match(label("lblOpenTime")->text());
        QVERIFY2(m.hasMatch(), qPrintable(label("lblOpenTime")->text()));
        QCOMPARE(m.captured(1).toLongLong(), control()->property("LastOpenMs").toLongLong());
    };
    const QString main = path("main.xml"), other = path("other.xml");
    openVia(main);
    shows(main);
    // A failed open leaves it as it was.
    writeAll(path("bad.xml"), "<uos><a></uos>");
    {
        MessageCapture mc;
        openVia(path("bad.xml"));
    }
    shows(main);
    // A jump into another file shows that file, as Back does the first.
    control()->session()->showInstance({}, QStringLiteral("id1"));
    control()->session()->showInstance(other, QStringLiteral("id21"));
    settle();
    shows(other);
    QCOMPARE(m_win->windowTitle(), QStringLiteral("other.xml[*] \u2014 Wren Explorer"));
    run("actBack", QKeySequence(), false);
    shows(main);
}

void TestFrmMain::droppedFileOpensAfterTheQuestion()
{
    const QString main = path("main.xml"), other = path("other.xml");
    drop({QUrl::fromLocalFile(main)});
    QCOMPARE(control()->FileName(), main);
    QVERIFY(frame()->isEnabled());
    QCOMPARE(m_win->recentFiles().files(), QStringList{main});
    renameHousingToLid();
    {
        MessageCapture mc;
        mc.answer = QMessageBox::Cancel;
        drop({QUrl::fromLocalFile(other)});
        QCOMPARE(mc.texts(), QStringList{"Save changes to main.xml?"});
        QCOMPARE(control()->FileName(), main);
        QVERIFY(control()->Modified());
    }
    MessageCapture mc;
    mc.answer = QMessageBox::Save;
    // Of several files, the first local one.
    drop({QUrl(QStringLiteral("https://example.com/a.xml")), QUrl::fromLocalFile(other), QUrl::fromLocalFile(main)});
    QCOMPARE(mc.texts(), QStringList{"Save changes to main.xml?"});
    QVERIFY(readAll(main).contains("<name>Lid</name>"));
    QCOMPARE(control()->FileName(), other);
}

void TestFrmMain::dragOfNoLocalFileIsRefused()
{
    auto accepted = [this](QMimeData *data) {
        QDragEnterEvent event(QPoint(50, 50), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
        event.setAccepted(false);
        QApplication::sendEvent(m_win, &event);
        return event.isAccepted();
    };
    QMimeData text;
    text.setText(QStringLiteral("main.xml"));
    QVERIFY(!accepted(&text));
    QMimeData web;
    web.setUrls({QUrl(QStringLiteral("https://example.com/a.xml"))});
    QVERIFY(!accepted(&web));
    QMimeData file;
    file.setUrls({QUrl::fromLocalFile(path("main.xml"))});
    QVERIFY(accepted(&file));
}

void TestFrmMain::savePaths_data()
{
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<QString>("saved");
    QTest::newRow("no extension") << "/d/copy" << "/d/copy.xml";
    QTest::newRow("extension kept") << "/d/copy.stpx" << "/d/copy.stpx";
    QTest::newRow("other extension kept") << "/d/copy.txt" << "/d/copy.txt";
    QTest::newRow("dot in the folder only") << "/d.v2/copy" << "/d.v2/copy.xml";
    QTest::newRow("leading dot") << "/d/.copy" << "/d/.copy.xml";
    QTest::newRow("trailing dot") << "/d/copy." << "/d/copy.xml";
    QTest::newRow("cancelled") << "" << "";
}

void TestFrmMain::savePaths()
{
    QFETCH(QString, chosen);
    QFETCH(QString, saved);
    QCOMPARE(savepaths::withDefaultExtension(chosen), saved);
}

void TestFrmMain::recentFilesKeepEightMostRecentFirst()
{
    RecentFiles recent;
    QStringList expected;
    for (int i = 0; i < 10; ++i) {
        const QString f = path(QByteArray("f" + QByteArray::number(i) + ".xml").constData());
        recent.add(f);
        expected.prepend(f);
    }
    expected = expected.mid(0, 8);
    QCOMPARE(recent.files(), expected);
    // Again: to the front, once; the same file by another name is the same entry.
    recent.add(path("f5.xml"));
    QCOMPARE(recent.files().first(), path("f5.xml"));
    QCOMPARE(recent.files().count(path("f5.xml")), 1);
    QCOMPARE(recent.files().size(), 8);
    recent.add(m_dir->path() + QStringLiteral("/sub/../f7.xml"));
    QCOMPARE(recent.files().first(), path("f7.xml"));
    QCOMPARE(recent.files().size(), 8);
    // A relative name is kept as the file it names.
    QVERIFY(QDir::setCurrent(m_dir->path()));
    recent.add(QStringLiteral("rel.xml"));
    QCOMPARE(recent.files().first(), QFileInfo(path("rel.xml")).absoluteFilePath());
    recent.remove(QStringLiteral("rel.xml"));
    QVERIFY(!recent.files().contains(QFileInfo(path("rel.xml")).absoluteFilePath()));
    // A name held twice shows its folder; the others show the name alone.
    RecentFiles twice;
    twice.add(path("a/main.xml"));
    twice.add(path("only.xml"));
    twice.add(path("b/main.xml"));
    QCOMPARE(twice.captions(), (QStringList{"main.xml (" + QDir::toNativeSeparators(path("b")) + ")", "only.xml",
                                            "main.xml (" + QDir::toNativeSeparators(path("a")) + ")"}));

    // Stored and read back alike; a stored list with repeats and too many is cleaned.
    const std::unique_ptr<QSettings> settings(frmMain::newSettings());
    recent.save(*settings);
    RecentFiles again;
    again.load(*settings);
    QCOMPARE(again.files(), recent.files());
    QStringList stored;
    for (int i = 0; i < 12; ++i)
        stored << path(QByteArray("g" + QByteArray::number(i % 10) + ".xml").constData());
    settings->setValue(QStringLiteral("recentFiles"), stored);
    again.load(*settings);
    QCOMPARE(again.files(), stored.mid(0, 8));
}

void TestFrmMain::recentFilesMenuOpensAndDropsMissingFiles()
{
    const QString main = path("main.xml"), other = path("other.xml");
    QVERIFY(!m_win->findChild<QMenu *>(QStringLiteral("mnuRecent"))->isEnabled());
    openVia(main);
    openVia(other);
    openVia(main);
    QCOMPARE(recentMenu(), (QStringList{main, other}));
    // A failed open is not remembered.
    writeAll(path("bad.xml"), "<uos><a></uos>");
    {
        MessageCapture mc;
        openVia(path("bad.xml"));
    }
    QCOMPARE(recentMenu(), (QStringList{main, other}));
    run("actRecent1", QKeySequence(), false);
    QCOMPARE(control()->FileName(), other);
    QCOMPARE(recentMenu(), (QStringList{other, main}));
    // A file gone since is said so and leaves the list; the document shown stays.
    QVERIFY(QFile::remove(main));
    MessageCapture mc;
    run("actRecent1", QKeySequence(), false);
    QCOMPARE(mc.texts(), QStringList{main + QStringLiteral(" no longer exists.")});
    QCOMPARE(recentMenu(), QStringList{other});
    QCOMPARE(control()->FileName(), other);
    run("actRecentClear", QKeySequence(), false);
    QVERIFY(recentMenu().isEmpty());
    QVERIFY(!m_win->findChild<QMenu *>(QStringLiteral("mnuRecent"))->isEnabled());
}

void TestFrmMain::settingsCarryViewGeometryAndRecentFiles()
{
    const QString main = path("main.xml");
    openVia(main);
    run("actView2", QKeySequence(), false);
    m_win->resize(m_win->width() + 123, m_win->height() + 45);
    settle();
    const QSize size = m_win->size();
    QVERIFY(m_win->close());
    restart();
    QCOMPARE(m_win->size(), size);
    QCOMPARE(control()->property("ViewMode").toInt(), 2);
    QVERIFY(opt(2)->isChecked());
    QVERIFY(action("actView2")->isChecked());
    QCOMPARE(recentMenu(), QStringList{main});
    // The view given at start (--view) wins over the one stored, and is stored in turn.
    m_win->setViewMode(1);
    QVERIFY(opt(1)->isChecked());
    QVERIFY(action("actView1")->isChecked());
    restart();
    QCOMPARE(control()->property("ViewMode").toInt(), 1);
}

// ---- Command line ----------------------------------------------------------------------------

void TestFrmMain::commandLineIsParsed_data()
{
    using A = palisade::Invocation::Action;
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("action");
    QTest::addColumn<int>("view");
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("error");
    const QString none;
    QTest::addRow("nothing") << QStringList{} << int(A::OpenWindow) << -1 << none << none;
    QTest::addRow("file") << QStringList{"doc.xml"} << int(A::OpenWindow) << -1 << "doc.xml" << none;
    QTest::addRow("--help") << QStringList{"--help"} << int(A::ShowHelp) << -1 << none << none;
    QTest::addRow("-h with a file") << QStringList{"-h", "doc.xml"} << int(A::ShowHelp) << -1 << none << none;
    QTest::addRow("--version") << QStringList{"--version"} << int(A::ShowVersion) << -1 << none << none;
    QTest::addRow("--view arm") << QStringList{"--view", "arm", "d.xml"} << int(A::OpenWindow) << 0 << "d.xml" << none;
    QTest::addRow("--view=Mapping") << QStringList{"--view=Mapping"} << int(A::OpenWindow) << 1 << none << none;
    QTest::addRow("--view AIM") << QStringList{"d.xml", "--view", "AIM"} << int(A::OpenWindow) << 2 << "d.xml" << none;
    QTest::addRow("Qt's own option") << QStringList{"-platform", "offscreen", "d.xml"} << int(A::OpenWindow) << -1
                                     << "d.xml" << none;
    QTest::addRow("a file after --") << QStringList{"--", "--help"} << int(A::OpenWindow) << -1 << "--help" << none;
    QTest::addRow("unknown option") << QStringList{"--bogus"} << int(A::UsageError) << -1 << none
                                    << "Unknown option 'bogus'.";
    QTest::addRow("bad view") << QStringList{"--view", "tree"} << int(A::UsageError) << -1 << none
                              << "Unknown view 'tree': use arm, mapping or aim.";
    QTest::addRow("view without value") << QStringList{"--view"} << int(A::UsageError) << -1 << none
                                        << "Missing value after '--view'.";
    QTest::addRow("two files") << QStringList{"a.xml", "b.xml"} << int(A::UsageError) << -1 << none
                               << "Too many files: Palisade opens one document at a time.";
}

void TestFrmMain::commandLineIsParsed()
{
    QFETCH(QStringList, args);
    QFETCH(int, action);
    QFETCH(int, view);
    QFETCH(QString, file);
    QFETCH(QString, error);
    const palisade::Invocation inv = palisade::parseCommandLine(QStringList{"/opt/bin/Palisade"} + args);
    QCOMPARE(int(inv.action), action);
    QCOMPARE(inv.viewMode, view);
    QCOMPARE(inv.file, file);
    QCOMPARE(inv.error, error);
    QVERIFY2(inv.usage.startsWith(QLatin1String("Usage: Palisade [options] [FILE...]\n")), qPrintable(inv.usage));
}

void TestFrmMain::checkOptionTakesFiles()
{
    using A = palisade::Invocation::Action;
    palisade::Invocation inv = palisade::parseCommandLine({"Palisade", "--check", "a.xml", "--json", "b.xml"});
    QCOMPARE(int(inv.action), int(A::CheckReferences));
    QCOMPARE(inv.files, (QStringList{"a.xml", "b.xml"}));
    QVERIFY(inv.json);
    inv = palisade::parseCommandLine({"Palisade", "--check"});
    QCOMPARE(int(inv.action), int(A::UsageError));
    QCOMPARE(inv.error, QStringLiteral("--check needs at least one file."));
    inv = palisade::parseCommandLine({"Palisade", "--json", "a.xml"});
    QCOMPARE(int(inv.action), int(A::UsageError));

    inv = palisade::parseCommandLine({"Palisade", "--graph", "a.xml", "--id", "id7", "--depth", "2", "--out", "g.svg"});
    QCOMPARE(int(inv.action), int(A::ExportGraph));
    QCOMPARE(inv.file, QStringLiteral("a.xml"));
    QCOMPARE(inv.graphId, QStringLiteral("id7"));
    QCOMPARE(inv.graphDepth, 2);
    QCOMPARE(inv.graphOut, QStringLiteral("g.svg"));
    for (const QStringList &bad : {QStringList{"--graph", "a.xml", "--out", "g.svg"},
                                   QStringList{"--graph", "a.xml", "--id", "i", "--depth", "3", "--out", "g.svg"},
                                   QStringList{"--id", "i", "a.xml"}})
        QCOMPARE(int(palisade::parseCommandLine(QStringList{"Palisade"} + bad).action), int(A::UsageError));
}

void TestFrmMain::programAnswersWithoutADisplay_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("out"); // a line stdout holds
    QTest::addColumn<QString>("err"); // a line stderr holds
    QTest::addRow("--version") << QStringList{"--version"} << 0 << "Palisade " PALISADE_VERSION << QString();
    QTest::addRow("--help") << QStringList{"--help"} << 0 << "Usage: Palisade [options] [FILE...]" << QString();
    QTest::addRow("unknown option") << QStringList{"--bogus", "doc.xml"} << 2 << QString()
                                    << "Palisade: Unknown option 'bogus'.";
    QTest::addRow("bad view") << QStringList{"--view", "x"} << 2 << QString()
                              << "Palisade: Unknown view 'x': use arm, mapping or aim.";
    QTest::addRow("--check of a file that is not there")
        << QStringList{"--check", "--json", "/nonexistent/a.xml"} << 2 << QString() << QString();
    const QString graph = QStringLiteral(TEST_DATA_DIR "/graph/a.xml");
    const QString picture = QDir::temp().filePath(QStringLiteral("palisade-test-%1.jpg").arg(QCoreApplication::applicationPid()));
    QTest::addRow("--graph to a JPEG") << QStringList{"--graph", graph, "--id", "id1", "--out", picture} << 0
                                       << QString() << QString();
    QTest::addRow("--graph to an unknown type") << QStringList{"--graph", graph, "--id", "id1", "--out", "g.gif"} << 2
                                                << QString()
                                                << "Palisade: --out names an SVG, PNG or JPEG file (.svg, .png, .jpg "
                                                   "or .jpeg).";
    const QString sample = QStringLiteral(SAMPLES_DIR "/assembly.xml");
    QTest::addRow("--diff of a version with itself") << QStringList{"--diff", sample, sample} << 0 << QString()
                                                     << QString();
    QTest::addRow("--diff of a file that is not there")
        << QStringList{"--diff", sample, "/nonexistent/a.xml"} << 2 << QString() << QString();
    QTest::addRow("--find") << QStringList{"--find", "SHAFT", sample} << 0 << "product\tid1\tname\tGear shaft"
                            << QString();
}

void TestFrmMain::programAnswersWithoutADisplay()
{
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    QFETCH(QString, out);
    QFETCH(QString, err);
    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(QLatin1String(name));
    program.setProcessEnvironment(env);
    program.start(QStringLiteral(PALISADE_EXECUTABLE), args);
    QVERIFY(program.waitForFinished(60000));
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    const QStringList stdoutLines = QString::fromLocal8Bit(program.readAllStandardOutput()).split(QLatin1Char('\n'));
    const QStringList stderrLines = QString::fromLocal8Bit(program.readAllStandardError()).split(QLatin1Char('\n'));
    QCOMPARE(program.exitCode(), exitCode);
    if (!out.isEmpty())
        QVERIFY2(stdoutLines.contains(out), qPrintable(stdoutLines.join(QLatin1Char('\n'))));
    if (!err.isEmpty()) {
        // One line, the way to the help, and nothing on stdout.
        QCOMPARE(stderrLines, (QStringList{err, "Try 'Palisade --help'.", QString()}));
        QCOMPARE(stdoutLines, QStringList{QString()});
    }
    const qsizetype outAt = args.indexOf(QStringLiteral("--out"));
    if (exitCode == 0 && outAt > 0) {
        // Written as its name says, and without a word from Qt.
        QFile picture(args.value(outAt + 1));
        QVERIFY(picture.open(QIODevice::ReadOnly));
        QVERIFY(picture.read(3) == QByteArray("\xFF\xD8\xFF"));
        picture.remove();
        QCOMPARE(stderrLines, QStringList{QString()});
    }
}

QTEST_MAIN(TestFrmMain)
#include "tst_frmmain.moc"
