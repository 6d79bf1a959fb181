#pragma once
// The library's pictures, drawn from its own vector resources.

#include "quillon_export.h"

#include <QIcon>
#include <QPixmap>

namespace quillon {

// The 16 x 16 link mark of reference rows.
QUILLON_EXPORT QIcon linkIcon();
// The wait window's busy picture.
QUILLON_EXPORT QPixmap busyPixmap(int size);

} // namespace quillon
