// The profile.db upgrade run in this process against the legacy files, block
// by block: what SQLite's schema and rows hold afterwards, and which statements
// failed.

#include "profiledb.h"
#include "testworkdir.h"
#include "updateprofile.h"

#include <QtCore/qdir.h>
#include <QtCore/qmap.h>
#include <QtCore/qtemporarydir.h>
#include <QtCore/qtranslator.h>
#include <QtTest/qtest.h>

#include <memory>

namespace {

QStringList capturedWarnings;
QtMessageHandler previousHandler = nullptr;

void captureWarnings(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    if (type == QtWarningMsg)
        capturedWarnings.append(text);
    else
        previousHandler(type, context, text);
}

struct RunResult
{
    bool ok = false;
    QList<ErrorLine> errors;
};

// Runs the upgrader once on profile.db of the working directory, as the
// program does: construct, update, destroy.
RunResult runUpgrade()
{
    capturedWarnings.clear();
    RunResult result;
    {
        UpdateProfile updater;
        result.ok = updater.update();
    }
    result.errors = parseErrorLines(capturedWarnings.join(QLatin1Char('\n')));
    QSqlDatabase::removeDatabase(QSqlDatabase::defaultConnection);
    return result;
}

const QString uniqueKeyFailed = QStringLiteral("UNIQUE constraint failed: profile.name");

const QString untranslatedDilution
    = QStringLiteral("梯度1;1/5;1/10;1/20;1/30,梯度2;1/5;1/10;1/20;1/30;1/40,梯度3;1/1;1/2;1/4;1/8,"
                     "梯度4;1/1;3/4;1/2;1/4");

const QString userSchema = QStringLiteral("CREATE TABLE user(\n"
                                          "\tid integer primary key,\n"
                                          "\tname text unique COLLATE NOCASE,\n"
                                          "\tpassword text,\n"
                                          "\tlevel integer default 0,\n"
                                          "\thide integer default 0 )");

const QString curveInfoSchema = QStringLiteral("CREATE TABLE curveInfo (\n"
                                               "\tcurveId integer references curve,\n"
                                               "\tname text not null,\n"
                                               "\tvalue,\n"
                                               "\tunique (curveId, name) on conflict replace\n"
                                               "\t)");

const QString currentCurveSchema = QStringLiteral("CREATE TABLE currentCurve (\n"
                                                  "\tid integer primary key,\n"
                                                  "\tname text unique on conflict replace,\n"
                                                  "\tcurveId integer references curve\n"
                                                  "\t)");

const QString deleteCurveSchema
    = QStringLiteral("CREATE TRIGGER deleteCurve after delete on curve\n"
                     "begin\n"
                     "\tdelete from curvePoint    where    curvePoint.curveId = old.id;\n"
                     "\tdelete from curveVariable where curveVariable.curveId = old.id;\n"
                     "\tdelete from curveReagent  where  curveReagent.curveId = old.id;\n"
                     "\tdelete from curveInfo     where     curveInfo.curveId = old.id;\n"
                     "\tdelete from currentCurve  where  currentCurve.curveId = old.id;\n"
                     "end");

QString rowText(const QVariantList &row)
{
    QStringList fields;
    for (const QVariant &value : row)
        fields.append(value.isNull() ? QStringLiteral("NULL") : value.toString());
    return fields.join(QLatin1Char('|'));
}

QStringList rowTexts(const QList<QVariantList> &rows)
{
    QStringList texts;
    for (const QVariantList &row : rows)
        texts.append(rowText(row));
    return texts;
}

} // namespace

class tst_UpdateProfile : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void schema_data();
    void schema();
    void users_data();
    void users();
    void userCopyFailsOnNamesDifferingInCase();
    void curveRowsFollowTheCurve_data();
    void curveRowsFollowTheCurve();
    void curveTablesReplaceByKey();
    void missingCurveIndex();

    void profileRows_data();
    void profileRows();
    void writeModesOnPresentKeys();
    void laterVersionsKeepTheirSettings_data();
    void laterVersionsKeepTheirSettings();
    void reagents_data();
    void reagents();
    void calibrations_data();
    void calibrations();
    void odPrecision_data();
    void odPrecision();
    void currentCurves_data();
    void currentCurves();

    void variables_data();
    void variables();
    void migrationSkippedOnceAnyValueIsSet();
    void migrationTakesTheFirstMatch();
    void migrationWithoutVariableTable();

    void cleanRunErrorLines_data();
    void cleanRunErrorLines();
    void rerunChangesOnlyWhatRunsAtEveryVersion_data();
    void rerunChangesOnlyWhatRunsAtEveryVersion();

    void translatedTexts_data();
    void translatedTexts();

