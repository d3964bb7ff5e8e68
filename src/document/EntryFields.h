#pragma once

// Where each field lives in an entry, as tables the compiler checks: every
// row names an entry member and a field id, and the member's type must store
// the id's kind (double for Double, std::int32_t for Int32, std::uint8_t for
// Bool). A wrong pairing, an id listed twice or a member of any other type
// fails to compile.
//
// The entries are byte-packed, so their members are reached by byte offset
// and copied with memcpy: a pointer to a packed member is not aligned for its
// type.

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <type_traits>
#include <variant>

#include "document/Entries.h"

// The kind a member type stores. Other types have none: a table row naming
// such a member does not compile.
template <typename M>
struct MemberKind;
template <>
struct MemberKind<double> : std::integral_constant<FieldKind, FieldKind::Double> {};
template <>
struct MemberKind<std::int32_t> : std::integral_constant<FieldKind, FieldKind::Int32> {};
template <>
struct MemberKind<std::uint8_t> : std::integral_constant<FieldKind, FieldKind::Bool> {};

template <FieldKind K>
using FieldType = std::variant_alternative_t<static_cast<std::size_t>(K), FieldValue>;
static_assert(MemberKind<FieldType<FieldKind::Double>>::value == FieldKind::Double &&
              MemberKind<FieldType<FieldKind::Int32>>::value == FieldKind::Int32 &&
              MemberKind<FieldType<FieldKind::Bool>>::value == FieldKind::Bool);

constexpr std::size_t FieldWidth(FieldKind kind) {
    switch (kind) {
        case FieldKind::Double: return sizeof(double);
        case FieldKind::Int32: return sizeof(std::int32_t);
        case FieldKind::Bool: return sizeof(std::uint8_t);
    }
    return 0;
}

// One row of an entry's field table.
struct EntryField {
    int id;
    std::size_t offset;  // of the member in the entry
    FieldKind kind;      // what the member's type stores
};

// A table row for `member` of `Entry` as the field `fieldId`: the kind comes
// from the member's declared type, never from the id.
#define ENTRY_FIELD(Entry, member, fieldId) \
    EntryField { fieldId, offsetof(Entry, member), MemberKind<decltype(Entry::member)>::value }

// Each row's member stores its id's kind.
template <std::size_t N>
constexpr bool FieldKindsMatch(const EntryField (&table)[N]) {
    for (const EntryField& f : table)
        if (f.kind != FieldKindOf(f.id)) return false;
    return true;
}

// Every id a field id, listed once, and every member inside the entry and
// apart from the others.
template <typename Entry, std::size_t N>
constexpr bool FieldRowsSound(const EntryField (&table)[N]) {
    std::array<bool, kFieldCount> seen{};
    std::array<bool, sizeof(Entry)> taken{};
    for (const EntryField& f : table) {
        if (f.id < 0 || f.id >= kFieldCount || seen[static_cast<std::size_t>(f.id)]) return false;
        seen[static_cast<std::size_t>(f.id)] = true;
        if (f.offset + FieldWidth(f.kind) > sizeof(Entry)) return false;
        for (std::size_t at = f.offset; at < f.offset + FieldWidth(f.kind); ++at) {
            if (taken[at]) return false;
            taken[at] = true;
        }
    }
    return true;
}

// The field table of an entry type: kFields lists the fields it has.
template <typename T>
struct EntryTraits;

template <>
struct EntryTraits<DornEntry> {
    static constexpr EntryType kType = EntryType::Dorn;
    static constexpr EntryField kFields[] = {
        ENTRY_FIELD(DornEntry, t, kT),
        ENTRY_FIELD(DornEntry, massRef, kMassRef),
        ENTRY_FIELD(DornEntry, volRef, kVolRef),
        ENTRY_FIELD(DornEntry, timeRef, kTimeRef),
        ENTRY_FIELD(DornEntry, flowRef, kFlowRef),
        ENTRY_FIELD(DornEntry, time1, kTime1),
        ENTRY_FIELD(DornEntry, pulses1, kPulses1),
        ENTRY_FIELD(DornEntry, freq, kFreq),
        ENTRY_FIELD(DornEntry, flowMeas, kFlowMeas),
        ENTRY_FIELD(DornEntry, flowErr, kFlowErr),
        ENTRY_FIELD(DornEntry, pulses2, kPulses2),
        ENTRY_FIELD(DornEntry, volMeas, kVolMeas),
        ENTRY_FIELD(DornEntry, volErr, kVolErr),
        ENTRY_FIELD(DornEntry, off, kOff),
        ENTRY_FIELD(DornEntry, flowRefRed, kFlowRefRed),
        ENTRY_FIELD(DornEntry, freqRed, kFreqRed),
    };
};

