// Times of the settings store, each beside its reference in the same run.
// Run in an empty directory: it writes profile.db, data.db, qc.db,
// syslog.db and settings.ini there.
#include "profile.h"

#include <QtCore/qcoreapplication.h>
#include <QtCore/qelapsedtimer.h>
#include <QtCore/qhash.h>
#include <QtCore/qreadwritelock.h>
#include <QtCore/qsettings.h>
#include <QtCore/qthread.h>
#include <QtSql/qsqldatabase.h>
#include <QtSql/qsqlquery.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

namespace {

const int keyCount = 10000;

QStringList makeKeys()
{
    QStringList keys;
    for (int i = 0; i < keyCount; ++i)
        keys << QStringLiteral("schedule/test/%1").arg(i);
    return keys;
}

void createDatabases(const QStringList &keys)
{
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), "setup");
        db.setDatabaseName(QStringLiteral("profile.db"));
        db.open();
        QSqlQuery query(db);
        query.exec(QStringLiteral("drop table if exists profile"));
        query.exec(QStringLiteral("create table profile (name text unique, value)"));
        db.transaction();
        query.prepare(QStringLiteral("insert into profile values(?,?)"));
        for (int i = 0; i < keys.size(); ++i) {
            query.addBindValue(keys.at(i));
            query.addBindValue(i % 2 ? QVariant(i) : QVariant(QStringLiteral("text %1").arg(i)));
            query.exec();
        }
        query.addBindValue(QStringLiteral("max_qc_file"));
        query.addBindValue(30);
        query.exec();
        query.addBindValue(QStringLiteral("hospital"));
        query.addBindValue(QStringLiteral("Central Hospital"));
        query.exec();
        db.commit();
        for (const char *name : {"data.db", "qc.db", "syslog.db"}) {
            QSqlDatabase other = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
            other.setDatabaseName(QString::fromLatin1(name));
            other.open();
            QSqlQuery(other).exec(
                QStringLiteral("create table if not exists version(version integer)"));
        }
    }
    for (const char *name : {"setup", "data.db", "qc.db", "syslog.db"})
        QSqlDatabase::removeDatabase(QString::fromLatin1(name));
}

// Nanoseconds per call of `measured` and of `reference`, each the best of
// several runs of `calls` calls; the two take turns so that both see the
// same machine load.
std::pair<double, double> nsPerCall(
    int calls, const std::function<void(int)> &measured, const std::function<void(int)> &reference)
{
    const auto time = [calls](const std::function<void(int)> &body) {
        QElapsedTimer timer;
        timer.start();
        for (int i = 0; i < calls; ++i)
            body(i);
        return double(timer.nsecsElapsed()) / calls;
    };
    double best = 1e300;
    double bestReference = 1e300;
    for (int run = 0; run < 9; ++run) {
        best = std::min(best, time(measured));
        bestReference = std::min(bestReference, time(reference));
    }
    return {best, bestReference};
}

// Calls per second of `body` run by `threads` threads at once for a while.
double throughput(int threads, const std::function<void(int)> &body)
{
    std::atomic<bool> go {false};
    std::atomic<bool> stop {false};
    std::atomic<long long> total {0};
    std::vector<std::unique_ptr<QThread>> workers;
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back(QThread::create([&, t] {
            while (!go.load()) { }
            long long calls = 0;
            for (int i = t * 997; !stop.load(std::memory_order_relaxed); ++i, ++calls)
                body(i);
            total += calls;
        }));
        workers.back()->start();
    }
    QElapsedTimer timer;
    go = true;
    timer.start();
    QThread::msleep(1000);
    stop = true;
    for (auto &worker : workers)
        worker->wait();
    return total.load() / (timer.nsecsElapsed() / 1e9);
}