private:
    void addVersionColumn();
    // profile.db upgraded from the fixture of `version`, made once and then
    // only read; tests that write take a copy.
    QString upgradedFrom(int version);
    QString fixtureFile(int version);

    QTemporaryDir m_store;
    QMap<int, RunResult> m_runs;
};

void tst_UpdateProfile::initTestCase()
{
    QVERIFY(m_store.isValid());
    previousHandler = qInstallMessageHandler(captureWarnings);
}

void tst_UpdateProfile::cleanup()
{
    QSqlDatabase::removeDatabase(QSqlDatabase::defaultConnection);
}

void tst_UpdateProfile::addVersionColumn()
{
    QTest::addColumn<int>("version");
    for (int version = 0; version <= 3; ++version)
        QTest::addRow("v%d", version) << version;
}

QString tst_UpdateProfile::fixtureFile(int version)
{
    const QString dir = m_store.filePath(QStringLiteral("fixture%1").arg(version));
    const QString file = dir + QLatin1String("/profile.db");
    if (!QFile::exists(file)) {
        QDir().mkpath(dir);
        if (!loadFixture(version, QString(), file))
            return QString();
    }
    return file;
}

QString tst_UpdateProfile::upgradedFrom(int version)
{
    const QString dir = m_store.filePath(QStringLiteral("upgraded%1").arg(version));
    if (!m_runs.contains(version)) {
        QDir().mkpath(dir);
        const QString previous = QDir::currentPath();
        QDir::setCurrent(dir);
        if (loadFixture(version))
            m_runs.insert(version, runUpgrade());
        QDir::setCurrent(previous);
    }
    return dir + QLatin1String("/profile.db");
}

void tst_UpdateProfile::schema_data()
{
    addVersionColumn();
}

void tst_UpdateProfile::schema()
{
    QFETCH(int, version);
    const ProfileDb db(upgradedFrom(version));
    const ProfileDb before(fixtureFile(version));
    QVERIFY(m_runs.value(version).ok);

    QCOMPARE(db.column(QStringLiteral("select version from version")), QStringList {"4"});
    QCOMPARE(db.schema(QStringLiteral("curve_index")), QString());
    QCOMPARE(db.schema(QStringLiteral("user_bak")), QString());
    QCOMPARE(db.schema(QStringLiteral("currentCurve")), currentCurveSchema);
    QCOMPARE(db.schema(QStringLiteral("deleteCurve")), deleteCurveSchema);
    if (version == 0) {
        QCOMPARE(db.schema(QStringLiteral("user")), userSchema);
        QCOMPARE(db.schema(QStringLiteral("curveInfo")), curveInfoSchema);
        QCOMPARE(db.schema(QStringLiteral("version")),
            QStringLiteral("CREATE TABLE version(version integer)"));
    } else {
        for (const char *table : {"user", "curveInfo", "version"})
            QCOMPARE(db.schema(QLatin1String(table)), before.schema(QLatin1String(table)));
    }

    QStringList curveColumns = before.columns(QStringLiteral("curve"));
    for (const char *added : {"instrUuid", "c", "d", "e", "valid", "lotsNum"}) {
        if (!curveColumns.contains(QLatin1String(added)))
            curveColumns.append(QLatin1String(added));
    }
    QCOMPARE(db.columns(QStringLiteral("curve")), curveColumns);
    QStringList calibrationColumns = before.columns(QStringLiteral("assayCalibration"));
    for (const char *added : {"method", "dispX", "dispY"}) {
        if (!calibrationColumns.contains(QLatin1String(added)))
            calibrationColumns.append(QLatin1String(added));
    }
    QCOMPARE(db.columns(QStringLiteral("assayCalibration")), calibrationColumns);

    // Curve rows keep their values through the added columns.
    QCOMPARE(db.rows(QStringLiteral("select id, name, a, b from curve order by id")),
        before.rows(QStringLiteral("select id, name, a, b from curve order by id")));
}

