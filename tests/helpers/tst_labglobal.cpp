#include "labglobal.h"

#include "messageboxcatcher.h"
#include "testworkdir.h"

#include <QtCore/qdatetime.h>
#include <QtCore/qelapsedtimer.h>
#include <QtCore/qfile.h>
#include <QtCore/qrandom.h>
#include <QtCore/qregularexpression.h>
#include <QtSql/qsqldatabase.h>
#include <QtSql/qsqldriver.h>
#include <QtSql/qsqlfield.h>
#include <QtSql/qsqlrecord.h>
#include <QtTest/qtest.h>

#include <cmath>
#include <limits>
#include <thread>
#include <unistd.h> // the POSIX sleep must stay callable beside ours

namespace {

// Bit by bit, straight from the definition: the reference for the table.
quint16 bitwiseCrc16(const QByteArray &bytes)
{
    quint16 reg = 0xFFFF;
    for (const char c : bytes) {
        reg ^= quint16(uchar(c) << 8);
        for (int bit = 0; bit < 8; ++bit)
            reg = (reg & 0x8000) ? quint16((reg << 1) ^ 0x1021) : quint16(reg << 1);
    }
    return reg;
}

void writeFile(const QString &fileName, const QByteArray &contents)
{
    QFile file(fileName);
    QVERIFY2(file.open(QIODevice::WriteOnly), qPrintable(file.errorString()));
    QCOMPARE(file.write(contents), contents.size());
}

QVariant number(double value)
{
    return QVariant(value);
}

} // namespace

class tst_LabGlobal : public QObject
{
    Q_OBJECT

private slots:
    void fraction_data();
    void fraction();
    void fractionWithoutOk();
    void fractionOnTwoThreads();
    void round_data();
    void round();
    void roundLeavesCRoundAlone();
    void humanReadableVolume_data();
    void humanReadableVolume();
    void humanReadableVolumeInLitres_data();
    void humanReadableVolumeInLitres();
    void dilutionList();
    void crc16_data();
    void crc16();
    void crc16MatchesBitwiseReference();
    void crc16WithoutBytes();

    void eval_data();
    void eval();
    void evalDoesNotKeepDefinitions();
    void evalReturnsThrownValue();
    void evalSelfReferencingObject();
    void evalOnWorkerThread();
    void loadScript_data();
    void loadScript();
    void loadScriptReportsBacktrace();
    void loadScriptMissingFile();

    void setGeneratedValue();
    void setGeneratedValueUnknownName();
    void setGeneratedValueEntersStatements();
    void sleep();
    void sleepProcessesNoEvents();
};

void tst_LabGlobal::fraction_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("expected");
    QTest::addColumn<bool>("ok");

    QTest::newRow("slash") << "1/10" << 0.1 << true;
    QTest::newRow("colon") << "1:2" << 0.5 << true;
    QTest::newRow("blanks") << " 3 / 4 " << 0.75 << true;
    QTest::newRow("negative") << "-1/4" << -0.25 << true;
    QTest::newRow("plus sign") << "+3/-4" << -0.75 << true;
    QTest::newRow("first of two") << "1/2/4" << 0.5 << true;
    QTest::newRow("leading point") << ".5/1" << 5.0 << true;
    QTest::newRow("comma") << "1,5/2" << 2.5 << true;
    QTest::newRow("decimal") << "1.5/3" << 0.5 << true;
    QTest::newRow("trailing point") << "1./2" << 0.5 << true;
    QTest::newRow("in text") << "dilution 1:40, then 1:80" << 0.025 << true;
    QTest::newRow("no ratio") << "abc" << 0.0 << false;
    QTest::newRow("empty") << "" << 0.0 << false;
    QTest::newRow("no denominator") << "1/" << 0.0 << false;
    QTest::newRow("other separator") << "1-2" << 0.0 << false;
    // Only ASCII digits count: anything else could not be converted.
    QTest::newRow("full-width digits") << QString::fromUtf8("１/２") << 0.0 << false;
    QTest::newRow("zero denominator") << "1/0" << std::numeric_limits<double>::infinity() << true;
    QTest::newRow("negative over zero")
        << "-1/0" << -std::numeric_limits<double>::infinity() << true;
    QTest::newRow("zero over zero") << "0/0" << std::numeric_limits<double>::quiet_NaN() << true;
}

