// libFuzzer target for the document file reader: every input is opened into
// a fresh document with its own console. The reader's refusals carry the
// system's message (UserError, of which win_error is one) and are the
// expected outcome of a damaged file; any other exception escaping (a
// MathError included), a crash, a leak or a sanitizer report is a finding.
//
// A file that opens is saved again and the saved bytes are opened into the
// same document: what the program saves it must be able to open.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>

#include "common/Console.h"
#include "common/MathError.h"
#include "document/Document.h"
#include "files/DocumentFile.h"

namespace {

void read(const std::string& bytes, Document& doc) {
    std::istringstream in(bytes, std::ios::in | std::ios::binary);
    files::ReadDocument(in, doc);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Console console;
    Document doc(console);
    try {
        read(std::string(reinterpret_cast<const char*>(data), size), doc);
    } catch (const UserError&) {
        return 0;
    }
    const std::string saved = files::DocumentBytes(doc);
    try {
        read(saved, doc);
    } catch (const UserError& e) {
        std::fprintf(stderr, "a saved document does not open again: %s\n", e.what());
        std::abort();
    }
    return 0;
}
