#ifndef UPDATERUNNER_H
#define UPDATERUNNER_H

#include <QtCore/qobject.h>
#include <QtCore/qscopedpointer.h>

class UpdateRunnerPrivate;

// Runs the four upgrades in their order (profile.db, data.db, qc.db,
// syslog.db) and logs at the start what each database will go through and at
// the end the outcome. The first upgrade that fails ends the run.
class UpdateRunner : public QObject
{
    Q_OBJECT
public:
    explicit UpdateRunner(QObject *parent = nullptr);
    ~UpdateRunner() override;

    // The program's exit status: 0 when every upgrade succeeded, otherwise 1.
    int run();

private:
    Q_DISABLE_COPY(UpdateRunner)
    QScopedPointer<UpdateRunnerPrivate> d;
};

#endif // UPDATERUNNER_H
