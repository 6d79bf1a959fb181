// "Edit Link...": re-pointing a reference row through the picker, with ref or href written as
// the documents' places require.
#include "ctrlxmleditor.h"
#include "dlgref.h"
#include "testsupport.h"
#include "treemodel.h"

#include <QLineEdit>
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
    void sameDocumentWritesRef_data();
    void sameDocumentWritesRef();
    void otherDocumentWritesHref_data();
    void otherDocumentWritesHref();
    void bareNamesShareTheirFolder();
    void instanceRowKeepsItsElementInTheArmView_data();
    void instanceRowKeepsItsElementInTheArmView();
    void armSingleRowReplacesTheReferenceElement();
    void rowReferringElsewhereKeepsItsCaption();
    void rowWithoutItsElementChangesNothing_data();
    void rowWithoutItsElementChangesNothing();
    void cancelChangesNothing();
    void pickerOpensOnTheReferencedDocument();
    void relativeReferenceStaysRelative();
    void invalidChoiceLeavesTheDocumentAsItWas();
    void savedLinkResolvesAfterReload();

private:
    void showId1(int mode);
    // ARM view: the single row of the reference element under "arm/PART/HAS ATTR".
    void showArmSingleRow();
    // Clicks a tree node, or a row of the property list, and lets the load complete.
    void click(const QString &node);
    void follow(const QString &caption);
    // Opens "Edit Link..." on the row and answers the picker: address to load (empty: as
    // offered), then the row of that type and id (empty: Cancel).
    void editLink(const QString &caption, const QString &address, const QString &type, const QString &id);
    QTreeWidget *list() const { return m_ctrl->findChild<QTreeWidget *>(QStringLiteral("ctrlProperties")); }
    QString path(const QString &name) const { return m_dir->filePath(name); }
    XmlNode id1Child(const char *name) const
    {
        return m_ctrl->document()->findInstance(QStringLiteral("id1")).selectSingleNode(QLatin1String(name));
    }

    QTemporaryDir *m_dir = nullptr;
    CtrlXMLEditor *m_ctrl = nullptr;
    QString m_offered; // the address the picker showed when it came up
    QStringList m_boxes; // message boxes that came up while the picker was used
    bool m_answerBoxes = true;
    std::function<void()> m_beforeOk; // runs while the picker is up
};

void TestLinkEdit::init()
{
    m_dir = new QTemporaryDir;
    copyData(*m_dir, {QStringLiteral("link/a.xml"), QStringLiteral("link/b.xml")});
    QDir(m_dir->path()).mkdir(QStringLiteral("elsewhere"));
    QFile::copy(QStringLiteral(TEST_DATA_DIR "/link/elsewhere/c.xml"), path(QStringLiteral("elsewhere/c.xml")));
    m_ctrl = new CtrlXMLEditor;
    m_ctrl->resize(900, 700);
    m_ctrl->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_ctrl));
}

void TestLinkEdit::cleanup()
{
    delete m_ctrl;
    delete m_dir;
}

void TestLinkEdit::showId1(int mode)
{
    m_ctrl->setProperty("ViewMode", mode);
    QVERIFY(m_ctrl->LoadProfile(path(QStringLiteral("a.xml"))));
    settle();
    QVERIFY(clickNode(m_ctrl->findChild<QTreeView *>(QStringLiteral("ctrlTree")), QStringLiteral("mapping/m/product")));
    QCOMPARE(rowTexts(list(), 0), (QStringList{"name", "of shape", "made from"}));
}

void TestLinkEdit::showArmSingleRow()
{
    m_ctrl->setProperty("ViewMode", 0);
    QVERIFY(m_ctrl->LoadProfile(path(QStringLiteral("a.xml"))));
    settle();
    click(QStringLiteral("arm/PART/HAS ATTR"));
}

void TestLinkEdit::click(const QString &node)
{
    QVERIFY2(clickNode(m_ctrl->findChild<QTreeView *>(QStringLiteral("ctrlTree")), node), qPrintable(node));
    settle();
}

void TestLinkEdit::follow(const QString &caption)
{
    const int row = int(rowTexts(list(), 0).indexOf(caption));
    QVERIFY2(row >= 0, qPrintable(caption));
    clickRow(list(), row);
    settle();
}

