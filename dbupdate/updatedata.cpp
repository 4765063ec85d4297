#include "updatedata.h"

#include <QtCore/qdebug.h>
#include <QtSql/qsqlquery.h>

// Like EXECUTE, but the caller learns whether the statement succeeded.
#define EXECUTE_CHECKED(sql) executeChecked((sql), UPDATE_SOURCE_FILE, __LINE__)

namespace {

// The lookup tables whose abbreviations became case-insensitive in version 1,
// rebuilt in this order.
const char *const lookupTables[]
    = {"department", "sex", "treatmentRoom", "diagnosis", "doctor", "operator"};

// The statement texts below are kept as SQLite stores them in the schema,
// comments and layout included.

const auto createLookupTable = QStringLiteral(
    "create table %1(\n\tid integer primary key,\n\tabbr text COLLATE NOCASE,\n\tname text)");
const auto createLookupIndex = QStringLiteral("create index if not exists %1_index on %1 (abbr)");

const auto createFirstDetail = QStringLiteral(
    "create table detail(\n\tid integer primary key,\n\tpatientId integer references "
    "patient,\n\titem text,\t\t\t\t\t\t\t\t\t\t-- 测量项目, 如PT\n\tinfo "
    "text,\t\t\t\t\t\t\t\t\t\t-- 测试详细信息, 如测试通道等\n\tunique(patientId, item) on "
    "conflict replace)");

const auto createSecondTrigger = QStringLiteral(
    "create trigger on_delete_patient after delete on patient\nbegin\n\tdelete from exam "
    "where old.sampleNo = exam.sampleNo and old.date = exam.date;\n\tdelete from result where "
    "old.id = result.patientId;\n\tdelete from patientExtra where old.id = "
    "patientExtra.patientId;\n\tdelete from curve where old.id = curve.patientId;\n\tdelete "
    "from detail where old.id = detail.patientId;\nend");

const auto createResults = QStringLiteral(
    "-- 原始检验结果\ncreate table results(\n\tid integer primary key,\n\tpatientId integer "
    "references patient,\n\titem text,\t\t\t\t\t\t\t\t\t\t-- 测量项目, 如PT\n\tsubitem "
    "text,\t\t\t\t\t\t\t\t\t-- 测量子项目, 如PT.T\n\tversion integer,\t\t\t\t\t\t\t\t-- "
    "结果版本, 每保存一次版本增加1\n\tabbr text,\t\t\t\t\t\t\t\t\t\t-- 代码缩写\n\tcode "
    "text,\t\t\t\t\t\t\t\t\t\t-- 代码全称\n\tdate date,\t\t\t\t\t\t\t\t\t\t-- "
    "保存日期\n\ttime time,\t\t\t\t\t\t\t\t\t\t-- 保存时间\n\tresult "
    "real,\t\t\t\t\t\t\t\t\t-- 结果\n\tunit text,\t\t\t\t\t\t\t\t\t\t-- 单位\n\tflag "
    "integer,\t\t\t\t\t\t\t\t\t-- 状态标志\n\tdisplayOrder integer,\t\t\t\t\t\t\t-- "
    "显示顺序\n\tlowerMarkLimit real,\t\t\t\t\t\t\t-- 正常值下限, "
    "出现在报告单\n\tupperMarkLimit real\t\t\t\t\t\t\t\t-- 正常值上限, 出现在报告单\n\t)\n");

const auto copyResults = QStringLiteral(
    "insert into results (\tid, patientId, item, subitem, version, \tabbr, code, result, "
    "unit, flag, displayOrder, \tlowerMarkLimit, upperMarkLimit) select \tid, patientId, "
    "item, subitem, 1, \tabbr, code, result, unit, flag, displayOrder, \tlowerMarkLimit, "
    "upperMarkLimit from result");

const auto createCheckedResult = QStringLiteral(
    "-- 选中的结果\ncreate table checkedResult(\n\tid integer primary key,\n\tpatientId "
    "integer references patient,\n\titem text,\t\t\t\t\t\t\t\t\t\t-- 测量项目, "
    "如PT\n\tsubitem text,\t\t\t\t\t\t\t\t\t-- 测量子项目, 如PT.T\n\tresultsId integer "
    "references results,\n\t\n\tunique(patientId, item, subitem) on conflict replace\n\t)");

const auto copyCheckedResult
    = QStringLiteral("insert into checkedResult(\tpatientId, item, subitem, resultsId) "
                     "select\tpatientId, item, subitem, id from result");

const auto createResultView = QStringLiteral(
    "-- 检验结果视图\ncreate view result as \n\tselect results.* \n\tfrom results, "
    "checkedResult \n\twhere results.id = checkedResult.resultsId\n");

const auto createCurve = QStringLiteral(
    "-- 测量曲线\ncreate table curve(\n\tid integer primary key,\n\tpatientId integer "
    "references patient,\n\titem text,\t\t\t\t\t\t\t\t\t\t-- 测量项目, 如PT\n\tversion "
    "integer,\t\t\t\t\t\t\t\t-- 结果版本\n\tcurve blob\t\t\t\t\t\t\t\t\t\t-- 测量曲线\n\t)");

const auto copyCurve = QStringLiteral("insert into curve (\tid, patientId, item, version, curve) "
                                      "select \tid, patientId, item, 1, curve from old_curve");

const auto createDetail = QStringLiteral(
    "-- 测试详情\ncreate table detail(\n\tid integer primary key,\n\tpatientId integer "
    "references patient,\n\titem text,\t\t\t\t\t\t\t\t\t\t-- 测量项目, 如PT\n\tversion "
    "integer,\t\t\t\t\t\t\t\t-- 结果版本\n\tinfo text\t\t\t\t\t\t\t\t\t\t-- "
    "测试详细信息, 如测试通道等\n\t)");

const auto copyDetail = QStringLiteral("insert into detail (\tid, patientId, item, version, info) "
                                       "select \tid, patientId, item, 1, info from old_detail");

const auto createThirdTrigger = QStringLiteral(
    "create trigger on_delete_patient after delete on patient\nbegin\n\tdelete from "
    "patientExtra where old.id = patientExtra.patientId;\n\tdelete from exam where "
    "old.sampleNo = exam.sampleNo and old.date = exam.date;\n\tdelete from results where "
    "old.id = results.patientId;\n\tdelete from checkedResult where old.id = "
    "checkedResult.patientId;\n\tdelete from curve where old.id = curve.patientId;\n\tdelete "
    "from detail where old.id = detail.patientId;\nend");

} // namespace

