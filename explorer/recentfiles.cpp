#include "recentfiles.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>

namespace {

const char *const kKey = "recentFiles";

QString normalized(const QString &path)
{
    return path.isEmpty() ? QString() : QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

} // namespace

void RecentFiles::add(const QString &path)
{
    const QString file = normalized(path);
    if (file.isEmpty())
        return;
    m_files.removeAll(file);
    m_files.prepend(file);
    while (m_files.size() > kMaxFiles)
        m_files.removeLast();
}

void RecentFiles::remove(const QString &path)
{
    m_files.removeAll(normalized(path));
}

void RecentFiles::load(const QSettings &settings)
{
    const QStringList stored = settings.value(QLatin1String(kKey)).toStringList();
    m_files.clear();
    // Added oldest first, so that the first stays first and a repeat keeps its first place.
    for (auto it = stored.crbegin(); it != stored.crend(); ++it)
        add(*it);
}

void RecentFiles::save(QSettings &settings) const
{
    settings.setValue(QLatin1String(kKey), m_files);
}

QStringList RecentFiles::captions() const
{
    QStringList names;
    for (const QString &file : m_files)
        names << QFileInfo(file).fileName();
    QStringList captions;
    for (qsizetype i = 0; i < m_files.size(); ++i) {
        if (names.count(names.at(i)) > 1)
            captions << QStringLiteral("%1 (%2)").arg(names.at(i), QDir::toNativeSeparators(QFileInfo(m_files.at(i)).path()));
        else
            captions << names.at(i);
    }
    return captions;
}
