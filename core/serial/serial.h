#ifndef SERIAL_H
#define SERIAL_H

#include "labcore_global.h"

#include <QtCore/qiodevice.h>
#include <QtCore/qmutex.h>
#include <QtCore/qstringlist.h>

// The device is its own lock. Code written for recursive QMutex objects asks
// for the lock by the type name "QMutex"; Qt 6 moved recursive locking into
// the separate class QRecursiveMutex, so that name is declared here as the
// interface id of QRecursiveMutex: qt_metacast("QMutex") and
// qobject_cast<QRecursiveMutex *>() both answer with the lock part.
Q_DECLARE_INTERFACE(QRecursiveMutex, "QMutex")

// A serial port as a sequential I/O device. Transfers are synchronous and
// bounded by the time-outs set with setTimeouts(). The lock part is never
// taken by the device itself; it serves the code that shares the device.
class LABCORE_EXPORT Serial : public QIODevice, public QRecursiveMutex
{
    Q_OBJECT
    Q_INTERFACES(QRecursiveMutex)

public:
    enum Parity { NoParity = 0, OddParity = 1, EvenParity = 2, MarkParity = 3, SpaceParity = 4 };
    enum StopBits { OneStop = 0, OneAndHalfStop = 1, TwoStop = 2 };

    explicit Serial(QObject *parent = nullptr);
    ~Serial() override;

    // Names of the serial ports the system knows, each once; they can be
    // given to setFileName() as they are.
    static QStringList EnumDevices();

    // A plain name (ttyS0) is looked up under /dev/, an absolute path is
    // used as given. Changing the name does not affect a port already open.
    void setFileName(const QString &name);
    QString fileName() const;

    // Opens unbuffered for reading and writing. Opening applies no line
    // settings or time-outs.
    bool open();
    bool open(OpenMode mode) override;
    void close() override;

    bool setSettings(int baudRate, int dataBits, Serial::Parity parity, Serial::StopBits stopBits);
    // A read of n bytes returns when n bytes have arrived, when the gap
    // between two bytes exceeds readInterval (0: no limit), or after
    // n + readTotal ms; a write of n bytes returns when all are handed over
    // or after n + writeTotal ms. Running out of time is not an error.
    // Until this is called on the open port, transfers wait as the
    // terminal's own settings say.
    bool setTimeouts(int readInterval, int readTotal, int writeTotal);
    void clearInputBuffer();

    // The system's handle of the port (a file descriptor here); all bits set
    // while closed.
    void *handle() const;

    bool isSequential() const override;
    qint64 bytesAvailable() const override;
    qint64 readData(char *data, qint64 maxSize) override;
    qint64 writeData(const char *data, qint64 maxSize) override;

private:
    int descriptor() const;

    QString m_fileName;
    void *m_handle;
};

#endif // SERIAL_H
