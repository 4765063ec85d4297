#include "updateqc.h"

UpdateQc::UpdateQc(QObject *parent) : UpdateBase(QStringLiteral("qc.db"), parent) { }

// qc.db has no schema change: opening it (which creates a missing file) and
// reading its version is all there is to do.
bool UpdateQc::update()
{
    return true;
}
