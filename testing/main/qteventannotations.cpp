// Linked into every test program of the ThreadSanitizer tree, beside
// qtsyncannotations.cpp: tells the sanitizer what Qt's event system orders
// when it hands work from one thread to another.
//
// A queued signal, QMetaObject::invokeMethod (by name or with a functor),
// QCoreApplication::postEvent and QObject::deleteLater all put an event into
// the receiving thread's queue under a QMutex inside libQt5Core, which is not
// built for the sanitizer: to it, what the posting thread did before the post
// is not ordered before the delivery on the receiving thread, and every
// hand-over would look like a race. The program defines the functions below,
// which our code calls through the dynamic linker (they are exported: see
// CMakeLists.txt); each tells the sanitizer and then calls Qt's own. Calls
// inside libQt5Core stay bound to Qt's definitions (Debian builds it with
// -Bsymbolic-functions), so Qt's own posts are not described: only those our
// code makes.
//
// What each hook covers (testing/main/tests/qteventannotations_test.cpp runs
// each case and must stay clean):
// - QMetaObject::activate (every signal our code emits: moc's code calls it):
//   releases on the sender before the emission, and again after it, when Qt
//   has copied the arguments of its queued connections (with their copy
//   constructors, ours among them) into the events. A queued connection's
//   event names its sender, and its delivery acquires on that sender. The
//   second release is what orders the copies when the receiving thread has
//   only just started: Qt wakes no thread that has no event dispatcher yet,
//   so the wake-up below does not order them; the thread takes the event
//   once it has made its dispatcher, well after the emission returned. A
//   thread that is awake already may take the event before the second
//   release: its delivery waits, boundedly, until no other thread emits a
//   signal of the sender (qtemissionunderway.h).
// - QCoreApplication::postEvent: releases on the event itself, which the
//   delivery acquires; the event's memory is the poster's until then, and
//   freeing it ends the sanitizer's record of it, so this is exact.
// - QMetaObject::invokeMethod and invokeMethodImpl, QObject::deleteLater and
//   QTimer::singleShot with a receiver and no time (Qt posts it as an
//   invokeMethod; a timed one fires from a timer of Qt's, not described
//   here): release on the receiver (a key of its own inside the object),
//   which a call event without a sender and a deferred delete acquire at
//   their delivery. A functor's last reference may be dropped on either
//   side: both sides also step its atomic counter in our code.
// - Qt::BlockingQueuedConnection (a signal, or invokeMethod): the emitter
//   waits on a QSemaphore inside libQt5Core that the delivery releases once
//   the slot has returned. The delivery of a call event that carries such a
//   semaphore releases, after the slot, on a "done" key of the sender (or of
//   the receiver for invokeMethod), and activate/invokeMethod acquire on that
//   key after Qt's returns.
// - g_main_context_wakeup (glib, called by Qt's postEvent after it queued
//   any event, Qt's own posts included): releases on the receiving thread's
//   main context, which every delivery on that thread acquires. This is the
//   order Qt's queue lock gives: a thread that takes events from its queue
//   comes after everyone who put one in before. The wake-up comes just
//   after the queue's unlock, so a delivery can overtake it (the keys above
//   cover that for what our code did before the post).
//   After glib's returns, it releases a second key of the context's own,
//   which g_main_context_unref (below) acquires.
// - g_main_context_unref (glib, called by Qt when a thread's event
//   dispatcher is destroyed at the thread's end: glib then closes the
//   context's wake-up descriptor): acquires the key that every finished
//   wake-up released, so the close comes after the writes. Qt orders them
//   with its QThread's mutex (inside libQt5Core): quit() wakes the thread's
//   dispatcher while it holds that mutex, and the ending thread takes the
//   dispatcher out under it before it destroys it. A wake-up still running
//   when the unref begins stays unordered, and is reported, as it should be.
// - g_main_context_iteration (glib, called by Qt's event loop): acquires the
//   context's key, as a delivery does, when glib's returns; Qt's loop then
//   looks at its exit flag, which quit() set before its wake-up released
//   that key. So a quit() is ordered before the end of the loop it ends
//   (the thread's finished() and what runs after), even when no event is
//   delivered in between.
// - g_main_context_new (glib, called by Qt when a thread makes its event
//   dispatcher): the new context's wake-up descriptor is made on that
//   thread, and the first thread to wake it writes to it; Qt hands the
//   dispatcher over through an atomic inside libQt5Core. The hook releases
//   on a key of the context's own after glib made it, and the wake-up above
//   acquires that key before it calls glib's.
// - The receiving thread's queue of posted events (qtqueuepost.h): Qt grows
//   and moves its storage with memcpy and memmove (seen by the sanitizer) on
//   the posting threads and on the receiving one, under the queue's lock
//   inside libQt5Core. Every post above notes the queues it reaches (a
//   signal: those of every thread that a connection of the sender's may post
//   to), every delivery and the making of a thread's dispatcher note the
//   thread's own, and memcpy and memmove called from Qt's code (at the end of
//   the file) acquire a queue's key before a copy that reads or writes its
//   storage and release it after: inside Qt's lock, so this is its order.
// - operator new and delete (and their array forms), malloc, calloc,
//   realloc and free called from Qt's libraries (at the end of the file):
//   Qt's own blocks, the events it builds, the queues it keeps them in and
//   its connection lists among them, are not told as written at allocation
//   nor at their free. (A thread's queue is made and grown by whichever
//   thread posts to it first, under a lock of Qt's, and its events are taken
//   out by that thread; before the thread has its event dispatcher, no
//   wake-up orders the two.)
// Delivery is seen in the test main's application object's notify() (see
// qteventannotations.h), through which Qt sends every event on every thread
// while an application exists (without one, no thread delivers queued
// events). A QInternal::EventNotifyCallback would see the start of a
// delivery too, but not its end, which the blocking case needs.
//
// Where this is wider than Qt: the keys live as long as the object, so a
// delivery is ordered after everything the sender emitted (or the receiver
// was sent) up to the moment of the delivery, not only up to its own post;
// a second emission between post and delivery, or another thread emitting
// the same object's signals, is ordered a little too early.

