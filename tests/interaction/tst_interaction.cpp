#include "labglobal.h"
#include "messageboxcatcher.h"

#include <QtCore/qprocess.h>
#include <QtCore/qsemaphore.h>
#include <QtCore/qthread.h>
#include <QtTest/qtest.h>
#include <QtWidgets/qdialog.h>

using MessageFunction = QMessageBox::StandardButton (*)(
    const QString &, QMessageBox::StandardButtons, QMessageBox::StandardButton);
Q_DECLARE_METATYPE(MessageFunction)

namespace {

int overrideShape()
{
    const QCursor *cursor = QGuiApplication::overrideCursor();
    return cursor ? cursor->shape() : -1;
}

} // namespace

class tst_Interaction : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void messageBoxes_data();
    void messageBoxes();
    void answers_data();
    void answers();
    void arrowOverBusyCursor();
    void boxParentedToModalDialog();

    void topLevelWidgetWithoutWindows();
    void topLevelWidgetPrefersModalDialog();

    void waitCursorsNest();
    void waitCursorInWorkerThread();

    void boolLocker_data();
    void boolLocker();
    void nestedBoolLockers();

    void withoutApplication_data();
    void withoutApplication();
};

void tst_Interaction::initTestCase()
{
    QCoreApplication::setApplicationName(QStringLiteral("Coagulation Workstation"));
}

void tst_Interaction::cleanup()
{
    // A failed check must not leave a cursor behind for the next test.
    while (QGuiApplication::overrideCursor())
        QGuiApplication::restoreOverrideCursor();
}

void tst_Interaction::messageBoxes_data()
{
    QTest::addColumn<MessageFunction>("function");
    QTest::addColumn<QMessageBox::Icon>("icon");

    QTest::newRow("information") << MessageFunction(information) << QMessageBox::Information;
    QTest::newRow("warning") << MessageFunction(warning) << QMessageBox::Warning;
    QTest::newRow("critical") << MessageFunction(critical) << QMessageBox::Critical;
    QTest::newRow("question") << MessageFunction(question) << QMessageBox::Question;
}

void tst_Interaction::messageBoxes()
{
    QFETCH(MessageFunction, function);
    QFETCH(QMessageBox::Icon, icon);

    const QString text = QStringLiteral("无法打开数据库文件 data.db\nsecond line");
    MessageBoxCatcher catcher;
    QCOMPARE(function(text, QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Cancel),
        QMessageBox::Cancel);

    QCOMPARE(catcher.boxes.size(), 1);
    const CaughtBox &box = catcher.boxes.first();
    QCOMPARE(box.icon, icon);
    QCOMPARE(box.title, QStringLiteral("Coagulation Workstation"));
    QCOMPARE(box.text, text);
    QCOMPARE(box.buttons, QMessageBox::Ok | QMessageBox::Cancel);
    QCOMPARE(box.defaultButton, QMessageBox::Cancel);
    QCOMPARE(box.parent, nullptr);
    QCOMPARE(box.cursorShape, int(Qt::ArrowCursor));
    QCOMPARE(overrideShape(), -1);
}

void tst_Interaction::answers_data()
{
    QTest::addColumn<QMessageBox::StandardButton>("pressed");
    QTest::addColumn<QMessageBox::StandardButton>("expected");

    QTest::newRow("yes") << QMessageBox::Yes << QMessageBox::Yes;
    QTest::newRow("no") << QMessageBox::No << QMessageBox::No;
    QTest::newRow("default") << QMessageBox::NoButton << QMessageBox::No;
}

void tst_Interaction::answers()
{
    QFETCH(QMessageBox::StandardButton, pressed);
    QFETCH(QMessageBox::StandardButton, expected);

    MessageBoxCatcher catcher(pressed);
    QCOMPARE(question(QStringLiteral("Discard the changes?"), QMessageBox::Yes | QMessageBox::No,
                 QMessageBox::No),
        expected);
    QCOMPARE(catcher.boxes.size(), 1);
    QCOMPARE(catcher.boxes.first().defaultButton, QMessageBox::No);
}

void tst_Interaction::arrowOverBusyCursor()
{
    MessageBoxCatcher catcher;
    {
        WaitCursor busy;
        QCOMPARE(overrideShape(), int(Qt::WaitCursor));
        information(QStringLiteral("first"));
        QCOMPARE(overrideShape(), int(Qt::WaitCursor));
        warning(QStringLiteral("second"));
        QCOMPARE(overrideShape(), int(Qt::WaitCursor));
    }
    QCOMPARE(overrideShape(), -1);

    QCOMPARE(catcher.boxes.size(), 2);
    for (const CaughtBox &box : std::as_const(catcher.boxes))
        QCOMPARE(box.cursorShape, int(Qt::ArrowCursor));
}

void tst_Interaction::boxParentedToModalDialog()
{
    QDialog dialog;
    dialog.setModal(true);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));

    MessageBoxCatcher catcher;
    critical(QStringLiteral("over the dialog"));
    QCOMPARE(catcher.boxes.size(), 1);
    QCOMPARE(catcher.boxes.first().parent, &dialog);
}

