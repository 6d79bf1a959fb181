#include "commandline.h"
#include "document/filenames.h"
#include "quillon.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <vector>

namespace palisade {

namespace {

// Options QApplication takes for itself (it removes them from the arguments when the window is
// made); known here so that they are not refused before it sees them.
const char *const kQtOptionsWithValue[] = {
    "platform", "platformpluginpath", "platformtheme", "plugin", "qwindowgeometry", "qwindowicon", "qwindowtitle",
    "style",    "stylesheet",         "session",       "display"};
const char *const kQtFlags[] = {"reverse", "widgetcount", "nograb", "dograb", "sync"};

void addHidden(QCommandLineParser &parser, const QString &name, const QString &valueName = {})
{
    QCommandLineOption option(name, QString(), valueName);
    option.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOption(option);
}

} // namespace

QString versionText()
{
    return QStringLiteral("Palisade %1").arg(QStringLiteral(PALISADE_VERSION));
}

int viewModeFromName(const QString &name)
{
    const QString n = name.toLower();
    if (n == QLatin1String("arm"))
        return 0;
    if (n == QLatin1String("mapping"))
        return 1;
    if (n == QLatin1String("aim"))
        return 2;
    return -1;
}

Invocation parseCommandLine(const QStringList &args)
{
    QCommandLineParser parser;
    // "-platform offscreen" as Qt writes its own options, not "-p -l -a ...".
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.setApplicationDescription(
        QCoreApplication::translate("CommandLine", "Wren Explorer: views and edits STEP product data written as XML."));
    // Not addHelpOption(): its --help-all would be one more mode to carry out.
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help"), QStringLiteral("?")},
                                  QCoreApplication::translate("CommandLine", "Displays this help."));
    parser.addOption(help);
    const QCommandLineOption version = parser.addVersionOption();
    const QCommandLineOption view(QStringLiteral("view"),
                                  QCoreApplication::translate("CommandLine", "Shows the document in <view>: arm, mapping or aim."),
                                  QStringLiteral("view"));
    parser.addOption(view);
    const QCommandLineOption check(
        QStringLiteral("check"),
        QCoreApplication::translate("CommandLine",
                                    "Checks the references of each FILE and prints what is wrong, without a window; "
                                    "exits 0 when all is well, 1 when something was found, 2 when a file cannot be "
                                    "read."));
    parser.addOption(check);
    const QCommandLineOption json(
        QStringLiteral("json"),
        QCoreApplication::translate("CommandLine", "With --check, --diff or --find: one JSON object per line."));
    parser.addOption(json);
    const QCommandLineOption diff(
        QStringLiteral("diff"),
        QCoreApplication::translate("CommandLine", "Compares two versions of a document, OLD and NEW, and prints the instances removed, "
                       "changed and added, without a window; exits 0 when equal, 1 when they differ, 2 when a "
                       "file cannot be read."));
    parser.addOption(diff);
    const QCommandLineOption find(
        QStringLiteral("find"),
        QCoreApplication::translate("CommandLine", "Prints the instances of FILE whose values, property names, names or ids hold <pattern>, "
                       "without a window; exits 0 when found, 1 when not, 2 when the file cannot be read."),
        QStringLiteral("pattern"));
    parser.addOption(find);
    const QCommandLineOption matchCase(QStringLiteral("match-case"), QCoreApplication::translate("CommandLine", "With --find: match case."));
    parser.addOption(matchCase);
    const QCommandLineOption wholeWord(QStringLiteral("whole-word"),
                                       QCoreApplication::translate("CommandLine", "With --find: match whole words only."));
    parser.addOption(wholeWord);
    const QCommandLineOption regex(QStringLiteral("regex"),
                                   QCoreApplication::translate("CommandLine", "With --find: the pattern is a regular expression."));
    parser.addOption(regex);
    const QCommandLineOption findType(QStringLiteral("type"),
                                      QCoreApplication::translate("CommandLine", "With --find: only instances of this element name."),
                                      QStringLiteral("type"));
    parser.addOption(findType);
    const QCommandLineOption graph(
        QStringLiteral("graph"),
        QCoreApplication::translate("CommandLine",
                                    "Writes the reference graph around one instance of <file> to the picture given "
                                    "by --out (SVG, PNG or JPEG, by its extension), without a window."),
        QStringLiteral("file"));
    parser.addOption(graph);
    const QCommandLineOption graphId(QStringLiteral("id"), QCoreApplication::translate("CommandLine", "With --graph: the instance at the centre."),
                                     QStringLiteral("id"));
    parser.addOption(graphId);
    const QCommandLineOption graphDepth(QStringLiteral("depth"),
                                        QCoreApplication::translate("CommandLine", "With --graph: how many steps out, 1 (default) or 2."),
                                        QStringLiteral("n"));
    parser.addOption(graphDepth);
    const QCommandLineOption graphOut(QStringLiteral("out"), QCoreApplication::translate("CommandLine", "With --graph: the picture to write."),
                                      QStringLiteral("file"));
    parser.addOption(graphOut);
    for (const char *name : kQtOptionsWithValue)
        addHidden(parser, QLatin1String(name), QStringLiteral("value"));
    for (const char *name : kQtFlags)
        addHidden(parser, QLatin1String(name));
    parser.addPositionalArgument(QStringLiteral("FILE"),
                                 QCoreApplication::translate("CommandLine",
                                                             "The document to open (with --check: the documents to check; "
                                                             "with --diff: OLD and NEW; with --find: the document to search)."),
                                 QStringLiteral("[FILE...]"));