#include "testing/main/qteventannotations.h"

#include "testing/main/nextdefinition.h"
#include "testing/main/qtemissionunderway.h"
#include "testing/main/qtqueuepost.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QSemaphore>
#include <QTimer>
#include <QtCore/private/qobject_p.h>

#include <sanitizer/tsan_interface.h>

// In the sanitizer's run-time, not declared by g++ 12's header.
extern "C" void __tsan_ignore_thread_begin();
extern "C" void __tsan_ignore_thread_end();

#include <dlfcn.h>
#include <link.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

using TsanAnnotations::EmissionUnderWay;
using TsanAnnotations::nextDefinition;
using TsanAnnotations::QueueCopy;
using TsanAnnotations::QueuePost;
using TsanAnnotations::threadDataOf;

// The synchronisation keys: addresses inside the object (a QObject is at
// least two pointers wide), one for each kind of hand-over, so that the
// kinds order nothing across each other.
enum class Key {
    Emitted = 0,    // the object emitted a signal
    SignalDone = 1, // a blocking queued slot of its signal has returned
    Sent = 2,       // a call or a deferred delete was posted to it
    CallDone = 3,   // a blocking invokeMethod on it has returned
};

const void* key(const void* object, Key kind)
{
    return static_cast<const char*>(object) + static_cast<int>(kind);
}

// QAbstractMetaCallEvent keeps its semaphore private, and QMetaCallEvent
// its slot object: these mirror their members to read them. The size checks
// and the checks against the public accessors in readMetaCall stop the
// program if a Qt update moves them.
struct AbstractMetaCallEventLayout : QEvent {
    int signalId;
    const QObject* sender;
    QSemaphore* semaphore;
};
static_assert(sizeof(AbstractMetaCallEventLayout) == sizeof(QAbstractMetaCallEvent),
              "QAbstractMetaCallEvent's members moved");

