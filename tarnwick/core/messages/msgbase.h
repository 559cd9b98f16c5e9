#pragma once

// The unit of work of the dispatcher thread: a QObject whose Run does the
// blocking work and reports through the message's own signals.

#include <QObject>

class MsgBase : public QObject {
public:
    MsgBase();
    ~MsgBase() override;

    virtual void Run() = 0;
};
