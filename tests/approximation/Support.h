#pragma once

// Packages with entries given by their argument and reference flow.

#include <memory>
#include <vector>

#include "document/PackageFixture.h"

namespace apprtest {

struct Point {
    double x;  // RV code, or Kelt/Dorn frequency in Hz
    double y;  // reference flow, m3/h
    bool off = false;
    bool point = false;
};

inline std::shared_ptr<DocumentState> freshState() {
    auto state = std::make_shared<DocumentState>();
    state->options.resetToDefaults();
    return state;
}

// An RV calibration package by the reference method: code and flow are
// typed, so the recalculation keeps them.
inline std::shared_ptr<Package<EprEntry>> rvPackage(const std::vector<Point>& points,
                                                    std::shared_ptr<DocumentState> state,
                                                    PackageType type = PackageType::Calibration) {
    auto package = makePackage<EprEntry>(Method::Reference, type, std::move(state));
    for (const Point& p : points) {
        EprEntry e{};
        e.t = 20.0;
        e.timeRef = 100.0;
        e.flowRef = p.y;
        e.code = p.x;
        e.off = p.off;
        e.point = p.point;
        package->entries.push_back(e);
    }
    return package;
}

// Pulses over 100 s that give `freq` Hz: N pulses bound N - 1 periods.
template <typename E>
void setFrequency(E& e, double freq) {
    e.time1 = 100.0;
    e.pulses1 = static_cast<std::int32_t>(freq * 100.0 + 0.5) + 1;
}

// A Kelt or Dorn calibration package by the reference method at `t` °C.
template <typename E>
std::shared_ptr<Package<E>> frequencyPackage(const std::vector<Point>& points, std::shared_ptr<DocumentState> state,
                                             double t = 20.0) {
    auto package = makePackage<E>(Method::Reference, PackageType::Calibration, std::move(state));
    for (const Point& p : points) {
        E e{};
        e.t = t;
        e.timeRef = 100.0;
        e.flowRef = p.y;
        setFrequency(e, p.x);
        e.off = p.off;
        if constexpr (!std::is_same_v<E, DornEntry>) e.point = p.point;
        package->entries.push_back(e);
    }
    return package;
}

// Five sections around codes 100 … 500 on a broken line: flow = code / 100
// up to 300, then 2 · code / 100 − 3. Section 3 lies on both pieces, so
// sections 1–3 and 3–5 are fitted exactly and any longer run is not.
inline std::vector<Point> brokenLine() {
    return {
        {98, 0.98},   {100, 1.0},  {102, 1.02},   // section 1, entries 0 … 2
        {198, 1.98},  {200, 2.0},  {202, 2.02},   // section 2, entries 3 … 5
        {300, 3.0},   {300, 3.0},  {300, 3.0},    // section 3, entries 6 … 8
        {398, 4.96},  {400, 5.0},  {402, 5.04},   // section 4, entries 9 … 11
        {498, 6.96},  {500, 7.0},  {502, 7.04},   // section 5, entries 12 … 14
    };
}

template <typename P>
std::vector<std::uint8_t> marks(const P& package) {
    std::vector<std::uint8_t> out;
    for (const auto& e : package.entries) out.push_back(e.point);
    return out;
}

template <typename P>
std::vector<std::int32_t> sectionNumbers(const P& package) {
    std::vector<std::int32_t> out;
    for (const auto& e : package.entries) out.push_back(e.section);
    return out;
}

}  // namespace apprtest
