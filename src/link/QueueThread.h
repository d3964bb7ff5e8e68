#pragma once

#include <atomic>
#include <cassert>
#include <chrono>
#include <cstdint>
#include <exception>
#include <mutex>
#include <semaphore>
#include <string>
#include <thread>

#include "common/MathError.h"

// Receives the worker's notifications. The worker thread calls Notify; the
// GUI's implementation hands the call over to its own thread (a queued
// invocation), a test's implementation queues it for its message pump.
class QueueNotifier {
public:
    // A slot is finished: param1 is 1 when the request succeeded or was
    // skipped, 0 when it failed; param2 is 0.
    static constexpr unsigned kResultMessage = 1024;
    // A worker's own activity signal (the RV page's TX/RX lamps).
    static constexpr unsigned kActivityMessage = 1025;
    // The worker's port went away (param1 0), sent before the result of the
    // request that met it; or it came back and is open again (param1 1).
    static constexpr unsigned kPortMessage = 1026;

    virtual ~QueueNotifier() = default;
    virtual void Notify(unsigned message, std::intptr_t param1, std::intptr_t param2) = 0;
};

// Bits of a request's condition.
namespace queue_condition {
inline constexpr std::uint32_t kExpectedMask = 0x000000FFu;  // outcomes the mask asks for
inline constexpr std::uint32_t kDependencyMask = 0x0000FF00u;  // bit 8+i: the request i+1 before
inline constexpr std::uint32_t kForce = 1u << 16;       // post even while others are pending
inline constexpr std::uint32_t kBackground = 1u << 17;  // makes no one wait; posted into an empty queue only
inline constexpr std::uint32_t kDropQuietly = 1u << 18;  // a busy queue discards it without an error
// Forced, and the request executed just before must have succeeded: every
// later step of a sequence that stops at its first failure.
inline constexpr std::uint32_t kAfterSuccess = kForce | 0x0100u | 0x0001u;  // 65793
}  // namespace queue_condition

// The texts Post raises as message errors.
inline constexpr const char* kQueueOverflow = "Queue overflow";
inline constexpr const char* kQueueNotEmpty = "Queue is not empty";

// Failure text stored for an exception that carries no text at all.
inline constexpr const char* kUnknownWorkerError = "Unknown error";

// A device page's worker: a ring of ten request slots shared between the
// page (window thread: Slot, Post, Front, Pop, Pending, Start, Stop) and one
// worker thread that executes the slots in order through Process.
//
// The page fills Slot(), then Post(code, condition). The worker executes the
// slot, stores the results in its param (or the failure's text in error) and
// calls the notifier with kResultMessage. The page then reads Front(), acts
// on it and calls Pop(), which frees the slot. At most nine slots are pending
// (posted and not yet popped).
//
// A derived worker class must call Stop() in its own destructor: Process
// runs on the worker thread and may use the derived class's members, which
// are gone by the time this class's destructor runs. The notifier given to
// Start must outlive Stop(): the requests still queued notify it.
template <class T>
class QueueThread {
public:
    static constexpr int kSlots = 10;

    struct QueueItem {
        std::int32_t code = 0;        // -1 after the worker skipped the request
        std::uint32_t condition = 0;  // queue_condition bits
        T param{};                    // inputs from the page, results from the worker
        std::string error;            // text of the last failure in this slot
    };

    QueueThread() = default;
    virtual ~QueueThread() {
        // A worker still running here could call Process of a destroyed
        // derived object: the derived destructor must have stopped it.
        assert(!m_thread.joinable() && "QueueThread destroyed without Stop()");
        Stop();
    }
    QueueThread(const QueueThread&) = delete;
    QueueThread& operator=(const QueueThread&) = delete;

    // Starts the worker thread with the notifier it reports to. Called once,
    // before the first Post.
    void Start(QueueNotifier& notifier) {
        std::lock_guard lock(m_section);
        if (m_thread.joinable() || m_stopped) return;
        m_notifier = &notifier;
        m_thread = std::thread([this] { WorkerLoop(); });
    }

    // The inputs of the request Post will enqueue next.
    T& Slot() { return m_items[m_writeIndex].param; }

    // Enqueues the slot filled through Slot(). Nine pending: kQueueOverflow.
    // A busy queue (see queue_condition) refuses with kQueueNotEmpty, or
    // silently with kDropQuietly; a refused slot is overwritten by the next
    // post.
    void Post(std::int32_t code, std::uint32_t condition) {
        using namespace queue_condition;
        std::lock_guard lock(m_section);
        QueueItem& item = m_items[m_writeIndex];
        item.code = code;
        item.condition = condition;
        const int pending = PendingLocked();
        if (pending == kSlots - 1) throw UserError(kQueueOverflow);
        bool enqueue = pending == 0 || (condition & kForce) != 0;
        if (!enqueue && (condition & kBackground) == 0) {
            // Background requests make no one wait: a queue holding only
            // those takes a foreground request.
            enqueue = true;
            for (int i = m_doneIndex; i != m_writeIndex; i = (i + 1) % kSlots) {
                if ((m_items[i].condition & kBackground) == 0) {
                    enqueue = false;
                    break;
                }
            }
        }
        if (!enqueue) {
            if (condition & kDropQuietly) return;
            throw UserError(kQueueNotEmpty);
        }
        m_writeIndex = (m_writeIndex + 1) % kSlots;
        m_semaphore.release();
    }

