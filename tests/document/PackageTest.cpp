#include <gtest/gtest.h>

#include "common/Locale.h"
#include "common/MathError.h"
#include "document/DeviceTree.h"
#include "PackageFixture.h"

namespace {

Locale localeWith(char separator) {
    Locale loc;
    loc.decimalSeparator = separator;
    loc.shortDateFormat = "%d.%m.%Y";
    loc.shortTimeFormat = "%H:%M";
    return loc;
}

TEST(PackageColumns, ListsByEntryTypePackageTypeAndMethod) {
    struct Case {
        EntryType entry;
        PackageType type;
        Method method;
        std::vector<int> fields;
    };
    const Case cases[] = {
        {EntryType::Dorn, PackageType::Calibration, Method::Volume,
         {kOff, kT, kVolRef, kTimeRef, kFlowRef, kTime1, kPulses1, kFreq, kFlowMeas, kFlowErr}},
        {EntryType::Dorn, PackageType::Verification, Method::Mass,
         {kT, kMassRef, kVolRef, kTimeRef, kFlowRef, kTime1, kPulses1, kFreq, kFlowMeas, kFlowErr, kPulses2, kVolMeas,
          kVolErr}},
        {EntryType::Kelt, PackageType::Calibration, Method::Mass,
         {kOff, kPoint, kSection, kT, kMassRef, kVolRef, kTimeRef, kFlowRef, kTime1, kPulses1, kFreq, kFlowMeas,
          kFlowErr, kLine}},
        {EntryType::Kelt, PackageType::Verification, Method::Reference,
         {kT, kVolRef, kTimeRef, kFlowRef, kTime1, kPulses1, kFreq, kFlowMeas, kFlowErr, kLine, kPulses2, kVolMeas,
          kVolErr}},
        {EntryType::RV, PackageType::Calibration, Method::Volume,
         {kOff, kPoint, kSection, kT, kVolRef, kTimeRef, kFlowRef, kCode, kFlowMeas, kFlowErr, kLine}},
        {EntryType::RV, PackageType::Verification, Method::Mass,
         {kT, kMassRef, kVolRef, kTimeRef, kFlowRef, kCode, kFlowMeas, kFlowErr, kLine, kPulses2, kVolMeas, kVolErr}},
    };
    for (const auto& c : cases) {
        const auto list = ColumnList(c.entry, c.type, c.method);
        EXPECT_EQ(std::vector<int>(list.begin(), list.end()), c.fields)
            << int(c.entry) << " " << int(c.type) << " " << int(c.method);
    }
}

TEST(PackageColumns, ReadOnlyFlagFollowsTheMethod) {
    auto volume = makePackage<EprEntry>(Method::Volume);
    auto mass = makePackage<EprEntry>(Method::Mass);
    auto reference = makePackage<EprEntry>(Method::Reference);
    EXPECT_FALSE(volume->column(columnOf(*volume, kVolRef)).readOnly);
    EXPECT_TRUE(volume->column(columnOf(*volume, kFlowRef)).readOnly);
    EXPECT_TRUE(mass->column(columnOf(*mass, kVolRef)).readOnly);
    EXPECT_FALSE(mass->column(columnOf(*mass, kMassRef)).readOnly);
    EXPECT_FALSE(reference->column(columnOf(*reference, kFlowRef)).readOnly);
    EXPECT_TRUE(reference->column(columnOf(*reference, kVolRef)).readOnly);
    for (auto* p : {volume.get(), mass.get(), reference.get()}) {
        for (int id : {kFlowMeas, kFlowErr, kSection, kLine}) EXPECT_TRUE(p->column(columnOf(*p, id)).readOnly);
        for (int id : {kT, kTimeRef, kCode, kPoint, kOff}) EXPECT_FALSE(p->column(columnOf(*p, id)).readOnly);
    }
    const ColumnInfo flow = volume->column(columnOf(*volume, kFlowRef));
    EXPECT_STREQ(flow.caption, "gэт (м3/ч)");
    EXPECT_STREQ(flow.htmlCaption, "g<sub>эт</sub> (м<sup>3</sup>/ч)");
    EXPECT_EQ(flow.decimals, 6);
    EXPECT_EQ(flow.width, 70);
}

TEST(PackageEntries, AddEntryCopiesTemperatureAndVolumeOfTheLastEntry) {
    auto p = makePackage<EprEntry>();
    p->addEntry();
    EXPECT_EQ(p->entries[0].t, 20.0);
    EXPECT_EQ(p->entries[0].volRef, 0.0);
    p->entries[0].t = 31.5;
    p->entries[0].volRef = 12.0;
    p->entries[0].code = 77.0;
    p->addEntry();
    ASSERT_EQ(p->entryCount(), 2);
    EXPECT_EQ(p->entries[1].t, 31.5);
    EXPECT_EQ(p->entries[1].volRef, 12.0);
    EXPECT_EQ(p->entries[1].code, 0.0);
    p->deleteEntry(0);
    EXPECT_EQ(p->entryCount(), 1);
    EXPECT_THROW(p->deleteEntry(5), std::out_of_range);
}

TEST(PackageEntries, FieldsTheEntryTypeLacksAreLeftAlone) {
    auto dorn = makePackage<DornEntry>();
    dorn->addEntry();
    const std::int32_t section = 7;
    EXPECT_FALSE(dorn->setField(0, kSection, &section));
    EXPECT_FALSE(dorn->hasField(kCode));
    EXPECT_TRUE(dorn->hasField(kFreqRed));
    auto rv = makePackage<EprEntry>();
    rv->addEntry();
    double out = 123.0;
    EXPECT_FALSE(rv->getField(0, kFreq, &out));
    EXPECT_EQ(out, 123.0);
    const double code = 512.5;
    EXPECT_TRUE(rv->setField(0, kCode, &code));
    EXPECT_TRUE(rv->getField(0, kCode, &out));
    EXPECT_EQ(out, 512.5);
}

class CellText : public ::testing::TestWithParam<char> {};

TEST_P(CellText, ShowsAndAcceptsNumbersInTheUserLocale) {
    ScopedLocale scoped(localeWith(GetParam()));
    const std::string sep(1, GetParam());
    auto p = makePackage<KeltEntry>(Method::Volume);
    p->addEntry();
    const int tCol = columnOf(*p, kT), nCol = columnOf(*p, kPulses1), offCol = columnOf(*p, kOff);
    EXPECT_EQ(p->cellText(0, tCol), "20" + sep + "00");
    for (const char* typed : {"2,5", "2.5"}) {
        p->setCellText(0, tCol, typed);
        EXPECT_EQ(p->entries[0].t, 2.5) << typed;
    }
    EXPECT_EQ(p->cellText(0, tCol), "2" + sep + "50");
    // Texts that are numbers only up to some point, and numbers no entry holds.
    for (const char* typed : {"abc", "1 000", "0x10", "1,5.3", "1e400", "inf", "-INF", "nan", ""}) {
        EXPECT_THROW(p->setCellText(0, tCol, typed), UserError) << typed;
        EXPECT_EQ(p->entries[0].t, 2.5) << typed;
    }

    p->setCellText(0, nCol, "101");
    EXPECT_EQ(p->entries[0].pulses1, 101);
    EXPECT_THROW(p->setCellText(0, nCol, "1,5"), UserError);
    EXPECT_THROW(p->setCellText(0, nCol, "99999999999"), UserError);
    EXPECT_EQ(p->entries[0].pulses1, 101);

    EXPECT_EQ(p->cellText(0, offCol), "-");
    p->setCellChecked(0, offCol, true);
    EXPECT_EQ(p->cellText(0, offCol), "*");
    EXPECT_TRUE(p->cellChecked(0, offCol));
    p->setCellText(0, offCol, "0");  // a check box column takes no text
    EXPECT_EQ(p->entries[0].off, 1);
}

INSTANTIATE_TEST_SUITE_P(Separators, CellText, ::testing::Values('.', ','),
                         [](const auto& info) { return info.param == '.' ? "Dot" : "Comma"; });

TEST(PackageName, KindAndCreationTimeInTheUserLocale) {
    ScopedLocale scoped(localeWith(','));
    auto p = makePackage<DornEntry>(Method::Volume, PackageType::Verification);
    p->created = *SystemTime::fromIso("2026-03-05T09:07:45.123");
    EXPECT_EQ(packageName(*p), "Поверочный 05.03.2026 09:07");
    p->type = PackageType::Calibration;
    p->created.month = 13;
    EXPECT_EQ(packageName(*p), "Градуировочный ---");
}

TEST(PackageFactory, MakesThePackageOfAnEntryType) {
    auto state = std::make_shared<DocumentState>();
    EXPECT_EQ(CreatePackage(0, state)->entryType(), EntryType::Dorn);
    EXPECT_EQ(CreatePackage(1, state)->entryType(), EntryType::Kelt);
    EXPECT_EQ(CreatePackage(2, state)->entryType(), EntryType::RV);
    EXPECT_EQ(CreatePackage(3, state), nullptr);
    EXPECT_EQ(CreatePackage(-1, state), nullptr);
}

TEST(DeviceTree, GroupsCannotBeChosenAndDevicesFollowTheirGroup) {
    const auto rows = DeviceTreeRows();
    ASSERT_FALSE(rows.empty());
    EXPECT_STREQ(rows[0].text, "Ralvo (РВ)");
    EXPECT_EQ(rows[0].code, 0);
    std::vector<int> codes;
    bool groupAbove = false;
    for (const auto& row : rows) {
        if (row.isGroup()) {
            groupAbove = true;
            EXPECT_FALSE(row.underGroup) << row.text;
            continue;
        }
        if (row.underGroup) {
            EXPECT_TRUE(groupAbove) << row.text;
        }
        codes.push_back(row.code);
    }
    // Every code 0 … 34 once, in order; 35 and 36 are not offered.
    std::vector<int> expected(35);
    for (int i = 0; i < 35; ++i) expected[static_cast<std::size_t>(i)] = i;
    EXPECT_EQ(codes, expected);
    const auto kelt = std::find_if(rows.begin(), rows.end(), [](const auto& r) { return r.code == 18; });
    EXPECT_STREQ(kelt->text, "КЕЛТ-ЧИ2-xxx");
    EXPECT_FALSE(kelt->underGroup);
}

}  // namespace