template <>
struct EntryTraits<KeltEntry> {
    static constexpr EntryType kType = EntryType::Kelt;
    static constexpr EntryField kFields[] = {
        ENTRY_FIELD(KeltEntry, point, kPoint),
        ENTRY_FIELD(KeltEntry, t, kT),
        ENTRY_FIELD(KeltEntry, massRef, kMassRef),
        ENTRY_FIELD(KeltEntry, volRef, kVolRef),
        ENTRY_FIELD(KeltEntry, timeRef, kTimeRef),
        ENTRY_FIELD(KeltEntry, flowRef, kFlowRef),
        ENTRY_FIELD(KeltEntry, time1, kTime1),
        ENTRY_FIELD(KeltEntry, pulses1, kPulses1),
        ENTRY_FIELD(KeltEntry, freq, kFreq),
        ENTRY_FIELD(KeltEntry, flowMeas, kFlowMeas),
        ENTRY_FIELD(KeltEntry, flowErr, kFlowErr),
        ENTRY_FIELD(KeltEntry, pulses2, kPulses2),
        ENTRY_FIELD(KeltEntry, volMeas, kVolMeas),
        ENTRY_FIELD(KeltEntry, volErr, kVolErr),
        ENTRY_FIELD(KeltEntry, section, kSection),
        ENTRY_FIELD(KeltEntry, line, kLine),
        ENTRY_FIELD(KeltEntry, off, kOff),
        ENTRY_FIELD(KeltEntry, flowRefRed, kFlowRefRed),
        ENTRY_FIELD(KeltEntry, freqRed, kFreqRed),
    };
};

template <>
struct EntryTraits<EprEntry> {
    static constexpr EntryType kType = EntryType::RV;
    static constexpr EntryField kFields[] = {
        ENTRY_FIELD(EprEntry, point, kPoint),
        ENTRY_FIELD(EprEntry, t, kT),
        ENTRY_FIELD(EprEntry, massRef, kMassRef),
        ENTRY_FIELD(EprEntry, volRef, kVolRef),
        ENTRY_FIELD(EprEntry, timeRef, kTimeRef),
        ENTRY_FIELD(EprEntry, flowRef, kFlowRef),
        ENTRY_FIELD(EprEntry, code, kCode),
        ENTRY_FIELD(EprEntry, flowMeas, kFlowMeas),
        ENTRY_FIELD(EprEntry, flowErr, kFlowErr),
        ENTRY_FIELD(EprEntry, pulses2, kPulses2),
        ENTRY_FIELD(EprEntry, volMeas, kVolMeas),
        ENTRY_FIELD(EprEntry, volErr, kVolErr),
        ENTRY_FIELD(EprEntry, section, kSection),
        ENTRY_FIELD(EprEntry, line, kLine),
        ENTRY_FIELD(EprEntry, off, kOff),
    };
};

#define CHECK_ENTRY_FIELDS(Entry)                                                              \
    static_assert(FieldKindsMatch(EntryTraits<Entry>::kFields),                                \
                  "a member of " #Entry " does not store the kind of the field it is listed as"); \
    static_assert(FieldRowsSound<Entry>(EntryTraits<Entry>::kFields),                          \
                  "a field of " #Entry " is listed twice, is no field id or overlaps another")
CHECK_ENTRY_FIELDS(DornEntry);
CHECK_ENTRY_FIELDS(KeltEntry);
CHECK_ENTRY_FIELDS(EprEntry);

// The row of a field id; null for a field the entry type lacks.
template <typename T>
constexpr const EntryField* FindEntryField(int id) {
    for (const EntryField& f : EntryTraits<T>::kFields)
        if (f.id == id) return &f;
    return nullptr;
}

// The bytes of a field in an entry (FieldWidth(field.kind) of them).
template <typename T>
unsigned char* FieldBytes(T& entry, const EntryField& field) {
    return reinterpret_cast<unsigned char*>(&entry) + field.offset;
}
template <typename T>
const unsigned char* FieldBytes(const T& entry, const EntryField& field) {
    return reinterpret_cast<const unsigned char*>(&entry) + field.offset;
}

// The field's value, of the type its kind stores.
template <typename T>
FieldValue ReadEntryField(const T& entry, const EntryField& field) {
    const auto load = [&]<typename V>(V value) {
        std::memcpy(&value, FieldBytes(entry, field), sizeof value);
        return FieldValue(value);
    };
    switch (field.kind) {
        case FieldKind::Double: return load(double{});
        case FieldKind::Int32: return load(std::int32_t{});
        case FieldKind::Bool: return load(std::uint8_t{});
    }
    return {};
}

// Stores `value` into the field; a value of another kind than the field's is
// refused with std::invalid_argument and changes nothing.
template <typename T>
void WriteEntryField(T& entry, const EntryField& field, const FieldValue& value) {
    if (value.index() != static_cast<std::size_t>(field.kind))
        throw std::invalid_argument("a field of another kind");
    std::visit([&](auto v) { std::memcpy(FieldBytes(entry, field), &v, sizeof v); }, value);
}
