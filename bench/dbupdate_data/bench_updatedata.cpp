// Times the data.db upgrade from version 2 by the dbupdate program (its data step
// alone, and the whole run) beside the same statements run by the sqlite3 shell on
// copies of the same file.
//
//   bench_updatedata [results] [curves] [points-per-curve] [rounds] [work-dir]
//
// Defaults: 200000 results, 20000 curves of 2000 points, 3 rounds, a temporary
// directory under the system's temporary location.

#include <QtCore/qcoreapplication.h>
#include <QtCore/qdatastream.h>
#include <QtCore/qdir.h>
#include <QtCore/qelapsedtimer.h>
#include <QtCore/qfile.h>
#include <QtCore/qfileinfo.h>
#include <QtCore/qprocess.h>
#include <QtCore/qrandom.h>
#include <QtCore/qstandardpaths.h>
#include <QtCore/qtemporarydir.h>
#include <QtSql/qsqldatabase.h>
#include <QtSql/qsqlerror.h>
#include <QtSql/qsqlquery.h>

#include "updatedata.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include <unistd.h>

namespace {

const char *const items[] = {"PT", "APTT", "FIB", "TT", "DD"};
const char *const subitems[]
    = {"PT.T", "PT.%", "PT.INR", "PT.R", "APTT.T", "APTT.R", "FIB.T", "FIB.C", "TT.T", "DD.C"};

[[noreturn]] void fail(const QString &what)
{
    std::fprintf(stderr, "bench_updatedata: %s\n", qUtf8Printable(what));
    std::exit(2);
}

bool runShell(const QString &database, const QString &script, qint64 *elapsed = nullptr)
{
    QProcess shell;
    shell.setStandardInputFile(script);
    QElapsedTimer timer;
    timer.start();
    shell.start(QStandardPaths::findExecutable(QStringLiteral("sqlite3")),
        {QStringLiteral("-bail"), database});
    const bool ok = shell.waitForFinished(-1) && shell.exitCode() == 0;
    if (elapsed)
        *elapsed = timer.elapsed();
    if (!ok)
        std::fprintf(stderr, "%s", shell.readAllStandardError().constData());
    return ok;
}

// A stored intensity curve: two segments of equally spaced readings that fall
// along a sigmoid once the sample clots.
QByteArray curveBlob(int points, QRandomGenerator &random)
{
    QByteArray blob;
    QDataStream out(&blob, QIODevice::WriteOnly);
    const double baseline = 1800.0 + random.bounded(1400.0);
    const double clot = 10.0 + random.bounded(30.0);
    const int first = points / 4;
    out << qint32(0) << quint32(2);
    const auto segment = [&](double start, double step, int count) {
        out << start << step << quint32(count);
        for (int k = 0; k < count; ++k) {
            const double t = start + k * step;
            out << baseline * (1.0 - 0.25 / (1.0 + std::exp(-(t - clot)))) + random.bounded(5.0);
        }
    };
    segment(0.0, 0.05, first);
    segment(first * 0.05, 0.1, points - first);
    return blob;
}

void exec(QSqlQuery &query)
{
    if (!query.exec())
        fail(query.lastError().text());
}

// data.db at version 2: the fixture's schema and rows, then the bulk.
void buildDatabase(const QString &fileName, int results, int curves, int points)
{
    if (!runShell(fileName, QStringLiteral(LEGACY_FIXTURES "/data_v2.sql")))
        fail(QStringLiteral("cannot load the version-2 fixture"));

    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("build"));
    db.setDatabaseName(fileName);
    if (!db.open())
        fail(db.lastError().text());
    QRandomGenerator random(20110321);
    {
        QSqlQuery query(db);
        query.exec(QStringLiteral("begin transaction"));
        const int patients = std::max(curves, results / 10);
        query.prepare(
            QStringLiteral("insert into patient(id, sampleNo, date, name) values(?, ?, ?, ?)"));
        for (int p = 0; p < patients; ++p) {
            query.addBindValue(1000 + p);
            query.addBindValue(QString::number(p % 400 + 1));
            query.addBindValue(QStringLiteral("2012-%1-%2")
                                   .arg(p / 400 % 12 + 1, 2, 10, QLatin1Char('0'))
                                   .arg(p / 4800 % 28 + 1, 2, 10, QLatin1Char('0')));
            query.addBindValue(QStringLiteral("病人%1").arg(p));
            exec(query);
        }
        query.prepare(QStringLiteral(
            "insert into result(patientId, item, subitem, abbr, code, result, unit, flag, "
            "displayOrder, lowerMarkLimit, upperMarkLimit) values(?, ?, ?, ?, ?, ?, ?, ?, ?, ?, "
            "?)"));
        for (int r = 0; r < results; ++r) {
            const int sub = r % 10;
            query.addBindValue(1000 + r / 10 % patients);
            query.addBindValue(QLatin1String(items[sub < 4 ? 0
                    : sub < 6                              ? 1
                    : sub < 8                              ? 2
                    : sub < 9                              ? 3
                                                           : 4]));
            query.addBindValue(QLatin1String(subitems[sub]));
            query.addBindValue(QLatin1String(subitems[sub]).left(4));
            query.addBindValue(QStringLiteral("凝血项目"));
            query.addBindValue(5.0 + random.bounded(40.0));
            query.addBindValue(QStringLiteral("s"));
            query.addBindValue(r % 7 == 0 ? 1 : 0);
            query.addBindValue(sub + 1);
            query.addBindValue(10.0);
            query.addBindValue(40.0);
            exec(query);
        }
        query.prepare(QStringLiteral("insert into curve(patientId, item, curve) values(?, ?, ?)"));
        QSqlQuery detail(db);
        detail.prepare(QStringLiteral("insert into detail(patientId, item, info) values(?, ?, ?)"));
        for (int c = 0; c < curves; ++c) {
            query.addBindValue(1000 + c % patients);
            query.addBindValue(QLatin1String(items[c % 5]));
            query.addBindValue(curveBlob(points, random));
            exec(query);
            detail.addBindValue(1000 + c % patients);
            detail.addBindValue(QLatin1String(items[c % 5]));
            detail.addBindValue(QStringLiteral("通道 %1; 杯号 %2").arg(c % 4 + 1).arg(c % 300));
            exec(detail);
        }
        query.exec(QStringLiteral("end transaction"));
    }
    db.close();
    db = QSqlDatabase();
    QSqlDatabase::removeDatabase(QStringLiteral("build"));
}

