// The document file: reading every version's checks and conversions,
// writing byte for byte, and round trips.

#include <gtest/gtest.h>

#include <cerrno>

#include <sstream>

#include "FileBytes.h"
#include "common/Console.h"
#include "common/MathError.h"
#include "devices/kelt/Kelt.h"
#include "document/Document.h"
#include "document/Package.h"
#include "files/DocumentFile.h"
#include "files/JsonDocument.h"

namespace {

const char kBadFormat[] = "Неправильный формат файла";

Bytes header(std::uint32_t version, const std::string& signature = "3BPP") {
    Bytes b;
    b.text(signature).u32(version);
    return b;
}

// function 0, manual 1, byEntries 1, refTemp 20, maxAutoErr 1, scatter 5.
Bytes& options(Bytes& b, double pulseWeight) {
    return b.u8(0).u8(1).u8(1).f64(20.0).f64(1.0).f64(5.0).f64(pulseWeight);
}

Bytes& packageHeader(Bytes& b, unsigned type, unsigned method, std::uint32_t entries) {
    b.u8(type).u8(method);
    for (unsigned w : {2024u, 5u, 3u, 15u, 10u, 30u, 0u, 0u}) b.u16(w);
    return b.u32(entries);
}

// One Dorn entry: t 21.5, reference 10, timeRef 36, time1 35, pulses 101 and 7.
Bytes& dornEntry(Bytes& b, unsigned off = 1) {
    return b.f64(21.5).f64(10.0).f64(36.0).f64(35.0).i32(101).i32(7).u8(off);
}

// A small Dorn document (type code 1, diameter code 5, weight position 1
// = 0.01 m3 per pulse) exactly as the writer lays it out.
Bytes dornBody(unsigned type = 1) {
    Bytes b;
    b.u8(type).u32(12345678).u8(5);
    options(b, 0.01);
    b.u32(1).f64(0.5).f64(0.25).f64(0.0);
    b.u32(1);
    packageHeader(b, 0, 0, 1);
    dornEntry(b);
    b.u32(8).i32(0).i32(1);
    return b;
}

Bytes dornFile(std::uint32_t version = 5) {
    Bytes b = header(version);
    b.raw(dornBody().data);
    return b;
}

class DocumentFileTest : public ::testing::Test {
protected:
    Console console;
    Document doc{console};

    void read(const std::string& bytes) {
        std::istringstream in(bytes, std::ios::binary);
        files::ReadDocument(in, doc);
    }
    std::string snapshot() const { return files::DocumentToJson(doc).dump(); }
};

std::string errorOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const std::exception& e) {
        return e.what();
    }
    return "no error";
}

TEST_F(DocumentFileTest, WritesTheDocumentByteForByte) {
    ASSERT_TRUE(doc.create(1));
    DeviceBase& device = *doc.device();
    device.SetIdent({12345678, 5});
    const std::uint8_t settings[8] = {0, 0, 0, 0, 1, 0, 0, 0};
    device.SetSettings(settings, 8);
    device.SetLines({{0.5, 0.25, 0.0}}, 0);
    PackagePtr package = doc.addPackage(PackageType::Calibration, Method::Volume);
    package->created = {2024, 5, 3, 15, 10, 30, 0, 0};
    auto& dorn = static_cast<Package<DornEntry>&>(*package);
    DornEntry e{};
    e.t = 21.5;
    e.volRef = 10.0;
    e.timeRef = 36.0;
    e.time1 = 35.0;
    e.pulses1 = 101;
    e.pulses2 = 7;
    e.off = 1;
    e.massRef = 99.0;  // derived: not stored
    dorn.entries.push_back(e);

    EXPECT_EQ(files::DocumentBytes(doc), dornFile().data);
    // Saving took the device's lines and pulse weight into the document.
    EXPECT_EQ(doc.state().currentLines, (files::Lines{{0.5, 0.25, 0.0}}));
    EXPECT_EQ(doc.state().options.pulseWeight, 0.01);
}

