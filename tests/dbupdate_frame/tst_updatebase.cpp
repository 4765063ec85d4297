#include "updatebase.h"
#include "updateqc.h"
#include "updatesyslog.h"

#include "testworkdir.h"

#include <QtCore/qfile.h>
#include <QtCore/qregularexpression.h>
#include <QtSql/qsqldatabase.h>
#include <QtSql/qsqldriver.h>
#include <QtSql/qsqlerror.h>
#include <QtSql/qsqlfield.h>
#include <QtSql/qsqlquery.h>
#include <QtTest/qtest.h>

#include <cmath>

namespace {

// An upgrader without a step of its own, to drive the base class.
class Upgrader : public UpdateBase
{
public:
    explicit Upgrader(const QString &fileName = QStringLiteral("test.db"))
        : UpdateBase(fileName) { }
    bool update() override { return true; }
};

// Collects the warnings logged while it lives.
class WarningLog
{
public:
    WarningLog()
    {
        s_lines.clear();
        m_previous = qInstallMessageHandler(handler);
    }
    ~WarningLog() { qInstallMessageHandler(m_previous); }
    const QStringList &lines() const { return s_lines; }

private:
    static void handler(QtMsgType type, const QMessageLogContext &, const QString &text)
    {
        if (type == QtWarningMsg)
            s_lines.append(text);
    }
    static QStringList s_lines;
    QtMessageHandler m_previous = nullptr;
};
QStringList WarningLog::s_lines;

// Runs statements on the default connection, failing the test on an error.
void exec(const QStringList &statements)
{
    for (const QString &sql : statements) {
        QSqlQuery query;
        QVERIFY2(query.exec(sql), qPrintable(sql + QLatin1String(": ") + query.lastError().text()));
    }
}

QVariantList column(const QString &sql)
{
    QVariantList values;
    QSqlQuery query;
    if (!query.exec(sql))
        return {QStringLiteral("error: ") + query.lastError().text()};
    while (query.next())
        values.append(query.value(0));
    return values;
}

QString errorLine(const char *file, int line, const QString &error, const QString &statement)
{
    return QStringLiteral("%1 ( %2 ):  %3 : [ %4 ] ")
        .arg(QString::fromUtf8(file))
        .arg(line)
        .arg(error, statement);
}

} // namespace

class tst_UpdateBase : public QObject
{
    Q_OBJECT
private slots:
    void version_data();
    void version();
    void missingFileIsCreatedEmpty();
    void unopenableFileIsReportedAndStepGoesOn();
    void eachUpgraderReplacesTheConnection();
    void failedStatementLogsOneLineAndGoesOn();
    void renameKeepsTriggersAsWritten_data();
    void renameKeepsTriggersAsWritten();
    void copyTable_data();
    void copyTable();
    void copyKeepsEveryStorageClass();
    void copyWritesTheDriversStatement();
    void copyWithMissingSourceSucceeds();
    void copyStopsAtFirstFailedRow();
    void copyInsideCallersTransaction_data();
    void copyInsideCallersTransaction();
    void garbageFile();
    void syslogStep_data();
    void syslogStep();
    void qcStepRunsNothing();
};

void tst_UpdateBase::version_data()
{
    QTest::addColumn<QStringList>("statements");
    QTest::addColumn<int>("expected");

    const QString create = QStringLiteral("create table version(version integer)");
    QTest::newRow("no table") << QStringList() << 0;
    QTest::newRow("empty table") << QStringList {create} << 0;
    QTest::newRow("one row") << QStringList {create,
        QStringLiteral("insert into version values(2)")}
                             << 2;
    QTest::newRow("rows 1 and 3") << QStringList {create,
        QStringLiteral("insert into version values(1)"),
        QStringLiteral("insert into version values(3)")}
                                  << 3;
    QTest::newRow("rows 3 and 1") << QStringList {create,
        QStringLiteral("insert into version values(3)"),
        QStringLiteral("insert into version values(1)")}
                                  << 3;
    QTest::newRow("not a number") << QStringList {create,
        QStringLiteral("insert into version values('abc')")}
                                  << 0;
}

