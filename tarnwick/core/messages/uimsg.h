#pragma once

// A message that runs a function on the dispatcher thread and reports its
// integer result (0 success, -1 failure) with Complete.

#include "tarnwick/core/messages/msgbase.h"

#include <QString>

#include <functional>
#include <memory>

class MsgDispatcher;

class UiMsg : public MsgBase {
    Q_OBJECT
public:
    // How long a wait that the application's quit interrupted still waits,
    // without events, for its message.
    static constexpr int kQuitWaitLimitMs = 250;

    // How a wait for a message ended.
    struct Waited {
        bool over = false; // it ran, or was deleted unrun: it uses nothing any more
        int code = -1;     // its result when it ran; -1 otherwise
    };

    explicit UiMsg(std::function<int(UiMsg*)> function);
    ~UiMsg() override;

    // Emits Complete with the function's result; -1 when the function is
    // empty or throws.
    void Run() override;

    // Posts msg to the dispatcher and runs a local event loop on this thread
    // until it has run or limitMs (none when negative) has passed. A
    // completion that comes before the loop starts is not lost, and a
    // message deleted without running gives -1. The application's quit ends
    // the loop; the message is then waited for, without events, at most
    // kQuitWaitLimitMs more (and a password request ahead of it is answered
    // with cancel). A message that the dispatcher will not run (it was
    // stopped) is not posted.
    //
    // A wait that gives up is logged with the message's object name and
    // what the dispatcher runs; the message runs on by itself. Its function
    // must therefore own, or share, everything it uses: the caller lends it
    // nothing.
    static Waited postAndWaitWithin(std::unique_ptr<UiMsg> msg, int limitMs, MsgDispatcher* dispatcher = nullptr);
    // Without a limit of its own: the message's result, -1 also when the
    // wait gave up after a quit.
    static int postAndWait(std::unique_ptr<UiMsg> msg, MsgDispatcher* dispatcher = nullptr);
    static int postAndWait(std::function<int(UiMsg*)> function);

signals:
    void State(bool, QString);
    void Complete(int code);

private:
    std::function<int(UiMsg*)> m_function;
};
