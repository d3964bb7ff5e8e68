#include "devices/kelt/KeltBlocks.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "common/MathError.h"

namespace kelt {

namespace {

constexpr const char* kBoundaryDigits[kBoundaries] = {"12", "23", "34", "45"};
constexpr double kPulseTick = 0.0305;  // ms per pulse length step of blocks 1 … 3

bool between(int v, int lo, int hi) { return v >= lo && v <= hi; }

// A value outside [lo, hi), or not a number at all.
bool outside(double value, double lo, double hi) { return !std::isfinite(value) || value < lo || value >= hi; }

// Rounds half away from zero; huge and non-finite values saturate instead of
// overflowing, so that a wild input ends in a range check rather than in
// undefined behaviour.
long long roundInt(double value) {
    if (std::isnan(value)) return 0;
    return std::llround(std::clamp(value, -1e15, 1e15));
}
long long clampLL(long long v, long long lo, long long hi) { return std::clamp(v, lo, hi); }

void putBE(std::uint8_t* p, long long v) {
    p[0] = static_cast<std::uint8_t>(v >> 8);
    p[1] = static_cast<std::uint8_t>(v);
}
int getBE(const std::uint8_t* p) { return (p[0] << 8) | p[1]; }
void putLE(std::uint8_t* p, long long v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}
int getLE(const std::uint8_t* p) { return p[0] | (p[1] << 8); }

// s: the flow scale of a diameter code.
double flowScale(int du) {
    if (du <= 4) return 100000.0;
    if (du <= 8) return 10000.0;
    return 1000.0;
}

// Multipliers above 15 travel as a multiple of 4 with bit 4 set.
int multiplierCode(int m, bool flag) { return flag && m > 15 ? 16 + m / 4 : m; }
int multiplierOf(int code, bool flag) { return flag && (code & 16) ? (code & 15) * 4 : code & 31; }
long long roundUpTo4(long long m) { return (m + 3) / 4 * 4; }

// The coefficient multiplier a B needs so that its code fits lo … hi.
long long neededMultiplier(double w, long long lo, long long hi) {
    const double m1 = hi >= 1 ? w / static_cast<double>(hi) : 0.9;
    const double m2 = lo < 0 ? w / static_cast<double>(lo) : 0.9;
    return std::max(roundInt(std::ceil(std::max(m1, m2))), 1LL);
}

int pulseLengthCode(double ms) {
    const double t = ms * 32.78688524590164;  // 1 / 0.0305
    if (!std::isfinite(t)) return -1;
    return static_cast<int>(std::clamp(roundInt(t), -1LL, 1LL << 20));
}

// Blocks 1 and 2: `segments` segments, 16-bit fields most significant byte first.
void encodeEarly(const KeltBlockValues& v, int model, std::uint8_t* out, std::size_t size, int segments,
                 bool block2) {
    std::fill(out, out + size, 0);
    const int bounds = segments - 1;
    const std::size_t tOff = 1, uOff = 1 + 2 * segments, segOff = 1 + 4 * segments;
    const std::size_t pOff = segOff + segments, qOff = pOff + 2 * bounds, duOff = qOff + 2 * bounds;
    const double k = CodeScale(v.du);

    std::array<long long, kBoundaries> p{}, q{};
    for (int i = 0; i < bounds; ++i) {
        const double f = v.f[i];
        const double pp = 32440.32 / f;
        if (outside(pp, 0.9, 65535.1)) throw UserError(InvalidF(i));
        p[i] = clampLL(roundInt(pp), 1, 65535);
        const double qq = 33095.68 / f;
        if (outside(qq, 0.9, 65535.1)) throw UserError(InvalidF(i));
        q[i] = clampLL(roundInt(qq), p[i], 65535);
        putBE(out + pOff + 2 * i, p[i]);
        putBE(out + qOff + 2 * i, q[i]);
    }

    for (int i = 0; i < segments; ++i) {
        const double a = v.a[i] * k;
        if (!std::isfinite(a) || !std::isfinite(v.b[i])) throw UserError(InvalidAB(i));
        long long hmax = 7;
        if (a >= 9000) hmax = std::min(7LL, static_cast<long long>(std::floor(65535.0 / a)));
        if (hmax < 1) throw UserError(InvalidA(i));
        const double lower = i == 0 ? MinimumFrequency(model, v.du) : 65536.0 / static_cast<double>(p[i - 1] + q[i - 1]);
        const double upper = i < bounds ? 65536.0 / static_cast<double>(p[i] + q[i]) : 65535.0;
        long long h = upper <= 100 ? 1 : hmax;
        const long long step = upper <= 100 ? 1 : -1;
        const float b2 = static_cast<float>(v.b[i] * 2.0 * k);
        long long t = 0, lo = 0, hi = 0, m = 0, code = 0;
        for (;;) {
            t = clampLL(roundInt(static_cast<double>(h) * a), 0, 65535);
            if (block2) {
                lo = -std::min((t * 256 + 255) / 440, 32767LL);
                hi = std::min(((65535 - t) * 256 + 255) / 440, 32767LL);
            } else {
                lo = -t;
                hi = 65535 - t;
            }
            m = neededMultiplier(b2, lo, hi);
            const long long limit = std::min(roundInt(std::floor(1.95 * lower / static_cast<double>(h))), 31LL);
            code = roundInt(b2 / static_cast<double>(m));
            if (m <= limit && !(lo == 0 && code < 0) && !(hi == 0 && code > 0)) break;
            h += step;
            if (h < 1 || h > 7) throw UserError(InvalidAB(i));
        }
        putBE(out + tOff + 2 * i, t);
        putBE(out + uOff + 2 * i, t + clampLL(code, lo, hi));
        out[segOff + i] = static_cast<std::uint8_t>(h + m * 8);
    }

    int diameterByte = (v.du - 1) * 16 + v.outputCode;
    const int t = pulseLengthCode(v.pulseLength);
    if (t < 1 || t > 65407) throw UserError(kInvalidPulseLength);
    int lengthCode = t;
    if (t >= 256) {
        diameterByte |= 8;
        lengthCode = (t + 128) / 256;
    }
    out[duOff] = static_cast<std::uint8_t>(diameterByte);
    out[duOff + 1] = static_cast<std::uint8_t>(lengthCode);
    out[0] = static_cast<std::uint8_t>(v.n);
}

KeltBlockValues decodeEarly(const std::uint8_t* in, int segments, bool block2) {
    KeltBlockValues v;
    const int bounds = segments - 1;
    const std::size_t tOff = 1, uOff = 1 + 2 * segments, segOff = 1 + 4 * segments;
    const std::size_t pOff = segOff + segments, qOff = pOff + 2 * bounds, duOff = qOff + 2 * bounds;
    const std::uint8_t duByte = in[duOff];
    v.du = (duByte >> 4) + 1;
    v.outputCode = duByte & 7;
    v.pulseLength = in[duOff + 1] * kPulseTick * ((duByte & 8) ? 256 : 1);
    v.n = block2 ? (in[0] & 127) : in[0];
    const double k = CodeScale(v.du);
    for (int i = 0; i < segments; ++i) {
        const int t = getBE(in + tOff + 2 * i);
        const int u = getBE(in + uOff + 2 * i);
        const int h = in[segOff + i] & 7;
        const int m = in[segOff + i] >> 3;
        v.a[i] = t / (k * std::max(h, 1));
        v.b[i] = m * static_cast<double>(u - t) / (2.0 * k);
    }
    for (int i = 0; i < bounds; ++i)
        v.f[i] = 65536.0 / std::max(getBE(in + pOff + 2 * i) + getBE(in + qOff + 2 * i), 2);
    return v;
}

// Step 1 of the block 3 encoding: the preset of frequency output k (1 … 5).
void block3Preset(int k, int model, int du, std::uint8_t byte35, Block3& out) {
    static constexpr int kCodes[] = {65535, 32767, 16384, 8192, 4096};
    out.fill(0);
    for (int i = 0; i < kSegments; ++i) {
        putLE(out.data() + 2 * i, kCodes[k - 1]);
        putLE(out.data() + 10 + 2 * i, kCodes[k - 1]);
        out[20 + i] = k == 1 ? 129 : 97;
    }
    out[33] = static_cast<std::uint8_t>((model == 11 ? 0 : du) * 16 + 1);
    out[34] = 24;
    out[35] = byte35;
}

std::uint8_t block3Byte35(const KeltBlockValues& v, int model) {
    return static_cast<std::uint8_t>(model == 11 ? v.du + 128 : v.temperatureCorrection + 7);
}

// Step 2 of the block 4 encoding: the preset of frequency output k (1 … 5).
void block4Preset(int k, int model, const KeltBlockValues& v, Block4& out) {
    static constexpr int kCodes[] = {65535, 32768, 16384, 8192, 4096};
    const int code = kCodes[k - 1];
    for (int i = 0; i < kSegments; ++i) {
        putLE(out.data() + 2 * i, code);
        putLE(out.data() + 10 + 2 * i, code);
        out[20 + i] = static_cast<std::uint8_t>(1 + (!v.disableRestore && code <= 32768 ? 32 : 0));
    }
    std::fill(out.begin() + 25, out.begin() + 33, 0);
    const int coarse = model == 13 || model == 16 ? 8 : 0;
    out[33] = static_cast<std::uint8_t>((v.du - 1) * 16 + coarse + 1);
    out[34] = 1;
}

}  // namespace

std::string InvalidF(int boundary) { return std::string("Недопустимое значение F") + kBoundaryDigits[boundary]; }
std::string InvalidA(int segment) { return "Недопустимое значение A" + std::to_string(segment + 1); }
std::string InvalidAB(int segment) {
    const std::string digit = std::to_string(segment + 1);
    return "Недопустимое значение A" + digit + " и/или B" + digit;
}
std::string InvalidB(int segment) { return "Недопустимое значение B" + std::to_string(segment + 1); }

std::uint16_t Checksum(std::span<const std::uint8_t> bytes) {
    std::uint32_t sum = 0;
    for (std::uint8_t b : bytes) sum += b;
    return static_cast<std::uint16_t>(sum);
}

void PutChecksum(std::uint8_t* out, std::uint16_t sum) {
    out[0] = static_cast<std::uint8_t>(sum >> 8);
    out[1] = static_cast<std::uint8_t>(sum);
}

std::uint16_t GetChecksum(const std::uint8_t* in) { return static_cast<std::uint16_t>((in[0] << 8) | in[1]); }

double MinimumFrequency(int model, int du) {
    static constexpr double kTable1[] = {5.5, 3.8, 3.0, 2.4, 1.7, 1.5, 1.1, 1.0, 1.1, 1.0, 0.52};
    static constexpr double kTable2[] = {0, 7.3, 7.65, 6.6, 5.0, 4.4, 2.55, 2.7, 2.35, 1.95, 1.0};
    const int i = std::clamp(du, 1, 11) - 1;
    if (model == 11 || model == 14 || model == 17) return kTable2[i] * 0.9;
    if (model == 2 || model == 4 || model == 6 || model == 8 || model == 10 || model == 13 || model == 16)
        return kTable1[i] * 2.0;
    return kTable1[i];
}

double CodeScale(int du) { return flowScale(du) * 65536.0 / 36000.0; }

void EncodeBlock1(const KeltBlockValues& values, int model, Block1& out) {
    encodeEarly(values, model, out.data(), out.size(), 4, false);
}
KeltBlockValues DecodeBlock1(const Block1& block) { return decodeEarly(block.data(), 4, false); }
void EncodeBlock2(const KeltBlockValues& values, int model, Block2& out) {
    encodeEarly(values, model, out.data(), out.size(), 5, true);
}
KeltBlockValues DecodeBlock2(const Block2& block) { return decodeEarly(block.data(), 5, true); }

void EncodeBlock3(const KeltBlockValues& v, int model, Block3& out) {
    const bool flag = between(model, 9, 11);
    const long long d = model == 11 ? 128 : 228;
    const long long limitMax = flag ? 60 : 31;
    const std::uint8_t byte35 = block3Byte35(v, model);
    if (between(v.frequencyOutput, 1, 5)) {
        block3Preset(v.frequencyOutput, model, v.du, byte35, out);
        return;
    }
    out.fill(0);
    const double s = flowScale(v.du);
    const double k = CodeScale(v.du);

    std::array<long long, kBoundaries> p{};
    for (int i = 0; i < kBoundaries; ++i) {
        const double pp = 32768.0 / v.f[i];
        if (outside(pp, 0.9, 65535.1)) throw UserError(InvalidF(i));
        p[i] = clampLL(roundInt(pp), 1, 65535);
        putLE(out.data() + 25 + 2 * i, p[i]);
    }

    for (int i = 0; i < kSegments; ++i) {
        const double x = v.a[i] * k;
        if (outside(x, -0.1, 65535.1)) throw UserError(InvalidA(i));
        if (!std::isfinite(v.b[i])) throw UserError(InvalidAB(i));
        const long long t = clampLL(roundInt(x), 0, 65535);
        const long long lo = std::max(-((t * 128 + 127) / d), -32767LL);
        long long hi = std::min(((65535 - t) * 128 + 127) / d, 32767LL);
        const double w = v.b[i] * s * 65536.0 / 18000.0;
        long long m = neededMultiplier(w, lo, hi);
        if (flag && m > 15) m = roundUpTo4(m);
        const double lower = i == 0 ? MinimumFrequency(model, v.du) : 32768.0 / static_cast<double>(p[i - 1]);
        const long long limit = std::min(static_cast<long long>(std::floor(1.95 * lower)), limitMax);
        if (limit < m) throw UserError(InvalidAB(i));
        long long code = roundInt(w / static_cast<double>(m));

        // The mode tells the transducer how far its A+B code reaches above A.
        int mode = 0;
        long long multiplier = m;
        const auto widen = [&](long long h2, int narrowMode, int wideMode) {
            long long m2 = h2 >= 1 ? std::max(roundInt(std::ceil(w / static_cast<double>(h2))), m)
                                   : std::numeric_limits<long long>::max();
            if (flag && m2 > 15 && m2 < (1LL << 40)) m2 = roundUpTo4(m2);
            if (m2 > limit) {
                mode = narrowMode;
            } else {
                code = roundInt(w / static_cast<double>(m2));
                hi = h2;
                mode = wideMode;
                multiplier = m2;
            }
        };
        if (code <= 0) {
            mode = t > 43689 ? 128 : t > 32767 ? 32 : 96;
        } else if (t > 43689) {
            mode = 128;
        } else if (t > 32767) {
            widen(std::min(((65535 - (3 * t) / 2) * 128 + 127) / d, hi), 0, 32);
        } else {
            widen(std::min(((65535 - 2 * t) * 128 + 127) / d, hi), 64, 96);
        }
        if ((lo == 0 && code < 0) || (hi == 0 && code > 0)) throw UserError(InvalidAB(i));
        putLE(out.data() + 2 * i, t);
        putLE(out.data() + 10 + 2 * i, t + clampLL(code, lo, hi));
        out[20 + i] = static_cast<std::uint8_t>(mode + multiplierCode(static_cast<int>(multiplier), flag));
    }

    int b33 = (model == 11 ? 0 : v.du) * 16 + v.outputCode;
    long long t = pulseLengthCode(v.pulseLength);
    if (t < 1 || t > 65407) throw UserError(kInvalidPulseLength2);
    if (t == 256) t = 255;
    long long lengthCode = t;
    if (t >= 256) {
        if (v.outputCode < 4) throw UserError(kInvalidPulseLength);
        b33 |= 8;
        lengthCode = (t + 128) / 256;
    }
    out[33] = static_cast<std::uint8_t>(b33);
    out[34] = static_cast<std::uint8_t>(lengthCode);
    out[35] = byte35;
}

KeltBlockValues DecodeBlock3(const Block3& in, int model) {
    const bool flag = between(model, 9, 11);
    KeltBlockValues v;
    v.du = model == 11 ? (in[35] & 15) : (in[33] >> 4);
    v.outputCode = in[33] & 7;
    v.pulseLength = in[34] * kPulseTick * ((in[33] & 8) ? 256 : 1);
    v.temperatureCorrection = (in[35] & 15) - 7;
    const double k = CodeScale(v.du);
    for (int i = 0; i < kSegments; ++i) {
        const int t = getLE(in.data() + 2 * i);
        const int u = getLE(in.data() + 10 + 2 * i);
        const int seg = in[20 + i];
        v.a[i] = t / k;
        v.b[i] = multiplierOf(seg & 31, flag) * static_cast<double>(u - t) / (2.0 * k);
        v.segmentFlags[i] = static_cast<std::uint8_t>(seg & 0xE0);
    }
    for (int i = 0; i < kBoundaries; ++i) v.f[i] = 32768.0 / std::max(getLE(in.data() + 25 + 2 * i), 1);

    for (int f = 1; f <= 5; ++f) {
        Block3 preset;
        block3Preset(f, model, v.du, in[35], preset);
        if (std::equal(in.begin(), in.begin() + 33, preset.begin()) && in[34] == preset[34] &&
            (in[33] & 15) == (preset[33] & 15)) {
            v.frequencyOutput = f;
            break;
        }
    }
    return v;
}

bool FactoryNumberFits(std::uint32_t number) {
    return number <= kLargestPlainFactoryNumber || (number >= 151000000 && number <= 151999999);
}

void EncodeBlock4(const KeltBlockValues& v, int model, Block4& out) {
    out.fill(0);
    const std::uint32_t number = v.factoryNumber;
    const std::uint32_t stored =
        number >= 151000000 && number <= 151999999 ? (number - 151000000) | 0x800000u : number & 0xFFFFFFu;
    out[36] = static_cast<std::uint8_t>(stored);
    out[37] = static_cast<std::uint8_t>(stored >> 8);
    out[38] = static_cast<std::uint8_t>(stored >> 16);
    const bool thermoOff = v.disableThermocorrection || model == 14 || model == 17;
    out[35] = static_cast<std::uint8_t>(((v.temperatureCorrection + 7) & 15) | (thermoOff ? 128 : 0));
    if (between(v.frequencyOutput, 1, 5)) {
        block4Preset(v.frequencyOutput, model, v, out);
        return;
    }

    const double s = flowScale(v.du);
    const double k = CodeScale(v.du);
    std::array<long long, kBoundaries> p{};
    for (int i = 0; i < kBoundaries; ++i) {
        const double pp = 8192.0 / v.f[i];
        if (outside(pp, 0.9, 16384.1)) throw UserError(InvalidF(i));
        p[i] = clampLL(roundInt(pp), 1, 65535);
        putLE(out.data() + 25 + 2 * i, p[i]);
    }

    const double d = model == 14 || model == 17 ? 128.0 : 228.0;
    const bool strict = v.outputCode < 2 && v.du != 8 && v.du != 11 && between(model, 12, 14);
    const double minimum = MinimumFrequency(model, v.du);
    for (int i = 0; i < kSegments; ++i) {
        const double a = v.a[i];
        const double b = v.b[i];
        const double x = a * k;
        if (outside(x, -0.1, 65535.1)) throw UserError(InvalidA(i));
        if (!std::isfinite(b)) throw UserError(InvalidAB(i));
        const long long t = clampLL(roundInt(x), 1, 65535);
        const double w = b * s * 65536.0 / 18000.0;
        const double lowerBoundary = i == 0 ? minimum : 8192.0 / static_cast<double>(p[i - 1]);
        const double cap = 1.95 * std::max(minimum, 0.21 * lowerBoundary);
        const double denominator = b >= 0 ? 36000.0 - a * s : a;
        const double need = denominator > 0 ? d * 2.0 / 128.0 * std::fabs(b) * (b >= 0 ? s : 1.0) / denominator
                                            : (b == 0 ? 0.0 : std::numeric_limits<double>::infinity());
        const double g = static_cast<double>(t) + d * s * 65536.0 * b / (128.0 * 18000.0);
        int first = 0, chosen = 0;
        for (int c = 1; c <= 60; c += c < 16 ? 1 : 4) {
            const bool usable = static_cast<double>(t + roundInt(w / c)) < 65536.0 && c <= cap && c >= need;
            if (!usable) continue;
            if (first == 0) first = c;
            const bool preferred = !strict || (t <= 32768 && (c == 1 ? g < 65536.0 : g / c < 32768.0));
            if (preferred) {
                chosen = c;
                break;
            }
        }
        if (first == 0) throw UserError(InvalidAB(i));
        const int c = chosen ? chosen : first;
        putLE(out.data() + 2 * i, t);
        putLE(out.data() + 10 + 2 * i, clampLL(t + roundInt(w / c), 0, 65535));
        out[20 + i] = static_cast<std::uint8_t>(multiplierCode(c, true) + (chosen && !v.disableRestore ? 32 : 0));
    }

    const bool fast = between(model, 12, 14);
    const long long kk = roundInt(v.pulseLength / (fast ? 1.9 : 3.9));
    if (!std::isfinite(v.pulseLength) || kk < 1 || kk > (fast ? 60 : 30)) throw UserError(kInvalidPulseLength2);
    struct Limit {
        int k;
        const char* message;
    };
    static constexpr Limit kFast[] = {
        {1, "Недопустимое значение длительности импульса (>1.9 мС)"},
        {3, "Недопустимое значение длительности импульса (>5.7 мС)"},
        {6, "Недопустимое значение длительности импульса (>11.4 мС)"},
        {30, "Недопустимое значение длительности импульса (>57 мС)"},
        {60, "Недопустимое значение длительности импульса (>114 мС)"},
    };
    static constexpr Limit kSlow[] = {
        {1, "Недопустимое значение длительности импульса (>3.9 мС)"},
        {2, "Недопустимое значение длительности импульса (>7.8 мС)"},
        {3, "Недопустимое значение длительности импульса (>11.7 мС)"},
        {15, "Недопустимое значение длительности импульса (>58.5 мС)"},
        {30, "Недопустимое значение длительности импульса (>117 мС)"},
    };
    if (between(v.outputCode, 1, 5)) {
        const Limit& limit = (fast ? kFast : kSlow)[v.outputCode - 1];
        if (kk > limit.k) throw UserError(limit.message);
    }
    const int coarse = model == 13 || model == 16 ? 8 : 0;
    out[33] = static_cast<std::uint8_t>((v.du - 1) * 16 + coarse + (v.outputCode & 7));
    out[34] = static_cast<std::uint8_t>(kk);
}

KeltBlockValues DecodeBlock4(const Block4& in, int model) {
    KeltBlockValues v;
    v.du = (in[33] >> 4) + 1;
    v.outputCode = in[33] & 7;
    v.pulseLength = in[34] * (between(model, 12, 14) ? 2.0 : 4.0);
    v.temperatureCorrection = (in[35] & 15) - 7;
    v.disableThermocorrection = (in[35] & 128) != 0;
    const double k = CodeScale(v.du);
    bool anyRestore = false;
    for (int i = 0; i < kSegments; ++i) {
        const int t = getLE(in.data() + 2 * i);
        const int u = getLE(in.data() + 10 + 2 * i);
        const int seg = in[20 + i];
        v.a[i] = t / k;
        v.b[i] = multiplierOf(seg & 31, true) * static_cast<double>(u - t) / (2.0 * k);
        v.segmentFlags[i] = static_cast<std::uint8_t>(seg & 32);
        anyRestore = anyRestore || (seg & 32);
    }
    v.disableRestore = !anyRestore;
    for (int i = 0; i < kBoundaries; ++i) v.f[i] = 8192.0 / std::max(getLE(in.data() + 25 + 2 * i), 1);
    v.factoryNumber = in[36] + 256u * in[37] + 65536u * (in[38] & 127u) + ((in[38] & 128) ? 151000000u : 0u);

    for (int f = 1; f <= 5; ++f) {
        Block4 preset = in;
        block4Preset(f, model, v, preset);
        bool same = std::equal(in.begin(), in.begin() + 20, preset.begin()) &&
                    std::equal(in.begin() + 25, in.begin() + 33, preset.begin() + 25) && in[34] == preset[34] &&
                    (in[33] & 7) == (preset[33] & 7);
        for (int i = 20; same && i < 25; ++i) same = (in[i] & 15) == (preset[i] & 15);
        if (same) {
            v.frequencyOutput = f;
            break;
        }
    }
    return v;
}

void EncodeBlock5(const KeltBlockValues& v, Block5& out) {
    out.fill(0);
    const double k5 = 100000.0 * 65536.0 / 36000.0;
    std::array<long long, kBoundaries> p{};
    for (int i = 0; i < kBoundaries; ++i) {
        const double pp = 16384.0 / v.f[i];
        if (outside(pp, 0.95, 16384.1)) throw UserError(InvalidF(i));
        p[i] = clampLL(roundInt(pp), 1, 65535);
        // The word keeps 13 bits of the period; a longer one would come back
        // as a much higher frequency.
        if (p[i] > 8191) throw UserError(InvalidF(i));
        putLE(out.data() + 20 + 2 * i, p[i]);
    }
    static constexpr int kMultipliers[] = {1, 2, 3, 4, 8, 16, 24, 32};
    for (int i = 0; i < kSegments; ++i) {
        const double a = v.a[i];
        const double b = v.b[i];
        const double x = a * k5;
        if (outside(x, -0.1, 8191.1)) throw UserError(InvalidA(i));
        if (!std::isfinite(b)) throw UserError(InvalidB(i));
        const long long t = clampLL(roundInt(x), 1, 65535);
        const double lowerRef = i == 0 ? 2.5 : 16384.0 / static_cast<double>(p[i - 1]);
        const double denominator = b >= 0 ? 36000.0 - a * 100000.0 : a;
        const double need = denominator > 0
                                ? 228.0 / 128.0 * std::fabs(b) * (b >= 0 ? 100000.0 : 1.0) / denominator
                                : (b == 0 ? 0.0 : std::numeric_limits<double>::infinity());
        int chosen = 0;
        for (int c : kMultipliers) {
            if (static_cast<double>(t) + k5 * b / c < 65536.0 && c <= 1.95 * lowerRef && c >= need) {
                chosen = c;
                break;
            }
        }
        if (chosen == 0) throw UserError(InvalidB(i));
        const long long word = chosen < 8 ? t | ((chosen - 1) << 13) : t | ((chosen / 8 - 1) << 13) | 0x8000;
        putLE(out.data() + 2 * i, word);
        putLE(out.data() + 10 + 2 * i, clampLL(t + roundInt(k5 * b / chosen), 0, 65535));
    }
    out[21] &= 0x1F;
    out[23] &= 0x1F;
    out[25] = static_cast<std::uint8_t>((out[25] & 0x1F) | (((v.temperatureCorrection + 3) & 7) << 5));
    out[27] = static_cast<std::uint8_t>((out[27] & 0x3F) | (v.displayOutputType ? 64 : 0) | (v.diameterItem ? 128 : 0));
}

KeltBlockValues DecodeBlock5(const Block5& in) {
    const double k5 = 100000.0 * 65536.0 / 36000.0;
    KeltBlockValues v;
    for (int i = 0; i < kSegments; ++i) {
        const int word = getLE(in.data() + 2 * i);
        const int t = word & 8191;
        const int multiplier = (((word >> 13) & 3) + 1) * ((word & 0x8000) ? 8 : 1);
        v.a[i] = t / k5;
        v.b[i] = multiplier * static_cast<double>(getLE(in.data() + 10 + 2 * i) - t) / k5;
    }
    for (int i = 0; i < kBoundaries; ++i) v.f[i] = 16384.0 / std::max(getLE(in.data() + 20 + 2 * i) & 8191, 1);
    v.temperatureCorrection = (in[25] >> 5) - 3;
    v.displayOutputType = (in[27] >> 6) & 1;
    v.diameterItem = in[27] >> 7;
    return v;
}

}  // namespace kelt
