#pragma once
// A test seam of the document object's saving.

#include "quillon_export.h"

#include <QtGlobal>

namespace quillon {

// When not negative, a save's file takes this many bytes and then fails as a full disk does.
QUILLON_EXPORT extern qint64 g_saveFailAfterBytes;

} // namespace quillon