struct MetaCallEventLayout : AbstractMetaCallEventLayout {
    QtPrivate::QSlotObjectBase* slotObj;
    void** args;
    void* callFunction;
    int nargs;
    ushort methodOffset;
    ushort methodRelative;
    char prealloc[3 * (sizeof(void*) + sizeof(int))];
};
static_assert(sizeof(MetaCallEventLayout) == sizeof(QMetaCallEvent), "QMetaCallEvent's members moved");

struct MetaCall {
    QSemaphore* semaphore = nullptr;
    QtPrivate::QSlotObjectBase* slotObject = nullptr;
};

[[noreturn]] void layoutMoved()
{
    std::fprintf(stderr, "qteventannotations: QMetaCallEvent's members moved\n");
    std::abort();
}

MetaCall readMetaCall(QAbstractMetaCallEvent* event)
{
    MetaCall call;
    const auto* abstractLayout = reinterpret_cast<const AbstractMetaCallEventLayout*>(
        static_cast<const QEvent*>(event));
    if (abstractLayout->sender != event->sender())
        layoutMoved();
    call.semaphore = abstractLayout->semaphore;
    if (auto* metaCall = dynamic_cast<QMetaCallEvent*>(event)) {
        const auto* layout = reinterpret_cast<const MetaCallEventLayout*>(static_cast<const QEvent*>(metaCall));
        if (layout->args != metaCall->args())
            layoutMoved();
        call.slotObject = layout->slotObj;
    }
    return call;
}

// The key released once a glib main context is made: inside the context
// (a GMainContext is far wider than two bytes), apart from the context's own
// address, on which the wake-ups release.
void* contextMade(void* context)
{
    return static_cast<char*>(context) + 1;
}

// The key released once a wake-up of the context has written to its
// descriptor, which the context's last unref (closing it) acquires.
void* contextWoken(void* context)
{
    return static_cast<char*>(context) + 2;
}

// The glib main context whose wake-up this thread's event dispatcher waits
// for: the thread's own, or the default one (the main thread's).
using MainContextFunction = void* (*)();

void* threadMainContext()
{
    static const auto threadDefault = reinterpret_cast<MainContextFunction>(
        dlsym(RTLD_DEFAULT, "g_main_context_get_thread_default"));
    static const auto processDefault = reinterpret_cast<MainContextFunction>(
        dlsym(RTLD_DEFAULT, "g_main_context_default"));
    void* context = threadDefault ? threadDefault() : nullptr;
    if (!context && processDefault)
        context = processDefault();
    return context;
}

// The code of Qt's libraries (their executable segments), found once the
// program's own initialisers run (Qt's allocations before that are told as
// usual).
struct CodeRange {
    std::atomic<std::uintptr_t> begin{0};
    std::atomic<std::uintptr_t> end{0};
};
constexpr int kMaxQtLibraries = 8;
CodeRange g_qtCode[kMaxQtLibraries];

int noteQtLibrary(dl_phdr_info* info, size_t, void* countPointer)
{
    int& count = *static_cast<int*>(countPointer);
    if (!info->dlpi_name || !std::strstr(info->dlpi_name, "/libQt5") || count == kMaxQtLibraries)
        return 0;
    for (int i = 0; i < info->dlpi_phnum; ++i) {
        const ElfW(Phdr)& segment = info->dlpi_phdr[i];
        if (segment.p_type == PT_LOAD && (segment.p_flags & PF_X)) {
            const std::uintptr_t begin = info->dlpi_addr + segment.p_vaddr;
            g_qtCode[count].end.store(begin + segment.p_memsz, std::memory_order_relaxed);
            g_qtCode[count].begin.store(begin, std::memory_order_release);
            ++count;
            break;
        }
    }
    return 0;
}

[[maybe_unused]] const bool g_qtCodeFound = [] {
    int count = 0;
    dl_iterate_phdr(noteQtLibrary, &count);
    return count > 0;
}();

// Not instrumented: the C allocator's definitions below call it before the
// sanitizer's run-time has started.
__attribute__((no_sanitize_thread)) bool calledFromQt(const void* returnAddress)
{
    const auto address = reinterpret_cast<std::uintptr_t>(returnAddress);
    for (const CodeRange& range : g_qtCode) {
        const std::uintptr_t begin = range.begin.load(std::memory_order_acquire);
        if (begin == 0)
            return false;
        if (address >= begin && address < range.end.load(std::memory_order_relaxed))
            return true;
    }
    return false;
}

} // namespace

