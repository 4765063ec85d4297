#include "analysisresult.h"
#include "curvecodec.h"
#include "profile.h"

#include <QtCore/qcoreapplication.h>
#include <QtCore/qdebug.h>
#include <QtSql/qsqlerror.h>
#include <QtSql/qsqlquery.h>

// Built by constant initialisation, so it is complete before any code of
// an application (or of its static objects) can make a result.
Q_CONSTINIT AnalysisResult::Data AnalysisResult::shared_null;

namespace {

// Built-in error texts, indexed by AnalysisResult::ErrorCode.
constexpr const char *ErrorTexts[] = {
    nullptr,
    QT_TRANSLATE_NOOP("QObject", "无效的值"),
    QT_TRANSLATE_NOOP("QObject", "未知错误"),
    QT_TRANSLATE_NOOP("QObject", "结果为空"),
    QT_TRANSLATE_NOOP("QObject", "无标准曲线"),
    QT_TRANSLATE_NOOP("QObject", "标准曲线无效"),
    QT_TRANSLATE_NOOP("QObject", "标准曲线设置错误"),
    QT_TRANSLATE_NOOP("QObject", "无效的计算方法"),
    QT_TRANSLATE_NOOP("QObject", "计算所需的参数不存在"),
    nullptr,
};

// Marker and placeholder texts: the named setting, with its translated
// default for a laboratory that has not set one.
QString profileText(QString (Profile::*getter)(const QString &), const char *defaultText)
{
    return (Profile::instance().*getter)(QCoreApplication::translate("Profile", defaultText));
}

// Failed statements are reported with the place in the sources they came
// from, relative to the source tree, so that logs do not depend on where
// the library was built.
void warnStatementFailed(int line, const QSqlQuery &query)
{
    qWarning().noquote().nospace()
        << "core/results/analysisresult(" << line << "): " << query.lastError();
}

} // namespace

AnalysisResult::Data::Data(const Data &other)
    : ref(1), id(other.id), value(other.value), od(other.od), flags(other.flags),
      error(other.error), errorText(other.errorText), curve(other.curve), ch(other.ch),
      version(other.version), recordId(other.recordId)
{ }

AnalysisResult::AnalysisResult() noexcept : d(&shared_null)
{
    d->ref.ref();
}

AnalysisResult::AnalysisResult(double value) : d(new Data(shared_null))
{
    setValue(value);
}

AnalysisResult::AnalysisResult(ErrorCode code) : d(new Data(shared_null))
{
    d->value = 0.0;
    d->error = code;
}

void AnalysisResult::detach()
{
    if (d->ref.loadAcquire() == 1)
        return;
    Data *copy = new Data(*d);
    release();
    d = copy;
}

QString AnalysisResult::errorText() const
{
    if (!d->errorText.isEmpty())
        return d->errorText;
    const int code = d->error;
    if (code < 0 || code >= int(std::size(ErrorTexts)) || !ErrorTexts[code])
        return QString();
    return QCoreApplication::translate("QObject", ErrorTexts[code]);
}

void AnalysisResult::setValue(double value)
{
    detach();
    d->value = value;
    if (value == nullValue)
        d->error = NullResult;
    else if (value == notClottedValue)
        d->error = NotClotted;
    else
        d->error = NoError;
}

void AnalysisResult::setOD(double od)
{
    detach();
    d->od = od;
}

void AnalysisResult::setId(int id)
{
    detach();
    d->id = id;
}

void AnalysisResult::setCh(int ch)
{
    detach();
    d->ch = ch;
}

void AnalysisResult::setVersion(int version)
{
    detach();
    d->version = version;
}

void AnalysisResult::setRecordId(int recordId)
{
    detach();
    d->recordId = recordId;
}

void AnalysisResult::setFlags(int flags)
{
    detach();
    d->flags = flags;
}

void AnalysisResult::setFlag(lab::ResultFlag flag, bool on)
{
    detach();
    if (on)
        d->flags |= flag;
    else
        d->flags &= ~flag;
}

void AnalysisResult::setManualTest(bool on)
{
    setFlag(lab::ManualTest, on);
}

void AnalysisResult::setError(ErrorCode code)
{
    detach();
    d->error = code;
    d->errorText.clear();
}

void AnalysisResult::setErrorText(const QString &text)
{
    detach();
    d->errorText = text;
    d->error = UnknownError;
}

void AnalysisResult::clearErrorText()
{
    detach();
    d->errorText.clear();
}

void AnalysisResult::setCurve(const ClotCurve &curve)
{
    detach();
    d->curve = curve;
}

QString AnalysisResult::toString(Format format, char numberFormat, int precision) const
{
    if (precision < 0) {
        numberFormat = 'g';
        precision = 6;
    }
    if (d->error == NoError) {
        const QString number = QString::number(d->value, numberFormat, precision);
        if (format != WithMarkers)
            return number;
        const QString before = prefix();
        const QString after = suffix();
        QString text;
        if (!before.isEmpty())
            text += before + QLatin1Char(' ');
        text += number;
        if (!after.isEmpty())
            text += QLatin1Char(' ') + after;
        return text;
    }
    if (d->error == NotClotted || d->value == notClottedValue)
        return profileText(&Profile::result_not_clotted, "不凝");
    if (d->error == NullResult)
        return QString();
    return profileText(&Profile::result_can_not_be_calculated, "---.-");
}

QString AnalysisResult::prefix() const
{
    QString text;
    if (testFlag(lab::ManualInput))
        text += profileText(&Profile::manual_input_flag, "M");
    if (testFlag(lab::DilutionResult))
        text += profileText(&Profile::dilution_result_flag, "!");
    if (testFlag(lab::LowerReportLimit))
        text += profileText(&Profile::lower_report_limit_flag, "<");
    else if (testFlag(lab::UpperReportLimit))
        text += profileText(&Profile::upper_report_limit_flag, ">");
    return text;
}

QString AnalysisResult::suffix() const
{
    if (testFlag(lab::LowerMarkLimit))
        return profileText(&Profile::lower_mark_limit_flag, "↓");
    if (testFlag(lab::UpperMarkLimit))
        return profileText(&Profile::upper_mark_limit_flag, "↑");
    return QString();
}

QVariant AnalysisResult::toVariant() const
{
    if (d->error == NoError || d->error == NotClotted)
        return QVariant(d->value);
    return QVariant();
}

// Curves are stored here, beside the result they belong to, so that the
// warnings of a failed insert name this file.
void ClotCurve::save(int patientId, const QString &item, int version) const
{
    if (isEmpty())
        return;
    QSqlQuery query(Profile::instance().dataDatabase());
    if (!query.prepare(QStringLiteral("insert into curve (patientId, item, version, curve) "
                                      "values(:patientId, :item, :version, :curve)")))
        warnStatementFailed(__LINE__, query);
    query.bindValue(QStringLiteral(":patientId"), patientId);
    query.bindValue(QStringLiteral(":item"), item);
    query.bindValue(QStringLiteral(":version"), version);
    query.bindValue(QStringLiteral(":curve"), CurveCodec::encode(*this));
    if (!query.exec())
        warnStatementFailed(__LINE__, query);
}
