#include "frmmain.h"

#include <QApplication>
#include <QStringList>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Palisade"));

    frmMain window;
    window.show();
    // One optional argument: a document to open at start, as the Open command would.
    const QStringList args = QApplication::arguments();
    if (args.size() > 1)
        window.openFile(args.at(1));
    return QApplication::exec();
}
