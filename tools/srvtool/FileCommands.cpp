// srvtool dump, convert, report, export, import: document files, the
// protocol report and the text exchange of a package.

#include "Tool.h"

#include <optional>

#include "common/AtomicFile.h"
#include "common/NumberText.h"
#include "common/MathError.h"
#include "document/Document.h"
#include "files/DocumentFile.h"
#include "files/JsonDocument.h"
#include "files/Report.h"
#include "files/TextExchange.h"
#ifdef RVSERVICE_PDF
#include "pdf/ProtocolPdf.h"
#endif

namespace srvtool {

namespace {

using nlohmann::json;

// Saves the document in the form its extension names, as Save as does: the
// device's lines and pulse weight become the document's first.
void saveDocument(const std::string& path, Document& doc) {
    if (isSrvPath(path)) {
        files::WriteDocument(path, doc);
        documentSaved(path);
    } else if (isJsonPath(path)) {
        doc.tabChanged();
        ReplaceFile(path, files::DocumentToJson(doc).dump(2) + "\n");
    } else {
        throw UserError(path + ": the output must be a .srv or a .json file");
    }
}

// Converts a document file as opening it and saving it does, a block of
// entries at a time, so that a large file is never held whole in memory.
void convertDocumentFile(const std::string& in, const std::string& out, Document& doc) {
    files::DocumentFileReader reader(in);
    reader.open(doc);
    doc.setFileName(in);
    if (isSrvPath(out)) {
        files::WriteDocument(out, doc, reader);
        documentSaved(out);
        return;
    }
    // Saving as JSON takes the device's lines first and recalculates.
    doc.tabChanged();
    reader.recalcAgainWith(&doc.state());
    AtomicFile file(out);
    files::WriteDocumentJson(doc, json::object(), reader, [&](std::string_view text) { file.write(text); });
    file.write("\n");
    file.commit();
}

// One character; "\t" (backslash and t) also names a tab.
char characterOption(const std::string& text, const char* what) {
    if (text == "\\t") return '\t';
    if (text.size() != 1) throw UserError(std::string(what) + " must be one character (or \\t for a tab)");
    return text[0];
}

// Column positions of the dialog: 0-based positions of the package's table,
// "skip" for the pseudo-column; an empty text is no column at all. Only the
// columns the dialog offers are accepted: none of the hidden trailing
// columns, no check-box columns, and for import no computed columns.
std::vector<int> columnList(const std::string& text, const PackageBase& package, const DeviceBase& device,
                            bool forImport) {
    std::vector<int> columns;
    if (text.empty()) return columns;
    const int offered = package.columnCount() - device.HiddenColumns(package.type == PackageType::Verification);
    std::size_t pos = 0;
    while (true) {
        const std::size_t comma = text.find(',', pos);
        std::string item = text.substr(pos, comma == std::string::npos ? std::string::npos : comma - pos);
        while (!item.empty() && item.front() == ' ') item.erase(0, 1);
        while (!item.empty() && item.back() == ' ') item.pop_back();
        if (item == "skip") {
            columns.push_back(files::kSkipColumn);
        } else {
            const auto k = parseUserInteger(item);
            if (!k || *k < 0 || *k >= offered)
                throw UserError("column '" + item + "': the package offers the columns 0 … " +
                                std::to_string(offered - 1) + " and skip");
            const ColumnInfo info = package.column(static_cast<int>(*k));
            if (info.checkBox || (forImport && info.readOnly))
                throw UserError("column " + item + " (" + info.caption + ") is not offered for " +
                                (forImport ? "import" : "export"));
            columns.push_back(static_cast<int>(*k));
        }
        if (comma == std::string::npos) break;
        pos = comma + 1;
    }
    return columns;
}

struct PackageOptions {
    std::string document;
    int package = 0;
    std::string output;
};

CLI::App* packageCommand(CLI::App& app, const char* name, const char* help, PackageOptions& options) {
    auto* cmd = app.add_subcommand(name, help);
    cmd->add_option("FILE", options.document, "document file (.srv or .json)")->required();
    cmd->add_option("--package", options.package, "package index, counted from 0")->required();
    return cmd;
}

void addFileCommands(CLI::App& app) {
    auto* cmdDump = app.add_subcommand("dump", "open a document (.srv or .json) and print it");
    auto dumpPath = std::make_shared<std::string>();
    cmdDump->add_option("FILE", *dumpPath, "document file")->required();
    cmdDump->callback([dumpPath] { printDocumentFile(*dumpPath); });

    auto* cmdConvert = app.add_subcommand("convert", "convert a document between .srv and .json");
    auto convertIn = std::make_shared<std::string>();
    auto convertOut = std::make_shared<std::string>();
    cmdConvert->add_option("IN", *convertIn, "document file")->required();
    cmdConvert->add_option("-o,--output", *convertOut, "output file, .srv or .json")->required();
    cmdConvert->callback([convertIn, convertOut] {
        ConsoleRecorder recorder;
        Document doc(recorder.console);
        if (isSrvPath(*convertIn) && (isSrvPath(*convertOut) || isJsonPath(*convertOut)))
            convertDocumentFile(*convertIn, *convertOut, doc);
        else {
            openDocument(*convertIn, doc);
            saveDocument(*convertOut, doc);
        }
        print({{"output", *convertOut}, {"console", recorder.lines}});
    });

    auto report = std::make_shared<PackageOptions>();
    auto* cmdReport = packageCommand(app, "report", "write the protocol report of a package", *report);
    cmdReport->add_option("-o,--output", report->output, "report file (default: report.html of the program)");
    auto reportLimits = std::make_shared<std::string>();
    cmdReport->add_option("--limits", *reportLimits, "limits file for a verification package's verdict "
                                                     "instead of those stored for the model");
    auto reportPdf = std::make_shared<std::string>();
    cmdReport->add_option("--pdf", *reportPdf, "write the protocol as a PDF file (with -o, the HTML page as well)");
    cmdReport->callback([report, reportLimits, reportPdf] {
        ConsoleRecorder recorder;
        Document doc(recorder.console);
        openDocument(report->document, doc);
        const Limits limits = limitsFor(doc, *reportLimits);
        // The report shows the lines and pulse weight the device holds, as
        // after the tab change that leads to the report command.
        doc.tabChanged();
        const PackageBase& package = packageAt(doc, report->package);
        json out;
        if (!reportPdf->empty()) {
#ifdef RVSERVICE_PDF
            pdf::GuiForTools gui;
            pdf::WriteProtocolPdf(*reportPdf, *doc.device(), package, limits);
            out["output"] = *reportPdf;
#else
            throw UserError("this srvtool was built without the PDF protocol (QtGui)");
#endif
            if (report->output.empty()) {
                print(out);
                return;
            }
            out["pdf"] = *reportPdf;
        }
        const std::string path = report->output.empty() ? files::ReportPath() : report->output;
        files::WriteReport(path, *doc.device(), package, limits);
        out["output"] = path;
        print(out);
    });

    auto exportOptions = std::make_shared<PackageOptions>();
    auto exportColumns = std::make_shared<std::string>();
    auto exportSeparator = std::make_shared<std::string>(" ");
    auto exportDecimal = std::make_shared<std::string>(".");
    auto* cmdExport = packageCommand(app, "export", "write a package's entries as a text file", *exportOptions);
    cmdExport->add_option("--columns", *exportColumns, "column positions, e.g. 1,skip,4 (empty: none)")->required();
    cmdExport->add_option("--separator", *exportSeparator, "column separator (default a space; \\t for a tab)");
    cmdExport->add_option("--decimal", *exportDecimal, "decimal character (default .)");
    cmdExport->add_option("-o,--output", exportOptions->output, "text file")->required();
    cmdExport->callback([exportOptions, exportColumns, exportSeparator, exportDecimal] {
        ConsoleRecorder recorder;
        Document doc(recorder.console);
        openDocument(exportOptions->document, doc);
        doc.tabChanged();
        PackageBase& package = packageAt(doc, exportOptions->package);
        const std::vector<int> columns = columnList(*exportColumns, package, *doc.device(), false);
        const char separator = characterOption(*exportSeparator, "--separator");
        const char decimal = characterOption(*exportDecimal, "--decimal");
        std::string error;
        if (!files::ExportText(package, columns, exportOptions->output, separator, decimal, &error))
            throw UserError(error);
        print({{"output", exportOptions->output}, {"lines", package.entryCount()}});
    });

    auto importOptions = std::make_shared<PackageOptions>();
    auto importColumns = std::make_shared<std::string>();
    auto importSeparator = std::make_shared<std::string>(" ");
    auto importText = std::make_shared<std::string>();
    auto* cmdImport = packageCommand(app, "import", "append entries from a text file to a package", *importOptions);
    cmdImport->add_option("--columns", *importColumns, "column positions, e.g. 3,skip,4 (empty: none)")->required();
    cmdImport->add_option("--separator", *importSeparator, "column separator (default a space; \\t for a tab)");
    cmdImport->add_option("TEXT", *importText, "text file to import")->required();
    cmdImport->add_option("-o,--output", importOptions->output, "document to write, .srv or .json")->required();
    cmdImport->callback([importOptions, importColumns, importSeparator, importText] {
        ConsoleRecorder recorder;
        Document doc(recorder.console);
        openDocument(importOptions->document, doc);
        doc.tabChanged();
        PackageBase& package = packageAt(doc, importOptions->package);
        const std::vector<int> columns = columnList(*importColumns, package, *doc.device(), true);
        const char separator = characterOption(*importSeparator, "--separator");
        const int before = package.entryCount();
        std::string error;
        if (!files::ImportText(package, columns, *importText, separator, &error)) throw UserError(error);
        package.recalcAll();
        saveDocument(importOptions->output, doc);
        print({{"output", importOptions->output}, {"imported", package.entryCount() - before}});
    });
}

const RegisterCommands kRegistered(addFileCommands);

}  // namespace

}  // namespace srvtool