void tst_UpdateBase::version()
{
    QFETCH(QStringList, statements);
    QFETCH(int, expected);
    TestWorkDir dir;
    {
        Upgrader setup;
        exec(statements);
    }
    WarningLog log;
    Upgrader upgrader;
    QCOMPARE(upgrader.version(), expected);
    // Reading the version logs nothing, not even for a missing table.
    QVERIFY2(!log.lines().join('\n').contains(QLatin1String("version")),
        qPrintable(log.lines().join('\n')));
}

void tst_UpdateBase::missingFileIsCreatedEmpty()
{
    TestWorkDir dir;
    Upgrader upgrader(QStringLiteral("new.db"));
    QVERIFY(QFile::exists(dir.filePath(QStringLiteral("new.db"))));
    QCOMPARE(upgrader.version(), 0);
    QCOMPARE(column(QStringLiteral("select count(*) from sqlite_master")), QVariantList {0});
}

// A database in a folder that does not exist cannot be created: the upgrader
// says so, still reads version 0, and each statement gets its own error line.
void tst_UpdateBase::unopenableFileIsReportedAndStepGoesOn()
{
    TestWorkDir dir;
    WarningLog log;
    Upgrader upgrader(QStringLiteral("missing/test.db"));
    QCOMPARE(upgrader.version(), 0);
    const QStringList notes = log.lines().filter(QRegularExpression(QStringLiteral("^Can't open")));
    QCOMPARE(notes.size(), 1);
    QVERIFY2(notes.first().startsWith(QLatin1String("Can't open missing/test.db: ")),
        qPrintable(notes.first()));
    const qsizetype before = log.lines().size();
    QVERIFY(upgrader.EXECUTE(QStringLiteral("create table t(x)")));
    const QStringList errorLines = log.lines().mid(before).filter(
        QRegularExpression(QStringLiteral("^tst_updatebase\\.cpp \\( \\d+ \\):  .* : "
                                          "\\[ create table t\\(x\\) \\] $")));
    QCOMPARE(errorLines.size(), 1);
    QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("missing/test.db"))));
}

void tst_UpdateBase::eachUpgraderReplacesTheConnection()
{
    TestWorkDir dir;
    {
        Upgrader first(QStringLiteral("first.db"));
        first.EXECUTE(QStringLiteral("create table a(x)"));
    }
    // The connection stays open after its upgrader is gone.
    QVERIFY(QSqlDatabase::database(QSqlDatabase::defaultConnection, false).isOpen());
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("duplicate connection")));
    Upgrader second(QStringLiteral("second.db"));
    second.EXECUTE(QStringLiteral("create table b(x)"));
    QCOMPARE(QSqlDatabase::database().databaseName(), QStringLiteral("second.db"));
    QCOMPARE(column(QStringLiteral("select name from sqlite_master")), QVariantList {"b"});
}

void tst_UpdateBase::failedStatementLogsOneLineAndGoesOn()
{
    TestWorkDir dir;
    Upgrader upgrader;
    WarningLog log;
    const QString bad = QStringLiteral("create tabel t(x)");
    const int line = __LINE__ + 1;
    QVERIFY(upgrader.EXECUTE(bad));
    QVERIFY(upgrader.EXECUTE(QStringLiteral("create table t(x)")));
    QCOMPARE(log.lines().size(), 1);
    QCOMPARE(log.lines().first(),
        errorLine("tst_updatebase.cpp", line,
            QStringLiteral("near \"tabel\": syntax error Unable to execute statement"), bad));
    QCOMPARE(column(QStringLiteral("select name from sqlite_master")), QVariantList {"t"});
}