void tst_LabGlobal::fraction()
{
    QFETCH(QString, text);
    QFETCH(double, expected);
    QFETCH(bool, ok);

    bool found = !ok;
    const double result = ::fraction(text, &found);
    QCOMPARE(found, ok);
    if (std::isnan(expected))
        QVERIFY2(std::isnan(result), qPrintable(QString::number(result)));
    else
        QCOMPARE(result, expected);
}

void tst_LabGlobal::fractionWithoutOk()
{
    QCOMPARE(::fraction(QStringLiteral("1/8")), 0.125);
    QCOMPARE(::fraction(QStringLiteral("none"), nullptr), 0.0);
}

void tst_LabGlobal::fractionOnTwoThreads()
{
    // One compiled expression serves both threads; the captures of one
    // search must not show up in the other's result.
    const auto worker = [](const QString &text, double expected, int *mismatches) {
        for (int i = 0; i < 20000; ++i) {
            bool ok = false;
            if (::fraction(text, &ok) != expected || !ok)
                ++*mismatches;
        }
    };
    int firstMismatches = 0;
    int secondMismatches = 0;
    std::thread first(worker, QStringLiteral("1/4"), 0.25, &firstMismatches);
    std::thread second(worker, QStringLiteral("x 3:8 y"), 0.375, &secondMismatches);
    first.join();
    second.join();
    QCOMPARE(firstMismatches, 0);
    QCOMPARE(secondMismatches, 0);
}

void tst_LabGlobal::round_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<int>("precision");
    QTest::addColumn<char>("format");
    QTest::addColumn<double>("expected");

    // The decimal text decides: 0.15 and 1.005 lie just below their halves.
    QTest::newRow("0.15 f1") << 0.15 << 1 << 'f' << 0.1;
    QTest::newRow("1.005 f2") << 1.005 << 2 << 'f' << 1.0;
    QTest::newRow("0.25000001 f1") << 0.25000001 << 1 << 'f' << 0.3;
    QTest::newRow("1234.5678 f0") << 1234.5678 << 0 << 'f' << 1235.0;
    QTest::newRow("-2.71828 f3") << -2.71828 << 3 << 'f' << -2.718;
    QTest::newRow("56.7 g1") << 56.7 << 1 << 'g' << 60.0;
    QTest::newRow("0.000123456 g3") << 0.000123456 << 3 << 'g' << 0.000123;
    QTest::newRow("98765 G2") << 98765.0 << 2 << 'G' << 99000.0;
    QTest::newRow("123456 e2") << 123456.0 << 2 << 'e' << 123000.0;
    QTest::newRow("0.0004567 E1") << 0.0004567 << 1 << 'E' << 0.00046;
    QTest::newRow("infinity") << std::numeric_limits<double>::infinity() << 2 << 'f'
                              << std::numeric_limits<double>::infinity();
}

void tst_LabGlobal::round()
{
    QFETCH(double, value);
    QFETCH(int, precision);
    QFETCH(char, format);
    QFETCH(double, expected);

    QCOMPARE(::round(value, precision, format), expected);
}

void tst_LabGlobal::roundLeavesCRoundAlone()
{
    // With one argument the C function is still the one called.
    QCOMPARE(::round(2.5), 3.0);
    QCOMPARE(::round(-2.5), -3.0);
}

void tst_LabGlobal::humanReadableVolume_data()
{
    QTest::addColumn<int>("volume");
    QTest::addColumn<QString>("expected");

    QTest::newRow("zero") << 0 << "0 uL";
    QTest::newRow("negative") << -5 << "-5 uL";
    QTest::newRow("most negative") << std::numeric_limits<int>::min() << "-2147483648 uL";
    QTest::newRow("1000") << 1000 << "1000 uL";
    QTest::newRow("1001") << 1001 << "1.001 mL";
    QTest::newRow("1500") << 1500 << "1.5 mL";
    QTest::newRow("123456") << 123456 << "123.5 mL";
    QTest::newRow("999999") << 999999 << "1000 mL";
    QTest::newRow("1000000") << 1000000 << "1000 mL";
    QTest::newRow("1000001") << 1000001 << "1 L";
    QTest::newRow("12345678") << 12345678 << "12.35 L";
    QTest::newRow("largest") << std::numeric_limits<int>::max() << "2147 L";
}