TEST_F(DocumentFileTest, SavingStoresTheDevicePagesCoefficients) {
    ASSERT_TRUE(doc.create(1));
    doc.state().currentLines = {{1.0, 2.0, 0.0}, {4.0, 5.0, 6.0}};
    doc.device()->SetLines({{0.75, -0.5, 0.0}}, 0);
    const std::string bytes = files::DocumentBytes(doc);
    EXPECT_EQ(doc.state().currentLines, (files::Lines{{0.75, -0.5, 0.0}}));
    Bytes lines;
    lines.u32(1).f64(0.75).f64(-0.5).f64(0.0);
    EXPECT_EQ(bytes.substr(49, lines.size()), lines.data);
}

TEST_F(DocumentFileTest, ReadThenWriteGivesTheSameBytes) {
    read(dornFile().data);
    EXPECT_EQ(doc.device()->Type(), 1);
    ASSERT_EQ(doc.packages().size(), 1u);
    EXPECT_EQ(doc.packages()[0]->created, (SystemTime{2024, 5, 3, 15, 10, 30, 0, 0}));
    EXPECT_EQ(files::DocumentBytes(doc), dornFile().data);
}

// Entry records of each family, with the reference quantity of each method.
TEST(PackageRecordTest, EntryRecordsHoldTheStoredFieldsAtTheirPlaces) {
    auto state = std::make_shared<DocumentState>();
    std::ostringstream out(std::ios::binary);

    Package<KeltEntry> kelt(state);
    kelt.type = PackageType::Verification;
    kelt.method = Method::Reference;
    KeltEntry k{};
    k.t = 1, k.flowRef = 2, k.volRef = 99, k.timeRef = 3, k.time1 = 4, k.pulses1 = 5, k.pulses2 = 6, k.section = 7;
    k.point = 1, k.off = 0;
    kelt.entries = {k};
    kelt.save(out);
    // Type, method, an all-zero creation time, one entry.
    Bytes expected;
    expected.u8(1).u8(2).zeros(16).u32(1).f64(1).f64(2).f64(3).f64(4).i32(5).i32(6).i32(7).u8(1).u8(0);
    EXPECT_EQ(out.str(), expected.data);

    out.str("");
    Package<EprEntry> rv(state);
    rv.method = Method::Mass;
    EprEntry r{};
    r.t = 1, r.massRef = 2, r.volRef = 99, r.timeRef = 3, r.code = 4, r.pulses2 = 5, r.section = 6, r.point = 0;
    r.off = 1;
    rv.entries = {r};
    rv.save(out);
    expected = Bytes{};
    expected.u8(0).u8(1).zeros(16).u32(1).f64(1).f64(2).f64(3).f64(4).i32(5).i32(6).u8(0).u8(1);
    EXPECT_EQ(out.str(), expected.data);
}

// A saved file is written a piece of records at a time: a package of many
// pieces, cut anywhere, gives the same bytes as the whole document at once.
TEST_F(DocumentFileTest, APackageOfManyWritePiecesIsWrittenByteForByte) {
    ASSERT_TRUE(doc.create(25));
    for (Method method : {Method::Mass, Method::Volume}) {
        auto& kelt = static_cast<Package<KeltEntry>&>(*doc.addPackage(PackageType::Calibration, method));
        kelt.entries.resize(20000);
        for (std::size_t i = 0; i < kelt.entries.size(); ++i) {
            kelt.entries[i].t = 10.0 + static_cast<double>(i);
            kelt.entries[i].massRef = 0.5 * static_cast<double>(i);
            kelt.entries[i].volRef = 2.0 * static_cast<double>(i);
            kelt.entries[i].pulses1 = static_cast<std::int32_t>(i);
        }
    }
    TempDir dir;
    files::WriteDocument(dir.file("doc.srv"), doc);
    EXPECT_EQ(readFile(dir.file("doc.srv")), files::DocumentBytes(doc));

    const PackageBase& package = *doc.packages()[0];
    std::string whole, cut;
    package.appendEntryRecords(whole);
    const std::pair<std::size_t, std::size_t> kPieces[] = {{0, 1}, {1, 6999}, {7000, 12999}, {19999, 1}, {20000, 0}};
    for (const auto& [first, count] : kPieces) package.appendEntryRecords(cut, first, count);
    EXPECT_EQ(cut, whole);
    EXPECT_THROW(package.appendEntryRecords(cut, 19999, 2), std::out_of_range);
    EXPECT_THROW(package.appendEntryRecords(cut, 20001, 0), std::out_of_range);
}

