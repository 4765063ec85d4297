#include "datadb.h"
#include "dbupdatetest.h"
#include "testworkdir.h"
#include "updatedata.h"

#include <QtCore/qfile.h>
#include <QtCore/qprocess.h>
#include <QtCore/qregularexpression.h>
#include <QtSql/qsqldatabase.h>
#include <QtSql/qsqlquery.h>
#include <QtTest/qtest.h>

namespace {

const QStringList lookupTables
    = {QStringLiteral("department"), QStringLiteral("sex"), QStringLiteral("treatmentRoom"),
        QStringLiteral("diagnosis"), QStringLiteral("doctor"), QStringLiteral("operator")};

const QString dataDb = QStringLiteral("data.db");

// The columns of the first result table, all of which move to results.
const QString oldResultColumns
    = QStringLiteral("id, patientId, item, subitem, abbr, code, result, unit, flag, "
                     "displayOrder, lowerMarkLimit, upperMarkLimit");

QString fixtureName(int version)
{
    return QStringLiteral("data_v%1.sql").arg(version);
}

struct RunResult
{
    int exitCode = -1;
    QStringList log;
};

// Runs the dbupdate program in the working directory with a log file.
RunResult runProgram()
{
    RunResult result;
    QFile::remove(QStringLiteral("update.log"));
    const DbUpdateTest::Run run
        = DbUpdateTest::run(QStringLiteral(DBUPDATE_PROGRAM), {QStringLiteral("update.log")});
    if (run.exitStatus != QProcess::NormalExit)
        return result;
    result.exitCode = run.exitCode;
    result.log = DbUpdateTest::readLines(QStringLiteral("update.log"));
    return result;
}

// Warnings of the program itself that concern data.db: the error lines of its
// statements and copies, and its own notes.
QStringList dataLines(const QStringList &lines)
{
    QStringList found;
    for (const QString &line : lines) {
        if (line.startsWith(QLatin1String("Warning: updatedata.cpp"))
            || line.startsWith(QLatin1String("Warning: updatebase.cpp"))
            || line.startsWith(QLatin1String("Warning: data.db:")))
            found.append(line);
    }
    return found;
}

// Collects the warnings of an upgrader driven inside the test process.
class MessageCapture
{
public:
    MessageCapture()
    {
        s_warnings.clear();
        m_previous = qInstallMessageHandler(&MessageCapture::handler);
    }
    ~MessageCapture() { qInstallMessageHandler(m_previous); }
    QStringList warnings() const { return s_warnings; }

private:
    static void handler(QtMsgType type, const QMessageLogContext &, const QString &text)
    {
        if (type == QtWarningMsg)
            s_warnings.append(text);
    }
    static inline QStringList s_warnings;
    QtMessageHandler m_previous = nullptr;
};

// Runs the data step inside the test process, as the program does after the
// profile step, and drops the upgrader's connection afterwards.
// `prepare` runs on the upgrader's own connection before the step.
bool runUpdateData(QStringList *warnings, const QString &prepare = QString())
{
    bool ok = false;
    {
        MessageCapture capture;
        UpdateData upgrader;
        if (!prepare.isEmpty() && !QSqlQuery().exec(prepare))
            qWarning("preparing the upgrader's connection failed");
        ok = upgrader.update();
        *warnings = capture.warnings();
    }
    QSqlDatabase::database(QLatin1String(QSqlDatabase::defaultConnection), false).close();
    QSqlDatabase::removeDatabase(QLatin1String(QSqlDatabase::defaultConnection));
    return ok;
}

QStringList errorLinesOf(const QStringList &warnings)
{
    return warnings.filter(QRegularExpression(QStringLiteral("^updatedata\\.cpp \\( \\d+ \\):  ")));
}

// The last row of each patient, item and sub-item is the selected one.
const QString lastOfEachResult = QStringLiteral("select patientId, item, subitem, max(id) from "
                                                "result group by patientId, item, subitem order "
                                                "by 1, 2, 3");

// What the old tables hold, in the forms the upgrade must keep.
struct OldData
{
    QMap<QString, RowsDigest> tables;
    QMap<QString, QString> schema;
    RowsDigest results;
    RowsDigest selected;
    RowsDigest curves;
    RowsDigest details;
    RowsDigest patients;
    QStringList patientColumns;
};

OldData readOldData(const DataDb &db)
{
    OldData old;
    old.tables = db.snapshot();
    old.schema = db.schema();
    old.results
        = db.digest(QStringLiteral("select %1 from result order by id").arg(oldResultColumns));
    old.selected = db.digest(lastOfEachResult);
    old.curves
        = db.digest(QStringLiteral("select id, patientId, item, curve from curve order by id"));
    old.details = db.digest(old.tables.contains(QStringLiteral("detail"))
            ? QStringLiteral("select id, patientId, item, info from "
                             "detail order by id")
            : QStringLiteral("select 1 where 0"));
    old.patientColumns = db.columns(QStringLiteral("patient"));
    old.patients = db.digest(QStringLiteral("select %1 from patient order by id")
                                 .arg(old.patientColumns.join(QLatin1String(", "))));
    return old;
}

// A working directory as the workstation has it: a current profile.db and data.db
// from the fixture.
bool prepareRun(int fixtureVersion)
{
    return createCurrentProfile(QStringLiteral("profile.db"))
        && loadFixture(fixtureName(fixtureVersion), dataDb);
}

// The data step failed: the run ends there and qc.db and syslog.db are not touched.
bool stoppedAtDataDb(const RunResult &run)
{
    return run.exitCode == 1 && !QFile::exists(QStringLiteral("qc.db"))
        && !QFile::exists(QStringLiteral("syslog.db"));
}

} // namespace

