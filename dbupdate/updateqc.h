#ifndef UPDATEQC_H
#define UPDATEQC_H

#include "updatebase.h"

class UpdateQc : public UpdateBase
{
    Q_OBJECT
public:
    explicit UpdateQc(QObject *parent = nullptr);

    bool update() override;
};

#endif // UPDATEQC_H
