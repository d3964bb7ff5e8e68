#pragma once

#include <cstdint>
#include <span>
#include <variant>

// Package kinds and reference methods, fixed when a package is created.
enum class PackageType : std::uint8_t { Calibration = 0, Verification = 1 };
enum class Method : std::int32_t { Volume = 0, Mass = 1, Reference = 2 };

// Entry types, as the package factory numbers them.
enum class EntryType : int { Dorn = 0, Kelt = 1, RV = 2 };

// Identifier of an entry field; the same number identifies the table column.
enum FieldId : int {
    kPoint = 0,
    kT = 1,
    kMassRef = 2,
    kVolRef = 3,
    kTimeRef = 4,
    kFlowRef = 5,
    kTime1 = 6,
    kPulses1 = 7,
    kFreq = 8,
    kCode = 9,
    kFlowMeas = 10,
    kFlowErr = 11,
    kPulses2 = 12,
    kVolMeas = 13,
    kVolErr = 14,
    kSection = 15,
    kLine = 16,
    kOff = 17,
    kColumnFieldCount = 18,
    // The reduced values have no column; they are reachable through the
    // field access of a package but never shown in a table.
    kFlowRefRed = 18,
    kFreqRed = 19,
    kFieldCount = 20,
};

// The text form of a field.
enum class FieldKind : std::int32_t { Double = 0, Int32 = 1, Bool = 2 };

// The kind of a field id, known to the compiler so that the entries' field
// tables are checked against it (FieldInfo(id).kind agrees, see Entries.cpp):
// the counters and numbers are 32-bit integers, the marks bytes, the rest
// doubles.
constexpr FieldKind FieldKindOf(int id) {
    switch (id) {
        case kPulses1:
        case kPulses2:
        case kSection:
        case kLine: return FieldKind::Int32;
        case kPoint:
        case kOff: return FieldKind::Bool;
        default: return FieldKind::Double;
    }
}

// The value of one field: a double, a 32-bit integer or a byte mark; the
// alternative's index is the field's kind.
using FieldValue = std::variant<double, std::int32_t, std::uint8_t>;

// Describes one table column (one field id); shared by all packages. The
// read-only flag is filled per call from the package's method.
struct ColumnInfo {
    const char* caption;
    const char* htmlCaption;
    std::int32_t width;
    std::int32_t checkBox;
    FieldKind kind;
    std::int32_t decimals;
    std::uint8_t readOnly;
};

// The field's name as the interchange form writes it ("t", "massRef", …).
const char* FieldName(int id);
// Descriptor of a field id 0 … 19 (the last two have no caption).
const ColumnInfo& FieldInfo(int id);

// Field ids shown by a package, in column order.
std::span<const int> ColumnList(EntryType entryType, PackageType type, Method method);

// Read-only field ids of a method, bit n for id n.
std::uint32_t ReadOnlyMask(Method method);

#pragma pack(push, 1)

struct EprEntry {
    double t, massRef, volRef, timeRef, flowRef, code, flowMeas, flowErr, volMeas, volErr;
    std::int32_t pulses2, section, line;
    std::uint8_t point, off;
};

struct KeltEntry {
    double t, massRef, volRef, timeRef, flowRef, time1, freq, flowMeas, flowErr, volMeas, volErr, flowRefRed,
        freqRed;
    std::int32_t pulses1, pulses2, section, line;
    std::uint8_t point, off;
};

struct DornEntry {
    double t, massRef, volRef, timeRef, flowRef, time1, freq, flowMeas, flowErr, volMeas, volErr, flowRefRed,
        freqRed;
    std::int32_t pulses1, pulses2;
    std::uint8_t off;
};

#pragma pack(pop)

static_assert(sizeof(EprEntry) == 94);
static_assert(sizeof(KeltEntry) == 122);
static_assert(sizeof(DornEntry) == 113);