// The statements of data.db's third block as the workstation ran them. With
// triggers rewritten on rename (the connection's pragma switched back off
// here to show it), the last rename fails on the trigger that then names the
// dropped old_curve, and detail keeps its old form.
void tst_UpdateBase::renameKeepsTriggersAsWritten_data()
{
    QTest::addColumn<bool>("legacyRename");
    QTest::newRow("as every upgrader connects") << true;
    QTest::newRow("pragma switched off") << false;
}

void tst_UpdateBase::renameKeepsTriggersAsWritten()
{
    QFETCH(bool, legacyRename);
    TestWorkDir dir;
    Upgrader upgrader;
    exec({QStringLiteral("create table patient(id integer primary key)"),
        QStringLiteral("create table curve(id integer primary key, patientId integer, curve blob)"),
        QStringLiteral("create table detail(id integer primary key, patientId integer, info text)"),
        QStringLiteral("create trigger on_delete_patient after delete on patient\nbegin\n"
                       "\tdelete from curve where old.id = curve.patientId;\n"
                       "\tdelete from detail where old.id = detail.patientId;\nend")});
    if (!legacyRename)
        exec({QStringLiteral("PRAGMA legacy_alter_table=OFF")});
    WarningLog log;
    QVERIFY(upgrader.EXECUTE(QStringLiteral("begin transaction")));
    QVERIFY(upgrader.renameTable(QStringLiteral("curve"), QStringLiteral("old_curve")));
    QVERIFY(upgrader.EXECUTE(QStringLiteral("create table curve(id integer primary key, "
                                            "patientId integer, version integer, curve blob)")));
    QVERIFY(upgrader.EXECUTE(QStringLiteral("drop table old_curve")));
    QVERIFY(upgrader.renameTable(QStringLiteral("detail"), QStringLiteral("old_detail")));
    QVERIFY(upgrader.EXECUTE(QStringLiteral("create table detail(id integer primary key, "
                                            "patientId integer, version integer, info text)")));
    QVERIFY(upgrader.EXECUTE(QStringLiteral("drop table old_detail")));
    QVERIFY(upgrader.EXECUTE(QStringLiteral("end transaction")));
    if (legacyRename) {
        QCOMPARE(log.lines(), QStringList());
    } else {
        QVERIFY2(log.lines().join('\n').contains(QLatin1String(
                     "error in trigger on_delete_patient: no such table: main.old_curve")),
            qPrintable(log.lines().join('\n')));
    }
    QCOMPARE(column(QStringLiteral("select sql like '%version integer%' from sqlite_master "
                                   "where name = 'detail'")),
        QVariantList {legacyRename ? 1 : 0});
}

void tst_UpdateBase::copyTable_data()
{
    QTest::addColumn<QStringList>("dropColumns");
    QTest::addColumn<QSqlRecord>("extra");
    QTest::addColumn<QStringList>("expected"); // rows of target as "id|name|note|added"

    QTest::newRow("plain") << QStringList() << QSqlRecord()
                           << QStringList {"1|PT|it's|", "2|APTT||"};

    QTest::newRow("drop") << QStringList {"note", "absent"} << QSqlRecord()
                          << QStringList {"1|PT||", "2|APTT||"};

    QSqlRecord extra;
    QSqlField replaced(QStringLiteral("name"), QMetaType(QMetaType::QString));
    replaced.setValue(QStringLiteral("凝血"));
    QSqlField appended(QStringLiteral("added"), QMetaType(QMetaType::Int));
    appended.setValue(7);
    extra.append(replaced);
    extra.append(appended);
    QTest::newRow("extra") << QStringList() << extra << QStringList {"1|凝血|it's|7", "2|凝血||7"};
    QTest::newRow("drop then extra")
        << QStringList {"name"} << extra << QStringList {"1|凝血|it's|7", "2|凝血||7"};
}

