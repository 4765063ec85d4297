#include "messageboxcatcher.h"
#include "profile.h"
#include "testdatabase.h"
#include "testworkdir.h"

#include <QtCore/qrandom.h>
#include <QtCore/qthread.h>
#include <QtCore/qtranslator.h>
#include <QtTest/qsignalspy.h>
#include <QtTest/qtest.h>

#include <atomic>
#include <memory>
#include <vector>

class tst_Profile : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void loadsTableAtStart();
    void nullValueReadsAsDefault();
    void value2_data();
    void value2();
    void setValueInMemoryOnly();
    void setValueWritesRowBeforeReturning();
    void setInvalidValueDeletesRow();
    void removeForgetsAndDeletes();
    void removeUnseenKeyStillDeletes();
    void storedForm_data();
    void storedForm();
    void receiverMayCallBack();

    void startupWarnings_data();
    void startupWarnings();
    void warningsAreTranslated();
    void writesWithoutTableAreReported();
    void constructorsRegisterProfileConnection();
    void instanceIsProcessWide();

    void writesFromAnotherThreadAreQueuedInOrder();
    void queuedWritesOutliveTheEventLoop_data();
    void queuedWritesOutliveTheEventLoop();
    void concurrentWritersLeaveTableAndMemoryAgreeing();
    void placeholdersNeverReplaceStoredValues();

private:
    std::unique_ptr<TestWorkDir> m_workDir;
};

void tst_Profile::init()
{
    m_workDir = std::make_unique<TestWorkDir>();
}

void tst_Profile::cleanup()
{
    m_workDir.reset();
}

void tst_Profile::loadsTableAtStart()
{
    createProfileDatabase(QStringLiteral("profile.db"), {{"A", 1}, {"B", "x"}});
    createOtherDatabases();
    MessageBoxCatcher catcher;
    Profile profile;
    QCOMPARE(catcher.boxes.size(), 0);

    QCOMPARE(profile.value("A", 0), QVariant(1));
    QCOMPARE(profile.value("B", 0), QVariant("x"));
    QCOMPARE(profile.value("C", 5), QVariant(5));

    QStringList keys = profile.keys();
    keys.sort();
    QCOMPARE(keys, QStringList({"A", "B", "C"}));
}

void tst_Profile::nullValueReadsAsDefault()
{
    createProfileDatabase(QStringLiteral("profile.db"), {{"N", QVariant()}});
    createOtherDatabases();
    Profile profile;
    QCOMPARE(profile.value("N", 5), QVariant(5));
    QVERIFY(profile.keys().contains("N"));
}

void tst_Profile::value2_data()
{
    QTest::addColumn<QVariant>("first");
    QTest::addColumn<QVariant>("second");
    QTest::addColumn<QVariant>("expected");

    QTest::newRow("only the second set") << QVariant() << QVariant(2) << QVariant(2);
    QTest::newRow("both set") << QVariant(1) << QVariant(2) << QVariant(1);
    QTest::newRow("neither set") << QVariant() << QVariant() << QVariant("default");
}

void tst_Profile::value2()
{
    QFETCH(QVariant, first);
    QFETCH(QVariant, second);
    QFETCH(QVariant, expected);

    createProfileDatabase(QStringLiteral("profile.db"));
    createOtherDatabases();
    Profile profile;
    if (first.isValid())
        profile.setValue("assay/PT/first", first, false);
    if (second.isValid())
        profile.setValue("assay/PT/second", second, false);

    QCOMPARE(profile.value2("assay/PT/first", "assay/PT/second", "default"), expected);
    // Both lookups leave an entry behind.
    QVERIFY(profile.keys().contains("assay/PT/first"));
    QVERIFY(profile.keys().contains("assay/PT/second"));
}

void tst_Profile::setValueInMemoryOnly()
{
    createProfileDatabase(QStringLiteral("profile.db"));
    createOtherDatabases();
    Profile profile;
    QSignalSpy changed(&profile, &Profile::valueChanged);

    profile.setValue("K", 7, false);
    QCOMPARE(profile.value("K", 0), QVariant(7));
    QCOMPARE(changed.size(), 0);
    QVERIFY(!TestDatabase("profile.db").hasRow("K"));
}