UpdateData::UpdateData(QObject *parent) : UpdateBase(QStringLiteral("data.db"), parent) { }

bool UpdateData::update()
{
    if (version() < 1 && !upgradeToVersion1())
        return false;
    if (version() < 2)
        upgradeToVersion2();
    if (version() < 3 && !upgradeToVersion3())
        return false;

    EXECUTE(QStringLiteral("delete from version"));
    EXECUTE(QStringLiteral("insert into version values(3)"));
    return true;
}

// Patient gains two columns, abbreviations of the lookup tables compare without
// regard to case, and the first form of detail appears.
bool UpdateData::upgradeToVersion1()
{
    EXECUTE(QStringLiteral("alter table patient add sampleType text"));
    EXECUTE(QStringLiteral("alter table patient add hospitalNo text"));

    for (const char *name : lookupTables) {
        const QString table = QLatin1String(name);
        const QString backup = table + QLatin1String("_bak");
        renameTable(table, backup);
        EXECUTE(createLookupTable.arg(table));
        EXECUTE(createLookupIndex.arg(table));
        if (!copyTable(table, backup)) {
            qWarning("data.db: copying %s into the rebuilt %s failed; its rows stay in %s, the "
                     "later lookup tables keep their old form and data.db stays at version %d",
                qUtf8Printable(backup), qUtf8Printable(table), qUtf8Printable(backup), version());
            return false;
        }
        EXECUTE(QStringLiteral("drop table %1").arg(backup));
        // When the table already had its index (rebuilt by an earlier run that
        // stopped before the version rows, or an old form that had one), the index
        // went along with the rename, "if not exists" kept it there and the drop
        // took it away.
        EXECUTE(createLookupIndex.arg(table));
    }

    EXECUTE(createFirstDetail);
    EXECUTE(QStringLiteral("create table version(version integer)"));
    return true;
}

// The patient trigger learns about detail.
void UpdateData::upgradeToVersion2()
{
    EXECUTE(QStringLiteral("drop trigger on_delete_patient"));
    EXECUTE(createSecondTrigger);
}

