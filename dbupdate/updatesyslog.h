#ifndef UPDATESYSLOG_H
#define UPDATESYSLOG_H

#include "updatebase.h"

class UpdateSyslog : public UpdateBase
{
    Q_OBJECT
public:
    explicit UpdateSyslog(QObject *parent = nullptr);

    bool update() override;
};

#endif // UPDATESYSLOG_H