void tst_UpdateBase::copyTable()
{
    QFETCH(QStringList, dropColumns);
    QFETCH(QSqlRecord, extra);
    QFETCH(QStringList, expected);
    TestWorkDir dir;
    Upgrader upgrader;
    exec({QStringLiteral("create table source(id integer primary key, name text, note text)"),
        QStringLiteral("insert into source values(1, 'PT', 'it''s')"),
        QStringLiteral("insert into source values(2, 'APTT', null)"),
        QStringLiteral("create table target(id integer primary key, name text, note text, "
                       "added integer)")});
    WarningLog log;
    QVERIFY(
        upgrader.copyTable(QStringLiteral("target"), QStringLiteral("source"), extra, dropColumns));
    QCOMPARE(log.lines(), QStringList());
    QStringList rows;
    for (const QVariant &row :
        column(QStringLiteral("select id || '|' || ifnull(name, '') || '|' || ifnull(note, '') "
                              "|| '|' || ifnull(added, '') from target order by id")))
        rows.append(row.toString());
    QCOMPARE(rows, expected);
}

// Values keep their storage class and their exact value whatever the
// declared type of their column says.
void tst_UpdateBase::copyKeepsEveryStorageClass()
{
    TestWorkDir dir;
    Upgrader upgrader;
    const QString columns = QStringLiteral("(n integer, r real, t text, b blob, u)");
    exec({QStringLiteral("create table source") + columns,
        QStringLiteral("create table target") + columns});
    const QByteArray blob("\x00\x01'\xff\x80 curve", 11);
    QSqlQuery insert;
    QVERIFY(insert.prepare(QStringLiteral("insert into source values(?, ?, ?, ?, ?)")));
    const QList<QVariantList> rows = {
        {qint64(9007199254740993), 0.1, QStringLiteral("O'Brien 张三"), blob, 42},
        {QStringLiteral("text in integer"), 1.0 / 3.0, QStringLiteral("12"), QByteArray(), 2.5},
        {QVariant(), -0.0, QString(), QStringLiteral("text in blob"), QStringLiteral("x")},
        {-1, 1e300, QStringLiteral("line\nbreak"), QByteArray(1, '\0'), blob},
    };
    for (const QVariantList &row : rows) {
        for (int i = 0; i < row.size(); ++i)
            insert.bindValue(i, row.at(i));
        QVERIFY2(insert.exec(), qPrintable(insert.lastError().text()));
    }
    QVERIFY(upgrader.copyTable(QStringLiteral("target"), QStringLiteral("source")));

    const QString dump = QStringLiteral(
        "select typeof(n), quote(n), typeof(r), quote(r), typeof(t), quote(t), typeof(b), "
        "quote(b), typeof(u), quote(u) from %1 order by rowid");
    auto rowsOf = [&](const QString &table) {
        QStringList result;
        QSqlQuery query;
        if (!query.exec(dump.arg(table)))
            return QStringList {query.lastError().text()};
        while (query.next()) {
            QStringList fields;
            for (int i = 0; i < 10; ++i)
                fields.append(query.value(i).toString());
            result.append(fields.join('|'));
        }
        return result;
    };
    QCOMPARE(rowsOf(QStringLiteral("target")), rowsOf(QStringLiteral("source")));
    QCOMPARE(rowsOf(QStringLiteral("target")).size(), rows.size());
}

