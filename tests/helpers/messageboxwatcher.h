#ifndef MESSAGEBOXWATCHER_H
#define MESSAGEBOXWATCHER_H

#include <QtCore/qtimer.h>
#include <QtWidgets/qapplication.h>
#include <QtWidgets/qmessagebox.h>

// Records and closes every message box that opens while it lives, so that
// a modal box cannot block a test.
class MessageBoxWatcher
{
public:
    struct Box
    {
        QMessageBox::Icon icon;
        QString text;
    };

    MessageBoxWatcher()
    {
        QObject::connect(&m_timer, &QTimer::timeout, [this] { closeActiveBox(); });
        m_timer.start(10);
    }

    const QList<Box> &boxes() const { return m_boxes; }

private:
    void closeActiveBox()
    {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box || box->property("recorded").toBool())
            return;
        box->setProperty("recorded", true);
        m_boxes.append({box->icon(), box->text()});
        box->done(QMessageBox::Ok);
    }

    QTimer m_timer;
    QList<Box> m_boxes;
};

#endif // MESSAGEBOXWATCHER_H