void report(
    const char *what, double value, const char *reference, double referenceValue, const char *unit)
{
    std::printf("%-44s %10.1f %s   %-40s %10.1f %s   ratio %.2f\n", what, value, unit, reference,
        referenceValue, unit, value / referenceValue);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList keys = makeKeys();
    createDatabases(keys);

    // Start-up: the whole store against the plain select into a hash.
    std::vector<double> startTimes;
    std::vector<double> selectTimes;
    for (int run = 0; run < 15; ++run) {
        QElapsedTimer timer;
        timer.start();
        {
            Profile profile;
        }
        startTimes.push_back(timer.nsecsElapsed() / 1e6);

        timer.restart();
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), "plain");
            db.setDatabaseName(QStringLiteral("profile.db"));
            db.open();
            QHash<QString, QVariant> hash;
            QSqlQuery query(db);
            query.setForwardOnly(true);
            query.exec(QStringLiteral("select name, value from profile"));
            while (query.next())
                hash.insert(query.value(0).toString(), query.value(1));
            if (hash.size() != keyCount + 2)
                std::printf("unexpected row count %lld\n", qlonglong(hash.size()));
        }
        QSqlDatabase::removeDatabase(QStringLiteral("plain"));
        selectTimes.push_back(timer.nsecsElapsed() / 1e6);
    }
    std::sort(startTimes.begin(), startTimes.end());
    std::sort(selectTimes.begin(), selectTimes.end());

    Profile profile;
    volatile int sink = 0;

    // A named getter after its first read against a bare variant conversion.
    profile.max_qc_file(0);
    profile.hospital(QString());
    const QVariant number(30);
    // Built at run time like the stored text, so that copies count references.
    const QVariant text(QString::fromUtf8("Central Hospital"));
    const auto [getter, toInt] = nsPerCall(
        2000000, [&](int) { sink = sink + profile.max_qc_file(0); },
        [&](int) { sink = sink + number.toInt(); });
    const auto [textGetter, toString] = nsPerCall(
        2000000, [&](int) { sink = sink + int(profile.hospital(QString()).size()); },
        [&](int) { sink = sink + int(text.toString().size()); });

    // value() of a present key against a bare locked lookup and QSettings.
    QHash<QString, QVariant> hash;
    QReadWriteLock lock;
    {
        QSettings ini(QStringLiteral("settings.ini"), QSettings::IniFormat);
        ini.clear();
        for (int i = 0; i < keyCount; ++i) {
            const QVariant v = profile.value(keys.at(i));
            hash.insert(keys.at(i), v);
            ini.setValue(keys.at(i), v);
        }
    }
    QSettings ini(QStringLiteral("settings.ini"), QSettings::IniFormat);
    ini.value(keys.first());
    const QVariant none;
    const auto storeRead = [&](int i) {
        sink = sink + int(profile.value(keys.at(i % keyCount), none).isValid());
    };
    const auto bareRead = [&](int i) {
        QReadLocker locker(&lock);
        sink = sink + int(hash.value(keys.at(i % keyCount)).isValid());
    };
    const auto [value, bare] = nsPerCall(1000000, storeRead, bareRead);
    const auto [valueAgain, settings] = nsPerCall(1000000, storeRead,
        [&](int i) { sink = sink + int(ini.value(keys.at(i % keyCount)).isValid()); });
    const double oneThread = throughput(1, storeRead);
    const double twoThreads = throughput(2, storeRead);
    const double bareOne = throughput(1, bareRead);
    const double bareTwo = throughput(2, bareRead);

    std::printf(
        "threads: %d, keys in the profile table: %d\n", QThread::idealThreadCount(), keyCount + 2);
    report("named getter max_qc_file (int)", getter, "QVariant::toInt()", toInt, "ns");
    report("named getter hospital (text)", textGetter, "QVariant::toString()", toString, "ns");
    report("Profile::value, present key", value, "QHash lookup under QReadLocker", bare, "ns");
    report(
        "Profile::value, present key", value, "QSettings::value, INI, same keys", settings, "ns");
    report("Profile::value, 2 threads (calls/s)", twoThreads / 1e6, "1 thread (calls/s)",
        oneThread / 1e6, "M");
    report("bare locked lookup, 2 threads (calls/s)", bareTwo / 1e6, "1 thread (calls/s)",
        bareOne / 1e6, "M");
    report("start-up, median of 15", startTimes[startTimes.size() / 2],
        "open + select name, value into a hash", selectTimes[selectTimes.size() / 2], "ms");
    report("start-up, best of 15", startTimes.front(), "open + select name, value, best",
        selectTimes.front(), "ms");
    return sink == 42 ? 1 : 0;
}
