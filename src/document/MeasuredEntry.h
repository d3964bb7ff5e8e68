#pragma once

// An entry taken from the bench rather than typed: the quantities an
// instrument or a meter measured, appended to a package as a new entry and
// computed at once. The Nivor dialog gives the reference time, the counts
// and time of its two inputs, the temperature and the reference quantity
// typed beside them; "Ввод из РВ" gives the meter's mean code and pulse
// counter.

#include <cstdint>
#include <optional>

#include "document/Entries.h"

class PackageBase;

// The measured quantities of one entry; a quantity left out keeps what the
// new entry starts with (t and volRef of the last entry, zero otherwise).
struct Measurement {
    std::optional<double> timeRef{};        // reference time, s
    std::optional<std::int32_t> pulses1{};  // transducer pulses counted in time1
    std::optional<double> time1{};          // s
    std::optional<std::int32_t> pulses2{};  // pulses of the pulse output
    std::optional<double> t{};              // water temperature, °C
    // The reference quantity the user gives by the package's method: the
    // volume (l), the mass (kg) or the reference meter's flow (m³/h).
    std::optional<double> reference{};
    std::optional<double> code{};  // RV flow code
};

// The field the user gives the reference quantity in: volRef for the volume
// method, massRef for the mass method, flowRef for the reference meter.
FieldId referenceField(Method method);

// Appends a new entry as addEntry does, stores the measured quantities into
// it (those the entry type has no field for are left out) and recalculates
// it. Returns the new entry's row.
int addMeasuredEntry(PackageBase& package, const Measurement& measured);