// The failing insert is shown as the driver writes it, so that the log line
// reads like a statement one could run by hand.
void tst_UpdateBase::copyWritesTheDriversStatement()
{
    TestWorkDir dir;
    Upgrader upgrader;
    exec({QStringLiteral("create table source(id integer, name text, value real)"),
        QStringLiteral("insert into source values(1, 'it''s', null)"),
        QStringLiteral("create table target(id integer)")});
    QSqlRecord record;
    QSqlField id(QStringLiteral("id"), QMetaType(QMetaType::LongLong));
    id.setValue(1);
    QSqlField name(QStringLiteral("name"), QMetaType(QMetaType::QString));
    name.setValue(QStringLiteral("it's"));
    QSqlField value(QStringLiteral("value"), QMetaType(QMetaType::Double));
    record.append(id);
    record.append(name);
    record.append(value);
    const QString expected = QSqlDatabase::database().driver()->sqlStatement(
        QSqlDriver::InsertStatement, QStringLiteral("target"), record, false);
    QCOMPARE(expected,
        QStringLiteral("INSERT INTO \"target\" (\"id\", \"name\", \"value\") "
                       "VALUES (1, 'it''s', NULL)"));

    WarningLog log;
    QVERIFY(!upgrader.copyTable(QStringLiteral("target"), QStringLiteral("source")));
    QCOMPARE(log.lines().size(), 1);
    QVERIFY2(log.lines().first().startsWith(QLatin1String("updatebase.cpp ( ")),
        qPrintable(log.lines().first()));
    QVERIFY2(log.lines().first().endsWith(QLatin1String(":  table target has no column named "
                                                        "name Unable to execute statement : [ ")
                 + expected + QLatin1String(" ] ")),
        qPrintable(log.lines().first()));
}

void tst_UpdateBase::copyWithMissingSourceSucceeds()
{
    TestWorkDir dir;
    Upgrader upgrader;
    exec({QStringLiteral("create table target(id integer)")});
    WarningLog log;
    QVERIFY(upgrader.copyTable(QStringLiteral("target"), QStringLiteral("nosuch")));
    QCOMPARE(log.lines().size(), 1);
    QVERIFY2(log.lines().first().contains(QLatin1String("no such table: nosuch")),
        qPrintable(log.lines().first()));
    QVERIFY(log.lines().first().endsWith(QLatin1String(": [ select * from nosuch ] ")));
}

// Rows before the failing one stay in the target, also on disk for a
// connection that comes later.
void tst_UpdateBase::copyStopsAtFirstFailedRow()
{
    TestWorkDir dir;
    {
        Upgrader upgrader;
        exec({QStringLiteral("create table source(id integer, code text)"),
            QStringLiteral("insert into source values(1, 'a')"),
            QStringLiteral("insert into source values(2, 'b')"),
            QStringLiteral("insert into source values(3, 'a')"),
            QStringLiteral("insert into source values(4, 'c')"),
            QStringLiteral("create table target(id integer, code text unique)")});
        WarningLog log;
        QVERIFY(!upgrader.copyTable(QStringLiteral("target"), QStringLiteral("source")));
        QCOMPARE(log.lines().size(), 1);
        QVERIFY2(log.lines().first().contains(QLatin1String("UNIQUE constraint failed")),
            qPrintable(log.lines().first()));
        // The connection is left without an open transaction.
        QVERIFY(upgrader.EXECUTE(QStringLiteral("create table after(x)")));
    }
    QSqlDatabase::removeDatabase(QSqlDatabase::defaultConnection);
    QSqlDatabase other = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), "other");
    other.setDatabaseName(QStringLiteral("test.db"));
    QVERIFY(other.open());
    QSqlQuery query(other);
    QVERIFY(query.exec(QStringLiteral("select id from target order by id")));
    QVariantList ids;
    while (query.next())
        ids.append(query.value(0));
    QCOMPARE(ids, (QVariantList {1, 2}));
    QVERIFY(query.exec(QStringLiteral("select count(*) from after")));
    query.finish();
    other.close();
    other = QSqlDatabase();
    QSqlDatabase::removeDatabase(QStringLiteral("other"));
}

// A step may wrap statements and copies in its own transaction and decide
// about it as a whole.
void tst_UpdateBase::copyInsideCallersTransaction_data()
{
    QTest::addColumn<bool>("copyFails");
    QTest::addColumn<QString>("end");
    QTest::addColumn<QVariantList>("ids");

    QTest::newRow("commit") << false << "commit" << QVariantList {1, 2};
    QTest::newRow("rollback") << false << "rollback" << QVariantList {};
    QTest::newRow("failed copy, commit") << true << "commit" << QVariantList {1};
    QTest::newRow("failed copy, rollback") << true << "rollback" << QVariantList {};
}

