#include "analysisresult.h"
#include "profile.h"
#include "resultsfixture.h"
#include "testworkdir.h"

#include <QtCore/qtranslator.h>
#include <QtTest/qtest.h>

#include <limits>
#include <memory>

Q_DECLARE_METATYPE(AnalysisResult::ErrorCode)
Q_DECLARE_METATYPE(AnalysisResult::Format)

namespace {

constexpr int AllMarkers = lab::ManualInput | lab::DilutionResult | lab::LowerReportLimit
    | lab::UpperReportLimit | lab::LowerMarkLimit | lab::UpperMarkLimit;

// A result with the given value, then (unless -1) the given error code.
AnalysisResult makeResult(double value, int error, int flags)
{
    AnalysisResult result(value);
    if (error >= 0)
        result.setError(AnalysisResult::ErrorCode(error));
    result.setFlags(flags);
    return result;
}

} // namespace

// The markers are named settings whose first read is cached for the life of
// the settings store, so the order of these tests matters: first the
// defaults (through a translator that changes two of them), then texts
// that the laboratory set.
class tst_ResultText : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void markersReadOnlyWhenNeeded();
    void defaultTexts_data();
    void defaultTexts();
    void markers_data();
    void markers();
    void variants_data();
    void variants();
    void laboratoryMarkers();
    void emptyMarkers_data();
    void emptyMarkers();

private:
    std::unique_ptr<TestWorkDir> m_workDir;
    QTranslator m_translator;
};

void tst_ResultText::initTestCase()
{
    m_workDir = std::make_unique<TestWorkDir>();
    createDatabases();
    QVERIFY(m_translator.load(QStringLiteral(":/i18n/resulttext_en.qm")));
    QVERIFY(QCoreApplication::installTranslator(&m_translator));
    QVERIFY(Profile::instance().database().isOpen());
}

void tst_ResultText::markersReadOnlyWhenNeeded()
{
    const AnalysisResult result = makeResult(2.0, -1, lab::DilutionResult | lab::UpperMarkLimit);
    QCOMPARE(result.toString(AnalysisResult::WithMarkers, 'f', 1), QStringLiteral("! 2.0 ↑"));
    const QStringList keys = Profile::instance().keys();
    QVERIFY(keys.contains(QStringLiteral("dilution_result_flag")));
    QVERIFY(keys.contains(QStringLiteral("upper_mark_limit_flag")));
    for (const char *unread :
        {"manual_input_flag", "lower_report_limit_flag", "upper_report_limit_flag",
            "lower_mark_limit_flag", "result_not_clotted", "result_can_not_be_calculated"})
        QVERIFY2(!keys.contains(QLatin1String(unread)), unread);
}

