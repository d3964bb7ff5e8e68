#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "document/Limits.h"
#include "document/PackageBase.h"
#include "common/Line.h"

// Chart records through which packages hand their entries to the section
// selection dialog and the graphs window.

#pragma pack(push, 1)
// One entry as a chart point.
struct SPILT_POINT {
    double x;              // argument: RV code; Dorn, Kelt reduced frequency
    double y;              // reference flow: RV flowRef; Dorn, Kelt reduced reference flow
    std::int32_t section;  // the entry's section (RV, Kelt); Dorn: 1-based position
    std::uint8_t point;    // the entry's split-point mark (RV, Kelt); 0 for Dorn
    double error;          // flowErr for a series of kind 0, volErr for kind 1
};
#pragma pack(pop)

static_assert(sizeof(SPILT_POINT) == 29, "a chart point is a packed record");

// Series kinds of `chartSeries`.
constexpr int kFlowErrorSeries = 0;
constexpr int kPulseOutputSeries = 1;

// One series: the points of one package, in entry order.
struct SPILT_STRUCT {
    std::string title;
    std::vector<SPILT_POINT> points;
    std::uint8_t useLines = 0;
    std::uint8_t useErrors = 0;
};

// One approximation line as the graphs window reads it.
struct GraphLine {
    double upper = 0.0;
    double a = 0.0;
    double b = 0.0;
};

// Everything the graphs window needs.
struct SPILTS_DATA_EXCHANGE {
    std::vector<SPILT_STRUCT> series;
    std::vector<GraphLine> lines;
    // The limits of permissible error the error tab draws as an envelope;
    // the window sets them only when a verification package is among the
    // data.
    Limits limits;
};

// The graph data of a document: a series of kind 0 per package in order, a
// second one of kind 1 after each verification package (the pulse output's
// volume error), and the lines. The graphs command runs the tab change first.
void fillGraphData(const Packages& packages, const files::Lines& lines, SPILTS_DATA_EXCHANGE& data);
