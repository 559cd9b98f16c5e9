#pragma once

// One wait of the calling thread for something that a worker (another
// thread, or an event of this one) reports, with the calling thread's events
// running meanwhile: the window stays responsive while a panel call, a host
// lookup or a child program is under way.

#include <QObject>

#include <memory>

namespace platform {

class NestedWait {
    struct State;

public:
    enum class End {
        Woken,       // a wake came first; code() is what it gave
        TimedOut,    // the time limit passed first
        WorkerGone,  // the followed worker was destroyed first
        Interrupted, // the loop ended with none of these: the application quit
    };

    // What a worker ends the wait with. A copy may be kept and used on any
    // thread at any time, also after the wait returned and the NestedWait is
    // gone: then it does nothing. It never touches the waiting thread's
    // loop itself; it asks that thread to end the loop only while the loop
    // still runs, under the lock that the loop's end also takes.
    class Waker {
    public:
        Waker() = default;
        // The first end of a wait wins; later ones do nothing.
        void wake(int code = 0) const;
        explicit operator bool() const { return m_state != nullptr; }

    private:
        friend class NestedWait;
        explicit Waker(std::shared_ptr<State> state);
        std::shared_ptr<State> m_state;
    };

    NestedWait();
    ~NestedWait();
    NestedWait(const NestedWait&) = delete;
    NestedWait& operator=(const NestedWait&) = delete;

    Waker waker() const;

    // Ends the wait when sender emits signal (its arguments are dropped).
    template <class Sender, class Signal>
    QMetaObject::Connection wakeOn(const Sender* sender, Signal signal) const
    {
        return QObject::connect(sender, signal, [waker = waker()] { waker.wake(); });
    }

    // Follows a work item with a Complete(int) signal, before it is posted:
    // its Complete ends the wait with the code, and its destruction without
    // a Complete (a dispatcher that stopped dropped it) as WorkerGone. Both
    // come on the worker's thread.
    template <class Msg>
    void follow(const Msg* msg) const
    {
        QObject::connect(msg, &Msg::Complete, [waker = waker()](int code) { waker.wake(code); });
        endWhenDestroyed(msg);
    }
    void endWhenDestroyed(const QObject* worker) const;

    // Runs this thread's events until the wait ends or timeoutMs (none when
    // negative) has passed. Whatever the worker posted to this thread before
    // it woke the wait (queued signals, status texts) is delivered before
    // this returns, also when the wake came before the call.
    End exec(int timeoutMs = -1);

    // After Interrupted: blocks, with no events running, until a wake, the
    // worker's end or limitMs (none when negative) has passed (TimedOut).
    // A worker that will never run must not be waited for without a limit.
    End waitUntilEnded(int limitMs = -1);

    bool ended() const;
    // The code of the wake; -1 for every other end and before the end.
    int code() const;

private:
    std::shared_ptr<State> m_state;
};

} // namespace platform
