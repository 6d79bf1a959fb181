#include "frmmain.h"
#include "quillon.h"

#include <QCloseEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QIcon>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>

#include <cmath>

namespace {

const char *const kTitle = "Wren Explorer";

QPushButton *button(QWidget *parent, const char *name, const QString &text)
{
    auto *b = new QPushButton(text, parent);
    b->setObjectName(QLatin1String(name));
    return b;
}

} // namespace

frmMain::frmMain(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QLatin1String(kTitle));
    setWindowIcon(QIcon(QStringLiteral(":/palisade/palisade.svg")));

    cmdOpen = button(this, "cmdOpen", QStringLiteral("Open..."));
    cmdSave = button(this, "cmdSave", QStringLiteral("Save"));
    cmdSaveAs = button(this, "cmdSaveAs", QStringLiteral("Save As..."));
    cmdExit = button(this, "cmdExit", QStringLiteral("Exit"));
    cmdOpen->setGeometry(toPx(120), toPx(120), toPx(1215), toPx(495));
    cmdSave->setGeometry(toPx(1440), toPx(120), toPx(1215), toPx(495));
    cmdSaveAs->setGeometry(toPx(2760), toPx(120), toPx(1215), toPx(495));
    cmdExit->setGeometry(toPx(4080), toPx(120), toPx(1215), toPx(495));

    ctrlEdit = QuillonCreateControl("Quillon.CtrlXMLEditor", this);
    ctrlEdit->setObjectName(QStringLiteral("ctrlEdit"));
    ctrlEdit->setGeometry(0, toPx(720), toPx(9375), toPx(6015));

    fraView = new QGroupBox(QStringLiteral("View"), this);
    fraView->setObjectName(QStringLiteral("fraView"));
    fraView->setGeometry(toPx(5760), toPx(120), toPx(3495), toPx(615));
    fraView->setEnabled(false);
    const char *names[3] = {"optView0", "optView1", "optView2"};
    const QString captions[3] = {QStringLiteral("ARM"), QStringLiteral("Mapping"), QStringLiteral("AIM")};
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

    setTabOrder(cmdOpen, cmdSave);
    setTabOrder(cmdSave, cmdSaveAs);
    setTabOrder(cmdSaveAs, cmdExit);
    setTabOrder(cmdExit, fraView);
    connect(cmdOpen, &QPushButton::clicked, this, &frmMain::cmdOpen_Click);
    connect(cmdSave, &QPushButton::clicked, this, &frmMain::cmdSave_Click);
    connect(cmdSaveAs, &QPushButton::clicked, this, &frmMain::cmdSaveAs_Click);
    connect(cmdExit, &QPushButton::clicked, this, &frmMain::cmdExit_Click);
    // The title bar shows unsaved edits ("[*]").
    connect(ctrlEdit, SIGNAL(ModifiedChanged(bool)), this, SLOT(setWindowModified(bool)));

    showOpen = [](QWidget *owner) {
        return QFileDialog::getOpenFileName(owner, QStringLiteral("Open"), QString(),
                                            QStringLiteral("XML Files (*.xml)"));
    };
    showSaveAs = [](QWidget *owner) {
        return QFileDialog::getSaveFileName(owner, QStringLiteral("Save As"), QString(),
                                            QStringLiteral("XML Files (*.xml)"));
    };

    // Small enough to be useful, large enough that no pane's size goes negative.
    setMinimumSize(toPx(5000), toPx(4000));
    resize(toPx(9375), toPx(6645));
    Form_Initialize();
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

void frmMain::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    Form_Resize();
}

void frmMain::Form_Resize()
{
    // The window's outer size, frame included where the window system gives one.
    const QSize outer = frameGeometry().size().expandedTo(size());
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
        QMessageBox box(QMessageBox::NoIcon, QLatin1String(kTitle), QStringLiteral("Error: can't open file!"),
                        QMessageBox::Ok, this);
        box.setInformativeText(reason);
        box.exec();
    }
    updateTitle();
    fraView->setEnabled(true);
    for (QRadioButton *o : optView)
        o->setEnabled(true);
}

void frmMain::cmdSave_Click()
{
    bool ok = false;
    QMetaObject::invokeMethod(ctrlEdit, "SaveProfile", Q_RETURN_ARG(bool, ok));
}

void frmMain::cmdSaveAs_Click()
{
    const QString path = showSaveAs ? showSaveAs(this) : QString();
    if (path.isEmpty())
        return;
    bool ok = false;
    QMetaObject::invokeMethod(ctrlEdit, "SaveProfileAs", Q_RETURN_ARG(bool, ok), Q_ARG(QString, path));
    updateTitle();
}

void frmMain::cmdExit_Click()
{
    close(); // closeEvent asks about unsaved edits
}

void frmMain::closeEvent(QCloseEvent *event)
{
    if (maybeSave())
        event->accept();
    else
        event->ignore();
}

bool frmMain::maybeSave()
{
    if (!ctrlEdit->property("Modified").toBool())
        return true;
    const QString name = QFileInfo(ctrlEdit->property("FileName").toString()).fileName();
    QMessageBox box(QMessageBox::Warning, QLatin1String(kTitle), QStringLiteral("Save changes to %1?").arg(name),
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
                       ? QLatin1String(kTitle)
                       : QStringLiteral("%1[*] \u2014 %2").arg(QFileInfo(file).fileName(), QLatin1String(kTitle)));
    setWindowModified(ctrlEdit->property("Modified").toBool());
}

void frmMain::optView_Click(int index)
{
    ctrlEdit->setProperty("ViewMode", index);
}

void frmMain::setViewMode(int mode)
{
    if (mode < 0 || mode >= int(optView.size()))
        return;
    optView_Click(mode);
    optView[ctrlEdit->property("ViewMode").toInt()]->setChecked(true);
}
