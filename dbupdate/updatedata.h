#ifndef UPDATEDATA_H
#define UPDATEDATA_H

#include "updatebase.h"

class UpdateData : public UpdateBase
{
    Q_OBJECT
public:
    explicit UpdateData(QObject *parent = nullptr);

    bool update() override;
};

#endif // UPDATEDATA_H
