// Runs every file of the fuzz corpus (or of the folders and files named on the command line)
// through the document round trip. A violation aborts inside quillonFuzzOne after printing what
// differed; the name of the file being replayed is printed on the way out.
#include "roundtrip.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace {

char g_current[4096];

void onAbort(int)
{
    static const char prefix[] = "while replaying: ";
    ssize_t ignored = write(STDERR_FILENO, prefix, sizeof prefix - 1);
    ignored = write(STDERR_FILENO, g_current, std::strlen(g_current));
    ignored = write(STDERR_FILENO, "\n", 1);
    (void)ignored;
    std::signal(SIGABRT, SIG_DFL);
    std::raise(SIGABRT);
}

QStringList filesOf(const QStringList &args)
{
    QStringList files;
    for (const QString &arg : args) {
        if (QFileInfo(arg).isDir()) {
            for (const QString &name : QDir(arg).entryList(QDir::Files, QDir::Name))
                files << QDir(arg).filePath(name);
        } else {
            files << arg;
        }
    }
    return files;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    if (args.isEmpty())
        args << QStringLiteral(QUILLON_FUZZ_CORPUS);
    const QStringList files = filesOf(args);
    std::signal(SIGABRT, onAbort);
    int passed = 0;
    for (const QString &path : files) {
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly)) {
            std::fprintf(stderr, "cannot read %s\n", qPrintable(path));
            std::printf("%d passed, 1 failed\n", passed);
            return 1;
        }
        const QByteArray bytes = f.readAll();
        std::snprintf(g_current, sizeof g_current, "%s", path.toLocal8Bit().constData());
        quillonFuzzOne(reinterpret_cast<const uint8_t *>(bytes.constData()), size_t(bytes.size()));
        ++passed;
    }
    if (files.isEmpty()) {
        std::fprintf(stderr, "no corpus files in %s\n", qPrintable(args.join(QLatin1Char(' '))));
        return 1;
    }
    std::printf("%d passed, 0 failed\n", passed);
    return 0;
}
