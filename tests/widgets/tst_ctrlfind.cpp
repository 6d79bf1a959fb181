// The control's "Find" and "Compare" tabs: Ctrl+Shift+F opens Find, a result chosen shows its
// instance with its row current, as a followed reference; CompareWith, called by name, lists the
// changes on the "Compare" tab, and a click shows the instance.
#include "testsupport.h"

#include <QPushButton>
#include <QTabWidget>
#include <QTest>

using namespace quillon;
using namespace testsupport;

class TestCtrlFind : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        f = new ControlFixture({QStringLiteral("refs/main.xml")});
        QVERIFY(f->exposed);
        QVERIFY(f->open(QStringLiteral("main.xml"), 2));
        QVERIFY(f->click(QStringLiteral("aim/aim-instances/product")));
        QCOMPARE(f->entity(), QStringLiteral("product id1"));
    }
    void cleanup()
    {
        delete f;
        f = nullptr;
    }
    void findShowsTheRowOfAResult();
    void compareWithListsTheChanges();

private:
    ControlFixture *f = nullptr;
    QString currentTab() const
    {
        auto *tabs = f->w<QTabWidget>("ctrlTab");
        return tabs->tabText(tabs->currentIndex());
    }
    void expectShownThenBack(const QString &entity)
    {
        QCOMPARE(currentTab(), QStringLiteral("STEP"));
        QCOMPARE(f->entity(), entity);
        QTest::mouseClick(f->w<QPushButton>("cmdBack"), Qt::LeftButton);
        settle();
        QCOMPARE(f->entity(), QStringLiteral("product id1"));
    }
};

void TestCtrlFind::findShowsTheRowOfAResult()
{
    f->ctrl->activateWindow(); // the control's keys are those of the active window
    QVERIFY(QTest::qWaitForWindowActive(f->ctrl));
    f->tree()->setFocus();
    QTest::keyClick(f->ctrl->windowHandle(), Qt::Key_F, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(currentTab(), QStringLiteral("Find"));
    QLineEdit *query = f->w<QLineEdit>("txtFindValue");
    QCOMPARE(QApplication::focusWidget(), query);
    QTest::keyClicks(query, QStringLiteral("round"));
    QTest::keyClick(query, Qt::Key_Return);
    QTreeView *results = f->w<QTreeView>("lstFind");
    QTRY_COMPARE(rowTexts(results, 3), QStringList{"Round"});
    results->setFocus();
    results->setCurrentIndex(results->model()->index(0, 0));
    QTest::keyClick(results, Qt::Key_Return);
    settle();
    QCOMPARE(f->list()->currentIndex().data().toString(), QStringLiteral("name"));
    expectShownThenBack(QStringLiteral("shape id2"));
}

void TestCtrlFind::compareWithListsTheChanges()
{
    const QString old = f->path(QStringLiteral("old.xml"));
    QFile file(old);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(readAll(f->path(QStringLiteral("main.xml"))).replace("Round", "Square"));
    file.close();
    bool ok = false;
    QVERIFY(QMetaObject::invokeMethod(f->ctrl, "CompareWith", Q_RETURN_ARG(bool, ok), Q_ARG(QString, old)));
    QVERIFY(ok);
    QCOMPARE(currentTab(), QStringLiteral("Compare"));
    QTreeView *changes = f->w<QTreeView>("lstCompare");
    QCOMPARE(rowTexts(changes, 0), QStringList{"shape"});
    clickRow(changes, 0, 0, Qt::LeftButton, 24);
    settle();
    expectShownThenBack(QStringLiteral("shape id2"));
    // Enter on a row does what the click does.
    f->w<QTabWidget>("ctrlTab")->setCurrentIndex(f->w<QTabWidget>("ctrlTab")->indexOf(changes->parentWidget()));
    changes->setFocus();
    changes->setCurrentIndex(changes->model()->index(0, 0));
    QTest::keyClick(changes, Qt::Key_Return);
    settle();
    expectShownThenBack(QStringLiteral("shape id2"));

    MessageCapture messages;
    QVERIFY(QMetaObject::invokeMethod(f->ctrl, "CompareWith", Q_RETURN_ARG(bool, ok),
                                      Q_ARG(QString, f->path(QStringLiteral("none.xml")))));
    QVERIFY(!ok);
    QCOMPARE(messages.messages.size(), 1);
    QCOMPARE(messages.messages[0].title, QStringLiteral("Error"));
}

QTEST_MAIN(TestCtrlFind)
#include "tst_ctrlfind.moc"
