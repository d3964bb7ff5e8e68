// The approximation and set points commands on a document whose device
// model records what it is handed.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "Support.h"
#include "approximation/Commands.h"
#include "common/Console.h"
#include "common/MathError.h"
#include "document/Document.h"

namespace {

using namespace apprtest;
using approximation::SectionSelection;
using approximation::SetPointsResult;

// A device model that keeps its lines and records every SetLines call.
class RecordingDevice : public DeviceBase {
public:
    explicit RecordingDevice(int type) : m_type(type) {}

    struct Call {
        files::Lines lines;
        int negative;
    };
    std::vector<Call> calls;
    files::Lines lines{{0.5, 0.25, 1000}};

    int Type() const override { return m_type; }
    void GetLines(files::Lines& out) const override { out = lines; }
    void SetLines(const files::Lines& in, int negative) override {
        calls.push_back({in, negative});
        lines = in;
    }
    void GetIdent(Ident&) const override {}
    void SetIdent(const Ident&) override {}
    int GetSettings(std::uint8_t*) const override { return 0; }
    bool SetSettings(const std::uint8_t*, int) override { return true; }
    std::string Name() const override { return "recording"; }
    double PulseWeight() const override { return 0.001; }

private:
    int m_type;
};

std::vector<std::string> messages(const Console& console) {
    std::vector<std::string> out;
    for (const auto& line : console.lines()) out.push_back(line.text);
    return out;
}

// A document of a type code with a recording device model and one
// calibration package (of the type's entry type) holding `points`.
struct Bench {
    Console console;
    Document doc{console};
    RecordingDevice* device = nullptr;
    PackagePtr package;

    Bench(int typeCode, const std::vector<Point>& points) {
        doc.create(typeCode);
        auto recording = std::make_unique<RecordingDevice>(typeCode);
        device = recording.get();
        doc.setDevice(std::move(recording));
        package = doc.addPackage(PackageType::Calibration, Method::Reference);
        for (const Point& p : points) {
            package->addEntry();
            const int row = package->entryCount() - 1;
            const double timeRef = 100, t = 20;
            package->setField(row, kT, &t);
            package->setField(row, kTimeRef, &timeRef);
            package->setField(row, kFlowRef, &p.y);
            package->setField(row, kCode, &p.x);
            if (package->hasField(kPulses1)) {
                const double time1 = 100;
                const std::int32_t pulses = static_cast<std::int32_t>(p.x * 100 + 0.5) + 1;
                package->setField(row, kTime1, &time1);
                package->setField(row, kPulses1, &pulses);
            }
            const std::uint8_t off = p.off, point = p.point;
            package->setField(row, kOff, &off);
            package->setField(row, kPoint, &point);
        }
        doc.tabChanged();
    }

    DocumentState& state() { return doc.state(); }
    double field(int row, int id) const {
        double v = 0;
        package->getField(row, id, &v);
        return v;
    }
    std::uint8_t mark(int row) const {
        std::uint8_t v = 0;
        package->getField(row, kPoint, &v);
        return v;
    }
};

// ---- Approximation command -----------------------------------------------------

TEST(ApproximationCommand, HandsTheLinesToTheDeviceAndRecalculates) {
    Bench bench(kRvCode, brokenLine());
    bench.state().options.manual = 0;
    EXPECT_TRUE(approximation::runApproximation(bench.doc, *bench.package));
    const std::vector<std::string> log = messages(bench.console);
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0], "Aппроксимация выполнена");
    EXPECT_EQ(log[0][0], 'A');  // a Latin capital A
    ASSERT_EQ(bench.device->calls.size(), 1u);
    EXPECT_EQ(bench.device->calls[0].lines, bench.state().currentLines);
    EXPECT_EQ(bench.device->calls[0].negative, 0);
    EXPECT_EQ(bench.state().currentLines.size(), 2u);
    // Recalculated with the fitted lines: section 5 uses line 2.
    EXPECT_EQ(bench.field(14, kFlowErr) != 100.0, true);
    std::int32_t line = 0;
    bench.package->getField(14, kLine, &line);
    EXPECT_EQ(line, 2);
    EXPECT_NEAR(bench.field(14, kFlowMeas), 7.04, 1e-9);
}

TEST(ApproximationCommand, NegativeSlopeRaisesTheNegativeFlag) {
    Bench bench(kRvCode, {{100, 3}, {200, 2}, {300, 1}});
    bench.state().options.function = static_cast<std::uint8_t>(ApprFunction::Linear);
    // The flow falls as the code rises; sorted by flow the codes descend.
    EXPECT_TRUE(approximation::runApproximation(bench.doc, *bench.package));
    ASSERT_EQ(bench.device->calls.size(), 1u);
    EXPECT_LT(bench.state().currentLines.at(0).a, 0.0);
    EXPECT_EQ(bench.device->calls[0].negative, 1);
}

