// The one file replacement every save goes through: whole or not at all.

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <sys/stat.h>
#include <unistd.h>

#include "common/AtomicFile.h"
#include "common/WinError.h"
#include "support/FileSizeCap.h"

namespace fs = std::filesystem;

namespace {

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void writeFile(const fs::path& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }

std::string errorOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const win_error& e) {
        return e.what();
    }
    return "no error";
}

mode_t modeOf(const fs::path& path) {
    struct stat st {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
    return st.st_mode & 07777;
}

class AtomicFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::path(::testing::TempDir()) / "atomic-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        m_dir = pattern;
        m_oldMask = ::umask(022);
    }
    void TearDown() override {
        ::umask(m_oldMask);
        fs::remove_all(m_dir);
    }

    // The names in the folder, so that a temporary left behind shows.
    std::vector<std::string> names() const {
        std::vector<std::string> result;
        for (const auto& entry : fs::directory_iterator(m_dir)) result.push_back(entry.path().filename());
        std::sort(result.begin(), result.end());
        return result;
    }

    fs::path m_dir;
    mode_t m_oldMask = 0;
};

TEST_F(AtomicFileTest, ReplacesTheContentAndLeavesNothingElse) {
    const fs::path target = m_dir / "doc.srv";
    writeFile(target, "old content that is longer");
    ReplaceFile(target, "new");
    EXPECT_EQ(readFile(target), "new");
    ReplaceFile(m_dir / "fresh.txt", std::string(100000, 'x'));
    EXPECT_EQ(readFile(m_dir / "fresh.txt").size(), 100000u);
    EXPECT_EQ(names(), (std::vector<std::string>{"doc.srv", "fresh.txt"}));
}

TEST_F(AtomicFileTest, AFailedSaveNeverDestroysTheOldFile) {
    const fs::path target = m_dir / "doc.srv";
    writeFile(target, "old");
    std::string error;
    {
        FileSizeCap cap(1000);
        error = errorOf([&] { ReplaceFile(target, std::string(5000, 'x')); });
    }
    EXPECT_NE(error.find("File too large"), std::string::npos) << error;
    EXPECT_EQ(readFile(target), "old");
    EXPECT_EQ(names(), std::vector<std::string>{"doc.srv"});

    // A replacement given up before commit changes nothing either.
    {
        AtomicFile file(target);
        file.write("half of it");
    }
    EXPECT_EQ(readFile(target), "old");
    EXPECT_EQ(names(), std::vector<std::string>{"doc.srv"});
}

TEST_F(AtomicFileTest, AFolderOrAMissingFolderIsRefusedWithTheSystemsText) {
    fs::create_directory(m_dir / "folder");
    EXPECT_NE(errorOf([&] { ReplaceFile(m_dir / "folder", "x"); }).find("Is a directory"), std::string::npos);
    EXPECT_NE(errorOf([&] { ReplaceFile(m_dir / "no" / "such", "x"); }).find("No such file or directory"),
              std::string::npos);
    EXPECT_EQ(names(), std::vector<std::string>{"folder"});
}

TEST_F(AtomicFileTest, AFileIsReadWholeAndAFailureCarriesTheSystemsCode) {
    // Larger than one read of the reader's buffer, with a zero byte inside.
    std::string bytes(200000, 'x');
    bytes[70000] = '\0';
    writeFile(m_dir / "big", bytes);
    EXPECT_EQ(ReadWholeFile(m_dir / "big"), bytes);
    writeFile(m_dir / "empty", "");
    EXPECT_EQ(ReadWholeFile(m_dir / "empty"), "");

    const auto codeOf = [](const fs::path& path) -> std::uint32_t {
        try {
            ReadWholeFile(path);
        } catch (const win_error& e) {
            return e.ErrorCode;
        }
        return 0;
    };
    EXPECT_EQ(codeOf(m_dir / "missing"), static_cast<std::uint32_t>(ENOENT));
    EXPECT_EQ(codeOf(m_dir / "big" / "under a file"), static_cast<std::uint32_t>(ENOTDIR));
    EXPECT_EQ(codeOf(m_dir), static_cast<std::uint32_t>(EISDIR));
}

TEST_F(AtomicFileTest, ANewFileTakesTheGivenModeAReplacedOneKeepsItsOwn) {
    ReplaceFile(m_dir / "private.json", "{}", 0600);
    EXPECT_EQ(modeOf(m_dir / "private.json"), 0600u);
    ReplaceFile(m_dir / "shared.txt", "x");
    EXPECT_EQ(modeOf(m_dir / "shared.txt"), 0644u);  // 0666 less the umask

    const fs::path target = m_dir / "doc.srv";
    writeFile(target, "old");
    ::chmod(target.c_str(), 0640);
    ReplaceFile(target, "new", 0600);
    EXPECT_EQ(modeOf(target), 0640u);
}

TEST_F(AtomicFileTest, ALinkIsReplacedWhereItPointsAndStaysALink) {
    const fs::path target = m_dir / "target.srv";
    const fs::path link = m_dir / "link.srv";
    writeFile(target, "old");
    fs::create_symlink(target, link);
    ReplaceFile(link, "new");
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(readFile(target), "new");
}

}  // namespace
