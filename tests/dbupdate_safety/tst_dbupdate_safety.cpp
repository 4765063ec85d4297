#include "dbupdatetest.h"
#include "testworkdir.h"

#include <QtCore/qdiriterator.h>
#include <QtCore/qelapsedtimer.h>
#include <QtCore/qlockfile.h>
#include <QtCore/qregularexpression.h>
#include <QtTest/qtest.h>

#include <sys/file.h>

using namespace DbUpdateTest;

namespace {

const QString program = QStringLiteral(DBUPDATE_PROGRAM);
const QString releaseProgram = QStringLiteral(DBUPDATE_RELEASE_PROGRAM);
const QStringList databases = {"profile.db", "data.db", "qc.db", "syslog.db"};

QProcessEnvironment environment(const QString &name = QString(), int value = 0)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DBUPDATE_KILL_AT"));
    env.remove(QStringLiteral("DBUPDATE_PAUSE_MS"));
    if (!name.isEmpty())
        env.insert(name, QString::number(value));
    return env;
}

// The four databases of a workstation as the fixtures give them.
bool setUpWorkstation(const QString &dir, int profileVersion, int dataVersion)
{
    const QStringList fixtures = {QStringLiteral("profile_v%1").arg(profileVersion),
        QStringLiteral("data_v%1").arg(dataVersion), QStringLiteral("qc_v0"),
        QStringLiteral("syslog_v0")};
    for (int i = 0; i < databases.size(); ++i) {
        const QString sql = QStringLiteral(LEGACY_FIXTURES_DIR "/%1.sql").arg(fixtures.at(i));
        QString error;
        if (!loadSql(sql, QDir(dir).filePath(databases.at(i)), &error)) {
            qWarning("%s: %s", qPrintable(sql), qPrintable(error));
            return false;
        }
    }
    return true;
}

bool copyDatabases(const QString &from, const QString &to)
{
    if (!QDir().mkpath(to))
        return false;
    for (const QString &db : databases) {
        const QString source = QDir(from).filePath(db);
        if (QFileInfo::exists(source) && !QFile::copy(source, QDir(to).filePath(db)))
            return false;
    }
    return true;
}

QMap<QString, QStringList> dumps(const QString &dir)
{
    QMap<QString, QStringList> result;
    for (const QString &db : databases)
        result.insert(db, dump(QDir(dir).filePath(db)));
    return result;
}

QMap<QString, QByteArray> contents(const QString &dir)
{
    QMap<QString, QByteArray> result;
    QDirIterator it(dir, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString file = it.next();
        result.insert(QDir(dir).relativeFilePath(file), readFile(file));
    }
    return result;
}

// The backups written for `db` (for example "data.db") in `dir`.
QStringList backupsOf(const QString &dir, const QString &db)
{
    const QString base = QFileInfo(db).completeBaseName();
    QDir backups(QDir(dir).filePath(QStringLiteral("backup")));
    QStringList files;
    for (const QString &name :
        backups.entryList({base + QLatin1String("-v*.db")}, QDir::Files, QDir::Name))
        files.append(backups.filePath(name));
    return files;
}

QRegularExpression typedWarning()
{
    return QRegularExpression(QStringLiteral("^Warning: "));
}

int testPoints(const Run &run)
{
    const QRegularExpressionMatch match
        = QRegularExpression(QStringLiteral("test points: (\\d+)")).match(run.err);
    return match.hasMatch() ? match.captured(1).toInt() : -1;
}

// The points to stop at: every one up to a bound, else the first few, the
// last few and an even spread between. DBUPDATE_CRASH_ALL=1 takes them all.
QList<int> killPoints(int count)
{
    const int spread = 36;
    QList<int> points;
    if (count <= spread + 10 || qEnvironmentVariableIntValue("DBUPDATE_CRASH_ALL")) {
        for (int k = 1; k <= count; ++k)
            points.append(k);
        return points;
    }
    for (int k = 1; k <= 5; ++k)
        points.append(k);
    for (int i = 1; i < spread; ++i)
        points.append(5 + i * (count - 10) / spread);
    for (int k = count - 4; k <= count; ++k)
        points.append(k);
    std::sort(points.begin(), points.end());
    points.erase(std::unique(points.begin(), points.end()), points.end());
    return points;
}

