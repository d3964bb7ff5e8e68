#include <gtest/gtest.h>

#include "common/Console.h"
#include "devices/DeviceBase.h"
#include "devices/dorn/Dorn.h"
#include "devices/kelt/Kelt.h"
#include "devices/rv/RVx2.h"

namespace {

struct FactoryCase {
    int code;
    bool created;
    const char* name;
    int settingsSize;
};

TEST(CreateDevice, MakesTheModelOfEachCodeRange) {
    const FactoryCase cases[] = {
        {-1, false, "", 0},
        {37, false, "", 0},
        {1000, false, "", 0},
        {0, true, "РВ-2.2-А", 142},
        {1, true, "ДОРН-Т", 8},
        {2, true, "ДОРН-ТИ1", 8},
        {17, true, "ДОРН-ТИ2-xxx-3П (КЕЛТ3-ЧИ2.03-xxx)", 8},
        {18, true, "КЕЛТ-ЧИ2-xxx", 32},
        {21, true, "КЕЛТ1-ЧИ2.11-xxx", 32},
        {36, true, "КЕЛТ4-К.57-xxx", 32},
    };
    Console console;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.code);
        const auto device = CreateDevice(c.code, console);
        ASSERT_EQ(device != nullptr, c.created);
        if (!device) continue;
        EXPECT_EQ(device->Type(), c.code);
        EXPECT_EQ(device->Name(), c.name);
        EXPECT_EQ(device->GetSettings(nullptr), c.settingsSize);
    }
}

TEST(CreateDevice, EveryCodeGivesItsFamilyAndModel) {
    Console console;
    for (int code = 0; code <= 36; ++code) {
        SCOPED_TRACE(code);
        const auto device = CreateDevice(code, console);
        ASSERT_NE(device, nullptr);
        EXPECT_EQ(device->Type(), code);
        EXPECT_FALSE(device->Name().empty());
        if (code == 0) {
            EXPECT_NE(dynamic_cast<RVx2*>(device.get()), nullptr);
        } else if (code <= 17) {
            const auto* dorn = dynamic_cast<Dorn*>(device.get());
            ASSERT_NE(dorn, nullptr);
            EXPECT_EQ(dorn->page().model(), code - 1);
        } else {
            const auto* kelt = dynamic_cast<Kelt*>(device.get());
            ASSERT_NE(kelt, nullptr);
            EXPECT_EQ(kelt->page().model(), code - 18);
        }
    }
}

TEST(HiddenColumns, ThreeOnlyForDornWithoutPulseOutputInVerification) {
    Console console;
    for (int code = 0; code <= 36; ++code) {
        SCOPED_TRACE(code);
        const auto device = CreateDevice(code, console);
        const int model = code - 1;
        const bool dornWithoutPulses = code >= 1 && code <= 17 &&
                                       (model == 0 || model == 3 || model == 4 || model == 5 || model == 6);
        EXPECT_EQ(device->HiddenColumns(true), dornWithoutPulses ? 3 : 0);
        EXPECT_EQ(device->HiddenColumns(false), 0);
    }
}

}  // namespace
