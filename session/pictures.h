#pragma once
// The library's pictures, drawn from its own vector resources.

#include <QIcon>
#include <QPixmap>

namespace quillon {

// The 16 x 16 link mark of reference rows.
QIcon linkIcon();
// The wait window's busy picture.
QPixmap busyPixmap(int size);

} // namespace quillon
