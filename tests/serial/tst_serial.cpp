#include "ptypair.h"
#include "serial.h"
#include "testworkdir.h"

#include <QtCore/qelapsedtimer.h>
#include <QtCore/qfile.h>
#include <QtCore/qset.h>
#include <QtCore/qthread.h>
#include <QtTest/qtest.h>

#include <cstdint>
#include <memory>
#include <thread>

#include <sys/wait.h>
#include <termios.h>

namespace {

void *const invalidHandle = reinterpret_cast<void *>(intptr_t(-1));

int descriptorOf(const Serial &serial)
{
    return int(reinterpret_cast<intptr_t>(serial.handle()));
}

} // namespace

class tst_Serial : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void isItsOwnRecursiveLock();
    void startsClosed();
    void enumDevicesListsEachPortOnce();

    void opensByName_data();
    void opensByName();
    void openFailureLeavesDeviceClosed_data();
    void openFailureLeavesDeviceClosed();
    void secondOpenWarnsAndKeepsPort();
    void portIsExclusive();
    void portDoesNotBecomeControllingTerminal();
    void closeAndDestroyReleasePort();

    void setSettingsNeedsOpenDevice();
    void lineSettingsReachTheTerminal_data();
    void lineSettingsReachTheTerminal();
    void badLineSettingsFail_data();
    void badLineSettingsFail();

    void transfersEveryByteBothWays();
    void readFollowsTimeoutRule_data();
    void readFollowsTimeoutRule();
    void gapShorterThanIntervalKeepsReading();
    void writeTimesOutOnFullLine();
    void lostLineEndsReadWithError();
    void timeoutsNeedOpenPort();

    void bytesAvailableCountsDriverAndBuffer_data();
    void bytesAvailableCountsDriverAndBuffer();
    void clearInputBufferDropsPendingInput();

private:
    // The device opened on the pair, in raw binary mode.
    bool openRaw(
        Serial &serial, QIODevice::OpenMode mode = QIODevice::ReadWrite | QIODevice::Unbuffered);

    std::unique_ptr<PtyPair> m_pty;
};

void tst_Serial::init()
{
    m_pty = std::make_unique<PtyPair>();
    QVERIFY2(m_pty->isValid(), "no pseudo-terminal available");
}

void tst_Serial::cleanup()
{
    m_pty.reset();
}

bool tst_Serial::openRaw(Serial &serial, QIODevice::OpenMode mode)
{
    serial.setFileName(m_pty->path());
    return serial.open(mode) && serial.setSettings(9600, 8, Serial::NoParity, Serial::OneStop);
}

void tst_Serial::isItsOwnRecursiveLock()
{
    Serial serial;
    QObject *object = &serial;
    QCOMPARE(serial.metaObject()->className(), "Serial");
    QVERIFY(serial.isSequential());

    auto *lock = static_cast<QRecursiveMutex *>(object->qt_metacast("QMutex"));
    QCOMPARE(lock, static_cast<QRecursiveMutex *>(&serial));
    QCOMPARE(object->qt_metacast("QRecursiveMutex"), static_cast<void *>(lock));
    QCOMPARE(qobject_cast<QRecursiveMutex *>(object), lock);
    QCOMPARE(
        object->qt_metacast("QIODevice"), static_cast<void *>(static_cast<QIODevice *>(&serial)));
    QVERIFY(object->inherits("QMutex"));

    // Recursive: the owner may lock again, another thread may not.
    lock->lock();
    QVERIFY(lock->tryLock());
    bool otherGotIt = true;
    std::thread other([&] {
        otherGotIt = lock->tryLock();
        if (otherGotIt)
            lock->unlock();
    });
    other.join();
    QVERIFY(!otherGotIt);
    lock->unlock();
    lock->unlock();
}

void tst_Serial::startsClosed()
{
    Serial serial;
    QVERIFY(!serial.isOpen());
    QVERIFY(serial.fileName().isEmpty());
    QCOMPARE(serial.handle(), invalidHandle);
    QCOMPARE(serial.bytesAvailable(), 0);

    // Closing a closed device changes nothing.
    serial.close();
    QVERIFY(!serial.isOpen());
    QCOMPARE(serial.handle(), invalidHandle);
}

