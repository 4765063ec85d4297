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
    if (!data || length <= 0)
        return 0xFFFF;
    const auto *bytes = static_cast<const uchar *>(data);

    // The textbook step is register = (register << 8) ^ table[(register >> 8) ^ byte].
    // Split into bytes, the new high byte is the entry's high byte ^ the old
    // low byte, and the new low byte is the entry's low byte. Folding the old
    // low byte into the next input byte before the table load is done leaves
    // one shift and one XOR between two loads, which is what limits speed.
    uint low = 0xFF; // low byte of the register (0xFFFF)
    uint index = 0xFF ^ bytes[0]; // high byte of the register ^ byte
    for (int i = 1; i < length; ++i) {
        const uint entry = crcTable[index];
        index = (entry >> 8) ^ (low ^ bytes[i]);
        low = entry & 0xFF;
    }
    return quint16((low << 8) ^ crcTable[index]);
}

// Script evaluation

namespace {

// Converts a script value to a variant with plain data only: nothing in the
// result refers to the engine, which is gone when the caller sees it.
class ScriptValueConverter
{
public:
    QVariant convert(const QJSValue &value)
    {
        if (value.isNumber())
            return value.toNumber(); // the engine's own conversion gives int for 3
        if (value.isBool())
            return value.toBool();
        if (value.isString())
            return value.toString();
        if (value.isNull())
            return QVariant::fromValue(nullptr);
        if (value.isDate())
            return value.toDateTime();
        if (value.isRegExp())
            return value.toVariant();
        if (value.isError())
            return errorMap(value);
        if (value.isObject() && !value.isCallable())
            return convertObject(value);
        // undefined, functions and symbols (which the engine's conversion
        // cannot even take) have no data to hand out.
        return QVariant();
    }

private:
    // An error's properties are not its own; keep what tells it apart.
    static QVariantMap errorMap(const QJSValue &error)
    {
        return {{QStringLiteral("name"), error.property(QStringLiteral("name")).toString()},
            {QStringLiteral("message"), error.property(QStringLiteral("message")).toString()}};
    }

    QVariant convertObject(const QJSValue &object)
    {
        // A reference back to an object under conversion would never end,
        // and neither would an absurdly deep structure.
        if (m_open.size() >= maxDepth)
            return QVariant();
        for (const QJSValue &open : std::as_const(m_open)) {
            if (open.strictlyEquals(object))
                return QVariant();
        }

        m_open.append(object);
        QVariant result;
        if (object.isArray()) {
            const int length = object.property(QStringLiteral("length")).toInt();
            QVariantList list;
            list.reserve(length);
            for (int i = 0; i < length; ++i)
                list.append(convert(object.property(quint32(i))));
            result = list;
        } else {
            QVariantMap map;
            QJSValueIterator it(object);
            while (it.hasNext()) {
                it.next();
                map.insert(it.name(), convert(it.value()));
            }
            result = map;
        }
        m_open.removeLast();
        return result;
    }

    static constexpr int maxDepth = 64;
    QList<QJSValue> m_open;
};

QVariant toVariant(const QJSValue &value)
{
    return ScriptValueConverter().convert(value);
}

// A file that cannot be read gives an empty program.
QString readScriptFile(const QString &fileName)
{
    if (fileName.isEmpty())
        return QString();
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return QString();
    QTextStream stream(&file);
    stream.setEncoding(QStringConverter::Utf8);
    return stream.readAll();
}

} // namespace

QVariant eval(const QString &program)
{
    QJSEngine engine;
    return toVariant(engine.evaluate(program, QString(), 1));
}

QVariant load_script(const QString &fileName)
{
    const QString program = readScriptFile(fileName);
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
