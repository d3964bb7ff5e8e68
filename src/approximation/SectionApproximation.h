#pragma once

// The fit of a Kelt or RV calibration package over its flow sections, and
// the one-line fit of a Dorn package. Templates over the entry type; the
// package's `approximate` runs them after recalculating its entries.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "approximation/Fit.h"
#include "document/Section.h"
#include "common/MathError.h"
#include "document/ApprOptions.h"
#include "document/DocumentState.h"
#include "document/Entries.h"
#include "document/PackageHelper.h"

namespace approximation {

// Argument x and reference flow y of an entry, and the measured flow of the
// recalculation with a given line. y is also the sort key of the sections.
template <typename T>
struct FitAccess;

template <>
struct FitAccess<EprEntry> {
    static double x(const EprEntry& e) { return e.code; }
    static double y(const EprEntry& e) { return e.flowRef; }
    // The recalculation's measured flow and its error with `line`, with the
    // same fallbacks (0 and 100 %).
    static void measure(EprEntry& e, const files::Line& line, double /*refTemp*/) {
        try {
            e.flowMeas = checked(line.a * e.code + line.b);
        } catch (const MathError&) {
            e.flowMeas = 0.0;
        }
        try {
            e.flowErr = checked((e.flowMeas - e.flowRef) * 100.0 / e.flowRef);
        } catch (const MathError&) {
            e.flowErr = 100.0;
        }
    }
};

template <typename E>
struct ReducedFitAccess {
    static double x(const E& e) { return e.freqRed; }
    static double y(const E& e) { return e.flowRefRed; }
    // The line relates reduced flow to reduced frequency, so the plain flow
    // follows from the plain frequency and b / K(t).
    static void measure(E& e, const files::Line& line, double refTemp) {
        try {
            e.flowMeas = checked(line.a * e.freq + checked(line.b / PackageHelper::reductionFactor(e.t, refTemp)));
        } catch (const MathError&) {
            e.flowMeas = 0.0;
        }
        try {
            e.flowErr = checked((e.flowMeas - e.flowRef) * 100.0 / e.flowRef);
        } catch (const MathError&) {
            e.flowErr = 100.0;
        }
    }
};

template <>
struct FitAccess<KeltEntry> : ReducedFitAccess<KeltEntry> {};
template <>
struct FitAccess<DornEntry> : ReducedFitAccess<DornEntry> {};

// Sorts the entries by reference flow (entries with equal flow keep their
// order), cuts the entries that are not switched off into sections and
// numbers them 1, 2, …; switched-off entries get section 0. A section ends
// at the first entry whose argument differs from the section's first one by
// more than `scatter` percent of it; a first argument of 0 followed by
// another entry makes that division fail (MathError).
template <typename T>
void SectionPass(std::vector<T>& entries, double scatter, std::vector<Section>& sections) {
    using A = FitAccess<T>;
    sections.clear();
    std::stable_sort(entries.begin(), entries.end(), [](const T& l, const T& r) { return A::y(l) < A::y(r); });
    for (T& e : entries) e.section = 0;

    const std::size_t count = entries.size();
    std::size_t s = 0;
    while (s < count && entries[s].off) ++s;
    while (s < count) {
        const double x0 = A::x(entries[s]);
        double sumX = x0;
        double sumY = A::y(entries[s]);
        int members = 1;
        std::size_t e = s + 1;
        for (; e < count; ++e) {
            const T& entry = entries[e];
            if (entry.off) continue;
            const double x = A::x(entry);
            // Measured against the section's first entry, not the running mean.
            if (checked(std::fabs(x - x0) * 100.0 / std::fabs(x0)) > scatter) break;
            sumX = checked(sumX + x);
            sumY = checked(sumY + A::y(entry));
            ++members;
        }
        sections.push_back({static_cast<std::int32_t>(s), static_cast<std::int32_t>(e) - 1, checked(sumX / members),
                            checked(sumY / members)});
        s = e;  // the entry that ended the walk, or the end
    }

    for (std::size_t i = 0; i < sections.size(); ++i)
        for (std::int32_t k = sections[i].first; k <= sections[i].last; ++k)
            if (!entries[static_cast<std::size_t>(k)].off) entries[static_cast<std::size_t>(k)].section = static_cast<std::int32_t>(i + 1);
}

// The fit of a sorted Kelt or RV package. Works on the document's state:
// reads the options, writes `currentLines`, `sections`, `splitSections`.
template <typename T>
class SectionApproximation {
public:
    SectionApproximation(std::vector<T>& entries, DocumentState& state) : m_entries(entries), m_state(state) {}

