#pragma once
// The files opened last, most recent first, for File > Open Recent; kept in the settings.

#include <QString>
#include <QStringList>

class QSettings;

class RecentFiles {
public:
    static constexpr int kMaxFiles = 8;

    // Puts path (made absolute) first; an earlier entry of the same file goes, and the list keeps
    // at most kMaxFiles.
    void add(const QString &path);
    void remove(const QString &path);
    void clear() { m_files.clear(); }
    const QStringList &files() const { return m_files; }
    // What the menu shows for each file, in order: its name, and where two files share a name,
    // the name followed by its folder ("main.xml (/home/a)").
    QStringList captions() const;

    // The list under the key "recentFiles"; a stored list is cleaned as add() keeps it.
    void load(const QSettings &settings);
    void save(QSettings &settings) const;

private:
    QStringList m_files;
};
