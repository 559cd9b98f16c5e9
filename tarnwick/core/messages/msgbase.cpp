#include "tarnwick/core/messages/msgbase.h"

#include "tarnwick/core/panelrpc/panelrecords.h"

MsgBase::MsgBase()
    : QObject(nullptr)
{
    // Every message may carry panel records across threads in its signals.
    Tarnwick::registerPanelMetaTypes();
}

MsgBase::~MsgBase() = default;
