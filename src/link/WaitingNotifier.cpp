#include "link/WaitingNotifier.h"

#include <algorithm>

void WaitingNotifier::Notify(unsigned message, std::intptr_t param1, std::intptr_t param2) {
    {
        std::lock_guard lock(m_mutex);
        m_queue.push_back({message, param1, param2, std::this_thread::get_id()});
    }
    m_ready.notify_one();
}

std::optional<WaitingNotifier::Notification> WaitingNotifier::next(std::chrono::milliseconds limit) {
    std::unique_lock lock(m_mutex);
    if (!m_ready.wait_for(lock, limit, [this] { return !m_queue.empty(); })) return std::nullopt;
    Notification n = m_queue.front();
    m_queue.pop_front();
    return n;
}

std::optional<WaitingNotifier::Notification> WaitingNotifier::nextResult(std::chrono::milliseconds limit,
                                                                         int* activity) {
    const auto end = std::chrono::steady_clock::now() + limit;
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
        auto n = next(std::max(left, std::chrono::milliseconds(0)));
        if (!n) return std::nullopt;
        if (n->message == kResultMessage) return n;
        if (activity) ++*activity;
    }
}

std::size_t WaitingNotifier::queued() const {
    std::lock_guard lock(m_mutex);
    return m_queue.size();
}