void tst_Interaction::topLevelWidgetWithoutWindows()
{
    QCOMPARE(QApplication::activeModalWidget(), nullptr);
    QCOMPARE(QApplication::activeWindow(), nullptr);
    QCOMPARE(topLevelWidget(), nullptr);
}

void tst_Interaction::topLevelWidgetPrefersModalDialog()
{
    QWidget mainWindow;
    auto *child = new QWidget(&mainWindow);
    mainWindow.show();
    QApplication::setActiveWindow(&mainWindow);
    QVERIFY(QTest::qWaitForWindowActive(&mainWindow));
    child->setFocus();
    QCOMPARE(topLevelWidget(), &mainWindow);

    QWidget otherWindow;
    otherWindow.show();
    QDialog dialog(&mainWindow);
    dialog.setModal(true);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QApplication::setActiveWindow(&otherWindow);

    QCOMPARE(topLevelWidget(), &dialog);
    dialog.hide();
    QCOMPARE(QApplication::activeModalWidget(), nullptr);
}

void tst_Interaction::waitCursorsNest()
{
    {
        WaitCursor busy;
        QCOMPARE(overrideShape(), int(Qt::WaitCursor));
        {
            WaitCursor cross(Qt::CrossCursor);
            QCOMPARE(overrideShape(), int(Qt::CrossCursor));
            {
                WaitCursor arrow(Qt::ArrowCursor);
                QCOMPARE(overrideShape(), int(Qt::ArrowCursor));
            }
            QCOMPARE(overrideShape(), int(Qt::CrossCursor));
        }
        QCOMPARE(overrideShape(), int(Qt::WaitCursor));
    }
    QCOMPARE(overrideShape(), -1);
}

void tst_Interaction::waitCursorInWorkerThread()
{
    QSemaphore constructed;
    QSemaphore mayDestroy;
    QSemaphore destroyed;
    QScopedPointer<QThread> worker(QThread::create([&] {
        {
            WaitCursor cross(Qt::CrossCursor);
            constructed.release();
            mayDestroy.acquire();
        }
        destroyed.release();
    }));

    {
        WaitCursor busy;
        worker->start();
        constructed.acquire();
        QCOMPARE(overrideShape(), int(Qt::WaitCursor)); // nothing pushed
        mayDestroy.release();
        destroyed.acquire();
        QCOMPARE(overrideShape(), int(Qt::WaitCursor)); // nothing popped
    }
    QCOMPARE(overrideShape(), -1);
    QVERIFY(worker->wait(5000));
}

void tst_Interaction::boolLocker_data()
{
    QTest::addColumn<bool>("before");
    QTest::addColumn<bool>("value");
    QTest::addColumn<bool>("changedInside");

    for (bool before : {false, true}) {
        for (bool value : {false, true}) {
            for (bool changed : {false, true}) {
                QTest::addRow("before=%d value=%d changed=%d", before, value, changed)
                    << before << value << changed;
            }
        }
    }
}

void tst_Interaction::boolLocker()
{
    QFETCH(bool, before);
    QFETCH(bool, value);
    QFETCH(bool, changedInside);

    bool flag = before;
    {
        BoolLocker locker(flag, value);
        QCOMPARE(flag, value);
        if (changedInside)
            flag = !flag;
    }
    QCOMPARE(flag, before);
}

void tst_Interaction::nestedBoolLockers()
{
    bool flag = false;
    {
        BoolLocker outer(flag);
        QCOMPARE(flag, true);
        {
            BoolLocker inner(flag, false);
            QCOMPARE(flag, false);
        }
        QCOMPARE(flag, true);
    }
    QCOMPARE(flag, false);
}

void tst_Interaction::withoutApplication_data()
{
    QTest::addColumn<QStringList>("arguments");

    QTest::newRow("no application object") << QStringList();
    QTest::newRow("QCoreApplication") << QStringList {QStringLiteral("core")};
}

void tst_Interaction::withoutApplication()
{
    QFETCH(QStringList, arguments);

    QProcess console;
    console.start(QStringLiteral(INTERACTION_CONSOLE), arguments);
    QVERIFY(console.waitForFinished(30000));
    QCOMPARE(console.exitStatus(), QProcess::NormalExit);
    QCOMPARE(console.exitCode(), 0);

    // The boxes answer with their default button; the texts go to the
    // message channel in call order.
    const QStringList answers = QString::fromUtf8(console.readAllStandardOutput()).split('\n');
    QCOMPARE(answers,
        QStringList({QString::number(QMessageBox::NoButton), QString::number(QMessageBox::No),
            QString::number(QMessageBox::Ok), QString::number(QMessageBox::NoButton),
            QStringLiteral("no window"), QString()}));
    const QString messages = QString::fromUtf8(console.readAllStandardError());
    const QStringList texts = {QStringLiteral("information text"), QStringLiteral("question text"),
        QStringLiteral("warning text"), QStringLiteral("critical text")};
    qsizetype from = 0;
    for (const QString &text : texts) {
        const qsizetype at = messages.indexOf(text, from);
        QVERIFY2(at >= 0, qPrintable(messages));
        from = at + text.size();
    }
}

QTEST_MAIN(tst_Interaction)
#include "tst_interaction.moc"
