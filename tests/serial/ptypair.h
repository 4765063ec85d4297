#ifndef PTYPAIR_H
#define PTYPAIR_H

#include <QtCore/qbytearray.h>
#include <QtCore/qdeadlinetimer.h>
#include <QtCore/qstring.h>

#include <cerrno>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

// A pseudo-terminal pair standing in for a serial line: the device under
// test opens the terminal side by its path, the test plays the instrument
// on the controller side. The pair keeps a descriptor of the terminal side
// itself so that the line stays up while the device opens and closes it.
class PtyPair
{
public:
    PtyPair()
    {
        if (::openpty(&m_controller, &m_terminal, nullptr, nullptr, nullptr) != 0)
            return;
        m_path = QString::fromLocal8Bit(::ttyname(m_terminal));
        ::fcntl(m_controller, F_SETFL, ::fcntl(m_controller, F_GETFL) | O_NONBLOCK);
    }
    ~PtyPair()
    {
        closeController();
        if (m_terminal >= 0)
            ::close(m_terminal);
    }
    PtyPair(const PtyPair &) = delete;
    PtyPair &operator=(const PtyPair &) = delete;

    bool isValid() const { return m_controller >= 0 && !m_path.isEmpty(); }
    // Absolute path of the terminal side, e.g. /dev/pts/3.
    QString path() const { return m_path; }
    int terminal() const { return m_terminal; }

    bool send(const QByteArray &data)
    {
        qsizetype done = 0;
        while (done < data.size()) {
            const ssize_t count
                = ::write(m_controller, data.constData() + done, data.size() - done);
            if (count > 0)
                done += count;
            else if (errno != EINTR && errno != EAGAIN)
                return false;
        }
        return true;
    }

    // Everything the device sent, waiting up to the given time for
    // `expected` bytes.
    QByteArray receive(qsizetype expected, int timeoutMs = 10000)
    {
        QByteArray data;
        QDeadlineTimer deadline(timeoutMs);
        char buffer[4096];
        while (data.size() < expected && !deadline.hasExpired()) {
            pollfd entry = {m_controller, POLLIN, 0};
            if (::poll(&entry, 1, int(deadline.remainingTime())) <= 0)
                continue;
            const ssize_t count = ::read(m_controller, buffer, sizeof buffer);
            if (count > 0)
                data.append(buffer, count);
        }
        return data;
    }

    // Reads whatever is waiting, until the line has been quiet for a moment.
    qsizetype drain()
    {
        qsizetype total = 0;
        char buffer[4096];
        pollfd entry = {m_controller, POLLIN, 0};
        while (::poll(&entry, 1, 200) > 0) {
            const ssize_t count = ::read(m_controller, buffer, sizeof buffer);
            if (count <= 0)
                break;
            total += count;
        }
        return total;
    }

    void closeController()
    {
        if (m_controller >= 0)
            ::close(m_controller);
        m_controller = -1;
    }

private:
    int m_controller = -1;
    int m_terminal = -1;
    QString m_path;
};

#endif // PTYPAIR_H
