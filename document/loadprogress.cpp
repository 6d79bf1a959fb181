#include "document/loadprogress.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QLocale>

#include <algorithm>

namespace quillon {

int LoadProgress::percent() const
{
    const qint64 total = totalBytes();
    if (total < 0)
        return -1;
    if (total == 0 || parsing())
        return 100;
    return int(std::min<qint64>(bytesRead(), total) * 100 / total);
}

QString LoadProgress::text() const
{
    auto tr = [](const char *s) { return QCoreApplication::translate("quillon::LoadProgress", s); };
    auto size = [](qint64 bytes) { return QLocale().formattedDataSize(bytes, 1, QLocale::DataSizeTraditionalFormat); };
    const QString name = QFileInfo(m_file).fileName();
    const qint64 total = totalBytes();
    if (parsing())
        return tr("%1: parsing %2").arg(name, size(std::max<qint64>(total, bytesRead())));
    if (total < 0)
        return tr("%1: %2 read").arg(name, size(bytesRead()));
    return tr("%1: %2 of %3 read").arg(name, size(bytesRead()), size(total));
}

} // namespace quillon