TEST(ApproximationCommand, MathErrorLeavesTheDeviceLinesAndEmptiesTheDocumentLines) {
    Bench bench(kRvCode, {{0, 0.5}, {100, 1}, {200, 2}});
    const files::Lines deviceLines = bench.device->lines;
    EXPECT_FALSE(approximation::runApproximation(bench.doc, *bench.package));
    EXPECT_EQ(messages(bench.console), (std::vector<std::string>{"Невозможно выполнить аппроксимацию"}));
    EXPECT_TRUE(bench.device->calls.empty());
    EXPECT_EQ(bench.device->lines, deviceLines);
    EXPECT_TRUE(bench.state().currentLines.empty());
    for (int row = 0; row < 3; ++row) {
        EXPECT_EQ(bench.field(row, kFlowMeas), 0.0);
        EXPECT_EQ(bench.field(row, kFlowErr), 100.0);
    }
    // The next tab change brings the device model's lines back.
    bench.doc.tabChanged();
    EXPECT_EQ(bench.state().currentLines, deviceLines);
}

TEST(ApproximationCommand, FewerThanTwoSectionsStillReportsSuccess) {
    Bench bench(kRvCode, {{100, 1}, {101, 1.01}});
    EXPECT_TRUE(approximation::runApproximation(bench.doc, *bench.package));
    EXPECT_EQ(messages(bench.console), (std::vector<std::string>{"Aппроксимация выполнена"}));
    ASSERT_EQ(bench.device->calls.size(), 1u);
    EXPECT_TRUE(bench.device->calls[0].lines.empty());
}

TEST(ApproximationCommand, DornDocumentGetsOneLine) {
    Bench bench(4, {{10, 1.05}, {20, 2.05}, {40, 4.05}});
    bench.device->lines = {{1, 1, 50}, {2, 2, 60}, {3, 3, 70}};
    bench.doc.tabChanged();
    EXPECT_TRUE(approximation::runApproximation(bench.doc, *bench.package));
    ASSERT_EQ(bench.device->calls.size(), 1u);
    ASSERT_EQ(bench.device->calls[0].lines.size(), 1u);
    EXPECT_NEAR(bench.device->calls[0].lines[0].a, 0.1, 1e-12);
    EXPECT_NEAR(bench.device->calls[0].lines[0].b, 0.05, 1e-12);
    EXPECT_EQ(bench.device->calls[0].lines[0].upper, 50);
}

// ---- Section selection marks ---------------------------------------------------

TEST(SectionSelection, ClickTogglesTheWholeSection) {
    SPILT_STRUCT series;
    for (std::int32_t section : {1, 1, 2, 2, 2, 3}) series.points.push_back({0, 0, section, 1, 0});
    SectionSelection dialog(series);
    for (const SPILT_POINT& p : series.points) EXPECT_EQ(p.point, 0);  // attaching clears every mark
    dialog.click(3);
    std::vector<int> got;
    for (const SPILT_POINT& p : series.points) got.push_back(p.point);
    EXPECT_EQ(got, (std::vector<int>{0, 0, 1, 1, 1, 0}));
    dialog.click(2);  // any point of the section clears it again
    for (const SPILT_POINT& p : series.points) EXPECT_EQ(p.point, 0);
    EXPECT_EQ(dialog.firstPointOf(2), 2u);
    EXPECT_EQ(dialog.firstPointOf(7), std::nullopt);
}

// ---- Set points command ----------------------------------------------------------

TEST(SetPointsCommand, ConfirmedChoiceFitsPiecewiseAndRestoresTheFunction) {
    std::vector<Point> points = brokenLine();
    std::reverse(points.begin(), points.end());
    points[0].point = true;  // an old mark the dialog does not show
    Bench bench(kRvCode, points);
    bench.state().options.function = static_cast<std::uint8_t>(ApprFunction::Proportional);
    bool shown = false;
    const SetPointsResult result =
        approximation::runSetPoints(bench.doc, *bench.package, [&](SectionSelection& dialog) {
            shown = true;
            const SPILT_STRUCT& series = dialog.series();
            EXPECT_EQ(series.points.size(), 15u);
            // Sorted, numbered, unmarked, errors against one line over all.
            EXPECT_EQ(series.points[0].y, 0.98);
            EXPECT_EQ(series.points[6].section, 3);
            for (const SPILT_POINT& p : series.points) EXPECT_EQ(p.point, 0);
            double worst = 0;
            for (const SPILT_POINT& p : series.points) worst = std::max(worst, std::fabs(p.error));
            EXPECT_GT(worst, 1.0);
            EXPECT_EQ(bench.state().currentLines.size(), 1u);
            EXPECT_EQ(bench.state().options.function, static_cast<std::uint8_t>(ApprFunction::Linear));
            dialog.click(*dialog.firstPointOf(3));
            return true;
        });
    EXPECT_TRUE(shown);
    EXPECT_EQ(result, SetPointsResult::Done);
    EXPECT_EQ(messages(bench.console), (std::vector<std::string>{"Аппроксимация выполнена"}));
    EXPECT_EQ(std::string(messages(bench.console)[0]).substr(0, 2), "\xD0\x90");  // Cyrillic А
    EXPECT_EQ(bench.state().splitSections, (std::vector<std::int32_t>{2, 4}));
    ASSERT_EQ(bench.device->calls.size(), 1u);
    EXPECT_EQ(bench.device->calls[0].lines.size(), 2u);
    EXPECT_EQ(bench.state().options.function, static_cast<std::uint8_t>(ApprFunction::Proportional));
    for (int row = 0; row < 15; ++row) EXPECT_EQ(bench.mark(row), row == 6 ? 1 : 0) << row;
    // Recalculated against the two lines.
    EXPECT_NEAR(bench.field(14, kFlowErr), 0.0, 1e-9);
}

