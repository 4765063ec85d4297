#ifndef LABGLOBAL_H
#define LABGLOBAL_H

#include "labcore_global.h"

#include <QtCore/qnamespace.h>
#include <QtCore/qstring.h>
#include <QtCore/qstringlist.h>
#include <QtCore/qvariant.h>
#include <QtWidgets/qmessagebox.h>

QT_BEGIN_NAMESPACE
class QDate;
class QSqlRecord;
class QWidget;
QT_END_NAMESPACE

namespace lab {
enum SampleType : int;
} // namespace lab

// Numbers, ratios and volumes

// The quotient of the first ratio in text such as "1/10" or "1 : 2" (text
// around it is ignored). ok tells whether a ratio was found; 0 without one.
LABCORE_EXPORT double fraction(const QString &text, bool *ok = nullptr);

// value rounded through its decimal text, QString::number(value, format,
// precision). precision has no default so that round(x) stays the C one.
LABCORE_EXPORT double round(double value, int precision, char format = 'f');

// A volume in microlitres as short text: "1.5 mL", "2147 L", "500 uL".
LABCORE_EXPORT QString humanReadableVolume(int volume);
// As above, except that for code 4096 without exact the volume is shown in
// whole litres with one decimal ("<0.1 L" below 100000 uL).
LABCORE_EXPORT QString humanReadableVolume(int code, int volume, bool exact = false);

// The offered dilution ratios, "1/1" to "4/5".
LABCORE_EXPORT QStringList dilutionList();

// The sample-number prefix of statim ("S") and quality-control ("QC")
// samples, as stored in the settings; empty text for every other kind.
LABCORE_EXPORT QString samplePrefix(lab::SampleType type);

// CRC-16/IBM-3740 (poly 0x1021, init 0xFFFF, no reflection, no final XOR)
// of length bytes at data; 0xFFFF for no bytes.
LABCORE_EXPORT unsigned short crc16(const void *data, int length);

// Script evaluation

// Evaluates program in a fresh engine. Numbers come back as double, strings
// as text, arrays as lists, dates as date-times, objects as maps (an error
// as its name and message), null as a null variant; undefined, functions
// and symbols as an invalid variant. A thrown value is returned like any
// other result.
LABCORE_EXPORT QVariant eval(const QString &program);

// Evaluates the UTF-8 script file fileName in a fresh engine. An uncaught
// exception is shown in a critical box and gives an invalid variant; a file
// that cannot be read evaluates as an empty program.
LABCORE_EXPORT QVariant load_script(const QString &fileName);

// Sample numbering and record helpers

// One more than the highest leading integer of the sample numbers of date in
// the patient table of data.db; 1 for a day without numbered samples. A
// failed statement is logged as a warning and also gives 1.
LABCORE_EXPORT int nextSampleNo(const QDate &date);

// Sets the field name (any letter case) of record and marks it generated,
// so that statements built from the record include it. Unknown names are
// ignored.
LABCORE_EXPORT void setGeneratedValue(
    QSqlRecord &record, const QString &name, const QVariant &value);

// Blocks the calling thread for milliseconds without processing events.
LABCORE_EXPORT void sleep(int milliseconds);

// Interaction helpers

// The window that dialogs are parented to: the active modal widget's
// window, else the active window's, else null.
LABCORE_EXPORT QWidget *topLevelWidget();

// Modal message boxes over topLevelWidget(), titled with the application's
// name. Without a QApplication, or off the GUI thread, no box can be shown:
// the text is written as a warning message and defaultButton is returned.
LABCORE_EXPORT QMessageBox::StandardButton
information(const QString &text, QMessageBox::StandardButtons buttons = QMessageBox::Ok,
            QMessageBox::StandardButton defaultButton = QMessageBox::NoButton);
LABCORE_EXPORT QMessageBox::StandardButton
question(const QString &text, QMessageBox::StandardButtons buttons = QMessageBox::Ok,
         QMessageBox::StandardButton defaultButton = QMessageBox::NoButton);
LABCORE_EXPORT QMessageBox::StandardButton
warning(const QString &text, QMessageBox::StandardButtons buttons = QMessageBox::Ok,
        QMessageBox::StandardButton defaultButton = QMessageBox::NoButton);
LABCORE_EXPORT QMessageBox::StandardButton
critical(const QString &text, QMessageBox::StandardButtons buttons = QMessageBox::Ok,
         QMessageBox::StandardButton defaultButton = QMessageBox::NoButton);

// Pushes an override cursor for its lifetime. Only the GUI thread touches
// the cursor stack; elsewhere (or without a GUI application) it does nothing.
class LABCORE_EXPORT WaitCursor
{
public:
    explicit WaitCursor(Qt::CursorShape shape = Qt::WaitCursor);
    ~WaitCursor();

    // Each object stands for exactly one entry on the cursor stack, so a
    // copy would pop an entry it never pushed.
    WaitCursor(const WaitCursor &) = delete;
    WaitCursor &operator=(const WaitCursor &) { return *this; }
};

// Sets a flag for its lifetime and then restores the value it had before.
class LABCORE_EXPORT BoolLocker
{
public:
    explicit BoolLocker(bool &flag, bool value = true);
    ~BoolLocker();

    BoolLocker(const BoolLocker &) = delete;
    BoolLocker &operator=(const BoolLocker &) = delete;

private:
    bool *m_flag;
    bool m_previous;
};

#endif // LABGLOBAL_H
