#include "document/Package.h"

#include <cmath>
#include <cstdio>
#include <stdexcept>

#include "common/Locale.h"
#include "common/MathError.h"
#include "common/NumberText.h"

namespace {

// A recalculation step whose result is not finite (a division by zero, an
// invalid operation or an overflow) stores its fallback instead. The check is
// made on the value, without exceptions, because recalculation runs over
// every entry at every tab change and zeroed entries fail many steps.
double orFallback(double value, double fallback) { return std::isfinite(value) ? value : fallback; }

// The raw formulas; the checked public forms throw MathError instead.
long double densityValue(double t);
double reductionValue(double t, double refTemp) {
    constexpr double c1 = 5.542578e-05, c2 = 2.28661e-07, c3 = 30.614166;
    return ((c1 - c2 * refTemp) * (t + c3)) / ((c1 - c2 * t) * (refTemp + c3));
}

}  // namespace

namespace {

long double densityValue(double t) {
    struct Row {
        double bound;
        long double a, b, c;
    };
    static constexpr Row kRows[] = {
        {10, -0.01645455L, 0.048291L, 999.91995544L},    {20, -0.15143316L, 0.04583111L, 1001.26618538L},
        {30, -0.25693048L, 0.04432264L, 1003.37381462L}, {40, -0.34379144L, 0.04338235L, 1005.9778877L},
        {50, -0.41822995L, 0.04295232L, 1008.9523975L},  {60, -0.48360963L, 0.04287656L, 1012.2176025L},
        {70, -0.54256684L, 0.0430303L, 1015.75035651L},  {80, -0.59675401L, 0.04364973L, 1019.53585561L},
        {90, -0.64718182L, 0.04430036L, 1023.56348485L}, {100, -0.69501604L, 0.04543895L, 1027.85825312L},
        {110, -0.74078075L, 0.04663993L, 1032.42452763L}, {120, -0.78531016L, 0.047959L, 1037.31132799L},
        {130, -0.82959358L, 0.05014037L, 1042.60700535L}, {140, -0.8733369L, 0.05229501L, 1048.27693405L},
        {150, -0.91768449L, 0.054541L, 1054.4693672L},
    };
    // Above 150 °C and for a t that is not a number the last row serves.
    const Row* row = &kRows[std::size(kRows) - 1];
    for (const Row& r : kRows) {
        if (r.bound >= t) {
            row = &r;
            break;
        }
    }
    const long double lt = t;
    return (row->a * lt + row->b + row->c) * 0.001L;
}

}  // namespace

double PackageHelper::waterDensity(double t) { return static_cast<double>(checked(densityValue(t))); }

double PackageHelper::reductionFactor(double t, double refTemp) { return checked(reductionValue(t, refTemp)); }

template <typename T>
int Package<T>::columnCount() const {
    return static_cast<int>(ColumnList(entryType(), type, method).size());
}

template <typename T>
int Package<T>::columnField(int col) const {
    return ColumnList(entryType(), type, method)[static_cast<std::size_t>(col)];
}

template <typename T>
ColumnInfo Package<T>::column(int col) const {
    const int id = columnField(col);
    ColumnInfo info = FieldInfo(id);
    info.readOnly = (ReadOnlyMask(method) >> id) & 1u;
    return info;
}

template <typename T>
std::string Package<T>::cellText(int row, int col) const {
    const int id = columnField(col);
    const T& entry = entries.at(static_cast<std::size_t>(row));
    const EntryField* field = FindEntryField<T>(id);
    if (!field) return {};
    const FieldValue value = ReadEntryField(entry, *field);
    switch (field->kind) {
        case FieldKind::Double:
            return Locale::current().formatFixed(std::get<double>(value), FieldInfo(id).decimals);
        case FieldKind::Int32: return std::to_string(std::get<std::int32_t>(value));
        case FieldKind::Bool: return std::get<std::uint8_t>(value) ? "*" : "-";
    }
    return {};
}

