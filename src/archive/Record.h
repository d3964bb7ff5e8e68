#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class Document;
class PackageBase;

namespace archive {

// What one save hands to the archive: the document file as it was written,
// where, when and by whom.
struct Submission {
    std::string path;
    std::string bytes;          // the document file, byte for byte
    std::int64_t savedMs = 0;   // the save time, milliseconds since 1970 (UTC)
    std::string user;           // the login of the user who saved
    std::string host;           // the machine's host name
};

// A submission of a save made now by this user on this machine.
Submission MakeSubmission(const std::string& path, std::string bytes);

// A package's verdict and the limits of permissible error it was judged by.
struct Verdict {
    bool pass = false;
    std::string limits;  // the limits used, as text
};

// The verdict a package gets in the archive: a verification package judged
// against the limits of permissible error kept for its model in the
// settings store (the limits as their JSON text); nothing for a calibration
// package, a model without limits, or a package without entries.
std::optional<Verdict> VerdictOf(const Document& doc, const PackageBase& package);

// What the archive keeps of one package of a saved document.
struct PackageRecord {
    int typeCode = 0;
    std::string model;     // the device model's name
    std::string serial;    // the factory number as SerialText shows it
    int du = 0;
    std::string diameter;  // DiameterText of du
    int packageType = 0;   // 0 calibration, 1 verification
    int method = 0;        // 0 volume, 1 mass, 2 reference
    std::string created;   // the package's creation time, SystemTime::toIso
    int entries = 0;
    // The smallest and largest flow error of the entries not switched off;
    // nothing when there are none.
    std::optional<double> errMin, errMax;
    std::optional<Verdict> verdict;
    std::string lines;     // the characteristic in force: [[a, b, upper], ...]
    // SHA-256 (hex) of what makes this package's result: the device type
    // code, identity, lines and the package's file record. A save that
    // changes none of these records nothing new for the package.
    std::string key;
};

struct PreparedDocument {
    std::string sha256;  // of the document's bytes, hex
    std::vector<PackageRecord> packages;
};

// Reads the document file's bytes as Open does and gathers its records.
// A damaged document raises the reader's errors.
PreparedDocument Prepare(const std::string& bytes);

std::string Sha256Hex(const std::string& bytes);

}  // namespace archive
