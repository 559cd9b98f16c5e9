#pragma once

// The one worker thread that runs messages one at a time in posting order
// and deletes each after its Run. It runs no Qt event loop.

#include "tarnwick/core/messages/msgbase.h"

#include "platform/dispatch/messagequeue.h"

#include <QThread>

#include <functional>
#include <memory>
#include <string>

class MsgDispatcher : public QThread {
public:
    // The process-wide dispatcher, started on first use. When a Qt
    // application exists, its shutdown cancels every pending password
    // request and stops the dispatcher while Qt is still there.
    static MsgDispatcher* instance();

    // A dispatcher of its own (tests); started at once.
    MsgDispatcher();
    ~MsgDispatcher() override;

    // How long stop() waits for the Run in progress by default.
    static constexpr int kStopLimitMs = 2000;

    // Takes the message and queues it; callable from any thread, also from a Run.
    virtual void post(std::unique_ptr<MsgBase> msg);
    // Ends the loop after the Run in progress, waiting for it at most
    // limitMs, and deletes the messages still queued without running them.
    // False when the Run outlasts the limit: it is logged and left running,
    // and the dispatcher must then stay (the process's own one does).
    bool stop(int limitMs = kStopLimitMs);
    void restart();
    // Whether a message posted now will run: the loop runs and no stop has
    // been asked of it. Meant for the thread that stops the dispatcher.
    bool runsPostedMessages() const;
    // The message whose Run is in progress (its class and object name), or empty.
    std::string runningMessage() const;

    // Messages that block the dispatcher thread waiting for the user register
    // how to answer "cancel" while they wait. add returns false (and
    // registers nothing) once the application is shutting down: the caller
    // then takes the answer as cancel at once.
    static bool addPendingWait(const void* key, std::function<void()> cancel);
    static void removePendingWait(const void* key);
    // Answers every pending wait with cancel.
    static void cancelPendingWaits();
    // The process-wide dispatcher's end: every pending wait answered with
    // cancel, no new one admitted, the loop stopped after the Run in
    // progress (at most limitMs later: a Run still going then is left
    // running with the dispatcher kept). Runs by itself when the Qt
    // application goes; a program that ends otherwise calls it, and so may
    // one that ends earlier within a time of its own. Only the first call
    // waits: later ones find the end's outcome standing.
    static void shutdownAtQuit(int limitMs = kStopLimitMs);

protected:
    void run() override;

private:
    // The stop flag, the owning queue, its mutex and condition, and the loop.
    platform::MessageQueue<MsgBase> m_queue;
};
