// An entry from measured quantities: which fields each package takes them
// into, what the new entry keeps from the one before, and that it is
// computed at once.

#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "document/MeasuredEntry.h"
#include "document/PackageBase.h"

namespace {

struct Case {
    const char* name;
    EntryType entryType;
    Method method;
    Measurement measured;
    // Field id and the value it must hold (pulse counts compared as doubles);
    // a field the entry type lacks must stay absent.
    std::vector<std::pair<int, double>> want;
    std::vector<int> absent;
};

double valueOf(const PackageBase& package, int row, int id) {
    const std::optional<FieldValue> v = package.fieldValue(row, id);
    if (!v) return -1e300;
    return std::visit([](auto x) { return static_cast<double>(x); }, *v);
}

// What the Nivor dialog gives: 0.5 s, 500 pulses on input 1, 125 on the
// other, 21 °C and the reference quantity 0.5.
constexpr Measurement kNivor{.timeRef = 0.5, .pulses1 = 500, .time1 = 0.5, .pulses2 = 125, .t = 21.0, .reference = 0.5};
// What "Ввод из РВ" gives: the mean code and the pulse counter.
constexpr Measurement kRv{.pulses2 = 77, .code = 1234.5};

// The density of water at 21 °C (the 30 °C row) and 20 °C (the 20 °C row).
constexpr double kRho21 = (-0.25693048 * 21 + 0.04432264 + 1003.37381462) * 0.001;
constexpr double kRho20 = (-0.15143316 * 20 + 0.04583111 + 1001.26618538) * 0.001;

TEST(MeasuredEntry, QuantitiesGoToTheFieldsOfThePackageAndAreComputed) {
    const Case cases[] = {
        {"Dorn by volume: the reference is the volume, the code has no field",
         EntryType::Dorn, Method::Volume,
         Measurement{
             .timeRef = 0.5, .pulses1 = 500, .time1 = 0.5, .pulses2 = 125, .t = 21.0, .reference = 0.5, .code = 9},
         {{kTimeRef, 0.5}, {kPulses1, 500}, {kTime1, 0.5}, {kPulses2, 125}, {kT, 21.0}, {kVolRef, 0.5},
          {kFlowRef, 3.6}, {kFreq, 998.0}, {kMassRef, 0.5 * kRho21}, {kVolMeas, 125.0}},
         {kCode}},
        {"Kelt by mass: the reference is the mass",
         EntryType::Kelt, Method::Mass, kNivor,
         {{kMassRef, 0.5}, {kVolRef, 0.5 / kRho21}, {kFlowRef, 3.6 * (0.5 / kRho21) / 0.5}, {kFreq, 998.0}},
         {kCode}},
        {"Kelt by the reference meter: the reference is the flow",
         EntryType::Kelt, Method::Reference, kNivor,
         {{kFlowRef, 0.5}, {kVolRef, 0.5 * 0.5 / 3.6}, {kPulses2, 125}},
         {kCode}},
        {"RV: the code and the pulse counter, the rest kept from the entry before",
         EntryType::RV, Method::Volume, kRv,
         // flowMeas from the one line 2·code + 1; t and volRef of the entry
         // before, the reference time not measured.
         {{kCode, 1234.5}, {kPulses2, 77}, {kT, 20.0}, {kVolRef, 10.0}, {kTimeRef, 0.0}, {kFlowMeas, 2470.0},
          {kLine, 1}, {kVolMeas, 77.0}, {kMassRef, 10.0 * kRho20}},
         {kPulses1, kTime1, kFreq}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto state = std::make_shared<DocumentState>();
        state->options.resetToDefaults();
        state->options.pulseWeight = 0.001;
        state->currentLines = {{2.0, 1.0, 0.0}};
        PackagePtr package = CreatePackage(static_cast<int>(c.entryType), state);
        ASSERT_TRUE(package);
        package->method = c.method;
        // An entry before it, typed by the user.
        package->addEntry();
        const double volRef = 10.0, timeRef = 36.0;
        package->setField(0, kVolRef, &volRef);
        package->setField(0, kTimeRef, &timeRef);
        package->recalcEntry(0);

        EXPECT_EQ(addMeasuredEntry(*package, c.measured), 1);
        ASSERT_EQ(package->entryCount(), 2);
        for (const auto& [id, value] : c.want) EXPECT_NEAR(valueOf(*package, 1, id), value, 1e-9) << FieldName(id);
        for (int id : c.absent) EXPECT_FALSE(package->fieldValue(1, id).has_value()) << FieldName(id);
        // The entry before is left as it was.
        EXPECT_EQ(valueOf(*package, 0, kTimeRef), 36.0);
    }
}

TEST(MeasuredEntry, ReferenceFieldFollowsTheMethod) {
    EXPECT_EQ(referenceField(Method::Volume), kVolRef);
    EXPECT_EQ(referenceField(Method::Mass), kMassRef);
    EXPECT_EQ(referenceField(Method::Reference), kFlowRef);
}

}  // namespace
