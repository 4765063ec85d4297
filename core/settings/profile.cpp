#include "profile.h"
#include "profile_p.h"

#include "labglobal.h"

#include <QtCore/qcoreapplication.h>
#include <QtCore/qthread.h>
#include <QtSql/qsqlerror.h>
#include <QtSql/qsqlquery.h>

namespace {

const QString profileConnection = QStringLiteral("profile.db");

QSqlDatabase openConnection(const QString &connectionName, const QString &fileName)
{
    // A later store replaces the connections of an earlier one.
    if (QSqlDatabase::contains(connectionName))
        QSqlDatabase::removeDatabase(connectionName);
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connectionName);
    db.setDatabaseName(fileName);
    db.open();
    return db;
}

// SQLite keeps texts, integers and reals as bound; the other types get the
// form the rest of the system reads back: colours as #rrggbb (an invalid
// colour as empty text, which reads back as an invalid colour), booleans as
// 1 or 0.
QVariant storedForm(const QVariant &value)
{
    switch (value.metaType().id()) {
    case QMetaType::QColor: {
        const QColor color = value.value<QColor>();
        return color.isValid() ? color.name(QColor::HexRgb) : QStringLiteral("");
    }
    case QMetaType::Bool:
        return int(value.toBool());
    default:
        return value;
    }
}

// Runs one statement on the settings connection. A lost settings write must
// not go unnoticed: the store keeps the new value in memory while the table
// keeps the old one.
void runStatement(const QString &statement, const QVariantList &values, int line)
{
    QSqlQuery query(QSqlDatabase::database(profileConnection));
    bool ok = query.prepare(statement);
    if (ok) {
        for (const QVariant &value : values)
            query.addBindValue(value);
        ok = query.exec();
    }
    if (!ok)
        qWarning("core/settings/profile(%d): %s", line, qUtf8Printable(query.lastError().text()));
}

// The member keeps the value already converted to the setting's type, so
// that later reads take the conversion's fast path. Converting again gives
// the same result, so what the getter returns does not change.
template<typename T> QVariant cachedAs(const QVariant &value)
{
    return QVariant::fromValue(value.value<T>());
}

// Runs a memory change and its announcement so that the rows are written in
// the order in which the memory table changed. Off the owning thread the
// announcement only queues the write, and it is queued under the same mutex
// as the change. On the owning thread the write is made at once: writes
// queued before this change are made first, and the announcement runs
// outside the mutex because its receivers may call back or wait.
template<typename Change, typename Announce>
void inWriteOrder(const QObject *store, ProfilePrivate *d, Change change, Announce announce)
{
    QMutexLocker order(&d->queueOrder);
    change();
    if (QThread::currentThread() == store->thread()) {
        QCoreApplication::sendPostedEvents(const_cast<QObject *>(store), QEvent::MetaCall);
        order.unlock();
    }
    announce();
}

} // namespace

Profile &Profile::instance()
{
    static Profile profile;
    return profile;
}

Profile::Profile(QObject *parent) : QObject(parent)
{
    init(QStringLiteral("profile.db"));
}

Profile::Profile(const QString &fileName, QObject *parent) : QObject(parent)
{
    init(fileName);
}

Profile::~Profile()
{
    writeQueuedChanges();
    delete d;
}

// Changes made on other threads wait in the event queue for their rows;
// they are written before the store or the event loop goes away, so that
// nothing the memory table already shows is lost.
void Profile::writeQueuedChanges()
{
    if (QThread::currentThread() == thread())
        QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
}

void Profile::init(const QString &fileName)
{
    d = new ProfilePrivate;
    d->fileName = fileName;

    QSqlDatabase db = openConnection(profileConnection, fileName);
    if (!db.isOpen())
        ::warning(tr("无法加载配置文件 %1\n%2").arg(fileName, db.lastError().text()));
    if (db.tables().isEmpty())
        ::warning(tr("错误的配置文件 %1").arg(fileName));

    if (db.isOpen()) {
        QSqlQuery query(db);
        query.setForwardOnly(true);
        if (query.exec(QStringLiteral("select name, value from profile"))) {
            while (query.next()) {
                // A NULL value is no value: reads give the caller's default.
                const QVariant value = query.value(1);
                d->cache.insert(query.value(0).toString(), value.isNull() ? QVariant() : value);
            }
        }
    }

    for (const QString &name :
        {QStringLiteral("data.db"), QStringLiteral("qc.db"), QStringLiteral("syslog.db")}) {
        QSqlDatabase other = openConnection(name, name);
        if (!other.isOpen())
            ::warning(tr("无法打开数据库文件 %1").arg(name));
        if (other.tables().isEmpty())
            ::warning(tr("错误的数据库文件 %1").arg(name));
    }

    connect(this, &Profile::valueChanged, this, &Profile::saveValue);
    connect(this, &Profile::keyRemoved, this, &Profile::removeKey);
    if (const QCoreApplication *app = QCoreApplication::instance())
        connect(app, &QCoreApplication::aboutToQuit, this, &Profile::writeQueuedChanges);
}

