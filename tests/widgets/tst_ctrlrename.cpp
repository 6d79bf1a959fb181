// The instance's menu carries "Rename Id..." to its dialog (OK only for an id that may be used)
// and on to the session.
#include "testsupport.h"
#include "widgets/ctrlxmleditor.h"

#include <QDialogButtonBox>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTest>

using namespace quillon;
using namespace testsupport;

class TestCtrlRename : public QObject {
    Q_OBJECT
private slots:
    void renameFromTheInstanceMenu();
};

void TestCtrlRename::renameFromTheInstanceMenu()
{
    ControlFixture f({});
    writeAll(f.path(QStringLiteral("r.xml")), "<uos><aim><aim-instances><p id='id1'><of><s ref='id5'/></of></p>"
                                              "<s id='id5'><n>x</n></s></aim-instances></aim></uos>");
    QVERIFY(f.open(QStringLiteral("r.xml"), 2));
    QVERIFY(f.session()->showInstance({}, QStringLiteral("id5")).isEmpty());
    settle();
    bool okAtFirst = true, okForUsed = true, okForNew = false;
    // Two timers: a timer's slot does not run again while it is still in it (the dialog's
    // loop runs inside the menu's).
    QTimer onMenu, onDialog;
    connect(&onMenu, &QTimer::timeout, [&] {
        if (auto *menu = f.ctrl->findChild<QMenu *>(QStringLiteral("mnuProperties")); menu && menu->isVisible()) {
            QAction *rename = menu->findChild<QAction *>(QStringLiteral("actRenameId"));
            menu->setActiveAction(rename);
            rename ? QTest::keyClick(menu, Qt::Key_Return) : void(menu->close());
        }
    });
    connect(&onDialog, &QTimer::timeout, [&] {
        if (auto *dlg = qobject_cast<QDialog *>(QApplication::activeModalWidget());
            dlg && dlg->objectName() == QLatin1String("dlgRenameId")) {
            QPushButton *ok = dlg->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok);
            auto *text = dlg->findChild<QLineEdit *>(QStringLiteral("txtNewId"));
            okAtFirst = ok->isEnabled();
            text->setText(QStringLiteral("id1"));
            okForUsed = ok->isEnabled();
            text->setText(QStringLiteral("id9"));
            okForNew = ok->isEnabled();
            ok->click();
        }
    });
    for (QTimer *t : {&onMenu, &onDialog})
        t->start(10);
    emit f.list()->customContextMenuRequested(QPoint(4, f.list()->viewport()->height() - 4));
    QVERIFY(!okAtFirst);
    QVERIFY(!okForUsed);
    QVERIFY(okForNew);
    QCOMPARE(firstAttributeText(f.session()->shownInstance()), QStringLiteral("id9"));
    QCOMPARE(f.session()
                 ->document()
                 ->findInstance(QStringLiteral("id1"))
                 .selectSingleNode(QStringLiteral("of/s"))
                 .attributeNamed(QStringLiteral("ref"))
                 .text(),
             QStringLiteral("id9"));
}

QTEST_MAIN(TestCtrlRename)
#include "tst_ctrlrename.moc"
