#include "tarnwick/core/msgbase.h"

#include "tarnwick/core/panelrecords.h"

MsgBase::MsgBase()
    : QObject(nullptr)
{
    // Every message may carry panel records across threads in its signals.
    Tarnwick::registerPanelMetaTypes();
}

MsgBase::~MsgBase() = default;
