#include "frmmain.h"
#include "quillon.h"
#include "savepaths.h"
#include "widgets/messagewidth.h"

#include <QActionGroup>
#include <QCloseEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QIcon>
#include <QLabel>
#include <QLocale>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QStatusBar>
#include <QTimer>

#include <cmath>
#include <memory>

namespace {

const char *const kTitle = QT_TRANSLATE_NOOP("frmMain", "Wren Explorer");

QPushButton *button(QWidget *parent, const char *name, const QString &text)
{
    auto *b = new QPushButton(text, parent);
    b->setObjectName(QLatin1String(name));
    return b;
}

QLabel *statusLabel(QWidget *parent, const char *name)
{
    auto *l = new QLabel(parent);
    l->setObjectName(QLatin1String(name));
    return l;
}

} // namespace

frmMain::frmMain(QWidget *parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(tr(kTitle));
    setWindowIcon(QIcon(QStringLiteral(":/palisade/palisade.svg")));
    setAcceptDrops(true);

    // The designed window lies between the menu bar and the status bar, at its own positions.
    frmClient = new QWidget(this);
    frmClient->setObjectName(QStringLiteral("frmClient"));
    setCentralWidget(frmClient);

    cmdOpen = button(frmClient, "cmdOpen", tr("Open..."));
    cmdSave = button(frmClient, "cmdSave", tr("Save"));
    cmdSaveAs = button(frmClient, "cmdSaveAs", tr("Save As..."));
    cmdExit = button(frmClient, "cmdExit", tr("Exit"));
    cmdOpen->setGeometry(toPx(120), toPx(120), toPx(1215), toPx(495));
    cmdSave->setGeometry(toPx(1440), toPx(120), toPx(1215), toPx(495));
    cmdSaveAs->setGeometry(toPx(2760), toPx(120), toPx(1215), toPx(495));
    cmdExit->setGeometry(toPx(4080), toPx(120), toPx(1215), toPx(495));

    ctrlEdit = QuillonCreateControl("Quillon.CtrlXMLEditor", frmClient);
    ctrlEdit->setObjectName(QStringLiteral("ctrlEdit"));
    ctrlEdit->setGeometry(0, toPx(720), toPx(9375), toPx(6015));

    fraView = new QGroupBox(tr("View"), frmClient);
    fraView->setObjectName(QStringLiteral("fraView"));
    fraView->setGeometry(toPx(5760), toPx(120), toPx(3495), toPx(615));
    fraView->setEnabled(false);
    const char *names[3] = {"optView0", "optView1", "optView2"};
    const QString captions[3] = {tr("ARM"), tr("Mapping"), tr("AIM")};
    const int lefts[3] = {225, 1200, 2640}, widths[3] = {855, 1335, 735};
    for (int i = 0; i < 3; ++i) {
        optView[i] = new QRadioButton(captions[i], fraView);
        optView[i]->setObjectName(QLatin1String(names[i]));
        optView[i]->setGeometry(toPx(lefts[i]), toPx(240), toPx(widths[i]),
                                std::max(toPx(195), optView[i]->sizeHint().height()));
        optView[i]->setEnabled(false);
        connect(optView[i], &QRadioButton::clicked, this, [this, i] { optView_Click(i); });
    }
    optView[0]->setChecked(true);

    // Tab runs along the buttons, the view options, then into the control. The frame takes no
    // focus itself: its options are what the chain has to hold.
    setTabOrder(cmdOpen, cmdSave);
    setTabOrder(cmdSave, cmdSaveAs);
    setTabOrder(cmdSaveAs, cmdExit);
    setTabOrder(cmdExit, optView[0]);
    setTabOrder(optView[0], optView[1]);
    setTabOrder(optView[1], optView[2]);
    connect(cmdOpen, &QPushButton::clicked, this, &frmMain::cmdOpen_Click);
    connect(cmdSave, &QPushButton::clicked, this, &frmMain::cmdSave_Click);
    connect(cmdSaveAs, &QPushButton::clicked, this, &frmMain::cmdSaveAs_Click);
    connect(cmdExit, &QPushButton::clicked, this, &frmMain::cmdExit_Click);
    // The title bar shows unsaved edits ("[*]").
    connect(ctrlEdit, SIGNAL(ModifiedChanged(bool)), this, SLOT(setWindowModified(bool)));

    statusBar()->setObjectName(QStringLiteral("statusBar"));
    lblFilePath = statusLabel(statusBar(), "lblFilePath");
    lblFilePath->setTextInteractionFlags(Qt::TextSelectableByMouse);
    lblInstances = statusLabel(statusBar(), "lblInstances");
    lblOpenTime = statusLabel(statusBar(), "lblOpenTime");
    statusBar()->addWidget(lblFilePath, 1);
    statusBar()->addPermanentWidget(lblInstances);
    statusBar()->addPermanentWidget(lblOpenTime);
    // The document shown changes with an open, a jump into another file, Back and Save As.
    connect(ctrlEdit, SIGNAL(FilePathChanged(QString)), this, SLOT(onDocumentChanged()));
    connect(ctrlEdit, SIGNAL(DocumentShown()), this, SLOT(onDocumentChanged()));

    createMenus();
    updateStatus(); // nothing to save yet

    showOpen = [](QWidget *owner) {
        return QFileDialog::getOpenFileName(owner, tr("Open"), QString(), savepaths::openFilter());
    };
    showSaveAs = [](QWidget *owner, const QString &start) {
        return QFileDialog::getSaveFileName(owner, tr("Save As"), start, tr("XML Files (*.xml)"));
    };
    showCompareWith = [](QWidget *owner, const QString &start) {
        return QFileDialog::getOpenFileName(owner, tr("Compare With"), start, savepaths::openFilter());
    };

    // The designed client area, and the menu and status bars around it. The smallest size
    // keeps the view frame right of the buttons and the control at its own smallest size
    // (Form_Resize gives it what the buttons row and the margins leave).
    const int chrome = menuBar()->sizeHint().height() + statusBar()->sizeHint().height();
    const QSize control = ctrlEdit->minimumSize();
    const int buttonsRight = cmdExit->geometry().right() + 1 + toPx(120);
    const int minWidth = std::max(buttonsRight + fraView->width() + toPx(250), control.width() + toPx(150));
    const int minHeight = ctrlEdit->y() + control.height() + toPx(300);
    setMinimumSize(minWidth, minHeight + chrome);
    resize(toPx(9375), toPx(6645) + chrome);
    frmClient->installEventFilter(this);
    Form_Initialize();

    const std::unique_ptr<QSettings> settings(newSettings());
    m_recent.load(*settings);
    rebuildRecentMenu();
    restoreGeometry(settings->value(QStringLiteral("geometry")).toByteArray());
    setViewMode(settings->value(QStringLiteral("view"), 0).toInt());
}

