#include <gtest/gtest.h>

#include "common/Console.h"
#include "document/Document.h"

namespace {

TEST(Document, CreateResetsTheOptionsButNotThePulseWeight) {
    Console console;
    Document doc(console);
    ASSERT_TRUE(doc.create(4));
    ApprOptions& o = doc.state().options;
    o.function = 2;
    o.manual = 0;
    o.byEntries = 0;
    o.refTemp = 15;
    o.maxAutoErr = 3;
    o.sectionScatter = 9;
    o.pulseWeight = 0.5;
    console.message("old");
    ASSERT_TRUE(doc.create(18));
    EXPECT_EQ(o.function, 0);
    EXPECT_EQ(o.manual, 1);
    EXPECT_EQ(o.byEntries, 1);
    EXPECT_EQ(o.refTemp, 20.0);
    EXPECT_EQ(o.maxAutoErr, 1.0);
    EXPECT_EQ(o.sectionScatter, 5.0);
    EXPECT_EQ(o.pulseWeight, 0.5);
    EXPECT_TRUE(console.lines().empty());
}

TEST(Document, PackagesHaveTheEntryTypeOfTheDeviceCode) {
    struct Case {
        int code;
        EntryType entry;
    };
    const Case cases[] = {{4, EntryType::Dorn}, {18, EntryType::Kelt}, {34, EntryType::Kelt}, {0, EntryType::RV}};
    Console console;
    Document doc(console);
    for (const auto& c : cases) {
        ASSERT_TRUE(doc.create(c.code));
        const PackagePtr p = doc.addPackage(PackageType::Verification, Method::Mass);
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(p->entryType(), c.entry) << c.code;
        EXPECT_EQ(p->type, PackageType::Verification);
        EXPECT_EQ(p->method, Method::Mass);
        EXPECT_NE(p->created.year, 0);
    }
    EXPECT_FALSE(doc.create(37));
    EXPECT_FALSE(doc.isOpen());
    EXPECT_EQ(doc.addPackage(PackageType::Calibration, Method::Volume), nullptr);
}

TEST(Document, TabChangeTakesTheDeviceLinesAndPulseWeight) {
    Console console;
    Document doc(console);
    ASSERT_TRUE(doc.create(2));  // a Dorn model with a pulse output
    doc.device()->SetLines({{0.5, 0.25, 0}}, 0);
    PackagePtr p = doc.addPackage(PackageType::Verification, Method::Volume);
    p->addEntry();
    const std::int32_t pulses = 10;
    p->setField(0, kPulses2, &pulses);
    doc.state().currentLines.clear();
    doc.tabChanged();
    ASSERT_EQ(doc.state().currentLines.size(), 1u);
    EXPECT_EQ(doc.state().currentLines[0].a, 0.5);
    EXPECT_EQ(doc.state().currentLines[0].b, 0.25);
    EXPECT_EQ(doc.state().options.pulseWeight, doc.device()->PulseWeight());
    double volMeas = 0;
    p->getField(0, kVolMeas, &volMeas);
    EXPECT_DOUBLE_EQ(volMeas, doc.device()->PulseWeight() * 1000.0 * 10);
}

TEST(Document, DeletingAPackageKeepsACopyHeldElsewhereAlive) {
    Console console;
    Document doc(console);
    ASSERT_TRUE(doc.create(0));
    PackagePtr held = doc.addPackage(PackageType::Calibration, Method::Volume);
    std::weak_ptr<PackageBase> watch = held;
    doc.deletePackage(0);
    EXPECT_TRUE(doc.packages().empty());
    EXPECT_FALSE(watch.expired());
    held.reset();
    EXPECT_TRUE(watch.expired());
    EXPECT_THROW(doc.deletePackage(0), std::out_of_range);
}

TEST(Document, LoadKeepsADeviceOfTheSameTypeAndReplacesAnother) {
    Console console;
    Document doc(console);
    ASSERT_TRUE(doc.create(18));
    const DeviceBase* before = doc.device();
    DocumentContent same;
    same.typeCode = 18;
    same.options.resetToDefaults();
    same.lines = {{0.1, 0.2, 100}, {0.2, 0.1, 32768}};
    same.hasSettings = false;
    ASSERT_TRUE(doc.load(same));
    EXPECT_EQ(doc.device(), before);
    EXPECT_EQ(doc.state().currentLines.size(), 2u);

    DocumentContent other;
    other.typeCode = 0;
    other.hasSettings = false;
    ASSERT_TRUE(doc.load(other));
    EXPECT_NE(doc.device(), nullptr);
    EXPECT_EQ(doc.device()->Type(), 0);

    DocumentContent unknown;
    unknown.typeCode = 40;
    EXPECT_FALSE(doc.load(unknown));
    EXPECT_EQ(doc.device()->Type(), 0);
}

TEST(Document, TwoDocumentsKeepTheirOwnOptions) {
    Console console;
    Document a(console), b(console);
    ASSERT_TRUE(a.create(18));
    ASSERT_TRUE(b.create(18));
    a.state().options.refTemp = 30;
    PackagePtr pa = a.addPackage(PackageType::Calibration, Method::Volume);
    PackagePtr pb = b.addPackage(PackageType::Calibration, Method::Volume);
    for (auto& p : {pa, pb}) {
        p->addEntry();
        const std::int32_t pulses = 11;
        const double time1 = 1.0, t = 30.0;
        p->setField(0, kPulses1, &pulses);
        p->setField(0, kTime1, &time1);
        p->setField(0, kT, &t);
    }
    a.recalcAll();
    b.recalcAll();
    double ra = 0, rb = 0;
    pa->getField(0, kFreqRed, &ra);
    pb->getField(0, kFreqRed, &rb);
    EXPECT_DOUBLE_EQ(ra, 10.0);
    EXPECT_NE(rb, 10.0);
}

}  // namespace