    // Everything after the recalculation: the section pass, the fit chosen
    // by the options, and the marks of the split sections.
    void run() {
        SectionPass(m_entries, m_state.options.sectionScatter, m_state.sections);
        const int n = sectionCount();
        files::Lines& lines = m_state.currentLines;
        switch (static_cast<ApprFunction>(m_state.options.function)) {
            case ApprFunction::Linear:
                m_state.splitSections.clear();
                lines.clear();
                if (n > 1) lines.push_back(LinearFit(0, n - 1));
                break;
            case ApprFunction::Proportional:
                m_state.splitSections.clear();
                lines.clear();
                if (n > 1) lines.push_back(ProportionalFit(0, n - 1));
                break;
            case ApprFunction::PiecewiseLinear:
            default:
                if (m_state.options.manual) manualPiecewise();
                else automaticPiecewise();
                break;
        }
        setMarks();
    }

    // The linear fit over sections g … d: their means, or every entry of
    // them that is not switched off. The line ends at the mean argument of d.
    files::Line LinearFit(int g, int d) const {
        LinearSums sums;
        forEachPoint(g, d, [&](double x, double y) { sums.add(x, y); });
        return sums.line(section(d).x);
    }

    // The same data fitted by a line through the origin.
    files::Line ProportionalFit(int g, int d) const {
        ProportionalSums sums;
        forEachPoint(g, d, [&](double x, double y) { sums.add(x, y); });
        return sums.line(section(d).x);
    }

private:
    using A = FitAccess<T>;

    int sectionCount() const { return static_cast<int>(m_state.sections.size()); }
    const Section& section(int i) const { return m_state.sections[static_cast<std::size_t>(i)]; }

    // The points of section k alone, in order.
    template <typename F>
    void forEachPointOf(int k, F&& add) const {
        const Section& s = section(k);
        if (!m_state.options.byEntries) {
            add(s.x, s.y);
            return;
        }
        for (std::int32_t i = s.first; i <= s.last; ++i) {
            const T& e = m_entries[static_cast<std::size_t>(i)];
            if (!e.off) add(A::x(e), A::y(e));
        }
    }

    // Sections tile the sorted entries, so the points of g … d are those of
    // each section in turn.
    template <typename F>
    void forEachPoint(int g, int d, F&& add) const {
        for (int k = g; k <= d; ++k) forEachPointOf(k, add);
    }

