#include "serialport_posix.h"

#include <QtCore/qdir.h>
#include <QtCore/qfile.h>
#include <QtCore/qtemporarydir.h>
#include <QtTest/qtest.h>

#include <cstring>

using namespace SerialPortPosix;

class tst_SerialPortPosix : public QObject
{
    Q_OBJECT

private slots:
    void buildsLineFormat_data();
    void buildsLineFormat();
    void buildsEveryStandardRate_data();
    void buildsEveryStandardRate();

    void devicePathOfName_data();
    void devicePathOfName();
    void enumeratesPortsWithDrivers();
    void enumeratesNothingWithoutTtyClass();

private:
    // Settings left behind by some other program: a canonical terminal with
    // flow control, translations and odd character settings.
    static termios usedTerminal();
};

termios tst_SerialPortPosix::usedTerminal()
{
    termios t;
    std::memset(&t, 0, sizeof t);
    t.c_cflag = CS8 | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS | HUPCL;
    t.c_iflag = IXON | IXOFF | INPCK | IGNPAR | PARMRK | IGNBRK | BRKINT | ICRNL | ISTRIP;
    t.c_oflag = OPOST | ONLCR;
    t.c_lflag = ICANON | ECHO | ECHOE | ISIG | IEXTEN;
    t.c_cc[VSTART] = 0x01;
    t.c_cc[VSTOP] = 0x02;
    t.c_cc[VEOF] = 0x03;
    t.c_cc[VMIN] = 5;
    t.c_cc[VTIME] = 3;
    cfsetispeed(&t, B1200);
    cfsetospeed(&t, B1200);
    return t;
}

void tst_SerialPortPosix::buildsLineFormat_data()
{
    QTest::addColumn<int>("baudRate");
    QTest::addColumn<int>("dataBits");
    QTest::addColumn<int>("parity");
    QTest::addColumn<int>("stopBits");
    QTest::addColumn<bool>("accepted");

    static const char *const parities[] = {"none", "odd", "even", "mark", "space"};
    for (int dataBits = 5; dataBits <= 8; ++dataBits) {
        for (int parity = 0; parity <= 4; ++parity) {
            for (int stopBits : {0, 2}) {
                QTest::addRow("%d bits, %s parity, %s stop", dataBits, parities[parity],
                    stopBits ? "two" : "one")
                    << 9600 << dataBits << parity << stopBits << true;
            }
        }
    }

    // Bad input must leave the settings untouched.
    QTest::newRow("rate between standard rates") << 14400 << 8 << 0 << 0 << false;
    QTest::newRow("rate zero: not a hang-up") << 0 << 8 << 0 << 0 << false;
    QTest::newRow("negative rate") << -9600 << 8 << 0 << 0 << false;
    QTest::newRow("four data bits") << 9600 << 4 << 0 << 0 << false;
    QTest::newRow("nine data bits") << 9600 << 9 << 0 << 0 << false;
    QTest::newRow("negative parity") << 9600 << 8 << -1 << 0 << false;
    QTest::newRow("parity past space") << 9600 << 8 << 5 << 0 << false;
    QTest::newRow("one and a half stop bits") << 9600 << 8 << 0 << 1 << false;
    QTest::newRow("three stop bits") << 9600 << 8 << 0 << 3 << false;
}

void tst_SerialPortPosix::buildsLineFormat()
{
    QFETCH(int, baudRate);
    QFETCH(int, dataBits);
    QFETCH(int, parity);
    QFETCH(int, stopBits);
    QFETCH(bool, accepted);

    const termios before = usedTerminal();
    termios t = before;
    QString error;
    const bool built = buildLineSettings(&t, baudRate, dataBits, parity, stopBits, &error);
    if (!accepted) {
        QVERIFY(!built);
        QVERIFY(!error.isEmpty());
        QVERIFY(std::memcmp(&t, &before, sizeof t) == 0);
        return;
    }
    QVERIFY2(built, qPrintable(error));

    // The frame.
    static const tcflag_t sizes[] = {CS5, CS6, CS7, CS8};
    QCOMPARE(t.c_cflag & CSIZE, sizes[dataBits - 5]);
    QCOMPARE(bool(t.c_cflag & PARENB), parity != 0);
    if (parity != 0) {
        QCOMPARE(bool(t.c_cflag & CMSPAR), parity == 3 || parity == 4);
        QCOMPARE(bool(t.c_cflag & PARODD), parity == 1 || parity == 3);
    } else {
        QVERIFY(!(t.c_cflag & CMSPAR));
    }
    QCOMPARE(bool(t.c_cflag & CSTOPB), stopBits == 2);
    QCOMPARE(cfgetospeed(&t), speed_t(B9600));
    QCOMPARE(cfgetispeed(&t), speed_t(B9600));

    // Raw binary transfers, no output flow control, receiver on.
    QVERIFY(!(t.c_cflag & CRTSCTS));
    QVERIFY(t.c_cflag & CREAD);
    QVERIFY(t.c_cflag & CLOCAL);
    QVERIFY(!(t.c_iflag & (IXON | ICRNL | ISTRIP | BRKINT)));
    QVERIFY(!(t.c_oflag & OPOST));
    QVERIFY(!(t.c_lflag & (ICANON | ECHO | ECHOE | ISIG | IEXTEN)));
    QCOMPARE(t.c_cc[VMIN], cc_t(1));
    QCOMPARE(t.c_cc[VTIME], cc_t(0));

    // Everything else as it was.
    QVERIFY(t.c_cflag & HUPCL);
    const tcflag_t keptInput = IXOFF | INPCK | IGNPAR | PARMRK | IGNBRK;
    QCOMPARE(t.c_iflag & keptInput, before.c_iflag & keptInput);
    QCOMPARE(t.c_oflag & ONLCR, before.c_oflag & ONLCR);
    QCOMPARE(t.c_cc[VSTART], before.c_cc[VSTART]);
    QCOMPARE(t.c_cc[VSTOP], before.c_cc[VSTOP]);
    QCOMPARE(t.c_cc[VEOF], before.c_cc[VEOF]);
}

