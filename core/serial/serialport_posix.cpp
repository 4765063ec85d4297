#include "serialport_posix.h"

#include <QtCore/qcoreapplication.h>
#include <QtCore/qdir.h>
#include <QtCore/qfile.h>
#include <QtCore/qfileinfo.h>
#include <QtCore/qhash.h>
#include <QtCore/qmutex.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <limits>
#include <utility>

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace SerialPortPosix {

namespace {

using Clock = std::chrono::steady_clock;

QString tr(const char *text)
{
    return QCoreApplication::translate("Serial", text);
}

void setSystemError(QString *errorString, int error)
{
    if (errorString)
        *errorString = qt_error_string(error);
}

// Windows keeps the time-outs in the driver for each open handle; termios
// has no equivalent, so they are kept here for each open descriptor.
struct TimeoutTable
{
    QMutex mutex;
    QHash<int, Timeouts> byDescriptor;
};
Q_GLOBAL_STATIC(TimeoutTable, timeoutTable)

bool timeoutsOf(int fd, Timeouts *timeouts)
{
    TimeoutTable *table = timeoutTable();
    QMutexLocker locker(&table->mutex);
    const auto it = table->byDescriptor.constFind(fd);
    if (it == table->byDescriptor.cend())
        return false;
    *timeouts = *it;
    return true;
}

bool speedOf(int baudRate, speed_t *speed)
{
    static const std::pair<int, speed_t> speeds[] = {
        {50, B50},
        {75, B75},
        {110, B110},
        {134, B134},
        {150, B150},
        {200, B200},
        {300, B300},
        {600, B600},
        {1200, B1200},
        {1800, B1800},
        {2400, B2400},
        {4800, B4800},
        {9600, B9600},
        {19200, B19200},
        {38400, B38400},
        {57600, B57600},
        {115200, B115200},
        {230400, B230400},
#ifdef B460800
        {460800, B460800},
        {500000, B500000},
        {576000, B576000},
        {921600, B921600},
        {1000000, B1000000},
        {1152000, B1152000},
        {1500000, B1500000},
        {2000000, B2000000},
#endif
    };
    for (const auto &entry : speeds) {
        if (entry.first == baudRate) {
            *speed = entry.second;
            return true;
        }
    }
    return false;
}

// A port name split into its text and its trailing number, so that ttyS10
// sorts after ttyS2.
std::pair<QString, qint64> sortKey(const QString &name)
{
    qsizetype digits = name.size();
    while (digits > 0 && name.at(digits - 1).isDigit())
        --digits;
    const qint64 number = digits < name.size() ? name.mid(digits).toLongLong() : -1;
    return {name.left(digits), number};
}

// UART drivers register all the lines they could drive; those without
// hardware report the port type 0 (unknown).
bool isPlaceholderUart(const QString &entry)
{
    QFile type(entry + QLatin1String("/type"));
    if (!type.open(QIODevice::ReadOnly))
        return false;
    return type.readAll().trimmed() == "0";
}

int millisecondsUntil(Clock::time_point time)
{
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(time - Clock::now()).count();
    return int(std::clamp<qint64>(left, 0, std::numeric_limits<int>::max()));
}

// The descriptor stays blocking for the program's own use; a transfer
// bounded by time-outs must never sleep inside read() or write(), so it runs
// non-blocking and waits in poll() instead.
class NonBlockingScope
{
public:
    explicit NonBlockingScope(int fd) : m_fd(fd), m_flags(::fcntl(fd, F_GETFL))
    {
        if (m_flags != -1 && !(m_flags & O_NONBLOCK))
            ::fcntl(m_fd, F_SETFL, m_flags | O_NONBLOCK);
    }
    ~NonBlockingScope()
    {
        if (m_flags != -1 && !(m_flags & O_NONBLOCK))
            ::fcntl(m_fd, F_SETFL, m_flags);
    }
    NonBlockingScope(const NonBlockingScope &) = delete;
    NonBlockingScope &operator=(const NonBlockingScope &) = delete;

private:
    int m_fd;
    int m_flags;
};

enum class Wait { Ready, TimedOut, Failed };

// Waits until fd is ready for events, or until the given time. A line that
// failed without being ready counts as an error. *revents tells a caller
// whether the line hung up.
Wait waitFor(int fd, short events, Clock::time_point until, short *revents, QString *errorString)
{
    for (;;) {
        const int timeout = millisecondsUntil(until);
        if (timeout == 0)
            return Wait::TimedOut;
        pollfd entry = {fd, events, 0};
        const int ready = ::poll(&entry, 1, timeout);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready < 0) {
            setSystemError(errorString, errno);
            return Wait::Failed;
        }
        if (ready == 0)
            continue; // the deadline is checked at the top
        *revents = entry.revents;
        if (entry.revents & events)
            return Wait::Ready;
        setSystemError(errorString, entry.revents & POLLNVAL ? EBADF : EIO);
        return Wait::Failed;
    }
}

enum class Step { Moved, Retry, Wait, Failed };

// What to do after one non-blocking read() or write(): count the bytes,
// try again at once, wait for the line, or give up with the error.
Step stepOf(ssize_t count, QString *errorString)
{
    if (count > 0)
        return Step::Moved;
    // A terminal with VMIN 0 answers 0 rather than EAGAIN when nothing waits.
    if (count == 0 || errno == EAGAIN || errno == EWOULDBLOCK)
        return Step::Wait;
    if (errno == EINTR)
        return Step::Retry;
    setSystemError(errorString, errno);
    return Step::Failed;
}

qint64 clampedCount(qint64 maxSize)
{
    // The system is handed a 32-bit count, as on every platform the device
    // was written for; larger requests are served in part.
    return std::clamp<qint64>(maxSize, 0, std::numeric_limits<qint32>::max());
}

qint64 readBlocking(int fd, char *data, qint64 size, QString *errorString)
{
    for (;;) {
        const ssize_t count = ::read(fd, data, size_t(size));
        if (count >= 0)
            return count;
        if (errno != EINTR) {
            setSystemError(errorString, errno);
            return 0;
        }
    }
}

qint64 writeBlocking(int fd, const char *data, qint64 size, QString *errorString)
{
    qint64 done = 0;
    while (done < size) {
        const ssize_t count = ::write(fd, data + done, size_t(size - done));
        if (count > 0) {
            done += count;
        } else if (count == 0) {
            break;
        } else if (errno != EINTR) {
            setSystemError(errorString, errno);
            break;
        }
    }
    return done;
}

// A read of n bytes ends when n bytes have arrived, when the gap after the
// last byte exceeds the interval (if one is set), or n + readTotal ms after
// it began, whichever comes first.
qint64 readTimed(int fd, char *data, qint64 size, const Timeouts &timeouts, QString *errorString)
{
    const Clock::time_point deadline
        = Clock::now() + std::chrono::milliseconds(size + timeouts.readTotal);
    const NonBlockingScope nonBlocking(fd);
    Clock::time_point lastByte;
    short revents = 0;
    qint64 done = 0;
    while (done < size) {
        const ssize_t count = ::read(fd, data + done, size_t(size - done));
        const Step step = stepOf(count, errorString);
        if (step == Step::Failed)
            break;
        if (step == Step::Moved) {
            done += count;
            lastByte = Clock::now();
        }
        if (step != Step::Wait)
            continue;
        // A terminal that hung up reads as end of file for ever: a lost line,
        // not a quiet one.
        if (count == 0 && (revents & POLLHUP)) {
            setSystemError(errorString, EIO);
            break;
        }
        // Nothing waiting: wait for more, within the interval and the total.
        Clock::time_point until = deadline;
        if (done > 0 && timeouts.readInterval > 0)
            until = std::min(until, lastByte + std::chrono::milliseconds(timeouts.readInterval));
        if (waitFor(fd, POLLIN, until, &revents, errorString) != Wait::Ready)
            break;
    }
    return done;
}

// A write of n bytes ends when all are handed to the driver, or n +
// writeTotal ms after it began.
qint64 writeTimed(
    int fd, const char *data, qint64 size, const Timeouts &timeouts, QString *errorString)
{
    const Clock::time_point deadline
        = Clock::now() + std::chrono::milliseconds(size + timeouts.writeTotal);
    const NonBlockingScope nonBlocking(fd);
    qint64 done = 0;
    while (done < size) {
        const ssize_t count = ::write(fd, data + done, size_t(size - done));
        const Step step = stepOf(count, errorString);
        if (step == Step::Failed)
            break;
        if (step == Step::Moved)
            done += count;
        if (step != Step::Wait)
            continue;
        short revents = 0;
        if (waitFor(fd, POLLOUT, deadline, &revents, errorString) != Wait::Ready)
            break;
    }
    return done;
}

} // namespace