// A profile.db that the profile step passes without work.
void writeCurrentProfile(const QString &dir)
{
    QFile script(dir + QStringLiteral("/profile.sql"));
    if (!script.open(QIODevice::WriteOnly))
        fail(script.errorString());
    script.write(
        "create table version(version integer); insert into version values(4);\n"
        "create table profile(name text unique, value);\n"
        "create table assayItem(id integer primary key, name text, precision integer);\n"
        "create table assayCalibration(id integer primary key, name text, "
        "assayTemplateId integer);\n"
        "create table curve(id integer primary key, name text);\n"
        "create table currentCurve(name text unique on conflict replace, curveId integer);\n"
        "create table variable(id integer primary key, assayTemplateId integer, name "
        "text, value);\n"
        "create table curveVariable(id integer primary key, curveId integer, name text, "
        "value);\n");
    script.close();
    if (!runShell(dir + QStringLiteral("/profile.db"), script.fileName()))
        fail(QStringLiteral("cannot create profile.db"));
}

void copyFile(const QString &from, const QString &to)
{
    QFile::remove(to);
    if (!QFile::copy(from, to))
        fail(QStringLiteral("cannot copy %1 to %2").arg(from, to));
}

// The data.db step alone, as the program runs it after the profile step.
qint64 runStep(const QString &dir)
{
    const QString previous = QDir::currentPath();
    QDir::setCurrent(dir);
    QElapsedTimer timer;
    timer.start();
    bool ok = false;
    {
        UpdateData step;
        ok = step.update();
    }
    const qint64 elapsed = timer.elapsed();
    QSqlDatabase::database(QLatin1String(QSqlDatabase::defaultConnection), false).close();
    QSqlDatabase::removeDatabase(QLatin1String(QSqlDatabase::defaultConnection));
    QDir::setCurrent(previous);
    if (!ok)
        fail(QStringLiteral("the data step failed"));
    return elapsed;
}

// The whole program: profile.db, data.db (with the backup it takes first), qc.db
// and syslog.db.
qint64 runProgram(const QString &dir)
{
    QDir(dir + QStringLiteral("/backup")).removeRecursively();
    for (const char *name : {"qc.db", "syslog.db", "update.log"})
        QFile::remove(dir + QLatin1Char('/') + QLatin1String(name));
    QProcess program;
    program.setWorkingDirectory(dir);
    QElapsedTimer timer;
    timer.start();
    program.start(QStringLiteral(DBUPDATE_PROGRAM), {QStringLiteral("update.log")});
    if (!program.waitForFinished(-1) || program.exitCode() != 0)
        fail(QStringLiteral("dbupdate failed; see %1/update.log").arg(dir));
    return timer.elapsed();
}