void tst_UpdateProfile::users_data()
{
    addVersionColumn();
}

void tst_UpdateProfile::users()
{
    QFETCH(int, version);
    const QString file = upgradedFrom(version);
    const ProfileDb before(fixtureFile(version));
    {
        const ProfileDb db(file);
        const QString columns
            = QStringLiteral("select id, name, password, level from user order by id");
        QCOMPARE(db.rows(columns), before.rows(columns));
        if (version == 0) {
            QCOMPARE(db.column(QStringLiteral("select distinct typeof(hide) || hide from user")),
                QStringList {"integer0"});
        }
    }
    // Names are now unique without regard to letter case.
    TestWorkDir dir;
    QVERIFY(QFile::copy(file, QStringLiteral("profile.db")));
    ProfileDb db;
    QVERIFY(!db.exec(QStringLiteral("insert into user(name) values('ADMIN')")));
}

void tst_UpdateProfile::userCopyFailsOnNamesDifferingInCase()
{
    TestWorkDir dir;
    QVERIFY(loadFixture(0, QStringLiteral("insert into user values(6, 'Admin', 'x', 1);")));

    const RunResult run = runUpgrade();
    QVERIFY(!run.ok);
    QCOMPARE(run.errors.size(), 1);
    QCOMPARE(run.errors.first().file, QStringLiteral("updatebase.cpp"));
    QVERIFY2(
        run.errors.first().error.startsWith(QLatin1String("UNIQUE constraint failed: user.name")),
        qPrintable(run.errors.first().error));
    QVERIFY2(run.errors.first().statement.contains(QLatin1String("'Admin'")),
        qPrintable(run.errors.first().statement));

    // Nothing after the copy ran: the backup and the rows copied before the
    // failing one remain, and no version was written.
    const ProfileDb db;
    QCOMPARE(db.value(QStringLiteral("select count(*) from user_bak")).toInt(), 6);
    QCOMPARE(db.column(QStringLiteral("select name from user order by id")),
        (QStringList {"admin", "service", "zhangwei", "Li Na", "王芳"}));
    QCOMPARE(db.schema(QStringLiteral("version")), QString());
    QCOMPARE(db.schema(QStringLiteral("curveInfo")), QString());
    QCOMPARE(db.schema(QStringLiteral("currentCurve")), QString());
    QCOMPARE(db.setting(QStringLiteral("dilution")), QStringLiteral("absent"));
    QCOMPARE(db.setting(QStringLiteral("DD/disable")), QStringLiteral("integer:1"));
}

void tst_UpdateProfile::curveRowsFollowTheCurve_data()
{
    addVersionColumn();
}

void tst_UpdateProfile::curveRowsFollowTheCurve()
{
    QFETCH(int, version);
    const QString file = upgradedFrom(version);
    TestWorkDir dir;
    QVERIFY(QFile::copy(file, QStringLiteral("profile.db")));
    ProfileDb db;
    QVERIFY(db.exec(QStringLiteral("insert into curveInfo values(3, 'temperature', 37.1)")));
    QVERIFY(db.exec(QStringLiteral("delete from curve where id=3")));

    for (const char *table :
        {"curvePoint", "curveVariable", "curveReagent", "curveInfo", "currentCurve"}) {
        QCOMPARE(db.value(QStringLiteral("select count(*) from %1 where curveId=3")
                              .arg(QLatin1String(table)))
                     .toInt(),
            0);
    }
    // Rows of the other curves stay.
    QCOMPARE(
        db.value(QStringLiteral("select count(*) from curvePoint where curveId=1")).toInt(), 3);
    QCOMPARE(db.value(QStringLiteral("select count(*) from currentCurve where curveId=1")).toInt(),
        version < 2 ? 1 : 0);
}

void tst_UpdateProfile::curveTablesReplaceByKey()
{
    const QString file = upgradedFrom(0);
    TestWorkDir dir;
    QVERIFY(QFile::copy(file, QStringLiteral("profile.db")));
    ProfileDb db;
    QVERIFY(db.exec(QStringLiteral("insert into curveInfo values(1, 'gain', 2)")));
    QVERIFY(db.exec(QStringLiteral("insert into curveInfo values(1, 'gain', 3)")));
    QCOMPARE(rowTexts(db.rows(QStringLiteral("select curveId, name, value from curveInfo"))),
        QStringList {"1|gain|3"});

    QVERIFY(db.exec(QStringLiteral("insert into currentCurve (name, curveId) values('PT', 9)")));
    QCOMPARE(db.column(QStringLiteral("select curveId from currentCurve where name='PT'")),
        QStringList {"9"});
}

