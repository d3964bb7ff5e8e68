#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "archive/Location.h"
#include "archive/Record.h"

class QSqlDatabase;

namespace archive {

// An archive that cannot be used: unreachable, refusing the login, a wrong
// URL, a database that fails a statement. The message is the user's.
class ArchiveError : public std::runtime_error {
public:
    explicit ArchiveError(const std::string& message) : std::runtime_error(message) {}
};

enum class VerdictFilter { Pass, Fail, None };

// What the archive's search looks for; an empty or absent member does not
// restrict. Times are milliseconds since 1970 (UTC), both ends included.
struct Filter {
    std::string serialPrefix;  // digits the factory number begins with
    std::string model;         // the device model's name, exactly
    std::optional<std::int64_t> fromMs, toMs;  // the save time
    std::optional<VerdictFilter> verdict;
};

// One record as the search gives it (the document's bytes stay behind).
struct Row {
    std::int64_t id = 0;
    std::string serial, model;
    int typeCode = 0;
    std::string diameter;
    int packageType = 0, method = 0;
    std::string created;
    std::int64_t savedMs = 0;
    int entries = 0;
    std::optional<double> errMin, errMax;
    std::optional<bool> pass;
    std::optional<std::string> limits;
    std::string path, sha256, user, host;
};

// One connection to an archive, used by the thread that made it. Opening
// makes a new archive's tables or brings an older one to the current
// schema, one SQL file per version in one transaction each; SQLite and
// PostgreSQL run the same statements.
//
// A SQLite file that is no database, or a damaged one, is set aside as
// "<file>.damaged" and a new archive made in its place; `notice()` then
// says so.
class Archive {
public:
    // Raises ArchiveError when the archive cannot be opened or made.
    explicit Archive(const std::string& url) : Archive(url, CurrentVersion()) {}
    // Brings the schema only up to `version` (tests of the migrations).
    Archive(const std::string& url, int version);
    ~Archive();
    Archive(const Archive&) = delete;
    Archive& operator=(const Archive&) = delete;

    static int CurrentVersion();
    int version() const;
    const Location& location() const { return m_location; }
    const std::string& notice() const { return m_notice; }

    // Records the packages of a saved document that the archive does not
    // hold yet (by their keys) with the document's bytes, in one
    // transaction. Returns the ids of the new records, none when nothing
    // changed. Two programs storing the same package at once make one record.
    std::vector<std::int64_t> store(const Submission& submission, const PreparedDocument& prepared);
    std::vector<std::int64_t> store(const Submission& submission) { return store(submission, Prepare(submission.bytes)); }
    // Several documents in one transaction (filling an archive at once).
    void storeMany(const std::vector<std::pair<Submission, PreparedDocument>>& documents);

    // The records the filter selects, newest save first.
    std::vector<Row> find(const Filter& filter);
    // Calls `row` for each record the filter selects, newest first.
    template <typename F>
    void forEach(const Filter& filter, F&& row);
    // The distinct model names on record, sorted.
    std::vector<std::string> models();
    // The document a record was made from, byte for byte; nothing for an
    // unknown id.
    std::optional<std::string> document(std::int64_t id);

private:
    void open();
    void migrate(int version);
    void findRows(const Filter& filter, void (*sink)(void*, const Row&), void* context);
    std::vector<std::int64_t> storeIn(const Submission& submission, const PreparedDocument& prepared);
    QSqlDatabase db() const;

    Location m_location;
    std::string m_connection;
    std::string m_notice;
};

template <typename F>
void Archive::forEach(const Filter& filter, F&& row) {
    findRows(filter, [](void* f, const Row& r) { (*static_cast<F*>(f))(r); }, &row);
}

// A SQLite file opened on a connection of its own (the archive's and the
// queue's). A file that is no database or is damaged is set aside as
// "<file>.damaged" and a new empty one opened; the notice says so. The
// folder is made when missing. Raises ArchiveError when the file cannot be
// opened.
QSqlDatabase OpenSqliteFile(const std::string& connection, const std::string& path, std::string* notice);

// The connection's last error as one line for the user.
std::string ErrorText(const QSqlDatabase& db);

}  // namespace archive
