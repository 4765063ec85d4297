#include "labglobal.h"

#include "analysisresult.h"
#include "profile.h"

#include <QtCore/qdatetime.h>
#include <QtCore/qdebug.h>
#include <QtCore/qfile.h>
#include <QtCore/qregularexpression.h>
#include <QtCore/qtextstream.h>
#include <QtCore/qthread.h>
#include <QtQml/qjsengine.h>
#include <QtQml/qjsvalueiterator.h>
#include <QtSql/qsqlerror.h>
#include <QtSql/qsqlquery.h>
#include <QtSql/qsqlrecord.h>

#include <array>

// Numbers, ratios and volumes

double fraction(const QString &text, bool *ok)
{
    // Compiled once; each search keeps its captures in its own match object.
    static const QRegularExpression ratio(
        QStringLiteral(R"(([+-]?\d+(?:\.\d*)?)\s*[:/]\s*([+-]?\d+(?:\.\d*)?))"));

    const QRegularExpressionMatch match = ratio.match(text);
    if (ok)
        *ok = match.hasMatch();
    if (!match.hasMatch())
        return 0.0;
    return match.capturedView(1).toDouble() / match.capturedView(2).toDouble();
}

double round(double value, int precision, char format)
{
    return QString::number(value, format, precision).toDouble();
}

QString humanReadableVolume(int volume)
{
    if (volume > 1000000)
        return QStringLiteral("%1 L").arg(QString::number(volume * 0.000001, 'g', 4));
    if (volume > 1000)
        return QStringLiteral("%1 mL").arg(QString::number(volume * 0.001, 'g', 4));
    return QStringLiteral("%1 uL").arg(volume);
}

QString humanReadableVolume(int code, int volume, bool exact)
{
    if (code != 4096 || exact)
        return humanReadableVolume(volume);
    if (volume < 100000)
        return QStringLiteral("<%1 L").arg(QString::number(0.1, 'f', 1));
    return QStringLiteral("%1 L").arg(QString::number(volume * 0.000001, 'f', 1));
}

QStringList dilutionList()
{
    return {QStringLiteral("1/1"), QStringLiteral("1/2"), QStringLiteral("1/4"),
        QStringLiteral("1/5"), QStringLiteral("1/8"), QStringLiteral("1/10"),
        QStringLiteral("1/16"), QStringLiteral("1/20"), QStringLiteral("1/30"),
        QStringLiteral("1/40"), QStringLiteral("1/50"), QStringLiteral("1/80"),
        QStringLiteral("1/100"), QStringLiteral("1/160"), QStringLiteral("1/320"),
        QStringLiteral("2/5"), QStringLiteral("3/4"), QStringLiteral("3/5"), QStringLiteral("4/5")};
}

QString samplePrefix(lab::SampleType type)
{
    switch (type) {
    case lab::StatimSample:
        return Profile::instance().statim_sample_prefix(QStringLiteral("S"));
    case lab::QcSample:
        return Profile::instance().qc_sample_prefix(QStringLiteral("QC"));
    default:
        return QString();
    }
}

namespace {

constexpr quint16 crcPolynomial = 0x1021;

constexpr std::array<quint16, 256> makeCrcTable()
{
    std::array<quint16, 256> table {};
    for (int i = 0; i < 256; ++i) {
        quint16 reg = quint16(i << 8);
        for (int bit = 0; bit < 8; ++bit)
            reg = (reg & 0x8000) ? quint16((reg << 1) ^ crcPolynomial) : quint16(reg << 1);
        table[i] = reg;
    }
    return table;
}

constexpr std::array<quint16, 256> crcTable = makeCrcTable();
static_assert(crcTable[1] == crcPolynomial, "CRC table is shifted from the top");

} // namespace

