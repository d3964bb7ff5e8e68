#include "archive/Sender.h"

#include <QByteArray>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <atomic>

#include "archive/Archive.h"

namespace archive {

namespace {

QString q(const std::string& s) { return QString::fromStdString(s); }

std::string nextQueueConnection() {
    static std::atomic<unsigned> counter{0};
    return "rvarchive-queue-" + std::to_string(++counter);
}

}  // namespace

// --- Queue ---

Queue::Queue(const std::string& path) : m_path(path), m_connection(nextQueueConnection()) {
    QSqlDatabase db = OpenSqliteFile(m_connection, path, &m_notice);
    QSqlQuery query(db);
    if (!query.exec("CREATE TABLE IF NOT EXISTS queue (id INTEGER PRIMARY KEY, path TEXT NOT NULL, "
                    "saved INTEGER NOT NULL, login TEXT NOT NULL, host TEXT NOT NULL, content BLOB NOT NULL)")) {
        const std::string why = ErrorText(db);
        query = QSqlQuery();
        db.close();
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(q(m_connection));
        throw ArchiveError("Очередь архива " + path + ": " + why);
    }
}

Queue::~Queue() {
    {
        QSqlDatabase db = QSqlDatabase::database(q(m_connection), false);
        db.close();
    }
    QSqlDatabase::removeDatabase(q(m_connection));
}

namespace {

[[noreturn]] void queueFailed(const std::string& path, const QSqlQuery& query) {
    throw ArchiveError("Очередь архива " + path + ": " + query.lastError().text().simplified().toStdString());
}

}  // namespace

std::int64_t Queue::push(const Submission& s) {
    QSqlQuery query(QSqlDatabase::database(q(m_connection), false));
    query.prepare("INSERT INTO queue (path, saved, login, host, content) VALUES (?, ?, ?, ?, ?)");
    query.bindValue(0, q(s.path));
    query.bindValue(1, static_cast<qint64>(s.savedMs));
    query.bindValue(2, q(s.user));
    query.bindValue(3, q(s.host));
    query.bindValue(4, qCompress(QByteArray::fromRawData(s.bytes.data(), static_cast<qsizetype>(s.bytes.size()))));
    if (!query.exec()) queueFailed(m_path, query);
    return query.lastInsertId().toLongLong();
}

std::vector<Queue::Item> Queue::oldest(int limit) {
    QSqlQuery query(QSqlDatabase::database(q(m_connection), false));
    query.prepare("SELECT id, path, saved, login, host, content FROM queue ORDER BY id LIMIT ?");
    query.bindValue(0, limit);
    if (!query.exec()) queueFailed(m_path, query);
    std::vector<Item> items;
    while (query.next()) {
        Item item;
        item.id = query.value(0).toLongLong();
        item.submission.path = query.value(1).toString().toStdString();
        item.submission.savedMs = query.value(2).toLongLong();
        item.submission.user = query.value(3).toString().toStdString();
        item.submission.host = query.value(4).toString().toStdString();
        const QByteArray bytes = qUncompress(query.value(5).toByteArray());
        item.submission.bytes.assign(bytes.constData(), static_cast<std::size_t>(bytes.size()));
        items.push_back(std::move(item));
    }
    return items;
}

void Queue::remove(std::int64_t id) {
    QSqlQuery query(QSqlDatabase::database(q(m_connection), false));
    query.prepare("DELETE FROM queue WHERE id = ?");
    query.bindValue(0, static_cast<qint64>(id));
    if (!query.exec()) queueFailed(m_path, query);
}

int Queue::count() {
    QSqlQuery query(QSqlDatabase::database(q(m_connection), false));
    if (!query.exec("SELECT count(*) FROM queue") || !query.next()) queueFailed(m_path, query);
    return query.value(0).toInt();
}

// --- Sender ---

Sender::Sender(std::string url, std::string queuePath, Messages messages)
    : m_url(std::move(url)), m_queuePath(std::move(queuePath)), m_messages(std::move(messages)) {
    if (!m_messages) m_messages = [](const std::string&) {};
}

Sender::~Sender() = default;

Queue* Sender::queue() {
    if (!m_queue) {
        try {
            m_queue = std::make_unique<Queue>(m_queuePath);
            if (!m_queue->notice().empty()) m_messages(m_queue->notice());
            m_queueDown = false;
        } catch (const ArchiveError& e) {
            if (!m_queueDown) m_messages(e.what());
            m_queueDown = true;
        }
    }
    return m_queue.get();
}

bool Sender::enqueue(const Submission& submission) {
    if (off()) return true;
    if (Queue* qu = queue()) {
        try {
            qu->push(submission);
            return true;
        } catch (const ArchiveError& e) {
            if (!m_queueDown) m_messages(e.what());
            m_queueDown = true;
            m_queue.reset();
        }
    }
    return false;
}

int Sender::queued() {
    Queue* qu = queue();
    if (!qu) return 0;
    try {
        return qu->count();
    } catch (const ArchiveError&) {
        m_queue.reset();
        return 0;
    }
}

void Sender::unreachable(const std::string& why) {
    if (!m_down || why != m_lastReason) {
        if (!m_down) m_messages("Архив недоступен: запись отложена");
        m_messages(why);
    }
    m_down = true;
    m_lastReason = why;
}

Sender::Sent Sender::send() {
    Sent out;
    if (off()) {
        out.reachable = true;
        return out;
    }
    Queue* qu = queue();
    if (!qu) return out;
    try {
        for (;;) {
            const std::vector<Queue::Item> items = qu->oldest(16);
            if (items.empty()) break;
            for (const Queue::Item& item : items) {
                PreparedDocument prepared;
                try {
                    prepared = Prepare(item.submission.bytes);
                } catch (const std::exception& e) {
                    m_messages("Архив: документ " + item.submission.path + " не записан: " + e.what());
                    qu->remove(item.id);
                    continue;
                }
                // A connection kept from before may have been cut (a server
                // restarted): one new connection is tried before giving up.
                for (int attempt = 0;; ++attempt) {
                    const bool reused = m_archive != nullptr;
                    try {
                        if (!m_archive) {
                            m_archive = std::make_unique<Archive>(m_url);
                            if (!m_archive->notice().empty()) m_messages(m_archive->notice());
                        }
                        const std::vector<std::int64_t> ids = m_archive->store(item.submission, prepared);
                        out.ids.insert(out.ids.end(), ids.begin(), ids.end());
                        break;
                    } catch (const ArchiveError& e) {
                        m_archive.reset();
                        if (reused && attempt == 0) continue;
                        unreachable(e.what());
                        out.left = qu->count();
                        return out;
                    }
                }
                qu->remove(item.id);
                ++out.documents;
            }
        }
    } catch (const ArchiveError& e) {
        // The queue itself failed.
        if (!m_queueDown) m_messages(e.what());
        m_queueDown = true;
        m_queue.reset();
        return out;
    }
    out.reachable = true;
    if (m_down && out.documents > 0)
        m_messages("Архив доступен: отложенные записи отправлены (" + std::to_string(out.documents) + ")");
    m_down = false;
    m_lastReason.clear();
    return out;
}

// --- Recorder ---

Recorder::Recorder(Options options, Sender::Messages messages)
    : m_options(std::move(options)), m_messages(std::move(messages)) {
    m_thread = std::thread([this] { run(); });
}

Recorder::~Recorder() {
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
    m_thread.join();
}

void Recorder::submit(Submission submission) {
    {
        std::lock_guard lock(m_mutex);
        m_inbox.push_back(std::move(submission));
        ++m_handed;
    }
    m_wake.notify_all();
}

void Recorder::wake() {
    {
        std::lock_guard lock(m_mutex);
        m_kick = true;
    }
    m_wake.notify_all();
}

void Recorder::flush() {
    std::unique_lock lock(m_mutex);
    const std::uint64_t target = m_handed;
    m_kick = true;
    m_wake.notify_all();
    m_idle.wait(lock, [&] { return m_done >= target && !m_kick; });
}

void Recorder::run() {
    Sender sender(m_options.url, m_options.queuePath, m_messages);
    std::vector<Submission> unqueued;  // saves the queue could not take yet
    // Saves queued by an earlier run go out first.
    bool pending = !sender.off() && sender.queued() > 0;
    for (;;) {
        std::deque<Submission> taken;
        std::uint64_t handed = 0;
        bool stop = false;
        {
            std::unique_lock lock(m_mutex);
            auto ready = [&] { return m_stop || m_kick || !m_inbox.empty(); };
            if (pending) m_wake.wait_for(lock, m_options.retry, ready);
            else m_wake.wait(lock, ready);
            taken.swap(m_inbox);
            handed = m_handed;
            stop = m_stop;
        }
        for (Submission& s : taken) unqueued.push_back(std::move(s));
        std::vector<Submission> still;
        for (Submission& s : unqueued)
            if (!sender.enqueue(s)) still.push_back(std::move(s));
        unqueued.swap(still);
        if (stop) break;
        const Sender::Sent sent = sender.send();
        pending = !sent.reachable || !unqueued.empty();
        {
            std::lock_guard lock(m_mutex);
            m_done = handed;
            m_kick = false;
        }
        m_idle.notify_all();
    }
    {
        std::lock_guard lock(m_mutex);
        m_done = m_handed;
        m_kick = false;
    }
    m_idle.notify_all();
}

}  // namespace archive
