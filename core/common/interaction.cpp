#include "labglobal.h"

#include <QtCore/qthread.h>
#include <QtWidgets/qapplication.h>
#include <QtWidgets/qwidget.h>

namespace {

bool onGuiThread()
{
    const QCoreApplication *app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

bool canShowWidgets()
{
    return onGuiThread() && qobject_cast<QApplication *>(QCoreApplication::instance());
}

bool canSetCursor()
{
    return onGuiThread() && qobject_cast<QGuiApplication *>(QCoreApplication::instance());
}

QMessageBox::StandardButton showMessage(QMessageBox::Icon icon, const QString &text,
    QMessageBox::StandardButtons buttons, QMessageBox::StandardButton defaultButton)
{
    if (!canShowWidgets()) {
        // A console tool or a worker thread: nobody can answer a box, so
        // the text goes to the message channel and the default is the answer.
        qWarning("%s", qUtf8Printable(text));
        return defaultButton;
    }

    WaitCursor arrow(Qt::ArrowCursor);
    QMessageBox box(icon, QCoreApplication::applicationName(), text, buttons, topLevelWidget(),
        Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint);
    if (defaultButton != QMessageBox::NoButton)
        box.setDefaultButton(defaultButton);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

} // namespace

QWidget *topLevelWidget()
{
    if (!qobject_cast<QApplication *>(QCoreApplication::instance()))
        return nullptr;
    QWidget *widget = QApplication::activeModalWidget();
    if (!widget)
        widget = QApplication::activeWindow();
    if (widget && widget->window())
        return widget->window();
    return widget;
}

QMessageBox::StandardButton information(const QString &text, QMessageBox::StandardButtons buttons,
    QMessageBox::StandardButton defaultButton)
{
    return showMessage(QMessageBox::Information, text, buttons, defaultButton);
}

QMessageBox::StandardButton question(const QString &text, QMessageBox::StandardButtons buttons,
    QMessageBox::StandardButton defaultButton)
{
    return showMessage(QMessageBox::Question, text, buttons, defaultButton);
}

QMessageBox::StandardButton warning(const QString &text, QMessageBox::StandardButtons buttons,
    QMessageBox::StandardButton defaultButton)
{
    return showMessage(QMessageBox::Warning, text, buttons, defaultButton);
}

QMessageBox::StandardButton critical(const QString &text, QMessageBox::StandardButtons buttons,
    QMessageBox::StandardButton defaultButton)
{
    return showMessage(QMessageBox::Critical, text, buttons, defaultButton);
}

WaitCursor::WaitCursor(Qt::CursorShape shape)
{
    if (canSetCursor())
        QGuiApplication::setOverrideCursor(QCursor(shape));
}

WaitCursor::~WaitCursor()
{
    if (canSetCursor())
        QGuiApplication::restoreOverrideCursor();
}

BoolLocker::BoolLocker(bool &flag, bool value) : m_flag(&flag), m_previous(flag)
{
    flag = value;
}

BoolLocker::~BoolLocker()
{
    *m_flag = m_previous;
}
