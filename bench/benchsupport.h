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

} // namespace bench
