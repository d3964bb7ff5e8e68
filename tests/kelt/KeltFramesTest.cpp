// Literal Kelt frames: the command byte of every sub-command, the write
// frames with their blocks and checksums, the type-3 checksum lowering and
// the answer checks. Every expected byte below is worked out by hand from the
// protocol's rules (the arithmetic is in the comments) or is one of its own
// examples; none of it comes from running the code under test.

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "common/MathError.h"
#include "devices/kelt/KeltFrames.h"

namespace {

using namespace kelt;

Frame cat(std::initializer_list<std::vector<std::uint8_t>> parts) {
    Frame out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

Frame repeat(std::vector<std::uint8_t> bytes, int times) {
    Frame out;
    for (int i = 0; i < times; ++i) out.insert(out.end(), bytes.begin(), bytes.end());
    return out;
}

std::string failureOf(const std::function<void()>& run) {
    try {
        run();
    } catch (const UserError& e) {
        return std::string("failed: ") + e.what();
    }
    return "ok";
}

// --- the blocks of a fresh page at diameter 50 -----------------------------------
//
// Du 5: s = 10000, K = 10000 × 65536 / 36000 = 18204.44. A = 0.12 gives
// A × K = 2184.53; B = 0 gives multiplier 1 and A+B code = A code. The
// boundaries stand at the top of the page's range, so every period code is
// 1. Output code 1 (pulse output, first weight); pulse length 33 × 0.0305 ms
// (33 ticks); n = 1; correction 0.

KeltBlockValues freshPage(double boundary) {
    KeltBlockValues v;
    v.a = {0.12, 0.12, 0.12, 0.12, 0.12};
    v.b = {0, 0, 0, 0, 0};
    v.f = {boundary, boundary, boundary, boundary};
    v.du = 5;
    v.outputCode = 1;
    v.pulseLength = 33 * 0.0305;
    v.n = 1;
    return v;
}

// Block 1, model 0. Segment 1 starts at 1.7 Hz: its multiplier limit
// floor(1.95 × 1.7 / h) is 0 for h = 7 … 4 and 1 for h = 3, so h = 3 and T1 =
// round(3 × 2184.53) = 6554 = 0x199A; the others reach 32768 Hz, so h = 7 and
// T = round(7 × 2184.53) = 15292 = 0x3BBC. Segment bytes h + 8 × m: 0x0B,
// 0x0F. P = round(32440.32 / 32768) = 1, Q = round(33095.68 / 32768) = 1.
// Byte 33 = (5 - 1) × 16 + 1 = 0x41, byte 34 = 33 = 0x21.
const Frame kBlock1 = cat({{0x01},
                           {0x19, 0x9A}, repeat({0x3B, 0xBC}, 3),
                           {0x19, 0x9A}, repeat({0x3B, 0xBC}, 3),
                           {0x0B, 0x0F, 0x0F, 0x0F},
                           repeat({0x00, 0x01}, 6),
                           {0x41, 0x21}});
// Sum: 1 + (0x19 + 0x9A = 179) + 3 × (0x3B + 0xBC = 247) = 920 for T, 920 for
// U, 11 + 3 × 15 = 56, 6 × 1, 0x41 + 0x21 = 98: 1 + 920 + 920 + 56 + 6 + 98 =
// 2001 = 0x07D1.

// Block 2, model 3 (segment 1 from 1.7 Hz as in block 1), five segments.
const Frame kBlock2 = cat({{0x01},
                           {0x19, 0x9A}, repeat({0x3B, 0xBC}, 4),
                           {0x19, 0x9A}, repeat({0x3B, 0xBC}, 4),
                           {0x0B, 0x0F, 0x0F, 0x0F, 0x0F},
                           repeat({0x00, 0x01}, 8),
                           {0x41, 0x21}});
// Sum: 1 + 2 × (179 + 4 × 247 = 1167) + (11 + 4 × 15 = 71) + 8 + 98 = 2512 = 0x09D0.

// Block 2, model 4: the lowest frequency doubles to 3.4 Hz, floor(1.95 × 3.4
// / h) first reaches 1 at h = 6: T1 = round(6 × 2184.53) = 13107 = 0x3333,
// segment byte 6 + 8 = 0x0E.
const Frame kBlock2Model4 = cat({{0x01},
                                 {0x33, 0x33}, repeat({0x3B, 0xBC}, 4),
                                 {0x33, 0x33}, repeat({0x3B, 0xBC}, 4),
                                 {0x0E, 0x0F, 0x0F, 0x0F, 0x0F},
                                 repeat({0x00, 0x01}, 8),
                                 {0x41, 0x21}});
// Sum: 1 + 2 × (102 + 988 = 1090) + (14 + 60 = 74) + 8 + 98 = 2361 = 0x0939.

// Block 3, models 7 … 10, least significant byte first: T = U = round(2184.53)
// = 2185 = 0x0889; B = 0 gives v = 0, T <= 32767: mode 96 + multiplier 1 =
// 0x61; P = 32768 / 32768 = 1; byte 33 = Du × 16 + 1 = 0x51; 33 ticks; byte
// 35 = correction 0 + 7.
const Frame kBlock3 = cat({repeat({0x89, 0x08}, 10), repeat({0x61}, 5), repeat({0x01, 0x00}, 4), {0x51, 0x21, 0x07}});
// Sum: 10 × (0x89 + 0x08 = 145) + 5 × 97 + 4 + 0x51 + 0x21 + 7 =
// 1450 + 485 + 4 + 81 + 33 + 7 = 2060 = 0x080C.

// Block 3, model 11: byte 33 carries no diameter (0 × 16 + 1), byte 35 = 5 + 128 = 0x85.
const Frame kBlock3Model11 =
    cat({repeat({0x89, 0x08}, 10), repeat({0x61}, 5), repeat({0x01, 0x00}, 4), {0x01, 0x21, 0x85}});
// Sum: 1450 + 485 + 4 + 1 + 33 + 133 = 2106 = 0x083A.

// Block 4, model 12, boundaries 8192 Hz: T = U = 2185; multiplier 1 is
// preferred (T <= 32768, G = 2185 < 65536) with restoration on: 1 + 32 =
// 0x21; P = 8192 / 8192 = 1; byte 33 = (5 - 1) × 16 + 1 = 0x41; k =
// round(1.9 / 1.9) = 1; byte 35 = 0 + 7; factory number 0.
const Frame kBlock4 =
    cat({repeat({0x89, 0x08}, 10), repeat({0x21}, 5), repeat({0x01, 0x00}, 4), {0x41, 0x01, 0x07, 0x00, 0x00, 0x00}});
// Sum: 1450 + 5 × 33 + 4 + 65 + 1 + 7 = 1692 = 0x069C.

// Block 5, model 18 (K5 = 100000 × 65536 / 36000): A = 0.0225, 0.0225,
// 0.01125, 0.03375, 0.005625 give A × K5 = 2250 × 65536 / 36000 = 4096 and
// 4096, 2048, 6144, 1024 = 0x1000, 0x1000, 0x0800, 0x1800, 0x0400; B = 0
// takes multiplier 1 (step 0, bit 15 clear), U = T. F = 16, 64, 256, 1024 Hz
// give P = 16384 / F = 1024, 256, 64, 16. Correction +1 degree: (1 + 3) << 5
// = 0x80 into byte 25; display "V/T" 0x40 and the second diameter 0x80 into
// byte 27: 0xC0.
const Frame kBlock5 = cat({{0x00, 0x10, 0x00, 0x10, 0x00, 0x08, 0x00, 0x18, 0x00, 0x04},
                           {0x00, 0x10, 0x00, 0x10, 0x00, 0x08, 0x00, 0x18, 0x00, 0x04},
                           {0x00, 0x04, 0x00, 0x01, 0x40, 0x80, 0x10, 0xC0}});
// Sum: 2 × (16 + 16 + 8 + 24 + 4 = 68) + (4 + 1 + 64 + 128 + 16 + 192 = 405) = 541 = 0x021D.

KeltBlockValues block5Values() {
    KeltBlockValues v;
    v.a = {0.0225, 0.0225, 0.01125, 0.03375, 0.005625};
    v.f = {16, 64, 256, 1024};
    v.temperatureCorrection = 1;
    v.displayOutputType = 1;
    v.diameterItem = 1;
    return v;
}

Block3 asBlock3(const Frame& bytes) {
    Block3 block{};
    std::copy(bytes.begin(), bytes.end(), block.begin());
    return block;
}

// --- the frames ------------------------------------------------------------------

struct FrameRow {
    const char* name;
    std::function<Frame()> build;  // the inputs
    Frame expected;
};

const FrameRow kFrames[] = {
    // Worked example: the checksum of 1, 2, 3 goes out as 00 06.
    {"checksum of 1, 2, 3", [] { return BlockFrame(kNewerWrite, Frame{1, 2, 3}); }, {0x02, 1, 2, 3, 0x00, 0x06}},
    // Worked example: 200 × 255 = 51000 = 0xC738.
    {"checksum of 200 bytes of 255", [] { return BlockFrame(kNewerWrite, Frame(200, 255)); },
     cat({{0x02}, Frame(200, 255), {0xC7, 0x38}})},

    // Older protocol, sub-command 2: [2, block 1, sum 0x07D1] (sum above).
    {"kWriteBlock1, model 0", [] { return *OlderWriteFrame(kWriteBlock1, freshPage(32768), 0); },
     cat({{0x02}, kBlock1, {0x07, 0xD1}})},
    // Sub-command 17: [17, block 2, sum 0x09D0].
    {"kWriteBlock2, model 3", [] { return *OlderWriteFrame(kWriteBlock2, freshPage(32768), 3); },
     cat({{0x11}, kBlock2, {0x09, 0xD0}})},
    // [17, block 2 of model 4, sum 0x0939].
    {"kWriteBlock2, model 4", [] { return *OlderWriteFrame(kWriteBlock2, freshPage(32768), 4); },
     cat({{0x11}, kBlock2Model4, {0x09, 0x39}})},

    // Sub-command 20: [20, correction + 7, 30 zeros, sum of the 31 bytes
    // after the command]. +3 half degrees: 3 + 7 = 10 = 0x0A, sum 0x000A.
    {"kWriteCorrection +1.5 degrees", [] { return CorrectionFrame(3); },
     cat({{0x14, 0x0A}, Frame(30, 0), {0x00, 0x0A}})},
    // -7 + 7 = 0: all zero after the command.
    {"kWriteCorrection -3.5 degrees", [] { return CorrectionFrame(-7); }, cat({{0x14, 0x00}, Frame(30, 0), {0x00, 0x00}})},

    // Block 3 on the older protocol, type 4: command 25, the counter read
    // (200) goes back one up, 201 = 0xC9; sum 2060 + 201 = 2261 = 0x08D5.
    {"kWriteBlock3, type 4", [] { return Block3WriteFrame(asBlock3(kBlock3), 200, false); },
     cat({{0x19}, kBlock3, {0xC9, 0x08, 0xD5}})},
    // Type 3: command 26, the counter unchanged (200 = 0xC8); sum 2060 + 200 =
    // 2260 = 0x08D4. This is the frame the transducer echoes.
    {"kWriteBlock3, type 3, as echoed", [] { return Block3WriteFrame(asBlock3(kBlock3), 200, true); },
     cat({{0x1A}, kBlock3, {0xC8, 0x08, 0xD4}})},
    // As sent: the low byte lowered by 39: 0xD4 = 212, 212 - 39 = 173 = 0xAD.
    {"kWriteBlock3, type 3, as sent",
     [] { return LowerType3Checksum(Block3WriteFrame(asBlock3(kBlock3), 200, true)); },
     cat({{0x1A}, kBlock3, {0xC8, 0x08, 0xAD}})},
    // Counter 0: sum 2060 = 0x080C; 12 - 39 = -27 = 229 = 0xE5 modulo 256,
    // and the high byte keeps 0x08 (no borrow).
    {"kWriteBlock3, type 3, lowering without borrow",
     [] { return LowerType3Checksum(Block3WriteFrame(asBlock3(kBlock3), 0, true)); },
     cat({{0x1A}, kBlock3, {0x00, 0x08, 0xE5}})},

    // Newer protocol: [2, block, sum].
    {"kWriteBlock3, model 9", [] { return *NewerWriteFrame(kWriteBlock3, freshPage(32768), 9); },
     cat({{0x02}, kBlock3, {0x08, 0x0C}})},
    {"kWriteBlock3, model 11", [] { return *NewerWriteFrame(kWriteBlock3, freshPage(32768), 11); },
     cat({{0x02}, kBlock3Model11, {0x08, 0x3A}})},
    {"kWriteBlock4, model 12",
     [] {
         KeltBlockValues v = freshPage(8192);
         v.pulseLength = 1.9;
         return *NewerWriteFrame(kWriteBlock4, v, 12);
     },
     cat({{0x02}, kBlock4, {0x06, 0x9C}})},
    {"kWriteBlock5, model 18", [] { return *NewerWriteFrame(kWriteBlock5, block5Values(), 18); },
     cat({{0x02}, kBlock5, {0x02, 0x1D}})},
};

TEST(KeltFrames, LiteralFrames) {
    for (const auto& row : kFrames) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(row.build(), row.expected);
    }
}

TEST(KeltFrames, OnlyWritesHaveAFrame) {
    const KeltBlockValues v = freshPage(32768);
    // Block 3 on the older protocol needs the counter first; reads send one byte.
    for (const std::uint8_t sub : {kWriteBlock3, kReadBlock1, kReadBlock2, kWriteCorrection})
        EXPECT_FALSE(OlderWriteFrame(sub, v, 7).has_value()) << int(sub);
    for (const std::uint8_t sub : {kWriteBlock1, kWriteBlock2, kReadBlock3, kSignal})
        EXPECT_FALSE(NewerWriteFrame(sub, v, 9).has_value()) << int(sub);
}

TEST(KeltFrames, AValueABlockCannotHoldFailsBeforeAFrameExists) {
    KeltBlockValues v = freshPage(32768);
    v.f[0] = 40000;  // 32440.32 / 40000 = 0.81, below 0.9
    EXPECT_EQ(failureOf([&] { OlderWriteFrame(kWriteBlock1, v, 0); }), "failed: Недопустимое значение F12");
    // 32768 Hz is too high for block 5: 16384 / 32768 = 0.5, below 0.95.
    EXPECT_EQ(failureOf([&] { NewerWriteFrame(kWriteBlock5, freshPage(32768), 18); }),
              "failed: Недопустимое значение F12");
}

// --- the command byte of every sub-command -------------------------------------------

struct CommandRow {
    const char* name;
    std::uint8_t sub;
    bool identifies;                    // older protocol: command 8 first
    std::optional<std::uint8_t> older;  // the byte sent after it; none when a frame goes instead
    std::optional<std::uint8_t> newer;  // the newer protocol's command
};

// From the sub-command table: on the older protocol the sub-command's own
// number is its byte, except for the writes (2, 4, 6, 7, 10, 17, 18, 20, 21,
// 25, 26), which send their frames; 1, 2, 3, 4, 6, 7, 9, 10 and 16 … 31
// identify first. The newer protocol sends 8 (type), 9 (firmware), 11
// (temperature and the signal record), 1 (block reads), 2 (block writes).
const CommandRow kCommands[] = {
    {"kAmplitude", kAmplitude, false, 0x00, std::nullopt},
    {"kReadBlock1", kReadBlock1, true, 0x01, std::nullopt},
    {"kWriteBlock1", kWriteBlock1, true, std::nullopt, std::nullopt},
    {"kSpare3", kSpare3, true, 0x03, std::nullopt},
    {"kSpare4", kSpare4, true, std::nullopt, std::nullopt},
    {"kBattery", kBattery, false, 0x05, std::nullopt},
    {"kWriteBlock1Alt", kWriteBlock1Alt, true, std::nullopt, std::nullopt},
    {"kSpare7", kSpare7, true, std::nullopt, std::nullopt},
    {"kDeviceType", kDeviceType, false, 0x08, 0x08},
    {"kFirmware", kFirmware, true, 0x09, 0x09},
    {"kSpare10", kSpare10, true, std::nullopt, std::nullopt},
    {"kLevel0", kLevel0, false, 0x0B, std::nullopt},
    {"kLevel1", kLevel1, false, 0x0C, std::nullopt},
    {"kLevel2", kLevel2, false, 0x0D, std::nullopt},
    {"kLevel3", kLevel3, false, 0x0E, std::nullopt},
    {"kAdapterQuery", kAdapterQuery, false, 0x0F, std::nullopt},
    {"kReadBlock2", kReadBlock2, true, 0x10, std::nullopt},
    {"kWriteBlock2", kWriteBlock2, true, std::nullopt, std::nullopt},
    {"kWriteBlock2Alt", kWriteBlock2Alt, true, std::nullopt, std::nullopt},
    {"kReadCorrection", kReadCorrection, true, 0x13, std::nullopt},
    {"kWriteCorrection", kWriteCorrection, true, std::nullopt, std::nullopt},
    {"kWriteCorrectionAlt", kWriteCorrectionAlt, true, std::nullopt, std::nullopt},
    {"kTemperature", kTemperature, true, 0x16, 0x0B},
    {"kSignal", kSignal, true, 0x17, 0x0B},
    {"kReadBlock3", kReadBlock3, true, 0x18, 0x01},
    {"kWriteBlock3", kWriteBlock3, true, std::nullopt, 0x02},
    {"kWriteBlock3Alt", kWriteBlock3Alt, true, std::nullopt, 0x02},
    {"kReadBlock4", kReadBlock4, true, 0x1B, 0x01},
    {"kWriteBlock4", kWriteBlock4, true, 0x1C, 0x02},
    {"kWriteBlock4Alt", kWriteBlock4Alt, true, 0x1D, 0x02},
    {"kReadBlock5", kReadBlock5, true, 0x1E, 0x01},
    {"kWriteBlock5", kWriteBlock5, true, 0x1F, 0x02},
};

TEST(KeltFrames, CommandByteOfEverySubCommand) {
    for (const auto& row : kCommands) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(OlderIdentifies(row.sub), row.identifies);
        EXPECT_EQ(OlderCommandByte(row.sub), row.older);
        EXPECT_EQ(NewerCommandByte(row.sub), row.newer);
    }
}