void tst_LabGlobal::humanReadableVolume()
{
    QFETCH(int, volume);
    QFETCH(QString, expected);

    QCOMPARE(::humanReadableVolume(volume), expected);
    // Any code but 4096 falls back to the plain text.
    QCOMPARE(::humanReadableVolume(4095, volume, false), expected);
    QCOMPARE(::humanReadableVolume(0, volume, false), expected);
}

void tst_LabGlobal::humanReadableVolumeInLitres_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("volume");
    QTest::addColumn<bool>("exact");
    QTest::addColumn<QString>("expected");

    QTest::newRow("below threshold") << 4096 << 99999 << false << "<0.1 L";
    QTest::newRow("below threshold, exact") << 4096 << 99999 << true << "100 mL";
    QTest::newRow("other code") << 4095 << 99999 << false << "100 mL";
    QTest::newRow("threshold") << 4096 << 100000 << false << "0.1 L";
    QTest::newRow("zero") << 4096 << 0 << false << "<0.1 L";
    QTest::newRow("negative") << 4096 << -5 << false << "<0.1 L";
    QTest::newRow("149999") << 4096 << 149999 << false << "0.1 L";
    QTest::newRow("1500000") << 4096 << 1500000 << false << "1.5 L";
    QTest::newRow("largest") << 4096 << std::numeric_limits<int>::max() << false << "2147.5 L";
    QTest::newRow("largest, exact") << 4096 << std::numeric_limits<int>::max() << true << "2147 L";
}

void tst_LabGlobal::humanReadableVolumeInLitres()
{
    QFETCH(int, code);
    QFETCH(int, volume);
    QFETCH(bool, exact);
    QFETCH(QString, expected);

    QCOMPARE(::humanReadableVolume(code, volume, exact), expected);
}

void tst_LabGlobal::dilutionList()
{
    const QStringList expected {"1/1", "1/2", "1/4", "1/5", "1/8", "1/10", "1/16", "1/20", "1/30",
        "1/40", "1/50", "1/80", "1/100", "1/160", "1/320", "2/5", "3/4", "3/5", "4/5"};
    const QStringList list = ::dilutionList();
    QCOMPARE(list.size(), 19);
    QCOMPARE(list, expected);

    // Every offered ratio reads back as a dilution in (0, 1].
    for (const QString &ratio : list) {
        bool ok = false;
        const double value = ::fraction(ratio, &ok);
        QVERIFY2(ok && value > 0.0 && value <= 1.0, qPrintable(ratio));
    }

    // A caller's change does not reach the next caller.
    QStringList changed = ::dilutionList();
    changed.append(QStringLiteral("1/1000"));
    QCOMPARE(::dilutionList(), expected);
}

void tst_LabGlobal::crc16_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("expected");

    QTest::newRow("check value") << QByteArray("123456789") << 0x29B1;
    QTest::newRow("abc") << QByteArray("abc") << 0x514A;
    QTest::newRow("A") << QByteArray("A") << 0xB915;
    QTest::newRow("empty") << QByteArray() << 0xFFFF;
    QTest::newRow("zero byte") << QByteArray(1, '\0') << 0xE1F0;
}

void tst_LabGlobal::crc16()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, expected);

    QCOMPARE(int(::crc16(bytes.constData(), int(bytes.size()))), expected);
    QCOMPARE(int(bitwiseCrc16(bytes)), expected);
}

void tst_LabGlobal::crc16MatchesBitwiseReference()
{
    QByteArray buffer(1 << 16, Qt::Uninitialized);
    QRandomGenerator generator(20260101); // fixed seed: a failure can be replayed
    generator.fillRange(reinterpret_cast<quint32 *>(buffer.data()), buffer.size() / 4);

    QCOMPARE(::crc16(buffer.constData(), int(buffer.size())), bitwiseCrc16(buffer));
    // Only length bytes count, taken in address order.
    for (const int length : {1, 2, 255, 256, 257, 4097}) {
        QCOMPARE(::crc16(buffer.constData(), length), bitwiseCrc16(buffer.left(length)));
        QCOMPARE(::crc16(buffer.constData() + 1, length), bitwiseCrc16(buffer.mid(1, length)));
    }
}