    // The slot whose notification is being handled.
    QueueItem& Front() { return m_items[m_doneIndex]; }
    // Frees the slot Front() refers to.
    void Pop() {
        std::lock_guard lock(m_section);
        m_doneIndex = (m_doneIndex + 1) % kSlots;
    }
    // Slots posted and not yet popped; 0 when all posted work is done.
    int Pending() const {
        std::lock_guard lock(m_section);
        return PendingLocked();
    }

    // Ends the worker after the requests already enqueued have run (their
    // notifications are still sent). Returns when the thread has ended.
    // Further calls do nothing.
    void Stop() {
        {
            std::lock_guard lock(m_section);
            if (m_stopped) return;
            m_stopped = true;
            m_stopIndex.exchange(m_writeIndex);
        }
        if (!m_thread.joinable()) return;
        m_semaphore.release();
        m_thread.join();
    }

    // How often a worker whose port went away looks whether it is back.
    static constexpr std::chrono::milliseconds kPortPoll{500};

    // Outcomes of the last requests, newest in bit 0 (1 succeeded).
    // Meant for the worker thread and for tests after Stop.
    std::uint32_t History() const { return m_history; }

protected:
    // Executes one request on the worker thread. A failure is an exception:
    // its text becomes the slot's error.
    virtual void Process(std::int32_t code, T& param) = 0;

    // A worker whose port can go away (an unplugged adapter) says so here,
    // on the worker thread: while PortAway() holds, the worker sleeps on its
    // queue for at most kPortPoll at a time and calls PortBack() after each
    // such sleep; PortBack() reopens the port if it can. The loop sends
    // kPortMessage when a request leaves the port away and when PortBack()
    // brings it back. Requests are executed as ever meanwhile (one that
    // opens a port ends the wait).
    virtual bool PortAway() const { return false; }
    virtual bool PortBack() { return false; }

    // Sends a notification from the worker thread (Process may send its own,
    // such as kActivityMessage).
    void Notify(unsigned message, std::intptr_t param1, std::intptr_t param2 = 0) {
        if (m_notifier) m_notifier->Notify(message, param1, param2);
    }

private:
    int PendingLocked() const { return (m_writeIndex - m_doneIndex + kSlots) % kSlots; }

    void WorkerLoop() {
        using namespace queue_condition;
        int workerIndex = 0;
        for (;;) {
            if (!PortAway()) {
                m_semaphore.acquire();
            } else if (!m_semaphore.try_acquire_for(kPortPoll)) {
                if (PortBack()) Notify(QueueNotifier::kPortMessage, 1);
                continue;
            }
            if (workerIndex == m_stopIndex.load()) return;
            QueueItem& item = m_items[workerIndex];
            const std::uint32_t mask = (item.condition & kDependencyMask) >> 8;
            const std::uint32_t expected = item.condition & kExpectedMask;
            const bool wasAway = PortAway();
            if ((expected & mask) != (m_history & mask)) {
                item.code = -1;
                m_history <<= 1;
                Notify(QueueNotifier::kResultMessage, 1);
            } else if (Execute(item)) {
                m_history = (m_history << 1) | 1u;
                Notify(QueueNotifier::kResultMessage, 1);
            } else {
                m_history <<= 1;
                if (!wasAway && PortAway()) Notify(QueueNotifier::kPortMessage, 0);
                Notify(QueueNotifier::kResultMessage, 0);
            }
            workerIndex = (workerIndex + 1) % kSlots;
        }
    }

    // Runs Process; false with the failure's text in the slot's error.
    bool Execute(QueueItem& item) {
        try {
            Process(item.code, item.param);
            return true;
        } catch (const std::exception& error) {
            item.error = error.what();
        } catch (const char* text) {
            item.error = text ? text : "";
        } catch (const std::string& text) {
            item.error = text;
        } catch (...) {
            // Letting it escape would end the program; the page reports it
            // like any other failure.
            item.error = kUnknownWorkerError;
        }
        return false;
    }

    QueueItem m_items[kSlots];
    std::thread m_thread;
    std::counting_semaphore<> m_semaphore{0};
    QueueNotifier* m_notifier = nullptr;
    mutable std::mutex m_section;  // the window thread's index updates
    int m_doneIndex = 0;
    int m_writeIndex = 0;
    std::uint32_t m_history = 0;      // worker thread only
    std::atomic<int> m_stopIndex{-1};
    bool m_stopped = false;
};
