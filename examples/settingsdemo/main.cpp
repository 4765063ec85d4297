// A console program built against the installed LabCore package: it keeps a
// named setting in the settings store of its working directory.
#include <core.h>
#include <labglobal.h>
#include <profile.h>

#include <QtCore/qcoreapplication.h>
#include <QtCore/qtextstream.h>
#include <QtSql/qsqldatabase.h>
#include <QtSql/qsqlquery.h>

// The installation creates the settings table; the demo does it itself.
static void createProfileTable()
{
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("setup"));
    db.setDatabaseName(QStringLiteral("profile.db"));
    if (db.open())
        QSqlQuery(db).exec(
            QStringLiteral("create table if not exists profile (name text unique, value)"));
}

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

    createProfileTable();
    Profile &profile = Profile::instance();
    QTextStream(stdout)
        << "hospital stored by the last run: "
        << profile.value(QStringLiteral("hospital"), QStringLiteral("(none)")).toString() << '\n';
    profile.set_hospital(QStringLiteral("Demo Hospital"), true);
    const QString hospital = profile.hospital(QString());
    QTextStream(stdout) << "hospital: " << hospital << '\n';
    return busy || hospital != QLatin1String("Demo Hospital") ? 1 : 0;
}
