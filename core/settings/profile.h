#ifndef PROFILE_H
#define PROFILE_H

#include "labcore_global.h"

#include <QtCore/qobject.h>
#include <QtCore/qstringlist.h>
#include <QtCore/qvariant.h>
#include <QtGui/qcolor.h>
#include <QtSql/qsqldatabase.h>

class ProfilePrivate;

// The named settings: type and name of each getter/setter pair, whose key in
// the settings table is its name. The cached members follow this order.
#define LABCORE_PROFILE_NAMED_SETTINGS(X)    \
    X(QString, statim_sample_prefix)         \
    X(QString, qc_sample_prefix)             \
    X(QString, result_is_preparing)          \
    X(QString, result_can_not_be_calculated) \
    X(QString, result_is_incubating)         \
    X(QString, result_is_analysing)          \
    X(QString, result_not_clotted)           \
    X(QString, dilution_result_flag)         \
    X(QString, lower_report_limit_flag)      \
    X(QString, upper_report_limit_flag)      \
    X(QString, lower_mark_limit_flag)        \
    X(QString, upper_mark_limit_flag)        \
    X(QString, manual_input_flag)            \
    X(QColor, color_of_waiting)              \
    X(QColor, color_of_dispensing)           \
    X(QColor, color_of_incubating)           \
    X(QColor, color_of_analysing)            \
    X(QColor, color_of_null_result)          \
    X(QString, analysis_display_assay)       \
    X(QString, patient_display_fields)       \
    X(int, max_qc_file)                      \
    X(int, qc_method)                        \
    X(QString, hospital)                     \
    X(bool, is_touch_screen)

// The process-wide settings store and the owner of the four database
// connections "profile.db", "data.db", "qc.db" and "syslog.db".
class LABCORE_EXPORT Profile : public QObject
{
    Q_OBJECT

public:
    static Profile &instance();

    explicit Profile(QObject *parent = nullptr);
    explicit Profile(const QString &fileName, QObject *parent = nullptr);
    ~Profile() override;

    QSqlDatabase database() const;
    QSqlDatabase dataDatabase() const;
    QSqlDatabase qcDatabase() const;
    QSqlDatabase syslogDatabase() const;

    QVariant value(const QString &key, const QVariant &defaultValue = QVariant());
    QVariant value2(
        const QString &key, const QString &fallbackKey, const QVariant &defaultValue = QVariant());
    void setValue(const QString &key, const QVariant &value, bool save);
    void remove(const QString &key);
    QStringList keys() const;

#define LABCORE_PROFILE_DECLARE_ACCESSORS(Type, name) \
    Type name(const Type &defaultValue);              \
    void set_##name(const Type &value, bool save);
    LABCORE_PROFILE_NAMED_SETTINGS(LABCORE_PROFILE_DECLARE_ACCESSORS)
#undef LABCORE_PROFILE_DECLARE_ACCESSORS

Q_SIGNALS:
    void valueChanged(const QString &key, const QVariant &value);
    void keyRemoved(const QString &key);

private Q_SLOTS:
    void saveValue(const QString &key, const QVariant &value);
    void removeKey(const QString &key);

private:
    Q_DISABLE_COPY(Profile)

    void init(const QString &fileName);
    void storeInCache(const QString &key, const QVariant &value);
    void writeQueuedChanges();

#define LABCORE_PROFILE_DECLARE_MEMBER(Type, name) QVariant m_##name;
    LABCORE_PROFILE_NAMED_SETTINGS(LABCORE_PROFILE_DECLARE_MEMBER)
#undef LABCORE_PROFILE_DECLARE_MEMBER

    ProfilePrivate *d;
};

#endif // PROFILE_H
