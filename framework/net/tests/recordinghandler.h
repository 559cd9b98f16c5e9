#pragma once

// A connection handler for the transport tests that records what its
// connection delivered and lets a test wait for it.

#include "framework/net/iconnectable.h"
#include "framework/net/iconnection.h"
#include "framework/net/isession.h"
#include "framework/utils/ibuffer.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

class RecordingHandler : public FF::Net::IConnectable {
public:
    void onReceived(FF::Net::ISession* session) override
    {
        FF::utils::IBuffer* buffer = session->buffer();
        std::vector<std::uint8_t> body(buffer->data(), buffer->data() + buffer->size());
        {
            std::lock_guard<std::mutex> guard(m_mutex);
            messages.push_back(body);
            messageThreads.push_back(std::this_thread::get_id());
            messageReadPositions.push_back(buffer->readPos());
        }
        m_changed.notify_all();
        if (onMessage)
            onMessage(session);
    }
    bool onReceivedAside(FF::Net::ISession* session) override
    {
        if (!onAside || !onAside(session))
            return false;
        FF::utils::IBuffer* buffer = session->buffer();
        {
            std::lock_guard<std::mutex> guard(m_mutex);
            asideMessages.emplace_back(buffer->data(), buffer->data() + buffer->size());
            asideThreads.push_back(std::this_thread::get_id());
        }
        m_changed.notify_all();
        return true;
    }
    void onTick(FF::Net::IConnection* connection) override
    {
        {
            std::lock_guard<std::mutex> guard(m_mutex);
            ++ticks;
            lastIdle = connection->idleTime();
        }
        if (onTickHook)
            onTickHook();
    }
    void onDisconnected(FF::Net::IConnection* connection) override
    {
        {
            std::lock_guard<std::mutex> guard(m_mutex);
            ++disconnects;
            broken = connection->isBroken();
        }
        m_changed.notify_all();
    }

    bool waitFor(std::function<bool()> done, int timeoutMs = 5000)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), done);
    }
    template <class T>
    T read(const T& field)
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        return field;
    }

    std::function<void(FF::Net::ISession*)> onMessage; // set before connect
    // Takes (true) the messages a caller reads itself; unset declines them all.
    std::function<bool(FF::Net::ISession*)> onAside; // set before connect
    // Runs on the receive thread after every tick; set before connect.
    std::function<void()> onTickHook;
    std::vector<std::vector<std::uint8_t>> messages;
    std::vector<std::thread::id> messageThreads;
    std::vector<std::uint64_t> messageReadPositions;
    std::vector<std::vector<std::uint8_t>> asideMessages;
    std::vector<std::thread::id> asideThreads;
    int ticks = 0;
    std::uint64_t lastIdle = 0;
    int disconnects = 0;
    bool broken = false;

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
};
