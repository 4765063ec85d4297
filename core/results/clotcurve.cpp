#include "analysisresult.h"
#include "curvecodec.h"

#include <QtCore/qdebug.h>

#include <cmath>
#include <limits>

namespace {

// The smallest reading the conversion divides by, and the largest density
// it reports.
constexpr double MinReading = 2.220446049250313e-16;
constexpr double MaxDensity = 5.0;
// The baseline is taken from this x on (or from the segment's start when
// the segment begins later).
constexpr double BaselineStart = 3.0;

// Index arithmetic runs in 64 bits and saturates here, so that a tiny or
// odd step cannot overflow an integer conversion.
constexpr qint64 IndexLimit = qint64(1) << 52;

qint64 truncated(double d)
{
    if (d != d)
        return 0;
    if (d >= double(IndexLimit))
        return IndexLimit;
    if (d <= -double(IndexLimit))
        return -IndexLimit;
    return qint64(d);
}

// Rounds to the nearest integer, halves upwards (so -2.5 gives -2).
qint64 nearest(double d)
{
    if (d >= 0.0)
        return truncated(d + 0.5);
    const qint64 m = truncated(d - 1.0);
    return m + truncated(d - double(m) + 0.5);
}

template<typename T> T maxOf(T a, T b)
{
    return a < b ? b : a;
}

template<typename T> T minOf(T a, T b)
{
    return a < b ? a : b;
}

// Turns the readings of one segment into optical density against the
// average of the points in one unit of x from the baseline start on.
void convertToDensity(ClotCurve::Segment &segment)
{
    const qint64 count = segment.values.size();
    const double t0 = maxOf(segment.start, BaselineStart);
    const qint64 first = maxOf<qint64>(nearest((t0 - segment.start) / segment.step), 0);
    const qint64 width = maxOf<qint64>(1, nearest(1.0 / segment.step));
    const qint64 n = minOf(count - first, width);

    double *v = segment.values.data();
    if (n <= 0) {
        std::fill(v, v + count, 0.0);
        return;
    }

    double sum = 0.0;
    for (qint64 i = first; i < first + n; ++i)
        sum += v[i];
    const double baseline = sum / double(n);

    const qint64 firstDensity = first + n / 2;
    std::fill(v, v + firstDensity, 0.0);
    // Two passes: the divisions vectorise on their own, and the logarithm
    // then no longer waits for a division per point.
    for (qint64 i = firstDensity; i < count; ++i)
        v[i] = baseline / maxOf(v[i], MinReading);
    for (qint64 i = firstDensity; i < count; ++i)
        v[i] = minOf(MaxDensity, std::log10(v[i]));
}

// The segment that holds point i of the curve, and the point's index in it;
// null when the curve has no point i.
const ClotCurve::Segment *findPoint(
    const QVector<ClotCurve::Segment> &segments, int i, qsizetype *local)
{
    if (i < 0)
        return nullptr;
    qsizetype j = i;
    for (const ClotCurve::Segment &segment : segments) {
        if (j < segment.values.size()) {
            *local = j;
            return &segment;
        }
        j -= segment.values.size();
    }
    return nullptr;
}

} // namespace

int ClotCurve::size() const
{
    qsizetype total = 0;
    for (const Segment &segment : m_segments)
        total += segment.values.size();
    return int(qMin<qsizetype>(total, std::numeric_limits<int>::max()));
}

double ClotCurve::x(int i) const
{
    qsizetype j;
    const Segment *segment = findPoint(m_segments, i, &j);
    return segment ? double(j) * segment->step + segment->start : 0.0;
}

double ClotCurve::y(int i) const
{
    qsizetype j;
    const Segment *segment = findPoint(m_segments, i, &j);
    return segment ? segment->values.at(j) : 0.0;
}

void ClotCurve::append(const Segment &segment)
{
    m_segments.append(segment);
}

void ClotCurve::append(double start, double step, const QVector<double> &values)
{
    m_segments.append(Segment {start, step, values});
}

void ClotCurve::remove(int index, int count)
{
    if (index < 0 || count <= 0)
        return;
    qsizetype position = index;
    qsizetype remaining = count;
    qsizetype i = 0;
    while (i < m_segments.size() && remaining > 0) {
        // Read through a const reference so that a call that removes
        // nothing leaves the shared storage alone.
        const qsizetype n = std::as_const(m_segments).at(i).values.size();
        if (position >= n) {
            position -= n;
            ++i;
            continue;
        }
        const qsizetype k = qMin(remaining, n - position);
        QVector<double> &values = m_segments[i].values;
        values.remove(position, k);
        remaining -= k;
        if (values.isEmpty()) {
            m_segments.removeAt(i);
            position = 0;
            continue;
        }
        position = 0;
        ++i;
    }
}

ClotCurve ClotCurve::simplified() const
{
    return *this;
}

ClotCurve ClotCurve::toType(PointType type) const
{
    if (type == m_type || type != OpticalDensity || m_type != Intensity)
        return *this;
    ClotCurve converted = simplified();
    converted.setType(OpticalDensity);
    if (!converted.m_segments.isEmpty())
        convertToDensity(converted.m_segments.first());
    return converted;
}

ClotCurve ClotCurve::fromBuffer(const QByteArray &buffer)
{
    ClotCurve curve;
    if (!CurveCodec::decode(buffer, &curve))
        qWarning("ClotCurve::fromBuffer: a damaged curve of %lld bytes promises far more points "
                 "than it holds; it was read as an empty curve",
            qlonglong(buffer.size()));
    return curve;
}
