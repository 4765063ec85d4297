#include "analysisresult.h"
#include "curvecodec.h"
#include "curvecompare.h"
#include "profile.h"
#include "resultsfixture.h"
#include "testworkdir.h"

#include <QtCore/qdatastream.h>
#include <QtCore/qdiriterator.h>
#include <QtCore/qprocess.h>
#include <QtCore/qstandardpaths.h>
#include <QtTest/qtest.h>

#include <limits>
#include <memory>

using Values = QVector<double>;

Q_DECLARE_METATYPE(ClotCurve)

namespace {

double fromBits(quint64 bits)
{
    double d;
    std::memcpy(&d, &bits, sizeof d);
    return d;
}

quint64 toBits(double d)
{
    quint64 bits;
    std::memcpy(&bits, &d, sizeof bits);
    return bits;
}

// The stored form as the framework's own data stream writes it, item by
// item: the reference the library's bulk writer is held against.
QByteArray streamWritten(const ClotCurve &curve)
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out << qint32(curve.type());
    const QVector<ClotCurve::Segment> segments = curve.segments();
    out << quint32(segments.size());
    for (const ClotCurve::Segment &segment : segments)
        out << segment.start << segment.step << segment.values;
    return bytes;
}

// A curve read back with the data stream's own operators.
ClotCurve streamRead(const QByteArray &bytes)
{
    QDataStream in(bytes);
    qint32 type = 0;
    quint32 count = 0;
    in >> type >> count;
    ClotCurve curve;
    curve.setType(ClotCurve::PointType(type));
    for (quint32 i = 0; i < count; ++i) {
        ClotCurve::Segment segment;
        in >> segment.start >> segment.step >> segment.values;
        curve.append(segment);
    }
    return curve;
}

ClotCurve exampleCurve()
{
    ClotCurve curve;
    curve.append(0.0, 0.5, {1.0, 2.0});
    return curve;
}

const QByteArray exampleBytes = QByteArray::fromHex("00000000"
                                                    "00000001"
                                                    "0000000000000000"
                                                    "3FE0000000000000"
                                                    "00000002"
                                                    "3FF0000000000000"
                                                    "4000000000000000");

// Doubles that only a bit-exact store keeps: signed zero, denormals,
// infinities and NaNs with payloads (quiet and signalling).
Values awkwardDoubles()
{
    return {-0.0, 0.0, std::numeric_limits<double>::denorm_min(),
        -std::numeric_limits<double>::denorm_min(), fromBits(0x000fffffffffffffULL),
        std::numeric_limits<double>::min(), std::numeric_limits<double>::max(),
        std::numeric_limits<double>::lowest(), std::numeric_limits<double>::infinity(),
        -std::numeric_limits<double>::infinity(), fromBits(0x7ff8000000000000ULL),
        fromBits(0x7ff8dead0000beefULL), fromBits(0xfff0000000000001ULL),
        fromBits(0x7ff4000000000123ULL), 0.1, 999.9};
}

QByteArray readCurveRow(qint64 id)
{
    QSqlQuery query(Profile::instance().dataDatabase());
    query.prepare(QStringLiteral("select curve from curve where id = ?"));
    query.addBindValue(id);
    if (!query.exec() || !query.next())
        return QByteArray();
    return query.value(0).toByteArray();
}

int curveRows()
{
    QSqlQuery query(Profile::instance().dataDatabase());
    if (!query.exec(QStringLiteral("select count(*) from curve")) || !query.next())
        return -1;
    return query.value(0).toInt();
}

qint64 lastCurveId()
{
    QSqlQuery query(Profile::instance().dataDatabase());
    if (!query.exec(QStringLiteral("select max(id) from curve")) || !query.next())
        return -1;
    return query.value(0).toLongLong();
}

} // namespace