void tst_ResultText::defaultTexts_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<int>("error");
    QTest::addColumn<int>("flags");
    QTest::addColumn<int>("format");
    QTest::addColumn<char>("numberFormat");
    QTest::addColumn<int>("precision");
    QTest::addColumn<QString>("text");

    const int with = AnalysisResult::WithMarkers;
    const int only = AnalysisResult::ValueOnly;
    QTest::newRow("fixed, one decimal") << 2.5 << -1 << 0 << with << 'f' << 1 << "2.5";
    QTest::newRow("value only, two decimals") << 2.5 << -1 << 0 << only << 'f' << 2 << "2.50";
    QTest::newRow("negative precision") << 2.5 << -1 << 0 << with << 'f' << -1 << "2.5";
    QTest::newRow("negative precision, long value")
        << 1234567.891 << -1 << 0 << only << 'e' << -5 << "1.23457e+06";
    QTest::newRow("exponent form") << 0.00012 << -1 << 0 << only << 'E' << 2 << "1.20E-04";
    QTest::newRow("no group separators") << 12345.5 << -1 << 0 << only << 'f' << 1 << "12345.5";
    QTest::newRow("all markers") << 12.5 << -1 << (AllMarkers & ~lab::LowerMarkLimit) << with << 'f'
                                 << 1 << "M!< 12.5 ↑";
    QTest::newRow("all markers, value only")
        << 12.5 << -1 << (AllMarkers & ~lab::LowerMarkLimit) << only << 'f' << 1 << "12.5";
    QTest::newRow("other format values show the value only")
        << 12.5 << -1 << AllMarkers << 7 << 'f' << 1 << "12.5";
    QTest::newRow("both mark limits") << 3.0 << -1 << (lab::LowerMarkLimit | lab::UpperMarkLimit)
                                      << with << 'f' << 1 << "3.0 LOW";
    QTest::newRow("upper report limit")
        << 3.0 << -1 << int(lab::UpperReportLimit) << with << 'f' << 0 << "> 3";
    QTest::newRow("unknown bits only") << 3.0 << -1 << 0x40000 << with << 'f' << 1 << "3.0";
    QTest::newRow("null") << 0.0 << -1 << AllMarkers << with << 'f' << 1 << "";
    QTest::newRow("not clotted") << 999.9 << -1 << AllMarkers << with << 'f' << 1 << "no clot";
    QTest::newRow("not clotted, value only") << 999.9 << -1 << 0 << only << 'g' << -1 << "no clot";
    QTest::newRow("null code at 999.9")
        << 999.9 << int(AnalysisResult::NullResult) << 0 << with << 'f' << 1 << "no clot";
    QTest::newRow("failed code at 999.9")
        << 999.9 << int(AnalysisResult::InvalidValue) << 0 << with << 'f' << 1 << "no clot";
    QTest::newRow("valid code at 999.9")
        << 999.9 << int(AnalysisResult::NoError) << 0 << with << 'f' << 1 << "999.9";
    QTest::newRow("not clotted code at another value")
        << 5.0 << int(AnalysisResult::NotClotted) << 0 << with << 'f' << 1 << "no clot";
    QTest::newRow("invalid method")
        << 0.0 << int(AnalysisResult::InvalidMethod) << AllMarkers << with << 'f' << 1 << "---.-";
    QTest::newRow("code outside the table") << 4.0 << 42 << 0 << with << 'f' << 1 << "---.-";
    QTest::newRow("NaN") << std::numeric_limits<double>::quiet_NaN() << -1 << 0 << with << 'f' << 1
                         << "nan";
}

void tst_ResultText::defaultTexts()
{
    QFETCH(double, value);
    QFETCH(int, error);
    QFETCH(int, flags);
    QFETCH(int, format);
    QFETCH(char, numberFormat);
    QFETCH(int, precision);
    QFETCH(QString, text);

    const AnalysisResult result = makeResult(value, error, flags);
    QCOMPARE(result.toString(AnalysisResult::Format(format), numberFormat, precision), text);
}

void tst_ResultText::markers_data()
{
    QTest::addColumn<int>("flags");
    QTest::addColumn<QString>("prefix");
    QTest::addColumn<QString>("suffix");

    QTest::newRow("none") << 0 << ""
                          << "";
    QTest::newRow("manual input") << int(lab::ManualInput) << "M"
                                  << "";
    QTest::newRow("dilution") << int(lab::DilutionResult) << "!"
                              << "";
    QTest::newRow("lower report limit") << int(lab::LowerReportLimit) << "<"
                                        << "";
    QTest::newRow("upper report limit") << int(lab::UpperReportLimit) << ">"
                                        << "";
    QTest::newRow("both report limits") << (lab::LowerReportLimit | lab::UpperReportLimit) << "<"
                                        << "";
    QTest::newRow("lower mark limit") << int(lab::LowerMarkLimit) << ""
                                      << "LOW";
    QTest::newRow("upper mark limit") << int(lab::UpperMarkLimit) << ""
                                      << "↑";
    QTest::newRow("manual test is no marker") << int(lab::ManualTest) << ""
                                              << "";
    QTest::newRow("everything") << -1 << "M!<"
                                << "LOW";
}

