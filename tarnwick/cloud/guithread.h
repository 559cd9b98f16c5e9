#pragma once

// VPNClient and VpnManager live on the GUI thread with their timers and
// network replies, and hold no lock: every caller is there (the windows of
// tarnwick/ui). A call from any other thread would race with them, so it is
// stopped here, in every build, before it touches anything.

#include <QObject>
#include <QThread>
#include <QtGlobal>

namespace Tarnwick {
namespace Cloud {

inline void assertGuiThread(const QObject* object, const char* what)
{
    if (QThread::currentThread() != object->thread())
        qFatal("%s: called from a thread it does not live on", what);
}

} // namespace Cloud
} // namespace Tarnwick