class tst_UpdateData : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void upgradesFixture_data();
    void upgradesFixture();
    void failedLookupCopyStopsTheRun();
    void failedMoveIsRolledBack_data();
    void failedMoveIsRolledBack();

    void currentDatabaseOnlyGetsVersionRows_data();
    void currentDatabaseOnlyGetsVersionRows();
    void existingPatientColumnIsLoggedOnce();
    void missingResultIndexIsLoggedAndMoveGoesOn();
    void missingSourceTablesHaveNothingToRollBack();
    void uncommittedMoveIsRolledBack();
    void fullDiskRollsTheMoveBack();

private:
    void checkUpgraded(const DataDb &db, const OldData &old, int fixtureVersion);
    void checkLookupTables(const DataDb &db);
    void checkPatientTrigger(const DataDb &db);
};

void tst_UpdateData::initTestCase()
{
    QVERIFY2(QFile::exists(QStringLiteral(DBUPDATE_PROGRAM)), DBUPDATE_PROGRAM);
    for (int version = 0; version <= 2; ++version)
        QVERIFY(QFile::exists(QStringLiteral(LEGACY_FIXTURES "/") + fixtureName(version)));
}

void tst_UpdateData::upgradesFixture_data()
{
    QTest::addColumn<int>("fixtureVersion");
    QTest::newRow("version 0") << 0;
    QTest::newRow("version 1") << 1;
    QTest::newRow("version 2") << 2;
}

void tst_UpdateData::upgradesFixture()
{
    QFETCH(int, fixtureVersion);
    TestWorkDir dir;
    QVERIFY(prepareRun(fixtureVersion));

    OldData old;
    {
        const DataDb db(dataDb);
        QCOMPARE(db.version(), fixtureVersion);
        old = readOldData(db);
    }

    const RunResult run = runProgram();
    QCOMPARE(run.exitCode, 0);
    QVERIFY2(dataLines(run.log).isEmpty(), qPrintable(dataLines(run.log).join(QLatin1Char('\n'))));
    QVERIFY(QFile::exists(QStringLiteral("qc.db")));
    QVERIFY(QFile::exists(QStringLiteral("syslog.db")));

    const DataDb db(dataDb);
    checkUpgraded(db, old, fixtureVersion);
    if (QTest::currentTestFailed())
        return;
    checkLookupTables(db);
    if (QTest::currentTestFailed())
        return;
    checkPatientTrigger(db);
}

