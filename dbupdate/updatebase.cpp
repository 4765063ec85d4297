#include "updatebase.h"

#include <QtSql/qsqlquery.h>

UpdateBase::UpdateBase(const QString &fileName, QObject *parent) : QObject(parent)
{
    Q_UNUSED(fileName);
}

UpdateBase::~UpdateBase() = default;

int UpdateBase::version() const
{
    return m_version;
}

bool UpdateBase::execute(const QString &sql, const char *file, int line)
{
    Q_UNUSED(sql);
    Q_UNUSED(file);
    Q_UNUSED(line);
    return true;
}

bool UpdateBase::renameTable(const QString &from, const QString &to)
{
    Q_UNUSED(from);
    Q_UNUSED(to);
    return true;
}

bool UpdateBase::copyTable(const QString &target, const QString &source, const QSqlRecord &extra,
                           const QStringList &dropColumns)
{
    Q_UNUSED(target);
    Q_UNUSED(source);
    Q_UNUSED(extra);
    Q_UNUSED(dropColumns);
    return true;
}

void UpdateBase::reportQueryError(QSqlQuery query, const char *file, int line)
{
    Q_UNUSED(query);
    Q_UNUSED(file);
    Q_UNUSED(line);
}
