#ifndef UPDATEPROFILE_H
#define UPDATEPROFILE_H

#include "updatebase.h"

// Brings profile.db to version 4: the schema first, then default settings,
// reagent rows, calibration fixes and the values of assay variables.
class UpdateProfile : public UpdateBase
{
    Q_OBJECT
public:
    explicit UpdateProfile(QObject *parent = nullptr);

    bool update() override;

    bool migrateVariables();

private:
    bool rebuildUsers();
    void addCurveInstrument();
    void addCalibrationMethod();
    void addCurrentCurves();

    void writeDefaults();
    void writeReagents();
    void writeProfileNumbers();
    void writeLabels();
    void writeSchedule();
    void fixCalibrations();
};

#endif // UPDATEPROFILE_H
