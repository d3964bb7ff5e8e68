// The frame log's verdict on replies of each protocol: good, short,
// bad-check and device-error replies. The good frames are the simulated
// devices' answers as srvtool --trace showed them (devsim's defaults); the
// broken ones are those answers cut or changed as devsim's faults change them.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "devices/dorn/DornProtocol.h"
#include "devices/kelt/KeltFrames.h"
#include "devices/nivor/NivorProtocol.h"
#include "devices/rv/RvFrames.h"

using framelog::Check;
using framelog::Outcome;
using framelog::Verdict;
using Bytes = std::vector<std::uint8_t>;

namespace {

constexpr Verdict kGood{Check::Good, Outcome::Answered};
constexpr Verdict kShort{Check::Short, Outcome::Short};
constexpr Verdict kBad{Check::Bad, Outcome::BadCheck};
constexpr Verdict kSilent{Check::None, Outcome::Silent};
constexpr Verdict kDeviceError{Check::Good, Outcome::DeviceError};

std::string text(Verdict v) {
    return std::string(framelog::ToText(v.check)) + "/" + framelog::ToText(v.outcome);
}

struct Case {
    const char* what;
    Bytes reply;
    Verdict verdict;
};

// A reply judged against the length its request expects.
struct SizedCase {
    const char* what;
    Bytes reply;
    std::size_t expected;
    Verdict verdict;
};

// ------------------------------------------------------------------ Dorn

// Diameter 50, A = 1.5, B = -0.25: the write frame, echoed.
const Bytes kDornWrite = {0x00, 0x3a, 0x98, 0x01, 0xf6, 0x3c, 0x05, 0x0d};

TEST(FrameVerdict, DornEchoMustBeTheWholeRequest) {
    const Case kCases[] = {
        {"echo", kDornWrite, kGood},
        {"byte 6 wrong (badsum)", {0x00, 0x3a, 0x98, 0x01, 0xf6, 0x3c, 0x06, 0x0d}, kBad},
        {"half, then nothing", {0x00, 0x3a, 0x98, 0x01}, kShort},
        {"nothing", {}, kSilent},
    };
    for (const auto& c : kCases) EXPECT_EQ(text(dorn::judgeEcho(kDornWrite, c.reply)), text(c.verdict)) << c.what;
}

TEST(FrameVerdict, DornReadAnswerIsJudgedByItsLengthOnly) {
    // A = 0.12 at diameter 25; bytes 6 and 7 are not looked at by the page.
    const Case kCases[] = {
        {"answer", {0x01, 0x5d, 0xc0, 0x00, 0x00, 0x00, 0x1e, 0x0d}, kGood},
        {"answer, byte 6 wrong", {0x01, 0x5d, 0xc0, 0x00, 0x00, 0x00, 0x00, 0x0d}, kGood},
        {"three bytes", {0x01, 0x5d, 0xc0}, kShort},
        {"nothing", {}, kSilent},
    };
    for (const auto& c : kCases) EXPECT_EQ(text(dorn::judgeAnswer(c.reply)), text(c.verdict)) << c.what;
}

// ------------------------------------------------------------------ RV

TEST(FrameVerdict, RvRepliesByCrcLengthAndErrorBit) {
    const SizedCase kCases[] = {
        {"address 1", {0x01, 0x41, 0x05, 0x01, 0x93, 0x5c}, 6, kGood},
        {"system block",
         {0x01, 0x41, 0x00, 0x00, 0x00, 0x03, 0x05, 0x4e, 0x61, 0xbc, 0x00, 0x05, 0x8d, 0xbc},
         14,
         kGood},
        {"error reply 6, busy", {0x01, 0xc1, 0x06, 0xf1, 0x92}, 6, kDeviceError},
        {"error reply 4", {0x01, 0xc1, 0x04, 0x70, 0x53}, 14, kDeviceError},
        {"error reply, wrong CRC", {0x01, 0xc1, 0x06, 0xf1, 0x93}, 6, kBad},
        {"error reply cut", {0x01, 0xc1, 0x06}, 6, kShort},
        {"address, wrong CRC (badsum)", {0x01, 0x41, 0x05, 0x01, 0x93, 0x06}, 6, kBad},
        {"address without its last byte (short)", {0x01, 0x41, 0x05, 0x01, 0x93}, 6, kShort},
        {"one byte", {0x01}, 6, kShort},
        {"nothing", {}, 6, kSilent},
    };
    for (const auto& c : kCases) EXPECT_EQ(text(rv::judgeReply(c.reply, c.expected)), text(c.verdict)) << c.what;
}

TEST(FrameVerdict, EveryRvRequestOfTheMapHasItsName) {
    for (const auto& r : rv::registerMap()) {
        if (r.readReply >= 0) {
            EXPECT_STRNE(rv::requestName(rv::FnRead, r.reg), "обмен") << r.name;
        }
        if (r.writeReply >= 0) {
            EXPECT_STRNE(rv::requestName(rv::FnWrite, r.reg), "обмен") << r.name;
        }
    }
    EXPECT_STREQ(rv::requestName(rv::FnRead, rv::RegCalibration), "чтение калибровочных коэффициентов");
    EXPECT_STREQ(rv::requestName(0x55, rv::RegCalibration), "обмен");
}

// ------------------------------------------------------------------ Nivor

TEST(FrameVerdict, NivorEchoesAndChecksummedAnswers) {
    const Bytes greeting = {nivor::kGreeting};
    const Bytes timeStop = {0x00, 0x00, 0x10, 0x00, 0x10};  // 1 s
    const Case kEchoes[] = {
        {"greeting", {0x09}, kGood},
        {"greeting, other byte (garbage)", {0x0a}, kBad},
        {"nothing", {}, kSilent},
    };
    for (const auto& c : kEchoes) EXPECT_EQ(text(nivor::judgeEcho(greeting, c.reply)), text(c.verdict)) << c.what;
    EXPECT_EQ(text(nivor::judgeEcho(timeStop, timeStop)), text(kGood));
    EXPECT_EQ(text(nivor::judgeEcho(timeStop, Bytes{0x00, 0x00, 0x10})), text(kShort));

    const Bytes block = {0x94, 0x00, 0x10, 0x00, 0x00, 0x10, 0x00, 0xe8, 0x03, 0x00, 0x00, 0x10, 0x00, 0xf4, 0x01,
                         0x00, 0x00, 0x10, 0x00, 0xfa, 0x00, 0x00, 0x00, 0x10, 0x00, 0x64, 0x00, 0x00, 0x22};
    Bytes badBlock = block;
    badBlock.back() = 0x23;
    const SizedCase kChecked[] = {
        {"identity: type 3", {0x00, 0x03, 0x03}, 3, kGood},
        {"identity, wrong sum (badsum)", {0x00, 0x03, 0x02}, 3, kBad},
        {"identity cut", {0x00, 0x03}, 3, kShort},
        {"measurement block", block, 29, kGood},
        {"measurement block, wrong sum", badBlock, 29, kBad},
        {"measurement block cut", Bytes(block.begin(), block.begin() + 10), 29, kShort},
        {"nothing", {}, 29, kSilent},
    };
    for (const auto& c : kChecked)
        EXPECT_EQ(text(nivor::judgeChecked(c.reply, c.expected)), text(c.verdict)) << c.what;
}

TEST(FrameVerdict, NivorReplyCodesTheDialogKnows) {
    const Case kCases[] = {
        {"0: counting", {0x00}, kGood},   {"4: not finished", {0x04}, kGood},
        {"9: no measurement", {0x09}, kGood}, {"5", {0x05}, kBad},
        {"255", {0xff}, kBad},            {"nothing", {}, kSilent},
    };
    for (const auto& c : kCases) EXPECT_EQ(text(nivor::judgeReplyCode(c.reply)), text(c.verdict)) << c.what;
}

// ------------------------------------------------------------------ Kelt

TEST(FrameVerdict, KeltAdapterAnswerAndEchoes) {
    using namespace kelt;
    EXPECT_EQ(text(JudgeAdapterAnswer(Bytes{0x0f}, kBattery)), text(kGood));
    // An adapter for model 0 only: fine for the battery, a refusal for the
    // signal record.
    EXPECT_EQ(text(JudgeAdapterAnswer(Bytes{0xff}, kBattery)), text(kGood));
    EXPECT_EQ(text(JudgeAdapterAnswer(Bytes{0xff}, kSignal)), text(kDeviceError));
    EXPECT_EQ(text(JudgeAdapterAnswer(Bytes{0x00}, kBattery)), text(kBad));
    EXPECT_EQ(text(JudgeAdapterAnswer(Bytes{}, kBattery)), text(kSilent));

    // The older protocol's echo: 255 is a busy transducer, except for the
    // adapter's own commands, where it is just a wrong echo.
    EXPECT_EQ(text(JudgeOlderEcho(Bytes{0x05}, kBattery, kBattery)), text(kGood));
    EXPECT_EQ(text(JudgeOlderEcho(Bytes{0xff}, kBattery, kBattery)), text(kDeviceError));
    EXPECT_EQ(text(JudgeOlderEcho(Bytes{0xff}, kLevel2, kLevel2)), text(kBad));
    EXPECT_EQ(text(JudgeOlderEcho(Bytes{0x06}, kBattery, kBattery)), text(kBad));
    EXPECT_EQ(text(JudgeOlderEcho(Bytes{}, kBattery, kBattery)), text(kSilent));

    // The newer protocol's echo, and a frame read back, must be equal.
    const Bytes identify = {kNewerIdentify};
    EXPECT_EQ(text(JudgeEcho(Bytes{0x08}, identify)), text(kGood));
    EXPECT_EQ(text(JudgeEcho(Bytes{0xff}, identify)), text(kBad));
    EXPECT_EQ(text(JudgeEcho(Bytes{0x01, 0x02}, Bytes{0x01, 0x02, 0x03})), text(kShort));
}

TEST(FrameVerdict, KeltChecksummedAnswers) {
    using namespace kelt;
    const Frame block2 = BlockFrame(kReadBlock2, Bytes(kBlock2Size, 0x11));  // command, block, checksum
    const Bytes answer(block2.begin() + 1, block2.end());
    Bytes badAnswer = answer;
    badAnswer.back() ^= 1;
    const SizedCase kCases[] = {
        {"battery code 4", {0x04, 0x00, 0x04}, 3, kGood},
        {"battery, wrong sum (badsum)", {0x04, 0x00, 0x05}, 3, kBad},
        {"battery, one byte (short)", {0x01}, 3, kShort},
        {"block 2", answer, kBlock2Size + 2, kGood},
        {"block 2, wrong sum", badAnswer, kBlock2Size + 2, kBad},
        {"block 2 cut", Bytes(answer.begin(), answer.begin() + 20), kBlock2Size + 2, kShort},
        {"nothing", {}, 3, kSilent},
    };
    for (const auto& c : kCases) EXPECT_EQ(text(JudgeChecked(c.reply, c.expected)), text(c.verdict)) << c.what;
    EXPECT_EQ(text(JudgeLength(Bytes{0x01, 0x02}, 2)), text(kGood));
    EXPECT_EQ(text(JudgeLength(Bytes{0x01}, 2)), text(kShort));
}

TEST(FrameVerdict, EveryPostedKeltSubCommandHasItsName) {
    using namespace kelt;
    for (std::uint8_t sub : {kAmplitude, kReadBlock1, kWriteBlock1, kBattery, kDeviceType, kFirmware, kLevel0, kLevel3,
                             kAdapterQuery, kReadBlock2, kWriteBlock2, kReadCorrection, kWriteCorrection, kTemperature,
                             kSignal, kReadBlock3, kWriteBlock3, kReadBlock4, kWriteBlock4, kReadBlock5, kWriteBlock5})
        EXPECT_STRNE(SubName(sub), "обмен") << int(sub);
}

}  // namespace
