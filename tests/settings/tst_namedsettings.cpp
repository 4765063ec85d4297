#include "profile.h"
#include "testdatabase.h"
#include "testworkdir.h"

#include <QtTest/qtest.h>
#include <QtWidgets/qapplication.h>

#include <functional>
#include <memory>

namespace {

// One named setting reached through variants, so that a data table can
// drive all of them.
struct NamedSetting
{
    QString name;
    std::function<QVariant(Profile &, const QVariant &)> get;
    std::function<void(Profile &, const QVariant &, bool)> set;
    QVariant sample; // a value of the setting's own type
};

template<typename T> QVariant sampleOf(const QString &name);
template<> QVariant sampleOf<QString>(const QString &name)
{
    return QStringLiteral("值 ") + name;
}
template<> QVariant sampleOf<QColor>(const QString &name)
{
    const uint h = qHash(name);
    return QColor(h & 0xff, (h >> 8) & 0xff, (h >> 16) & 0xff);
}
template<> QVariant sampleOf<int>(const QString &name)
{
    return int(name.size() * 7);
}
template<> QVariant sampleOf<bool>(const QString &)
{
    return true;
}

const QList<NamedSetting> &namedSettings()
{
#define NAMED_SETTING(Type, name)                                           \
    NamedSetting {QStringLiteral(#name),                                    \
        [](Profile &p, const QVariant &defaultValue) {                      \
            return QVariant::fromValue(p.name(defaultValue.value<Type>())); \
        },                                                                  \
        [](Profile &p, const QVariant &value, bool save) {                  \
            p.set_##name(value.value<Type>(), save);                        \
        },                                                                  \
        sampleOf<Type>(QStringLiteral(#name))},
    static const QList<NamedSetting> settings = {LABCORE_PROFILE_NAMED_SETTINGS(NAMED_SETTING)};
#undef NAMED_SETTING
    return settings;
}

const NamedSetting &namedSetting(const QString &name)
{
    for (const NamedSetting &setting : namedSettings()) {
        if (setting.name == name)
            return setting;
    }
    qFatal("no named setting %s", qPrintable(name));
}

// The form a value of the setting's type takes in the table.
std::pair<QVariant, QString> storedForm(const QVariant &value)
{
    switch (value.metaType().id()) {
    case QMetaType::QColor:
        return {value.value<QColor>().name(), QStringLiteral("text")};
    case QMetaType::Bool:
        return {int(value.toBool()), QStringLiteral("integer")};
    case QMetaType::Int:
        return {value, QStringLiteral("integer")};
    default:
        return {value, QStringLiteral("text")};
    }
}

} // namespace

class tst_NamedSettings : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void tableOrder();
    void survivesRestart_data();
    void survivesRestart();
    void firstDefaultIsCached();
    void storedValueConversions_data();
    void storedValueConversions();
    void setWithoutSaveIsLostAtRestart_data();
    void setWithoutSaveIsLostAtRestart();
    void colourLosesAlpha();
    void cachedGetterIgnoresGenericChanges();

private:
    std::unique_ptr<Profile> start(const QList<std::pair<QString, QVariant>> &rows = {});

    std::unique_ptr<TestWorkDir> m_workDir;
};

void tst_NamedSettings::init()
{
    m_workDir = std::make_unique<TestWorkDir>();
    createOtherDatabases();
}

void tst_NamedSettings::cleanup()
{
    m_workDir.reset();
}

std::unique_ptr<Profile> tst_NamedSettings::start(const QList<std::pair<QString, QVariant>> &rows)
{
    createProfileDatabase(QStringLiteral("profile.db"), rows);
    return std::make_unique<Profile>();
}

void tst_NamedSettings::tableOrder()
{
    const QStringList expected = {"statim_sample_prefix", "qc_sample_prefix", "result_is_preparing",
        "result_can_not_be_calculated", "result_is_incubating", "result_is_analysing",
        "result_not_clotted", "dilution_result_flag", "lower_report_limit_flag",
        "upper_report_limit_flag", "lower_mark_limit_flag", "upper_mark_limit_flag",
        "manual_input_flag", "color_of_waiting", "color_of_dispensing", "color_of_incubating",
        "color_of_analysing", "color_of_null_result", "analysis_display_assay",
        "patient_display_fields", "max_qc_file", "qc_method", "hospital", "is_touch_screen"};
    QStringList names;
    for (const NamedSetting &setting : namedSettings())
        names << setting.name;
    QCOMPARE(names, expected);

    // Colours, integers and the boolean; every other pair is text.
    const QHash<QString, QMetaType> types = {{"color_of_waiting", QMetaType::fromType<QColor>()},
        {"color_of_dispensing", QMetaType::fromType<QColor>()},
        {"color_of_incubating", QMetaType::fromType<QColor>()},
        {"color_of_analysing", QMetaType::fromType<QColor>()},
        {"color_of_null_result", QMetaType::fromType<QColor>()},
        {"max_qc_file", QMetaType::fromType<int>()}, {"qc_method", QMetaType::fromType<int>()},
        {"is_touch_screen", QMetaType::fromType<bool>()}};
    for (const NamedSetting &setting : namedSettings()) {
        QCOMPARE(
            setting.sample.metaType(), types.value(setting.name, QMetaType::fromType<QString>()));
    }
}

void tst_NamedSettings::survivesRestart_data()
{
    QTest::addColumn<QString>("name");
    for (const NamedSetting &setting : namedSettings())
        QTest::newRow(qPrintable(setting.name)) << setting.name;
}

void tst_NamedSettings::survivesRestart()
{
    QFETCH(QString, name);
    const NamedSetting &setting = namedSetting(name);

    {
        const auto profile = start();
        setting.set(*profile, setting.sample, true);
        QCOMPARE(setting.get(*profile, QVariant(setting.sample.metaType())), setting.sample);
        QCOMPARE(profile->value(name), setting.sample);
    }
    TestDatabase db(QStringLiteral("profile.db"));
    QCOMPARE(db.row(name), storedForm(setting.sample));
    QCOMPARE(db.column(QStringLiteral("select count(*) from profile")), QVariantList({1}));

    Profile restarted;
    QCOMPARE(setting.get(restarted, QVariant(setting.sample.metaType())), setting.sample);
}

void tst_NamedSettings::firstDefaultIsCached()
{
    const auto profile = start();
    QCOMPARE(profile->qc_sample_prefix("QC"), QStringLiteral("QC"));
    QCOMPARE(profile->qc_sample_prefix("other"), QStringLiteral("QC"));
    QVERIFY(profile->keys().contains("qc_sample_prefix"));
    QVERIFY(!TestDatabase("profile.db").hasRow("qc_sample_prefix"));
}

void tst_NamedSettings::storedValueConversions_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QVariant>("stored");
    QTest::addColumn<QVariant>("defaultValue");
    QTest::addColumn<QVariant>("expected");

    QTest::newRow("integer from text")
        << "max_qc_file" << QVariant("30") << QVariant(0) << QVariant(30);
    QTest::newRow("integer from bad text")
        << "max_qc_file" << QVariant("abc") << QVariant(9) << QVariant(0);
    QTest::newRow("integer from real")
        << "qc_method" << QVariant(2.0) << QVariant(0) << QVariant(2);
    QTest::newRow("text from integer")
        << "hospital" << QVariant(12) << QVariant("") << QVariant("12");
    QTest::newRow("boolean from 1")
        << "is_touch_screen" << QVariant(1) << QVariant(false) << QVariant(true);
    QTest::newRow("boolean from 0")
        << "is_touch_screen" << QVariant(0) << QVariant(true) << QVariant(false);
    QTest::newRow("boolean from text")
        << "is_touch_screen" << QVariant("true") << QVariant(false) << QVariant(true);
    QTest::newRow("colour from name")
        << "color_of_waiting" << QVariant("#102030") << QVariant(QColor(Qt::red))
        << QVariant(QColor(0x10, 0x20, 0x30));
    QTest::newRow("colour from bad text") << "color_of_analysing" << QVariant("nonsense")
                                          << QVariant(QColor(Qt::red)) << QVariant(QColor());
    QTest::newRow("Chinese text") << "result_not_clotted" << QVariant("不凝") << QVariant("x")
                                  << QVariant("不凝");
}

void tst_NamedSettings::storedValueConversions()
{
    QFETCH(QString, name);
    QFETCH(QVariant, stored);
    QFETCH(QVariant, defaultValue);
    QFETCH(QVariant, expected);

    const auto profile = start({{name, stored}});
    QCOMPARE(namedSetting(name).get(*profile, defaultValue), expected);
}

void tst_NamedSettings::setWithoutSaveIsLostAtRestart_data()
{
    QTest::addColumn<QVariant>("stored");
    QTest::addColumn<QString>("afterRestart");

    QTest::newRow("stored row") << QVariant("Stored Hospital") << "Stored Hospital";
    QTest::newRow("no row") << QVariant() << "default";
}

void tst_NamedSettings::setWithoutSaveIsLostAtRestart()
{
    QFETCH(QVariant, stored);
    QFETCH(QString, afterRestart);

    {
        QList<std::pair<QString, QVariant>> rows;
        if (stored.isValid())
            rows << std::make_pair(QStringLiteral("hospital"), stored);
        const auto profile = start(rows);
        profile->set_hospital("New Hospital", false);
        QCOMPARE(profile->hospital("default"), QStringLiteral("New Hospital"));
    }
    QCOMPARE(TestDatabase("profile.db").row("hospital").first, stored);
    Profile restarted;
    QCOMPARE(restarted.hospital("default"), afterRestart);
}

void tst_NamedSettings::colourLosesAlpha()
{
    {
        const auto profile = start();
        profile->set_color_of_waiting(QColor(1, 2, 3, 100), true);
        QCOMPARE(profile->color_of_waiting(Qt::black), QColor(1, 2, 3, 100));
    }
    QCOMPARE(TestDatabase("profile.db").row("color_of_waiting"),
        std::make_pair(QVariant("#010203"), QStringLiteral("text")));
    Profile restarted;
    QCOMPARE(restarted.color_of_waiting(Qt::black), QColor(1, 2, 3));
}

void tst_NamedSettings::cachedGetterIgnoresGenericChanges()
{
    const auto profile = start({{"hospital", "First"}});
    QCOMPARE(profile->hospital("default"), QStringLiteral("First"));
    profile->setValue("hospital", "Second", true);
    QCOMPARE(profile->hospital("default"), QStringLiteral("First"));
    profile->remove("hospital");
    QCOMPARE(profile->hospital("default"), QStringLiteral("First"));
    profile->set_hospital("Third", false);
    QCOMPARE(profile->hospital("default"), QStringLiteral("Third"));

    // Before its first read the getter does see a generic change.
    profile->setValue("patient_display_fields", "name,age", false);
    QCOMPARE(profile->patient_display_fields("default"), QStringLiteral("name,age"));
}

QTEST_MAIN(tst_NamedSettings)
#include "tst_namedsettings.moc"