void tst_UpdateProfile::missingCurveIndex()
{
    TestWorkDir dir;
    QVERIFY(loadFixture(3, QStringLiteral("drop index curve_index;")));

    const RunResult run = runUpgrade();
    QVERIFY(run.ok);
    QCOMPARE(describe(run.errors),
        QStringList {"drop index curve_index => no such index: curve_index Unable to execute "
                     "statement"});
    QCOMPARE(run.errors.first().file, QStringLiteral("updateprofile.cpp"));

    // The statements after it ran.
    const ProfileDb db;
    QCOMPARE(db.schema(QStringLiteral("deleteCurve")), deleteCurveSchema);
    QCOMPARE(db.value(QStringLiteral("select count(*) from currentCurve")).toInt(), 5);
    QCOMPARE(db.column(QStringLiteral("select version from version")), QStringList {"4"});
}

void tst_UpdateProfile::profileRows_data()
{
    QTest::addColumn<int>("version");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("expected");

    // Block E runs below version 2 only; a plain insert keeps a stored value.
    const struct
    {
        const char *key;
        const char *v0, *v1, *v2;
    } rows[] = {
        {"FIB/report/dilution", "text:1/10", "text:1/5", "text:1/10"},
        {"patient/sampleType", "text:样本类型", "text:样本类型", "text:样本类型"},
        {"DD/mix/times", "integer:3", "integer:3", "integer:3"},
        {"DD/max_clot_time", "integer:120", "integer:120", "integer:120"},
        {"specialValue/DD/P", "real:0.1", "real:0.1", "real:0.1"},
        {"DD/priority", "integer:10", "integer:10", "integer:10"},
        {"FDP/mix/times", "integer:3", "integer:3", "integer:3"},
        {"FDP/max_clot_time", "integer:120", "integer:120", "integer:120"},
        {"specialValue/FDP/P", "real:0.1", "real:0.1", "real:0.1"},
        {"DD/disable", "absent", "absent", "absent"},
        {"VIII/disable", "absent", "absent", "absent"},
        {"XII/disable", "absent", "absent", "integer:1"},
        {"FDP/disable", "absent", "absent", "absent"},
        {"reagent/initVolume", "text:初始量[ul]", "text:初始量[ul]", "text:初始量[ul]"},
        {"reagent/alarmLimit", "text:报警限[ul]", "text:报警限[ul]", "text:报警限[ul]"},
        {"reagent/interruptLimit", "text:中断限[ul]", "text:中断限[ul]", "text:中断限[ul]"},
        {"patient/hospitalNo", "text:住院号", "text:住院号", "text:住院号"},
        {"schedule/sample", "integer:6", "integer:6", "integer:6"},
        {"schedule/dilution/1/40", "integer:22", "integer:22", "integer:22"},
        {"schedule/test/PT", "integer:27", "integer:27", "integer:40"},
        {"schedule/test/FIB/table", "text:0.2,25;0.1,35;0.05,45;0.025,65",
            "text:0.2,25;0.1,35;0.05,45;0.025,65", "text:0.2,25;0.1,35;0.05,45;0.025,65"},
        {"schedule/test/APTT", "integer:50", "integer:50", "integer:50"},
        {"schedule/test/XII", "integer:30", "integer:30", "integer:30"},
        {"analyst/FIB/odPercent", "real:0.5", "real:0.6", "real:0.5"},
        {"analyst/FIB/odThreshold", "text:4,0.008; 6,0.004; 10,0.0025; 20,0.001; 40,0.0005",
            "text:4,0.008; 6,0.004; 10,0.0025; 20,0.001; 40,0.0005",
            "text:4,0.008; 6,0.004; 10,0.0025; 20,0.001; 40,0.0005"},
        {"analyst/APTT/odThreshold", "text:4,0.2; 10,0.05; 20,0.02", "text:4,0.2; 10,0.05; 20,0.02",
            "text:4,0.2; 10,0.05; 20,0.02"},
        {"analyst/odThreshold", "text:4,0.2; 8,0.05; 10,0.01", "text:4,0.2; 8,0.05; 10,0.01",
            "text:4,0.2; 8,0.05; 10,0.01"},
        {"language", "text:zh_CN", "text:en", "text:zh_CN"},
        {"temperature/incubation", "real:37.0", "real:37.0", "real:37.0"},
        {"specialValue/PT/P", "real:0.2", "real:0.2", "real:0.2"},
    };
    for (const auto &row : rows) {
        // Versions 2 and 3 hold the same settings: neither runs block E.
        const char *const byVersion[] = {row.v0, row.v1, row.v2, row.v2};
        for (int version = 0; version <= 3; ++version) {
            QTest::addRow("v%d %s", version, row.key)
                << version << QString::fromUtf8(row.key) << QString::fromUtf8(byVersion[version]);
        }
    }
    for (int version = 0; version <= 1; ++version) {
        QTest::addRow("v%d dilution", version)
            << version << QStringLiteral("dilution") << "text:" + untranslatedDilution;
    }
}