void tst_UpdateData::checkUpgraded(const DataDb &db, const OldData &old, int fixtureVersion)
{
    QStringList expectedTables = old.tables.keys();
    expectedTables.removeOne(QStringLiteral("result"));
    expectedTables << QStringLiteral("results") << QStringLiteral("checkedResult");
    if (fixtureVersion == 0)
        expectedTables << QStringLiteral("detail") << QStringLiteral("version");
    expectedTables.sort();
    QCOMPARE(db.tables(), expectedTables);
    QCOMPARE(db.column(QStringLiteral("select version from version")), QVariantList {3});

    // Tables the upgrade does not change keep every row and value.
    const QMap<QString, RowsDigest> now = db.snapshot();
    const QStringList changed = {QStringLiteral("patient"), QStringLiteral("result"),
        QStringLiteral("curve"), QStringLiteral("detail"), QStringLiteral("version")};
    for (auto it = old.tables.cbegin(); it != old.tables.cend(); ++it) {
        if (!changed.contains(it.key())
            || (it.key() == QLatin1String("patient") && fixtureVersion > 0))
            QVERIFY2(now.value(it.key()) == it.value(), qPrintable(it.key()));
    }

    // Patients keep their rows; version 0 gains the two columns.
    const QStringList patientColumns = db.columns(QStringLiteral("patient"));
    QVERIFY(patientColumns.contains(QStringLiteral("sampleType")));
    QVERIFY(patientColumns.contains(QStringLiteral("hospitalNo")));
    QCOMPARE(patientColumns.mid(0, old.patientColumns.size()), old.patientColumns);
    QCOMPARE(db.digest(QStringLiteral("select %1 from patient order by id")
                           .arg(old.patientColumns.join(QLatin1String(", ")))),
        old.patients);
    if (fixtureVersion > 0) {
        // Lookup tables are not rebuilt again.
        for (const QString &table : lookupTables)
            QCOMPARE(db.schema().value(QLatin1String("table ") + table),
                old.schema.value(QLatin1String("table ") + table));
    }

    // The statements' layout and Chinese comments reach the schema text unchanged.
    const QMap<QString, QString> schema = db.schema();
    QVERIFY2(schema.value(QStringLiteral("table results"))
                 .contains(QStringLiteral(
                     "\n\tversion integer,\t\t\t\t\t\t\t\t-- 结果版本, 每保存一次版本增加1\n")),
        qPrintable(schema.value(QStringLiteral("table results"))));
    QVERIFY2(schema.value(QStringLiteral("table detail"))
                 .endsWith(QStringLiteral("\n\tinfo text\t\t\t\t\t\t\t\t\t\t-- 测试详细信息, "
                                          "如测试通道等\n\t)")),
        qPrintable(schema.value(QStringLiteral("table detail"))));

    // Every old result row, with its id, as version 1 without date and time.
    QVERIFY(old.results.rows > 0);
    QCOMPARE(db.digest(QStringLiteral("select %1 from results order by id").arg(oldResultColumns)),
        old.results);
    QCOMPARE(db.value(QStringLiteral("select count(*) from results where version = 1 and "
                                     "date is null and time is null"))
                 .toLongLong(),
        old.results.rows);
    QCOMPARE(db.digest(QStringLiteral("select patientId, item, subitem, resultsId from "
                                      "checkedResult order by 1, 2, 3")),
        old.selected);
    QVERIFY(old.selected.rows < old.results.rows);
    // The first PT of the fixtures was run three times: the last run is selected.
    QCOMPARE(db.value(QStringLiteral("select count(*) from results where patientId = 1 and "
                                     "subitem = 'PT.T'"))
                 .toInt(),
        3);
    QCOMPARE(db.value(QStringLiteral("select resultsId from checkedResult where patientId = 1 "
                                     "and item = 'PT' and subitem = 'PT.T'")),
        db.value(QStringLiteral("select max(id) from results where patientId = 1 and "
                                "item = 'PT' and subitem = 'PT.T'")));

    // result is now the view of the selected rows.
    QCOMPARE(db.value(QStringLiteral("select type from sqlite_master where name = 'result'")),
        QVariant(QStringLiteral("view")));
    const RowsDigest selectedRows = db.digest(QStringLiteral(
        "select * from results where id in (select resultsId from checkedResult) order by id"));
    QCOMPARE(selectedRows.rows, old.selected.rows);
    QCOMPARE(db.digest(QStringLiteral("select * from result order by id")), selectedRows);

    // Curves and details keep their ids and every byte, as version 1.
    QVERIFY(old.curves.rows > 0);
    QCOMPARE(db.digest(QStringLiteral("select id, patientId, item, curve from curve order by id")),
        old.curves);
    QCOMPARE(db.digest(QStringLiteral("select id, patientId, item, info from detail order by id")),
        old.details);
    QCOMPARE(
        db.value(QStringLiteral("select count(*) from curve where version is not 1")).toInt(), 0);
    QCOMPARE(
        db.value(QStringLiteral("select count(*) from detail where version is not 1")).toInt(), 0);

    // detail no longer keeps one row per patient and item.
    QVERIFY(db.exec(QStringLiteral(
        "insert into detail(patientId, item, version, info) values(1, 'PT', 2, 'rerun')")));
    QVERIFY(db.exec(QStringLiteral(
        "insert into detail(patientId, item, version, info) values(1, 'PT', 3, 'rerun')")));
    QCOMPARE(
        db.value(QStringLiteral("select count(*) from detail where info = 'rerun'")).toInt(), 2);
}

