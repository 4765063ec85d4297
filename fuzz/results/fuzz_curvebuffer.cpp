// Feeds arbitrary blobs to ClotCurve::fromBuffer, as a damaged data.db
// would. Every curve it gives must re-encode to a blob that decodes to the
// same curve, bit for bit, and no blob may make it hold much more than the
// blob itself.
#include "analysisresult.h"
#include "curvecodec.h"
#include "curvecompare.h"

#include <QtCore/qbytearray.h>
#include <QtCore/qlogging.h>

#include <cstdio>
#include <cstdlib>

namespace {

void quiet(QtMsgType, const QMessageLogContext &, const QString &) { }

[[noreturn]] void fail(const char *what, const QString &detail = QString())
{
    std::fprintf(stderr, "%s %s\n", what, qPrintable(detail));
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    // Damaged blobs are reported as warnings; thousands a second of them
    // would only slow the run down.
    qInstallMessageHandler(quiet);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray blob
        = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    const ClotCurve curve = ClotCurve::fromBuffer(blob);

    // The blob plus the allowance for missing bytes bounds the points.
    const qint64 bound = (qint64(size) + ClotCurve::MaxMissingBytes) / 8;
    if (curve.size() > bound)
        fail("more points than the bound allows");

    const QByteArray encoded = CurveCodec::encode(curve);
    if (encoded.size() > qsizetype(size) + ClotCurve::MaxMissingBytes + 8)
        fail("re-encoded blob larger than the bound allows");

    // Equal encodings mean equal curves bit for bit; the point-by-point
    // comparison only runs to say where they differ.
    const ClotCurve again = ClotCurve::fromBuffer(encoded);
    if (again.type() != curve.type() || again.segments().size() != curve.segments().size())
        fail("re-encoded curve differs in type or segments");
    if (CurveCodec::encode(again) != encoded)
        fail("re-encoded curve differs:", curveDifference(curve, again));
    return 0;
}
