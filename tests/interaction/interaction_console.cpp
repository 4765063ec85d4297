// Uses the interaction helpers in a process without QApplication: with no
// application object at all, or (argument "core") with a QCoreApplication.
// Prints the buttons the message-box functions return, one per line.
#include "labglobal.h"

#include <QtCore/qcoreapplication.h>
#include <QtCore/qtextstream.h>

#include <memory>

int main(int argc, char *argv[])
{
    std::unique_ptr<QCoreApplication> app;
    if (argc > 1 && qstrcmp(argv[1], "core") == 0)
        app = std::make_unique<QCoreApplication>(argc, argv);

    QTextStream out(stdout);
    {
        WaitCursor busy;
        WaitCursor arrow(Qt::ArrowCursor);
        out << int(information(QStringLiteral("information text"))) << '\n';
        out << int(question(
            QStringLiteral("question text"), QMessageBox::Yes | QMessageBox::No, QMessageBox::No))
            << '\n';
        out << int(warning(QStringLiteral("warning text"), QMessageBox::Ok, QMessageBox::Ok))
            << '\n';
        out << int(critical(QStringLiteral("critical text"))) << '\n';
    }
    out << (topLevelWidget() ? "window" : "no window") << '\n';
    return 0;
}
