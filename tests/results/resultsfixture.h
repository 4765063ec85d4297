#ifndef RESULTSFIXTURE_H
#define RESULTSFIXTURE_H

#include <QtCore/qstringlist.h>
#include <QtSql/qsqldatabase.h>
#include <QtSql/qsqlerror.h>
#include <QtSql/qsqlquery.h>
#include <QtTest/qtest.h>

// Creates the four database files of a working directory before the
// settings store opens them: profile.db with its settings table (and the
// given statements), data.db with the curve table, qc.db and syslog.db
// with a version table, so that the store starts without warnings.
inline void createDatabases(const QStringList &profileStatements = {})
{
    const QString curveTable = QStringLiteral(
        "create table curve(id integer primary key, patientId integer references patient, "
        "item text, version integer, curve blob)");
    const QList<QPair<QString, QStringList>> files = {
        {QStringLiteral("profile.db"),
            QStringList {QStringLiteral("create table profile(name text primary key, value)")}
                + profileStatements},
        {QStringLiteral("data.db"), {curveTable}},
        {QStringLiteral("qc.db"), {QStringLiteral("create table version(version integer)")}},
        {QStringLiteral("syslog.db"), {QStringLiteral("create table version(version integer)")}},
    };
    const QString connection = QStringLiteral("fixture");
    for (const auto &file : files) {
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
            db.setDatabaseName(file.first);
            QVERIFY2(db.open(), qPrintable(db.lastError().text()));
            QSqlQuery query(db);
            for (const QString &statement : file.second)
                QVERIFY2(query.exec(statement), qPrintable(query.lastError().text()));
        }
        QSqlDatabase::removeDatabase(connection);
    }
}

#endif // RESULTSFIXTURE_H
