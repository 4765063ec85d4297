#ifndef TESTDATABASE_H
#define TESTDATABASE_H

#include <QtCore/qdir.h>
#include <QtCore/qvariant.h>
#include <QtSql/qsqldatabase.h>
#include <QtSql/qsqlerror.h>
#include <QtSql/qsqlquery.h>
#include <QtTest/qtest.h>

#include <utility>

// Opens a database file of the working directory on a connection of its own,
// so that the test sees the file as another process would.
class TestDatabase
{
public:
    explicit TestDatabase(const QString &fileName) : m_name(QStringLiteral("test:") + fileName)
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name);
        db.setDatabaseName(fileName);
        if (!db.open())
            qWarning("cannot open %s: %s", qPrintable(fileName), qPrintable(db.lastError().text()));
    }
    ~TestDatabase() { QSqlDatabase::removeDatabase(m_name); }

    bool exec(const QString &statement, const QVariantList &values = {}) const
    {
        QSqlQuery query(QSqlDatabase::database(m_name));
        query.prepare(statement);
        for (const QVariant &value : values)
            query.addBindValue(value);
        if (query.exec())
            return true;
        qWarning("%s: %s", qPrintable(statement), qPrintable(query.lastError().text()));
        return false;
    }

    // The stored value of a settings row and its SQLite type ("text",
    // "integer", "real", "null"); an empty type when there is no row.
    std::pair<QVariant, QString> row(const QString &name) const
    {
        QSqlQuery query(QSqlDatabase::database(m_name));
        query.prepare(QStringLiteral("select value, typeof(value) from profile where name = ?"));
        query.addBindValue(name);
        if (!query.exec() || !query.next())
            return {};
        return {query.value(0), query.value(1).toString()};
    }

    bool hasRow(const QString &name) const { return !row(name).second.isEmpty(); }

    QVariantList column(const QString &statement) const
    {
        QVariantList result;
        QSqlQuery query(QSqlDatabase::database(m_name));
        if (query.exec(statement)) {
            while (query.next())
                result << query.value(0);
        }
        return result;
    }

private:
    QString m_name;
};

// A settings database with the profile table as an installation creates it.
inline void createProfileDatabase(
    const QString &fileName, const QList<std::pair<QString, QVariant>> &rows = {})
{
    TestDatabase db(fileName);
    QVERIFY(db.exec(QStringLiteral("create table profile (name text unique, value)")));
    for (const auto &[name, value] : rows)
        QVERIFY(db.exec(QStringLiteral("insert into profile values(?,?)"), {name, value}));
}

// data.db, qc.db and syslog.db with a table each, so that a store starts
// without warnings.
inline void createOtherDatabases()
{
    for (const QString &name :
        {QStringLiteral("data.db"), QStringLiteral("qc.db"), QStringLiteral("syslog.db")}) {
        TestDatabase db(name);
        QVERIFY(db.exec(QStringLiteral("create table version(version integer)")));
    }
}

#endif // TESTDATABASE_H
