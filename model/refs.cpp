#include "model/refs.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

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

namespace {

QString absoluteClean(const QString &path)
{
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

} // namespace

QString resolveDocumentPart(const QString &holder, const QString &part)
{
    if (part.isEmpty())
        return holder.isEmpty() ? QString() : absoluteClean(holder);
    if (!QDir::isRelativePath(part))
        return QDir::cleanPath(part);
    const QString folder = holder.isEmpty() ? QDir::currentPath() : QFileInfo(absoluteClean(holder)).path();
    return QDir::cleanPath(folder + QLatin1Char('/') + part);
}

QString fileKey(const QString &path)
{
    if (path.isEmpty())
        return {};
    const QString absolute = absoluteClean(path);
#ifdef Q_OS_UNIX
    struct stat st;
    if (::stat(QFile::encodeName(absolute).constData(), &st) == 0)
        return QStringLiteral("@%1:%2").arg(quint64(st.st_dev)).arg(quint64(st.st_ino));
#else
    if (const QString canonical = QFileInfo(absolute).canonicalFilePath(); !canonical.isEmpty())
        return canonical;
#endif
    // Not there (yet): the folder as the file system knows it, and the name.
    const QFileInfo info(absolute);
    const QString folder = info.dir().canonicalPath();
    return (folder.isEmpty() ? info.path() : folder) + QLatin1Char('/') + info.fileName();
}

bool sameDocument(const QString &a, const QString &b)
{
    if (a.isEmpty() || b.isEmpty())
        return a.isEmpty() && b.isEmpty();
    return a == b || fileKey(a) == fileKey(b);
}

bool namesHolder(const QString &holder, const QString &part)
{
    return part.isEmpty() || sameDocument(resolveDocumentPart(holder, part), holder);
}

QString documentPartFor(const QString &holder, const QString &target)
{
    const QString to = absoluteClean(target);
    const QString from = QFileInfo(absoluteClean(holder)).path();
    const QString relative = QDir(from).relativeFilePath(to);
    if (!QDir::isRelativePath(relative))
        return to; // another root (a drive of its own)
    // Climbing as many folders as holder's folder has leads to the root: only the root is shared.
    qsizetype climbs = 0;
    while (relative.mid(3 * climbs).startsWith(QLatin1String("../")))
        ++climbs;
    const qsizetype depth = QDir::fromNativeSeparators(from).split(QLatin1Char('/'), Qt::SkipEmptyParts).size();
    return climbs > 0 && climbs >= depth ? to : relative;
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

HistoryPlace historyPlace(const QString &entry)
{
    const RefPieces pieces(entry);
    return {pieces.piece(0), pieces.piece(1), pieces.piece(1).isEmpty() ? pieces.piece(2) : QString()};
}

QString historyEntry(const QString &file, const QString &id, const QString &path)
{
    if (!id.isEmpty())
        return file + QLatin1Char('#') + id;
    return path.isEmpty() ? QString() : file + QLatin1String("##") + path;
}

void History::record(const QString &entry)
{
    ++m_pos;
    m_entries.resize(m_pos);
    m_entries.append(entry);
}

} // namespace quillon
