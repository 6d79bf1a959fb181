#include "widgets/dlgwait.h"
#include "model/layout.h"
#include "session/pictures.h"
#include "document/loadprogress.h"

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QWindow>
#include <QPointer>
#include <QScreen>

namespace quillon {

namespace {
QPointer<dlgWait> g_wait;
}

dlgWait::dlgWait(QWidget *owner) : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
{
    setObjectName(QStringLiteral("dlgWait"));
    setWindowTitle(QString());
    setModal(false);
    // A busy picture only: it never takes the keyboard focus from the window it serves.
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFocusPolicy(Qt::NoFocus);
    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setAlignment(Qt::AlignCenter);
    m_picture = busyPixmap(layout::twipsToPixels(465, screen() ? screen()->logicalDotsPerInchX() : 96.0));
    Image1->setPixmap(m_picture);
    lblFile = new QLabel(this);
    lblFile->setObjectName(QStringLiteral("lblFile"));
    lblFile->setAlignment(Qt::AlignCenter);
    prgRead = new QProgressBar(this);
    prgRead->setObjectName(QStringLiteral("prgRead"));
    prgRead->setTextVisible(false);
    cmdCancel = new QPushButton(tr("Cancel"), this);
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    cmdCancel->setFocusPolicy(Qt::NoFocus);
    cmdCancel->hide();
    place(false);
    connect(cmdCancel, &QPushButton::clicked, this, &dlgWait::cancelNow);
    m_turn = new QTimer(this);
    m_turn->setInterval(80);
    connect(m_turn, &QTimer::timeout, this, &dlgWait::turn);
    m_showLater = new QTimer(this);
    m_showLater->setSingleShot(true);
    connect(m_showLater, &QTimer::timeout, this, [this] {
        if (m_waiting)
            showNow();
    });
}

// The picture, 465 twips square, above a Cancel button; with progress, the file's line and
// the bar between them in a wider window.
void dlgWait::place(bool withProgress)
{
    const double dpi = screen() ? screen()->logicalDotsPerInchX() : 96.0;
    auto px = [dpi](int twips) { return layout::twipsToPixels(twips, dpi); };
    const int side = px(465);
    const int extra = withProgress ? px(600) : 0;
    setFixedSize(withProgress ? px(5400) : px(1455), px(1125) + extra);
    Image1->setGeometry((width() - side) / 2, px(120), side, side);
    lblFile->setGeometry(px(120), px(645), width() - px(240), px(240));
    prgRead->setGeometry(px(120), px(945), width() - px(240), px(180));
    lblFile->setVisible(withProgress);
    prgRead->setVisible(withProgress);
    cmdCancel->setGeometry((width() - px(1215)) / 2, px(705) + extra, px(1215), px(300));
}

void dlgWait::showProgressOf(std::function<std::shared_ptr<const LoadProgress>()> source)
{
    m_progress = std::move(source);
}

void dlgWait::showProgress()
{
    const std::shared_ptr<const LoadProgress> p = m_progress ? m_progress() : nullptr;
    if (!p)
        return;
    lblFile->setText(lblFile->fontMetrics().elidedText(p->text(), Qt::ElideMiddle, lblFile->width()));
    lblFile->setToolTip(p->file());
    const int percent = p->percent();
    // Busy (range 0..0) until the size is known.
    prgRead->setRange(0, percent < 0 ? 0 : 100);
    if (percent >= 0)
        prgRead->setValue(percent);
}

void dlgWait::turn()
{
    showProgress();
    m_angle = (m_angle + 30) % 360;
    QPixmap frame(m_picture.size());
    frame.setDevicePixelRatio(m_picture.devicePixelRatio());
    frame.fill(Qt::transparent);
    QPainter p(&frame);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    const QSizeF size = m_picture.deviceIndependentSize();
    p.translate(size.width() / 2, size.height() / 2);
    p.rotate(m_angle);
    p.translate(-size.width() / 2, -size.height() / 2);
    p.drawPixmap(0, 0, m_picture);
    p.end();
    Image1->setPixmap(frame);
}

void dlgWait::beginWait(std::function<void()> cancel, int showAfterMs)
{
    m_cancel = std::move(cancel);
    place(bool(m_progress));
    showProgress();
    m_waiting = true;
    cmdCancel->setVisible(bool(m_cancel));
    qApp->installEventFilter(this);
    m_turn->start();
    if (showAfterMs > 0)
        m_showLater->start(showAfterMs);
    else
        showNow();
}

void dlgWait::endWait()
{
    m_waiting = false;
    m_cancel = nullptr;
    m_progress = nullptr;
    m_showLater->stop();
    qApp->removeEventFilter(this);
    m_turn->stop();
    cmdCancel->hide();
    Image1->setPixmap(m_picture);
    hide();
}

void dlgWait::cancelNow()
{
    if (m_waiting && m_cancel)
        m_cancel();
}

void dlgWait::closeEvent(QCloseEvent *event)
{
    // The close box cancels the load; the window goes when the load has ended.
    event->ignore();
    cancelNow();
}

void dlgWait::reject()
{
    cancelNow();
}

bool dlgWait::eventFilter(QObject *watched, QEvent *event)
{
    if (!m_waiting)
        return false;
    switch (event->type()) {
    case QEvent::KeyPress:
        if (static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape)
            cancelNow();
        return true;
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::ContextMenu:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::Close: {
        // Only the wait window takes input while it waits. Input reaches a window first, then
        // its widgets: both levels are checked.
        bool mine = false;
        if (auto *w = qobject_cast<QWidget *>(watched))
            mine = w == this || isAncestorOf(w);
        else if (auto *window = qobject_cast<QWindow *>(watched))
            mine = window == windowHandle();
        return !mine;
    }
    default:
        return false;
    }
}

dlgWait *dlgWait::instance(QWidget *owner)
{
    QWidget *window = owner ? owner->window() : nullptr;
    if (!g_wait)
        g_wait = new dlgWait(window);
    else if (window && g_wait->parentWidget() != window && !g_wait->isVisible())
        g_wait->setParent(window, g_wait->windowFlags());
    return g_wait;
}

dlgWait *dlgWait::existing()
{
    return g_wait;
}

void dlgWait::showNow()
{
    if (QWidget *p = parentWidget()) {
        const QRect r = p->window()->geometry();
        move(r.center() - rect().center());
    }
    show();
    raise();
    // The load that follows blocks the event loop: paint the window first.
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

} // namespace quillon
