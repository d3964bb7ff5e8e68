// Saves killed at random moments. A child program (SaveCrashChild.cpp)
// saves a large document, the settings file or the report over the same
// file again and again; the test kills it with SIGKILL, most times after a
// random wait and some times the moment it reports that a flush to the disk
// has begun. After every kill the file must be, byte for byte, one of the
// two versions the child saves, and must open; the hidden new file of the
// killed save may be left, but the next save removes it, and no leftover
// ever has the file's own extension.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include "SaveCrashWork.h"
#include "common/AtomicFile.h"
#include "common/Console.h"
#include "document/Document.h"
#include "files/DocumentFile.h"
#include "link/RegKey.h"

namespace fs = std::filesystem;
using savecrash::Kind;

namespace {

std::string readAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

// The child, its report pipe and what it has reported so far.
class Child {
public:
    Child(Kind kind, const fs::path& folder) {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
        m_pid = ::fork();
        if (m_pid == 0) {
            // The write end keeps its number in the child: clear close-on-exec.
            ::fcntl(fds[1], F_SETFD, 0);
            const std::string kindArg = savecrash::kindName(kind), folderArg = folder.string(),
                              fdArg = std::to_string(fds[1]);
            ::execl(SAVE_CRASH_CHILD, SAVE_CRASH_CHILD, kindArg.c_str(), folderArg.c_str(), fdArg.c_str(),
                    static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(fds[1]);
        m_read = fds[0];
    }
    ~Child() {
        kill();
        ::close(m_read);
    }

    // Waits up to `limit` for the report `c`; false if the child ended or
    // the time ran out first.
    bool waitFor(char c, std::chrono::milliseconds limit) {
        const auto end = std::chrono::steady_clock::now() + limit;
        for (;;) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
            if (left.count() <= 0) return false;
            pollfd p{m_read, POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
            char got = 0;
            const ssize_t n = ::read(m_read, &got, 1);
            if (n == 0) return false;
            if (n < 0) continue;
            if (got == 'S') ++m_saves;
            if (got == c) return true;
        }
    }
    // Reads the reports for `wait`, so that the child never blocks on a
    // full pipe.
    void drainFor(std::chrono::microseconds wait) {
        const auto end = std::chrono::steady_clock::now() + wait;
        while (std::chrono::steady_clock::now() < end) {
            pollfd p{m_read, POLLIN, 0};
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
            if (::poll(&p, 1, static_cast<int>(std::max<long long>(left.count(), 0))) > 0) {
                char buf[256];
                const ssize_t n = ::read(m_read, buf, sizeof buf);
                if (n <= 0) return;
                m_saves += static_cast<int>(std::count(buf, buf + n, 'S'));
            }
        }
    }
    void kill() {
        if (m_pid <= 0) return;
        ::kill(m_pid, SIGKILL);
        int status = 0;
        ::waitpid(m_pid, &status, 0);
        m_pid = -1;
    }
    int saves() const { return m_saves; }

private:
    pid_t m_pid = -1;
    int m_read = -1;
    int m_saves = 0;
};

class SaveCrash : public ::testing::TestWithParam<Kind> {
protected:
    void SetUp() override {
        std::string pattern = (fs::path(::testing::TempDir()) / "save-crash-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        m_root = pattern;
        m_folder = m_root / "saves";
        fs::create_directories(m_folder);
    }
    void TearDown() override {
        RegKey::SetFileLocation("");
        fs::remove_all(m_root);
    }

    std::vector<std::string> leftovers() const {
        std::vector<std::string> names;
        const std::string target = savecrash::targetName(GetParam());
        for (const auto& entry : fs::directory_iterator(m_folder)) {
            const std::string name = entry.path().filename();
            if (savecrash::isLeftoverOf(name, target)) names.push_back(name);
        }
        return names;
    }
    // Every file in the folder but the target and the settings store's
    // lock: none may carry the target's extension.
    void expectNoOtherFileLikeTheTarget() const {
        const fs::path target = savecrash::targetName(GetParam());
        for (const auto& entry : fs::directory_iterator(m_folder)) {
            const fs::path name = entry.path().filename();
            if (name == target) continue;
            EXPECT_NE(name.extension(), target.extension()) << name;
        }
    }
    // The file opens as its kind is opened.
    void expectOpens(const std::string& bytes) const {
        switch (GetParam()) {
        case Kind::Document: {
            Console console;
            Document doc(console);
            std::istringstream in(bytes, std::ios::in | std::ios::binary);
            EXPECT_NO_THROW(files::ReadDocument(in, doc));
            EXPECT_EQ(doc.packages().size(), 1u);
            break;
        }
        case Kind::Settings: {
            RegKey::SetFileLocation((m_folder / savecrash::targetName(Kind::Settings)).string());
            RegKey key;
            key.Open();
            const std::string value = key.ReadString(savecrash::kSettingsValue);
            EXPECT_TRUE(value == std::string(300000, 'a') || value == std::string(300000, 'b'));
            break;
        }
        case Kind::Report:
            EXPECT_NE(bytes.find("</html>"), std::string::npos);
            break;
        }
    }

    fs::path m_root, m_folder;
};

TEST_P(SaveCrash, AKilledSaveLeavesTheOldOrTheNewFileAndTheNextSaveClearsUp) {
    const Kind kind = GetParam();
    const fs::path target = m_folder / savecrash::targetName(kind);
    const std::string expected = (m_root / ("expected-" + savecrash::kindName(kind) + "-")).string();
    constexpr int kTrials = 40;
    constexpr int kFlushKills = 12;  // every few trials, killed as a flush begins
    std::mt19937 random(20261210u + static_cast<unsigned>(kind));
    int midSave = 0, atFlush = 0, saves = 0;

    for (int trial = 0; trial < kTrials; ++trial) {
        SCOPED_TRACE("trial " + std::to_string(trial));
        Child child(kind, m_folder);
        ASSERT_TRUE(child.waitFor('R', std::chrono::seconds(60))) << "the child did not start saving";
        // The child's first saves removed every leftover of earlier kills.
        EXPECT_LE(leftovers().size(), 1u);
        if (trial % (kTrials / kFlushKills) == 0) {
            // Each save flushes its new file, then the folder: an odd
            // flush is the new file's, before its rename.
            const int flushes = 1 + 2 * static_cast<int>(random() % 2);
            for (int i = 0; i < flushes; ++i) ASSERT_TRUE(child.waitFor('F', std::chrono::seconds(20)));
            child.kill();
            ++atFlush;
        } else {
            child.drainFor(std::chrono::microseconds(random() % 60000));
            child.kill();
        }
        saves += child.saves();

        const std::string bytes = readAll(target);
        const std::string version0 = readAll(expected + "0"), version1 = readAll(expected + "1");
        ASSERT_FALSE(version0.empty());
        ASSERT_NE(version0, version1);
        EXPECT_TRUE(bytes == version0 || bytes == version1) << "the file is neither version (" << bytes.size()
                                                            << " bytes)";
        expectOpens(bytes);
        const std::vector<std::string> left = leftovers();
        EXPECT_LE(left.size(), 1u) << "leftovers of earlier saves were not removed";
        midSave += static_cast<int>(left.size());
        expectNoOtherFileLikeTheTarget();
    }
    // The kills fell inside saves, not only between them.
    EXPECT_GE(atFlush, kFlushKills);
    EXPECT_GE(midSave, atFlush);

    // One more save, by this program, clears what the last kill left.
    savecrash::save(kind, m_folder.string(), 0);
    EXPECT_TRUE(leftovers().empty());
    EXPECT_EQ(readAll(target), readAll(expected + "0"));
    std::printf("%s: %d trials, %d killed inside a save (%d as a flush began), %d saves completed between kills\n",
                savecrash::kindName(kind).c_str(), kTrials, midSave, atFlush, saves);
}

INSTANTIATE_TEST_SUITE_P(Saves, SaveCrash, ::testing::Values(Kind::Document, Kind::Settings, Kind::Report),
                         [](const ::testing::TestParamInfo<Kind>& info) { return savecrash::kindName(info.param); });

// A new file of a save that is still running is locked and stays; a file
// that only looks like a leftover of another name is never touched.
TEST(SaveLeftovers, OnlyUnlockedNewFilesOfTheSameTargetGo) {
    std::string pattern = (fs::path(::testing::TempDir()) / "leftovers-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    const fs::path folder = pattern;
    const auto touch = [&](const std::string& name) { std::ofstream(folder / name) << "x"; };
    touch(".doc.srv.123-4-56.tmp");       // a killed save of doc.srv
    touch(".doc.srv.1-2.tmp");            // not the form
    touch(".other.srv.123-4-56.tmp");     // another document's
    touch(".doc.srv.123-4-56.tmp.keep");  // not the form
    touch("doc.srv.123-4-56.tmp");        // not hidden
    touch(".doc.srv.9-9-9.tmp");          // a save still running: locked
    const int running = ::open((folder / ".doc.srv.9-9-9.tmp").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(running, 0);
    ASSERT_EQ(::flock(running, LOCK_EX), 0);

    ReplaceFile((folder / "doc.srv").string(), "new");
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{".doc.srv.1-2.tmp", ".doc.srv.123-4-56.tmp.keep", ".doc.srv.9-9-9.tmp",
                                               ".other.srv.123-4-56.tmp", "doc.srv", "doc.srv.123-4-56.tmp"}));
    ::close(running);
    // Its saver gone, the next save removes it too.
    ReplaceFile((folder / "doc.srv").string(), "newer");
    EXPECT_FALSE(fs::exists(folder / ".doc.srv.9-9-9.tmp"));
    fs::remove_all(folder);
}

}  // namespace
