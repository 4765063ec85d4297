#include "updatedata.h"

UpdateData::UpdateData(QObject *parent) : UpdateBase(QStringLiteral("data.db"), parent) {}

bool UpdateData::update()
{
    return true;
}
