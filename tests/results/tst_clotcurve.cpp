#include "analysisresult.h"
#include "curvecompare.h"

#include <QtTest/qtest.h>

#include <algorithm>
#include <cmath>
#include <limits>

using Values = QVector<double>;

Q_DECLARE_METATYPE(ClotCurve::PointType)

namespace {

// Two segments: A (start 0.0, step 0.5, values 1..4), B (start 10.0, step
// 1.0, values 5..7), with empty segments before, between and after them
// where asked, since those must count for nothing in the numbering.
ClotCurve twoSegments(bool withEmptySegments = false)
{
    ClotCurve curve;
    if (withEmptySegments)
        curve.append(-1.0, 1.0, {});
    curve.append(0.0, 0.5, {1, 2, 3, 4});
    if (withEmptySegments)
        curve.append(5.0, 1.0, {});
    curve.append(10.0, 1.0, {5, 6, 7});
    if (withEmptySegments)
        curve.append(20.0, 1.0, {});
    return curve;
}

} // namespace

class tst_ClotCurve : public QObject
{
    Q_OBJECT

private slots:
    void emptyCurve();
    void segmentWithoutPoints();
    void pointAccess_data();
    void pointAccess();
    void remove_data();
    void remove();
    void removeDoesNotTouchSharedCopies();
    void copiesShareUntilWritten();
    void convert_data();
    void convert();
    void convertBaselineIsMean();
    void convertLeavesLaterSegmentsAndSource();
    void convertOddSteps_data();
    void convertOddSteps();
    void unsupportedConversions();
    void setTypeKeepsValues();
};

void tst_ClotCurve::emptyCurve()
{
    const ClotCurve curve;
    QVERIFY(curve.isEmpty());
    QCOMPARE(curve.size(), 0);
    QCOMPARE(curve.type(), ClotCurve::Intensity);
    QCOMPARE(curve.x(0), 0.0);
    QCOMPARE(curve.y(0), 0.0);

    const ClotCurve density = curve.toType(ClotCurve::OpticalDensity);
    QVERIFY(density.isEmpty());
    QCOMPARE(density.type(), ClotCurve::OpticalDensity);
}

void tst_ClotCurve::segmentWithoutPoints()
{
    ClotCurve curve;
    curve.append(ClotCurve::Segment {1.0, 0.1, {}});
    QVERIFY(!curve.isEmpty());
    QCOMPARE(curve.size(), 0);
    QCOMPARE(curve.x(0), 0.0);
}

void tst_ClotCurve::pointAccess_data()
{
    QTest::addColumn<bool>("withEmptySegments");
    QTest::addColumn<int>("index");
    QTest::addColumn<double>("x");
    QTest::addColumn<double>("y");

    for (bool empties : {false, true}) {
        const char *tag = empties ? "with empty segments" : "plain";
        QTest::addRow("%s: first", tag) << empties << 0 << 0.0 << 1.0;
        QTest::addRow("%s: inside A", tag) << empties << 3 << 1.5 << 4.0;
        QTest::addRow("%s: first of B", tag) << empties << 4 << 10.0 << 5.0;
        QTest::addRow("%s: last", tag) << empties << 6 << 12.0 << 7.0;
        QTest::addRow("%s: one past the end", tag) << empties << 7 << 0.0 << 0.0;
        QTest::addRow("%s: far past the end", tag) << empties << 1000 << 0.0 << 0.0;
    }
}

void tst_ClotCurve::pointAccess()
{
    QFETCH(bool, withEmptySegments);
    QFETCH(int, index);
    QFETCH(double, x);
    QFETCH(double, y);

    const ClotCurve curve = twoSegments(withEmptySegments);
    QCOMPARE(curve.size(), 7);
    QCOMPARE(curve.x(index), x);
    QCOMPARE(curve.y(index), y);
}

void tst_ClotCurve::remove_data()
{
    QTest::addColumn<bool>("withEmptySegments");
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("expected");

    const QString a = QStringLiteral("0/0.5:[1,2,3,4]");
    const QString b = QStringLiteral("10/1:[5,6,7]");

    QTest::newRow("across the boundary") << false << 2 << 3 << "0/0.5:[1,2] 10/1:[6,7]";
    QTest::newRow("first segment and one more") << false << 0 << 5 << "10/1:[6,7]";
    QTest::newRow("count past the end") << false << 5 << 100 << "0/0.5:[1,2,3,4] 10/1:[5]";
    QTest::newRow("index at the end") << false << 7 << 1 << a + ' ' + b;
    QTest::newRow("index far past the end") << false << 100 << 5 << a + ' ' + b;
    QTest::newRow("count zero") << false << 3 << 0 << a + ' ' + b;
    QTest::newRow("inside one segment") << false << 1 << 2 << "0/0.5:[1,4] 10/1:[5,6,7]";
    QTest::newRow("exactly the first segment") << false << 0 << 4 << b;
    QTest::newRow("exactly the last segment") << false << 4 << 3 << a;
    QTest::newRow("everything") << false << 0 << 7 << "";
    QTest::newRow("front of the second segment") << false << 4 << 1 << "0/0.5:[1,2,3,4] 10/1:[6,7]";
    QTest::newRow("last point of the first segment")
        << false << 3 << 1 << "0/0.5:[1,2,3] 10/1:[5,6,7]";

    // Segments that were empty before the call stay; emptied ones go.
    const QString e1 = QStringLiteral("-1/1:[]");
    const QString e2 = QStringLiteral("5/1:[]");
    const QString e3 = QStringLiteral("20/1:[]");
    QTest::newRow("empties: across the boundary")
        << true << 2 << 3 << e1 + " 0/0.5:[1,2] " + e2 + " 10/1:[6,7] " + e3;
    QTest::newRow("empties: first segment and one more")
        << true << 0 << 5 << e1 + ' ' + e2 + " 10/1:[6,7] " + e3;
    QTest::newRow("empties: everything") << true << 0 << 7 << e1 + ' ' + e2 + ' ' + e3;
    QTest::newRow("empties: index at the end")
        << true << 7 << 3 << e1 + ' ' + a + ' ' + e2 + ' ' + b + ' ' + e3;
}

