// Document files of versions 1 and 2 and their conversion.

#include <gtest/gtest.h>

#include <sstream>

#include "FileBytes.h"
#include "OldFileBytes.h"
#include "common/Console.h"
#include "document/Document.h"
#include "document/Package.h"
#include "files/DocumentFile.h"

namespace {

class OldDocumentTest : public ::testing::Test {
protected:
    Console console;
    Document doc{console};

    void read(const Bytes& file) {
        std::istringstream in(file.data, std::ios::binary);
        files::ReadDocument(in, doc);
    }
    // The version 3 body the converter makes of a file's body.
    static std::string body(const Bytes& file, int version) {
        std::istringstream in(file.data.substr(8), std::ios::binary);
        std::ostringstream out(std::ios::binary);
        files::ConvertOldDocument(out, in, version);
        return out.str();
    }
};

TEST_F(OldDocumentTest, Version1DornModel3GivesTypeCode4WithNoLines) {
    OldHeader h;
    h.model = 3;
    h.weight = 1;  // position 2: 0.001
    h.function = 1;
    h.mode = 1;
    read(oldFile(1, h, {OldRecord{}}));
    EXPECT_EQ(doc.device()->Type(), 4);
    Ident ident;
    doc.device()->GetIdent(ident);
    EXPECT_EQ(ident.serial, 7654321u);
    const ApprOptions& o = doc.state().options;
    EXPECT_EQ(o.function, 2);  // Proportional
    EXPECT_EQ(o.manual, 0);
    EXPECT_EQ(o.byEntries, 0);
    EXPECT_DOUBLE_EQ(o.refTemp, 20.0);
    EXPECT_DOUBLE_EQ(o.maxAutoErr, 1.0);
    EXPECT_DOUBLE_EQ(o.sectionScatter, 5.0);
    EXPECT_EQ(o.pulseWeight, 0.001);
    EXPECT_TRUE(doc.state().currentLines.empty());
    ASSERT_EQ(doc.packages().size(), 1u);
    const PackageBase& p = *doc.packages()[0];
    EXPECT_EQ(p.type, PackageType::Calibration);
    EXPECT_EQ(p.method, Method::Volume);
    EXPECT_EQ(p.created, (SystemTime{2003, 1, 3, 1, 0, 0, 0, 0}));
}

TEST_F(OldDocumentTest, Version2KeltModel17GivesTypeCode18AndAtMost7Lines) {
    OldHeader h;
    h.model = 17;
    read(oldFile(2, h, {}, 12));
    EXPECT_EQ(doc.device()->Type(), 18);
    // The converter's body holds seven lines; what the document keeps after
    // that is the device's business.
    const std::string converted = body(oldFile(2, h, {}, 12), 2);
    Bytes expected;
    expected.u32(7);
    for (int i = 0; i < 7; ++i) expected.f64(i + 1).f64(0.5 * i).f64(100.0 * (i + 1));
    EXPECT_EQ(converted.substr(1 + 5 + 35, expected.size()), expected.data);
    EXPECT_TRUE(doc.packages().empty());  // no records, no packages
}

struct WeightCase {
    const char* name;
    std::uint32_t model, weight;
    double pulseWeight;
};

TEST_F(OldDocumentTest, PulseWeightPositions) {
    const WeightCase kCases[] = {
        {"Dorn w = 3 is position 6", 3, 3, 0.1},
        {"Kelt w = 3 is position 3", 17, 3, 0.005},
        {"Dorn w = 20 is limited to 8", 3, 20, 1.0},
        {"Kelt w = 20 is limited to 8", 17, 20, 1.0},
        {"Dorn w = 0", 3, 0, 0.0001},
    };
    for (const WeightCase& c : kCases) {
        SCOPED_TRACE(c.name);
        OldHeader h;
        h.model = c.model;
        h.weight = c.weight;
        const std::string converted = body(oldFile(1, h, {}), 1);
        double pulseWeight;
        std::memcpy(&pulseWeight, converted.data() + 1 + 5 + 3 + 24, 8);
        EXPECT_EQ(pulseWeight, c.pulseWeight);
    }
}

TEST_F(OldDocumentTest, ApproximationModes) {
    struct Mode {
        std::uint32_t m;
        std::uint8_t manual, byEntries;
    };
    for (const Mode& mode : {Mode{1, 0, 0}, Mode{2, 1, 0}, Mode{3, 1, 1}, Mode{0, 1, 0}}) {
        SCOPED_TRACE("m = " + std::to_string(mode.m));
        OldHeader h;
        h.mode = mode.m;
        read(oldFile(1, h, {}));
        EXPECT_EQ(doc.state().options.manual, mode.manual);
        EXPECT_EQ(doc.state().options.byEntries, mode.byEntries);
    }
}

TEST_F(OldDocumentTest, RecordsFormCalibrationAndVerificationPackages) {
    OldHeader h;
    h.model = 19;  // Kelt: version 3 model number 2, position 3, code 21
    OldRecord calibration;
    calibration.flags = 0x03;  // point and off
    calibration.section = 2;
    OldRecord unused;
    unused.unused = 0x01;
    OldRecord verification;
    verification.kind = 0x80;
    verification.t = 25.0;
    read(oldFile(1, h, {calibration, unused, verification, calibration}));
    EXPECT_EQ(doc.device()->Type(), 21);
    ASSERT_EQ(doc.packages().size(), 2u);
    const auto& cal = static_cast<const Package<KeltEntry>&>(*doc.packages()[0]);
    const auto& ver = static_cast<const Package<KeltEntry>&>(*doc.packages()[1]);
    EXPECT_EQ(cal.type, PackageType::Calibration);
    EXPECT_EQ(ver.type, PackageType::Verification);
    ASSERT_EQ(cal.entries.size(), 2u);
    ASSERT_EQ(ver.entries.size(), 1u);
    const KeltEntry& e = cal.entries[0];
    EXPECT_EQ(e.volRef, 10.0);
    EXPECT_EQ(e.timeRef, 36.0);
    EXPECT_EQ(e.time1, 35.0);
    EXPECT_EQ(e.pulses1, 101);
    EXPECT_EQ(e.pulses2, 7);
    EXPECT_EQ(e.section, 3);  // 0-based in the old record
    EXPECT_EQ(e.point, 1);
    EXPECT_EQ(e.off, 1);
    EXPECT_EQ(ver.entries[0].t, 25.0);
    EXPECT_EQ(ver.entries[0].point, 0);
}

TEST_F(OldDocumentTest, VerificationRecordsOnlyGiveOneVerificationPackage) {
    OldRecord verification;
    verification.kind = 0x80;
    verification.flags = 0x02;
    read(oldFile(2, OldHeader{}, {verification}));
    ASSERT_EQ(doc.packages().size(), 1u);
    EXPECT_EQ(doc.packages()[0]->type, PackageType::Verification);
    const auto& p = static_cast<const Package<DornEntry>&>(*doc.packages()[0]);
    EXPECT_EQ(p.entries[0].off, 1);

    OldRecord unused;
    unused.unused = 0xFF;
    read(oldFile(1, OldHeader{}, {unused, unused}));
    EXPECT_TRUE(doc.packages().empty());
}

TEST_F(OldDocumentTest, SettingsBlocksOfBothFamilies) {
    OldHeader dorn;
    dorn.model = 5;
    dorn.diameter = 9;  // group 2
    dorn.weight = 3;
    const std::string d = body(oldFile(1, dorn, {}), 1);
    EXPECT_EQ(d.substr(d.size() - 12), Bytes{}.u32(8).i32(5).i32(1).data);

    OldHeader kelt;
    kelt.model = 21;  // from 20 on one place further: 5
    kelt.diameter = 6;  // group 1
    kelt.weight = 5;
    kelt.outputType = 3;
    kelt.keltN = 25000;
    kelt.pulseLength = 15000;
    const std::string k = body(oldFile(1, kelt, {}), 1);
    EXPECT_EQ(k.substr(k.size() - 36), Bytes{}.u32(32).i32(5).i32(1).i32(3).i32(2).f64(15000 * 0.0001).i32(0).i32(0).data);

    kelt.keltN = 0;
    const std::string n0 = body(oldFile(1, kelt, {}), 1);
    EXPECT_EQ(n0.substr(n0.size() - 36 + 16, 4), Bytes{}.i32(1).data);
}

TEST_F(OldDocumentTest, AFileCutShortIsAnUnknownFormat) {
    const Bytes file = oldFile(2, OldHeader{}, {OldRecord{}, OldRecord{}}, 2);
    ASSERT_TRUE(doc.create(20));
    doc.addPackage(PackageType::Calibration, Method::Volume);
    const DeviceBase* device = doc.device();
    for (std::size_t length = 8; length < file.size(); ++length) {
        SCOPED_TRACE(std::to_string(length) + " bytes");
        Bytes cut;
        cut.raw(file.data.substr(0, length));
        try {
            read(cut);
            ADD_FAILURE() << "accepted";
        } catch (const std::exception& e) {
            EXPECT_STREQ(e.what(), "Неизвестный формат файла");
        }
        EXPECT_EQ(doc.device(), device);
        EXPECT_EQ(doc.packages().size(), 1u);
    }
    read(file);
    EXPECT_EQ(doc.packages().size(), 1u);
    EXPECT_EQ(doc.packages()[0]->entryCount(), 2);
}

}  // namespace