// Qt's postEvent, after it queued the event (built, with its arguments
// copied) and unlocked the queue, wakes the receiving thread's event
// dispatcher, which calls this in glib (outside libQt5Core, so the call
// reaches the program's definition).
extern "C" void g_main_context_wakeup(void* context)
{
    static const auto real = nextDefinition<void (*)(void*)>("g_main_context_wakeup");
    if (context) {
        __tsan_acquire(contextMade(context));
        __tsan_release(context);
    }
    real(context);
    if (context)
        __tsan_release(contextWoken(context));
}

// Qt's event loop runs glib's iteration of its thread's context and, once it
// returns, looks whether exit() or quit() was called (an atomic inside
// libQt5Core, stored before the call woke this context). Acquiring the key
// that every wake-up released before it woke the context orders the quit,
// and what its caller did before, before what the thread does once its loop
// has ended (its finished() signal, the slots connected to it directly).
extern "C" int g_main_context_iteration(void* context, int mayBlock)
{
    static const auto real = nextDefinition<int (*)(void*, int)>("g_main_context_iteration");
    const int dispatched = real(context, mayBlock);
    if (context)
        __tsan_acquire(context);
    return dispatched;
}

// Qt's event dispatcher drops its reference to its thread's context when it
// is destroyed (at the thread's end, after quit() woke it); the last
// reference closes the wake-up descriptor that the wake-ups wrote to.
extern "C" void g_main_context_unref(void* context)
{
    static const auto real = nextDefinition<void (*)(void*)>("g_main_context_unref");
    if (context)
        __tsan_acquire(contextWoken(context));
    real(context);
}

// A thread's event dispatcher makes its glib context (with the descriptor
// that its wake-up writes to) on that thread, before any other thread can
// reach it.
extern "C" void* g_main_context_new()
{
    static const auto real = nextDefinition<void* (*)()>("g_main_context_new");
    void* context = real();
    if (context)
        __tsan_release(contextMade(context));
    TsanAnnotations::noteOwnQueueOfThisThread();
    return context;
}

namespace QtEventAnnotations {

Delivery beforeDelivery(QObject* receiver, QEvent* event)
{
    Delivery delivery;
    TsanAnnotations::noteOwnQueue(threadDataOf(receiver));
    delivery.context = threadMainContext();
    if (delivery.context)
        __tsan_acquire(delivery.context);
    __tsan_acquire(event);
    // The event may have been built by Qt on the posting thread after the
    // keys below were released (see the window in the file's comment): these
    // reads of Qt's own members are not ours to check.
    __tsan_ignore_thread_begin();
    const QEvent::Type type = event->type();
    const QObject* sender = nullptr;
    MetaCall call;
    if (type == QEvent::MetaCall) {
        auto* metaCallEvent = static_cast<QAbstractMetaCallEvent*>(event);
        sender = metaCallEvent->sender();
        call = readMetaCall(metaCallEvent);
    }
    __tsan_ignore_thread_end();
    if (type == QEvent::MetaCall) {
        if (sender && !call.semaphore)
            EmissionUnderWay::waitForOthers(sender);
        __tsan_acquire(const_cast<void*>(sender ? key(sender, Key::Emitted) : key(receiver, Key::Sent)));
        if (call.semaphore)
            delivery.blockingDone = sender ? key(sender, Key::SignalDone) : key(receiver, Key::CallDone);
        delivery.slotObject = call.slotObject;
    } else if (type == QEvent::DeferredDelete) {
        __tsan_acquire(const_cast<void*>(key(receiver, Key::Sent)));
    }
    return delivery;
}

void afterDelivery(const Delivery& delivery)
{
    // Qt frees the event (and its arguments) next: by now the poster has as
    // good as always woken this thread, after it built them.
    if (delivery.context)
        __tsan_acquire(delivery.context);
    // The event's reference to its functor is dropped inside libQt5Core,
    // unseen; a reference taken and dropped here, with the same atomic
    // counter, orders the call before whichever thread drops the last one
    // and frees the functor (see invokeMethodImpl below).
    // The thread that drops the last one may do so inside libQt5Core too,
    // and free the functor in our code: the release here and the acquire in
    // operator delete below order this drop before that free.
    if (delivery.slotObject) {
        delivery.slotObject->ref();
        __tsan_release(delivery.slotObject);
        delivery.slotObject->destroyIfLastRef();
    }
    if (delivery.blockingDone)
        __tsan_release(const_cast<void*>(delivery.blockingDone));
}

} // namespace QtEventAnnotations

