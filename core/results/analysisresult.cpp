#include "analysisresult.h"

#include <QtCore/qcoreapplication.h>

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

AnalysisResult::AnalysisResult(const AnalysisResult &other) noexcept : d(other.d)
{
    d->ref.ref();
}

AnalysisResult &AnalysisResult::operator=(const AnalysisResult &other) noexcept
{
    other.d->ref.ref();
    if (!d->ref.deref())
        delete d;
    d = other.d;
    return *this;
}

AnalysisResult::~AnalysisResult()
{
    if (!d->ref.deref())
        delete d;
}

void AnalysisResult::detach()
{
    if (d->ref.loadAcquire() == 1)
        return;
    Data *copy = new Data(*d);
    if (!d->ref.deref())
        delete d;
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
