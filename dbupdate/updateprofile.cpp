#include "updateprofile.h"

UpdateProfile::UpdateProfile(QObject *parent) : UpdateBase(QStringLiteral("profile.db"), parent) {}

bool UpdateProfile::update()
{
    return true;
}
