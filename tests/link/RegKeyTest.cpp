#include "link/RegKey.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "common/WinError.h"
#include "support/FileSizeCap.h"

namespace fs = std::filesystem;

namespace {

class RegKeyTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_dir = fs::path(::testing::TempDir()) / ("regkey-" + std::to_string(::getpid()));
        fs::remove_all(m_dir);
        m_file = m_dir / "config" / "settings.json";
        RegKey::SetFileLocation(m_file.string());
    }
    void TearDown() override {
        RegKey::SetFileLocation({});
        fs::remove_all(m_dir);
    }

    void WriteFile(const std::string& text) {
        fs::create_directories(m_file.parent_path());
        std::ofstream(m_file) << text;
    }
    std::vector<std::string> Names() {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(m_file.parent_path())) names.push_back(entry.path().filename());
        std::sort(names.begin(), names.end());
        return names;
    }
    std::string FileText() {
        std::ifstream in(m_file);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    fs::path m_dir;
    fs::path m_file;
};

}  // namespace

TEST_F(RegKeyTest, FreshStartCreatesTheKeyAndGivesDefaults) {
    RegKey key;
    key.Open();
    EXPECT_TRUE(fs::exists(m_file));
    EXPECT_EQ(key.ReadInt("DornComPort", 0), 0);
    EXPECT_EQ(key.ReadInt("EnableZeroOffset", 7), 7);
    EXPECT_EQ(key.ReadString("csv1001"), "");
    EXPECT_EQ(key.ReadString("csv1001", "x"), "x");
}

TEST_F(RegKeyTest, ValuesSurviveReopeningAndAreSharedBetweenKeys) {
    const std::string columns{'\x03', '\x01', '\xFF', '\x11'};  // 255: a skipped column
    {
        RegKey key;
        key.Open(kSettingsKey);
        key.WriteInt("DornComPort", 3);
        key.WriteInt("Negative", -5);
        key.WriteString("csv1001", columns);
        key.WriteString("Name", "Соврель");
        RegKey other;
        other.Open(kSettingsKey);
        EXPECT_EQ(other.ReadInt("DornComPort", 0), 3);  // seen at once
        other.WriteInt("KeltComPort", 2);
        EXPECT_EQ(key.ReadInt("KeltComPort", 0), 2);
    }
    RegKey key;
    key.Open();
    EXPECT_EQ(key.ReadInt("DornComPort", 0), 3);
    EXPECT_EQ(key.ReadInt("Negative", 0), -5);
    EXPECT_EQ(key.ReadString("csv1001"), columns);
    EXPECT_EQ(key.ReadString("Name"), "Соврель");
    // Another key is a separate set of values.
    RegKey elsewhere;
    elsewhere.Open("Software\\Other");
    EXPECT_EQ(elsewhere.ReadInt("DornComPort", -1), -1);
}

TEST_F(RegKeyTest, ValueOfTheOtherTypeReadsAsTheDefault) {
    RegKey key;
    key.Open();
    key.WriteString("DornComPort", "3");
    EXPECT_EQ(key.ReadInt("DornComPort", 0), 0);
    key.WriteInt("csv0000", 12);
    EXPECT_EQ(key.ReadString("csv0000"), "");
    // Writing the other type replaces the value.
    key.WriteInt("DornComPort", 4);
    EXPECT_EQ(key.ReadInt("DornComPort", 0), 4);
    EXPECT_EQ(key.ReadString("DornComPort", "none"), "none");
}

TEST_F(RegKeyTest, ValuesSetByHandOfTheWrongShapeReadAsDefaults) {
    WriteFile(R"({"Software\\Соврель\\Сервис": {
        "numbers": {"EnableZeroOffset": 1, "Big": 4294967296, "Real": 1.5, "Text": "1",
                    "Max": 4294967295, "Min": -2147483648},
        "strings": {"csv1000": [1, 2, 300], "csv2000": {"a": 1}, "csv2001": [2, 255]}}})");
    RegKey key;
    key.Open();
    EXPECT_EQ(key.ReadInt("EnableZeroOffset", 0), 1);
    EXPECT_EQ(key.ReadInt("Big", 9), 9);
    EXPECT_EQ(key.ReadInt("Real", 9), 9);
    EXPECT_EQ(key.ReadInt("Text", 9), 9);
    EXPECT_EQ(key.ReadInt("Max", 0), -1);
    EXPECT_EQ(key.ReadInt("Min", 0), INT32_MIN);
    EXPECT_EQ(key.ReadString("csv1000", "d"), "d");
    EXPECT_EQ(key.ReadString("csv2000", "d"), "d");
    EXPECT_EQ(key.ReadString("csv2001"), std::string("\x02\xFF"));
}

