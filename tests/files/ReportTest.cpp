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

TEST_F(ReportTest, VerificationLimitsAndVerdictBelowTheEntries) {
    // Dorn model 1 shows the pulse output; weight 0.01 m³ per pulse.
    PackageBase& package = setUp(2, PackageType::Verification);
    const double volRef = 10.0, timeRef = 36.0, time1 = 10.0;
    const std::int32_t pulses1 = 5001, pulses2 = 1;
    for (int row = 0; row < 2; ++row) {
        package.addEntry();
        package.setField(row, kVolRef, &volRef);
        package.setField(row, kTimeRef, &timeRef);
        package.setField(row, kTime1, &time1);
        package.setField(row, kPulses1, &pulses1);
        package.setField(row, kPulses2, &pulses2);
    }
    doc.state().options.pulseWeight = doc.device()->PulseWeight();
    package.recalcAll();  // flow 1 m³/h; 500 Hz on the first line gives 1.1 m³/h (+10 %), dV 0 %
    package.addEntry();   // nothing measured: no reference flow

    const std::string bytes = files::ReportBytes(*doc.device(), package, Limits::ofZones({{0, 5}, {1, 10.5}}));
    const std::size_t entries = bytes.find(page("</tbody>\n</table>\n<hr>"));
    ASSERT_NE(entries, std::string::npos);
    const std::string expected =
        "<p>Пределы погрешности: зоны: от 0 м<sup>3</sup>/ч ± 5 %; от 1 м<sup>3</sup>/ч ± 10.5 %</p>\n"
        "<table cellpadding=\"3\"><tr align=center><th>№</th>\n<th>g<sub>эт</sub> (м<sup>3</sup>/ч)</th>\n"
        "<th>&plusmn;&delta; (%)</th>\n<th>Вывод</th>\n</tr>\n"
        "<tr align=center><td>1</td>\n<td>1.000000</td>\n<td>10.500</td>\n<td>годен</td>\n</tr>\n"
        "<tr align=center><td>2</td>\n<td>1.000000</td>\n<td>10.500</td>\n<td>годен</td>\n</tr>\n"
        "<tr align=center><td>3</td>\n<td>0.000000</td>\n<td>&mdash;</td>\n<td>нет данных</td>\n</tr>\n"
        "</table>\n"
        "<p><b>Заключение: Не годен: 1 точек вне пределов</b>\n</p>\n<hr></body>\n</html>\n";
    EXPECT_EQ(bytes.substr(entries + page("</tbody>\n</table>\n<hr>").size()), page(expected));

    // A tighter class fails the flow error too; no limits set: no verdict.
    EXPECT_NE(files::ReportBytes(*doc.device(), package, Limits::ofClass(1, 1))
                  .find(page("<td>не годен</td>")),
              std::string::npos);
    const std::string unset = report(package);
    EXPECT_NE(unset.find(page("<p>Пределы погрешности: пределы не заданы</p>\n<p><b>Заключение: пределы не заданы</b>\n</p>\n<hr></body>")),
              std::string::npos);
    EXPECT_EQ(unset.find(page("Вывод")), std::string::npos);
}

TEST_F(ReportTest, ACalibrationPackageHasNoVerdict) {
    PackageBase& package = setUp(2, PackageType::Calibration);
    package.addEntry();
    const std::string bytes = files::ReportBytes(*doc.device(), package, Limits::ofClass(2, 10));
    EXPECT_EQ(bytes.find(page("Заключение")), std::string::npos);
    EXPECT_EQ(bytes.find(page("Пределы погрешности")), std::string::npos);
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
