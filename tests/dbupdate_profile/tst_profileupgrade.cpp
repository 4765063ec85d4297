// The profile.db upgrade through the real program: dbupdate runs as a process
// in a temporary working directory holding a legacy profile.db.

#include "dbupdatetest.h"
#include "profiledb.h"
#include "testworkdir.h"

#include <QtCore/qcryptographichash.h>
#include <QtCore/qfile.h>
#include <QtCore/qprocess.h>
#include <QtTest/qtest.h>

namespace {

struct ProgramRun
{
    int exitCode = -1;
    QString log;
};

// Runs dbupdate in the working directory with `update.log` as its log file
// and the given translation names.
ProgramRun runProgram(const QStringList &translations = QStringList())
{
    const QString logName = QStringLiteral("update.log");
    QFile::remove(logName);
    const DbUpdateTest::Run program = DbUpdateTest::run(
        QStringLiteral(DBUPDATE_EXECUTABLE), QStringList {logName} + translations);
    ProgramRun run;
    if (program.exitStatus != QProcess::NormalExit) {
        qWarning("dbupdate did not finish: %s", qPrintable(program.err));
        return run;
    }
    run.exitCode = program.exitCode;
    run.log = QString::fromUtf8(DbUpdateTest::readFile(logName));
    return run;
}

// The part of the log written by the profile.db upgrade: everything before
// the next upgrader replaces its connection.
QString profileSection(const QString &log)
{
    const int next = log.indexOf(QLatin1String("duplicate connection name"));
    return next < 0 ? log : log.left(log.lastIndexOf(QLatin1Char('\n'), next) + 1);
}

QByteArray fileHash(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256);
}

// The working directory of a workstation: profile.db from its fixture with
// `extraSql` run on it, and a data.db that its own upgrade brings to version 3.
bool createWorkstation(int profileVersion, const QString &extraSql = QString())
{
    return loadFixture(profileVersion, extraSql)
        && loadLegacyFile(QStringLiteral("data_v2.sql"), QStringLiteral("data.db"));
}

const QString uniqueKeyFailed
    = QStringLiteral("UNIQUE constraint failed: profile.name Unable to fetch row");

} // namespace

class tst_ProfileUpgrade : public QObject
{
    Q_OBJECT

private slots:
    void upgradesEachFixture_data();
    void upgradesEachFixture();
    void rerunLogsNothing();
    void failureEndsTheRun_data();
    void failureEndsTheRun();
    void translations_data();
    void translations();
};

void tst_ProfileUpgrade::upgradesEachFixture_data()
{
    QTest::addColumn<int>("version");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("v0") << 0 << QStringList();
    // A laboratory's FIB report dilution and FIB OD percentage are kept.
    QTest::newRow("v1") << 1
                        << QStringList {"insert into profile values('FIB/report/dilution', "
                                        "'1/10') => "
                                   + uniqueKeyFailed,
                               "insert or abort into profile values('analyst/FIB/"
                               "odPercent', \t\t0.5) => "
                                   + uniqueKeyFailed};
    QTest::newRow("v2") << 2 << QStringList();
    QTest::newRow("v3") << 3 << QStringList();
}

void tst_ProfileUpgrade::upgradesEachFixture()
{
    QFETCH(int, version);
    QFETCH(QStringList, expected);
    TestWorkDir dir;
    QVERIFY(createWorkstation(version));

    const ProgramRun run = runProgram();
    QCOMPARE(run.exitCode, 0);
    const QString section = profileSection(run.log);
    QCOMPARE(describe(parseErrorLines(section)), expected);
    // The whole line as the log holds it.
    for (const ErrorLine &line : parseErrorLines(section)) {
        const QRegularExpression pattern(
            QStringLiteral("(^|\\n)Warning: updateprofile\\.cpp \\( \\d+ \\):  %1 : \\[ %2 \\] \\n")
                .arg(QRegularExpression::escape(line.error),
                    QRegularExpression::escape(line.statement)));
        QVERIFY2(pattern.match(section).hasMatch(), qPrintable(section));
    }

    const ProfileDb db;
    QCOMPARE(db.column(QStringLiteral("select version from version")), QStringList {"4"});
    QCOMPARE(db.value(QStringLiteral("select count(*) from currentCurve")).toInt(), 5);
    // The later upgrades ran.
    for (const char *name : {"data.db", "qc.db", "syslog.db"})
        QVERIFY2(QFile::exists(QLatin1String(name)), name);
}

void tst_ProfileUpgrade::rerunLogsNothing()
{
    TestWorkDir dir;
    QVERIFY(createWorkstation(0));
    QCOMPARE(runProgram().exitCode, 0);
    const QStringList upgraded = ProfileDb().dump();

    const ProgramRun again = runProgram();
    QCOMPARE(again.exitCode, 0);
    QCOMPARE(describe(parseErrorLines(profileSection(again.log))), QStringList());
    QCOMPARE(ProfileDb().dump(), upgraded);
}