void tst_UpdateProfile::profileRows()
{
    QFETCH(int, version);
    QFETCH(QString, key);
    QFETCH(QString, expected);
    const ProfileDb db(upgradedFrom(version));
    QCOMPARE(db.setting(key), expected);
}

void tst_UpdateProfile::writeModesOnPresentKeys()
{
    // Every key of the version-2 defaults is already set by the laboratory.
    const QStringList inserted = {"FIB/report/dilution", "dilution", "patient/sampleType",
        "reagent/initVolume", "reagent/alarmLimit", "reagent/interruptLimit", "patient/hospitalNo",
        "analyst/FIB/odPercent"};
    const QStringList replaced = {"DD/mix/times", "specialValue/FDP/P", "schedule/sample",
        "schedule/test/PT", "schedule/test/FIB/table", "analyst/odThreshold"};
    QString presets;
    for (const QString &key : inserted + replaced)
        presets += QStringLiteral("replace into profile values('%1', 'laboratory');\n").arg(key);

    TestWorkDir dir;
    QVERIFY(loadFixture(1, presets));
    const RunResult run = runUpgrade();
    QVERIFY(run.ok);

    const ProfileDb db;
    QStringList kept;
    for (const QString &key : inserted)
        kept.append(key + QLatin1Char('=') + db.setting(key));
    QStringList expectedKept;
    for (const QString &key : inserted)
        expectedKept.append(key + QLatin1String("=text:laboratory"));
    QCOMPARE(kept, expectedKept);

    QStringList overwritten;
    for (const QString &key : replaced)
        overwritten.append(key + QLatin1Char('=') + db.setting(key));
    QCOMPARE(overwritten,
        (QStringList {"DD/mix/times=integer:3", "specialValue/FDP/P=real:0.1",
            "schedule/sample=integer:6", "schedule/test/PT=integer:27",
            "schedule/test/FIB/table=text:0.2,25;0.1,35;0.05,45;0.025,65",
            "analyst/odThreshold=text:4,0.2; 8,0.05; 10,0.01"}));

    // One error line for each insert, in the order of the statements.
    QCOMPARE(run.errors.size(), inserted.size());
    for (int i = 0; i < inserted.size(); ++i) {
        QCOMPARE(run.errors.at(i).file, QStringLiteral("updateprofile.cpp"));
        QVERIFY2(
            run.errors.at(i).error.startsWith(uniqueKeyFailed), qPrintable(run.errors.at(i).error));
        QVERIFY2(run.errors.at(i).statement.contains("values('" + inserted.at(i) + "'"),
            qPrintable(run.errors.at(i).statement));
    }
    QVERIFY(run.errors.last().statement.startsWith(QLatin1String("insert or abort into profile")));
}

void tst_UpdateProfile::laterVersionsKeepTheirSettings_data()
{
    QTest::addColumn<int>("version");
    QTest::newRow("v2") << 2;
    QTest::newRow("v3") << 3;
}

// From version 2 on, no setting is written or removed.
void tst_UpdateProfile::laterVersionsKeepTheirSettings()
{
    QFETCH(int, version);
    const ProfileDb db(upgradedFrom(version));
    const ProfileDb before(fixtureFile(version));
    const QString select
        = QStringLiteral("select name, typeof(value), value from profile order by rowid");
    QCOMPARE(db.rows(select), before.rows(select));
}

