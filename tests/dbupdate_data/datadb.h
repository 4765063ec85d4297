#ifndef DATADB_H
#define DATADB_H

#include <QtCore/qbytearray.h>
#include <QtCore/qmap.h>
#include <QtCore/qstringlist.h>
#include <QtCore/qvariant.h>
#include <QtSql/qsqldatabase.h>

// Row count and content hash of a query's rows: equal digests mean the same
// values of the same storage classes in the same order, blobs byte for byte and
// doubles bit for bit.
struct RowsDigest
{
    qint64 rows = 0;
    QByteArray hash;

    bool operator==(const RowsDigest &other) const
    {
        return rows == other.rows && hash == other.hash;
    }
    bool operator!=(const RowsDigest &other) const { return !(*this == other); }
};

char *toString(const RowsDigest &digest); // for QCOMPARE

// A connection of its own to a database file, for setting up and inspecting it
// beside the upgrader's default connection.
class DataDb
{
public:
    explicit DataDb(const QString &fileName);
    ~DataDb();
    DataDb(const DataDb &) = delete;
    DataDb &operator=(const DataDb &) = delete;

    bool isOpen() const;

    // Runs one statement; a failure is a QtTest failure at the caller.
    bool exec(const QString &sql) const;
    QVariant value(const QString &sql) const;
    QVariantList column(const QString &sql) const;
    RowsDigest digest(const QString &sql) const;

    QStringList tables() const;
    QStringList columns(const QString &table) const;
    // type + " " + name -> stored statement text, for every schema object.
    QMap<QString, QString> schema() const;
    // table -> digest of all its rows in rowid order.
    QMap<QString, RowsDigest> snapshot() const;
    int version() const;

private:
    QString m_name;
};

// Creates `fileName` from a legacy SQL fixture with the sqlite3 shell, as the
// workstation's databases were loaded.
bool loadFixture(const QString &fixture, const QString &fileName);

// A profile.db that the profile upgrade leaves alone and passes, so that a whole run
// reaches data.db.
bool createCurrentProfile(const QString &fileName);

#endif // DATADB_H