void tst_Serial::enumDevicesListsEachPortOnce()
{
    const QStringList ports = Serial::EnumDevices();
    QCOMPARE(QSet<QString>(ports.cbegin(), ports.cend()).size(), ports.size());
    for (const QString &port : ports) {
        QVERIFY(!port.isEmpty());
        QVERIFY(QFile::exists(QLatin1String("/sys/class/tty/") + port));
    }
}

void tst_Serial::opensByName_data()
{
    QTest::addColumn<bool>("plainName");
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("access");

    const int readWrite = QIODevice::ReadWrite | QIODevice::Unbuffered;
    QTest::newRow("path, read-write") << false << readWrite << O_RDWR;
    QTest::newRow("plain name, read-write") << true << readWrite << O_RDWR;
    QTest::newRow("path, read-only") << false << int(QIODevice::ReadOnly) << O_RDONLY;
    QTest::newRow("path, write-only") << false << int(QIODevice::WriteOnly) << O_WRONLY;
}

void tst_Serial::opensByName()
{
    QFETCH(bool, plainName);
    QFETCH(int, mode);
    QFETCH(int, access);

    // A name without a leading slash lives under /dev/.
    const QString name = plainName ? m_pty->path().mid(int(qstrlen("/dev/"))) : m_pty->path();
    Serial serial;
    serial.setFileName(name);
    QVERIFY2(serial.open(QIODevice::OpenMode(mode)), qPrintable(serial.errorString()));
    QVERIFY(serial.isOpen());
    QCOMPARE(serial.openMode(), QIODevice::OpenMode(mode));
    QCOMPARE(serial.fileName(), name);
    QVERIFY(serial.handle() != invalidHandle);

    const int fd = descriptorOf(serial);
    const int flags = ::fcntl(fd, F_GETFL);
    QCOMPARE(flags & O_ACCMODE, access);
    QVERIFY2(!(flags & O_NONBLOCK), "non-blocking mode must end with the open");
    QVERIFY(::fcntl(fd, F_GETFD) & FD_CLOEXEC);

    // Renaming an open device leaves the port alone.
    serial.setFileName(QStringLiteral("ttyOther"));
    QCOMPARE(descriptorOf(serial), fd);
    QVERIFY(serial.isOpen());
}

void tst_Serial::openFailureLeavesDeviceClosed_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("error");

    const int readWrite = QIODevice::ReadWrite | QIODevice::Unbuffered;
    QTest::newRow("missing path") << QStringLiteral("/dev/pts/labcore-missing") << readWrite
                                  << qt_error_string(ENOENT);
    QTest::newRow("missing plain name")
        << QStringLiteral("ttyLabCoreMissing") << readWrite << qt_error_string(ENOENT);
    QTest::newRow("not a terminal")
        << QStringLiteral("plain.txt") << readWrite << qt_error_string(ENOTTY);
    QTest::newRow("neither read nor write")
        << QStringLiteral("pty") << int(QIODevice::NotOpen) << QString();
}

void tst_Serial::openFailureLeavesDeviceClosed()
{
    QFETCH(QString, name);
    QFETCH(int, mode);
    QFETCH(QString, error);

    TestWorkDir workDir;
    if (name == QLatin1String("plain.txt")) {
        name = workDir.filePath(name);
        QFile file(name);
        QVERIFY(file.open(QIODevice::WriteOnly));
    } else if (name == QLatin1String("pty")) {
        name = m_pty->path();
    }

    Serial serial;
    serial.setFileName(name);
    QVERIFY(!serial.open(QIODevice::OpenMode(mode)));
    QVERIFY(!serial.isOpen());
    QCOMPARE(serial.handle(), invalidHandle);
    QCOMPARE(serial.fileName(), name);
    if (error.isEmpty())
        QVERIFY(serial.errorString() != Serial().errorString());
    else
        QCOMPARE(serial.errorString(), error);

    // Nothing was left holding the port.
    Serial other;
    other.setFileName(m_pty->path());
    QVERIFY2(other.open(), qPrintable(other.errorString()));
}