QSettings *frmMain::newSettings()
{
    return new QSettings(QStringLiteral("Wren"), QStringLiteral("Palisade"));
}

int frmMain::toPx(int twips) const
{
    const double dpi = logicalDpiX() > 0 ? logicalDpiX() : 96.0;
    return int(std::lround(twips * dpi / 1440.0));
}

int frmMain::toTwips(int px) const
{
    const double dpi = logicalDpiX() > 0 ? logicalDpiX() : 96.0;
    return int(std::lround(px * 1440.0 / dpi));
}

void frmMain::Form_Initialize()
{
    ctrlEdit->setProperty("ViewMode", 0);
}

bool frmMain::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == frmClient && event->type() == QEvent::Resize)
        Form_Resize();
    return QMainWindow::eventFilter(watched, event);
}

void frmMain::Form_Resize()
{
    // The designed window's outer size: the client area with the window's frame, where the
    // window system gives one, but without the menu and status bars.
    const QSize frame = frameGeometry().size().expandedTo(size()) - size();
    const QSize outer = frmClient->size() + frame;
    const int w = toTwips(outer.width()), h = toTwips(outer.height());
    const int left = toTwips(ctrlEdit->x()), top = toTwips(ctrlEdit->y());
    ctrlEdit->resize(toPx(std::max(0, w - 2 * left - 150)), toPx(std::max(0, h - top - 300)));
    fraView->move(toPx(std::max(0, w - toTwips(fraView->width()) - 250)), fraView->y());
}

void frmMain::cmdOpen_Click()
{
    if (!maybeSave())
        return;
    const QString path = showOpen ? showOpen(this) : QString();
    if (path.isEmpty())
        return;
    openFile(path);
}

void frmMain::openFile(const QString &path)
{
    m_strOpenFile = path;
    bool ok = false;
    QMetaObject::invokeMethod(ctrlEdit, "LoadProfile", Q_RETURN_ARG(bool, ok), Q_ARG(QString, m_strOpenFile));
    // A load the user cancelled fails with no reason: nothing to tell.
    const QString reason = ctrlEdit->property("LastError").toString();
    if (!ok && !reason.isEmpty()) {
        QMessageBox box(QMessageBox::NoIcon, tr(kTitle), tr("Error: can't open file!"),
                        QMessageBox::Ok, this);
        box.setInformativeText(reason);
        quillon::fitMessageWidth(box); // a parse error's line unbroken
        box.exec();
    }
    if (ok)
        rememberFile(ctrlEdit->property("FilePath").toString());
    updateTitle();
    enableViewChoice();
}

void frmMain::enableViewChoice()
{
    fraView->setEnabled(true);
    for (QRadioButton *o : optView)
        o->setEnabled(true);
    grpView->setEnabled(true);
}

