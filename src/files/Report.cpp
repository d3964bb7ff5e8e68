#include "files/Report.h"

#include <sys/stat.h>
#include <unistd.h>

#ifdef _WIN32
#include <filesystem>

#include <windows.h>
#endif

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <locale>
#include <sstream>

#include "common/AtomicFile.h"
#include "common/Locale.h"
#include "common/NumberText.h"
#include "devices/DeviceBase.h"
#include "document/PackageBase.h"
#include "document/Verdict.h"
#include "files/Cp1251.h"

namespace files {

namespace {

#ifdef _WIN32
std::filesystem::path pathOf(const std::string& utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string utf8Of(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}
#endif

// An output stream's own form of a double: six significant digits at most,
// shortest form, a point whatever the regional settings.
std::string formatStream(double value) {
    std::ostringstream out;
    out.imbue(std::locale::classic());
    out << value;
    return out.str();
}

std::string fixed(double value, int decimals) { return Locale::current().formatFixed(value, decimals); }

void cell(std::ostream& out, const std::string& text, const std::string& attributes = {}) {
    TagWriter td(out, "td", attributes);
    out << text;
}

void writeLinesTable(std::ostream& out, const DeviceBase& device, const Lines& lines) {
    const bool rv = device.Type() == kRvCode;
    TagWriter table(out, "table");
    {
        TagWriter tr(out, "tr");
        cell(out, "");
        for (std::size_t i = 0; i < 2 * lines.size(); ++i) cell(out, "", "width=50");
    }
    {
        TagWriter tr(out, "tr");
        cell(out, "A =");
        for (const Line& line : lines) cell(out, fixed(line.a, 7), "colspan=\"2\"");
    }
    {
        TagWriter tr(out, "tr");
        cell(out, "B =");
        for (const Line& line : lines) cell(out, fixed(line.b, 7), "colspan=\"2\"");
    }
    // Boundaries and boundary flows sit between the columns of the two lines
    // they separate.
    {
        TagWriter tr(out, "tr");
        cell(out, rv ? "E<sub>гр</sub> =" : "f<sub>гр</sub> (Гц) =");
        if (!lines.empty()) {
            cell(out, "&nbsp;");
            for (std::size_t i = 0; i + 1 < lines.size(); ++i) cell(out, fixed(lines[i].upper, rv ? 0 : 6), "colspan=\"2\"");
            cell(out, "&nbsp;");
        }
    }
    {
        TagWriter tr(out, "tr");
        cell(out, "g<sub>гр</sub> (м<sup>3</sup>/ч) =");
        if (!lines.empty()) {
            cell(out, "&nbsp;");
            for (std::size_t i = 0; i + 1 < lines.size(); ++i) {
                double g = lines[i].a * lines[i].upper + lines[i].b;
                if (!std::isfinite(g)) g = 0.0;
                cell(out, fixed(g, 6), "colspan=\"2\"");
            }
            cell(out, "&nbsp;");
        }
    }
}

void writeEntriesTable(std::ostream& out, const DeviceBase& device, const PackageBase& package) {
    const int n = package.columnCount() - device.HiddenColumns(package.type == PackageType::Verification);
    long long total = 0;
    for (int k = 0; k < n; ++k) total += package.column(k).width;
    TagWriter table(out, "table", "width=\"100%\"");
    {
        TagWriter thead(out, "thead");
        TagWriter tr(out, "tr", "align=center");
        for (int k = 0; k < n; ++k) {
            const ColumnInfo info = package.column(k);
            const long long percent = total > 0 ? static_cast<long long>(info.width) * 100 / total : 0;
            TagWriter th(out, "th", "width=\"" + std::to_string(percent) + "%\"");
            out << info.htmlCaption;
        }
    }
    TagWriter tbody(out, "tbody");
    for (int r = 0; r < package.entryCount(); ++r) {
        TagWriter tr(out, "tr", "align=center");
        for (int k = 0; k < n; ++k) cell(out, package.cellText(r, k));
    }
}

// Below the entries of a verification package: the limits in force, each
// entry's flow and permissible error with its verdict, and the verdict line.
void writeVerdict(std::ostream& out, const ReportVerdict& part) {
    {
        TagWriter p(out, "p");
        out << part.limitsLine;
    }
    if (!part.rows.empty()) {
        TagWriter table(out, "table", "cellpadding=\"3\"");
        {
            TagWriter tr(out, "tr", "align=center");
            for (const std::string& caption : part.captions) {
                TagWriter th(out, "th");
                out << caption;
            }
        }
        for (const std::vector<std::string>& row : part.rows) {
            TagWriter tr(out, "tr", "align=center");
            for (const std::string& text : row) cell(out, text);
        }
    }
    {
        TagWriter p(out, "p");
        TagWriter b(out, "b");
        out << part.verdictLine;
    }
    out << "<hr>";
}

bool writableFolder(const std::string& dir) {
    struct stat st {};
    return !dir.empty() && ::stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && ::access(dir.c_str(), W_OK) == 0;
}

// Creates the folder and any missing folder above it.
void makeFolders(const std::string& dir) {
#ifdef _WIN32
    std::error_code error;
    std::filesystem::create_directories(pathOf(dir), error);
#else
    for (std::size_t slash = dir.find('/', 1); slash != std::string::npos; slash = dir.find('/', slash + 1))
        ::mkdir(dir.substr(0, slash).c_str(), 0777);
    ::mkdir(dir.c_str(), 0777);
#endif
}

std::string withSlash(std::string dir) {
    if (!dir.empty() && dir.back() != '/') dir += '/';
    return dir;
}

}  // namespace

TagWriter::TagWriter(std::ostream& out, std::string tag, const std::string& attributes)
    : m_out(out), m_tag(std::move(tag)) {
    m_out << '<' << m_tag;
    if (!attributes.empty()) m_out << ' ' << attributes;
    m_out << '>';
}

TagWriter::~TagWriter() { m_out << "</" << m_tag << ">\n"; }

ReportVerdict ReportVerdictPart(const DeviceBase& device, const PackageBase& package, const Limits& limits) {
    const PackageVerdict verdict = CheckPackage(package, device, limits);
    ReportVerdict part;
    part.limitsLine = "Пределы погрешности: " + LimitsText(limits, "м<sup>3</sup>/ч");
    part.captions = {"№", "g<sub>эт</sub> (м<sup>3</sup>/ч)", "&plusmn;&delta; (%)", "Вывод"};
    if (limits.isSet()) {
        for (std::size_t i = 0; i < verdict.entries.size(); ++i) {
            const EntryVerdict& entry = verdict.entries[i];
            part.rows.push_back({std::to_string(i + 1), fixed(entry.q, 6),
                                 std::isfinite(entry.limit) ? fixed(entry.limit, 3) : "&mdash;",
                                 EntryVerdictText(entry)});
        }
    }
    part.verdictLine = "Заключение: " + PackageVerdictText(verdict);
    return part;
}

std::string ReportHeadHtml(const DeviceBase& device, const PackageBase& package) {
    const DocumentState& state = package.document();
    Ident ident;
    device.GetIdent(ident);

    std::ostringstream out;
    {
        {
            TagWriter center(out, "center");
            TagWriter h4(out, "h4");
            out << "Протокол " << (package.type == PackageType::Verification ? "поверки" : "градуировки")
                << " преобразователя расхода<br>";
        }
        {
            TagWriter table(out, "table", "width=\"100%\"");
            TagWriter tr(out, "tr");
            cell(out, "Заводской номер: " + SerialText(ident.serial, ident.du), "width=\"22%\"");
            cell(out, "Ду: " + DiameterText(ident.du), "width=\"8%\"");
            cell(out, "Тип: " + device.Name(), "width=\"22%\"");
            cell(out, "&Delta;u (м<sup>3</sup>/имп): " + formatGeneral(device.PulseWeight(), 15), "width=\"14%\"");
            cell(out, std::string("Аппроксимация: ") + (state.options.byEntries != 0 ? "по всем" : "по средним"),
                 "width=\"22%\"");
            cell(out, "t<sub>прив</sub> (°C): " + formatStream(state.options.refTemp), "width=\"12%\"");
        }
        out << "<hr>";
        writeLinesTable(out, device, state.currentLines);
        out << "<hr>";
    }
    return out.str();
}

std::string ReportHtml(const DeviceBase& device, const PackageBase& package, const Limits& limits) {
    std::ostringstream out;
    {
        TagWriter html(out, "html");
        out << "<head><title>Отчёт</title><meta http-equiv=\"Content-Type\" content=\"text/html; "
               "charset=windows-1251\"></head>";
        TagWriter body(out, "body");
        out << ReportHeadHtml(device, package);
        writeEntriesTable(out, device, package);
        out << "<hr>";
        if (package.type == PackageType::Verification) writeVerdict(out, ReportVerdictPart(device, package, limits));
    }
    return out.str();
}

std::string ReportBytes(const DeviceBase& device, const PackageBase& package, const Limits& limits) {
    // Text mode of the page's platform: every line feed is CR LF.
    const std::string text = Utf8ToCp1251(ReportHtml(device, package, limits));
    std::string bytes;
    bytes.reserve(text.size() + text.size() / 16);
    for (char c : text) {
        if (c == '\n') bytes += '\r';
        bytes += c;
    }
    return bytes;
}

void WriteReport(const std::string& path, const DeviceBase& device, const PackageBase& package,
                 const Limits& limits) {
    AtomicFile file(path);
    file.write(ReportBytes(device, package, limits));
    file.commit();
}

std::string ReportPath(const std::string& programDir, const std::string& dataHome) {
    if (writableFolder(programDir)) return withSlash(programDir) + "report.html";
    const std::string dir = withSlash(dataHome) + "rvservice";
    makeFolders(dir);
    return dir + "/report.html";
}

#ifdef _WIN32
// The program's folder, else the user's local application data.
std::string ReportPath() {
    wchar_t exe[MAX_PATH];
    std::string programDir;
    const DWORD n = ::GetModuleFileNameW(nullptr, exe, MAX_PATH);
    if (n > 0 && n < MAX_PATH) {
        programDir = utf8Of(std::filesystem::path(exe).parent_path());
        programDir += '/';
    }
    std::string dataHome;
    if (const wchar_t* local = ::_wgetenv(L"LOCALAPPDATA"); local && *local)
        dataHome = utf8Of(std::filesystem::path(local));
    else
        dataHome = utf8Of(std::filesystem::temp_directory_path());
    return ReportPath(programDir, dataHome);
}
#else
std::string ReportPath() {
    std::string programDir;
    char exe[4096];
    const ssize_t n = ::readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n > 0) {
        programDir.assign(exe, static_cast<std::size_t>(n));
        programDir.erase(programDir.find_last_of('/') + 1);
    }
    std::string dataHome;
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg == '/') {
        dataHome = xdg;
    } else if (const char* home = std::getenv("HOME"); home && *home) {
        dataHome = std::string(home) + "/.local/share";
    } else {
        dataHome = "/tmp";
    }
    return ReportPath(programDir, dataHome);
}

#endif

}  // namespace files