void tst_Serial::secondOpenWarnsAndKeepsPort()
{
    Serial serial;
    QVERIFY(openRaw(serial));
    void *const handle = serial.handle();

    const QByteArray warning
        = "Serial::open: Serial (" + m_pty->path().toUtf8() + ") is already open";
    QTest::ignoreMessage(QtWarningMsg, warning.constData());
    QVERIFY(!serial.open(QIODevice::ReadOnly));
    QCOMPARE(serial.handle(), handle);
    QCOMPARE(serial.openMode(), QIODevice::ReadWrite | QIODevice::Unbuffered);

    QVERIFY(serial.setTimeouts(0, 2000, 2000));
    QCOMPARE(serial.write("ping"), 4);
    QCOMPARE(m_pty->receive(4), QByteArray("ping"));
}

void tst_Serial::portIsExclusive()
{
    Serial first;
    QVERIFY(openRaw(first));

    Serial second;
    second.setFileName(m_pty->path());
    QVERIFY(!second.open());
    QCOMPARE(second.errorString(), qt_error_string(EBUSY));
    QVERIFY(!second.isOpen());
    QCOMPARE(second.handle(), invalidHandle);

    // The first opener is undisturbed.
    QVERIFY(first.setTimeouts(0, 2000, 2000));
    QVERIFY(m_pty->send("x"));
    char byte = 0;
    QCOMPARE(first.read(&byte, 1), 1);
    QCOMPARE(byte, 'x');

    first.close();
    QVERIFY2(second.open(), qPrintable(second.errorString()));
}

void tst_Serial::portDoesNotBecomeControllingTerminal()
{
    // A session leader without a terminal acquires the first terminal it
    // opens, unless the open says otherwise.
    const QByteArray path = m_pty->path().toLocal8Bit();
    const pid_t child = ::fork();
    QVERIFY(child >= 0);
    if (child == 0) {
        if (::setsid() < 0)
            ::_exit(2);
        Serial serial;
        serial.setFileName(QString::fromLocal8Bit(path));
        if (!serial.open())
            ::_exit(3);
        ::_exit(::tcgetsid(descriptorOf(serial)) == -1 ? 0 : 1);
    }
    int status = 0;
    QCOMPARE(::waitpid(child, &status, 0), child);
    QVERIFY(WIFEXITED(status));
    QCOMPARE(WEXITSTATUS(status), 0);
}

void tst_Serial::closeAndDestroyReleasePort()
{
    auto serial = std::make_unique<Serial>();
    QVERIFY(openRaw(*serial));
    const int fd = descriptorOf(*serial);

    serial->close();
    QVERIFY(!serial->isOpen());
    QCOMPARE(serial->handle(), invalidHandle);
    QCOMPARE(::fcntl(fd, F_GETFD), -1);
    serial->close();
    QVERIFY(!serial->isOpen());

    // Destroying an open device closes it and frees the port.
    QVERIFY(openRaw(*serial));
    serial.reset();
    Serial next;
    next.setFileName(m_pty->path());
    QVERIFY2(next.open(), qPrintable(next.errorString()));
}

void tst_Serial::setSettingsNeedsOpenDevice()
{
    Serial serial;
    serial.setFileName(m_pty->path());
    const QString error = serial.errorString();
    QTest::ignoreMessage(QtWarningMsg, "Serial::setSettings: File is not open");
    QVERIFY(!serial.setSettings(9600, 8, Serial::NoParity, Serial::OneStop));
    QCOMPARE(serial.errorString(), error);
}

void tst_Serial::lineSettingsReachTheTerminal_data()
{
    QTest::addColumn<int>("baudRate");
    QTest::addColumn<speed_t>("speed");
    QTest::addColumn<Serial::StopBits>("stopBits");

    QTest::newRow("300, one stop bit") << 300 << speed_t(B300) << Serial::OneStop;
    QTest::newRow("9600, two stop bits") << 9600 << speed_t(B9600) << Serial::TwoStop;
    QTest::newRow("115200, one stop bit") << 115200 << speed_t(B115200) << Serial::OneStop;
    QTest::newRow("230400, two stop bits") << 230400 << speed_t(B230400) << Serial::TwoStop;
}

