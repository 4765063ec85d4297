#include "updaterunner.h"

#include "testpoint.h"
#include "updatedata.h"
#include "updateprofile.h"
#include "updateqc.h"
#include "updatesyslog.h"

#include <QtCore/qdatetime.h>
#include <QtCore/qdir.h>
#include <QtCore/qelapsedtimer.h>
#include <QtCore/qfileinfo.h>
#include <QtCore/qlockfile.h>
#include <QtCore/qthread.h>
#include <QtSql/qsqldatabase.h>
#include <QtSql/qsqlerror.h>
#include <QtSql/qsqlquery.h>

#include <memory>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

namespace {

struct Upgrade
{
    const char *fileName;
    int targetVersion; // 0: the step writes no version and changes nothing
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

const char lockFileName[] = "dbupdate.lock";
const char backupFolder[] = "backup";
// How long a second program waits for the first one to finish.
constexpr int lockWaitMs = 3000;

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
    result.exists = QFileInfo::exists(fileName);
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

// Makes a written file (or a folder's entries) last through a power cut.
void syncToDisk(const QString &path)
{
#ifdef Q_OS_UNIX
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
#else
    Q_UNUSED(path);
#endif
}

QString sqlText(const QString &text)
{
    QString quoted = text;
    quoted.replace(QLatin1Char('\''), QLatin1String("''"));
    return QLatin1Char('\'') + quoted + QLatin1Char('\'');
}

} // namespace

class UpdateRunnerPrivate
{
public:
    bool lock();
    bool removeAbandonedLockFile() const;
    void removeUnfinishedBackups() const;
    bool backUp(const Upgrade &upgrade, int version, QString *error);
    void logPlan(const Upgrade &upgrade, const Survey &before) const;
    void logStop(std::size_t firstSkipped, const QString &reason) const;
    void logOutcome(const QList<int> &before, const QList<int> &after) const;

