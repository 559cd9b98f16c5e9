#pragma once

// The last lines a child writes to its standard output and error, so that a
// child that ends by itself can say why. A thread of its own reads the pipe
// all the time, so the child never blocks on a full pipe; only the last
// kMaxLines lines of at most kMaxLineBytes bytes each are kept.

#include "platform/fd/uniquefd.h"

#include <QByteArray>
#include <QList>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>

class OutputTail {
public:
    static constexpr int kMaxLines = 20;
    static constexpr int kMaxLineBytes = 512;
    // How long lines() waits for the reader to take in what the pipe holds.
    static constexpr int kCatchUpMs = 2000;

    OutputTail() = default;
    ~OutputTail(); // close()
    OutputTail(const OutputTail&) = delete;
    OutputTail& operator=(const OutputTail&) = delete;

    // A new pipe, forgetting the lines of the last one; the end the child
    // writes to (close-on-exec here), or -1 when no pipe could be made.
    int open();
    // The child holds its own copy of the write end now: ours closes and
    // the reading starts.
    void startReading();
    // Takes in what the pipe holds now and stops reading; the lines stay.
    void close();

    // The kept lines, the last one possibly unfinished, after taking in
    // what the pipe holds now.
    QList<QByteArray> lines();

private:
    void run();
    // Reads what is there without waiting; false once the pipe has ended.
    bool drain();
    void take(const char* data, size_t size); // under m_mutex
    void closeFds();

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<QByteArray> m_lines;
    QByteArray m_partial;
    bool m_partialCut = false; // the unfinished line outgrew kMaxLineBytes
    bool m_quit = false;
    bool m_ended = true; // no reader runs
    std::uint64_t m_catchUpAsked = 0;
    std::uint64_t m_catchUpDone = 0;
    std::thread m_reader;

    platform::UniqueFd m_readFd;
    platform::UniqueFd m_writeFd;
    platform::UniqueFd m_wakeRead;
    platform::UniqueFd m_wakeWrite;
};
