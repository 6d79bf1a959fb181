#pragma once
// Test seams of the writing of files (FileSink).

#include <QtGlobal>

namespace quillon {

// When not negative, a save's file takes this many bytes and then fails as a full disk does.
extern qint64 g_saveFailAfterBytes;
// When true, temporaries get names, as on a file system without unnamed temporary files.
extern bool g_saveNamedTemporary;

} // namespace quillon