TEST(SetPointsCommand, ConfirmWithoutMarksFitsOneLine) {
    Bench bench(kRvCode, brokenLine());
    const auto result = approximation::runSetPoints(bench.doc, *bench.package, [](SectionSelection&) { return true; });
    EXPECT_EQ(result, SetPointsResult::Done);
    EXPECT_EQ(bench.state().splitSections, (std::vector<std::int32_t>{4}));
    EXPECT_EQ(bench.state().currentLines.size(), 1u);
    EXPECT_EQ(bench.device->calls.size(), 1u);
}

TEST(SetPointsCommand, CancelKeepsTheSingleLineAndTheDeviceLines) {
    std::vector<Point> points = brokenLine();
    points[7].point = true;
    Bench bench(kRvCode, points);
    bench.state().options.function = static_cast<std::uint8_t>(ApprFunction::PiecewiseLinear);
    const auto result =
        approximation::runSetPoints(bench.doc, *bench.package, [](SectionSelection& dialog) {
            dialog.click(7);  // marks chosen, then cancelled
            return false;
        });
    EXPECT_EQ(result, SetPointsResult::Cancelled);
    EXPECT_TRUE(messages(bench.console).empty());
    EXPECT_TRUE(bench.device->calls.empty());
    ASSERT_EQ(bench.state().currentLines.size(), 1u);  // the single linear line
    EXPECT_TRUE(bench.state().splitSections.empty());
    for (int row = 0; row < 15; ++row) EXPECT_EQ(bench.mark(row), 0) << row;
    EXPECT_EQ(bench.state().options.function, static_cast<std::uint8_t>(ApprFunction::PiecewiseLinear));
    // Every package recalculated against that line.
    std::int32_t line = 0;
    bench.package->getField(14, kLine, &line);
    EXPECT_EQ(line, 1);
}

TEST(SetPointsCommand, MathErrorIsReportedAndTheFunctionRestored) {
    Bench bench(kRvCode, {{0, 0.5}, {100, 1}, {200, 2}});
    bench.state().options.function = static_cast<std::uint8_t>(ApprFunction::Proportional);
    bool shown = false;
    const auto result = approximation::runSetPoints(bench.doc, *bench.package, [&](SectionSelection&) {
        shown = true;
        return true;
    });
    EXPECT_EQ(result, SetPointsResult::Failed);
    EXPECT_FALSE(shown);
    EXPECT_EQ(messages(bench.console), (std::vector<std::string>{"Невозможно выполнить аппроксимацию"}));
    EXPECT_TRUE(bench.device->calls.empty());
    EXPECT_TRUE(bench.state().currentLines.empty());
    EXPECT_EQ(bench.state().options.function, static_cast<std::uint8_t>(ApprFunction::Proportional));
}

TEST(SetPointsCommand, OtherErrorsPassOnButTheFunctionIsRestored) {
    Bench bench(kRvCode, brokenLine());
    bench.state().options.function = static_cast<std::uint8_t>(ApprFunction::Proportional);
    EXPECT_THROW(approximation::runSetPoints(bench.doc, *bench.package,
                                             [](SectionSelection&) -> bool { throw UserError("dialog failed"); }),
                 UserError);
    EXPECT_EQ(bench.state().options.function, static_cast<std::uint8_t>(ApprFunction::Proportional));
    EXPECT_TRUE(messages(bench.console).empty());
}

TEST(SetPointsCommand, DornDocumentDoesNothing) {
    Bench bench(4, {{40, 4.05}, {10, 1.05}, {20, 2.05}});
    const files::Lines before = bench.state().currentLines;
    bool shown = false;
    const auto result = approximation::runSetPoints(bench.doc, *bench.package, [&](SectionSelection&) {
        shown = true;
        return true;
    });
    EXPECT_EQ(result, SetPointsResult::NotApplicable);
    EXPECT_FALSE(shown);
    EXPECT_TRUE(messages(bench.console).empty());
    EXPECT_EQ(bench.state().currentLines, before);
    EXPECT_EQ(bench.field(0, kFreq), 40);  // order untouched
}

TEST(SetPointsCommand, KeltDocumentUsesTheDialog) {
    Bench bench(28, {{10, 1.0}, {20, 2.0}, {30, 3.0}, {40, 4.4}, {50, 5.8}});
    const auto result = approximation::runSetPoints(bench.doc, *bench.package, [](SectionSelection& dialog) {
        dialog.click(*dialog.firstPointOf(3));
        return true;
    });
    EXPECT_EQ(result, SetPointsResult::Done);
    EXPECT_EQ(bench.state().splitSections, (std::vector<std::int32_t>{2, 4}));
    EXPECT_EQ(bench.mark(2), 1);
}

}  // namespace
