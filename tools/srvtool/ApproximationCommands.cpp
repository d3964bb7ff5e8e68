// srvtool approximate, setpoints, lines: the approximation commands of the
// main window and the texts of the "Коэффициенты" window. The graph data is
// printed by srvtool chart (ChartCommands.cpp).

#include "Tool.h"

#include <sstream>

#include "approximation/Commands.h"
#include "approximation/LinesTable.h"
#include "common/NumberText.h"
#include "common/MathError.h"
#include "document/Document.h"

namespace srvtool {

namespace {

using nlohmann::json;

PackageBase& packageAt(Document& doc, int index) {
    const Packages& packages = doc.packages();
    if (index < 0 || index >= static_cast<int>(packages.size()))
        throw UserError("no package " + std::to_string(index) + " (the document has " +
                        std::to_string(packages.size()) + ", numbered from 0)");
    return *packages[static_cast<std::size_t>(index)];
}

// Section numbers as typed: "2,4" or "2, 4"; a blank text is no section.
std::vector<int> parseSections(const std::string& text) {
    std::vector<int> sections;
    if (text.find_first_not_of(" \t") == std::string::npos) return sections;
    std::stringstream in(text);
    std::string item;
    while (std::getline(in, item, ',')) {
        const auto value = parseUserInteger(item);
        if (!value || *value < 1 || *value > INT32_MAX)
            throw UserError("--sections: \"" + item + "\" is not a section number (1, 2, …)");
        sections.push_back(static_cast<int>(*value));
    }
    if (text.back() == ',') throw UserError("--sections: a section number is missing after the last \",\"");
    return sections;
}

// Prints the document as `recalc` does, with the state of the last
// approximation.
void printApproximation(const Document& doc, const ConsoleRecorder& recorder) {
    json extra = {{"console", recorder.lines}, {"splitSections", doc.state().splitSections}};
    json sections = json::array();
    for (const Section& s : doc.state().sections)
        sections.push_back({{"first", s.first}, {"last", s.last}, {"x", s.x}, {"y", s.y}});
    extra["sections"] = std::move(sections);
    printDocument(doc, extra);
}

struct Options {
    std::string path;
    int package = 0;
    std::string sections;
    bool cancel = false;
};

void addApproximationCommands(CLI::App& app) {
    auto* cmdAppr = app.add_subcommand(
        "approximate", "run the approximation command on a package and print the document with its sections");
    auto appr = std::make_shared<Options>();
    cmdAppr->add_option("DOC", appr->path, "document file")->required();
    cmdAppr->add_option("--package", appr->package, "package number, from 0")->required();
    cmdAppr->callback([appr] {
        ConsoleRecorder recorder;
        Document doc(recorder.console);
        openDocument(appr->path, doc);
        PackageBase& package = packageAt(doc, appr->package);
        recorder.lines.clear();  // only what the command writes
        approximation::runApproximation(doc, package);
        printApproximation(doc, recorder);
    });

    auto* cmdPoints = app.add_subcommand(
        "setpoints", "run the set points command on a package with the given choice in the section dialog");
    auto points = std::make_shared<Options>();
    cmdPoints->add_option("DOC", points->path, "document file")->required();
    cmdPoints->add_option("--package", points->package, "package number, from 0")->required();
    cmdPoints->add_option("--sections", points->sections,
                          "sections clicked in the dialog, 1-based, comma separated; none: confirm without marks");
    cmdPoints->add_flag("--cancel", points->cancel, "cancel the section dialog");
    cmdPoints->callback([points] {
        const std::vector<int> clicks = parseSections(points->sections);
        ConsoleRecorder recorder;
        Document doc(recorder.console);
        openDocument(points->path, doc);
        PackageBase& package = packageAt(doc, points->package);
        recorder.lines.clear();
        approximation::runSetPoints(doc, package, [&](approximation::SectionSelection& dialog) {
            if (points->cancel) return false;
            for (int section : clicks) {
                const auto point = dialog.firstPointOf(section);
                if (!point) throw UserError("--sections: no entry is in section " + std::to_string(section));
                dialog.click(*point);
            }
            return true;
        });
        printApproximation(doc, recorder);
    });

    auto* cmdLines = app.add_subcommand("lines", "print the texts of the \"Коэффициенты\" table of a document");
    auto table = std::make_shared<Options>();
    cmdLines->add_option("DOC", table->path, "document file")->required();
    cmdLines->callback([table] {
        ConsoleRecorder recorder;
        Document doc(recorder.console);
        openDocument(table->path, doc);
        // Opening a document sets the family's caption.
        const std::string caption = doc.device() ? approximation::boundCaption(FamilyOfCode(doc.device()->Type()))
                                                 : approximation::kInitialBoundCaption;
        json rows = json::array();
        for (const auto& row : approximation::linesTableRows(doc.state().currentLines))
            rows.push_back({row[0], row[1], row[2]});
        print({{"caption", caption}, {"rows", rows}});
    });
}

const RegisterCommands kRegistered(addApproximationCommands);

}  // namespace

}  // namespace srvtool
