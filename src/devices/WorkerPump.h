#pragma once

// A notifier for programs without a window: the worker's notifications wait
// in a queue until the program's thread takes them, one at a time, as a
// window's message loop would (srvtool, tests, benchmarks).

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>

#include "link/QueueThread.h"

class WorkerPump : public QueueNotifier {
public:
    struct Message {
        unsigned message = 0;
        std::intptr_t param1 = 0;
        std::intptr_t param2 = 0;
    };

    void Notify(unsigned message, std::intptr_t param1, std::intptr_t param2) override {
        {
            std::lock_guard lock(m_mutex);
            m_queue.push_back({message, param1, param2});
        }
        m_ready.notify_one();
    }

    // The next notification, waiting at most `limit`; nothing on timeout.
    std::optional<Message> next(std::chrono::milliseconds limit) {
        std::unique_lock lock(m_mutex);
        if (!m_ready.wait_for(lock, limit, [this] { return !m_queue.empty(); })) return std::nullopt;
        Message m = m_queue.front();
        m_queue.pop_front();
        return m;
    }

    // The next result notification (kResultMessage), counting the activity
    // notifications passed on the way; nothing on timeout.
    std::optional<Message> nextResult(std::chrono::milliseconds limit, int* activity = nullptr) {
        const auto end = std::chrono::steady_clock::now() + limit;
        for (;;) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                end - std::chrono::steady_clock::now());
            auto m = next(left.count() > 0 ? left : std::chrono::milliseconds(0));
            if (!m) return std::nullopt;
            if (m->message == kResultMessage) return m;
            if (activity) ++*activity;
        }
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_ready;
    std::deque<Message> m_queue;
};
