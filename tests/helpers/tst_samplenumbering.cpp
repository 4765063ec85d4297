#include "analysisresult.h"
#include "labglobal.h"
#include "profile.h"

#include "messageboxcatcher.h"
#include "testworkdir.h"

#include <QtCore/qdatetime.h>
#include <QtSql/qsqldatabase.h>
#include <QtSql/qsqlerror.h>
#include <QtSql/qsqlquery.h>
#include <QtTest/qtest.h>

#include <memory>

namespace {

using SampleRows = QList<QPair<QVariant, QString>>; // sampleNo, date

bool run(QSqlDatabase db, const QString &statement)
{
    QSqlQuery query(db);
    if (query.exec(statement))
        return true;
    qWarning("%s: %s", qPrintable(statement), qPrintable(query.lastError().text()));
    return false;
}

// Each database of the working directory gets a table before the settings
// store opens it, so that the store starts without warning boxes.
void createDatabase(const QString &fileName, const QStringList &statements)
{
    const QString connection = QStringLiteral("setup-") + fileName;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
        db.setDatabaseName(fileName);
        QVERIFY2(db.open(), qPrintable(db.lastError().text()));
        for (const QString &statement : statements)
            QVERIFY(run(db, statement));
    }
    QSqlDatabase::removeDatabase(connection);
}

const QString createPatient
    = QStringLiteral("create table patient(id integer primary key, sampleNo text, date text)");

QStringList capturedWarnings;

void captureWarnings(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtWarningMsg)
        capturedWarnings.append(message);
}

} // namespace

class tst_SampleNumbering : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void samplePrefixOfOtherKindsLeavesStoreAlone();
    void samplePrefix();

    void nextSampleNo_data();
    void nextSampleNo();
    void nextSampleNoWithoutPatientTable();

private:
    std::unique_ptr<TestWorkDir> m_dir;
    std::unique_ptr<MessageBoxCatcher> m_boxes;
};

void tst_SampleNumbering::initTestCase()
{
    m_dir = std::make_unique<TestWorkDir>();
    m_boxes = std::make_unique<MessageBoxCatcher>();

    createDatabase(QStringLiteral("profile.db"),
        {QStringLiteral("create table profile(name text unique, value)"),
            QString::fromUtf8("insert into profile values('statim_sample_prefix', '急')")});
    createDatabase(QStringLiteral("data.db"), {createPatient});
    createDatabase(QStringLiteral("qc.db"), {QStringLiteral("create table qc(id integer)")});
    createDatabase(QStringLiteral("syslog.db"), {QStringLiteral("create table log(id integer)")});
}

void tst_SampleNumbering::cleanupTestCase()
{
    // The fixture's databases all have tables: the store had nothing to say.
    QCOMPARE(m_boxes->boxes.size(), 0);
}

void tst_SampleNumbering::samplePrefixOfOtherKindsLeavesStoreAlone()
{
    QCOMPARE(::samplePrefix(lab::NormalSample), QString());
    QCOMPARE(::samplePrefix(lab::SampleType(7)), QString());
    QCOMPARE(::samplePrefix(lab::SampleType(-1)), QString());
    // The store registers its connections when it is created.
    QVERIFY(!QSqlDatabase::contains(QStringLiteral("profile.db")));
}

void tst_SampleNumbering::samplePrefix()
{
    // A stored prefix wins over the default; a missing one gives the default.
    QCOMPARE(::samplePrefix(lab::StatimSample), QString::fromUtf8("急"));
    QCOMPARE(::samplePrefix(lab::QcSample), QStringLiteral("QC"));

    Profile::instance().set_qc_sample_prefix(QStringLiteral("Q-"), false);
    QCOMPARE(::samplePrefix(lab::QcSample), QStringLiteral("Q-"));
    Profile::instance().set_qc_sample_prefix(QStringLiteral("QC"), false);
}

void tst_SampleNumbering::nextSampleNo_data()
{
    QTest::addColumn<SampleRows>("rows");
    QTest::addColumn<int>("expected");

    const QString day = QStringLiteral("2026-03-01");
    const QString otherDay = QStringLiteral("2026-02-28");

    QTest::newRow("no rows") << SampleRows() << 1;
    QTest::newRow("numeric maximum") << SampleRows {{"1", day}, {"2", day}, {"10", day}} << 11;
    QTest::newRow("prefixed only") << SampleRows {{"S1", day}, {"QC2", day}} << 1;
    QTest::newRow("prefixed beside numbers")
        << SampleRows {{"S40", day}, {"3", day}, {"QC50", day}} << 4;
    QTest::newRow("leading integer") << SampleRows {{"12A", day}, {"9", day}} << 13;
    QTest::newRow("stored as integer") << SampleRows {{7, day}, {"5", day}} << 8;
    QTest::newRow("null sample number") << SampleRows {{QVariant(), day}, {"2", day}} << 3;
    QTest::newRow("other days ignored")
        << SampleRows {{"50", otherDay}, {"4", day}, {"60", QStringLiteral("2026-03-02")}} << 5;
    QTest::newRow("only other days") << SampleRows {{"50", otherDay}} << 1;
}

void tst_SampleNumbering::nextSampleNo()
{
    QFETCH(SampleRows, rows);
    QFETCH(int, expected);

    QSqlDatabase db = Profile::instance().dataDatabase();
    QVERIFY(run(db, QStringLiteral("delete from patient")));
    QSqlQuery insert(db);
    QVERIFY(insert.prepare(QStringLiteral("insert into patient(sampleNo, date) values(?, ?)")));
    for (const auto &row : rows) {
        insert.addBindValue(row.first);
        insert.addBindValue(row.second);
        QVERIFY2(insert.exec(), qPrintable(insert.lastError().text()));
    }

    QCOMPARE(::nextSampleNo(QDate(2026, 3, 1)), expected);
}

void tst_SampleNumbering::nextSampleNoWithoutPatientTable()
{
    QSqlDatabase db = Profile::instance().dataDatabase();
    QVERIFY(run(db, QStringLiteral("drop table patient")));

    capturedWarnings.clear();
    const QtMessageHandler previous = qInstallMessageHandler(captureWarnings);
    const int next = ::nextSampleNo(QDate(2026, 3, 1));
    qInstallMessageHandler(previous);

    QVERIFY(run(db, createPatient));

    QCOMPARE(next, 1);
    QCOMPARE(capturedWarnings.size(), 2);
    QVERIFY2(capturedWarnings.at(0).startsWith(QLatin1String(".\\labglobal(158): QSqlError(")),
        qPrintable(capturedWarnings.at(0)));
    QVERIFY2(capturedWarnings.at(1).startsWith(QLatin1String(".\\labglobal(161): QSqlError(")),
        qPrintable(capturedWarnings.at(1)));
    QVERIFY2(capturedWarnings.at(0).contains(QLatin1String("no such table: patient")),
        qPrintable(capturedWarnings.at(0)));
}

QTEST_MAIN(tst_SampleNumbering)
#include "tst_samplenumbering.moc"
