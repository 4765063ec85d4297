#ifndef ANALYSISRESULT_H
#define ANALYSISRESULT_H

#include "labcore_global.h"

#include <QtCore/qatomic.h>
#include <QtCore/qbytearray.h>
#include <QtCore/qstring.h>
#include <QtCore/qvariant.h>
#include <QtCore/qvector.h>

namespace lab {

// Bits of AnalysisResult::flags(). Core reads the bits named here; every
// other bit is kept and returned unchanged.
enum ResultFlag : int {
    DilutionResult = 0x0002,
    LowerReportLimit = 0x0004,
    UpperReportLimit = 0x0008,
    LowerMarkLimit = 0x0010,
    UpperMarkLimit = 0x0020,
    ManualTest = 0x1000,
    ManualInput = 0x8000
};

// The kind of a sample. Statim and quality-control samples carry a sample
// prefix; every other value is an ordinary sample without one.
enum SampleType : int { NormalSample = 0, StatimSample = 1, QcSample = 2 };

} // namespace lab

// The measured signal of one test: runs of equally spaced points, each run
// a segment with its own start and spacing, addressed by one running index.
// Copies share their storage; a write copies only what it touches.
class LABCORE_EXPORT ClotCurve
{
public:
    enum PointType : qint32 { Intensity = 0, OpticalDensity = 1 };

    struct Segment
    {
        double start = 0.0;
        double step = 0.0;
        QVector<double> values;
    };

    constexpr ClotCurve() noexcept = default;

    PointType type() const { return m_type; }
    void setType(PointType type) { m_type = type; }

    QVector<Segment> segments() const { return m_segments; }
    void setSegments(const QVector<Segment> &segments) { m_segments = segments; }

    bool isEmpty() const { return m_segments.isEmpty(); }
    int size() const;
    double x(int i) const;
    double y(int i) const;

    void append(const Segment &segment);
    void append(double start, double step, const QVector<double> &values);
    void remove(int index, int count);

    ClotCurve simplified() const;
    // Only Intensity to OpticalDensity is converted (the first segment,
    // against its baseline); any other pair gives an unchanged copy. A step
    // of 0 or below gives densities without meaning, but no fault.
    ClotCurve toType(PointType type) const;

    // Inserts the curve as a new row of the curve table of data.db. A curve
    // without segments is not stored. Failures are reported as warnings.
    void save(int patientId, const QString &item, int version) const;

    // Rebuilds a curve from its stored form. A blob that ends early reads
    // as if it went on with zero bytes: a missing count is 0 and missing
    // values are 0.0; bytes after the last segment are ignored.
    //
    // Damaged blobs: the counts of a blob are trusted only as far as they
    // need at most MaxMissingBytes bytes beyond the end of the blob (that
    // is, 131072 missing values or 52428 missing segment records). A blob
    // whose counts promise more is not a cut curve but a damaged one: it
    // gives an empty curve of type Intensity and a warning. Decoding thus
    // holds at most about twice (blob size + MaxMissingBytes) bytes, and its
    // time is bounded by the same, whatever the counts say.
    static ClotCurve fromBuffer(const QByteArray &buffer);

    static constexpr qsizetype MaxMissingBytes = 1024 * 1024;

private:
    PointType m_type = Intensity;
    QVector<Segment> m_segments;
};

// One computed result: its value, optical density, curve, flags, error
// state and bookkeeping. Copies share one record with an atomic count; the
// first write after a copy copies the record (not the text or the points).
class LABCORE_EXPORT AnalysisResult
{
public:
    enum ErrorCode : qint32 {
        NoError = 0,
        InvalidValue = 1,
        UnknownError = 2,
        NullResult = 3,
        NoStandardCurve = 4,
        InvalidStandardCurve = 5,
        StandardCurveSetupError = 6,
        InvalidMethod = 7,
        MissingParameter = 8,
        NotClotted = 9
    };

    // What toString() shows for a valid result; every value other than
    // WithMarkers behaves as ValueOnly.
    enum Format : int { WithMarkers = 0, ValueOnly = 1 };

    struct Data
    {
        constexpr Data() noexcept = default;
        Data(const Data &other);
        Data &operator=(const Data &) = delete;

        QAtomicInt ref {1};
        int id = 0;
        double value = 0.0;
        double od = 0.0;
        int flags = 0;
        ErrorCode error = NullResult;
        QString errorText;
        ClotCurve curve;
        int ch = 0;
        int version = 0;
        int recordId = 0;
    };

    static constexpr double nullValue = 0.0;
    static constexpr double notClottedValue = 999.9;
    static constexpr double invalidOD = 0.0;

    // The record of every default-constructed result. Its count includes
    // one reference of the library's own, so no handle ever frees it.
    static Data shared_null;

    AnalysisResult() noexcept;
    AnalysisResult(double value);
    AnalysisResult(ErrorCode code);
    AnalysisResult(const AnalysisResult &other) noexcept : d(other.d) { d->ref.ref(); }
    AnalysisResult &operator=(const AnalysisResult &other) noexcept
    {
        other.d->ref.ref();
        release();
        d = other.d;
        return *this;
    }
    AnalysisResult &operator=(AnalysisResult &&other) noexcept
    {
        qSwap(d, other.d);
        return *this;
    }
    ~AnalysisResult() { release(); }

    double value() const { return d->value; }
    operator double() const { return d->value; }
    double od() const { return d->od; }
    int id() const { return d->id; }
    int flags() const { return d->flags; }
    int ch() const { return d->ch; }
    int version() const { return d->version; }
    int recordId() const { return d->recordId; }
    ErrorCode error() const { return d->error; }
    ClotCurve curve() const { return d->curve; }

    bool isValid() const { return d->error == NoError; }
    bool isNull() const { return d->error == NullResult; }
    bool isManualTest() const { return testFlag(lab::ManualTest); }
    bool testFlag(lab::ResultFlag flag) const { return (d->flags & flag) != 0; }
    bool isCopyOf(const AnalysisResult &other) const { return d == other.d; }
    QString errorText() const;

    void setValue(double value);
    void setOD(double od);
    void setId(int id);
    void setCh(int ch);
    void setVersion(int version);
    void setRecordId(int recordId);
    void setFlags(int flags);
    void setFlag(lab::ResultFlag flag, bool on = true);
    void setManualTest(bool on = true);
    void setError(ErrorCode code);
    void setErrorText(const QString &text);
    void clearErrorText();
    void setCurve(const ClotCurve &curve);

    // Display text: markers and placeholder texts come from the named
    // settings. A negative precision means the 'g' form with 6 digits.
    QString toString(Format format = WithMarkers, char numberFormat = 'f', int precision = 1) const;
    QString prefix() const;
    QString suffix() const;
    // The value as a double for valid and not-clotted results, else invalid.
    QVariant toVariant() const;

private:
    void detach();
    // Copying and releasing are inline: results are passed by value
    // everywhere, and a copy should cost no more than its count increment.
    void release() noexcept
    {
        if (!d->ref.deref())
            delete d;
    }

    Data *d;
};

#endif // ANALYSISRESULT_H
