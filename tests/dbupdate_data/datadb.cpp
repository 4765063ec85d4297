#include "datadb.h"
#include "dbupdatetest.h"

#include <QtCore/qatomic.h>
#include <QtCore/qcryptographichash.h>
#include <QtCore/qdebug.h>
#include <QtSql/qsqlerror.h>
#include <QtSql/qsqlquery.h>
#include <QtSql/qsqlrecord.h>
#include <QtTest/qtest.h>

#include <cstring>

namespace {

QAtomicInt connectionCount;

void addValue(QCryptographicHash &hash, const QVariant &value)
{
    // Storage class first, so that 1, 1.0, '1' and X'31' differ.
    if (value.isNull()) {
        hash.addData("N");
        return;
    }
    QByteArray bytes;
    switch (value.typeId()) {
    case QMetaType::LongLong:
    case QMetaType::Int:
        hash.addData("I");
        bytes = QByteArray::number(value.toLongLong());
        break;
    case QMetaType::Double: {
        hash.addData("R");
        const double d = value.toDouble();
        bytes.resize(sizeof d);
        std::memcpy(bytes.data(), &d, sizeof d);
        break;
    }
    case QMetaType::QByteArray:
        hash.addData("B");
        bytes = value.toByteArray();
        break;
    default:
        hash.addData("T");
        bytes = value.toString().toUtf8();
        break;
    }
    hash.addData(QByteArray::number(bytes.size()) + ':');
    hash.addData(bytes);
}

} // namespace

char *toString(const RowsDigest &digest)
{
    return QTest::toString(QStringLiteral("%1 rows, %2")
                               .arg(digest.rows)
                               .arg(QString::fromLatin1(digest.hash.toHex().left(12))));
}

DataDb::DataDb(const QString &fileName)
    : m_name(QStringLiteral("inspect-%1").arg(connectionCount.fetchAndAddRelaxed(1)))
{
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name);
    db.setDatabaseName(fileName);
    if (!db.open())
        qWarning() << "cannot open" << fileName << db.lastError().text();
}

DataDb::~DataDb()
{
    QSqlDatabase::database(m_name, false).close();
    QSqlDatabase::removeDatabase(m_name);
}

bool DataDb::isOpen() const
{
    return QSqlDatabase::database(m_name, false).isOpen();
}

bool DataDb::exec(const QString &sql) const
{
    QSqlQuery query(QSqlDatabase::database(m_name, false));
    if (query.exec(sql))
        return true;
    qWarning().noquote() << "statement failed:" << sql << "-" << query.lastError().text();
    return false;
}

QVariant DataDb::value(const QString &sql) const
{
    const QVariantList values = column(sql);
    return values.isEmpty() ? QVariant() : values.first();
}

QVariantList DataDb::column(const QString &sql) const
{
    QSqlQuery query(QSqlDatabase::database(m_name, false));
    query.setNumericalPrecisionPolicy(QSql::LowPrecisionDouble);
    QVariantList values;
    if (!query.exec(sql)) {
        qWarning().noquote() << "query failed:" << sql << "-" << query.lastError().text();
        return values;
    }
    while (query.next())
        values.append(query.value(0));
    return values;
}

RowsDigest DataDb::digest(const QString &sql) const
{
    QSqlQuery query(QSqlDatabase::database(m_name, false));
    query.setForwardOnly(true);
    query.setNumericalPrecisionPolicy(QSql::LowPrecisionDouble);
    RowsDigest result;
    if (!query.exec(sql)) {
        qWarning().noquote() << "query failed:" << sql << "-" << query.lastError().text();
        return result;
    }
    QCryptographicHash hash(QCryptographicHash::Sha256);
    while (query.next()) {
        ++result.rows;
        const int count = query.record().count();
        hash.addData("(");
        for (int i = 0; i < count; ++i)
            addValue(hash, query.value(i));
        hash.addData(")");
    }
    result.hash = hash.result();
    return result;
}

QStringList DataDb::tables() const
{
    QStringList names;
    for (const QVariant &name :
        column(QStringLiteral("select name from sqlite_master where type = 'table' order by name")))
        names.append(name.toString());
    return names;
}

QStringList DataDb::columns(const QString &table) const
{
    QStringList names;
    for (const QVariant &name :
        column(QStringLiteral("select name from pragma_table_info('%1')").arg(table)))
        names.append(name.toString());
    return names;
}

QMap<QString, QString> DataDb::schema() const
{
    QSqlQuery query(QSqlDatabase::database(m_name, false));
    QMap<QString, QString> objects;
    query.exec(QStringLiteral("select type || ' ' || name, sql from sqlite_master"));
    while (query.next())
        objects.insert(query.value(0).toString(), query.value(1).toString());
    return objects;
}

QMap<QString, RowsDigest> DataDb::snapshot() const
{
    QMap<QString, RowsDigest> digests;
    for (const QString &table : tables())
        digests.insert(
            table, digest(QStringLiteral("select * from \"%1\" order by rowid").arg(table)));
    return digests;
}

int DataDb::version() const
{
    if (!tables().contains(QStringLiteral("version")))
        return 0;
    return value(QStringLiteral("select version from version order by version desc")).toInt();
}

bool loadFixture(const QString &fixture, const QString &fileName)
{
    QString error;
    if (DbUpdateTest::loadSql(QStringLiteral(LEGACY_FIXTURES "/") + fixture, fileName, &error))
        return true;
    qWarning() << "loading" << fixture << "failed:" << error;
    return false;
}

bool createCurrentProfile(const QString &fileName)
{
    const DataDb db(fileName);
    const char *const statements[] = {
        "create table version(version integer)",
        "insert into version values(4)",
        "create table profile(name text unique, value)",
        "create table assayItem(id integer primary key, name text, precision integer)",
        "create table assayCalibration(id integer primary key, name text, "
        "assayTemplateId integer)",
        "create table curve(id integer primary key, name text)",
        "create table currentCurve(name text unique on conflict replace, curveId integer)",
        "create table variable(id integer primary key, assayTemplateId integer, name text, "
        "value)",
        "create table curveVariable(id integer primary key, curveId integer, name text, value)",
    };
    for (const char *sql : statements) {
        if (!db.exec(QLatin1String(sql)))
            return false;
    }
    return true;
}
