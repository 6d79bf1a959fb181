// "Edit Link..." on screen: the menu on a reference row, the picker it opens and the address it
// offers, Cancel, and what the choice does to the row and the tree.
#include "widgets/ctrlxmleditor.h"
#include "picker/dlgref.h"
#include "testsupport.h"

#include <QMenu>
#include <QPushButton>
#include <QTest>

using namespace quillon;
using namespace testsupport;

class TestLinkEdit : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void choiceWritesRefAndRebuildsTheTree();
    void choiceFromAFolderBelowWritesItRelative();
    void cancelChangesNothing();
    void pickerOpensOnTheReferencedDocument();
    void relativeReferenceStaysRelative();
    void rowWithoutItsElementSaysSo();
    void nameOutsideTheEncodingSaysSo();

private:
    void showId1(const QString &file = QStringLiteral("a.xml"))
    {
        QVERIFY(f->open(file, 1));
        QVERIFY(f->click(QStringLiteral("mapping/m/product")));
    }
    // Opens "Edit Link..." on the row and answers the picker: address to load (empty: as
    // offered), then the row of that type and id (empty: Cancel).
    void editLink(const QString &caption, const QString &address, const QString &type, const QString &id);
    XmlNode id1Child(const char *name) const
    {
        return f->session()->document()->findInstance(QStringLiteral("id1")).selectSingleNode(QLatin1String(name));
    }

    ControlFixture *f = nullptr;
    QString m_offered; // the address the picker showed when it came up
    QStringList m_boxes; // message boxes that came up while the picker was used
    std::function<void()> m_beforeOk; // runs while the picker is up
};

void TestLinkEdit::init()
{
    f = new ControlFixture(
        {QStringLiteral("link/a.xml"), QStringLiteral("link/b.xml"), QStringLiteral("link/sub_ref.xml")});
    QVERIFY(f->exposed);
    QDir(f->dir.path()).mkdir(QStringLiteral("elsewhere"));
    QDir(f->dir.path()).mkdir(QStringLiteral("sub"));
    QFile::copy(QStringLiteral(TEST_DATA_DIR "/link/elsewhere/c.xml"), f->path(QStringLiteral("elsewhere/c.xml")));
    QFile::copy(QStringLiteral(TEST_DATA_DIR "/link/sub/p.xml"), f->path(QStringLiteral("sub/p.xml")));
}

void TestLinkEdit::cleanup()
{
    delete f;
    f = nullptr;
}

void TestLinkEdit::editLink(const QString &caption, const QString &address, const QString &type, const QString &id)
{
    const int row = int(rowTexts(f->list(), 0).indexOf(caption));
    QVERIFY(row >= 0);
    m_offered.clear();
    m_boxes.clear();
    QTimer poll;
    bool loadRequested = false;
    poll.setInterval(10);
    connect(&poll, &QTimer::timeout, [&] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            m_boxes << box->text();
            box->done(QMessageBox::Ok);
            return;
        }
        auto *dlg = qobject_cast<dlgRef *>(QApplication::activeModalWidget());
        if (!dlg)
            return;
        if (m_beforeOk)
            m_beforeOk();
        if (m_offered.isEmpty())
            m_offered = dlg->txtAddress()->text();
        if (!address.isEmpty() && !loadRequested) {
            dlg->txtAddress()->setText(address);
            dlg->findChild<QPushButton *>(QStringLiteral("cmdLoad"))->click();
            loadRequested = true;
            return;
        }
        if (id.isEmpty()) {
            dlg->findChild<QPushButton *>(QStringLiteral("CancelButton"))->click();
            return;
        }
        if (!dlg->findChild<QPushButton *>(QStringLiteral("cmdLoad"))->isEnabled())
            return; // the list is being filled from the address: a choice names that document
        auto *view = dlg->findChild<QAbstractItemView *>(QStringLiteral("lstInstances"));
        const QAbstractItemModel *model = view->model();
        for (int r = 0; r < model->rowCount(); ++r) {
            if (model->index(r, 0).data().toString() == type && model->index(r, 1).data().toString() == id) {
                view->setCurrentIndex(model->index(r, 0));
                dlg->findChild<QPushButton *>(QStringLiteral("OKButton"))->click();
                return;
            }
        }
    });
    poll.start();
    clickRow(f->list(), row, 1, Qt::RightButton);
    auto *menu = f->w<QMenu>("mnuEditLink");
    QTRY_VERIFY(menu->isVisible());
    menu->actions().at(0)->trigger();
    menu->hide();
    poll.stop();
}

void TestLinkEdit::choiceWritesRefAndRebuildsTheTree()
{
    showId1();
    const quint64 shownStamp = f->session()->document()->changeStamp();
    editLink(QStringLiteral("of shape"), QString(), QStringLiteral("shape"), QStringLiteral("id6"));
    QCOMPARE(m_offered, f->path(QStringLiteral("a.xml")));
    QCOMPARE(dlgRef::instance(f->ctrl)->listedStamp(), shownStamp); // listed from the document shown
    QVERIFY(m_boxes.isEmpty());
    const XmlNode ref = id1Child("of_shape").firstChild();
    QCOMPARE(ref.nodeName(), QStringLiteral("shape"));
    QCOMPARE(ref.attribute(0).nodeName(), QStringLiteral("ref"));
    QCOMPARE(ref.attribute(0).text(), QStringLiteral("id6"));
    QCOMPARE(rowTexts(f->list(), 0).value(1), QStringLiteral("of shape"));
    QCOMPARE(rowTexts(f->list(), 1).value(1), QStringLiteral("id6"));
    QVERIFY(f->ctrl->Modified());
    // The tree was rebuilt with only its first root node expanded.
    const TreeModel *model = f->ctrl->session()->treeModel();
    QVERIFY(f->tree()->isExpanded(model->index(0, 0)));
    QVERIFY(!f->tree()->isExpanded(model->index(1, 0)));
    QVERIFY(!f->tree()->isExpanded(findNode(model, QStringLiteral("mapping/m"))));
}

