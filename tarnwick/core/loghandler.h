#pragma once

// The program's Qt message handler: every message once to the terminal, in
// the program's message pattern, and once into the log (Logger, which puts
// its own time in front). Neither is written line by line: both buffers go
// out from a thread of the handler's own a few times a second, when flush()
// is called, and when the handler is removed; a fatal message flushes both
// before the process aborts.

#include <QtGlobal>

class LogHandler {
public:
    // Installs the handler and starts its writer; the handler replaced is
    // kept. Nothing happens when it is installed already.
    static void install();
    // Puts the replaced handler back, stops the writer and flushes.
    static void uninstall();
    static bool isInstalled();
    // Writes both buffers now.
    static void flush();

    static void handle(QtMsgType type, const QMessageLogContext& context, const QString& message);
};