TEST_F(RegKeyTest, ASwitchIsSetByANumberOtherThanZeroOnly) {
    const struct {
        const char* name;
        const char* file;
        bool set;
    } cases[] = {
        {"no file", nullptr, false},
        {"no value", R"({"Software\\Соврель\\Сервис": {"numbers": {}}})", false},
        {"0", R"({"Software\\Соврель\\Сервис": {"numbers": {"Flag": 0}}})", false},
        {"1", R"({"Software\\Соврель\\Сервис": {"numbers": {"Flag": 1}}})", true},
        {"-5", R"({"Software\\Соврель\\Сервис": {"numbers": {"Flag": -5}}})", true},
        {"a string", R"({"Software\\Соврель\\Сервис": {"strings": {"Flag": "1"}}})", false},
    };
    for (const auto& c : cases) {
        fs::remove_all(m_dir);
        if (c.file) WriteFile(c.file);
        EXPECT_EQ(ReadSettingsSwitch("Flag"), c.set) << c.name;
    }
    // Settings that cannot be read leave the switch off rather than fail.
    fs::remove_all(m_dir);
    fs::create_directories(m_file);
    EXPECT_FALSE(ReadSettingsSwitch("Flag"));
}

TEST_F(RegKeyTest, DamagedFileReadsAsEmptyAndIsKeptAsideOnWrite) {
    const struct {
        const char* name;
        const char* text;
        bool keptAside;  // a file that does not parse is kept for the user
    } damaged[] = {
        {"truncated", R"({"Software\\Соврель\\Сервис": {"numbers": {"DornComPort": )", true},
        {"not an object", "[1, 2]", true},
        {"empty", "", true},
        {"key of the wrong shape", R"({"Software\\Соврель\\Сервис": 5, "Other": 1})", false},
    };
    for (const auto& d : damaged) {
        SCOPED_TRACE(d.name);
        fs::remove(m_file.string() + ".damaged");
        WriteFile(d.text);
        RegKey key;
        key.Open();
        EXPECT_EQ(key.ReadInt("DornComPort", 0), 0);
        key.WriteInt("DornComPort", 2);
        EXPECT_EQ(key.ReadInt("DornComPort", 0), 2);
        EXPECT_TRUE(nlohmann::json::accept(FileText()));
        std::ifstream kept(m_file.string() + ".damaged");
        EXPECT_EQ(kept.good(), d.keptAside);
        if (d.keptAside) {
            std::stringstream text;
            text << kept.rdbuf();
            EXPECT_EQ(text.str(), d.text);
        }
    }
}

TEST_F(RegKeyTest, FailedWriteLeavesTheOldFileWhole) {
    RegKey key;
    key.Open();
    key.WriteInt("DornComPort", 3);
    key.WriteString("Columns", std::string(300, 'x'));
    const std::string before = FileText();
    const auto folder = Names();
    {
        // The new file cannot grow as large as the old one, as on a full disk.
        FileSizeCap cap(before.size() / 2);
        EXPECT_THROW(key.WriteInt("DornComPort", 4), win_error);
    }
    EXPECT_EQ(FileText(), before);
    EXPECT_EQ(Names(), folder) << "no new file is left behind";
    EXPECT_EQ(key.ReadInt("DornComPort", 0), 3);
    key.WriteInt("DornComPort", 4);
    EXPECT_EQ(key.ReadInt("DornComPort", 0), 4);
}