void tst_UpdateProfile::reagents_data()
{
    addVersionColumn();
}

void tst_UpdateProfile::reagents()
{
    QFETCH(int, version);
    const ProfileDb db(upgradedFrom(version));
    const ProfileDb before(fixtureFile(version));
    const QString select = QStringLiteral(
        "select name, typeof(type) || type, typeof(initVolume) || initVolume, "
        "typeof(alarmLimit) || alarmLimit, typeof(vialType) || vialType from reagent "
        "order by name");
    if (version >= 2) {
        QCOMPARE(db.rows(select), before.rows(select));
        return;
    }
    const QStringList expected = {
        "APTT|integer1|integer4000|integer300|integer2",
        "Buffer(APTT)|integer2|integer6500|integer200|integer6",
        "Buffer(DD)|integer2|integer6500|integer200|integer6",
        "Buffer(EN)|integer2|integer6500|integer200|integer6",
        "Buffer(EX)|integer2|integer6500|integer200|integer6",
        "Buffer(FDP)|integer2|integer6500|integer200|integer6",
        "Buffer(FIB)|integer2|integer6500|integer200|integer6",
        "Buffer(PT)|integer2|integer6500|integer200|integer6",
        "Buffer(TT)|integer2|integer6500|integer200|integer6",
        "CaCl2|integer1|integer4000|integer300|integer2",
        "DD|integer0|integer3000|integer300|integer3",
        "DD ct|integer5|integer1000|integer200|integer1",
        "FDP|integer0|integer2000|integer200|integer3",
        "FDP ct|integer5|integer1000|integer200|integer1",
        "FIB|integer1|integer4000|integer300|integer2",
        "Latex|integer0|integer2000|integer200|integer3",
        "PT|integer1|integer4000|integer300|integer2",
        "Saline|integer2|integer6500|integer200|integer6",
        "TT|integer1|integer4000|integer300|integer2",
    };
    QCOMPARE(rowTexts(db.rows(select)), expected);
}

void tst_UpdateProfile::calibrations_data()
{
    QTest::addColumn<int>("version");
    QTest::addColumn<QStringList>("expected");

    // name|method|funX|funY|dispX|dispY
    const QStringList fixed = {
        "PT|0|Linear|Linear|Log|Log",
        "PT 演算 FIB|0|Log|Log|Log|Log",
        "FIB|0|Log|Log|Log|Log",
        "DD|4|Log|Linear|Log|Log",
        "FDP|4|Log|Linear|Log|Log",
        "AT|4|Log|Linear|Log|Log",
        "VIII|0|Log|Log|Log|Log",
        "APTT|NULL|Linear|Linear|NULL|NULL",
    };
    QStringList english = fixed;
    english[1] = QStringLiteral("PT calculate FIB|0|Log|Log|Log|Log");
    QStringList laboratory = fixed;
    laboratory[0] = QStringLiteral("PT|0|Linear|Linear|Linear|Linear");

    QTest::newRow("v0") << 0 << fixed;
    QTest::newRow("v1") << 1 << english;
    QTest::newRow("v2") << 2 << fixed;
    // Version 3 already has them: the laboratory's linear PT axes stay.
    QTest::newRow("v3") << 3 << laboratory;
}

void tst_UpdateProfile::calibrations()
{
    QFETCH(int, version);
    QFETCH(QStringList, expected);
    const ProfileDb db(upgradedFrom(version));
    QCOMPARE(rowTexts(db.rows(QStringLiteral(
                 "select name, method, funX, funY, dispX, dispY from assayCalibration "
                 "order by id"))),
        expected);
}

void tst_UpdateProfile::odPrecision_data()
{
    addVersionColumn();
}

void tst_UpdateProfile::odPrecision()
{
    QFETCH(int, version);
    const ProfileDb db(upgradedFrom(version));
    const ProfileDb before(fixtureFile(version));
    const QString select
        = QStringLiteral("select id, name, precision from assayItem where name%1'OD' order by id");
    QCOMPARE(
        rowTexts(db.rows(select.arg(QLatin1Char('=')))), (QStringList {"8|OD|-1", "10|OD|-1"}));
    QCOMPARE(
        db.rows(select.arg(QLatin1String("<>"))), before.rows(select.arg(QLatin1String("<>"))));
}

