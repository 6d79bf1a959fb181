// The menus of the host window: File, Edit, View, Go and Help, with their keys. Each command
// does what its button does; the rest reach the control by name.
#include "frmmain.h"

#include <QAction>
#include <QActionGroup>
#include <QFileInfo>
#include <QMenuBar>
#include <QMessageBox>
#include <QRadioButton>
#include <QSettings>
#include <QShortcut>
#include <QUndoStack>

#include <memory>

namespace {

// The keys the control already answers itself, while focus is inside it.
bool controlBinds(const QWidget *control, const QKeySequence &key)
{
    for (const QAction *a : control->findChildren<QAction *>()) {
        if (a->shortcuts().contains(key))
            return true;
    }
    for (const QShortcut *s : control->findChildren<QShortcut *>()) {
        if (s->keys().contains(key))
            return true;
    }
    return false;
}

} // namespace

// The key of a command. Where the control answers the same key itself, two shortcuts for one
// key would block each other: the menu then only names the key and the control keeps it.
void frmMain::bindKey(QAction *action, const QKeySequence &key)
{
    if (key.isEmpty())
        return;
    if (!controlBinds(ctrlEdit, key)) {
        action->setShortcut(key);
        return;
    }
    action->setText(action->text() + QLatin1Char('\t') + key.toString(QKeySequence::NativeText));
}

QAction *frmMain::addCommand(QMenu *menu, const char *name, const QString &text, const QKeySequence &key,
                             const std::function<void()> &run)
{
    QAction *action = menu->addAction(text);
    action->setObjectName(QLatin1String(name));
    bindKey(action, key);
    connect(action, &QAction::triggered, this, [run] { run(); });
    return action;
}

void frmMain::createMenus()
{
    menuBar()->setObjectName(QStringLiteral("menuBar"));

    QMenu *file = menuBar()->addMenu(tr("&File"));
    file->setObjectName(QStringLiteral("mnuFile"));
    addCommand(file, "actOpen", tr("&Open..."), QKeySequence(Qt::CTRL | Qt::Key_O),
               [this] { cmdOpen_Click(); });
    actSave = addCommand(file, "actSave", tr("&Save"), QKeySequence(Qt::CTRL | Qt::Key_S),
                         [this] { cmdSave_Click(); });
    actSaveAs = addCommand(file, "actSaveAs", tr("Save &As..."), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S),
               [this] { cmdSaveAs_Click(); });
    actCompare = addCommand(file, "actCompare", tr("Compare &With..."), QKeySequence(), [this] { compareWith(); });
    mnuRecent = file->addMenu(tr("Open &Recent"));
    mnuRecent->setObjectName(QStringLiteral("mnuRecent"));
    file->addSeparator();
    addCommand(file, "actExit", tr("E&xit"), QKeySequence(Qt::CTRL | Qt::Key_Q),
               [this] { cmdExit_Click(); });

    // Undo and Redo act on the control's undo stack, where it has one.
    QMenu *edit = menuBar()->addMenu(tr("&Edit"));
    edit->setObjectName(QStringLiteral("mnuEditMenu"));
    QAction *undo = nullptr, *redo = nullptr;
    if (auto *stack = ctrlEdit->findChild<QUndoStack *>(QStringLiteral("undoStack"))) {
        undo = stack->createUndoAction(edit, tr("&Undo"));
        redo = stack->createRedoAction(edit, tr("&Redo"));
    } else {
        undo = new QAction(tr("&Undo"), edit);
        redo = new QAction(tr("&Redo"), edit);
        undo->setEnabled(false);
        redo->setEnabled(false);
    }
    undo->setObjectName(QStringLiteral("actUndo"));
    redo->setObjectName(QStringLiteral("actRedo"));
    bindKey(undo, QKeySequence(Qt::CTRL | Qt::Key_Z));
    bindKey(redo, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z));
    edit->addAction(undo);
    edit->addAction(redo);

    QMenu *view = menuBar()->addMenu(tr("&View"));
    view->setObjectName(QStringLiteral("mnuView"));
    grpView = new QActionGroup(this);
    grpView->setObjectName(QStringLiteral("grpView"));
    grpView->setExclusive(true);
    const Qt::Key keys[3] = {Qt::Key_1, Qt::Key_2, Qt::Key_3};
    for (int i = 0; i < 3; ++i) {
        const QByteArray name = "actView" + QByteArray::number(i);
        actView[i] = addCommand(view, name.constData(), optView[i]->text(), QKeySequence(Qt::CTRL | keys[i]),
                                [this, i] { optView_Click(i); });
        actView[i]->setCheckable(true);
        grpView->addAction(actView[i]);
    }
    actView[0]->setChecked(true);
    // As the option buttons: usable once a document was opened.
    grpView->setEnabled(false);
    createIdsMenu(view);

    QMenu *go = menuBar()->addMenu(tr("&Go"));
    go->setObjectName(QStringLiteral("mnuGo"));
    actBack =
        addCommand(go, "actBack", tr("&Back"), QKeySequence(Qt::ALT | Qt::Key_Left), [this] { goBack(); });
    actBack->setEnabled(false);
    connect(ctrlEdit, SIGNAL(CanGoBackChanged(bool)), this, SLOT(onCanGoBackChanged(bool)));
    actFind = addCommand(go, "actFind", tr("&Find Instance..."), QKeySequence(Qt::CTRL | Qt::Key_F),
                         [this] { findInstance(); });
    actFind->setEnabled(false);
    go->addSeparator();
    actCheck = addCommand(go, "actCheck", tr("Check &References"), QKeySequence(), [this] {
        int findings = -1;
        QMetaObject::invokeMethod(ctrlEdit, "CheckReferences", Q_RETURN_ARG(int, findings));
    });
    actCheck->setEnabled(false);

    QMenu *help = menuBar()->addMenu(tr("&Help"));
    help->setObjectName(QStringLiteral("mnuHelp"));
    addCommand(help, "actAbout", tr("&About Wren Explorer"), QKeySequence(), [this] { showAbout(); });
}

