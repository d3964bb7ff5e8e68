#pragma once

#include <QObject>
#include <QPointer>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <utility>

#include "link/QueueThread.h"

// Carries a worker's notifications over to the window thread: the worker
// thread only queues a call on the receiver (a page or dialog), which its
// event loop runs later; a call still queued when the receiver is gone is
// dropped.
class QueuedNotifier final : public QueueNotifier {
public:
    using OnResult = std::function<void(bool ok)>;
    using OnActivity = std::function<void(std::intptr_t transmitting)>;
    using OnPort = std::function<void(bool back)>;

    // `onActivity` may be empty: the worker sends no activity signals.
    // `onPort` takes the port's going away and coming back (kPortMessage).
    QueuedNotifier(QObject& receiver, OnResult onResult, OnActivity onActivity = {}, OnPort onPort = {});

    void Notify(unsigned message, std::intptr_t param1, std::intptr_t param2) override;

private:
    QPointer<QObject> m_receiver;  // made on the window thread, copied by the worker
    OnResult m_onResult;
    OnActivity m_onActivity;
    OnPort m_onPort;
};

// A page's worker thread, the controller that posts to it, and the notifier
// between them, made and ended in the one order that is safe: the thread
// stops (the requests already queued finish, their notifications dropped
// with the page) before the notifier it reports to goes away.
//
// `make` builds the controller over the thread: [&](Thread& t) { return
// Controller(state, t, console); }. The page's `handleResult` runs for every
// result on the window thread, `activity` (if given) for every activity
// signal, and `portNotified` for the port going away and coming back.
template <class Thread, class Controller>
class PageWorker {
public:
    template <class Page, class Make>
    PageWorker(Page& page, void (Page::*handleResult)(bool), void (Page::*portNotified)(bool), Make&& make,
               QueuedNotifier::OnActivity activity = {})
        : m_notifier(
              page, [&page, handleResult](bool ok) { (page.*handleResult)(ok); }, std::move(activity),
              [&page, portNotified](bool back) { (page.*portNotified)(back); }),
          m_controller(make(m_thread)) {}
    ~PageWorker() {
        {
            std::lock_guard lock(m_mutex);
            m_closing = true;
        }
        m_wake.notify_all();
        m_thread.Stop();
    }
    PageWorker(const PageWorker&) = delete;
    PageWorker& operator=(const PageWorker&) = delete;

    // Starts the thread; the page does it when it is shown for real.
    void Start() { m_thread.Start(m_notifier); }

    // A wait for the worker's own pauses that ends at once when the page
    // closes, so that closing never waits for a pause to run out.
    void Sleep(std::chrono::milliseconds time) {
        std::unique_lock lock(m_mutex);
        m_wake.wait_for(lock, time, [this] { return m_closing; });
    }

    Thread& thread() { return m_thread; }
    Controller& controller() { return m_controller; }
    const Controller& controller() const { return m_controller; }

private:
    QueuedNotifier m_notifier;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_closing = false;
    Thread m_thread;  // after what its thread uses, before what uses it
    Controller m_controller;
};
