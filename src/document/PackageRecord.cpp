// The package record of the document file: header and entry records.

#include <algorithm>
#include <cstring>
#include <istream>
#include <ostream>

#include "document/Package.h"
#include "common/BinaryIo.h"

namespace {

// One stored field of an entry record: its field id, or kReference for the
// reference quantity that the package's method makes the input.
constexpr int kReference = -1;

template <typename T>
struct EntryRecord;

// Offsets follow from the order; every field is stored at its kind's width.
template <>
struct EntryRecord<DornEntry> {
    static constexpr int kFields[] = {kT, kReference, kTimeRef, kTime1, kPulses1, kPulses2, kOff};
    static constexpr std::size_t kSize = 41;
};
template <>
struct EntryRecord<KeltEntry> {
    static constexpr int kFields[] = {kT, kReference, kTimeRef, kTime1, kPulses1, kPulses2, kSection, kPoint, kOff};
    static constexpr std::size_t kSize = 46;
};
template <>
struct EntryRecord<EprEntry> {
    static constexpr int kFields[] = {kT, kReference, kTimeRef, kCode, kPulses2, kSection, kPoint, kOff};
    static constexpr std::size_t kSize = 42;
};

// Stored width of a field: its kind's width (8 for the doubles and the
// reference quantity, 4 for the counters, 1 for the flags).
constexpr std::size_t storedSize(int id) { return FieldWidth(FieldKindOf(id == kReference ? kVolRef : id)); }

int referenceField(Method method) {
    switch (method) {
        case Method::Mass: return kMassRef;
        case Method::Reference: return kFlowRef;
        case Method::Volume: break;
    }
    return kVolRef;
}

template <typename T>
constexpr std::size_t recordSize() {
    std::size_t size = 0;
    for (int id : EntryRecord<T>::kFields) size += storedSize(id);
    return size;
}
static_assert(recordSize<DornEntry>() == EntryRecord<DornEntry>::kSize);
static_assert(recordSize<KeltEntry>() == EntryRecord<KeltEntry>::kSize);
static_assert(recordSize<EprEntry>() == EntryRecord<EprEntry>::kSize);

// Every stored field is one the entry type has; each reference quantity is
// a double of every entry type.
template <typename T>
constexpr bool recordFieldsPresent() {
    for (int id : EntryRecord<T>::kFields)
        if (id != kReference && !FindEntryField<T>(id)) return false;
    for (int id : {kVolRef, kMassRef, kFlowRef})
        if (!FindEntryField<T>(id) || FieldKindOf(id) != FieldKind::Double) return false;
    return true;
}
static_assert(recordFieldsPresent<DornEntry>());
static_assert(recordFieldsPresent<KeltEntry>());
static_assert(recordFieldsPresent<EprEntry>());

// The table row of a stored field (present by the check above).
template <typename T>
const EntryField& storedField(int id, int reference) {
    return *FindEntryField<T>(id == kReference ? reference : id);
}

}  // namespace

template <typename T>
void Package<T>::load(std::istream& in) {
    const std::uint8_t typeByte = files::readValue<std::uint8_t>(in);
    const std::int8_t methodByte = files::readValue<std::int8_t>(in);
    SystemTime time;
    time.year = files::readValue<std::uint16_t>(in);
    time.month = files::readValue<std::uint16_t>(in);
    time.dayOfWeek = files::readValue<std::uint16_t>(in);
    time.day = files::readValue<std::uint16_t>(in);
    time.hour = files::readValue<std::uint16_t>(in);
    time.minute = files::readValue<std::uint16_t>(in);
    time.second = files::readValue<std::uint16_t>(in);
    time.milliseconds = files::readValue<std::uint16_t>(in);
    type = typeByte != 0 ? PackageType::Verification : PackageType::Calibration;
    method = static_cast<Method>(std::clamp<int>(methodByte, 0, 2));
    created = time;

    const std::uint32_t count = files::readValue<std::uint32_t>(in);
    const int reference = referenceField(method);
    std::vector<T> read;
    read.reserve(std::min(count, files::kMaxReserve));
    unsigned char record[EntryRecord<T>::kSize];
    while (read.size() < count && in) {
        if (!files::readBytes(in, record, sizeof record)) break;
        T entry{};
        const unsigned char* p = record;
        for (int id : EntryRecord<T>::kFields) {
            const std::size_t size = storedSize(id);
            std::memcpy(FieldBytes(entry, storedField<T>(id, reference)), p, size);
            p += size;
        }
        read.push_back(entry);
    }
    if (in) entries = std::move(read);
}

template <typename T>
void Package<T>::save(std::ostream& out) const {
    files::writeValue(out, static_cast<std::uint8_t>(type));
    files::writeValue(out, static_cast<std::uint8_t>(static_cast<std::int32_t>(method) & 0xFF));
    for (std::uint16_t word : {created.year, created.month, created.dayOfWeek, created.day, created.hour,
                               created.minute, created.second, created.milliseconds})
        files::writeValue(out, word);
    files::writeValue(out, static_cast<std::uint32_t>(entries.size()));
    const int reference = referenceField(method);
    unsigned char record[EntryRecord<T>::kSize];
    for (const T& entry : entries) {
        unsigned char* p = record;
        for (int id : EntryRecord<T>::kFields) {
            const std::size_t size = storedSize(id);
            std::memcpy(p, FieldBytes(entry, storedField<T>(id, reference)), size);
            p += size;
        }
        files::writeBytes(out, record, sizeof record);
    }
}

template void Package<DornEntry>::load(std::istream&);
template void Package<DornEntry>::save(std::ostream&) const;
template void Package<KeltEntry>::load(std::istream&);
template void Package<KeltEntry>::save(std::ostream&) const;
template void Package<EprEntry>::load(std::istream&);
template void Package<EprEntry>::save(std::ostream&) const;
