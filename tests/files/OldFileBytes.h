#pragma once

// Images of version 1 and 2 document files: a 120-byte header, in version 2
// a 512-byte lines block, then 140-byte measurement records.

#include <cstdint>
#include <vector>

#include "FileBytes.h"

struct OldHeader {
    std::uint32_t model = 3;
    std::uint32_t diameter = 5;
    std::uint32_t serial = 7654321;
    std::uint32_t outputType = 0;
    std::uint32_t weight = 1;
    std::uint32_t keltN = 0;
    std::uint32_t pulseLength = 0;
    std::uint32_t scatter = 500;
    std::uint32_t errLimit = 100;
    std::uint32_t refTemp = 200000;
    std::uint8_t function = 0;
    std::uint32_t mode = 3;
    std::uint32_t records = 0;
};

inline Bytes oldHeader(const OldHeader& h) {
    Bytes b;
    b.u32(h.model).u32(h.diameter).u32(h.serial).zeros(4).u32(h.outputType).u32(h.weight).u32(h.keltN);
    b.u32(h.pulseLength).u32(h.scatter).u32(h.errLimit).u32(h.refTemp).zeros(4).u8(h.function).zeros(3);
    b.u32(h.mode).zeros(116 - 56).u32(h.records);
    return b;
}

struct OldRecord {
    double t = 20.0, reference = 10.0, timeRef = 36.0, time1 = 35.0;
    std::uint8_t flags = 0, unused = 0, kind = 0;
    std::int32_t pulses1 = 101, pulses2 = 7, section = 0;
};

inline Bytes& oldRecord(Bytes& b, const OldRecord& r) {
    b.zeros(8).f64(r.t).f64(r.reference).f64(r.timeRef).f64(r.time1).zeros(120 - 40);
    b.u8(r.flags).u8(r.unused).u8(0).u8(r.kind).i32(r.pulses1).i32(r.pulses2).i32(r.section).zeros(4);
    return b;
}

// Lines block claiming `count` lines, holding 16 with a = i + 1, b = 0.5 i,
// upper = 100 (i + 1).
inline Bytes& linesBlock(Bytes& b, std::uint32_t count) {
    b.u32(count).zeros(12);
    for (int i = 0; i < 16; ++i) b.f64(i + 1);
    for (int i = 0; i < 16; ++i) b.f64(0.5 * i);
    for (int i = 0; i < 16; ++i) b.f64(100.0 * (i + 1));
    return b.zeros(512 - 400);
}

inline Bytes oldFile(std::uint32_t version, OldHeader h, const std::vector<OldRecord>& records, std::uint32_t lines = 0) {
    h.records = static_cast<std::uint32_t>(records.size());
    Bytes b;
    b.text("3BPP").u32(version).raw(oldHeader(h).data);
    if (version == 2) linesBlock(b, lines);
    for (const OldRecord& r : records) oldRecord(b, r);
    return b;
}
