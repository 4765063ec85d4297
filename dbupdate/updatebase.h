#ifndef UPDATEBASE_H
#define UPDATEBASE_H

#include <QtCore/qobject.h>
#include <QtCore/qstringlist.h>
#include <QtSql/qsqlrecord.h>

QT_BEGIN_NAMESPACE
class QSqlDatabase;
class QSqlQuery;
QT_END_NAMESPACE

// The source file's own name, never the build machine's path.
#define UPDATE_SOURCE_FILE __FILE_NAME__

// Runs one statement and logs it with the caller's location when it fails.
#define EXECUTE(sql) execute((sql), UPDATE_SOURCE_FILE, __LINE__)

// Base of the four upgraders. The constructor registers the database under the
// default connection name (replacing the previous upgrader's connection), opens
// it and reads its version; every statement of a step then runs on that
// connection. A failed statement is logged and never ends a step by itself.
class UpdateBase : public QObject
{
    Q_OBJECT
public:
    explicit UpdateBase(const QString &fileName, QObject *parent = nullptr);
    ~UpdateBase() override;

    int version() const;

    bool execute(const QString &sql, const char *file, int line);
    bool renameTable(const QString &from, const QString &to);
    bool copyTable(const QString &target, const QString &source,
        const QSqlRecord &extra = QSqlRecord(), const QStringList &dropColumns = QStringList());

    static void reportQueryError(const QSqlQuery &query, const char *file, int line);
    // The version `db` records: the largest value of its version table, 0 when
    // the table is missing, empty or holds no number. Logs nothing.
    static int readVersion(const QSqlDatabase &db);

    virtual bool update() = 0;

protected:
    int m_version = 0;
};

#endif // UPDATEBASE_H
