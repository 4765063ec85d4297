#include "updatesyslog.h"

UpdateSyslog::UpdateSyslog(QObject *parent) : UpdateBase(QStringLiteral("syslog.db"), parent) { }

bool UpdateSyslog::update()
{
    if (m_version < 1)
        EXECUTE(QStringLiteral("create table version(version integer)"));
    EXECUTE(QStringLiteral("delete from version"));
    EXECUTE(QStringLiteral("insert into version values(1)"));
    return true;
}