// After a killed run in `work`: every file is sound, every backup holds its
// database's content from before the run, and a database without a backup is
// unchanged. Then the databases named in `restore` are put back from their
// backups (without the killed run's journal) and a new run must end where an
// uninterrupted run ends.
void checkKilledRun(const QString &work, const QMap<QString, QStringList> &before,
    const QMap<QString, QStringList> &expected, const QStringList &restore, const QString &where)
{
    for (const QString &name : databases) {
        const QString file = QDir(work).filePath(name);
        const QString at = where + QLatin1String(": ") + name;
        QVERIFY2(integrityCheck(file) == QLatin1String("ok"), qPrintable(at));
        const QStringList backups = backupsOf(work, name);
        if (backups.isEmpty()) {
            QVERIFY2(dump(file) == before.value(name), qPrintable(at + QLatin1String(" changed")));
            continue;
        }
        QVERIFY2(backups.size() == 1, qPrintable(at));
        QVERIFY2(dump(backups.first()) == before.value(name),
            qPrintable(at + QLatin1String(": backup")));
        if (restore.contains(name)) {
            QFile::remove(file + QLatin1String("-journal"));
            QVERIFY(QFile::remove(file));
            QVERIFY(QFile::copy(backups.first(), file));
        }
    }

    const Run again = run(program, {QStringLiteral("update.log")}, work, environment());
    QFile log(QDir(work).filePath(QStringLiteral("update.log")));
    const QString logText
        = log.open(QIODevice::ReadOnly) ? QString::fromUtf8(log.readAll()) : QString();
    QVERIFY2(again.exitCode == 0,
        qPrintable(where + QLatin1Char('\n') + again.err + QLatin1String("\nlog:\n") + logText));
    const QMap<QString, QStringList> after = dumps(work);
    for (const QString &name : databases)
        QVERIFY2(after.value(name) == expected.value(name),
            qPrintable(where + QLatin1String(": ") + name + QLatin1String(" differs")));
}

} // namespace

class tst_DbUpdateSafety : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void killedAnywhere_data();
    void killedAnywhere();
    void killedAtAnyMoment();
    void twoProgramsAtOnce();
    void lockHeldElsewhere();
    void namelessLockFile_data();
    void namelessLockFile();
    void backupCannotBeWritten_data();
    void backupCannotBeWritten();
    void backupsAndLogLines();
    void upToDateRunWritesNoBackup();
};

void tst_DbUpdateSafety::initTestCase()
{
    QVERIFY2(QFileInfo(program).isExecutable(), qPrintable(program));
}

void tst_DbUpdateSafety::killedAnywhere_data()
{
    QTest::addColumn<int>("profileVersion");
    QTest::addColumn<int>("dataVersion");
    QTest::newRow("profile v0, data v0") << 0 << 0;
    QTest::newRow("profile v1, data v1") << 1 << 1;
    QTest::newRow("profile v2, data v2") << 2 << 2;
    QTest::newRow("profile v3, data v0") << 3 << 0;
}

