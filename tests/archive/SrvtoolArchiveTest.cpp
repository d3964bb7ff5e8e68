// srvtool archive add, find, get, sync, and the record a .srv written by
// another command makes, run as a program on both backends.

#include <cstdlib>
#include <filesystem>
#include <set>
#include <nlohmann/json.hpp>

#include "ArchiveSupport.h"
#include "SampleDocuments.h"
#include "support/RunTool.h"

namespace {

using nlohmann::json;

// srvtool with the data folder (and so the default archive and the queue)
// in the test's folder.
class SrvtoolArchive : public OnBackend {
protected:
    void SetUp() override {
        OnBackend::SetUp();
        setenv("XDG_DATA_HOME", dir.path().c_str(), 1);
        unsetenv("RVSERVICE_ARCHIVE");
        setenv("RVSERVICE_SETTINGS", dir.file("settings.json").c_str(), 1);
    }
    void TearDown() override {
        unsetenv("XDG_DATA_HOME");
        unsetenv("RVSERVICE_ARCHIVE");
        unsetenv("RVSERVICE_SETTINGS");
    }

    ToolResult tool(std::vector<std::string> args) { return runTool(SRVTOOL_PATH, args); }
    json ok(std::vector<std::string> args) {
        const ToolResult r = tool(args);
        EXPECT_EQ(r.exitCode, 0) << r.err;
        return r.exitCode == 0 ? json::parse(r.out) : json();
    }
    std::string document(const std::string& name, std::uint32_t serial, int packages) {
        const std::string path = dir.file(name);
        writeFile(path, SampleDocumentBytes({.serial = serial, .packages = packages, .entries = 5,
                                             .seed = static_cast<int>(serial)}));
        return path;
    }
};

TEST_P(SrvtoolArchive, AddFindGet) {
    const std::string a = document("a.srv", 11112222, 2);
    const std::string b = document("b.srv", 33334444, 1);
    const json added = ok({"archive", "add", a, "--archive", url});
    EXPECT_EQ(added["ids"].size(), 2u);
    EXPECT_EQ(added["queued"], 0);
    ok({"archive", "add", b, "--archive", url});
    EXPECT_EQ(ok({"archive", "add", a, "--archive", url})["ids"].size(), 0u) << "an unchanged document";

    const json all = ok({"archive", "find", "--archive", url});
    ASSERT_EQ(all.size(), 3u);
    const std::set<std::string> keys = {"id",     "serial", "model", "type", "method", "created", "saved", "entries",
                                        "errMin", "errMax", "pass",  "path", "sha256", "user",    "host"};
    for (const json& row : all) {
        std::set<std::string> have;
        for (const auto& [key, value] : row.items()) have.insert(key);
        EXPECT_EQ(have, keys);
    }
    EXPECT_EQ(all[0]["serial"], "033334444") << "newest first";
    EXPECT_EQ(all[0]["path"], b);
    EXPECT_EQ(all[0]["entries"], 5);
    EXPECT_TRUE(all[0]["pass"].is_null());
    EXPECT_TRUE(all[0]["errMin"].is_number());

    const json bySerial = ok({"archive", "find", "--archive", url, "--serial", "01111"});
    ASSERT_EQ(bySerial.size(), 2u);
    EXPECT_EQ(ok({"archive", "find", "--archive", url, "--model", all[0]["model"]}).size(), 3u);
    EXPECT_EQ(ok({"archive", "find", "--archive", url, "--model", "Нет такой"}).size(), 0u);
    EXPECT_EQ(ok({"archive", "find", "--archive", url, "--verdict", "none", "--from", "2000-01-01"}).size(), 3u);
    EXPECT_EQ(ok({"archive", "find", "--archive", url, "--to", "2000-01-01T12:00"}).size(), 0u);
    EXPECT_EQ(ok({"archive", "find", "--archive", url, "--verdict", "pass"}).size(), 0u);
    EXPECT_NE(tool({"archive", "find", "--archive", url, "--from", "yesterday"}).exitCode, 0);

    const std::string back = dir.file("back.srv");
    ok({"archive", "get", std::to_string(bySerial[1]["id"].get<long long>()), "-o", back, "--archive", url});
    EXPECT_EQ(readFile(back), readFile(a));
    const ToolResult missing = tool({"archive", "get", "987654", "-o", back, "--archive", url});
    EXPECT_NE(missing.exitCode, 0);
    EXPECT_NE(missing.err.find("987654"), std::string::npos);
}

// convert and import write .srv files: each records the save in the archive
// in force; an archive that cannot take it leaves the save done and queued,
// and sync sends it later.
TEST_P(SrvtoolArchive, ASaveOfAnotherCommandIsRecordedOrQueued) {
    const std::string source = document("source.srv", 55556666, 3);
    setenv("RVSERVICE_ARCHIVE", url.c_str(), 1);
    ok({"convert", source, "-o", dir.file("copy.srv")});
    EXPECT_EQ(ok({"archive", "find", "--serial", "05555"}).size(), 3u);
    ok({"convert", source, "-o", dir.file("copy.json")});
    EXPECT_EQ(ok({"archive", "find"}).size(), 3u) << "a .json save is no document file";

    setenv("RVSERVICE_ARCHIVE", "postgresql://postgres@127.0.0.1:1/none", 1);
    const std::string other = document("other.srv", 77778888, 1);
    const ToolResult saved = tool({"convert", other, "-o", dir.file("other-copy.srv")});
    EXPECT_EQ(saved.exitCode, 0);
    EXPECT_EQ(readFile(dir.file("other-copy.srv")), readFile(other));
    EXPECT_EQ(saved.err.rfind("Архив недоступен: запись отложена\n", 0), 0u) << saved.err;
    EXPECT_EQ(json::parse(saved.out)["output"], dir.file("other-copy.srv"));

    EXPECT_NE(tool({"archive", "sync"}).exitCode, 0);
    const json sent = ok({"archive", "sync", "--archive", url});
    EXPECT_EQ(sent["sent"], 1);
    EXPECT_EQ(sent["queued"], 0);
    EXPECT_EQ(ok({"archive", "find", "--archive", url, "--serial", "07777"}).size(), 1u);
}

TEST_P(SrvtoolArchive, AFileThatIsNoDocumentIsRefused) {
    writeFile(dir.file("bad.srv"), "not a document");
    const ToolResult r = tool({"archive", "add", dir.file("bad.srv"), "--archive", url});
    EXPECT_NE(r.exitCode, 0);
    EXPECT_NE(r.err.find("Неправильный формат файла"), std::string::npos) << r.err;
}

INSTANTIATE_TEST_SUITE_P(Backends, SrvtoolArchive, testing::Values(Backend::SQLite, Backend::PostgreSQL), backendName);

// The default archive is made in the data folder on first use; a damaged
// one is set aside and the save goes on.
TEST(SrvtoolArchiveDefault, MadeOnFirstUseAndSetAsideWhenDamaged) {
    TempDir dir;
    setenv("XDG_DATA_HOME", dir.path().c_str(), 1);
    setenv("RVSERVICE_SETTINGS", dir.file("settings.json").c_str(), 1);
    unsetenv("RVSERVICE_ARCHIVE");
    const std::string doc = dir.file("d.srv");
    writeFile(doc, SampleDocumentBytes({.serial = 1, .packages = 1, .entries = 2}));
    EXPECT_EQ(runTool(SRVTOOL_PATH, {"convert", doc, "-o", dir.file("e.srv")}).exitCode, 0);
    const std::string archive = dir.file("rvservice/archive.sqlite");
    EXPECT_TRUE(std::filesystem::exists(archive));

    writeFile(archive, std::string(4096, 'x'));
    writeFile(doc, SampleDocumentBytes({.serial = 2, .packages = 1, .entries = 2}));
    const ToolResult r = runTool(SRVTOOL_PATH, {"convert", doc, "-o", dir.file("f.srv")});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.err.find("повреждён"), std::string::npos) << r.err;
    EXPECT_EQ(readFile(archive + ".damaged"), std::string(4096, 'x'));
    const ToolResult found = runTool(SRVTOOL_PATH, {"archive", "find"});
    EXPECT_EQ(json::parse(found.out).size(), 1u);
    unsetenv("XDG_DATA_HOME");
    unsetenv("RVSERVICE_SETTINGS");
}

}  // namespace