// Signals: moc's code calls the first; the others are the older entries.

void QMetaObject::activate(QObject* sender, const QMetaObject* meta, int localSignalIndex, void** argv)
{
    static const auto real = nextDefinition<void (*)(QObject*, const QMetaObject*, int, void**)>(
        "_ZN11QMetaObject8activateEP7QObjectPKS_iPPv");
    const EmissionUnderWay underWay(sender);
    const QueuePost post(sender, true);
    __tsan_release(const_cast<void*>(key(sender, Key::Emitted)));
    real(sender, meta, localSignalIndex, argv);
    __tsan_release(const_cast<void*>(key(sender, Key::Emitted)));
    __tsan_acquire(const_cast<void*>(key(sender, Key::SignalDone)));
}

void QMetaObject::activate(QObject* sender, int signalOffset, int localSignalIndex, void** argv)
{
    static const auto real = nextDefinition<void (*)(QObject*, int, int, void**)>(
        "_ZN11QMetaObject8activateEP7QObjectiiPPv");
    const EmissionUnderWay underWay(sender);
    const QueuePost post(sender, true);
    __tsan_release(const_cast<void*>(key(sender, Key::Emitted)));
    real(sender, signalOffset, localSignalIndex, argv);
    __tsan_release(const_cast<void*>(key(sender, Key::Emitted)));
    __tsan_acquire(const_cast<void*>(key(sender, Key::SignalDone)));
}

void QMetaObject::activate(QObject* sender, int signalIndex, void** argv)
{
    static const auto real = nextDefinition<void (*)(QObject*, int, void**)>("_ZN11QMetaObject8activateEP7QObjectiPPv");
    const EmissionUnderWay underWay(sender);
    const QueuePost post(sender, true);
    __tsan_release(const_cast<void*>(key(sender, Key::Emitted)));
    real(sender, signalIndex, argv);
    __tsan_release(const_cast<void*>(key(sender, Key::Emitted)));
    __tsan_acquire(const_cast<void*>(key(sender, Key::SignalDone)));
}

// Posted events and calls.

void QCoreApplication::postEvent(QObject* receiver, QEvent* event, int priority)
{
    static const auto real = nextDefinition<void (*)(QObject*, QEvent*, int)>(
        "_ZN16QCoreApplication9postEventEP7QObjectP6QEventi");
    const QueuePost post(receiver);
    __tsan_release(event);
    real(receiver, event, priority);
}

bool QMetaObject::invokeMethod(QObject* object, const char* member, Qt::ConnectionType type, QGenericReturnArgument ret,
                               QGenericArgument val0, QGenericArgument val1, QGenericArgument val2,
                               QGenericArgument val3, QGenericArgument val4, QGenericArgument val5,
                               QGenericArgument val6, QGenericArgument val7, QGenericArgument val8,
                               QGenericArgument val9)
{
    static const auto real = nextDefinition<bool (*)(
        QObject*, const char*, Qt::ConnectionType, QGenericReturnArgument, QGenericArgument, QGenericArgument,
        QGenericArgument, QGenericArgument, QGenericArgument, QGenericArgument, QGenericArgument, QGenericArgument,
        QGenericArgument, QGenericArgument)>("_ZN11QMetaObject12invokeMethodEP7QObjectPKcN2Qt14ConnectionTypeE22"
                                             "QGenericReturnArgument16QGenericArgumentS7_S7_S7_S7_S7_S7_S7_S7_S7_");
    const QueuePost post(object);
    __tsan_release(const_cast<void*>(key(object, Key::Sent)));
    const bool invoked = real(object, member, type, ret, val0, val1, val2, val3, val4, val5, val6, val7, val8, val9);
    __tsan_acquire(const_cast<void*>(key(object, Key::CallDone)));
    return invoked;
}