class tst_CurveStorage : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void exampleForm();
    void matchesDataStream_data();
    void matchesDataStream();
    void bitExactRoundTrip();
    void shortBlobs_data();
    void shortBlobs();
    void damagedCounts_data();
    void damagedCounts();
    void corpusRoundTrip();

    void saveWritesRow();
    void saveSkipsEmptyCurve();
    void saveCheckedByPython();
    void saveWarns_data();
    void saveWarns();

private:
    std::unique_ptr<TestWorkDir> m_workDir;
};

void tst_CurveStorage::initTestCase()
{
    m_workDir = std::make_unique<TestWorkDir>();
    createDatabases();
    QVERIFY(Profile::instance().dataDatabase().isOpen());
}

void tst_CurveStorage::exampleForm()
{
    QCOMPARE(CurveCodec::encode(exampleCurve()).toHex(), exampleBytes.toHex());

    const ClotCurve curve = ClotCurve::fromBuffer(exampleBytes);
    QCOMPARE(curve.type(), ClotCurve::Intensity);
    QCOMPARE(curve.segments().size(), 1);
    QCOMPARE(curve.segments().at(0).start, 0.0);
    QCOMPARE(curve.segments().at(0).step, 0.5);
    QCOMPARE(curve.segments().at(0).values, Values({1.0, 2.0}));

    ClotCurve density = exampleCurve();
    density.setType(ClotCurve::OpticalDensity);
    QCOMPARE(CurveCodec::encode(density).left(4).toHex(), QByteArray("00000001"));
}

void tst_CurveStorage::matchesDataStream_data()
{
    QTest::addColumn<ClotCurve>("curve");

    ClotCurve curve;
    QTest::newRow("no segments") << curve;
    curve.append(1.0, 0.1, {});
    QTest::newRow("segment without points") << curve;
    curve.append(-2.5, 0.25, awkwardDoubles());
    curve.append(30.0, 1.0, Values(1000, 3.25));
    QTest::newRow("three segments") << curve;
    curve.setType(ClotCurve::OpticalDensity);
    QTest::newRow("optical density") << curve;
    curve.setType(ClotCurve::PointType(-7));
    QTest::newRow("unknown point type") << curve;
}

// The library's writer against the data stream's writer, and the library's
// reader against the data stream's reader, in both directions.
void tst_CurveStorage::matchesDataStream()
{
    QFETCH(ClotCurve, curve);

    const QByteArray reference = streamWritten(curve);
    QCOMPARE(CurveCodec::encode(curve).toHex(), reference.toHex());
    QCOMPARE(CurveCodec::encodedSize(curve), reference.size());
    QCOMPARE(curveDifference(ClotCurve::fromBuffer(reference), curve), QString());
    QCOMPARE(curveDifference(streamRead(CurveCodec::encode(curve)), curve), QString());
}

void tst_CurveStorage::bitExactRoundTrip()
{
    ClotCurve curve;
    const Values doubles = awkwardDoubles();
    for (double value : doubles)
        curve.append(value, -value, doubles);
    const ClotCurve back = ClotCurve::fromBuffer(CurveCodec::encode(curve));
    QCOMPARE(curveDifference(back, curve), QString());
    // The signalling NaN in particular must not come back quietened.
    QCOMPARE(toBits(back.y(13)), 0x7ff4000000000123ULL);
}

