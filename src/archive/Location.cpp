#include "archive/Location.h"

#include <QUrl>

#include <cstdlib>

#include "archive/Archive.h"
#include "link/RegKey.h"

namespace archive {

namespace {

[[noreturn]] void badUrl(const std::string& url, const std::string& why) {
    throw ArchiveError("Архив: неверный адрес \"" + url + "\" (" + why +
                       "); ожидается путь к файлу SQLite или postgresql://пользователь@сервер:порт/база");
}

}  // namespace

Location Location::Parse(const std::string& url) {
    Location l;
    l.url = url;
    if (url.empty()) badUrl(url, "пустой адрес");
    const auto scheme = url.find("://");
    if (scheme == std::string::npos) {
        l.kind = Kind::SQLite;
        l.path = url;
        return l;
    }
    const std::string name = url.substr(0, scheme);
    if (name != "postgresql" && name != "postgres") badUrl(url, "неизвестная схема " + name);
    const QUrl q(QString::fromStdString(url), QUrl::StrictMode);
    if (!q.isValid()) badUrl(url, q.errorString().toStdString());
    if (!q.password().isEmpty()) badUrl(url, "пароль в адресе не хранится: он берётся из PGPASSWORD или ~/.pgpass");
    l.kind = Kind::PostgreSQL;
    l.host = q.host(QUrl::FullyDecoded).toStdString();
    l.user = q.userName(QUrl::FullyDecoded).toStdString();
    l.port = q.port(5432);
    QString db = q.path(QUrl::FullyDecoded);
    if (db.startsWith('/')) db.remove(0, 1);
    l.database = db.toStdString();
    if (l.host.empty()) badUrl(url, "нет сервера");
    if (l.user.empty()) badUrl(url, "нет пользователя");
    if (l.database.empty() || l.database.find('/') != std::string::npos) badUrl(url, "нет базы данных");
    if (l.port <= 0 || l.port > 65535) badUrl(url, "неверный порт");
    return l;
}

std::string DataFolder() {
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg) return std::string(xdg) + "/rvservice";
    const char* home = std::getenv("HOME");
    return std::string(home && *home ? home : ".") + "/.local/share/rvservice";
}

std::string DefaultArchiveUrl() { return DataFolder() + "/archive.sqlite"; }

std::string QueuePath() {
    if (const char* queue = std::getenv("RVSERVICE_ARCHIVE_QUEUE"); queue && *queue) return queue;
    return DataFolder() + "/archive-queue.sqlite";
}

std::string ConfiguredArchiveUrl() {
    std::string url;
    if (const char* env = std::getenv("RVSERVICE_ARCHIVE"); env && *env) {
        url = env;
    } else {
        try {
            RegKey key;
            key.Open();
            url = key.ReadString(kArchiveSetting);
        } catch (const std::exception&) {
            // An unreadable settings store leaves the default archive.
        }
    }
    if (url == "off") return {};
    return url.empty() ? DefaultArchiveUrl() : url;
}

}  // namespace archive
