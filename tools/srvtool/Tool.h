#pragma once

// Shared pieces of the srvtool commands.

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <string>
#include <vector>

#include "common/Console.h"

#include "document/Limits.h"

class Document;
class PackageBase;

namespace srvtool {

// Collects every console message of the command, oldest first.
struct ConsoleRecorder {
    Console console;
    std::vector<std::string> lines;

    ConsoleRecorder() {
        console.setListener([this](const std::string& text) { lines.push_back(text); });
    }
};

nlohmann::json readJsonFile(const std::string& path);

// Opens a document file into `doc` as the program's Open does: a ".srv"
// file as the program's document file, any other as the JSON form.
void openDocument(const std::string& path, Document& doc);

// Whether a path names a document file (".srv", any case) or a JSON form
// (".json", any case).
// The package at a 0-based index; UserError when there is none.
PackageBase& packageAt(Document& doc, int index);

// The limits of permissible error a command judges by: those of the file
// named by --limits when one is, else those stored for the document's model.
Limits limitsFor(const Document& doc, const std::string& limitsFile);

bool isSrvPath(const std::string& path);
bool isJsonPath(const std::string& path);


void print(const nlohmann::json& out);

// Told of every document file (.srv) a command has written; the archive
// commands, where they are built, record the save through it. It never
// throws and never changes what the command reports.
using SavedHook = void (*)(const std::string& path);
void setDocumentSavedHook(SavedHook hook);
void documentSaved(const std::string& path);

// Prints the document as DocumentToJson gives it with the members of
// `extra` added, writing its entries out one at a time.
void printDocument(const Document& doc, const nlohmann::json& extra);

// Opens a document file and prints it as `recalc` does (documentJson). The
// entries of a ".srv" file are read and printed a block at a time, never
// held whole in memory.
void printDocumentFile(const std::string& path);

// Each group of commands (a *Commands.cpp file) registers a function that
// adds its subcommands; a command's callback throws on failure and prints its
// JSON on success.
using CommandGroup = void (*)(CLI::App& app);
std::vector<CommandGroup>& commandGroups();

struct RegisterCommands {
    explicit RegisterCommands(CommandGroup group) { commandGroups().push_back(group); }
};

}  // namespace srvtool
