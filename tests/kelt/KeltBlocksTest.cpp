#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <random>
#include <vector>

#include "common/MathError.h"
#include "devices/kelt/KeltBlocks.h"

namespace {

using namespace kelt;

std::string failureOf(const std::function<void()>& encode) {
    try {
        encode();
    } catch (const UserError& e) {
        return e.what();
    }
    return "(no failure)";
}

double uniform(std::mt19937& rng, double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(rng); }
int pick(std::mt19937& rng, int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); }
double logUniform(std::mt19937& rng, double lo, double hi) { return std::exp(uniform(rng, std::log(lo), std::log(hi))); }

// Coefficients a transducer can hold at every multiplier: A between a fifth
// and four fifths of the code range, A+B well inside it.
void randomCoefficients(std::mt19937& rng, KeltBlockValues& v, double bShare) {
    const double k = CodeScale(v.du);
    for (int i = 0; i < kSegments; ++i) {
        v.a[i] = uniform(rng, 0.2, 0.8) * 65535.0 / k;
        v.b[i] = uniform(rng, -bShare, bShare) * 65535.0 / (2.0 * k);
    }
}

constexpr int kRounds = 300;

// --- checksums and literal blocks -------------------------------------------------

TEST(KeltChecksum, SumOfBytesMostSignificantFirst) {
    const std::uint8_t three[] = {1, 2, 3};
    std::uint8_t out[2];
    PutChecksum(out, Checksum(three));
    EXPECT_EQ(out[0], 0x00);
    EXPECT_EQ(out[1], 0x06);
    const std::vector<std::uint8_t> many(200, 255);
    PutChecksum(out, Checksum(many));
    EXPECT_EQ(out[0], 0xC7);
    EXPECT_EQ(out[1], 0x38);
}

TEST(KeltBlock1, BoundaryOf30000HzIsPeriodHalfOneAnd40000HzFails) {
    KeltBlockValues v;
    v.du = 9;
    v.a = {1, 1, 1, 1, 1};
    v.f = {30000, 100, 50, 32768};
    Block1 block;
    EncodeBlock1(v, 0, block);
    EXPECT_EQ(block[21], 0);
    EXPECT_EQ(block[22], 1) << "P12 = round(1.0813)";
    v.f[0] = 40000;
    EXPECT_EQ(failureOf([&] { EncodeBlock1(v, 0, block); }), "Недопустимое значение F12");
}

TEST(KeltBlock1, ZeroPeriodsReadAs32768Hz) {
    Block1 block{};
    block[33] = 0x40;  // Du 5
    const KeltBlockValues v = DecodeBlock1(block);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(v.f[i], 32768.0);
    EXPECT_EQ(v.du, 5);
}

TEST(KeltBlock4, FactoryNumbersOfBothSeries) {
    KeltBlockValues v;
    v.du = 5;
    v.a = {1, 1, 1, 1, 1};
    v.f = {8192, 8192, 8192, 8192};
    v.pulseLength = 1.9;
    Block4 block;
    v.factoryNumber = 151000123;
    EncodeBlock4(v, 12, block);
    EXPECT_EQ(block[36], 123);
    EXPECT_EQ(block[37], 0);
    EXPECT_EQ(block[38], 0x80);
    EXPECT_EQ(DecodeBlock4(block, 12).factoryNumber, 151000123u);
    v.factoryNumber = 12345;
    EncodeBlock4(v, 12, block);
    EXPECT_EQ(block[36], 0x39);
    EXPECT_EQ(block[37], 0x30);
    EXPECT_EQ(block[38], 0x00);
    EXPECT_EQ(DecodeBlock4(block, 12).factoryNumber, 12345u);
}

TEST(KeltBlock3, FrequencyOutputsAreRecognisedWhateverTheDiameterAndCorrection) {
    std::mt19937 rng(7);
    for (int model = 7; model <= 11; ++model)
        for (int output = 1; output <= 5; ++output) {
            KeltBlockValues v;
            v.frequencyOutput = output;
            v.du = pick(rng, 1, 11);
            v.temperatureCorrection = pick(rng, -7, 7);
            v.a = {50, 50, 50, 50, 50};  // not looked at for a frequency output
            Block3 block;
            EncodeBlock3(v, model, block);
            SCOPED_TRACE(testing::Message() << "model " << model << ", output " << output);
            const KeltBlockValues back = DecodeBlock3(block, model);
            EXPECT_EQ(back.frequencyOutput, output);
            EXPECT_EQ(back.du, v.du);
            if (model != 11) EXPECT_EQ(back.temperatureCorrection, v.temperatureCorrection);
        }
}

