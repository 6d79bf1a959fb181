#pragma once
// Running a test program again as its own child process, as the user nobody where asked: for
// what the rights of root would hide (a file nobody may read or write). setpriv drops the
// rights, which only root can; a test asks canBeNobody() and skips or runs as itself otherwise.
// The program's main() (QUILLON_TEST_MAIN_WITH_CHILD) hands "--child ARGS" to a function
// of the test's own.

#include <QCoreApplication>
#include <QProcess>
#include <QTest>

#include <unistd.h>

namespace testsupport {

inline bool canBeNobody()
{
    return ::geteuid() == 0;
}

// Starts this test program as the child, with args after "--child"; as user nobody when asked.
inline QProcess *startChild(const QStringList &args, bool asNobody, QObject *parent,
                            const QProcessEnvironment &env = QProcessEnvironment::systemEnvironment())
{
    auto *child = new QProcess(parent);
    child->setProcessEnvironment(env);
    const QString self = QCoreApplication::applicationFilePath();
    if (asNobody)
        child->start(QStringLiteral("setpriv"),
                     QStringList{"--reuid=65534", "--regid=65534", "--clear-groups", "--", self, "--child"} + args);
    else
        child->start(self, QStringList{"--child"} + args);
    return child;
}

} // namespace testsupport

// main() of a test program whose child runs runChild(the arguments after "--child").
#define QUILLON_TEST_MAIN_WITH_CHILD(TestObject, runChild)                                                             \
    int main(int argc, char **argv)                                                                                    \
    {                                                                                                                  \
        QCoreApplication app(argc, argv);                                                                              \
        if (argc > 1 && qstrcmp(argv[1], "--child") == 0)                                                              \
            return runChild(app.arguments().mid(2));                                                                   \
        TestObject test;                                                                                               \
        QTEST_SET_MAIN_SOURCE_PATH                                                                                     \
        return QTest::qExec(&test, argc, argv);                                                                        \
    }