// --- the rules of the answers ---------------------------------------------------------

struct RuleRow {
    const char* name;
    std::function<void()> check;
    const char* outcome;
};

const RuleRow kRules[] = {
    // Worked example: an adapter answering 255 serves model 0's requests but
    // not sub-command 23.
    {"adapter 255, kSignal", [] { CheckAdapterAnswer(255, kSignal); }, "failed: Адаптер поддерживает только КЕЛТ-ЧИ2-xxx"},
    {"adapter 255, kFirmware", [] { CheckAdapterAnswer(255, kFirmware); },
     "failed: Адаптер поддерживает только КЕЛТ-ЧИ2-xxx"},
    {"adapter 255, kReadBlock1", [] { EXPECT_FALSE(CheckAdapterAnswer(255, kReadBlock1)); }, "ok"},
    {"adapter 15: version bytes follow", [] { EXPECT_TRUE(CheckAdapterAnswer(15, kSignal)); }, "ok"},
    {"adapter 14", [] { CheckAdapterAnswer(14, kReadBlock1); }, "failed: Ошибка обмена"},
    {"adapter version 1, kSignal", [] { CheckAdapterVersion(1, kSignal); },
     "failed: Адаптер не поддерживает КЕЛТ1(2)-ЧИ2.23-xxx"},
    {"adapter version 1, kReadBlock2", [] { CheckAdapterVersion(1, kReadBlock2); }, "ok"},
    {"adapter version 2, kWriteBlock3", [] { CheckAdapterVersion(2, kWriteBlock3); }, "ok"},

    // Worked example: a device answering 255 to a read of block 2 is busy:
    // the failure carries an empty text.
    {"echo 255 to kReadBlock2", [] { CheckOlderEcho(255, 16, kReadBlock2); }, "failed: "},
    // The adapter's own commands do not know busy: 255 is a wrong echo there.
    {"echo 255 to kAmplitude", [] { CheckOlderEcho(255, 0, kAmplitude); }, "failed: Ошибка обмена"},
    {"echo 255 to kLevel2", [] { CheckOlderEcho(255, 13, kLevel2); }, "failed: Ошибка обмена"},
    {"echo one off", [] { CheckOlderEcho(17, 16, kReadBlock2); }, "failed: Ошибка обмена"},
    {"newer echo 255", [] { CheckEcho(255, 1); }, "failed: Ошибка обмена"},

    {"older type 3 writes block 3", [] { EXPECT_TRUE(CheckOlderType(3, kWriteBlock3)); }, "ok"},
    {"older type 4 writes block 3", [] { EXPECT_FALSE(CheckOlderType(4, kWriteBlock3)); }, "ok"},
    {"older type 7", [] { CheckOlderType(7, kReadBlock1); }, "failed: Неизвестная версия прибора"},
    {"older type 5", [] { CheckOlderType(5, kBattery); }, "failed: Неправильный тип КЕЛТ"},
    {"older type 1, kReadBlock2", [] { CheckOlderType(1, kReadBlock2); }, "failed: Неправильный тип КЕЛТ"},
    {"older type 2, kSignal", [] { CheckOlderType(2, kSignal); }, "failed: Неправильный тип КЕЛТ"},
    {"older type 2, kFirmware", [] { CheckOlderType(2, kFirmware); }, "ok"},
    {"older type 3, kReadCorrection", [] { CheckOlderType(3, kReadCorrection); }, "failed: Неправильный тип КЕЛТ"},
    {"newer type 5, model 11", [] { CheckNewerType(5, 11); }, "failed: Неправильный тип прибора"},
    {"newer type 6, model 11", [] { CheckNewerType(6, 11); }, "ok"},
    {"newer type 9, model 17", [] { CheckNewerType(9, 17); }, "failed: Неправильный тип прибора"},
    {"newer type 4", [] { CheckNewerType(4, 18); }, "failed: Неизвестная версия прибора"},
};