    Invocation inv;
    // The usage names the program as it was started, with or without an application object.
    const QString program = QFileInfo(args.value(0, QStringLiteral("Palisade"))).fileName();
    inv.usage = parser.helpText();
    const qsizetype endOfFirst = inv.usage.indexOf(QLatin1Char(' '), qsizetype(7)); // after "Usage: "
    if (inv.usage.startsWith(QLatin1String("Usage: ")) && endOfFirst > 0)
        inv.usage.replace(7, endOfFirst - 7, program);

    if (!parser.parse(args)) {
        inv.action = Invocation::Action::UsageError;
        inv.error = parser.errorText();
        return inv;
    }
    if (parser.isSet(help)) {
        inv.action = Invocation::Action::ShowHelp;
        return inv;
    }
    if (parser.isSet(version)) {
        inv.action = Invocation::Action::ShowVersion;
        return inv;
    }
    if (parser.isSet(view)) {
        const QString name = parser.value(view);
        inv.viewMode = viewModeFromName(name);
        if (inv.viewMode < 0) {
            inv.action = Invocation::Action::UsageError;
            inv.error = QCoreApplication::translate("CommandLine", "Unknown view '%1': use arm, mapping or aim.").arg(name);
            return inv;
        }
    }
    const QStringList files = parser.positionalArguments();
    if (parser.isSet(graph)) {
        inv.action = Invocation::Action::ExportGraph;
        inv.file = parser.value(graph);
        inv.graphId = parser.value(graphId);
        inv.graphOut = parser.value(graphOut);
        bool ok = true;
        inv.graphDepth = parser.isSet(graphDepth) ? parser.value(graphDepth).toInt(&ok) : 1;
        if (inv.graphId.isEmpty() || inv.graphOut.isEmpty())
            inv.error = QCoreApplication::translate("CommandLine", "--graph needs --id and --out.");
        else if (!ok || inv.graphDepth < 1 || inv.graphDepth > 2)
            inv.error = QCoreApplication::translate("CommandLine", "--depth is 1 or 2.");
        else if (!files.isEmpty())
            inv.error = QCoreApplication::translate("CommandLine", "--graph takes its file as its value: no other file.");
        else if (!isPictureName(inv.graphOut))
            inv.error = QCoreApplication::translate("CommandLine", "--out names an SVG, PNG or JPEG file (.svg, .png, .jpg or .jpeg).");
        if (!inv.error.isEmpty())
            inv.action = Invocation::Action::UsageError;
        return inv;
    }
    if (parser.isSet(graphId) || parser.isSet(graphDepth) || parser.isSet(graphOut)) {
        inv.action = Invocation::Action::UsageError;
        inv.error = QCoreApplication::translate("CommandLine", "--id, --depth and --out go with --graph.");
        return inv;
    }
    if (!parser.isSet(find) && (parser.isSet(matchCase) || parser.isSet(wholeWord) || parser.isSet(regex) ||
                                parser.isSet(findType))) {
        inv.action = Invocation::Action::UsageError;
        inv.error = QCoreApplication::translate("CommandLine", "--match-case, --whole-word, --regex and --type go with --find.");
        return inv;
    }
    if (parser.isSet(diff)) {
        inv.action = Invocation::Action::CompareDocuments;
        inv.files = files;
        inv.json = parser.isSet(json);
        if (files.size() != 2 || parser.isSet(check) || parser.isSet(find)) {
            inv.action = Invocation::Action::UsageError;
            inv.error = QCoreApplication::translate("CommandLine", "--diff needs two files, OLD and NEW.");
        }
        return inv;
    }
    if (parser.isSet(find)) {
        inv.action = Invocation::Action::FindInDocument;
        inv.findPattern = parser.value(find);
        inv.file = files.value(0);
        inv.json = parser.isSet(json);
        inv.findOptions = (parser.isSet(matchCase) ? QuillonFindMatchCase : 0) |
            (parser.isSet(wholeWord) ? QuillonFindWholeWord : 0) | (parser.isSet(regex) ? QuillonFindRegex : 0);
        inv.findType = parser.value(findType);
        if (files.size() != 1 || parser.isSet(check)) {
            inv.action = Invocation::Action::UsageError;
            inv.error = QCoreApplication::translate("CommandLine", "--find needs one file.");
        }
        return inv;
    }
    if (parser.isSet(check)) {
        inv.action = Invocation::Action::CheckReferences;
        inv.files = files;
        inv.json = parser.isSet(json);
        if (files.isEmpty()) {
            inv.action = Invocation::Action::UsageError;
            inv.error = QCoreApplication::translate("CommandLine", "--check needs at least one file.");
        }
        return inv;
    }
    if (parser.isSet(json)) {
        inv.action = Invocation::Action::UsageError;
        inv.error = QCoreApplication::translate("CommandLine", "--json goes with --check, --diff or --find.");
        return inv;
    }
    if (files.size() > 1) {
        inv.action = Invocation::Action::UsageError;
        inv.error = QCoreApplication::translate("CommandLine", "Too many files: Palisade opens one document at a time.");
        return inv;
    }
    inv.file = files.value(0);
    return inv;
}

