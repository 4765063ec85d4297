#include "dbupdatetest.h"
#include "testworkdir.h"

#include <QtCore/qregularexpression.h>
#include <QtTest/qtest.h>

using namespace DbUpdateTest;

namespace {

const QString program = QStringLiteral(DBUPDATE_PROGRAM);
const QStringList databases = {"profile.db", "data.db", "qc.db", "syslog.db"};

QString legacyFixture(const QString &name)
{
    return QStringLiteral(LEGACY_FIXTURES_DIR "/%1.sql").arg(name);
}

// Sets up `dbFile` from a legacy fixture; false (and a skip) when the
// fixture does not exist.
bool setUp(const QString &fixture, const QString &dbFile)
{
    QString error;
    if (!QFileInfo::exists(legacyFixture(fixture)))
        return false;
    if (!loadSql(legacyFixture(fixture), dbFile, &error)) {
        qWarning("%s: %s", qPrintable(fixture), qPrintable(error));
        return false;
    }
    return true;
}

#define SET_UP(fixture, dbFile)                            \
    do {                                                   \
        if (!setUp(fixture, dbFile))                       \
            QSKIP("fixture " fixture " is not available"); \
    } while (false)

// A workstation that was never upgraded.
#define SET_UP_LEGACY()                     \
    do {                                    \
        SET_UP("profile_v0", "profile.db"); \
        SET_UP("data_v0", "data.db");       \
        SET_UP("qc_v0", "qc.db");           \
        SET_UP("syslog_v0", "syslog.db");   \
    } while (false)

QString translation(const QString &name)
{
    return QStringLiteral(TEST_TRANSLATIONS_DIR "/dbupdate_%1.qm").arg(name);
}

const QRegularExpression typedLine(QStringLiteral("^(Debug|Warning|Critical|Fatal): "));

} // namespace

class tst_DbUpdate : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void noArgument();
    void logFileIsAppendedTo();
    void logFileCannotBeOpened_data();
    void logFileCannotBeOpened();
    void translationDirectories_data();
    void translationDirectories();
    void englishTranslationLoads();
    void qcAndSyslogReachTheirFinalState();
    void syslogAtVersionOneOnlyRewritesIt();
    void missingQcIsCreatedEmpty();
    void readOnlyDatabase();
    void errorLineNamesTheSourceFile();
    void firstFailureEndsTheRun_data();
    void firstFailureEndsTheRun();
    void garbageDatabaseIsLeftAlone();
    void messageTypes();
};

void tst_DbUpdate::initTestCase()
{
    QVERIFY2(QFileInfo(program).isExecutable(), qPrintable(program));
}

void tst_DbUpdate::noArgument()
{
    TestWorkDir dir;
    SET_UP_LEGACY();
    const QStringList before = QDir(dir.path()).entryList(QDir::Files);
    const Run result = run(program, {});
    QCOMPARE(result.exitCode, 0);
    QCOMPARE(result.exitStatus, QProcess::NormalExit);
    // Without a log file the messages go to the standard error stream.
    QVERIFY2(result.err.contains(QLatin1String("dbupdate started in")), qPrintable(result.err));
    QVERIFY2(result.err.contains(QLatin1String("dbupdate finished")), qPrintable(result.err));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files).filter(QStringLiteral(".log")), QStringList());
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files).filter(QStringLiteral(".db")).size(),
        before.size());
    QCOMPARE(version(QStringLiteral("syslog.db")), 1);
}

void tst_DbUpdate::logFileIsAppendedTo()
{
    TestWorkDir dir;
    SET_UP_LEGACY();
    QVERIFY(writeFile(QStringLiteral("update.log"), "earlier run\n"));
    const Run result = run(program, {QStringLiteral("update.log")});
    QCOMPARE(result.exitCode, 0);
    QCOMPARE(result.err, QString());
    const QStringList lines = readLines(QStringLiteral("update.log"));
    QVERIFY(lines.size() > 2);
    QCOMPARE(lines.at(0), QStringLiteral("earlier run"));
    QCOMPARE(lines.at(1), QStringLiteral("Debug: dbupdate started in ") + QDir::currentPath());
    QCOMPARE(lines.last(),
        QStringLiteral("Debug: dbupdate finished: profile.db version 0 -> 4, data.db "
                       "version 0 -> 3, qc.db version 0, syslog.db version 0 -> 1"));
    // Each message starts with its type; a statement spread over several
    // lines continues on lines of its own.
    int typed = 0;
    for (const QString &line : lines.mid(1))
        typed += line.contains(typedLine);
    QVERIFY(typed >= 6);

    // A second run appends again.
    QCOMPARE(run(program, {QStringLiteral("update.log")}).exitCode, 0);
    const QStringList again = readLines(QStringLiteral("update.log"));
    QCOMPARE(again.mid(0, lines.size()), lines);
    QVERIFY(again.size() > lines.size());
}