void tst_SerialPortPosix::buildsEveryStandardRate_data()
{
    QTest::addColumn<int>("baudRate");
    QTest::addColumn<speed_t>("speed");

    // The ends of the table and the rates instruments use.
    const std::pair<int, speed_t> rates[] = {
        {50, B50},
        {1200, B1200},
        {9600, B9600},
        {19200, B19200},
        {115200, B115200},
        {2000000, B2000000},
    };
    for (const auto &rate : rates)
        QTest::addRow("%d", rate.first) << rate.first << rate.second;
}

void tst_SerialPortPosix::buildsEveryStandardRate()
{
    QFETCH(int, baudRate);
    QFETCH(speed_t, speed);

    termios t = usedTerminal();
    QString error;
    QVERIFY2(buildLineSettings(&t, baudRate, 8, 0, 0, &error), qPrintable(error));
    QCOMPARE(cfgetospeed(&t), speed);
    QCOMPARE(cfgetispeed(&t), speed);
}

void tst_SerialPortPosix::devicePathOfName_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("path");

    QTest::newRow("plain name") << QStringLiteral("ttyS0") << QByteArray("/dev/ttyS0");
    QTest::newRow("name with folder") << QStringLiteral("pts/3") << QByteArray("/dev/pts/3");
    QTest::newRow("absolute path") << QStringLiteral("/dev/pts/3") << QByteArray("/dev/pts/3");
    QTest::newRow("path outside /dev")
        << QStringLiteral("/tmp/端口") << QByteArray("/tmp/\xe7\xab\xaf\xe5\x8f\xa3");
}

void tst_SerialPortPosix::devicePathOfName()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, path);
    QCOMPARE(devicePath(name), path);
}

void tst_SerialPortPosix::enumeratesPortsWithDrivers()
{
    // A small copy of sysfs: class entries are links to device folders, a
    // bound device has a driver link, UART lines carry their port type.
    QTemporaryDir root;
    QVERIFY(root.isValid());
    const QDir dir(root.path());
    QVERIFY(dir.mkpath(QStringLiteral("class/tty")));
    QVERIFY(dir.mkpath(QStringLiteral("drivers/serial")));

    struct Entry
    {
        const char *name;
        bool device;
        bool driver;
        const char *type;
    };
    const Entry entries[] = {
        {"ttyS0", true, true, "4\n"},
        {"ttyS1", true, true, "0\n"},
        {"ttyS10", true, true, "4\n"},
        {"ttyS2", true, true, "4\n"},
        {"ttyUSB0", true, true, nullptr},
        {"ttyACM0", true, false, nullptr},
        {"tty0", false, false, nullptr},
        {"console", false, false, nullptr},
    };
    for (const Entry &entry : entries) {
        const QString device = dir.filePath(QLatin1String("devices/") + entry.name);
        QVERIFY(dir.mkpath(device + (entry.device ? "/device" : "")));
        if (entry.driver) {
            QVERIFY(QFile::link(dir.filePath(QStringLiteral("drivers/serial")),
                device + QLatin1String("/device/driver")));
        }
        if (entry.type) {
            QFile type(device + QLatin1String("/type"));
            QVERIFY(type.open(QIODevice::WriteOnly));
            type.write(entry.type);
        }
        QVERIFY(QFile::link(device, dir.filePath(QLatin1String("class/tty/") + entry.name)));
    }
    QFile stray(dir.filePath(QStringLiteral("class/tty/notes")));
    QVERIFY(stray.open(QIODevice::WriteOnly));

    const QStringList expected = {QStringLiteral("ttyS0"), QStringLiteral("ttyS2"),
        QStringLiteral("ttyS10"), QStringLiteral("ttyUSB0")};
    QCOMPARE(enumeratePorts(dir.filePath(QStringLiteral("class/tty"))), expected);
}

void tst_SerialPortPosix::enumeratesNothingWithoutTtyClass()
{
    QTemporaryDir root;
    QVERIFY(root.isValid());
    QCOMPARE(enumeratePorts(root.path()), QStringList());
    QCOMPARE(enumeratePorts(root.filePath(QStringLiteral("missing"))), QStringList());
}

QTEST_GUILESS_MAIN(tst_SerialPortPosix)
#include "tst_serialportposix.moc"
