#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "document/Limits.h"

class DeviceBase;
class PackageBase;

namespace files {

// One HTML element, open for the writer's scope: "<tag>" or "<tag attrs>"
// when it begins (never followed by a line break), "</tag>" and a line feed
// when it ends.
class TagWriter {
public:
    TagWriter(std::ostream& out, std::string tag, const std::string& attributes = {});
    ~TagWriter();
    TagWriter(const TagWriter&) = delete;
    TagWriter& operator=(const TagWriter&) = delete;

private:
    std::ostream& m_out;
    std::string m_tag;
};

// The protocol of one package as an HTML page in Windows-1251 with CR LF line
// ends: the device's identity and the approximation settings, the lines in
// force (the package's document state) and the package's table; below the
// table of a verification package, the limits of permissible error each
// entry is judged by and the verdict line (`limits` are those of the
// device's model; none set gives "пределы не заданы"). The file is replaced
// as a whole; a failure raises win_error.
void WriteReport(const std::string& path, const DeviceBase& device, const PackageBase& package,
                 const Limits& limits = {});
// The page's text as it is written into the file.
std::string ReportBytes(const DeviceBase& device, const PackageBase& package, const Limits& limits = {});
// The same page in UTF-8 with LF line ends (the PDF protocol sets it).
std::string ReportHtml(const DeviceBase& device, const PackageBase& package, const Limits& limits = {});

// Parts of the page for the PDF protocol, which lays out the tables itself.
// The heading, the identity and the lines table, up to the rule below them
// (UTF-8).
std::string ReportHeadHtml(const DeviceBase& device, const PackageBase& package);
// Below a verification package's entries: the limits line, the table of
// each entry's flow, limit and verdict (no rows when no limits are set),
// the verdict line. Texts are HTML.
struct ReportVerdict {
    std::string limitsLine;
    std::vector<std::string> captions;
    std::vector<std::vector<std::string>> rows;
    std::string verdictLine;
};
ReportVerdict ReportVerdictPart(const DeviceBase& device, const PackageBase& package, const Limits& limits);

// Where the report goes: "report.html" in the program's folder when a file
// can be written there, otherwise in the user's data folder
// ($XDG_DATA_HOME, or ~/.local/share, then "rvservice"), which is created.
std::string ReportPath();
// The same choice for a given program folder and data home (tests).
std::string ReportPath(const std::string& programDir, const std::string& dataHome);

}  // namespace files
