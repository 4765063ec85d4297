#ifndef SERIALPORT_POSIX_H
#define SERIALPORT_POSIX_H

#include <QtCore/qiodevice.h>
#include <QtCore/qstring.h>
#include <QtCore/qstringlist.h>

#include <termios.h>

// The operating-system half of Serial on POSIX systems: terminal devices
// driven through termios. Each function stands for one service the device
// needs (enumerate, open, close, line settings, time-outs, purge, status,
// read, write); failures come back as false or a short count together with
// the text of the system error.
namespace SerialPortPosix {

struct Timeouts
{
    int readInterval = 0; // largest gap between two received bytes, 0: no limit
    int readTotal = 0; // added to 1 ms per requested byte
    int writeTotal = 0; // added to 1 ms per byte to write
};

// Names of the serial ports listed in a sysfs tty class directory: entries
// bound to a device driver, without the placeholders of UART drivers that
// found no hardware. Sorted with numbers compared by value (ttyS2 < ttyS10).
QStringList enumeratePorts(const QString &ttyClassDir = QStringLiteral("/sys/class/tty"));

// A plain name (ttyS0, ttyUSB0, pts/3) lives under /dev/; an absolute path
// is used as given.
QByteArray devicePath(const QString &name);

// Opens an existing terminal for exclusive use. Returns the descriptor,
// or -1 with *errorString set.
int openPort(const QString &name, QIODevice::OpenMode mode, QString *errorString);
void closePort(int fd);

// Changes *tio to the given line: speed, character size, parity, stop bits,
// raw binary transfers and no output flow control; every other setting is
// kept. On bad input *tio is left untouched and false is returned.
bool buildLineSettings(
    termios *tio, int baudRate, int dataBits, int parity, int stopBits, QString *errorString);
bool setLineSettings(
    int fd, int baudRate, int dataBits, int parity, int stopBits, QString *errorString);

// Installs the time-outs that readPort() and writePort() apply to fd until
// it is closed. Without them, transfers block as the terminal settings say.
bool setTimeouts(int fd, const Timeouts &timeouts, QString *errorString);

void purgeInput(int fd);
qint64 pendingInput(int fd);

// Never -1: on failure the count transferred so far is returned and
// *errorString holds the system's text.
qint64 readPort(int fd, char *data, qint64 maxSize, QString *errorString);
qint64 writePort(int fd, const char *data, qint64 maxSize, QString *errorString);

} // namespace SerialPortPosix

#endif // SERIALPORT_POSIX_H
