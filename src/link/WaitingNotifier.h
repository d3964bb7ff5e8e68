#pragma once

// A notifier for a program without a window (srvtool, tests, benchmarks):
// the worker's notifications wait in a queue until the program's own thread
// takes them, one at a time and in order, as a window's message loop would.

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <thread>

#include "link/QueueThread.h"

class WaitingNotifier : public QueueNotifier {
public:
    struct Notification {
        unsigned message = 0;
        std::intptr_t param1 = 0;
        std::intptr_t param2 = 0;
        std::thread::id sender;  // the thread that called Notify
    };

    // Called by the worker thread: queues the notification.
    void Notify(unsigned message, std::intptr_t param1, std::intptr_t param2) override;

    // The next notification, waiting at most `limit`; nothing on timeout.
    std::optional<Notification> next(std::chrono::milliseconds limit);

    // The next result notification (kResultMessage) within `limit`, counting
    // into `activity` the other notifications taken on the way; nothing on
    // timeout.
    std::optional<Notification> nextResult(std::chrono::milliseconds limit, int* activity = nullptr);

    // Notifications queued and not yet taken.
    std::size_t queued() const;

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_ready;
    std::deque<Notification> m_queue;
};
