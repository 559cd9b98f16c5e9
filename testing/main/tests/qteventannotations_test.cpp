// Each hand-over through Qt's event system that the ThreadSanitizer tree
// describes (testing/main/qteventannotations.cpp): a worker thread writes a
// plain value and hands work to the main thread (or waits for work done
// there), and the other side reads it. Qt orders the two sides inside
// libQt5Core; without the annotations the sanitizer sees no order and reports
// each read as a race, with them the tree's run stays clean. In the other
// trees the tests check that every hand-over arrives, with its value.

#include "testing/main/eventwait.h"

#include <QCoreApplication>
#include <QEvent>
#include <QMetaObject>
#include <QMetaType>
#include <QObject>
#include <QSemaphore>
#include <QThread>
#include <QThreadPool>
#include <QTimer>

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

namespace {

constexpr int kWaitMs = 10000;

// A signal's argument that Qt copies, with this copy constructor of ours,
// into the event of a queued connection.
struct Parcel {
    Parcel() = default;
    Parcel(const Parcel& other)
        : value(other.value)
    {
    }
    Parcel& operator=(const Parcel& other) = default;
    int value = 0;
};

class Emitter : public QObject {
    Q_OBJECT
signals:
    void ready();
    void parcel(const Parcel& parcel);
};

// Reads the shared value when a call or an event reaches it on its thread.
class Reader : public QObject {
    Q_OBJECT
public:
    explicit Reader(const int* value)
        : m_value(value)
    {
    }

    Q_INVOKABLE void take()
    {
        seen = *m_value;
        delivered = true;
    }

    bool event(QEvent* event) override
    {
        if (event->type() != QEvent::User)
            return QObject::event(event);
        take();
        return true;
    }

    int seen = 0;
    std::atomic<bool> delivered{false};

private:
    const int* m_value;
};

// Reports in its destructor the value a worker left in it.
class Doomed : public QObject {
public:
    Doomed(int* seen, std::atomic<bool>* destroyed)
        : m_seen(seen)
        , m_destroyed(destroyed)
    {
    }
    ~Doomed() override
    {
        *m_seen = value;
        *m_destroyed = true;
    }

    int value = 0;

private:
    int* m_seen;
    std::atomic<bool>* m_destroyed;
};

// An emitter whose ready() reaches an object of this thread through a queued
// connection, and the count of deliveries there.
struct CountedSignals {
    CountedSignals()
    {
        QObject::connect(
            &emitter, &Emitter::ready, &receiver, [this] { ++delivered; }, Qt::QueuedConnection);
    }
    Emitter emitter;
    QObject receiver;
    int delivered = 0;
};

// A worker writes `value` and then hands the read over to `reader` on this
// thread with `handOver`; the reader must see the value.
void expectHandedOver(int value, const std::function<void(Reader&)>& handOver, Emitter* emitter = nullptr)
{
    int payload = 0;
    Reader reader(&payload);
    if (emitter)
        QObject::connect(emitter, &Emitter::ready, &reader, &Reader::take, Qt::QueuedConnection);
    std::thread worker([&] {
        payload = value;
        handOver(reader);
    });
    EXPECT_TRUE(TestWait::waitUntil([&] { return reader.delivered.load(); }, kWaitMs));
    worker.join();
    EXPECT_EQ(reader.seen, value);
}

// Runs `work` once from a glib idle source in the calling thread's glib
// context (the one its Qt event loop iterates): glib calls it, not Qt, so no
// event is delivered. glib is reached through the dynamic linker, as Qt's
// own library links it.
namespace Glib {

using Work = void (*)();

int runWork(void* work)
{
    reinterpret_cast<Work>(work)();
    return 0; // done: glib removes the source
}

void runOnce(Work work)
{
    static const auto threadContext = reinterpret_cast<void* (*)()>(
        dlsym(RTLD_DEFAULT, "g_main_context_get_thread_default"));
    static const auto idleSourceNew = reinterpret_cast<void* (*)()>(dlsym(RTLD_DEFAULT, "g_idle_source_new"));
    static const auto setCallback = reinterpret_cast<void (*)(void*, int (*)(void*), void*, void (*)(void*))>(
        dlsym(RTLD_DEFAULT, "g_source_set_callback"));
    static const auto attach = reinterpret_cast<unsigned (*)(void*, void*)>(dlsym(RTLD_DEFAULT, "g_source_attach"));
    static const auto unref = reinterpret_cast<void (*)(void*)>(dlsym(RTLD_DEFAULT, "g_source_unref"));
    ASSERT_TRUE(threadContext && idleSourceNew && setCallback && attach && unref);
    void* context = threadContext();
    ASSERT_NE(context, nullptr);
    void* source = idleSourceNew();
    setCallback(source, runWork, reinterpret_cast<void*>(work), nullptr);
    attach(source, context);
    unref(source);
}

} // namespace Glib

} // namespace