    QLockFile lockFile {QString::fromLatin1(lockFileName)};
};

bool UpdateRunnerPrivate::lock()
{
    // Only a lock whose process has ended is stale: an upgrade of a large
    // data.db may well run for minutes.
    lockFile.setStaleLockTime(0);
    QElapsedTimer waited;
    waited.start();
    forever
    {
        if (lockFile.tryLock(0))
            return true;
        if (lockFile.error() != QLockFile::LockFailedError || waited.elapsed() >= lockWaitMs)
            break;
        if (!removeAbandonedLockFile())
            QThread::msleep(50);
    }
    const QString path = QDir::current().absoluteFilePath(lockFile.fileName());
    QString reason;
    qint64 pid = 0;
    QString host;
    QString application;
    if (lockFile.error() == QLockFile::LockFailedError
        && lockFile.getLockInfo(&pid, &host, &application)) {
        reason = UpdateRunner::tr("another dbupdate (process %1 on %2) is working in this folder")
                     .arg(pid)
                     .arg(host);
    } else if (lockFile.error() == QLockFile::LockFailedError) {
        reason = UpdateRunner::tr("another dbupdate is working in this folder");
    } else {
        reason = UpdateRunner::tr("the lock file cannot be created");
    }
    qWarning("%s",
        qUtf8Printable(UpdateRunner::tr("dbupdate did not start: %1 (lock file %2); "
                                        "no database was opened")
                           .arg(reason, path)));
    return false;
}

// A run killed between creating the lock file and writing its process id
// into it leaves a file that names nobody, which QLockFile would never take
// for stale. Such a file is abandoned when no process holds a lock on it (the
// owner takes one right after creating it) and it is not brand new; then it
// is removed so that the next attempt can lock.
bool UpdateRunnerPrivate::removeAbandonedLockFile() const
{
    qint64 pid = 0;
    QString host;
    QString application;
    if (lockFile.getLockInfo(&pid, &host, &application))
        return false;
    const QFileInfo info(lockFile.fileName());
    if (!info.exists() || info.lastModified().msecsTo(QDateTime::currentDateTime()) < 1000)
        return false;
#ifdef Q_OS_UNIX
    const QByteArray path = QFile::encodeName(info.filePath());
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool abandoned = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
    const bool removed = abandoned && ::unlink(path.constData()) == 0;
    ::close(fd);
    return removed;
#else
    return false;
#endif
}

// Copies left behind by a run that was killed while writing them.
void UpdateRunnerPrivate::removeUnfinishedBackups() const
{
    QDir dir(QString::fromLatin1(backupFolder));
    for (const QString &name : dir.entryList({QStringLiteral("*.partial")}, QDir::Files))
        dir.remove(name);
}

// A consistent copy of the database of the current connection, named after
// the database, its version and the time: written under a temporary name,
// synced, then renamed, so that a backup file is always complete.
bool UpdateRunnerPrivate::backUp(const Upgrade &upgrade, int version, QString *error)
{
    QDir dir(QString::fromLatin1(backupFolder));
    if (!QDir::current().mkpath(dir.path())) {
        *error = UpdateRunner::tr("the folder %1 cannot be created").arg(dir.absolutePath());
        return false;
    }
    const QString base = QFileInfo(QString::fromLatin1(upgrade.fileName)).completeBaseName()
        + QStringLiteral("-v%1-").arg(version)
        + QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString name = base + QLatin1String(".db");
    for (int n = 2; dir.exists(name) || dir.exists(name + QLatin1String(".partial")); ++n)
        name = base + QStringLiteral("-%1.db").arg(n);
    const QString target = dir.absoluteFilePath(name);
    const QString partial = target + QLatin1String(".partial");

    QSqlQuery query;
    if (!query.exec(QLatin1String("vacuum into ") + sqlText(partial))) {
        *error = query.lastError().text();
        QFile::remove(partial);
        return false;
    }
    testPoint("backup written");
    syncToDisk(partial);
    if (!QFile::rename(partial, target)) {
        *error = UpdateRunner::tr("%1 cannot be renamed to %2").arg(partial, target);
        QFile::remove(partial);
        return false;
    }
    syncToDisk(dir.absolutePath());
    testPoint("backup in place");
    qDebug("%s",
        qUtf8Printable(UpdateRunner::tr("%1: version %2 backed up to %3")
                           .arg(QString::fromLatin1(upgrade.fileName))
                           .arg(version)
                           .arg(QDir::current().relativeFilePath(target))));
    return true;
}

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

void UpdateRunnerPrivate::logStop(std::size_t firstSkipped, const QString &reason) const
{
    QStringList skipped;
    for (std::size_t i = firstSkipped; i < std::size(upgrades); ++i)
        skipped.append(QString::fromLatin1(upgrades[i].fileName));
    QString line = UpdateRunner::tr("dbupdate stopped: %1").arg(reason);
    if (!skipped.isEmpty())
        line += UpdateRunner::tr("; not upgraded: %1").arg(skipped.join(QLatin1String(", ")));
    qWarning("%s", qUtf8Printable(line));
}

void UpdateRunnerPrivate::logOutcome(const QList<int> &before, const QList<int> &after) const
{
    QStringList versions;
    QStringList behind;
    for (std::size_t i = 0; i < std::size(upgrades); ++i) {
        const QString name = QString::fromLatin1(upgrades[i].fileName);
        versions.append(before.at(i) == after.at(i)
                ? UpdateRunner::tr("%1 version %2").arg(name).arg(after.at(i))
                : UpdateRunner::tr("%1 version %2 -> %3")
                      .arg(name)
                      .arg(before.at(i))
                      .arg(after.at(i)));
        if (after.at(i) < upgrades[i].targetVersion)
            behind.append(UpdateRunner::tr("%1 is at version %2 instead of %3")
                              .arg(name)
                              .arg(after.at(i))
                              .arg(upgrades[i].targetVersion));
    }
    if (!behind.isEmpty()) {
        qWarning("%s",
            qUtf8Printable(UpdateRunner::tr("dbupdate finished, but %1; see the "
                                            "statements that failed above")
                               .arg(behind.join(QLatin1String(", ")))));
    } else {
        qDebug("%s",
            qUtf8Printable(
                UpdateRunner::tr("dbupdate finished: %1").arg(versions.join(QLatin1String(", ")))));
    }
}

UpdateRunner::UpdateRunner(QObject *parent) : QObject(parent), d(new UpdateRunnerPrivate) { }

UpdateRunner::~UpdateRunner() = default;

int UpdateRunner::run()
{
    if (!d->lock())
        return 1;
    testPoint("locked");
    qDebug("%s", qUtf8Printable(tr("dbupdate started in %1").arg(QDir::currentPath())));
    d->removeUnfinishedBackups();

    QList<bool> existed;
    for (const Upgrade &upgrade : upgrades) {
        const Survey before = survey(QString::fromLatin1(upgrade.fileName));
        existed.append(before.exists);
        d->logPlan(upgrade, before);
    }

    QList<int> before;
    QList<int> after;
    for (std::size_t i = 0; i < std::size(upgrades); ++i) {
        const Upgrade &upgrade = upgrades[i];
        const QString name = QString::fromLatin1(upgrade.fileName);
        const std::unique_ptr<UpdateBase> upgrader = upgrade.create();
        before.append(upgrader->version());
        QString error;
        if (existed.at(i) && upgrader->version() < upgrade.targetVersion
            && !d->backUp(upgrade, upgrader->version(), &error)) {
            d->logStop(i, tr("%1 cannot be backed up (%2)").arg(name, error));
            return 1;
        }
        if (!upgrader->update()) {
            d->logStop(i + 1, tr("the upgrade of %1 failed").arg(name));
            return 1;
        }
        after.append(UpdateBase::readVersion(QSqlDatabase::database()));
    }
    d->logOutcome(before, after);
    return 0;
}
