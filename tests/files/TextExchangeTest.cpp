// Text export and import of a package's entries.

#include <gtest/gtest.h>

#include <cerrno>

#include "FileBytes.h"
#include "common/Locale.h"
#include "document/Package.h"
#include "files/TextExchange.h"

namespace {

using files::kSkipColumn;

class TextExchangeTest : public ::testing::Test {
protected:
    TempDir dir;
    std::shared_ptr<DocumentState> state = std::make_shared<DocumentState>();
    // Dorn calibration by volume: off 0, t 1, volRef 2, timeRef 3, flowRef 4,
    // time1 5, pulses1 6, freq 7, flowMeas 8, flowErr 9.
    Package<DornEntry> package{state};

    void SetUp() override { state->options.resetToDefaults(); }

    void addEntry(double t, double volRef, std::int32_t pulses1) {
        package.addEntry();
        const int row = package.entryCount() - 1;
        package.setField(row, kT, &t);
        package.setField(row, kVolRef, &volRef);
        package.setField(row, kPulses1, &pulses1);
    }

    std::string import(const std::string& text, const std::vector<int>& columns, char separator = ';') {
        writeFile(dir.file("in.txt"), text);
        EXPECT_TRUE(files::ImportText(package, columns, dir.file("in.txt"), separator));
        std::string rows;
        for (int r = 0; r < package.entryCount(); ++r) {
            rows += package.cellText(r, 1) + "|" + package.cellText(r, 2) + "|" + package.cellText(r, 6) + "\n";
        }
        return rows;
    }
};

TEST_F(TextExchangeTest, ExportWritesTheChosenCellsWithSkipColumnsAsZero) {
    addEntry(12.5, 3.0, 101);
    addEntry(20.0, 4.25, 7);
    ASSERT_TRUE(files::ExportText(package, {1, kSkipColumn, 2, 6}, dir.file("out.txt"), ';', '.'));
    EXPECT_EQ(readFile(dir.file("out.txt")), "12.50;0;3.000;101\r\n20.00;0;4.250;7\r\n");
}

TEST_F(TextExchangeTest, ExportReplacesTheRegionalSeparatorByTheChosenCharacter) {
    Locale comma;
    comma.decimalSeparator = ',';
    ScopedLocale scoped(comma);
    addEntry(12.5, 3.0, 101);
    ASSERT_TRUE(files::ExportText(package, {1, 2}, dir.file("point.txt"), '\t', '.'));
    EXPECT_EQ(readFile(dir.file("point.txt")), "12.50\t3.000\r\n");
    ASSERT_TRUE(files::ExportText(package, {1, 2}, dir.file("comma.txt"), ';', ','));
    EXPECT_EQ(readFile(dir.file("comma.txt")), "12,50;3,000\r\n");
}

TEST_F(TextExchangeTest, ExportWithNoColumnsWritesOneEmptyLinePerEntry) {
    addEntry(1, 1, 1);
    addEntry(2, 2, 2);
    ASSERT_TRUE(files::ExportText(package, {}, dir.file("out.txt"), ' ', '.'));
    EXPECT_EQ(readFile(dir.file("out.txt")), "\r\n\r\n");
}

TEST_F(TextExchangeTest, ExportToAFolderThatDoesNotExistReportsTheSystemsText) {
    std::string error;
    EXPECT_FALSE(files::ExportText(package, {1}, dir.file("no/out.txt"), ' ', '.', &error));
#ifdef _WIN32
    // Windows names the path, not the file (ERROR_PATH_NOT_FOUND).
    const std::string missingFolder = win_error::SystemText(3);
#else
    const std::string missingFolder = systemText(ENOENT);
#endif
    EXPECT_NE(error.find(missingFolder), std::string::npos) << error;
}

struct ImportCase {
    const char* name;
    std::string text;
    std::vector<int> columns;
    std::string rows;  // t | volRef | pulses1 of every entry afterwards
};

TEST_F(TextExchangeTest, ImportCases) {
    const ImportCase kCases[] = {
        {"fields in order, CR LF and a last line without line feed", "21.5;10;101\r\n22,5;11.5;7", {1, 2, 6},
         "21.50|10.000|101\n22.50|11.500|7\n"},
        {"a last line ending in CR without line feed", "21.5;10;101\r\n22;3;7\r", {1, 2, 6},
         "21.50|10.000|101\n22.00|3.000|7\n"},
        {"skip columns ignore their field", "x;21.5;y;101\n", {kSkipColumn, 1, kSkipColumn, 6}, "21.50|0.000|101\n"},
        {"too few fields drop the line", "21.5;10\n23;1;2\n", {1, 2, 6}, "23.00|1.000|2\n"},
        {"extra fields are ignored", "21.5;10;5;99;100\n", {1, 2, 6}, "21.50|10.000|5\n"},
        {"letters drop the line, the next one is imported", "21.5;abc;5\n22;3;4\n", {1, 2, 6},
         "22.00|3.000|4\n"},
        {"a fraction in an integer column drops the line", "21.5;1;2.5\n", {1, 2, 6}, ""},
        {"no columns add one untouched entry per line", "a\nb\n", {}, "20.00|0.000|0\n20.00|0.000|0\n"},
        {"an empty field of a number drops the line", "21.5;;5\n", {1, 2, 6}, ""},
        {"a trailing separator leaves the last field empty", "21.5;10;\n", {1, 2, kSkipColumn},
         "21.50|10.000|0\n"},
    };
    for (const ImportCase& c : kCases) {
        SCOPED_TRACE(c.name);
        package.entries.clear();
        EXPECT_EQ(import(c.text, c.columns), c.rows);
    }
}

TEST_F(TextExchangeTest, ImportUsesTheChosenSeparator) {
    EXPECT_EQ(import("21.5 10 101\n", {1, 2, 6}, ' '), "21.50|10.000|101\n");
}

TEST_F(TextExchangeTest, ALineTooLongEndsTheImport) {
    const std::string fits = "1;2;3" + std::string(250, ' ');       // 255 characters
    const std::string tooLong = "4;5;6" + std::string(251, ' ');    // 256 characters
    ASSERT_EQ(fits.size(), 255u);
    ASSERT_EQ(tooLong.size(), 256u);
    EXPECT_EQ(import(fits + "\r\n" + tooLong + "\n7;8;9\n", {1, 2, 6}), "1.00|2.000|3\n");
    package.entries.clear();
    EXPECT_EQ(import("1;2;3\n" + std::string(300, '1') + "\n7;8;9\n", {1, 2, 6}), "1.00|2.000|3\n");
}

TEST_F(TextExchangeTest, AFileThatCannotBeOpenedImportsNothing) {
    std::string error;
    EXPECT_FALSE(files::ImportText(package, {1}, dir.file("missing.txt"), ';', &error));
    EXPECT_NE(error.find(systemText(ENOENT)), std::string::npos);
    EXPECT_EQ(package.entryCount(), 0);
}

TEST_F(TextExchangeTest, ExportThenImportGivesTheSameCells) {
    addEntry(12.5, 3.0, 101);
    addEntry(20.0, 4.25, 7);
    ASSERT_TRUE(files::ExportText(package, {1, 2, kSkipColumn, 6}, dir.file("out.txt"), '\t', ','));
    Package<DornEntry> copy{state};
    ASSERT_TRUE(files::ImportText(copy, {1, 2, kSkipColumn, 6}, dir.file("out.txt"), '\t'));
    ASSERT_EQ(copy.entryCount(), 2);
    for (int r = 0; r < 2; ++r)
        for (int c : {1, 2, 6}) EXPECT_EQ(copy.cellText(r, c), package.cellText(r, c));
}

}  // namespace
