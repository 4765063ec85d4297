#include "analysisresult.h"

#include <QtCore/qthread.h>
#include <QtTest/qtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

Q_DECLARE_METATYPE(AnalysisResult::ErrorCode)

class tst_AnalysisResult : public QObject
{
    Q_OBJECT

private slots:
    void defaultIsNull();
    void defaultsShareTheNullRecord();
    void classification_data();
    void classification();
    void errorTexts_data();
    void errorTexts();
    void errorTextPrecedence();
    void errorCodeConstructor();
    void setErrorKeepsValue();
    void flags();
    void fieldsSurviveDetach();
    void detachCopiesRecordNotCurve();
    void copiesAcrossThreads();
};

void tst_AnalysisResult::defaultIsNull()
{
    const AnalysisResult result;
    QVERIFY(result.isNull());
    QVERIFY(!result.isValid());
    QCOMPARE(result.error(), AnalysisResult::NullResult);
    QCOMPARE(result.value(), 0.0);
    QCOMPARE(double(result), 0.0);
    QCOMPARE(result.od(), 0.0);
    QCOMPARE(result.flags(), 0);
    QCOMPARE(result.id(), 0);
    QCOMPARE(result.ch(), 0);
    QCOMPARE(result.version(), 0);
    QCOMPARE(result.recordId(), 0);
    QVERIFY(result.curve().isEmpty());
    QCOMPARE(result.curve().type(), ClotCurve::Intensity);
    QCOMPARE(result.errorText(), QStringLiteral("结果为空"));
}

void tst_AnalysisResult::defaultsShareTheNullRecord()
{
    const int before = AnalysisResult::shared_null.ref.loadRelaxed();
    QVERIFY(before >= 1);
    {
        AnalysisResult a;
        AnalysisResult b;
        QVERIFY(a.isCopyOf(b));
        QCOMPARE(AnalysisResult::shared_null.ref.loadRelaxed(), before + 2);

        b.setId(5);
        QVERIFY(!a.isCopyOf(b));
        QCOMPARE(a.id(), 0);
        QCOMPARE(b.id(), 5);
        QCOMPARE(AnalysisResult::shared_null.id, 0);
        QCOMPARE(AnalysisResult::shared_null.ref.loadRelaxed(), before + 1);

        // Assigning a null result back shares the null record again.
        b = a;
        QVERIFY(b.isCopyOf(a));
        AnalysisResult moved;
        moved = AnalysisResult(2.0);
        QCOMPARE(moved.value(), 2.0);
    }
    QCOMPARE(AnalysisResult::shared_null.ref.loadRelaxed(), before);
}

void tst_AnalysisResult::classification_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<AnalysisResult::ErrorCode>("error");

    QTest::newRow("zero") << 0.0 << AnalysisResult::NullResult;
    QTest::newRow("negative zero") << -0.0 << AnalysisResult::NullResult;
    QTest::newRow("not clotted") << 999.9 << AnalysisResult::NotClotted;
    QTest::newRow("next to not clotted")
        << std::nextafter(999.9, 1000.0) << AnalysisResult::NoError;
    QTest::newRow("ordinary") << 12.5 << AnalysisResult::NoError;
    QTest::newRow("negative") << -3.0 << AnalysisResult::NoError;
    QTest::newRow("smallest denormal")
        << std::numeric_limits<double>::denorm_min() << AnalysisResult::NoError;
    QTest::newRow("infinity") << std::numeric_limits<double>::infinity() << AnalysisResult::NoError;
    QTest::newRow("NaN") << std::numeric_limits<double>::quiet_NaN() << AnalysisResult::NoError;
}

void tst_AnalysisResult::classification()
{
    QFETCH(double, value);
    QFETCH(AnalysisResult::ErrorCode, error);

    // The constructor and setValue classify alike, whatever the state was.
    const AnalysisResult constructed(value);
    QCOMPARE(constructed.error(), error);

    for (AnalysisResult::ErrorCode before :
        {AnalysisResult::NullResult, AnalysisResult::InvalidMethod, AnalysisResult::NotClotted}) {
        AnalysisResult result(before);
        result.setValue(value);
        QCOMPARE(result.error(), error);
        const double stored = result.value();
        QVERIFY(std::memcmp(&stored, &value, sizeof value) == 0);
    }
}

