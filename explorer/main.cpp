#include "frmmain.h"
#include "quillon.h"

#include <QApplication>
#include <QStringList>

#include <cstdio>
#include <cstring>
#include <vector>

int main(int argc, char *argv[])
{
    // "--check FILE... [--json]": Check References without a window; the exit code is the
    // check's (0 clean, 1 findings, 2 a file cannot be read).
    if (argc > 1 && std::strcmp(argv[1], "--check") == 0) {
        std::vector<const char *> files;
        bool json = false;
        for (int i = 2; i < argc; ++i) {
            if (std::strcmp(argv[i], "--json") == 0)
                json = true;
            else
                files.push_back(argv[i]);
        }
        if (files.empty()) {
            std::fputs("usage: Palisade --check FILE... [--json]\n", stderr);
            return 2;
        }
        return QuillonCheckReferences(int(files.size()), files.data(), json ? 1 : 0);
    }

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