void tst_ClotCurve::remove()
{
    QFETCH(bool, withEmptySegments);
    QFETCH(int, index);
    QFETCH(int, count);
    QFETCH(QString, expected);

    ClotCurve curve = twoSegments(withEmptySegments);
    curve.remove(index, count);
    QCOMPARE(describeSegments(curve), expected);
}

void tst_ClotCurve::removeDoesNotTouchSharedCopies()
{
    ClotCurve curve = twoSegments();
    const ClotCurve copy = curve;
    curve.remove(2, 3);
    QCOMPARE(curve.x(2), 10.0);
    QCOMPARE(curve.y(2), 6.0);
    QCOMPARE(describeSegments(copy), QStringLiteral("0/0.5:[1,2,3,4] 10/1:[5,6,7]"));
}

void tst_ClotCurve::copiesShareUntilWritten()
{
    ClotCurve curve = twoSegments();
    ClotCurve copy = curve;
    const double *firstValues = curve.segments().at(0).values.constData();
    const double *secondValues = curve.segments().at(1).values.constData();
    QCOMPARE(copy.segments().at(0).values.constData(), firstValues);

    // A removal that removes nothing must not copy anything.
    copy.remove(100, 1);
    QCOMPARE(copy.segments().at(0).values.constData(), firstValues);

    // Writing one segment copies that segment's points only.
    copy.remove(0, 1);
    QVERIFY(copy.segments().at(0).values.constData() != firstValues);
    QCOMPARE(copy.segments().at(1).values.constData(), secondValues);
    QCOMPARE(curve.size(), 7);
}

void tst_ClotCurve::convert_data()
{
    QTest::addColumn<double>("start");
    QTest::addColumn<double>("step");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("baselineFirst");
    QTest::addColumn<int>("baselineLength");

    QTest::newRow("starts before 3.0") << 0.0 << 0.1 << 100 << 30 << 10;
    QTest::newRow("starts after 3.0") << 5.0 << 0.1 << 100 << 0 << 10;
    QTest::newRow("starts at 3.0") << 3.0 << 0.5 << 10 << 0 << 2;
    QTest::newRow("negative start") << -1.0 << 0.5 << 12 << 8 << 2;
    QTest::newRow("quarter steps") << 2.0 << 0.25 << 10 << 4 << 4;
    QTest::newRow("halves round upwards") << 0.0 << 0.4 << 20 << 8 << 3;
    QTest::newRow("step above one") << 0.0 << 2.0 << 6 << 2 << 1;
    QTest::newRow("one baseline point") << 0.0 << 1.0 << 5 << 3 << 1;
    QTest::newRow("baseline cut short") << 0.0 << 0.1 << 33 << 30 << 3;
    QTest::newRow("baseline of the last point") << 0.0 << 0.1 << 31 << 30 << 1;
    QTest::newRow("baseline after the last point") << 0.0 << 1.0 << 3 << 3 << 0;
    QTest::newRow("baseline far after the last point") << 0.0 << 0.01 << 50 << 300 << 0;
}

