#pragma once
// Where the window's file dialogs start and what a chosen name becomes: rules kept apart from
// the window so they can be tried without one.

#include <QString>

namespace savepaths {

// The Open dialog's filter: the document types the package registers.
QString openFilter();
// Where "Save As" starts: the document's own file (its folder and its name), or "" (the
// dialog's own choice) when no document is shown.
QString saveAsStart(const QString &documentPath);
// The name chosen in "Save As" with ".xml" added when it has no extension; "" stays "".
QString withDefaultExtension(const QString &chosen);

} // namespace savepaths
