#ifndef CURVECODEC_H
#define CURVECODEC_H

#include "analysisresult.h"

// The stored form of a curve: big-endian, as a data stream with default
// settings writes a 32-bit integer, a vector length and 64-bit doubles.
//
//   qint32 point type, quint32 segment count, then per segment:
//   double start, double step, quint32 point count, that many doubles.
//
// Private to the library; the tests and the fuzz target compile it in.
namespace CurveCodec {

qsizetype encodedSize(const ClotCurve &curve);
QByteArray encode(const ClotCurve &curve);

// Fills *curve from the blob. Returns false, leaving an empty curve, when
// the blob's counts reach more than ClotCurve::MaxMissingBytes past its end.
bool decode(const QByteArray &buffer, ClotCurve *curve);

} // namespace CurveCodec

#endif // CURVECODEC_H
