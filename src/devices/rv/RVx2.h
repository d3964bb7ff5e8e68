#pragma once

#include <memory>

#include "devices/DeviceBase.h"
#include "devices/rv/RvPageState.h"

// The device model of RV documents: the meter's calibration tables as
// approximation lines, its identity, its settings block (outputs and both
// tables) and the readings an entry takes from it.
class RVx2 : public DeviceBase {
public:
    static constexpr int kSettingsSize = 142;
    // A bound that leaves the last given line open upwards.
    static constexpr std::int32_t kOpenBound = 9999999;

    explicit RVx2(Console& console);

    rv::RvPageState& page() { return *m_page; }
    const rv::RvPageState& page() const { return *m_page; }

    int Type() const override;
    // Five lines from the direct grid (which may show zeros afterwards for
    // cells it could not read).
    void GetLines(files::Lines& lines) const override;
    // Up to five lines into the direct grid, or negated into the reverse grid.
    void SetLines(const files::Lines& lines, int negative) override;
    void GetIdent(Ident& ident) const override;
    void SetIdent(const Ident& ident) override;
    // With a buffer, reads both grids (which, like GetLines, shows zeros in
    // cells it could not read).
    int GetSettings(std::uint8_t* buffer) const override;
    bool SetSettings(const std::uint8_t* buffer, int size) override;
    // The modification: prefix by firmware, class letter by gпор and diameter.
    std::string Name() const override;
    double PulseWeight() const override;

    // The readings an entry takes from the meter.
    double MeanCode() const { return m_page->meanCode(); }
    std::int32_t LastPulseCounter() const { return m_page->lastPulseCounter(); }

private:
    Console& m_console;
    std::unique_ptr<rv::RvPageState> m_page;
};
