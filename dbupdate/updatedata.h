#ifndef UPDATEDATA_H
#define UPDATEDATA_H

#include "updatebase.h"

// Brings data.db (patients, results, curves, details) to version 3.
class UpdateData : public UpdateBase
{
    Q_OBJECT
public:
    explicit UpdateData(QObject *parent = nullptr);

    bool update() override;

private:
    bool upgradeToVersion1();
    void upgradeToVersion2();
    bool upgradeToVersion3();

    bool executeChecked(const QString &sql, const char *file, int line);
    bool transactionActive();
    bool tableExists(const QString &name);
    bool abandonVersion3(const QString &reason, bool rollBack = true);
};

#endif // UPDATEDATA_H