TEST(KeltBlock3, CoefficientsAreNotTakenForAFrequencyOutput) {
    KeltBlockValues v;
    v.du = 5;
    v.a = {0.5, 0.5, 0.5, 0.5, 0.5};
    v.f = {100, 200, 300, 400};
    Block3 block;
    EncodeBlock3(v, 9, block);
    EXPECT_EQ(DecodeBlock3(block, 9).frequencyOutput, 0);
}

TEST(KeltBlock4, FrequencyOutputsAreRecognisedWhateverTheFactoryNumber) {
    for (int model = 12; model <= 17; ++model)
        for (int output = 1; output <= 5; ++output) {
            KeltBlockValues v;
            v.frequencyOutput = output;
            v.du = 6;
            v.factoryNumber = 151000000u + static_cast<std::uint32_t>(output);
            v.temperatureCorrection = -3;
            Block4 block;
            EncodeBlock4(v, model, block);
            const KeltBlockValues back = DecodeBlock4(block, model);
            EXPECT_EQ(back.frequencyOutput, output) << "model " << model;
            EXPECT_EQ(back.factoryNumber, v.factoryNumber);
            EXPECT_EQ(back.temperatureCorrection, -3);
        }
}

// --- round trips over random valid values ----------------------------------------

void expectBoundaries(const KeltBlockValues& in, const KeltBlockValues& out, int count, double periodUnit,
                      double tolerance) {
    for (int i = 0; i < count; ++i)
        EXPECT_NEAR(periodUnit / out.f[i], periodUnit / in.f[i], tolerance) << "F" << i;
}

TEST(KeltBlock1And2, RoundTripWithinQuantisation) {
    std::mt19937 rng(1);
    for (int round = 0; round < kRounds; ++round) {
        const bool block2 = round % 2 == 1;
        const int model = block2 ? pick(rng, 1, 6) : 0;
        KeltBlockValues v;
        v.du = pick(rng, 1, 11);
        randomCoefficients(rng, v, block2 ? 0.1 : 0.15);
        for (auto& f : v.f) f = logUniform(rng, 1.0, 32768.0);
        v.outputCode = pick(rng, 0, 5);
        v.pulseLength = logUniform(rng, 0.0305, 1990.0);
        v.n = pick(rng, 1, block2 ? 127 : 255);
        SCOPED_TRACE(testing::Message() << "round " << round << ", model " << model << ", Du " << v.du);

        std::vector<std::uint8_t> bytes;
        KeltBlockValues back;
        const int segments = block2 ? 5 : 4;
        std::size_t segOff = 0;
        if (block2) {
            Block2 block;
            ASSERT_NO_THROW(EncodeBlock2(v, model, block));
            back = DecodeBlock2(block);
            bytes.assign(block.begin(), block.end());
            segOff = 21;
        } else {
            Block1 block;
            ASSERT_NO_THROW(EncodeBlock1(v, model, block));
            back = DecodeBlock1(block);
            bytes.assign(block.begin(), block.end());
            segOff = 17;
        }
        const double k = CodeScale(v.du);
        for (int i = 0; i < segments; ++i) {
            const int h = std::max(bytes[segOff + i] & 7, 1);
            const int m = bytes[segOff + i] >> 3;
            EXPECT_NEAR(back.a[i], v.a[i], 0.5 / (h * k) + 1e-12) << "A" << i + 1;
            EXPECT_NEAR(back.b[i], v.b[i], m / (4.0 * k) + std::fabs(v.b[i]) * 1e-6) << "B" << i + 1;
        }
        // P and Q are rounded separately: their sum is within one of the period.
        expectBoundaries(v, back, segments - 1, 65536.0, 1.0 + 1e-9);
        EXPECT_EQ(back.du, v.du);
        EXPECT_EQ(back.outputCode, v.outputCode);
        EXPECT_EQ(back.n, v.n);
        const double step = v.pulseLength / 0.0305 < 255.5 ? 0.0305 / 2 : 0.0305 * 128.5;
        EXPECT_NEAR(back.pulseLength, v.pulseLength, step + 1e-9);
    }
}