void tst_Profile::setValueWritesRowBeforeReturning()
{
    createProfileDatabase(QStringLiteral("profile.db"));
    createOtherDatabases();
    Profile profile;
    TestDatabase db(QStringLiteral("profile.db"));
    QSignalSpy changed(&profile, &Profile::valueChanged);

    profile.setValue("K", 7, true);
    QCOMPARE(db.row("K").first, QVariant(7));
    QCOMPARE(changed.size(), 1);
    QCOMPARE(changed.at(0), QVariantList({"K", 7}));

    // The same value again is announced and written again.
    QVERIFY(db.exec(QStringLiteral("update profile set value = 8 where name = 'K'")));
    profile.setValue("K", 7, true);
    QCOMPARE(changed.size(), 2);
    QCOMPARE(db.row("K").first, QVariant(7));
    QCOMPARE(db.column(QStringLiteral("select count(*) from profile")), QVariantList({1}));
}

void tst_Profile::setInvalidValueDeletesRow()
{
    createProfileDatabase(QStringLiteral("profile.db"), {{"K", 7}});
    createOtherDatabases();
    Profile profile;

    profile.setValue("K", QVariant(), true);
    QVERIFY(!TestDatabase("profile.db").hasRow("K"));
    QCOMPARE(profile.value("K", "default"), QVariant("default"));
    QVERIFY(profile.keys().contains("K"));
}

void tst_Profile::removeForgetsAndDeletes()
{
    createProfileDatabase(QStringLiteral("profile.db"), {{"K", 7}, {"L", 8}});
    createOtherDatabases();
    Profile profile;
    QSignalSpy removed(&profile, &Profile::keyRemoved);

    profile.remove("K");
    QCOMPARE(removed.size(), 1);
    QCOMPARE(removed.at(0), QVariantList({"K"}));
    QCOMPARE(profile.keys(), QStringList({"L"}));
    QCOMPARE(profile.value("K", 0), QVariant(0));
    TestDatabase db(QStringLiteral("profile.db"));
    QVERIFY(!db.hasRow("K"));
    QVERIFY(db.hasRow("L"));
}

void tst_Profile::removeUnseenKeyStillDeletes()
{
    createProfileDatabase(QStringLiteral("profile.db"));
    createOtherDatabases();
    Profile profile;
    QSignalSpy removed(&profile, &Profile::keyRemoved);

    // A row written by another process after the start is not in memory.
    TestDatabase db(QStringLiteral("profile.db"));
    QVERIFY(db.exec(QStringLiteral("insert into profile values('ghost', 1)")));
    profile.remove("ghost");
    QCOMPARE(removed.size(), 1);
    QVERIFY(!db.hasRow("ghost"));
    QVERIFY(!profile.keys().contains("ghost"));
}

void tst_Profile::storedForm_data()
{
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<QVariant>("stored");
    QTest::addColumn<QString>("storedType");
    QTest::addColumn<QVariant>("afterRestart");

    QTest::newRow("text") << QVariant("不凝") << QVariant("不凝") << "text" << QVariant("不凝");
    QTest::newRow("integer") << QVariant(42) << QVariant(42) << "integer" << QVariant(42);
    QTest::newRow("real") << QVariant(1.5) << QVariant(1.5) << "real" << QVariant(1.5);
    QTest::newRow("true") << QVariant(true) << QVariant(1) << "integer" << QVariant(1);
    QTest::newRow("false") << QVariant(false) << QVariant(0) << "integer" << QVariant(0);
    QTest::newRow("colour") << QVariant(QColor(10, 20, 30)) << QVariant("#0a141e") << "text"
                            << QVariant("#0a141e");
    QTest::newRow("translucent colour") << QVariant(QColor(10, 20, 30, 100)) << QVariant("#0a141e")
                                        << "text" << QVariant("#0a141e");
    QTest::newRow("invalid colour") << QVariant(QColor()) << QVariant("") << "text" << QVariant("");
}

void tst_Profile::storedForm()
{
    QFETCH(QVariant, value);
    QFETCH(QVariant, stored);
    QFETCH(QString, storedType);
    QFETCH(QVariant, afterRestart);

    createProfileDatabase(QStringLiteral("profile.db"));
    createOtherDatabases();
    {
        Profile profile;
        profile.setValue("K", value, true);
        // Memory keeps the type the caller gave.
        QCOMPARE(profile.value("K"), value);
    }
    QCOMPARE(TestDatabase("profile.db").row("K"), std::make_pair(stored, storedType));
    Profile restarted;
    QCOMPARE(restarted.value("K"), afterRestart);
}