void tst_UpdateData::checkLookupTables(const DataDb &db)
{
    for (const QString &table : lookupTables) {
        QCOMPARE(db.columns(table),
            QStringList({QStringLiteral("id"), QStringLiteral("abbr"), QStringLiteral("name")}));
        QCOMPARE(db.value(QStringLiteral("select tbl_name from sqlite_master where type = 'index' "
                                         "and name = '%1_index'")
                              .arg(table)),
            QVariant(table));
        // Every abbreviation is found whatever the case of the lookup.
        QCOMPARE(db.value(QStringLiteral("select count(*) from %1 a where (select count(*) from %1 "
                                         "b where b.abbr = lower(a.abbr)) = 0 or (select count(*) "
                                         "from %1 c where c.abbr = upper(a.abbr)) = 0")
                              .arg(table))
                     .toInt(),
            0);
    }
    QCOMPARE(db.value(QStringLiteral("select name from department where abbr = 'icu'")),
        QVariant(QStringLiteral("重症监护室")));
    QCOMPARE(db.value(QStringLiteral("select name from doctor where abbr = 'ob'")),
        QVariant(QStringLiteral("O'Brien 医生")));
}

// Deleting a patient deletes what belongs to it, and nothing of the others.
void tst_UpdateData::checkPatientTrigger(const DataDb &db)
{
    const QString sampleNo
        = db.value(QStringLiteral("select sampleNo from patient where id = 1")).toString();
    const QString date
        = db.value(QStringLiteral("select date from patient where id = 1")).toString();
    // Sample numbers restart every day: another patient shares this one.
    QVERIFY(
        db.value(QStringLiteral("select count(*) from exam where sampleNo = '%1' and date <> '%2'")
                     .arg(sampleNo, date))
            .toInt()
        > 0);

    struct Owned
    {
        QString table;
        QString ownRows;
    };
    const QList<Owned> owned = {
        {QStringLiteral("patientExtra"), QStringLiteral("patientId = 1")},
        {QStringLiteral("exam"),
            QStringLiteral("sampleNo = '%1' and date = '%2'").arg(sampleNo, date)},
        {QStringLiteral("results"), QStringLiteral("patientId = 1")},
        {QStringLiteral("checkedResult"), QStringLiteral("patientId = 1")},
        {QStringLiteral("curve"), QStringLiteral("patientId = 1")},
        {QStringLiteral("detail"), QStringLiteral("patientId = 1")},
    };
    QMap<QString, RowsDigest> others;
    for (const Owned &o : owned) {
        QVERIFY2(
            db.value(QStringLiteral("select count(*) from %1 where %2").arg(o.table, o.ownRows))
                    .toInt()
                > 0,
            qPrintable(o.table));
        others.insert(o.table,
            db.digest(QStringLiteral("select * from %1 where not (%2) order by rowid")
                          .arg(o.table, o.ownRows)));
    }

    QVERIFY(db.exec(QStringLiteral("delete from patient where id = 1")));
    for (const Owned &o : owned) {
        QVERIFY2(
            db.value(QStringLiteral("select count(*) from %1 where %2").arg(o.table, o.ownRows))
                    .toInt()
                == 0,
            qPrintable(o.table));
        QVERIFY2(db.digest(QStringLiteral("select * from %1 order by rowid").arg(o.table))
                == others.value(o.table),
            qPrintable(o.table));
    }
}