TEST(KeltBlock3, RoundTripWithinQuantisation) {
    std::mt19937 rng(3);
    for (int round = 0; round < kRounds; ++round) {
        const int model = pick(rng, 7, 11);
        KeltBlockValues v;
        v.du = pick(rng, model == 11 ? 2 : 1, 11);
        randomCoefficients(rng, v, 0.1);
        for (auto& f : v.f) f = logUniform(rng, 0.51, 32768.0);
        v.outputCode = pick(rng, 1, 5);
        v.pulseLength = v.outputCode >= 4 ? logUniform(rng, 0.0305, 1990.0) : uniform(rng, 0.0305, 7.75);
        v.temperatureCorrection = pick(rng, -7, 7);
        SCOPED_TRACE(testing::Message() << "round " << round << ", model " << model << ", Du " << v.du);
        Block3 block;
        ASSERT_NO_THROW(EncodeBlock3(v, model, block));
        const KeltBlockValues back = DecodeBlock3(block, model);
        const double k = CodeScale(v.du);
        for (int i = 0; i < kSegments; ++i) {
            const int code = block[20 + i] & 31;
            const int m = model >= 9 && (code & 16) ? (code & 15) * 4 : code;
            EXPECT_NEAR(back.a[i], v.a[i], 0.5 / k + 1e-12) << "A" << i + 1;
            EXPECT_NEAR(back.b[i], v.b[i], m / (4.0 * k) + 1e-9) << "B" << i + 1;
        }
        expectBoundaries(v, back, 4, 32768.0, 0.5 + 1e-9);
        EXPECT_EQ(back.du, v.du);
        EXPECT_EQ(back.outputCode, v.outputCode);
        EXPECT_EQ(back.frequencyOutput, 0);
        if (model != 11) EXPECT_EQ(back.temperatureCorrection, v.temperatureCorrection);
        const double t = v.pulseLength / 0.0305;
        const double step = t < 255.5 ? 0.0305 / 2 : t < 256.5 ? 0.0305 * 1.5 : 0.0305 * 128.5;
        EXPECT_NEAR(back.pulseLength, v.pulseLength, step + 1e-9);
    }
}

TEST(KeltBlock4, RoundTripWithinQuantisation) {
    std::mt19937 rng(4);
    static constexpr int kFastLimit[] = {1, 3, 6, 30, 60};
    static constexpr int kSlowLimit[] = {1, 2, 3, 15, 30};
    for (int round = 0; round < kRounds; ++round) {
        const int model = pick(rng, 12, 17);
        const bool fast = model <= 14;
        KeltBlockValues v;
        v.du = pick(rng, model == 14 || model == 17 ? 2 : 1, 11);
        randomCoefficients(rng, v, 0.1);
        for (auto& f : v.f) f = logUniform(rng, 0.51, 8192.0);
        v.outputCode = pick(rng, 1, 5);
        const int kMax = (fast ? kFastLimit : kSlowLimit)[v.outputCode - 1];
        const int k = pick(rng, 1, kMax);
        v.pulseLength = k * (fast ? 1.9 : 3.9) + uniform(rng, -0.4, 0.4);
        v.temperatureCorrection = pick(rng, -7, 7);
        v.disableThermocorrection = pick(rng, 0, 1) == 1;
        v.disableRestore = pick(rng, 0, 1) == 1;
        v.factoryNumber = pick(rng, 0, 1) ? 151000000u + static_cast<std::uint32_t>(pick(rng, 0, 999999))
                                          : static_cast<std::uint32_t>(pick(rng, 0, 0x7FFFFF));
        SCOPED_TRACE(testing::Message() << "round " << round << ", model " << model << ", Du " << v.du);
        Block4 block;
        ASSERT_NO_THROW(EncodeBlock4(v, model, block));
        const KeltBlockValues back = DecodeBlock4(block, model);
        const double scale = CodeScale(v.du);
        for (int i = 0; i < kSegments; ++i) {
            const int code = block[20 + i] & 31;
            const int m = (code & 16) ? (code & 15) * 4 : code;
            EXPECT_NEAR(back.a[i], v.a[i], 0.5 / scale + 1e-12) << "A" << i + 1;
            EXPECT_NEAR(back.b[i], v.b[i], m / (4.0 * scale) + 1e-9) << "B" << i + 1;
        }
        expectBoundaries(v, back, 4, 8192.0, 0.5 + 1e-9);
        EXPECT_EQ(back.du, v.du);
        EXPECT_EQ(back.outputCode, v.outputCode);
        EXPECT_EQ(back.pulseLength, k * (fast ? 2.0 : 4.0)) << "read back in steps of 2 or 4 ms";
        EXPECT_EQ(back.temperatureCorrection, v.temperatureCorrection);
        EXPECT_EQ(back.disableThermocorrection, v.disableThermocorrection || model == 14 || model == 17);
        if (v.disableRestore) EXPECT_TRUE(back.disableRestore);
        EXPECT_EQ(back.factoryNumber, v.factoryNumber);
        EXPECT_EQ(back.frequencyOutput, 0);
    }
}

