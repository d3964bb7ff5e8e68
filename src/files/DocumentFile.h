#pragma once

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <memory>
#include <string>

class Document;
class PackageBase;
struct DocumentState;

namespace files {

// The document file (*.srv): signature "3BPP", a version, the device type
// code, identity, approximation options, lines, packages and the device's
// settings block, all little-endian and packed. Version 5 is written;
// versions 1 to 5 are read.

constexpr std::uint32_t kDocumentVersion = 5;

// Replaces the open document by the file's content as Open does (a new
// device model only when the stored type code differs). Nothing of `doc` is
// touched before the whole file has been read: a file that cannot be opened
// raises win_error, a damaged one "Неправильный формат файла" (or the older
// formats' "Неизвестный формат файла"), and `doc` stays as it was. Bytes
// after the settings block are ignored. The file name is left to the caller.
void ReadDocument(const std::string& path, Document& doc);
// The same over a stream positioned at the signature.
void ReadDocument(std::istream& in, Document& doc);

// Writes the open document. The device's lines and pulse weight are taken
// into the document first (they replace `currentLines` and the options'
// pulse weight), as every save does. The file is replaced as a whole: a
// failure raises win_error and leaves an existing file unchanged.
void WriteDocument(const std::string& path, Document& doc);
// The bytes WriteDocument writes, after the same refresh from the device.
std::string DocumentBytes(Document& doc);

// Converts the body of a version 1 or 2 file (the input positioned after the
// 8-byte header) into the equivalent version 3 body. A header block, lines
// block or measurement record that ends early raises
// "Неизвестный формат файла".
void ConvertOldDocument(std::ostream& output, std::istream& input, int version);

// Packages handed out one at a time, their entries in blocks: a document
// written this way never needs all its entries in memory at once.
class PackageStream {
public:
    virtual ~PackageStream() = default;
    virtual std::size_t packageCount() const = 0;
    // The next package with its header fields (type, method, created) and
    // no entries, and its entry count; null after the last.
    virtual const PackageBase* nextPackage(std::uint32_t& count) = 0;
    // The current package holding the next block of its entries (and only
    // those); null when none is left.
    virtual const PackageBase* nextEntries() = 0;
};

// Writes the document as WriteDocument does, with the packages of `packages`
// in place of its own.
void WriteDocument(const std::string& path, Document& doc, PackageStream& packages);

// A document file read a package at a time, so that a large file is never
// held whole in memory. open() checks the layout of the whole file first
// (every package's entry records are there and the settings block follows,
// read by seeking from header to header) and opens the document without
// packages; the packages then come from the file in turn, each block of
// entries read and recalculated as ReadDocument and the document's load do.
// Versions 1 and 2 are converted to the current layout in memory first.
class DocumentFileReader : public PackageStream {
public:
    // Raises win_error when the file cannot be opened.
    explicit DocumentFileReader(const std::string& path);
    ~DocumentFileReader() override;

    // Opens the file into `doc` as ReadDocument does, but with no packages:
    // the same errors, and `doc` untouched on failure.
    void open(Document& doc);
    // Each block is recalculated once more with `state` (as a tab change
    // after opening does), when not null; it must outlive the reading.
    void recalcAgainWith(const DocumentState* state);

    std::size_t packageCount() const override;
    const PackageBase* nextPackage(std::uint32_t& count) override;
    // An entry record that cannot be read raises "Неправильный формат файла".
    const PackageBase* nextEntries() override;

private:
    struct Impl;
    std::unique_ptr<Impl> m;
};

}  // namespace files