Q_DECLARE_METATYPE(Parcel)

TEST(QtEventAnnotations, AQueuedSignalOrdersTheEmitterBeforeTheSlot)
{
    Emitter emitter;
    expectHandedOver(
        41, [&emitter](Reader&) { emit emitter.ready(); }, &emitter);
}

TEST(QtEventAnnotations, AQueuedFunctorOrdersTheCallerBeforeTheCall)
{
    expectHandedOver(42, [](Reader& reader) {
        QMetaObject::invokeMethod(
            &reader, [&reader] { reader.take(); }, Qt::QueuedConnection);
    });
}

TEST(QtEventAnnotations, AQueuedCallByNameOrdersTheCallerBeforeTheCall)
{
    expectHandedOver(43, [](Reader& reader) { QMetaObject::invokeMethod(&reader, "take", Qt::QueuedConnection); });
}

TEST(QtEventAnnotations, APostedEventOrdersThePosterBeforeTheDelivery)
{
    expectHandedOver(44, [](Reader& reader) { QCoreApplication::postEvent(&reader, new QEvent(QEvent::User)); });
}

TEST(QtEventAnnotations, AZeroTimeSingleShotOrdersTheCallerBeforeTheCall)
{
    expectHandedOver(45, [](Reader& reader) { QTimer::singleShot(0, &reader, [&reader] { reader.take(); }); });
}

TEST(QtEventAnnotations, DeleteLaterOrdersTheCallerBeforeTheDestructor)
{
    int seen = 0;
    std::atomic<bool> destroyed{false};
    auto* doomed = new Doomed(&seen, &destroyed);
    std::thread worker([doomed] {
        doomed->value = 46;
        doomed->deleteLater();
    });
    // Deferred deletes outside an event loop run only when asked for.
    EXPECT_TRUE(TestWait::waitUntil(
        [&] {
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            return destroyed.load();
        },
        kWaitMs));
    worker.join();
    EXPECT_EQ(seen, 46);
}

TEST(QtEventAnnotations, ABlockingQueuedSignalOrdersTheSlotBeforeTheEmitterGoesOn)
{
    int payload = 0;
    int seenByWorker = 0;
    std::atomic<bool> done{false};
    Emitter emitter;
    QObject receiver;
    QObject::connect(
        &emitter, &Emitter::ready, &receiver, [&payload] { payload = 47; }, Qt::BlockingQueuedConnection);
    std::thread worker([&] {
        emit emitter.ready();
        seenByWorker = payload;
        done = true;
    });
    EXPECT_TRUE(TestWait::waitUntil([&] { return done.load(); }, kWaitMs));
    worker.join();
    EXPECT_EQ(seenByWorker, 47);
}

