// Field access by value type: a value of another kind than the field's is
// refused, whatever package it is.

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>

#include "document/Package.h"

namespace {

template <typename T>
std::unique_ptr<PackageBase> makePackage() {
    auto p = std::make_unique<Package<T>>(std::make_shared<DocumentState>());
    p->addEntry();
    return p;
}

TEST(EntryFields, AValueOfAnotherKindIsRefusedAndChangesNothing) {
    std::unique_ptr<PackageBase> packages[] = {makePackage<DornEntry>(), makePackage<KeltEntry>(),
                                               makePackage<EprEntry>()};
    for (const auto& p : packages) {
        SCOPED_TRACE(static_cast<int>(p->entryType()));
        const double t = 21.5;
        const std::int32_t pulses = 77;
        const std::uint8_t off = 1;
        ASSERT_TRUE(p->setField(0, kT, &t));
        ASSERT_TRUE(p->setField(0, kPulses2, &pulses));
        ASSERT_TRUE(p->setField(0, kOff, &off));

        // Written as another kind: refused, the field keeps its value.
        EXPECT_THROW(p->setField(0, kT, &pulses), std::invalid_argument);
        EXPECT_THROW(p->setField(0, kPulses2, &t), std::invalid_argument);
        EXPECT_THROW(p->setField(0, kOff, &pulses), std::invalid_argument);
        EXPECT_THROW(p->setFieldValue(0, kOff, FieldValue(1.0)), std::invalid_argument);
        // Read as another kind: refused, the destination untouched.
        double asDouble = -1.0;
        std::int32_t asInt = -1;
        EXPECT_THROW(p->getField(0, kPulses2, &asDouble), std::invalid_argument);
        EXPECT_THROW(p->getField(0, kT, &asInt), std::invalid_argument);
        EXPECT_EQ(asDouble, -1.0);
        EXPECT_EQ(asInt, -1);

        double tBack = 0;
        std::int32_t pulsesBack = 0;
        std::uint8_t offBack = 0;
        EXPECT_TRUE(p->getField(0, kT, &tBack));
        EXPECT_TRUE(p->getField(0, kPulses2, &pulsesBack));
        EXPECT_TRUE(p->getField(0, kOff, &offBack));
        EXPECT_EQ(tBack, t);
        EXPECT_EQ(pulsesBack, pulses);
        EXPECT_EQ(offBack, off);
        EXPECT_EQ(p->fieldValue(0, kT), FieldValue(t));
    }
    // A field the entry type lacks stays "not there" whatever the value's type.
    const double x = 1.0;
    EXPECT_FALSE(packages[0]->setField(0, kSection, &x));
    EXPECT_FALSE(packages[2]->fieldValue(0, kFreq).has_value());
}

}  // namespace
