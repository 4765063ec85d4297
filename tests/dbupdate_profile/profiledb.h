#ifndef PROFILEDB_H
#define PROFILEDB_H

#include <QtCore/qatomic.h>
#include <QtCore/qfile.h>
#include <QtCore/qprocess.h>
#include <QtCore/qregularexpression.h>
#include <QtCore/qstringlist.h>
#include <QtSql/qsqldatabase.h>
#include <QtSql/qsqlerror.h>
#include <QtSql/qsqlquery.h>
#include <QtSql/qsqlrecord.h>
#include <QtTest/qtest.h>

// Helpers shared by the profile.db upgrade tests: legacy files made by the
// sqlite3 shell, and a look into a database on a connection of its own.

// Creates `dbPath` from a legacy SQL file, then runs `extraSql` in the same
// shell: the file is made the way a workstation's file was, without the
// program's own statements.
inline bool loadLegacyFile(
    const QString &sqlFile, const QString &dbPath, const QString &extraSql = QString())
{
    QFile fixture(QStringLiteral(LEGACY_FIXTURES_DIR "/") + sqlFile);
    if (!fixture.open(QIODevice::ReadOnly)) {
        qWarning("cannot read %s", qPrintable(fixture.fileName()));
        return false;
    }
    QProcess shell;
    shell.start(QStringLiteral(SQLITE3_EXECUTABLE), {QStringLiteral("-bail"), dbPath});
    if (!shell.waitForStarted())
        return false;
    shell.write(fixture.readAll());
    shell.write("\n");
    shell.write(extraSql.toUtf8());
    shell.write("\n");
    shell.closeWriteChannel();
    if (!shell.waitForFinished() || shell.exitStatus() != QProcess::NormalExit
        || shell.exitCode() != 0) {
        qWarning("sqlite3 failed: %s", shell.readAllStandardError().constData());
        return false;
    }
    return true;
}

// profile.db as it was at `version`.
inline bool loadFixture(int version, const QString &extraSql = QString(),
    const QString &dbPath = QStringLiteral("profile.db"))
{
    return loadLegacyFile(QStringLiteral("profile_v%1.sql").arg(version), dbPath, extraSql);
}

// A separate connection on a database file, removed again with the object.
class ProfileDb
{
public:
    explicit ProfileDb(const QString &path = QStringLiteral("profile.db"))
        : m_name(QStringLiteral("inspect-%1").arg(counter().fetchAndAddRelaxed(1)))
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name);
        db.setDatabaseName(path);
        if (!db.open())
            qWarning("cannot open %s: %s", qPrintable(path), qPrintable(db.lastError().text()));
    }
    ~ProfileDb()
    {
        QSqlDatabase::database(m_name, false).close();
        QSqlDatabase::removeDatabase(m_name);
    }
    ProfileDb(const ProfileDb &) = delete;
    ProfileDb &operator=(const ProfileDb &) = delete;

    // Every row of `sql`, each as a list of its column values.
    QList<QVariantList> rows(const QString &sql) const
    {
        QSqlQuery query(QSqlDatabase::database(m_name));
        QList<QVariantList> result;
        if (!query.exec(sql)) {
            qWarning("%s: %s", qPrintable(sql), qPrintable(query.lastError().text()));
            return result;
        }
        while (query.next()) {
            QVariantList row;
            for (int i = 0; i < query.record().count(); ++i)
                row.append(query.value(i));
            result.append(row);
        }
        return result;
    }

    // The first column of the first row, invalid when there is none.
    QVariant value(const QString &sql) const
    {
        const QList<QVariantList> all = rows(sql);
        return all.isEmpty() ? QVariant() : all.first().value(0);
    }

    QStringList column(const QString &sql) const
    {
        QStringList values;
        for (const QVariantList &row : rows(sql))
            values.append(row.value(0).toString());
        return values;
    }

    bool exec(const QString &sql)
    {
        QSqlQuery query(QSqlDatabase::database(m_name));
        if (query.exec(sql))
            return true;
        qWarning("%s: %s", qPrintable(sql), qPrintable(query.lastError().text()));
        return false;
    }

    // A profile value with SQLite's storage class and text, e.g. "integer:27".
    QString setting(const QString &key) const
    {
        const QVariant found = value(
            QStringLiteral("select typeof(value) || ':' || value from profile where name='%1'")
                .arg(key));
        return found.isValid() ? found.toString() : QStringLiteral("absent");
    }

    QStringList columns(const QString &table) const
    {
        return column(QStringLiteral("select name from pragma_table_info('%1')").arg(table));
    }

    // The schema text SQLite keeps for an object, empty when there is none.
    QString schema(const QString &name) const
    {
        return value(QStringLiteral("select sql from sqlite_master where name='%1'").arg(name))
            .toString();
    }

    // Schema and every row with its storage classes, to compare two states.
    QStringList dump() const
    {
        QStringList lines = column(QStringLiteral(
            "select type || ' ' || name || ' ' || ifnull(sql, '') from sqlite_master "
            "order by type, name"));
        const QStringList tables = column(
            QStringLiteral("select name from sqlite_master where type='table' order by name"));
        for (const QString &table : tables) {
            QStringList names = columns(table);
            for (QString &name : names)
                name = QStringLiteral("quote(\"%1\")").arg(name);
            lines += column(QStringLiteral("select '%1: ' || %2 from \"%1\" order by rowid")
                                .arg(table, names.join(QLatin1String(" || ', ' || "))));
        }
        return lines;
    }

private:
    static QAtomicInt &counter()
    {
        static QAtomicInt next;
        return next;
    }
    QString m_name;
};

// One error line of the program: "<file> ( <line> ):  <error> : [ <statement> ] ".
struct ErrorLine
{
    QString file;
    QString error;
    QString statement;
};

inline QList<ErrorLine> parseErrorLines(const QString &text)
{
    static const QRegularExpression pattern(
        QStringLiteral("(\\S+\\.cpp) \\( \\d+ \\):  (.*?) : \\[ (.*?) \\] (?:\\n|$)"),
        QRegularExpression::DotMatchesEverythingOption);
    QList<ErrorLine> lines;
    auto it = pattern.globalMatch(text);
    while (it.hasNext()) {
        const QRegularExpressionMatch match = it.next();
        lines.append({match.captured(1), match.captured(2), match.captured(3)});
    }
    return lines;
}

// "statement => error" for each line, the form the tests compare.
inline QStringList describe(const QList<ErrorLine> &lines)
{
    QStringList described;
    for (const ErrorLine &line : lines)
        described.append(line.statement + QLatin1String(" => ") + line.error);
    return described;
}

#endif // PROFILEDB_H
