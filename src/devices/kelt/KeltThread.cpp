#include "devices/kelt/KeltThread.h"

#include <algorithm>
#include <thread>

#include "common/MathError.h"

namespace kelt {

namespace {

bool between(int v, int lo, int hi) { return v >= lo && v <= hi; }

template <std::size_t N>
std::array<std::uint8_t, N> blockFrom(std::span<const std::uint8_t> bytes) {
    std::array<std::uint8_t, N> block;
    std::copy(bytes.begin(), bytes.begin() + N, block.begin());
    return block;
}

// The slot keeps the bytes of the block read or written.
void keepBytes(std::span<const std::uint8_t> bytes, KeltCommon& param) {
    std::copy(bytes.begin(), bytes.end(), param.data.begin());
}

}  // namespace

KeltLink::KeltLink(comprt::ComPort& port, Sleep sleep, FrameLog* log)
    : m_port(port), m_wire(port, log), m_sleep(std::move(sleep)) {}

void KeltLink::Wait(int ms) {
    if (m_sleep)
        m_sleep(std::chrono::milliseconds(ms));
    else
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void KeltLink::Send(std::span<const std::uint8_t> bytes) { m_wire.Write(bytes); }
void KeltLink::SendByte(std::uint8_t byte) { m_wire.Write(std::span(&byte, 1)); }

template <class Judge>
void KeltLink::Receive(std::uint8_t* out, std::size_t count, Judge&& judge) {
    m_wire.Read(out, count, judge);
}

std::uint8_t KeltLink::ReadByte() {
    std::uint8_t b = 0;
    Receive(&b, 1, [](auto got) { return JudgeLength(got, 1); });
    return b;
}

void KeltLink::Echo(std::uint8_t sent, std::uint8_t sub) {
    std::uint8_t echo = 0;
    Receive(&echo, 1, [sent, sub](auto got) { return JudgeOlderEcho(got, sent, sub); });
    CheckOlderEcho(echo, sent, sub);
}

void KeltLink::StrictEcho(std::uint8_t sent) {
    std::uint8_t echo = 0;
    Receive(&echo, 1, [&sent](auto got) { return JudgeEcho(got, std::span(&sent, 1)); });
    CheckEcho(echo, sent);
}

void KeltLink::ReadChecked(std::uint8_t* out, std::size_t count) {
    Receive(out, count, [count](auto got) { return JudgeChecked(got, count); });
    CheckedData({out, count});
}

void KeltLink::SendAndCompare(std::span<const std::uint8_t> sent, std::span<const std::uint8_t> expected, bool older,
                              std::uint8_t sub) {
    Send(sent);
    if (older)
        Echo(expected[0], sub);
    else
        StrictEcho(expected[0]);
    std::array<std::uint8_t, 48> back{};
    const std::size_t rest = expected.size() - 1;
    Receive(back.data(), rest, [&expected](auto got) { return JudgeEcho(got, expected.subspan(1)); });
    if (!std::equal(back.begin(), back.begin() + static_cast<std::ptrdiff_t>(rest), expected.begin() + 1))
        throw UserError(kExchangeError);
}

void KeltLink::ResetAdapter() {
    if (!m_port.IsOpen()) throw UserError(comprt::kPortNotOpen);
    m_port.EscapeFunction(comprt::kClrDtr);
    m_port.EscapeFunction(comprt::kClrRts);
    Wait(200);
    m_port.EscapeFunction(comprt::kSetDtr);
    Wait(100);
}

void KeltLink::Exchange(KeltCommon& param) {
    m_wire.setRequest(SubName(param.sub));
    if (param.model >= 15) {
        m_port.SetBreak();
        Wait(500);
        m_port.ClearBreak();
        Wait(100);
    }
    if (param.model <= 8)
        ExchangeViaAdapter(param);
    else
        ExchangeDirect(param);
}

void KeltLink::AutoTune(KeltCommon& param) {
    for (std::uint8_t level = kLevel3; level >= kLevel0; --level) {
        param.sub = level;
        Exchange(param);
        param.sub = kAmplitude;
        Exchange(param);
        param.sub = level;
        if (AmplitudeGood(param.data[0])) return;
    }
}

void KeltLink::ExchangeViaAdapter(KeltCommon& param) {
    const std::uint8_t s = param.sub;
    // Blocks are encoded before anything is sent: a value the block cannot
    // hold fails with nothing on the line.
    const std::optional<Frame> frame = OlderWriteFrame(s, param.values, param.model);
    Block3 newBlock3{};
    if (s == kWriteBlock3 || s == kWriteBlock3Alt) EncodeBlock3(param.values, param.model, newBlock3);

    m_port.Purge();
    m_port.SetReadTimeout(200);
    SendByte(kAdapterQuery);
    std::uint8_t adapter = 0;
    Receive(&adapter, 1, [s](auto got) { return JudgeAdapterAnswer(got, s); });
    if (CheckAdapterAnswer(adapter, s)) {
        std::uint8_t version[2];
        Receive(version, 2, [](auto got) { return JudgeLength(got, 2); });
        CheckAdapterVersion(version[1], s);
    }
    if (!KeepsShortTimeout(s)) m_port.SetReadTimeout(4500);

    bool type3 = false;
    if (OlderIdentifies(s)) {
        SendByte(kDeviceType);
        Echo(kDeviceType, s);
        std::uint8_t answer[3];
        ReadChecked(answer, 3);
        type3 = CheckOlderType(answer[0], s);
    }
    if (const std::optional<std::uint8_t> command = OlderCommandByte(s)) {
        SendByte(*command);
        Echo(*command, s);
    }

    switch (s) {
    case kAmplitude:
        param.data[0] = ReadByte();
        break;
    case kReadBlock1: {
        std::uint8_t answer[kBlock1Size + 2];
        ReadChecked(answer, sizeof answer);
        const Block1 block = blockFrom<kBlock1Size>(answer);
        param.values = DecodeBlock1(block);
        keepBytes(block, param);
        break;
    }
    case kWriteBlock1:
    case kWriteBlock2:
        SendAndCompare(*frame, *frame, true, s);
        keepBytes(std::span(*frame).subspan(1, frame->size() - 3), param);
        break;
    case kBattery:
    case kDeviceType:
    case kTemperature: {
        std::uint8_t answer[3];
        ReadChecked(answer, 3);
        param.data[0] = answer[0];
        break;
    }
    case kReadBlock2: {
        std::uint8_t answer[kBlock2Size + 2];
        ReadChecked(answer, sizeof answer);
        const Block2 block = blockFrom<kBlock2Size>(answer);
        param.values = DecodeBlock2(block);
        keepBytes(block, param);
        break;
    }
    case kReadCorrection: {
        std::uint8_t answer[33];
        ReadChecked(answer, sizeof answer);
        param.data[0] = static_cast<std::uint8_t>(DecodeCorrection(answer));
        break;
    }
    case kWriteCorrection: {
        const Frame out = CorrectionFrame(static_cast<std::int8_t>(param.data[0]));
        SendAndCompare(out, out, true, s);
        break;
    }
    case kSignal: {
        std::uint8_t answer[6];
        ReadChecked(answer, 6);
        param.signal = DecodeSignal(answer);
        std::copy(answer, answer + 4, param.data.begin());
        break;
    }
    case kReadBlock3: {
        std::uint8_t answer[kBlock3Size + 3];  // the block, the write counter, the checksum
        ReadChecked(answer, sizeof answer);
        const Block3 block = blockFrom<kBlock3Size>(answer);
        param.values = DecodeBlock3(block, param.model);
        keepBytes(block, param);
        break;
    }
    case kWriteBlock3: {
        // Read-modify-write: the stored block's counter goes into the new frame.
        SendByte(kReadBlock3);
        Echo(kReadBlock3, s);
        std::uint8_t answer[kBlock3Size + 3];
        ReadChecked(answer, sizeof answer);
        const Frame expected = Block3WriteFrame(newBlock3, answer[kBlock3Size], type3);
        // The transducer echoes the checksum as it should be, not as it was sent.
        const Frame sent = type3 ? LowerType3Checksum(expected) : expected;
        SendAndCompare(sent, expected, true, s);
        keepBytes(newBlock3, param);
        break;
    }
    default:
        break;
    }
}

void KeltLink::ExchangeDirect(KeltCommon& param) {
    const std::uint8_t s = param.sub;
    const std::optional<Frame> frame = NewerWriteFrame(s, param.values, param.model);

    const bool wake = between(param.model, 9, 11);
    m_port.Purge();
    m_port.SetReadTimeout(250);
    if (wake) {
        Wait(5);
        SendByte(kWakeUp);
    }
    SendByte(kNewerIdentify);
    StrictEcho(kNewerIdentify);
    std::uint8_t id[3];
    ReadChecked(id, 3);
    if (s != kDeviceType) CheckNewerType(id[0], param.model);
    if (wake) {
        Wait(5);
        SendByte(kWakeUp);
    }

    const std::optional<std::uint8_t> command = NewerCommandByte(s);
    if (!command) return;
    if (frame) {
        SendAndCompare(*frame, *frame, false, s);
        keepBytes(std::span(*frame).subspan(1, frame->size() - 3), param);
        return;
    }

    SendByte(*command);
    if (s == kFirmware) Wait(3000);
    if (s == kTemperature) Wait(600);
    StrictEcho(*command);

    const auto readBlock = [&](std::size_t size) {
        std::array<std::uint8_t, 48> answer{};
        ReadChecked(answer.data(), size + 2);
        keepBytes(std::span(answer).first(size), param);
        return answer;
    };
    switch (s) {
    case kDeviceType:
    case kTemperature: {
        std::uint8_t answer[3];
        ReadChecked(answer, 3);
        param.data[0] = answer[0];
        break;
    }
    case kFirmware: {
        std::uint8_t answer[6];
        ReadChecked(answer, 6);
        std::copy(answer, answer + 4, param.data.begin());
        break;
    }
    case kSignal: {
        std::uint8_t answer[6];
        ReadChecked(answer, 6);
        param.signal = DecodeSignal(answer);
        std::copy(answer, answer + 4, param.data.begin());
        break;
    }
    case kReadBlock3:
        param.values = DecodeBlock3(blockFrom<kBlock3Size>(readBlock(kBlock3Size)), param.model);
        break;
    case kReadBlock4:
        param.values = DecodeBlock4(blockFrom<kBlock4Size>(readBlock(kBlock4Size)), param.model);
        break;
    case kReadBlock5:
        param.values = DecodeBlock5(blockFrom<kBlock5Size>(readBlock(kBlock5Size)));
        break;
    default:
        break;
    }
}

}  // namespace kelt

KeltThread::~KeltThread() { Stop(); }

void KeltThread::Process(std::int32_t code, KeltCommon& param) {
    kelt::KeltLink link(m_port, m_sleep, m_log.get());
    switch (code) {
    case kelt::kOpenSlow:
    case kelt::kOpenFast:
        m_port.Open(param.sub, code == kelt::kOpenSlow ? 4800 : 9600, 4500, 0, comprt::DtrControl::Enable,
                    comprt::RtsControl::Disable, 0);
        m_log = OpenedLog(param.sub);
        link.ResetAdapter();
        break;
    case kelt::kExchange:
        link.Exchange(param);
        break;
    case kelt::kResetAdapter:
        link.ResetAdapter();
        break;
    case kelt::kPause:
        if (m_sleep)
            m_sleep(std::chrono::milliseconds(12000));
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(12000));
        break;
    case kelt::kAutoTune:
        link.AutoTune(param);
        break;
    default:
        break;
    }
}