TEST(KeltFrames, AdapterEchoAndTypeRules) {
    for (const auto& row : kRules) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(failureOf(row.check), row.outcome);
    }
}

// --- answers ---------------------------------------------------------------------------

TEST(KeltFrames, ChecksummedAnswers) {
    // [value 5, sum 00 05].
    const Frame five{0x05, 0x00, 0x05};
    const auto data = CheckedData(five);
    EXPECT_EQ(Frame(data.begin(), data.end()), Frame{0x05});
    EXPECT_EQ(failureOf([] { CheckedData(Frame{0x05, 0x00, 0x06}); }), "failed: Ошибка контрольной суммы");
    EXPECT_EQ(failureOf([] { CheckedData(Frame{0x05, 0x05, 0x00}); }), "failed: Ошибка контрольной суммы")
        << "most significant byte first";

    // Correction answer: [0x1A, 30 zeros, sum 0x001A]: (0x1A AND 15) - 7 = 10 - 7 = 3.
    const Frame correction = cat({{0x1A}, Frame(30, 0), {0x00, 0x1A}});
    EXPECT_EQ(DecodeCorrection(std::span<const std::uint8_t, 33>(correction.data(), 33)), 3);
    Frame bad = correction;
    bad[32] = 0x1B;
    EXPECT_EQ(failureOf([&] { DecodeCorrection(std::span<const std::uint8_t, 33>(bad.data(), 33)); }),
              "failed: Ошибка контрольной суммы");

    // Signal record: 43 half degrees = 21.5 °C, flags 1, period 0x0147 = 327
    // (least significant byte first): 32768 / 327 Hz; sum 43 + 1 + 0x47 + 0x01
    // = 116 = 0x0074.
    const Frame record{43, 1, 0x47, 0x01, 0x00, 0x74};
    const KeltSignal s = DecodeSignal(std::span<const std::uint8_t, 6>(record.data(), 6));
    EXPECT_EQ(s.temperature, 21.5);
    EXPECT_EQ(s.flags, 1);
    EXPECT_DOUBLE_EQ(s.frequency, 32768.0 / 327);
    // Flags 2: bits 1-2 equal 2, the frequency is unknown. Sum 43 + 2 + 0x47 + 0x01 = 117 = 0x0075.
    const Frame unknown{43, 2, 0x47, 0x01, 0x00, 0x75};
    EXPECT_TRUE(DecodeSignal(std::span<const std::uint8_t, 6>(unknown.data(), 6)).frequencyUnknown());
}

}  // namespace
