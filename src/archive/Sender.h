#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "archive/Record.h"

namespace archive {

class Archive;

// The local queue: saves the archive has not taken yet, in a SQLite file of
// their own, so that a program killed meanwhile loses none. Used by one
// thread.
class Queue {
public:
    // Raises ArchiveError when the file cannot be opened or made.
    explicit Queue(const std::string& path);
    ~Queue();
    Queue(const Queue&) = delete;
    Queue& operator=(const Queue&) = delete;

    struct Item {
        std::int64_t id = 0;
        Submission submission;
    };

    std::int64_t push(const Submission& submission);
    // The oldest items, at most `limit`.
    std::vector<Item> oldest(int limit);
    void remove(std::int64_t id);
    int count();
    const std::string& notice() const { return m_notice; }

private:
    std::string m_path, m_connection, m_notice;
};

// Sends saves to one archive through the local queue: each save is queued
// first, then the queue is sent, so that a save is never lost between the
// two. While the archive cannot be reached the saves wait in the queue;
// the user hears of it once ("Архив недоступен: запись отложена") and once
// more when the queue has gone out. Used by one thread.
class Sender {
public:
    using Messages = std::function<void(const std::string& text)>;

    // `url` empty: the archive is off and nothing is queued or sent.
    Sender(std::string url, std::string queuePath, Messages messages);
    ~Sender();
    Sender(const Sender&) = delete;
    Sender& operator=(const Sender&) = delete;

    // Puts a save into the queue; false (with the user told) when the queue
    // cannot take it either.
    bool enqueue(const Submission& submission);

    struct Sent {
        bool reachable = false;            // the whole queue went out
        int documents = 0;                 // queued saves sent
        std::vector<std::int64_t> ids;     // the new records they made
        int left = 0;                      // saves still queued
    };
    // Sends what is queued, oldest first, until the queue is empty or the
    // archive fails. A queued document the reader refuses is dropped with a
    // message: sending it again could never succeed.
    Sent send();
    // Saves waiting in the queue (0 when the queue cannot be opened).
    int queued();
    bool off() const { return m_url.empty(); }

private:
    Queue* queue();
    void unreachable(const std::string& why);

    std::string m_url, m_queuePath;
    Messages m_messages;
    std::unique_ptr<Archive> m_archive;
    std::unique_ptr<Queue> m_queue;
    bool m_down = false;        // the user was told the archive is unreachable
    bool m_queueDown = false;   // ... that the queue cannot be written
    std::string m_lastReason;
};

// The archive's own thread: the save hands its submission over and goes
// on; the thread queues it and sends it. While the archive is unreachable
// the thread tries again every `retry`. Messages come on that thread.
class Recorder {
public:
    struct Options {
        std::string url;        // empty: the archive is off
        std::string queuePath;
        std::chrono::milliseconds retry{std::chrono::seconds(15)};
    };

    Recorder(Options options, Sender::Messages messages);
    // Saves handed over and not yet queued are queued before the thread
    // ends; nothing waits for the archive itself.
    ~Recorder();
    Recorder(const Recorder&) = delete;
    Recorder& operator=(const Recorder&) = delete;

    // Never waits for a database.
    void submit(Submission submission);
    // Waits until every save handed over so far has been queued and one
    // attempt to send the queue has ended (tests, the command-line tool).
    void flush();
    // Asks the thread to send the queue now.
    void wake();

private:
    void run();

    Options m_options;
    Sender::Messages m_messages;
    std::mutex m_mutex;
    std::condition_variable m_wake, m_idle;
    std::deque<Submission> m_inbox;
    std::uint64_t m_handed = 0, m_done = 0;
    bool m_stop = false, m_kick = false;
    std::thread m_thread;
};

}  // namespace archive
