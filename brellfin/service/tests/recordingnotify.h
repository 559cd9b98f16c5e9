#pragma once

// Records what a transfer thread reports, and lets a test wait for the end of
// the batch (onTransferAllDone or onTransferFailed).

#include "brellfin/service/ifilenotify.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

class RecordingNotify : public IFileNotify {
public:
    struct Event {
        enum Kind { Started, Progress, FileDone, AllDone, Failed } kind;
        std::string path;
        double fraction = 0;
        unsigned int code = 0;
    };

    void onTransferStarted(const std::string& localPath) override { add({Event::Started, localPath}); }
    void onTransferProgress(const std::string& localPath, double fraction) override
    {
        add({Event::Progress, localPath, fraction});
        std::function<void()> hook;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            hook = m_onProgress;
        }
        if (hook)
            hook();
    }
    void onTransferFileDone(const std::string& localPath) override { add({Event::FileDone, localPath}); }
    void onTransferAllDone() override { add({Event::AllDone, {}}); }
    void onTransferFailed(unsigned int code) override { add({Event::Failed, {}, 0, code}); }

    // Runs on the transfer thread after every progress report.
    void setOnProgress(std::function<void()> hook)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_onProgress = std::move(hook);
    }

    // True once the batch ended within timeout.
    bool waitForEnd(std::chrono::milliseconds timeout = std::chrono::seconds(60))
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_changed.wait_for(lock, timeout, [&] { return endsLocked() > 0; });
    }

    std::vector<Event> events() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_events;
    }
    std::vector<double> progress() const
    {
        std::vector<double> values;
        for (const Event& event : events())
            if (event.kind == Event::Progress)
                values.push_back(event.fraction);
        return values;
    }
    int count(Event::Kind kind) const
    {
        int n = 0;
        for (const Event& event : events())
            n += event.kind == kind;
        return n;
    }
    // The last event, which ends the batch: exactly one of these comes.
    bool succeeded() const
    {
        const auto all = events();
        return endsIn(all) == 1 && all.back().kind == Event::AllDone;
    }
    // The failure code, or -1 when the batch did not end with exactly one failure.
    int failureCode() const
    {
        const auto all = events();
        return endsIn(all) == 1 && all.back().kind == Event::Failed ? int(all.back().code) : -1;
    }

private:
    static int endsIn(const std::vector<Event>& events)
    {
        int n = 0;
        for (const Event& event : events)
            n += event.kind == Event::AllDone || event.kind == Event::Failed;
        return n;
    }
    int endsLocked() const { return endsIn(m_events); }
    void add(Event event)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_events.push_back(std::move(event));
        m_changed.notify_all();
    }

    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<Event> m_events;
    std::function<void()> m_onProgress;
};