void tst_AnalysisResult::errorTexts_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("text");

    QTest::newRow("NoError") << 0 << QString();
    QTest::newRow("InvalidValue") << 1 << QStringLiteral("无效的值");
    QTest::newRow("UnknownError") << 2 << QStringLiteral("未知错误");
    QTest::newRow("NullResult") << 3 << QStringLiteral("结果为空");
    QTest::newRow("NoStandardCurve") << 4 << QStringLiteral("无标准曲线");
    QTest::newRow("InvalidStandardCurve") << 5 << QStringLiteral("标准曲线无效");
    QTest::newRow("StandardCurveSetupError") << 6 << QStringLiteral("标准曲线设置错误");
    QTest::newRow("InvalidMethod") << 7 << QStringLiteral("无效的计算方法");
    QTest::newRow("MissingParameter") << 8 << QStringLiteral("计算所需的参数不存在");
    QTest::newRow("NotClotted") << 9 << QString();
    QTest::newRow("past the table") << 10 << QString();
    QTest::newRow("negative") << -1 << QString();
    QTest::newRow("large") << 0x7fffffff << QString();
}

void tst_AnalysisResult::errorTexts()
{
    QFETCH(int, code);
    QFETCH(QString, text);

    AnalysisResult result(3.5);
    result.setError(AnalysisResult::ErrorCode(code));
    QCOMPARE(result.errorText(), text);
    QCOMPARE(int(result.error()), code);
    QCOMPARE(result.isValid(), code == 0);
    QCOMPARE(result.isNull(), code == 3);
}

void tst_AnalysisResult::errorTextPrecedence()
{
    AnalysisResult result;
    result.setErrorText(QStringLiteral("试剂不足"));
    QCOMPARE(result.error(), AnalysisResult::UnknownError);
    QCOMPARE(result.errorText(), QStringLiteral("试剂不足"));

    // setValue re-classifies but keeps the caller's text.
    result.setValue(12.5);
    QVERIFY(result.isValid());
    QCOMPARE(result.errorText(), QStringLiteral("试剂不足"));

    // setError drops it.
    result.setErrorText(QStringLiteral("试剂不足"));
    result.setError(AnalysisResult::InvalidMethod);
    QCOMPARE(result.errorText(), QStringLiteral("无效的计算方法"));

    // An empty text still sets UnknownError, whose built-in text then shows.
    result.setErrorText(QString());
    QCOMPARE(result.error(), AnalysisResult::UnknownError);
    QCOMPARE(result.errorText(), QStringLiteral("未知错误"));

    // clearErrorText keeps the code.
    result.setErrorText(QStringLiteral("x"));
    result.clearErrorText();
    QCOMPARE(result.error(), AnalysisResult::UnknownError);
    QCOMPARE(result.errorText(), QStringLiteral("未知错误"));
}

void tst_AnalysisResult::errorCodeConstructor()
{
    const AnalysisResult result(AnalysisResult::MissingParameter);
    QCOMPARE(result.value(), 0.0);
    QCOMPARE(result.error(), AnalysisResult::MissingParameter);
    QCOMPARE(result.errorText(), QStringLiteral("计算所需的参数不存在"));
    QVERIFY(!result.isCopyOf(AnalysisResult()));
}

void tst_AnalysisResult::setErrorKeepsValue()
{
    AnalysisResult result;
    result.setError(AnalysisResult::NoError);
    QVERIFY(result.isValid());
    QCOMPARE(result.value(), 0.0);

    result.setValue(999.9);
    result.setError(AnalysisResult::NullResult);
    QVERIFY(result.isNull());
    QCOMPARE(result.value(), 999.9);
}

