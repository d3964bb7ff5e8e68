#include "document/Verdict.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "common/Locale.h"
#include "devices/DeviceBase.h"
#include "document/PackageBase.h"

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

double doubleField(const PackageBase& package, int row, int id) {
    double value = kNaN;
    package.getField(row, id, &value);
    return value;
}

// The value with as few decimals as show it whole (at most 6), with the
// regional separator.
std::string shortNumber(double value) {
    int decimals = 0;
    for (double scale = 1.0; decimals < 6; ++decimals, scale *= 10.0)
        if (std::fabs(std::round(value * scale) / scale - value) <= 1e-9 * std::max(1.0, std::fabs(value))) break;
    return Locale::current().formatFixed(value, decimals);
}

}  // namespace

EntryVerdict CheckEntry(const PackageBase& package, int row, const Limits& limits, bool withVolume) {
    EntryVerdict entry;
    entry.q = doubleField(package, row, kFlowRef);
    entry.error = doubleField(package, row, kFlowErr);
    entry.dV = withVolume ? doubleField(package, row, kVolErr) : kNaN;
    const std::optional<double> limit = PermissibleError(limits, entry.q);
    entry.limit = limit.value_or(kNaN);
    if (!limits.isSet()) return entry;

    // Without a reference flow the computed errors are the recalculation's
    // fallbacks, not measurements.
    if (!std::isfinite(entry.q) || entry.q <= 0.0 || !std::isfinite(entry.error) ||
        (withVolume && !std::isfinite(entry.dV))) {
        entry.outcome = EntryOutcome::NoData;
        return entry;
    }
    if (!limit) {
        entry.outcome = EntryOutcome::OutOfZones;
        return entry;
    }
    entry.errorFails = !(std::fabs(entry.error) <= *limit);
    entry.dVFails = withVolume && !(std::fabs(entry.dV) <= *limit);
    entry.outcome = entry.errorFails || entry.dVFails ? EntryOutcome::Fail : EntryOutcome::Pass;
    return entry;
}

PackageVerdict CheckPackage(const PackageBase& package, const Limits& limits, bool withVolume) {
    PackageVerdict verdict;
    if (package.type != PackageType::Verification) return verdict;
    const int count = package.entryCount();
    verdict.entries.reserve(static_cast<std::size_t>(count));
    for (int row = 0; row < count; ++row) {
        verdict.entries.push_back(CheckEntry(package, row, limits, withVolume));
        if (limits.isSet() && !verdict.entries.back().passes()) verdict.failed.push_back(row);
    }
    if (!limits.isSet())
        verdict.outcome = PackageOutcome::NoLimits;
    else if (count == 0)
        verdict.outcome = PackageOutcome::Empty;
    else
        verdict.outcome = verdict.failed.empty() ? PackageOutcome::Pass : PackageOutcome::Fail;
    return verdict;
}

PackageVerdict CheckPackage(const PackageBase& package, const DeviceBase& device, const Limits& limits) {
    return CheckPackage(package, limits, device.HiddenColumns(true) == 0);
}

std::string EntryVerdictText(const EntryVerdict& entry) {
    switch (entry.outcome) {
        case EntryOutcome::Unjudged: return {};
        case EntryOutcome::Pass: return "годен";
        case EntryOutcome::Fail: return "не годен";
        case EntryOutcome::NoData: return "нет данных";
        case EntryOutcome::OutOfZones: return "вне зон";
    }
    return {};
}

std::string PackageVerdictText(const PackageVerdict& verdict) {
    switch (verdict.outcome) {
        case PackageOutcome::NotVerification: return {};
        case PackageOutcome::NoLimits: return "пределы не заданы";
        case PackageOutcome::Empty: return "нет точек";
        case PackageOutcome::Pass: return "Годен";
        case PackageOutcome::Fail:
            return "Не годен: " + std::to_string(verdict.failed.size()) + " точек вне пределов";
    }
    return {};
}

std::string LimitsText(const Limits& limits, const std::string& flowUnit) {
    switch (limits.form) {
        case Limits::Form::None: return "пределы не заданы";
        case Limits::Form::Class:
            return "класс " + std::to_string(limits.accuracyClass) + ", qp = " + shortNumber(limits.qp) + " " + flowUnit;
        case Limits::Form::Zones: {
            std::string text = "зоны:";
            for (std::size_t i = 0; i < limits.zones.size(); ++i) {
                text += i == 0 ? " " : "; ";
                text += "от " + shortNumber(limits.zones[i].from) + " " + flowUnit + " ± " + shortNumber(limits.zones[i].limit) + " %";
            }
            return text;
        }
    }
    return {};
}
