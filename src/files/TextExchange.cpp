#include "files/TextExchange.h"

#include <cerrno>
#include <cstring>
#include <fstream>

#include "common/AtomicFile.h"
#include "common/Locale.h"
#include "common/MathError.h"
#include "common/WinError.h"
#include "document/PackageBase.h"

namespace files {

namespace {

void setError(std::string* error, const std::string& text) {
    if (error) *error = text;
}

}  // namespace

bool ExportText(const PackageBase& package, const std::vector<int>& lineColumns, const std::string& path,
                char separator, char decimalChar, std::string* error) {
    const char regional = Locale::current().decimalSeparator;
    std::string text;
    for (int r = 0; r < package.entryCount(); ++r) {
        for (std::size_t i = 0; i < lineColumns.size(); ++i) {
            if (i > 0) text += separator;
            if (lineColumns[i] == kSkipColumn) {
                text += '0';
                continue;
            }
            std::string cell = package.cellText(r, lineColumns[i]);
            if (const std::size_t at = cell.find(regional); at != std::string::npos) cell[at] = decimalChar;
            text += cell;
        }
        text += "\r\n";
    }
    try {
        ReplaceFile(path, text);
    } catch (const win_error& e) {
        setError(error, e.what());
        return false;
    }
    return true;
}

bool ImportText(PackageBase& package, const std::vector<int>& lineColumns, const std::string& path, char separator,
                std::string* error) {
    std::ifstream in;
    errno = 0;
    in.open(path, std::ios::in | std::ios::binary);
    if (!in.is_open()) {
        setError(error, win_error(win_error::CodeOfErrno(errno != 0 ? errno : EIO)).what());
        return false;
    }
    ImportText(package, lineColumns, in, separator);
    return true;
}

void ImportText(PackageBase& package, const std::vector<int>& lineColumns, std::istream& in, char separator) {
    std::string line;
    while (std::getline(in, line)) {
        // Text mode: CR LF reads as a line feed. A last line without LF may
        // still end in the CR that a spreadsheet wrote; it belongs to no field.
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.size() > kMaxImportLine) break;  // this line and the rest are not imported

        package.addEntry();
        const int row = package.entryCount() - 1;
        bool keep = true;
        std::size_t pos = 0;
        bool atEnd = false;
        for (std::size_t i = 0; i < lineColumns.size() && keep; ++i) {
            if (atEnd) {
                keep = false;  // the line ended before this column's field
                break;
            }
            std::size_t next = line.find(separator, pos);
            if (next == std::string::npos) {
                next = line.size();
                atEnd = true;
            }
            const std::string field = line.substr(pos, next - pos);
            pos = next + 1;
            if (lineColumns[i] == kSkipColumn) continue;
            try {
                package.setCellText(row, lineColumns[i], field);
            } catch (const UserError&) {
                keep = false;
            }
        }
        if (!keep) package.deleteEntry(row);
    }
}

}  // namespace files
