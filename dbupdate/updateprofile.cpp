#include "updateprofile.h"

#include <QtSql/qsqlquery.h>

#include <utility>

namespace {

// A translated text is written between single quotes: double its own quotes
// so that a translation can neither break the statement nor add SQL to it.
QString quoted(QString text)
{
    return text.replace(QLatin1Char('\''), QLatin1String("''"));
}

struct ReagentDefault
{
    int type;
    const char *name;
    int initVolume;
    int alarmLimit;
    int vialType;
};

// Buffers, saline, latex and the DD/FDP reagents as a new installation has them.
const ReagentDefault reagentDefaults[] = {
    {0, "Latex", 2000, 200, 3},
    {0, "FDP", 2000, 200, 3},
    {2, "Saline", 6500, 200, 6},
    {2, "Buffer(PT)", 6500, 200, 6},
    {2, "Buffer(APTT)", 6500, 200, 6},
    {2, "Buffer(FIB)", 6500, 200, 6},
    {2, "Buffer(TT)", 6500, 200, 6},
    {2, "Buffer(DD)", 6500, 200, 6},
    {2, "Buffer(EX)", 6500, 200, 6},
    {2, "Buffer(EN)", 6500, 200, 6},
    {2, "Buffer(FDP)", 6500, 200, 6},
    {5, "DD ct", 1000, 200, 1},
    {5, "FDP ct", 1000, 200, 1},
};

// Settings written over whatever is stored; the values are SQL literals.
struct ProfileDefault
{
    const char *key;
    const char *value;
};

const ProfileDefault immunoDefaults[] = {
    {"DD/mix/times", "3"},
    {"DD/max_clot_time", "120"},
    {"specialValue/DD/P", "0.1"},
    {"DD/priority", "10"},
    {"FDP/mix/times", "3"},
    {"FDP/max_clot_time", "120"},
    {"specialValue/FDP/P", "0.1"},
};

const ProfileDefault scheduleDefaults[] = {
    {"schedule/sample", "6"},
    {"schedule/reagent", "6"},
    {"schedule/mix", "2"},
    {"schedule/dilution", "12"},
    {"schedule/dilution/1/10", "12"},
    {"schedule/dilution/1/20", "17"},
    {"schedule/dilution/1/40", "22"},
    {"schedule/clean", "15"},
    {"schedule/test/PT", "27"},
    {"schedule/test/FIB/table", "'0.2,25;0.1,35;0.05,45;0.025,65'"},
    {"schedule/test/APTT", "50"},
    {"schedule/test/TT", "35"},
    {"schedule/test/II", "30"},
    {"schedule/test/V", "30"},
    {"schedule/test/VII", "30"},
    {"schedule/test/X", "30"},
    {"schedule/test/VIII", "30"},
    {"schedule/test/IX", "30"},
    {"schedule/test/XI", "30"},
    {"schedule/test/XII", "30"},
};

// Assays that are enabled from version 2 on.
const char *const disabledKeys[] = {
    "DD/disable",
    "II/disable",
    "V/disable",
    "VII/disable",
    "X/disable",
    "VIII/disable",
    "IX/disable",
    "XI/disable",
    "XII/disable",
    "FDP/disable",
};

} // namespace

UpdateProfile::UpdateProfile(QObject *parent) : UpdateBase(QStringLiteral("profile.db"), parent) { }

bool UpdateProfile::update()
{
    if (version() < 1 && !rebuildUsers())
        return false;
    if (version() < 2)
        addCurveInstrument();
    if (version() < 3)
        addCalibrationMethod();
    if (version() < 4)
        addCurrentCurves();

    EXECUTE(QStringLiteral("delete from version"));
    EXECUTE(QStringLiteral("insert into version values(4)"));

    if (version() < 2)
        writeDefaults();
    if (version() < 3)
        fixCalibrations();
    EXECUTE(QStringLiteral("update assayItem set precision=-1 where name='OD'"));
    if (version() < 4)
        EXECUTE(
            QStringLiteral("insert into currentCurve (name, curveId) select name, id from curve"));

    return migrateVariables();
}