    // Segments grow as long as the error limit allows: from section g the
    // longest segment is tried first and shortened one section at a time
    // until every entry of it passes the check; a segment of two sections is
    // always taken. Adjacent segments share their boundary section.
    void automaticPiecewise() {
        files::Lines& lines = m_state.currentLines;
        std::vector<std::int32_t>& splits = m_state.splitSections;
        lines.clear();
        splits.clear();
        const int n = sectionCount();
        if (n < 2) return;

        // Every point is added once per segment start, so its terms are
        // computed once, section by section in point order: the points of
        // section k are terms[termStart[k]] … terms[termStart[k + 1] - 1].
        std::vector<LinearSums::Terms> terms;
        std::vector<std::size_t> termStart;
        termStart.reserve(static_cast<std::size_t>(n) + 1);
        for (int k = 0; k < n; ++k) {
            termStart.push_back(terms.size());
            forEachPointOf(k, [&](double x, double y) { terms.push_back(LinearSums::terms(x, y)); });
        }
        termStart.push_back(terms.size());

        // sumsTo[k] holds the sums from section g through section g + k. They
        // are accumulated once per segment start in point order, so each is
        // exactly the sum a fresh fit over g … g + k would build.
        std::vector<LinearSums> sumsTo;
        int g = 0;
        while (g < n - 1) {
            sumsTo.clear();
            LinearSums running;
            for (std::size_t k = static_cast<std::size_t>(g); k + 1 < termStart.size(); ++k) {
                for (std::size_t i = termStart[k]; i < termStart[k + 1]; ++i) running.add(terms[i]);
                running.check();
                sumsTo.push_back(running);
            }
            int d = n - 1;
            files::Line line;
            for (;;) {
                line = sumsTo[static_cast<std::size_t>(d - g)].line(section(d).x);
                if (passes(g, d, line) || g + 1 >= d) break;
                --d;
            }
            lines.push_back(line);
            splits.push_back(d);
            g = d;
        }
    }

    // Computes the measured flow and error of every entry of sections g … d
    // that is not switched off with `line` (the values stay in the entries
    // until the next recalculation); false at the first entry whose error
    // exceeds the limit.
    bool passes(int g, int d, const files::Line& line) {
        const double limit = m_state.options.maxAutoErr;
        const double refTemp = m_state.options.refTemp;
        for (std::int32_t i = section(g).first; i <= section(d).last; ++i) {
            T& e = m_entries[static_cast<std::size_t>(i)];
            if (e.off) continue;
            A::measure(e, line, refTemp);
            if (std::fabs(e.flowErr) > limit) return false;
        }
        return true;
    }

    // Segments end at the sections whose entries the user marked; marks in
    // the first and the last section have no effect.
    void manualPiecewise() {
        std::vector<std::int32_t>& splits = m_state.splitSections;
        files::Lines& lines = m_state.currentLines;
        splits.clear();
        const int n = sectionCount();
        if (n > 1) {
            for (int i = 1; i <= n - 2; ++i) {
                const Section& s = section(i);
                for (std::int32_t k = s.first; k <= s.last; ++k) {
                    const T& e = m_entries[static_cast<std::size_t>(k)];
                    if (!e.off && e.point) {
                        splits.push_back(i);
                        break;
                    }
                }
            }
            splits.push_back(n - 1);
        }
        lines.clear();
        int e = 0;
        for (std::int32_t s : splits) {
            lines.push_back(LinearFit(e, s));
            e = s;
        }
    }

    // Exactly the first entry of each section at which two segments meet
    // is marked.
    void setMarks() {
        for (T& e : m_entries) e.point = 0;
        const std::vector<std::int32_t>& splits = m_state.splitSections;
        for (std::size_t i = 0; i + 1 < splits.size(); ++i)
            m_entries[static_cast<std::size_t>(section(splits[i]).first)].point = 1;
    }

    std::vector<T>& m_entries;
    DocumentState& m_state;
};

// The fit of a Dorn package: exactly one line, over every entry that is not
// switched off. Lines after the first are dropped, an empty list gets a line
// of zeros, and only a and b of the kept line are written.
inline void ApproximateDorn(const std::vector<DornEntry>& entries, DocumentState& state) {
    using A = FitAccess<DornEntry>;
    files::Lines& lines = state.currentLines;
    lines.resize(1);
    files::Line fitted;
    if (static_cast<ApprFunction>(state.options.function) == ApprFunction::Proportional) {
        ProportionalSums sums;
        for (const DornEntry& e : entries)
            if (!e.off) sums.add(A::x(e), A::y(e));
        fitted = sums.line(0.0);
    } else {
        LinearSums sums;
        for (const DornEntry& e : entries)
            if (!e.off) sums.add(A::x(e), A::y(e));
        fitted = sums.line(0.0);
    }
    lines[0].a = fitted.a;
    lines[0].b = fitted.b;
}

}  // namespace approximation