void tst_Profile::receiverMayCallBack()
{
    createProfileDatabase(QStringLiteral("profile.db"));
    createOtherDatabases();
    Profile profile;
    TestDatabase db(QStringLiteral("profile.db"));

    QVariant seenInStore;
    QVariant seenInTable;
    connect(&profile, &Profile::valueChanged, this, [&](const QString &key, const QVariant &) {
        seenInStore = profile.value(key);
        seenInTable = db.row(key).first; // the store's own slot ran first
        profile.setValue(key + "/echo", 1, false);
    });
    profile.setValue("K", 3, true);
    QCOMPARE(seenInStore, QVariant(3));
    QCOMPARE(seenInTable, QVariant(3));
    QCOMPARE(profile.value("K/echo"), QVariant(1));
}

void tst_Profile::startupWarnings_data()
{
    QTest::addColumn<QStringList>("missing");
    QTest::addColumn<QStringList>("unopenable");
    QTest::addColumn<QStringList>("empty");
    QTest::addColumn<QStringList>("warnings");

    QTest::newRow("all present") << QStringList() << QStringList() << QStringList()
                                 << QStringList();
    QTest::newRow("missing profile.db")
        << QStringList {"profile.db"} << QStringList() << QStringList()
        << QStringList {"错误的配置文件 profile.db"};
    QTest::newRow("empty profile.db")
        << QStringList() << QStringList() << QStringList {"profile.db"}
        << QStringList {"错误的配置文件 profile.db"};
    QTest::newRow("unopenable profile.db")
        << QStringList() << QStringList {"profile.db"} << QStringList()
        << QStringList {"无法加载配置文件 profile.db\n", "错误的配置文件 profile.db"};
    QTest::newRow("unopenable data.db")
        << QStringList() << QStringList {"data.db"} << QStringList()
        << QStringList {"无法打开数据库文件 data.db", "错误的数据库文件 data.db"};
    QTest::newRow("empty qc.db") << QStringList() << QStringList() << QStringList {"qc.db"}
                                 << QStringList {"错误的数据库文件 qc.db"};
    QTest::newRow("nothing but an unopenable syslog.db")
        << QStringList {"profile.db", "data.db", "qc.db"} << QStringList {"syslog.db"}
        << QStringList()
        << QStringList {"错误的配置文件 profile.db", "错误的数据库文件 data.db",
               "错误的数据库文件 qc.db", "无法打开数据库文件 syslog.db",
               "错误的数据库文件 syslog.db"};
}

void tst_Profile::startupWarnings()
{
    QFETCH(QStringList, missing);
    QFETCH(QStringList, unopenable);
    QFETCH(QStringList, empty);
    QFETCH(QStringList, warnings);

    createProfileDatabase(QStringLiteral("profile.db"), {{"A", 1}});
    createOtherDatabases();
    for (const QString &name : missing + unopenable + empty)
        QVERIFY(QFile::remove(name));
    for (const QString &name : unopenable)
        QVERIFY(QDir().mkdir(name)); // a directory cannot be opened as a database
    for (const QString &name : empty) {
        QFile file(name);
        QVERIFY(file.open(QIODevice::WriteOnly));
    }

    MessageBoxCatcher catcher;
    Profile profile;

    QCOMPARE(catcher.boxes.size(), warnings.size());
    for (int i = 0; i < warnings.size(); ++i) {
        const CaughtBox &box = catcher.boxes.at(i);
        // The open error's text comes from the driver; the first line is ours.
        if (warnings.at(i).endsWith('\n'))
            QVERIFY2(box.text.startsWith(warnings.at(i)) && box.text.size() > warnings.at(i).size(),
                qPrintable(box.text));
        else
            QCOMPARE(box.text, warnings.at(i));
        QCOMPARE(box.icon, QMessageBox::Warning);
        QCOMPARE(box.buttons, QMessageBox::Ok);
    }

    // The store stays usable in memory whatever failed.
    QCOMPARE(profile.value("A", 0),
        QVariant(missing.contains("profile.db") || unopenable.contains("profile.db")
                    || empty.contains("profile.db")
                ? 0
                : 1));
    profile.setValue("K", 7, false);
    QCOMPARE(profile.value("K", 0), QVariant(7));
}