// A lookup table whose old form has a column the new one lacks stops the run at
// its copy; mended, the next run completes.
void tst_UpdateData::failedLookupCopyStopsTheRun()
{
    TestWorkDir dir;
    QVERIFY(prepareRun(0));
    const QString diagnoses = QStringLiteral("select id, abbr, name from diagnosis order by id");
    OldData old;
    RowsDigest oldDiagnoses;
    {
        const DataDb db(dataDb);
        oldDiagnoses = db.digest(diagnoses);
        QVERIFY(db.exec(QStringLiteral("alter table diagnosis add pinyin text")));
        QVERIFY(db.exec(QStringLiteral("update diagnosis set pinyin = 'zd' || id")));
        old = readOldData(db);
    }

    RunResult run = runProgram();
    QVERIFY(stoppedAtDataDb(run));
    const QStringList copyErrors = run.log.filter(QStringLiteral("INSERT INTO"));
    QCOMPARE(copyErrors.size(), 1);
    QVERIFY2(copyErrors.first().contains(QLatin1String("\"diagnosis\"")),
        qPrintable(copyErrors.first()));
    QCOMPARE(run.log.filter(QStringLiteral("Warning: data.db: copying diagnosis_bak")).size(), 1);

    {
        const DataDb db(dataDb);
        QCOMPARE(db.version(), 0);
        const QMap<QString, RowsDigest> now = db.snapshot();
        // The tables before it are rebuilt, its rows wait in diagnosis_bak, the
        // later ones and the results are untouched.
        QCOMPARE(now.value(QStringLiteral("diagnosis_bak")),
            old.tables.value(QStringLiteral("diagnosis")));
        QCOMPARE(now.value(QStringLiteral("diagnosis")).rows, 0);
        for (const QString &table :
            {QStringLiteral("department"), QStringLiteral("sex"), QStringLiteral("treatmentRoom")})
            QCOMPARE(now.value(table), old.tables.value(table));
        for (const QString &table : {QStringLiteral("doctor"), QStringLiteral("operator"),
                 QStringLiteral("result"), QStringLiteral("curve")}) {
            QCOMPARE(now.value(table), old.tables.value(table));
            QCOMPARE(db.schema().value(QLatin1String("table ") + table),
                old.schema.value(QLatin1String("table ") + table));
        }
        QVERIFY(!now.contains(QStringLiteral("detail")));
        QVERIFY(db.exec(QStringLiteral("alter table diagnosis_bak drop column pinyin")));
    }

    run = runProgram();
    QCOMPARE(run.exitCode, 0);
    const DataDb db(dataDb);
    QCOMPARE(db.version(), 3);
    QVERIFY(!db.tables().contains(QStringLiteral("diagnosis_bak")));
    QCOMPARE(db.digest(diagnoses), oldDiagnoses);
    QCOMPARE(db.digest(QStringLiteral("select %1 from results order by id").arg(oldResultColumns)),
        old.results);
    QCOMPARE(db.digest(QStringLiteral("select id, patientId, item, curve from curve order by id")),
        old.curves);
    checkLookupTables(db);
}