// Version 1: user names become unique without regard to letter case, curves
// get their debug info, and the version table appears.
bool UpdateProfile::rebuildUsers()
{
    renameTable(QStringLiteral("user"), QStringLiteral("user_bak"));
    EXECUTE(QStringLiteral("create table user(\n"
                           "\tid integer primary key,\n"
                           "\tname text unique COLLATE NOCASE,\n"
                           "\tpassword text,\n"
                           "\tlevel integer default 0,\n"
                           "\thide integer default 0 )"));
    // A failed copy leaves user_bak in place: nothing else may run.
    if (!copyTable(QStringLiteral("user"), QStringLiteral("user_bak")))
        return false;
    EXECUTE(QStringLiteral("drop table user_bak"));
    EXECUTE(QStringLiteral("-- curve debug info, since v1\n"
                           "create table curveInfo (\n"
                           "\tcurveId integer references curve,\n"
                           "\tname text not null,\n"
                           "\tvalue,\n"
                           "\tunique (curveId, name) on conflict replace\n"
                           "\t)"));
    EXECUTE(QStringLiteral("drop trigger if exists deleteCurve"));
    EXECUTE(QStringLiteral("create trigger deleteCurve after delete on curve \n"
                           "begin \n"
                           "\tdelete from curvePoint    where    curvePoint.curveId = old.id;\n"
                           "\tdelete from curveVariable where curveVariable.curveId = old.id;\n"
                           "\tdelete from curveReagent  where  curveReagent.curveId = old.id;\n"
                           "\tdelete from curveInfo     where     curveInfo.curveId = old.id;\n"
                           "end"));
    EXECUTE(QStringLiteral("create table version(version integer)"));
    return true;
}

// Version 2: a curve belongs to an instrument.
void UpdateProfile::addCurveInstrument()
{
    EXECUTE(QStringLiteral("alter table curve add column instrUuid text"));
    EXECUTE(QStringLiteral("drop index curve_index"));
    EXECUTE(QStringLiteral("create unique index curve_index on curve(name, instrUuid)"));
}

// Version 3: calibration method and axes, five-parameter curves.
void UpdateProfile::addCalibrationMethod()
{
    EXECUTE(QStringLiteral("alter table assayCalibration add column method integer"));
    EXECUTE(QStringLiteral("alter table assayCalibration add column dispX text"));
    EXECUTE(QStringLiteral("alter table assayCalibration add column dispY text"));
    EXECUTE(QStringLiteral("alter table curve add column c real"));
    EXECUTE(QStringLiteral("alter table curve add column d real"));
    EXECUTE(QStringLiteral("alter table curve add column e real"));
    EXECUTE(QStringLiteral("alter table curve add column valid integer"));
}

// Version 4: reagent lots on curves and one current curve per name.
void UpdateProfile::addCurrentCurves()
{
    EXECUTE(QStringLiteral("alter table curve add column lotsNum text"));
    EXECUTE(QStringLiteral("-- currentCurve\n"
                           "create table currentCurve (\n"
                           "\tid integer primary key,\n"
                           "\tname text unique on conflict replace,\n"
                           "\tcurveId integer references curve\n"
                           "\t)"));
    EXECUTE(QStringLiteral("drop index curve_index"));
    EXECUTE(QStringLiteral("drop trigger if exists deleteCurve"));
    EXECUTE(QStringLiteral("create trigger deleteCurve after delete on curve\n"
                           "begin\n"
                           "\tdelete from curvePoint    where    curvePoint.curveId = old.id;\n"
                           "\tdelete from curveVariable where curveVariable.curveId = old.id;\n"
                           "\tdelete from curveReagent  where  curveReagent.curveId = old.id;\n"
                           "\tdelete from curveInfo     where     curveInfo.curveId = old.id;\n"
                           "\tdelete from currentCurve  where  currentCurve.curveId = old.id;\n"
                           "end"));
}