// A run killed at any point leaves sound files and a backup of the database
// it was working on; restoring that backup and running again ends exactly
// where an uninterrupted run ends.
void tst_DbUpdateSafety::killedAnywhere()
{
    QFETCH(int, profileVersion);
    QFETCH(int, dataVersion);
    TestWorkDir dir;
    const QString pristine = dir.filePath(QStringLiteral("pristine"));
    QVERIFY(QDir().mkpath(pristine));
    QVERIFY(setUpWorkstation(pristine, profileVersion, dataVersion));
    const QMap<QString, QStringList> before = dumps(pristine);

    const QString reference = dir.filePath(QStringLiteral("reference"));
    QVERIFY(copyDatabases(pristine, reference));
    const Run complete = run(program, {QStringLiteral("update.log")}, reference, environment());
    QCOMPARE(complete.exitCode, 0);
    const QMap<QString, QStringList> expected = dumps(reference);
    const int count = testPoints(complete);
    QVERIFY2(count > 10, qPrintable(complete.err));

    const QRegularExpression killedAt(
        QStringLiteral("killed at test point (\\d+): (.*) in (.*)\n"));
    for (const int k : killPoints(count)) {
        const QString work = dir.filePath(QStringLiteral("run-%1").arg(k));
        QVERIFY(copyDatabases(pristine, work));
        const Run killed = run(program, {QStringLiteral("update.log")}, work,
            environment(QStringLiteral("DBUPDATE_KILL_AT"), k));
        QCOMPARE(killed.exitStatus, QProcess::CrashExit);
        const QRegularExpressionMatch match = killedAt.match(killed.err);
        QVERIFY2(match.hasMatch(), qPrintable(killed.err));
        const QString db = match.captured(3);
        const QString where
            = QStringLiteral("killed at %1 (%2) in '%3'").arg(k).arg(match.captured(2), db);

        checkKilledRun(
            work, before, expected, db.isEmpty() ? QStringList() : QStringList {db}, where);
        if (QTest::currentTestFailed())
            return;
        QVERIFY(QDir(work).removeRecursively());
    }
}

// The program itself, killed after a spread of delays: wherever that lands
// (also in statements a test point does not mark), every file is sound, and
// restoring all backups and running again ends as an uninterrupted run.
void tst_DbUpdateSafety::killedAtAnyMoment()
{
    TestWorkDir dir;
    const QString pristine = dir.filePath(QStringLiteral("pristine"));
    QVERIFY(QDir().mkpath(pristine));
    QVERIFY(setUpWorkstation(pristine, 0, 0));
    const QMap<QString, QStringList> before = dumps(pristine);

    const QString reference = dir.filePath(QStringLiteral("reference"));
    QVERIFY(copyDatabases(pristine, reference));
    QElapsedTimer timer;
    timer.start();
    QCOMPARE(run(releaseProgram, {QStringLiteral("update.log")}, reference).exitCode, 0);
    const qint64 duration = timer.elapsed();
    const QMap<QString, QStringList> expected = dumps(reference);

    const int moments = 16;
    int kills = 0;
    for (int i = 1; i <= moments; ++i) {
        const qint64 delay = duration * i / (moments + 1);
        const QString work = dir.filePath(QStringLiteral("run-%1").arg(i));
        QVERIFY(copyDatabases(pristine, work));
        QProcess process;
        process.setWorkingDirectory(work);
        process.start(releaseProgram, {QStringLiteral("update.log")});
        QVERIFY(process.waitForStarted());
        if (!process.waitForFinished(int(delay))) {
            process.kill();
            QVERIFY(process.waitForFinished());
            ++kills;
        }
        checkKilledRun(work, before, expected, databases,
            QStringLiteral("killed after %1 of %2 ms").arg(delay).arg(duration));
        if (QTest::currentTestFailed())
            return;
        QVERIFY(QDir(work).removeRecursively());
    }
    QVERIFY2(kills > moments / 2, qPrintable(QString::number(kills)));
}

