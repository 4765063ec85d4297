#include "analysisresult.h"
#include "labglobal.h"
#include "profile.h"

#include "messageboxcatcher.h"
#include "testdatabase.h"
#include "testworkdir.h"

#include <QtCore/qdatetime.h>
#include <QtSql/qsqldatabase.h>
#include <QtSql/qsqlerror.h>
#include <QtSql/qsqlquery.h>
#include <QtTest/qtest.h>

#include <memory>

namespace {

using SampleRows = QList<QPair<QVariant, QString>>; // sampleNo, date

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

    // Every database has a table before the store opens it, so that the
    // store starts without warning boxes.
    createProfileDatabase(QStringLiteral("profile.db"),
        {{QStringLiteral("statim_sample_prefix"), QString::fromUtf8("急")}});
    createOtherDatabases();
    QVERIFY(TestDatabase(QStringLiteral("data.db")).exec(createPatient));
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

    TestDatabase db(QStringLiteral("data.db"));
    QVERIFY(db.exec(QStringLiteral("delete from patient")));
    for (const auto &row : rows) {
        QVERIFY(db.exec(QStringLiteral("insert into patient(sampleNo, date) values(?, ?)"),
            {row.first, row.second}));
    }

    QCOMPARE(::nextSampleNo(QDate(2026, 3, 1)), expected);
}

void tst_SampleNumbering::nextSampleNoWithoutPatientTable()
{
    // Dropped through the store's own connection: another connection's drop
    // is noticed only when the statement runs, and preparing would succeed.
    QSqlQuery schema(Profile::instance().dataDatabase());
    QVERIFY2(
        schema.exec(QStringLiteral("drop table patient")), qPrintable(schema.lastError().text()));

    capturedWarnings.clear();
    const QtMessageHandler previous = qInstallMessageHandler(captureWarnings);
    const int next = ::nextSampleNo(QDate(2026, 3, 1));
    qInstallMessageHandler(previous);

    QVERIFY2(schema.exec(createPatient), qPrintable(schema.lastError().text()));

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