TEST(QtEventAnnotations, ABlockingQueuedCallOrdersTheCallBeforeTheCallerGoesOn)
{
    int payload = 0;
    int seenByWorker = 0;
    std::atomic<bool> done{false};
    QObject receiver;
    std::thread worker([&] {
        QMetaObject::invokeMethod(
            &receiver, [&payload] { payload = 48; }, Qt::BlockingQueuedConnection);
        seenByWorker = payload;
        done = true;
    });
    EXPECT_TRUE(TestWait::waitUntil([&] { return done.load(); }, kWaitMs));
    worker.join();
    EXPECT_EQ(seenByWorker, 48);
}

TEST(QtEventAnnotations, TheFirstWakeUpOfANewThreadComesAfterItsContextWasMade)
{
    // The thread makes its event dispatcher (and its glib context, with the
    // descriptor a wake-up writes to) itself; this thread's post is the
    // first to wake it.
    QThread thread;
    thread.start();
    EXPECT_TRUE(TestWait::waitUntil([&] { return thread.eventDispatcher() != nullptr; }, kWaitMs));
    int payload = 49;
    Reader reader(&payload);
    reader.moveToThread(&thread);
    QCoreApplication::postEvent(&reader, new QEvent(QEvent::User));
    EXPECT_TRUE(TestWait::waitUntil([&] { return reader.delivered.load(); }, kWaitMs));
    thread.quit();
    EXPECT_TRUE(thread.wait(kWaitMs));
    EXPECT_EQ(reader.seen, 49);
}

TEST(QtEventAnnotations, AQueuedSignalToAThreadJustStartedOrdersTheArgumentCopies)
{
    // The thread has no event dispatcher yet when the signal is emitted (as
    // good as always): Qt queues the event with its copied argument and
    // wakes nobody; the thread takes it once its loop runs.
    qRegisterMetaType<Parcel>();
    Emitter emitter;
    QObject receiver;
    std::atomic<int> seen{0};
    QObject::connect(
        &emitter, &Emitter::parcel, &receiver, [&seen](const Parcel& parcel) { seen = parcel.value; },
        Qt::QueuedConnection);
    QThread thread;
    receiver.moveToThread(&thread);
    thread.start();
    Parcel parcel;
    parcel.value = 50;
    emit emitter.parcel(parcel);
    EXPECT_TRUE(TestWait::waitUntil([&] { return seen.load() != 0; }, kWaitMs));
    thread.quit();
    EXPECT_TRUE(thread.wait(kWaitMs));
    EXPECT_EQ(seen.load(), 50);
}

TEST(QtEventAnnotations, AQueuedSignalsArgumentIsReadOnlyAfterTheEmissionToldItsCopies)
{
    // The emission goes on in a direct slot after Qt has queued the event
    // for the thread, which has only just started (no wake-up orders the
    // copy): the thread takes the event and reads the argument while the
    // emission is still under way, unless its delivery waits for it.
    qRegisterMetaType<Parcel>();
    Emitter emitter;
    QObject receiver;
    std::atomic<int> seen{0};
    int copied = 0;
    QObject::connect(
        &emitter, &Emitter::parcel, &receiver,
        [&seen, &copied](const Parcel& parcel) {
            copied = parcel.value;
            seen = parcel.value;
        },
        Qt::QueuedConnection);
    QObject::connect(
        &emitter, &Emitter::parcel, &emitter,
        [](const Parcel&) { std::this_thread::sleep_for(std::chrono::milliseconds(50)); }, Qt::DirectConnection);
    QThread thread;
    receiver.moveToThread(&thread);
    thread.start();
    Parcel parcel;
    parcel.value = 52;
    emit emitter.parcel(parcel);
    EXPECT_TRUE(TestWait::waitUntil([&] { return seen.load() != 0; }, kWaitMs));
    thread.quit();
    EXPECT_TRUE(thread.wait(kWaitMs));
    EXPECT_EQ(copied, 52);
}

