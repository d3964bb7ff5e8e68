// Saving replaces the file as a whole: a failure leaves the old file intact.

#include <gtest/gtest.h>

#include <sys/stat.h>

#include "FileBytes.h"
#include "support/FileSizeCap.h"
#include "common/Console.h"
#include "document/Document.h"
#include "files/DocumentFile.h"

namespace {

std::string errorOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const std::exception& e) {
        return e.what();
    }
    return "no error";
}

std::vector<std::string> folderContent(const std::string& dir) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

class SafeWriteTest : public ::testing::Test {
protected:
    TempDir dir;
    Console console;
    Document doc{console};

    void SetUp() override {
        ASSERT_TRUE(doc.create(5));
        doc.addPackage(PackageType::Calibration, Method::Volume)->addEntry();
    }
};

TEST_F(SafeWriteTest, AWriteThatFailsHalfwayLeavesTheOldFileIntact) {
    const std::string path = dir.file("doc.srv");
    files::WriteDocument(path, doc);
    const std::string old = readFile(path);

    for (int i = 0; i < 200; ++i) doc.packages()[0]->addEntry();
    std::string error;
    {
        FileSizeCap cap(old.size() + 100);
        error = errorOf([&] { files::WriteDocument(path, doc); });
    }
    EXPECT_NE(error.find("File too large"), std::string::npos) << error;
    EXPECT_EQ(readFile(path), old);
    EXPECT_EQ(folderContent(dir.path()), std::vector<std::string>{"doc.srv"});

    files::WriteDocument(path, doc);  // without the cap it goes through
    EXPECT_GT(readFile(path).size(), old.size() + 100);
}

TEST_F(SafeWriteTest, ATargetThatIsAFolderIsRefusedWithTheSystemsText) {
    const std::string target = dir.file("folder.srv");
    std::filesystem::create_directory(target);
    writeFile(target + "/inside", "kept");
    const std::string error = errorOf([&] { files::WriteDocument(target, doc); });
    EXPECT_NE(error.find("Is a directory"), std::string::npos) << error;
    EXPECT_TRUE(std::filesystem::is_directory(target));
    EXPECT_EQ(readFile(target + "/inside"), "kept");
    EXPECT_EQ(folderContent(dir.path()), std::vector<std::string>{"folder.srv"});
}

TEST_F(SafeWriteTest, AMissingFolderIsRefusedAndTheDocumentKeepsItsLines) {
    doc.state().currentLines = {{1.0, 2.0, 3.0}};
    const std::string error = errorOf([&] { files::WriteDocument(dir.file("no/such/doc.srv"), doc); });
    EXPECT_NE(error.find("No such file or directory"), std::string::npos) << error;
    // Nothing was written, so nothing was taken from the device either.
    EXPECT_EQ(doc.state().currentLines, (files::Lines{{1.0, 2.0, 3.0}}));
}

TEST_F(SafeWriteTest, AReplacedFileKeepsItsPermissionsAndLinksStayLinks) {
    const std::string target = dir.file("target.srv");
    writeFile(target, "old");
    ::chmod(target.c_str(), 0640);
    const std::string link = dir.file("link.srv");
    std::filesystem::create_symlink(target, link);

    files::WriteDocument(link, doc);
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(readFile(target), files::DocumentBytes(doc));
    struct stat st {};
    ASSERT_EQ(::stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
}

}  // namespace
