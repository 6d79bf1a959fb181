#pragma once
// What the benchmarks share: writing a generated document, and timing a step as the best of
// three runs.

#include <QByteArray>
#include <QElapsedTimer>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <pugixml.hpp>

#include <algorithm>
#include <cstdlib>
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

// Writes a document of n instances: instance(b, i) appends the i-th (i from 1 to n) inside
// aim-instances.
inline void writeInstances(const QString &path, int n, const std::function<void(QByteArray &, int)> &instance)
{
    writeFile(path, [&](QByteArray &b, const std::function<void()> &flush) {
        b += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<uos>\n  <aim>\n    <aim-instances>\n";
        for (int i = 1; i <= n; ++i) {
            instance(b, i);
            if (b.size() > (1 << 20))
                flush();
        }
        b += "    </aim-instances>\n  </aim>\n</uos>\n";
    });
}

inline double ms(const QElapsedTimer &t)
{
    return double(t.nsecsElapsed()) / 1e6;
}

// The fastest of three runs of f, in milliseconds.
template <class F> double bestOf3(F &&f)
{
    double best = 1e18;
    for (int i = 0; i < 3; ++i) {
        QElapsedTimer t;
        t.start();
        f();
        best = std::min(best, ms(t));
    }
    return best;
}

// The baseline: the bare parse of the file as any program would do it, the best of three.
inline double parseMs(const QString &path)
{
    return bestOf3([&] {
        pugi::xml_document doc;
        doc.load_file(path.toLocal8Bit().constData());
    });
}

// The command line "[DIR [N]]": the folder to write the documents in (a scratch folder when not
// given or empty) and how many instances they hold (a million when not given).
struct Workload {
    QTemporaryDir scratch;
    QString dir;
    int n;
    Workload(int argc, char *argv[])
        : dir(argc > 1 && argv[1][0] ? QString::fromLocal8Bit(argv[1]) : scratch.path()), n(argc > 2 ? std::atoi(argv[2]) : 1000000)
    { }
    QString file(const char *name) const { return dir + QLatin1Char('/') + QLatin1String(name); }
};

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