TEST(PackageRecordTest, LoadTakesTheHeaderAndTheReferenceQuantityByMethod) {
    auto state = std::make_shared<DocumentState>();
    Package<DornEntry> package(state);
    Bytes b;
    packageHeader(b, 5, 0, 1);
    dornEntry(b, 0);
    std::istringstream in(b.data, std::ios::binary);
    package.load(in);
    ASSERT_TRUE(in);
    EXPECT_EQ(package.type, PackageType::Verification);  // type byte 5
    EXPECT_EQ(package.method, Method::Volume);
    ASSERT_EQ(package.entries.size(), 1u);
    const DornEntry& e = package.entries[0];
    EXPECT_EQ(e.volRef, 10.0);
    // Nothing derived yet: recalcAll has not run.
    EXPECT_EQ(e.massRef, 0.0);
    EXPECT_EQ(e.flowRef, 0.0);
    EXPECT_EQ(e.pulses1, 101);
    EXPECT_EQ(e.pulses2, 7);
    EXPECT_EQ(e.off, 0);
}

TEST(PackageRecordTest, EntriesAreReplacedOnlyWhenAllOfThemWereRead) {
    auto state = std::make_shared<DocumentState>();
    Package<DornEntry> package(state);
    package.entries.resize(3);
    Bytes b;
    packageHeader(b, 0, 0, 2);
    dornEntry(b);  // the second entry is missing
    std::istringstream in(b.data, std::ios::binary);
    package.load(in);
    EXPECT_FALSE(in);
    EXPECT_EQ(package.entries.size(), 3u);
}

struct BadFile {
    const char* reason;
    std::string bytes;
};

Bytes withSettings(std::uint32_t size) {
    Bytes b = header(5);
    std::string body = dornBody().data;
    body.resize(body.size() - 12);
    b.raw(body).u32(size).zeros(size);
    return b;
}

TEST_F(DocumentFileTest, DamagedFilesAreRefusedAndTheDocumentStaysAsItWas) {
    Bytes type37 = header(5), family3 = header(3);
    type37.raw(dornBody(37).data);
    family3.raw(dornBody(3).data);
    const BadFile kBad[] = {
        {"empty file", ""},
        {"short header", "3BP"},
        {"header only up to the version", "3BPP\x05"},
        {"wrong signature", header(5, "3BPQ").raw(dornBody().data).data},
        {"version 0", header(0).raw(dornBody().data).data},
        {"version 6", header(6).raw(dornBody().data).data},
        {"type byte 37 in version 5", type37.data},
        {"family number 3 in version 3", family3.data},
        {"settings size 1025", withSettings(1025).data},
        {"header without a body", header(5).data},
    };
    ASSERT_TRUE(doc.create(20));
    doc.addPackage(PackageType::Verification, Method::Mass)->addEntry();
    const DeviceBase* device = doc.device();
    const std::string before = snapshot();
    for (const BadFile& bad : kBad) {
        SCOPED_TRACE(bad.reason);
        EXPECT_EQ(errorOf([&] { read(bad.bytes); }), kBadFormat);
        EXPECT_EQ(doc.device(), device);
        EXPECT_EQ(snapshot(), before);
    }
}

TEST_F(DocumentFileTest, AFileCutAnywhereAfterTheHeaderIsRefused) {
    for (std::uint32_t version : {3u, 4u, 5u}) {
        Bytes file = header(version);
        // Family number 0 for version 3, type code 1 otherwise.
        file.raw(dornBody(version == 3 ? 0 : 1).data);
        ASSERT_TRUE(doc.create(20));
        const std::string before = snapshot();
        for (std::size_t length = 8; length < file.size(); ++length) {
            SCOPED_TRACE("version " + std::to_string(version) + ", " + std::to_string(length) + " bytes");
            EXPECT_EQ(errorOf([&] { read(file.data.substr(0, length)); }), kBadFormat);
            EXPECT_EQ(snapshot(), before);
        }
        read(file.data);  // the whole file is fine
        EXPECT_EQ(doc.device()->Type(), 1);
    }
}