void tst_LabGlobal::crc16WithoutBytes()
{
    const char byte = 'x';
    QCOMPARE(::crc16(&byte, 0), quint16(0xFFFF));
    QCOMPARE(::crc16(&byte, -1), quint16(0xFFFF));
    QCOMPARE(::crc16(nullptr, 0), quint16(0xFFFF));
    // A null pointer with a length is refused rather than read.
    QCOMPARE(::crc16(nullptr, 16), quint16(0xFFFF));
}

void tst_LabGlobal::eval_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<QVariant>("expected");

    QTest::newRow("integral sum") << "1+2" << number(3);
    QTest::newRow("real") << "1.5 * 3" << number(4.5);
    QTest::newRow("last statement") << "var a = 2; a * 21" << number(42);
    QTest::newRow("string") << "'PT ' + 12" << QVariant(QStringLiteral("PT 12"));
    QTest::newRow("unicode string")
        << QString::fromUtf8("'凝血酶原时间'") << QVariant(QString::fromUtf8("凝血酶原时间"));
    QTest::newRow("true") << "1 < 2" << QVariant(true);
    QTest::newRow("false") << "false" << QVariant(false);
    QTest::newRow("array") << "[1, 'a', [2.5, true]]"
                           << QVariant(QVariantList {number(1), QStringLiteral("a"),
                                  QVariantList {number(2.5), true}});
    QTest::newRow("empty array") << "[]" << QVariant(QVariantList());
    QTest::newRow("object") << "({a: 1, b: 'x', c: {d: [3]}})"
                            << QVariant(QVariantMap {{"a", number(1)}, {"b", QStringLiteral("x")},
                                   {"c", QVariantMap {{"d", QVariantList {number(3)}}}}});
    QTest::newRow("date") << "new Date(Date.UTC(2026, 0, 2, 3, 4, 5))"
                          << QVariant(QDateTime(QDate(2026, 1, 2), QTime(3, 4, 5), Qt::UTC));
    QTest::newRow("null") << "null" << QVariant::fromValue(nullptr);
    QTest::newRow("regular expression") << "/ab+c/i"
                                        << QVariant(QRegularExpression(QStringLiteral("ab+c"),
                                               QRegularExpression::CaseInsensitiveOption));
    // Nothing that needs the engine may come back: it is gone by then.
    QTest::newRow("function") << "(function () { return 1; })" << QVariant();
    QTest::newRow("symbol") << "Symbol('x')" << QVariant();
    QTest::newRow("object with a method")
        << "({n: 2, f: function () {}})"
        << QVariant(QVariantMap {{"n", number(2)}, {"f", QVariant()}});
    QTest::newRow("shared, not cyclic")
        << "var s = {v: 1}; ({a: s, b: [s]})"
        << QVariant(QVariantMap {{"a", QVariantMap {{"v", number(1)}}},
               {"b", QVariantList {QVariantMap {{"v", number(1)}}}}});
    QTest::newRow("empty program") << "" << QVariant();
    QTest::newRow("undefined") << "undefined" << QVariant();
    QTest::newRow("declaration only") << "var unused = 1;" << QVariant();
}

void tst_LabGlobal::eval()
{
    QFETCH(QString, program);
    QFETCH(QVariant, expected);

    const QVariant result = ::eval(program);
    QCOMPARE(result.isValid(), expected.isValid());
    QCOMPARE(result.metaType(), expected.metaType());
    QCOMPARE(result, expected);
}

void tst_LabGlobal::evalDoesNotKeepDefinitions()
{
    QCOMPARE(::eval(QStringLiteral("var carried = 7; carried")), number(7));

    const QVariant second = ::eval(QStringLiteral("carried"));
    const QVariantMap error = second.toMap();
    QCOMPARE(error.value(QStringLiteral("name")).toString(), QStringLiteral("ReferenceError"));
    QCOMPARE(error.value(QStringLiteral("message")).toString(),
        QStringLiteral("carried is not defined"));
}

void tst_LabGlobal::evalReturnsThrownValue()
{
    QCOMPARE(::eval(QStringLiteral("throw 'stop'")), QVariant(QStringLiteral("stop")));
    QCOMPARE(::eval(QStringLiteral("throw 42")), number(42));
    const QVariantMap syntax = ::eval(QStringLiteral("1 +")).toMap();
    QCOMPARE(syntax.value(QStringLiteral("name")).toString(), QStringLiteral("SyntaxError"));
}