// Defaults of version 2. Plain inserts keep what the laboratory has set;
// replace overwrites it.
void UpdateProfile::writeDefaults()
{
    EXECUTE(QStringLiteral("insert into profile values('FIB/report/dilution', '1/10')"));
    // All four labels are substituted at once, so that a translation holding
    // "%2" is not taken for a placeholder.
    EXECUTE(QStringLiteral("insert into profile values('dilution', '"
                           "%1;1/5;1/10;1/20;1/30,"
                           "%2;1/5;1/10;1/20;1/30;1/40,"
                           "%3;1/1;1/2;1/4;1/8,"
                           "%4;1/1;3/4;1/2;1/4')")
                .arg(quoted(tr("梯度1")), quoted(tr("梯度2")), quoted(tr("梯度3")),
                    quoted(tr("梯度4"))));
    EXECUTE(QStringLiteral("insert into profile values('patient/sampleType',\t'%1')")
                .arg(quoted(tr("样本类型"))));
    writeReagents();
    writeProfileNumbers();
    writeLabels();
    writeSchedule();
    EXECUTE(
        QStringLiteral("insert or abort into profile values('analyst/FIB/odPercent', \t\t0.5)"));
    EXECUTE(QStringLiteral("replace into profile values('analyst/FIB/odThreshold',\t'4,0.008; "
                           "6,0.004; 10,0.0025; 20,0.001; 40,0.0005')"));
    EXECUTE(QStringLiteral(
        "replace into profile values('analyst/APTT/odThreshold',\t'4,0.2; 10,0.05; 20,0.02')"));
    EXECUTE(QStringLiteral(
        "replace into profile values('analyst/odThreshold',\t    '4,0.2; 8,0.05; 10,0.01')"));
}

// The single buffer, latex and saline rows give way to one buffer per assay.
void UpdateProfile::writeReagents()
{
    EXECUTE(QStringLiteral("delete from reagent where name = 'Buffer'"));
    EXECUTE(QStringLiteral("delete from reagent where name = 'Latex'"));
    EXECUTE(QStringLiteral("delete from reagent where name = 'Saline'"));
    for (const ReagentDefault &reagent : reagentDefaults) {
        EXECUTE(
            QStringLiteral("replace into reagent (type, name, initVolume, alarmLimit, vialType) "
                           "values(%1, '%2',\t     %3, %4, %5)")
                .arg(reagent.type)
                .arg(QLatin1String(reagent.name))
                .arg(reagent.initVolume)
                .arg(reagent.alarmLimit)
                .arg(reagent.vialType));
    }
}

void UpdateProfile::writeProfileNumbers()
{
    for (const ProfileDefault &setting : immunoDefaults) {
        EXECUTE(QStringLiteral("replace into profile values('%1',\t\t\t%2)")
                    .arg(QLatin1String(setting.key), QLatin1String(setting.value)));
    }
    for (const char *key : disabledKeys)
        EXECUTE(QStringLiteral("delete from profile where name='%1'").arg(QLatin1String(key)));
}

void UpdateProfile::writeLabels()
{
    EXECUTE(QStringLiteral("insert into profile values('reagent/initVolume',\t'%1')")
                .arg(quoted(tr("初始量[ul]"))));
    EXECUTE(QStringLiteral("insert into profile values('reagent/alarmLimit',\t'%1')")
                .arg(quoted(tr("报警限[ul]"))));
    EXECUTE(QStringLiteral("insert into profile values('reagent/interruptLimit','%1')")
                .arg(quoted(tr("中断限[ul]"))));
    EXECUTE(QStringLiteral("insert into profile values('patient/hospitalNo',\t'%1')")
                .arg(quoted(tr("住院号"))));
}

void UpdateProfile::writeSchedule()
{
    for (const ProfileDefault &setting : scheduleDefaults) {
        EXECUTE(QStringLiteral("replace into profile values('%1',\t\t%2)")
                    .arg(QLatin1String(setting.key), QLatin1String(setting.value)));
    }
}

