#pragma once

// The approximation commands of the main window without the toolkit: the
// GUI calls them and then refreshes its table and lines dialog.

#include <cstddef>
#include <functional>
#include <optional>

#include "approximation/Chart.h"

class Document;
class PackageBase;

namespace approximation {

// Console texts of the commands. The approximation command's success text
// begins with a Latin capital A, the set points command's with a Cyrillic А.
inline constexpr const char* kApproximationDone = "Aппроксимация выполнена";
inline constexpr const char* kSetPointsDone = "Аппроксимация выполнена";
inline constexpr const char* kApproximationFailed = "Невозможно выполнить аппроксимацию";

// "Аппроксимация" on a package of the document: the fit, the success text,
// the lines handed to the device model (negative when the first slope is
// below 0), then every package recalculated. A math error writes the failure
// text instead; the device model keeps its lines and the entries show the
// emptied `currentLines`. Other errors are passed on with nothing
// recalculated. True when the approximation succeeded.
bool runApproximation(Document& doc, PackageBase& package);

// The marks of the section selection dialog, without the chart. Attaching a
// series clears every mark; a click on a point gives every point of the
// same section the opposite of the clicked point's mark.
class SectionSelection {
public:
    explicit SectionSelection(SPILT_STRUCT& series);

    const SPILT_STRUCT& series() const { return m_series; }
    void click(std::size_t point);
    // Position of the first point of a section number, if any point has it.
    std::optional<std::size_t> firstPointOf(std::int32_t section) const;

private:
    SPILT_STRUCT& m_series;
};

// Shows the section selection dialog modally; true when the user confirms
// ("Продолжить"), false when the dialog is cancelled.
using SectionChooser = std::function<bool(SectionSelection&)>;

enum class SetPointsResult {
    NotApplicable,  // a Dorn document: nothing was done
    Cancelled,      // the dialog was cancelled after the single-line fit
    Done,
    Failed,         // a math error; the failure text was written
};

// "Расставить точки" on a package of the document: a single linear fit over
// all sections, then the user's choice of the sections at which segments
// meet, then the piecewise fit with those marks, its success text and the
// lines handed to the device model. `function` of the options is restored
// afterwards in every case; unless an error other than a math error ends the
// command, every package is recalculated. A Dorn document does nothing.
SetPointsResult runSetPoints(Document& doc, PackageBase& package, const SectionChooser& choose);

}  // namespace approximation