void TestLinkEdit::editLink(const QString &caption, const QString &address, const QString &type, const QString &id)
{
    const int row = int(rowTexts(list(), 0).indexOf(caption));
    QVERIFY(row >= 0);
    m_offered.clear();
    m_boxes.clear();
    QTimer poll;
    bool loadedRequested = false;
    poll.setInterval(10);
    connect(&poll, &QTimer::timeout, [&] {
        if (m_beforeOk && qobject_cast<dlgRef *>(QApplication::activeModalWidget()))
            m_beforeOk();
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget()); box && m_answerBoxes) {
            m_boxes << box->text();
            box->done(QMessageBox::Ok);
            return;
        }
        auto *dlg = qobject_cast<dlgRef *>(QApplication::activeModalWidget());
        if (!dlg)
            return;
        if (m_offered.isEmpty())
            m_offered = dlg->txtAddress()->text();
        if (!address.isEmpty() && !loadedRequested) {
            dlg->txtAddress()->setText(address);
            dlg->findChild<QPushButton *>(QStringLiteral("cmdLoad"))->click();
            loadedRequested = true;
            return;
        }
        if (id.isEmpty()) {
            dlg->findChild<QPushButton *>(QStringLiteral("CancelButton"))->click();
            return;
        }
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
    clickRow(list(), row, 1, Qt::RightButton);
    auto *menu = m_ctrl->findChild<QMenu *>(QStringLiteral("mnuEditLink"));
    QTRY_VERIFY(menu->isVisible());
    menu->actions().at(0)->trigger();
    menu->hide();
    poll.stop();
}

void TestLinkEdit::sameDocumentWritesRef_data()
{
    QTest::addColumn<int>("mode");
    QTest::newRow("Mapping") << 1;
    QTest::newRow("AIM") << 2;
}

void TestLinkEdit::sameDocumentWritesRef()
{
    QFETCH(int, mode);
    showId1(mode);
    editLink(QStringLiteral("of shape"), QString(), QStringLiteral("shape"), QStringLiteral("id6"));
    QCOMPARE(m_offered, path(QStringLiteral("a.xml")));
    const XmlNode ofShape = id1Child("of_shape");
    QCOMPARE(ofShape.childNodes().size(), 1);
    const XmlNode ref = ofShape.firstChild();
    QCOMPARE(ref.nodeName(), QStringLiteral("shape"));
    QCOMPARE(ref.namespaceURI(), QStringLiteral("urn:wren:test"));
    QCOMPARE(ref.attributeCount(), 1);
    QCOMPARE(ref.attribute(0).nodeName(), QStringLiteral("ref"));
    QCOMPARE(ref.attribute(0).text(), QStringLiteral("id6"));
    QCOMPARE(list()->topLevelItem(1)->text(0), QStringLiteral("of shape"));
    QCOMPARE(list()->topLevelItem(1)->text(1), QStringLiteral("id6"));
    // The tree was rebuilt with only its first root node expanded.
    auto *tree = m_ctrl->findChild<QTreeView *>(QStringLiteral("ctrlTree"));
    const TreeModel *model = m_ctrl->treeModel();
    QVERIFY(tree->isExpanded(model->index(0, 0)));
    QVERIFY(!tree->isExpanded(model->index(1, 0)));
    QVERIFY(!tree->isExpanded(findNode(model, QStringLiteral("mapping/m"))));
}

void TestLinkEdit::otherDocumentWritesHref_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("expected");
    QTest::newRow("same folder") << "b.xml" << "b.xml#idB2";
    QTest::newRow("another folder") << "elsewhere/c.xml" << "%1/elsewhere/c.xml#idB2";
#if defined(Q_OS_LINUX)
    QTest::newRow("differs only in case") << "A.XML" << "A.XML#idB2";
#endif
}

void TestLinkEdit::otherDocumentWritesHref()
{
    QFETCH(QString, target);
    QFETCH(QString, expected);
    if (target == QLatin1String("A.XML"))
        QFile::copy(path(QStringLiteral("b.xml")), path(target));
    showId1(1);
    editLink(QStringLiteral("of shape"), path(target), QStringLiteral("raw_material"), QStringLiteral("idB2"));
    const XmlNode ref = id1Child("of_shape").firstChild();
    QCOMPARE(ref.nodeName(), QStringLiteral("raw_material"));
    QCOMPARE(ref.attribute(0).nodeName(), QStringLiteral("href"));
    QCOMPARE(ref.attribute(0).text(), expected.arg(m_dir->path()));
    // The property keeps its element, so the row keeps its caption.
    QCOMPARE(id1Child("of_shape").childNodes().size(), 1);
    QCOMPARE(list()->topLevelItem(1)->text(0), QStringLiteral("of shape"));
    QCOMPARE(list()->topLevelItem(1)->text(1), expected.arg(m_dir->path()));
}

