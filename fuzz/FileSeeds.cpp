// Seeds of the file readers' targets, made by the program's own writers.
//
// import_text: the text export of each package of a written document, with
// the header the target reads (type code, kind and method, decimal
// separator, column separator, the columns by their place among those the
// import offers). json_document: the interchange form of written documents.
// settings: settings files the store wrote. readings: readings files the RV
// page saves.

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include <unistd.h>

#include "Seeds.h"
#include "common/Console.h"
#include "common/Locale.h"
#include "document/Document.h"
#include "files/DocumentFile.h"
#include "files/JsonDocument.h"
#include "files/TextExchange.h"
#include "devices/rv/Readings.h"
#include "link/RegKey.h"

namespace fs = std::filesystem;

namespace {

std::string readAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    if (!in) throw std::runtime_error("cannot read " + path.string());
    return text.str();
}

void open(Document& doc, int typeCode) {
    std::istringstream in(writtenDocument(typeCode), std::ios::in | std::ios::binary);
    files::ReadDocument(in, doc);
}

constexpr int kTypeCodes[] = {kFirstDornCode + 3, kFirstKeltCode + 2, kRvCode};

void importSeeds(const fs::path& folder, const fs::path& scratch) {
    fs::create_directories(folder);
    for (const int typeCode : kTypeCodes) {
        for (const bool comma : {false, true}) {
            Locale locale;
            locale.decimalSeparator = comma ? ',' : '.';
            const ScopedLocale scoped(locale);
            Console console;
            Document doc(console);
            open(doc, typeCode);
            for (const PackagePtr& package : doc.packages()) {
                // The columns the target offers, in its order.
                std::vector<int> offered;
                const int shown = package->columnCount() -
                                  doc.device()->HiddenColumns(package->type == PackageType::Verification);
                for (int c = 0; c < shown; ++c) {
                    const ColumnInfo info = package->column(c);
                    if (!info.checkBox && !info.readOnly) offered.push_back(c);
                }
                const std::size_t n = std::min<std::size_t>(offered.size(), 8);
                const char separator = comma ? '\t' : ';';
                const std::vector<int> columns(offered.begin(), offered.begin() + static_cast<std::ptrdiff_t>(n));
                std::string error;
                if (!files::ExportText(*package, columns, scratch.string(), separator, locale.decimalSeparator, &error))
                    throw std::runtime_error(error);
                const int kind = (package->type == PackageType::Verification ? 1 : 0) |
                                 (static_cast<int>(package->method) << 1);
                std::string seed = {static_cast<char>(typeCode), static_cast<char>(kind), static_cast<char>(comma),
                                    separator, static_cast<char>(n)};
                for (std::size_t i = 0; i < n; ++i) seed += static_cast<char>(i);
                seed += readAll(scratch);
                writeSeed(folder / ("type" + std::to_string(typeCode) + "-kind" + std::to_string(kind) +
                                    (comma ? "-comma.txt" : "-point.txt")),
                          seed);
            }
        }
    }
}

void jsonSeeds(const fs::path& folder) {
    fs::create_directories(folder);
    for (const int typeCode : kTypeCodes) {
        Console console;
        Document doc(console);
        open(doc, typeCode);
        writeSeed(folder / ("type" + std::to_string(typeCode) + ".json"), files::DocumentToJson(doc).dump(2));
    }
}

void settingsSeeds(const fs::path& folder, const fs::path& scratch) {
    fs::create_directories(folder);
    fs::remove(scratch);
    RegKey::SetFileLocation(scratch.string());
    RegKey key;
    key.Open();
    key.WriteInt("SpprComPort", 3);
    key.WriteString("LastFile", "/home/инженер/прибор 5.srv");
    const std::string name = "LastFile";
    writeSeed(folder / "values.json", static_cast<char>(name.size()) + name + readAll(scratch));
    key.WriteString("Bytes", std::string("\xFF\x01\x80", 3));
    key.WriteInt("Negative", -7);
    RegKey other;
    other.Open("Software\\Соврель\\Сервис\\Другой");
    other.WriteInt("SpprComPort", 1);
    writeSeed(folder / "two-keys.json", std::string(1, '\5') + "Bytes" + readAll(scratch));
    RegKey::SetFileLocation("");
    fs::remove(scratch);
    fs::remove(scratch.string() + ".lock");
}

// A readings file the page saves: polled codes with their filtered values.
void readingsSeeds(const fs::path& folder) {
    fs::create_directories(folder);
    rv::ReadingsStore store;
    for (int i = 0; i < 40; ++i) store.take(100000 + (i % 7) * 250 - (i % 3) * 40);
    const std::string file = rv::formatReadings(store.raw(), store.filtered());
    writeSeed(folder / "polled.csv", std::string{16, 40} + file);
    std::string crlf;
    for (const char c : file) {
        if (c == '\n') crlf += '\r';
        crlf += c;
    }
    writeSeed(folder / "polled-crlf.csv", std::string{20, 10} + crlf);
}

}  // namespace

void writeFileSeeds(const fs::path& root) {
    const fs::path scratch = fs::temp_directory_path() / ("make-corpus-" + std::to_string(::getpid()));
    importSeeds(root / "import_text", scratch);
    fs::remove(scratch);
    jsonSeeds(root / "json_document");
    settingsSeeds(root / "settings", scratch);
    readingsSeeds(root / "readings");
}
