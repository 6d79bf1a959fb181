#include "widgets/dlgwait.h"
#include "model/layout.h"
#include "session/pictures.h"

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
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
    const double dpi = screen() ? screen()->logicalDotsPerInchX() : 96.0;
    auto px = [dpi](int twips) { return layout::twipsToPixels(twips, dpi); };
    // The picture, 465 twips square, above a Cancel button.
    const int side = px(465);
    setFixedSize(px(1455), px(1125));
    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry((width() - side) / 2, px(120), side, side);
    Image1->setAlignment(Qt::AlignCenter);
    m_picture = busyPixmap(side);
    Image1->setPixmap(m_picture);
    cmdCancel = new QPushButton(tr("Cancel"), this);
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    cmdCancel->setFocusPolicy(Qt::NoFocus);
    cmdCancel->setGeometry(px(120), px(705), px(1215), px(300));
    cmdCancel->hide();
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

void dlgWait::turn()
{
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
