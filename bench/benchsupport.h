#pragma once
// What the benchmarks share.

#include <QByteArray>
#include <QFile>
#include <QString>

#include <functional>

namespace bench {

// Writes a generated file in pieces: body appends to the buffer and calls flush to hand what it
// holds to the file; what is left is written at the end.
inline void writeFile(const QString &path, const std::function<void(QByteArray &, const std::function<void()> &)> &body)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        qFatal("cannot write %s", qPrintable(path));
    QByteArray b;
    auto flush = [&] {
        f.write(b);
        b.clear();
    };
    body(b, flush);
    flush();
}

// A field of /proc/self/status in KiB: VmRSS (resident now) or VmHWM (the peak since the last
// resetPeak()).
inline long statusKiB(const char *field)
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray key(field);
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(key.size()).trimmed().split(' ').value(0).toLong();
    return 0;
}

inline long rssKiB()
{
    return statusKiB("VmRSS:");
}

inline long peakKiB()
{
    return statusKiB("VmHWM:");
}

inline void resetPeak()
{
    QFile f(QStringLiteral("/proc/self/clear_refs"));
    if (f.open(QIODevice::WriteOnly))
        f.write("5");
}

} // namespace bench