void tst_UpdateData::failedMoveIsRolledBack_data()
{
    QTest::addColumn<int>("fixtureVersion");
    QTest::addColumn<QString>("table");
    QTest::addColumn<QString>("column");
    QTest::addColumn<QString>("failedCopy");

    QTest::newRow("result without displayOrder") << 2 << "result"
                                                 << "displayOrder"
                                                 << "copying result into results failed";
    QTest::newRow("curve without item") << 2 << "curve"
                                        << "item"
                                        << "copying old_curve into curve failed";
    QTest::newRow("detail without info") << 2 << "detail"
                                         << "info"
                                         << "copying old_detail into detail failed";
    QTest::newRow("version 1, detail without info") << 1 << "detail"
                                                    << "info"
                                                    << "copying old_detail into detail failed";
    QTest::newRow("version 0, result without lowerMarkLimit")
        << 0 << "result"
        << "lowerMarkLimit"
        << "copying result into results failed";
}

// When a copy of the move fails, the move is undone as a whole: nothing of the
// old tables is lost, the version stays and the run ends with status 1. Mended,
// the next run completes.
void tst_UpdateData::failedMoveIsRolledBack()
{
    QFETCH(int, fixtureVersion);
    QFETCH(QString, table);
    QFETCH(QString, column);
    QFETCH(QString, failedCopy);

    TestWorkDir dir;
    QVERIFY(prepareRun(fixtureVersion));
    OldData old;
    {
        const DataDb db(dataDb);
        QVERIFY(db.exec(QStringLiteral("alter table %1 drop column %2").arg(table, column)));
        old.tables = db.snapshot();
        old.schema = db.schema();
        old.selected = db.digest(lastOfEachResult);
    }

    RunResult run = runProgram();
    QVERIFY(stoppedAtDataDb(run));
    const QStringList notes = run.log.filter(QStringLiteral("Warning: data.db:"));
    QCOMPARE(notes.size(), 1);
    QVERIFY2(notes.first().contains(failedCopy)
            && notes.first().contains(QLatin1String("rolled back"))
            && notes.first().endsWith(QStringLiteral("stays at version %1").arg(fixtureVersion)),
        qPrintable(notes.first()));
    const QStringList errors = run.log.filter(QStringLiteral("Warning: updatedata.cpp"));
    QCOMPARE(errors.size(), 1);
    QVERIFY2(errors.first().contains(QLatin1String("no such column: ") + column),
        qPrintable(errors.first()));

    {
        const DataDb db(dataDb);
        QCOMPARE(db.version(), fixtureVersion);
        const QMap<QString, RowsDigest> now = db.snapshot();
        const QMap<QString, QString> schema = db.schema();
        for (const QString &moved :
            {QStringLiteral("result"), QStringLiteral("curve"), QStringLiteral("detail")}) {
            if (!old.tables.contains(moved))
                continue; // created by this run's first steps
            QCOMPARE(now.value(moved), old.tables.value(moved));
            QCOMPARE(schema.value(QLatin1String("table ") + moved),
                old.schema.value(QLatin1String("table ") + moved));
        }
        for (const QString &gone : {QStringLiteral("results"), QStringLiteral("checkedResult"),
                 QStringLiteral("old_curve"), QStringLiteral("old_detail")})
            QVERIFY2(!now.contains(gone), qPrintable(gone));
        if (fixtureVersion == 2) {
            // Nothing else ran: the file is as it was.
            QCOMPARE(now, old.tables);
            QCOMPARE(schema, old.schema);
        }
        QVERIFY(db.exec(QStringLiteral("alter table %1 add %2").arg(table, column)));
    }

    run = runProgram();
    QCOMPARE(run.exitCode, 0);
    const DataDb db(dataDb);
    QCOMPARE(db.version(), 3);
    QCOMPARE(db.value(QStringLiteral("select count(*) from results")).toLongLong(),
        old.tables.value(QStringLiteral("result")).rows);
    QCOMPARE(db.value(QStringLiteral("select count(*) from checkedResult")).toLongLong(),
        old.selected.rows);
    QCOMPARE(db.value(QStringLiteral("select count(*) from curve")).toLongLong(),
        old.tables.value(QStringLiteral("curve")).rows);
    QCOMPARE(db.value(QStringLiteral("select count(*) from detail")).toLongLong(),
        old.tables.value(QStringLiteral("detail")).rows);
}