void TestLinkEdit::bareNamesShareTheirFolder()
{
    const QString cwd = QDir::currentPath();
    QDir::setCurrent(m_dir->path());
    m_ctrl->setProperty("ViewMode", 1);
    QVERIFY(m_ctrl->LoadProfile(QStringLiteral("a.xml")));
    settle();
    QVERIFY(clickNode(m_ctrl->findChild<QTreeView *>(QStringLiteral("ctrlTree")), QStringLiteral("mapping/m/product")));
    editLink(QStringLiteral("of shape"), QStringLiteral("b.xml"), QStringLiteral("raw_material"), QStringLiteral("idB1"));
    QDir::setCurrent(cwd);
    QCOMPARE(id1Child("of_shape").firstChild().attribute(0).text(), QStringLiteral("b.xml#idB1"));
}

void TestLinkEdit::instanceRowKeepsItsElementInTheArmView_data()
{
    QTest::addColumn<QString>("node");
    QTest::addColumn<bool>("followSingleRow");
    QTest::addColumn<QString>("instance");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("property");
    // product id1, reached by following the single row of its reference element
    QTest::newRow("followed single row") << "arm/PART/HAS ATTR" << true << "id1" << "of shape" << "of_shape";
    // shape id5, the referenced value of an ARM attribute
    QTest::newRow("attribute value") << "arm/PART/SHAPE OF" << false << "id5" << "owner" << "owner";
}

void TestLinkEdit::instanceRowKeepsItsElementInTheArmView()
{
    QFETCH(QString, node);
    QFETCH(bool, followSingleRow);
    QFETCH(QString, instance);
    QFETCH(QString, caption);
    QFETCH(QString, property);
    auto showInstance = [&] {
        click(node);
        if (followSingleRow)
            follow(QStringLiteral("product"));
        QCOMPARE(firstAttributeText(m_ctrl->shownInstance()), instance);
    };
    m_ctrl->setProperty("ViewMode", 0);
    QVERIFY(m_ctrl->LoadProfile(path(QStringLiteral("a.xml"))));
    settle();
    showInstance();
    const QStringList captions = rowTexts(list(), 0);
    editLink(caption, QString(), QStringLiteral("shape"), QStringLiteral("id6"));
    QVERIFY(m_boxes.isEmpty());

    // Only the reference inside the property was replaced.
    const XmlNode shown = m_ctrl->document()->findInstance(instance);
    QCOMPARE(m_ctrl->shownInstance(), shown);
    const XmlNode prop = shown.selectSingleNode(property);
    QVERIFY(prop);
    QCOMPARE(prop.childNodes().size(), 1);
    QCOMPARE(prop.firstChild().nodeName(), QStringLiteral("shape"));
    QCOMPARE(prop.firstChild().attribute(0).nodeName(), QStringLiteral("ref"));
    QCOMPARE(prop.firstChild().attribute(0).text(), QStringLiteral("id6"));
    QVERIFY(!shown.selectSingleNode(QStringLiteral("shape")));
    QCOMPARE(rowTexts(list(), 0), captions);

    // Written and read again, the row is there and leads to the new target.
    QVERIFY(m_ctrl->SaveProfile());
    const QByteArray saved = readAll(path(QStringLiteral("a.xml")));
    QVERIFY(saved.contains(QStringLiteral("<%1>").arg(property).toUtf8()));
    QVERIFY(m_ctrl->LoadProfile(path(QStringLiteral("a.xml"))));
    settle();
    showInstance();
    QCOMPARE(rowTexts(list(), 0), captions);
    QCOMPARE(list()->topLevelItem(int(captions.indexOf(caption)))->text(1), QStringLiteral("id6"));
    follow(caption);
    QCOMPARE(m_ctrl->shownInstance(), m_ctrl->document()->findInstance(QStringLiteral("id6")));
}

