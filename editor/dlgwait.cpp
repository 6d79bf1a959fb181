#include "dlgwait.h"
#include "layout.h"
#include "pictures.h"

#include <QApplication>
#include <QLabel>
#include <QPointer>
#include <QScreen>

namespace quillon {

namespace {
QPointer<dlgWait> g_wait;
}

dlgWait::dlgWait(QWidget *owner)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
{
    setObjectName(QStringLiteral("dlgWait"));
    setWindowTitle(QString());
    setModal(false);
    // A busy picture only: it never takes the keyboard focus from the window it serves.
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFocusPolicy(Qt::NoFocus);
    const double dpi = screen() ? screen()->logicalDotsPerInchX() : 96.0;
    const int side = layout::twipsToPixels(465, dpi);
    setFixedSize(side, side);
    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(0, 0, side, side);
    Image1->setAlignment(Qt::AlignCenter);
    Image1->setPixmap(busyPixmap(side));
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