void tst_AnalysisResult::flags()
{
    AnalysisResult result;
    result.setFlags(0x1000);
    QVERIFY(result.isManualTest());

    // Bits that mean nothing to the library are kept.
    result.setFlags(0x1000 | 0x40000 | lab::DilutionResult);
    result.setManualTest(false);
    QVERIFY(!result.isManualTest());
    QCOMPARE(result.flags(), 0x40000 | lab::DilutionResult);
    result.setManualTest(true);
    QCOMPARE(result.flags(), 0x1000 | 0x40000 | lab::DilutionResult);

    // A mask of two bits tests true when one of them is set.
    const auto limits = lab::ResultFlag(lab::LowerReportLimit | lab::UpperReportLimit);
    QVERIFY(!result.testFlag(limits));
    result.setFlag(lab::UpperReportLimit, true);
    QVERIFY(result.testFlag(limits));
    QVERIFY(!result.testFlag(lab::LowerReportLimit));

    // Clearing a mask clears all its bits and nothing else.
    result.setFlag(lab::LowerReportLimit, true);
    result.setFlag(limits, false);
    QCOMPARE(result.flags(), 0x1000 | 0x40000 | lab::DilutionResult);

    // Flags leave the state alone.
    QVERIFY(result.isNull());
}

void tst_AnalysisResult::fieldsSurviveDetach()
{
    ClotCurve curve;
    curve.append(0.0, 0.5, {1.0, 2.0});

    AnalysisResult original(7.25);
    original.setOD(0.42);
    original.setId(11);
    original.setCh(3);
    original.setVersion(2);
    original.setRecordId(99);
    original.setFlags(0x8010);
    original.setErrorText(QStringLiteral("文本"));
    original.setValue(7.25);
    original.setCurve(curve);

    AnalysisResult copy = original;
    QVERIFY(copy.isCopyOf(original));
    copy.setOD(0.5);
    QVERIFY(!copy.isCopyOf(original));

    for (const AnalysisResult *r : {&original, &copy}) {
        QCOMPARE(r->value(), 7.25);
        QCOMPARE(r->id(), 11);
        QCOMPARE(r->ch(), 3);
        QCOMPARE(r->version(), 2);
        QCOMPARE(r->recordId(), 99);
        QCOMPARE(r->flags(), 0x8010);
        QCOMPARE(r->errorText(), QStringLiteral("文本"));
        QVERIFY(r->isValid());
        QCOMPARE(r->curve().size(), 2);
    }
    QCOMPARE(original.od(), 0.42);
    QCOMPARE(copy.od(), 0.5);
}

void tst_AnalysisResult::detachCopiesRecordNotCurve()
{
    ClotCurve curve;
    curve.append(0.0, 0.1, QVector<double>(100000, 1.0));
    AnalysisResult original(5.0);
    original.setCurve(curve);
    const double *points = original.curve().segments().at(0).values.constData();

    AnalysisResult copy = original;
    copy.setId(1);
    QCOMPARE(copy.curve().segments().at(0).values.constData(), points);
    QCOMPARE(original.curve().segments().at(0).values.constData(), points);

    // Writing the copy's curve leaves the original's curve as it was.
    ClotCurve changed = copy.curve();
    changed.remove(0, 10);
    copy.setCurve(changed);
    QCOMPARE(copy.curve().size(), 99990);
    QCOMPARE(original.curve().size(), 100000);
}

// Handles of one record are copied, written and released in several
// threads at once; the record's count must come out right (the sanitizer
// build also checks that nothing is freed twice or leaked).
void tst_AnalysisResult::copiesAcrossThreads()
{
    AnalysisResult shared(42.0);
    shared.setErrorText(QStringLiteral("共享"));
    std::vector<std::unique_ptr<QThread>> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back(QThread::create([shared, t] {
            for (int i = 0; i < 20000; ++i) {
                AnalysisResult copy = shared;
                AnalysisResult another(copy);
                if (i % 3 == 0)
                    another.setId(t);
                copy = another;
            }
        }));
        threads.back()->start();
    }
    for (auto &thread : threads)
        QVERIFY(thread->wait(60000));
    threads.clear();

    AnalysisResult single(shared);
    QVERIFY(single.isCopyOf(shared));
    single.setId(1);
    QVERIFY(!single.isCopyOf(shared));
    QCOMPARE(shared.id(), 0);
    QCOMPARE(shared.errorText(), QStringLiteral("共享"));
}

QTEST_APPLESS_MAIN(tst_AnalysisResult)
#include "tst_analysisresult.moc"
