#include "quillet/port/serialportholder.h"

#include "quillet/port/portconstants.h"
#include "skerrow/skerrow.h"

namespace TransparentPort {

bool SerialPortHolder::ensureOpen()
{
    if (port.isOpen())
        return true;
    if (name.empty())
        return false;
    const unsigned long long now = Vexa_GetTickCount();
    if (now - lastOpenAttempt < static_cast<unsigned long long>(kSerialReopenPauseMs))
        return false;
    lastOpenAttempt = now;
    knownQueued = 0;
    reopen();
    return false;
}

Serial::Status SerialPortHolder::closeIfGone(const Serial::Status& st)
{
    if (st.gone) {
        port.close();
        knownQueued = 0;
    }
    return st;
}

Serial::Status SerialPortHolder::inputStatus()
{
    const Serial::Status st = closeIfGone(port.inputStatus());
    knownQueued = st.ok ? st.queued : 0;
    return st;
}

Serial::Status SerialPortHolder::inputCount()
{
    if (knownQueued > 0) {
        Serial::Status st;
        st.ok = true;
        st.queued = knownQueued;
        return st;
    }
    return inputStatus();
}

bool SerialPortHolder::writable()
{
    if (!ensureOpen())
        return false;
    const Serial::Status st = closeIfGone(port.outputStatus());
    return st.ok && !st.transmitFull;
}

int SerialPortHolder::write(const char* data, int len)
{
    if (!data || len <= 0)
        return 0;
    if (!ensureOpen())
        return -1;
    bool failed = false;
    const int written = port.writeAll(data, len, &failed);
    if (failed)
        closeIfGone(port.outputStatus()); // closes a port that went away
    return written > 0 ? written : -3;
}

bool SerialPortHolder::openWith(const Serial::Settings& settings, int readIntervalMs)
{
    if (port.open(name) != Serial::OpenResult::Ok)
        return false;
    if (!port.apply(settings)) {
        port.close();
        return false;
    }
    port.setTimeouts({readIntervalMs, kReadTotalConstantMs, kWriteTotalConstantMs});
    port.setQueueSizes(kSerialQueueSize, kSerialQueueSize);
    return true;
}

} // namespace TransparentPort
