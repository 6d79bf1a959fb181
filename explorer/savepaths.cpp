#include "savepaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace savepaths {

QString openFilter()
{
    return QCoreApplication::translate("SavePaths", "XML Files (*.xml *.stpx)");
}

QString saveAsStart(const QString &documentPath)
{
    return documentPath.isEmpty() ? QString() : QDir::cleanPath(QFileInfo(documentPath).absoluteFilePath());
}

QString withDefaultExtension(const QString &chosen)
{
    if (chosen.isEmpty())
        return chosen;
    // A dot that starts the name (".config") or ends it gives no extension.
    const QString name = QFileInfo(chosen).fileName();
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot > 0 && dot < name.size() - 1)
        return chosen;
    return (name.endsWith(QLatin1Char('.')) ? chosen.chopped(1) : chosen) + QStringLiteral(".xml");
}

} // namespace savepaths
