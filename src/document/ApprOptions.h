#pragma once

#include <cstdint>

// The approximation function of the options.
enum class ApprFunction : std::uint8_t { PiecewiseLinear = 0, Linear = 1, Proportional = 2 };

#pragma pack(push, 1)
// The approximation options of a document, stored in the document file as
// these 35 packed bytes unchanged.
struct ApprOptions {
    std::uint8_t function = 0;     // ApprFunction
    std::uint8_t manual = 0;       // 1 manual mode, 0 automatic mode
    std::uint8_t byEntries = 0;    // 1 fit over every entry, 0 over section means
    double refTemp = 0.0;          // reference temperature of the reduction, °C
    double maxAutoErr = 0.0;       // error limit of the automatic mode, %
    double sectionScatter = 0.0;   // scatter limit inside a section, %
    double pulseWeight = 0.0;      // pulse weight of the pulse output, m3 per pulse

    // The first six fields as a new document and "По умолчанию" set them;
    // the pulse weight is left alone (it mirrors the device model).
    void resetToDefaults() {
        function = static_cast<std::uint8_t>(ApprFunction::PiecewiseLinear);
        manual = 1;
        byEntries = 1;
        refTemp = 20.0;
        maxAutoErr = 1.0;
        sectionScatter = 5.0;
    }
};
#pragma pack(pop)

static_assert(sizeof(ApprOptions) == 35, "the options record is stored as 35 bytes");