TEST_F(DocumentFileTest, BytesAfterTheSettingsAreIgnored) {
    read(dornFile().data);
    const std::string plain = snapshot();
    read(dornFile().raw("trailing bytes").data);
    EXPECT_EQ(snapshot(), plain);
}

TEST_F(DocumentFileTest, SettingsOf1024BytesAreAccepted) {
    Bytes file = withSettings(1024);
    file.data[file.size() - 1024 + 4] = 2;  // weight position 2 in the first 8 bytes
    read(file.data);
    EXPECT_EQ(doc.device()->PulseWeight(), 0.1);
}

TEST_F(DocumentFileTest, TypeByte36GivesKeltModel18) {
    Bytes file = header(5);
    Bytes body;
    body.u8(36).u32(1).u8(0);
    options(body, 0.01);
    body.u32(0).u32(0).u32(0);
    read(file.raw(body.data).data);
    ASSERT_NE(doc.device(), nullptr);
    EXPECT_EQ(doc.device()->Type(), 36);
    ASSERT_NE(dynamic_cast<Kelt*>(doc.device()), nullptr);
}

TEST_F(DocumentFileTest, TheDeviceModelIsKeptWhenTheTypeIsTheSame) {
    ASSERT_TRUE(doc.create(1));
    const DeviceBase* device = doc.device();
    read(dornFile().data);
    EXPECT_EQ(doc.device(), device);
    EXPECT_EQ(doc.packages().size(), 1u);

    Bytes other = header(5);
    read(other.raw(dornBody(4).data).data);
    EXPECT_NE(doc.device(), device);
    EXPECT_EQ(doc.device()->Type(), 4);
}

struct FamilyCase {
    const char* name;
    unsigned family;
    std::string settings;
    int code;
};

std::string word(std::int32_t v) { return Bytes{}.i32(v).data; }

TEST_F(DocumentFileTest, Version3FamilyAndModelNumberGiveTheTypeCode) {
    const FamilyCase kCases[] = {
        {"Kelt model 2 is position 3", 1, word(2), 21},
        {"Kelt model 9 counts from 6", 1, word(9), 21},
        {"Kelt model 4 is position 0", 1, word(4), 18},
        {"Kelt model 3 is position 7", 1, word(3), 25},
        {"Kelt model 100 is clamped to 10", 1, word(100), 28},
        {"Kelt model -1 is clamped to 0", 1, word(-1), 18},
        {"Kelt block shorter than 4 bytes", 1, std::string("\x05\x00", 2), 18},
        {"Dorn model 20 is clamped to 16", 0, word(20), 17},
        {"Dorn model -3 is clamped to 0", 0, word(-3), 1},
        {"Dorn model 5", 0, word(5) + word(0), 6},
        {"RV", 2, word(7), 0},
    };
    for (const FamilyCase& c : kCases) {
        SCOPED_TRACE(c.name);
        Bytes file = header(3);
        file.u8(c.family).u32(1).u8(3);
        options(file, 0.01);
        file.u32(0).u32(0).u32(static_cast<std::uint32_t>(c.settings.size())).raw(c.settings);
        read(file.data);
        EXPECT_EQ(doc.device()->Type(), c.code);
    }
}

struct MethodCase {
    std::uint32_t version;
    unsigned byte;
    Method method;
    int inputField;  // where the stored reference quantity ends up
};

