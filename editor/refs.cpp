#include "refs.h"

#include <QFileInfo>

namespace quillon {

QString NameToCaption(const QString &s)
{
    QString r = s;
    return r.replace(QLatin1Char('_'), QLatin1Char(' '));
}

QString CaptionToName(const QString &s)
{
    QString r = s;
    return r.replace(QLatin1Char(' '), QLatin1Char('_'));
}

bool hasLowerCase(const QString &name)
{
    return name != name.toUpper();
}

bool isSameDocumentRefValue(const QString &value)
{
    return !value.contains(QLatin1Char('#')) && value.left(2).compare(QLatin1String("id"), Qt::CaseInsensitive) == 0;
}

bool sameDocument(const QString &a, const QString &b)
{
#if defined(Q_OS_WIN) || defined(Q_OS_MACOS)
    return a.compare(b, Qt::CaseInsensitive) == 0;
#else
    return a == b;
#endif
}

int folderSeparatorIndex(const QString &path)
{
    const int back = int(path.lastIndexOf(QLatin1Char('\\')));
    return back >= 0 ? back : int(path.lastIndexOf(QLatin1Char('/')));
}

QString FolderOf(const QString &path)
{
    const int i = folderSeparatorIndex(path);
    return i >= 0 ? path.left(i) : QString();
}

QString FileNameOf(const QString &path)
{
    return path.mid(folderSeparatorIndex(path) + 1);
}

QString retryPath(const QString &previous, const QString &name)
{
    return previous.left(folderSeparatorIndex(previous) + 1) + name;
}

QString documentPathFor(const QString &previous, const QString &name)
{
    const QString nextToPrevious = retryPath(previous, name);
    if (nextToPrevious != name && QFileInfo(name).isRelative() && QFileInfo::exists(nextToPrevious))
        return nextToPrevious;
    return name;
}

void History::record(const QString &entry)
{
    ++m_pos;
    m_entries.resize(m_pos);
    m_entries.append(entry);
}

} // namespace quillon