void tst_CurveStorage::shortBlobs_data()
{
    QTest::addColumn<QByteArray>("blob");
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("segments");

    // Two segments: (0.0, 0.5, [1, 2]) and (10.0, 1.0, [3]).
    ClotCurve curve = exampleCurve();
    curve.setType(ClotCurve::OpticalDensity);
    curve.append(10.0, 1.0, {3.0});
    const QByteArray full = CurveCodec::encode(curve);
    QCOMPARE(full.size(), 8 + 36 + 28);

    QTest::newRow("null") << QByteArray() << 0 << "";
    QTest::newRow("empty") << QByteArray("") << 0 << "";
    QTest::newRow("part of the type") << full.left(3) << 0 << "";
    QTest::newRow("type only") << full.left(4) << 1 << "";
    QTest::newRow("part of the segment count") << full.left(7) << 1 << "";
    QTest::newRow("segment count only") << full.left(8) << 1 << "0/0:[] 0/0:[]";
    QTest::newRow("part of the first start") << full.left(13) << 1 << "0/0:[] 0/0:[]";
    QTest::newRow("start and step") << full.left(24) << 1 << "0/0.5:[] 0/0:[]";
    QTest::newRow("point count only") << full.left(28) << 1 << "0/0.5:[0,0] 0/0:[]";
    QTest::newRow("cut inside the first value") << full.left(31) << 1 << "0/0.5:[0,0] 0/0:[]";
    QTest::newRow("first value only") << full.left(36) << 1 << "0/0.5:[1,0] 0/0:[]";
    QTest::newRow("cut inside the last value")
        << full.left(full.size() - 1) << 1 << "0/0.5:[1,2] 10/1:[0]";
    QTest::newRow("whole") << full << 1 << "0/0.5:[1,2] 10/1:[3]";
    QTest::newRow("trailing bytes") << full + QByteArray(13, '\x7f') << 1 << "0/0.5:[1,2] 10/1:[3]";
}

// A blob that ends early reads as if it went on with zero bytes; a number
// partly inside the blob counts as missing.
void tst_CurveStorage::shortBlobs()
{
    QFETCH(QByteArray, blob);
    QFETCH(int, type);
    QFETCH(QString, segments);

    const ClotCurve curve = ClotCurve::fromBuffer(blob);
    QCOMPARE(int(curve.type()), type);
    QCOMPARE(describeSegments(curve), segments);
    QCOMPARE(curve.isEmpty(), segments.isEmpty());
}

void tst_CurveStorage::damagedCounts_data()
{
    QTest::addColumn<QByteArray>("blob");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<int>("points");

    const auto header = [](quint32 segments) {
        QByteArray bytes;
        QDataStream out(&bytes, QIODevice::WriteOnly);
        out << qint32(0) << segments;
        return bytes;
    };
    const auto segment = [](quint32 points) {
        QByteArray bytes;
        QDataStream out(&bytes, QIODevice::WriteOnly);
        out << 0.0 << 0.1 << points;
        return bytes;
    };
    const qsizetype missingValues = ClotCurve::MaxMissingBytes / 8;
    const qsizetype missingSegments = ClotCurve::MaxMissingBytes / 20;

    QTest::newRow("most segments") << header(0xffffffffU) << false << 0;
    QTest::newRow("segments beyond the bound") << header(missingSegments + 1) << false << 0;
    QTest::newRow("segments at the bound") << header(missingSegments) << true << 0;
    QTest::newRow("most points") << header(1) + segment(0xffffffffU) << false << 0;
    QTest::newRow("points beyond the bound")
        << header(1) + segment(missingValues + 1) << false << 0;
    QTest::newRow("points at the bound")
        << header(1) + segment(missingValues) << true << int(missingValues);
    // What the blob holds widens the bound by as much.
    QTest::newRow("points at the bound plus the blob's own")
        << header(1) + segment(missingValues + 2) + QByteArray(16, '\0') << true
        << int(missingValues + 2);
    // The bound holds for the whole blob, not for each count on its own.
    QTest::newRow("two segments that together pass the bound")
        << header(2) + segment(missingValues - 1) << false << 0;
    QTest::newRow("most points in the second segment")
        << header(2) + segment(1) + QByteArray(8, '\x01') + segment(0xffffffffU) << false << 0;
}

// Counts that promise far more than a blob holds: the blob is damaged, not
// cut, and reading it must stay within a small bound of time and memory.
void tst_CurveStorage::damagedCounts()
{
    QFETCH(QByteArray, blob);
    QFETCH(bool, accepted);
    QFETCH(int, points);

    if (!accepted)
        QTest::ignoreMessage(QtWarningMsg,
            QRegularExpression(QStringLiteral("^ClotCurve::fromBuffer: a damaged "
                                              "curve of \\d+ bytes")));
    const ClotCurve curve = ClotCurve::fromBuffer(blob);
    QCOMPARE(curve.isEmpty(), !accepted);
    QCOMPARE(curve.type(), ClotCurve::Intensity);
    QCOMPARE(curve.size(), points);
}

