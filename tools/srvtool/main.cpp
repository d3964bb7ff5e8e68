// srvtool: the document and device jobs of the service tool from the command
// line. Output is JSON on stdout; every failure prints one line on stderr
// and exits with a non-zero status, with nothing on stdout.

#include <CLI/CLI.hpp>

#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "common/Console.h"
#include "common/MathError.h"
#include "document/Document.h"
#include "files/JsonDocument.h"

namespace {

using nlohmann::json;

// Collects every console message of the command, oldest first.
struct ConsoleRecorder {
    Console console;
    std::vector<std::string> lines;

    ConsoleRecorder() {
        console.setListener([this](const std::string& text) { lines.push_back(text); });
    }
};

json readJsonFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw UserError(path + ": cannot be opened");
    std::stringstream text;
    text << in.rdbuf();
    try {
        return json::parse(text.str());
    } catch (const json::parse_error& e) {
        throw UserError(path + ": not a JSON document (" + std::string(e.what()) + ")");
    }
}

void printDocument(const Document& doc, const ConsoleRecorder& recorder) {
    json out = files::DocumentToJson(doc);
    out["console"] = recorder.lines;
    std::cout << out.dump(2) << '\n';
}

int commandNew(int typeCode) {
    ConsoleRecorder recorder;
    Document doc(recorder.console);
    if (!doc.create(typeCode)) throw UserError("unknown device type code " + std::to_string(typeCode));
    printDocument(doc, recorder);
    return 0;
}

int commandRecalc(const std::string& path) {
    ConsoleRecorder recorder;
    Document doc(recorder.console);
    files::ReadJsonDocument(readJsonFile(path), doc);
    printDocument(doc, recorder);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"srvtool: documents of the flow transducer service tool, from the command line"};
    app.require_subcommand(1);

    int typeCode = 0;
    auto* cmdNew = app.add_subcommand("new", "print a new document of a device type code");
    cmdNew->add_option("--type", typeCode, "device type code 0 … 36")->required();

    std::string docPath;
    auto* cmdRecalc = app.add_subcommand("recalc", "open a document, recalculate it and print it");
    cmdRecalc->add_option("DOC", docPath, "document in JSON form")->required();

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return app.exit(e);
    }

    try {
        if (*cmdNew) return commandNew(typeCode);
        if (*cmdRecalc) return commandRecalc(docPath);
    } catch (const std::exception& e) {
        std::cerr << e.what() << '\n';
        return 1;
    }
    return 1;
}
