#include "devices/kelt/KeltFrames.h"

#include <algorithm>

#include "common/MathError.h"

namespace kelt {

namespace {

bool between(int v, int lo, int hi) { return v >= lo && v <= hi; }
template <class... T>
bool oneOf(int v, T... options) {
    return ((v == options) || ...);
}

void appendChecksum(Frame& frame, std::span<const std::uint8_t> covered) {
    const std::uint16_t sum = Checksum(covered);
    frame.push_back(static_cast<std::uint8_t>(sum >> 8));
    frame.push_back(static_cast<std::uint8_t>(sum));
}

// The sub-commands of the devices behind a full adapter only (block 3 devices).
bool needsFullAdapter(int s) { return between(s, kSignal, kWriteBlock3Alt); }

}  // namespace

Frame BlockFrame(std::uint8_t command, std::span<const std::uint8_t> block) {
    Frame frame;
    frame.reserve(block.size() + 3);
    frame.push_back(command);
    frame.insert(frame.end(), block.begin(), block.end());
    appendChecksum(frame, block);
    return frame;
}

Frame CorrectionFrame(int halfDegrees) {
    Frame frame(32, 0);
    frame[0] = kWriteCorrection;
    frame[1] = static_cast<std::uint8_t>(halfDegrees + 7);
    appendChecksum(frame, std::span(frame).subspan(1, 31));
    return frame;
}

Frame Block3WriteFrame(const Block3& block, std::uint8_t counter, bool type3) {
    Frame frame;
    frame.reserve(kBlock3Size + 4);
    frame.push_back(type3 ? kType3Block3Write : std::uint8_t{kWriteBlock3});
    frame.insert(frame.end(), block.begin(), block.end());
    // The counter byte goes back one up, except to a type-3 transducer,
    // which takes it as it was read.
    frame.push_back(static_cast<std::uint8_t>(type3 ? counter : counter + 1));
    appendChecksum(frame, std::span(frame).subspan(1, kBlock3Size + 1));
    return frame;
}

Frame LowerType3Checksum(Frame frame) {
    if (!frame.empty()) frame.back() = static_cast<std::uint8_t>(frame.back() - kType3ChecksumLowering);
    return frame;
}

std::optional<Frame> OlderWriteFrame(std::uint8_t sub, const KeltBlockValues& values, int model) {
    if (sub == kWriteBlock1 || sub == kWriteBlock1Alt) {
        Block1 block;
        EncodeBlock1(values, model, block);
        return BlockFrame(kWriteBlock1, block);
    }
    if (sub == kWriteBlock2 || sub == kWriteBlock2Alt) {
        Block2 block;
        EncodeBlock2(values, model, block);
        return BlockFrame(kWriteBlock2, block);
    }
    return std::nullopt;
}

std::optional<Frame> NewerWriteFrame(std::uint8_t sub, const KeltBlockValues& values, int model) {
    if (sub == kWriteBlock3 || sub == kWriteBlock3Alt) {
        Block3 block;
        EncodeBlock3(values, model, block);
        return BlockFrame(kNewerWrite, block);
    }
    if (sub == kWriteBlock4 || sub == kWriteBlock4Alt) {
        Block4 block;
        EncodeBlock4(values, model, block);
        return BlockFrame(kNewerWrite, block);
    }
    if (sub == kWriteBlock5) {
        Block5 block;
        EncodeBlock5(values, block);
        return BlockFrame(kNewerWrite, block);
    }
    return std::nullopt;
}

bool IsAdapterCommand(std::uint8_t sub) { return sub == kAmplitude || between(sub, kLevel0, kAdapterQuery); }

bool KeepsShortTimeout(std::uint8_t sub) { return between(sub, kLevel0, kAdapterQuery); }

bool OlderIdentifies(std::uint8_t sub) {
    return oneOf(sub, kReadBlock1, kWriteBlock1, kSpare3, kSpare4, kWriteBlock1Alt, kSpare7, kFirmware, kSpare10) ||
           between(sub, kReadBlock2, kWriteBlock5);
}

std::optional<std::uint8_t> OlderCommandByte(std::uint8_t sub) {
    if (oneOf(sub, kWriteBlock1, kSpare4, kWriteBlock1Alt, kSpare7, kSpare10, kWriteBlock2, kWriteBlock2Alt,
              kWriteCorrection, kWriteCorrectionAlt, kWriteBlock3, kWriteBlock3Alt))
        return std::nullopt;
    return sub;
}

namespace {

// Sub-commands an adapter for model 0 only refuses.
bool refusedByModel0Adapter(std::uint8_t sub) {
    return oneOf(sub, kFirmware, kSpare10) || between(sub, kWriteCorrection, kWriteBlock3Alt);
}

}  // namespace

bool CheckAdapterAnswer(std::uint8_t answer, std::uint8_t sub) {
    if (answer == kModel0Adapter) {
        if (refusedByModel0Adapter(sub)) throw UserError(kAdapterModel0Only);
        return false;
    }
    if (answer != kAdapterQuery) throw UserError(kExchangeError);
    return true;
}

void CheckAdapterVersion(std::uint8_t version, std::uint8_t sub) {
    if (version < 2 && needsFullAdapter(sub)) throw UserError(kAdapterNo23);
}

void CheckOlderEcho(std::uint8_t echo, std::uint8_t sent, std::uint8_t sub) {
    if (echo == kBusyEcho && !IsAdapterCommand(sub)) throw UserError("");  // busy: the page pauses 12 s
    if (echo != sent) throw UserError(kExchangeError);
}

void CheckEcho(std::uint8_t echo, std::uint8_t sent) {
    if (echo != sent) throw UserError(kExchangeError);
}

bool CheckOlderType(int type, std::uint8_t sub) {
    if (type < 1 || type > 6) throw UserError(kUnknownDevice);
    const int s = sub;
    const bool early = between(s, kReadBlock1, kDeviceType);
    const bool block2 = oneOf(s, kBattery, kDeviceType, kFirmware, kSpare10) || between(s, kReadBlock2, kTemperature);
    const bool block3 = oneOf(s, kBattery, kDeviceType) || between(s, kSignal, kWriteBlock3Alt);
    const bool wrong = type == 5 || type == 6 || (type == 1 && !early) || (type == 2 && !block2) ||
                       ((type == 3 || type == 4) && !block3);
    if (wrong) throw UserError(kWrongKelt);
    return type == 3;
}

void CheckNewerType(int type, int model) {
    if (type < 5 || type > 9) throw UserError(kUnknownDevice);
    if ((type == 5 && model == 11) || ((type == 5 || type == 6) && !between(model, 9, 11)) ||
        ((type == 7 || type == 8) && !between(model, 12, 17)) || (type == 9 && model != 18))
        throw UserError(kWrongDevice);
}

std::optional<std::uint8_t> NewerCommandByte(std::uint8_t sub) {
    switch (sub) {
    case kDeviceType:
        return kNewerIdentify;
    case kFirmware:
        return kNewerFirmware;
    case kTemperature:
    case kSignal:
        return kNewerMeasure;
    case kReadBlock3:
    case kReadBlock4:
    case kReadBlock5:
        return kNewerRead;
    case kWriteBlock3:
    case kWriteBlock3Alt:
    case kWriteBlock4:
    case kWriteBlock4Alt:
    case kWriteBlock5:
        return kNewerWrite;
    default:
        return std::nullopt;
    }
}

std::span<const std::uint8_t> CheckedData(std::span<const std::uint8_t> answer) {
    if (answer.size() < 2) throw UserError(kChecksumError);
    const std::span<const std::uint8_t> data = answer.first(answer.size() - 2);
    if (Checksum(data) != GetChecksum(answer.data() + data.size())) throw UserError(kChecksumError);
    return data;
}

int DecodeCorrection(std::span<const std::uint8_t, 33> answer) { return (CheckedData(answer)[0] & 15) - 7; }

KeltSignal DecodeSignal(std::span<const std::uint8_t, 6> answer) {
    CheckedData(answer);
    KeltSignal signal;
    signal.temperature = answer[0] * 0.5;
    signal.flags = answer[1];
    const int period = answer[2] | (answer[3] << 8);
    signal.frequency = (signal.flags & 4) == 0 && period != 0 ? 32768.0 / period : 0.0;
    return signal;
}

const char* SubName(std::uint8_t sub) {
    switch (sub) {
    case kAmplitude: return "амплитуда сигнала";
    case kReadBlock1: return "чтение блока 1";
    case kWriteBlock1: return "запись блока 1";
    case kBattery: return "напряжение батареи";
    case kDeviceType: return "тип прибора";
    case kFirmware: return "версия программы";
    case kLevel0: return "уровень адаптера 0";
    case kLevel1: return "уровень адаптера 1";
    case kLevel2: return "уровень адаптера 2";
    case kLevel3: return "уровень адаптера 3";
    case kAdapterQuery: return "запрос адаптера";
    case kReadBlock2: return "чтение блока 2";
    case kWriteBlock2: return "запись блока 2";
    case kReadCorrection: return "чтение коррекции температуры";
    case kWriteCorrection: return "запись коррекции температуры";
    case kTemperature: return "температура";
    case kSignal: return "температура, сигнал и частота";
    case kReadBlock3: return "чтение блока 3";
    case kWriteBlock3: return "запись блока 3";
    case kReadBlock4: return "чтение блока 4";
    case kWriteBlock4: return "запись блока 4";
    case kReadBlock5: return "чтение блока 5";
    case kWriteBlock5: return "запись блока 5";
    default: return "обмен";
    }
}

framelog::Verdict JudgeAdapterAnswer(std::span<const std::uint8_t> answer, std::uint8_t sub) {
    const int a = answer.empty() ? -1 : answer[0];
    const bool refused = a == kModel0Adapter && refusedByModel0Adapter(sub);
    return framelog::Judge(answer.size(), 1, a == kAdapterQuery || a == kModel0Adapter, refused);
}

framelog::Verdict JudgeOlderEcho(std::span<const std::uint8_t> echo, std::uint8_t sent, std::uint8_t sub) {
    // A busy answer is a right answer of the protocol: its check is good.
    const bool busy = !echo.empty() && echo[0] == kBusyEcho && !IsAdapterCommand(sub);
    return framelog::Judge(echo.size(), 1, busy || (!echo.empty() && echo[0] == sent), busy);
}

framelog::Verdict JudgeEcho(std::span<const std::uint8_t> echo, std::span<const std::uint8_t> sent) {
    const bool same = echo.size() == sent.size() && std::equal(echo.begin(), echo.end(), sent.begin());
    return framelog::Judge(echo.size(), sent.size(), same);
}

framelog::Verdict JudgeChecked(std::span<const std::uint8_t> answer, std::size_t expected) {
    const bool sumGood = answer.size() == expected && expected >= 2 &&
                         Checksum(answer.first(expected - 2)) == GetChecksum(answer.data() + expected - 2);
    return framelog::Judge(answer.size(), expected, sumGood);
}

framelog::Verdict JudgeLength(std::span<const std::uint8_t> answer, std::size_t expected) {
    return framelog::Judge(answer.size(), expected, true);
}

}  // namespace kelt