void tst_Serial::lineSettingsReachTheTerminal()
{
    QFETCH(int, baudRate);
    QFETCH(speed_t, speed);
    QFETCH(Serial::StopBits, stopBits);

    // Settings the device must leave alone: input flow control, parity
    // checking and the flow-control characters.
    termios before = {};
    QCOMPARE(::tcgetattr(m_pty->terminal(), &before), 0);
    before.c_iflag |= IXOFF | INPCK | IXON | ICRNL;
    before.c_oflag |= OPOST;
    before.c_lflag |= ICANON | ECHO | ISIG;
    before.c_cc[VSTART] = 0x01;
    before.c_cc[VSTOP] = 0x02;
    QCOMPARE(::tcsetattr(m_pty->terminal(), TCSANOW, &before), 0);

    Serial serial;
    serial.setFileName(m_pty->path());
    QVERIFY(serial.open());
    QVERIFY2(serial.setSettings(baudRate, 8, Serial::EvenParity, stopBits),
        qPrintable(serial.errorString()));

    termios after = {};
    QCOMPARE(::tcgetattr(descriptorOf(serial), &after), 0);
    QCOMPARE(cfgetospeed(&after), speed);
    QCOMPARE(cfgetispeed(&after), speed);
    QCOMPARE(bool(after.c_cflag & CSTOPB), stopBits == Serial::TwoStop);
    QVERIFY(after.c_cflag & CREAD);
    QVERIFY(!(after.c_cflag & CRTSCTS));
    QVERIFY(!(after.c_iflag & (IXON | ICRNL | ISTRIP)));
    QVERIFY(!(after.c_oflag & OPOST));
    QVERIFY(!(after.c_lflag & (ICANON | ECHO | ISIG)));
    QCOMPARE(after.c_cc[VMIN], cc_t(1));
    QCOMPARE(after.c_cc[VTIME], cc_t(0));
    QVERIFY(after.c_iflag & IXOFF);
    QVERIFY(after.c_iflag & INPCK);
    QCOMPARE(after.c_cc[VSTART], cc_t(0x01));
    QCOMPARE(after.c_cc[VSTOP], cc_t(0x02));
}

void tst_Serial::badLineSettingsFail_data()
{
    QTest::addColumn<int>("baudRate");
    QTest::addColumn<int>("dataBits");
    QTest::addColumn<int>("parity");
    QTest::addColumn<int>("stopBits");
    QTest::addColumn<QString>("errorMentions");

    QTest::newRow("unsupported rate") << 12345 << 8 << 0 << 0 << QStringLiteral("12345");
    QTest::newRow("rate zero") << 0 << 8 << 0 << 0 << QStringLiteral("baud");
    QTest::newRow("four data bits") << 9600 << 4 << 0 << 0 << QStringLiteral("data bits");
    QTest::newRow("nine data bits") << 9600 << 9 << 0 << 0 << QStringLiteral("data bits");
    QTest::newRow("unknown parity") << 9600 << 8 << 5 << 0 << QStringLiteral("parity");
    QTest::newRow("one and a half stop bits")
        << 9600 << 8 << 0 << int(Serial::OneAndHalfStop) << QStringLiteral("half");
    QTest::newRow("unknown stop bits") << 9600 << 8 << 0 << 3 << QStringLiteral("stop bits");
}

void tst_Serial::badLineSettingsFail()
{
    QFETCH(int, baudRate);
    QFETCH(int, dataBits);
    QFETCH(int, parity);
    QFETCH(int, stopBits);
    QFETCH(QString, errorMentions);

    Serial serial;
    serial.setFileName(m_pty->path());
    QVERIFY(serial.open());
    QVERIFY(serial.setSettings(19200, 8, Serial::NoParity, Serial::TwoStop));
    termios before = {};
    QCOMPARE(::tcgetattr(descriptorOf(serial), &before), 0);

    QVERIFY(!serial.setSettings(
        baudRate, dataBits, Serial::Parity(parity), Serial::StopBits(stopBits)));
    QVERIFY2(serial.errorString().contains(errorMentions, Qt::CaseInsensitive),
        qPrintable(serial.errorString()));
    QVERIFY(serial.isOpen());

    termios after = {};
    QCOMPARE(::tcgetattr(descriptorOf(serial), &after), 0);
    QCOMPARE(cfgetospeed(&after), cfgetospeed(&before));
    QCOMPARE(after.c_cflag, before.c_cflag);
}