// Both upgrades must leave the same rows behind.
void compareResults(const QString &a, const QString &b)
{
    QStringList counts[2];
    const QString files[2] = {a, b};
    for (int i = 0; i < 2; ++i) {
        const QString name = QStringLiteral("check%1").arg(i);
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
            db.setDatabaseName(files[i]);
            db.open();
            QSqlQuery query(db);
            query.exec(QStringLiteral(
                "select (select count(*) from results), (select count(*) from checkedResult), "
                "(select count(*) from result), (select count(*) from curve), "
                "(select sum(length(curve)) from curve), (select count(*) from detail), "
                "(select group_concat(version) from version), "
                "(select group_concat(sql, ';') from sqlite_master)"));
            query.next();
            for (int c = 0; c < 8; ++c)
                counts[i].append(query.value(c).toString());
        }
        QSqlDatabase::removeDatabase(name);
    }
    if (counts[0] != counts[1] || counts[0].at(6) != QLatin1String("3"))
        fail(QStringLiteral("the two upgrades differ: %1 | %2")
                 .arg(counts[0].mid(0, 7).join(QLatin1Char(' ')),
                     counts[1].mid(0, 7).join(QLatin1Char(' '))));
}

double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values.at(values.size() / 2);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const auto arg = [&](int i, int fallback) {
        return args.size() > i ? args.at(i).toInt() : fallback;
    };
    const int results = arg(1, 200000);
    const int curves = arg(2, 20000);
    const int points = arg(3, 2000);
    const int rounds = std::max(1, arg(4, 3));
    QTemporaryDir temporary(
        args.size() > 5 ? args.at(5) + QStringLiteral("/bench-XXXXXX") : QString());
    if (!temporary.isValid())
        fail(temporary.errorString());

    const QString master = temporary.filePath(QStringLiteral("master.db"));
    const QString dirs[] = {temporary.filePath(QStringLiteral("step")),
        temporary.filePath(QStringLiteral("program")), temporary.filePath(QStringLiteral("shell"))};
    const char *const names[] = {"data step", "dbupdate", "sqlite3 shell"};
    for (const QString &dir : dirs)
        QDir().mkpath(dir);

    QElapsedTimer timer;
    timer.start();
    buildDatabase(master, results, curves, points);
    writeCurrentProfile(dirs[1]);
    std::printf(
        "data.db at version 2: %d results, %d curves of %d points, %.1f MB (built in %.1f s)\n",
        results, curves, points, QFileInfo(master).size() / 1e6, timer.elapsed() / 1000.0);

    QList<double> times[3];
    QList<double> ratios[2];
    for (int round = 0; round < rounds; ++round) {
        qint64 ms[3] = {};
        for (const QString &dir : dirs)
            copyFile(master, dir + QStringLiteral("/data.db"));
        // Write the copies out now, not during someone's timed run.
        ::sync();
        // Rotate the order, so that none always finds the warmest cache.
        for (int turn = 0; turn < 3; ++turn) {
            // Each run starts with the disk quiet, not writing back the one before.
            ::sync();
            switch ((round + turn) % 3) {
            case 0:
                ms[0] = runStep(dirs[0]);
                break;
            case 1:
                ms[1] = runProgram(dirs[1]);
                break;
            default:
                if (!runShell(dirs[2] + QStringLiteral("/data.db"),
                        QStringLiteral(BENCH_DIR "/version3.sql"), &ms[2]))
                    fail(QStringLiteral("the shell's upgrade failed"));
            }
        }
        std::printf("round %d:", round + 1);
        for (int i = 0; i < 3; ++i) {
            if (i < 2)
                compareResults(
                    dirs[i] + QStringLiteral("/data.db"), dirs[2] + QStringLiteral("/data.db"));
            times[i].append(ms[i]);
            std::printf(
                " %s %lld ms%s", names[i], static_cast<long long>(ms[i]), i < 2 ? "," : "\n");
        }
        for (int i = 0; i < 2; ++i)
            ratios[i].append(double(ms[i]) / double(std::max<qint64>(ms[2], 1)));
    }
    std::printf("median times: data step %.0f ms, dbupdate %.0f ms, sqlite3 shell %.0f ms\n",
        median(times[0]), median(times[1]), median(times[2]));
    std::printf("data step / sqlite3 shell: ratio of medians %.3f, median of round ratios %.3f "
                "(target <= 1.2)\n",
        median(times[0]) / median(times[2]), median(ratios[0]));
    std::printf("whole dbupdate run / sqlite3 shell: ratio of medians %.3f, median of round "
                "ratios %.3f\n",
        median(times[1]) / median(times[2]), median(ratios[1]));
    return 0;
}