void tst_LabGlobal::evalSelfReferencingObject()
{
    // A reference back into the structure ends there instead of recursing.
    const QVariant object
        = ::eval(QStringLiteral("var a = {n: 1}; a.self = a; a.again = {up: a}; a"));
    QCOMPARE(object,
        QVariant(QVariantMap {
            {"n", number(1)}, {"self", QVariant()}, {"again", QVariantMap {{"up", QVariant()}}}}));

    const QVariant array = ::eval(QStringLiteral("var l = [1]; l.push(l); l"));
    QCOMPARE(array, QVariant(QVariantList {number(1), QVariant()}));

    // Far deeper than any real structure: cut off, not overflowing the stack.
    const QVariant deep
        = ::eval(QStringLiteral("var d = {}; for (var i = 0; i < 10000; ++i) d = {d: d}; d"));
    QCOMPARE(deep.metaType(), QMetaType::fromType<QVariantMap>());
}

void tst_LabGlobal::evalOnWorkerThread()
{
    QVariant result;
    std::thread worker([&result] { result = ::eval(QStringLiteral("[6 * 7, 'ok']")); });
    worker.join();
    QCOMPARE(result, QVariant(QVariantList {number(42), QStringLiteral("ok")}));
}

void tst_LabGlobal::loadScript_data()
{
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<QVariant>("expected");
    QTest::addColumn<QString>("boxFirstLine"); // empty: no box

    QTest::newRow("string") << QByteArray("var s = 'a';\ns + 'b';\n")
                            << QVariant(QStringLiteral("ab")) << QString();
    QTest::newRow("utf-8") << QByteArray("'凝血 ±µ'") << QVariant(QString::fromUtf8("凝血 ±µ"))
                           << QString();
    QTest::newRow("utf-8 with byte-order mark")
        << QByteArray("\xEF\xBB\xBF'纤维蛋白原'") << QVariant(QString::fromUtf8("纤维蛋白原"))
        << QString();
    QTest::newRow("windows line endings")
        << QByteArray("var x = 'a\\\r\nb';\r\nx.length") << number(2) << QString();
    QTest::newRow("number") << QByteArray("6 * 7") << number(42) << QString();
    QTest::newRow("empty file") << QByteArray() << QVariant() << QString();
    // An error object that is only the value, not thrown, is a result.
    QTest::newRow("error value") << QByteArray("new Error('kept')")
                                 << QVariant(QVariantMap {{"name", QStringLiteral("Error")},
                                        {"message", QStringLiteral("kept")}})
                                 << QString();
    QTest::newRow("reference error")
        << QByteArray("1;\nundefinedName") << QVariant()
        << QStringLiteral("ReferenceError: undefinedName is not defined");
    QTest::newRow("thrown string")
        << QByteArray("throw '出错'") << QVariant() << QString::fromUtf8("出错");
    QTest::newRow("thrown number") << QByteArray("throw 42") << QVariant() << QStringLiteral("42");
    // The exception counts, not its value: even undefined can be thrown.
    QTest::newRow("thrown undefined")
        << QByteArray("throw undefined") << QVariant() << QStringLiteral("undefined");
    QTest::newRow("syntax error") << QByteArray("var = ;") << QVariant()
                                  << QStringLiteral("SyntaxError");
}