// How the tree shows instance ids: the control's InstanceIds, remembered in the settings.
void frmMain::createIdsMenu(QMenu *view)
{
    view->addSeparator();
    QMenu *ids = view->addMenu(tr("Instance &Ids in the Tree"));
    ids->setObjectName(QStringLiteral("mnuInstanceIds"));
    auto *group = new QActionGroup(ids);
    const std::unique_ptr<QSettings> settings(newSettings());
    const int chosen = settings->value(QStringLiteral("instanceIds"), 1).toInt();
    const QString texts[3] = {tr("&Hidden"), tr("&After the Caption"), tr("In a &Column")};
    for (int i = 0; i < 3; ++i) {
        QAction *a = ids->addAction(texts[i]);
        a->setObjectName(QStringLiteral("actInstanceIds%1").arg(i));
        a->setCheckable(true);
        a->setChecked(i == chosen);
        group->addAction(a);
        connect(a, &QAction::triggered, this, [this, i] {
            ctrlEdit->setProperty("InstanceIds", i);
            const std::unique_ptr<QSettings> settings(newSettings());
            settings->setValue(QStringLiteral("instanceIds"), i);
        });
    }
    ctrlEdit->setProperty("InstanceIds", chosen);
}

void frmMain::onCanGoBackChanged(bool canGoBack)
{
    actBack->setEnabled(canGoBack);
}

void frmMain::goBack()
{
    QMetaObject::invokeMethod(ctrlEdit, "Back");
}

void frmMain::findInstance()
{
    bool shown = false;
    QMetaObject::invokeMethod(ctrlEdit, "FindInstance", Q_RETURN_ARG(bool, shown));
}

// The chosen file is the old version, the document shown the new one (the control's CompareWith).
void frmMain::compareWith()
{
    const QString folder = QFileInfo(ctrlEdit->property("FilePath").toString()).absolutePath();
    const QString path = showCompareWith ? showCompareWith(this, folder) : QString();
    if (path.isEmpty())
        return;
    bool compared = false;
    QMetaObject::invokeMethod(ctrlEdit, "CompareWith", Q_RETURN_ARG(bool, compared), Q_ARG(QString, path));
}

// ---- Recent files ----------------------------------------------------------------------------

void frmMain::rememberFile(const QString &path)
{
    m_recent.add(path);
    const std::unique_ptr<QSettings> settings(newSettings());
    m_recent.save(*settings);
    rebuildRecentMenu();
}

void frmMain::rebuildRecentMenu()
{
    mnuRecent->clear();
    const QStringList &files = m_recent.files();
    const QStringList captions = m_recent.captions();
    for (int i = 0; i < files.size(); ++i) {
        const QString path = files.at(i);
        QAction *a = mnuRecent->addAction(QStringLiteral("&%1 %2").arg(i + 1).arg(captions.at(i)));
        a->setObjectName(QStringLiteral("actRecent%1").arg(i));
        a->setData(path);
        a->setToolTip(path);
        a->setStatusTip(path);
        connect(a, &QAction::triggered, this, [this, path] { openRecent(path); });
    }
    if (!files.isEmpty()) {
        mnuRecent->addSeparator();
        QAction *clear = mnuRecent->addAction(tr("&Clear Menu"));
        clear->setObjectName(QStringLiteral("actRecentClear"));
        connect(clear, &QAction::triggered, this, [this] {
            m_recent.clear();
            const std::unique_ptr<QSettings> settings(newSettings());
            m_recent.save(*settings);
            rebuildRecentMenu();
        });
    }
    mnuRecent->setEnabled(!files.isEmpty());
}

void frmMain::openRecent(const QString &path)
{
    if (!QFileInfo(path).isFile()) {
        // Gone since: say so, and it leaves the list.
        QMessageBox box(QMessageBox::Warning, windowTitle(), tr("%1 no longer exists.").arg(path),
                        QMessageBox::Ok, this);
        box.setInformativeText(tr("It is removed from the recent files."));
        box.exec();
        m_recent.remove(path);
        const std::unique_ptr<QSettings> settings(newSettings());
        m_recent.save(*settings);
        rebuildRecentMenu();
        return;
    }
    if (maybeSave())
        openFile(path);
}

// ---- Help ------------------------------------------------------------------------------------

void frmMain::showAbout()
{
    const QString pugixml = ctrlEdit->property("PugixmlVersion").toString();
    QMessageBox box(QMessageBox::NoIcon, tr("About Wren Explorer"),
                    tr("Wren Explorer %1").arg(QStringLiteral(PALISADE_VERSION)), QMessageBox::Ok, this);
    box.setIconPixmap(windowIcon().pixmap(64, 64));
    box.setInformativeText(tr("Views and edits STEP product data written as XML.\n\n"
                              "Qt %1 (built with %2)\npugixml %3")
                               .arg(QString::fromLatin1(qVersion()), QStringLiteral(QT_VERSION_STR), pugixml));
    box.exec();
}
