#ifndef DBUPDATETEST_H
#define DBUPDATETEST_H

// Helpers for tests that run the dbupdate program against real files.

#include <QtCore/qdir.h>
#include <QtCore/qfile.h>
#include <QtCore/qfileinfo.h>
#include <QtCore/qprocess.h>
#include <QtSql/qsqldatabase.h>
#include <QtSql/qsqlerror.h>
#include <QtSql/qsqlquery.h>
#include <QtSql/qsqlrecord.h>
#include <QtTest/qtest.h>

namespace DbUpdateTest {

struct Run
{
    int exitCode = -1;
    QProcess::ExitStatus exitStatus = QProcess::CrashExit;
    QString out;
    QString err;
};

inline Run run(const QString &program, const QStringList &arguments,
    const QString &workDir = QDir::currentPath(),
    const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment())
{
    Run result;
    QProcess process;
    process.setWorkingDirectory(workDir);
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    if (!process.waitForStarted(10000)) {
        result.err = process.errorString();
        return result;
    }
    if (!process.waitForFinished(300000)) {
        // A program that hangs must not pass for one that exited with 0.
        process.kill();
        process.waitForFinished();
        result.err = QStringLiteral("did not finish: ") + process.errorString();
        return result;
    }
    result.exitCode = process.exitCode();
    result.exitStatus = process.exitStatus();
    result.out = QString::fromUtf8(process.readAllStandardOutput());
    result.err = QString::fromUtf8(process.readAllStandardError());
    return result;
}

// Loads an SQL text file into a database file the way the workstation's
// databases were set up: through the sqlite3 shell.
inline bool loadSql(const QString &sqlFile, const QString &dbFile, QString *error = nullptr)
{
    QProcess shell;
    shell.setStandardInputFile(sqlFile);
    shell.start(QStringLiteral("sqlite3"), {QStringLiteral("-bail"), dbFile});
    if (!shell.waitForFinished(60000) || shell.exitStatus() != QProcess::NormalExit
        || shell.exitCode() != 0) {
        if (error)
            *error = shell.errorString() + QLatin1Char(' ')
                + QString::fromUtf8(shell.readAllStandardError());
        return false;
    }
    return true;
}

// Runs `fn` with a connection of its own to `dbFile`, removed afterwards.
template<typename Fn> auto withDatabase(const QString &dbFile, Fn fn)
{
    static int counter = 0;
    const QString name = QStringLiteral("dbupdatetest-%1").arg(++counter);
    auto result = [&] {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(dbFile);
        db.open();
        return fn(db);
    }();
    QSqlDatabase::removeDatabase(name);
    return result;
}

inline QString valueText(const QVariant &value)
{
    if (value.isNull())
        return QStringLiteral("NULL");
    switch (value.typeId()) {
    case QMetaType::QByteArray:
        return QLatin1String("X'") + QString::fromLatin1(value.toByteArray().toHex())
            + QLatin1Char('\'');
    case QMetaType::QString:
        return QLatin1Char('\'') + value.toString() + QLatin1Char('\'');
    default:
        return value.toString();
    }
}

// The schema and every row of every table, in a stable order: two files
// with equal dumps hold the same data.
inline QStringList dump(const QString &dbFile)
{
    if (!QFileInfo::exists(dbFile))
        return {QStringLiteral("<missing>")};
    return withDatabase(dbFile, [](QSqlDatabase db) {
        QStringList lines;
        QSqlQuery schema(db);
        if (!schema.exec(QStringLiteral("select type, name, tbl_name, sql from sqlite_master "
                                        "order by type, name")))
            return QStringList {QStringLiteral("<error> ") + schema.lastError().text()};
        QStringList tables;
        while (schema.next()) {
            lines.append(QStringLiteral("%1 %2 on %3: %4")
                             .arg(schema.value(0).toString(), schema.value(1).toString(),
                                 schema.value(2).toString(), schema.value(3).toString()));
            if (schema.value(0).toString() == QLatin1String("table")
                && !schema.value(1).toString().startsWith(QLatin1String("sqlite_")))
                tables.append(schema.value(1).toString());
        }
        for (const QString &table : tables) {
            QSqlQuery rows(db);
            rows.setNumericalPrecisionPolicy(QSql::LowPrecisionDouble);
            if (!rows.exec(QStringLiteral("select * from \"%1\" order by rowid").arg(table))) {
                lines.append(table + QLatin1String(": <error> ") + rows.lastError().text());
                continue;
            }
            while (rows.next()) {
                QStringList values;
                for (int i = 0; i < rows.record().count(); ++i)
                    values.append(valueText(rows.value(i)));
                lines.append(table + QLatin1String(": ") + values.join(QLatin1String(", ")));
            }
        }
        return lines;
    });
}

// The version a database records, -1 for a missing file.
inline int version(const QString &dbFile)
{
    if (!QFileInfo::exists(dbFile))
        return -1;
    return withDatabase(dbFile, [](QSqlDatabase db) {
        QSqlQuery query(db);
        if (query.exec(QStringLiteral("select version from version order by version desc"))
            && query.next())
            return query.value(0).toInt();
        return 0;
    });
}

inline QString integrityCheck(const QString &dbFile)
{
    return withDatabase(dbFile, [](QSqlDatabase db) {
        QSqlQuery query(db);
        if (!query.exec(QStringLiteral("PRAGMA integrity_check")))
            return query.lastError().text();
        QStringList lines;
        while (query.next())
            lines.append(query.value(0).toString());
        return lines.join(QLatin1Char('\n'));
    });
}

inline QStringList readLines(const QString &file)
{
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QStringList lines = QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

inline QByteArray readFile(const QString &file)
{
    QFile f(file);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

inline bool writeFile(const QString &file, const QByteArray &content)
{
    QFile f(file);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(content) == content.size();
}

// Makes a file or folder read-only for its lifetime. Permission bits do not
// stop the superuser, so it is also made immutable where that is allowed;
// effective() tells whether writing is really refused.
class ReadOnly
{
public:
    explicit ReadOnly(const QString &path) : m_path(path)
    {
        m_permissions = QFile::permissions(path);
        QFile::setPermissions(path,
            m_permissions
                & ~(QFile::WriteOwner | QFile::WriteUser | QFile::WriteGroup | QFile::WriteOther));
        if (!writable())
            return;
        m_immutable
            = QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("+i"), path}) == 0;
    }
    ~ReadOnly()
    {
        if (m_immutable)
            QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("-i"), m_path});
        QFile::setPermissions(m_path, m_permissions);
    }
    bool effective() const { return !writable(); }

private:
    bool writable() const
    {
        if (QFileInfo(m_path).isDir()) {
            QFile probe(QDir(m_path).filePath(QStringLiteral(".probe")));
            const bool ok = probe.open(QIODevice::WriteOnly);
            if (ok)
                probe.remove();
            return ok;
        }
        QFile probe(m_path);
        return probe.open(QIODevice::Append);
    }

    QString m_path;
    QFile::Permissions m_permissions;
    bool m_immutable = false;
};

} // namespace DbUpdateTest

#endif // DBUPDATETEST_H
