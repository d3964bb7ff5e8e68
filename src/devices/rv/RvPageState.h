#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "devices/PageFields.h"
#include "devices/rv/RvBlocks.h"

namespace rv {

// The values of the RV page that the device model and the documents use:
// serial number and diameter, the outputs group, the two calibration grids
// as the text the user typed, the flow limits, the meter's firmware version
// and the readings an entry takes (mean code, last pulse counter).
// No port, no worker.
class RvPageState : public PageState {
public:
    static constexpr int kGridRows = 6;  // row 0 holds the column headers
    static constexpr int kGridCols = 4;  // column 0 holds the row numbers
    static constexpr int kCodeCol = 1, kACol = 2, kBCol = 3;

    RvPageState();

    // Serial: the serial number as text.
    const std::string& serial() const { return m_serial; }
    void setSerial(std::string text);
    // DuCombo: the meter's diameter index ("15" "20" … "10"); -1 = none.
    const Selector& diameter() const { return m_du; }
    void selectDiameter(int index);

    // Firmware version read from the meter (0.0 until read).
    int versionHigh() const { return m_versionHigh; }
    // No version read since the page was made or its port last opened.
    bool versionUnknown() const { return m_versionHigh == 0; }
    int versionLow() const { return m_versionLow; }
    // Takes the version of a system parameters reply and shows or hides the
    // controls that depend on it.
    void applySystemVersion(std::uint8_t high, std::uint8_t low);
    // Opening the port forgets the version high part and the pulse volume.
    void resetForPortOpen();
    bool reverseTypeVisible() const { return m_reverseTypeVisible; }
    bool noFilterThresholdVisible() const { return m_noFilterVisible; }
    bool reverseSheetVisible() const { return m_reverseSheetVisible; }

    // Outputs group.
    const std::string& impulseWeightText() const { return m_weightText; }
    void setImpulseWeightText(std::string text);
    static const std::vector<std::string>& impulseWeightItems();
    bool meandr() const { return m_meandr; }
    void setMeandr(bool on);  // also enables ImpulseLen exactly when off
    IntField& impulseLen() { return m_impulseLen; }
    const IntField& impulseLen() const { return m_impulseLen; }
    bool impulseLenEnabled() const { return !m_meandr; }
    // "%g мс" of the pulse length, empty while Meandr is checked.
    std::string impulseLenLabel() const;
    const Selector& pluginCard() const { return m_pluginCard; }
    void selectPluginCard(int index);
    const Selector& reverseType() const { return m_reverseType; }
    void selectReverseType(int index);
    bool noFilterThreshold() const { return m_noFilter; }
    void setNoFilterThreshold(bool on);

    // Litres per counted pulse (0 until the outputs were shown) and the
    // meander flag: while set, pulse counters are halved.
    double litresPerPulse() const { return m_litresPerPulse; }
    bool meanderFlag() const { return m_meanderFlag; }

    // The outputs group as the meter keeps it. Strictly, a missing weight,
    // card or (reversible meter) reverse mode throws UserError with the
    // page's message; leniently they become 0.001, 0 and 0. The dispenser
    // box and the reverse mode count where the meter's version has them;
    // until a version has been read (a document opened without its meter)
    // they count as shown, so a document saves the flags it was opened with.
    OutputsBlock readOutputs(bool strict) const;
    // Shows a block; until a version has been read the reverse mode is kept
    // (though hidden), to be saved again as it came.
    void showOutputs(const OutputsBlock& block);

    // Calibration grids: text cells, rows 1 … 5, columns "Код", "A", "B".
    const std::string& cell(CalibrGrid grid, int row, int col) const;
    // Only the data cells (rows 1 … 5, columns 1 … 3) take text.
    void setCell(CalibrGrid grid, int row, int col, std::string text);
    const std::string& loLimit() const { return m_loLimit; }
    const std::string& hiLimit() const { return m_hiLimit; }
    void setLoLimit(std::string text);
    void setHiLimit(std::string text);

    // Reads a grid (the direct one with its limits). Unreadable cells count
    // as 0; if there was any, the block is shown again so the user sees the
    // zeros that will be used.
    CalibrationBlock readGrid(CalibrGrid grid);
    // Shows a block in a grid; the direct grid also shows its limits.
    void showGrid(CalibrGrid grid, const CalibrationBlock& block);

    // The readings an entry takes from the meter.
    double meanCode() const { return m_meanCode; }
    void setMeanCode(double code);
    std::int32_t lastPulseCounter() const { return m_lastPulseCounter; }
    void setLastPulseCounter(std::int32_t counter);

    // The number in ImpulseWeight, m3 per pulse; 0 when it is not a number.
    double pulseWeight() const;

private:
    using Grid = std::array<std::array<std::string, kGridCols>, kGridRows>;
    Grid& grid(CalibrGrid g) { return g == CalibrGrid::Direct ? m_direct : m_reverse; }
    const Grid& grid(CalibrGrid g) const { return g == CalibrGrid::Direct ? m_direct : m_reverse; }

    std::string m_serial;
    Selector m_du;
    int m_versionHigh = 0;
    int m_versionLow = 0;
    bool m_reverseTypeVisible = false;
    bool m_noFilterVisible = false;
    bool m_reverseSheetVisible = false;

    std::string m_weightText;
    bool m_meandr = false;
    IntField m_impulseLen{1, 255, 1};
    Selector m_pluginCard;
    Selector m_reverseType;
    bool m_noFilter = false;
    double m_litresPerPulse = 0.0;
    bool m_meanderFlag = false;

    Grid m_direct;
    Grid m_reverse;
    std::string m_loLimit;
    std::string m_hiLimit;

    double m_meanCode = 0.0;
    std::int32_t m_lastPulseCounter = 0;
};

}  // namespace rv