void frmMain::cmdSave_Click()
{
    bool ok = false;
    QMetaObject::invokeMethod(ctrlEdit, "SaveProfile", Q_RETURN_ARG(bool, ok));
}

void frmMain::cmdSaveAs_Click()
{
    const QString start = savepaths::saveAsStart(ctrlEdit->property("FilePath").toString());
    const QString path = savepaths::withDefaultExtension(showSaveAs ? showSaveAs(this, start) : QString());
    if (path.isEmpty())
        return;
    bool ok = false;
    QMetaObject::invokeMethod(ctrlEdit, "SaveProfileAs", Q_RETURN_ARG(bool, ok), Q_ARG(QString, path));
    if (ok)
        rememberFile(ctrlEdit->property("FilePath").toString());
    updateTitle();
}

void frmMain::cmdExit_Click()
{
    close(); // closeEvent asks about unsaved edits
}

void frmMain::closeEvent(QCloseEvent *event)
{
    if (!maybeSave()) {
        event->ignore();
        return;
    }
    const std::unique_ptr<QSettings> settings(newSettings());
    settings->setValue(QStringLiteral("geometry"), saveGeometry());
    event->accept();
}

bool frmMain::maybeSave()
{
    if (!ctrlEdit->property("Modified").toBool())
        return true;
    const QString name = QFileInfo(ctrlEdit->property("FileName").toString()).fileName();
    QMessageBox box(QMessageBox::Warning, tr(kTitle), tr("Save changes to %1?").arg(name),
                    QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, this);
    box.setDefaultButton(QMessageBox::Save);
    switch (box.exec()) {
    case QMessageBox::Save: {
        bool ok = false;
        QMetaObject::invokeMethod(ctrlEdit, "SaveProfile", Q_RETURN_ARG(bool, ok));
        return ok;
    }
    case QMessageBox::Discard:
        return true;
    default:
        return false;
    }
}

void frmMain::updateTitle()
{
    const QString file = ctrlEdit->property("FileName").toString();
    setWindowTitle(file.isEmpty()
                       ? tr(kTitle)
                       : QStringLiteral("%1[*] \u2014 %2").arg(QFileInfo(file).fileName(), tr(kTitle)));
    setWindowModified(ctrlEdit->property("Modified").toBool());
}

void frmMain::updateStatus()
{
    const QString path = ctrlEdit->property("FilePath").toString();
    lblFilePath->setText(path);
    const qint64 ms = ctrlEdit->property("LastOpenMs").toLongLong();
    if (path.isEmpty() || ms < 0) {
        lblInstances->clear();
        lblOpenTime->clear();
    } else {
        const int n = ctrlEdit->property("InstanceCount").toInt();
        lblInstances->setText(n == 1 ? tr("1 instance")
                                     : tr("%1 instances").arg(QLocale().toString(n)));
        lblOpenTime->setText(tr("opened in %1 ms").arg(QLocale().toString(ms)));
    }
    actFind->setEnabled(!path.isEmpty());
    actCheck->setEnabled(!path.isEmpty());
    for (QAction *a : {actSave, actSaveAs, actCompare})
        a->setEnabled(!path.isEmpty());
    for (QPushButton *b : {cmdSave, cmdSaveAs})
        b->setEnabled(!path.isEmpty());
}

void frmMain::onDocumentChanged()
{
    updateTitle();
    updateStatus();
}

void frmMain::optView_Click(int index)
{
    ctrlEdit->setProperty("ViewMode", index);
    const int mode = ctrlEdit->property("ViewMode").toInt();
    showViewChoice(mode);
    const std::unique_ptr<QSettings> settings(newSettings());
    settings->setValue(QStringLiteral("view"), mode);
}

void frmMain::setViewMode(int mode)
{
    if (mode >= 0 && mode < int(optView.size()))
        optView_Click(mode);
}

// The option buttons and the View menu show the control's view.
void frmMain::showViewChoice(int mode)
{
    if (mode < 0 || mode >= int(optView.size()))
        return;
    optView[mode]->setChecked(true);
    actView[mode]->setChecked(true);
}

QString frmMain::droppedFile(const QMimeData *data)
{
    if (!data || !data->hasUrls())
        return {};
    for (const QUrl &url : data->urls()) {
        if (url.isLocalFile())
            return url.toLocalFile();
    }
    return {};
}

void frmMain::dragEnterEvent(QDragEnterEvent *event)
{
    if (!droppedFile(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void frmMain::dropEvent(QDropEvent *event)
{
    const QString path = droppedFile(event->mimeData());
    if (path.isEmpty())
        return;
    event->acceptProposedAction();
    // The drag ends first; the question about unsaved edits and the load follow.
    QTimer::singleShot(0, this, [this, path] {
        if (maybeSave())
            openFile(path);
    });
}
