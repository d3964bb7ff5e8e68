#include "Tool.h"

#include <cctype>
#include <fstream>
#include <iostream>
#include <sstream>

#include "common/MathError.h"
#include "document/Document.h"
#include "files/DocumentFile.h"
#include "files/JsonDocument.h"
#include "files/JsonText.h"
#include "files/LimitsFile.h"

namespace srvtool {

using nlohmann::json;

json readJsonFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw UserError(path + ": cannot be opened");
    std::stringstream text;
    text << in.rdbuf();
    return files::ParseJsonText(text.str(), path);
}

namespace {

bool hasExtension(const std::string& path, const std::string& extension) {
    if (path.size() < extension.size()) return false;
    for (std::size_t i = 0; i < extension.size(); ++i) {
        const char c = path[path.size() - extension.size() + i];
        if (std::tolower(static_cast<unsigned char>(c)) != extension[i]) return false;
    }
    return true;
}

}  // namespace

bool isSrvPath(const std::string& path) { return hasExtension(path, ".srv"); }
bool isJsonPath(const std::string& path) { return hasExtension(path, ".json"); }

void openDocument(const std::string& path, Document& doc) {
    if (isSrvPath(path)) files::ReadDocument(path, doc);
    else files::ReadJsonDocument(readJsonFile(path), doc);
    doc.setFileName(path);
}

PackageBase& packageAt(Document& doc, int index) {
    if (index < 0 || index >= static_cast<int>(doc.packages().size()))
        throw UserError("the document has no package " + std::to_string(index) + " (packages are counted from 0)");
    return *doc.packages()[static_cast<std::size_t>(index)];
}

Limits limitsFor(const Document& doc, const std::string& limitsFile) {
    if (!limitsFile.empty()) return files::ReadLimitsFile(limitsFile);
    return LoadLimits(doc.device()->Type());
}


std::vector<CommandGroup>& commandGroups() {
    static std::vector<CommandGroup> groups;
    return groups;
}

namespace {

SavedHook& savedHook() {
    static SavedHook hook = nullptr;
    return hook;
}

}  // namespace

void setDocumentSavedHook(SavedHook hook) { savedHook() = hook; }

void documentSaved(const std::string& path) {
    if (SavedHook hook = savedHook()) hook(path);
}

void print(const json& out) { std::cout << out.dump(2) << '\n'; }

namespace {

void writeOut(std::string_view text) { std::cout.write(text.data(), static_cast<std::streamsize>(text.size())); }

}  // namespace

void printDocument(const Document& doc, const json& extra) {
    files::DocumentPackages packages(doc);
    files::WriteDocumentJson(doc, extra, packages, writeOut);
    std::cout << '\n';
}

void printDocumentFile(const std::string& path) {
    ConsoleRecorder recorder;
    Document doc(recorder.console);
    if (isSrvPath(path)) {
        files::DocumentFileReader reader(path);
        reader.open(doc);
        doc.setFileName(path);
        files::WriteDocumentJson(doc, {{"console", recorder.lines}}, reader, writeOut);
        std::cout << '\n';
    } else {
        openDocument(path, doc);
        printDocument(doc, {{"console", recorder.lines}});
    }
}

}  // namespace srvtool