bool isPictureName(const QString &path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    return suffix == QLatin1String("svg") || suffix == QLatin1String("png") || suffix == QLatin1String("jpg") ||
           suffix == QLatin1String("jpeg");
}

int runWithoutWindow(const Invocation &inv, FILE *out, FILE *err)
{
    // What goes to the terminal is the program's answer alone: Qt's own notes (a platform
    // plugin's remarks, a missing runtime folder) are dropped; its fatal errors still end it.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &message) {
        if (type == QtFatalMsg || type == QtCriticalMsg)
            std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
    });
    switch (inv.action) {
    case Invocation::Action::OpenWindow:
        return -1;
    case Invocation::Action::ShowHelp:
        std::fputs(inv.usage.toLocal8Bit().constData(), out);
        return 0;
    case Invocation::Action::ShowVersion:
        std::fprintf(out, "%s\n", versionText().toLocal8Bit().constData());
        return 0;
    case Invocation::Action::UsageError:
        std::fprintf(err, "Palisade: %s\nTry 'Palisade --help'.\n", inv.error.toLocal8Bit().constData());
        return 2;
    case Invocation::Action::CheckReferences: {
        std::vector<QByteArray> names;
        for (const QString &f : inv.files)
            names.push_back(quillon::encodeFileName(f));
        std::vector<const char *> argv;
        for (const QByteArray &n : names)
            argv.push_back(n.constData());
        std::fflush(out);
        return QuillonCheckReferences(int(argv.size()), argv.data(), inv.json ? 1 : 0);
    }
    case Invocation::Action::ExportGraph:
        std::fflush(out);
        return QuillonExportGraph(QFile::encodeName(inv.file).constData(), inv.graphId.toUtf8().constData(),
                                  inv.graphDepth, QFile::encodeName(inv.graphOut).constData());
    case Invocation::Action::CompareDocuments:
        std::fflush(out);
        return QuillonDiffDocuments(quillon::encodeFileName(inv.files.value(0)).constData(),
                                    quillon::encodeFileName(inv.files.value(1)).constData(), inv.json ? 1 : 0);
    case Invocation::Action::FindInDocument:
        std::fflush(out);
        return QuillonFindInDocument(inv.findPattern.toUtf8().constData(), quillon::encodeFileName(inv.file).constData(),
                                     inv.findOptions, inv.findType.toUtf8().constData(), inv.json ? 1 : 0);
    }
    return -1;
}

} // namespace palisade
