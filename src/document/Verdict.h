#pragma once

#include <string>
#include <vector>

#include "document/Limits.h"

class DeviceBase;
class PackageBase;

// The verdict of a verification package against the limits of permissible
// error: an entry passes when its flow error, and the pulse output's volume
// error where the package shows it, lies within ± the limit at its reference
// flow; a package passes when it holds at least one entry and every entry
// passes. Calibration packages get no verdict.

enum class EntryOutcome {
    Unjudged,    // no limits set
    Pass,
    Fail,        // an error lies outside ± the limit
    NoData,      // an error is not a number, or there is no reference flow to judge it by
    OutOfZones,  // the reference flow lies below the first zone: no limit applies
};

struct EntryVerdict {
    double q = 0.0;      // reference flow, m³/h
    double error = 0.0;  // flow error, %
    double dV = 0.0;     // pulse output's volume error, %; NaN where the package does not show it
    double limit = 0.0;  // ± δ, %; NaN when none applies
    EntryOutcome outcome = EntryOutcome::Unjudged;
    bool errorFails = false;  // the flow error's cell is the failing one
    bool dVFails = false;

    bool passes() const { return outcome == EntryOutcome::Pass; }
};

enum class PackageOutcome {
    NotVerification,  // calibration packages get no verdict
    NoLimits,
    Empty,
    Pass,
    Fail,
};

struct PackageVerdict {
    PackageOutcome outcome = PackageOutcome::NotVerification;
    std::vector<EntryVerdict> entries;  // one per entry (none for a calibration package)
    std::vector<int> failed;            // indices of the entries that do not pass
};

// One entry judged by itself; `withVolume` says whether dV is judged too.
EntryVerdict CheckEntry(const PackageBase& package, int row, const Limits& limits, bool withVolume);
PackageVerdict CheckPackage(const PackageBase& package, const Limits& limits, bool withVolume);
// dV is judged where the device shows the pulse-output columns of a
// verification package.
PackageVerdict CheckPackage(const PackageBase& package, const DeviceBase& device, const Limits& limits);

// The entry's word in the table: "годен", "не годен", "нет данных",
// "вне зон"; empty while unjudged.
std::string EntryVerdictText(const EntryVerdict& entry);
// The package's line: "Годен", "Не годен: N точек вне пределов",
// "пределы не заданы", "нет точек"; empty for a calibration package.
std::string PackageVerdictText(const PackageVerdict& verdict);
// The limits in words, for the report and the status line:
// "класс 2, qp = 10 м³/ч" or "зоны: от 0 м³/ч ± 5 %; от 1.5 м³/ч ± 2 %",
// with `flowUnit` in place of "м³/ч" (the HTML report has no "³").
std::string LimitsText(const Limits& limits, const std::string& flowUnit = "м³/ч");
