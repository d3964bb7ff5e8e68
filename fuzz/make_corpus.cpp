// Writes the fuzz targets' seed corpora, one folder per target, with the
// program's own writers and encoders.
//
// read_document: one small valid document file of every version and family
// the reader takes. Versions 5, 4 and 3 come from the program's own writer
// (a version 5 file is a version 4 one when every method byte is 0 or 1,
// and a version 3 one when the type byte becomes the family number);
// versions 1 and 2, which hold Dorn and Kelt documents only, are laid out
// record by record. The other targets' seeds are described where they are
// made (ReplySeeds.cpp for the devices).
//
//   make_corpus FOLDER

#include <cstdio>
#include <filesystem>
#include <sstream>
#include <stdexcept>
#include <string>

#include "OldFileBytes.h"
#include "Seeds.h"
#include "common/Console.h"
#include "devices/DeviceBase.h"
#include "document/Document.h"
#include "document/Entries.h"
#include "document/Package.h"
#include "files/DocumentFile.h"

namespace {

struct Seed {
    const char* name;
    int typeCode;
    std::uint8_t familyNumber;
};

constexpr Seed kSeeds[] = {{"dorn", kFirstDornCode + 3, 0}, {"kelt", kFirstKeltCode + 2, 1}, {"rv", kRvCode, 2}};

}  // namespace

// A document of `typeCode` with two lines, a calibration package by volume
// and a verification package by mass, two entries each.
std::string writtenDocument(int typeCode) {
    Console console;
    Document doc(console);
    if (!doc.create(typeCode)) throw std::runtime_error("no device model for type code " + std::to_string(typeCode));
    doc.device()->SetIdent({1234567, 5});
    doc.device()->SetLines({{0.5, 0.25, 40.0}, {0.75, -0.5, 0.0}}, 0);
    const std::pair<PackageType, Method> kinds[] = {{PackageType::Calibration, Method::Volume},
                                                    {PackageType::Verification, Method::Mass}};
    for (const auto& [type, method] : kinds) {
        PackagePtr p = doc.addPackage(type, method);
        p->created = {2024, 5, 3, 15, 10, 30, 0, 0};
        for (int i = 0; i < 2; ++i) {
            p->addEntry();
            const double t = 20.0 + i, ref = 10.0 * (i + 1), timeRef = 36.0 + i, code = 1000.0 * (i + 1);
            const std::int32_t pulses = 1000 * (i + 1), section = i;
            const std::uint8_t point = 1, off = 0;
            p->setField(i, kT, &t);
            p->setField(i, method == Method::Volume ? kVolRef : kMassRef, &ref);
            p->setField(i, kTimeRef, &timeRef);
            p->setField(i, kTime1, &timeRef);
            p->setField(i, kCode, &code);
            p->setField(i, kPulses1, &pulses);
            p->setField(i, kPulses2, &pulses);
            p->setField(i, kSection, &section);
            p->setField(i, kPoint, &point);
            p->setField(i, kOff, &off);
        }
    }
    return files::DocumentBytes(doc);
}

void writeSeed(const std::filesystem::path& path, const std::string& bytes) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size() || std::fclose(f) != 0)
        throw std::runtime_error("cannot write " + path.string());
    std::printf("%s %zu bytes\n", path.c_str(), bytes.size());
}

namespace {

std::string withVersion(std::string bytes, std::uint32_t version) {
    for (int i = 0; i < 4; ++i) bytes[4 + i] = static_cast<char>((version >> (8 * i)) & 0xFF);
    return bytes;
}

// An old file of a Dorn (model 3) or Kelt (model 17) document with two
// calibration records, one verification record and one unused record.
std::string oldDocument(std::uint32_t version, bool kelt) {
    OldHeader h;
    h.model = kelt ? 17 : 3;
    OldRecord calibration, unused, verification;
    calibration.flags = 0x01;
    unused.unused = 0x01;
    verification.kind = 0x80;
    verification.reference = 20.0;
    return oldFile(version, h, {calibration, calibration, unused, verification}, 3).data;
}

// Every seed must open: a refused seed would only test the refusal.
void saveDocument(const std::filesystem::path& path, const std::string& bytes) {
    Console console;
    Document doc(console);
    std::istringstream in(bytes, std::ios::in | std::ios::binary);
    try {
        files::ReadDocument(in, doc);
    } catch (const std::exception& e) {
        throw std::runtime_error(path.filename().string() + " does not open: " + e.what());
    }
    writeSeed(path, bytes);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_corpus FOLDER\n");
        return 2;
    }
    const std::filesystem::path root = argv[1];
    try {
        const std::filesystem::path folder = root / "read_document";
        std::filesystem::create_directories(folder);
        for (const Seed& family : kSeeds) {
            const std::string v5 = writtenDocument(family.typeCode);
            saveDocument(folder / ("v5-" + std::string(family.name) + ".srv"), v5);
            const std::string v4 = withVersion(v5, 4);
            saveDocument(folder / ("v4-" + std::string(family.name) + ".srv"), v4);
            std::string v3 = withVersion(v5, 3);
            v3[8] = static_cast<char>(family.familyNumber);
            saveDocument(folder / ("v3-" + std::string(family.name) + ".srv"), v3);
        }
        for (std::uint32_t version : {1u, 2u})
            for (bool kelt : {false, true})
                saveDocument(folder / ("v" + std::to_string(version) + (kelt ? "-kelt.srv" : "-dorn.srv")),
                     oldDocument(version, kelt));
        writeFileSeeds(root);
        writeReplySeeds(root);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "make_corpus: %s\n", e.what());
        return 1;
    }
    return 0;
}
