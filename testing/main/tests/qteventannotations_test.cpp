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
#include <QObject>
#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

constexpr int kWaitMs = 10000;

class Emitter : public QObject {
    Q_OBJECT
signals:
    void ready();
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

bool waitDelivered(const Reader& reader)
{
    return TestWait::waitUntil([&] { return reader.delivered.load(); }, kWaitMs);
}

} // namespace

TEST(QtEventAnnotations, AQueuedSignalOrdersTheEmitterBeforeTheSlot)
{
    int payload = 0;
    Emitter emitter;
    Reader reader(&payload);
    QObject::connect(&emitter, &Emitter::ready, &reader, &Reader::take, Qt::QueuedConnection);
    std::thread worker([&] {
        payload = 41;
        emit emitter.ready();
    });
    EXPECT_TRUE(waitDelivered(reader));
    worker.join();
    EXPECT_EQ(reader.seen, 41);
}

TEST(QtEventAnnotations, AQueuedFunctorOrdersTheCallerBeforeTheCall)
{
    int payload = 0;
    Reader reader(&payload);
    std::thread worker([&] {
        payload = 42;
        QMetaObject::invokeMethod(
            &reader, [&reader] { reader.take(); }, Qt::QueuedConnection);
    });
    EXPECT_TRUE(waitDelivered(reader));
    worker.join();
    EXPECT_EQ(reader.seen, 42);
}

TEST(QtEventAnnotations, AQueuedCallByNameOrdersTheCallerBeforeTheCall)
{
    int payload = 0;
    Reader reader(&payload);
    std::thread worker([&] {
        payload = 43;
        QMetaObject::invokeMethod(&reader, "take", Qt::QueuedConnection);
    });
    EXPECT_TRUE(waitDelivered(reader));
    worker.join();
    EXPECT_EQ(reader.seen, 43);
}

TEST(QtEventAnnotations, APostedEventOrdersThePosterBeforeTheDelivery)
{
    int payload = 0;
    Reader reader(&payload);
    std::thread worker([&] {
        payload = 44;
        QCoreApplication::postEvent(&reader, new QEvent(QEvent::User));
    });
    EXPECT_TRUE(waitDelivered(reader));
    worker.join();
    EXPECT_EQ(reader.seen, 44);
}

TEST(QtEventAnnotations, AZeroTimeSingleShotOrdersTheCallerBeforeTheCall)
{
    int payload = 0;
    Reader reader(&payload);
    std::thread worker([&] {
        payload = 45;
        QTimer::singleShot(0, &reader, [&reader] { reader.take(); });
    });
    EXPECT_TRUE(waitDelivered(reader));
    worker.join();
    EXPECT_EQ(reader.seen, 45);
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

#include "qteventannotations_test.moc"
