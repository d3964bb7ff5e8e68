// Whole files on Windows: the target of a replacement is the old or the new
// file, a killed save's leftover goes with the next save, a running save's
// stays; a file is read whole, its failures carry the system's code.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include <windows.h>
#undef ReplaceFile

#include "common/AtomicFile.h"
#include "common/WinError.h"

namespace fs = std::filesystem;

namespace {

class AtomicFileWin : public ::testing::Test {
protected:
    fs::path folder = fs::temp_directory_path() / ("rvatomic-" + std::to_string(::GetCurrentProcessId()));
    std::string target = (folder / "doc.srv").string();

    void SetUp() override { fs::create_directories(folder); }
    void TearDown() override { fs::remove_all(folder); }

    static std::string read(const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    std::size_t entries() const { return static_cast<std::size_t>(std::distance(fs::directory_iterator(folder), {})); }
};

TEST_F(AtomicFileWin, TheTargetIsTheOldFileUntilTheCommit) {
    ReplaceFile(target, "old\n");
    {
        AtomicFile file(target);
        file.write("new\r\n");
        EXPECT_EQ(read(target), "old\n");
        EXPECT_EQ(entries(), 2u) << "the new file beside the target";
    }
    EXPECT_EQ(read(target), "old\n") << "no commit";
    EXPECT_EQ(entries(), 1u);
    AtomicFile file(target);
    file.write("new\r\n");
    file.commit();
    EXPECT_EQ(read(target), "new\r\n") << "bytes as written, no line-end translation";
    EXPECT_EQ(entries(), 1u);
}

TEST_F(AtomicFileWin, ALeftoverGoesUnlessASaveHoldsIt) {
    const fs::path leftover = folder / ".doc.srv.1234-0-77.tmp";
    std::ofstream(leftover) << "killed";
    const fs::path other = folder / ".other.srv.1234-0-77.tmp";
    std::ofstream(other) << "another file's";
    AtomicFile running(target);
    running.write("running");
    ReplaceFile(target, "saved");
    EXPECT_FALSE(fs::exists(leftover));
    EXPECT_TRUE(fs::exists(other));
    running.commit();
    EXPECT_EQ(read(target), "running") << "the running save's new file survived the other save";
}

TEST_F(AtomicFileWin, AFolderIsNoTarget) {
    try {
        ReplaceFile(folder.string(), "x");
        FAIL() << "no error";
    } catch (const std::exception& error) {
        EXPECT_EQ(std::string(error.what()).rfind("System Error.  Code: 5.", 0), 0u) << error.what();
    }
}

TEST_F(AtomicFileWin, AFileIsReadWholeAndAFailureCarriesTheSystemsCode) {
    // Larger than one read of the reader's buffer, with a zero byte and CR LF
    // inside, under a name that is not ASCII.
    std::string bytes(200000, 'x');
    bytes[70000] = '\0';
    bytes.replace(100, 2, "\r\n");
    const std::string big = (folder / "Показания.txt").string();
    ReplaceFile(big, bytes);
    EXPECT_EQ(ReadWholeFile(big), bytes);
    ReplaceFile(target, "");
    EXPECT_EQ(ReadWholeFile(target), "");

    const auto codeOf = [](const fs::path& path) -> std::uint32_t {
        try {
            ReadWholeFile(path.string());
        } catch (const win_error& e) {
            return e.ErrorCode;
        }
        return 0;
    };
    EXPECT_EQ(codeOf(folder / "missing"), static_cast<std::uint32_t>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(codeOf(folder / "no" / "such"), static_cast<std::uint32_t>(ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(codeOf(folder), static_cast<std::uint32_t>(ERROR_ACCESS_DENIED));
}

}  // namespace