TEST(QtEventAnnotations, AThreadEndsAfterTheWakeUpOfItsQuitHasWrittenToItsDescriptor)
{
    // quit() from this thread writes to the thread's wake-up descriptor
    // while the thread is busy in a call; the call then returns, the loop
    // sees the quit without waiting on the descriptor again (so no read of
    // it orders the write), and the thread's end closes the descriptor.
    // The two flags are relaxed: they order nothing for the sanitizer.
    QThread thread;
    QObject inThread;
    inThread.moveToThread(&thread);
    thread.start();
    std::atomic<bool> busy{false};
    std::atomic<bool> quitCalled{false};
    QMetaObject::invokeMethod(
        &inThread,
        [&] {
            busy.store(true, std::memory_order_relaxed);
            // A plain sleep: running events here would read the descriptor.
            for (int ms = 0; ms < kWaitMs && !quitCalled.load(std::memory_order_relaxed); ++ms)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        },
        Qt::QueuedConnection);
    EXPECT_TRUE(TestWait::waitUntil([&] { return busy.load(std::memory_order_relaxed); }, kWaitMs));
    thread.quit();
    quitCalled.store(true, std::memory_order_relaxed);
    EXPECT_TRUE(thread.wait(kWaitMs));
    EXPECT_TRUE(thread.isFinished());
}

TEST(QtEventAnnotations, AQuitOrdersTheCallerBeforeTheEndOfTheLoop)
{
    // This thread writes a plain value and quits the thread while glib runs
    // a source of the test's own in the thread's loop (no event of Qt's is
    // delivered there); the source returns, the loop ends without reading
    // its wake-up descriptor again (a read would order the write for the
    // sanitizer), and the thread's finished() signal, in a slot connected
    // directly, reads the value. The two flags are relaxed: they order
    // nothing for the sanitizer.
    QThread thread;
    QObject inThread;
    inThread.moveToThread(&thread);
    thread.start();
    static std::atomic<bool> busy;
    static std::atomic<bool> quitCalled;
    busy.store(false, std::memory_order_relaxed);
    quitCalled.store(false, std::memory_order_relaxed);
    QMetaObject::invokeMethod(
        &inThread,
        [] {
            Glib::runOnce([] {
                busy.store(true, std::memory_order_relaxed);
                for (int ms = 0; ms < kWaitMs && !quitCalled.load(std::memory_order_relaxed); ++ms)
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
            });
        },
        Qt::BlockingQueuedConnection);
    EXPECT_TRUE(TestWait::waitUntil([&] { return busy.load(std::memory_order_relaxed); }, kWaitMs));
    int value = 0;
    int seen = 0;
    QObject::connect(&thread, &QThread::finished, [&] { seen = value; });
    value = 70;
    thread.quit();
    quitCalled.store(true, std::memory_order_relaxed);
    EXPECT_TRUE(thread.wait(kWaitMs));
    EXPECT_EQ(seen, 70);
}

TEST(QtEventAnnotations, PostsOfTwoThreadsToOneQueueAreOrderedByTheQueue)
{
    // This thread posts to its own queue; then a worker, started before and
    // told by a relaxed flag (which orders nothing), emits a queued signal to
    // an object here. Qt grows the queue's storage (copying it with memcpy)
    // on both threads, under the queue's lock inside libQt5Core.
    constexpr int kPosts = 64;
    CountedSignals counted;
    std::atomic<bool> posted{false};
    std::thread worker([&] {
        for (int ms = 0; ms < kWaitMs && !posted.load(std::memory_order_relaxed); ++ms)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        for (int i = 0; i < kPosts; ++i)
            emit counted.emitter.ready();
    });
    for (int i = 0; i < kPosts; ++i)
        QCoreApplication::postEvent(&counted.receiver, new QEvent(QEvent::User));
    posted.store(true, std::memory_order_relaxed);
    worker.join();
    EXPECT_TRUE(TestWait::waitUntil([&] { return counted.delivered == kPosts; }, kWaitMs));
}

