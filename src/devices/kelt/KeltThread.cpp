#include "devices/kelt/KeltThread.h"

#include <algorithm>
#include <cstring>
#include <thread>

#include "common/MathError.h"

namespace kelt {

namespace {

bool between(int v, int lo, int hi) { return v >= lo && v <= hi; }
template <class... T>
bool oneOf(int v, T... options) {
    return ((v == options) || ...);
}

// Older protocol: the sub-commands that run the identification step.
bool identifies(int s) { return oneOf(s, 1, 2, 3, 4, 6, 7, 9, 10) || between(s, 16, 31); }
// Older protocol: the sub-commands whose own byte is not sent as a command.
bool sendsOwnFrame(int s) { return oneOf(s, 2, 4, 6, 7, 10, 17, 18, 20, 21, 25, 26); }
// Older protocol: echo 255 means "busy" except for the adapter's own commands.
bool adapterCommand(int s) { return s == 0 || between(s, 11, 15); }

template <std::size_t N>
void copyBlock(const std::array<std::uint8_t, N>& block, KeltCommon& param) {
    std::copy(block.begin(), block.end(), param.data.begin());
}

template <std::size_t N>
std::array<std::uint8_t, N> blockFrom(const std::uint8_t* p) {
    std::array<std::uint8_t, N> block;
    std::copy(p, p + N, block.begin());
    return block;
}

}  // namespace

KeltSignal DecodeSignal(std::span<const std::uint8_t, 6> answer) {
    if (Checksum(answer.first(4)) != GetChecksum(answer.data() + 4)) throw UserError(kChecksumError);
    KeltSignal signal;
    signal.temperature = answer[0] * 0.5;
    signal.flags = answer[1];
    const int period = answer[2] | (answer[3] << 8);
    signal.frequency = (signal.flags & 4) == 0 && period != 0 ? 32768.0 / period : 0.0;
    return signal;
}

KeltLink::KeltLink(comprt::ComPort& port, Sleep sleep) : m_port(port), m_sleep(std::move(sleep)) {}

void KeltLink::Wait(int ms) {
    if (m_sleep)
        m_sleep(std::chrono::milliseconds(ms));
    else
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void KeltLink::Send(std::span<const std::uint8_t> bytes) { m_port.Write(bytes.data(), bytes.size()); }
void KeltLink::SendByte(std::uint8_t byte) { m_port.Write(&byte, 1); }

std::uint8_t KeltLink::ReadByte() {
    std::uint8_t b = 0;
    m_port.Read(&b, 1);
    return b;
}

void KeltLink::Echo(std::uint8_t sent, std::uint8_t sub) {
    const std::uint8_t echo = ReadByte();
    if (echo == 255 && !adapterCommand(sub)) throw UserError("");  // busy: the page pauses 12 s
    if (echo != sent) throw UserError(kExchangeError);
}

void KeltLink::StrictEcho(std::uint8_t sent) {
    if (ReadByte() != sent) throw UserError(kExchangeError);
}

void KeltLink::ReadChecked(std::uint8_t* out, std::size_t count) {
    m_port.Read(out, count);
    if (Checksum({out, count - 2}) != GetChecksum(out + count - 2)) throw UserError(kChecksumError);
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
    if (param.model >= 15) {
        m_port.SetBreak();
        Wait(500);
        m_port.ClearBreak();
        Wait(100);
    }
    if (param.model <= 8)
        Older(param);
    else
        Newer(param);
}

void KeltLink::AutoTune(KeltCommon& param) {
    for (std::uint8_t level = 14; level >= 11; --level) {
        param.sub = level;
        Exchange(param);
        param.sub = kAmplitude;
        Exchange(param);
        param.sub = level;
        const int amplitude = param.data[0];
        if (amplitude >= 25 && amplitude <= 80) return;
    }
}

void KeltLink::Older(KeltCommon& param) {
    const std::uint8_t s = param.sub;
    std::uint8_t frame[48] = {};
    std::size_t frameSize = 0;
    if (s == 2 || s == 6) {
        Block1 block;
        EncodeBlock1(param.values, param.model, block);
        frame[0] = 2;
        std::copy(block.begin(), block.end(), frame + 1);
        PutChecksum(frame + 1 + block.size(), Checksum(block));
        frameSize = block.size() + 3;
    } else if (s == 17 || s == 18) {
        Block2 block;
        EncodeBlock2(param.values, param.model, block);
        frame[0] = 17;
        std::copy(block.begin(), block.end(), frame + 1);
        PutChecksum(frame + 1 + block.size(), Checksum(block));
        frameSize = block.size() + 3;
    }
    Block3 newBlock3{};
    if (s == 25 || s == 26) EncodeBlock3(param.values, param.model, newBlock3);

    m_port.Purge();
    m_port.SetReadTimeout(200);
    SendByte(15);
    const std::uint8_t adapter = ReadByte();
    if (adapter == 255) {
        if (oneOf(s, 9, 10) || between(s, 20, 26)) throw UserError(kAdapterModel0Only);
    } else if (adapter != 15) {
        throw UserError(kExchangeError);
    } else {
        std::uint8_t version[2];
        m_port.Read(version, 2);
        if (version[1] < 2 && between(s, 23, 26)) throw UserError(kAdapterNo23);
    }
    if (!between(s, 11, 15)) m_port.SetReadTimeout(4500);

    bool type3 = false;
    if (identifies(s)) {
        SendByte(8);
        Echo(8, s);
        std::uint8_t answer[3];
        ReadChecked(answer, 3);
        const int type = answer[0];
        if (type < 1 || type > 6) throw UserError(kUnknownDevice);
        const bool wrong = type == 5 || type == 6 || (type == 1 && !between(s, 1, 8)) ||
                           (type == 2 && !(oneOf(s, 5, 8, 9, 10) || between(s, 16, 22))) ||
                           ((type == 3 || type == 4) && !(oneOf(s, 5, 8) || between(s, 23, 26)));
        if (wrong) throw UserError(kWrongKelt);
        type3 = type == 3;
    }
    if (!sendsOwnFrame(s)) {
        SendByte(s);
        Echo(s, s);
    }

    // Sends a write frame and reads it back: the echo of the command byte,
    // then the rest as the transducer received it.
    const auto writeAndCompare = [&](const std::uint8_t* sent, const std::uint8_t* expected, std::size_t size) {
        Send({sent, size});
        Echo(expected[0], s);
        std::uint8_t back[48];
        m_port.Read(back, size - 1);
        if (!std::equal(back, back + size - 1, expected + 1)) throw UserError(kExchangeError);
    };

    switch (s) {
    case 0:
        param.data[0] = ReadByte();
        break;
    case 1: {
        std::uint8_t answer[kBlock1Size + 2];
        ReadChecked(answer, sizeof answer);
        const Block1 block = blockFrom<kBlock1Size>(answer);
        param.values = DecodeBlock1(block);
        copyBlock(block, param);
        break;
    }
    case 2:
    case 17:
        writeAndCompare(frame, frame, frameSize);
        std::copy(frame + 1, frame + frameSize - 2, param.data.begin());
        break;
    case 5:
    case 8:
    case 22: {
        std::uint8_t answer[3];
        ReadChecked(answer, 3);
        param.data[0] = answer[0];
        break;
    }
    case 16: {
        std::uint8_t answer[kBlock2Size + 2];
        ReadChecked(answer, sizeof answer);
        const Block2 block = blockFrom<kBlock2Size>(answer);
        param.values = DecodeBlock2(block);
        copyBlock(block, param);
        break;
    }
    case 19: {
        std::uint8_t answer[33];
        ReadChecked(answer, sizeof answer);
        param.data[0] = static_cast<std::uint8_t>((answer[0] & 15) - 7);
        break;
    }
    case 20: {
        std::uint8_t out[34] = {};
        out[0] = 20;
        out[1] = static_cast<std::uint8_t>(static_cast<std::int8_t>(param.data[0]) + 7);
        PutChecksum(out + 32, Checksum({out + 1, 31}));
        writeAndCompare(out, out, sizeof out);
        break;
    }
    case 23: {
        std::uint8_t answer[6];
        m_port.Read(answer, 6);
        param.signal = DecodeSignal(std::span<const std::uint8_t, 6>(answer, 6));
        std::copy(answer, answer + 4, param.data.begin());
        break;
    }
    case 24: {
        std::uint8_t answer[39];
        ReadChecked(answer, sizeof answer);
        const Block3 block = blockFrom<kBlock3Size>(answer);
        param.values = DecodeBlock3(block, param.model);
        copyBlock(block, param);
        break;
    }
    case 25: {
        const std::uint8_t w = type3 ? 26 : 25;
        SendByte(24);
        Echo(24, s);
        std::uint8_t answer[39];
        ReadChecked(answer, sizeof answer);
        const std::uint8_t counter = answer[36];
        std::uint8_t expected[40];
        expected[0] = w;
        std::copy(newBlock3.begin(), newBlock3.end(), expected + 1);
        expected[37] = static_cast<std::uint8_t>(w == 25 ? counter + 1 : counter);
        PutChecksum(expected + 38, Checksum({expected + 1, 37}));
        std::uint8_t sent[40];
        std::copy(expected, expected + 40, sent);
        // A type-3 transducer takes its checksum with the low byte lowered by 39.
        if (w == 26) sent[39] = static_cast<std::uint8_t>(sent[39] - 39);
        writeAndCompare(sent, expected, sizeof sent);
        copyBlock(newBlock3, param);
        break;
    }
    default:
        break;
    }
}

void KeltLink::Newer(KeltCommon& param) {
    const std::uint8_t s = param.sub;
    std::uint8_t frame[48] = {};
    std::size_t frameSize = 0;
    const auto frameOf = [&](std::span<const std::uint8_t> block) {
        frame[0] = 2;
        std::copy(block.begin(), block.end(), frame + 1);
        PutChecksum(frame + 1 + block.size(), Checksum(block));
        frameSize = block.size() + 3;
    };
    if (s == 25 || s == 26) {
        Block3 block;
        EncodeBlock3(param.values, param.model, block);
        frameOf(block);
    } else if (s == 28 || s == 29) {
        Block4 block;
        EncodeBlock4(param.values, param.model, block);
        frameOf(block);
    } else if (s == 31) {
        Block5 block;
        EncodeBlock5(param.values, block);
        frameOf(block);
    }

    const bool wake = between(param.model, 9, 11);
    m_port.Purge();
    m_port.SetReadTimeout(250);
    if (wake) {
        Wait(5);
        SendByte(255);
    }
    SendByte(8);
    StrictEcho(8);
    std::uint8_t id[3];
    ReadChecked(id, 3);
    if (s != 8) {
        const int type = id[0];
        const int m = param.model;
        if (type < 5 || type > 9) throw UserError(kUnknownDevice);
        if ((type == 5 && m == 11) || ((type == 5 || type == 6) && !between(m, 9, 11)) ||
            ((type == 7 || type == 8) && !between(m, 12, 17)) || (type == 9 && m != 18))
            throw UserError(kWrongDevice);
    }
    if (wake) {
        Wait(5);
        SendByte(255);
    }

    const auto readBlock = [&](std::size_t size) {
        SendByte(1);
        StrictEcho(1);
        std::array<std::uint8_t, 48> answer{};
        ReadChecked(answer.data(), size + 2);
        std::copy(answer.begin(), answer.begin() + static_cast<std::ptrdiff_t>(size), param.data.begin());
        return answer;
    };
    const auto writeBlock = [&] {
        Send({frame, frameSize});
        StrictEcho(frame[0]);
        std::uint8_t back[48];
        m_port.Read(back, frameSize - 1);
        if (!std::equal(back, back + frameSize - 1, frame + 1)) throw UserError(kExchangeError);
        std::copy(frame + 1, frame + frameSize - 2, param.data.begin());
    };

    switch (s) {
    case 8: {
        SendByte(8);
        StrictEcho(8);
        std::uint8_t answer[3];
        ReadChecked(answer, 3);
        param.data[0] = answer[0];
        break;
    }
    case 9: {
        SendByte(9);
        Wait(3000);
        StrictEcho(9);
        std::uint8_t answer[6];
        ReadChecked(answer, 6);
        std::copy(answer, answer + 4, param.data.begin());
        break;
    }
    case 22: {
        SendByte(11);
        Wait(600);
        StrictEcho(11);
        std::uint8_t answer[3];
        ReadChecked(answer, 3);
        param.data[0] = answer[0];
        break;
    }
    case 23: {
        SendByte(11);
        StrictEcho(11);
        std::uint8_t answer[6];
        m_port.Read(answer, 6);
        param.signal = DecodeSignal(std::span<const std::uint8_t, 6>(answer, 6));
        std::copy(answer, answer + 4, param.data.begin());
        break;
    }
    case 24:
        param.values = DecodeBlock3(blockFrom<kBlock3Size>(readBlock(kBlock3Size).data()), param.model);
        break;
    case 27:
        param.values = DecodeBlock4(blockFrom<kBlock4Size>(readBlock(kBlock4Size).data()), param.model);
        break;
    case 30:
        param.values = DecodeBlock5(blockFrom<kBlock5Size>(readBlock(kBlock5Size).data()));
        break;
    case 25:
    case 26:
    case 28:
    case 29:
    case 31:
        writeBlock();
        break;
    default:
        break;
    }
}

}  // namespace kelt

KeltThread::~KeltThread() { Stop(); }

void KeltThread::Process(std::int32_t code, KeltCommon& param) {
    kelt::KeltLink link(m_port, m_sleep);
    switch (code) {
    case kelt::kOpenSlow:
    case kelt::kOpenFast:
        m_port.Open(param.sub, code == kelt::kOpenSlow ? 4800 : 9600, 4500, 0, comprt::DtrControl::Enable,
                    comprt::RtsControl::Disable, 0);
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