QStringList enumeratePorts(const QString &ttyClassDir)
{
    const QDir dir(ttyClassDir);
    QStringList ports;
    const QStringList entries = dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::System);
    for (const QString &name : entries) {
        const QString entry = dir.filePath(name);
        if (QFileInfo::exists(entry + QLatin1String("/device/driver")) && !isPlaceholderUart(entry))
            ports.append(name);
    }
    ports.removeDuplicates();
    std::sort(ports.begin(), ports.end(), [](const QString &a, const QString &b) {
        const auto keyA = sortKey(a), keyB = sortKey(b);
        return keyA != keyB ? keyA < keyB : a < b;
    });
    return ports;
}

QByteArray devicePath(const QString &name)
{
    if (name.startsWith(QLatin1Char('/')))
        return QFile::encodeName(name);
    return QFile::encodeName(QLatin1String("/dev/") + name);
}

int openPort(const QString &name, QIODevice::OpenMode mode, QString *errorString)
{
    int access;
    if ((mode & QIODevice::ReadWrite) == QIODevice::ReadWrite)
        access = O_RDWR;
    else if (mode & QIODevice::ReadOnly)
        access = O_RDONLY;
    else if (mode & QIODevice::WriteOnly)
        access = O_WRONLY;
    else {
        if (errorString)
            *errorString = tr("The port must be opened for reading, writing or both");
        return -1;
    }

    // Non-blocking so that the open does not wait for the carrier; never the
    // controlling terminal; not inherited by child programs.
    const QByteArray path = devicePath(name);
    int fd;
    do {
        fd = ::open(path.constData(), access | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        setSystemError(errorString, errno);
        return -1;
    }

    auto fail = [fd, errorString](int error) {
        ::close(fd);
        setSystemError(errorString, error);
        return -1;
    };
    if (!::isatty(fd))
        return fail(ENOTTY);
    // TIOCEXCL keeps out later openers, except those running as root; the
    // advisory lock keeps out every opener that goes through this code.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0)
        return fail(errno == EWOULDBLOCK ? EBUSY : errno);
    if (::ioctl(fd, TIOCEXCL) != 0)
        return fail(errno);
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags == -1 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == -1)
        return fail(errno);
    return fd;
}