void tst_ProfileUpgrade::failureEndsTheRun_data()
{
    QTest::addColumn<int>("version");
    QTest::addColumn<QString>("extraSql");
    QTest::addColumn<QStringList>("versionAfter");
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("expected");

    // The rebuilt user table refuses the second name; profile.db keeps version 0.
    QTest::newRow("user names differing in case")
        << 0 << QStringLiteral("insert into user values(6, 'ADMIN', 'x', 2);") << QStringList()
        << QStringLiteral("updatebase.cpp")
        << QStringLiteral("INSERT INTO \"user\" (\"id\", \"name\", \"password\", \"level\") "
                          "VALUES (6, 'ADMIN', 'x', 2) => UNIQUE constraint failed: "
                          "user.name Unable to fetch row");
    // The version is written before the migration fails.
    QTest::newRow("no variable table")
        << 3 << QStringLiteral("drop table variable;") << QStringList {"4"}
        << QStringLiteral("updateprofile.cpp")
        << QStringLiteral("select count(*) from variable where value notnull => no such "
                          "table: variable Unable to execute statement");
}

void tst_ProfileUpgrade::failureEndsTheRun()
{
    QFETCH(int, version);
    QFETCH(QString, extraSql);
    QFETCH(QStringList, versionAfter);
    QFETCH(QString, file);
    QFETCH(QString, expected);

    TestWorkDir dir;
    QVERIFY(createWorkstation(version, extraSql));
    const QByteArray data = fileHash(QStringLiteral("data.db"));

    // A failed run changes nothing that a second run could mend.
    for (int attempt = 1; attempt <= 2; ++attempt) {
        const ProgramRun run = runProgram();
        QCOMPARE(run.exitCode, 1);
        const QList<ErrorLine> errors = parseErrorLines(run.log);
        QCOMPARE(describe(errors), QStringList {expected});
        QCOMPARE(errors.first().file, file);
        QCOMPARE(fileHash(QStringLiteral("data.db")), data);
        QVERIFY(!QFile::exists(QStringLiteral("qc.db")));
        QVERIFY(!QFile::exists(QStringLiteral("syslog.db")));
        if (versionAfter.isEmpty())
            break; // the second run would find user already rebuilt
    }
    const ProfileDb db;
    const bool hasVersionTable = !db.schema(QStringLiteral("version")).isEmpty();
    QCOMPARE(hasVersionTable, !versionAfter.isEmpty());
    if (hasVersionTable)
        QCOMPARE(db.column(QStringLiteral("select version from version")), versionAfter);
}

void tst_ProfileUpgrade::translations_data()
{
    QTest::addColumn<QString>("translation");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("English") << QStringLiteral(DBUPDATE_TRANSLATIONS_DIR "/dbupdate_en")
                             << QStringList {"dilution=text:Gradient 1;1/5;1/10;1/20;1/30,Gradient "
                                             "2;1/5;1/10;1/20;1/30;1/40,Gradient 3;1/1;1/2;1/4;1/"
                                             "8,Gradient 4;1/1;3/4;1/2;1/4",
                                    "patient/sampleType=text:Sample type",
                                    "reagent/initVolume=text:Initial volume [ul]",
                                    "reagent/alarmLimit=text:Alarm limit [ul]",
                                    "reagent/interruptLimit=text:Interruption limit [ul]",
                                    "patient/hospitalNo=text:Inpatient No."};
    // Found in the working directory by its name.
    QTest::newRow("gradient 1 and sample type")
        << QStringLiteral("gradient_test")
        << QStringList {"dilution=text:Gradient 1;1/5;1/10;1/20;1/30,梯度2;1/5;1/10;1/20;1/"
                        "30;1/40,梯度3;1/1;1/2;1/4;1/8,梯度4;1/1;3/4;1/2;1/4",
               "patient/sampleType=text:Sample type", "reagent/initVolume=text:初始量[ul]",
               "reagent/alarmLimit=text:报警限[ul]", "reagent/interruptLimit=text:中断限[ul]",
               "patient/hospitalNo=text:住院号"};
    QTest::newRow("single quotes")
        << QStringLiteral("quote_test")
        << QStringList {"dilution=text:Gradient '%2';1/5;1/10;1/20;1/30,梯度2;1/5;1/10;1/20;"
                        "1/30;1/40,梯度3;1/1;1/2;1/4;1/8,梯度4;1/1;3/4;1/2;1/4",
               "patient/sampleType=text:Type'); delete from user; --",
               "reagent/initVolume=text:初始量[ul]", "reagent/alarmLimit=text:报警限[ul]",
               "reagent/interruptLimit=text:中断限[ul]", "patient/hospitalNo=text:Patient's No."};
}

void tst_ProfileUpgrade::translations()
{
    QFETCH(QString, translation);
    QFETCH(QStringList, expected);
    TestWorkDir dir;
    QVERIFY(createWorkstation(0));
    for (const char *name : {"gradient_test.qm", "quote_test.qm"}) {
        QVERIFY(QFile::copy(
            QStringLiteral(TEST_TRANSLATIONS_DIR "/") + QLatin1String(name), QLatin1String(name)));
    }

    const ProgramRun run = runProgram({translation});
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(describe(parseErrorLines(profileSection(run.log))), QStringList());

    const ProfileDb db;
    QStringList stored;
    for (const QString &line : expected) {
        const QString key = line.section(QLatin1Char('='), 0, 0);
        stored.append(key + QLatin1Char('=') + db.setting(key));
    }
    QCOMPARE(stored, expected);
    QCOMPARE(db.value(QStringLiteral("select count(*) from user")).toInt(), 5);
}

QTEST_GUILESS_MAIN(tst_ProfileUpgrade)
#include "tst_profileupgrade.moc"
