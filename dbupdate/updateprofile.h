#ifndef UPDATEPROFILE_H
#define UPDATEPROFILE_H

#include "updatebase.h"

class UpdateProfile : public UpdateBase
{
    Q_OBJECT
public:
    explicit UpdateProfile(QObject *parent = nullptr);

    bool update() override;
};

#endif // UPDATEPROFILE_H
