#include "updaterunner.h"

#include "updatedata.h"
#include "updateprofile.h"
#include "updateqc.h"
#include "updatesyslog.h"

#include <QtCore/qdir.h>
#include <QtCore/qfileinfo.h>
#include <QtSql/qsqldatabase.h>
#include <QtSql/qsqlerror.h>
#include <QtSql/qsqlquery.h>

#include <memory>

namespace {

struct Upgrade
{
    const char *fileName;
    int targetVersion; // 0: the step writes no version
    std::unique_ptr<UpdateBase> (*create)();
};

template<typename Upgrader> std::unique_ptr<UpdateBase> create()
{
    return std::make_unique<Upgrader>();
}

const Upgrade upgrades[] = {
    {"profile.db", 4, create<UpdateProfile>},
    {"data.db", 3, create<UpdateData>},
    {"qc.db", 0, create<UpdateQc>},
    {"syslog.db", 1, create<UpdateSyslog>},
};

// What a database file holds before the run, read without creating it.
struct Survey
{
    bool exists = false;
    bool readable = false;
    QString error;
    int version = 0;
};

Survey survey(const QString &fileName)
{
    Survey result;
    const QFileInfo info(fileName);
    result.exists = info.exists();
    if (!result.exists)
        return result;
    const QString connection = QStringLiteral("dbupdate-survey");
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
        db.setDatabaseName(fileName);
        QSqlQuery query(db);
        if (!db.open()) {
            result.error = db.lastError().text();
        } else if (!query.exec(QStringLiteral("select count(*) from sqlite_master"))) {
            result.error = query.lastError().text();
        } else {
            result.readable = true;
            result.version = UpdateBase::readVersion(db);
        }
    }
    QSqlDatabase::removeDatabase(connection);
    return result;
}

} // namespace

class UpdateRunnerPrivate
{
public:
    void logPlan(const Upgrade &upgrade, const Survey &before) const;
};

void UpdateRunnerPrivate::logPlan(const Upgrade &upgrade, const Survey &before) const
{
    const QString name = QString::fromLatin1(upgrade.fileName);
    QString line;
    if (!before.exists) {
        line = upgrade.targetVersion > 0
            ? UpdateRunner::tr("%1: missing, will be created at version %2")
                  .arg(name)
                  .arg(upgrade.targetVersion)
            : UpdateRunner::tr("%1: missing, will be created empty").arg(name);
    } else if (!before.readable) {
        line = UpdateRunner::tr("%1: cannot be read as a database: %2").arg(name, before.error);
    } else if (upgrade.targetVersion == 0) {
        line = UpdateRunner::tr("%1: version %2, nothing to upgrade").arg(name).arg(before.version);
    } else if (before.version < upgrade.targetVersion) {
        line = UpdateRunner::tr("%1: version %2, will be upgraded to version %3")
                   .arg(name)
                   .arg(before.version)
                   .arg(upgrade.targetVersion);
    } else {
        line = UpdateRunner::tr("%1: version %2, up to date").arg(name).arg(before.version);
    }
    qDebug("%s", qUtf8Printable(line));
}

UpdateRunner::UpdateRunner(QObject *parent) : QObject(parent), d(new UpdateRunnerPrivate) { }

UpdateRunner::~UpdateRunner() = default;

int UpdateRunner::run()
{
    qDebug("%s", qUtf8Printable(tr("dbupdate started in %1").arg(QDir::currentPath())));
    for (const Upgrade &upgrade : upgrades)
        d->logPlan(upgrade, survey(QString::fromLatin1(upgrade.fileName)));

    for (std::size_t i = 0; i < std::size(upgrades); ++i) {
        const std::unique_ptr<UpdateBase> upgrader = upgrades[i].create();
        if (!upgrader->update()) {
            QStringList skipped;
            for (std::size_t j = i + 1; j < std::size(upgrades); ++j)
                skipped.append(QString::fromLatin1(upgrades[j].fileName));
            const QString name = QString::fromLatin1(upgrades[i].fileName);
            qWarning("%s",
                qUtf8Printable(skipped.isEmpty()
                        ? tr("dbupdate stopped: the upgrade of %1 failed").arg(name)
                        : tr("dbupdate stopped: the upgrade of %1 failed; "
                             "not upgraded: %2")
                              .arg(name, skipped.join(QLatin1String(", ")))));
            return 1;
        }
    }
    qDebug("%s", qUtf8Printable(tr("dbupdate finished: every database is up to date")));
    return 0;
}
