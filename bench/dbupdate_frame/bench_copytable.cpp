// Copies a table of 100,000 rows of a real database file with
// UpdateBase::copyTable and, as the reference, with one
// "insert into ... select" statement, and prints both times and their ratio.
// For scale it also times a few hundred rows inserted one statement at a time
// in autocommit mode, one disk sync each.
//
// Usage: bench_copytable [rows] [folder]   (default 100000, the current folder)

#include "updatebase.h"

#include <QtCore/qcoreapplication.h>
#include <QtCore/qelapsedtimer.h>
#include <QtCore/qtemporarydir.h>
#include <QtSql/qsqldatabase.h>
#include <QtSql/qsqlerror.h>
#include <QtSql/qsqlquery.h>

#include <cstdio>

namespace {

class Upgrader : public UpdateBase
{
public:
    Upgrader() : UpdateBase(QStringLiteral("bench.db")) { }
    bool update() override { return true; }
};

void exec(const QString &sql)
{
    QSqlQuery query;
    if (!query.exec(sql)) {
        std::fprintf(stderr, "%s: %s\n", qPrintable(sql), qPrintable(query.lastError().text()));
        std::exit(1);
    }
}

const char *columns = "(id integer primary key, patientId integer, item text, abbr text, "
                      "result real, flag integer, comment text, curve blob)";

void fill(int rows)
{
    exec(QStringLiteral("create table source") + QLatin1String(columns));
    exec(QStringLiteral("begin transaction"));
    QSqlQuery insert;
    insert.prepare(QStringLiteral("insert into source values(?, ?, ?, ?, ?, ?, ?, ?)"));
    const QStringList items = {"PT", "APTT", "TT", "FIB", "DD"};
    const QByteArray curve(64, '\x5a');
    for (int i = 1; i <= rows; ++i) {
        insert.addBindValue(i);
        insert.addBindValue(i / 5);
        insert.addBindValue(items.at(i % items.size()));
        insert.addBindValue(QStringLiteral("样本 %1").arg(i));
        insert.addBindValue(10.0 + i % 400 / 10.0);
        insert.addBindValue(i % 8);
        insert.addBindValue(i % 3 ? QVariant(QStringLiteral("O'Brien")) : QVariant());
        insert.addBindValue(curve);
        insert.exec();
    }
    exec(QStringLiteral("commit"));
}

double seconds(const QElapsedTimer &timer)
{
    return timer.nsecsElapsed() / 1e9;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int rows = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 100000;
    QTemporaryDir dir(argc > 2 ? QString::fromLocal8Bit(argv[2]) + QLatin1String("/bench-XXXXXX")
                               : QStringLiteral("bench-XXXXXX"));
    if (!dir.isValid() || !QDir::setCurrent(dir.path()))
        return 1;

    Upgrader upgrader;
    fill(rows);
    exec(QStringLiteral("create table reference") + QLatin1String(columns));
    exec(QStringLiteral("create table copy") + QLatin1String(columns));
    exec(QStringLiteral("create table single") + QLatin1String(columns));

    QElapsedTimer timer;
    timer.start();
    exec(QStringLiteral("insert into reference select * from source"));
    const double reference = seconds(timer);

    timer.restart();
    const bool copied = upgrader.copyTable(QStringLiteral("copy"), QStringLiteral("source"));
    const double copy = seconds(timer);

    // A sample of rows, one autocommit insert each.
    const int sample = qMin(rows, 300);
    QSqlQuery single;
    timer.restart();
    for (int i = 1; i <= sample; ++i)
        single.exec(QStringLiteral("insert into single select * from source where id = %1").arg(i));
    const double perRowSynced = seconds(timer) / sample;

    QSqlQuery count;
    count.exec(QStringLiteral("select count(*) from copy"));
    count.next();
    std::printf("rows: %d (copied: %s, %d in target)\n", rows, copied ? "yes" : "NO",
                count.value(0).toInt());
    std::printf("insert into ... select: %.3f s (%.2f us/row)\n", reference,
                reference * 1e6 / rows);
    std::printf("copyTable:              %.3f s (%.2f us/row)\n", copy, copy * 1e6 / rows);
    std::printf("ratio copyTable / insert-select: %.1f\n", copy / reference);
    std::printf("one autocommit insert per row (%d rows): %.3f ms/row, so %.0f s for all rows, "
                "ratio %.0f\n",
                sample, perRowSynced * 1e3, perRowSynced * rows, perRowSynced * rows / reference);
    return copied ? 0 : 1;
}
