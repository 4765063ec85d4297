#include "updaterunner.h"

#include <QtCore/qcoreapplication.h>
#include <QtCore/qlibraryinfo.h>
#include <QtCore/qtranslator.h>

#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

FILE *logFile = nullptr;

void messageHandler(QtMsgType type, const QMessageLogContext &, const QString &text)
{
    const char *prefix = nullptr;
    switch (type) {
    case QtDebugMsg:
        prefix = "Debug: ";
        break;
    case QtWarningMsg:
        prefix = "Warning: ";
        break;
    case QtCriticalMsg:
        prefix = "Critical: ";
        break;
    case QtFatalMsg:
        prefix = "Fatal: ";
        break;
    default:
        return;
    }
    // After the log file is closed at the end of a run, late messages of the
    // framework go to the standard error stream.
    FILE *out = logFile ? logFile : stderr;
    std::fprintf(out, "%s%s\n", prefix, text.toUtf8().constData());
    // Flushed line by line: a run that is killed keeps its log.
    std::fflush(out);
    if (type == QtFatalMsg)
        std::abort();
}

bool loadTranslator(QTranslator *translator, const QStringList &dirs, const QString &name)
{
    for (const QString &dir : dirs) {
        if (translator->load(name, dir))
            return true;
    }
    return false;
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc > 1) {
        logFile = std::fopen(argv[1], "a");
        if (logFile)
            qInstallMessageHandler(messageHandler);
    }

    QCoreApplication app(argc, argv);

    const QStringList dirs = {QStringLiteral("."), QStringLiteral(".."),
        QLibraryInfo::path(QLibraryInfo::TranslationsPath)};
    for (int i = 1; i < argc; ++i) {
        auto translator = std::make_unique<QTranslator>(&app);
        if (loadTranslator(translator.get(), dirs, QString::fromLocal8Bit(argv[i])))
            QCoreApplication::installTranslator(translator.release());
    }

    // On failure the log file is left to the process's end to flush and close.
    if (UpdateRunner().run() != 0)
        return 1;

    if (logFile) {
        FILE *file = logFile;
        logFile = nullptr;
        std::fclose(file);
    }
    return 0;
}
