#pragma once
// Making a child widget that carries its object name, the name tests and the host find it by.

#include <QLatin1String>
#include <QWidget>

namespace quillon {

template <class W> W *child(QWidget *parent, const char *name)
{
    auto *w = new W(parent);
    w->setObjectName(QLatin1String(name));
    return w;
}

} // namespace quillon