TEST_F(RegKeyTest, ANewSettingsFileIsForTheUserAlone) {
    const mode_t mask = ::umask(022);
    RegKey key;
    key.Open();
    key.WriteInt("DornComPort", 1);
    ::umask(mask);
    EXPECT_EQ(fs::status(m_file).permissions() & fs::perms::mask, fs::perms::owner_read | fs::perms::owner_write);
}

TEST_F(RegKeyTest, UnreadableSettingsAreASystemError) {
    fs::create_directories(m_file);  // a folder where the file should be
    RegKey key;
    EXPECT_THROW(key.Open(), win_error);
    EXPECT_FALSE(key.IsOpen());
}

TEST_F(RegKeyTest, EveryAccessNeedsAnOpenKey) {
    RegKey key;
    const auto message = [](auto call) -> std::string {
        try {
            call();
        } catch (const UserError& error) {
            return error.what();
        }
        return {};
    };
    EXPECT_EQ(message([&] { key.ReadInt("x", 0); }), "Registry key is not opened");
    EXPECT_EQ(message([&] { key.WriteInt("x", 0); }), "Registry key is not opened");
    EXPECT_EQ(message([&] { key.ReadString("x"); }), "Registry key is not opened");
    EXPECT_EQ(message([&] { key.WriteString("x", ""); }), "Registry key is not opened");
    key.Open();
    key.Close();
    EXPECT_EQ(message([&] { key.ReadInt("x", 0); }), "Registry key is not opened");
    EXPECT_FALSE(fs::exists(m_dir / "elsewhere"));
}

TEST_F(RegKeyTest, TwoProgramsWritingAtOnceLoseNothing) {
    // Each write reads the whole file and replaces it; without a lock shared
    // between programs, one program's replacement drops the values the other
    // wrote since it read.
    constexpr int kPrograms = 2;
    constexpr int kWrites = 150;
    int gate[2];
    ASSERT_EQ(::pipe(gate), 0);
    std::vector<pid_t> children;
    for (int program = 0; program < kPrograms; ++program) {
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            ::close(gate[1]);
            char byte;
            (void)::read(gate[0], &byte, 1);  // all start when the gate closes
            int status = 0;
            try {
                RegKey key;
                key.Open();
                for (int i = 0; i < kWrites; ++i) {
                    const std::string name = "p" + std::to_string(program) + "-" + std::to_string(i);
                    if (i % 2)
                        key.WriteInt(name, program * 1000 + i);
                    else
                        key.WriteString(name, name);
                }
            } catch (...) {
                status = 1;
            }
            ::_exit(status);
        }
        children.push_back(pid);
    }
    ::close(gate[0]);
    ::close(gate[1]);
    for (const pid_t pid : children) {
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }

    RegKey key;
    key.Open();
    int missing = 0;
    for (int program = 0; program < kPrograms; ++program) {
        for (int i = 0; i < kWrites; ++i) {
            const std::string name = "p" + std::to_string(program) + "-" + std::to_string(i);
            const bool found = i % 2 ? key.ReadInt(name, -1) == program * 1000 + i
                                     : key.ReadString(name) == name;
            missing += !found;
        }
    }
    EXPECT_EQ(missing, 0);
}

TEST(RegKeyLocation, EnvironmentAndConfigurationDirectory) {
    RegKey::SetFileLocation({});
    ::setenv("RVSERVICE_SETTINGS", "/tmp/x/settings.json", 1);
    EXPECT_EQ(RegKey::FileLocation(), "/tmp/x/settings.json");
    ::unsetenv("RVSERVICE_SETTINGS");
    ::setenv("XDG_CONFIG_HOME", "/home/u/.cfg", 1);
    EXPECT_EQ(RegKey::FileLocation(), "/home/u/.cfg/Соврель/Сервис.json");
    ::setenv("XDG_CONFIG_HOME", "relative", 1);  // not absolute: ignored
    ::setenv("HOME", "/home/u", 1);
    EXPECT_EQ(RegKey::FileLocation(), "/home/u/.config/Соврель/Сервис.json");
    RegKey::SetFileLocation("/srv/settings.json");
    EXPECT_EQ(RegKey::FileLocation(), "/srv/settings.json");
    RegKey::SetFileLocation({});
}