void tst_DbUpdateSafety::twoProgramsAtOnce()
{
    TestWorkDir dir;
    QVERIFY(setUpWorkstation(dir.path(), 0, 0));
    const QMap<QString, QByteArray> before = contents(dir.path());

    // Whichever program locks first holds the lock for longer than the other
    // waits for it.
    QProcess first;
    QProcess second;
    for (QProcess *process : {&first, &second}) {
        process->setProcessEnvironment(environment(QStringLiteral("DBUPDATE_PAUSE_MS"), 8000));
        process->setWorkingDirectory(dir.path());
    }
    first.start(program, {QStringLiteral("first.log")});
    second.start(program, {QStringLiteral("second.log")});
    QVERIFY(first.waitForStarted());
    QVERIFY(second.waitForStarted());

    QElapsedTimer timer;
    timer.start();
    QProcess *loser = nullptr;
    while (!loser && timer.elapsed() < 60000) {
        if (first.waitForFinished(25))
            loser = &first;
        else if (second.waitForFinished(25))
            loser = &second;
    }
    QVERIFY(loser);
    QProcess *winner = loser == &first ? &second : &first;
    QCOMPARE(loser->exitStatus(), QProcess::NormalExit);
    QCOMPARE(loser->exitCode(), 1);
    QVERIFY(winner->state() != QProcess::NotRunning);
    const QString loserLog
        = loser == &first ? QStringLiteral("first.log") : QStringLiteral("second.log");
    const QStringList lines = readLines(loserLog);
    QCOMPARE(lines.size(), 1);
    QVERIFY2(lines.first().startsWith(
                 QLatin1String("Warning: dbupdate did not start: another dbupdate (process ")),
        qPrintable(lines.first()));
    QVERIFY(lines.first().endsWith(QLatin1String("dbupdate.lock); no database was opened")));

    // The winner is still holding its lock before its first statement: every
    // file is as it was, apart from the two logs and the lock itself.
    QMap<QString, QByteArray> now = contents(dir.path());
    now.remove(QStringLiteral("first.log"));
    now.remove(QStringLiteral("second.log"));
    now.remove(QStringLiteral("dbupdate.lock"));
    QCOMPARE(now.keys(), before.keys());
    QVERIFY(now == before);

    QVERIFY(winner->waitForFinished(120000));
    QCOMPARE(winner->exitCode(), 0);
    QCOMPARE(version(QStringLiteral("profile.db")), 4);
    QCOMPARE(version(QStringLiteral("data.db")), 3);
    QVERIFY(!QFileInfo::exists(QStringLiteral("dbupdate.lock")));
}

void tst_DbUpdateSafety::lockHeldElsewhere()
{
    TestWorkDir dir;
    QLockFile lock(QStringLiteral("dbupdate.lock"));
    QVERIFY(lock.tryLock());
    const Run result = run(program, {}, dir.path(), environment());
    QCOMPARE(result.exitCode, 1);
    QVERIFY2(result.err.contains(QLatin1String("dbupdate did not start: another dbupdate")),
        qPrintable(result.err));
    // Not one database was opened, so none was created.
    QCOMPARE(QDir().entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot),
        QStringList {"dbupdate.lock"});
}

void tst_DbUpdateSafety::namelessLockFile_data()
{
    QTest::addColumn<bool>("held");
    QTest::newRow("left by a killed run") << false;
    QTest::newRow("being created by a live run") << true;
}

// A run killed between creating the lock file and writing its process id
// leaves an empty file. Nobody holds a lock on it, so the next run takes it
// over; while a live run holds it, it still keeps others out.
void tst_DbUpdateSafety::namelessLockFile()
{
    QFETCH(bool, held);
    TestWorkDir dir;
    QVERIFY(setUpWorkstation(dir.path(), 0, 0));
    QFile lockFile(QStringLiteral("dbupdate.lock"));
    QVERIFY(lockFile.open(QIODevice::WriteOnly));
    if (held)
        QCOMPARE(::flock(lockFile.handle(), LOCK_EX | LOCK_NB), 0);
    else
        lockFile.close();

    const Run result = run(program, {}, dir.path(), environment());
    QCOMPARE(result.exitCode, held ? 1 : 0);
    QCOMPARE(version(QStringLiteral("profile.db")), held ? 0 : 4);
}

void tst_DbUpdateSafety::backupCannotBeWritten_data()
{
    QTest::addColumn<bool>("readOnlyFolder");
    QTest::newRow("read-only folder") << true;
    QTest::newRow("a file in the folder's place") << false;
}