void tst_UpdateProfile::currentCurves_data()
{
    QTest::addColumn<int>("version");
    QTest::addColumn<QStringList>("expected");

    // Where two curves share a name, the later one becomes the current one.
    QTest::newRow("v0") << 0 << QStringList {"DD|4", "FIB|3", "PT|1", "PT 演算 FIB|2", "VIII|5"};
    QTest::newRow("v1") << 1
                        << QStringList {"DD|4", "FIB|3", "PT|1", "PT calculate FIB|2", "VIII|5"};
    QTest::newRow("v2") << 2 << QStringList {"DD|4", "FIB|6", "PT|7", "PT 演算 FIB|2", "VIII|5"};
    QTest::newRow("v3") << 3 << QStringList {"DD|8", "FIB|6", "PT|7", "PT 演算 FIB|2", "VIII|5"};
}

void tst_UpdateProfile::currentCurves()
{
    QFETCH(int, version);
    QFETCH(QStringList, expected);
    const ProfileDb db(upgradedFrom(version));
    QCOMPARE(
        rowTexts(db.rows(QStringLiteral("select name, curveId from currentCurve order by name"))),
        expected);
}

void tst_UpdateProfile::variables_data()
{
    addVersionColumn();
}

void tst_UpdateProfile::variables()
{
    QFETCH(int, version);
    const ProfileDb db(upgradedFrom(version));
    // The APTT template has no calibration curve: its variable stays null.
    QCOMPARE(rowTexts(db.rows(
                 QStringLiteral("select name, typeof(value), value from variable order by id"))),
        (QStringList {"ISI|real|1.02", "MNPT|real|12.3", "a|real|218.4", "b|real|-1.21",
            "cutoff|real|0.5", "normal|null|NULL"}));
}

void tst_UpdateProfile::migrationSkippedOnceAnyValueIsSet()
{
    TestWorkDir dir;
    QVERIFY(loadFixture(0, QStringLiteral("update variable set value=35 where name='normal';")));
    const RunResult run = runUpgrade();
    QVERIFY(run.ok);
    const ProfileDb db;
    QCOMPARE(db.column(QStringLiteral("select name || '=' || ifnull(value, 'null') from variable "
                                      "order by id")),
        (QStringList {"ISI=null", "MNPT=null", "a=null", "b=null", "cutoff=null", "normal=35"}));
}

void tst_UpdateProfile::migrationTakesTheFirstMatch()
{
    TestWorkDir dir;
    // A second ISI on the PT curve, and a value for the APTT variable on the
    // curve of another template, which must not be taken.
    QVERIFY(loadFixture(0,
        QStringLiteral("insert into curveVariable values(1, 'ISI', 1.10);\n"
                       "insert into curveVariable values(3, 'normal', 31);")));
    const RunResult run = runUpgrade();
    QVERIFY(run.ok);
    QVERIFY(run.errors.isEmpty());
    const ProfileDb db;
    QCOMPARE(db.column(QStringLiteral("select ifnull(value, 'null') from variable where name in "
                                      "('ISI', 'normal') order by id")),
        (QStringList {"1.02", "null"}));
}

void tst_UpdateProfile::migrationWithoutVariableTable()
{
    TestWorkDir dir;
    QVERIFY(loadFixture(3, QStringLiteral("drop table variable;")));
    const QStringList expected = {"select count(*) from variable where value notnull => no such "
                                  "table: variable Unable to execute statement"};

    RunResult run = runUpgrade();
    QVERIFY(!run.ok);
    QCOMPARE(describe(run.errors), expected);
    {
        const ProfileDb db;
        QCOMPARE(db.column(QStringLiteral("select version from version")), QStringList {"4"});
        QCOMPARE(db.value(QStringLiteral("select count(*) from currentCurve")).toInt(), 5);
    }

    // The version is already 4; every later run fails the same way.
    run = runUpgrade();
    QVERIFY(!run.ok);
    QCOMPARE(describe(run.errors), expected);
}

void tst_UpdateProfile::cleanRunErrorLines_data()
{
    QTest::addColumn<int>("version");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("v0") << 0 << QStringList();
    // The laboratory's own values of version 1 are kept by plain inserts.
    QTest::newRow("v1") << 1
                        << QStringList {
                               "insert into profile values('FIB/report/dilution', '1/10') => "
                                   + uniqueKeyFailed + " Unable to fetch row",
                               "insert or abort into profile values('analyst/FIB/odPercent', "
                               "\t\t0.5) => "
                                   + uniqueKeyFailed + " Unable to fetch row"};
    QTest::newRow("v2") << 2 << QStringList();
    QTest::newRow("v3") << 3 << QStringList();
}

