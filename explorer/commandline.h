#pragma once
// What Palisade is asked to do by its command line. Parsing needs no application object, so
// the modes that open no window (help, version, a usage error) run without a display.
//
// A new mode without a window adds its option in commandline.cpp, an Action, and its branch in
// runWithoutWindow(); main() opens the window only for Action::OpenWindow.

#include <QString>
#include <QStringList>

#include <cstdio>

namespace palisade {

struct Invocation {
    enum class Action {
        OpenWindow, // the window, with file and viewMode applied
        ShowHelp, // --help
        ShowVersion, // --version
        UsageError, // an unknown option, a bad value, too many files
        CheckReferences, // --check FILE... [--json]
        ExportGraph, // --graph FILE --id ID [--depth N] --out OUT
        CompareDocuments, // --diff OLD NEW [--json]
        FindInDocument, // --find PATTERN FILE [--match-case] [--whole-word] [--regex] [--type T] [--json]
    };
    Action action = Action::OpenWindow;
    int viewMode = -1; // --view: 0 ARM, 1 Mapping, 2 AIM; -1 when not given
    QString file; // the document to open at start ("" for none)
    QStringList files; // CheckReferences: the documents to check; CompareDocuments: old and new
    bool json = false; // CheckReferences, CompareDocuments, FindInDocument: one JSON object a line
    QString graphId; // ExportGraph: the instance at the centre
    int graphDepth = 1; // ExportGraph: 1 or 2
    QString graphOut; // ExportGraph: the picture to write (.svg or .png)
    QString findPattern; // FindInDocument: what to find
    int findOptions = 0; // FindInDocument: QuillonFind* flags
    QString findType; // FindInDocument: only instances of this element name ("" for all)
    QString error; // UsageError: what was wrong
    QString usage; // the full help text
};

// Parses the arguments; args[0] is the program as it was started.
Invocation parseCommandLine(const QStringList &args);

// The view mode named on the command line ("arm", "mapping", "aim", in any case); -1 for others.
int viewModeFromName(const QString &name);

// Whether a picture of the reference graph can be written under this name: .svg, .png, .jpg
// or .jpeg, in any case.
bool isPictureName(const QString &path);

// Carries out an action that needs no window, writing to out and err; returns the exit code:
// 0 for help and version, 2 for a usage error (one line and a pointer to --help), the check's code for CheckReferences (0 clean,
// 1 findings, 2 a file cannot be read; its report goes to the standard output), and the
// export's for ExportGraph (0 written, 1 the file cannot be read, 2 no such id, 3 the picture
// cannot be written), the comparison's for CompareDocuments (0 equal, 1 they differ, 2 a file
// cannot be read) and the search's for FindInDocument (0 found, 1 nothing found, 2 the file
// cannot be read or the pattern is not a valid expression). -1 for
// OpenWindow (nothing done).
int runWithoutWindow(const Invocation &invocation, FILE *out, FILE *err);

// "Palisade 0.1.0": the program and its version.
QString versionText();

} // namespace palisade