void closePort(int fd)
{
    if (fd < 0)
        return;
    {
        TimeoutTable *table = timeoutTable();
        QMutexLocker locker(&table->mutex);
        table->byDescriptor.remove(fd);
    }
    ::ioctl(fd, TIOCNXCL);
    ::close(fd); // also drops the advisory lock; never retried, the descriptor is gone
}

bool buildLineSettings(
    termios *tio, int baudRate, int dataBits, int parity, int stopBits, QString *errorString)
{
    auto fail = [errorString](const QString &text) {
        if (errorString)
            *errorString = text;
        return false;
    };
    speed_t speed;
    if (!speedOf(baudRate, &speed))
        return fail(tr("Unsupported baud rate: %1").arg(baudRate));
    static const tcflag_t sizes[] = {CS5, CS6, CS7, CS8};
    if (dataBits < 5 || dataBits > 8)
        return fail(tr("Unsupported number of data bits: %1").arg(dataBits));
    if (parity < 0 || parity > 4)
        return fail(tr("Unsupported parity: %1").arg(parity));
    if (stopBits == 1)
        return fail(tr("One and a half stop bits are not supported on this system"));
    if (stopBits != 0 && stopBits != 2)
        return fail(tr("Unsupported stop bits: %1").arg(stopBits));

    termios t = *tio;
    cfsetispeed(&t, speed);
    cfsetospeed(&t, speed);

    // CRTSCTS is the only hardware flow control termios knows; it covers CTS
    // on output and RTS on input together, so both go.
    t.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    // Receiver on, modem lines ignored: transfers never wait for the carrier.
    t.c_cflag |= sizes[dataBits - 5] | CREAD | CLOCAL;
    switch (parity) {
    case 1: // odd
        t.c_cflag |= PARENB | PARODD;
        break;
    case 2: // even
        t.c_cflag |= PARENB;
        break;
    case 3: // mark: with CMSPAR, PARODD makes the bit always 1
        t.c_cflag |= PARENB | CMSPAR | PARODD;
        break;
    case 4: // space
        t.c_cflag |= PARENB | CMSPAR;
        break;
    default:
        break;
    }
    if (stopBits == 2)
        t.c_cflag |= CSTOPB;

    // Binary transfers: bytes pass unchanged both ways, no line editing, no
    // echo, no signals, and a break does not flush the queues. XON/XOFF on
    // output goes; input flow control and the handling of parity errors
    // (INPCK, IGNPAR, PARMRK) stay as they were.
    t.c_iflag &= ~(BRKINT | ISTRIP | INLCR | IGNCR | ICRNL | IUCLC | IXON);
    t.c_oflag &= ~OPOST;
    t.c_lflag &= ~(ICANON | ECHO | ECHOE | ECHOK | ECHONL | ISIG | IEXTEN);
    // A read returns as soon as a byte is there; the time-outs do the rest.
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;

    *tio = t;
    return true;
}

