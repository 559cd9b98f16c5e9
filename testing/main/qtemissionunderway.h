#pragma once

// For the ThreadSanitizer tree's annotations (qteventannotations.cpp): a
// signal's emission under way, so that a queued delivery of it waits until
// the emitting call has told the sanitizer what it did.
//
// Qt copies a queued signal's arguments (with copy constructors in our
// code), puts the event into the receiving thread's queue and unlocks the
// queue, all inside QMetaObject::activate; the hook there releases the
// sender's key once Qt's call has returned. A receiving thread that is
// awake already can take the event out in between (Qt's queue lock orders
// it after the copies, unseen) and read the arguments before that release:
// the delivery waits, briefly and boundedly, until no emission of the sender
// is under way on another thread. The counters are relaxed: they order
// nothing for the sanitizer, only the release and acquire do. Senders share
// a counter when their addresses hash alike, which only makes a delivery
// wait a little longer; past the bound (200 ms) it goes on, and may be
// reported.

namespace TsanAnnotations {

class EmissionUnderWay {
public:
    explicit EmissionUnderWay(const void* sender);
    ~EmissionUnderWay();

    EmissionUnderWay(const EmissionUnderWay&) = delete;
    EmissionUnderWay& operator=(const EmissionUnderWay&) = delete;

    // Waits, up to the bound, while another thread emits a signal of the
    // sender.
    static void waitForOthers(const void* sender);

private:
    const int m_slot;
};

} // namespace TsanAnnotations
