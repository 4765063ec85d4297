// A console program built against the installed LabCore package.
#include <core.h>
#include <labglobal.h>

#include <QtCore/qcoreapplication.h>
#include <QtCore/qtextstream.h>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    Core core;
    bool busy = false;
    {
        BoolLocker locker(busy);
        QTextStream(stdout) << "busy inside the guard: " << busy << '\n';
    }
    QTextStream(stdout) << "busy after the guard: " << busy << '\n';
    return busy ? 1 : 0;
}