void tst_UpdateData::currentDatabaseOnlyGetsVersionRows_data()
{
    QTest::addColumn<QString>("versionRows");
    QTest::newRow("3") << "(3)";
    QTest::newRow("1 and 3") << "(1), (3)";
    QTest::newRow("7") << "(7)";
}

void tst_UpdateData::currentDatabaseOnlyGetsVersionRows()
{
    QFETCH(QString, versionRows);
    TestWorkDir dir;
    QVERIFY(loadFixture(fixtureName(2), dataDb));
    OldData old;
    {
        const DataDb db(dataDb);
        QVERIFY(db.exec(QStringLiteral("delete from version")));
        QVERIFY(db.exec(QStringLiteral("insert into version values %1").arg(versionRows)));
        old = readOldData(db);
    }

    QStringList warnings;
    QVERIFY(runUpdateData(&warnings));
    QVERIFY2(errorLinesOf(warnings).isEmpty(), qPrintable(warnings.join(QLatin1Char('\n'))));

    const DataDb db(dataDb);
    QCOMPARE(db.column(QStringLiteral("select version from version")), QVariantList {3});
    QCOMPARE(db.schema(), old.schema);
    QMap<QString, RowsDigest> now = db.snapshot();
    now.remove(QStringLiteral("version"));
    old.tables.remove(QStringLiteral("version"));
    QCOMPARE(now, old.tables);
}

// A patient table that already has sampleType costs one error line; the step goes on.
void tst_UpdateData::existingPatientColumnIsLoggedOnce()
{
    TestWorkDir dir;
    QVERIFY(loadFixture(fixtureName(0), dataDb));
    {
        const DataDb db(dataDb);
        QVERIFY(db.exec(QStringLiteral("alter table patient add sampleType text")));
    }

    QStringList warnings;
    QVERIFY(runUpdateData(&warnings));
    const QStringList errors = errorLinesOf(warnings);
    QCOMPARE(errors.size(), 1);
    QVERIFY2(errors.first().contains(QLatin1String("duplicate column name: sampleType")),
        qPrintable(errors.first()));
    QVERIFY2(
        errors.first().endsWith(QLatin1String(": [ alter table patient add sampleType text ] ")),
        qPrintable(errors.first()));

    const DataDb db(dataDb);
    QCOMPARE(db.version(), 3);
    QVERIFY(db.columns(QStringLiteral("patient")).contains(QStringLiteral("hospitalNo")));
    QCOMPARE(db.value(QStringLiteral("select type from sqlite_master where name = 'result'")),
        QVariant(QStringLiteral("view")));
}

// Other failures inside the move are logged and the move goes on.
void tst_UpdateData::missingResultIndexIsLoggedAndMoveGoesOn()
{
    TestWorkDir dir;
    QVERIFY(loadFixture(fixtureName(2), dataDb));
    OldData old;
    {
        const DataDb db(dataDb);
        QVERIFY(db.exec(QStringLiteral("drop index result_index")));
        old = readOldData(db);
    }

    QStringList warnings;
    QVERIFY(runUpdateData(&warnings));
    const QStringList errors = errorLinesOf(warnings);
    QCOMPARE(errors.size(), 1);
    QVERIFY2(errors.first().endsWith(QLatin1String(": [ drop index result_index ] ")),
        qPrintable(errors.first()));

    const DataDb db(dataDb);
    QCOMPARE(db.version(), 3);
    QCOMPARE(db.digest(QStringLiteral("select %1 from results order by id").arg(oldResultColumns)),
        old.results);
    QCOMPARE(db.digest(QStringLiteral("select id, patientId, item, curve from curve order by id")),
        old.curves);
}

