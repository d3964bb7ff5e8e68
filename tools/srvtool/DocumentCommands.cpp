// srvtool new, recalc: documents in the JSON interchange form.

#include "Tool.h"

#include "common/MathError.h"
#include "document/Document.h"

namespace srvtool {

namespace {

void addDocumentCommands(CLI::App& app) {
    auto* cmdNew = app.add_subcommand("new", "print a new document of a device type code");
    auto typeCode = std::make_shared<int>(0);
    cmdNew->add_option("--type", *typeCode, "device type code 0 … 36")->required();
    cmdNew->callback([typeCode] {
        ConsoleRecorder recorder;
        Document doc(recorder.console);
        if (!doc.create(*typeCode)) throw UserError("unknown device type code " + std::to_string(*typeCode));
        printDocument(doc, {{"console", recorder.lines}});
    });

    auto* cmdRecalc = app.add_subcommand("recalc", "open a document, recalculate it and print it");
    auto path = std::make_shared<std::string>();
    cmdRecalc->add_option("DOC", *path, "document file")->required();
    cmdRecalc->callback([path] { printDocumentFile(*path); });
}

const RegisterCommands kRegistered(addDocumentCommands);

}  // namespace

}  // namespace srvtool