void tst_Serial::transfersEveryByteBothWays()
{
    Serial serial;
    QVERIFY(openRaw(serial));
    QVERIFY(serial.setTimeouts(0, 5000, 5000));

    QByteArray all(256, Qt::Uninitialized);
    for (int i = 0; i < all.size(); ++i)
        all[i] = char(i);

    QVERIFY(m_pty->send(all));
    QCOMPARE(serial.read(all.size()), all);

    QCOMPARE(serial.write(all), qint64(all.size()));
    QCOMPARE(m_pty->receive(all.size()), all);
}

void tst_Serial::readFollowsTimeoutRule_data()
{
    QTest::addColumn<QByteArray>("pending");
    QTest::addColumn<int>("readInterval");
    QTest::addColumn<int>("readTotal");
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("atLeastMs");
    QTest::addColumn<int>("belowMs");

    // Lower bounds are what the rule promises; upper bounds only show that
    // the read ended long before a wrong rule would have ended it.
    QTest::newRow("quiet line: n + total") << QByteArray() << 0 << 300 << 100 << 400 << 4000;
    QTest::newRow("no time-outs: n ms") << QByteArray() << 0 << 0 << 300 << 300 << 3000;
    QTest::newRow("interval off: partial data waits it out")
        << QByteArray("ab") << 0 << 300 << 200 << 500 << 5000;
    QTest::newRow("gap ends the read") << QByteArray("abc") << 100 << 8000 << 1000 << 100 << 5000;
    QTest::newRow("n bytes end the read") << QByteArray("hello") << 0 << 8000 << 5 << 0 << 5000;
    QTest::newRow("more waiting than asked for")
        << QByteArray("hello world") << 0 << 8000 << 5 << 0 << 5000;
}

void tst_Serial::readFollowsTimeoutRule()
{
    QFETCH(QByteArray, pending);
    QFETCH(int, readInterval);
    QFETCH(int, readTotal);
    QFETCH(int, size);
    QFETCH(int, atLeastMs);
    QFETCH(int, belowMs);

    Serial serial;
    QVERIFY(openRaw(serial));
    QVERIFY(serial.setTimeouts(readInterval, readTotal, 0));
    QVERIFY(m_pty->send(pending));
    QTRY_COMPARE(serial.bytesAvailable(), qint64(pending.size()));
    const QString error = serial.errorString();

    QElapsedTimer timer;
    timer.start();
    const QByteArray data = serial.read(size);
    const qint64 elapsed = timer.elapsed();

    QCOMPARE(data, pending.left(size));
    QVERIFY2(elapsed >= atLeastMs, qPrintable(QString::number(elapsed)));
    QVERIFY2(elapsed < belowMs, qPrintable(QString::number(elapsed)));
    QCOMPARE(serial.errorString(), error);
    QCOMPARE(serial.bytesAvailable(), qint64(pending.size() - data.size()));
}

void tst_Serial::gapShorterThanIntervalKeepsReading()
{
    Serial serial;
    QVERIFY(openRaw(serial));
    QVERIFY(serial.setTimeouts(3000, 10000, 0));

    QVERIFY(m_pty->send("ab"));
    QTRY_COMPARE(serial.bytesAvailable(), 2);
    std::thread instrument([this] {
        QThread::msleep(100);
        m_pty->send("cd");
    });
    const QByteArray data = serial.read(4);
    instrument.join();
    QCOMPARE(data, QByteArray("abcd"));
}

void tst_Serial::writeTimesOutOnFullLine()
{
    Serial serial;
    QVERIFY(openRaw(serial));

    // Fill the line until the driver takes no more, not even a byte; the
    // driver moves data on behind the scenes, so fill until a pause frees
    // no room.
    const int fd = descriptorOf(serial);
    const int flags = ::fcntl(fd, F_GETFL);
    ::fcntl(fd, F_SETFL, flags | O_NONBLOCK);
    const QByteArray block(4096, 'f');
    qint64 filled = 0;
    for (qint64 round = -1; round != 0; QThread::msleep(100)) {
        round = 0;
        for (qsizetype chunk : {block.size(), qsizetype(1)}) {
            ssize_t count;
            while ((count = ::write(fd, block.constData(), chunk)) > 0)
                round += count;
        }
        filled += round;
    }
    ::fcntl(fd, F_SETFL, flags);
    QVERIFY(filled > 0);

    QVERIFY(serial.setTimeouts(0, 0, 300));
    const QString error = serial.errorString();
    QElapsedTimer timer;
    timer.start();
    QCOMPARE(serial.write("abc"), 0);
    const qint64 elapsed = timer.elapsed();
    QVERIFY2(elapsed >= 303, qPrintable(QString::number(elapsed)));
    QVERIFY2(elapsed < 4000, qPrintable(QString::number(elapsed)));
    QCOMPARE(serial.errorString(), error);
    QVERIFY2(!(::fcntl(fd, F_GETFL) & O_NONBLOCK), "a transfer must restore blocking mode");

    // Once the instrument reads, the line takes data again.
    QCOMPARE(m_pty->drain(), filled);
    QVERIFY(serial.setTimeouts(0, 0, 5000));
    QCOMPARE(serial.write("abc"), 3);
    QCOMPARE(m_pty->receive(3), QByteArray("abc"));
}