// The program runs on without a log; the first argument is still tried as
// the name of a translation.
void tst_DbUpdate::logFileCannotBeOpened_data()
{
    QTest::addColumn<QString>("logName");
    QTest::addColumn<bool>("isDirectory");
    QTest::newRow("a directory") << "labtr" << true;
    QTest::newRow("in a missing folder") << "nosuchdir/update.log" << false;
}

void tst_DbUpdate::logFileCannotBeOpened()
{
    QFETCH(QString, logName);
    QFETCH(bool, isDirectory);
    TestWorkDir dir;
    SET_UP_LEGACY();
    if (isDirectory) {
        QVERIFY(QDir().mkdir(logName));
        QVERIFY(QFile::copy(translation(QStringLiteral("dot")), logName + QLatin1String(".qm")));
    }
    const Run result = run(program, {logName});
    QCOMPARE(result.exitCode, 0);
    QVERIFY2(result.err.contains(isDirectory ? QLatin1String("[dot] started in")
                                             : QLatin1String("dbupdate started in")),
        qPrintable(result.err));
    QVERIFY(result.err.contains(QLatin1String("dbupdate finished")));
    QVERIFY(!QFileInfo::exists(QStringLiteral("nosuchdir")));
    QCOMPARE(version(QStringLiteral("syslog.db")), 1);
}

void tst_DbUpdate::translationDirectories_data()
{
    QTest::addColumn<bool>("inDot");
    QTest::addColumn<bool>("inDotDot");
    QTest::addColumn<QString>("firstLine");
    QTest::newRow("in .") << true << false << "Debug: [dot] started in ";
    QTest::newRow("in ..") << false << true << "Debug: [dotdot] started in ";
    QTest::newRow("in both, . first") << true << true << "Debug: [dot] started in ";
    QTest::newRow("nowhere") << false << false << "Debug: dbupdate started in ";
}

void tst_DbUpdate::translationDirectories()
{
    QFETCH(bool, inDot);
    QFETCH(bool, inDotDot);
    QFETCH(QString, firstLine);
    TestWorkDir dir;
    QVERIFY(QDir().mkdir(QStringLiteral("work")));
    QVERIFY(QDir::setCurrent(QStringLiteral("work")));
    SET_UP_LEGACY();
    if (inDot)
        QVERIFY(QFile::copy(translation(QStringLiteral("dot")), QStringLiteral("labtr.qm")));
    if (inDotDot)
        QVERIFY(QFile::copy(translation(QStringLiteral("dotdot")), QStringLiteral("../labtr.qm")));
    const Run result = run(program, {QStringLiteral("update.log"), QStringLiteral("labtr")});
    QCOMPARE(result.exitCode, 0);
    const QStringList lines = readLines(QStringLiteral("update.log"));
    QVERIFY(!lines.isEmpty());
    QCOMPARE(lines.first(), firstLine + QDir::currentPath());
}

void tst_DbUpdate::englishTranslationLoads()
{
    const QString english = QStringLiteral(DBUPDATE_TRANSLATIONS_DIR "/dbupdate_en");
    QVERIFY2(QFileInfo::exists(english + QLatin1String(".qm")), qPrintable(english));
    TestWorkDir dir;
    SET_UP_LEGACY();
    const Run result = run(program, {QStringLiteral("update.log"), english});
    QCOMPARE(result.exitCode, 0);
    QCOMPARE(version(QStringLiteral("syslog.db")), 1);
}