QSqlDatabase Profile::database() const
{
    return QSqlDatabase::database(profileConnection);
}

QSqlDatabase Profile::dataDatabase() const
{
    return QSqlDatabase::database(QStringLiteral("data.db"));
}

QSqlDatabase Profile::qcDatabase() const
{
    return QSqlDatabase::database(QStringLiteral("qc.db"));
}

QSqlDatabase Profile::syslogDatabase() const
{
    return QSqlDatabase::database(QStringLiteral("syslog.db"));
}

QVariant Profile::value(const QString &key, const QVariant &defaultValue)
{
    {
        QReadLocker locker(&d->lock);
        const auto it = d->cache.constFind(key);
        if (it != d->cache.constEnd())
            return it->isValid() ? *it : defaultValue;
    }

    QWriteLocker locker(&d->lock);
    // Another thread may have stored a value since the read lock was given
    // up; the placeholder must not replace it.
    const auto it = d->cache.constFind(key);
    if (it == d->cache.constEnd()) {
        d->cache.insert(key, QVariant());
        return defaultValue;
    }
    return it->isValid() ? *it : defaultValue;
}

QVariant Profile::value2(
    const QString &key, const QString &fallbackKey, const QVariant &defaultValue)
{
    const QVariant v = value(key);
    return v.isValid() ? v : value(fallbackKey, defaultValue);
}

void Profile::storeInCache(const QString &key, const QVariant &value)
{
    QWriteLocker locker(&d->lock);
    d->cache.insert(key, value);
}

void Profile::setValue(const QString &key, const QVariant &value, bool save)
{
    if (!save) {
        storeInCache(key, value);
        return;
    }
    inWriteOrder(
        this, d, [&] { storeInCache(key, value); }, [&] { emit valueChanged(key, value); });
}

void Profile::remove(const QString &key)
{
    inWriteOrder(
        this, d,
        [&] {
            QWriteLocker locker(&d->lock);
            d->cache.remove(key);
        },
        [&] { emit keyRemoved(key); });
}

QStringList Profile::keys() const
{
    QReadLocker locker(&d->lock);
    return d->cache.keys();
}

void Profile::saveValue(const QString &key, const QVariant &value)
{
    if (value.isValid()) {
        runStatement(QStringLiteral("insert or replace into profile (name, value) values(?,?)"),
            {QVariant(key), storedForm(value)}, __LINE__);
    } else {
        runStatement(
            QStringLiteral("delete from profile where name = ?"), {QVariant(key)}, __LINE__);
    }
}

void Profile::removeKey(const QString &key)
{
    runStatement(QStringLiteral("delete from profile where name = ?"), {QVariant(key)}, __LINE__);
}

#define LABCORE_PROFILE_DEFINE_ACCESSORS(Type, name)                                               \
    Type Profile::name(const Type &defaultValue)                                                   \
    {                                                                                              \
        if (!m_##name.isValid())                                                                   \
            m_##name                                                                               \
                = cachedAs<Type>(value(QStringLiteral(#name), QVariant::fromValue(defaultValue))); \
        return m_##name.value<Type>();                                                             \
    }                                                                                              \
    void Profile::set_##name(const Type &value, bool save)                                         \
    {                                                                                              \
        m_##name = QVariant::fromValue(value);                                                     \
        setValue(QStringLiteral(#name), m_##name, save);                                           \
    }
LABCORE_PROFILE_NAMED_SETTINGS(LABCORE_PROFILE_DEFINE_ACCESSORS)
#undef LABCORE_PROFILE_DEFINE_ACCESSORS
