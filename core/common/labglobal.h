#ifndef LABGLOBAL_H
#define LABGLOBAL_H

#include "labcore_global.h"

#include <QtCore/qnamespace.h>
#include <QtWidgets/qmessagebox.h>

QT_BEGIN_NAMESPACE
class QWidget;
QT_END_NAMESPACE

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
