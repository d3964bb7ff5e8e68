#pragma once

#include <iosfwd>
#include <string>
#include <vector>

class PackageBase;

namespace files {

// The pseudo-column of a text line that is written as "0" on export and
// skipped on import; it may appear any number of times.
constexpr int kSkipColumn = -2;

// Import reads lines of at most this many characters.
constexpr std::size_t kMaxImportLine = 255;

// Writes one line per entry with the cells of `lineColumns` (positions in
// the package's column list, or kSkipColumn), separated by `separator`, with
// the regional decimal separator of each cell replaced by `decimalChar`; CR
// LF line ends, no header, no quoting. False, with `error` set to the
// system's text, when the file cannot be written (the program's dialog
// passes over that silently).
bool ExportText(const PackageBase& package, const std::vector<int>& lineColumns, const std::string& path,
                char separator, char decimalChar, std::string* error = nullptr);

// Appends one entry per line of the file, storing the fields of
// `lineColumns` in order. A line with too few fields or a field that is not a
// number is dropped; a line of 256 characters or more ends the import. The
// caller recalculates the package afterwards. False, with `error` set, when
// the file cannot be opened.
bool ImportText(PackageBase& package, const std::vector<int>& lineColumns, const std::string& path, char separator,
                std::string* error = nullptr);
// The same from an open stream (the file's bytes as they stand).
void ImportText(PackageBase& package, const std::vector<int>& lineColumns, std::istream& in, char separator);

}  // namespace files
