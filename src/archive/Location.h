#pragma once

#include <string>

namespace archive {

// Where an archive lives, from its URL: a PostgreSQL server
// ("postgresql://user@host:port/db", the password from libpq's environment
// or ~/.pgpass, never from the URL) or, for anything else, a SQLite file
// path. A URL of another scheme, one holding a password, or a PostgreSQL URL
// without host, user or database raises ArchiveError.
struct Location {
    enum class Kind { SQLite, PostgreSQL };
    Kind kind = Kind::SQLite;
    std::string url;       // as given
    std::string path;      // SQLite
    std::string host;      // PostgreSQL: a host name, an address, or a socket folder
    int port = 5432;
    std::string user;
    std::string database;

    static Location Parse(const std::string& url);
};

// The program's data folder: $XDG_DATA_HOME/rvservice, or
// ~/.local/share/rvservice.
std::string DataFolder();
// The default archive: archive.sqlite in the data folder.
std::string DefaultArchiveUrl();
// The local queue of records the archive could not take yet:
// archive-queue.sqlite in the data folder (RVSERVICE_ARCHIVE_QUEUE names
// another file).
std::string QueuePath();

// The name of the archive setting in the settings store.
inline constexpr const char* kArchiveSetting = "ArchiveUrl";
// The archive in force: RVSERVICE_ARCHIVE when set, else the setting
// "ArchiveUrl" of the settings store, else the default. The value "off"
// turns the archive off: the result is then empty.
std::string ConfiguredArchiveUrl();

}  // namespace archive