// Inputs the fuzz target found interesting: each must decode, and its
// decoded curve must re-encode to a blob that decodes to the same curve.
void tst_CurveStorage::corpusRoundTrip()
{
    QDirIterator files(QStringLiteral(LABCORE_CURVE_CORPUS), QDir::Files);
    int count = 0;
    while (files.hasNext()) {
        QFile file(files.next());
        QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(file.fileName()));
        const QByteArray blob = file.readAll();
        ClotCurve decoded;
        if (!CurveCodec::decode(blob, &decoded)) {
            QVERIFY(decoded.isEmpty());
            ++count;
            continue;
        }
        const QByteArray encoded = CurveCodec::encode(decoded);
        QCOMPARE(encoded.toHex(), streamWritten(decoded).toHex());
        ClotCurve again;
        QVERIFY2(CurveCodec::decode(encoded, &again), qPrintable(file.fileName()));
        QVERIFY2(curveDifference(again, decoded).isEmpty(),
            qPrintable(file.fileName() + QLatin1String(": ") + curveDifference(again, decoded)));
        QCOMPARE(CurveCodec::encode(again), encoded);
        ++count;
    }
    QVERIFY2(count > 0, "the regression corpus is empty");
}

void tst_CurveStorage::saveWritesRow()
{
    const int before = curveRows();
    exampleCurve().save(17, QStringLiteral("凝血酶 PT"), 3);
    QCOMPARE(curveRows(), before + 1);

    QSqlQuery query(Profile::instance().dataDatabase());
    QVERIFY(query.exec(
        QStringLiteral(
            "select patientId, item, version, curve, typeof(curve) from curve where id = ")
        + QString::number(lastCurveId())));
    QVERIFY(query.next());
    QCOMPARE(query.value(0).toInt(), 17);
    QCOMPARE(query.value(1).toString(), QStringLiteral("凝血酶 PT"));
    QCOMPARE(query.value(2).toInt(), 3);
    QCOMPARE(query.value(3).toByteArray().toHex(), exampleBytes.toHex());
    QCOMPARE(query.value(4).toString(), QStringLiteral("blob"));

    // A segment without points is 28 bytes.
    ClotCurve empty;
    empty.append(1.0, 0.1, {});
    empty.save(18, QStringLiteral("APTT"), 1);
    const QByteArray blob = readCurveRow(lastCurveId());
    QCOMPARE(blob.size(), 28);
    QCOMPARE(curveDifference(ClotCurve::fromBuffer(blob), empty), QString());

    // A larger curve is rebuilt bit for bit from the row.
    ClotCurve curve;
    curve.setType(ClotCurve::OpticalDensity);
    curve.append(0.0, 0.1, awkwardDoubles());
    curve.append(100.0, 0.2, Values(5000, 1.5));
    curve.save(19, QStringLiteral("FIB"), 2);
    QCOMPARE(curveDifference(ClotCurve::fromBuffer(readCurveRow(lastCurveId())), curve), QString());
}

void tst_CurveStorage::saveSkipsEmptyCurve()
{
    QTest::failOnWarning(QRegularExpression(QStringLiteral(".*")));
    const int before = curveRows();
    ClotCurve().save(1, QStringLiteral("PT"), 1);
    QCOMPARE(curveRows(), before);
}

