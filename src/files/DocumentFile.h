#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>

class Document;

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

}  // namespace files
