// Check References from the command line: the report (writeReferenceReport) on stdout.
#include "api/quillon.h"
#include "document/filenames.h"
#include "refs/refcheck.h"

#include <QCoreApplication>

#include <memory>

int QuillonCheckReferences(int fileCount, const char *const *files, int json)
{
    // Documents deliver their completion through an event loop: a host without an
    // application object gets one for the time of the check.
    std::unique_ptr<QCoreApplication> app;
    static int argc = 1;
    static char name[] = "quillon";
    static char *argv[] = {name, nullptr};
    if (!QCoreApplication::instance())
        app = std::make_unique<QCoreApplication>(argc, argv);
    QStringList list;
    for (int i = 0; i < fileCount; ++i)
        list << quillon::decodeFileName(files[i]);
    return quillon::writeReferenceReport(list, json != 0, stdout);
}
