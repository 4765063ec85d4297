#ifndef TESTWORKDIR_H
#define TESTWORKDIR_H

#include <QtCore/qdir.h>
#include <QtCore/qtemporarydir.h>
#include <QtTest/qtest.h>

// Makes a fresh temporary directory the working directory for its lifetime,
// so that every test sees its own database files.
class TestWorkDir
{
public:
    TestWorkDir() : m_previous(QDir::currentPath())
    {
        QVERIFY2(m_dir.isValid(), qPrintable(m_dir.errorString()));
        QVERIFY(QDir::setCurrent(m_dir.path()));
    }
    ~TestWorkDir() { QDir::setCurrent(m_previous); }

    QString path() const { return m_dir.path(); }
    QString filePath(const QString &name) const { return m_dir.filePath(name); }

private:
    QString m_previous;
    QTemporaryDir m_dir;
};

#endif // TESTWORKDIR_H
