#include "session/pictures.h"

#include <QPainter>
#include <QSvgRenderer>

namespace quillon {

namespace {

QPixmap render(const QString &resource, int size, qreal ratio)
{
    QPixmap pm(QSize(size, size) * ratio);
    pm.fill(Qt::transparent);
    QSvgRenderer renderer(resource);
    QPainter p(&pm);
    renderer.render(&p);
    p.end();
    pm.setDevicePixelRatio(ratio);
    return pm;
}

} // namespace

QIcon linkIcon()
{
    static const QIcon icon = [] {
        QIcon i;
        i.addPixmap(render(QStringLiteral(":/quillon/link.svg"), 16, 1.0));
        i.addPixmap(render(QStringLiteral(":/quillon/link.svg"), 16, 2.0));
        return i;
    }();
    return icon;
}

QPixmap busyPixmap(int size)
{
    return render(QStringLiteral(":/quillon/busy.svg"), size, 1.0);
}

} // namespace quillon