void tst_DbUpdateSafety::backupCannotBeWritten()
{
    QFETCH(bool, readOnlyFolder);
    TestWorkDir dir;
    QVERIFY(setUpWorkstation(dir.path(), 0, 0));
    std::unique_ptr<ReadOnly> readOnly;
    if (readOnlyFolder) {
        QVERIFY(QDir().mkdir(QStringLiteral("backup")));
        readOnly = std::make_unique<ReadOnly>(QStringLiteral("backup"));
        if (!readOnly->effective())
            QSKIP("cannot make a folder read-only here");
    } else {
        QVERIFY(writeFile(QStringLiteral("backup"), "not a folder\n"));
    }
    QMap<QString, QByteArray> before = contents(dir.path());

    const Run result = run(program, {QStringLiteral("update.log")}, dir.path(), environment());
    readOnly.reset();
    QCOMPARE(result.exitCode, 1);
    const QStringList warnings = readLines(QStringLiteral("update.log")).filter(typedWarning());
    QCOMPARE(warnings.size(), 1);
    QVERIFY2(warnings.first().startsWith(
                 QLatin1String("Warning: dbupdate stopped: profile.db cannot be backed up (")),
        qPrintable(warnings.first()));
    QVERIFY(warnings.first().endsWith(
        QLatin1String("); not upgraded: profile.db, data.db, qc.db, syslog.db")));

    QMap<QString, QByteArray> after = contents(dir.path());
    after.remove(QStringLiteral("update.log"));
    QCOMPARE(after.keys(), before.keys());
    QVERIFY(after == before);
}

void tst_DbUpdateSafety::backupsAndLogLines()
{
    TestWorkDir dir;
    QVERIFY(setUpWorkstation(dir.path(), 1, 2));
    const QMap<QString, QStringList> before = dumps(dir.path());
    QCOMPARE(run(program, {QStringLiteral("update.log")}, dir.path(), environment()).exitCode, 0);

    const QStringList lines = readLines(QStringLiteral("update.log"));
    QCOMPARE(lines.mid(0, 5),
        (QStringList {QStringLiteral("Debug: dbupdate started in ") + dir.path(),
            "Debug: profile.db: version 1, will be upgraded to version 4",
            "Debug: data.db: version 2, will be upgraded to version 3",
            "Debug: qc.db: version 0, nothing to upgrade",
            "Debug: syslog.db: version 0, will be upgraded to version 1"}));
    QCOMPARE(lines.last(),
        QStringLiteral("Debug: dbupdate finished: profile.db version 1 -> 4, data.db version "
                       "2 -> 3, qc.db version 0, syslog.db version 0 -> 1"));

    // One backup for each database that was upgraded, named after it and its
    // old version, announced in the log and holding the old content.
    const QList<QPair<QString, int>> upgraded
        = {{"profile.db", 1}, {"data.db", 2}, {"syslog.db", 0}};
    for (const auto &[db, oldVersion] : upgraded) {
        const QStringList backups = backupsOf(dir.path(), db);
        QCOMPARE(backups.size(), 1);
        const QString name = QFileInfo(backups.first()).fileName();
        QVERIFY2(name.contains(QRegularExpression(QStringLiteral("^%1-v%2-\\d{8}-\\d{6}\\.db$")
                                                      .arg(QFileInfo(db).completeBaseName())
                                                      .arg(oldVersion))),
            qPrintable(name));
        QVERIFY(lines.contains(QStringLiteral("Debug: %1: version %2 backed up to backup/%3")
                                   .arg(db)
                                   .arg(oldVersion)
                                   .arg(name)));
        QCOMPARE(dump(backups.first()), before.value(db));
    }
    QCOMPARE(backupsOf(dir.path(), QStringLiteral("qc.db")), QStringList());
}

void tst_DbUpdateSafety::upToDateRunWritesNoBackup()
{
    TestWorkDir dir;
    QVERIFY(setUpWorkstation(dir.path(), 3, 2));
    QCOMPARE(run(program, {}, dir.path(), environment()).exitCode, 0);
    QVERIFY(QDir(QStringLiteral("backup")).removeRecursively());
    QCOMPARE(run(program, {}, dir.path(), environment()).exitCode, 0);
    QVERIFY(!QFileInfo::exists(QStringLiteral("backup")));
}

QTEST_GUILESS_MAIN(tst_DbUpdateSafety)
#include "tst_dbupdate_safety.moc"
