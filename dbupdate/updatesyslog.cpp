#include "updatesyslog.h"

UpdateSyslog::UpdateSyslog(QObject *parent) : UpdateBase(QStringLiteral("syslog.db"), parent) {}

bool UpdateSyslog::update()
{
    return true;
}