void tst_DbUpdate::qcAndSyslogReachTheirFinalState()
{
    TestWorkDir dir;
    SET_UP_LEGACY();
    const QStringList qcBefore = dump(QStringLiteral("qc.db"));
    const QStringList syslogBefore = dump(QStringLiteral("syslog.db"));
    QCOMPARE(run(program, {QStringLiteral("update.log")}).exitCode, 0);

    QCOMPARE(dump(QStringLiteral("qc.db")), qcBefore);
    const QStringList syslogAfter = dump(QStringLiteral("syslog.db"));
    QCOMPARE(syslogAfter.filter(QRegularExpression(QStringLiteral("^version: "))),
        QStringList {QStringLiteral("version: 1")});
    QVERIFY(syslogAfter.contains(
        QStringLiteral("table version on version: CREATE TABLE version(version integer)")));
    // Everything else of syslog.db is as it was.
    QStringList rest = syslogAfter;
    rest.removeAll(QStringLiteral("version: 1"));
    rest.removeAll(
        QStringLiteral("table version on version: CREATE TABLE version(version integer)"));
    QCOMPARE(rest, syslogBefore);
}

void tst_DbUpdate::syslogAtVersionOneOnlyRewritesIt()
{
    TestWorkDir dir;
    SET_UP_LEGACY();
    QVERIFY(withDatabase(QStringLiteral("syslog.db"), [](QSqlDatabase db) {
        QSqlQuery query(db);
        return query.exec(QStringLiteral("create table version(version integer)"))
            && query.exec(QStringLiteral("insert into version values(1)"))
            && query.exec(QStringLiteral("insert into version values(1)"));
    }));
    const QStringList before = dump(QStringLiteral("syslog.db"));
    QCOMPARE(run(program, {QStringLiteral("update.log")}).exitCode, 0);
    QStringList expected = before;
    expected.removeOne(QStringLiteral("version: 1"));
    QCOMPARE(dump(QStringLiteral("syslog.db")), expected);
    QCOMPARE(readLines(QStringLiteral("update.log")).filter(QStringLiteral("updatesyslog.cpp")),
        QStringList());
}

void tst_DbUpdate::missingQcIsCreatedEmpty()
{
    TestWorkDir dir;
    SET_UP_LEGACY();
    QVERIFY(QFile::remove(QStringLiteral("qc.db")));
    QCOMPARE(run(program, {QStringLiteral("update.log")}).exitCode, 0);
    QVERIFY(QFileInfo::exists(QStringLiteral("qc.db")));
    QCOMPARE(dump(QStringLiteral("qc.db")), QStringList());
}

// Statements on a file that cannot be written fail with one line each; the
// system-log step still succeeds and the file keeps its content.
void tst_DbUpdate::readOnlyDatabase()
{
    TestWorkDir dir;
    SET_UP_LEGACY();
    const QByteArray before = readFile(QStringLiteral("syslog.db"));
    Run result;
    {
        ReadOnly readOnly(QStringLiteral("syslog.db"));
        if (!readOnly.effective())
            QSKIP("cannot make a file read-only here");
        result = run(program, {QStringLiteral("update.log")});
    }
    QCOMPARE(result.exitCode, 0);
    const QStringList errors
        = readLines(QStringLiteral("update.log")).filter(QStringLiteral("updatesyslog.cpp"));
    QCOMPARE(errors.size(), 3);
    QVERIFY2(errors.at(0).contains(QLatin1String("attempt to write a readonly database")),
        qPrintable(errors.at(0)));
    for (const QString &line : errors.mid(1))
        QVERIFY2(line.contains(QLatin1String("no such table: version")), qPrintable(line));
    QCOMPARE(readFile(QStringLiteral("syslog.db")), before);
}

void tst_DbUpdate::errorLineNamesTheSourceFile()
{
    TestWorkDir dir;
    SET_UP_LEGACY();
    // A version table that cannot take the new row.
    QVERIFY(withDatabase(QStringLiteral("syslog.db"), [](QSqlDatabase db) {
        QSqlQuery query(db);
        return query.exec(QStringLiteral("create table version(v integer, w integer)"));
    }));
    QCOMPARE(run(program, {QStringLiteral("update.log")}).exitCode, 0);
    const QStringList errors
        = readLines(QStringLiteral("update.log")).filter(QStringLiteral("updatesyslog.cpp"));
    QCOMPARE(errors.size(), 2);
    const QRegularExpression expected(QStringLiteral(
        "^Warning: updatesyslog\\.cpp \\( \\d+ \\):  table version has 2 columns but 1 values were "
        "supplied Unable to execute statement : \\[ insert into version values\\(1\\) \\] $"));
    QVERIFY2(errors.at(1).contains(expected), qPrintable(errors.at(1)));
    QVERIFY2(errors.at(0).contains(QLatin1String("create table version(version integer)")),
        qPrintable(errors.at(0)));
}

