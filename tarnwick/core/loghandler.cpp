#include "tarnwick/core/loghandler.h"

#include "tarnwick/core/constants.h"
#include "tarnwick/core/logger.h"

#include <QByteArray>
#include <QString>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>

namespace C = Tarnwick::Constants;

namespace {

// Lives for the whole process (never destroyed): a message may come from
// any thread at any time, also while the program ends.
struct State {
    std::mutex mutex;         // guards everything below but terminalWrite
    std::mutex terminalWrite; // keeps the terminal's chunks in order
    std::condition_variable wake;
    QByteArray terminal;
    QtMessageHandler previous = nullptr;
    bool installed = false;
    bool stopping = false;
    std::thread writer;
};

State& state()
{
    static State* s = new State;
    return *s;
}

void writeTerminal()
{
    State& s = state();
    std::lock_guard<std::mutex> order(s.terminalWrite);
    QByteArray chunk;
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        chunk.swap(s.terminal);
    }
    if (chunk.isEmpty())
        return;
    std::fwrite(chunk.constData(), 1, size_t(chunk.size()), stderr);
    std::fflush(stderr);
}

void writerLoop()
{
    State& s = state();
    std::unique_lock<std::mutex> lock(s.mutex);
    while (!s.stopping) {
        s.wake.wait_for(lock, std::chrono::milliseconds(C::kLogFlushIntervalMs));
        if (s.stopping)
            break;
        lock.unlock();
        LogHandler::flush();
        lock.lock();
    }
}

} // namespace

void LogHandler::install()
{
    // A process that ends through exit() without removing the handler
    // first stops the writer before the log itself is destroyed: the log
    // exists before the exit hook is registered, so it outlives the hook.
    Logger::instance();
    static std::once_flag hooked;
    std::call_once(hooked, [] { std::atexit(&LogHandler::uninstall); });

    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (s.installed)
        return;
    s.installed = true;
    s.stopping = false;
    s.previous = qInstallMessageHandler(&LogHandler::handle);
    s.writer = std::thread(writerLoop);
}

void LogHandler::uninstall()
{
    State& s = state();
    std::thread writer;
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        if (!s.installed)
            return;
        s.installed = false;
        s.stopping = true;
        qInstallMessageHandler(s.previous);
        s.previous = nullptr;
        writer.swap(s.writer);
    }
    s.wake.notify_all();
    if (writer.joinable())
        writer.join();
    flush();
}

bool LogHandler::isInstalled()
{
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.installed;
}

void LogHandler::flush()
{
    writeTerminal();
    Logger::instance()->flush();
}

void LogHandler::handle(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    QByteArray line = qFormatLogMessage(type, context, message).toLocal8Bit();
    line += '\n';
    bool full = false;
    {
        State& s = state();
        std::lock_guard<std::mutex> lock(s.mutex);
        s.terminal += line;
        full = s.terminal.size() >= C::kLogTerminalBufferBytes;
    }
    // The log puts its own time in front of the message.
    Logger::append(type, context, message);
    // A terminal that does not take the text as fast as it comes slows the
    // writers down instead of growing the buffer without end.
    if (full)
        writeTerminal();
    if (type == QtFatalMsg) {
        flush();
        std::abort();
    }
}