unsigned short crc16(const void *data, int length)
{
    quint16 reg = 0xFFFF;
    if (!data || length <= 0)
        return reg;
    const auto *bytes = static_cast<const uchar *>(data);
    for (const uchar *end = bytes + length; bytes != end; ++bytes)
        reg = quint16((reg << 8) ^ crcTable[(reg >> 8) ^ *bytes]);
    return reg;
}

// Script evaluation

namespace {

// Self-referencing objects would otherwise recurse without end.
constexpr int maxScriptValueDepth = 64;

QVariant toVariant(const QJSValue &value, int depth = 0)
{
    if (value.isUndefined() || depth > maxScriptValueDepth)
        return QVariant();
    if (value.isNumber())
        return value.toNumber(); // the engine hands integral numbers out as int
    if (value.isBool())
        return value.toBool();
    if (value.isString())
        return value.toString();
    if (value.isDate())
        return value.toDateTime();
    if (value.isArray()) {
        const int length = value.property(QStringLiteral("length")).toInt();
        QVariantList list;
        list.reserve(length);
        for (int i = 0; i < length; ++i)
            list.append(toVariant(value.property(quint32(i)), depth + 1));
        return list;
    }
    if (value.isError()) {
        // An error's properties are not enumerable; keep what tells it apart.
        QVariantMap map;
        map.insert(QStringLiteral("name"), value.property(QStringLiteral("name")).toString());
        map.insert(QStringLiteral("message"), value.property(QStringLiteral("message")).toString());
        return map;
    }
    if (value.isObject() && !value.isCallable() && !value.isRegExp() && !value.isQObject()
        && !value.isVariant()) {
        QVariantMap map;
        QJSValueIterator it(value);
        while (it.hasNext()) {
            it.next();
            map.insert(it.name(), toVariant(it.value(), depth + 1));
        }
        return map;
    }
    return value.toVariant();
}

} // namespace

QVariant eval(const QString &program)
{
    QJSEngine engine;
    return toVariant(engine.evaluate(program, QString(), 1));
}

QVariant load_script(const QString &fileName)
{
    QString program;
    {
        QFile file(fileName);
        if (file.open(QIODevice::ReadOnly | QIODevice::Text)) {
            QTextStream stream(&file);
            stream.setEncoding(QStringConverter::Utf8);
            program = stream.readAll();
        }
    }

    QJSEngine engine;
    QStringList backtrace;
    const QJSValue result = engine.evaluate(program, fileName, 1, &backtrace);
    // The backtrace is filled exactly when an exception escaped, whatever
    // was thrown (a plain string or number is no Error object).
    if (!backtrace.isEmpty()) {
        critical(result.toString() + QLatin1Char('\n') + backtrace.join(QLatin1Char('\n')),
            QMessageBox::Ok, QMessageBox::NoButton);
        return QVariant();
    }
    return toVariant(result);
}

// Sample numbering and record helpers

int nextSampleNo(const QDate &date)
{
    QSqlQuery query(Profile::instance().dataDatabase());
    // Only the leading integer of a sample number counts, compared as a
    // number: 10 follows 9, and "12A" counts as 12.
    if (!query.prepare(
            QStringLiteral("select max(cast(sampleNo as integer)) from patient where date=:date")))
        qWarning() << ".\\labglobal(158):" << query.lastError();
    query.bindValue(QStringLiteral(":date"), date);
    if (!query.exec())
        qWarning() << ".\\labglobal(161):" << query.lastError();
    // No row, a null maximum (no samples that day) and a failure all read as 0.
    const int highest = query.next() ? query.value(0).toInt() : 0;
    return highest + 1;
}

void setGeneratedValue(QSqlRecord &record, const QString &name, const QVariant &value)
{
    const int index = record.indexOf(name);
    if (index < 0)
        return;
    record.setValue(index, value);
    record.setGenerated(index, true);
}

void sleep(int milliseconds)
{
    if (milliseconds > 0)
        QThread::msleep(static_cast<unsigned long>(milliseconds));
}
