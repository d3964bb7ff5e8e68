#pragma once

// The seed generator's parts (make_corpus.cpp, FileSeeds.cpp, ReplySeeds.cpp).

#include <filesystem>
#include <string>

// A document file of `typeCode` made by the program's writer: two lines, a
// calibration package by volume and a verification package by mass, two
// entries each.
std::string writtenDocument(int typeCode);

// Writes one seed file (and names it on the standard output).
void writeSeed(const std::filesystem::path& path, const std::string& bytes);

// import_text, json_document, settings, readings under `root`.
void writeFileSeeds(const std::filesystem::path& root);
// rv_reply, dorn_reply, kelt_reply, nivor_reply under `root`.
void writeReplySeeds(const std::filesystem::path& root);