bool setLineSettings(
    int fd, int baudRate, int dataBits, int parity, int stopBits, QString *errorString)
{
    termios current = {};
    if (::tcgetattr(fd, &current) != 0) {
        setSystemError(errorString, errno);
        return false;
    }
    termios wanted = current;
    if (!buildLineSettings(&wanted, baudRate, dataBits, parity, stopBits, errorString))
        return false;
    if (::tcsetattr(fd, TCSANOW, &wanted) != 0) {
        setSystemError(errorString, errno);
        return false;
    }
    // tcsetattr() succeeds when any part was taken; a UART that cannot run
    // at the rate quietly picks another. Talking at the wrong speed garbles
    // every byte, so that is a failure, with the old settings put back.
    termios applied = {};
    if (::tcgetattr(fd, &applied) == 0 && cfgetospeed(&applied) != cfgetospeed(&wanted)) {
        ::tcsetattr(fd, TCSANOW, &current);
        if (errorString)
            *errorString = tr("The port cannot run at %1 baud").arg(baudRate);
        return false;
    }
    return true;
}

bool setTimeouts(int fd, const Timeouts &timeouts, QString *errorString)
{
    if (::fcntl(fd, F_GETFD) == -1) {
        setSystemError(errorString, errno);
        return false;
    }
    if (timeouts.readInterval < 0 || timeouts.readTotal < 0 || timeouts.writeTotal < 0) {
        setSystemError(errorString, EINVAL);
        return false;
    }
    TimeoutTable *table = timeoutTable();
    QMutexLocker locker(&table->mutex);
    table->byDescriptor.insert(fd, timeouts);
    return true;
}

void purgeInput(int fd)
{
    ::tcflush(fd, TCIFLUSH);
}

// Unlike Windows, termios keeps no sticky error state that a status query
// would have to clear.
qint64 pendingInput(int fd)
{
    int count = 0;
    if (::ioctl(fd, FIONREAD, &count) != 0)
        return 0;
    return count;
}

qint64 readPort(int fd, char *data, qint64 maxSize, QString *errorString)
{
    const qint64 size = clampedCount(maxSize);
    Timeouts timeouts;
    if (!timeoutsOf(fd, &timeouts))
        return readBlocking(fd, data, size, errorString);
    return size > 0 ? readTimed(fd, data, size, timeouts, errorString) : 0;
}

qint64 writePort(int fd, const char *data, qint64 maxSize, QString *errorString)
{
    const qint64 size = clampedCount(maxSize);
    Timeouts timeouts;
    if (!timeoutsOf(fd, &timeouts))
        return writeBlocking(fd, data, size, errorString);
    return size > 0 ? writeTimed(fd, data, size, timeouts, errorString) : 0;
}

} // namespace SerialPortPosix
