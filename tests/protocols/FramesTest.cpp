// Literal frames, checksums and computations of the Dorn, RV and Nivor
// exchanges.

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "common/MathError.h"
#include "devices/dorn/DornProtocol.h"
#include "devices/nivor/NivorProtocol.h"
#include "devices/rv/Crc16.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

struct DornWrite {
    int du;
    double a, b;
    dorn::Frame frame;
};
const DornWrite kDornWrites[] = {
    // Diameter 25: A = 0.12 is 12000, sent doubled as 24000.
    {2, 0.12, 0.0, {0x01, 0x5D, 0xC0, 0x00, 0x00, 0x00, 0x1E, 0x0D}},
    // Diameter 50, A = 1.5, B = -0.25: A 15000, B -2500 as two's complement.
    {5, 1.5, -0.25, {0x00, 0x3A, 0x98, 0x01, 0xF6, 0x3C, 0x05, 0x0D}},
    // Diameter 200 scales by 1000: A = 36 is the largest count.
    {11, 36.0, -36.0, {0x00, 0x8C, 0xA0, 0x01, 0x73, 0x60, 0x00, 0x0D}},
};

TEST(DornFrames, WriteFrames) {
    for (const auto& c : kDornWrites) {
        SCOPED_TRACE(c.du);
        EXPECT_EQ(dorn::writeFrame(c.a, c.b, c.du), c.frame);
    }
    EXPECT_EQ(dorn::readRequest(), (dorn::Frame{0x80, 0, 0, 0, 0, 0, 0, 0x0D}));
}

TEST(DornFrames, ValuesOutsideTheTransducersRangeAreRefused) {
    struct Bad {
        const char* why;
        int du;
        double a, b;
    };
    const Bad kBad[] = {
        {"A 0.2 doubled is 40000", 2, 0.2, 0.0},
        {"A negative", 5, -0.1, 0.2},
        {"A + B negative", 5, 0.1, -0.2},
        {"A + B above 36000", 5, 3.0, 0.7},
        {"A not a number", 5, NAN, 0.0},
        {"A huge", 5, 1e300, 0.0},
    };
    for (const auto& c : kBad) {
        SCOPED_TRACE(c.why);
        try {
            dorn::writeFrame(c.a, c.b, c.du);
            ADD_FAILURE() << "accepted";
        } catch (const UserError& e) {
            EXPECT_STREQ(e.what(), "Недопустимые значения коэффициентов A и/или B");
        }
    }
}

TEST(DornFrames, AnswersScaleByTheDiameterAsked) {
    const dorn::Frame answer{0x01, 0x5D, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00};
    EXPECT_DOUBLE_EQ(dorn::decodeAnswer(answer, 2).A, 0.12);
    EXPECT_DOUBLE_EQ(dorn::decodeAnswer(answer, 2).B, 0.0);
    EXPECT_DOUBLE_EQ(dorn::decodeAnswer(answer, 5).A, 1.2);
    const dorn::Frame negative{0x00, 0x3A, 0x98, 0x01, 0xF6, 0x3C, 0x00, 0x00};
    EXPECT_DOUBLE_EQ(dorn::decodeAnswer(negative, 5).B, -0.25);
}

TEST(RvCrc, TableAndKnownValues) {
    const auto& t = rv::Crc16Table();
    EXPECT_EQ(t[0], 0x0000);
    EXPECT_EQ(t[1], 0xC0C1);
    EXPECT_EQ(t[128], 0xA001);
    EXPECT_EQ(t[255], 0x4040);
    EXPECT_EQ(rv::Crc16(nullptr, 0), 0xFFFF);  // the empty sequence
    const Bytes check{'1', '2', '3', '4', '5', '6', '7', '8', '9'};
    EXPECT_EQ(rv::Crc16(check), 0x4B37);
    // Read request of the system parameters at address 1: 01 41 00, CRC low first.
    const Bytes request{0x01, 0x41, 0x00};
    EXPECT_EQ(rv::Crc16(request), 0x5010);
    // The count is 8 bits wide: 300 bytes are covered as 255.
    const Bytes longer(300, 0x55);
    EXPECT_EQ(rv::Crc16(longer), rv::Crc16(longer.data(), 255));
}

