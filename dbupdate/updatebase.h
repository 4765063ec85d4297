#ifndef UPDATEBASE_H
#define UPDATEBASE_H

#include <QtCore/qobject.h>
#include <QtCore/qstringlist.h>
#include <QtSql/qsqlrecord.h>

QT_BEGIN_NAMESPACE
class QSqlQuery;
QT_END_NAMESPACE

// The source file's own name, never the build machine's path.
#define UPDATE_SOURCE_FILE __FILE_NAME__

// Runs one statement and logs it with the caller's location when it fails.
#define EXECUTE(sql) execute((sql), UPDATE_SOURCE_FILE, __LINE__)

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
                   const QSqlRecord &extra = QSqlRecord(),
                   const QStringList &dropColumns = QStringList());

    static void reportQueryError(QSqlQuery query, const char *file, int line);

    virtual bool update() = 0;

protected:
    int m_version = 0;
};

#endif // UPDATEBASE_H
