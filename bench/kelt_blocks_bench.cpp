// Encoding and decoding each Kelt parameter block against copying the same
// number of bytes: what the arithmetic of a block costs over moving it.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>

#include "devices/kelt/KeltBlocks.h"

namespace {

using namespace kelt;

KeltBlockValues values(int block) {
    KeltBlockValues v;
    v.du = 9;
    v.outputCode = 2;
    v.pulseLength = 2.5;
    v.n = 7;
    v.temperatureCorrection = 3;
    v.factoryNumber = 151000123;
    v.f = {50, 200, 1000, 5000};
    if (block == 5) {
        v.a = {0.02, 0.025, 0.03, 0.035, 0.01};
        v.b = {0.01, -0.005, 0.02, 0, 0.005};
    } else {
        v.a = {2.5, 3.0, 3.5, 4.0, 1.0};
        v.b = {1.5, -2.0, 0.5, 3.0, 0.0};
    }
    if (block == 4) v.pulseLength = 5.7;
    return v;
}

template <class Block, class Encode>
void encodeBench(benchmark::State& state, int block, Encode encode) {
    const KeltBlockValues v = values(block);
    Block out{};
    for (auto _ : state) {
        encode(v, out);
        benchmark::DoNotOptimize(out);
    }
}

template <class Block, class Encode, class Decode>
void decodeBench(benchmark::State& state, int block, Encode encode, Decode decode) {
    Block in{};
    encode(values(block), in);
    for (auto _ : state) {
        benchmark::DoNotOptimize(in);
        KeltBlockValues v = decode(in);
        benchmark::DoNotOptimize(v);
    }
}

template <class Block>
void copyBench(benchmark::State& state) {
    Block in{}, out{};
    for (std::size_t i = 0; i < in.size(); ++i) in[i] = static_cast<std::uint8_t>(i * 7);
    for (auto _ : state) {
        benchmark::DoNotOptimize(in);
        std::copy(in.begin(), in.end(), out.begin());
        benchmark::DoNotOptimize(out);
    }
}

const auto kEnc1 = [](const KeltBlockValues& v, Block1& b) { EncodeBlock1(v, 0, b); };
const auto kEnc2 = [](const KeltBlockValues& v, Block2& b) { EncodeBlock2(v, 3, b); };
const auto kEnc3 = [](const KeltBlockValues& v, Block3& b) { EncodeBlock3(v, 9, b); };
const auto kEnc4 = [](const KeltBlockValues& v, Block4& b) { EncodeBlock4(v, 12, b); };
const auto kEnc5 = [](const KeltBlockValues& v, Block5& b) { EncodeBlock5(v, b); };

void BM_Block1Encode(benchmark::State& s) { encodeBench<Block1>(s, 1, kEnc1); }
void BM_Block1Decode(benchmark::State& s) { decodeBench<Block1>(s, 1, kEnc1, [](const Block1& b) { return DecodeBlock1(b); }); }
void BM_Block1Copy(benchmark::State& s) { copyBench<Block1>(s); }
void BM_Block2Encode(benchmark::State& s) { encodeBench<Block2>(s, 2, kEnc2); }
void BM_Block2Decode(benchmark::State& s) { decodeBench<Block2>(s, 2, kEnc2, [](const Block2& b) { return DecodeBlock2(b); }); }
void BM_Block2Copy(benchmark::State& s) { copyBench<Block2>(s); }
void BM_Block3Encode(benchmark::State& s) { encodeBench<Block3>(s, 3, kEnc3); }
void BM_Block3Decode(benchmark::State& s) { decodeBench<Block3>(s, 3, kEnc3, [](const Block3& b) { return DecodeBlock3(b, 9); }); }
void BM_Block3Copy(benchmark::State& s) { copyBench<Block3>(s); }
void BM_Block4Encode(benchmark::State& s) { encodeBench<Block4>(s, 4, kEnc4); }
void BM_Block4Decode(benchmark::State& s) { decodeBench<Block4>(s, 4, kEnc4, [](const Block4& b) { return DecodeBlock4(b, 12); }); }
void BM_Block4Copy(benchmark::State& s) { copyBench<Block4>(s); }
void BM_Block5Encode(benchmark::State& s) { encodeBench<Block5>(s, 5, kEnc5); }
void BM_Block5Decode(benchmark::State& s) { decodeBench<Block5>(s, 5, kEnc5, [](const Block5& b) { return DecodeBlock5(b); }); }
void BM_Block5Copy(benchmark::State& s) { copyBench<Block5>(s); }

BENCHMARK(BM_Block1Encode);
BENCHMARK(BM_Block1Decode);
BENCHMARK(BM_Block1Copy);
BENCHMARK(BM_Block2Encode);
BENCHMARK(BM_Block2Decode);
BENCHMARK(BM_Block2Copy);
BENCHMARK(BM_Block3Encode);
BENCHMARK(BM_Block3Decode);
BENCHMARK(BM_Block3Copy);
BENCHMARK(BM_Block4Encode);
BENCHMARK(BM_Block4Decode);
BENCHMARK(BM_Block4Copy);
BENCHMARK(BM_Block5Encode);
BENCHMARK(BM_Block5Decode);
BENCHMARK(BM_Block5Copy);

}  // namespace