bool QMetaObject::invokeMethodImpl(QObject* object, QtPrivate::QSlotObjectBase* slot, Qt::ConnectionType type,
                                   void* ret)
{
    static const auto real = nextDefinition<bool (*)(QObject*, QtPrivate::QSlotObjectBase*, Qt::ConnectionType, void*)>(
        "_ZN11QMetaObject16invokeMethodImplEP7QObjectPN9QtPrivate15QSlotObjectBaseEN2Qt14ConnectionTypeEPv");
    // Qt's code drops the caller's reference to the functor inside, unseen;
    // when it is the last one, the functor is freed here after a call on
    // another thread. Hold a reference of our own and drop it here: the
    // atomic counter, seen by the sanitizer in our code on both sides (see
    // afterDelivery), orders that call before the free.
    if (slot)
        slot->ref();
    const QueuePost post(object);
    __tsan_release(const_cast<void*>(key(object, Key::Sent)));
    const bool invoked = real(object, slot, type, ret);
    __tsan_acquire(const_cast<void*>(key(object, Key::CallDone)));
    if (slot)
        slot->destroyIfLastRef();
    return invoked;
}

void QObject::deleteLater()
{
    static const auto real = nextDefinition<void (*)(QObject*)>("_ZN7QObject11deleteLaterEv");
    const QueuePost post(this);
    __tsan_release(const_cast<void*>(key(this, Key::Sent)));
    real(this);
}

void QTimer::singleShotImpl(int msec, Qt::TimerType timerType, const QObject* receiver,
                            QtPrivate::QSlotObjectBase* slotObj)
{
    static const auto real = nextDefinition<void (*)(int, Qt::TimerType, const QObject*, QtPrivate::QSlotObjectBase*)>(
        "_ZN6QTimer14singleShotImplEiN2Qt9TimerTypeEPK7QObjectPN9QtPrivate15QSlotObjectBaseE");
    // Posted as a call through Qt's own invokeMethodImpl: the reference
    // that invokeMethodImpl above holds is held here.
    const bool posted = receiver && msec == 0;
    const QueuePost post(posted ? receiver : nullptr);
    if (posted) {
        slotObj->ref();
        __tsan_release(const_cast<void*>(key(receiver, Key::Sent)));
    }
    real(msec, timerType, receiver, slotObj);
    if (posted)
        slotObj->destroyIfLastRef();
}

// Memory that Qt's own code allocates and frees with new and delete: the
// events it builds for a queued signal, invokeMethod or deleteLater, their
// argument copies, its private objects. Qt builds such an event on the
// posting thread after the keys above were released and frees it on the
// receiving thread after the delivery, and the order between the two (its
// queue's lock) is inside libQt5Core: told as usual, each such allocation
// and free would be a race of Qt's bookkeeping with itself. These are told
// to the sanitizer as memory that no access wrote yet (its record of the
// block is reset, as for memory it is told to ignore) and a free that writes
// nothing. Our code's accesses to such memory (an event handler reading the
// event, the constructor of an argument of ours that Qt copies) are still
// checked against each other; only Qt's allocation and free are left out.

namespace {

// What a block of Qt's does at its allocation and free is not told: the
// guard turns the sanitizer's watching off for the call when its caller is
// Qt's code. Not instrumented, as calledFromQt.
class UnseenWhenFromQt {
public:
    __attribute__((no_sanitize_thread)) explicit UnseenWhenFromQt(const void* caller)
        : m_on(calledFromQt(caller))
    {
        if (m_on)
            __tsan_ignore_thread_begin();
    }
    __attribute__((no_sanitize_thread)) ~UnseenWhenFromQt()
    {
        if (m_on)
            __tsan_ignore_thread_end();
    }
    UnseenWhenFromQt(const UnseenWhenFromQt&) = delete;
    UnseenWhenFromQt& operator=(const UnseenWhenFromQt&) = delete;

private:
    const bool m_on;
};

// A block is freed after every reference dropped before (a reference count
// that reached zero inside libQt5Core is not seen to order them).
void afterItsLastReference(void* block)
{
    if (block != nullptr)
        __tsan_acquire(block);
}

using NewFunction = void* (*)(std::size_t);
using DeleteFunction = void (*)(void*);
using SizedDeleteFunction = void (*)(void*, std::size_t);

} // namespace