void tst_Serial::lostLineEndsReadWithError()
{
    Serial serial;
    QVERIFY(openRaw(serial));
    QVERIFY(serial.setTimeouts(0, 20000, 20000));
    m_pty->closeController();

    QElapsedTimer timer;
    timer.start();
    char buffer[16];
    QCOMPARE(serial.read(buffer, sizeof buffer), 0);
    QVERIFY2(timer.elapsed() < 10000, "a read on a lost line must not wait for its time-out");
    QCOMPARE(serial.errorString(), qt_error_string(EIO));
    QVERIFY(serial.isOpen());

    QCOMPARE(serial.write("abc"), 0);
    QCOMPARE(serial.errorString(), qt_error_string(EIO));
}

void tst_Serial::timeoutsNeedOpenPort()
{
    Serial serial;
    QVERIFY(!serial.setTimeouts(0, 100, 100));
    QCOMPARE(serial.errorString(), qt_error_string(EBADF));

    char buffer[4];
    QCOMPARE(serial.readData(buffer, sizeof buffer), 0);
    QCOMPARE(serial.writeData("abcd", 4), 0);
    serial.clearInputBuffer();

    QVERIFY(openRaw(serial));
    QVERIFY(!serial.setTimeouts(-1, 100, 100));
    QCOMPARE(serial.errorString(), qt_error_string(EINVAL));
    QVERIFY(serial.isOpen());
}

void tst_Serial::bytesAvailableCountsDriverAndBuffer_data()
{
    QTest::addColumn<bool>("buffered");
    QTest::newRow("unbuffered") << false;
    QTest::newRow("buffered") << true;
}

void tst_Serial::bytesAvailableCountsDriverAndBuffer()
{
    QFETCH(bool, buffered);

    Serial serial;
    QVERIFY(openRaw(
        serial, buffered ? QIODevice::ReadWrite : QIODevice::ReadWrite | QIODevice::Unbuffered));
    QCOMPARE(serial.bytesAvailable(), 0);
    QVERIFY(serial.setTimeouts(200, 0, 0));

    QVERIFY(m_pty->send("12345"));
    QTRY_COMPARE(serial.bytesAvailable(), 5);
    // A buffered device reads ahead: what it did not hand out stays in its
    // buffer and still counts.
    QCOMPARE(serial.read(2), QByteArray("12"));
    QCOMPARE(serial.bytesAvailable(), 3);

    QVERIFY(m_pty->send("678"));
    QTRY_COMPARE(serial.bytesAvailable(), 6);
    QCOMPARE(serial.read(6), QByteArray("345678"));
    QCOMPARE(serial.bytesAvailable(), 0);
}

void tst_Serial::clearInputBufferDropsPendingInput()
{
    Serial serial;
    QVERIFY(openRaw(serial));
    QVERIFY(serial.setTimeouts(0, 100, 0));

    QVERIFY(m_pty->send("stale"));
    QTRY_COMPARE(serial.bytesAvailable(), 5);
    serial.clearInputBuffer();
    QCOMPARE(serial.bytesAvailable(), 0);
    QCOMPARE(serial.read(5), QByteArray());

    QVERIFY(serial.setTimeouts(0, 5000, 0));
    QVERIFY(m_pty->send("fresh"));
    QCOMPARE(serial.read(5), QByteArray("fresh"));
}

QTEST_GUILESS_MAIN(tst_Serial)
#include "tst_serial.moc"