void tst_Profile::warningsAreTranslated()
{
    QTranslator translator;
    QVERIFY(translator.load(QStringLiteral(PROFILE_EN_QM)));
    QCoreApplication::installTranslator(&translator);

    QVERIFY(QDir().mkdir("data.db"));
    MessageBoxCatcher catcher;
    Profile profile(QStringLiteral("missing/settings.db"), nullptr);
    QCoreApplication::removeTranslator(&translator);

    QCOMPARE(catcher.boxes.size(), 6);
    QVERIFY2(catcher.boxes.at(0).text.startsWith(
                 "Cannot load the configuration file missing/settings.db\n"),
        qPrintable(catcher.boxes.at(0).text));
    QCOMPARE(catcher.texts().mid(1),
        QStringList({"Wrong configuration file missing/settings.db",
            "Cannot open the database file data.db", "Wrong database file data.db",
            "Wrong database file qc.db", "Wrong database file syslog.db"}));
}

void tst_Profile::writesWithoutTableAreReported()
{
    createOtherDatabases();
    MessageBoxCatcher catcher;
    Profile profile; // creates an empty profile.db
    QCOMPARE(catcher.texts(), QStringList({"错误的配置文件 profile.db"}));

    QTest::ignoreMessage(QtWarningMsg,
        QRegularExpression("^core/settings/profile\\(\\d+\\): no such table: profile"));
    profile.setValue("K", 7, true);
    QCOMPARE(profile.value("K", 0), QVariant(7));
    QTest::ignoreMessage(QtWarningMsg,
        QRegularExpression("^core/settings/profile\\(\\d+\\): no such table: profile"));
    profile.remove("K");
}

void tst_Profile::constructorsRegisterProfileConnection()
{
    createProfileDatabase(QStringLiteral("profile.db"), {{"file", "default"}});
    createProfileDatabase(QStringLiteral("other.db"), {{"file", "other"}});
    createOtherDatabases();

    Profile profile;
    QCOMPARE(profile.database().connectionName(), QStringLiteral("profile.db"));
    QCOMPARE(profile.database().databaseName(), QStringLiteral("profile.db"));
    QCOMPARE(profile.value("file"), QVariant("default"));

    Profile other(QStringLiteral("other.db"), nullptr);
    QCOMPARE(other.database().connectionName(), QStringLiteral("profile.db"));
    QCOMPARE(other.database().databaseName(), QStringLiteral("other.db"));
    QCOMPARE(other.value("file"), QVariant("other"));
    other.setValue("written", 1, true);
    QVERIFY(TestDatabase("other.db").hasRow("written"));
    QVERIFY(!TestDatabase("profile.db").hasRow("written"));

    QCOMPARE(other.dataDatabase().databaseName(), QStringLiteral("data.db"));
    QCOMPARE(other.qcDatabase().databaseName(), QStringLiteral("qc.db"));
    QCOMPARE(other.syslogDatabase().databaseName(), QStringLiteral("syslog.db"));
    QVERIFY(other.dataDatabase().isOpen());
    QVERIFY(other.dataDatabase().tables().contains("version"));
}

void tst_Profile::instanceIsProcessWide()
{
    createProfileDatabase(QStringLiteral("profile.db"), {{"A", 1}});
    createOtherDatabases();
    MessageBoxCatcher catcher;
    Profile &profile = Profile::instance();
    QCOMPARE(&Profile::instance(), &profile);
    QCOMPARE(profile.parent(), nullptr);
    QCOMPARE(catcher.boxes.size(), 0);
    QCOMPARE(profile.value("A", 0), QVariant(1));
}

void tst_Profile::writesFromAnotherThreadAreQueuedInOrder()
{
    createProfileDatabase(QStringLiteral("profile.db"));
    createOtherDatabases();
    TestDatabase db(QStringLiteral("profile.db"));
    QVERIFY(db.exec(QStringLiteral("create table written(value)")));
    QVERIFY(db.exec(QStringLiteral("create trigger log after insert on profile "
                                   "begin insert into written values(new.value); end")));
    Profile profile;
    QSqlQuery(profile.database()).exec(QStringLiteral("pragma synchronous = off"));

    const int count = 200;
    std::unique_ptr<QThread> worker(QThread::create([&] {
        for (int i = 1; i <= count; ++i)
            profile.setValue("K", i, true);
        profile.remove("K");
        profile.setValue("K", -1, true);
    }));
    worker->start();
    QVERIFY(worker->wait(30000));

    // Memory has the last state at once; the table once the owning thread ran.
    QCOMPARE(profile.value("K"), QVariant(-1));
    QVERIFY(!db.hasRow("K"));
    QTRY_COMPARE(db.row("K").first, QVariant(-1));

    QVariantList expected;
    for (int i = 1; i <= count; ++i)
        expected << i;
    expected << -1;
    QCOMPARE(db.column(QStringLiteral("select value from written order by rowid")), expected);
}

