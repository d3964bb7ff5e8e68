// libFuzzer target for the text import of a package. The input picks the
// device type, the package kind and method, the regional decimal separator,
// the column list (from the columns the import offers, and skips) and the
// column separator; the rest is the text file. The import must append what
// it can read and drop the rest, the package must recalculate, and the
// document must save and open again with the same entries.
//
// Input: [type code][kind+method][decimal][separator][n][n column picks] text…

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "FuzzInput.h"
#include "common/Console.h"
#include "common/Locale.h"
#include "common/MathError.h"
#include "document/Document.h"
#include "files/DocumentFile.h"
#include "files/TextExchange.h"

namespace {

// The columns the import offers, as srvtool lists them: shown, neither a
// check box nor computed.
std::vector<int> offeredColumns(const PackageBase& package, const DeviceBase& device) {
    std::vector<int> columns;
    const int shown = package.columnCount() - device.HiddenColumns(package.type == PackageType::Verification);
    for (int c = 0; c < shown; ++c) {
        const ColumnInfo info = package.column(c);
        if (!info.checkBox && !info.readOnly) columns.push_back(c);
    }
    return columns;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput input(data, size);
    const int typeCode = input.choice(kLastKeltCode + 1);
    const int kind = input.byte();
    Locale locale;
    locale.decimalSeparator = input.byte() & 1 ? ',' : '.';
    const ScopedLocale scoped(locale);
    const char separator = static_cast<char>(input.byte());

    Console console;
    Document doc(console);
    if (!doc.create(typeCode)) std::abort();  // every code up to the last Kelt one is a model
    doc.tabChanged();
    PackagePtr package = doc.addPackage(kind & 1 ? PackageType::Verification : PackageType::Calibration,
                                        static_cast<Method>((kind >> 1) % 3));
    const std::vector<int> offered = offeredColumns(*package, *doc.device());
    std::vector<int> columns;
    for (int n = input.choice(9); n > 0; --n) {
        const int pick = input.choice(static_cast<int>(offered.size()) + 1);
        columns.push_back(pick == static_cast<int>(offered.size()) ? files::kSkipColumn : offered[pick]);
    }

    std::istringstream text(input.restText(), std::ios::in | std::ios::binary);
    files::ImportText(*package, columns, text, separator);
    package->recalcAll();

    const int entries = package->entryCount();
    const std::string saved = files::DocumentBytes(doc);
    std::istringstream in(saved, std::ios::in | std::ios::binary);
    try {
        files::ReadDocument(in, doc);
    } catch (const UserError& e) {
        std::fprintf(stderr, "a document with imported entries does not open again: %s\n", e.what());
        std::abort();
    }
    if (doc.packages().size() != 1 || doc.packages()[0]->entryCount() != entries) {
        std::fprintf(stderr, "the imported entries did not come back from the saved document\n");
        std::abort();
    }
    return 0;
}
