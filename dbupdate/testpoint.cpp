#include "testpoint.h"

#include <QtCore/qthread.h>
#include <QtSql/qsqldatabase.h>

#include <csignal>
#include <cstdio>

// Test builds only. The environment chooses what happens:
//   DBUPDATE_KILL_AT=k    the process kills itself (SIGKILL) at the k-th point;
//   DBUPDATE_PAUSE_MS=n   it sleeps n ms at the first point (just after locking);
//   DBUPDATE_MESSAGES=1   it sends a message of each type at the first point,
//                         the fatal one last.
// At exit it prints how many points the run passed.
namespace {

int passed = 0;

struct CountReport
{
    ~CountReport() { std::fprintf(stderr, "test points: %d\n", passed); }
} countReport;

} // namespace

void testPoint(const char *what)
{
    static const int killAt = qEnvironmentVariableIntValue("DBUPDATE_KILL_AT");
    static const int pauseMs = qEnvironmentVariableIntValue("DBUPDATE_PAUSE_MS");
    ++passed;
    if (passed == 1 && pauseMs > 0)
        QThread::msleep(pauseMs);
    if (passed == 1 && qEnvironmentVariableIsSet("DBUPDATE_MESSAGES")) {
        qDebug("a debug message");
        qInfo("an info message");
        qWarning("a warning message");
        qCritical("a critical message");
        qFatal("a fatal message");
    }
    if (passed == killAt) {
        const QSqlDatabase db = QSqlDatabase::database(QSqlDatabase::defaultConnection, false);
        std::fprintf(stderr, "killed at test point %d: %s in %s\n", passed, what,
            qPrintable(db.databaseName()));
        std::fflush(stderr);
        std::raise(SIGKILL);
    }
}