TEST_F(DocumentFileTest, MethodBytesOfEachVersion) {
    const MethodCase kCases[] = {
        {5, 0, Method::Volume, kVolRef},      {5, 1, Method::Mass, kMassRef},   {5, 2, Method::Reference, kFlowRef},
        {5, 7, Method::Reference, kFlowRef},  {5, 0xFF, Method::Volume, kVolRef}, {5, 0x80, Method::Volume, kVolRef},
        {4, 0, Method::Volume, kVolRef},      {4, 1, Method::Mass, kMassRef},   {4, 2, Method::Mass, kMassRef},
        {4, 0xFF, Method::Mass, kMassRef},    {3, 2, Method::Mass, kMassRef},
    };
    for (const MethodCase& c : kCases) {
        SCOPED_TRACE("version " + std::to_string(c.version) + ", method byte " + std::to_string(c.byte));
        Bytes file = header(c.version);
        file.u8(c.version == 3 ? 0 : 1).u32(1).u8(5);
        options(file, 0.01);
        file.u32(0).u32(1);
        packageHeader(file, 0, c.byte, 1);
        dornEntry(file);
        file.u32(8).i32(0).i32(1);
        read(file.data);
        ASSERT_EQ(doc.packages().size(), 1u);
        const PackageBase& package = *doc.packages()[0];
        EXPECT_EQ(package.method, c.method);
        double value = 0.0;
        package.getField(0, c.inputField, &value);
        EXPECT_EQ(value, 10.0);
    }
}

TEST_F(DocumentFileTest, EveryFamilyRoundTripsThroughTheFile) {
    for (int code : {0, 7, 25}) {
        SCOPED_TRACE("type code " + std::to_string(code));
        ASSERT_TRUE(doc.create(code));
        doc.device()->SetIdent({150999999u + static_cast<unsigned>(code), 4});
        doc.state().options.refTemp = 21.25;
        for (Method method : {Method::Volume, Method::Mass, Method::Reference}) {
            PackagePtr p = doc.addPackage(method == Method::Mass ? PackageType::Verification : PackageType::Calibration,
                                          method);
            for (int i = 0; i < 3; ++i) {
                p->addEntry();
                const double t = 15.0 + i, ref = 100.0 + i, timeRef = 60.0 + i;
                const int refField = method == Method::Volume ? kVolRef : method == Method::Mass ? kMassRef : kFlowRef;
                const std::int32_t pulses = 1000 + i, section = i, flag = i % 2;
                p->setField(i, kT, &t);
                p->setField(i, refField, &ref);
                p->setField(i, kTimeRef, &timeRef);
                p->setField(i, kCode, &ref);
                p->setField(i, kTime1, &timeRef);
                p->setField(i, kPulses1, &pulses);
                p->setField(i, kPulses2, &pulses);
                p->setField(i, kSection, &section);
                const std::uint8_t b = static_cast<std::uint8_t>(flag);
                p->setField(i, kPoint, &b);
                p->setField(i, kOff, &b);
            }
        }
        // A device model shows what its settings block gives only once it
        // has been handed one; reading the document in settles that.
        read(files::DocumentBytes(doc));
        doc.tabChanged();
        const std::string bytes = files::DocumentBytes(doc);
        const std::string before = snapshot();
        Console otherConsole;
        Document other(otherConsole);
        std::istringstream in(bytes, std::ios::binary);
        files::ReadDocument(in, other);
        EXPECT_EQ(files::DocumentToJson(other).dump(), before);
        EXPECT_EQ(files::DocumentBytes(other), bytes);
    }
}

TEST_F(DocumentFileTest, AnEmptyDocumentRoundTrips) {
    ASSERT_TRUE(doc.create(18));
    const std::string bytes = files::DocumentBytes(doc);
    Console otherConsole;
    Document other(otherConsole);
    std::istringstream in(bytes, std::ios::binary);
    files::ReadDocument(in, other);
    EXPECT_TRUE(other.packages().empty());
    EXPECT_EQ(files::DocumentBytes(other), bytes);
}

TEST_F(DocumentFileTest, AFileThatCannotBeOpenedRaisesTheSystemsError) {
    TempDir dir;
    ASSERT_TRUE(doc.create(1));
    const std::string before = snapshot();
    const std::string missing = errorOf([&] { files::ReadDocument(dir.file("missing.srv"), doc); });
    EXPECT_NE(missing.find(systemText(ENOENT)), std::string::npos) << missing;
    const std::string folder = errorOf([&] { files::ReadDocument(dir.path(), doc); });
    EXPECT_NE(folder.find(systemText(EISDIR)), std::string::npos) << folder;
    EXPECT_EQ(snapshot(), before);

    writeFile(dir.file("doc.srv"), dornFile(4).data);
    files::ReadDocument(dir.file("doc.srv"), doc);
    EXPECT_EQ(doc.packages().size(), 1u);
}

}  // namespace
