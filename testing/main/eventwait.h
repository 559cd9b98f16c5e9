#pragma once

// Waiting in a test with the calling thread's events running: queued
// signals, timers and socket notifiers get their turn while a condition is
// polled, with a short sleep between rounds so a wait costs no CPU.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <functional>

namespace TestWait {

// Runs events until `done` holds or `timeoutMs` passed; returns `done()`.
inline bool waitUntil(const std::function<bool()>& done, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeoutMs)
            return done();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(2);
    }
    return true;
}

} // namespace TestWait