void tst_LabGlobal::loadScript()
{
    QFETCH(QByteArray, contents);
    QFETCH(QVariant, expected);
    QFETCH(QString, boxFirstLine);

    TestWorkDir dir;
    const QString fileName = dir.filePath(QStringLiteral("script.js"));
    writeFile(fileName, contents);

    MessageBoxCatcher catcher;
    const QVariant result = ::load_script(fileName);
    QCOMPARE(result.metaType(), expected.metaType());
    QCOMPARE(result, expected);

    if (boxFirstLine.isEmpty()) {
        QCOMPARE(catcher.boxes.size(), 0);
        return;
    }
    QCOMPARE(catcher.boxes.size(), 1);
    const CaughtBox &box = catcher.boxes.constFirst();
    QCOMPARE(box.icon, QMessageBox::Critical);
    QCOMPARE(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    const QStringList lines = box.text.split(QLatin1Char('\n'));
    QVERIFY2(lines.size() >= 2, qPrintable(box.text));
    QVERIFY2(lines.constFirst().startsWith(boxFirstLine), qPrintable(box.text));
}

void tst_LabGlobal::loadScriptReportsBacktrace()
{
    TestWorkDir dir;
    const QString fileName = dir.filePath(QStringLiteral("throwing.js"));
    writeFile(
        fileName, "function check(v) {\n  throw new Error('out of range: ' + v);\n}\ncheck(5);\n");

    MessageBoxCatcher catcher;
    QVERIFY(!::load_script(fileName).isValid());
    QCOMPARE(catcher.boxes.size(), 1);

    // The exception text, then one line per frame: the function that threw,
    // then the script's own code, each naming the file.
    const QStringList lines = catcher.boxes.constFirst().text.split(QLatin1Char('\n'));
    QCOMPARE(lines.size(), 3);
    QCOMPARE(lines.at(0), QStringLiteral("Error: out of range: 5"));
    QVERIFY2(lines.at(1).startsWith(QLatin1String("check:2:")), qPrintable(lines.at(1)));
    QVERIFY2(lines.at(2).contains(QLatin1String(":4:")), qPrintable(lines.at(2)));
    for (int i = 1; i < lines.size(); ++i)
        QVERIFY2(lines.at(i).endsWith(fileName), qPrintable(lines.at(i)));

    // Nothing of the file's definitions survives the call.
    QCOMPARE(::eval(QStringLiteral("typeof check")), QVariant(QStringLiteral("undefined")));
}

void tst_LabGlobal::loadScriptMissingFile()
{
    TestWorkDir dir;
    MessageBoxCatcher catcher;
    QVERIFY(!::load_script(dir.filePath(QStringLiteral("missing.js"))).isValid());
    QVERIFY(!::load_script(QString()).isValid());
    QCOMPARE(catcher.boxes.size(), 0);
}

namespace {

QSqlRecord patientRecord()
{
    QSqlRecord record;
    QSqlField name(QStringLiteral("sampleNo"), QMetaType(QMetaType::QString));
    QSqlField age(QStringLiteral("Age"), QMetaType(QMetaType::Int));
    record.append(name);
    record.append(age);
    record.setGenerated(0, false);
    record.setGenerated(1, false);
    return record;
}

} // namespace

void tst_LabGlobal::setGeneratedValue()
{
    QSqlRecord record = patientRecord();
    ::setGeneratedValue(record, QStringLiteral("SAMPLENO"), QStringLiteral("12A"));

    QCOMPARE(record.value(0), QVariant(QStringLiteral("12A")));
    QVERIFY(record.isGenerated(0));
    QVERIFY(record.isNull(1));
    QVERIFY(!record.isGenerated(1));
}

void tst_LabGlobal::setGeneratedValueUnknownName()
{
    QSqlRecord record = patientRecord();
    ::setGeneratedValue(record, QStringLiteral("missing"), 5);

    QCOMPARE(record.count(), 2);
    for (int i = 0; i < record.count(); ++i) {
        QVERIFY(record.isNull(i));
        QVERIFY(!record.isGenerated(i));
    }
}

void tst_LabGlobal::setGeneratedValueEntersStatements()
{
    const QString connection = QStringLiteral("tst_labglobal_statements");
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
        QSqlRecord record = patientRecord();
        ::setGeneratedValue(record, QStringLiteral("age"), 41);
        const QString insert
            = db.driver()->sqlStatement(QSqlDriver::InsertStatement, "patient", record, false);
        QVERIFY2(insert.contains(QLatin1String("\"Age\"")), qPrintable(insert));
        QVERIFY2(insert.contains(QLatin1String("41")), qPrintable(insert));
        QVERIFY2(!insert.contains(QLatin1String("sampleNo")), qPrintable(insert));
    }
    QSqlDatabase::removeDatabase(connection);
}

void tst_LabGlobal::sleep()
{
    QElapsedTimer timer;
    timer.start();
    ::sleep(30);
    QVERIFY2(timer.elapsed() >= 30, qPrintable(QString::number(timer.elapsed())));

    // Nothing to wait for; these simply return.
    ::sleep(0);
    ::sleep(-1);
}

void tst_LabGlobal::sleepProcessesNoEvents()
{
    bool delivered = false;
    QTimer::singleShot(0, this, [&delivered] { delivered = true; });
    ::sleep(20);
    QVERIFY(!delivered);
    QTRY_VERIFY(delivered);
}

QTEST_MAIN(tst_LabGlobal)
#include "tst_labglobal.moc"