void tst_UpdateBase::copyInsideCallersTransaction()
{
    QFETCH(bool, copyFails);
    QFETCH(QString, end);
    QFETCH(QVariantList, ids);
    TestWorkDir dir;
    Upgrader upgrader;
    exec({QStringLiteral("create table source(id integer, code text)"),
        QStringLiteral("insert into source values(1, 'a')"),
        QStringLiteral("insert into source values(2, 'a')"),
        copyFails ? QStringLiteral("create table target(id integer, code text unique)")
                  : QStringLiteral("create table target(id integer, code text)")});
    WarningLog log;
    exec({QStringLiteral("begin transaction")});
    QCOMPARE(upgrader.copyTable(QStringLiteral("target"), QStringLiteral("source")), !copyFails);
    exec({end});
    QCOMPARE(log.lines().size(), copyFails ? 1 : 0);
    QCOMPARE(column(QStringLiteral("select id from target order by id")), ids);
}

// A file that is not a database is neither read nor overwritten.
void tst_UpdateBase::garbageFile()
{
    TestWorkDir dir;
    QByteArray garbage;
    for (int i = 0; i < 4096; ++i)
        garbage.append(char((i * 7919) % 251));
    {
        QFile file(QStringLiteral("test.db"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(garbage);
    }
    WarningLog log;
    Upgrader upgrader;
    QCOMPARE(upgrader.version(), 0);
    QVERIFY(upgrader.EXECUTE(QStringLiteral("create table t(x)")));
    QVERIFY(upgrader.copyTable(QStringLiteral("t"), QStringLiteral("version")));
    QVERIFY(!log.lines().isEmpty());
    QVERIFY2(log.lines().join('\n').contains(QLatin1String("file is not a database")),
        qPrintable(log.lines().join('\n')));
    QFile file(QStringLiteral("test.db"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), garbage);
}

void tst_UpdateBase::syslogStep_data()
{
    QTest::addColumn<QStringList>("statements");
    QTest::addColumn<int>("errorLines");

    QTest::newRow("no version table") << QStringList() << 0;
    QTest::newRow("version 1") << QStringList {"create table version(version integer)",
        "insert into version values(1)"}
                               << 0;
    QTest::newRow("rows 0 and 1 and 5") << QStringList {"create table version(version integer)",
        "insert into version values(0)", "insert into version values(1)",
        "insert into version values(5)"} << 0;
    // A version table without its version column cannot take the new row.
    QTest::newRow("odd version table")
        << QStringList {"create table version(v integer, w integer)"} << 2;
}

void tst_UpdateBase::syslogStep()
{
    QFETCH(QStringList, statements);
    QFETCH(int, errorLines);
    TestWorkDir dir;
    {
        Upgrader setup(QStringLiteral("syslog.db"));
        exec(statements);
        exec({QStringLiteral("create table log(id integer primary key, text text)"),
            QStringLiteral("insert into log(text) values('系统启动')")});
    }
    WarningLog log;
    UpdateSyslog upgrader;
    QVERIFY(upgrader.update());
    const QStringList lines = log.lines().filter(QStringLiteral("updatesyslog.cpp"));
    QCOMPARE(lines.size(), errorLines);
    if (errorLines == 0)
        QCOMPARE(column(QStringLiteral("select version from version")), QVariantList {1});
    QCOMPARE(column(QStringLiteral("select text from log")), QVariantList {"系统启动"});
}

void tst_UpdateBase::qcStepRunsNothing()
{
    TestWorkDir dir;
    UpdateQc upgrader;
    QVERIFY(upgrader.update());
    QCOMPARE(column(QStringLiteral("select count(*) from sqlite_master")), QVariantList {0});
}

QTEST_GUILESS_MAIN(tst_UpdateBase)
#include "tst_updatebase.moc"