void tst_DbUpdate::firstFailureEndsTheRun_data()
{
    QTest::addColumn<QString>("failing");
    QTest::addColumn<QStringList>("untouched");
    QTest::newRow("profile.db missing")
        << "profile.db" << QStringList {"data.db", "qc.db", "syslog.db"};
    QTest::newRow("data.db lookup table cannot be copied")
        << "data.db" << QStringList {"qc.db", "syslog.db"};
}

void tst_DbUpdate::firstFailureEndsTheRun()
{
    QFETCH(QString, failing);
    QFETCH(QStringList, untouched);
    TestWorkDir dir;
    SET_UP_LEGACY();
    if (failing == QLatin1String("profile.db")) {
        QVERIFY(QFile::remove(failing));
    } else {
        // A column the rebuilt lookup table does not have.
        QVERIFY(withDatabase(failing, [](QSqlDatabase db) {
            QSqlQuery query(db);
            return query.exec(QStringLiteral("alter table department add column phone text"))
                && query.exec(QStringLiteral("insert into department(abbr, name, phone) "
                                             "values('ICU', '重症监护室', '8001')"));
        }));
    }
    QMap<QString, QStringList> before;
    for (const QString &db : untouched)
        before.insert(db, dump(db));

    const Run result = run(program, {QStringLiteral("update.log")});
    QCOMPARE(result.exitCode, 1);
    QCOMPARE(result.exitStatus, QProcess::NormalExit);
    for (const QString &db : untouched)
        QCOMPARE(dump(db), before.value(db));
    const QStringList lines = readLines(QStringLiteral("update.log"));
    QVERIFY(!lines.isEmpty());
    QCOMPARE(lines.last(),
        QStringLiteral("Warning: dbupdate stopped: the upgrade of %1 failed; not upgraded: %2")
            .arg(failing, untouched.join(QLatin1String(", "))));
}

// A file in a database's place that is not a database cannot be backed up,
// so it is not upgraded: the run stops there and the file stays as it was.
void tst_DbUpdate::garbageDatabaseIsLeftAlone()
{
    TestWorkDir dir;
    SET_UP_LEGACY();
    QByteArray garbage;
    for (int i = 0; i < 3000; ++i)
        garbage.append(char((i * 131) % 256));
    QVERIFY(writeFile(QStringLiteral("data.db"), garbage));
    const QStringList qcBefore = dump(QStringLiteral("qc.db"));
    const QStringList syslogBefore = dump(QStringLiteral("syslog.db"));
    const Run result = run(program, {QStringLiteral("update.log")});
    QCOMPARE(result.exitStatus, QProcess::NormalExit);
    QCOMPARE(result.exitCode, 1);
    QCOMPARE(readFile(QStringLiteral("data.db")), garbage);
    QCOMPARE(dump(QStringLiteral("qc.db")), qcBefore);
    QCOMPARE(dump(QStringLiteral("syslog.db")), syslogBefore);
    QCOMPARE(version(QStringLiteral("profile.db")), 4);
    const QStringList lines = readLines(QStringLiteral("update.log"));
    QCOMPARE(lines.filter(QStringLiteral("updatedata.cpp")), QStringList());
    QVERIFY(lines.contains(QStringLiteral("Debug: data.db: cannot be read as a database: file is "
                                          "not a database Unable to execute statement")));
    QCOMPARE(lines.last(),
        QStringLiteral("Warning: dbupdate stopped: data.db cannot be backed up (file is not a "
                       "database Unable to fetch row); not upgraded: data.db, qc.db, "
                       "syslog.db"));
}

// Each message type has its line; a fatal message ends the process at once.
void tst_DbUpdate::messageTypes()
{
    TestWorkDir dir;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DBUPDATE_MESSAGES"), QStringLiteral("1"));
    env.insert(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("handle_abort=0"));
    const Run result = run(QStringLiteral(DBUPDATE_TESTPOINTS_PROGRAM),
        {QStringLiteral("update.log")}, dir.path(), env);
    QCOMPARE(result.exitStatus, QProcess::CrashExit);
    QCOMPARE(readLines(QStringLiteral("update.log")),
        (QStringList {"Debug: a debug message", "Warning: a warning message",
            "Critical: a critical message", "Fatal: a fatal message"}));
    QCOMPARE(QDir().entryList(QDir::Files), (QStringList {"dbupdate.lock", "update.log"}));
}

QTEST_GUILESS_MAIN(tst_DbUpdate)
#include "tst_dbupdate.moc"
