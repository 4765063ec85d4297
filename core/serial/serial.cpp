#include "serial.h"

#include "serialport_posix.h"

#include <cstdint>

namespace {

void *const invalidHandle = reinterpret_cast<void *>(intptr_t(-1));

} // namespace

Serial::Serial(QObject *parent) : QIODevice(parent), m_handle(invalidHandle) { }

Serial::~Serial()
{
    if (isOpen())
        close();
}

QStringList Serial::EnumDevices()
{
    return SerialPortPosix::enumeratePorts();
}

void Serial::setFileName(const QString &name)
{
    m_fileName = name;
}

QString Serial::fileName() const
{
    return m_fileName;
}

bool Serial::open()
{
    return open(QIODevice::ReadWrite | QIODevice::Unbuffered);
}

bool Serial::open(OpenMode mode)
{
    if (isOpen()) {
        qWarning("Serial::open: Serial (%s) is already open", m_fileName.toUtf8().constData());
        return false;
    }
    QString error;
    const int fd = SerialPortPosix::openPort(m_fileName, mode, &error);
    if (fd < 0) {
        setErrorString(error);
        return false;
    }
    m_handle = reinterpret_cast<void *>(intptr_t(fd));
    return QIODevice::open(mode);
}

void Serial::close()
{
    if (!isOpen())
        return;
    QIODevice::close();
    SerialPortPosix::closePort(descriptor());
    m_handle = invalidHandle;
}

bool Serial::setSettings(
    int baudRate, int dataBits, Serial::Parity parity, Serial::StopBits stopBits)
{
    if (!isOpen()) {
        qWarning("Serial::setSettings: File is not open");
        return false;
    }
    QString error;
    if (!SerialPortPosix::setLineSettings(
            descriptor(), baudRate, dataBits, parity, stopBits, &error)) {
        setErrorString(error);
        return false;
    }
    return true;
}

bool Serial::setTimeouts(int readInterval, int readTotal, int writeTotal)
{
    QString error;
    if (!SerialPortPosix::setTimeouts(
            descriptor(), {readInterval, readTotal, writeTotal}, &error)) {
        setErrorString(error);
        return false;
    }
    return true;
}

void Serial::clearInputBuffer()
{
    SerialPortPosix::purgeInput(descriptor());
}

void *Serial::handle() const
{
    return m_handle;
}

bool Serial::isSequential() const
{
    return true;
}

qint64 Serial::bytesAvailable() const
{
    return SerialPortPosix::pendingInput(descriptor()) + QIODevice::bytesAvailable();
}

qint64 Serial::readData(char *data, qint64 maxSize)
{
    QString error;
    const qint64 count = SerialPortPosix::readPort(descriptor(), data, maxSize, &error);
    if (!error.isEmpty())
        setErrorString(error);
    return count;
}

qint64 Serial::writeData(const char *data, qint64 maxSize)
{
    QString error;
    const qint64 count = SerialPortPosix::writePort(descriptor(), data, maxSize, &error);
    if (!error.isEmpty())
        setErrorString(error);
    return count;
}

int Serial::descriptor() const
{
    return int(reinterpret_cast<intptr_t>(m_handle));
}
