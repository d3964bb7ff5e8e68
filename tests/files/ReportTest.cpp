// The protocol report: the page byte for byte and its variants.

#include <gtest/gtest.h>

#include "FileBytes.h"
#include "common/Console.h"
#include "common/Locale.h"
#include "document/Document.h"
#include "document/Package.h"
#include "files/Cp1251.h"
#include "files/Report.h"

namespace {

// The page as written: Windows-1251 with CR LF line ends.
std::string page(const std::string& utf8) {
    std::string crlf;
    for (char c : utf8) {
        if (c == '\n') crlf += '\r';
        crlf += c;
    }
    return files::Utf8ToCp1251(crlf);
}

class ReportTest : public ::testing::Test {
protected:
    Console console;
    Document doc{console};
    ScopedLocale locale{Locale{}};

    // A Dorn document of model `code - 1`, diameter code 5, weight 0.01, with
    // two lines and one package.
    PackageBase& setUp(int code, PackageType type) {
        EXPECT_TRUE(doc.create(code));
        doc.device()->SetIdent({12345678, 5});
        const std::uint8_t settings[8] = {0, 0, 0, 0, 1, 0, 0, 0};
        doc.device()->SetSettings(settings, 8);
        doc.state().currentLines = {{0.002, 0.1, 1000.0}, {0.003, -0.5, 2000.0}};
        return *doc.addPackage(type, Method::Volume);
    }
    std::string report(const PackageBase& package) { return files::ReportBytes(*doc.device(), package); }
};

TEST_F(ReportTest, TheCalibrationPageByteForByte) {
    PackageBase& package = setUp(1, PackageType::Calibration);
    package.addEntry();
    const double volRef = 10.0, timeRef = 36.0, time1 = 10.0;
    const std::int32_t pulses1 = 101;
    package.setField(0, kVolRef, &volRef);
    package.setField(0, kTimeRef, &timeRef);
    package.setField(0, kTime1, &time1);
    package.setField(0, kPulses1, &pulses1);
    package.recalcAll();

    const std::string expected =
        "<html><head><title>Отчёт</title><meta http-equiv=\"Content-Type\" content=\"text/html; "
        "charset=windows-1251\"></head><body><center><h4>Протокол градуировки преобразователя расхода<br></h4>\n"
        "</center>\n"
        "<table width=\"100%\"><tr><td width=\"22%\">Заводской номер: 012345678</td>\n"
        "<td width=\"8%\">Ду: 50</td>\n"
        "<td width=\"22%\">Тип: ДОРН-Т</td>\n"
        "<td width=\"14%\">&Delta;u (м<sup>3</sup>/имп): 0.01</td>\n"
        "<td width=\"22%\">Аппроксимация: по всем</td>\n"
        "<td width=\"12%\">t<sub>прив</sub> (°C): 20</td>\n"
        "</tr>\n"
        "</table>\n"
        "<hr><table><tr><td></td>\n"
        "<td width=50></td>\n<td width=50></td>\n<td width=50></td>\n<td width=50></td>\n"
        "</tr>\n"
        "<tr><td>A =</td>\n<td colspan=\"2\">0.0020000</td>\n<td colspan=\"2\">0.0030000</td>\n</tr>\n"
        "<tr><td>B =</td>\n<td colspan=\"2\">0.1000000</td>\n<td colspan=\"2\">-0.5000000</td>\n</tr>\n"
        "<tr><td>f<sub>гр</sub> (Гц) =</td>\n<td>&nbsp;</td>\n<td colspan=\"2\">1000.000000</td>\n"
        "<td>&nbsp;</td>\n</tr>\n"
        "<tr><td>g<sub>гр</sub> (м<sup>3</sup>/ч) =</td>\n<td>&nbsp;</td>\n<td colspan=\"2\">2.100000</td>\n"
        "<td>&nbsp;</td>\n</tr>\n"
        "</table>\n"
        "<hr><table width=\"100%\"><thead><tr align=center><th width=\"7%\">Выкл.</th>\n"
        "<th width=\"9%\">t (°C)</th>\n"
        "<th width=\"9%\">V<sub>эт</sub> (л)</th>\n"
        "<th width=\"9%\">T<sub>эт</sub> (сек)</th>\n"
        "<th width=\"11%\">g<sub>эт</sub> (м<sup>3</sup>/ч)</th>\n"
        "<th width=\"9%\">T1 (сек)</th>\n"
        "<th width=\"9%\">N1 (имп)</th>\n"
        "<th width=\"11%\">f (Гц)</th>\n"
        "<th width=\"11%\">g<sub>изм</sub> (м<sup>3</sup>/ч)</th>\n"
        "<th width=\"11%\">&delta;g (%)</th>\n"
        "</tr>\n"
        "</thead>\n"
        "<tbody><tr align=center><td>-</td>\n<td>20.00</td>\n<td>10.000</td>\n<td>36.000</td>\n"
        "<td>1.000000</td>\n<td>10.000</td>\n<td>101</td>\n<td>10.000000</td>\n<td>0.120000</td>\n"
        "<td>-88.00</td>\n"
        "</tr>\n"
        "</tbody>\n"
        "</table>\n"
        "<hr></body>\n"
        "</html>\n";
    const std::string bytes = report(package);
    EXPECT_EQ(bytes, page(expected));
    // Windows-1251 on the wire: "Отчёт" and the degree sign.
    EXPECT_NE(bytes.find("\xCE\xF2\xF7\xB8\xF2"), std::string::npos);
    EXPECT_NE(bytes.find("(\xB0" "C)"), std::string::npos);

    TempDir dir;
    files::WriteReport(dir.file("report.html"), *doc.device(), package);
    EXPECT_EQ(readFile(dir.file("report.html")), bytes);
}

TEST_F(ReportTest, LinesTableWithNoLineAndWithOneLine) {
    PackageBase& package = setUp(1, PackageType::Calibration);
    doc.state().currentLines.clear();
    EXPECT_NE(report(package).find(page("<hr><table><tr><td></td>\n</tr>\n<tr><td>A =</td>\n</tr>\n"
                                        "<tr><td>B =</td>\n</tr>\n<tr><td>f<sub>гр</sub> (Гц) =</td>\n</tr>\n"
                                        "<tr><td>g<sub>гр</sub> (м<sup>3</sup>/ч) =</td>\n</tr>\n</table>\n<hr>")),
              std::string::npos);

    doc.state().currentLines = {{0.002, 0.1, 1000.0}};
    EXPECT_NE(report(package).find(page("<tr><td>f<sub>гр</sub> (Гц) =</td>\n<td>&nbsp;</td>\n<td>&nbsp;</td>\n"
                                        "</tr>\n<tr><td>g<sub>гр</sub> (м<sup>3</sup>/ч) =</td>\n<td>&nbsp;</td>\n"
                                        "<td>&nbsp;</td>\n</tr>")),
              std::string::npos);
}

TEST_F(ReportTest, RegionalCommaAndTheReferenceTemperaturesOwnForm) {
    Locale comma;
    comma.decimalSeparator = ',';
    ScopedLocale scoped(comma);
    PackageBase& package = setUp(1, PackageType::Calibration);
    doc.state().options.refTemp = 20.25;
    const std::string bytes = report(package);
    EXPECT_NE(bytes.find(page("<td colspan=\"2\">2,100000</td>")), std::string::npos);
    EXPECT_NE(bytes.find(page("имп): 0,01</td>")), std::string::npos);
    EXPECT_NE(bytes.find(page("(°C): 20.25</td>")), std::string::npos);
}

TEST_F(ReportTest, AVerificationPackageOfAModelWithoutPulseOutputHidesThreeColumns) {
    PackageBase& model0 = setUp(1, PackageType::Verification);
    std::string bytes = report(model0);
    EXPECT_NE(bytes.find(page("Протокол поверки преобразователя расхода<br>")), std::string::npos);
    EXPECT_EQ(bytes.find(page("N2 (имп)")), std::string::npos);
    EXPECT_NE(bytes.find(page("&delta;g (%)</th>\n</tr>")), std::string::npos);

    PackageBase& model1 = setUp(2, PackageType::Verification);
    bytes = report(model1);
    EXPECT_NE(bytes.find(page("N2 (имп)</th>")), std::string::npos);
    EXPECT_NE(bytes.find(page("&delta;V (%)</th>\n</tr>")), std::string::npos);
}

TEST_F(ReportTest, RvBoundariesAreWholeCodesAndNonFiniteFlowsAreZero) {
    ASSERT_TRUE(doc.create(0));
    doc.state().currentLines = {{1e308, 0.0, 1e308}, {0.001, 0.5, 2000.0}, {0.002, 0.0, 0.0}};
    PackageBase& package = *doc.addPackage(PackageType::Calibration, Method::Volume);
    const std::string bytes = report(package);
    EXPECT_NE(bytes.find(page("<tr><td>E<sub>гр</sub> =</td>\n<td>&nbsp;</td>\n")), std::string::npos);
    EXPECT_NE(bytes.find(page("<td colspan=\"2\">2000</td>")), std::string::npos);
    EXPECT_NE(bytes.find(page("<td>&nbsp;</td>\n<td colspan=\"2\">0.000000</td>\n<td colspan=\"2\">2.500000</td>")),
              std::string::npos);
}

TEST(ReportPathTest, TheProgramsFolderWhenWritableElseTheUsersDataFolder) {
    TempDir dir;
    EXPECT_EQ(files::ReportPath(dir.path(), "/nonexistent"), dir.path() + "/report.html");
    const std::string data = dir.file("data/home");
    EXPECT_EQ(files::ReportPath(dir.file("missing-program-folder"), data), data + "/rvservice/report.html");
    EXPECT_TRUE(std::filesystem::is_directory(data + "/rvservice"));
}

}  // namespace