// Python's struct module reads the row that save() wrote: an independent
// decoder of the stored form.
void tst_CurveStorage::saveCheckedByPython()
{
    const QString python = QStandardPaths::findExecutable(QStringLiteral("python3"));
    if (python.isEmpty())
        QSKIP("python3 is not installed");

    ClotCurve curve;
    curve.setType(ClotCurve::OpticalDensity);
    curve.append(-1.5, 0.25, awkwardDoubles());
    curve.append(7.0, 1.0, {});
    curve.append(8.0, 2.0, {1.0, -2.0});
    curve.save(21, QStringLiteral("TT"), 4);
    const qint64 id = lastCurveId();

    const char *script = R"(
import sqlite3, struct, sys
blob = sqlite3.connect('data.db').execute('select curve from curve where id = ?',
                                           (int(sys.argv[1]),)).fetchone()[0]
kind, count = struct.unpack_from('>iI', blob, 0)
pos = 8
out = ['%d %d' % (kind, count)]
for _ in range(count):
    start, step, n = struct.unpack_from('>QQI', blob, pos)
    pos += 20
    values = struct.unpack_from('>%dQ' % n, blob, pos)
    pos += 8 * n
    out.append(' '.join('%016x' % v for v in (start, step) + values))
out.append('end %d of %d' % (pos, len(blob)))
print('\n'.join(out))
)";
    QProcess process;
    process.start(python, {QStringLiteral("-c"), QString::fromUtf8(script), QString::number(id)});
    QVERIFY(process.waitForFinished(60000));
    QCOMPARE(process.readAllStandardError(), QByteArray());
    QCOMPARE(process.exitCode(), 0);

    QStringList expected {QStringLiteral("1 3")};
    int size = 8;
    for (const ClotCurve::Segment &segment : curve.segments()) {
        QStringList words;
        for (double d : Values {segment.start, segment.step} + segment.values)
            words << QStringLiteral("%1").arg(toBits(d), 16, 16, QLatin1Char('0'));
        expected << words.join(QLatin1Char(' '));
        size += 20 + 8 * segment.values.size();
    }
    expected << QStringLiteral("end %1 of %1").arg(size);
    QCOMPARE(QString::fromUtf8(process.readAllStandardOutput()).trimmed(),
        expected.join(QLatin1Char('\n')));
}

void tst_CurveStorage::saveWarns_data()
{
    QTest::addColumn<QString>("setUp");
    QTest::addColumn<QString>("tearDown");
    QTest::addColumn<QStringList>("warnings");

    // Without the table the statement cannot be prepared, and the execute
    // step that still runs fails as well: two warnings.
    QTest::newRow("no curve table")
        << "alter table curve rename to saved_curve"
        << "alter table saved_curve rename to curve"
        << QStringList {"QSqlError\\(.*no such table: curve.*\\)", "QSqlError\\(.*\\)"};
    QTest::newRow("insert refused")
        << "create trigger refuse before insert on curve "
           "begin select raise(abort, 'curves are locked'); end"
        << "drop trigger refuse" << QStringList {"QSqlError\\(.*curves are locked.*\\)"};
}

// Each failed step says so once, with a location relative to the source
// tree (never the path of a build machine), and no row is written.
void tst_CurveStorage::saveWarns()
{
    QFETCH(QString, setUp);
    QFETCH(QString, tearDown);
    QFETCH(QStringList, warnings);

    QSqlQuery query(Profile::instance().dataDatabase());
    const int before = curveRows();
    QVERIFY2(query.exec(setUp), qPrintable(query.lastError().text()));
    for (const QString &warning : warnings)
        QTest::ignoreMessage(QtWarningMsg,
            QRegularExpression(QStringLiteral("^core/results/analysisresult\\(\\d+\\): ") + warning
                + QLatin1Char('$')));
    exampleCurve().save(1, QStringLiteral("PT"), 1);
    QVERIFY2(query.exec(tearDown), qPrintable(query.lastError().text()));
    QCOMPARE(curveRows(), before);

    exampleCurve().save(1, QStringLiteral("PT"), 1);
    QCOMPARE(curveRows(), before + 1);
}

QTEST_GUILESS_MAIN(tst_CurveStorage)
#include "tst_curvestorage.moc"
