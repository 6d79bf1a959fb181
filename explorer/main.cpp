#include "frmmain.h"
#include "quillon.h"

#include <QApplication>
#include <QStringList>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

// Palisade --graph FILE --id ID [--depth N] --out OUT.svg|OUT.png: writes the reference graph
// around one instance without opening a window. Returns -1 when the arguments are not that.
int graphCommand(int argc, char *argv[])
{
    if (argc < 2 || std::strcmp(argv[1], "--graph") != 0)
        return -1;
    const char *file = argc > 2 ? argv[2] : nullptr, *id = nullptr, *out = nullptr;
    int depth = 1;
    for (int i = 3; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--id") == 0)
            id = argv[i + 1];
        else if (std::strcmp(argv[i], "--depth") == 0)
            depth = std::atoi(argv[i + 1]);
        else if (std::strcmp(argv[i], "--out") == 0)
            out = argv[i + 1];
    }
    if (!file || !id || !out || (argc - 3) % 2 != 0) {
        std::fprintf(stderr, "usage: %s --graph FILE --id ID [--depth 1|2] --out OUT.svg|OUT.png\n", argv[0]);
        return 64;
    }
    return QuillonExportGraph(file, id, depth, out);
}

} // namespace

int main(int argc, char *argv[])
{
    if (const int graph = graphCommand(argc, argv); graph >= 0)
        return graph;
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
