// Memory available for a document: /proc/meminfo and the cgroup limit, read as text.

#include "document/memorybudget.h"

#include <QCoreApplication>
#include <QFile>
#include <QLocale>

#include <algorithm>

namespace quillon {

namespace {

// From this figure on, a cgroup limit means "no limit" (v1 writes a page-rounded 2^63 - 1).
constexpr qint64 kNoLimit = qint64(1) << 60;

// The first line of a small file, or "" when it cannot be read.
QByteArray firstLine(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readLine(64).trimmed();
}

// A number of bytes in a cgroup file; -1 when absent, unreadable or "max".
qint64 cgroupBytes(const QString &path)
{
    bool ok = false;
    const qint64 n = firstLine(path).toLongLong(&ok);
    return ok && n >= 0 && n < kNoLimit ? n : -1;
}

// MemAvailable in bytes, -1 when not there.
qint64 memAvailable(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (QByteArray line = f.readLine(); !line.isEmpty(); line = f.readLine()) {
        if (!line.startsWith("MemAvailable:"))
            continue;
        bool ok = false;
        const qint64 kib = line.mid(13).trimmed().split(' ').value(0).toLongLong(&ok);
        return ok ? kib * 1024 : -1;
    }
    return -1;
}

// The room left under the cgroup's limit, -1 when no limit is set.
qint64 cgroupRoom(const QString &root)
{
    qint64 limit = cgroupBytes(root + QStringLiteral("/memory.max"));
    qint64 used = cgroupBytes(root + QStringLiteral("/memory.current"));
    if (limit < 0) {
        limit = cgroupBytes(root + QStringLiteral("/memory/memory.limit_in_bytes"));
        used = cgroupBytes(root + QStringLiteral("/memory/memory.usage_in_bytes"));
    }
    return limit < 0 ? -1 : std::max<qint64>(limit - std::max<qint64>(used, 0), 0);
}

QString gigabytes(double bytes)
{
    return QStringLiteral("%1 GB").arg(QLocale(QLocale::English).toString(bytes / double(qint64(1) << 30), 'f', 1));
}

MemorySources &current()
{
    static MemorySources sources;
    return sources;
}

} // namespace

qint64 availableMemory(const MemorySources &sources)
{
    const qint64 free = memAvailable(sources.meminfo);
    const qint64 room = cgroupRoom(sources.cgroup);
    if (free < 0 || room < 0)
        return std::max(free, room);
    return std::min(free, room);
}

QString memoryRefusal(qint64 fileBytes, const MemorySources &sources, double perByte)
{
    const qint64 available = availableMemory(sources);
    const double needed = double(fileBytes) * perByte;
    if (available < 0 || needed <= double(available))
        return {};
    return QCoreApplication::translate("MemoryBudget", "it is %1 bytes: it needs about %2 of memory; %3 are available")
        .arg(QLocale(QLocale::English).toString(fileBytes), gigabytes(needed), gigabytes(double(available)));
}

const MemorySources &memorySources()
{
    return current();
}

void setMemorySources(const MemorySources &sources)
{
    current() = sources;
}

} // namespace quillon