TEST(KeltBlock5, RoundTripWithinQuantisation) {
    std::mt19937 rng(5);
    const double k5 = 100000.0 * 65536.0 / 36000.0;
    for (int round = 0; round < kRounds; ++round) {
        KeltBlockValues v;
        for (int i = 0; i < kSegments; ++i) {
            v.a[i] = uniform(rng, 0.005, 0.04);
            v.b[i] = uniform(rng, -0.5 * v.a[i], 0.15);
        }
        for (auto& f : v.f) f = logUniform(rng, 2.01, 16000.0);
        v.temperatureCorrection = pick(rng, -3, 3);
        v.displayOutputType = pick(rng, 0, 1);
        v.diameterItem = pick(rng, 0, 1);
        SCOPED_TRACE(testing::Message() << "round " << round);
        Block5 block;
        ASSERT_NO_THROW(EncodeBlock5(v, block));
        const KeltBlockValues back = DecodeBlock5(block);
        for (int i = 0; i < kSegments; ++i) {
            const int word = block[2 * i] | (block[2 * i + 1] << 8);
            const int m = (((word >> 13) & 3) + 1) * ((word & 0x8000) ? 8 : 1);
            EXPECT_NEAR(back.a[i], v.a[i], 0.5 / k5 + 1e-12) << "A" << i + 1;
            EXPECT_NEAR(back.b[i], v.b[i], m * 0.5 / k5 + 1e-12) << "B" << i + 1;
        }
        expectBoundaries(v, back, 4, 16384.0, 0.5 + 1e-9);
        EXPECT_EQ(back.temperatureCorrection, v.temperatureCorrection);
        EXPECT_EQ(back.displayOutputType, v.displayOutputType);
        EXPECT_EQ(back.diameterItem, v.diameterItem);
    }
}

// --- invalid values ----------------------------------------------------------------

struct BadValue {
    const char* reason;
    int block;
    int model;
    std::function<void(KeltBlockValues&)> spoil;
    const char* message;
};

KeltBlockValues validFor(int block, int model) {
    KeltBlockValues v;
    v.du = 9;
    v.a = {1, 1, 1, 1, 1};
    v.b = {0.1, 0.1, 0.1, 0.1, 0.1};
    v.f = {1000, 2000, 3000, 4000};
    v.pulseLength = model >= 15 ? 3.9 : 1.9;
    if (block == 5) {
        v.a = {0.02, 0.02, 0.02, 0.02, 0.02};
        v.b = {0.01, 0.01, 0.01, 0.01, 0.01};
    }
    return v;
}

void encode(int block, int model, const KeltBlockValues& v) {
    switch (block) {
    case 1: {
        Block1 b;
        EncodeBlock1(v, model, b);
        break;
    }
    case 2: {
        Block2 b;
        EncodeBlock2(v, model, b);
        break;
    }
    case 3: {
        Block3 b;
        EncodeBlock3(v, model, b);
        break;
    }
    case 4: {
        Block4 b;
        EncodeBlock4(v, model, b);
        break;
    }
    default: {
        Block5 b;
        EncodeBlock5(v, b);
        break;
    }
    }
}

