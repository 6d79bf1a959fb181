#include "commandline.h"
#include "document/filenames.h"
#include "frmmain.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QCoreApplication::setOrganizationName(QStringLiteral("Wren"));
    QCoreApplication::setApplicationName(QStringLiteral("Palisade"));
    QCoreApplication::setApplicationVersion(QStringLiteral(PALISADE_VERSION));

    // The command line is read before any application object exists: what opens no window
    // needs no display.
    QStringList args;
    for (int i = 0; i < argc; ++i)
        args << quillon::decodeFileName(argv[i]); // a file name that is not UTF-8 too
    const palisade::Invocation invocation = palisade::parseCommandLine(args);
    if (invocation.action != palisade::Invocation::Action::OpenWindow)
        return palisade::runWithoutWindow(invocation, stdout, stderr);

    QApplication app(argc, argv);
    frmMain window;
    if (invocation.viewMode >= 0)
        window.setViewMode(invocation.viewMode);
    window.show();
    if (!invocation.file.isEmpty())
        window.openFile(invocation.file);
    return QApplication::exec();
}