// The markers depend on the flags alone, whatever the result's state.
void tst_ResultText::markers()
{
    QFETCH(int, flags);
    QFETCH(QString, prefix);
    QFETCH(QString, suffix);

    for (const AnalysisResult &result : {makeResult(1.0, -1, flags), makeResult(0.0, -1, flags),
             makeResult(0.0, AnalysisResult::MissingParameter, flags)}) {
        QCOMPARE(result.prefix(), prefix);
        QCOMPARE(result.suffix(), suffix);
    }
}

void tst_ResultText::variants_data()
{
    QTest::addColumn<AnalysisResult>("result");
    QTest::addColumn<QVariant>("variant");

    QTest::newRow("default") << AnalysisResult() << QVariant();
    QTest::newRow("valid") << AnalysisResult(12.5) << QVariant(12.5);
    QTest::newRow("valid zero") << makeResult(0.0, AnalysisResult::NoError, 0) << QVariant(0.0);
    QTest::newRow("not clotted") << AnalysisResult(999.9) << QVariant(999.9);
    QTest::newRow("not clotted code")
        << makeResult(5.0, AnalysisResult::NotClotted, 0) << QVariant(5.0);
    QTest::newRow("null code at 999.9")
        << makeResult(999.9, AnalysisResult::NullResult, 0) << QVariant();
    QTest::newRow("invalid method") << AnalysisResult(AnalysisResult::InvalidMethod) << QVariant();
    QTest::newRow("unknown error")
        << makeResult(3.0, AnalysisResult::UnknownError, 0) << QVariant();
}

void tst_ResultText::variants()
{
    QFETCH(AnalysisResult, result);
    QFETCH(QVariant, variant);

    const QVariant actual = result.toVariant();
    QCOMPARE(actual.isValid(), variant.isValid());
    if (variant.isValid()) {
        QCOMPARE(actual.metaType(), QMetaType::fromType<double>());
        QCOMPARE(actual.toDouble(), variant.toDouble());
    }
}

// Texts a laboratory set replace the defaults at once, Chinese included,
// and are used as they are (no translation of stored texts).
void tst_ResultText::laboratoryMarkers()
{
    Profile &profile = Profile::instance();
    profile.set_manual_input_flag(QStringLiteral("手工"), false);
    profile.set_lower_mark_limit_flag(QStringLiteral("偏低"), false);
    profile.set_result_not_clotted(QStringLiteral("未凝固"), false);
    profile.set_result_can_not_be_calculated(QStringLiteral("无法计算"), false);

    QCOMPARE(makeResult(8.25, -1, lab::ManualInput | lab::LowerMarkLimit)
                 .toString(AnalysisResult::WithMarkers, 'f', 2),
        QStringLiteral("手工 8.25 偏低"));
    QCOMPARE(AnalysisResult(999.9).toString(), QStringLiteral("未凝固"));
    QCOMPARE(
        AnalysisResult(AnalysisResult::NoStandardCurve).toString(), QStringLiteral("无法计算"));
    QCOMPARE(AnalysisResult().errorText(), QStringLiteral("empty result"));
}

void tst_ResultText::emptyMarkers_data()
{
    QTest::addColumn<int>("flags");
    QTest::addColumn<QString>("text");

    QTest::newRow("empty prefix marker") << int(lab::DilutionResult) << "2.5";
    QTest::newRow("empty suffix marker") << int(lab::UpperMarkLimit) << "2.5";
    QTest::newRow("empty and set prefix markers")
        << (lab::DilutionResult | lab::UpperReportLimit) << "> 2.5";
    QTest::newRow("empty markers on both sides")
        << (lab::DilutionResult | lab::UpperMarkLimit) << "2.5";
}

// An empty marker adds nothing, not even its space.
void tst_ResultText::emptyMarkers()
{
    QFETCH(int, flags);
    QFETCH(QString, text);

    Profile::instance().set_dilution_result_flag(QString(), false);
    Profile::instance().set_upper_mark_limit_flag(QStringLiteral(""), false);
    QCOMPARE(makeResult(2.5, -1, flags).toString(AnalysisResult::WithMarkers, 'f', 1), text);
}

QTEST_GUILESS_MAIN(tst_ResultText)
#include "tst_resulttext.moc"
