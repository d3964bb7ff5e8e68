// Saves whose last steps fail: the new file is flushed, closed and renamed,
// and any of these can fail on a real disk (a full or failing disk, a
// network file system that reports a write error only on close). This
// program puts its own fsync, close and rename in front of the C library's
// so that each step can be made to fail once. A program of its own, so that
// no other test runs over these functions.
//
// Every saver must leave the old file whole, leave no new file behind, and
// close the new file's descriptor exactly once: Linux releases a descriptor
// even when close() fails, so a second close can hit one that another thread
// has opened meanwhile.

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <fcntl.h>
#include <stdio.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "common/AtomicFile.h"
#include "common/Console.h"
#include "common/WinError.h"
#include "document/Document.h"
#include "files/DocumentFile.h"
#include "link/RegKey.h"

namespace fs = std::filesystem;

namespace {

enum class Step { None, Fsync, Close, Rename };

// The armed fault. The new file is the first descriptor flushed while armed.
Step g_failing = Step::None;
int g_newFile = -1;
int g_newFileCloses = 0;

void arm(Step step) {
    g_failing = step;
    g_newFile = -1;
    g_newFileCloses = 0;
}

}  // namespace

extern "C" int fsync(int fd) {
    if (g_failing != Step::None && g_newFile < 0) {
        g_newFile = fd;
        if (g_failing == Step::Fsync) {
            errno = EIO;
            return -1;
        }
    }
    return static_cast<int>(::syscall(SYS_fsync, fd));
}

extern "C" int close(int fd) {
    const long result = ::syscall(SYS_close, fd);
    if (fd == g_newFile && ++g_newFileCloses == 1 && g_failing == Step::Close) {
        // Released all the same, as Linux does.
        errno = EIO;
        return -1;
    }
    return static_cast<int>(result);
}

extern "C" int rename(const char* from, const char* to) noexcept {
    if (g_failing == Step::Rename && g_newFile >= 0) {
        errno = EIO;
        return -1;
    }
    return ::renameat(AT_FDCWD, from, AT_FDCWD, to);
}

namespace {

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::vector<std::string> names(const fs::path& dir) {
    std::vector<std::string> result;
    for (const auto& entry : fs::directory_iterator(dir)) result.push_back(entry.path().filename());
    std::sort(result.begin(), result.end());
    return result;
}

struct Saver {
    const char* name;
    const char* file;
    // Writes the file once so that there is an old one, then returns the save to fail.
    std::function<std::function<void()>(const fs::path& path)> prepare;
};

const Saver kSavers[] = {
    {"replacement", "plain.txt",
     [](const fs::path& path) -> std::function<void()> {
         ReplaceFile(path, "old");
         return [path] { ReplaceFile(path, "new content"); };
     }},
    {"settings store", "settings.json",
     [](const fs::path& path) -> std::function<void()> {
         RegKey::SetFileLocation(path);
         RegKey key;
         key.Open();
         key.WriteInt("DornComPort", 1);
         return [] {
             RegKey key;
             key.Open();
             key.WriteInt("DornComPort", 2);
         };
     }},
    {"document", "doc.srv",
     [](const fs::path& path) -> std::function<void()> {
         auto console = std::make_shared<Console>();
         auto doc = std::make_shared<Document>(*console);
         doc->create(5);
         files::WriteDocument(path, *doc);
         doc->addPackage(PackageType::Calibration, Method::Volume)->addEntry();
         return [console, doc, path] { files::WriteDocument(path, *doc); };
     }},
};

class SaveFaultTest : public ::testing::TestWithParam<Step> {
protected:
    void SetUp() override {
        std::string pattern = (fs::path(::testing::TempDir()) / "savefault-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        m_dir = pattern;
    }
    void TearDown() override {
        arm(Step::None);
        RegKey::SetFileLocation({});
        fs::remove_all(m_dir);
    }
    fs::path m_dir;
};

TEST_P(SaveFaultTest, TheOldFileStaysAndTheNewOneIsClosedOnce) {
    for (const Saver& saver : kSavers) {
        SCOPED_TRACE(saver.name);
        const fs::path path = m_dir / saver.file;
        const auto save = saver.prepare(path);
        const std::string before = readFile(path);
        const auto folder = names(m_dir);

        arm(GetParam());
        std::string error = "no error";
        try {
            save();
        } catch (const win_error& e) {
            error = e.what();
        }
        const int closes = g_newFileCloses;
        const bool flushed = g_newFile >= 0;
        arm(Step::None);

        EXPECT_NE(error.find("Input/output error"), std::string::npos) << error;
        ASSERT_TRUE(flushed) << "the new file was flushed before it took the name";
        EXPECT_EQ(closes, 1);
        EXPECT_EQ(readFile(path), before);
        EXPECT_EQ(names(m_dir), folder);

        save();  // nothing failing: it goes through
        EXPECT_NE(readFile(path), before);
    }
}

INSTANTIATE_TEST_SUITE_P(Steps, SaveFaultTest, ::testing::Values(Step::Fsync, Step::Close, Step::Rename),
                         [](const auto& info) {
                             switch (info.param) {
                                 case Step::Fsync: return "Flush";
                                 case Step::Close: return "Close";
                                 default: return "Rename";
                             }
                         });

}  // namespace