TEST(NivorFrames, TimeAndPulseStop) {
    // 5.0 s is 20480 ticks (0x005000).
    EXPECT_EQ(nivor::timeStopFrame(5.0), (std::array<std::uint8_t, 5>{0x00, 0x00, 0x50, 0x00, 0x50}));
    // 16777215 pulses on input 1 (index 0).
    EXPECT_EQ(nivor::pulseStopFrame(16777215, 0),
              (std::array<std::uint8_t, 6>{0x03, 0xFF, 0xFF, 0xFF, 0x00, 0xFD}));
    // Only the low 24 bits travel.
    EXPECT_EQ(nivor::ticks(4096.0), 0u);
    EXPECT_EQ(nivor::ticks(0.0002), 1u);  // 0.8192 ticks round up
    EXPECT_EQ(nivor::pulseStopFrame(0x1000005, 3)[1], 0x05);
}

TEST(NivorTemperature, RatioOneIsZeroDegreesForBothSensors) {
    for (int type : {0, 1}) {
        const nivor::Temperatures t = nivor::temperatures(1000, 5000, 1000, 1000, type);
        EXPECT_DOUBLE_EQ(t.ratio1, 1.0);
        EXPECT_NEAR(t.t1, 0.0, 1e-6) << type;
    }
}

TEST(NivorTemperature, NoRealRootGivesMinus300) {
    // C is negative: a large enough ratio makes C·r + B negative.
    EXPECT_EQ(nivor::temperatureOfRatio(8.0, 0), -300.0);
    EXPECT_EQ(nivor::temperatureOfRatio(13307546.542698981 / 1715560.13038257, 0), -300.0);
    EXPECT_GT(nivor::temperatureOfRatio(1.5, 0), 100.0);
}

TEST(NivorTemperature, EqualCalibrationCodesAreNotCalibrated) {
    try {
        nivor::temperatures(1000, 1000, 1200, 1200, 0);
        ADD_FAILURE();
    } catch (const UserError& e) {
        EXPECT_STREQ(e.what(), "АЦП НИВ не откалиброван");
    }
}

TEST(NivorVoltage, RedBelowCode17) {
    EXPECT_NEAR(nivor::voltage(16), 6.19, 0.005);
    EXPECT_TRUE(nivor::voltageLow(16));
    EXPECT_NEAR(nivor::voltage(17), 6.58, 0.005);
    EXPECT_FALSE(nivor::voltageLow(17));
    EXPECT_FALSE(nivor::voltageLow(17 | 0x80));  // the finished bit is no part of the code
}

TEST(NivorMeasurement, BlockDecodesTicksAndCountsAndChecksItsSum) {
    std::array<std::uint8_t, 29> block{};
    block[0] = 0x80 | 20;
    block[1] = 0x00, block[2] = 0x50, block[3] = 0x00;            // 5 s
    block[4 + 6] = 0x00, block[5 + 6] = 0x10, block[6 + 6] = 0x00;  // input 2: 1 s
    block[7 + 6] = 0xFF, block[8 + 6] = 0xFF, block[9 + 6] = 0xFF;  // input 2: 16777215
    unsigned sum = 0;
    for (int i = 0; i < 28; ++i) sum += block[i];
    block[28] = static_cast<std::uint8_t>(sum);
    SpprCommon p;
    nivor::decodeMeasurement(block, p);
    EXPECT_EQ(p.state(), 0x80 | 20);
    EXPECT_DOUBLE_EQ(p.totalTime(), 5.0);
    EXPECT_DOUBLE_EQ(p.inputTime(1), 1.0);
    EXPECT_EQ(p.inputPulses(1), 16777215u);
    block[28] ^= 1;
    EXPECT_THROW(nivor::decodeMeasurement(block, p), UserError);
}

}  // namespace
