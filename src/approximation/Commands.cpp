#include "approximation/Commands.h"

#include <algorithm>

#include "approximation/PackageApproximation.h"
#include "common/Console.h"
#include "common/MathError.h"
#include "devices/DeviceBase.h"
#include "document/Document.h"

namespace approximation {

namespace {

void handLinesToDevice(Document& doc) {
    DeviceBase* device = doc.device();
    if (!device) return;
    const files::Lines& lines = doc.state().currentLines;
    const int negative = !lines.empty() && lines.front().a < 0 ? 1 : 0;
    device->SetLines(lines, negative);
}

bool isDorn(const Document& doc, const PackageBase& package) {
    if (const DeviceBase* device = doc.device()) return FamilyOfCode(device->Type()) == Family::Dorn;
    return package.entryType() == EntryType::Dorn;
}

// Puts the approximation function back however the command ends.
class FunctionRestore {
public:
    explicit FunctionRestore(ApprOptions& options) : m_options(options), m_saved(options.function) {}
    ~FunctionRestore() { m_options.function = m_saved; }
    FunctionRestore(const FunctionRestore&) = delete;
    FunctionRestore& operator=(const FunctionRestore&) = delete;

private:
    ApprOptions& m_options;
    std::uint8_t m_saved;
};

}  // namespace

bool runApproximation(Document& doc, PackageBase& package) {
    bool done = false;
    try {
        approximate(package);
        doc.console().message(kApproximationDone);
        handLinesToDevice(doc);
        done = true;
    } catch (const MathError&) {
        doc.console().message(kApproximationFailed);
    }
    doc.recalcAll();
    return done;
}

SectionSelection::SectionSelection(SPILT_STRUCT& series) : m_series(series) {
    for (SPILT_POINT& p : m_series.points) p.point = 0;
}

void SectionSelection::click(std::size_t point) {
    if (point >= m_series.points.size()) return;
    const std::int32_t section = m_series.points[point].section;
    const std::uint8_t mark = m_series.points[point].point ? 0 : 1;
    for (SPILT_POINT& p : m_series.points)
        if (p.section == section) p.point = mark;
}

std::optional<std::size_t> SectionSelection::firstPointOf(std::int32_t section) const {
    const auto& points = m_series.points;
    const auto it = std::find_if(points.begin(), points.end(), [&](const SPILT_POINT& p) { return p.section == section; });
    if (it == points.end()) return std::nullopt;
    return static_cast<std::size_t>(it - points.begin());
}

SetPointsResult runSetPoints(Document& doc, PackageBase& package, const SectionChooser& choose) {
    if (isDorn(doc, package)) return SetPointsResult::NotApplicable;
    ApprOptions& options = doc.state().options;
    SetPointsResult result = SetPointsResult::Cancelled;
    {
        // Restored also when an error other than a math error ends the
        // command, so the user's options never stay on the single line.
        const FunctionRestore restore(options);
        options.function = static_cast<std::uint8_t>(ApprFunction::Linear);
        try {
            // One line over all sections clears every mark; every entry's
            // error is then its error against that line.
            approximate(package);
            package.recalcAll();
            SPILT_STRUCT series;
            chartSeries(package, series, kFlowErrorSeries);
            SectionSelection selection(series);
            if (choose(selection)) {
                options.function = static_cast<std::uint8_t>(ApprFunction::PiecewiseLinear);
                const int count = std::min(package.entryCount(), static_cast<int>(series.points.size()));
                for (int i = 0; i < count; ++i) {
                    const std::uint8_t mark = series.points[static_cast<std::size_t>(i)].point;
                    package.setField(i, kPoint, &mark);
                }
                approximate(package);
                doc.console().message(kSetPointsDone);
                handLinesToDevice(doc);
                result = SetPointsResult::Done;
            }
        } catch (const MathError&) {
            doc.console().message(kApproximationFailed);
            result = SetPointsResult::Failed;
        }
    }
    doc.recalcAll();
    return result;
}

}  // namespace approximation
