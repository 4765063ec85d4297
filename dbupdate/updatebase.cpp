#include "updatebase.h"

#include "testpoint.h"

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

// The insert statements of one table copy, written the way the driver writes
// them. Each row runs on one prepared statement; the statement with the row's
// values written as literals is only built to show a failing row in its error
// line. The driver would choose a literal's form from the column's declared
// type, but an SQLite column holds values of any class (a text in an integer
// column would go in unquoted, a number in an untyped column would turn into
// text and a blob into a quoted hex text), so each value is written as a
// literal of its own storage class, as binding it does.
class InsertStatements
{
public:
    InsertStatements(const QSqlDriver *driver, const QString &table, const QSqlRecord &source,
        const QSqlRecord &extra, const QStringList &dropColumns);
    QString prepared() const;
    void bind(QSqlQuery &insert, const QSqlQuery &row) const;
    QString statement(const QSqlQuery &row) const;

private:
    struct Column
    {
        QString name;
        int sourceIndex; // -1: the value comes from the extra record
        QVariant value;
    };
    QVariant value(const Column &column, const QSqlQuery &row) const
    {
        return column.sourceIndex >= 0 ? row.value(column.sourceIndex) : column.value;
    }
    QString literal(const QVariant &value) const;

    const QSqlDriver *m_driver;
    QList<Column> m_columns;
    QString m_prefix;
};

InsertStatements::InsertStatements(const QSqlDriver *driver, const QString &table,
    const QSqlRecord &source, const QSqlRecord &extra, const QStringList &dropColumns)
    : m_driver(driver)
{
    for (int i = 0; i < source.count(); ++i)
        m_columns.append({source.fieldName(i), i, QVariant()});
    // Field names compare without regard to case, as in a record.
    const auto indexOf = [this](const QString &name) {
        for (int i = 0; i < m_columns.size(); ++i) {
            if (m_columns.at(i).name.compare(name, Qt::CaseInsensitive) == 0)
                return i;
        }
        return -1;
    };
    for (const QString &name : dropColumns) {
        const int index = indexOf(name);
        if (index >= 0)
            m_columns.removeAt(index);
    }
    for (int i = 0; i < extra.count(); ++i) {
        const int index = indexOf(extra.fieldName(i));
        if (index >= 0)
            m_columns[index] = {m_columns.at(index).name, -1, extra.value(i)};
        else
            m_columns.append({extra.fieldName(i), -1, extra.value(i)});
    }

    QStringList names;
    for (const Column &column : std::as_const(m_columns))
        names.append(identifier(driver, column.name, QSqlDriver::FieldName));
    m_prefix = QLatin1String("INSERT INTO ") + identifier(driver, table, QSqlDriver::TableName)
        + QLatin1String(" (") + names.join(QLatin1String(", ")) + QLatin1String(") VALUES (");
}

QString InsertStatements::prepared() const
{
    QStringList placeholders;
    for (int i = 0; i < m_columns.size(); ++i)
        placeholders.append(QStringLiteral("?"));
    return m_prefix + placeholders.join(QLatin1String(", ")) + QLatin1Char(')');
}

void InsertStatements::bind(QSqlQuery &insert, const QSqlQuery &row) const
{
    for (int i = 0; i < m_columns.size(); ++i)
        insert.bindValue(i, value(m_columns.at(i), row));
}

QString InsertStatements::statement(const QSqlQuery &row) const
{
    QStringList values;
    for (const Column &column : m_columns)
        values.append(literal(value(column, row)));
    return m_prefix + values.join(QLatin1String(", ")) + QLatin1Char(')');
}

QString InsertStatements::literal(const QVariant &value) const
{
    if (value.isNull())
        return QStringLiteral("NULL");
    switch (value.typeId()) {
    case QMetaType::QByteArray:
        return QLatin1String("X'") + QString::fromLatin1(value.toByteArray().toHex())
            + QLatin1Char('\'');
    case QMetaType::QString: {
        QString text = value.toString();
        text.replace(QLatin1Char('\''), QLatin1String("''"));
        return QLatin1Char('\'') + text + QLatin1Char('\'');
    }
    case QMetaType::LongLong:
    case QMetaType::Int:
    case QMetaType::Double:
        return value.toString();
    default: {
        // Values of an extra record may be of any type the driver knows.
        QSqlField field(QString(), value.metaType());
        field.setValue(value);
        return m_driver->formatValue(field);
    }
    }
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
    testPoint("statement");
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
    select.setForwardOnly(true);
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

    const InsertStatements statements(
        QSqlDatabase::database().driver(), target, select.record(), extra, dropColumns);
    QSqlQuery insert;
    const bool prepared = insert.prepare(statements.prepared());
    while (select.next()) {
        if (prepared) {
            statements.bind(insert, select);
            if (insert.exec()) {
                testPoint("copied row");
                continue;
            }
        }
        // The failing row again, as the statement its error line shows.
        QSqlQuery literal;
        if (literal.exec(statements.statement(select)))
            continue;
        reportQueryError(literal, UPDATE_SOURCE_FILE, __LINE__);
        insert.finish();
        release();
        return false;
    }
    insert.finish();
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