// A data.db without old results, curves or details (here: one with only
// patients) has no rows the move could lose: its failed copies are logged like
// any other failed statement and the step ends as usual.
void tst_UpdateData::missingSourceTablesHaveNothingToRollBack()
{
    TestWorkDir dir;
    QVERIFY(loadFixture(fixtureName(2), dataDb));
    QVariant patients;
    {
        const DataDb db(dataDb);
        QVERIFY(db.exec(QStringLiteral("drop trigger on_delete_patient")));
        QVERIFY(db.exec(QStringLiteral("drop table result")));
        QVERIFY(db.exec(QStringLiteral("drop table curve")));
        QVERIFY(db.exec(QStringLiteral("drop table detail")));
        patients = db.value(QStringLiteral("select count(*) from patient"));
    }

    QStringList warnings;
    QVERIFY(runUpdateData(&warnings));
    for (const QString &line : warnings)
        QVERIFY2(!line.contains(QLatin1String("rolled back")), qPrintable(line));

    const DataDb db(dataDb);
    QCOMPARE(db.version(), 3);
    QCOMPARE(db.value(QStringLiteral("select count(*) from results")), QVariant(0));
    QCOMPARE(db.value(QStringLiteral("select count(*) from curve")), QVariant(0));
    QCOMPARE(db.value(QStringLiteral("select count(*) from patient")), patients);
}

// A reader that keeps data.db open (the workstation still running) makes the
// commit of the move fail: it is rolled back and the version kept.
void tst_UpdateData::uncommittedMoveIsRolledBack()
{
    TestWorkDir dir;
    QVERIFY(loadFixture(fixtureName(2), dataDb));
    const DataDb reader(dataDb);
    const QMap<QString, RowsDigest> tables = reader.snapshot();
    const QMap<QString, QString> schema = reader.schema();
    QVERIFY(reader.exec(QStringLiteral("begin transaction")));
    QVERIFY(reader.value(QStringLiteral("select count(*) from patient")).toInt() > 0);

    QStringList warnings;
    QVERIFY(!runUpdateData(&warnings));
    const QStringList notes = warnings.filter(QRegularExpression(QStringLiteral("^data\\.db: ")));
    QCOMPARE(notes.size(), 1);
    QVERIFY2(
        notes.first().startsWith(QLatin1String("data.db: the transaction could not be committed"))
            && notes.first().endsWith(QLatin1String("stays at version 2")),
        qPrintable(notes.first()));
    QVERIFY2(errorLinesOf(warnings).filter(QStringLiteral("[ end transaction ]")).size() == 1,
        qPrintable(warnings.join(QLatin1Char('\n'))));

    QVERIFY(reader.exec(QStringLiteral("end transaction")));
    QCOMPARE(reader.snapshot(), tables);
    QCOMPARE(reader.schema(), schema);
    QCOMPARE(reader.version(), 2);
}

// The file cannot grow (as on a full disk) while the move copies: the move is
// rolled back and the file is as it was.
void tst_UpdateData::fullDiskRollsTheMoveBack()
{
    TestWorkDir dir;
    QVERIFY(loadFixture(fixtureName(2), dataDb));
    QMap<QString, RowsDigest> tables;
    QMap<QString, QString> schema;
    int pages = 0;
    {
        const DataDb db(dataDb);
        tables = db.snapshot();
        schema = db.schema();
        pages = db.value(QStringLiteral("pragma page_count")).toInt();
    }
    QVERIFY(pages > 0);

    QStringList warnings;
    QVERIFY(!runUpdateData(&warnings, QStringLiteral("pragma max_page_count = %1").arg(pages + 8)));
    const QStringList errors = errorLinesOf(warnings);
    QVERIFY2(!errors.filter(QStringLiteral("database or disk is full")).isEmpty(),
        qPrintable(warnings.join(QLatin1Char('\n'))));
    const QStringList notes = warnings.filter(QRegularExpression(QStringLiteral("^data\\.db: ")));
    QCOMPARE(notes.size(), 1);
    QVERIFY2(notes.first().contains(QLatin1String("failed; the move of results, curves and details "
                                                  "was rolled back")),
        qPrintable(notes.first()));

    const DataDb db(dataDb);
    QCOMPARE(db.snapshot(), tables);
    QCOMPARE(db.schema(), schema);
}

QTEST_GUILESS_MAIN(tst_UpdateData)
#include "tst_updatedata.moc"