const BadValue kBad[] = {
    {"F above the period range", 1, 0, [](auto& v) { v.f[1] = 40000; }, "Недопустимое значение F23"},
    {"F of zero", 2, 3, [](auto& v) { v.f[3] = 0; }, "Недопустимое значение F45"},
    {"F not a number", 3, 7, [](auto& v) { v.f[2] = std::nan(""); }, "Недопустимое значение F34"},
    {"F below half a hertz", 3, 9, [](auto& v) { v.f[0] = 0.5; }, "Недопустимое значение F12"},
    {"F above 9102 Hz", 4, 12, [](auto& v) { v.f[0] = 9200; }, "Недопустимое значение F12"},
    {"F whose period needs 14 bits", 5, 18, [](auto& v) { v.f[1] = 1.5; }, "Недопустимое значение F23"},
    {"A too large for any divider", 1, 0, [](auto& v) { v.a[2] = 40; }, "Недопустимое значение A3"},
    {"B too large for any divider", 2, 1, [](auto& v) { v.b[1] = 558; }, "Недопустимое значение A2 и/или B2"},
    {"A too large", 3, 8, [](auto& v) { v.a[4] = 36.1; }, "Недопустимое значение A5"},
    {"negative A", 4, 15, [](auto& v) { v.a[0] = -0.01; }, "Недопустимое значение A1"},
    {"B beyond the multipliers", 3, 10, [](auto& v) { v.b[0] = 500; }, "Недопустимое значение A1 и/или B1"},
    {"B beyond the multipliers", 4, 13, [](auto& v) { v.b[3] = -500; }, "Недопустимое значение A4 и/или B4"},
    {"A above 13 bits", 5, 18, [](auto& v) { v.a[1] = 0.05; }, "Недопустимое значение A2"},
    {"B beyond the multipliers", 5, 18, [](auto& v) { v.b[0] = 2; }, "Недопустимое значение B1"},
    {"diameter 20 on model 17", 4, 17, [](auto& v) { v.du = 1; v.a = {0.2, 0.2, 0.2, 0.2, 0.2}; }, "Недопустимое значение A1 и/или B1"},
    {"pulse length 0", 1, 0, [](auto& v) { v.pulseLength = 0; }, "Недопустимое значение длительности импульса"},
    {"pulse length above 1995 ms", 2, 2, [](auto& v) { v.pulseLength = 2000; },
     "Недопустимое значение длительности импульса"},
    {"pulse length 0", 3, 7, [](auto& v) { v.pulseLength = 0.01; },
     "Недопустимое значение  длительности импульса"},
    {"long pulse at a small weight", 3, 7, [](auto& v) { v.pulseLength = 10; v.outputCode = 3; },
     "Недопустимое значение длительности импульса"},
    {"pulse length beyond 60 steps", 4, 12, [](auto& v) { v.pulseLength = 120; v.outputCode = 5; },
     "Недопустимое значение  длительности импульса"},
    {"pulse too long for weight 1", 4, 12, [](auto& v) { v.pulseLength = 3.8; v.outputCode = 1; },
     "Недопустимое значение длительности импульса (>1.9 мС)"},
    {"pulse too long for weight 4", 4, 13, [](auto& v) { v.pulseLength = 60; v.outputCode = 4; },
     "Недопустимое значение длительности импульса (>57 мС)"},
    {"pulse too long for weight 2", 4, 16, [](auto& v) { v.pulseLength = 11.7; v.outputCode = 2; },
     "Недопустимое значение длительности импульса (>7.8 мС)"},
    {"pulse too long for weight 5", 4, 15, [](auto& v) { v.pulseLength = 0; v.outputCode = 5; },
     "Недопустимое значение  длительности импульса"},
};

TEST(KeltBlocks, EveryInvalidValueFailsWithItsMessage) {
    for (const auto& bad : kBad) {
        SCOPED_TRACE(testing::Message() << "block " << bad.block << ": " << bad.reason);
        KeltBlockValues v = validFor(bad.block, bad.model);
        v.outputCode = 1;
        ASSERT_EQ(failureOf([&] { encode(bad.block, bad.model, v); }), "(no failure)") << "the valid base";
        bad.spoil(v);
        EXPECT_EQ(failureOf([&] { encode(bad.block, bad.model, v); }), bad.message);
    }
}

// Random values pushed out of range one at a time always fail.
TEST(KeltBlocks, RandomOutOfRangeValuesAlwaysFail) {
    std::mt19937 rng(11);
    for (int round = 0; round < kRounds; ++round) {
        const int block = pick(rng, 1, 5);
        const int model = block == 1 ? 0 : block == 2 ? 3 : block == 3 ? 9 : block == 4 ? 12 : 18;
        KeltBlockValues v = validFor(block, model);
        const int which = pick(rng, 0, 2);
        std::string expected;
        if (which == 0) {
            const int i = pick(rng, 0, block <= 1 ? 2 : 3);
            v.f[i] = uniform(rng, 40000, 1e9);
            expected = InvalidF(i);
        } else if (which == 1) {
            if (block == 5) continue;  // block 5 carries no pulse length
            v.pulseLength = uniform(rng, -1e6, 0.015);
            expected = block <= 2 ? kInvalidPulseLength : kInvalidPulseLength2;
        } else {
            const int i = pick(rng, 0, block == 1 ? 3 : 4);
            v.a[i] = uniform(rng, block == 5 ? 0.05 : 40, 1e6);
            expected = InvalidA(i);
        }
        SCOPED_TRACE(testing::Message() << "round " << round << ", block " << block);
        EXPECT_EQ(failureOf([&] { encode(block, model, v); }), expected);
    }
}

}  // namespace