template <typename T>
void Package<T>::setCellText(int row, int col, const std::string& text) {
    const int id = columnField(col);
    T& entry = entries.at(static_cast<std::size_t>(row));
    const EntryField* field = FindEntryField<T>(id);
    if (!field) return;
    // The whole text decides ("," and "." both serve as the separator); a
    // text that is not wholly a number leaves the entry as it was.
    switch (FieldInfo(id).kind) {
        case FieldKind::Double: {
            const auto v = parseUserNumber(text);
            if (!v) throw UserError("'" + text + "' is not a valid floating point value");
            WriteEntryField(entry, *field, *v);
            break;
        }
        case FieldKind::Int32: {
            const auto v = parseUserInt32(text);
            if (!v) throw UserError("'" + text + "' is not a valid integer value");
            WriteEntryField(entry, *field, *v);
            break;
        }
        case FieldKind::Bool: break;
    }
}

template <typename T>
bool Package<T>::cellChecked(int row, int col) const {
    const std::optional<FieldValue> value = fieldValue(row, columnField(col));
    const std::uint8_t* mark = value ? std::get_if<std::uint8_t>(&*value) : nullptr;
    return mark && *mark != 0;
}

template <typename T>
void Package<T>::setCellChecked(int row, int col, bool checked) {
    T& entry = entries.at(static_cast<std::size_t>(row));
    const EntryField* field = FindEntryField<T>(columnField(col));
    if (field && field->kind == FieldKind::Bool)
        WriteEntryField(entry, *field, FieldValue(std::in_place_type<std::uint8_t>, checked ? 1 : 0));
}

template <typename T>
std::optional<FieldValue> Package<T>::fieldValue(int row, int id) const {
    const T& entry = entries.at(static_cast<std::size_t>(row));
    const EntryField* field = FindEntryField<T>(id);
    if (!field) return std::nullopt;
    return ReadEntryField(entry, *field);
}

template <typename T>
bool Package<T>::setFieldValue(int row, int id, const FieldValue& value) {
    T& entry = entries.at(static_cast<std::size_t>(row));
    const EntryField* field = FindEntryField<T>(id);
    if (!field) return false;
    WriteEntryField(entry, *field, value);
    return true;
}

template <typename T>
bool Package<T>::hasField(int id) const {
    return FindEntryField<T>(id) != nullptr;
}

template <typename T>
void Package<T>::addEntry() {
    T e{};
    e.t = entries.empty() ? 20.0 : entries.back().t;
    e.volRef = entries.empty() ? 0.0 : entries.back().volRef;
    entries.push_back(e);
    recalcEntry(static_cast<int>(entries.size()) - 1);
}

template <typename T>
void Package<T>::deleteEntry(int row) {
    if (row < 0 || row >= entryCount()) throw std::out_of_range("entry row");
    entries.erase(entries.begin() + row);
}