void TestLinkEdit::choiceFromAFolderBelowWritesItRelative()
{
    showId1();
    // Picked through "...", which starts in the folder of the document shown.
    QString folder;
    m_beforeOk = [&] {
        auto *dlg = qobject_cast<dlgRef *>(QApplication::activeModalWidget());
        if (!folder.isEmpty() || !dlg)
            return;
        dlg->setOpenFileHook([&](QWidget *, const QString &, const QString &start, const QString &) {
            folder = start;
            return f->path(QStringLiteral("elsewhere/c.xml"));
        });
        dlg->findChild<QPushButton *>(QStringLiteral("cmdBrowse"))->click();
    };
    editLink(QStringLiteral("made from"), QString(), QStringLiteral("raw_material"), QStringLiteral("idB2"));
    m_beforeOk = nullptr;
    QCOMPARE(folder, f->dir.path());
    const QString elsewhere = QStringLiteral("elsewhere/c.xml#idB2");
    QCOMPARE(id1Child("made_from").firstChild().attribute(0).text(), elsewhere);
    QCOMPARE(rowTexts(f->list(), 1).value(2), elsewhere);
}

void TestLinkEdit::cancelChangesNothing()
{
    showId1();
    editLink(QStringLiteral("of shape"), QString(), QStringLiteral("shape"), QStringLiteral("id6"));
    const QByteArray afterFirst = f->session()->document()->toBytes();
    // A Cancel on the same picker never applies the earlier choice again.
    editLink(QStringLiteral("made from"), QString(), QString(), QString());
    QCOMPARE(f->session()->document()->toBytes(), afterFirst);
    QCOMPARE(rowTexts(f->list(), 1).value(2), QStringLiteral("b.xml#idB1"));
}

void TestLinkEdit::pickerOpensOnTheReferencedDocument()
{
    showId1();
    // "b.xml#idB1" is offered as written, and read next to a.xml wherever the working
    // folder is.
    editLink(QStringLiteral("made from"), QString(), QString(), QString());
    QCOMPARE(m_offered, QStringLiteral("b.xml"));
    QVERIFY(m_boxes.isEmpty());
    editLink(QStringLiteral("of shape"), QString(), QString(), QString());
    QCOMPARE(m_offered, f->path(QStringLiteral("a.xml")));
}

void TestLinkEdit::relativeReferenceStaysRelative()
{
    // The working folder has no sub/p.xml: only the document's own folder does.
    QTemporaryDir elsewhere;
    const QString cwd = QDir::currentPath();
    QDir::setCurrent(elsewhere.path());
    showId1(QStringLiteral("sub_ref.xml"));
    editLink(QStringLiteral("part of"), QString(), QStringLiteral("assembly"), QStringLiteral("id32"));
    QDir::setCurrent(cwd);
    QCOMPARE(m_offered, QStringLiteral("sub/p.xml"));
    QVERIFY(m_boxes.isEmpty());
    QCOMPARE(rowTexts(f->list(), 1), (QStringList{"Bolt", "sub/p.xml#id32"}));
}

void TestLinkEdit::rowWithoutItsElementSaysSo()
{
    showId1();
    XmlNode shown = f->session()->shownInstance();
    // While the picker is up, the instance loses its properties: the row's element is gone.
    QByteArray whilePicking;
    m_beforeOk = [&] {
        if (whilePicking.isEmpty()) {
            shown.setText(QString());
            whilePicking = f->session()->document()->toBytes();
        }
    };
    editLink(QStringLiteral("of shape"), QString(), QStringLiteral("shape"), QStringLiteral("id6"));
    m_beforeOk = nullptr;
    QCOMPARE(m_boxes, QStringList{"Unexpected NULL element"});
    QCOMPARE(f->session()->document()->toBytes(), whilePicking);
}

void TestLinkEdit::nameOutsideTheEncodingSaysSo()
{
    QFile a(f->path(QStringLiteral("a.xml")));
    QVERIFY(a.open(QIODevice::ReadWrite));
    const QByteArray ascii = a.readAll().replace("UTF-8", "US-ASCII");
    QVERIFY(a.resize(0) && a.write(ascii) == ascii.size());
    a.close();
    QFile u(f->path(QStringLiteral("u.xml")));
    QVERIFY(u.open(QIODevice::WriteOnly));
    u.write("<uos><aim><aim-instances><pr\xC3\xBC"
            "fung id=\"p1\"/></aim-instances></aim></uos>\n");
    u.close();
    showId1();
    editLink(QStringLiteral("of shape"), f->path(QStringLiteral("u.xml")), QStringLiteral("prüfung"),
             QStringLiteral("p1"));
    QCOMPARE(m_boxes,
             QStringList{QStringLiteral("The name prüfung cannot be written in this document's encoding (US-ASCII).")});
}

QTEST_MAIN(TestLinkEdit)
#include "tst_linkedit.moc"