TEST(QtSyncAnnotations, ATaskOfTheGlobalPoolComesAfterItsStart)
{
    // The pool's only thread is busy in a first task when the second is
    // started: Qt queues it, and the thread takes it from the queue (under
    // the pool's mutex inside libQt5Core) without waiting for a wake-up. The
    // flags are relaxed: they order nothing.
    QThreadPool* pool = QThreadPool::globalInstance();
    const int maxThreads = pool->maxThreadCount();
    pool->setMaxThreadCount(1);
    std::atomic<bool> busy{false};
    std::atomic<bool> goOn{false};
    QSemaphore done;
    pool->start([&] {
        busy.store(true, std::memory_order_relaxed);
        for (int ms = 0; ms < kWaitMs && !goOn.load(std::memory_order_relaxed); ++ms)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    });
    for (int ms = 0; ms < kWaitMs && !busy.load(std::memory_order_relaxed); ++ms)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    int payload = 0;
    int seen = 0;
    payload = 51;
    pool->start([&] {
        seen = payload;
        done.release();
    });
    goOn.store(true, std::memory_order_relaxed);
    ASSERT_TRUE(done.tryAcquire(1, kWaitMs));
    EXPECT_EQ(seen, 51);
    pool->setMaxThreadCount(maxThreads);
}

TEST(QtSyncAnnotations, ATypeNameRegisteredOnOneThreadIsLookedUpOnAnotherInOrder)
{
    // A worker registers new type names (Qt copies each name into the
    // registry) while this thread looks them up by name (Qt compares the
    // registry's names), both under the registry's lock inside libQt5Core.
    // The flag is relaxed: it orders nothing.
    constexpr int kNames = 32;
    std::atomic<int> registered{0};
    std::thread worker([&] {
        for (int i = 0; i < kNames; ++i) {
            const QByteArray name = "TwTsanRegistryProbe" + QByteArray::number(i);
            qRegisterMetaType<int>(name.constData());
            registered.store(i + 1, std::memory_order_relaxed);
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    });
    int found = 0;
    for (int ms = 0; ms < kWaitMs && found < kNames; ++ms) {
        const int upTo = registered.load(std::memory_order_relaxed);
        for (; found < upTo; ++found)
            EXPECT_EQ(QMetaType::type("TwTsanRegistryProbe" + QByteArray::number(found)), int(QMetaType::Int));
        if (found < kNames)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    worker.join();
    EXPECT_EQ(found, kNames);
}

TEST(QtEventAnnotations, TheOwnerMovesThePostsThatCameAfterItsLastDeliveryAfterThem)
{
    // Qt deletes a delivered event after its delivery's end and before it
    // moves the events posted meanwhile to the front of this thread's queue
    // (memmove, under the queue's lock inside libQt5Core). While this
    // event's destructor runs, a worker (told by a relaxed flag, which
    // orders nothing) emits queued signals to an object here, more than the
    // queue has room for: Qt grows its storage with memcpy on the worker.
    constexpr int kPosts = 4096;
    CountedSignals counted;
    static std::atomic<bool> deleting;
    static std::atomic<bool> emitted;
    deleting.store(false, std::memory_order_relaxed);
    emitted.store(false, std::memory_order_relaxed);
    struct SlowToDelete : QEvent {
        SlowToDelete()
            : QEvent(QEvent::User)
        {
        }
        ~SlowToDelete() override
        {
            deleting.store(true, std::memory_order_relaxed);
            for (int ms = 0; ms < kWaitMs && !emitted.load(std::memory_order_relaxed); ++ms)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    };
    std::thread worker([&] {
        for (int ms = 0; ms < kWaitMs && !deleting.load(std::memory_order_relaxed); ++ms)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        for (int i = 0; i < kPosts; ++i)
            emit counted.emitter.ready();
        emitted.store(true, std::memory_order_relaxed);
    });
    QCoreApplication::postEvent(&counted.receiver, new SlowToDelete);
    EXPECT_TRUE(TestWait::waitUntil([&] { return counted.delivered == kPosts; }, kWaitMs));
    worker.join();
}

#include "qteventannotations_test.moc"
