// The archive failing under a save: a server stopped and started again, a
// program killed with saves queued, two programs writing one archive at
// once, a damaged SQLite file, a wrong URL and a refused login.

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <set>
#include <thread>

#include "ArchiveSupport.h"
#include "SampleDocuments.h"
#include "archive/Archive.h"
#include "archive/Sender.h"

namespace {

using namespace std::chrono_literals;

const std::string kUnavailable = "Архив недоступен: запись отложена";

// Messages of the archive as the console gets them, from any thread.
struct Heard {
    std::mutex mutex;
    std::vector<std::string> lines;

    archive::Sender::Messages sink() {
        return [this](const std::string& text) {
            std::lock_guard lock(mutex);
            lines.push_back(text);
        };
    }
    std::vector<std::string> snapshot() {
        std::lock_guard lock(mutex);
        return lines;
    }
    int count(const std::string& prefix) {
        int n = 0;
        for (const std::string& line : snapshot()) n += line.rfind(prefix, 0) == 0;
        return n;
    }
};

archive::Submission save(std::uint32_t serial, int packages = 1) {
    return archive::MakeSubmission("/bench/" + std::to_string(serial) + ".srv",
                                   SampleDocumentBytes({.serial = serial, .packages = packages, .entries = 3,
                                                        .seed = static_cast<int>(serial)}));
}

int queued(const std::string& path) {
    archive::Queue queue(path);
    return queue.count();
}

void cluster(const char* action) {
    const std::string command = std::string(PG_CLUSTER) + " " + action + " " + PG_STATE;
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
}

// Saves go on while the server is stopped: each returns at once, the
// records wait in the queue, the user hears of it once, and all of them
// are on record once the server is back.
TEST(ArchiveFaults, ServerStoppedWhileSavesGoOn) {
    TempDir dir;
    const std::string url = freshPgDatabase();
    Heard heard;
    archive::Recorder recorder({url, dir.file("queue.sqlite"), 100ms}, heard.sink());
    for (std::uint32_t s = 1; s <= 5; ++s) recorder.submit(save(s));
    recorder.flush();
    EXPECT_EQ(archive::Archive(url).find({}).size(), 5u);

    cluster("pause");
    for (std::uint32_t s = 6; s <= 15; ++s) {
        recorder.submit(save(s));
        if (s == 10) recorder.flush();
    }
    recorder.flush();
    EXPECT_EQ(heard.count(kUnavailable), 1);
    EXPECT_EQ(queued(dir.file("queue.sqlite")), 10);

    cluster("resume");
    const auto deadline = std::chrono::steady_clock::now() + 30s;
    while (heard.count("Архив доступен") == 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(50ms);
    EXPECT_EQ(heard.count("Архив доступен: отложенные записи отправлены (10)"), 1);
    recorder.submit(save(16));
    recorder.flush();

    const std::vector<archive::Row> rows = archive::Archive(url).find({});
    std::set<std::string> serials;
    for (const archive::Row& r : rows) serials.insert(r.serial);
    EXPECT_EQ(rows.size(), 16u);
    EXPECT_EQ(serials.size(), 16u);
    EXPECT_EQ(queued(dir.file("queue.sqlite")), 0);
    EXPECT_EQ(heard.count(kUnavailable), 1);
}

// A program killed (SIGKILL) with saves queued: the next one sends them.
TEST(ArchiveFaults, AKilledProgramLosesNoQueuedSave) {
    TempDir dir;
    const std::string queue = dir.file("queue.sqlite");
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // Nothing listens on port 1: every attempt is refused.
        archive::Recorder recorder({"postgresql://postgres@127.0.0.1:1/none", queue, 10ms}, {});
        for (std::uint32_t s = 1; s <= 6; ++s) recorder.submit(save(s, 2));
        recorder.flush();
        (void)!write(ready[1], "q", 1);
        for (std::uint32_t s = 100;; ++s) recorder.submit(save(s, 2));  // still saving when killed
    }
    close(ready[1]);
    char c = 0;
    ASSERT_EQ(read(ready[0], &c, 1), 1);
    std::this_thread::sleep_for(100ms);
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    close(ready[0]);
    ASSERT_TRUE(WIFSIGNALED(status));

    const int left = queued(queue);
    EXPECT_GE(left, 6);
    Heard heard;
    archive::Sender sender(dir.file("archive.sqlite"), queue, heard.sink());
    const archive::Sender::Sent sent = sender.send();
    EXPECT_TRUE(sent.reachable);
    EXPECT_EQ(sent.documents, left);
    EXPECT_EQ(sent.left, 0);
    const std::vector<archive::Row> rows = archive::Archive(dir.file("archive.sqlite")).find({});
    EXPECT_EQ(rows.size(), static_cast<std::size_t>(2 * left));
    EXPECT_EQ(archive::Archive(dir.file("archive.sqlite")).find({.serialPrefix = "00000006"}).size(), 2u);
}

// Two programs save into one PostgreSQL archive at once, 500 saves each,
// 250 of them the same documents: every package once.
TEST(ArchiveFaults, TwoProgramsSavingToOneServer) {
    TempDir dir;
    const std::string url = freshPgDatabase();
    { archive::Archive made(url); }
    int go[2];
    ASSERT_EQ(pipe(go), 0);
    pid_t children[2];
    for (int k = 0; k < 2; ++k) {
        children[k] = fork();
        ASSERT_GE(children[k], 0);
        if (children[k] == 0) {
            close(go[1]);
            char c;
            (void)!read(go[0], &c, 1);
            archive::Sender sender(url, dir.file("queue" + std::to_string(k) + ".sqlite"), {});
            bool ok = true;
            for (std::uint32_t s = 250u * k; s < 250u * k + 500u; ++s) {
                ok = ok && sender.enqueue(save(s));
                ok = ok && sender.send().reachable;
            }
            _exit(ok ? 0 : 1);
        }
    }
    close(go[0]);
    close(go[1]);  // both start now
    for (pid_t child : children) {
        int status = 0;
        waitpid(child, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    const std::vector<archive::Row> rows = archive::Archive(url).find({});
    std::set<std::string> serials;
    for (const archive::Row& r : rows) serials.insert(r.serial);
    EXPECT_EQ(rows.size(), 750u);
    EXPECT_EQ(serials.size(), 750u);
}

// A SQLite archive that is no database is set aside, as the settings file
// is, and a new one takes the save.
TEST(ArchiveFaults, ADamagedSqliteArchiveIsSetAside) {
    TempDir dir;
    const std::string path = dir.file("archive.sqlite");
    const std::string garbage(8192, '\x5a');
    writeFile(path, garbage);
    Heard heard;
    archive::Sender sender(path, dir.file("queue.sqlite"), heard.sink());
    ASSERT_TRUE(sender.enqueue(save(42, 2)));
    const archive::Sender::Sent sent = sender.send();
    EXPECT_TRUE(sent.reachable);
    EXPECT_EQ(sent.ids.size(), 2u);
    EXPECT_EQ(readFile(path + ".damaged"), garbage);
    EXPECT_EQ(heard.count("Архив " + path + " повреждён"), 1) << testing::PrintToString(heard.snapshot());
    EXPECT_EQ(archive::Archive(path).find({}).size(), 2u);
}

// An archive that refuses: the save stays queued and the user reads why.
TEST(ArchiveFaults, AWrongUrlOrARefusedLoginQueuesWithAClearMessage) {
    pgExec("DO $$ BEGIN CREATE ROLE archive_nologin NOLOGIN; EXCEPTION WHEN duplicate_object THEN NULL; END $$");
    const std::string server = pgServer();
    const std::string hostPort = server.substr(server.find('@') + 1);
    struct Case {
        const char* name;
        std::string url;
        std::string because;
    };
    const Case cases[] = {
        {"another scheme", "mysql://lab@server/archive", "неизвестная схема mysql"},
        {"no user", "postgresql://" + hostPort + "/postgres", "нет пользователя"},
        {"no database", "postgresql://lab@" + hostPort, "нет базы данных"},
        {"a password in the URL", "postgresql://lab:secret@" + hostPort + "/postgres", "пароль в адресе не хранится"},
        {"a role that may not log in", "postgresql://archive_nologin@" + hostPort + "/postgres", "not permitted to log in"},
        {"an unknown role", "postgresql://nobody_here@" + hostPort + "/postgres", "nobody_here"},
        {"a database that is not there", server + "/no_such_db", "no_such_db"},
    };
    for (const Case& c : cases) {
        TempDir dir;
        Heard heard;
        archive::Sender sender(c.url, dir.file("queue.sqlite"), heard.sink());
        ASSERT_TRUE(sender.enqueue(save(7)));
        const archive::Sender::Sent sent = sender.send();
        EXPECT_FALSE(sent.reachable) << c.name;
        EXPECT_EQ(sent.left, 1) << c.name;
        const std::vector<std::string> lines = heard.snapshot();
        ASSERT_EQ(lines.size(), 2u) << c.name;
        EXPECT_EQ(lines[0], kUnavailable) << c.name;
        EXPECT_NE(lines[1].find(c.because), std::string::npos) << c.name << ": " << lines[1];
    }
}

}  // namespace
