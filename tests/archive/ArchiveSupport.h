#pragma once

// The two backends the archive's tests run on: a SQLite file in a fresh
// folder, and a fresh database on the throw-away PostgreSQL server that the
// ctest fixture started (its state file names the server).

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <string>

#include "archive/Location.h"
#include "files/FileBytes.h"

inline std::string pgStateLine(int line) {
    std::ifstream in(PG_STATE);
    std::string text;
    for (int i = 0; i <= line && std::getline(in, text);) ++i;
    return text;
}

// postgresql://postgres@127.0.0.1:PORT of the fixture's server.
inline std::string pgServer() {
    const std::string url = pgStateLine(1);
    if (url.empty()) ADD_FAILURE() << "the PostgreSQL fixture left no state in " << PG_STATE;
    return url;
}

// Runs one statement on the server's "postgres" database.
inline void pgExec(const std::string& sql) {
    const archive::Location l = archive::Location::Parse(pgServer() + "/postgres");
    const QString name = "test-admin";
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QPSQL", name);
        db.setHostName(QString::fromStdString(l.host));
        db.setPort(l.port);
        db.setUserName(QString::fromStdString(l.user));
        db.setDatabaseName("postgres");
        ASSERT_TRUE(db.open()) << db.lastError().text().toStdString();
        QSqlQuery q(db);
        EXPECT_TRUE(q.exec(QString::fromStdString(sql))) << sql << ": " << q.lastError().text().toStdString();
    }
    QSqlDatabase::removeDatabase(name);
}

// The URL of a new empty database on the fixture's server.
inline std::string freshPgDatabase() {
    static std::atomic<int> counter{0};
    const std::string name = "archive_" + std::to_string(::getpid()) + "_" + std::to_string(++counter);
    pgExec("CREATE DATABASE " + name);
    return pgServer() + "/" + name;
}

enum class Backend { SQLite, PostgreSQL };

inline void PrintTo(Backend b, std::ostream* out) { *out << (b == Backend::SQLite ? "SQLite" : "PostgreSQL"); }

inline std::string backendName(const testing::TestParamInfo<Backend>& info) {
    return info.param == Backend::SQLite ? "SQLite" : "PostgreSQL";
}

// A fresh archive of the test's backend, and a queue file of its own.
class OnBackend : public testing::TestWithParam<Backend> {
protected:
    void SetUp() override {
        url = GetParam() == Backend::SQLite ? dir.file("archive.sqlite") : freshPgDatabase();
        queue = dir.file("queue.sqlite");
    }

    TempDir dir;
    std::string url, queue;
};
