// Throughput of the curve's stored form, of the conversion to optical
// density and of copying results, each beside a reference measured in the
// same run. Prints one line per figure.
#include "analysisresult.h"
#include "curvecodec.h"

#include <QtCore/qbuffer.h>
#include <QtCore/qdatastream.h>
#include <QtCore/qelapsedtimer.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <vector>

namespace {

constexpr int CurvePoints = 1000000;
constexpr int Rounds = 15;

// Best of several rounds, in nanoseconds: the figure least disturbed by
// other work on a shared machine.
double bestNs(const std::function<void()> &work, int rounds = Rounds)
{
    double best = 1e300;
    for (int i = 0; i < rounds; ++i) {
        QElapsedTimer timer;
        timer.start();
        work();
        best = std::min(best, double(timer.nsecsElapsed()));
    }
    return best;
}

double mbPerSecond(qsizetype bytes, double ns)
{
    return double(bytes) / ns * 1e9 / (1024.0 * 1024.0);
}

// Keeps the optimiser from dropping work whose result is not used.
volatile double sink;

ClotCurve measuredCurve()
{
    QVector<double> values(CurvePoints);
    for (int i = 0; i < CurvePoints; ++i)
        values[i] = 20000.0 - 3.0 * std::sin(i * 0.001) * i * 0.001;
    ClotCurve curve;
    curve.append(0.0, 0.01, values);
    return curve;
}

void storedForm(const ClotCurve &curve)
{
    const QVector<double> values = curve.segments().at(0).values;
    const QByteArray blob = CurveCodec::encode(curve);
    const qsizetype bytes = blob.size();

    const double encodeNs = bestNs([&] { sink = CurveCodec::encode(curve).size(); });
    const double streamWriteNs = bestNs([&] {
        QByteArray out;
        QDataStream stream(&out, QIODevice::WriteOnly);
        stream << qint32(curve.type()) << quint32(1) << 0.0 << 0.01 << quint32(values.size());
        for (double v : values)
            stream << v;
        sink = out.size();
    });
    std::vector<char> target(bytes);
    const double memcpyNs = bestNs([&] {
        std::memcpy(target.data(), blob.constData(), bytes);
        sink = target[bytes / 2];
    });

    const double decodeNs = bestNs([&] { sink = ClotCurve::fromBuffer(blob).size(); });
    const double streamReadNs = bestNs([&] {
        QDataStream stream(blob);
        qint32 type;
        quint32 segments, count;
        double start, step;
        stream >> type >> segments >> start >> step >> count;
        QVector<double> read(count);
        for (double &v : read)
            stream >> v;
        sink = read.size();
    });

    std::printf("stored form of %d points (%lld bytes)\n", CurvePoints, qlonglong(bytes));
    std::printf("  encode            %8.0f MB/s\n", mbPerSecond(bytes, encodeNs));
    std::printf("  QDataStream write %8.0f MB/s   encode / stream = %.1fx\n",
        mbPerSecond(bytes, streamWriteNs), streamWriteNs / encodeNs);
    std::printf("  decode            %8.0f MB/s\n", mbPerSecond(bytes, decodeNs));
    std::printf("  QDataStream read  %8.0f MB/s   decode / stream = %.1fx\n",
        mbPerSecond(bytes, streamReadNs), streamReadNs / decodeNs);
    std::printf("  memcpy            %8.0f MB/s   encode / memcpy = %.2f, decode / memcpy = %.2f\n",
        mbPerSecond(bytes, memcpyNs), memcpyNs / encodeNs, memcpyNs / decodeNs);
}

void conversion(const ClotCurve &curve)
{
    const QVector<double> values = curve.segments().at(0).values;
    const double convertNs
        = bestNs([&] { sink = curve.toType(ClotCurve::OpticalDensity).y(CurvePoints - 1); });
    std::vector<double> out(values.size());
    const double log10Ns = bestNs([&] {
        for (qsizetype i = 0; i < values.size(); ++i)
            out[i] = std::log10(values[i]);
        sink = out.back();
    });
    std::printf("toType(OpticalDensity) on %d points\n", CurvePoints);
    std::printf("  toType            %8.2f ns/point\n", convertNs / CurvePoints);
    std::printf("  plain log10 loop  %8.2f ns/point   toType / log10 = %.2fx\n",
        log10Ns / CurvePoints, convertNs / log10Ns);
}

void copying()
{
    constexpr int Copies = 1000000;
    ClotCurve curve;
    curve.append(0.0, 0.1, QVector<double>(100000, 1.0));
    AnalysisResult result(12.5);
    result.setCurve(curve);
    // Built at run time: a literal's copy would not touch a count at all.
    const QString text = QString::number(12.5) + QStringLiteral(" s");

    const double resultNs = bestNs([&] {
        for (int i = 0; i < Copies; ++i) {
            AnalysisResult copy(result);
            sink = copy.value();
        }
    });
    const double stringNs = bestNs([&] {
        for (int i = 0; i < Copies; ++i) {
            QString copy(text);
            sink = copy.size();
        }
    });
    const double detachNs = bestNs([&] {
        for (int i = 0; i < 10000; ++i) {
            AnalysisResult copy(result);
            copy.setId(i);
            sink = copy.id();
        }
    });
    std::printf("copying an AnalysisResult holding a 100000-point curve\n");
    std::printf("  copy + release    %8.2f ns\n", resultNs / Copies);
    std::printf("  QString copy      %8.2f ns   result / QString = %.2fx\n", stringNs / Copies,
        resultNs / stringNs);
    std::printf("  copy + first write (detach) %8.2f ns\n", detachNs / 10000);
}

} // namespace

int main()
{
    const ClotCurve curve = measuredCurve();
    storedForm(curve);
    conversion(curve);
    copying();
    return 0;
}