// Results keep every saved version beside the selected one, and curves and details
// gain a version. The whole move is one transaction: its drops must never run
// unless every copy before them succeeded, or the old rows would be lost.
bool UpdateData::upgradeToVersion3()
{
    if (!EXECUTE_CHECKED(QStringLiteral("begin transaction"))) {
        // Without a transaction nothing could be undone: do not start.
        qWarning("data.db: no transaction could be opened for moving results, curves and "
                 "details; nothing was changed and data.db stays at version %d",
            version());
        return false;
    }

    struct Statement
    {
        QString sql;
        int line;
        const char *copy; // what a copy moves; null for the other statements
        const char *source; // the table a copy reads
    };
    const Statement move[] = {
        {createResults, __LINE__, nullptr, nullptr},
        {QStringLiteral("create index results_index on results(patientId, item, subitem)"),
            __LINE__, nullptr, nullptr},
        {copyResults, __LINE__, "result into results", "result"},
        {createCheckedResult, __LINE__, nullptr, nullptr},
        {QStringLiteral(
             "create index checkedResult_index on checkedResult(patientId, item, subitem)"),
            __LINE__, nullptr, nullptr},
        {copyCheckedResult, __LINE__, "result into checkedResult", "result"},
        {QStringLiteral("drop index result_index"), __LINE__, nullptr, nullptr},
        {QStringLiteral("drop table result"), __LINE__, nullptr, nullptr},
        {createResultView, __LINE__, nullptr, nullptr},
        {QStringLiteral("alter table curve rename to old_curve"), __LINE__, nullptr, nullptr},
        {createCurve, __LINE__, nullptr, nullptr},
        {copyCurve, __LINE__, "old_curve into curve", "old_curve"},
        {QStringLiteral("drop table old_curve"), __LINE__, nullptr, nullptr},
        {QStringLiteral("alter table detail rename to old_detail"), __LINE__, nullptr, nullptr},
        {createDetail, __LINE__, nullptr, nullptr},
        {copyDetail, __LINE__, "old_detail into detail", "old_detail"},
        {QStringLiteral("drop table old_detail"), __LINE__, nullptr, nullptr},
        {QStringLiteral("drop trigger on_delete_patient"), __LINE__, nullptr, nullptr},
        {createThirdTrigger, __LINE__, nullptr, nullptr},
    };
    for (const Statement &statement : move) {
        if (executeChecked(statement.sql, UPDATE_SOURCE_FILE, statement.line))
            continue;
        // A copy whose source table does not exist has no rows to lose: it is
        // logged like any other failed statement and the move goes on.
        if (statement.copy && tableExists(QLatin1String(statement.source))) {
            return abandonVersion3(
                QStringLiteral("copying %1 failed").arg(QLatin1String(statement.copy)));
        }
        // Any other failure is logged and the move goes on, unless SQLite had to
        // end the whole transaction with it (disk full, I/O error): the drops
        // after it would then run unprotected.
        if (!transactionActive()) {
            return abandonVersion3(
                QStringLiteral("the transaction ended when a statement failed"), false);
        }
    }

    if (!EXECUTE_CHECKED(QStringLiteral("end transaction")))
        return abandonVersion3(QStringLiteral("the transaction could not be committed"));
    return true;
}

bool UpdateData::executeChecked(const QString &sql, const char *file, int line)
{
    QSqlQuery query;
    if (query.exec(sql))
        return true;
    reportQueryError(query, file, line);
    return false;
}

bool UpdateData::tableExists(const QString &name)
{
    QSqlQuery query;
    query.prepare(QStringLiteral("select 1 from sqlite_master where type = 'table' and name = ?"));
    query.addBindValue(name);
    // When even this cannot be asked, assume the rows are there.
    return !query.exec() || query.next();
}

// A transaction can only be begun when none is open.
bool UpdateData::transactionActive()
{
    QSqlQuery probe;
    if (!probe.exec(QStringLiteral("begin transaction")))
        return true;
    probe.exec(QStringLiteral("rollback transaction"));
    return false;
}

// Undoes everything since "begin transaction" so that result, curve and detail keep
// their rows and form, and leaves the version as it was for the next run.
bool UpdateData::abandonVersion3(const QString &reason, bool rollBack)
{
    if (rollBack)
        EXECUTE(QStringLiteral("rollback transaction"));
    qWarning("data.db: %s; the move of results, curves and details was rolled back, nothing was "
             "dropped and data.db stays at version %d",
        qUtf8Printable(reason), version());
    return false;
}