// Readings before the baseline are 1.0, the baseline's own readings differ
// from each other and the later ones cycle through ordinary, tiny, zero and
// negative readings, so that a window that starts, ends or is averaged
// anywhere else changes the densities.
void tst_ClotCurve::convert()
{
    QFETCH(double, start);
    QFETCH(double, step);
    QFETCH(int, count);
    QFETCH(int, baselineFirst);
    QFETCH(int, baselineLength);

    const Values later = {1000.0, 100.0, 10.0, 0.0, -3.0, 1e-3, 2000.0};
    const int baselineEnd = baselineFirst + baselineLength;
    Values readings;
    for (int i = 0; i < count; ++i) {
        if (i < baselineFirst)
            readings << 1.0;
        else if (i < baselineEnd)
            readings << 100.0 * (i - baselineFirst + 1);
        else
            readings << later.at((i - baselineEnd) % later.size());
    }
    double sum = 0.0;
    for (int i = baselineFirst; i < baselineEnd; ++i)
        sum += readings.at(i);
    const double baseline = sum / baselineLength;

    ClotCurve curve;
    curve.append(start, step, readings);
    const ClotCurve density = curve.toType(ClotCurve::OpticalDensity);
    QCOMPARE(density.type(), ClotCurve::OpticalDensity);
    QCOMPARE(density.size(), count);

    // Before the middle of the baseline every value is 0.0, whatever the
    // reading was; so is every value when there is no baseline at all.
    const int zeros = baselineLength > 0 ? baselineFirst + baselineLength / 2 : count;
    for (int i = 0; i < count; ++i) {
        const double reading = std::max(readings.at(i), 2.220446049250313e-16);
        const double expected = i < zeros ? 0.0 : std::min(5.0, std::log10(baseline / reading));
        QVERIFY2(density.y(i) == expected,
            qPrintable(QStringLiteral("point %1: %2, expected %3")
                           .arg(i)
                           .arg(density.y(i))
                           .arg(expected)));
        QCOMPARE(density.x(i), curve.x(i));
    }
}

void tst_ClotCurve::convertBaselineIsMean()
{
    // The baseline is the mean of indexes 30 to 39; 35 to 99 are converted.
    Values readings(100, 50.0);
    for (int i = 30; i < 40; ++i)
        readings[i] = 100.0 + (i - 30);
    ClotCurve curve;
    curve.append(0.0, 0.1, readings);
    const ClotCurve density = curve.toType(ClotCurve::OpticalDensity);

    const double baseline = 104.5;
    QCOMPARE(density.y(34), 0.0);
    QCOMPARE(density.y(35), std::log10(baseline / 105.0));
    QCOMPARE(density.y(39), std::log10(baseline / 109.0));
    QCOMPARE(density.y(40), std::log10(baseline / 50.0));
    QCOMPARE(density.y(99), std::log10(baseline / 50.0));
}

void tst_ClotCurve::convertLeavesLaterSegmentsAndSource()
{
    ClotCurve curve;
    curve.append(0.0, 1.0, {8, 8, 8, 8, 8, 4});
    curve.append(10.0, 1.0, {3, 2, 1});
    const ClotCurve density = curve.toType(ClotCurve::OpticalDensity);

    QCOMPARE(describeSegments(density),
        QStringLiteral("0/1:[0,0,0,0,0,%1] 10/1:[3,2,1]").arg(QString::number(std::log10(2.0))));
    QCOMPARE(density.type(), ClotCurve::OpticalDensity);
    QCOMPARE(describeSegments(curve), QStringLiteral("0/1:[8,8,8,8,8,4] 10/1:[3,2,1]"));
    QCOMPARE(curve.type(), ClotCurve::Intensity);
}

void tst_ClotCurve::convertOddSteps_data()
{
    QTest::addColumn<double>("step");

    QTest::newRow("zero") << 0.0;
    QTest::newRow("negative") << -0.5;
    QTest::newRow("tiny") << 1e-300;
    QTest::newRow("denormal") << std::numeric_limits<double>::denorm_min();
    QTest::newRow("huge") << 1e300;
    QTest::newRow("infinite") << std::numeric_limits<double>::infinity();
    QTest::newRow("NaN") << std::numeric_limits<double>::quiet_NaN();
}

// Steps outside the conversion's range give no defined densities, but the
// conversion must neither crash nor overflow its index arithmetic.
void tst_ClotCurve::convertOddSteps()
{
    QFETCH(double, step);
    for (double start : {0.0, 3.0, 5.0}) {
        ClotCurve curve;
        curve.append(start, step, Values(20, 100.0));
        const ClotCurve density = curve.toType(ClotCurve::OpticalDensity);
        QCOMPARE(density.size(), 20);
        QCOMPARE(density.type(), ClotCurve::OpticalDensity);
    }
}

void tst_ClotCurve::unsupportedConversions()
{
    ClotCurve curve = twoSegments();
    curve.setType(ClotCurve::OpticalDensity);

    const ClotCurve back = curve.toType(ClotCurve::Intensity);
    QCOMPARE(back.type(), ClotCurve::OpticalDensity);
    QCOMPARE(describeSegments(back), describeSegments(curve));

    const ClotCurve same = curve.toType(ClotCurve::OpticalDensity);
    QCOMPARE(same.type(), ClotCurve::OpticalDensity);
    QCOMPARE(describeSegments(same), describeSegments(curve));

    const ClotCurve other = twoSegments().toType(ClotCurve::PointType(7));
    QCOMPARE(other.type(), ClotCurve::Intensity);
    QCOMPARE(describeSegments(other), describeSegments(twoSegments()));
}

void tst_ClotCurve::setTypeKeepsValues()
{
    ClotCurve curve = twoSegments();
    curve.setType(ClotCurve::OpticalDensity);
    QCOMPARE(curve.type(), ClotCurve::OpticalDensity);
    QCOMPARE(describeSegments(curve), describeSegments(twoSegments()));
}

QTEST_APPLESS_MAIN(tst_ClotCurve)
#include "tst_clotcurve.moc"
