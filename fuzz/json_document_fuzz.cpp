// libFuzzer target for srvtool's JSON interchange reader: every input is
// parsed as srvtool parses a .json file and opened into a fresh document.
// Text that is not JSON and a document the reader refuses (UserErrors that
// name the file or the faulty key) are the expected outcomes of a damaged file; any other
// exception escaping, a crash or a sanitizer report is a finding.
//
// A document that opens is written in the interchange form and as a
// document file, and both must open again: what srvtool writes it must be
// able to read.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>

#include <nlohmann/json.hpp>

#include "common/Console.h"
#include "common/MathError.h"
#include "document/Document.h"
#include "files/DocumentFile.h"
#include "files/JsonDocument.h"
#include "files/JsonText.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Console console;
    Document doc(console);
    try {
        const std::string_view text(reinterpret_cast<const char*>(data), size);
        files::ReadJsonDocument(files::ParseJsonText(text, "fuzz.json"), doc);
    } catch (const UserError&) {
        return 0;
    }

    Console againConsole;
    Document again(againConsole);
    try {
        files::ReadJsonDocument(files::DocumentToJson(doc), again);
    } catch (const UserError& e) {
        std::fprintf(stderr, "the interchange form of an opened document does not open again: %s\n", e.what());
        std::abort();
    }
    const std::string saved = files::DocumentBytes(doc);
    std::istringstream in(saved, std::ios::in | std::ios::binary);
    try {
        files::ReadDocument(in, again);
    } catch (const UserError& e) {
        std::fprintf(stderr, "the document file of an opened document does not open again: %s\n", e.what());
        std::abort();
    }
    return 0;
}
