#include "curvecodec.h"

#include <QtCore/qendian.h>

#include <cstring>
#include <limits>

namespace {

constexpr qsizetype HeaderSize = 8;
constexpr qsizetype SegmentHeaderSize = 20;
constexpr qsizetype ValueSize = 8;

// Writes into a buffer sized in advance by encodedSize().
class Writer
{
public:
    explicit Writer(char *out) : m_out(reinterpret_cast<uchar *>(out)) { }

    void putInt32(qint32 value) { putUInt32(quint32(value)); }
    void putUInt32(quint32 value)
    {
        qToBigEndian(value, m_out);
        m_out += 4;
    }
    void putDouble(double value)
    {
        quint64 bits;
        std::memcpy(&bits, &value, sizeof bits);
        qToBigEndian(bits, m_out);
        m_out += 8;
    }
    void putDoubles(const QVector<double> &values)
    {
        qToBigEndian<quint64>(values.constData(), values.size(), m_out);
        m_out += values.size() * ValueSize;
    }

private:
    uchar *m_out;
};

// Reads the blob as if it went on with zero bytes after its end, but never
// further than ClotCurve::MaxMissingBytes past it.
class Reader
{
public:
    explicit Reader(const QByteArray &buffer)
        : m_data(reinterpret_cast<const uchar *>(buffer.constData())), m_size(buffer.size()),
          m_limit(buffer.size() + ClotCurve::MaxMissingBytes)
    { }

    // True when the next bytes items of size bytes each stay within the
    // limit; counts come from the blob, so the product is kept in 64 bits.
    bool canRead(quint64 items, qsizetype size) const
    {
        return items <= quint64(m_limit - m_position) / quint64(size);
    }

    // A number that lies wholly or partly past the end reads as 0.
    template<typename T> T take()
    {
        T value = 0;
        if (m_position + qsizetype(sizeof(T)) <= m_size)
            value = qFromBigEndian<T>(m_data + m_position);
        m_position += sizeof(T);
        return value;
    }
    double takeDouble()
    {
        const quint64 bits = take<quint64>();
        double value;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    }
    // Fills count values: those wholly inside the blob from it, the rest
    // with 0.0.
    void takeDoubles(double *out, qsizetype count)
    {
        const qsizetype inside = qBound<qsizetype>(0, (m_size - m_position) / ValueSize, count);
        qFromBigEndian<quint64>(m_data + m_position, inside, out);
        std::fill(out + inside, out + count, 0.0);
        m_position += count * ValueSize;
    }

private:
    const uchar *m_data;
    qsizetype m_size;
    qsizetype m_limit;
    qsizetype m_position = 0;
};

} // namespace

namespace CurveCodec {

qsizetype encodedSize(const ClotCurve &curve)
{
    qsizetype size = HeaderSize;
    for (const ClotCurve::Segment &segment : curve.segments())
        size += SegmentHeaderSize + segment.values.size() * ValueSize;
    return size;
}

QByteArray encode(const ClotCurve &curve)
{
    const QVector<ClotCurve::Segment> segments = curve.segments();
    QByteArray buffer(encodedSize(curve), Qt::Uninitialized);
    Writer writer(buffer.data());
    writer.putInt32(curve.type());
    writer.putUInt32(quint32(segments.size()));
    for (const ClotCurve::Segment &segment : segments) {
        writer.putDouble(segment.start);
        writer.putDouble(segment.step);
        writer.putUInt32(quint32(segment.values.size()));
        writer.putDoubles(segment.values);
    }
    return buffer;
}

bool decode(const QByteArray &buffer, ClotCurve *curve)
{
    *curve = ClotCurve();
    Reader reader(buffer);
    const auto type = ClotCurve::PointType(reader.take<qint32>());
    const quint32 segmentCount = reader.take<quint32>();
    if (!reader.canRead(segmentCount, SegmentHeaderSize))
        return false;

    QVector<ClotCurve::Segment> segments;
    segments.reserve(segmentCount);
    for (quint32 i = 0; i < segmentCount; ++i) {
        if (!reader.canRead(1, SegmentHeaderSize))
            return false;
        ClotCurve::Segment segment;
        segment.start = reader.takeDouble();
        segment.step = reader.takeDouble();
        const quint32 pointCount = reader.take<quint32>();
        if (!reader.canRead(pointCount, ValueSize))
            return false;
        segment.values.resize(pointCount);
        reader.takeDoubles(segment.values.data(), pointCount);
        segments.append(std::move(segment));
    }
    curve->setType(type);
    curve->setSegments(segments);
    return true;
}

} // namespace CurveCodec
