// Cost of the common helpers, each beside a reference measured in the same
// run: crc16 against Qt's own table-driven CRC (qChecksum), fraction against
// a plain text-to-number conversion, eval against evaluating in one engine
// that is kept (what a caller saves by keeping an engine of its own).

#include "labglobal.h"

#include <QtCore/qbytearray.h>
#include <QtCore/qcoreapplication.h>
#include <QtCore/qelapsedtimer.h>
#include <QtCore/qrandom.h>
#include <QtQml/qjsengine.h>

#include <algorithm>
#include <cstdio>

namespace {

// Best of several rounds, in nanoseconds per call: the least disturbed
// round on a shared machine is the closest to the real cost.
template<typename Function> double bestNanosecondsPerCall(int calls, Function function)
{
    double best = 1e300;
    for (int round = 0; round < 15; ++round) {
        QElapsedTimer timer;
        timer.start();
        for (int i = 0; i < calls; ++i)
            function();
        best = std::min(best, double(timer.nsecsElapsed()) / calls);
    }
    return best;
}

volatile double doubleSink;
volatile unsigned sink;

void benchCrc16()
{
    QByteArray buffer(1 << 20, Qt::Uninitialized);
    QRandomGenerator generator(1);
    generator.fillRange(reinterpret_cast<quint32 *>(buffer.data()), buffer.size() / 4);
    const int size = int(buffer.size());

    const double crc = bestNanosecondsPerCall(20, [&] { sink = crc16(buffer.constData(), size); });
    const double reference = bestNanosecondsPerCall(
        20, [&] { sink = qChecksum(QByteArrayView(buffer), Qt::ChecksumIso3309); });

    const auto megabytesPerSecond = [size](double ns) {
        return size / ns * 1e9 / 1e6;
    };
    std::printf("crc16 over 1 MiB:      %8.1f MB/s   qChecksum %8.1f MB/s   ratio %.2f\n",
        megabytesPerSecond(crc), megabytesPerSecond(reference), reference / crc);
}

void benchFraction()
{
    const QString ratio = QStringLiteral("dilution 1/160");
    const QString plain = QStringLiteral("0.00625");
    bool ok = false;
    const double fractionNs
        = bestNanosecondsPerCall(200000, [&] { doubleSink = fraction(ratio, &ok); });
    const double toDoubleNs
        = bestNanosecondsPerCall(200000, [&] { doubleSink = plain.toDouble(&ok); });
    std::printf("fraction per call:     %8.1f ns     toDouble  %8.1f ns     ratio %.2f\n",
        fractionNs, toDoubleNs, fractionNs / toDoubleNs);
}

void benchEval()
{
    const QString program = QStringLiteral("(12.5 + 3) * 2 / 4");
    const double evalNs
        = bestNanosecondsPerCall(50, [&] { doubleSink = eval(program).toDouble(); });
    QJSEngine kept;
    const double keptNs
        = bestNanosecondsPerCall(50, [&] { doubleSink = kept.evaluate(program).toNumber(); });
    std::printf("eval per call:         %8.1f us     kept engine %6.1f us     ratio %.0f\n",
        evalNs / 1000, keptNs / 1000, evalNs / keptNs);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    benchCrc16();
    benchFraction();
    benchEval();
    return 0;
}
