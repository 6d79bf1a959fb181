// The reference graph written to a file, for the command line: no window is shown.
#include "graph/graphmodel.h"
#include "graph/graphscene.h"
#include "api/quillon.h"
#include "refs/refindex.h"

#include <QApplication>
#include <QCoreApplication>
#include <QFileInfo>

#include <cstdio>
#include <memory>

namespace {

int fail(int code, const QString &message)
{
    std::fprintf(stderr, "%s\n", qPrintable(message));
    return code;
}

} // namespace

int QuillonExportGraph(const char *file, const char *id, int depth, const char *out)
{
    using namespace quillon;
    // Fonts need a GUI application; a command line run has none yet.
    static int argc = 3;
    static char arg0[] = "quillon", arg1[] = "-platform", arg2[] = "offscreen";
    static char *argv[] = {arg0, arg1, arg2, nullptr};
    std::unique_ptr<QApplication> app;
    if (!QCoreApplication::instance())
        app = std::make_unique<QApplication>(argc, argv);

    const QString path = QString::fromUtf8(file ? file : "");
    const QString target = QString::fromUtf8(out ? out : "");
    const QString instanceId = QString::fromUtf8(id ? id : "");
    XmlDocument doc;
    if (!doc.load(path))
        return fail(1, doc.errorString());
    const XmlNode centre = doc.findInstance(instanceId);
    if (!centre)
        return fail(2,
                    QCoreApplication::translate("GraphExport", "%1: no instance with id \"%2\"").arg(path, instanceId));

    ReferenceIndex index;
    GraphModel model;
    model.build(&doc, path, centre, depth, graphReferrers(&doc, &index));
    GraphScene scene;
    if (!scene.draw(model, QApplication::palette(), QApplication::font()))
        return fail(3, QCoreApplication::translate("GraphExport", "%1: the graph could not be laid out").arg(path));
    const bool svg = target.endsWith(QLatin1String(".svg"), Qt::CaseInsensitive);
    const QString title = QFileInfo(path).fileName() + QLatin1Char('#') + instanceId;
    if (!(svg ? scene.writeSvg(target, title) : scene.writePng(target)))
        return fail(3, scene.error());
    return 0;
}