void* operator new(std::size_t size)
{
    static const auto real = nextDefinition<NewFunction>("_Znwm");
    const UnseenWhenFromQt unseen(__builtin_return_address(0));
    return real(size);
}

void operator delete(void* block) noexcept
{
    afterItsLastReference(block);
    static const auto real = nextDefinition<DeleteFunction>("_ZdlPv");
    const UnseenWhenFromQt unseen(__builtin_return_address(0));
    real(block);
}

void operator delete(void* block, std::size_t size) noexcept
{
    afterItsLastReference(block);
    static const auto real = nextDefinition<SizedDeleteFunction>("_ZdlPvm");
    const UnseenWhenFromQt unseen(__builtin_return_address(0));
    real(block, size);
}

// The array forms, through which Qt allocates its connection lists.

void* operator new[](std::size_t size)
{
    static const auto real = nextDefinition<NewFunction>("_Znam");
    const UnseenWhenFromQt unseen(__builtin_return_address(0));
    return real(size);
}

void operator delete[](void* block) noexcept
{
    afterItsLastReference(block);
    static const auto real = nextDefinition<DeleteFunction>("_ZdaPv");
    const UnseenWhenFromQt unseen(__builtin_return_address(0));
    real(block);
}

void operator delete[](void* block, std::size_t size) noexcept
{
    afterItsLastReference(block);
    static const auto real = nextDefinition<SizedDeleteFunction>("_ZdaPvm");
    const UnseenWhenFromQt unseen(__builtin_return_address(0));
    real(block, size);
}

// The C allocator, through which Qt's containers (QArrayData, QListData) and
// its event queues allocate: the sanitizer's own definitions, called by name
// so that no lookup (which allocates itself) comes first. Not instrumented:
// the dynamic linker allocates before the sanitizer's run-time has started.
extern "C" {

void* __interceptor_memcpy(void* destination, const void* source, std::size_t size);
void* __interceptor_memmove(void* destination, const void* source, std::size_t size);
void* __interceptor_malloc(std::size_t size);
void* __interceptor_calloc(std::size_t count, std::size_t size);
void* __interceptor_realloc(void* block, std::size_t size);
void __interceptor_free(void* block);

__attribute__((no_sanitize_thread)) void* malloc(std::size_t size)
{
    const UnseenWhenFromQt unseen(__builtin_return_address(0));
    return __interceptor_malloc(size);
}

__attribute__((no_sanitize_thread)) void* calloc(std::size_t count, std::size_t size)
{
    const UnseenWhenFromQt unseen(__builtin_return_address(0));
    return __interceptor_calloc(count, size);
}

__attribute__((no_sanitize_thread)) void* realloc(void* block, std::size_t size)
{
    const UnseenWhenFromQt unseen(__builtin_return_address(0));
    return __interceptor_realloc(block, size);
}

// Qt's copies of a thread's queue of posted events (qtqueuepost.h).
__attribute__((no_sanitize_thread)) void* memcpy(void* destination, const void* source, std::size_t size)
{
    if (!calledFromQt(__builtin_return_address(0)))
        return __interceptor_memcpy(destination, source, size);
    const QueueCopy copy(destination, source, size);
    return __interceptor_memcpy(destination, source, size);
}

__attribute__((no_sanitize_thread)) void* memmove(void* destination, const void* source, std::size_t size)
{
    if (!calledFromQt(__builtin_return_address(0)))
        return __interceptor_memmove(destination, source, size);
    const QueueCopy copy(destination, source, size);
    return __interceptor_memmove(destination, source, size);
}

__attribute__((no_sanitize_thread)) void free(void* block)
{
    const UnseenWhenFromQt unseen(__builtin_return_address(0));
    __interceptor_free(block);
}

} // extern "C"
