// Creates the control through the factory, loads the document given as the first argument and
// prints the file the control shows: exit 0 when that worked.
#include <QApplication>
#include <QWidget>
#include <cstdio>
#include <quillon.h>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QWidget *editor = QuillonCreateControl("Quillon.CtrlXMLEditor", nullptr);
    bool ok = false;
    if (!editor || argc < 2 ||
        !QMetaObject::invokeMethod(editor, "LoadProfile", Q_RETURN_ARG(bool, ok),
                                   Q_ARG(QString, QString::fromLocal8Bit(argv[1]))))
        return 2;
    std::printf("%s\n%s\n", qPrintable(editor->property("FileName").toString()),
                qPrintable(editor->property("LastError").toString()));
    delete editor;
    return ok ? 0 : 1;
}