// Calibrations of version 3: method and logarithmic axes for every assay
// with a calibration curve.
void UpdateProfile::fixCalibrations()
{
    EXECUTE(QStringLiteral(
        "update assayCalibration set method=0, dispX='Log', dispY='Log' where name='PT'"));
    EXECUTE(QStringLiteral("update assayCalibration set method=0, funX='Log', funY='Log', "
                           "dispX='Log', dispY='Log' where name='PT 演算 FIB' or name='PT "
                           "calculate FIB'"));
    EXECUTE(QStringLiteral(
        "update assayCalibration set method=0, dispX='Log', dispY='Log' where name='FIB'"));
    EXECUTE(QStringLiteral("update assayCalibration set method=4, funX='Log', funY='Linear', "
                           "dispX='Log', dispY='Log' where name='DD'"));
    EXECUTE(QStringLiteral("update assayCalibration set method=4, funX='Log', funY='Linear', "
                           "dispX='Log', dispY='Log' where name='FDP'"));
    EXECUTE(QStringLiteral("update assayCalibration set method=4, funX='Log', funY='Linear', "
                           "dispX='Log', dispY='Log' where name='AT'"));
    EXECUTE(QStringLiteral(
        "update assayCalibration set method=0, dispX='Log', dispY='Log' where name='II'"));
    EXECUTE(QStringLiteral(
        "update assayCalibration set method=0, dispX='Log', dispY='Log' where name='V'"));
    EXECUTE(QStringLiteral(
        "update assayCalibration set method=0, dispX='Log', dispY='Log' where name='VII'"));
    EXECUTE(QStringLiteral(
        "update assayCalibration set method=0, dispX='Log', dispY='Log' where name='X'"));
    EXECUTE(QStringLiteral(
        "update assayCalibration set method=0, dispX='Log', dispY='Log' where name='VIII'"));
    EXECUTE(QStringLiteral(
        "update assayCalibration set method=0, dispX='Log', dispY='Log' where name='IX'"));
    EXECUTE(QStringLiteral(
        "update assayCalibration set method=0, dispX='Log', dispY='Log' where name='XI'"));
    EXECUTE(QStringLiteral(
        "update assayCalibration set method=0, dispX='Log', dispY='Log' where name='XII'"));
}

// Fills the variables of each assay template from the curve variables of its
// calibration curves, but only while no variable has a value: values the
// laboratory has entered are never overwritten.
bool UpdateProfile::migrateVariables()
{
    QSqlQuery query;
    if (!query.exec(QStringLiteral("select count(*) from variable where value notnull"))) {
        reportQueryError(std::move(query), UPDATE_SOURCE_FILE, __LINE__);
        return false;
    }
    if (query.next() && query.value(0).toInt() >= 1)
        return true;

    if (!query.exec(QStringLiteral("select id, assayTemplateId, name, value from variable"))) {
        reportQueryError(std::move(query), UPDATE_SOURCE_FILE, __LINE__);
        return false;
    }

    QSqlQuery lookup;
    if (!lookup.prepare(QStringLiteral(
            "select curveVariable.value from curveVariable, curve, assayCalibration where "
            "curveVariable.name=:name and curveId=curve.id       and "
            "curve.name=assayCalibration.name       and "
            "assayCalibration.assayTemplateId=:assayTemplateId"))) {
        reportQueryError(std::move(lookup), UPDATE_SOURCE_FILE, __LINE__);
        return false;
    }
    QSqlQuery store;
    if (!store.prepare(QStringLiteral("update variable set value=:value where id=:id"))) {
        reportQueryError(std::move(store), UPDATE_SOURCE_FILE, __LINE__);
        return false;
    }

    while (query.next()) {
        lookup.bindValue(QStringLiteral(":name"), query.value(2));
        lookup.bindValue(QStringLiteral(":assayTemplateId"), query.value(1));
        if (!lookup.exec()) {
            reportQueryError(std::move(lookup), UPDATE_SOURCE_FILE, __LINE__);
            return false;
        }
        if (!lookup.next())
            continue;
        store.bindValue(QStringLiteral(":id"), query.value(0));
        store.bindValue(QStringLiteral(":value"), lookup.value(0));
        if (!store.exec()) {
            reportQueryError(std::move(store), UPDATE_SOURCE_FILE, __LINE__);
            return false;
        }
    }
    return true;
}
