#pragma once
// Files for the tests of every layer: copies of test documents in a scratch folder, whole
// files read and written, the bytes this process has read; a document slow to parse, the
// instances of a document counted by a reader of its own, and queued work let run.

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QXmlStreamReader>

namespace testsupport {

// Copies files from the test data folder into dir (by their file names alone); returns the
// copy of the first.
inline QString copyData(const QTemporaryDir &dir, const QStringList &names,
                        const QString &from = QStringLiteral(TEST_DATA_DIR))
{
    QString first;
    for (const QString &name : names) {
        const QString target = dir.filePath(name.section(QLatin1Char('/'), -1));
        QFile::remove(target);
        QFile::copy(from + QLatin1Char('/') + name, target);
        QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
        if (first.isEmpty())
            first = target;
    }
    return first;
}

inline QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Bytes read by this process so far (/proc/self/io), -1 where the system does not tell.
inline qint64 bytesRead()
{
    const QByteArray io = readAll(QStringLiteral("/proc/self/io"));
    const qsizetype at = io.indexOf("rchar: ");
    return at < 0 ? -1 : io.mid(at + 7, io.indexOf('\n', at) - at - 7).toLongLong();
}

inline void writeAll(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        f.write(bytes);
}

// A document that takes a moment to parse (about 9 MB): for loads that are to be cancelled.
inline void writeSlowDocument(const QString &path)
{
    QByteArray xml = "<uos><aim><aim-instances>";
    for (int i = 0; i < 200000; ++i)
        xml += "<p id=\"i" + QByteArray::number(i) + "\"><name>n</name></p>";
    writeAll(path, xml + "</aim-instances></aim></uos>");
}

// The instances of a document (elements of /uos/*/aim-instances), counted by a reader of its
// own rather than by the library.
inline int countAimInstances(const QByteArray &xml)
{
    QXmlStreamReader reader(xml);
    QStringList names;
    int n = 0;
    while (!reader.atEnd()) {
        if (reader.readNext() == QXmlStreamReader::StartElement) {
            if (names.size() == 3 && names[2] == QLatin1String("aim-instances"))
                ++n;
            names << reader.name().toString();
        } else if (reader.isEndElement()) {
            names.removeLast();
        }
    }
    return n;
}

// Lets queued work (a document's completion) run.
inline void settle()
{
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents();
}

} // namespace testsupport
