#ifndef MESSAGEBOXCATCHER_H
#define MESSAGEBOXCATCHER_H

#include <QtCore/qlist.h>
#include <QtCore/qtimer.h>
#include <QtGui/qguiapplication.h>
#include <QtWidgets/qabstractbutton.h>
#include <QtWidgets/qapplication.h>
#include <QtWidgets/qmessagebox.h>
#include <QtWidgets/qpushbutton.h>

// What a message box showed when it was caught.
struct CaughtBox
{
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QString title;
    QString text;
    QMessageBox::StandardButtons buttons;
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
    QWidget *parent = nullptr;
    int cursorShape = -1; // the override cursor in force, -1 for none
};

// Answers every modal message box that appears while it lives: records what
// the box shows and presses `answer`, or the box's default button (else its
// first button) when `answer` is NoButton.
class MessageBoxCatcher
{
public:
    explicit MessageBoxCatcher(QMessageBox::StandardButton answer = QMessageBox::NoButton)
        : m_answer(answer)
    {
        m_timer.setInterval(5);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { catchBox(); });
        m_timer.start();
    }

    QList<CaughtBox> boxes;

    QStringList texts() const
    {
        QStringList result;
        for (const CaughtBox &box : boxes)
            result << box.text;
        return result;
    }

private:
    void catchBox()
    {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box || !box->isVisible())
            return;
        CaughtBox caught;
        caught.icon = box->icon();
        caught.title = box->windowTitle();
        caught.text = box->text();
        caught.buttons = box->standardButtons();
        if (box->defaultButton())
            caught.defaultButton = box->standardButton(box->defaultButton());
        caught.parent = box->parentWidget();
        if (const QCursor *cursor = QGuiApplication::overrideCursor())
            caught.cursorShape = cursor->shape();
        boxes << caught;

        QAbstractButton *button
            = m_answer != QMessageBox::NoButton ? box->button(m_answer) : box->defaultButton();
        if (!button && !box->buttons().isEmpty())
            button = box->buttons().first();
        if (button)
            button->click();
        else
            box->reject();
    }

    QMessageBox::StandardButton m_answer;
    QTimer m_timer;
};

#endif // MESSAGEBOXCATCHER_H
