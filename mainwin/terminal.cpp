#include "mainwin/terminal.h"

#include <QByteArray>
#include <QtGlobal>
#include <cstdio>

namespace lckb {

void keepTerminalQuiet()
{
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &context, const QString &message) {
        if (type == QtCriticalMsg || type == QtFatalMsg)
            std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, message)));
    });
    // The engine's own log goes to the terminal directly: fatal errors only.
    QByteArray flags = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS");
    if (!flags.contains("--log-level"))
        qputenv("QTWEBENGINE_CHROMIUM_FLAGS", (flags + " --log-level=3").trimmed());
}

int answerOptions(const Options &options)
{
    if (!options.ok) {
        complain(options.message);
        return 2;
    }
    std::fputs(options.message.toLocal8Bit().constData(), stdout);
    return 0;
}

void complain(const QString &line)
{
    std::fprintf(stderr, "lckb: %s\n", line.toLocal8Bit().constData());
}

} // namespace lckb