namespace {

// One entry's derived values from its stored ones, the document's options
// and lines. A plain function of the entry type, so that recalcAll runs it
// inline over the whole vector.
template <typename T>
inline void recalcValues(T& e, const DocumentState& doc, Method method) {
    const double refTemp = doc.options.refTemp;
    constexpr bool kHasFreq = !std::is_same_v<T, EprEntry>;

    // 1. Reference quantities, by method.
    const double rho = static_cast<double>(densityValue(e.t));
    switch (method) {
        case Method::Volume:
            e.massRef = orFallback(rho * e.volRef, 0.0);
            e.flowRef = orFallback(3.6 * e.volRef / e.timeRef, 0.0);
            break;
        case Method::Mass:
            e.volRef = std::isfinite(rho) ? orFallback(e.massRef / rho, 0.0) : 0.0;
            e.flowRef = orFallback(3.6 * e.volRef / e.timeRef, 0.0);
            break;
        case Method::Reference:
            e.volRef = orFallback(
                static_cast<double>(static_cast<long double>(e.timeRef * e.flowRef) * (1.0L / 3.6L)), 0.0);
            e.massRef = orFallback(rho * e.volRef, 0.0);
            break;
    }

    // 2. Pulse output.
    e.volMeas = orFallback(doc.options.pulseWeight * 1000.0 * e.pulses2, 0.0);
    e.volErr = orFallback((e.volMeas - e.volRef) * 100.0 / e.volRef, 100.0);

    // 3. Frequency and its reduction to the reference temperature. N pulses
    //    bound N - 1 periods. A reduction that fails zeroes all four values.
    const double k = kHasFreq ? reductionValue(e.t, refTemp) : 1.0;
    if constexpr (kHasFreq) {
        e.freq = e.pulses1 >= 1 ? orFallback((e.pulses1 - 1) / e.time1, 0.0) : 0.0;
        const double freqRed = e.freq * k;
        const double flowRefRed = e.flowRef * k;
        if (std::isfinite(k) && std::isfinite(freqRed) && std::isfinite(flowRefRed)) {
            e.freqRed = freqRed;
            e.flowRefRed = flowRefRed;
        } else {
            e.flowRefRed = e.freqRed = e.flowRef = e.freq = 0.0;
        }
    }

    // 4. Line choice: the first line whose upper bound is not below the
    //    argument, the last line above every bound.
    const files::Lines& lines = doc.currentLines;
    const std::size_t n = lines.size();
    if (n == 0) {
        if constexpr (!std::is_same_v<T, DornEntry>) e.line = 0;
        e.flowMeas = 0.0;
        e.flowErr = 100.0;
        return;
    }
    std::size_t i = 0;
    if constexpr (!std::is_same_v<T, DornEntry>) {
        double x;
        if constexpr (std::is_same_v<T, EprEntry>) {
            x = e.code;
        } else {
            x = e.freqRed;
        }
        while (i + 1 < n && x > lines[i].upper) ++i;
        e.line = static_cast<std::int32_t>(i + 1);
    }

    // 5. Measured flow. The line relates reduced flow to reduced frequency,
    //    so the plain flow follows from the plain frequency and b / K.
    const files::Line& line = lines[i];
    if constexpr (std::is_same_v<T, EprEntry>) {
        e.flowMeas = orFallback(line.a * e.code + line.b, 0.0);
    } else {
        e.flowMeas = std::isfinite(k) ? orFallback(line.a * e.freq + line.b / k, 0.0) : 0.0;
    }
    e.flowErr = orFallback((e.flowMeas - e.flowRef) * 100.0 / e.flowRef, 100.0);
}

}  // namespace

template <typename T>
void Package<T>::recalcEntry(int row) {
    recalcValues(entries.at(static_cast<std::size_t>(row)), document(), method);
}

template <typename T>
void Package<T>::recalcAll() {
    const DocumentState& doc = document();
    const Method m = method;
    for (T& e : entries) recalcValues(e, doc, m);
}

template class Package<DornEntry>;
template class Package<KeltEntry>;
template class Package<EprEntry>;

PackagePtr CreatePackage(int entryType, std::shared_ptr<DocumentState> document) {
    switch (entryType) {
        case 0: return std::make_shared<Package<DornEntry>>(std::move(document));
        case 1: return std::make_shared<Package<KeltEntry>>(std::move(document));
        case 2: return std::make_shared<Package<EprEntry>>(std::move(document));
        default: return nullptr;
    }
}

std::string packageName(const PackageBase& package) {
    std::string name = package.type == PackageType::Verification ? "Поверочный " : "Градуировочный ";
    const auto tm = package.created.toTm();
    if (!tm) return name + "---";
    const Locale& loc = Locale::current();
    const std::string date = loc.formatShortDate(*tm);
    const std::string time = loc.formatTime(*tm, false);
    if (date.empty() || time.empty()) return name + "---";
    return name + date + " " + time;
}