void tst_UpdateProfile::cleanRunErrorLines()
{
    QFETCH(int, version);
    QFETCH(QStringList, expected);
    upgradedFrom(version);
    QCOMPARE(describe(m_runs.value(version).errors), expected);
}

void tst_UpdateProfile::rerunChangesOnlyWhatRunsAtEveryVersion_data()
{
    QTest::addColumn<int>("version");
    QTest::addColumn<QStringList>("changes");

    // The OD precision is reset at every version.
    const QStringList precision
        = {QStringLiteral("update assayItem set precision=4 where name='OD'")};
    for (int version = 0; version <= 3; ++version)
        QTest::addRow("v%d", version) << version << precision;
    // A file of a newer installation gets its version written back as 4.
    QTest::newRow("newer version") << 3
                                   << QStringList {QStringLiteral("delete from version"),
                                          QStringLiteral("insert into version values(5)")};
}

void tst_UpdateProfile::rerunChangesOnlyWhatRunsAtEveryVersion()
{
    QFETCH(int, version);
    QFETCH(QStringList, changes);
    const QString file = upgradedFrom(version);
    TestWorkDir dir;
    QVERIFY(QFile::copy(file, QStringLiteral("profile.db")));
    QStringList upgraded;
    {
        ProfileDb db;
        upgraded = db.dump();
        for (const QString &change : changes)
            QVERIFY(db.exec(change));
    }

    const RunResult run = runUpgrade();
    QVERIFY(run.ok);
    QCOMPARE(describe(run.errors), QStringList());
    QCOMPARE(ProfileDb().dump(), upgraded);
}

void tst_UpdateProfile::translatedTexts_data()
{
    QTest::addColumn<QString>("translation");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("expected");

    const QString gradient = QStringLiteral("gradient_test");
    QTest::newRow("gradient 1 only")
        << gradient << QStringLiteral("dilution")
        << QStringLiteral("Gradient 1;1/5;1/10;1/20;1/30,梯度2;1/5;1/10;1/20;1/30;1/40,"
                          "梯度3;1/1;1/2;1/4;1/8,梯度4;1/1;3/4;1/2;1/4");
    QTest::newRow("sample type") << gradient << QStringLiteral("patient/sampleType")
                                 << QStringLiteral("Sample type");
    QTest::newRow("labels untranslated")
        << gradient << QStringLiteral("reagent/initVolume") << QStringLiteral("初始量[ul]");

    const QString quote = QStringLiteral("quote_test");
    QTest::newRow("quote") << quote << QStringLiteral("patient/hospitalNo")
                           << QStringLiteral("Patient's No.");
    QTest::newRow("quote injection") << quote << QStringLiteral("patient/sampleType")
                                     << QStringLiteral("Type'); delete from user; --");
    QTest::newRow("quote and placeholder")
        << quote << QStringLiteral("dilution")
        << QStringLiteral("Gradient '%2';1/5;1/10;1/20;1/30,梯度2;1/5;1/10;1/20;1/30;1/40,"
                          "梯度3;1/1;1/2;1/4;1/8,梯度4;1/1;3/4;1/2;1/4");
}

void tst_UpdateProfile::translatedTexts()
{
    QFETCH(QString, translation);
    QFETCH(QString, key);
    QFETCH(QString, expected);

    QTranslator translator;
    QVERIFY(translator.load(translation, QStringLiteral(TEST_TRANSLATIONS_DIR)));
    QVERIFY(QCoreApplication::installTranslator(&translator));
    TestWorkDir dir;
    QVERIFY(loadFixture(0));
    const RunResult run = runUpgrade();
    QCoreApplication::removeTranslator(&translator);

    QVERIFY(run.ok);
    QCOMPARE(describe(run.errors), QStringList());
    const ProfileDb db;
    QCOMPARE(db.setting(key), "text:" + expected);
    QCOMPARE(db.value(QStringLiteral("select count(*) from user")).toInt(), 5);
}

QTEST_GUILESS_MAIN(tst_UpdateProfile)
#include "tst_updateprofile.moc"