void TestLinkEdit::armSingleRowReplacesTheReferenceElement()
{
    showArmSingleRow();
    QCOMPARE(rowTexts(list(), 0), QStringList{"product"});
    QCOMPARE(rowTexts(list(), 1), QStringList{"id1"});
    editLink(QStringLiteral("product"), QString(), QStringLiteral("shape"), QStringLiteral("id6"));
    QVERIFY(m_boxes.isEmpty());
    const XmlNode holder = m_ctrl->document()->selectSingleNode(QStringLiteral("/uos/arm/PART/HAS_ATTR"));
    QCOMPARE(holder.childNodes().size(), 1);
    QCOMPARE(holder.firstChild().nodeName(), QStringLiteral("shape"));
    QCOMPARE(holder.firstChild().attribute(0).text(), QStringLiteral("id6"));
    // The row stands for the new element and takes its name.
    QCOMPARE(m_ctrl->shownInstance(), holder.firstChild());
    QCOMPARE(rowTexts(list(), 0), QStringList{"shape"});
    QCOMPARE(rowTexts(list(), 1), QStringList{"id6"});

    // A second edit of the same row replaces the element that the first one placed.
    editLink(QStringLiteral("shape"), QString(), QStringLiteral("shape"), QStringLiteral("id5"));
    QVERIFY(m_boxes.isEmpty());
    QCOMPARE(holder.childNodes().size(), 1);
    QCOMPARE(holder.firstChild().attribute(0).text(), QStringLiteral("id5"));

    QVERIFY(m_ctrl->SaveProfile());
    QVERIFY(m_ctrl->LoadProfile(path(QStringLiteral("a.xml"))));
    settle();
    click(QStringLiteral("arm/PART/HAS ATTR"));
    QCOMPARE(rowTexts(list(), 0), QStringList{"shape"});
    QCOMPARE(rowTexts(list(), 1), QStringList{"id5"});
    follow(QStringLiteral("shape"));
    QCOMPARE(m_ctrl->shownInstance(), m_ctrl->document()->findInstance(QStringLiteral("id5")));
}

void TestLinkEdit::rowReferringElsewhereKeepsItsCaption()
{
    showId1(1);
    editLink(QStringLiteral("made from"), path(QStringLiteral("elsewhere/c.xml")), QStringLiteral("raw_material"),
             QStringLiteral("idB2"));
    QCOMPARE(rowTexts(list(), 0), (QStringList{"name", "of shape", "made from"}));
    const QString elsewhere = path(QStringLiteral("elsewhere/c.xml#idB2"));
    QCOMPARE(list()->topLevelItem(2)->text(1), elsewhere);
    QCOMPARE(id1Child("made_from").firstChild().attribute(0).text(), elsewhere);
    // The row still finds its element: a second edit of it works.
    editLink(QStringLiteral("made from"), path(QStringLiteral("a.xml")), QStringLiteral("shape"), QStringLiteral("id6"));
    QCOMPARE(m_offered, path(QStringLiteral("elsewhere/c.xml")));
    QVERIFY(m_boxes.isEmpty());
    const XmlNode madeFrom = id1Child("made_from");
    QCOMPARE(madeFrom.childNodes().size(), 1);
    QCOMPARE(madeFrom.firstChild().nodeName(), QStringLiteral("shape"));
    QCOMPARE(madeFrom.firstChild().attribute(0).nodeName(), QStringLiteral("ref"));
    QCOMPARE(madeFrom.firstChild().attribute(0).text(), QStringLiteral("id6"));
    QCOMPARE(list()->topLevelItem(2)->text(0), QStringLiteral("made from"));
    QCOMPARE(list()->topLevelItem(2)->text(1), QStringLiteral("id6"));
}

void TestLinkEdit::rowWithoutItsElementChangesNothing_data()
{
    QTest::addColumn<int>("mode");
    QTest::newRow("ARM") << 0;
    QTest::newRow("Mapping") << 1;
}

void TestLinkEdit::rowWithoutItsElementChangesNothing()
{
    QFETCH(int, mode);
    if (mode == 0) {
        showArmSingleRow();
        follow(QStringLiteral("product"));
    } else {
        showId1(mode);
    }
    XmlNode shown = m_ctrl->shownInstance();
    QCOMPARE(firstAttributeText(shown), QStringLiteral("id1"));
    // While the picker is up, the instance loses its properties: the row's element is gone.
    QByteArray whilePicking;
    m_beforeOk = [&] {
        shown.setText(QString());
        whilePicking = m_ctrl->document()->toBytes();
    };
    editLink(QStringLiteral("of shape"), QString(), QStringLiteral("shape"), QStringLiteral("id6"));
    m_beforeOk = nullptr;
    QCOMPARE(m_boxes, QStringList{"Unexpected NULL element"});
    QVERIFY(whilePicking.contains("<product id=\"id1\"></product>"));
    QCOMPARE(m_ctrl->document()->toBytes(), whilePicking);
    QCOMPARE(m_ctrl->shownInstance(), shown);
    QVERIFY(shown.parentNode());
}

