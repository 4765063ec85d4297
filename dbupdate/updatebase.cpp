#include "updatebase.h"

#include <QtSql/qsqldatabase.h>
#include <QtSql/qsqldriver.h>
#include <QtSql/qsqlerror.h>
#include <QtSql/qsqlfield.h>
#include <QtSql/qsqlquery.h>

namespace {

QString identifier(const QSqlDriver *driver, const QString &name, QSqlDriver::IdentifierType type)
{
    return driver->isIdentifierEscaped(name, type) ? name : driver->escapeIdentifier(name, type);
}

// A value as a literal of its own storage class. The driver chooses a
// literal's form from the column's declared type, but an SQLite column holds
// values of any class: a text in an integer column would go in unquoted, a
// number in an untyped column would turn into text, and a blob would become a
// quoted hex text.
QString literal(const QSqlDriver *driver, const QSqlField &field)
{
    const QVariant value = field.value();
    if (!field.isNull() && value.typeId() == QMetaType::QByteArray)
        return QLatin1String("X'") + QString::fromLatin1(value.toByteArray().toHex())
            + QLatin1Char('\'');
    QSqlField typed(field);
    if (!field.isNull())
        typed.setMetaType(value.metaType());
    typed.setValue(value);
    return driver->formatValue(typed);
}

// The driver's insert statement for `record`, values written as literals.
QString insertStatement(const QSqlDriver *driver, const QString &table, const QSqlRecord &record)
{
    QStringList names;
    QStringList values;
    for (int i = 0; i < record.count(); ++i) {
        names.append(identifier(driver, record.fieldName(i), QSqlDriver::FieldName));
        values.append(literal(driver, record.field(i)));
    }
    return QLatin1String("INSERT INTO ") + identifier(driver, table, QSqlDriver::TableName)
        + QLatin1String(" (") + names.join(QLatin1String(", ")) + QLatin1String(") VALUES (")
        + values.join(QLatin1String(", ")) + QLatin1Char(')');
}

} // namespace

UpdateBase::UpdateBase(const QString &fileName, QObject *parent) : QObject(parent)
{
    // Replaces the connection of the upgrader that ran before.
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"));
    db.setDatabaseName(fileName);
    if (!db.open()) {
        qWarning(
            "Can't open %s: %s", qUtf8Printable(fileName), qUtf8Printable(db.lastError().text()));
    } else {
        // The steps were written for an SQLite whose "alter table ... rename
        // to" left triggers and views alone; a current one rewrites them and
        // then fails on a later rename once a renamed table is dropped.
        EXECUTE(QStringLiteral("PRAGMA legacy_alter_table=ON"));
    }

    m_version = readVersion(db);
}

UpdateBase::~UpdateBase() = default;

int UpdateBase::version() const
{
    return m_version;
}

bool UpdateBase::execute(const QString &sql, const char *file, int line)
{
    QSqlQuery query;
    if (!query.exec(sql))
        reportQueryError(query, file, line);
    return true;
}

bool UpdateBase::renameTable(const QString &from, const QString &to)
{
    return EXECUTE(QStringLiteral("alter table %1 rename to %2").arg(from, to));
}

bool UpdateBase::copyTable(const QString &target, const QString &source, const QSqlRecord &extra,
    const QStringList &dropColumns)
{
    QSqlQuery select;
    select.setNumericalPrecisionPolicy(QSql::LowPrecisionDouble);
    if (!select.exec(QLatin1String("select * from ") + source)) {
        reportQueryError(select, UPDATE_SOURCE_FILE, __LINE__);
        return true;
    }

    // One savepoint around all rows spares a disk sync per row. Savepoints
    // nest, so this also works inside a transaction of the caller, and it is
    // released, never rolled back: rows copied before a failing row stay.
    QSqlQuery savepoint;
    const bool batched = savepoint.exec(QStringLiteral("savepoint copy_table"));
    const auto release = [&] {
        select.finish();
        if (batched)
            EXECUTE(QStringLiteral("release copy_table"));
    };

    const QSqlDriver *driver = QSqlDatabase::database().driver();
    while (select.next()) {
        QSqlRecord record = select.record();
        for (const QString &name : dropColumns) {
            const int index = record.indexOf(name);
            if (index >= 0)
                record.remove(index);
        }
        for (int i = 0; i < extra.count(); ++i) {
            const QSqlField field = extra.field(i);
            const int index = record.indexOf(field.name());
            if (index >= 0)
                record.setValue(index, field.value());
            else
                record.append(field);
        }

        QSqlQuery insert;
        if (!insert.exec(insertStatement(driver, target, record))) {
            reportQueryError(insert, UPDATE_SOURCE_FILE, __LINE__);
            release();
            return false;
        }
    }
    release();
    return true;
}

int UpdateBase::readVersion(const QSqlDatabase &db)
{
    QSqlQuery query(db);
    if (!query.exec(QStringLiteral("select version from version order by version desc"))
        || !query.next())
        return 0;
    bool ok = false;
    const int value = query.value(0).toInt(&ok);
    return ok ? value : 0;
}

void UpdateBase::reportQueryError(const QSqlQuery &query, const char *file, int line)
{
    // Eight items, each followed by one space.
    const QStringList items = {
        QString::fromUtf8(file),
        QStringLiteral("("),
        QString::number(line),
        QStringLiteral("): "),
        query.lastError().text(),
        QStringLiteral(": ["),
        query.lastQuery(),
        QStringLiteral("]"),
    };
    QString message;
    for (const QString &item : items)
        message += item + QLatin1Char(' ');
    qWarning("%s", message.toUtf8().constData());
}
