#ifndef CURVECOMPARE_H
#define CURVECOMPARE_H

#include "analysisresult.h"

#include <QtCore/qstring.h>
#include <QtCore/qstringlist.h>

#include <cstring>

// Curves compared bit for bit: the stored form must keep every double as it
// was, -0.0 and NaN payloads included, which == on doubles cannot show.
inline bool sameBits(double a, double b)
{
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// Empty when both curves are equal bit for bit, else where they differ.
inline QString curveDifference(const ClotCurve &a, const ClotCurve &b)
{
    if (a.type() != b.type())
        return QStringLiteral("type %1 against %2").arg(a.type()).arg(b.type());
    const QVector<ClotCurve::Segment> sa = a.segments();
    const QVector<ClotCurve::Segment> sb = b.segments();
    if (sa.size() != sb.size())
        return QStringLiteral("%1 segments against %2").arg(sa.size()).arg(sb.size());
    for (qsizetype i = 0; i < sa.size(); ++i) {
        const ClotCurve::Segment &x = sa.at(i);
        const ClotCurve::Segment &y = sb.at(i);
        if (!sameBits(x.start, y.start) || !sameBits(x.step, y.step))
            return QStringLiteral("start or step of segment %1").arg(i);
        if (x.values.size() != y.values.size())
            return QStringLiteral("point count of segment %1").arg(i);
        for (qsizetype j = 0; j < x.values.size(); ++j) {
            if (!sameBits(x.values.at(j), y.values.at(j)))
                return QStringLiteral("point %1 of segment %2").arg(j).arg(i);
        }
    }
    return QString();
}

// The segments as text, start/step:[values], for readable test tables.
inline QString describeSegments(const ClotCurve &curve)
{
    QStringList parts;
    for (const ClotCurve::Segment &segment : curve.segments()) {
        QStringList values;
        for (double v : segment.values)
            values << QString::number(v);
        parts << QStringLiteral("%1/%2:[%3]")
                     .arg(segment.start)
                     .arg(segment.step)
                     .arg(values.join(QLatin1Char(',')));
    }
    return parts.join(QLatin1Char(' '));
}

#endif // CURVECOMPARE_H