void TestLinkEdit::cancelChangesNothing()
{
    showId1(1);
    editLink(QStringLiteral("of shape"), QString(), QStringLiteral("shape"), QStringLiteral("id6"));
    const QByteArray afterFirst = m_ctrl->document()->toBytes();
    // A Cancel on the same picker never applies the earlier choice again.
    editLink(QStringLiteral("made from"), QString(), QString(), QString());
    QCOMPARE(m_ctrl->document()->toBytes(), afterFirst);
    QCOMPARE(list()->topLevelItem(2)->text(1), QStringLiteral("b.xml#idB1"));
}

void TestLinkEdit::pickerOpensOnTheReferencedDocument()
{
    showId1(1);
    // "b.xml#idB1" is offered as written, and read next to a.xml wherever the working
    // folder is.
    editLink(QStringLiteral("made from"), QString(), QString(), QString());
    QCOMPARE(m_offered, QStringLiteral("b.xml"));
    QVERIFY(m_boxes.isEmpty()); // read from the b.xml next to a.xml
    editLink(QStringLiteral("of shape"), QString(), QString(), QString());
    QCOMPARE(m_offered, path(QStringLiteral("a.xml")));
}

void TestLinkEdit::relativeReferenceStaysRelative()
{
    copyData(*m_dir, {QStringLiteral("link/sub_ref.xml")});
    QDir(m_dir->path()).mkdir(QStringLiteral("sub"));
    QVERIFY(QFile::copy(QStringLiteral(TEST_DATA_DIR "/link/sub/p.xml"), path(QStringLiteral("sub/p.xml"))));
    // The working folder has no sub/p.xml: only the document's own folder does.
    QTemporaryDir elsewhere;
    const QString cwd = QDir::currentPath();
    QDir::setCurrent(elsewhere.path());
    m_ctrl->setProperty("ViewMode", 1);
    QVERIFY(m_ctrl->LoadProfile(path(QStringLiteral("sub_ref.xml"))));
    settle();
    click(QStringLiteral("mapping/m/product"));
    QCOMPARE(rowTexts(list(), 1), (QStringList{"Bolt", "sub/p.xml#id31"}));
    editLink(QStringLiteral("part of"), QString(), QStringLiteral("assembly"), QStringLiteral("id32"));
    QDir::setCurrent(cwd);
    QCOMPARE(m_offered, QStringLiteral("sub/p.xml"));
    QVERIFY(m_boxes.isEmpty());
    QCOMPARE(rowTexts(list(), 0), (QStringList{"name", "part of"}));
    QCOMPARE(rowTexts(list(), 1), (QStringList{"Bolt", "sub/p.xml#id32"}));
    QVERIFY(m_ctrl->SaveProfile());
    QVERIFY(readAll(path(QStringLiteral("sub_ref.xml"))).contains("<assembly href=\"sub/p.xml#id32\"/>"));
    // Followed, it leads to the document next to it.
    follow(QStringLiteral("part of"));
    QCOMPARE(m_ctrl->FileName(), path(QStringLiteral("sub/p.xml")));
    QCOMPARE(firstAttributeText(m_ctrl->shownInstance()), QStringLiteral("id32"));
}

void TestLinkEdit::invalidChoiceLeavesTheDocumentAsItWas()
{
    showId1(1);
    // While the picker is up, the row's element loses the reference it held: nothing is left
    // to replace, and the command must change nothing at all.
    QByteArray whilePicking;
    m_beforeOk = [&] {
        id1Child("of_shape").setText(QString());
        whilePicking = m_ctrl->document()->toBytes();
    };
    editLink(QStringLiteral("of shape"), QString(), QStringLiteral("shape"), QStringLiteral("id6"));
    m_beforeOk = nullptr;
    QVERIFY(whilePicking.contains("<of_shape/>"));
    QCOMPARE(m_ctrl->document()->toBytes(), whilePicking);
    QCOMPARE(list()->topLevelItem(1)->text(1), QStringLiteral("id5"));
}

void TestLinkEdit::savedLinkResolvesAfterReload()
{
    showId1(1);
    editLink(QStringLiteral("of shape"), QString(), QStringLiteral("shape"), QStringLiteral("id6"));
    QVERIFY(m_ctrl->SaveProfile());
    QVERIFY(m_ctrl->LoadProfile(path(QStringLiteral("a.xml"))));
    settle();
    QVERIFY(clickNode(m_ctrl->findChild<QTreeView *>(QStringLiteral("ctrlTree")), QStringLiteral("mapping/m/product")));
    clickRow(list(), 1);
    QCOMPARE(m_ctrl->shownInstance(), m_ctrl->document()->findInstance(QStringLiteral("id6")));
}

QTEST_MAIN(TestLinkEdit)
#include "tst_linkedit.moc"