void tst_Profile::queuedWritesOutliveTheEventLoop_data()
{
    QTest::addColumn<bool>("quitApplication");

    QTest::newRow("store destroyed") << false;
    QTest::newRow("application quits") << true;
}

void tst_Profile::queuedWritesOutliveTheEventLoop()
{
    QFETCH(bool, quitApplication);

    createProfileDatabase(QStringLiteral("profile.db"), {{"gone", 1}});
    createOtherDatabases();
    auto profile = std::make_unique<Profile>();
    std::unique_ptr<QThread> worker(QThread::create([&] {
        profile->setValue("K", 5, true);
        profile->remove("gone");
    }));
    worker->start();
    QVERIFY(worker->wait(30000));

    // No event loop runs between the change and the end.
    if (quitApplication)
        QVERIFY(QMetaObject::invokeMethod(QCoreApplication::instance(), "aboutToQuit"));
    else
        profile.reset();
    TestDatabase db(QStringLiteral("profile.db"));
    QCOMPARE(db.row("K").first, QVariant(5));
    QVERIFY(!db.hasRow("gone"));
}

void tst_Profile::concurrentWritersLeaveTableAndMemoryAgreeing()
{
    createProfileDatabase(QStringLiteral("profile.db"));
    createOtherDatabases();
    TestDatabase db(QStringLiteral("profile.db"));
    Profile profile;
    QSqlQuery(profile.database()).exec(QStringLiteral("pragma synchronous = off"));

    // Whichever change comes last in memory must also come last in the table,
    // also when the owning thread writes at the same time as the workers.
    const int writers = 3;
    for (int round = 0; round < 300; ++round) {
        std::atomic<int> running {writers};
        std::vector<std::unique_ptr<QThread>> threads;
        for (int w = 0; w < writers; ++w) {
            threads.emplace_back(QThread::create([&profile, &running, w, round] {
                for (int i = 0; i < 3; ++i)
                    profile.setValue(QStringLiteral("shared"), (round * writers + w) * 3 + i, true);
                --running;
            }));
        }
        for (auto &thread : threads)
            thread->start();
        for (int i = 0; running.load() > 0 && i < 1000; ++i)
            profile.setValue(QStringLiteral("shared"), -(round * 1000 + i), true);
        for (auto &thread : threads)
            QVERIFY(thread->wait(30000));
        QCoreApplication::sendPostedEvents();
        QCOMPARE(db.row(QStringLiteral("shared")).first, profile.value(QStringLiteral("shared")));
    }
}

void tst_Profile::placeholdersNeverReplaceStoredValues()
{
    createProfileDatabase(QStringLiteral("profile.db"), {{"present", "here"}});
    createOtherDatabases();
    Profile profile;

    const int keyCount = 50000;
    const int readers = 3;
    std::atomic<int> written {0};
    std::atomic<bool> stop {false};
    std::atomic<int> wrongReads {0};
    std::vector<std::unique_ptr<QThread>> threads;
    for (int r = 0; r < readers; ++r) {
        threads.emplace_back(QThread::create([&] {
            QRandomGenerator random(QRandomGenerator::global()->generate());
            while (!stop.load()) {
                // Absent names just ahead of the writer, so that the two race.
                const int i = written.load() + random.bounded(3);
                const QVariant v = profile.value(QStringLiteral("key/%1").arg(i), -1);
                if (v != QVariant(-1) && v != QVariant(i))
                    ++wrongReads;
                if (profile.value("present") != QVariant("here"))
                    ++wrongReads;
            }
        }));
        threads.back()->start();
    }
    std::unique_ptr<QThread> writer(QThread::create([&] {
        for (int i = 0; i < keyCount; ++i) {
            profile.setValue(QStringLiteral("key/%1").arg(i), i, false);
            written = i + 1;
        }
    }));
    writer->start();
    QVERIFY(writer->wait(60000));
    stop = true;
    for (auto &thread : threads)
        QVERIFY(thread->wait(30000));

    QCOMPARE(wrongReads.load(), 0);
    int lost = 0;
    for (int i = 0; i < keyCount; ++i) {
        if (profile.value(QStringLiteral("key/%1").arg(i), -1) != QVariant(i))
            ++lost;
    }
    QCOMPARE(lost, 0);
}

QTEST_MAIN(tst_Profile)
#include "tst_profile.moc"
