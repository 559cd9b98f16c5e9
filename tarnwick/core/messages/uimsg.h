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
    explicit UiMsg(std::function<int(UiMsg*)> function);
    ~UiMsg() override;

    // Emits Complete with the function's result; -1 when the function is
    // empty or throws.
    void Run() override;

    // Posts msg to the dispatcher and runs a local event loop on the GUI
    // thread until it has completed; returns its result. A completion that
    // comes before the loop starts is not lost, and a message deleted
    // without running gives -1. The application's quit does not end the
    // wait before the message has run.
    static int postAndWait(std::unique_ptr<UiMsg> msg, MsgDispatcher* dispatcher = nullptr);
    static int postAndWait(std::function<int(UiMsg*)> function);

signals:
    void State(bool, QString);
    void Complete(int code);

private:
    std::function<int(UiMsg*)> m_function;
};
